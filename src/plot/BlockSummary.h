#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace brimvolt {

/**
 * The extremes of a curve's points by blocks of 64 and of 4096, so that a drawing finds where a
 * column of pixels ends, and the voltages it spans, by reading block extremes instead of
 * samples. Only whole blocks are summarised; the points after them are read as they are.
 * Extending after appends costs what was appended.
 */
template <typename X, typename Y>
class CBlockSummary {
public:
    static constexpr std::size_t kFine = 64;
    static constexpr std::size_t kCoarse = kFine * 64;

    struct Block {
        X lowX;
        X highX;
        Y lowY;
        Y highY;
    };

    /** Points covered by whole blocks. */
    std::size_t Summarised() const { return fine.size() * kFine; }

    void Clear() {
        fine.clear();
        coarse.clear();
    }

    /** Summarises the whole blocks among the first `count` points not summarised yet. */
    void Extend(const X* xs, const Y* ys, std::size_t count) {
        for (std::size_t start = Summarised(); start + kFine <= count; start += kFine) {
            fine.push_back(Of(xs + start, ys + start, kFine));
            if (fine.size() % (kCoarse / kFine) == 0) {
                const Block* first = fine.data() + fine.size() - kCoarse / kFine;
                Block merged = first[0];
                for (std::size_t k = 1; k < kCoarse / kFine; ++k) {
                    Fold(merged, first[k]);
                }
                coarse.push_back(merged);
            }
        }
    }

    /**
     * Extends a run of points from index `from` while their x stays inside the column (`inside`
     * tells whether all of [lowX, highX] lies in it), folding their y into low and high; one
     * past the run's last point. `count` is the number of points in use.
     */
    template <typename Inside>
    std::size_t RunEnd(const X* xs, const Y* ys, std::size_t from, std::size_t count,
                       const Inside& inside, Y& low, Y& high) const {
        const std::size_t summarised = std::min(Summarised(), count);
        std::size_t i = from;
        while (i < count) {
            if (i % kCoarse == 0 && i + kCoarse <= summarised) {
                const Block& block = coarse[i / kCoarse];
                if (inside(block.lowX, block.highX)) {
                    low = std::min(low, block.lowY);
                    high = std::max(high, block.highY);
                    i += kCoarse;
                    continue;
                }
            }
            if (i % kFine == 0 && i + kFine <= summarised) {
                const Block& block = fine[i / kFine];
                if (inside(block.lowX, block.highX)) {
                    low = std::min(low, block.lowY);
                    high = std::max(high, block.highY);
                    i += kFine;
                    continue;
                }
            }
            if (!inside(xs[i], xs[i])) {
                break;
            }
            low = std::min(low, ys[i]);
            high = std::max(high, ys[i]);
            ++i;
        }
        return i;
    }

    /** The extremes of the first `count` points; count must be at least 1. */
    Block Range(const X* xs, const Y* ys, std::size_t count) const {
        Block range{xs[0], xs[0], ys[0], ys[0]};
        std::size_t i = 0;
        const std::size_t summarised = std::min(Summarised(), count);
        for (; i + kCoarse <= summarised; i += kCoarse) {
            Fold(range, coarse[i / kCoarse]);
        }
        for (; i + kFine <= summarised; i += kFine) {
            Fold(range, fine[i / kFine]);
        }
        if (i < count) {
            Fold(range, Of(xs + i, ys + i, count - i));
        }
        return range;
    }

private:
    static Block Of(const X* xs, const Y* ys, std::size_t n) {
        Block block{xs[0], xs[0], ys[0], ys[0]};
        for (std::size_t k = 1; k < n; ++k) {
            block.lowX = std::min(block.lowX, xs[k]);
            block.highX = std::max(block.highX, xs[k]);
            block.lowY = std::min(block.lowY, ys[k]);
            block.highY = std::max(block.highY, ys[k]);
        }
        return block;
    }

    static void Fold(Block& into, const Block& block) {
        into.lowX = std::min(into.lowX, block.lowX);
        into.highX = std::max(into.highX, block.highX);
        into.lowY = std::min(into.lowY, block.lowY);
        into.highY = std::max(into.highY, block.highY);
    }

    std::vector<Block> fine;
    std::vector<Block> coarse;
};

}  // namespace brimvolt
