// A test program run by the real main window against the simulator on a pseudo-terminal, at
// high speed: the program window drives the module through the window's poll ticks.

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <algorithm>
#include <functional>

#include "app/BrimvoltDlg.h"
#include "curvefile/CurveFileReader.h"
#include "cycle/ProgramFile.h"
#include "cycleview/ProgramDlg.h"
#include "journal/Journal.h"
#include "journal/JournalExport.h"
#include "platform/QtSerialPort.h"
#include "sim/PtyTransport.h"
#include "sim/SimModule.h"
#include "support/ChildProcess.h"
#include "support/ScriptedDialogs.h"

using namespace brimvolt;
using brimvolt::testing::Bin;
using brimvolt::testing::ScriptedDialogs;

namespace {

constexpr int kStartButton = 1007;

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QTest::qWait(50);
    }
    return done();
}

class ProgramBench {
public:
    ProgramBench(const QString& folder, double speed) : previousFolder(QDir::currentPath()) {
        QDir::setCurrent(folder);
        sim::CellConfig cell;
        cell.stateOfCharge = 0.5;
        cell.fadePerCycle = 0.02;
        module = std::make_shared<sim::CSimModule>(cell);
        module->UseWallClock(speed);
        transport = std::make_unique<sim::CPtyTransport>(*module);
        EXPECT_TRUE(transport->Open()) << transport->ErrorText();
        transport->Start();
        ports = platform::MakePathPorts({QString::fromStdString(transport->DevicePath())});
        dlg = std::make_unique<CBrimvoltDlg>(*ports, dialogs,
                                             QDir(folder).filePath(QStringLiteral("j.sqlite")));
        dlg->Create();
    }
    ~ProgramBench() {
        dlg.reset();
        ports.reset();
        transport.reset();
        QDir::setCurrent(previousFolder);
    }
    const CSequencer* Sequencer() const {
        return dlg->ProgramWindow() ? dlg->ProgramWindow()->Sequencer() : nullptr;
    }
    bool InState(SequencerState state) const {
        return Sequencer() != nullptr && Sequencer()->State() == state;
    }

    QString previousFolder;
    ScriptedDialogs dialogs;
    std::shared_ptr<sim::CSimModule> module;
    std::unique_ptr<sim::CPtyTransport> transport;
    std::unique_ptr<platform::CPortSystem> ports;
    std::unique_ptr<CBrimvoltDlg> dlg;
};

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

ToolRun Tool(const QString& folder, const QStringList& arguments) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(Bin("brimvolt-journal"), arguments);
    ToolRun run;
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit) {
        run.exitCode = process.exitCode();
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
    }
    return run;
}

// Capacity and energy as a person would take them from the samples: the counter's last value,
// and voltage × current over each second the reading closes, from the run's 0 s; the stop's
// seconds, read without current, at the power read last.
struct ByHand {
    double mah = 0;
    double mwh = 0;
};

ByHand FromSamples(const std::vector<JournalSample>& samples) {
    ByHand hand;
    double powerUw = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double seconds = samples[i].seconds - (i == 0 ? 0 : samples[i - 1].seconds);
        if (samples[i].currentMa > 0) {
            powerUw = static_cast<double>(samples[i].voltageMv) * samples[i].currentMa;
        }
        hand.mwh += powerUw * seconds / 3.6e9;
    }
    hand.mah = samples.empty() ? 0 : samples.back().capacityMah;
    return hand;
}

// Rests of 3 s on the wall clock: long enough for a poll past the rest's first second on a
// loaded machine, so each rest has its point 0 and a later one.
TestProgram ThreeCycles() {
    QString error;
    const std::optional<TestProgram> program = ParseProgram(R"({"name": "three", "steps": [
        {"charge": {"current_A": 2, "cutoff_V": 4.1}}, {"rest": {"minutes": 0.05}},
        {"discharge": {"current_A": 2, "cutoff_V": 3.4}}, {"rin": {}},
        {"rest": {"minutes": 0.05}}, {"repeat": {"from": 1, "times": 3}}]})",
                                                            error);
    EXPECT_TRUE(program) << error.toStdString();
    return program.value_or(TestProgram{});
}

TEST(ProgramRun, ThreeCyclesAgainstTheSimulatorToTheEnd) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ProgramBench bench(folder.path(), 1200.0);
    bench.dlg->RunProgram(ThreeCycles());
    bench.dlg->ProgramWindow()->CellEdit()->setText(QStringLiteral(" B-7 "));
    ASSERT_TRUE(WaitFor([&] { return bench.Sequencer() != nullptr; }, 30000))
        << "the program never started: no module found";
    std::vector<std::size_t> steps;
    ASSERT_TRUE(WaitFor(
        [&] {
            const std::size_t step = bench.Sequencer()->StepIndex();
            if (steps.empty() || steps.back() != step) {
                steps.push_back(step);
            }
            return !bench.InState(SequencerState::Running);
        },
        240000))
        << "still at step " << bench.Sequencer()->StepIndex() + 1;
    ASSERT_EQ(bench.Sequencer()->State(), SequencerState::Finished)
        << bench.dlg->ProgramWindow()->StateText().toStdString();
    // Every step in order; a rest of a second may pass between two polls: only the others count.
    std::vector<std::size_t> runSteps;
    for (std::size_t s : steps) {
        if (s != 1 && s != 4) {
            runSteps.push_back(s);
        }
    }
    EXPECT_EQ(runSteps, (std::vector<std::size_t>{0, 2, 3, 0, 2, 3, 0, 2, 3}));

    const sim::SimState state = bench.module->State();
    EXPECT_EQ(state.flags & 0x08, 0);
    EXPECT_EQ(state.params[4], 0);  // the Rin step's discharge was written last
    EXPECT_EQ(state.params[1], 3000);

    const std::vector<CycleResult>& cycles = bench.Sequencer()->Cycles();
    ASSERT_EQ(cycles.size(), 3u);
    for (std::size_t k = 1; k < 3; ++k) {
        SCOPED_TRACE(k);
        const CycleResult& c = cycles[k];
        ASSERT_TRUE(c.chargeMah && c.dischargeMah && c.rinMohm);
        // Charged full and emptied to the same voltage: what goes in comes out, less the fade
        // and what the Rin pulse after the discharge took, which the next charge puts back.
        EXPECT_GT(*c.CoulombicEfficiency(), 0.8);
        EXPECT_LT(*c.CoulombicEfficiency(), 1.02);
        EXPECT_LT(*c.EnergyEfficiency(), *c.CoulombicEfficiency());
        EXPECT_GT(*c.EnergyEfficiency(), 0.7);
        EXPECT_GT(*c.rinMohm, 60);
    }
    EXPECT_LT(*cycles[2].dischargeMah, *cycles[1].dischargeMah);  // the cell fades

    // The journal, once the window has left and everything is written.
    bench.dlg.reset();
    // Every step in order, each run with the parameters its step wrote.
    CJournal journal;
    ASSERT_TRUE(journal.Open(folder.filePath(QStringLiteral("j.sqlite")),
                             CJournal::OpenMode::Existing)
                    .Usable());
    const std::vector<RunRecord> runs = journal.Runs().value();
    struct Step {
        const char* kind;
        std::uint16_t mode, currentMa, cutoffMv;
    };
    const Step planned[] = {{"charge", 1, 2000, 4100}, {"rest", 0, 0, 0},
                          {"discharge", 0, 2000, 3400}, {"rin", 0, 1000, 3000},
                          {"rest", 0, 0, 0}};
    ASSERT_EQ(runs.size(), 15u);
    // Every run, rests included, went to the cell the program window named.
    const std::optional<CellRecord> cell = journal.CellNamed(QStringLiteral("B-7"));
    ASSERT_TRUE(cell);
    const std::vector<RunCellLink> links = journal.RunCells().value();
    EXPECT_EQ(links.size(), 15u);
    EXPECT_TRUE(std::all_of(links.begin(), links.end(),
                            [&](const RunCellLink& link) { return link.cellId == cell->id; }));
    for (std::size_t k = 0; k < runs.size(); ++k) {
        SCOPED_TRACE(k);
        const RunRecord& run = runs[k];
        const Step& step = planned[k % 5];
        EXPECT_EQ(run.program.programId, 1);
        EXPECT_EQ(run.program.cycle, static_cast<std::int32_t>(k / 5 + 1));
        EXPECT_EQ(run.program.step, static_cast<std::int32_t>(k % 5 + 1));
        EXPECT_EQ(run.program.rin, k % 5 == 3);
        EXPECT_EQ(run.rest, step.mode == 0 && step.currentMa == 0);
        EXPECT_EQ(run.state, RunState::Stopped);
        if (!run.rest) {
            EXPECT_EQ(run.charge, step.mode == 1);
            EXPECT_EQ(run.params[3], step.currentMa);
            EXPECT_EQ(run.params[1], step.cutoffMv);
            // The Rin pulse is stopped by the program unless the emptied cell ends it first.
            if (!run.program.rin) {
                EXPECT_EQ(run.endCause, EndCause::Module);
            }
        } else {
            EXPECT_GE(run.sampleCount, 2);
        }
    }
    // The autosave holds the last run the module ran, cycle 3's Rin pulse, and nothing before it.
    QFile autosave(folder.filePath(QStringLiteral("temp.raz")));
    ASSERT_TRUE(autosave.open(QIODevice::ReadOnly));
    auto saved = std::make_unique<CurveStore>();
    ASSERT_EQ(ReadCurveBytes(autosave.readAll(), *saved).status, CurveReadStatus::Loaded);
    auto pulse = std::make_unique<CurveStore>();
    FillCurveStore(runs[13], journal.Samples(runs[13].id).value(), *pulse);
    ASSERT_EQ(saved->lastIndex, pulse->lastIndex);
    EXPECT_EQ(saved->durationSeconds, pulse->durationSeconds);
    for (std::int32_t i = 0; i <= saved->lastIndex; ++i) {
        EXPECT_EQ(saved->sampleTimes[i], pulse->sampleTimes[i]) << i;
        EXPECT_EQ(saved->sampleMillivolts[i], pulse->sampleMillivolts[i]) << i;
    }

    const ToolRun list = Tool(folder.path(), {"--journal", "j.sqlite", "list"});
    EXPECT_TRUE(list.out.contains(QStringLiteral("\trest\tstopped\t")));
    EXPECT_TRUE(list.out.contains(QStringLiteral("\t3\t5\t\n"))) << list.out.toStdString();

    // The tool's cycles against the samples.
    const ToolRun table = Tool(folder.path(), {"--journal", "j.sqlite", "program", "1", "--csv", "cycles.csv", "--png",
                                             "fade.png"});
    ASSERT_EQ(table.exitCode, 0) << table.err.toStdString();
    QFile csv(folder.filePath(QStringLiteral("cycles.csv")));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split(QStringLiteral("\r\n"),
                                                                     Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0],
              QStringLiteral(
                  "cycle,charge_mAh,discharge_mAh,coulombic_efficiency,"
                  "energy_efficiency,rin_mOhm,max_temperature_C,dqdv_peak_V,dqdv_peak_mAh_per_V"));
    for (int c = 1; c <= 3; ++c) {
        SCOPED_TRACE(c);
        const QStringList row = lines[c].split(QLatin1Char(','));
        ASSERT_EQ(row.size(), 9);
        const std::size_t first = static_cast<std::size_t>(c - 1) * 5;
        const ByHand charge = FromSamples(journal.Samples(runs[first].id).value());
        const ByHand discharge = FromSamples(journal.Samples(runs[first + 2].id).value());
        EXPECT_EQ(row[1].toDouble(), charge.mah);
        EXPECT_EQ(row[2].toDouble(), discharge.mah);
        if (c == 1) {
            // The cell starts half charged: the first charge did not begin from an emptied cell.
            EXPECT_EQ(row[3], QString());
            EXPECT_EQ(row[4], QString());
        } else {
            EXPECT_NEAR(row[3].toDouble(), discharge.mah / charge.mah, 0.01 * row[3].toDouble());
            EXPECT_NEAR(row[4].toDouble(), discharge.mwh / charge.mwh, 0.01 * row[4].toDouble());
        }
        EXPECT_EQ(row[5].toInt(), runs[first + 3].rinMohm);
        EXPECT_GT(row[5].toInt(), 0);
    }
    EXPECT_GT(QFile(folder.filePath(QStringLiteral("fade.png"))).size(), 1000);
}

TEST(ProgramRun, LeavingAndTheStartButtonAskWhileAProgramRuns) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ProgramBench bench(folder.path(), 50.0);
    bench.dlg->RunProgram(ThreeCycles());
    ASSERT_TRUE(WaitFor([&] { return (bench.module->State().flags & 0x08) != 0; }, 30000));
    auto* start = qobject_cast<QPushButton*>(bench.dlg->Control(kStartButton));

    // Leaving asks first; staying leaves the program running.
    bench.dialogs.answers.push_back(platform::Answer::Cancel);
    bench.dlg->OnExit();
    ASSERT_EQ(bench.dialogs.messages.size(), 1);
    EXPECT_EQ(bench.dialogs.messages.back().text,
              QStringLiteral("Выполняется программа испытаний!\nВыйти из программы?"));
    EXPECT_TRUE(bench.InState(SequencerState::Running));

    // Only this step: the charge stops and the rest after it begins.
    bench.dialogs.answers.push_back(platform::Answer::Cancel);
    start->click();
    ASSERT_EQ(bench.dialogs.messages.size(), 2);
    EXPECT_TRUE(WaitFor([&] { return bench.Sequencer()->StepIndex() >= 1; }, 30000));
    EXPECT_TRUE(bench.InState(SequencerState::Running));

    // The whole program, once the discharge runs.
    ASSERT_TRUE(WaitFor(
        [&] {
            return bench.Sequencer()->StepIndex() == 2 && (bench.module->State().flags & 0x08) != 0;
        },
        60000));
    bench.dialogs.answers.push_back(platform::Answer::Ok);
    start->click();
    EXPECT_TRUE(bench.InState(SequencerState::Ended));
    EXPECT_EQ(bench.Sequencer()->Reason(), EndReason::OperatorStop);
    EXPECT_TRUE(WaitFor([&] { return (bench.module->State().flags & 0x08) == 0; }, 30000));
}

}  // namespace

namespace {

TEST(ProgramRun, AProgramLeftMidRunIsOfferedAndGoesOnWithThatRun) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ProgramBench bench(folder.path(), 600.0);
    bench.dlg->RunProgram(ThreeCycles());
    ASSERT_TRUE(WaitFor(
        [&] {
            return bench.Sequencer() != nullptr && bench.Sequencer()->StepIndex() == 2 &&
                   (bench.module->State().flags & 0x08) != 0;
        },
        120000));

    // The program goes away during the discharge (a crash, a shutdown); the module runs on, slowly
    // enough that the discharge outlasts the restart however loaded the machine is.
    bench.module->UseWallClock(5.0);
    bench.dlg.reset();
    bench.dialogs.answers.push_back(platform::Answer::Ok);
    bench.dlg = std::make_unique<CBrimvoltDlg>(*bench.ports, bench.dialogs,
                                               folder.filePath(QStringLiteral("j.sqlite")));
    bench.dlg->Create();
    ASSERT_TRUE(WaitFor([&] { return bench.InState(SequencerState::Running); }, 60000))
        << "the program was not offered again";
    ASSERT_FALSE(bench.dialogs.messages.isEmpty());
    EXPECT_TRUE(bench.dialogs.messages.back().text.contains(QStringLiteral("шаг 3, цикл 1")))
        << bench.dialogs.messages.back().text.toStdString();
    EXPECT_EQ(bench.Sequencer()->StepIndex(), 2u);
    EXPECT_EQ(bench.Sequencer()->Cycle(), 1);
    bench.module->UseWallClock(600.0);

    // It watches the discharge it had started to its end, then goes on with the Rin step.
    ASSERT_TRUE(WaitFor([&] { return bench.Sequencer()->StepIndex() >= 3; }, 120000))
        << bench.dlg->ProgramWindow()->StateText().toStdString();
    EXPECT_TRUE(bench.InState(SequencerState::Running))
        << bench.dlg->ProgramWindow()->StateText().toStdString();
    bench.dlg.reset();

    CJournal journal;
    ASSERT_TRUE(journal.Open(folder.filePath(QStringLiteral("j.sqlite")),
                             CJournal::OpenMode::Existing)
                    .Usable());
    const std::vector<ProgramRecord> programs = journal.Programs().value();
    ASSERT_EQ(programs.size(), 1u);
    EXPECT_EQ(programs[0].state, ProgramRunState::Paused);  // left again, mid-program
    // One discharge of cycle 1 step 3, continued across the restart, and ended by the module.
    const std::vector<RunRecord> runs = journal.Runs().value();
    std::vector<RunRecord> discharges;
    for (const RunRecord& run : runs) {
        if (run.program.cycle == 1 && run.program.step == 3) {
            discharges.push_back(run);
        }
    }
    ASSERT_EQ(discharges.size(), 1u) << RunListText(runs).toStdString();
    EXPECT_EQ(discharges[0].state, RunState::Stopped);
    EXPECT_EQ(discharges[0].endCause, EndCause::Module);
}

}  // namespace
