#include "pack/Packing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>

namespace brimvolt {

namespace {

constexpr double kEps = 1e-9;
constexpr double kInf = std::numeric_limits<double>::infinity();
// Capacities are summed in whole µAh: sums of doubles differ in their last bits with the order
// of the terms, and a search that compares them with a tolerance can walk in circles.
using Units = std::int64_t;
constexpr double kUnitsPerMah = 1000.0;
// Equal scores are told apart by the squared deviations of the group sums, computed in doubles:
// a move counts only when it lowers them by more than their rounding can.
constexpr double kSquaresMargin = 1e-9;
// The random moves repeat from run to run, so the same cells always give the same plan.
constexpr std::uint32_t kRandomStart = 20240601;
// The annealing's cost: the spread, minus the smallest group several times over (the pack
// comes first), plus the squared deviations of the group sums (to tell equal spreads apart),
// minus the capacity a spare brings in (so the best cells go in).
constexpr double kPackWeight = 4.0;
constexpr double kSquaresWeight = 0.05;
constexpr double kTotalWeight = 2.0;
constexpr int kStepsPerCell = 500;
// Rounds of iterated descent after the annealing: a few random exchanges, then descent.
constexpr int kKicks = 50;
constexpr std::size_t kKickCells = 10000;
// Two groups (or a group and the spares) are shared out anew in every way when there are at
// most this many ways.
constexpr double kRegroupWays = 5000;
// The local search exchanges with at most this many spares (or twice the pack), the largest.
constexpr std::size_t kSearchedSpares = 100;
// Exchanges of two cells for two are tried where there are at most this many.
constexpr double kExchangeTwoWays = 200000;
// The descents try at most this many exchanges in all: each move they make improves the plan,
// so they end anyway, but the moves can be many.
constexpr std::uint64_t kMaxTrials = 400'000'000;
// The walk that finds groups within the Rin bound keeps a table this large at most.
constexpr double kMaxWalkStates = 2e7;
// Pools with at most this many groupings are searched through.
constexpr double kExactWays = 1e6;

/** How good a grouping is: the larger pack (its smallest group) first, then the smaller spread. */
struct Score {
    Units pack = std::numeric_limits<Units>::min();
    Units spread = std::numeric_limits<Units>::max();
};

bool Better(const Score& a, const Score& b) {
    return a.pack > b.pack || (a.pack == b.pack && a.spread < b.spread);
}

Score ScoreOf(const std::vector<Units>& sums) {
    const auto [low, high] = std::minmax_element(sums.begin(), sums.end());
    return {*low, *high - *low};
}

/** The score, then the squared deviations of the group sums: the order the descents climb. */
struct Rank {
    Score score;
    double squares = kInf;
};

Rank RankOf(const std::vector<Units>& sums) {
    double mean = 0.0;
    for (const Units sum : sums) {
        mean += static_cast<double>(sum);
    }
    mean /= static_cast<double>(sums.size());
    double squares = 0.0;
    for (const Units sum : sums) {
        squares += (static_cast<double>(sum) - mean) * (static_cast<double>(sum) - mean);
    }
    return {ScoreOf(sums), squares};
}

/** A strict order: a chain of moves each ahead of the last never comes back to a grouping. */
bool Ahead(const Rank& a, const Rank& b) {
    if (Better(a.score, b.score)) {
        return true;
    }
    return !Better(b.score, a.score) && a.squares < b.squares - kSquaresMargin * b.squares;
}

/**
 * The rank of the grouping after one or two of its sums change, without a pass over them all:
 * the new ends from the three lowest and highest sums, the squares by their exact change.
 */
class CTrial {
public:
    explicit CTrial(const std::vector<Units>& sums) : sums(sums), now(RankOf(sums)) {
        std::vector<std::size_t> order(sums.size());
        std::iota(order.begin(), order.end(), 0);
        const std::size_t ends = std::min<std::size_t>(3, sums.size());
        std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(ends),
                          order.end(),
                          [&](std::size_t a, std::size_t b) { return sums[a] < sums[b]; });
        lowest.assign(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(ends));
        std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(ends),
                          order.end(),
                          [&](std::size_t a, std::size_t b) { return sums[a] > sums[b]; });
        highest.assign(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(ends));
        double total = 0.0;
        for (const Units sum : sums) {
            total += static_cast<double>(sum);
        }
        mean = total / static_cast<double>(sums.size());
    }

    const Rank& Now() const { return now; }

    /** Group i gives d to group j. */
    Rank Exchange(std::size_t i, std::size_t j, Units d) const {
        const double dd = static_cast<double>(d);
        // Σ(s−mean)² changes by 2d(d − (s_i − s_j)); the mean stays.
        const double squares =
            now.squares + 2.0 * dd * (dd - static_cast<double>(sums[i] - sums[j]));
        return {Ends(i, sums[i] - d, j, sums[j] + d), squares};
    }

    /** Group i gains g from the spares. */
    Rank Gain(std::size_t i, Units g) const {
        const double gg = static_cast<double>(g);
        const double count = static_cast<double>(sums.size());
        const double squares = now.squares + 2.0 * gg * (static_cast<double>(sums[i]) - mean) +
                               gg * gg * (count - 1.0) / count;
        return {Ends(i, sums[i] + g, i, sums[i] + g), squares};
    }

private:
    Score Ends(std::size_t i, Units si, std::size_t j, Units sj) const {
        Units low = std::min(si, sj);
        Units high = std::max(si, sj);
        for (const std::size_t g : lowest) {
            if (g != i && g != j) {
                low = std::min(low, sums[g]);
                break;
            }
        }
        for (const std::size_t g : highest) {
            if (g != i && g != j) {
                high = std::max(high, sums[g]);
                break;
            }
        }
        return {low, high - low};
    }

    const std::vector<Units>& sums;
    Rank now;
    std::vector<std::size_t> lowest;   // the three lowest sums' groups, lowest first
    std::vector<std::size_t> highest;  // the three highest sums' groups, highest first
    double mean = 0.0;
};

/** The caller's cancel flag, and the trials the descents may still make. */
class CBudget {
public:
    explicit CBudget(const std::atomic<bool>* cancel) : cancel(cancel) {}

    bool Cancelled() {
        stopped = stopped || (cancel && cancel->load(std::memory_order_relaxed));
        return stopped;
    }
    void Spend(std::size_t count) { trials += count; }
    bool Left() { return !Cancelled() && trials < kMaxTrials; }

private:
    const std::atomic<bool>* cancel;
    std::uint64_t trials = 0;
    bool stopped = false;
};

/** The usable cells, numbered 0..n-1, largest first. */
struct Pool {
    std::vector<int> index;  // into the cells given
    std::vector<Units> cap;
    std::vector<double> rin;  // NaN: not measured
    double bound = kInf;

    int Size() const { return static_cast<int>(cap.size()); }
    bool HasRin(int c) const { return !std::isnan(rin[static_cast<std::size_t>(c)]); }
    Units Cap(int c) const { return cap[static_cast<std::size_t>(c)]; }
    double Rin(int c) const { return rin[static_cast<std::size_t>(c)]; }
};

/** A group's Rin range fits the bound (cells without a Rin do not count). */
bool RinFits(const Pool& pool, const std::vector<int>& group, int out = -1, int in = -1) {
    if (std::isinf(pool.bound)) {
        return true;
    }
    double low = kInf;
    double high = -kInf;
    const auto take = [&](int c) {
        if (pool.HasRin(c)) {
            low = std::min(low, pool.Rin(c));
            high = std::max(high, pool.Rin(c));
        }
    };
    for (const int c : group) {
        if (c != out) {
            take(c);
        }
    }
    if (in >= 0) {
        take(in);
    }
    return high - low <= pool.bound + kEps || low > high;
}

/**
 * Every grouping of the pool, with cuts: for small pools, where it is the answer. The walk keeps
 * its own stack (a level per cell would overflow the thread's on a large pool) and cuts a
 * branch as soon as even the largest cells left could not lift it above the best grouping.
 */
class CExactSearch {
public:
    CExactSearch(const Pool& pool, int series, int parallel, CBudget& budget)
        : pool(pool),
          series(series),
          parallel(parallel),
          maxSpares(pool.Size() - series * parallel),
          budget(budget),
          sums(Ix(series), 0),
          counts(Ix(series), 0),
          low(Ix(series), kInf),
          high(Ix(series), -kInf),
          assign(Ix(pool.Size()), -1),
          prefix(Ix(pool.Size()) + 1, 0) {
        for (int c = 0; c < pool.Size(); ++c) {
            prefix[Ix(c) + 1] = prefix[Ix(c)] + pool.Cap(c);
        }
    }

    /**
     * The best assignment (group of each cell, -1 a spare), or empty when none fits; when
     * cancelled, the best met until then.
     */
    std::vector<int> Run() {
        std::vector<Frame> stack{Frame{0}};
        std::uint64_t steps = 0;
        while (!stack.empty()) {
            if ((++steps & 0xFFF) == 0 && budget.Cancelled()) {
                break;
            }
            Frame& frame = stack.back();
            if (frame.taken != kNothing) {
                Undo(frame);
            } else if (Closed(frame.k)) {
                stack.pop_back();
                continue;
            }
            if (!Advance(frame)) {
                stack.pop_back();
                continue;
            }
            const int next = frame.k + 1;
            stack.push_back(Frame{next});
        }
        return best;
    }

private:
    static constexpr int kNothing = -2;
    static constexpr int kSpare = -1;

    /** A cell's place in the walk: the choices tried for it, the one now made. */
    struct Frame {
        int k = 0;
        int next = 0;  // the next group to try; series: a spare; beyond: nothing left
        int taken = kNothing;
        double oldLow = 0.0;
        double oldHigh = 0.0;
        int oldOpened = 0;
    };

    /** The cells from k on (largest first) summed, at most m of them. */
    Units Largest(int k, int m) const {
        return prefix[Ix(std::min(pool.Size(), k + m))] - prefix[Ix(k)];
    }

    /** The pool's m smallest cells summed. */
    Units Smallest(int m) const { return prefix[Ix(pool.Size())] - prefix[Ix(pool.Size() - m)]; }

    /** True when the walk need not go below cell k: a grouping is complete, or none can win. */
    bool Closed(int k) {
        const int inPack = series * parallel;
        if (placed == inPack) {
            // The cells left are spares.
            const Score score = ScoreOf(sums);
            if (best.empty() || Better(score, bestScore)) {
                bestScore = score;
                best = assign;
            }
            return true;
        }
        if (pool.Size() - k < inPack - placed) {
            return true;
        }
        if (best.empty()) {
            return false;
        }
        // Each group at best gets the largest cells left; at least the smallest of the pool.
        Units highest = std::numeric_limits<Units>::max();
        Units fullest = bestScore.pack;
        for (int g = 0; g < series; ++g) {
            const int missing = parallel - counts[Ix(g)];
            highest = std::min(highest, sums[Ix(g)] + Largest(k, missing));
            fullest = std::max(fullest, sums[Ix(g)] + Smallest(missing));
        }
        return highest < bestScore.pack ||
               (highest == bestScore.pack && fullest - bestScore.pack >= bestScore.spread);
    }

    /** Makes the frame's next choice; false when none is left. */
    bool Advance(Frame& frame) {
        const int k = frame.k;
        // Groups are interchangeable: a cell opens at most the first empty one.
        const int reach = std::min(opened + 1, series);
        while (frame.next < reach) {
            const int g = frame.next++;
            const std::size_t gi = Ix(g);
            if (counts[gi] == parallel) {
                continue;
            }
            frame.oldLow = low[gi];
            frame.oldHigh = high[gi];
            if (pool.HasRin(k)) {
                const double newLow = std::min(low[gi], pool.Rin(k));
                const double newHigh = std::max(high[gi], pool.Rin(k));
                if (newHigh - newLow > pool.bound + kEps) {
                    continue;
                }
                low[gi] = newLow;
                high[gi] = newHigh;
            }
            frame.oldOpened = opened;
            opened = std::max(opened, g + 1);
            sums[gi] += pool.Cap(k);
            ++counts[gi];
            ++placed;
            assign[Ix(k)] = g;
            frame.taken = g;
            return true;
        }
        if (frame.next <= series && spares < maxSpares) {
            frame.next = series + 1;
            ++spares;
            frame.taken = kSpare;
            return true;
        }
        return false;
    }

    void Undo(Frame& frame) {
        if (frame.taken == kSpare) {
            --spares;
        } else {
            const std::size_t gi = Ix(frame.taken);
            assign[Ix(frame.k)] = -1;
            --placed;
            --counts[gi];
            sums[gi] -= pool.Cap(frame.k);
            opened = frame.oldOpened;
            low[gi] = frame.oldLow;
            high[gi] = frame.oldHigh;
        }
        frame.taken = kNothing;
    }

    static std::size_t Ix(int i) { return static_cast<std::size_t>(i); }

    const Pool& pool;
    const int series;
    const int parallel;
    const int maxSpares;
    CBudget& budget;
    std::vector<Units> sums;
    std::vector<int> counts;
    std::vector<double> low;
    std::vector<double> high;
    std::vector<int> assign;
    std::vector<Units> prefix;  // prefix[k]: the cells before k summed
    int placed = 0;
    int opened = 0;
    int spares = 0;
    std::vector<int> best;
    Score bestScore;
};

/**
 * Groups the given cells (exactly S×P of them) so that every group keeps its Rin range: the
 * cells with a Rin sorted and cut into the fewest runs that fit, the cells without one filling
 * up. Fewest runs is what the greedy cut gives, so a failure here means no grouping exists.
 */
std::optional<std::vector<std::vector<int>>> RinBands(const Pool& pool, std::vector<int> cells,
                                                      int series, int parallel) {
    std::vector<int> measured;
    std::vector<int> wild;
    for (const int c : cells) {
        (pool.HasRin(c) ? measured : wild).push_back(c);
    }
    std::sort(measured.begin(), measured.end(),
              [&](int a, int b) { return pool.Rin(a) < pool.Rin(b); });
    std::vector<std::vector<int>> groups;
    for (std::size_t i = 0; i < measured.size();) {
        std::vector<int> group;
        const double first = pool.Rin(measured[i]);
        while (i < measured.size() && static_cast<int>(group.size()) < parallel &&
               pool.Rin(measured[i]) - first <= pool.bound + kEps) {
            group.push_back(measured[i++]);
        }
        groups.push_back(std::move(group));
        if (static_cast<int>(groups.size()) > series) {
            return std::nullopt;
        }
    }
    groups.resize(static_cast<std::size_t>(series));
    std::size_t w = 0;
    for (auto& group : groups) {
        while (static_cast<int>(group.size()) < parallel && w < wild.size()) {
            group.push_back(wild[w++]);
        }
    }
    return groups;
}

/**
 * S groups drawn from the whole pool when the largest cells cannot be grouped within the Rin
 * bound, or nullopt when no S groups exist. Some best choice of groups takes, for each group,
 * cells that follow each other in Rin order (two groups that cross can trade cells without
 * widening either), so counting the groups is a walk over the sorted cells: skip a cell, or
 * start a group at it with k of its neighbours and P-k cells without a Rin.
 */
std::optional<std::vector<std::vector<int>>> RinWindows(const Pool& pool, int series,
                                                        int parallel) {
    std::vector<int> measured;
    std::vector<int> wild;  // largest first, as the pool is ordered
    for (int c = 0; c < pool.Size(); ++c) {
        (pool.HasRin(c) ? measured : wild).push_back(c);
    }
    std::stable_sort(measured.begin(), measured.end(),
                     [&](int a, int b) { return pool.Rin(a) < pool.Rin(b); });
    const std::size_t n = measured.size();
    const std::size_t p = static_cast<std::size_t>(parallel);
    const std::size_t w = std::min(wild.size(), static_cast<std::size_t>(series) * p);
    if (static_cast<double>(n + 1) * static_cast<double>(w + 1) > kMaxWalkStates) {
        return std::nullopt;
    }
    // most[i][u]: groups to be had from measured[i..] with u cells without a Rin (at most S);
    // take[i][u]: the cells of measured the first group takes there, 0 to skip measured[i].
    const std::size_t width = w + 1;
    std::vector<int> most((n + 1) * width, 0);
    std::vector<std::uint16_t> take((n + 1) * width, 0);
    for (std::size_t u = 0; u <= w; ++u) {
        most[n * width + u] = std::min(static_cast<int>(u / p), series);
    }
    for (std::size_t i = n; i-- > 0;) {
        std::size_t reach = 0;
        while (reach < p && i + reach < n &&
               pool.Rin(measured[i + reach]) - pool.Rin(measured[i]) <= pool.bound + kEps) {
            ++reach;
        }
        for (std::size_t u = 0; u <= w; ++u) {
            int best = most[(i + 1) * width + u];
            std::uint16_t choice = 0;
            for (std::size_t k = 1; k <= reach; ++k) {
                const std::size_t need = p - k;
                if (need <= u) {
                    const int groups = std::min(1 + most[(i + k) * width + u - need], series);
                    if (groups > best) {
                        best = groups;
                        choice = static_cast<std::uint16_t>(k);
                    }
                }
            }
            most[i * width + u] = best;
            take[i * width + u] = choice;
        }
    }
    if (most[w] < series) {
        return std::nullopt;
    }
    std::vector<std::vector<int>> groups;
    std::size_t i = 0;
    std::size_t u = w;
    std::size_t nextWild = 0;
    while (std::ssize(groups) < series && i < n) {
        const std::size_t k = take[i * width + u];
        if (k == 0) {
            ++i;
            continue;
        }
        std::vector<int> group(measured.begin() + static_cast<std::ptrdiff_t>(i),
                               measured.begin() + static_cast<std::ptrdiff_t>(i + k));
        for (std::size_t f = k; f < p; ++f) {
            group.push_back(wild[nextWild++]);
        }
        u -= p - k;
        i += k;
        groups.push_back(std::move(group));
    }
    while (std::ssize(groups) < series) {
        groups.emplace_back(wild.begin() + static_cast<std::ptrdiff_t>(nextWild),
                            wild.begin() + static_cast<std::ptrdiff_t>(nextWild + p));
        nextWild += p;
    }
    return groups;
}
/**
 * Exchanges between groups and with the spares, from a grouping that keeps the Rin bound. Every
 * move a descent makes puts the grouping ahead in one strict order (the score, then the squared
 * deviations), so no two moves can undo each other; the budget bounds the work besides.
 */
class CLocalSearch {
public:
    CLocalSearch(const Pool& pool, std::vector<std::vector<int>> start, std::vector<int> spares,
                 CBudget& budget)
        : pool(pool), budget(budget), groups(std::move(start)), spares(std::move(spares)) {
        for (const auto& group : groups) {
            sums.push_back(Sum(group));
        }
    }

    void Run() {
        Descend();
        Anneal();
        Descend();
        // Large packs get fewer rounds: each descent costs about the square of their size.
        std::size_t cells = 0;
        for (const auto& group : groups) {
            cells += group.size();
        }
        Kicks(
            std::clamp(static_cast<int>(kKickCells / std::max<std::size_t>(cells, 1)), 2, kKicks));
    }

    const std::vector<std::vector<int>>& Groups() const { return groups; }
    const std::vector<int>& Spares() const { return spares; }

private:
    Units Sum(const std::vector<int>& group) const {
        Units sum = 0;
        for (const int c : group) {
            sum += pool.Cap(c);
        }
        return sum;
    }

    bool SwapFits(std::size_t i, std::size_t j, int a, int b) const {
        return RinFits(pool, groups[i], a, b) && RinFits(pool, groups[j], b, a);
    }

    void Descend() {
        do {
            while (budget.Left() && EvenPairs()) {
            }
        } while (budget.Left() && (NarrowSpread() || Regroup()));
    }

    /** Iterated descent: a few random exchanges from the best grouping, then descent again. */
    void Kicks(int kicks) {
        std::mt19937 random(kRandomStart + 1);
        const auto pick = [&](std::size_t size) {
            return std::uniform_int_distribution<std::size_t>(0, size - 1)(random);
        };
        auto bestGroups = groups;
        auto bestSpares = spares;
        auto bestSums = sums;
        for (int kick = 0; kick < kicks && budget.Left(); ++kick) {
            for (int k = 0, tries = 0; k < 3 && tries < 100; ++tries) {
                const std::size_t i = pick(groups.size());
                const std::size_t x = pick(groups[i].size());
                const bool spare = !spares.empty() && pick(4) == 0;
                const std::size_t j = spare ? 0 : pick(groups.size());
                if (!spare && j == i) {
                    continue;
                }
                std::vector<int>& other = spare ? spares : groups[j];
                const std::size_t y = pick(other.size());
                if (!RinFits(pool, groups[i], groups[i][x], other[y]) ||
                    (!spare && !RinFits(pool, groups[j], other[y], groups[i][x]))) {
                    continue;
                }
                const Units d = pool.Cap(other[y]) - pool.Cap(groups[i][x]);
                sums[i] += d;
                if (!spare) {
                    sums[j] -= d;
                }
                std::swap(groups[i][x], other[y]);
                ++k;
            }
            Descend();
            if (Ahead(RankOf(sums), RankOf(bestSums))) {
                bestGroups = groups;
                bestSpares = spares;
                bestSums = sums;
            } else {
                groups = bestGroups;
                spares = bestSpares;
                sums = bestSums;
            }
        }
        groups = std::move(bestGroups);
        spares = std::move(bestSpares);
        sums = std::move(bestSums);
    }

    /**
     * Where there are few enough ways, every way of sharing the cells of two groups, or of a
     * group and the spares, between them; the one that puts the grouping furthest ahead is
     * made. Small groups need this: one exchange at a time moves too coarsely through their sums.
     */
    bool Regroup() {
        bool moved = false;
        const std::size_t count = groups.size();
        for (std::size_t i = 0; i < count && budget.Left(); ++i) {
            for (std::size_t j = 0; j <= count; ++j) {
                const bool toSpares = j == count;
                if (j == i || (toSpares && spares.empty()) || (!toSpares && j < i)) {
                    continue;
                }
                std::vector<int> both = groups[i];
                const std::vector<int>& other = toSpares ? spares : groups[j];
                both.insert(both.end(), other.begin(), other.end());
                const std::size_t p = groups[i].size();
                if (Ways(both.size(), p) > kRegroupWays) {
                    moved = ExchangeTwo(i, j) || moved;
                    continue;
                }
                std::vector<std::size_t> pickIx(p);
                std::iota(pickIx.begin(), pickIx.end(), 0);
                const CTrial trial(sums);
                Rank bestRank = trial.Now();
                std::optional<std::vector<std::size_t>> best;
                std::vector<int> mine;
                std::vector<int> rest;
                do {
                    Units sum = 0;
                    for (const std::size_t k : pickIx) {
                        sum += pool.Cap(both[k]);
                    }
                    budget.Spend(1);
                    const Rank rank = toSpares ? trial.Gain(i, sum - sums[i])
                                               : trial.Exchange(i, j, sums[i] - sum);
                    if (!Ahead(rank, bestRank)) {
                        continue;
                    }
                    Split(both, pickIx, mine, rest);
                    if (RinFits(pool, mine) && (toSpares || RinFits(pool, rest))) {
                        bestRank = rank;
                        best = pickIx;
                    }
                } while (NextCombination(pickIx, both.size()));
                if (best) {
                    Split(both, *best, mine, rest);
                    groups[i] = mine;
                    (toSpares ? spares : groups[j]) = rest;
                    sums[i] = Sum(groups[i]);
                    if (!toSpares) {
                        sums[j] = Sum(groups[j]);
                    }
                    moved = true;
                }
            }
        }
        return moved;
    }

    /**
     * For groups too large to share out anew: two cells of group i for two of group j (or of
     * the spares, j == the number of groups), when they are the fullest and the smallest.
     */
    bool ExchangeTwo(std::size_t i, std::size_t j) {
        const std::size_t count = groups.size();
        const bool toSpares = j == count;
        const auto ends = std::minmax_element(sums.begin(), sums.end());
        const auto isEnd = [&](std::size_t g) {
            return g < count && (sums[g] == *ends.first || sums[g] == *ends.second);
        };
        // The fullest with the smallest, or either with the spares: elsewhere the score stays.
        if (!isEnd(i) || !(toSpares || (isEnd(j) && sums[i] != sums[j]))) {
            return false;
        }
        std::vector<int>& mine = groups[i];
        std::vector<int>& theirs = toSpares ? spares : groups[j];
        if (mine.size() < 2 || theirs.size() < 2 ||
            Ways(mine.size(), 2) * Ways(theirs.size(), 2) > kExchangeTwoWays) {
            return false;
        }
        const CTrial trial(sums);
        Rank bestRank = trial.Now();
        std::optional<std::array<std::size_t, 4>> best;
        for (std::size_t a1 = 0; a1 < mine.size(); ++a1) {
            for (std::size_t a2 = a1 + 1; a2 < mine.size(); ++a2) {
                const Units out = pool.Cap(mine[a1]) + pool.Cap(mine[a2]);
                budget.Spend(theirs.size() * theirs.size() / 2);
                for (std::size_t b1 = 0; b1 < theirs.size(); ++b1) {
                    for (std::size_t b2 = b1 + 1; b2 < theirs.size(); ++b2) {
                        const Units d = pool.Cap(theirs[b1]) + pool.Cap(theirs[b2]) - out;
                        if (d == 0) {
                            continue;
                        }
                        const Rank rank = toSpares ? trial.Gain(i, d) : trial.Exchange(j, i, d);
                        if (Ahead(rank, bestRank) && FitsAfter(mine, {a1, a2}, theirs, {b1, b2}) &&
                            (toSpares || FitsAfter(theirs, {b1, b2}, mine, {a1, a2}))) {
                            bestRank = rank;
                            best = std::array{a1, a2, b1, b2};
                        }
                    }
                }
            }
        }
        if (!best) {
            return false;
        }
        std::swap(mine[(*best)[0]], theirs[(*best)[2]]);
        std::swap(mine[(*best)[1]], theirs[(*best)[3]]);
        sums[i] = Sum(mine);
        if (!toSpares) {
            sums[j] = Sum(theirs);
        }
        return true;
    }

    /** The group keeps its Rin range with its cells at `out` replaced by `in`'s at `from`. */
    bool FitsAfter(const std::vector<int>& group, std::array<std::size_t, 2> out,
                   const std::vector<int>& in, std::array<std::size_t, 2> from) const {
        std::vector<int> after;
        for (std::size_t k = 0; k < group.size(); ++k) {
            if (k != out[0] && k != out[1]) {
                after.push_back(group[k]);
            }
        }
        after.push_back(in[from[0]]);
        after.push_back(in[from[1]]);
        return RinFits(pool, after);
    }

    static void Split(const std::vector<int>& both, const std::vector<std::size_t>& pickIx,
                      std::vector<int>& mine, std::vector<int>& rest) {
        mine.clear();
        rest.clear();
        std::size_t next = 0;
        for (std::size_t k = 0; k < both.size(); ++k) {
            if (next < pickIx.size() && pickIx[next] == k) {
                mine.push_back(both[k]);
                ++next;
            } else {
                rest.push_back(both[k]);
            }
        }
    }

    static double Ways(std::size_t n, std::size_t k) {
        double ways = 1.0;
        for (std::size_t t = 1; t <= k; ++t) {
            ways = ways * static_cast<double>(n - k + t) / static_cast<double>(t);
        }
        return ways;
    }

    /** The next k-subset of 0..n-1 in lexicographic order; false after the last. */
    static bool NextCombination(std::vector<std::size_t>& pickIx, std::size_t n) {
        const std::size_t k = pickIx.size();
        for (std::size_t t = k; t-- > 0;) {
            if (pickIx[t] < n - k + t) {
                ++pickIx[t];
                for (std::size_t u = t + 1; u < k; ++u) {
                    pickIx[u] = pickIx[u - 1] + 1;
                }
                return true;
            }
        }
        return false;
    }

    /**
     * For every pair of groups, the exchange of one cell each that brings their sums closest
     * (the sum of squared deviations falls by 2·d·(D−d); neither end moves outwards). True
     * when anything moved.
     */
    bool EvenPairs() {
        bool moved = false;
        const std::size_t count = groups.size();
        for (std::size_t i = 0; i < count; ++i) {
            for (std::size_t j = 0; j < count; ++j) {
                const Units gap = sums[i] - sums[j];
                if (gap <= 0) {
                    continue;
                }
                budget.Spend(groups[i].size() * groups[j].size());
                double bestGain = 0.0;
                std::optional<std::pair<std::size_t, std::size_t>> best;
                for (std::size_t x = 0; x < groups[i].size(); ++x) {
                    for (std::size_t y = 0; y < groups[j].size(); ++y) {
                        const Units d = pool.Cap(groups[i][x]) - pool.Cap(groups[j][y]);
                        if (d <= 0 || d >= gap) {
                            continue;
                        }
                        const double gain = static_cast<double>(d) * static_cast<double>(gap - d);
                        if (gain > bestGain && SwapFits(i, j, groups[i][x], groups[j][y])) {
                            bestGain = gain;
                            best = std::pair{x, y};
                        }
                    }
                }
                if (!best) {
                    continue;
                }
                const Units d =
                    pool.Cap(groups[i][best->first]) - pool.Cap(groups[j][best->second]);
                std::vector<Units> trial = sums;
                trial[i] -= d;
                trial[j] += d;
                if (Ahead(RankOf(trial), RankOf(sums))) {
                    std::swap(groups[i][best->first], groups[j][best->second]);
                    sums = std::move(trial);
                    moved = true;
                }
            }
        }
        return moved;
    }

    /**
     * The one exchange that puts the grouping furthest ahead: the fullest or the smallest group
     * with any other group, or one of them with a spare. True when it was made.
     */
    bool NarrowSpread() {
        const std::size_t count = groups.size();
        const auto [lowIt, highIt] = std::minmax_element(sums.begin(), sums.end());
        const std::size_t ends[] = {static_cast<std::size_t>(highIt - sums.begin()),
                                    static_cast<std::size_t>(lowIt - sums.begin())};
        const CTrial trial(sums);
        Rank best = trial.Now();
        struct Move {
            std::size_t i = 0, j = 0, x = 0, y = 0;
            bool spare = false;
        };
        std::optional<Move> move;
        for (const std::size_t i : ends) {
            budget.Spend(groups[i].size() * (spares.size() + groups.size() * groups[i].size()));
            for (std::size_t x = 0; x < groups[i].size(); ++x) {
                const int a = groups[i][x];
                for (std::size_t j = 0; j < count; ++j) {
                    if (j == i) {
                        continue;
                    }
                    for (std::size_t y = 0; y < groups[j].size(); ++y) {
                        const Units d = pool.Cap(a) - pool.Cap(groups[j][y]);
                        if (d == 0) {
                            continue;
                        }
                        const Rank rank = trial.Exchange(i, j, d);
                        if (Ahead(rank, best) && SwapFits(i, j, a, groups[j][y])) {
                            best = rank;
                            move = Move{i, j, x, y, false};
                        }
                    }
                }
                for (std::size_t y = 0; y < spares.size(); ++y) {
                    const Units d = pool.Cap(a) - pool.Cap(spares[y]);
                    if (d == 0) {
                        continue;
                    }
                    const Rank rank = trial.Gain(i, -d);
                    if (Ahead(rank, best) && RinFits(pool, groups[i], a, spares[y])) {
                        best = rank;
                        move = Move{i, 0, x, y, true};
                    }
                }
            }
        }
        if (!move) {
            return false;
        }
        int& a = groups[move->i][move->x];
        int& b = move->spare ? spares[move->y] : groups[move->j][move->y];
        const Units d = pool.Cap(a) - pool.Cap(b);
        sums[move->i] -= d;
        if (!move->spare) {
            sums[move->j] += d;
        }
        std::swap(a, b);
        return true;
    }

    /**
     * Simulated annealing on the group sums: random exchanges between groups and with the
     * spares, worse ones taken less and less often as the temperature falls. The best grouping
     * met is kept. Single exchanges alone stop where every exchange of one cell makes things
     * worse; the walk crosses those places.
     */
    void Anneal() {
        const std::size_t count = groups.size();
        // The cells the search knows (the pack and the spares it was given); where each is: its
        // group (-1 a spare) and its place there.
        std::vector<int> known;
        std::vector<int> groupOf(static_cast<std::size_t>(pool.Size()), -1);
        std::vector<std::size_t> placeOf(static_cast<std::size_t>(pool.Size()), 0);
        for (std::size_t g = 0; g < count; ++g) {
            for (std::size_t x = 0; x < groups[g].size(); ++x) {
                known.push_back(groups[g][x]);
                groupOf[static_cast<std::size_t>(groups[g][x])] = static_cast<int>(g);
                placeOf[static_cast<std::size_t>(groups[g][x])] = x;
            }
        }
        for (std::size_t x = 0; x < spares.size(); ++x) {
            known.push_back(spares[x]);
            placeOf[static_cast<std::size_t>(spares[x])] = x;
        }
        // Partners are drawn among the cells of close Rin, the only ones an exchange can take.
        std::vector<int> byRin;
        for (const int c : known) {
            if (pool.HasRin(c)) {
                byRin.push_back(c);
            }
        }
        std::sort(byRin.begin(), byRin.end(),
                  [&](int a, int b) { return pool.Rin(a) < pool.Rin(b); });
        std::vector<double> rins;
        for (const int c : byRin) {
            rins.push_back(pool.Rin(c));
        }

        const double n = static_cast<double>(known.size());
        double capMean = 0.0;
        double capSquares = 0.0;
        for (const int c : known) {
            const double cap = Mah(pool.Cap(c));
            capMean += cap;
            capSquares += cap * cap;
        }
        capMean /= n;
        const double capVariance = std::max(capSquares / n - capMean * capMean, 1.0);
        const double endTemperature = 0.05;
        const int steps =
            std::clamp(static_cast<int>(known.size()) * kStepsPerCell, 20000, 1000000);
        const double startTemperature = std::sqrt(capVariance);
        const double cooling = std::pow(endTemperature / startTemperature, 1.0 / steps);

        std::mt19937 random(kRandomStart);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const auto pick = [&](std::size_t size) {
            return std::uniform_int_distribution<std::size_t>(0, size - 1)(random);
        };
        // The cost in mAh: the spread and the pack, with the squared deviations to tell equal
        // ones apart.
        const auto cost = [&](std::size_t i, int gb, Units gained) {
            const std::size_t j = static_cast<std::size_t>(gb);
            sums[i] += gained;
            if (gb >= 0) {
                sums[j] -= gained;
            }
            const Rank rank = RankOf(sums);
            sums[i] -= gained;
            if (gb >= 0) {
                sums[j] += gained;
            }
            return Mah(rank.score.spread) - kPackWeight * Mah(rank.score.pack) +
                   kSquaresWeight * rank.squares / (kUnitsPerMah * kUnitsPerMah) /
                       static_cast<double>(count);
        };
        auto bestGroups = groups;
        auto bestSpares = spares;
        Rank best = RankOf(sums);
        double temperature = startTemperature;
        for (int step = 0; step < steps; ++step, temperature *= cooling) {
            if ((step & 0x3FF) == 0 && budget.Cancelled()) {
                break;
            }
            const std::size_t i = pick(count);
            const std::size_t x = pick(groups[i].size());
            const int a = groups[i][x];
            int b = 0;
            if (std::isinf(pool.bound) || !pool.HasRin(a) || pick(4) == 0) {
                b = known[pick(known.size())];
            } else {
                const auto from =
                    std::lower_bound(rins.begin(), rins.end(), pool.Rin(a) - pool.bound - kEps);
                const auto to =
                    std::upper_bound(rins.begin(), rins.end(), pool.Rin(a) + pool.bound + kEps);
                b = byRin[static_cast<std::size_t>(from - rins.begin()) +
                          pick(static_cast<std::size_t>(to - from))];
            }
            const int gb = groupOf[static_cast<std::size_t>(b)];
            if (b == a || gb == static_cast<int>(i)) {
                continue;
            }
            const std::size_t y = placeOf[static_cast<std::size_t>(b)];
            const Units d = pool.Cap(b) - pool.Cap(a);  // what group i gains
            const double change =
                cost(i, gb, d) - cost(i, gb, 0) -
                (gb < 0 ? kTotalWeight * Mah(d) / static_cast<double>(count) : 0.0);
            if (change > 0.0 && unit(random) >= std::exp(-change / temperature)) {
                continue;
            }
            if (gb < 0) {
                if (!RinFits(pool, groups[i], a, b)) {
                    continue;
                }
                std::swap(groups[i][x], spares[y]);
            } else {
                const std::size_t j = static_cast<std::size_t>(gb);
                if (!SwapFits(i, j, a, b)) {
                    continue;
                }
                std::swap(groups[i][x], groups[j][y]);
                sums[j] -= d;
            }
            sums[i] += d;
            groupOf[static_cast<std::size_t>(a)] = gb;
            groupOf[static_cast<std::size_t>(b)] = static_cast<int>(i);
            placeOf[static_cast<std::size_t>(a)] = y;
            placeOf[static_cast<std::size_t>(b)] = x;
            const Rank now = RankOf(sums);
            if (Ahead(now, best)) {
                best = now;
                bestGroups = groups;
                bestSpares = spares;
            }
        }
        groups = std::move(bestGroups);
        spares = std::move(bestSpares);
        sums.clear();
        for (const auto& group : groups) {
            sums.push_back(Sum(group));
        }
    }

    static double Mah(Units units) { return static_cast<double>(units) / kUnitsPerMah; }

    const Pool& pool;
    CBudget& budget;
    std::vector<std::vector<int>> groups;
    std::vector<int> spares;
    std::vector<Units> sums;
};

/** Largest cell first to the group with the smallest sum that has room and keeps its Rin. */
std::optional<std::vector<std::vector<int>>> LargestFirst(const Pool& pool, int cells, int series,
                                                          int parallel) {
    std::vector<std::vector<int>> groups(static_cast<std::size_t>(series));
    std::vector<Units> sums(static_cast<std::size_t>(series), 0);
    for (int c = 0; c < cells; ++c) {
        std::optional<std::size_t> target;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            if (std::ssize(groups[g]) < parallel && (!target || sums[g] < sums[*target]) &&
                RinFits(pool, groups[g], -1, c)) {
                target = g;
            }
        }
        if (!target) {
            return std::nullopt;
        }
        groups[*target].push_back(c);
        sums[*target] += pool.Cap(c);
    }
    return groups;
}

/** The number of ways to choose S unordered groups of P from n cells. */
double Groupings(int n, int series, int parallel) {
    double ways = 1.0;
    int left = n;
    for (int g = 0; g < series; ++g) {
        for (int t = 1; t <= parallel; ++t) {
            ways = ways * (left - parallel + t) / t;
        }
        left -= parallel;
        ways /= g + 1;
    }
    return ways;
}

}  // namespace

double GroupCapacity(const std::vector<int>& group, const std::vector<PackCell>& cells) {
    double sum = 0.0;
    for (const int c : group) {
        sum += cells[static_cast<std::size_t>(c)].capacityMah;
    }
    return sum;
}

std::optional<std::pair<double, double>> GroupRin(const std::vector<int>& group,
                                                  const std::vector<PackCell>& cells) {
    std::optional<std::pair<double, double>> range;
    for (const int c : group) {
        const std::optional<double>& rin = cells[static_cast<std::size_t>(c)].rinMohm;
        if (rin) {
            range = range ? std::pair{std::min(range->first, *rin), std::max(range->second, *rin)}
                          : std::pair{*rin, *rin};
        }
    }
    return range;
}

PackPlan PlanPack(const std::vector<PackCell>& cells, const PackRequest& request,
                  const std::atomic<bool>* cancel) {
    PackPlan plan;
    const std::int64_t packCells = std::int64_t{request.series} * request.parallel;
    if (request.series < 1 || request.parallel < 1 || packCells > kMaxPackCells) {
        plan.failure = PackFailure::BadShape;
        return plan;
    }
    const bool bounded = request.maxRinSpreadMohm.has_value();
    std::vector<int> usable;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const PackCell& cell = cells[i];
        const bool refused =
            !std::isfinite(cell.capacityMah) || cell.capacityMah < 0.0 ||
            cell.capacityMah > kMaxPackCellMah ||
            (request.minCapacityMah && cell.capacityMah < *request.minCapacityMah) ||
            (bounded && !request.allowMissingRin && !cell.rinMohm) ||
            (cell.rinMohm && !std::isfinite(*cell.rinMohm));
        (refused ? plan.leftOut : usable).push_back(static_cast<int>(i));
    }
    plan.usableCells = static_cast<int>(usable.size());
    if (std::ssize(usable) < packCells) {
        plan.failure = PackFailure::TooFewCells;
        return plan;
    }
    // The largest cells first: they are the ones the pack starts from and the exhaustive
    // search meets first, and ties keep the order the cells came in.
    std::stable_sort(usable.begin(), usable.end(), [&](int a, int b) {
        return cells[static_cast<std::size_t>(a)].capacityMah >
               cells[static_cast<std::size_t>(b)].capacityMah;
    });
    Pool pool;
    pool.index = usable;
    pool.bound = bounded ? std::max(0.0, *request.maxRinSpreadMohm) : kInf;
    for (const int i : usable) {
        const PackCell& cell = cells[static_cast<std::size_t>(i)];
        pool.cap.push_back(std::llround(cell.capacityMah * kUnitsPerMah));
        pool.rin.push_back(bounded && cell.rinMohm ? *cell.rinMohm
                                                   : std::numeric_limits<double>::quiet_NaN());
    }
    const int series = request.series;
    const int parallel = request.parallel;
    const int inPack = static_cast<int>(packCells);

    CBudget budget(cancel);
    std::vector<std::vector<int>> groups;
    std::vector<int> spares;
    if (pool.Size() <= kExactCells || Groupings(pool.Size(), series, parallel) <= kExactWays) {
        const std::vector<int> assign = CExactSearch(pool, series, parallel, budget).Run();
        plan.cancelled = budget.Cancelled();
        plan.exact = !plan.cancelled;
        if (assign.empty()) {
            plan.failure = plan.cancelled ? PackFailure::Cancelled : PackFailure::RinSpread;
            return plan;
        }
        groups.resize(static_cast<std::size_t>(series));
        for (int c = 0; c < pool.Size(); ++c) {
            const int g = assign[static_cast<std::size_t>(c)];
            (g < 0 ? spares : groups[static_cast<std::size_t>(g)]).push_back(c);
        }
    } else {
        std::optional<std::vector<std::vector<int>>> start =
            LargestFirst(pool, inPack, series, parallel);
        if (!start) {
            std::vector<int> largest(static_cast<std::size_t>(inPack));
            std::iota(largest.begin(), largest.end(), 0);
            start = RinBands(pool, largest, series, parallel);
        }
        if (!start) {
            start = RinWindows(pool, series, parallel);
        }
        if (!start) {
            plan.failure = PackFailure::RinSpread;
            return plan;
        }
        std::vector<bool> used(static_cast<std::size_t>(pool.Size()), false);
        for (const auto& group : *start) {
            for (const int c : group) {
                used[static_cast<std::size_t>(c)] = true;
            }
        }
        for (int c = 0; c < pool.Size(); ++c) {
            if (!used[static_cast<std::size_t>(c)]) {
                spares.push_back(c);
            }
        }
        // The search exchanges with the largest spares only: a few hundred give it every
        // difference it can use, thousands would only slow each step.
        const std::size_t reach =
            std::max<std::size_t>(2 * static_cast<std::size_t>(inPack), kSearchedSpares);
        std::vector<int> beyond;
        if (spares.size() > reach) {
            beyond.assign(spares.begin() + static_cast<std::ptrdiff_t>(reach), spares.end());
            spares.resize(reach);
        }
        CLocalSearch search(pool, std::move(*start), std::move(spares), budget);
        search.Run();
        plan.cancelled = budget.Cancelled();
        groups = search.Groups();
        spares = search.Spares();
        spares.insert(spares.end(), beyond.begin(), beyond.end());
    }

    // Back to the caller's numbering: the fullest group first, the largest cells first.
    for (auto& group : groups) {
        std::sort(group.begin(), group.end());
        for (int& c : group) {
            c = pool.index[static_cast<std::size_t>(c)];
        }
    }
    std::stable_sort(groups.begin(), groups.end(), [&](const auto& a, const auto& b) {
        return GroupCapacity(a, cells) > GroupCapacity(b, cells);
    });
    std::sort(spares.begin(), spares.end());
    for (int& c : spares) {
        c = pool.index[static_cast<std::size_t>(c)];
    }
    plan.groups = std::move(groups);
    plan.spares = std::move(spares);
    return plan;
}

PackFigures FiguresOf(const PackPlan& plan, const std::vector<PackCell>& cells) {
    PackFigures figures;
    if (plan.groups.empty()) {
        return figures;
    }
    figures.packMah = kInf;
    figures.largestMah = -kInf;
    double total = 0.0;
    for (const auto& group : plan.groups) {
        const double sum = GroupCapacity(group, cells);
        figures.packMah = std::min(figures.packMah, sum);
        figures.largestMah = std::max(figures.largestMah, sum);
        total += sum;
    }
    figures.meanMah = total / static_cast<double>(plan.groups.size());
    figures.spreadMah = figures.largestMah - figures.packMah;
    figures.spreadShare = figures.meanMah > 0.0 ? figures.spreadMah / figures.meanMah : 0.0;
    return figures;
}

QString PackFailureText(const PackPlan& plan, const PackRequest& request) {
    switch (plan.failure) {
        case PackFailure::None:
            return QString();
        case PackFailure::BadShape:
            return QStringLiteral("a pack needs S and P of at least 1 and at most %1 cells")
                .arg(kMaxPackCells);
        case PackFailure::TooFewCells:
            return QStringLiteral("too few cells: %1S%2P needs %3, %4 can be used")
                .arg(request.series)
                .arg(request.parallel)
                .arg(std::int64_t{request.series} * request.parallel)
                .arg(plan.usableCells);
        case PackFailure::RinSpread:
            return QStringLiteral("no grouping keeps the Rin spread of every group within %1 mOhm")
                .arg(request.maxRinSpreadMohm.value_or(0.0));
        case PackFailure::Cancelled:
            return QStringLiteral("the search was cancelled before it found a grouping");
    }
    return QString();
}

}  // namespace brimvolt
