#pragma once

#include <QString>
#include <cstdint>

namespace brimvolt {

/**
 * The command of the internal-resistance button for the last status flags: 'c' clears a shown
 * result, 'r' measures during a run, 0 means nothing to send.
 */
std::uint8_t RinButtonCommand(std::uint8_t statusFlags);

/** The longest time the module counts, 255:59:59. */
constexpr std::int32_t kMaxModuleSeconds = 255 * 3600 + 59 * 60 + 59;
/** The largest capacity the module's 24-bit counter holds. */
constexpr std::int64_t kMaxModuleCapacityMah = 0xFFFFFF;

/**
 * Whether the curve's time and capacity can be handed to the module by 't' and 'C' without
 * being cut: the time within 0..255:59:59, the capacity (as 'C' reads the text) within its
 * 24 bits. The capacity text is read as the 'C' request reads it: leading number × 1000 + 0.001,
 * truncated.
 */
bool TimeAndCapacityFit(std::int32_t durationSeconds, const QString& curveCapacityText);

}  // namespace brimvolt
