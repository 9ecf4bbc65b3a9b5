#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "plot/BlockSummary.h"
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

// A run end found through the blocks is the one a walk over the points finds, for any order of
// x, wherever the run starts and whatever the column.
TEST(BlockSummary, RunEndsAndExtremesMatchAWalkOverThePoints) {
    std::mt19937 random(5);
    const std::size_t count = 70000;
    std::vector<std::int32_t> xs(count);
    std::vector<std::uint16_t> ys(count);
    std::int32_t x = 0;
    for (std::size_t i = 0; i < count; ++i) {
        x += random() % 300 == 0 ? -static_cast<std::int32_t>(random() % 900) : 1;
        xs[i] = x;
        ys[i] = static_cast<std::uint16_t>(2500 + random() % 2000);
    }
    CBlockSummary<std::int32_t, std::uint16_t> summary;
    // Summarised in uneven steps, as appends come.
    for (std::size_t upTo :
         {std::size_t{10}, std::size_t{4095}, std::size_t{4096}, std::size_t{40001}, count}) {
        summary.Extend(xs.data(), ys.data(), upTo);
    }
    EXPECT_EQ(summary.Summarised(), count / 64 * 64);
    for (int trial = 0; trial < 3000; ++trial) {
        const std::size_t from = random() % count;
        const std::int32_t width = std::array{1, 7, 64, 1000, 5000, 100000}[trial % 6];
        const std::int32_t lo = xs[from] - static_cast<std::int32_t>(random() % width);
        const std::int32_t hi = lo + width - 1;
        std::uint16_t low = ys[from];
        std::uint16_t high = low;
        const std::size_t end = summary.RunEnd(
            xs.data(), ys.data(), from + 1, count,
            [&](std::int32_t a, std::int32_t b) { return a >= lo && b <= hi; }, low, high);
        std::size_t walked = from + 1;
        while (walked < count && xs[walked] >= lo && xs[walked] <= hi) {
            ++walked;
        }
        ASSERT_EQ(end, walked) << "from " << from << " width " << width;
        const auto [lowest, highest] = std::minmax_element(ys.begin() + from, ys.begin() + walked);
        ASSERT_EQ(low, *lowest);
        ASSERT_EQ(high, *highest);
    }
    const auto range = summary.Range(xs.data(), ys.data(), count);
    EXPECT_EQ(range.lowX, *std::min_element(xs.begin(), xs.end()));
    EXPECT_EQ(range.highY, *std::max_element(ys.begin(), ys.end()));
}

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
