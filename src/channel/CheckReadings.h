#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

#include "journal/CheckRecord.h"
#include "module/Protocol.h"

namespace brimvolt {

/** Below this the holder is empty: a cell worth measuring never reads so low. */
constexpr std::uint16_t kNoCellBelowMv = 100;

/** Whether the record reads an empty holder rather than a cell. */
bool NoCellIn(const StatusRecord& status);

/**
 * The readings of an idle module a voltage check is made of, one for each second: the module
 * measures once a second, and the polls in between repeat the same reading. The last `keep` stay.
 */
class CCheckReadings {
public:
    static constexpr std::size_t kReadings = 10;

    explicit CCheckReadings(std::size_t keep = kReadings) : keep(keep) {}

    /**
     * Takes the record when it is the first of a new second (steady clock) since the first one
     * taken; `wallMs` (ms since 1970 UTC) is when it was read. True when taken.
     */
    bool Offer(const StatusRecord& status, std::int64_t steadyMs, std::int64_t wallMs);
    void Clear();
    std::size_t Count() const { return readings.size(); }
    bool Full() const { return readings.size() >= keep; }

    /**
     * The check the readings make: their mean voltage, their mean temperature rounded, the time
     * of the last one, at `port`; nullopt without readings.
     */
    std::optional<CheckRecord> Check(const QString& port) const;

private:
    struct Reading {
        std::uint16_t voltageMv = 0;
        std::uint8_t temperature = 0;
        std::int64_t wallMs = 0;
    };

    std::size_t keep;
    std::deque<Reading> readings;
    std::int64_t originMs = 0;     // steady time of the first reading taken
    std::int64_t lastSecond = -1;  // the second since originMs of the last reading taken
};

}  // namespace brimvolt
