#include "module/Commands.h"

#include "module/Protocol.h"
#include "platform/Text.h"

namespace brimvolt {

std::uint8_t RinButtonCommand(std::uint8_t statusFlags) {
    if (statusFlags & flags::kRinHeld) {
        return 'c';
    }
    if (statusFlags & flags::kRunning) {
        return 'r';
    }
    return 0;
}

bool TimeAndCapacityFit(std::int32_t durationSeconds, const QString& curveCapacityText) {
    if (durationSeconds < 0 || durationSeconds > kMaxModuleSeconds) {
        return false;
    }
    // Checked in floating point before any truncation, so a huge, infinite or NaN text never
    // reaches an integer conversion. Truncation toward zero keeps -0.999 mAh at 0.
    const double mah = platform::LeadingReal(curveCapacityText) * 1000.0 + 0.001;
    return mah > -1.0 && mah < static_cast<double>(kMaxModuleCapacityMah + 1);
}

}  // namespace brimvolt
