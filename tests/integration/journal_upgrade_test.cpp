// Journals of the versions before the cell register and before the test programs, made by
// today's code and given those versions' shapes, upgraded by the program: whole, or killed at
// any moment of it.

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <vector>

#include "journal/Journal.h"

using namespace brimvolt;

namespace {

constexpr int kRuns = 12;

std::vector<JournalSample> SamplesOf(int run, int count) {
    std::vector<JournalSample> samples;
    for (int t = 0; t < count; ++t) {
        samples.push_back({.seconds = t,
                           .voltageMv = static_cast<std::uint16_t>(4150 - t % 900 - run),
                           .currentMa = static_cast<std::uint16_t>(1000 + run),
                           .capacityMah = t * (1000 + run) / 3600,
                           .temperature = static_cast<std::uint8_t>(25 + t % 9),
                           .rinMohm = static_cast<std::uint16_t>(t % 50 == 0 ? 40 + run : 0)});
    }
    return samples;
}

// The journal as version 1, 2 or 3 left it: the later tables gone, the version mark back.
void MakeOldJournal(const QString& path, int samplesPerRun, int version = 1) {
    {
        CJournal journal;
        ASSERT_TRUE(journal.Open(path).Usable());
        for (int k = 0; k < kRuns; ++k) {
            RunRecord run;
            run.startedUtc = 1'700'000'000 + k * 7200;
            run.port = QStringLiteral("ttyUSB%1").arg(k % 3);
            run.label = QStringLiteral("ячейка %1").arg(k);
            run.rinMohm = static_cast<std::uint16_t>(40 + k);
            run.capacityMah = 2000 + k;
            ASSERT_EQ(journal.SaveRun(run, SamplesOf(k, samplesPerRun)),
                      CJournal::SaveResult::Saved);
        }
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    const char* const drop =
        version == 1 ? "DROP TRIGGER run_cells_follow_runs; DROP TABLE run_cells; "
                       "DROP TABLE cells; DROP TABLE packs; "
                     : "";
    const char* const dropPrograms =
        version <= 2 ? "DROP TRIGGER program_runs_follow_runs; DROP TABLE program_runs; "
                       "DROP TABLE programs; "
                     : "";
    const QByteArray sql = QByteArray(drop) + dropPrograms +
                           "DROP TABLE checks; DROP TABLE grade_bounds; PRAGMA user_version=" +
                           QByteArray::number(version) + ";";
    EXPECT_EQ(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
}

struct Contents {
    std::vector<RunRecord> runs;
    std::vector<std::vector<JournalSample>> samples;
    bool operator==(const Contents&) const = default;
};

Contents Read(CJournal& journal) {
    Contents contents;
    contents.runs = journal.Runs().value_or(std::vector<RunRecord>{});
    for (const RunRecord& run : contents.runs) {
        contents.samples.push_back(journal.Samples(run.id).value_or(std::vector<JournalSample>{}));
    }
    return contents;
}

Contents ReadFile(const QString& path) {
    CJournal journal;
    EXPECT_EQ(journal.Open(path, CJournal::OpenMode::Existing).status, CJournal::OpenStatus::Opened)
        << path.toStdString();
    return Read(journal);
}

}  // namespace

TEST(JournalUpgrade, KeepsEveryRunAndSampleAndAddsTheRegisterAndThePrograms) {
    for (const int version : {1, 2, 3}) {
        SCOPED_TRACE(version);
        QTemporaryDir dir;
        const QString path = dir.filePath("journal.sqlite");
        MakeOldJournal(path, 600, version);
        const Contents before = ReadFile(path);
        ASSERT_EQ(before.runs.size(), static_cast<std::size_t>(kRuns));
        ASSERT_EQ(before.samples.back().size(), 600u);

        // The command line reads an old journal as it is.
        {
            CJournal journal;
            ASSERT_TRUE(journal.Open(path, CJournal::OpenMode::Existing).Usable());
            EXPECT_EQ(journal.HasCellRegister(), version >= 2);
            EXPECT_EQ(journal.HasProgramTables(), version >= 3);
            EXPECT_FALSE(journal.HasCheckTables());
            EXPECT_EQ(journal.Programs()->size(), 0u);
            EXPECT_EQ(journal.Checks()->size(), 0u);
            EXPECT_EQ(journal.StoredGradeBounds()->size(), 0u);
        }
        CJournal journal;
        ASSERT_EQ(journal.Open(path).status, CJournal::OpenStatus::Opened);
        EXPECT_TRUE(journal.HasCellRegister());
        EXPECT_TRUE(journal.HasProgramTables());
        EXPECT_TRUE(journal.HasCheckTables());
        EXPECT_EQ(Read(journal), before);
        EXPECT_FALSE(QFileInfo::exists(journal.UpgradeCopyPath()));
        ASSERT_TRUE(journal.SetRunCell(before.runs[3].id, QStringLiteral("A-17")));
        EXPECT_EQ(journal.RunCells()->size(), 1u);
        ProgramRecord program;
        program.name = QStringLiteral("Циклы");
        ASSERT_TRUE(journal.SaveProgram(program));
        EXPECT_EQ(journal.Programs()->size(), 1u);
        CheckRecord check;
        check.atUtc = 1'700'100'000;
        check.millivolts = 4181.5;
        ASSERT_TRUE(journal.AddCheck(check, QStringLiteral("A-17")));
        EXPECT_EQ(journal.ChecksOfCell(check.cellId)->size(), 1u);
    }
}

// The tool's `cell` upgrades the journal; killed at one moment after another, from before the
// copy to after the commit, it leaves a journal that opens with every run, and the program's
// next start completes the upgrade.
TEST(JournalUpgrade, CutAtAnyMomentLeavesTheJournalWhole) {
    QTemporaryDir dir;
    const QString original = dir.filePath("original.sqlite");
    MakeOldJournal(original, 20000);
    const Contents before = ReadFile(original);
    const QByteArray bytes = [&] {
        QFile file(original);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    int upgraded = 0;
    int cut = 0;
    // Every 10 ms across the upgrade; on a loaded machine, where it takes longer, on at growing
    // steps until one kill came after its end.
    for (int delayMs = 0; delayMs <= 150 || (upgraded == 0 && delayMs <= 40000);
         delayMs += delayMs < 150 ? 10 : delayMs) {
        SCOPED_TRACE(delayMs);
        const QString path = dir.filePath(QStringLiteral("cut%1.sqlite").arg(delayMs));
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            ASSERT_EQ(file.write(bytes), bytes.size());
        }
        QProcess tool;
        tool.start(qEnvironmentVariable("BRIMVOLT_BIN") + "/brimvolt-journal",
                   {"--journal", path, "cell", "1", "A-1"});
        ASSERT_TRUE(tool.waitForStarted(30000));
        QThread::msleep(static_cast<unsigned long>(delayMs));
        tool.kill();
        ASSERT_TRUE(tool.waitForFinished(30000));
        const bool finished = tool.exitStatus() == QProcess::NormalExit;
        (finished ? upgraded : cut) += 1;

        // As the kill left it: every run there, old layout or new.
        EXPECT_EQ(ReadFile(path), before);
        if (QFileInfo::exists(path + ".old")) {
            EXPECT_FALSE(finished);
        }
        // The program opens it and has the register.
        CJournal journal;
        ASSERT_TRUE(journal.Open(path).Usable());
        EXPECT_TRUE(journal.HasCellRegister());
        EXPECT_EQ(Read(journal), before);
        EXPECT_FALSE(QFileInfo::exists(path + ".old"));
    }
    // The moments covered both sides of the upgrade.
    EXPECT_GT(upgraded, 0);
    EXPECT_GT(cut, 0);
}
