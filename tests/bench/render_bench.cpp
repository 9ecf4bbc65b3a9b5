#include <benchmark/benchmark.h>

#include <QColor>
#include <QImage>
#include <cmath>
#include <memory>
#include <random>

#include "curve/CurveRenderer.h"
#include "curve/CurveStore.h"

using namespace brimvolt;

namespace {

// A lithium cell discharged at a steady current, one sample a second with a few millivolts of
// noise: the knee at the end makes the last columns tall.
std::unique_ptr<CurveStore> DischargeCurve(int points) {
    auto store = std::make_unique<CurveStore>();
    std::mt19937 random(42);
    std::normal_distribution<double> noise(0.0, 4.0);
    const double span = points - 1;
    store->sampleMillivolts[0] = 4180;
    for (int i = 1; i < points; ++i) {
        const double progress = i / span;
        const double volts = 4150.0 - 900.0 * progress - 300.0 * std::pow(progress, 8);
        store->Append(i, static_cast<std::uint16_t>(volts + noise(random)));
    }
    store->durationSeconds = points - 1;
    return store;
}

void RenderDischarge(benchmark::State& state, CurveDrawing drawing) {
    const auto store = DischargeCurve(static_cast<int>(state.range(0)));
    QImage memoryBitmap(kCurveImageWidth, 1050 + 30, QImage::Format_RGB32);
    for (auto _ : state) {
        const RenderInfo info =
            RenderCurve(*store, QColor(255, 127, 0), 1050, memoryBitmap, drawing);
        benchmark::DoNotOptimize(info.imageHeight);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_RenderCurve(benchmark::State& state) {
    RenderDischarge(state, CurveDrawing::ColumnSpans);
}
void BM_RenderCurveEverySegment(benchmark::State& state) {
    RenderDischarge(state, CurveDrawing::EverySegment);
}

}  // namespace

BENCHMARK(BM_RenderCurve)->Arg(100000)->Arg(CurveStore::kCapacity)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderCurveEverySegment)
    ->Arg(100000)
    ->Arg(CurveStore::kCapacity)
    ->Unit(benchmark::kMillisecond);
