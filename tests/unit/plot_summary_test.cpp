#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <memory>
#include <random>

#include "plot/CurveRenderer.h"
#include "plot/CurveStore.h"

using namespace brimvolt;

namespace {

const QColor kGreen(0, 160, 0);

QImage Render(const CurveStore& store, CCurveSummary* summary, CurveDrawing drawing) {
    QImage image(720, 630, QImage::Format_RGB32);
    image.fill(Qt::blue);
    RenderCurve(store, kGreen, 600, image, drawing, summary);
    return image;
}

}  // namespace

// A summary kept from render to render draws what a fresh render draws, through appends, a new
// run over the old points, a curve swapped in and a damaged lastIndex.
TEST(CurveSummary, KeptSummaryDrawsWhatAFreshOneDraws) {
    std::mt19937 random(23);
    auto store = std::make_unique<CurveStore>();
    store->sampleMillivolts[0] = 4100;
    CCurveSummary kept;
    const auto check = [&](const char* step) {
        const QImage reference = Render(*store, nullptr, CurveDrawing::EverySegment);
        EXPECT_EQ(Render(*store, &kept, CurveDrawing::ColumnSpans), reference) << step;
    };
    int level = 3900;
    const auto append = [&](int points) {
        for (int i = 0; i < points; ++i) {
            level = std::clamp(level + static_cast<int>(random() % 31) - 15, 2500, 4500);
            store->Append(store->sampleTimes[store->lastIndex] + 1 + (random() % 50 == 0 ? 30 : 0),
                          static_cast<std::uint16_t>(level));
        }
        store->durationSeconds = store->sampleTimes[store->lastIndex];
    };
    for (int points : {1, 63, 1, 4000, 100000, 5}) {
        append(points);
        check("appended");
    }
    // A new run: the old points are overwritten from the start, fewer and then as many.
    store->lastIndex = 0;
    store->sampleMillivolts[0] = 3000;
    store->Rewritten();
    append(200);
    check("new run, shorter");
    append(200000);
    check("new run, longer than the summary was");
    // Every point rewritten in place, the length kept, as a curve read into the same store.
    for (std::int32_t i = 0; i <= store->lastIndex; ++i) {
        store->sampleMillivolts[i] = static_cast<std::uint16_t>(7000 - store->sampleMillivolts[i]);
    }
    store->Rewritten();
    check("rewritten in place");
    // Another curve's buffers swapped in, as a loaded file comes in.
    auto loaded = std::make_unique<CurveStore>();
    loaded->sampleMillivolts[0] = 3600;
    std::swap(store->sampleTimes, loaded->sampleTimes);
    std::swap(store->sampleMillivolts, loaded->sampleMillivolts);
    store->lastIndex = 0;
    append(70000);
    check("buffers exchanged");
    store->lastIndex = CurveStore::kCapacity + 5;
    check("lastIndex past the store");
}
