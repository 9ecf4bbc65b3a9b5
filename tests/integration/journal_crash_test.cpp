// The journal against real processes: a program killed outright in the middle of a run, and two
// programs (two modules) writing one journal at once.
//
// The programs are children made of this test binary (the child test below, which skips itself
// unless the parent sets its task in the environment): a recorder fed a discharge, a status
// record per module second, printing each second once the recorder has returned from it.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTextStream>
#include <memory>
#include <random>
#include <vector>

#include "journal/Journal.h"
#include "journal/JournalRecorder.h"
#include "module/Protocol.h"

namespace {

using namespace brimvolt;

const char* const kChildVariable = "BRIMVOLT_JOURNAL_CHILD";

StatusRecord Reading(std::int32_t seconds) {
    StatusRecord status;
    status.params = {1, 2750, 1, 1000, 0, 1000, 1000, 0, 0, 1, 40, 60};
    status.elapsedSeconds = seconds;
    status.statusFlags = seconds == 0 ? 0 : flags::kRunning;
    status.voltageMv = static_cast<std::uint16_t>(4100 - seconds % 900);
    status.currentMa = seconds == 0 ? 0 : 1000;
    status.capacityMah = seconds * 1000 / 3600;
    status.temperature = 30;
    return status;
}

// The child: "journal path;port;seconds" (0 seconds: until killed, or two minutes at most so
// that no orphan outlives a parent that died first).
TEST(JournalChild, RecordsARun) {
    const QStringList task = qEnvironmentVariable(kChildVariable).split(';');
    if (task.size() != 3) {
        GTEST_SKIP() << "runs only as a child of the journal process tests";
    }
    const std::int32_t last = task[2].toInt() > 0 ? task[2].toInt() : 2 * 3600 * 100;
    CJournal journal;
    ASSERT_TRUE(journal.Open(task[0]).Usable());
    CJournalRecorder recorder(journal);
    std::int64_t wallMs = 1'700'000'000'000;
    recorder.OnModuleFound(task[1], wallMs);
    QTextStream out(stdout);
    for (std::int32_t t = 0; t <= last; ++t) {
        recorder.OnStatus(Reading(t), wallMs += 1000);
        ASSERT_EQ(recorder.UnsavedSamples(), 0u) << recorder.TakeProblem().toStdString();
        out << t << Qt::endl;
    }
    recorder.OnLeaving(wallMs);
    EXPECT_TRUE(recorder.TakeProblem().isEmpty());
}

std::unique_ptr<QProcess> StartChild(const QString& journal, const QString& port,
                                     std::int32_t seconds) {
    auto child = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kChildVariable, QStringLiteral("%1;%2;%3").arg(journal, port).arg(seconds));
    child->setProcessEnvironment(environment);
    child->start(QCoreApplication::applicationFilePath(),
                 {"--gtest_filter=JournalChild.RecordsARun"});
    EXPECT_TRUE(child->waitForStarted(30000));
    return child;
}

// The run's samples are every second from 0 on, `last` at least; the totals go with them.
void ExpectWholeRun(CJournal& journal, const RunRecord& run, std::int32_t last) {
    const std::vector<JournalSample> samples = journal.Samples(run.id).value();
    ASSERT_GE(samples.size(), static_cast<std::size_t>(last) + 1);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        ASSERT_EQ(samples[i].seconds, static_cast<std::int32_t>(i));
    }
    EXPECT_EQ(run.durationSeconds, samples.back().seconds);
    EXPECT_EQ(run.sampleCount, static_cast<std::int32_t>(samples.size()));
}

}  // namespace

TEST(JournalProcesses, TwoProgramsShareOneJournalAndAKilledOneLosesNoCommittedSample) {
    std::mt19937 random(20240501);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        QTemporaryDir dir;
        const QString path = dir.filePath("journal.sqlite");
        constexpr std::int32_t kSeconds = 600;
        const auto killed = StartChild(path, "ttyUSB0", 0);
        const auto finishing = StartChild(path, "ttyUSB1", kSeconds);
        // Kill one at some second of its run, after it said that second was recorded.
        const std::int32_t killAt = std::uniform_int_distribution<std::int32_t>(20, 400)(random);
        std::int32_t committed = -1;
        while (committed < killAt && killed->waitForReadyRead(10000)) {
            while (killed->canReadLine()) {
                bool number = false;
                const std::int32_t t = killed->readLine().trimmed().toInt(&number);
                committed = number ? t : committed;
            }
        }
        killed->kill();
        killed->waitForFinished(30000);
        ASSERT_GE(committed, killAt) << killed->readAllStandardError().toStdString();
        ASSERT_TRUE(finishing->waitForFinished(120000));
        EXPECT_EQ(finishing->exitCode(), 0)
            << finishing->readAllStandardOutput().right(2000).toStdString();

        // A consistent journal: every second each program said it recorded, and the totals.
        CJournal journal;
        ASSERT_EQ(journal.Open(path).status, CJournal::OpenStatus::Opened);
        const std::vector<RunRecord> runs = journal.Runs().value();
        ASSERT_EQ(runs.size(), 2u);
        for (const RunRecord& run : runs) {
            const bool wasKilled = run.port == "ttyUSB0";
            ExpectWholeRun(journal, run, wasKilled ? committed : kSeconds);
            EXPECT_EQ(run.state, wasKilled ? RunState::Running : RunState::Interrupted);
        }
    }
}
