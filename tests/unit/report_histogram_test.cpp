#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "report/Histogram.h"

namespace {

using brimvolt::HistogramOf;

TEST(ReportHistogram, RoundBinsOnRoundEdges) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* what;
        std::vector<std::optional<double>> values;
        int target;
        double start;
        double width;
        std::vector<int> counts;
        int missing;
    } cases[] = {
        {"a range of 6 in about ten", {95, 97, 99, 101}, 10, 95, 1, {1, 0, 1, 0, 1, 0, 1}, 0},
        {"a value on an edge opens its bin", {0.1, 0.2, 0.3}, 2, 0.1, 0.1, {1, 1, 1}, 0},
        {"below zero", {-1.5, 0.5}, 4, -1.5, 0.5, {1, 0, 0, 0, 1}, 0},
        {"one value, the missing and the damaged counted apart",
         {std::nullopt, nan, 40, 40, 1e300},
         10,
         40,
         5,
         {2},
         3},
        {"a far value widens the bins, not their number",
         {1, 2, 3, 1e9},
         10,
         0,
         1e8,
         {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1},
         0},
        {"nothing measured", {std::nullopt, std::nullopt}, 10, 0, 1, {}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const brimvolt::Histogram histogram = HistogramOf(c.values, c.target);
        EXPECT_EQ(histogram.counts, c.counts);
        EXPECT_EQ(histogram.missing, c.missing);
        if (!c.counts.empty()) {
            EXPECT_NEAR(histogram.start, c.start, 1e-9);
            EXPECT_NEAR(histogram.width, c.width, 1e-9);
        }
    }
}

}  // namespace
