#include <gtest/gtest.h>

#include <vector>

#include "channel/CheckReadings.h"

using namespace brimvolt;

namespace {

StatusRecord Reading(std::uint16_t millivolts, std::uint8_t temperature = 25) {
    StatusRecord status;
    status.voltageMv = millivolts;
    status.temperature = temperature;
    return status;
}

// Polls come unevenly, a few a second; a check takes the first of each second counted from the
// first one taken.
TEST(CheckReadings, TakeTheFirstPollOfEachSecond) {
    const std::vector<std::int64_t> pollsMs = {100, 350, 1099, 1100, 2600, 3099, 3100, 9000};
    const std::vector<bool> taken = {1, 0, 0, 1, 1, 0, 1, 1};
    CCheckReadings readings;
    for (std::size_t i = 0; i < pollsMs.size(); ++i) {
        EXPECT_EQ(readings.Offer(Reading(3700), pollsMs[i], 0), taken[i]) << pollsMs[i] << " ms";
    }
    readings.Clear();
    EXPECT_TRUE(readings.Offer(Reading(3700), 9500, 0)) << "cleared, the seconds count afresh";
    EXPECT_FALSE(readings.Offer(Reading(3700), 10400, 0));
}

TEST(CheckReadings, MakeACheckOfTheLastTenAtTheLastTime) {
    CCheckReadings readings;
    EXPECT_FALSE(readings.Check("COM3"));
    // Twelve seconds: the first two fall out; 3701 .. 3710 mV, 25 and 26 °C in turn.
    for (int second = 0; second < 12; ++second) {
        ASSERT_TRUE(readings.Offer(Reading(static_cast<std::uint16_t>(3699 + second),
                                           static_cast<std::uint8_t>(25 + second % 2)),
                                   1000 * second, 1'700'000'000'000 + 1000 * second + 400));
        EXPECT_EQ(readings.Full(), second >= 9);
    }
    const std::optional<CheckRecord> check = readings.Check("COM3");
    ASSERT_TRUE(check);
    EXPECT_DOUBLE_EQ(check->millivolts, 3705.5) << "the fraction of a millivolt stays";
    EXPECT_EQ(check->temperature, 26) << "25.5 °C rounds up";
    EXPECT_EQ(check->atUtc, 1'700'000'011) << "the time of the last reading";
    EXPECT_EQ(check->port, "COM3");
    EXPECT_TRUE(NoCellIn(Reading(99)) && !NoCellIn(Reading(900)));
}

}  // namespace
