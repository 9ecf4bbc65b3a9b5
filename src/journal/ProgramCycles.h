#pragma once

#include <QMetaType>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "cycle/CycleResult.h"
#include "journal/RunRecord.h"

namespace brimvolt {

/** A capacity discharge with fewer readings than this gives no dQ/dV peak worth showing. */
inline constexpr std::size_t kLeastPeakSamples = 60;

/** Puts the main dQ/dV peak of a capacity discharge's readings into `cycle`, if it has one. */
void TakeDischargePeak(CycleResult& cycle, std::span<const JournalSample> samples);

/** A run's samples in time order; nullopt when they cannot be read. */
using RunSamplesReader = std::function<std::optional<std::vector<JournalSample>>(std::int64_t)>;

/**
 * The cycles of a test program run from the journal's runs of it, in cycle order: each cycle's
 * first charge and first capacity discharge (capacity and energy as the journal integrated
 * them), the last Rin measured in it, the highest temperature of any of its runs and rests.
 * A cycle whose charge began neither after a discharge the module ended nor with the cell within
 * 0.1 V of the program's discharge cut-off is marked chargeFromPartial. Runs of other programs
 * are passed over. With `samplesOf`, each cycle gets the dQ/dV peak of its first capacity
 * discharge, whose samples are read once; without it, no peaks.
 */
std::vector<CycleResult> CyclesOfProgram(std::span<const RunRecord> runs, std::int64_t programId,
                                         const RunSamplesReader& samplesOf = {});

}  // namespace brimvolt

Q_DECLARE_METATYPE(std::vector<brimvolt::CycleResult>)
