#include <gtest/gtest.h>

#include <QLocale>
#include <QStringList>
#include <clocale>
#include <memory>
#include <random>

#include "plot/CurveGrid.h"
#include "plot/CurveStore.h"

using namespace brimvolt;

namespace {

std::unique_ptr<CurveStore> StoreOf(std::initializer_list<int> millivolts) {
    auto store = std::make_unique<CurveStore>();
    bool first = true;
    int t = 0;
    for (int v : millivolts) {
        if (first) {
            store->sampleMillivolts[0] = static_cast<std::uint16_t>(v);
            first = false;
        } else {
            store->Append(++t, static_cast<std::uint16_t>(v));
        }
    }
    store->durationSeconds = t;
    return store;
}

bool IsOneTwoFive(int step) {
    while (step > 50 && step % 10 == 0) {
        step /= 10;
    }
    return step == 10 || step == 20 || step == 50;
}

// The grid by its definition: every step in turn, every sample visited per step.
VoltageGrid GridByDefinition(const CurveStore& store, int maxPlotHeight) {
    VoltageGrid fallback{0, 0, 0, 0};
    for (int decade = 10; decade <= 100000; decade *= 10) {
        for (int mantissa : {1, 2, 5}) {
            const int s = mantissa * decade;
            int top = 0;
            int bottom = 1 << 30;
            for (int i = 0; i <= store.lastIndex; ++i) {
                top = std::max(top, store.sampleMillivolts[i] / s + 1);
                bottom = std::min(bottom, store.sampleMillivolts[i] / s);
            }
            const VoltageGrid grid{s, bottom, top, top - bottom};
            if (maxPlotHeight / grid.divisions >= 20) {
                return grid;
            }
            if (grid.divisions == 1 && fallback.stepMv == 0) {
                fallback = grid;
            }
        }
    }
    return fallback;
}

}  // namespace

TEST(VoltageGrid, TakesTheFinestStepGivingEachDivisionTwentyPixels) {
    struct Case {
        const char* name;
        std::unique_ptr<CurveStore> store;
        int maxPlotHeight;
        VoltageGrid expected;
    };
    Case cases[] = {
        // 10 mV would need 121 divisions, 20 mV 61; 50 mV gives 25 of 24 pixels.
        {"li-ion discharge", StoreOf({4200, 3700, 3000}), 600, {50, 60, 85, 25}},
        {"store before the first reading", StoreOf({0}), 600, {10, 0, 1, 1}},
        {"one sample", StoreOf({3712}), 600, {10, 371, 372, 1}},
        {"one sample on a tiny screen", StoreOf({3712}), 20, {10, 371, 372, 1}},
        {"exactly 20 pixels per division", StoreOf({1000, 1140}), 60, {50, 20, 23, 3}},
        {"top sample on a grid line gets a line above it", StoreOf({4000}), 600, {10, 400, 401, 1}},
        {"beyond 500 mV: 1 V", StoreOf({0, 9000}), 200, {1000, 0, 10, 10}},
        {"beyond 500 mV: 20 V", StoreOf({0, 60000}), 100, {20000, 0, 4, 4}},
        {"the full 16-bit range on one division", StoreOf({0, 65535}), 20, {100000, 0, 1, 1}},
    };
    for (const Case& c : cases) {
        const VoltageGrid grid = ChooseVoltageGrid(*c.store, c.maxPlotHeight);
        EXPECT_EQ(grid.stepMv, c.expected.stepMv) << c.name;
        EXPECT_EQ(grid.bottom, c.expected.bottom) << c.name;
        EXPECT_EQ(grid.top, c.expected.top) << c.name;
        EXPECT_EQ(grid.divisions, c.expected.divisions) << c.name;
    }
}

TEST(VoltageGrid, EndsWithTheSmallestGridWhenNothingCanFit) {
    std::unique_ptr<CurveStore> stores[] = {StoreOf({0}), StoreOf({3000, 4200}),
                                            StoreOf({0, 65535})};
    for (int maxPlotHeight : {19, 1, 0, -5, -2147483647}) {
        for (const auto& store : stores) {
            const VoltageGrid grid = ChooseVoltageGrid(*store, maxPlotHeight);
            EXPECT_EQ(grid.divisions, 1) << maxPlotHeight;
            EXPECT_TRUE(IsOneTwoFive(grid.stepMv)) << grid.stepMv;
            EXPECT_EQ(grid, GridByDefinition(*store, maxPlotHeight));
        }
    }
    EXPECT_EQ(ChooseVoltageGrid(*stores[1], 19).stepMv, 5000);
}

TEST(VoltageGrid, NeverLeavesTheScreenWhenTheScreenHoldsADivision) {
    std::mt19937 random(7);
    for (int maxPlotHeight : {20, 39, 40, 100, 333, 600, 1050}) {
        for (int trial = 0; trial < 40; ++trial) {
            const int a = static_cast<int>(random() % 65536);
            const int b = static_cast<int>(random() % 65536);
            auto store = StoreOf({a, b});
            const VoltageGrid grid = ChooseVoltageGrid(*store, maxPlotHeight);
            EXPECT_LE(20 * grid.divisions, maxPlotHeight) << a << " " << b;
            EXPECT_TRUE(IsOneTwoFive(grid.stepMv)) << grid.stepMv;
        }
    }
}

// The search reads the extremes once; divisions are not monotonic in the step (400..599 mV
// is one division at 200 mV but two at 500 mV), so the result must still be the first fit.
TEST(VoltageGrid, OneReadingOfTheExtremesMatchesVisitingEverySamplePerStep) {
    std::mt19937 random(11);
    for (int trial = 0; trial < 300; ++trial) {
        auto store = std::make_unique<CurveStore>();
        const int center = static_cast<int>(random() % 65536);
        const int spread = static_cast<int>(random() % 3000);
        const int count = 1 + static_cast<int>(random() % 50);
        store->sampleMillivolts[0] = static_cast<std::uint16_t>(center);
        for (int i = 1; i < count; ++i) {
            const int v = std::clamp(
                center + static_cast<int>(random() % (2 * spread + 1)) - spread, 0, 65535);
            store->Append(i, static_cast<std::uint16_t>(v));
        }
        const int maxPlotHeight = static_cast<int>(random() % 700);
        const VoltageGrid grid = ChooseVoltageGrid(*store, maxPlotHeight);
        EXPECT_EQ(grid, GridByDefinition(*store, maxPlotHeight))
            << "centre " << center << " spread " << spread << " height " << maxPlotHeight;
    }
    auto nonMonotonic = StoreOf({400, 599});
    EXPECT_EQ(ChooseVoltageGrid(*nonMonotonic, 19).stepMv, 200);
}

TEST(VoltageGrid, ReadsOnlyTheSamplesOfTheCurve) {
    auto store = StoreOf({3000, 3100});
    store->sampleMillivolts[5] = 65000;  // left over from a longer curve
    EXPECT_EQ(ChooseVoltageGrid(*store, 600).stepMv, 10);

    // A damaged lastIndex is bounded by the arrays instead of read past them.
    store->lastIndex = -3;
    EXPECT_EQ(ChooseVoltageGrid(*store, 600).divisions, 1);
    store->lastIndex = CurveStore::kCapacity + 1000;
    EXPECT_EQ(ChooseVoltageGrid(*store, 600).top, 65000 / 5000 + 1);
}

TEST(TimeScale, FollowsTheLengthOfTheCurve) {
    struct Case {
        std::int32_t durationSeconds;
        int secondsPerPixel;
        bool hours;
        int divisions;
        int labelStep;
    };
    const Case cases[] = {
        {-100, 1, false, 10, 1},
        {0, 1, false, 10, 1},
        {1, 1, false, 10, 1},
        {600, 1, false, 10, 1},
        {601, 2, false, 10, 2},
        {1201, 3, false, 15, 2},
        {2400, 4, false, 8, 5},
        {3600, 6, false, 12, 5},
        {5400, 9, false, 9, 10},
        {6001, 11, false, 11, 10},
        {7200, 12, false, 12, 10},
        {7201, 18, true, 15, 2},
        {18000, 30, true, 10, 5},
        {36000, 60, true, 10, 10},
        {36001, 66, true, 11, 10},
        {68400, 114, true, 19, 10},
        {72000, 120, true, 10, 20},
        {72001, 180, true, 15, 20},
        {144000, 240, true, 10, 40},
        {921600, 1560, true, 10, 260},
        {2147483647, 60 * 59653, true, 10, 10 * 59653},
    };
    for (const Case& c : cases) {
        const TimeScale scale = ChooseTimeScale(c.durationSeconds);
        EXPECT_EQ(scale.secondsPerPixel, c.secondsPerPixel) << c.durationSeconds;
        EXPECT_EQ(scale.unitText, c.hours ? QStringLiteral("Часы    ") : QStringLiteral("Минуты  "))
            << c.durationSeconds;
        EXPECT_EQ(scale.divisions, c.divisions) << c.durationSeconds;
        EXPECT_EQ(scale.labelStep, c.labelStep) << c.durationSeconds;
        // The 600 pixels always hold the whole curve.
        EXPECT_GE(600LL * scale.secondsPerPixel, static_cast<long long>(c.durationSeconds));
    }
}

TEST(TimeScale, LabelsShowWholeHoursWithoutDecimals) {
    auto labels = [](std::int32_t durationSeconds) {
        const TimeScale scale = ChooseTimeScale(durationSeconds);
        QStringList texts;
        for (int j = 0; j <= scale.divisions; ++j) {
            texts << TimeLabel(scale, j);
        }
        return texts.join(' ');
    };
    EXPECT_EQ(labels(0), "0 1 2 3 4 5 6 7 8 9 10");
    EXPECT_EQ(labels(7200), "0 10 20 30 40 50 60 70 80 90 100 110 120");
    EXPECT_EQ(labels(7201), "0 0.2 0.4 0.6 0.8 1 1.2 1.4 1.6 1.8 2 2.2 2.4 2.6 2.8 3");
    EXPECT_EQ(labels(18000), "0 0.5 1 1.5 2 2.5 3 3.5 4 4.5 5");
    EXPECT_EQ(labels(72000), "0 2 4 6 8 10 12 14 16 18 20");
    EXPECT_EQ(labels(72001), "0 2 4 6 8 10 12 14 16 18 20 22 24 26 28 30");
    EXPECT_EQ(labels(921600), "0 26 52 78 104 130 156 182 208 234 260");
}

TEST(TimeScale, LabelsIgnoreTheUsersLocale) {
    std::setlocale(LC_ALL, "ru_RU.UTF-8");
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const QString half = TimeLabel(ChooseTimeScale(18000), 1);
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(half, "0.5");
}
