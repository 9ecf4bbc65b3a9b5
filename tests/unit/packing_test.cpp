// The pack search against a search of every grouping written here on its own, and the Rin
// bound and the refusals on packs too large for that.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>
#include <random>
#include <set>

#include "pack/Packing.h"

namespace {

using namespace brimvolt;

struct Best {
    bool found = false;
    double spread = 0.0;
    double pack = 0.0;
};

bool RinOk(const std::vector<int>& group, const std::vector<PackCell>& cells,
           const PackRequest& request) {
    if (!request.maxRinSpreadMohm) {
        return true;
    }
    const auto range = GroupRin(group, cells);
    return !range || range->second - range->first <= *request.maxRinSpreadMohm + 1e-9;
}

// Every choice of S×P cells, every split of them into S groups (the lowest cell left starts
// the next group), kept when each group keeps the Rin bound: the largest pack, then the
// smallest spread.
class CEveryGrouping {
public:
    CEveryGrouping(const std::vector<PackCell>& cells, const PackRequest& request)
        : cells(cells), request(request) {}

    Best Search() {
        std::vector<int> usable;
        for (int i = 0; i < std::ssize(cells); ++i) {
            const PackCell& cell = cells[static_cast<std::size_t>(i)];
            if ((request.minCapacityMah && cell.capacityMah < *request.minCapacityMah) ||
                (request.maxRinSpreadMohm && !request.allowMissingRin && !cell.rinMohm)) {
                continue;
            }
            usable.push_back(i);
        }
        const int need = request.series * request.parallel;
        const int n = static_cast<int>(usable.size());
        for (unsigned mask = 0; mask < (1u << n); ++mask) {
            if (std::popcount(mask) != need) {
                continue;
            }
            std::vector<int> chosen;
            for (int k = 0; k < n; ++k) {
                if (mask & (1u << k)) {
                    chosen.push_back(usable[static_cast<std::size_t>(k)]);
                }
            }
            groups.clear();
            Split(chosen);
        }
        return best;
    }

private:
    void Split(std::vector<int> left) {
        if (left.empty()) {
            double low = 1e300;
            double high = -1e300;
            for (const auto& group : groups) {
                low = std::min(low, GroupCapacity(group, cells));
                high = std::max(high, GroupCapacity(group, cells));
            }
            const double spread = high - low;
            if (!best.found || low > best.pack + 1e-9 ||
                (low > best.pack - 1e-9 && spread < best.spread - 1e-9)) {
                best = {true, spread, low};
            }
            return;
        }
        const int first = left.front();
        left.erase(left.begin());
        // Choose the P-1 companions of the first cell.
        std::vector<bool> pick(left.size(), false);
        std::fill(pick.end() - (request.parallel - 1), pick.end(), true);
        do {
            std::vector<int> group{first};
            std::vector<int> rest;
            for (std::size_t k = 0; k < left.size(); ++k) {
                (pick[k] ? group : rest).push_back(left[k]);
            }
            if (RinOk(group, cells, request)) {
                groups.push_back(group);
                Split(rest);
                groups.pop_back();
            }
        } while (std::next_permutation(pick.begin(), pick.end()));
    }

    const std::vector<PackCell>& cells;
    const PackRequest& request;
    std::vector<std::vector<int>> groups;
    Best best;
};

// A plan's shape: S groups of P, every usable cell once in the pack or the spares, the Rin
// bound kept.
void ExpectSoundPlan(const PackPlan& plan, const std::vector<PackCell>& cells,
                     const PackRequest& request) {
    ASSERT_TRUE(plan.Ok());
    ASSERT_EQ(std::ssize(plan.groups), request.series);
    std::multiset<int> seen;
    for (const auto& group : plan.groups) {
        EXPECT_EQ(std::ssize(group), request.parallel);
        EXPECT_TRUE(RinOk(group, cells, request));
        seen.insert(group.begin(), group.end());
    }
    seen.insert(plan.spares.begin(), plan.spares.end());
    seen.insert(plan.leftOut.begin(), plan.leftOut.end());
    EXPECT_EQ(seen.size(), cells.size());
    EXPECT_EQ(std::set<int>(seen.begin(), seen.end()).size(), cells.size());
}

PackRequest Request(int series, int parallel, std::optional<double> bound = std::nullopt,
                    bool allowMissingRin = true, std::optional<double> minCapacity = std::nullopt) {
    PackRequest request;
    request.series = series;
    request.parallel = parallel;
    request.maxRinSpreadMohm = bound;
    request.allowMissingRin = allowMissingRin;
    request.minCapacityMah = minCapacity;
    return request;
}

std::vector<PackCell> RandomCells(std::mt19937& random, int count, double spreadMah,
                                  double missingRinShare) {
    std::uniform_int_distribution<int> capacity(0, static_cast<int>(spreadMah));
    std::uniform_int_distribution<int> rin(30, 90);
    std::uniform_real_distribution<double> share(0.0, 1.0);
    std::vector<PackCell> cells;
    for (int i = 0; i < count; ++i) {
        PackCell cell{QString("C%1").arg(i), 2000.0 + capacity(random), std::nullopt};
        if (share(random) >= missingRinShare) {
            cell.rinMohm = rin(random);
        }
        cells.push_back(cell);
    }
    return cells;
}

}  // namespace

TEST(Packing, SmallPacksGetTheBestGroupingThereIs) {
    const std::pair<int, int> shapes[] = {{2, 1}, {1, 3}, {3, 1}, {2, 2}, {3, 2}, {2, 3},
                                          {4, 2}, {3, 3}, {2, 5}, {5, 2}, {4, 3}, {3, 4}};
    std::mt19937 random(7);
    int feasible = 0;
    int refused = 0;
    for (const auto& [series, parallel] : shapes) {
        for (int count = series * parallel; count <= kExactCells; ++count) {
            for (int variant = 0; variant < 4; ++variant) {
                PackRequest request = Request(series, parallel);
                if (variant >= 1) {
                    request.maxRinSpreadMohm = variant == 1 ? 25.0 : 12.0;
                    request.allowMissingRin = variant != 3;
                }
                if (variant == 2) {
                    request.minCapacityMah = 2030.0;
                }
                const auto cells = RandomCells(random, count, variant == 0 ? 400 : 60, 0.15);
                SCOPED_TRACE(testing::Message() << series << "S" << parallel << "P from " << count
                                                << " cells, variant " << variant);
                const Best best = CEveryGrouping(cells, request).Search();
                const PackPlan plan = PlanPack(cells, request);
                if (!best.found) {
                    EXPECT_FALSE(plan.Ok());
                    EXPECT_TRUE(plan.failure == PackFailure::RinSpread ||
                                plan.failure == PackFailure::TooFewCells);
                    ++refused;
                    continue;
                }
                ++feasible;
                ExpectSoundPlan(plan, cells, request);
                EXPECT_TRUE(plan.exact);
                const PackFigures figures = FiguresOf(plan, cells);
                EXPECT_DOUBLE_EQ(figures.spreadMah, best.spread);
                EXPECT_DOUBLE_EQ(figures.packMah, best.pack);
            }
        }
    }
    // Both kinds of case were met.
    EXPECT_GT(feasible, 100);
    EXPECT_GT(refused, 5);
}

TEST(Packing, LargerPacksKeepTheRinBoundAndFindTheBestPlanWhereItCanBeChecked) {
    std::mt19937 random(11);
    struct Case {
        int series, parallel, count;
        std::optional<double> bound;
        double missingRin;
        bool checked;  // small enough for the search of every grouping here
    };
    const Case cases[] = {
        {2, 7, 14, std::nullopt, 0.0, true},  {2, 6, 14, 20.0, 0.1, true},
        {3, 4, 14, std::nullopt, 0.0, true},  {3, 4, 13, 25.0, 0.0, true},
        {4, 5, 30, std::nullopt, 0.0, false}, {7, 3, 40, 10.0, 0.0, false},
        {5, 6, 36, 15.0, 0.2, false},         {13, 4, 60, 15.0, 0.0, false},
        {3, 7, 21, 40.0, 0.1, false},         {10, 2, 25, 5.0, 0.0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.series << "S" << c.parallel << "P from " << c.count);
        const auto cells = RandomCells(random, c.count, 300, c.missingRin);
        const PackRequest request = Request(c.series, c.parallel, c.bound);
        const PackPlan plan = PlanPack(cells, request);
        EXPECT_EQ(plan.exact, c.checked);
        if (!c.checked) {
            ExpectSoundPlan(plan, cells, request);
            continue;
        }
        const Best best = CEveryGrouping(cells, request).Search();
        if (!best.found) {
            EXPECT_EQ(plan.failure, PackFailure::RinSpread);
            continue;
        }
        ExpectSoundPlan(plan, cells, request);
        EXPECT_DOUBLE_EQ(FiguresOf(plan, cells).packMah, best.pack);
        EXPECT_DOUBLE_EQ(FiguresOf(plan, cells).spreadMah, best.spread);
    }
}

TEST(Packing, ImpossibleRequestsSayWhyInOneLine) {
    std::vector<PackCell> spreadRin;  // Rin 10 mOhm apart: no two within 5 of each other
    for (int i = 0; i < 20; ++i) {
        spreadRin.push_back({QString("R%1").arg(i), 2500.0 + i, 30.0 + 10 * i});
    }
    std::vector<PackCell> noRin = spreadRin;
    for (auto& cell : noRin) {
        cell.rinMohm.reset();
    }
    struct Case {
        const std::vector<PackCell>* cells;
        PackRequest request;
        PackFailure failure;
        const char* says;
    };
    const Case cases[] = {
        {&spreadRin, Request(5, 5), PackFailure::TooFewCells,
         "too few cells: 5S5P needs 25, 20 can be used"},
        {&spreadRin, Request(2, 2, std::nullopt, true, 2518.0), PackFailure::TooFewCells,
         "too few cells: 2S2P needs 4, 2 can be used"},
        {&spreadRin, Request(2, 2, 5.0), PackFailure::RinSpread,
         "no grouping keeps the Rin spread of every group within 5 mOhm"},
        {&spreadRin, Request(3, 2, 9.0), PackFailure::RinSpread, "within 9 mOhm"},
        {&noRin, Request(2, 2, 5.0, false), PackFailure::TooFewCells, "needs 4, 0 can be used"},
        {&spreadRin, Request(0, 3), PackFailure::BadShape, "at least 1"},
        {&spreadRin, Request(100000, 100000), PackFailure::BadShape, "at most"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        const PackPlan plan = PlanPack(*c.cells, c.request);
        EXPECT_EQ(plan.failure, c.failure);
        EXPECT_TRUE(plan.groups.empty());
        const QString text = PackFailureText(plan, c.request);
        EXPECT_TRUE(text.contains(c.says)) << text.toStdString();
        EXPECT_FALSE(text.contains('\n'));
    }
    // The same Rin spread is fine once the bound is wide enough, and cells without Rin go
    // anywhere when allowed.
    EXPECT_TRUE(PlanPack(spreadRin, Request(3, 2, 10.0)).Ok());
    EXPECT_TRUE(PlanPack(noRin, Request(3, 2, 1.0)).Ok());

    // Too many cells to try every grouping: the largest cells are too far apart in Rin, the
    // smaller ones make the pack, and one group more than they can make is refused.
    std::vector<PackCell> mixed;
    for (int i = 0; i < 40; ++i) {
        mixed.push_back({QString("far%1").arg(i), 3000.0 + i, 10.0 * i});
    }
    for (int i = 0; i < 20; ++i) {
        mixed.push_back({QString("near%1").arg(i), 2000.0 + i, 50.0 + 0.1 * i});
    }
    const PackRequest fourByFive = Request(4, 5, 2.0);
    const PackPlan plan = PlanPack(mixed, fourByFive);
    ExpectSoundPlan(plan, mixed, fourByFive);
    EXPECT_FALSE(plan.exact);
    EXPECT_EQ(PlanPack(mixed, Request(5, 5, 2.0)).failure, PackFailure::RinSpread);
}

// Measured cells where the descent once went back and forth between two exchanges for ever:
// capacities with a decimal, Rin within reach of the bound, a few cells without Rin.
TEST(Packing, RinBoundedSearchesEndWithAPlanWithinTheBound) {
    struct Case {
        int series, parallel;
        std::vector<std::pair<double, double>> cells;  // capacity, Rin (-1: none)
    };
    const Case cases[] = {
        {4, 6, {{2516.2, 31.8}, {2495.4, 37.9}, {2469.7, 49.8}, {2169.0, 46.2}, {2660.5, 34.9},
                {2575.1, -1},   {2472.7, 32.4}, {2464.1, 47.6}, {2336.3, 44.6}, {2992.9, 30.3},
                {2511.2, 31.8}, {2583.5, 49.9}, {2795.9, 46.9}, {2463.8, 42.3}, {2200.0, 43.8},
                {2643.8, 46.3}, {2639.3, 34.0}, {2684.0, -1},   {2768.4, 31.3}, {2753.9, 33.5},
                {2665.9, 33.9}, {2258.1, 32.4}, {2472.4, 39.5}, {2563.6, 31.2}}},
        {5, 5, {{2437.9, 39.1}, {2234.1, 35.1}, {2606.5, 59.4}, {2658.3, 55.3}, {2483.3, 33.6},
                {2634.8, 54.4}, {2470.1, 50.1}, {2308.8, 36.3}, {2847.2, 55.1}, {2522.2, 32.9},
                {2293.1, 30.4}, {2705.7, 50.2}, {2523.6, 35.6}, {2328.5, 37.6}, {2511.2, 57.7},
                {2424.2, 44.7}, {2754.7, 57.3}, {2606.7, 39.3}, {2501.3, 35.8}, {2596.2, 48.7},
                {2282.9, -1},   {2243.1, 35.0}, {2417.5, 31.5}, {2195.1, 31.1}, {2531.6, 52.5},
                {2385.0, 32.7}, {2581.4, 56.4}, {2487.3, 57.6}, {2411.8, 34.4}, {2559.2, 47.1},
                {2753.2, 41.5}, {2343.0, 54.5}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.series << "S" << c.parallel << "P");
        std::vector<PackCell> cells;
        for (const auto& [capacity, rin] : c.cells) {
            cells.push_back({QString("C%1").arg(cells.size()), capacity,
                             rin < 0 ? std::nullopt : std::optional<double>(rin)});
        }
        const PackRequest request = Request(c.series, c.parallel, 10.0);
        const PackPlan plan = PlanPack(cells, request);
        EXPECT_FALSE(plan.exact);
        ExpectSoundPlan(plan, cells, request);
    }
}

// One cell out of tens of thousands: the largest, the others spares, on any thread's stack.
TEST(Packing, OneCellFromSeventyThousandIsTheLargest) {
    std::vector<PackCell> cells;
    for (int i = 0; i < 70000; ++i) {
        cells.push_back({QString("C%1").arg(i), 2000.0 + (i * 7919) % 1000, std::nullopt});
    }
    cells[43210].capacityMah = 3000.0;
    const PackPlan plan = PlanPack(cells, Request(1, 1));
    ASSERT_TRUE(plan.Ok());
    EXPECT_EQ(plan.groups, (std::vector<std::vector<int>>{{43210}}));
    EXPECT_EQ(plan.spares.size(), 69999u);
}

// With more cells than the pack takes, the pack is as large as the largest cells allow: they
// shared out in equal groups (integer mAh, so within the rounding of the division).
TEST(Packing, LargePoolsGiveTheLargestPackTheBestCellsAllow) {
    std::mt19937 random(1);
    std::uniform_int_distribution<int> capacity(0, 800);
    std::vector<PackCell> cells;
    for (int i = 0; i < 60; ++i) {
        cells.push_back({QString("C%1").arg(i), 2000.0 + capacity(random), std::nullopt});
    }
    std::vector<double> caps;
    for (const PackCell& cell : cells) {
        caps.push_back(cell.capacityMah);
    }
    std::sort(caps.rbegin(), caps.rend());
    const double best = std::floor(std::accumulate(caps.begin(), caps.begin() + 56, 0.0) / 4);

    const PackRequest request = Request(4, 14);
    const PackPlan plan = PlanPack(cells, request);
    ExpectSoundPlan(plan, cells, request);
    EXPECT_FALSE(plan.exact);
    EXPECT_EQ(FiguresOf(plan, cells).packMah, best);
    // The fixed random start: the same cells give the same plan.
    const PackPlan again = PlanPack(cells, request);
    EXPECT_EQ(again.groups, plan.groups);
    EXPECT_EQ(again.spares, plan.spares);
}
