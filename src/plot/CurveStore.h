#pragma once

#include <QString>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace brimvolt {

/**
 * The curve of the running or most recent run: voltage against seconds since its start, and the
 * few values that describe it. Plain data, so the poll cycle, the curve files and the drawing
 * use it without a window.
 */
struct CurveStore {
    /**
     * Room for the module's whole time range at one point a second: every second up to and
     * including 256:00:00, the first time its counters cannot show, so no run is ever cut short.
     */
    static constexpr std::int32_t kCapacity = 256 * 3600 + 1;

    QString curveCapacityText;
    std::int32_t durationSeconds = 0;  // time of the last point; 0: no curve
    std::int32_t headerHours = 0;      // recomputed whenever a curve file is written
    std::int32_t headerMinutes = 0;
    std::int32_t headerSeconds = 0;
    std::int32_t chargeCurve = 0;  // 0 discharge, otherwise charge: the module's mode
    std::uint8_t runActive = 0;    // the module's run flag as of the last status record
    std::int32_t lastIndex = 0;    // points 0..lastIndex form the curve
    /**
     * Moves whenever points already in the curve change other than by Append (a new run, a
     * loaded curve, a copy, the first point rewritten): what was derived from them, such as
     * the drawing's block summary, starts over.
     */
    std::uint64_t revision = 0;
    std::vector<std::int32_t> sampleTimes = std::vector<std::int32_t>(kCapacity);
    std::vector<std::uint16_t> sampleMillivolts = std::vector<std::uint16_t>(kCapacity);
    QString curveFileName;

    std::int32_t PointCount() const { return lastIndex + 1; }

    /**
     * Copies the curve into `to`, a store of the same room, taking only the points in use: a
     * copy to write out costs what the curve is long, not what the store can hold.
     */
    void CopyCurveTo(CurveStore& to) const {
        to.curveCapacityText = curveCapacityText;
        to.durationSeconds = durationSeconds;
        to.headerHours = headerHours;
        to.headerMinutes = headerMinutes;
        to.headerSeconds = headerSeconds;
        to.chargeCurve = chargeCurve;
        to.runActive = runActive;
        to.lastIndex = lastIndex;
        ++to.revision;
        // Bounded by both stores' room, whatever lastIndex holds.
        const std::size_t room = std::min({sampleTimes.size(), sampleMillivolts.size(),
                                           to.sampleTimes.size(), to.sampleMillivolts.size()});
        const auto points = static_cast<std::size_t>(std::clamp<std::int64_t>(
            std::int64_t{lastIndex} + 1, 0, static_cast<std::int64_t>(room)));
        std::copy_n(sampleTimes.begin(), points, to.sampleTimes.begin());
        std::copy_n(sampleMillivolts.begin(), points, to.sampleMillivolts.begin());
        to.curveFileName = curveFileName;
    }

    /** Tells whoever derived data from the points that they changed. */
    void Rewritten() { ++revision; }

    bool IsFull() const { return lastIndex + 1 >= kCapacity; }

    /** Appends a point after lastIndex; false (and nothing changed) when the store is full. */
    bool Append(std::int32_t seconds, std::uint16_t millivolts) {
        if (IsFull()) {
            return false;
        }
        ++lastIndex;
        sampleTimes[lastIndex] = seconds;
        sampleMillivolts[lastIndex] = millivolts;
        return true;
    }
};

}  // namespace brimvolt
