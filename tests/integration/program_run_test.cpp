// A test program run by the real main window against the simulator on a pseudo-terminal, at
// high speed: the program window drives the module through the window's poll ticks.

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "app/BrimvoltDlg.h"
#include "cycle/ProgramFile.h"
#include "cycleview/ProgramDlg.h"
#include "platform/QtSerialPort.h"
#include "sim/PtyTransport.h"
#include "sim/SimModule.h"
#include "support/ScriptedDialogs.h"

using namespace brimvolt;
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

TestProgram ThreeCycles() {
    QString error;
    const std::optional<TestProgram> program = ParseProgram(R"({"name": "three", "steps": [
        {"charge": {"current_A": 2, "cutoff_V": 4.1}}, {"rest": {"minutes": 0.02}},
        {"discharge": {"current_A": 2, "cutoff_V": 3.4}}, {"rin": {}},
        {"rest": {"minutes": 0.02}}, {"repeat": {"from": 1, "times": 3}}]})",
                                                            error);
    EXPECT_TRUE(program) << error.toStdString();
    return program.value_or(TestProgram{});
}

TEST(ProgramRun, ThreeCyclesAgainstTheSimulatorToTheEnd) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ProgramBench bench(folder.path(), 600.0);
    bench.dlg->RunProgram(ThreeCycles());
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
    std::vector<std::size_t> runs;
    for (std::size_t s : steps) {
        if (s != 1 && s != 4) {
            runs.push_back(s);
        }
    }
    EXPECT_EQ(runs, (std::vector<std::size_t>{0, 2, 3, 0, 2, 3, 0, 2, 3}));

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
