#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "journal/Journal.h"
#include "journal/JournalWriter.h"

using namespace brimvolt;

namespace {

StatusRecord Reading(std::int32_t seconds, std::uint8_t flags = flags::kRunning) {
    StatusRecord status;
    status.elapsedSeconds = seconds;
    status.statusFlags = flags;
    status.voltageMv = 4000;
    status.currentMa = 1000;
    return status;
}

}  // namespace

TEST(JournalWriter, WritesOnItsOwnThreadAndRetriesAJournalItCouldNotOpen) {
    QTemporaryDir dir;
    // The data folder is taken by a file, as an unwritable folder would be.
    const QString folder = dir.filePath("data");
    {
        QFile blocker(folder);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    const QString path = folder + "/journal.sqlite";
    auto writer = std::make_unique<CJournalWriter>(path);
    QStringList problems;
    std::vector<RunEvent> events;
    QObject::connect(writer.get(), &CJournalWriter::Problem,
                     [&](const QString& text) { problems << text; });
    QObject::connect(writer.get(), &CJournalWriter::RunChanged,
                     [&](const RunEvent& event) { events.push_back(event); });
    const auto settle = [&] {
        writer->WaitUntilHandled();
        QCoreApplication::processEvents();
    };

    const std::int64_t t0 = 1'700'000'000'000;
    writer->ModuleFound("ttyUSB0", t0);
    writer->Status(Reading(0, 0), t0);
    writer->Status(Reading(1), t0 + 1000);
    writer->CommandSent('r', t0 + 1500);
    writer->Status(Reading(2), t0 + 2000);
    settle();
    // Said once, with where and why; the run goes on in memory.
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems[0].contains(QDir::toNativeSeparators(path))) << problems[0].toStdString();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, RunEventKind::Opened);
    EXPECT_EQ(events[1].kind, RunEventKind::Sampled);
    EXPECT_EQ(events[1].run.durationSeconds, 2);

    // The folder is there again; the next try, half a minute later, writes what waited.
    ASSERT_TRUE(QFile::remove(folder));
    ASSERT_TRUE(QDir(dir.path()).mkdir("data"));
    writer->Status(Reading(3), t0 + 3000);
    settle();
    EXPECT_FALSE(QFile::exists(path));
    writer->Status(Reading(4), t0 + 2000 + CJournalWriter::kReopenMs);
    settle();
    EXPECT_EQ(problems.size(), 1);
    EXPECT_GT(events.back().run.id, 0);

    // Leaving with the writer: the open run is marked interrupted.
    writer.reset();
    CJournal journal;
    ASSERT_TRUE(journal.Open(path).Usable());
    const std::vector<RunRecord> runs = journal.Runs().value();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].state, RunState::Interrupted);
    EXPECT_EQ(runs[0].sampleCount, 5);
    EXPECT_EQ(runs[0].energyUj, 4 * 4'000'000);
}

// Two programs share a journal; the other one found it damaged and set it aside. This one goes
// on in the new journal, not in the file kept for rescue.
TEST(JournalWriter, FollowsAJournalAnotherProgramSetAside) {
#ifdef Q_OS_WIN
    GTEST_SKIP() << "Windows lets no program rename a journal another program holds open";
#endif
    QTemporaryDir dir;
    const QString path = dir.filePath("journal.sqlite");
    auto writer = std::make_unique<CJournalWriter>(path);
    const auto settle = [&] {
        writer->WaitUntilHandled();
        QCoreApplication::processEvents();
    };
    const std::int64_t t0 = 1'700'000'000'000;
    writer->ModuleFound("ttyUSB0", t0);
    writer->Status(Reading(0, 0), t0);
    writer->Status(Reading(1), t0 + 1000);
    settle();

    // What the other program's CJournal::SetAsideAndRenew does: log first, then the file.
    const QString aside = dir.filePath("journal-damaged.sqlite");
    for (const char* extra : {"-wal", "-shm", ""}) {
        if (QFile::exists(path + extra)) {
            ASSERT_TRUE(QFile::rename(path + extra, aside + extra));
        }
    }
    {
        CJournal other;
        ASSERT_EQ(other.Open(path).status, CJournal::OpenStatus::Opened);
    }
    writer->Status(Reading(2), t0 + 2000);
    writer->Status(Reading(3), t0 + 3000);
    settle();
    writer.reset();

    CJournal renewed;
    ASSERT_TRUE(renewed.Open(path, CJournal::OpenMode::Existing).Usable());
    const std::vector<RunRecord> runs = renewed.Runs().value();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].durationSeconds, 3);
    EXPECT_EQ(runs[0].state, RunState::Interrupted);
    // The file set aside keeps what it held when it was moved.
    CJournal kept;
    ASSERT_TRUE(kept.Open(aside, CJournal::OpenMode::Existing).Usable());
    EXPECT_LE(kept.Runs().value().at(0).durationSeconds, 1);
}
