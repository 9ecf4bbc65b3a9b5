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
 * A cycle whose charge began neither after a discharge the module ended nor with the cell within
 * 0.1 V of the program's discharge cut-off is marked chargeFromPartial. Runs of other programs
 * are passed over.
 */
std::vector<CycleResult> CyclesOfProgram(std::span<const RunRecord> runs, std::int64_t programId);

}  // namespace brimvolt

Q_DECLARE_METATYPE(std::vector<brimvolt::CycleResult>)
