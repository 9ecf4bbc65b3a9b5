#include <benchmark/benchmark.h>

#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <memory>
#include <random>

#include "curve/Graf.h"
#include "plot/ComparisonFigure.h"
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

// The curve window's repaint: its block summary kept from one render to the next, one point
// appended between them as during a run.
void BM_RenderCurveSummaryKept(benchmark::State& state) {
    auto store = std::make_unique<CurveStore>();
    FillDischarge(*store, static_cast<int>(state.range(0)) - 1);
    QImage memoryBitmap(kCurveImageWidth, kTallPlotHeight + 30, QImage::Format_RGB32);
    CCurveSummary summary;
    RenderCurve(*store, QColor(255, 127, 0), kTallPlotHeight, memoryBitmap,
                CurveDrawing::ColumnSpans, &summary);
    for (auto _ : state) {
        state.PauseTiming();
        store->lastIndex = static_cast<std::int32_t>(state.range(0)) - 2;
        store->Append(store->lastIndex + 1, 3000);
        state.ResumeTiming();
        const RenderInfo info = RenderCurve(*store, QColor(255, 127, 0), kTallPlotHeight,
                                            memoryBitmap, CurveDrawing::ColumnSpans, &summary);
        benchmark::DoNotOptimize(info.imageHeight);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Paint of a comparison of 8 runs of 921 601 samples: the comparison window's repaint at a
// common size, whole view and zoomed into a tenth.
void BM_ComparisonPaint(benchmark::State& state) {
    std::vector<FigureCurve> curves;
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 4.0);
    const int points = CurveStore::kCapacity;
    for (int k = 0; k < 8; ++k) {
        FigureCurve curve;
        curve.label = QString("run %1").arg(k + 1);
        curve.capacityMah = 2000 + 100 * k;
        curve.energyWh = curve.capacityMah * 3.7 / 1000;
        curve.millivolts.resize(points);
        for (auto& x : curve.x) {
            x.resize(points);
        }
        for (int i = 0; i < points; ++i) {
            const double progress = static_cast<double>(i) / (points - 1);
            const double volts =
                4150.0 - (800.0 + 30 * k) * progress - 300.0 * std::pow(progress, 8);
            curve.millivolts[i] = static_cast<std::uint16_t>(volts + noise(random));
            curve.x[0][i] = static_cast<float>(i);
            curve.x[1][i] = static_cast<float>(curve.capacityMah * progress);
            curve.x[2][i] = static_cast<float>(curve.energyWh * progress);
        }
        curves.push_back(std::move(curve));
    }
    CComparisonFigure figure;
    figure.SetCurves(std::move(curves));
    figure.SetAxis(static_cast<FigureAxis>(state.range(0)));
    if (state.range(1) != 0) {
        const QRectF whole = figure.View();
        figure.SetView(QRectF(whole.left() + whole.width() * 0.45, whole.top(), whole.width() / 10,
                              whole.height()));
    }
    const QSize size(1200, 800);
    QImage image(size, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        figure.Paint(painter, size);
    }
    state.SetItemsProcessed(state.iterations() * 8 * points);
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
BENCHMARK(BM_RenderCurveSummaryKept)->Arg(CurveStore::kCapacity)->Unit(benchmark::kMillisecond);
// axis: 0 time, 1 capacity, 2 energy; zoomed: 1 for a tenth of the whole.
BENCHMARK(BM_ComparisonPaint)
    ->ArgNames({"axis", "zoomed"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({0, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurveWindowPaint)->Arg(CurveStore::kCapacity)->Unit(benchmark::kMillisecond);
