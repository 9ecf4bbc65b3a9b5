#include "params/ParamEditing.h"

#include <cmath>
#include <utility>

#include "params/ParamTable.h"
#include "platform/Text.h"

namespace brimvolt {

namespace {

// Added before scaling so that values such as 1.005 do not become 1004 in binary arithmetic.
constexpr double kRoundingNudge = 0.000000001;

bool IsFractional(int index) {
    return IsParamIndex(index) && ParamTable()[index].fractional;
}

// Low 16 bits of trunc(x), defined for every double: the remainder is exact in floating point,
// so no out-of-range conversion to an integer ever happens.
int Low16OfTrunc(double x) {
    if (!std::isfinite(x)) {
        return 0;
    }
    double r = std::fmod(std::trunc(x), 65536.0);
    if (r < 0) {
        r += 65536.0;
    }
    return static_cast<int>(r);
}

}  // namespace

QString ShownText(int index, std::uint16_t word) {
    if (!IsParamIndex(index)) {
        return {};
    }
    return IsFractional(index) ? QString::asprintf("%.3f", word / 1000.0)
                               : QString::asprintf("%i", static_cast<int>(word));
}

QString WithDecimalPoint(QString text) {
    return text.replace(u',', u'.');
}

TypedValue ConvertTyped(QString text) {
    text = WithDecimalPoint(std::move(text));
    TypedValue typed;
    typed.writeValue = static_cast<std::uint16_t>(platform::LeadingInteger(text));
    typed.typedValue = platform::LeadingReal(text) + kRoundingNudge;
    return typed;
}

std::optional<int> SpinPositionFor(int index, const TypedValue& typed) {
    if (!IsParamIndex(index)) {
        return std::nullopt;
    }
    if (IsFractional(index)) {
        return Low16OfTrunc(typed.typedValue * 1000.0);
    }
    return typed.writeValue;
}

QString StepText(int index, int position) {
    if (!IsParamIndex(index)) {
        return {};
    }
    return IsFractional(index) ? QString::asprintf("%.3f", position / 1000.0)
                               : QString::asprintf("%i", position);
}

std::optional<std::uint16_t> WordToWrite(int index, QString text) {
    if (!IsParamIndex(index)) {
        return std::nullopt;
    }
    text = WithDecimalPoint(std::move(text));
    bool found = false;
    if (IsFractional(index)) {
        // The real reading: "2.5" means 2500 mV, "1e3" a thousand volts.
        const double value = platform::LeadingReal(text, &found);
        if (!found || !std::isfinite(value)) {
            return std::nullopt;
        }
        const double word = std::trunc((value + kRoundingNudge) * 1000.0);
        if (!(word >= 0.0 && word <= 65535.0)) {
            return std::nullopt;
        }
        return static_cast<std::uint16_t>(word);
    }
    // The integer reading: "2.5" is 2 and "1e3" is 1, as the operator's integer always was.
    const std::int64_t typed = platform::LeadingInteger(text, &found);
    if (!found) {
        return std::nullopt;
    }
    const std::int64_t word = (index == 0 || index == 2) ? typed - 1 : typed;
    if (word < 0 || word > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(word);
}

}  // namespace brimvolt
