#include "journalview/ComparedCurve.h"

#include "journal/JournalExport.h"
#include "plot/CurveGrid.h"
#include "plot/CurveStore.h"

namespace brimvolt {

CurveSummary SummaryOfRun(const RunRecord& run, std::span<const JournalSample> samples) {
    CurveSummary summary;
    summary.runId = run.id;
    summary.capacityMah = run.capacityMah;
    summary.energyWh = EnergyMwh(run.energyUj) / 1000.0;
    summary.durationSeconds = run.durationSeconds;
    if (run.rinMohm != 0) {
        summary.rinMohm = run.rinMohm;
    }
    // The charge the energy was integrated over, by the same rule, so a run whose current
    // changed is averaged by what it delivered: µJ over mA·s gives mV.
    CRunEnergy energy;
    for (const JournalSample& sample : samples) {
        energy.Add(sample.seconds, sample.voltageMv, sample.currentMa);
    }
    if (energy.ChargeMas() > 0) {
        summary.meanVolts =
            static_cast<double>(energy.Uj()) / static_cast<double>(energy.ChargeMas()) / 1000.0;
    }
    // Taken once, unsmoothed: the window smooths it for whatever width is chosen.
    if (!run.rest && samples.size() >= kMinIcaSamples) {
        IcaOptions unsmoothed;
        unsmoothed.fwhmVolts = 0.0;
        const std::vector<IcaSample> readings = IcaSamplesOf(samples);
        IcaCurve curve = IncrementalCapacity(readings, unsmoothed);
        if (curve.totalMah > 0.0 && !curve.dqdvMahPerVolt.empty()) {
            curve.peaks.clear();
            summary.dqdv = std::move(curve);
        }
        DvdqCurve dvdq = DifferentialVoltage(readings);
        if (dvdq.totalMah > 0.0 && !dvdq.dvdqVoltsPerAh.empty()) {
            summary.dvdq = std::move(dvdq);
        }
    }
    return summary;
}

CurveSummary SummaryOfFile(const CurveStore& store) {
    CurveSummary summary;
    const std::int32_t last = LastReadableIndex(store);
    if (last < 0) {
        return summary;
    }
    summary.durationSeconds = store.sampleTimes[static_cast<std::size_t>(last)];
    // Each point stands for the interval it closes, as a run's energy is integrated.
    double weighted = 0.0;
    double seconds = 0.0;
    for (std::size_t i = 1; i <= static_cast<std::size_t>(last); ++i) {
        const double interval = store.sampleTimes[i] - store.sampleTimes[i - 1];
        if (interval > 0) {
            weighted += store.sampleMillivolts[i] * interval;
            seconds += interval;
        }
    }
    if (seconds > 0) {
        summary.meanVolts = weighted / seconds / 1000.0;
    }
    return summary;
}

}  // namespace brimvolt
