#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "journal/RunRecord.h"

namespace brimvolt {

struct CurveStore;

/**
 * One curve of a comparison: a run of the journal, with its capacity and energy at every point,
 * or a curve file, which knows only time and voltage.
 */
struct ComparedCurve {
    QString name;                 // the run's label (or number), the file's name
    std::int64_t startedUtc = 0;  // 0 for a curve file
    std::int64_t runId = 0;       // 0 for a curve file
    std::vector<std::int32_t> seconds;
    std::vector<std::uint16_t> millivolts;
    std::vector<std::int32_t> capacityMah;  // empty for a curve file
    std::vector<std::int64_t> energyUj;     // empty for a curve file
    std::uint16_t rinMohm = 0;              // 0: not measured

    bool FromFile() const { return runId == 0; }
};

/** What the table under the comparison says of a curve; nullopt where the curve cannot tell. */
struct CurveSummary {
    std::optional<double> capacityMah;
    std::optional<double> energyWh;
    std::optional<double> meanVolts;
    std::optional<double> rinMohm;
    double durationSeconds = 0.0;
};

ComparedCurve CurveOfRun(const RunRecord& run, std::span<const JournalSample> samples);
/** The points 0..lastIndex of a store read from a curve file. */
ComparedCurve CurveOfFile(const CurveStore& store, const QString& name);

/**
 * Capacity, energy and Rin as the run recorded them; the mean voltage is energy over charge
 * for a run, and the mean over time for a curve file, which holds no current.
 */
CurveSummary Summarize(const ComparedCurve& curve);

}  // namespace brimvolt
