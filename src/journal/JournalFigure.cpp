#include "journal/JournalFigure.h"

namespace brimvolt {

FigureCurve FigureCurveOfRun(const RunRecord& run, std::span<const JournalSample> samples) {
    FigureCurve curve;
    curve.label =
        !run.label.isEmpty() ? run.label : QStringLiteral("№%1 %2").arg(run.id).arg(run.port);
    curve.startedUtc = run.startedUtc;
    curve.capacityMah = run.capacityMah;
    curve.energyWh = EnergyMwh(run.energyUj) / 1000.0;
    curve.millivolts.reserve(samples.size());
    auto& seconds = curve.x[static_cast<std::size_t>(FigureAxis::Time)];
    auto& capacity = curve.x[static_cast<std::size_t>(FigureAxis::Capacity)];
    auto& energy = curve.x[static_cast<std::size_t>(FigureAxis::Energy)];
    seconds.reserve(samples.size());
    capacity.reserve(samples.size());
    energy.reserve(samples.size());
    for (const JournalSample& sample : samples) {
        curve.millivolts.push_back(sample.voltageMv);
        seconds.push_back(static_cast<float>(sample.seconds));
        capacity.push_back(static_cast<float>(sample.capacityMah));
        energy.push_back(static_cast<float>(EnergyMwh(sample.energyUj) / 1000.0));
    }
    return curve;
}

}  // namespace brimvolt
