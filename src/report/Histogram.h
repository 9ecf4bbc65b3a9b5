#pragma once

#include <optional>
#include <span>
#include <vector>

namespace brimvolt {

/** Values counted in bins of one width: bin k holds [start + k·width, start + (k+1)·width). */
struct Histogram {
    double start = 0;
    double width = 1;
    std::vector<int> counts;  // empty when no value was given
    int missing = 0;          // the values not there (not measured, or not a finite number)

    double Edge(std::size_t bin) const { return start + static_cast<double>(bin) * width; }
    int Highest() const;
};

/**
 * The values in bins of a round width (1, 2 or 5 times a power of ten) that cuts their range
 * into about `targetBins`, the edges on multiples of it; a range of one value gets one bin.
 */
Histogram HistogramOf(std::span<const std::optional<double>> values, int targetBins = 10);

/** A round step (1, 2 or 5 times a power of ten) of at least `least`; 1 for anything not above 0.
 */
double RoundStep(double least);

/** Decimals that tell the multiples of `step` apart (0 for 1 and above, at most 3). */
int DecimalsOfStep(double step);

}  // namespace brimvolt
