#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "module/CurveRecording.h"

using namespace brimvolt;

namespace {

struct Point {
    std::int32_t seconds;
    std::uint16_t millivolts;
    bool operator==(const Point&) const = default;
};

void PrintTo(const Point& p, std::ostream* os) {
    *os << "(" << p.seconds << " s, " << p.millivolts << " mV)";
}

// The poll cycle's recording state as the main window holds it from construction.
class Recorder : public ::testing::Test {
protected:
    std::uint8_t firstReading = 1;
    std::int32_t lastCurveSeconds = -1;
    std::uint16_t restVoltageMv = 0;
    std::unique_ptr<CurveStore> store = std::make_unique<CurveStore>();

    RecordOutcome Tick(std::int32_t elapsed, std::uint16_t mv, std::int32_t mah = 0,
                       std::uint16_t mode = 0) {
        StatusRecord status;
        status.elapsedSeconds = elapsed;
        status.seconds = elapsed % 60;
        status.minutes = elapsed / 60 % 60;
        status.hours = elapsed / 3600;
        status.voltageMv = mv;
        status.capacityMah = mah;
        status.params[4] = mode;
        return RecordCurve(firstReading, lastCurveSeconds, restVoltageMv, *store, status);
    }

    std::vector<Point> Curve() const {
        std::vector<Point> points;
        for (std::int32_t i = 0; i <= store->lastIndex; ++i) {
            points.push_back({store->sampleTimes[i], store->sampleMillivolts[i]});
        }
        return points;
    }
};

}  // namespace

TEST_F(Recorder, RunFromRestStartsANewCurveWithTheRestingVoltage) {
    EXPECT_FALSE(Tick(0, 4100).pointAdded);
    EXPECT_FALSE(Tick(0, 4150).pointAdded);
    const RecordOutcome first = Tick(1, 4000, 1);
    EXPECT_TRUE(first.newRun);
    EXPECT_TRUE(first.pointAdded);
    const RecordOutcome second = Tick(2, 3990, 2);
    EXPECT_FALSE(second.newRun);
    EXPECT_TRUE(second.pointAdded);
    EXPECT_FALSE(Tick(3, 3980, 12345).newRun);

    EXPECT_EQ(Curve(), (std::vector<Point>{{0, 4150}, {1, 4000}, {2, 3990}, {3, 3980}}));
    EXPECT_EQ(store->durationSeconds, 3);
    EXPECT_EQ(store->curveCapacityText, QStringLiteral("12.345Ah"));
    EXPECT_EQ(lastCurveSeconds, 3);
}

TEST_F(Recorder, ModeWordDecidesTheCurveKindOnEveryRecord) {
    Tick(0, 4100, 0, 1);
    EXPECT_NE(store->chargeCurve, 0);
    Tick(0, 4100, 0, 0);
    EXPECT_EQ(store->chargeCurve, 0);
    Tick(1, 4100, 0, 7);
    EXPECT_EQ(store->chargeCurve, 7);
}

TEST_F(Recorder, FirstRecordWithARunningClockRecordsAtOnceAndOnlyOnce) {
    store->durationSeconds = 42;
    store->curveCapacityText = QStringLiteral("0.042Ah");
    const RecordOutcome first = Tick(500, 3800, 900);
    EXPECT_TRUE(first.pointAdded);
    EXPECT_FALSE(first.newRun);
    EXPECT_EQ(Curve(), (std::vector<Point>{{0, 3800}, {500, 3800}}));
    // Length and capacity wait for the next second.
    EXPECT_EQ(store->durationSeconds, 42);
    EXPECT_EQ(store->curveCapacityText, QStringLiteral("0.042Ah"));

    for (int i = 0; i < 3; ++i) {
        const RecordOutcome again = Tick(500, 3790, 900);
        EXPECT_FALSE(again.pointAdded);
        EXPECT_FALSE(again.newRun);
    }
    EXPECT_EQ(store->lastIndex, 1);

    EXPECT_TRUE(Tick(501, 3785, 901).pointAdded);
    EXPECT_EQ(store->durationSeconds, 501);
    EXPECT_EQ(store->curveCapacityText, QStringLiteral("0.901Ah"));
    EXPECT_EQ(store->lastIndex, 2);
}

TEST_F(Recorder, FirstRecordAtOneSecondIsNotANewRun) {
    // No record at 0 s was seen, so there is no resting voltage to start a curve with.
    const RecordOutcome first = Tick(1, 3900);
    EXPECT_FALSE(first.newRun);
    EXPECT_TRUE(first.pointAdded);
    EXPECT_FALSE(Tick(2, 3890).newRun);
    EXPECT_EQ(Curve(), (std::vector<Point>{{0, 3900}, {1, 3900}, {2, 3890}}));
}

TEST_F(Recorder, StoppedClockAddsNothingAndAResetStartsAFreshCurve) {
    Tick(0, 4100);
    for (std::int32_t t = 1; t <= 3600; ++t) {
        Tick(t, static_cast<std::uint16_t>(4100 - t / 10), t);
    }
    ASSERT_EQ(store->lastIndex, 3600);
    for (int i = 0; i < 5; ++i) {
        const RecordOutcome stopped = Tick(3600, 3800, 3600);
        EXPECT_FALSE(stopped.pointAdded);
        EXPECT_FALSE(stopped.newRun);
    }
    EXPECT_EQ(store->lastIndex, 3600);
    EXPECT_EQ(store->durationSeconds, 3600);

    // Reset: the clock goes to 0 and the battery recovers; the old curve stays until a start.
    EXPECT_FALSE(Tick(0, 4050).pointAdded);
    EXPECT_FALSE(Tick(0, 4060).pointAdded);
    EXPECT_EQ(store->lastIndex, 3600);
    EXPECT_EQ(store->durationSeconds, 3600);

    EXPECT_TRUE(Tick(1, 3990, 1).newRun);
    EXPECT_EQ(Curve(), (std::vector<Point>{{0, 4060}, {1, 3990}}));
    EXPECT_EQ(store->durationSeconds, 1);
    EXPECT_EQ(store->curveCapacityText, QStringLiteral("0.001Ah"));
}

TEST_F(Recorder, TimeThatJumpsAppendsToTheCurveHeld) {
    Tick(0, 4100);
    Tick(1, 4000);
    Tick(2, 3990);
    // The operator set the module's time back, then it skipped ahead: both are plain points.
    EXPECT_TRUE(Tick(1, 3985).pointAdded);
    EXPECT_TRUE(Tick(40, 3980).pointAdded);
    EXPECT_EQ(Curve(),
              (std::vector<Point>{{0, 4100}, {1, 4000}, {2, 3990}, {1, 3985}, {40, 3980}}));
    EXPECT_EQ(store->durationSeconds, 40);

    // From rest straight to 2 s is no new run either: only exactly 1 s after 0 begins one.
    Tick(0, 4100);
    const RecordOutcome skipped = Tick(2, 3970);
    EXPECT_FALSE(skipped.newRun);
    EXPECT_TRUE(skipped.pointAdded);
    EXPECT_EQ(store->lastIndex, 5);
}

TEST_F(Recorder, FullStoreKeepsItsCurveWholeAndRecoversOnANewRun) {
    Tick(0, 4100);
    Tick(1, 4000, 1);
    Tick(2, 3990, 2);
    // Stand in for a long run: the store is one point short of full.
    store->lastIndex = CurveStore::kCapacity - 2;
    const RecordOutcome last = Tick(3, 3980, 3);
    EXPECT_TRUE(last.pointAdded);
    EXPECT_FALSE(last.storeFull);
    ASSERT_EQ(store->lastIndex, CurveStore::kCapacity - 1);
    EXPECT_EQ(store->sampleTimes.back(), 3);

    for (std::int32_t t = 4; t < 8; ++t) {
        const RecordOutcome refused = Tick(t, 3970, t);
        EXPECT_FALSE(refused.pointAdded);
        EXPECT_TRUE(refused.storeFull);
    }
    EXPECT_EQ(store->lastIndex, CurveStore::kCapacity - 1);
    EXPECT_EQ(store->sampleTimes.size(), static_cast<std::size_t>(CurveStore::kCapacity));
    EXPECT_EQ(store->sampleTimes.back(), 3);
    EXPECT_EQ(store->sampleMillivolts.back(), 3980);
    EXPECT_EQ(store->durationSeconds, 3);
    EXPECT_EQ(store->curveCapacityText, QStringLiteral("0.003Ah"));

    // A standing clock after the store filled is quiet.
    const RecordOutcome standing = Tick(7, 3970, 7);
    EXPECT_FALSE(standing.storeFull);
    EXPECT_FALSE(standing.pointAdded);

    Tick(0, 4080);
    EXPECT_TRUE(Tick(1, 4010, 1).newRun);
    EXPECT_EQ(Curve(), (std::vector<Point>{{0, 4080}, {1, 4010}}));
}

TEST_F(Recorder, FirstRecordOnAFullStoreWritesNothingPastIt) {
    store->lastIndex = CurveStore::kCapacity - 1;
    const RecordOutcome first = Tick(700, 3900, 5);
    EXPECT_TRUE(first.storeFull);
    EXPECT_FALSE(first.pointAdded);
    EXPECT_EQ(store->lastIndex, CurveStore::kCapacity - 1);
    EXPECT_EQ(lastCurveSeconds, 700);
    EXPECT_FALSE(Tick(700, 3900, 5).storeFull);
}
