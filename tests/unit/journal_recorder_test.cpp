#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <vector>

#include "journal/Journal.h"
#include "journal/JournalRecorder.h"

using namespace brimvolt;

namespace {

constexpr std::uint8_t kRun = flags::kRunning;
constexpr std::int64_t kStartMs = 1'700'000'000'000;

// One step of what the window sees: a status record, or a command sent (`command` set).
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
    Step step;
    step.command = command;
    return step;
}

Step Charging(std::int32_t seconds) {
    Step step;
    step.seconds = seconds;
    step.mode = 1;
    return step;
}

// A discharge from rest: two records at 0 s (the second already running), then 1 and 2 s.
const std::vector<Step> kRunToTwoSeconds = {
    {0, 0, 4150, 0}, {0, kRun, 4140, 0}, {1, kRun, 4000}, {2, kRun, 3990}};

class RunRules : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        Fresh();
    }

    // A new journal file, a program starting on it and a module found on ttyUSB0.
    void Fresh() {
        ++generation;
        Start();
        Found("ttyUSB0");
    }

    QString JournalPath() const {
        return dir.filePath(QStringLiteral("journal%1.sqlite").arg(generation));
    }

    // A program starting: its own connection to the journal and a fresh recorder.
    void Start() {
        recorder.reset();
        journal = std::make_unique<CJournal>();
        ASSERT_TRUE(journal->Open(JournalPath()).Usable());
        recorder = std::make_unique<CJournalRecorder>(*journal);
    }

    void Found(const QString& port) { recorder->OnModuleFound(port, wallMs); }

    std::vector<RunEvent> Play(const std::vector<Step>& steps) {
        std::vector<RunEvent> events;
        for (const Step& step : steps) {
            // Polls a second apart: the stop command's window spans three of them.
            wallMs += 1000;
            if (step.command) {
                recorder->OnCommandSent(step.command, wallMs);
                continue;
            }
            StatusRecord status;
            status.elapsedSeconds = step.seconds;
            status.seconds = step.seconds % 60;
            status.minutes = step.seconds / 60 % 60;
            status.hours = step.seconds / 3600;
            status.statusFlags = step.flags;
            status.voltageMv = step.mv;
            status.currentMa = step.ma;
            status.capacityMah = step.mah;
            status.temperature = step.temperature;
            status.rinMohm = step.rin;
            status.params = {1, 2750, 1, 1000, step.mode, 1000, 1000, 0, 0, 1, 40, 60};
            for (RunEvent& event : recorder->OnStatus(status, wallMs)) {
                events.push_back(std::move(event));
            }
        }
        return events;
    }

    std::vector<RunRecord> Runs() { return journal->Runs().value_or(std::vector<RunRecord>{}); }

    RunRecord OnlyRun() {
        const std::vector<RunRecord> runs = Runs();
        EXPECT_EQ(runs.size(), 1u);
        return runs.empty() ? RunRecord{} : runs.front();
    }

    std::vector<std::int32_t> Seconds(std::int64_t run) {
        std::vector<std::int32_t> seconds;
        for (const JournalSample& sample :
             journal->Samples(run).value_or(std::vector<JournalSample>{})) {
            seconds.push_back(sample.seconds);
        }
        return seconds;
    }

    QTemporaryDir dir;
    std::unique_ptr<CJournal> journal;
    std::unique_ptr<CJournalRecorder> recorder;
    std::int64_t wallMs = kStartMs;
    int generation = 0;
};

}  // namespace

TEST_F(RunRules, RunFromRestKeepsEverySampleAndItsTotals) {
    std::vector<Step> steps = kRunToTwoSeconds;
    steps.push_back({2, kRun, 3990});               // the clock stands: no sample
    steps.push_back({5, kRun, 3960, 1000, 2, 31});  // three seconds missed
    steps.push_back({6, kRun | flags::kRinHeld, 3950, 1000, 2, 30, 85});
    steps.push_back({7, kRun, 3940, 1000, 2, 30, 0});  // the Rin shown is cleared
    const std::vector<RunEvent> events = Play(steps);

    const RunRecord run = OnlyRun();
    EXPECT_EQ(Seconds(run.id), (std::vector<std::int32_t>{0, 1, 2, 5, 6, 7}));
    const std::vector<JournalSample> samples = *journal->Samples(run.id);
    // The rest sample is the last reading at 0 s.
    EXPECT_EQ(samples[0].voltageMv, 4140);
    EXPECT_EQ(samples[0].statusFlags, kRun);
    EXPECT_EQ(samples[4].rinMohm, 85);

    // Each reading stands for the seconds since the one before:
    // 4000·1000·1 + 3990·1000·1 + 3960·1000·3 + 3950·1000·1 + 3940·1000·1 µJ.
    const std::int64_t energy = 4'000'000 + 3'990'000 + 11'880'000 + 3'950'000 + 3'940'000;
    EXPECT_EQ(run.energyUj, energy);
    EXPECT_NEAR(EnergyMwh(run.energyUj), 7.711111, 1e-6);
    EXPECT_EQ(samples.back().energyUj, energy);
    EXPECT_EQ(samples[3].energyUj, 4'000'000 + 3'990'000 + 11'880'000);

    EXPECT_EQ(run.port, "ttyUSB0");
    EXPECT_FALSE(run.charge);
    EXPECT_EQ(run.params[1], 2750);
    EXPECT_EQ(run.state, RunState::Running);
    EXPECT_EQ(run.durationSeconds, 7);
    EXPECT_EQ(run.capacityMah, 2);
    EXPECT_EQ(run.startMv, 4140);
    EXPECT_EQ(run.endMv, 3940);
    EXPECT_EQ(run.rinMohm, 85);
    EXPECT_EQ(run.maxTemperature, 31);
    EXPECT_EQ(run.sampleCount, 6);
    // The record at 1 s came with the fifth poll.
    EXPECT_EQ(run.startedUtc, (kStartMs + 3000) / 1000 - 1);

    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front().kind, RunEventKind::Opened);
    EXPECT_EQ(events.front().run.id, run.id);
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const RunEvent& e) { return e.kind == RunEventKind::Sampled; }),
              4);
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
        {"module stops as the second ends", {{2, 0, 3990}}, EndCause::Module, 2},
        {"operator's stop", {Command('p'), {2, 0, 3990}}, EndCause::Operator, 2},
        {"operator's reset", {Command('s'), {0, 0, 4100, 0}}, EndCause::Operator, 2},
        {"temperature power-off", {{3, flags::kTempPowerOff, 3980}}, EndCause::Temperature, 3},
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
        const RunRecord run = OnlyRun();
        EXPECT_EQ(run.state, RunState::Stopped);
        EXPECT_EQ(run.endCause, c.cause);
        EXPECT_EQ(run.durationSeconds, c.duration);
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back().kind, RunEventKind::Ended);
        EXPECT_EQ(events.back().run.endCause, c.cause);
    }
}

TEST_F(RunRules, ARunGoesOnUntilItsClockDoes) {
    Play(kRunToTwoSeconds);
    // Stopped by the operator and started again: the module's time goes on, so does the run.
    Play({Command('p'), {2, 0}, {2, 0}, Command('p'), {2, kRun}, {3, kRun}, {4, kRun}});
    RunRecord run = OnlyRun();
    EXPECT_EQ(run.state, RunState::Running);
    EXPECT_EQ(run.endCause, EndCause::None);
    EXPECT_EQ(Seconds(run.id), (std::vector<std::int32_t>{0, 1, 2, 3, 4}));

    // A stop, then a reset and a start: a new run from the new rest.
    Play({{4, 0}, Command('s'), {0, 0, 4120, 0}, {0, kRun, 4110, 0}, {1, kRun}});
    std::vector<RunRecord> runs = Runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].state, RunState::Stopped);
    EXPECT_EQ(runs[0].durationSeconds, 4);
    EXPECT_EQ(Seconds(runs[1].id), (std::vector<std::int32_t>{0, 1}));
    EXPECT_EQ(runs[1].startMv, 4110);

    // Stopped, then a time set at rest (a loaded curve handed to the module) and a start: the
    // run goes on from the time set, not in the run that happened to stop before.
    Play({{1, 0}, Command('t'), {5000, 0}, {5000, kRun}, {5001, kRun}});
    runs = Runs();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[1].durationSeconds, 1);
    EXPECT_EQ(Seconds(runs[2].id), (std::vector<std::int32_t>{5000, 5001}));

    // The time set back during a run ends it; the run goes on in a new entry from there.
    Play({Command('t'), {10, kRun}, {11, kRun}});
    runs = Runs();
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[2].endCause, EndCause::Operator);
    EXPECT_EQ(Seconds(runs[3].id), (std::vector<std::int32_t>{10, 11}));
}

TEST_F(RunRules, AModuleFoundRunningOpensARunThereAndAnIdleOneNone) {
    // A finished run on the module's clock is not ours to record.
    Play({{500, 0}, {500, 0}});
    EXPECT_TRUE(Runs().empty());
    // Started again from there: recorded from the moment it runs.
    Play({{500, kRun, 3850, 0}, {501, kRun, 3800, 1500, 700}});
    const RunRecord run = OnlyRun();
    EXPECT_EQ(Seconds(run.id), (std::vector<std::int32_t>{500, 501}));
    EXPECT_EQ(run.energyUj, 3800 * 1500);
    EXPECT_EQ(run.startMv, 3850);

    // Another program finds a module deep in a run.
    recorder->OnLeaving(wallMs);
    Start();
    Found("ttyUSB1");
    Play({{7200, kRun, 3700}, {7201, kRun, 3700, 1000}});
    const std::vector<RunRecord> runs = Runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].port, "ttyUSB1");
    EXPECT_EQ(Seconds(runs[1].id), (std::vector<std::int32_t>{7200, 7201}));
    EXPECT_EQ(runs[1].startedUtc, (wallMs - 1000) / 1000 - 7200);
    EXPECT_EQ(runs[1].energyUj, 3'700'000);
}

TEST_F(RunRules, ALinkFoundAgainContinuesTheRunOrStopsItAsLost) {
    struct Case {
        const char* name;
        QString port;  // where the module is found again
        std::vector<Step> found;
        std::vector<std::vector<std::int32_t>> seconds;  // of each run afterwards
        EndCause firstCause;
        RunState firstState;
    };
    const std::vector<Case> cases = {
        {"clock went on while away",
         "ttyUSB0",
         {{9}, {10}},
         {{0, 1, 2, 9, 10}},
         EndCause::None,
         RunState::Running},
        {"clock went on and stopped",
         "ttyUSB0",
         {{9, 0}},
         {{0, 1, 2, 9}},
         EndCause::Module,
         RunState::Stopped},
        {"the same second, stopped",
         "ttyUSB0",
         {{2, 0}},
         {{0, 1, 2}},
         EndCause::Module,
         RunState::Stopped},
        {"reset while away",
         "ttyUSB0",
         {{0, 0, 4100, 0}},
         {{0, 1, 2}},
         EndCause::LinkLost,
         RunState::Stopped},
        {"reset and started while away",
         "ttyUSB0",
         {{1}, {2}},
         {{0, 1, 2}, {1, 2}},
         EndCause::LinkLost,
         RunState::Stopped},
        {"charging past the run's time",
         "ttyUSB0",
         {Charging(9)},
         {{0, 1, 2}, {9}},
         EndCause::LinkLost,
         RunState::Stopped},
        {"a module on another port",
         "ttyUSB7",
         {{30}},
         {{0, 1, 2}, {30}},
         EndCause::LinkLost,
         RunState::Stopped},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        Play(kRunToTwoSeconds);
        recorder->OnLinkLost(wallMs);
        // While the link is lost the run stays as it was.
        EXPECT_EQ(OnlyRun().state, RunState::Running);
        Found(c.port);
        const std::vector<RunEvent> events = Play(c.found);
        const std::vector<RunRecord> runs = Runs();
        ASSERT_EQ(runs.size(), c.seconds.size());
        for (std::size_t i = 0; i < runs.size(); ++i) {
            EXPECT_EQ(Seconds(runs[i].id), c.seconds[i]);
        }
        EXPECT_EQ(runs[0].state, c.firstState);
        EXPECT_EQ(runs[0].endCause, c.firstCause);
        if (c.firstCause != EndCause::LinkLost) {
            ASSERT_FALSE(events.empty());
            EXPECT_EQ(events.front().kind, RunEventKind::Continued);
        }
    }
    // Energy runs on over the time unseen: the reading at 9 s closes seven seconds.
    Fresh();
    Play(kRunToTwoSeconds);
    recorder->OnLinkLost(wallMs);
    Found("ttyUSB0");
    Play({{9, kRun, 3950, 1000}});
    EXPECT_EQ(OnlyRun().energyUj, 4'000'000 + 3'990'000 + 7 * 3'950'000);
}

TEST_F(RunRules, LeavingInterruptsARunThatALaterProgramContinues) {
    Play(kRunToTwoSeconds);
    EXPECT_EQ(recorder->OnLeaving(wallMs).front().kind, RunEventKind::Interrupted);
    const RunRecord left = OnlyRun();
    EXPECT_EQ(left.state, RunState::Interrupted);

    struct Case {
        const char* name;
        QString port;
        Step found;
        RunState state;
        EndCause cause;
        std::int32_t duration;
    };
    const std::vector<Case> cases = {
        // Another port belongs to another module: the interrupted run waits on.
        {"another port", "ttyUSB1", {0, 0, 4100, 0}, RunState::Interrupted, EndCause::None, 2},
        {"still in the run", "ttyUSB0", {6, kRun, 3960}, RunState::Running, EndCause::None, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start();
        Found(c.port);
        Play({c.found});
        const std::optional<RunRecord> run = journal->Run(left.id);
        ASSERT_TRUE(run);
        EXPECT_EQ(run->state, c.state);
        EXPECT_EQ(run->endCause, c.cause);
        EXPECT_EQ(run->durationSeconds, c.duration);
        recorder->OnLeaving(wallMs);
    }
    // Continued across programs, the energy goes on where it was left.
    EXPECT_EQ(journal->Run(left.id)->energyUj, 4'000'000 + 3'990'000 + 4 * 3'960'000);
    EXPECT_EQ(Seconds(left.id), (std::vector<std::int32_t>{0, 1, 2, 6}));

    // Interrupted again; this time the module was reset meanwhile.
    Start();
    Found("ttyUSB0");
    Play({{0, 0, 4100, 0}});
    const RunRecord lost = *journal->Run(left.id);
    EXPECT_EQ(lost.state, RunState::Stopped);
    EXPECT_EQ(lost.endCause, EndCause::LinkLost);
    EXPECT_EQ(lost.durationSeconds, 6);
}

TEST_F(RunRules, WhatCannotBeWrittenWaitsAndGoesInLater) {
    journal->Close();
    Play(kRunToTwoSeconds);
    Play({{3}, {4, 0}});
    EXPECT_EQ(recorder->UnsavedSamples(), 5u);
    ASSERT_NE(recorder->CurrentRun(), nullptr);
    EXPECT_EQ(recorder->CurrentRun()->id, 0);

    ASSERT_TRUE(journal->Open(JournalPath()).Usable());
    EXPECT_TRUE(recorder->Flush(wallMs));
    EXPECT_EQ(recorder->UnsavedSamples(), 0u);
    const RunRecord run = OnlyRun();
    EXPECT_EQ(Seconds(run.id), (std::vector<std::int32_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(run.state, RunState::Stopped);
    EXPECT_EQ(run.endCause, EndCause::Module);
}

TEST_F(RunRules, AJournalRenewedAfterDamageGetsTheRunAnew) {
    Play(kRunToTwoSeconds);
    const RunRecord before = OnlyRun();
    journal->Close();
    ASSERT_TRUE(QFile::rename(JournalPath(), JournalPath() + ".old"));
    ASSERT_TRUE(journal->Open(JournalPath()).Usable());
    recorder->OnJournalRenewed();

    Play({{3, kRun, 3980}});
    const RunRecord run = OnlyRun();
    EXPECT_EQ(Seconds(run.id), (std::vector<std::int32_t>{3}));
    // The totals are the run's, not the new file's.
    EXPECT_EQ(run.startedUtc, before.startedUtc);
    EXPECT_EQ(run.startMv, before.startMv);
    EXPECT_EQ(run.sampleCount, 4);
    EXPECT_EQ(run.energyUj, before.energyUj + 3'980'000);
}

TEST_F(RunRules, ARunDeletedWhileRunningIsNotRevived) {
    Play(kRunToTwoSeconds);
    const std::int64_t id = OnlyRun().id;
    ASSERT_TRUE(journal->DeleteRuns(std::vector<std::int64_t>{id}));
    Play({{3}, {4}, {5, 0}});
    EXPECT_TRUE(Runs().empty());
    // The next run is recorded again.
    Play({Command('s'), {0, 0, 4100, 0}, {1}});
    EXPECT_EQ(Seconds(OnlyRun().id), (std::vector<std::int32_t>{0, 1}));
}
