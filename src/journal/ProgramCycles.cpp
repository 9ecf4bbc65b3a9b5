#include "journal/ProgramCycles.h"

#include <algorithm>
#include <map>
#include <set>

#include "ica/IncrementalCapacity.h"

namespace brimvolt {

void TakeDischargePeak(CycleResult& cycle, std::span<const JournalSample> samples) {
    cycle.peakVolts.reset();
    cycle.peakMahPerVolt.reset();
    if (samples.size() < kLeastPeakSamples) {
        return;
    }
    if (const std::optional<IcaPeak> peak = MainPeak(IncrementalCapacity(IcaSamplesOf(samples)))) {
        cycle.peakVolts = peak->volts;
        cycle.peakMahPerVolt = peak->heightMahPerVolt;
    }
}

std::vector<CycleResult> CyclesOfProgram(std::span<const RunRecord> runs, std::int64_t programId,
                                         const RunSamplesReader& samplesOf) {
    std::vector<const RunRecord*> ordered;
    for (const RunRecord& run : runs) {
        if (programId != 0 && run.program.programId == programId) {
            ordered.push_back(&run);
        }
    }
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const RunRecord* a, const RunRecord* b) { return a->id < b->id; });
    // The cut-off the program's discharges empty the cell to, as they wrote it: the highest.
    std::uint16_t cutoffMv = 0;
    for (const RunRecord* run : ordered) {
        if (!run->charge && !run->rest && !run->program.rin) {
            cutoffMv = std::max(cutoffMv, run->params[1]);
        }
    }
    std::map<std::int32_t, CycleResult> cycles;
    std::set<std::int32_t> peaksTaken;  // one discharge's samples read per cycle, no more
    bool emptied = false;  // the last charge or discharge was a discharge the module ended
    for (const RunRecord* run : ordered) {
        CycleResult& cycle = cycles[run->program.cycle];
        cycle.cycle = run->program.cycle;
        cycle.maxTemperatureC = std::max<std::int32_t>(cycle.maxTemperatureC, run->maxTemperature);
        if (run->rinMohm > 0) {
            cycle.rinMohm = run->rinMohm;
        }
        if (run->rest || run->program.rin) {
            continue;
        }
        if (run->charge && !cycle.chargeMah) {
            cycle.chargeMah = run->capacityMah;
            cycle.chargeMwh = EnergyMwh(run->energyUj);
            // A run from rest starts with the cell at rest.
            const bool fromEmpty =
                emptied || (cutoffMv > 0 && run->startMv <= cutoffMv + kEmptiedCellMarginMv);
            cycle.chargeFromPartial = !fromEmpty;
        } else if (!run->charge && !cycle.dischargeMah) {
            cycle.dischargeMah = run->capacityMah;
            cycle.dischargeMwh = EnergyMwh(run->energyUj);
        }
        if (samplesOf && run->IsCapacityTest() && peaksTaken.insert(cycle.cycle).second) {
            if (const std::optional<std::vector<JournalSample>> samples = samplesOf(run->id)) {
                TakeDischargePeak(cycle, *samples);
            }
        }
        emptied =
            !run->charge && run->state == RunState::Stopped && run->endCause == EndCause::Module;
    }
    std::vector<CycleResult> result;
    result.reserve(cycles.size());
    for (auto& [number, cycle] : cycles) {
        result.push_back(cycle);
    }
    return result;
}

}  // namespace brimvolt
