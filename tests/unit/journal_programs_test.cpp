// A test program's runs in the journal: marked with their cycle and step, rests as runs of their
// own, the program's own entry read back bounded, the cycles computed from the runs.

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <vector>

#include "journal/CellSummary.h"
#include "journal/Journal.h"
#include "journal/JournalExport.h"
#include "journal/JournalRecorder.h"
#include "journal/ProgramCycles.h"

using namespace brimvolt;

namespace {

constexpr std::uint8_t kRun = flags::kRunning;

// What the window passes on: a status record, a command, or a program's step.
struct Event {
    enum Kind { Status, Command, ProgramCommand, Step, Rest, Over, Lost, Found } kind = Status;
    std::int32_t seconds = 0;
    std::uint8_t flags = 0;
    std::uint16_t mv = 3900;
    std::uint16_t ma = 0;
    std::int32_t mah = 0;
    std::uint16_t mode = 0;
    std::uint16_t rin = 0;
    ProgramMark mark;
    char command = 0;
};

Event At(std::int32_t seconds, std::uint8_t flags, std::uint16_t mv, std::uint16_t ma,
         std::int32_t mah, std::uint16_t mode = 0, std::uint16_t rin = 0) {
    return {Event::Status, seconds, flags, mv, ma, mah, mode, rin, {}, 0};
}
Event StepOf(Event::Kind kind, std::int32_t cycle, std::int32_t step, bool rin = false) {
    Event event;
    event.kind = kind;
    event.mark = {7, cycle, step, rin};
    return event;
}
Event Sent(char command, bool byProgram) {
    Event event;
    event.kind = byProgram ? Event::ProgramCommand : Event::Command;
    event.command = command;
    return event;
}

class ProgramRuns : public ::testing::Test {
protected:
    void SetUp() override { Open(); }

    void Open() {
        recorder.reset();
        journal = std::make_unique<CJournal>();
        ASSERT_TRUE(journal->Open(dir.filePath(QStringLiteral("j.sqlite"))).Usable());
        recorder = std::make_unique<CJournalRecorder>(*journal);
        recorder->OnModuleFound(QStringLiteral("ttyUSB0"), wallMs);
    }

    // A second of the wall clock per event, as the poll ticks come.
    void Play(const std::vector<Event>& events) {
        for (const Event& e : events) {
            wallMs += 1000;
            switch (e.kind) {
                case Event::Status: {
                    StatusRecord s;
                    s.elapsedSeconds = e.seconds;
                    s.statusFlags = e.flags;
                    s.voltageMv = e.mv;
                    s.currentMa = e.ma;
                    s.capacityMah = e.mah;
                    s.rinMohm = e.rin;
                    s.temperature = 30;
                    s.params[4] = e.mode;
                    recorder->OnStatus(s, wallMs);
                    break;
                }
                case Event::Command:
                case Event::ProgramCommand:
                    recorder->OnCommandSent(e.command, wallMs, e.kind == Event::ProgramCommand);
                    break;
                case Event::Step:
                case Event::Rest:
                    recorder->OnProgramStep(e.mark, e.kind == Event::Rest, wallMs);
                    break;
                case Event::Over:
                    recorder->OnProgramOver(wallMs);
                    break;
                case Event::Lost:
                    recorder->OnLinkLost(wallMs);
                    break;
                case Event::Found:
                    recorder->OnModuleFound(QStringLiteral("ttyUSB0"), wallMs);
                    break;
            }
        }
        ASSERT_TRUE(recorder->Flush(wallMs));
    }

    QTemporaryDir dir;
    std::unique_ptr<CJournal> journal;
    std::unique_ptr<CJournalRecorder> recorder;
    std::int64_t wallMs = 1'700'000'000'000;
};

// Cycle 1: a charge the module ends, a rest, a discharge, an Rin pulse the program stops.
const std::vector<Event> kOneCycle = {
    At(0, 0, 3600, 0, 0, 1), StepOf(Event::Step, 1, 1),
    At(0, kRun, 3700, 1000, 0, 1), At(1, kRun, 3800, 1000, 1, 1), At(2, kRun, 4100, 1000, 2, 1),
    At(2, 0, 4150, 0, 2, 1),
    StepOf(Event::Rest, 1, 2), At(2, 0, 4120, 0, 2, 1), At(2, 0, 4100, 0, 2, 1),
    At(2, 0, 4090, 0, 2, 1),
    StepOf(Event::Step, 1, 3), Sent('s', true), At(0, 0, 4090, 0, 0), At(0, kRun, 4000, 1000, 0),
    At(1, kRun, 3900, 1000, 1), At(2, kRun, 3000, 1000, 2), At(2, 0, 3100, 0, 2),
    StepOf(Event::Step, 1, 4, true), Sent('s', true), At(0, 0, 3200, 0, 0),
    At(0, kRun, 3100, 1000, 0), At(1, kRun, 3050, 1000, 0, 0, 55),
    At(2, kRun | flags::kRinHeld, 3040, 1000, 1, 0, 55), Sent('p', true), At(2, 0, 3100, 0, 1),
    StepOf(Event::Over, 0, 0),
};

TEST_F(ProgramRuns, RunsAndRestsCarryTheirCycleAndStep) {
    Play(kOneCycle);
    // Then a run of the operator's own: no mark.
    Play({At(0, 0, 3600, 0, 0), At(0, kRun, 3500, 1000, 0), At(1, kRun, 3400, 1000, 1),
          Sent('p', false), At(1, 0, 3500, 0, 1)});
    const std::vector<RunRecord> runs = journal->Runs().value();
    struct Expected {
        bool charge, rest;
        ProgramMark mark;
        EndCause cause;
    };
    const Expected expected[] = {
        {true, false, {7, 1, 1, false}, EndCause::Module},
        {false, true, {7, 1, 2, false}, EndCause::Program},
        {false, false, {7, 1, 3, false}, EndCause::Module},
        {false, false, {7, 1, 4, true}, EndCause::Program},
        {false, false, {}, EndCause::Operator},
    };
    ASSERT_EQ(runs.size(), std::size(expected));
    for (std::size_t k = 0; k < runs.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(runs[k].charge, expected[k].charge);
        EXPECT_EQ(runs[k].rest, expected[k].rest);
        EXPECT_EQ(runs[k].program, expected[k].mark);
        EXPECT_EQ(runs[k].endCause, expected[k].cause);
        EXPECT_EQ(runs[k].state, RunState::Stopped);
    }

    // The rest: the voltage every second of the wall clock, no current, its own kind.
    const std::vector<JournalSample> rest = journal->Samples(runs[1].id).value();
    std::vector<std::int32_t> seconds;
    for (const JournalSample& sample : rest) {
        seconds.push_back(sample.seconds);
        EXPECT_EQ(sample.currentMa, 0);
    }
    EXPECT_EQ(seconds, (std::vector<std::int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(rest.front().voltageMv, 4150);
    EXPECT_EQ(rest.back().voltageMv, 4090);
    const QByteArray list = RunListText(runs);
    EXPECT_TRUE(list.contains("\trest\tstopped\t0:00:03\t0\t0.000\t1\t2\t\n")) << list.data();

    // The cycle takes the charge and the capacity discharge; the Rin pulse gives only its Rin.
    const std::vector<CycleResult> cycles = CyclesOfProgram(runs, 7);
    ASSERT_EQ(cycles.size(), 1u);
    EXPECT_EQ(cycles[0].chargeMah, 2);
    EXPECT_EQ(cycles[0].dischargeMah, 2);
    EXPECT_EQ(cycles[0].rinMohm, 55);
    EXPECT_NEAR(cycles[0].chargeMwh, EnergyMwh(runs[0].energyUj), 1e-9);
    EXPECT_EQ(cycles[0].maxTemperatureC, 30);
    EXPECT_TRUE(CyclesOfProgram(runs, 8).empty());

    // A cell's last capacity is its last capacity discharge, not the Rin pulse after it.
    for (const RunRecord& run : runs) {
        ASSERT_TRUE(journal->SetRunCell(run.id, QStringLiteral("A1")));
    }
    const std::vector<CellSummary> cells = SummarizeCells(
        journal->Cells().value(), journal->Runs().value(), journal->RunCells().value());
    ASSERT_EQ(cells.size(), 1u);
    EXPECT_EQ(cells[0].lastCapacityMah, 1);  // the operator's own discharge came last
    EXPECT_EQ(cells[0].firstCapacityMah, 2);
}

TEST_F(ProgramRuns, ARestGoesOnAfterALostLinkButNotAfterARestart) {
    Play({At(0, 0, 3600, 0, 0), StepOf(Event::Rest, 2, 5), At(0, 0, 3610, 0, 0),
          StepOf(Event::Lost, 0, 0)});
    wallMs += 5000;
    Play({StepOf(Event::Found, 0, 0), At(0, 0, 3650, 0, 0), At(0, 0, 3660, 0, 0)});
    std::vector<RunRecord> runs = journal->Runs().value();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].rest);
    EXPECT_EQ(runs[0].state, RunState::Running);
    EXPECT_EQ(runs[0].durationSeconds, 10);  // the wall clock's seconds, the outage included

    // The program left and began again: the old rest's clock went with it.
    recorder->OnLeaving(wallMs);
    Open();
    Play({At(0, 0, 3700, 0, 0)});
    runs = journal->Runs().value();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].state, RunState::Stopped);
    EXPECT_EQ(runs[0].endCause, EndCause::LinkLost);
    EXPECT_EQ(runs[0].durationSeconds, 10);
}

TEST_F(ProgramRuns, StoredProgramsAreReadBackWithinBounds) {
    ProgramRecord program;
    program.name = QStringLiteral("Циклы: 3 × (заряд, отдых, разряд, отдых)");
    program.json = R"({"name": "x", "steps": []})";
    program.cell = QStringLiteral("A1");
    program.port = QStringLiteral("ttyUSB0");
    program.startedUtc = 1'700'000'000;
    program.state = ProgramRunState::Paused;
    program.step = 3;
    program.cycle = 2;
    program.passesLeft = {0, 0, 0, 0, 1};
    program.cyclesDone = 1;
    ASSERT_TRUE(journal->SaveProgram(program));
    EXPECT_EQ(journal->Program(program.id), program);
    program.state = ProgramRunState::Ended;
    program.endReason = QStringLiteral("шаг превысил предельное время");
    ASSERT_TRUE(journal->SaveProgram(program));
    EXPECT_EQ(journal->Programs().value(), std::vector<ProgramRecord>{program});
    EXPECT_FALSE(journal->Program(program.id + 1));
    EXPECT_TRUE(journal->LastError().isEmpty());

    // What another program or a hand wrote into the file is outside data.
    struct Hostile {
        const char* set;
        std::function<bool(const ProgramRecord&)> holds;
    };
    const Hostile cases[] = {
        {"state = 9", [](const ProgramRecord& p) { return p.state == ProgramRunState::Ended; }},
        {"step = -3", [](const ProgramRecord& p) { return p.step == 1; }},
        {"step = 1e12", [](const ProgramRecord& p) { return p.step == 1000; }},
        {"cycle = 0", [](const ProgramRecord& p) { return p.cycle == 1; }},
        {"passes = 'abc,-5,99999999999'",
         [](const ProgramRecord& p) { return p.passesLeft == std::vector<std::int32_t>{0, 0, 1000}; }},
        {"passes = substr(replace(hex(zeroblob(100000)), '00', '1,'), 1, 200000)",
         [](const ProgramRecord& p) { return p.passesLeft.size() == 1000; }},
        {"cycles_done = -1", [](const ProgramRecord& p) { return p.cyclesDone == 0; }},
        {"started = -5", [](const ProgramRecord& p) { return p.startedUtc == 0; }},
        {"name = x'00ff41'", [](const ProgramRecord&) { return true; }},
    };
    for (const Hostile& c : cases) {
        SCOPED_TRACE(c.set);
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(journal->Path().toUtf8().constData(), &db), SQLITE_OK);
        const std::string sql = std::string("UPDATE programs SET ") + c.set;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db);
        sqlite3_close(db);
        const std::optional<ProgramRecord> read = journal->Program(program.id);
        ASSERT_TRUE(read);
        EXPECT_TRUE(c.holds(*read));
        EXPECT_FALSE(ProgramListText(journal->Programs().value()).isEmpty());
    }
}

}  // namespace
