#include <benchmark/benchmark.h>

#include <QColor>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <memory>
#include <random>

#include "curve/Graf.h"
#include "plot/CurveRenderer.h"
#include "plot/CurveStore.h"
#include "support/ScriptedDialogs.h"

using namespace brimvolt;

namespace {

// The plot height of a 1080-line screen: the window as tall as it gets on a common display.
constexpr int kTallPlotHeight = 1050;

// A lithium cell discharged at a steady current, one sample a second with a few millivolts of
// noise: the knee at the end makes the last columns tall.
void FillDischarge(CurveStore& store, int points) {
    std::mt19937 random(42);
    std::normal_distribution<double> noise(0.0, 4.0);
    const double span = points - 1;
    store.sampleMillivolts[0] = 4180;
    for (int i = 1; i < points; ++i) {
        const double progress = i / span;
        const double volts = 4150.0 - 900.0 * progress - 300.0 * std::pow(progress, 8);
        store.Append(i, static_cast<std::uint16_t>(volts + noise(random)));
    }
    store.durationSeconds = points - 1;
}

void RenderDischarge(benchmark::State& state, CurveDrawing drawing) {
    auto store = std::make_unique<CurveStore>();
    FillDischarge(*store, static_cast<int>(state.range(0)));
    QImage memoryBitmap(kCurveImageWidth, kTallPlotHeight + 30, QImage::Format_RGB32);
    for (auto _ : state) {
        const RenderInfo info =
            RenderCurve(*store, QColor(255, 127, 0), kTallPlotHeight, memoryBitmap, drawing);
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

// What the operator waits for when the curve window repaints: the plot drawn into the window's
// bitmap, the window fitted to it and the bitmap put on the screen. The autosave that follows a
// paint is left out; its cost is the curve file writer's.
void BM_CurveWindowPaint(benchmark::State& state) {
    // The window reads (and on a first start writes) its colour file in the current folder.
    QTemporaryDir folder;
    const QString previousFolder = QDir::currentPath();
    if (!folder.isValid() || !QDir::setCurrent(folder.path())) {
        state.SkipWithError("no temporary folder");
        return;
    }
    {
        testing::ScriptedDialogs dialogs;
        auto window = std::make_unique<CGraf>(dialogs);
        window->Create(nullptr);
        // The offscreen screen is small; size the plot as on a 1080-line display.
        window->maxPlotHeight = kTallPlotHeight;
        window->memoryBitmap = QImage(kCurveImageWidth, kTallPlotHeight + 30, QImage::Format_RGB32);
        FillDischarge(window->store, static_cast<int>(state.range(0)));
        window->skipAutosave = 1;
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get())) {
            state.SkipWithError("the curve window was never exposed");
        } else {
            for (auto _ : state) {
                window->skipAutosave = 1;
                window->repaint();
            }
            state.SetItemsProcessed(state.iterations() * state.range(0));
        }
    }
    QDir::setCurrent(previousFolder);
}

}  // namespace

BENCHMARK(BM_RenderCurve)->Arg(100000)->Arg(CurveStore::kCapacity)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderCurveEverySegment)
    ->Arg(100000)
    ->Arg(CurveStore::kCapacity)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurveWindowPaint)->Arg(CurveStore::kCapacity)->Unit(benchmark::kMillisecond);
