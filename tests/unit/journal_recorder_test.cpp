#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>
#include <tuple>
#include <vector>

#include "journal/CurveRuns.h"
#include "journal/Journal.h"
#include "journal/JournalExport.h"
#include "journal/JournalRecorder.h"
#include "module/CurveRecording.h"
#include "plot/CurveStore.h"

using namespace brimvolt;

namespace {

using Seconds = std::vector<std::int32_t>;

constexpr std::uint8_t kRun = flags::kRunning;
constexpr std::int64_t kStartMs = 1'700'000'000'000;

// What the window sees: a status record, or a command sent (`command` set).
struct Step {
    std::int32_t seconds = 0;
    std::uint8_t flags = kRun;
    std::uint16_t mv = 3900;
    std::uint16_t ma = 1000;
    std::int32_t mah = 0;
    std::uint8_t temperature = 25;
    std::uint16_t rin = 0;
    char command = 0;
    std::uint16_t mode = 0;  // parameter word 4: 0 discharge, 1 charge
};

Step Command(char command) {
    return {.command = command};
}

// A discharge from rest: two records at 0 s (the second already running), then 1 and 2 s.
const std::vector<Step> kRunToTwoSeconds = {
    {0, 0, 4150, 0}, {0, kRun, 4140, 0}, {1, kRun, 4000}, {2, kRun, 3990}};

// A program with its journal, and beside it the curve window's recording of the same records.
class RunRules : public ::testing::Test {
protected:
    void SetUp() override { Fresh(); }

    // A new journal file, a program starting on it, a module found on ttyUSB0.
    void Fresh() {
        ++generation;
        Start();
        Found("ttyUSB0");
    }

    void Start() {
        recorder.reset();
        journal = std::make_unique<CJournal>();
        ASSERT_TRUE(
            journal->Open(dir.filePath(QStringLiteral("j%1.sqlite").arg(generation))).Usable());
        recorder = std::make_unique<CJournalRecorder>(*journal);
        curve = std::make_unique<CurveStore>();
        curveRuns = CCurveRuns{};
        firstReading = 1;
        lastCurveSeconds = -1;
    }

    void Found(const QString& port) {
        recorder->OnModuleFound(port, wallMs);
        curveRuns.OnModuleFound(port);
    }

    static StatusRecord StatusOf(const Step& step) {
        StatusRecord s;
        s.elapsedSeconds = step.seconds;
        s.statusFlags = step.flags;
        s.voltageMv = step.mv;
        s.currentMa = step.ma;
        s.capacityMah = step.mah;
        s.temperature = step.temperature;
        s.rinMohm = step.rin;
        s.params = {1, 2750, 1, 1000, step.mode, 1000, 1000, 0, 0, 1, 40, 60};
        return s;
    }

    // The seconds of the curve window's points, point 0 first.
    Seconds CurveSeconds() const {
        return Seconds(curve->sampleTimes.begin(),
                       curve->sampleTimes.begin() + curve->lastIndex + 1);
    }

    // Polls a second apart: the stop command's window spans three of them.
    std::vector<RunEvent> Play(const std::vector<Step>& steps) {
        std::vector<RunEvent> events;
        for (const Step& step : steps) {
            wallMs += 1000;
            if (step.command) {
                recorder->OnCommandSent(step.command, wallMs);
                continue;
            }
            const StatusRecord s = StatusOf(step);
            curveRuns.Record(firstReading, lastCurveSeconds, restVoltageMv, *curve, s);
            for (RunEvent& event : recorder->OnStatus(s, wallMs)) {
                events.push_back(std::move(event));
            }
            if (std::optional<TakenUpRun> run = recorder->TakeTakenUpRun()) {
                takenUp.push_back(std::move(*run));
            }
        }
        return events;
    }

    std::vector<RunRecord> Runs() { return journal->Runs().value_or(std::vector<RunRecord>{}); }

    RunRecord LastRun() {
        const std::vector<RunRecord> runs = Runs();
        return runs.empty() ? RunRecord{} : runs.back();
    }

    // The seconds of every run's samples, oldest run first.
    std::vector<Seconds> RunSeconds() {
        std::vector<Seconds> runs;
        for (const RunRecord& run : Runs()) {
            runs.emplace_back();
            const std::vector<JournalSample> samples = journal->Samples(run.id).value();
            for (const JournalSample& sample : samples) {
                runs.back().push_back(sample.seconds);
            }
        }
        return runs;
    }

    // The last run rebuilds, point for point, the curve the curve window recorded.
    void ExpectTheCurveWindowsCurve() {
        const RunRecord run = LastRun();
        auto rebuilt = std::make_unique<CurveStore>();
        FillCurveStore(run, journal->Samples(run.id).value(), *rebuilt);
        ASSERT_EQ(rebuilt->lastIndex, curve->lastIndex);
        EXPECT_EQ(rebuilt->sampleMillivolts[0], curve->sampleMillivolts[0]);
        for (std::int32_t i = 1; i <= curve->lastIndex; ++i) {
            EXPECT_EQ(rebuilt->sampleTimes[i], curve->sampleTimes[i]) << i;
            EXPECT_EQ(rebuilt->sampleMillivolts[i], curve->sampleMillivolts[i]) << i;
        }
        EXPECT_EQ(rebuilt->durationSeconds, curve->durationSeconds);
        EXPECT_EQ(rebuilt->curveCapacityText, curve->curveCapacityText);
    }

    QTemporaryDir dir;
    int generation = 0;
    std::unique_ptr<CJournal> journal;
    std::unique_ptr<CJournalRecorder> recorder;
    std::int64_t wallMs = kStartMs;
    std::unique_ptr<CurveStore> curve;
    CCurveRuns curveRuns;
    std::vector<TakenUpRun> takenUp;  // as the journal's writer hands them to the window
    std::uint8_t firstReading = 1;
    std::int32_t lastCurveSeconds = -1;
    std::uint16_t restVoltageMv = 0;
};

}  // namespace

TEST_F(RunRules, ARunFromRestKeepsEverySampleAndItsTotals) {
    std::vector<Step> steps = kRunToTwoSeconds;
    steps.push_back({2, kRun, 3990});               // the clock stands: no sample
    steps.push_back({5, kRun, 3960, 1000, 2, 31});  // three seconds unseen
    steps.push_back({6, kRun | flags::kRinHeld, 3950, 1000, 2, 30, 85});
    steps.push_back({7, kRun, 3940, 1000, 2, 30, 0});  // the Rin shown is cleared
    const std::vector<RunEvent> events = Play(steps);

    EXPECT_EQ(RunSeconds(), (std::vector<Seconds>{{0, 1, 2, 5, 6, 7}}));
    const RunRecord run = LastRun();
    const std::vector<JournalSample> samples = journal->Samples(run.id).value();
    // The rest sample is the last reading at 0 s. Each reading stands for the seconds since the
    // one before: 4000·1000·1 + 3990·1000·1 + 3960·1000·3 + 3950·1000·1 + 3940·1000·1 µJ.
    EXPECT_EQ(samples[0].voltageMv, 4140);
    EXPECT_EQ(samples[3].energyUj, 4'000'000 + 3'990'000 + 11'880'000);
    EXPECT_EQ(run.energyUj, 4'000'000 + 3'990'000 + 11'880'000 + 3'950'000 + 3'940'000);
    EXPECT_EQ(samples.back().energyUj, run.energyUj);
    EXPECT_NEAR(EnergyMwh(run.energyUj), 7.711111, 1e-6);

    EXPECT_EQ(run.port, "ttyUSB0");
    EXPECT_EQ(run.params[1], 2750);
    EXPECT_EQ(run.state, RunState::Running);
    EXPECT_EQ(run.startedUtc, (kStartMs + 3000) / 1000 - 1);  // the record at 1 s, minus 1 s
    const auto totals =
        std::make_tuple(run.durationSeconds, run.capacityMah, run.startMv, run.endMv, run.rinMohm,
                        run.maxTemperature, run.sampleCount);
    EXPECT_EQ(totals, std::make_tuple(7, 2, 4140, 3940, 85, 31, 6));
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].kind, RunEventKind::Opened);
    EXPECT_EQ(events[0].run.id, run.id);
    EXPECT_EQ(events[4].kind, RunEventKind::Sampled);
    ExpectTheCurveWindowsCurve();
}

TEST_F(RunRules, EachStopIsPutDownToItsCause) {
    struct Case {
        const char* name;
        std::vector<Step> after;  // what follows a run at 2 s
        EndCause cause;
        std::int32_t duration;
    };
    const std::vector<Case> cases = {
        {"module stops by itself", {{3, 0, 3980}}, EndCause::Module, 3},
        {"module stops as the second ends", {{2, 0}}, EndCause::Module, 2},
        {"operator's stop", {Command('p'), {2, 0}}, EndCause::Operator, 2},
        {"operator's reset", {Command('s'), {0, 0, 4100, 0}}, EndCause::Operator, 2},
        {"temperature power-off", {{3, flags::kTempPowerOff}}, EndCause::Temperature, 3},
        {"power-off flag a record late",
         {{2, 0}, {2, flags::kTempPowerOff}},
         EndCause::Temperature,
         2},
        {"a stop command long before", {Command('p'), {3}, {4}, {5}, {6, 0}}, EndCause::Module, 6},
        {"module reset without a command", {{0, 0, 4100, 0}}, EndCause::Module, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        Play(kRunToTwoSeconds);
        const std::vector<RunEvent> events = Play(c.after);
        const RunRecord run = LastRun();
        EXPECT_EQ(Runs().size(), 1u);
        EXPECT_EQ(run.state, RunState::Stopped);
        EXPECT_EQ(run.endCause, c.cause);
        EXPECT_EQ(run.durationSeconds, c.duration);
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back().kind, RunEventKind::Ended);
        EXPECT_EQ(events.back().run.endCause, c.cause);
    }

    // A reset before the start (as the program's steps send one) is not what ends the run, even
    // when the module ends it a second later: the cell was already at its cut-off.
    Fresh();
    Play({Command('s'), {0, 0, 4150, 0}, {0, kRun, 3500, 0}, {1, 0, 3390}});
    EXPECT_EQ(LastRun().endCause, EndCause::Module);
}

TEST_F(RunRules, ARunGoesOnAsLongAsItsClockDoes) {
    // Stopped by the operator and started again: the module's time goes on, so does the run.
    Play(kRunToTwoSeconds);
    Play({Command('p'), {2, 0}, {2, 0}, Command('p'), {2}, {3}, {4}});
    EXPECT_EQ(LastRun().state, RunState::Running);
    EXPECT_EQ(LastRun().endCause, EndCause::None);
    ExpectTheCurveWindowsCurve();
    // A reset and a start: a new run from the new rest.
    Play({{4, 0}, Command('s'), {0, 0, 4120, 0}, {0, kRun, 4110, 0}, {1}});
    ExpectTheCurveWindowsCurve();
    // A time set at rest (a loaded curve handed to the module) and a start: the run goes on
    // from the time set, not in the run that happened to stop before.
    Play({{1, 0}, Command('t'), {5000, 0}, {5000}, {5001}});
    // The time set back during a run ends it; what runs on is a new entry.
    Play({Command('t'), {10}, {11}});
    EXPECT_EQ(RunSeconds(),
              (std::vector<Seconds>{{0, 1, 2, 3, 4}, {0, 1}, {5000, 5001}, {10, 11}}));
    EXPECT_EQ(Runs()[2].endCause, EndCause::Operator);
}

// Polled at 600 times real time: the first record of a run shows it minutes in, and the record
// that shows it stopped reads no current. Both intervals are the run's.
TEST_F(RunRules, EnergyCountsTheIntervalsBeforeTheFirstSampleAndUpToTheStop) {
    std::vector<Step> longRun;
    double integralUj = 0;  // 1 A from 4.1 V falling linearly to 3.0 V over three hours
    for (std::int32_t t = 600; t < 10800; t += 600) {
        longRun.push_back({t, kRun, static_cast<std::uint16_t>(4100 - 1100 * t / 10800)});
    }
    longRun.push_back({10800, 0, 3300, 0});
    for (int t = 0; t < 10800; ++t) {
        integralUj += (4100 - 1100 * (t + 0.5) / 10800) * 1000;
    }
    struct Case {
        const char* name;
        std::vector<Step> steps;
        double energyUj;
        double within;  // as a share of energyUj
    };
    const std::vector<Case> cases = {
        {"a run of one sample", {{600, kRun, 3700, 1000, 166}}, 600.0 * 3700 * 1000, 0},
        // 36 mAh at 3.1 V: 111.6 mWh from the counter, whole seconds at 1 A give 130 s.
        {"a 36 mAh Rin pulse",
         {{65, kRun, 3100, 1000, 18}, {130, 0, 3250, 0, 36}},
         36 * 3600.0 * 3100,
         0.01},
        {"three hours", longRun, integralUj, 0.02},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        Play({{0, 0, 4150, 0}});
        Play(c.steps);
        const RunRecord run = LastRun();
        EXPECT_NEAR(static_cast<double>(run.energyUj), c.energyUj, c.energyUj * c.within);
        EXPECT_EQ(journal->Samples(run.id).value().back().energyUj, run.energyUj);
    }
}

TEST_F(RunRules, AModuleFoundRunningOpensARunThereAndAnIdleOneNone) {
    Play({{500, 0}, {500, 0}});  // a run finished before we came is not ours
    EXPECT_TRUE(Runs().empty());
    Play({{500, kRun, 3850, 0}, {501, kRun, 3800, 1500, 700}, {502}});  // started again
    EXPECT_EQ(RunSeconds(), (std::vector<Seconds>{{500, 501, 502}}));
    EXPECT_EQ(LastRun().startedUtc, (kStartMs + 3000) / 1000 - 500);
    EXPECT_EQ(LastRun().energyUj, 3800 * 1500 + 3900 * 1000);

    // Another program, another module, deep in a run.
    Start();
    Found("ttyUSB1");
    Play({{7200, kRun, 3700}, {7201}, {7202, kRun, 3690}});
    EXPECT_EQ(RunSeconds().back(), (Seconds{7200, 7201, 7202}));
    EXPECT_EQ(LastRun().port, "ttyUSB1");
    ExpectTheCurveWindowsCurve();
}

TEST_F(RunRules, ALinkFoundAgainContinuesTheRunOrStopsItAsLost) {
    struct Case {
        const char* name;
        std::vector<Step> found;
        std::vector<Seconds> runs;
        EndCause cause;  // of the first run afterwards
        QString port = QStringLiteral("ttyUSB0");
    };
    const std::vector<Case> cases = {
        {"clock went on while away", {{9, kRun, 3950}, {10}}, {{0, 1, 2, 9, 10}}, EndCause::None},
        {"clock went on and stopped", {{9, 0}}, {{0, 1, 2, 9}}, EndCause::Module},
        {"the same second, stopped", {{2, 0}}, {{0, 1, 2}}, EndCause::Module},
        {"reset while away", {{0, 0, 4100, 0}}, {{0, 1, 2}}, EndCause::LinkLost},
        {"reset and started while away", {{1}, {2}}, {{0, 1, 2}, {1, 2}}, EndCause::LinkLost},
        {"charging past the run's time",
         {{.seconds = 9, .mode = 1}},
         {{0, 1, 2}, {9}},
         EndCause::LinkLost},
        {"a module on another port", {{30}}, {{0, 1, 2}, {30}}, EndCause::LinkLost, "ttyUSB7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        Play(kRunToTwoSeconds);
        recorder->OnLinkLost(wallMs);
        EXPECT_EQ(LastRun().state, RunState::Running);  // while lost, nothing changes
        Found(c.port);
        const std::vector<RunEvent> events = Play(c.found);
        EXPECT_EQ(RunSeconds(), c.runs);
        EXPECT_EQ(Runs()[0].endCause, c.cause);
        EXPECT_EQ(Runs()[0].state,
                  c.cause == EndCause::None ? RunState::Running : RunState::Stopped);
        if (c.cause != EndCause::LinkLost) {
            EXPECT_EQ(events.front().kind, RunEventKind::Continued);
            ExpectTheCurveWindowsCurve();
        }
        if (c.runs[0].size() == 5) {
            // Energy runs on over the time unseen: the reading at 9 s closes seven seconds.
            EXPECT_EQ(Runs()[0].energyUj, 4'000'000 + 3'990'000 + 7 * 3'950'000 + 3'900'000);
        }
    }
}

TEST_F(RunRules, LeavingInterruptsARunThatALaterProgramContinues) {
    Play(kRunToTwoSeconds);
    EXPECT_EQ(recorder->OnLeaving(wallMs).front().kind, RunEventKind::Interrupted);
    EXPECT_EQ(LastRun().state, RunState::Interrupted);

    // Another port belongs to another module: the interrupted run waits on.
    Start();
    Found("ttyUSB1");
    Play({{0, 0, 4100, 0}});
    EXPECT_EQ(Runs()[0].state, RunState::Interrupted);
    recorder->OnLeaving(wallMs);
    // Its own module still in the run: it goes on, and so does its energy.
    Start();
    Found("ttyUSB0");
    Play({{6, kRun, 3960}});
    EXPECT_EQ(RunSeconds(), (std::vector<Seconds>{{0, 1, 2, 6}}));
    EXPECT_EQ(Runs()[0].state, RunState::Running);
    EXPECT_EQ(Runs()[0].energyUj, 4'000'000 + 3'990'000 + 4 * 3'960'000);
    recorder->OnLeaving(wallMs);
    // Interrupted again, and the module was reset meanwhile: the run is lost.
    Start();
    Found("ttyUSB0");
    Play({{0, 0, 4100, 0}});
    EXPECT_EQ(Runs()[0].state, RunState::Stopped);
    EXPECT_EQ(Runs()[0].endCause, EndCause::LinkLost);
    EXPECT_EQ(Runs()[0].durationSeconds, 6);
}

TEST_F(RunRules, ARunDeletedWhileRunningIsNotRevived) {
    Play(kRunToTwoSeconds);
    ASSERT_TRUE(journal->DeleteRuns(std::vector<std::int64_t>{LastRun().id}));
    Play({{3}, {4}, {5, 0}});
    EXPECT_TRUE(Runs().empty());
    Play({Command('s'), {0, 0, 4100, 0}, {1}});  // the next run is recorded again
    EXPECT_EQ(RunSeconds(), (std::vector<Seconds>{{0, 1}}));
}

TEST_F(RunRules, TheCurveHoldsOnlyTheRunGoingOn) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
        Seconds curve;
        bool asRecordCurve = false;  // a run by hand from rest: recorded as it always was
        bool asJournalsRun = true;   // the curve is the journal's last run
    };
    const auto then = [](std::vector<Step> steps, std::initializer_list<Step> more) {
        steps.insert(steps.end(), more);
        return steps;
    };
    // A test program's steps with the module fast: each run begins with a reset, and its first
    // record shows it well past 1 s.
    const Step charging{.seconds = 40, .mv = 3900, .mode = 1};
    const Step charged{.seconds = 80, .flags = 0, .mv = 4050, .ma = 0, .mode = 1};
    const std::vector<Step> charge = {Command('s'), {0, 0, 3600, 0}, charging, charged};
    const std::vector<Step> rest = {{80, 0, 4040, 0}, {80, 0, 4030, 0}};
    const std::vector<Step> discharge = {
        Command('s'), {0, 0, 4020, 0}, {30}, {60}, {75, 0, 3400, 0}};
    const std::vector<Step> rinPulse = {Command('s'),
                                        {0, 0, 3500, 0},
                                        {2, kRun, 3300},
                                        {3, kRun | flags::kRinHeld, 3290, 1000, 0, 25, 85},
                                        {3, 0, 3390, 0}};
    std::vector<Step> program;
    for (const std::vector<Step>* part : {&charge, &rest, &discharge, &rinPulse}) {
        program.insert(program.end(), part->begin(), part->end());
    }
    const std::vector<Case> cases = {
        {"a program's charge, rest, discharge and Rin pulse", program, {0, 2, 3}},
        {"runs by hand, each from a reset",
         then(kRunToTwoSeconds, {{3, 0}, Command('s'), {0, 0, 4100, 0}, {1}, {2}, {3, 0}}),
         {0, 1, 2, 3},
         true},
        {"time set back during a run",
         then(kRunToTwoSeconds, {{3}, {4}, {5}, Command('t'), {2, kRun, 3950}, {3}}),
         {0, 2, 3}},
        // How a loaded curve is carried on: its time handed to the module, then a start.
        {"time set forward at rest, then a start: the curve goes on",
         then(kRunToTwoSeconds, {{2, 0}, Command('t'), {5000, 0}, {5000}, {5001}}),
         {0, 1, 2, 5000, 5001},
         false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        Play(c.steps);
        EXPECT_EQ(CurveSeconds(), c.curve);
        if (c.asJournalsRun) {
            ExpectTheCurveWindowsCurve();
        }
        if (c.asRecordCurve) {
            auto before = std::make_unique<CurveStore>();
            std::uint8_t first = 1;
            std::int32_t last = -1;
            std::uint16_t rest = 0;
            for (const Step& step : c.steps) {
                if (!step.command) {
                    RecordCurve(first, last, rest, *before, StatusOf(step));
                }
            }
            ASSERT_EQ(before->lastIndex, curve->lastIndex);
            EXPECT_TRUE(std::equal(before->sampleTimes.begin(),
                                   before->sampleTimes.begin() + before->lastIndex + 1,
                                   curve->sampleTimes.begin()));
            EXPECT_TRUE(std::equal(before->sampleMillivolts.begin(),
                                   before->sampleMillivolts.begin() + before->lastIndex + 1,
                                   curve->sampleMillivolts.begin()));
            EXPECT_EQ(before->durationSeconds, curve->durationSeconds);
            EXPECT_EQ(before->curveCapacityText, curve->curveCapacityText);
        }
    }
}

TEST_F(RunRules, ARunTakenUpAfterARestartIsWholeInTheCurve) {
    struct Case {
        const char* name;
        std::vector<Step> found;    // the module as the program started again finds it
        std::size_t answeredAfter;  // records the window handles before the journal's answer
        Seconds curve;
    };
    const std::vector<Case> cases = {
        {"still running", {{9, kRun, 3950}, {10}, {11}}, 1, {0, 1, 2, 9, 10, 11}},
        {"still running, the answer late",
         {{9, kRun, 3950}, {10}, {11}, {12}},
         3,
         {0, 1, 2, 9, 10, 11, 12}},
        {"stopped meanwhile", {{9, 0, 3950, 0}, {9, 0, 3960, 0}}, 1, {0, 1, 2, 9}},
        {"reset and started meanwhile: nothing taken up",
         {{0, 0, 4100, 0}, {1}, {2}},
         0,
         {0, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        Play(kRunToTwoSeconds);
        // Killed: nothing marks the run interrupted. The new program has a curve of its own.
        Start();
        Found("ttyUSB0");
        takenUp.clear();
        Play({c.found.begin(), c.found.begin() + static_cast<long>(c.answeredAfter)});
        if (c.answeredAfter > 0) {
            ASSERT_EQ(takenUp.size(), 1u);
            EXPECT_TRUE(curveRuns.TakeUp(takenUp[0], *curve));
        }
        Play({c.found.begin() + static_cast<long>(c.answeredAfter), c.found.end()});
        EXPECT_EQ(takenUp.size(), c.answeredAfter > 0 ? 1u : 0u);
        EXPECT_EQ(CurveSeconds(), c.curve);
        EXPECT_EQ(curve->sampleMillivolts[0], c.answeredAfter > 0 ? 4140 : 4100);
        ExpectTheCurveWindowsCurve();
    }
}
