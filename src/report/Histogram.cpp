#include "report/Histogram.h"

#include <algorithm>
#include <cmath>

namespace brimvolt {

namespace {

// Bins beyond any page's width: a value far from the rest must not make millions of them.
constexpr int kMostBins = 60;
// Beyond this a value is damage, not a measurement (a check a second after the last one can
// make a drop per day large, never this large); it would leave no width to draw the rest with.
constexpr double kLargestValue = 1e12;
constexpr double kFinestWidth = 0.001;

}  // namespace

int Histogram::Highest() const {
    return counts.empty() ? 0 : *std::max_element(counts.begin(), counts.end());
}

double RoundStep(double least) {
    if (!(least > 0) || !std::isfinite(least)) {
        return 1;
    }
    const double power = std::pow(10.0, std::floor(std::log10(least)));
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        // The comparison allows for log10's rounding: 0.3 must give 0.5, never 1.
        if (factor * power >= least * (1 - 1e-9)) {
            return factor * power;
        }
    }
    return 10 * power;
}

int DecimalsOfStep(double step) {
    if (!(step > 0) || step >= 1) {
        return 0;
    }
    return std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 3);
}

Histogram HistogramOf(std::span<const std::optional<double>> values, int targetBins) {
    Histogram histogram;
    std::vector<double> present;
    present.reserve(values.size());
    for (const std::optional<double>& value : values) {
        if (value && std::isfinite(*value) && std::abs(*value) <= kLargestValue) {
            present.push_back(*value);
        } else {
            ++histogram.missing;
        }
    }
    if (present.empty()) {
        return histogram;
    }
    const auto [low, high] = std::minmax_element(present.begin(), present.end());
    const int target = std::clamp(targetBins, 1, kMostBins);
    // No finer than the edges' labels can tell apart; one value gets a bin that reads well
    // around it.
    double width = RoundStep(std::max((*high - *low) / target, kFinestWidth));
    if (*high == *low) {
        width = RoundStep(std::max(std::abs(*low) / 10, 0.01));
    }
    // A value on an edge belongs to the bin above it, also when the division rounds it below.
    const auto binOf = [&](double value) {
        return std::floor((value - histogram.start) / width + 1e-9);
    };
    // The edges rounded outwards add a bin or two at most; the loop only guards the bound.
    double bins = 0;
    for (;;) {
        histogram.start = std::floor(*low / width + 1e-9) * width;
        bins = binOf(*high) + 1;
        if (bins <= kMostBins) {
            break;
        }
        width = RoundStep(width * 2);
    }
    histogram.width = width;
    const int count = std::max(static_cast<int>(bins), 1);
    histogram.counts.assign(static_cast<std::size_t>(count), 0);
    for (const double value : present) {
        const double bin = binOf(value);
        ++histogram.counts[static_cast<std::size_t>(std::clamp(bin, 0.0, count - 1.0))];
    }
    return histogram;
}

}  // namespace brimvolt
