#include <benchmark/benchmark.h>

#include <QImage>
#include <QTest>
#include <cmath>
#include <memory>

#include "benchview/BenchDlg.h"
#include "benchview/BenchTile.h"
#include "plot/CurveStore.h"
#include "support/FakeBenchModel.h"
#include "support/ScriptedDialogs.h"

using namespace brimvolt;

namespace {

constexpr int kChannels = 16;

/** A discharge of `points` seconds from 4.18 V, with its knee at the end. */
void FillDischarge(CurveStore& store, int points, double depth = 1.0) {
    store.lastIndex = -1;
    store.Rewritten();
    for (int i = 0; i < points; ++i) {
        const double progress = points > 1 ? static_cast<double>(i) / (points - 1) : 0.0;
        const double volts = 4150.0 - 900.0 * depth * progress - 300.0 * std::pow(progress, 8) +
                             3.0 * std::sin(i * 0.7);
        store.Append(i, static_cast<std::uint16_t>(i == 0 ? 4180 : volts));
    }
    store.durationSeconds = points - 1;
}

// A bench of 16 discharging channels, each with a full-length curve, its window shown at the
// size it asks for (the offscreen screen would hold it smaller).
struct FullBench {
    FullBench() {
        for (int channel = 0; channel < kChannels; ++channel) {
            ChannelPicture picture;
            picture.port = QStringLiteral("COM%1").arg(channel + 3);
            picture.line1 = QStringLiteral("U=3.742V I=1.00A");
            picture.line2 = QStringLiteral("C=1234mAh 01:14");
            picture.phase = ChannelPhase::Discharge;
            picture.running = true;
            model.Add(picture);
            FillDischarge(model.Store(channel), CurveStore::kCapacity, 0.3 + 0.04 * channel);
        }
        window.show();
        window.resize(window.sizeHint());
        exposed = QTest::qWaitForWindowExposed(&window);
        // The first paint builds every tile's curve and face.
        Paint();
    }
    // The whole window with every child, as an exposure paints it. A repaint() of the window
    // would not do: it leaves out what lies in the scroll area.
    void Paint() { window.render(&image); }
    ~FullBench() { window.Leave(); }

    testing::FakeBenchModel model;
    testing::ScriptedDialogs dialogs;
    CBenchDlg window{dialogs, model};
    QImage image{window.sizeHint(), QImage::Format_ARGB32_Premultiplied};
    bool exposed = false;
};

void BM_BenchWindowPaint(benchmark::State& state) {
    FullBench bench;
    if (!bench.exposed) {
        state.SkipWithError("the bench window was never exposed");
        return;
    }
    for (auto _ : state) {
        bench.Paint();
    }
}

// A status record on one channel of a full curve: the point appended, the tile told, its curve
// drawn again from the block summary and the tile painted.
void BM_BenchPointAppended(benchmark::State& state) {
    FullBench bench;
    if (!bench.exposed) {
        state.SkipWithError("the bench window was never exposed");
        return;
    }
    CurveStore& store = bench.model.Store(5);
    CBenchTile& tile = *bench.window.Tile(5);
    for (auto _ : state) {
        store.lastIndex = CurveStore::kCapacity - 2;
        store.Append(store.lastIndex + 1, 3000);
        bench.model.Set(5, bench.model.Picture(5));
        tile.repaint();
    }
}

}  // namespace

BENCHMARK(BM_BenchWindowPaint)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BenchPointAppended)->Unit(benchmark::kMicrosecond);
