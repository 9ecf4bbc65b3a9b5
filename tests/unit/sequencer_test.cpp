#include <gtest/gtest.h>

#include <QByteArrayList>
#include <cmath>
#include <functional>
#include <vector>

#include "cycle/CycleTable.h"
#include "cycle/Sequencer.h"
#include "journal/ProgramCycles.h"

namespace brimvolt {
namespace {

using Cmd = SequencerCommand;

StatusRecord Idle() {
    StatusRecord status;
    status.params = {1, 3000, 1, 1000, 0, 20000, 4500, 0, 0, 1, 40, 70};
    status.voltageMv = 3900;
    status.temperature = 25;
    return status;
}

ProgramStep RunStep(StepKind kind, std::uint16_t currentMa, std::uint16_t cutoffMv) {
    ProgramStep step;
    step.kind = kind;
    step.currentMa = currentMa;
    step.cutoffMv = cutoffMv;
    return step;
}

ProgramStep Rest(std::int32_t seconds) {
    ProgramStep step;
    step.kind = StepKind::Rest;
    step.restSeconds = seconds;
    return step;
}

ProgramStep Repeat(std::int32_t from, std::int32_t times) {
    ProgramStep step;
    step.kind = StepKind::Repeat;
    step.repeatFrom = from;
    step.repeatTimes = times;
    return step;
}

// A module that does what the commands say, a second of its time per record, with runs of
// set lengths at set voltages; the misbehaviours the safety rules guard against switch on.
struct FakeModule {
    StatusRecord status = Idle();
    std::function<int(const StatusRecord&)> runSeconds = [](const StatusRecord&) { return 60; };
    std::uint16_t chargeMv = 4000;
    std::uint16_t dischargeMv = 3600;
    std::function<std::uint16_t(const StatusRecord&)> dischargeMvOf;  // each second, if set
    std::uint16_t rinMohm = 50;
    int refusedParam = -1;
    bool refusesStart = false;
    bool rinAsked = false;
    int runLength = 0;

    bool Running() const { return (status.statusFlags & flags::kRunning) != 0; }
    void SetRunning(bool on) {
        status.statusFlags =
            on ? status.statusFlags | flags::kRunning : status.statusFlags & ~flags::kRunning;
        status.currentMa = on ? status.params[3] : 0;
        status.voltageMv = on ? (status.params[4] != 0 ? chargeMv : dischargeMv) : 3900;
    }

    void Apply(const Cmd& command) {
        switch (command.kind) {
            case Cmd::Write:
                if (command.param != refusedParam) {
                    status.params[command.param] = command.word;
                }
                break;
            case Cmd::Start:
            case Cmd::Stop:
                if (Running()) {
                    SetRunning(false);
                } else if (!refusesStart) {
                    runLength = runSeconds(status);
                    SetRunning(true);
                }
                break;
            case Cmd::Reset:
                SetRunning(false);
                status.elapsedSeconds = 0;
                status.capacityMah = 0;
                break;
            case Cmd::MeasureRin:
                rinAsked = Running();
                break;
            case Cmd::ClearRin:
                status.statusFlags &= ~flags::kRinHeld;
                status.rinMohm = 0;
                break;
            default:
                break;
        }
    }

    void Second() {
        if (rinAsked) {
            rinAsked = false;
            status.statusFlags |= flags::kRinHeld;
            status.rinMohm = rinMohm;
        }
        if (Running()) {
            ++status.elapsedSeconds;
            status.capacityMah = status.params[3] * status.elapsedSeconds / 3600;
            if (dischargeMvOf && status.params[4] == 0) {
                status.voltageMv = dischargeMvOf(status);
            }
            if (status.elapsedSeconds >= runLength) {
                SetRunning(false);
            }
        }
    }
};

// The module, the sequencer and the clock: a record a second, its command applied at once.
struct Bench {
    FakeModule module;
    CSequencer sequencer;
    std::int64_t nowMs = 0;
    std::vector<Cmd> sent;
    std::vector<std::size_t> stepsSeen;

    explicit Bench(TestProgram program) : sequencer(std::move(program)) { sequencer.Start(0); }

    Cmd Tick() {
        module.Second();
        nowMs += 1000;
        const Cmd command = sequencer.OnStatus(module.status, nowMs);
        module.Apply(command);
        if (command.kind != Cmd::None) {
            sent.push_back(command);
        }
        const bool active = sequencer.State() == SequencerState::Running;
        if (active && (stepsSeen.empty() || stepsSeen.back() != sequencer.StepIndex())) {
            stepsSeen.push_back(sequencer.StepIndex());
        }
        return command;
    }

    bool TickUntil(const std::function<bool()>& done, int most = 100000) {
        for (int i = 0; i < most; ++i) {
            if (done()) {
                return true;
            }
            Tick();
        }
        return done();
    }

    bool InRun() {
        return TickUntil([&] { return module.Running(); }, 50);
    }
};

TestProgram OneDischarge() {
    TestProgram program;
    program.name = QStringLiteral("one");
    program.nominalCapacityMah = 1000;
    program.steps = {RunStep(StepKind::Discharge, 1500, 3000), Rest(60)};
    return program;
}

TEST(Sequencer, RunStepWritesEachParameterChecksItThenResetsAndStarts) {
    CSequencer sequencer(OneDischarge());
    sequencer.Start(0);

    struct Row {
        std::int64_t nowMs;
        std::function<void(StatusRecord&)> record;
        Cmd command;
        std::size_t step;
        SequencerState state;
    };
    const auto idle = [](StatusRecord&) {};
    const auto with = [](int param, int word) {
        return [=](StatusRecord& s) { s.params[param] = static_cast<std::uint16_t>(word); };
    };
    const auto running = [](int elapsed) {
        return [=](StatusRecord& s) {
            s.statusFlags = flags::kRunning;
            s.elapsedSeconds = elapsed;
        };
    };
    const auto stopped = [](StatusRecord& s) { s.elapsedSeconds = 700; };
    constexpr auto kRun = SequencerState::Running;
    const std::vector<Row> rows = {
        {0, idle, {Cmd::Select, 4, 0}, 0, kRun},
        {100, idle, {Cmd::Write, 4, 0}, 0, kRun},
        {200, with(4, 0), {Cmd::Select, 3, 0}, 0, kRun},
        {300, idle, {Cmd::Write, 3, 1500}, 0, kRun},
        {400, with(3, 1500), {Cmd::Select, 1, 0}, 0, kRun},
        {500, idle, {Cmd::Write, 1, 3000}, 0, kRun},
        {600, with(1, 3000), {Cmd::Reset}, 0, kRun},
        {700, idle, {Cmd::Start}, 0, kRun},
        {800, running(0), {}, 0, kRun},
        {1800, running(1), {}, 0, kRun},
        {700'000, stopped, {}, 1, kRun},  // the module ended the run: the rest begins
        {759'000, idle, {}, 1, kRun},     // 59 s of rest
        {760'000, idle, {}, 1, SequencerState::Finished},
        {761'000, running(5), {}, 1, SequencerState::Finished},  // nothing after the end
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        StatusRecord status = Idle();
        rows[i].record(status);
        EXPECT_EQ(sequencer.OnStatus(status, rows[i].nowMs), rows[i].command);
        EXPECT_EQ(sequencer.StepIndex(), rows[i].step);
        EXPECT_EQ(sequencer.State(), rows[i].state);
    }
}

TEST(Sequencer, CommandsAreTheOperatorsRequests) {
    const std::vector<std::pair<Cmd, Request>> table = {
        {{Cmd::Select, 3, 0}, {'N', 3, 0, 0}}, {{Cmd::Write, 1, 4200}, {'w', 1, 0x68, 0x10}},
        {{Cmd::Start}, {'p', 0, 0, 0}},        {{Cmd::Stop}, {'p', 0, 0, 0}},
        {{Cmd::Reset}, {'s', 0, 0, 0}},        {{Cmd::MeasureRin}, {'r', 0, 0, 0}},
        {{Cmd::ClearRin}, {'c', 0, 0, 0}},
    };
    for (const auto& [command, request] : table) {
        EXPECT_EQ(command.ToRequest(), request);
    }
}

TEST(Sequencer, EverySafetyRuleEndsTheProgramAndLeavesTheModuleStopped) {
    struct Case {
        const char* name;
        bool beforeRun;  // the upset comes before the run starts
        std::function<void(Bench&)> upset;
        EndReason reason;
        TestProgram program = OneDischarge();
    };
    const std::vector<Case> cases = {
        {"step limit", false,
         [](Bench& b) {
             b.module.runSeconds = [](const StatusRecord&) { return 100000; };
             b.module.runLength = 100000;
             // 1000 mAh at 1.5 A: twice 40 min.
             b.nowMs += 4800 * 1000;
         },
         EndReason::StepLimit},
        {"fault flag", false, [](Bench& b) { b.module.status.statusFlags |= flags::kNoDac; },
         EndReason::ModuleFault},
        {"temperature power-off", false,
         [](Bench& b) {
             b.module.SetRunning(false);
             b.module.status.statusFlags |= flags::kTempPowerOff;
         },
         EndReason::TemperaturePowerOff},
        {"refused write", true, [](Bench& b) { b.module.refusedParam = 3; },
         EndReason::WriteRefused},
        {"start refused", true, [](Bench& b) { b.module.refusesStart = true; },
         EndReason::StartRefused},
        {"operator stop", false, [](Bench& b) { b.sequencer.OperatorStop(StopScope::Program); },
         EndReason::OperatorStop},
        {"operator reset", false,
         [](Bench& b) {
             b.module.Apply({Cmd::Reset});
             b.sequencer.OperatorReset();
         },
         EndReason::OperatorReset},
        {"an Rin pulse the module ends before the result",
         true,
         [](Bench& b) { b.module.runSeconds = [](const StatusRecord&) { return 1; }; },
         EndReason::RinNoLoad,
         {QStringLiteral("rin"), 0, {RunStep(StepKind::Rin, 1000, 3000), Rest(60)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench(c.program);
        bench.module.runSeconds = [](const StatusRecord&) { return 3000; };
        if (c.beforeRun) {
            c.upset(bench);
        } else {
            ASSERT_TRUE(bench.InRun());
            bench.Tick();
            c.upset(bench);
        }
        ASSERT_TRUE(bench.TickUntil(
            [&] { return bench.sequencer.State() != SequencerState::Running; }, 20));
        EXPECT_EQ(bench.sequencer.State(), SequencerState::Ended);
        EXPECT_EQ(bench.sequencer.Reason(), c.reason);
        for (int i = 0; i < 5; ++i) {
            bench.Tick();
        }
        EXPECT_FALSE(bench.module.Running());
        EXPECT_EQ(bench.sequencer.State(), SequencerState::Ended);
        if (c.reason == EndReason::WriteRefused) {
            EXPECT_EQ(bench.sequencer.RefusedParam(), 3);
        }
    }
}

TEST(Sequencer, StopsAgainWhenTheStopCrossedTheRunsOwnEnd) {
    Bench bench(OneDischarge());
    ASSERT_TRUE(bench.InRun());
    bench.sequencer.OperatorStop(StopScope::Program);
    const Cmd stop = bench.sequencer.OnStatus(bench.module.status, bench.nowMs);
    ASSERT_EQ(stop.kind, Cmd::Stop);
    bench.module.SetRunning(false);  // ended by itself as the stop went out: 'p' starts it again
    bench.module.Apply(stop);
    ASSERT_TRUE(bench.module.Running());
    bench.Tick();
    EXPECT_FALSE(bench.module.Running());
    EXPECT_EQ(bench.sequencer.Reason(), EndReason::OperatorStop);
}

TEST(Sequencer, OperatorStopOfOneStepGoesOnWithTheNext) {
    Bench bench(OneDischarge());
    ASSERT_TRUE(bench.InRun());
    bench.sequencer.OperatorStop(StopScope::Step);
    bench.Tick();
    EXPECT_FALSE(bench.module.Running());
    bench.Tick();
    EXPECT_EQ(bench.sequencer.State(), SequencerState::Running);
    EXPECT_EQ(bench.sequencer.StepIndex(), 1u);
}

TEST(Sequencer, LostLinkPausesAndTheModulesStateDecidesHowItGoesOn) {
    // Found running mid-run: the program watches that run to its end.
    {
        Bench bench(OneDischarge());
        ASSERT_TRUE(bench.InRun());
        bench.sequencer.OnLinkLost();
        EXPECT_EQ(bench.sequencer.State(), SequencerState::Paused);
        bench.module.Second();
        EXPECT_EQ(bench.Tick().kind, Cmd::None);
        EXPECT_EQ(bench.sequencer.State(), SequencerState::Running);
        EXPECT_TRUE(bench.TickUntil([&] { return bench.sequencer.StepIndex() == 1; }, 200));
    }
    // Found idle mid-run: the operator decides; going on begins the step again.
    {
        Bench bench(OneDischarge());
        ASSERT_TRUE(bench.InRun());
        bench.sequencer.OnLinkLost();
        bench.module.SetRunning(false);
        EXPECT_EQ(bench.Tick().kind, Cmd::None);
        EXPECT_EQ(bench.sequencer.State(), SequencerState::WaitingOperator);
        EXPECT_EQ(bench.Tick().kind, Cmd::None);
        bench.sequencer.Resume(bench.nowMs);
        EXPECT_EQ(bench.Tick(), (Cmd{Cmd::Select, 4, 0}));
        EXPECT_EQ(bench.sequencer.StepIndex(), 0u);
    }
    // Mid-rest, found idle: the rest goes on, the time away counted in it.
    {
        Bench bench(OneDischarge());
        ASSERT_TRUE(bench.TickUntil([&] { return bench.sequencer.StepIndex() == 1; }, 200));
        bench.sequencer.OnLinkLost();
        bench.nowMs += 30'000;
        bench.Tick();
        EXPECT_EQ(bench.sequencer.State(), SequencerState::Running);
        EXPECT_GE(bench.sequencer.StepElapsedMs(bench.nowMs), 31'000);
        EXPECT_TRUE(bench.TickUntil(
            [&] { return bench.sequencer.State() == SequencerState::Finished; }, 30));
    }
}

TEST(Sequencer, StepLimitIsTwiceTheNominalTimeAndNeverOverADay) {
    TestProgram program;
    program.nominalCapacityMah = 2500;
    ProgramStep step = RunStep(StepKind::Charge, 1000, 4200);
    EXPECT_EQ(StepLimitSeconds(program, step), 5 * 3600);
    step.currentMa = 100;
    EXPECT_EQ(StepLimitSeconds(program, step), kMaxStepSeconds);
    step.limitMinutes = 90;
    EXPECT_EQ(StepLimitSeconds(program, step), 90 * 60);
    step.limitMinutes = 3000;
    EXPECT_EQ(StepLimitSeconds(program, step), kMaxStepSeconds);
    program.nominalCapacityMah = 0;
    step.limitMinutes = 0;
    EXPECT_EQ(StepLimitSeconds(program, step), kMaxStepSeconds);
}

TEST(Sequencer, ThreeCyclesRunToTheEndWithEfficienciesOfTheReadings) {
    TestProgram program;
    program.name = QStringLiteral("three");
    program.nominalCapacityMah = 1000;
    program.steps = {
        RunStep(StepKind::Charge, 1000, 4200), Rest(60), RunStep(StepKind::Discharge, 1000, 3000),
        RunStep(StepKind::Rin, 200, 3000),     Rest(60), Repeat(1, 3)};
    Bench bench(program);
    bench.module.status.voltageMv = 3050;  // emptied: cycle 1 has its efficiencies too
    int discharges = 0;
    bench.module.runSeconds = [&](const StatusRecord& s) {
        if (s.params[4] != 0) {
            return 3600;
        }
        if (s.params[3] == 200) {
            return 100000;  // the Rin step's load: stopped by the program
        }
        return 3240 - 36 * discharges++;
    };
    ASSERT_TRUE(
        bench.TickUntil([&] { return bench.sequencer.State() != SequencerState::Running; }));
    ASSERT_EQ(bench.sequencer.State(), SequencerState::Finished);

    const std::vector<std::size_t> order = {0, 1, 2, 3, 4, 0, 1, 2, 3, 4, 0, 1, 2, 3, 4};
    EXPECT_EQ(bench.stepsSeen, order);
    int writes = 0;
    for (const Cmd& c : bench.sent) {
        writes += c.kind == Cmd::Write;
    }
    EXPECT_EQ(writes, 3 * 3 * 3);
    EXPECT_FALSE(bench.module.Running());

    // By hand: 1 A for 3600 s at 4.000 V charges 1000 mAh, 4000 mWh; 1 A for 3240 s, 3204 s,
    // 3168 s at 3.600 V gives back 900, 890, 880 mAh and 3.6 mWh a mAh.
    const auto& cycles = bench.sequencer.Cycles();
    ASSERT_EQ(cycles.size(), 3u);
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const CycleResult& c = cycles[static_cast<std::size_t>(k)];
        const int dischargeMah = 900 - 10 * k;
        EXPECT_EQ(c.cycle, k + 1);
        EXPECT_EQ(c.chargeMah, 1000);
        EXPECT_EQ(c.dischargeMah, dischargeMah);
        EXPECT_NEAR(c.chargeMwh, 4000.0, 1e-6);
        EXPECT_NEAR(c.dischargeMwh, 3.6 * dischargeMah, 1e-6);
        EXPECT_NEAR(*c.CoulombicEfficiency(), dischargeMah / 1000.0, 1e-9);
        EXPECT_NEAR(*c.EnergyEfficiency(), 3.6 * dischargeMah / 4000.0, 1e-9);
        EXPECT_EQ(c.rinMohm, std::optional<std::uint16_t>(50));
    }
}

// Each capacity discharge gives its main dQ/dV peak as it ends: a cell giving up its charge
// around a voltage 20 mV lower each cycle (a logistic Q(V), 1 A for an hour).
TEST(Sequencer, EachDischargeGivesItsPeakAsItEnds) {
    TestProgram program;
    program.steps = {RunStep(StepKind::Discharge, 1000, 3000), Repeat(1, 3)};
    Bench bench(program);
    bench.module.runSeconds = [](const StatusRecord&) { return 3600; };
    bench.module.dischargeMvOf = [&](const StatusRecord& s) {
        const double share = (s.elapsedSeconds + 36.0) / (3600 + 72);
        const double peak = 3.70 - 0.02 * (bench.sequencer.Cycle() - 1);
        return static_cast<std::uint16_t>(
            std::lround(1000 * (peak + 0.02 * std::log(1 / share - 1))));
    };
    ASSERT_TRUE(
        bench.TickUntil([&] { return bench.sequencer.State() == SequencerState::Finished; }));
    const std::vector<CycleResult>& cycles = bench.sequencer.Cycles();
    ASSERT_EQ(cycles.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(cycles[k].peakVolts.value_or(0), 3.70 - 0.02 * static_cast<double>(k), 0.005)
            << k;
    }
}

// The simulator's cell at 40 %: cycle 1's charge puts in less than the discharge takes out.
TEST(Sequencer, ACycleWhoseChargeBeganFromAPartlyChargedCellHasNoEfficiency) {
    TestProgram program;
    program.name = QStringLiteral("two");
    program.steps = {RunStep(StepKind::Charge, 1000, 4200), Rest(60),
                     RunStep(StepKind::Discharge, 1000, 3000), Rest(60), Repeat(1, 2)};
    std::vector<RunRecord> runs;
    const auto run = [&](bool charge, bool rest, std::int32_t cycle, std::uint16_t startMv,
                         std::int32_t mah) {
        RunRecord r;
        r.id = static_cast<std::int64_t>(runs.size()) + 1;
        r.charge = charge;
        r.rest = rest;
        r.program = {1, cycle, static_cast<std::int32_t>(runs.size() % 4) + 1};
        r.params[1] = charge ? 4200 : 3000;
        r.startMv = startMv;
        r.capacityMah = mah;
        r.maxTemperature = 25;
        r.energyUj = std::int64_t{mah} * 3600 * (charge ? 4000 : 3600);
        r.state = RunState::Stopped;
        r.endCause = rest ? EndCause::Program : EndCause::Module;
        runs.push_back(r);
    };
    // As the journal keeps them: cycle 2's charge begins from a cell rested back up to 3.35 V.
    for (std::int32_t cycle : {1, 2}) {
        run(true, false, cycle, cycle == 1 ? 3760 : 3350, cycle == 1 ? 600 : 1000);
        run(false, true, cycle, 4100, 0);
        run(false, false, cycle, 4050, 900);
        run(false, true, cycle, 3100, 0);
    }

    Bench bench(program);
    bench.module.status.voltageMv = 3760;
    bench.module.runSeconds = [&](const StatusRecord& s) {
        if (s.params[4] == 0) {
            return 3240;
        }
        return bench.sequencer.Cycle() == 1 ? 2160 : 3600;
    };
    ASSERT_TRUE(
        bench.TickUntil([&] { return bench.sequencer.State() == SequencerState::Finished; }));

    const std::pair<const char*, std::vector<CycleResult>> sources[] = {
        {"while it runs", bench.sequencer.Cycles()},
        {"from the journal", CyclesOfProgram(runs, 1)}};
    for (const auto& [source, cycles] : sources) {
        SCOPED_TRACE(source);
        ASSERT_EQ(cycles.size(), 2u);
        EXPECT_EQ(cycles[0].chargeMah, 600);
        EXPECT_EQ(cycles[0].dischargeMah, 900);
        EXPECT_FALSE(cycles[0].CoulombicEfficiency());
        EXPECT_FALSE(cycles[0].EnergyEfficiency());
        EXPECT_TRUE(cycles[0].EfficienciesWithheld());
        EXPECT_NEAR(cycles[1].CoulombicEfficiency().value_or(0), 0.9, 1e-9);
        EXPECT_NEAR(cycles[1].EnergyEfficiency().value_or(0), 0.81, 1e-9);
        const QList<QByteArray> lines = CyclesCsv(cycles).split('\n');
        ASSERT_GE(lines.size(), 3);
        EXPECT_EQ(lines[1], "1,600,900,,,,25,,\r");
        EXPECT_EQ(lines[2], "2,1000,900,0.9000,0.8100,,25,,\r");
    }
}

TEST(Sequencer, NextStepFollowsTheRepeats) {
    TestProgram program;
    program.steps = {Rest(1), Rest(1), Repeat(1, 2), Rest(1)};
    Bench bench(program);
    std::vector<std::optional<std::size_t>> nexts;
    std::vector<std::size_t> steps;
    nexts.push_back(bench.sequencer.NextStepIndex());
    steps.push_back(bench.sequencer.StepIndex());
    while (bench.sequencer.State() == SequencerState::Running) {
        const std::size_t before = bench.sequencer.StepIndex();
        const std::int32_t cycleBefore = bench.sequencer.Cycle();
        bench.Tick();
        if (bench.sequencer.State() == SequencerState::Running &&
            (bench.sequencer.StepIndex() != before || bench.sequencer.Cycle() != cycleBefore)) {
            steps.push_back(bench.sequencer.StepIndex());
            nexts.push_back(bench.sequencer.NextStepIndex());
        }
    }
    EXPECT_EQ(steps, (std::vector<std::size_t>{0, 1, 0, 1, 3}));
    using N = std::optional<std::size_t>;
    EXPECT_EQ(nexts, (std::vector<N>{1, 0, 1, 3, std::nullopt}));
    EXPECT_EQ(bench.sequencer.Cycle(), 2);

    // A repeat that sends the run back onto another repeat: that one is followed too.
    program.steps = {Rest(1), Repeat(1, 2), Repeat(2, 2)};
    Bench nested(program);
    for (int i = 0; i < 20 && nested.sequencer.State() == SequencerState::Running; ++i) {
        ASSERT_EQ(nested.sequencer.StepIndex(), 0u);
        nested.Tick();
    }
    EXPECT_EQ(nested.sequencer.State(), SequencerState::Finished);
    EXPECT_EQ(nested.sequencer.Cycle(), 3);
}

TEST(Sequencer, GoesOnWhereAnEarlierSessionLeftOff) {
    TestProgram program;
    program.steps = {Rest(1), Rest(1), Repeat(1, 3), Rest(1)};
    struct Case {
        std::size_t step;
        std::int32_t cycle;
        std::vector<std::int32_t> passes;
        std::vector<std::size_t> steps;  // begun from there on
        std::int32_t lastCycle;
    };
    const Case cases[] = {
        {1, 2, {0, 0, 1, 0}, {1, 0, 1, 3}, 3},  // in cycle 2, one jump back still to make
        {0, 3, {0, 0, 0, 0}, {0, 1, 3}, 3},     // in the last cycle
        {1, 1, {0, 0, 7, 0}, {1, 0, 1, 0, 1, 3}, 3},  // more passes than the program has: fresh
        {1, 1, {1}, {1, 0, 1, 0, 1, 3}, 3},           // a list that does not fit: fresh
        {2, 5, {0, 0, 1, 0}, {0, 1, 0, 1, 0, 1, 3}, 3},  // a repeat is no step: from the start
        {9, 5, {}, {0, 1, 0, 1, 0, 1, 3}, 3},            // past the end: from the start
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        Bench bench(program);
        std::vector<CycleResult> earlier(2);
        earlier[0].cycle = 1;
        earlier[1].cycle = 2;
        bench.sequencer.StartAt(c.step, c.cycle, c.passes, earlier, 0);
        std::vector<std::size_t> begun;
        for (int i = 0; i < 30 && bench.sequencer.State() == SequencerState::Running; ++i) {
            for (const CSequencer::BegunStep& step : bench.sequencer.TakeBegunSteps()) {
                begun.push_back(step.stepIndex);
            }
            bench.Tick();
        }
        EXPECT_EQ(bench.sequencer.State(), SequencerState::Finished);
        EXPECT_EQ(begun, c.steps);
        EXPECT_EQ(bench.sequencer.Cycle(), c.lastCycle);
        // The cycles done before are kept, the one gone on with begins afresh.
        ASSERT_FALSE(bench.sequencer.Cycles().empty());
        EXPECT_EQ(bench.sequencer.Cycles().front().cycle, 1);
        EXPECT_EQ(bench.sequencer.Cycles().back().cycle, c.lastCycle);
    }
}

}  // namespace
}  // namespace brimvolt
