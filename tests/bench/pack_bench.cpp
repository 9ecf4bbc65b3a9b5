#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "pack/Packing.h"

using namespace brimvolt;

namespace {

// Cells as a tester measures them: whole mAh from N(2500, 150), Rin 30 to 90 mOhm.
std::vector<PackCell> MeasuredCells(int count, std::uint32_t batch) {
    std::mt19937 random(batch);
    std::normal_distribution<double> capacity(2500.0, 150.0);
    std::uniform_real_distribution<double> rin(30.0, 90.0);
    std::vector<PackCell> cells;
    for (int i = 0; i < count; ++i) {
        cells.push_back({QString("C%1").arg(i), std::round(capacity(random)),
                         std::round(rin(random) * 10.0) / 10.0});
    }
    return cells;
}

// No pack is larger than the largest S×P cells shared out in S equal groups.
double PackBound(const std::vector<PackCell>& cells, int series, int parallel) {
    std::vector<double> caps;
    for (const PackCell& cell : cells) {
        caps.push_back(cell.capacityMah);
    }
    std::sort(caps.rbegin(), caps.rend());
    double total = 0.0;
    for (int c = 0; c < series * parallel; ++c) {
        total += caps[static_cast<std::size_t>(c)];
    }
    return total / series;
}

// What the web tools do: the largest cells, each to the group with the smallest sum.
double GreedySpread(const std::vector<PackCell>& cells, int series, int parallel) {
    std::vector<double> caps;
    for (const PackCell& cell : cells) {
        caps.push_back(cell.capacityMah);
    }
    std::sort(caps.rbegin(), caps.rend());
    std::vector<double> sums(static_cast<std::size_t>(series), 0.0);
    std::vector<int> counts(static_cast<std::size_t>(series), 0);
    for (int c = 0; c < series * parallel; ++c) {
        std::size_t target = 0;
        bool any = false;
        for (std::size_t g = 0; g < sums.size(); ++g) {
            if (counts[g] < parallel && (!any || sums[g] < sums[target])) {
                target = g;
                any = true;
            }
        }
        sums[target] += caps[static_cast<std::size_t>(c)];
        ++counts[target];
    }
    const auto [low, high] = std::minmax_element(sums.begin(), sums.end());
    return *high - *low;
}

void PackCells(benchmark::State& state, int count, int series, int parallel, double rinBound) {
    const std::vector<PackCell> cells = MeasuredCells(count, 1234);
    PackRequest request;
    request.series = series;
    request.parallel = parallel;
    if (rinBound > 0.0) {
        request.maxRinSpreadMohm = rinBound;
    }
    PackPlan plan;
    for (auto _ : state) {
        plan = PlanPack(cells, request);
        benchmark::DoNotOptimize(plan);
    }
    if (!plan.Ok()) {
        state.SkipWithError(PackFailureText(plan, request).toStdString().c_str());
        return;
    }
    double widestRin = 0.0;
    for (const auto& group : plan.groups) {
        const auto range = GroupRin(group, cells);
        widestRin = std::max(widestRin, range ? range->second - range->first : 0.0);
    }
    state.counters["pack_mAh"] = FiguresOf(plan, cells).packMah;
    state.counters["pack_bound_mAh"] = PackBound(cells, series, parallel);
    state.counters["spread_mAh"] = FiguresOf(plan, cells).spreadMah;
    state.counters["greedy_spread_mAh"] = GreedySpread(cells, series, parallel);
    state.counters["widest_rin_mOhm"] = widestRin;
}

}  // namespace

// Goals: the pack within 1 mAh of its bound (the largest cells shared out evenly) and then the
// smallest spread; 14S10P keeping a 15 mOhm Rin bound in a second, 13S4P in half a second (also
// shown under the same Rin bound).
BENCHMARK_CAPTURE(PackCells, 200_cells_14S10P_rin15, 200, 14, 10, 15.0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PackCells, 60_cells_13S4P, 60, 13, 4, 0.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PackCells, 60_cells_13S4P_rin15, 60, 13, 4, 15.0)->Unit(benchmark::kMillisecond);
