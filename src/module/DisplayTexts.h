#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "module/Protocol.h"

namespace brimvolt {

/** "0005mAh" below 10000 mAh, "10.00Ah" below 100000, "123.5Ah" beyond. */
QString CapacityText(std::int32_t capacityMah);

/** "Rin", spaces, the value and "mΩ": 16 characters for every 16-bit value. */
QString RinText(std::uint16_t rinMohm);

/**
 * "Температура:" (in the interface's language), spaces, the value and "°": 16 characters for
 * every 8-bit value.
 */
QString TemperatureText(std::uint8_t temperature);

/** Everything a poll tick shows of one status record. */
struct PollTexts {
    std::array<QString, 12> paramText;
    QString voltageText;
    QString currentText;
    QString capacityText;
    QString timeText;
    QString displayLine1;
    QString displayLine2;
    QString startButtonText;  // button 1007
    QString rinButtonText;    // button 1021
};

/**
 * The texts of one status record. `viewPosition` is the view selector's position: with bit 0
 * clear the lower line shows the temperature (unless the module has switched off on it).
 */
PollTexts ComposePollTexts(const StatusRecord& status, int viewPosition);

}  // namespace brimvolt
