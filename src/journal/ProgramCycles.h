#pragma once

#include <QMetaType>
#include <cstdint>
#include <span>
#include <vector>

#include "cycle/CycleResult.h"
#include "journal/RunRecord.h"

namespace brimvolt {

/**
 * The cycles of a test program run from the journal's runs of it, in cycle order: each cycle's
 * first charge and first capacity discharge (capacity and energy as the journal integrated
 * them), the last Rin measured in it, the highest temperature of any of its runs and rests.
 * Runs of other programs are passed over.
 */
std::vector<CycleResult> CyclesOfProgram(std::span<const RunRecord> runs, std::int64_t programId);

}  // namespace brimvolt

Q_DECLARE_METATYPE(std::vector<brimvolt::CycleResult>)
