// The run journal as the program keeps it: the main window against the simulator on a
// pseudo-terminal (the operator's buttons, the messages), and the program itself as a process
// against brimvolt-sim (link lost and found, killed and started again, two at once).

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <functional>

#include "app/BrimvoltDlg.h"
#include "curvefile/CurveFileReader.h"
#include "journal/Journal.h"
#include "journal/JournalWriter.h"
#include "journalview/JournalDlg.h"
#include "platform/QtSerialPort.h"
#include "plot/CurveStore.h"
#include "sim/PtyTransport.h"
#include "sim/SimModule.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/ScriptedDialogs.h"

using namespace brimvolt;
using brimvolt::testing::Child;
using brimvolt::testing::ScriptedDialogs;

namespace {

constexpr int kStartButton = 1007;
const QString kProblemCaption = QStringLiteral("Журнал испытаний");

// Runs the event loop until `done` holds or timeoutMs pass; whether it held.
bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QTest::qWait(50);
    }
    return done();
}

struct JournalContents {
    std::vector<RunRecord> runs;
    std::vector<std::vector<JournalSample>> samples;  // of each run
};

// What the journal holds now; empty while it cannot be read (not there yet).
JournalContents ReadJournal(const QString& path) {
    JournalContents contents;
    CJournal journal;
    if (!journal.Open(path, CJournal::OpenMode::Existing).Usable()) {
        return contents;
    }
    contents.runs = journal.Runs().value_or(std::vector<RunRecord>{});
    for (const RunRecord& run : contents.runs) {
        contents.samples.push_back(journal.Samples(run.id).value_or(std::vector<JournalSample>{}));
    }
    return contents;
}

// Reads the journal until `done` holds for it or two minutes pass; the last contents read.
JournalContents AwaitJournal(const QString& path,
                             const std::function<bool(const JournalContents&)>& done) {
    QDeadlineTimer deadline(2 * kEventuallyMs);
    JournalContents contents = ReadJournal(path);
    while (!done(contents) && !deadline.hasExpired()) {
        QTest::qWait(200);
        contents = ReadJournal(path);
    }
    return contents;
}

// The samples of a run in time order, and its totals kept with them: energy integrated by hand
// from voltage × current over each interval from the run's 0 s (the stop's, read without
// current, at the power read last), capacity, voltages, temperature, duration.
// Samples read after the run may hold newer ones than its totals: those are left out.
void ExpectRunTotals(const RunRecord& run, std::vector<JournalSample> samples) {
    ASSERT_GT(run.sampleCount, 0);
    ASSERT_GE(samples.size(), static_cast<std::size_t>(run.sampleCount));
    samples.resize(static_cast<std::size_t>(run.sampleCount));
    std::int64_t energyUj = 0;
    std::int64_t powerUw = 0;
    std::uint8_t hottest = samples[0].temperature;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const std::int32_t before = i == 0 ? 0 : samples[i - 1].seconds;
        ASSERT_GT(samples[i].seconds, i == 0 ? -1 : before) << "sample " << i;
        if (samples[i].currentMa > 0) {
            powerUw = std::int64_t{samples[i].voltageMv} * samples[i].currentMa;
        }
        energyUj += powerUw * (samples[i].seconds - before);
        hottest = std::max(hottest, samples[i].temperature);
    }
    EXPECT_EQ(run.energyUj, energyUj);
    EXPECT_EQ(samples.back().energyUj, energyUj);
    EXPECT_EQ(run.durationSeconds, samples.back().seconds);
    EXPECT_EQ(run.capacityMah, samples.back().capacityMah);
    EXPECT_EQ(run.startMv, samples.front().voltageMv);
    EXPECT_EQ(run.endMv, samples.back().voltageMv);
    EXPECT_EQ(run.maxTemperature, hottest);
}

// The main window in this process, the module on a pseudo-terminal, real timers.
class JournalWindow {
public:
    JournalWindow(const QString& folder, const QString& journalPath, double speed,
                  double stateOfCharge = 1.0)
        : previousFolder(QDir::currentPath()) {
        QDir::setCurrent(folder);
        sim::CellConfig cell;
        cell.stateOfCharge = stateOfCharge;
        module = std::make_shared<sim::CSimModule>(cell);
        module->UseWallClock(speed);
        transport = std::make_unique<sim::CPtyTransport>(*module);
        EXPECT_TRUE(transport->Open()) << transport->ErrorText();
        transport->Start();
        ports = platform::MakePathPorts({QString::fromStdString(transport->DevicePath())});
        dlg = std::make_unique<CBrimvoltDlg>(*ports, dialogs, journalPath);
        dlg->Create();
    }
    ~JournalWindow() {
        dlg.reset();
        ports.reset();
        transport.reset();
        QDir::setCurrent(previousFolder);
    }
    QPushButton* Button(int id) const { return qobject_cast<QPushButton*>(dlg->Control(id)); }
    int ProblemsTold() const {
        return static_cast<int>(
            std::count_if(dialogs.messages.begin(), dialogs.messages.end(),
                          [](const auto& m) { return m.caption == kProblemCaption; }));
    }

    QString previousFolder;
    ScriptedDialogs dialogs;
    std::shared_ptr<sim::CSimModule> module;
    std::unique_ptr<sim::CPtyTransport> transport;
    std::unique_ptr<platform::CPortSystem> ports;
    std::unique_ptr<CBrimvoltDlg> dlg;
};

TEST(JournalOfTheWindow, RunFromTheStartButtonToItsEndWithItsTotals) {
    struct Case {
        const char* name;
        bool operatorStops;
        double stateOfCharge;  // a nearly empty cell reaches the cut-off by itself
        EndCause cause;
    };
    const Case cases[] = {
        {"operator stops", true, 1.0, EndCause::Operator},
        {"cell reaches the cut-off", false, 0.02, EndCause::Module},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        const QString path = folder.filePath("journal.sqlite");
        // At the module's own pace until the polls have seen its time show 1 s, where a run begins.
        JournalWindow window(folder.path(), path, 1.0, c.stateOfCharge);
        ASSERT_TRUE(WaitFor([&] { return window.dlg->Channel().portHandle != nullptr; }, kEventuallyMs));
        QTest::qWait(300);  // the cell at rest is read before the start
        window.Button(kStartButton)->click();
        ASSERT_TRUE(WaitFor([&] { return window.dlg->Channel().elapsedSeconds >= 2; }, kEventuallyMs));
        window.module->UseWallClock(40.0);  // the run has begun: on to its end
        if (c.operatorStops) {
            ASSERT_TRUE(WaitFor([&] { return window.dlg->Channel().elapsedSeconds >= 300; }, kEventuallyMs));
            window.Button(kStartButton)->click();
        }
        ASSERT_TRUE(WaitFor([&] { return window.dlg->Channel().running == 0; }, 2 * kEventuallyMs));
        QTest::qWait(300);
        window.dlg->Channel().Journal()->WaitUntilHandled();

        const JournalContents journal = ReadJournal(path);
        ASSERT_EQ(journal.runs.size(), 1u);
        const RunRecord& run = journal.runs[0];
        EXPECT_EQ(run.state, RunState::Stopped);
        EXPECT_EQ(run.endCause, c.cause);
        EXPECT_EQ(run.port, QString::fromStdString(window.transport->DevicePath()));
        EXPECT_FALSE(run.charge);
        EXPECT_EQ(run.params[1], window.module->State().params[1]) << "the cut-off at the start";
        EXPECT_EQ(journal.samples[0].front().seconds, 0);
        EXPECT_EQ(run.capacityMah, static_cast<std::int32_t>(window.module->State().capacityMah));
        ExpectRunTotals(run, journal.samples[0]);
        EXPECT_EQ(window.ProblemsTold(), 0);
    }
}

TEST(JournalOfTheWindow, DamagedJournalIsSetAsideAndAnUnwritableOneToldOnce) {
    enum class Kind {
        Damaged,      // a journal with a page overwritten
        NotAJournal,  // the user's own file given as the journal: left alone
        Unwritable,   // the journal's folder is taken by a file
    };
    struct Case {
        const char* name;
        Kind kind;
    };
    for (const Case& c : {Case{"damaged", Kind::Damaged}, Case{"not a journal", Kind::NotAJournal},
                          Case{"unwritable", Kind::Unwritable}}) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        QString path = folder.filePath("journal.sqlite");
        if (c.kind == Kind::Damaged) {
            CJournal journal;
            ASSERT_TRUE(journal.Open(path).Usable());
            RunRecord run;
            std::vector<JournalSample> samples(3000);
            for (std::size_t i = 0; i < samples.size(); ++i) {
                samples[i].seconds = static_cast<std::int32_t>(i);
            }
            ASSERT_EQ(journal.SaveRun(run, samples), CJournal::SaveResult::Saved);
        }
        QFile file(c.kind == Kind::Unwritable ? folder.filePath("taken") : path);
        ASSERT_TRUE(
            file.open(c.kind == Kind::Damaged ? QIODevice::ReadWrite : QIODevice::WriteOnly));
        if (c.kind == Kind::Damaged) {
            file.seek(4096 * 9);  // a page of samples
        }
        file.write(QByteArray(c.kind == Kind::Damaged ? 4096 : 300, 'x'));
        file.close();
        if (c.kind == Kind::Unwritable) {
            path = folder.filePath("taken/journal.sqlite");
        }
        QFile written(c.kind == Kind::Unwritable ? folder.filePath("taken") : path);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        const QByteArray before = written.readAll();
        written.close();

        JournalWindow window(folder.path(), path, 30.0);
        ASSERT_TRUE(WaitFor([&] { return window.dlg->Channel().portHandle != nullptr; }, kEventuallyMs));
        window.Button(kStartButton)->click();
        ASSERT_TRUE(WaitFor([&] { return window.dlg->Channel().running != 0; }, kEventuallyMs));
        ASSERT_TRUE(WaitFor(
            [&] {
                return window.ProblemsTold() >= 1 &&
                       window.dlg->Channel().curveWindow.store.durationSeconds > 30;
            },
            kEventuallyMs));
        if (c.kind == Kind::Unwritable) {
            // Long enough for the first retry of a journal not opened, which must not tell again.
            QTest::qWait(static_cast<int>(CJournalWriter::kReopenMs) + 3000);
        }
        window.dlg->Channel().Journal()->WaitUntilHandled();
        QCoreApplication::processEvents();

        ASSERT_EQ(window.ProblemsTold(), 1);
        const QString told = window.dialogs.messages.constLast().text;
        EXPECT_TRUE(told.contains(QDir::toNativeSeparators(path))) << told.toStdString();
        EXPECT_TRUE(window.dlg->Channel().running != 0) << "the run goes on";
        EXPECT_GT(window.dlg->Channel().curveWindow.store.durationSeconds, 30);
        const QStringList aside =
            QDir(folder.path()).entryList({"journal-damaged-*.sqlite"}, QDir::Files);
        if (c.kind == Kind::Damaged) {
            ASSERT_EQ(aside.size(), 1);
            EXPECT_TRUE(told.contains(aside[0])) << told.toStdString();
            QFile old(folder.filePath(aside[0]));
            ASSERT_TRUE(old.open(QIODevice::ReadOnly));
            EXPECT_EQ(old.readAll(), before) << "set aside as it was";
            const JournalContents journal = AwaitJournal(path, [](const JournalContents& j) {
                return j.runs.size() == 1 && j.runs[0].sampleCount > 5;
            });
            ASSERT_EQ(journal.runs.size(), 1u) << "a fresh journal holds the run";
            EXPECT_GT(journal.runs[0].sampleCount, 5);
        } else {
            EXPECT_TRUE(aside.isEmpty());
            QFile kept(c.kind == Kind::Unwritable ? folder.filePath("taken") : path);
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
            EXPECT_EQ(kept.readAll(), before) << "left as it was";
        }
    }
}

TEST(JournalOfTheWindow, NextCellScannedInTheJournalWindowGoesToTheRunThatOpens) {
    QTemporaryDir folder;
    const QString path = folder.filePath("journal.sqlite");
    JournalWindow window(folder.path(), path, 1.0);
    ASSERT_TRUE(WaitFor([&] { return window.dlg->Channel().portHandle != nullptr; }, kEventuallyMs));
    window.dlg->OnJournal();
    CJournalDlg* journalWindow = window.dlg->JournalWindow();
    ASSERT_NE(journalWindow, nullptr);
    // A barcode scanner types the name and Enter.
    QLineEdit* next = journalWindow->NextCellEdit();
    ASSERT_TRUE(next->isEnabled());
    QTest::keyClicks(next, QStringLiteral("SCAN-0042"));
    QTest::keyClick(next, Qt::Key_Return);
    QTest::qWait(300);
    window.Button(kStartButton)->click();
    ASSERT_TRUE(WaitFor([&] { return window.dlg->Channel().elapsedSeconds >= 2; }, kEventuallyMs));
    window.dlg->Channel().Journal()->WaitUntilHandled();
    ASSERT_TRUE(WaitFor([&] { return next->text().isEmpty(); }, kEventuallyMs))
        << "the next cell is taken";
    // A second name while the run has its cell waits for the run after it.
    QTest::keyClicks(next, QStringLiteral("SCAN-0043"));
    QTest::keyClick(next, Qt::Key_Return);
    window.Button(kStartButton)->click();
    ASSERT_TRUE(WaitFor([&] { return window.dlg->Channel().running == 0; }, 2 * kEventuallyMs));
    window.dlg->Channel().Journal()->WaitUntilHandled();
    QCoreApplication::processEvents();

    CJournal journal;
    ASSERT_TRUE(journal.Open(path, CJournal::OpenMode::Existing).Usable());
    const std::vector<RunRecord> runs = journal.Runs().value();
    const std::vector<RunCellLink> links = journal.RunCells().value();
    const std::optional<CellRecord> cell = journal.CellNamed(QStringLiteral("SCAN-0042"));
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_TRUE(cell.has_value());
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].runId, runs[0].id);
    EXPECT_EQ(links[0].cellId, cell->id);
    EXPECT_EQ(journalWindow->Model().CellOf(runs[0].id), "SCAN-0042") << "the row shows it";
    EXPECT_EQ(next->text(), "SCAN-0043");
    EXPECT_EQ(window.ProblemsTold(), 0);
}

// --- The program as a process against brimvolt-sim ---

// The program on `link`, keeping its journal at `journal`.
bool StartProgram(Child& program, const QString& folder, const QString& link,
                  const QString& journal) {
    return brimvolt::testing::StartProgram(program, folder,
                                           {"--extra-port", link, "--journal", journal});
}

std::int32_t LastSecond(const JournalContents& journal, std::size_t run = 0) {
    return journal.samples.size() > run && !journal.samples[run].empty()
               ? journal.samples[run].back().seconds
               : -1;
}

class JournalOfTheProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("BRIMVOLT_BIN")) {
            GTEST_SKIP() << "BRIMVOLT_BIN is not set";
        }
        ASSERT_TRUE(work.isValid());
        journalPath = work.filePath("journal.sqlite");
    }
    QTemporaryDir work;
    QString journalPath;
};

TEST_F(JournalOfTheProgram, OneRunAcrossALostLinkAKillAndARestart) {
    const QString link = work.filePath("LINK");
    Child sim;
    ASSERT_TRUE(brimvolt::testing::StartSim(sim, link, {"--run", "--speed", "10"}));
    auto program = std::make_unique<Child>();
    ASSERT_TRUE(StartProgram(*program, work.path(), link, journalPath));
    JournalContents journal =
        AwaitJournal(journalPath, [](const auto& j) { return LastSecond(j) >= 30; });
    ASSERT_GE(LastSecond(journal), 30);

    // The cable pulled for a few seconds: the module's clock goes on meanwhile.
    sim.Signal(SIGUSR1);
    QTest::qWait(3000);
    const std::int32_t beforeFound = LastSecond(ReadJournal(journalPath));
    sim.Signal(SIGUSR1);
    journal =
        AwaitJournal(journalPath, [&](const auto& j) { return LastSecond(j) >= beforeFound + 40; });
    ASSERT_EQ(journal.runs.size(), 1u) << "the run found again is the same run";
    EXPECT_EQ(journal.runs[0].state, RunState::Running);

    // Killed outright: what the journal held just before is all there, whole.
    const JournalContents beforeKill = ReadJournal(journalPath);
    program->Signal(SIGKILL);
    ASSERT_TRUE(program->process.waitForFinished(10000));
    program.reset();
    const JournalContents afterKill = ReadJournal(journalPath);
    ASSERT_EQ(afterKill.runs.size(), 1u);
    ASSERT_GE(afterKill.samples[0].size(), beforeKill.samples[0].size());
    EXPECT_TRUE(std::equal(beforeKill.samples[0].begin(), beforeKill.samples[0].end(),
                           afterKill.samples[0].begin()));

    // Started again while the module still runs it: the run goes on in the same entry.
    program = std::make_unique<Child>();
    ASSERT_TRUE(StartProgram(*program, work.path(), link, journalPath));
    const std::int32_t killedAt = LastSecond(afterKill);
    journal =
        AwaitJournal(journalPath, [&](const auto& j) { return LastSecond(j) >= killedAt + 30; });
    ASSERT_EQ(journal.runs.size(), 1u);
    EXPECT_GE(LastSecond(journal), killedAt + 30);
    ExpectRunTotals(journal.runs[0], journal.samples[0]);
}

TEST_F(JournalOfTheProgram, TwoProgramsWithTwoModulesShareOneJournal) {
    Child sims[2];
    Child programs[2];
    QStringList links;
    for (int i = 0; i < 2; ++i) {
        links << work.filePath(QStringLiteral("LINK%1").arg(i));
        ASSERT_TRUE(brimvolt::testing::StartSim(sims[i], links[i], {"--run", "--speed", "10"}));
        QDir(work.path()).mkdir(QString::number(i));
        ASSERT_TRUE(
            StartProgram(programs[i], work.filePath(QString::number(i)), links[i], journalPath));
    }
    const JournalContents journal = AwaitJournal(journalPath, [](const auto& j) {
        return j.runs.size() == 2 && LastSecond(j, 0) >= 40 && LastSecond(j, 1) >= 40;
    });
    ASSERT_EQ(journal.runs.size(), 2u);
    QStringList ports{journal.runs[0].port, journal.runs[1].port};
    ports.sort();
    EXPECT_EQ(ports, links);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_GE(LastSecond(journal, i), 40);
        ExpectRunTotals(journal.runs[i], journal.samples[i]);
    }
}

}  // namespace

// A logout, a shutdown, `kill`, Ctrl+C in the terminal: the program leaves as "Выход" does,
// without its question, so the run is interrupted rather than left running and the autosave
// holds the last point.
TEST_F(JournalOfTheProgram, SignalToEndLeavesThroughTheExitPath) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        const QString link = folder.filePath("LINK");
        const QString journalFile = folder.filePath("journal.sqlite");
        Child sim;
        ASSERT_TRUE(brimvolt::testing::StartSim(sim, link, {"--run", "--speed", "10"}));
        Child program;
        ASSERT_TRUE(StartProgram(program, folder.path(), link, journalFile));
        const JournalContents running =
            AwaitJournal(journalFile, [](const auto& j) { return LastSecond(j) >= 20; });
        ASSERT_GE(LastSecond(running), 20);
        ASSERT_EQ(running.runs[0].state, RunState::Running);

        program.Signal(signal);
        ASSERT_TRUE(program.process.waitForFinished(30000)) << "the program did not leave";
        EXPECT_EQ(program.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.process.exitCode(), 0);

        const JournalContents left = ReadJournal(journalFile);
        ASSERT_EQ(left.runs.size(), 1u);
        EXPECT_EQ(left.runs[0].state, RunState::Interrupted);
        QFile autosave(folder.filePath("temp.raz"));
        ASSERT_TRUE(autosave.open(QIODevice::ReadOnly));
        CurveStore store;
        ASSERT_EQ(ReadCurveBytes(autosave.readAll(), store).status, CurveReadStatus::Loaded);
        EXPECT_EQ(store.durationSeconds, LastSecond(left));
    }
}
