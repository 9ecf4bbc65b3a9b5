#include "journalview/ComparedCurve.h"

#include <algorithm>

#include "curve/CurveGrid.h"
#include "curve/CurveStore.h"

namespace brimvolt {

ComparedCurve CurveOfRun(const RunRecord& run, std::span<const JournalSample> samples) {
    ComparedCurve curve;
    curve.name = run.label.isEmpty() ? QStringLiteral("№%1").arg(run.id) : run.label;
    curve.startedUtc = run.startedUtc;
    curve.runId = run.id;
    curve.rinMohm = run.rinMohm;
    const std::size_t count = samples.size();
    curve.seconds.resize(count);
    curve.millivolts.resize(count);
    curve.capacityMah.resize(count);
    curve.energyUj.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        curve.seconds[i] = samples[i].seconds;
        curve.millivolts[i] = samples[i].voltageMv;
        curve.capacityMah[i] = samples[i].capacityMah;
        curve.energyUj[i] = samples[i].energyUj;
    }
    return curve;
}

ComparedCurve CurveOfFile(const CurveStore& store, const QString& name) {
    ComparedCurve curve;
    curve.name = name;
    const std::int32_t last = LastReadableIndex(store);
    const auto count = static_cast<std::size_t>(std::max(last + 1, 0));
    curve.seconds.assign(store.sampleTimes.begin(), store.sampleTimes.begin() + count);
    curve.millivolts.assign(store.sampleMillivolts.begin(), store.sampleMillivolts.begin() + count);
    return curve;
}

CurveSummary Summarize(const ComparedCurve& curve) {
    CurveSummary summary;
    if (curve.seconds.empty()) {
        return summary;
    }
    summary.durationSeconds = curve.seconds.back() - curve.seconds.front();
    if (curve.rinMohm != 0) {
        summary.rinMohm = curve.rinMohm;
    }
    if (!curve.FromFile()) {
        summary.capacityMah = curve.capacityMah.back();
        summary.energyWh = static_cast<double>(curve.energyUj.back()) / 3.6e9;
    }
    // Each point stands for the interval it closes, as the energy is integrated.
    double weighted = 0.0;
    double weight = 0.0;
    for (std::size_t i = 1; i < curve.seconds.size(); ++i) {
        const double seconds = curve.seconds[i] - curve.seconds[i - 1];
        if (seconds > 0) {
            weighted += curve.millivolts[i] * seconds;
            weight += seconds;
        }
    }
    if (!curve.FromFile() && curve.capacityMah.back() > 0) {
        // Energy over charge: µJ / (mAh × 3600 s) gives mV.
        summary.meanVolts = static_cast<double>(curve.energyUj.back()) /
                            (curve.capacityMah.back() * 3600.0) / 1000.0;
    } else if (weight > 0) {
        summary.meanVolts = weighted / weight / 1000.0;
    }
    return summary;
}

}  // namespace brimvolt
