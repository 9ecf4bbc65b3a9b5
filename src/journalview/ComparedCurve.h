#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "ica/IncrementalCapacity.h"
#include "journal/RunRecord.h"

namespace brimvolt {

struct CurveStore;

/** What the table under the comparison says of a curve; nullopt where the curve cannot tell. */
struct CurveSummary {
    std::int64_t runId = 0;  // 0 for a curve file
    std::optional<double> capacityMah;
    std::optional<double> energyWh;
    std::optional<double> meanVolts;
    std::optional<double> rinMohm;
    std::int32_t durationSeconds = 0;
    /** The run's dQ/dV unsmoothed; none for a curve file, a rest or a run too short for one. */
    std::optional<IcaCurve> dqdv;
    /** Its dV/dQ against capacity at the default options; none likewise. */
    std::optional<DvdqCurve> dvdq;
};

/**
 * Capacity, energy, Rin and duration as the run recorded them, its mean voltage (energy over
 * charge), its dQ/dV and its dV/dQ.
 */
CurveSummary SummaryOfRun(const RunRecord& run, std::span<const JournalSample> samples);
/** A curve file holds no current: its mean voltage is the mean over time. */
CurveSummary SummaryOfFile(const CurveStore& store);

}  // namespace brimvolt
