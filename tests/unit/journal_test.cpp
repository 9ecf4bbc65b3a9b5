#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <functional>
#include <optional>
#include <vector>

#include "journal/Journal.h"
#include "module/Protocol.h"

using namespace brimvolt;

namespace {

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteBytes(const QString& path, const QByteArray& bytes, qint64 offset = -1) {
    QFile file(path);
    ASSERT_TRUE(file.open(offset < 0 ? QIODevice::WriteOnly : QIODevice::ReadWrite));
    if (offset >= 0) {
        ASSERT_TRUE(file.seek(offset));
    }
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Plain SQL on a file, as another program would run it.
void RunSql(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

RunRecord SomeRun() {
    RunRecord run;
    run.startedUtc = 1'700'000'000;
    run.port = QStringLiteral("COM3");
    run.charge = true;
    run.params = {1, 2750, 3, 1000, 1, 1000, 1000, 0, 0, 1, 40, 60};
    return run;
}

std::vector<JournalSample> Samples(std::int32_t from, std::int32_t count) {
    std::vector<JournalSample> samples(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        JournalSample& sample = samples[static_cast<std::size_t>(i)];
        sample.seconds = from + i;
        sample.voltageMv = static_cast<std::uint16_t>(4100 - sample.seconds % 500);
        sample.currentMa = 1500;
        sample.temperature = static_cast<std::uint8_t>(25 + sample.seconds % 7);
        sample.statusFlags = flags::kRunning;
    }
    return samples;
}

// A journal with one run of `count` samples, closed again.
void MakeJournal(const QString& path, std::int32_t count) {
    CJournal journal;
    ASSERT_TRUE(journal.Open(path).Usable());
    RunRecord run = SomeRun();
    ASSERT_EQ(journal.SaveRun(run, Samples(0, count)), CJournal::SaveResult::Saved);
}

}  // namespace

TEST(JournalOpen, EachKindOfFileIsOpenedSetAsideOrLeftAlone) {
    using Status = CJournal::OpenStatus;
    struct Case {
        const char* name;
        std::function<void(const QString&)> make;
        Status record;    // what the program gets
        Status existing;  // what the command line gets
    };
    const std::vector<Case> cases = {
        {"no file yet", [](const QString&) {}, Status::Opened, Status::Missing},
        {"an empty file", [](const QString& p) { WriteBytes(p, {}); }, Status::Opened,
         Status::NotAJournal},
        {"a journal", [](const QString& p) { MakeJournal(p, 10); }, Status::Opened, Status::Opened},
        // The user's own file given as the journal by mistake is never moved.
        {"text", [](const QString& p) { WriteBytes(p, QByteArray(300, 'x')); }, Status::NotAJournal,
         Status::NotAJournal},
        {"a few bytes", [](const QString& p) { WriteBytes(p, "SQLite"); }, Status::NotAJournal,
         Status::NotAJournal},
        {"a journal whose header is lost",
         [](const QString& p) {
             MakeJournal(p, 10);
             WriteBytes(p, QByteArray(16, '\0'), 0);
         },
         Status::NotAJournal, Status::NotAJournal},
        {"another program's database",
         [](const QString& p) { RunSql(p, "CREATE TABLE x (a); INSERT INTO x VALUES (1);"); },
         Status::NotAJournal, Status::NotAJournal},
        {"a newer journal",
         [](const QString& p) {
             MakeJournal(p, 10);
             RunSql(p, "PRAGMA user_version=5;");
         },
         Status::Newer, Status::Newer},
        {"pages overwritten",
         [](const QString& p) {
             MakeJournal(p, 3000);
             // The last page: samples, written after every table was made.
             WriteBytes(p, QByteArray(4096, '\x5A'), QFileInfo(p).size() - 4096);
         },
         Status::SetAside, Status::Opened},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("journal.sqlite");
        c.make(path);
        const QByteArray before = Bytes(path);
        const bool existed = QFileInfo::exists(path);

        // The command line creates nothing and changes nothing.
        CJournal tool;
        EXPECT_EQ(tool.Open(path, CJournal::OpenMode::Existing).status, c.existing);
        tool.Close();
        EXPECT_EQ(Bytes(path), before);
        EXPECT_EQ(QFileInfo::exists(path), existed);

        CJournal journal;
        const CJournal::OpenResult result = journal.Open(path);
        EXPECT_EQ(result.status, c.record);
        EXPECT_EQ(journal.IsOpen(), result.Usable());
        if (result.status == Status::SetAside) {
            // Never deleted: renamed with the date, bytes as they were, and a fresh journal.
            EXPECT_TRUE(QFileInfo(result.setAsidePath)
                            .fileName()
                            .contains(QRegularExpression(
                                R"(^journal-damaged-\d{4}-\d\d-\d\d-\d{6}\.sqlite$)")))
                << result.setAsidePath.toStdString();
            EXPECT_EQ(Bytes(result.setAsidePath), before);
            EXPECT_FALSE(result.reason.isEmpty());
            EXPECT_EQ(journal.Runs().value_or(std::vector<RunRecord>{{}}).size(), 0u);
        } else if (!result.Usable()) {
            EXPECT_EQ(Bytes(path), before);  // left alone
        }
    }
}

TEST(JournalOpen, DamageFoundInUseIsSetAsideToo) {
    QTemporaryDir dir;
    const QString path = dir.filePath("journal.sqlite");
    MakeJournal(path, 3000);
    WriteBytes(path, QByteArray(4096, '\x5A'), QFileInfo(path).size() - 4096);
    const QByteArray before = Bytes(path);

    // Opened unchecked, as a big journal is: the damage shows when the page is read.
    CJournal journal;
    ASSERT_EQ(journal.Open(path, CJournal::OpenMode::Existing).status,
              CJournal::OpenStatus::Opened);
    EXPECT_FALSE(journal.Samples(1));
    EXPECT_TRUE(journal.Damaged());

    const CJournal::OpenResult renewed = journal.SetAsideAndRenew();
    EXPECT_EQ(renewed.status, CJournal::OpenStatus::SetAside);
    EXPECT_FALSE(journal.Damaged());
    EXPECT_EQ(Bytes(renewed.setAsidePath), before);
    EXPECT_TRUE(journal.Runs().value().empty());
    RunRecord run = SomeRun();
    EXPECT_EQ(journal.SaveRun(run, Samples(0, 2)), CJournal::SaveResult::Saved);
}

TEST(JournalRuns, WhatIsSavedReadsBackAndTheOperatorsTextsStay) {
    QTemporaryDir dir;
    CJournal journal;
    ASSERT_TRUE(journal.Open(dir.filePath("journal.sqlite")).Usable());
    RunRecord run = SomeRun();
    run.energyUj = 123'456'789'012;
    run.rinMohm = 65535;
    run.maxTemperature = 255;
    ASSERT_EQ(journal.SaveRun(run, Samples(0, 3)), CJournal::SaveResult::Saved);
    ASSERT_TRUE(journal.SetLabel(run.id, QStringLiteral("Элемент №3\tпосле года")));
    ASSERT_TRUE(journal.SetNote(run.id, QStringLiteral("строка 1\nстрока 2")));
    // The recorder writes its fields again; label and note stay as the operator wrote them.
    run.state = RunState::Stopped;
    run.endCause = EndCause::Temperature;
    run.durationSeconds = 4;
    ASSERT_EQ(journal.SaveRun(run, Samples(3, 2)), CJournal::SaveResult::Saved);

    RunRecord expected = run;
    expected.label = QStringLiteral("Элемент №3\tпосле года");
    expected.note = QStringLiteral("строка 1\nстрока 2");
    EXPECT_EQ(journal.Run(run.id), expected);
    // Every second at 1.5 A and its own voltage.
    std::vector<JournalSample> samples = Samples(0, 5);
    for (std::size_t i = 1; i < samples.size(); ++i) {
        samples[i].energyUj = samples[i - 1].energyUj + samples[i].voltageMv * 1500;
    }
    EXPECT_EQ(journal.Samples(run.id), samples);
    // Words 0 and 2 are kept as the module sends them: the program holds them plus one.
    RunSql(journal.Path(), "UPDATE runs SET params = zeroblob(24)");
    EXPECT_EQ(journal.Run(run.id)->params[2], 1);

    // Unknown runs are not an error of the journal, just not there.
    EXPECT_FALSE(journal.SetLabel(run.id + 1, "x"));
    EXPECT_TRUE(journal.LastError().isEmpty());
    ASSERT_TRUE(journal.DeleteRuns(std::vector<std::int64_t>{run.id}));
    EXPECT_FALSE(journal.Run(run.id));
    EXPECT_TRUE(journal.LastError().isEmpty());
    EXPECT_TRUE(journal.Samples(run.id).value().empty());
    // A run deleted while it was recorded is not written again.
    EXPECT_EQ(journal.SaveRun(run, Samples(5, 1)), CJournal::SaveResult::Gone);
    EXPECT_TRUE(journal.Runs().value().empty());
}

TEST(JournalRuns, AFullDiskFailsTheWriteAndKeepsWhatWasCommitted) {
    QTemporaryDir dir;
    const QString path = dir.filePath("journal.sqlite");
    CJournal journal;
    ASSERT_TRUE(journal.Open(path).Usable());
    RunRecord run = SomeRun();
    ASSERT_EQ(journal.SaveRun(run, Samples(0, 100)), CJournal::SaveResult::Saved);

    // A file-size limit stands in for a full disk: no file of the process may grow past it.
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    const auto size = [](const QString& file) { return QFileInfo(file).size(); };
    struct rlimit full = saved;
    full.rlim_cur = static_cast<rlim_t>(std::max(size(path), size(path + "-wal")) + 4096);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    const CJournal::SaveResult result = journal.SaveRun(run, Samples(100, 20000));
    const QString error = journal.LastError();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(result, CJournal::SaveResult::Failed);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(journal.Samples(run.id).value().size(), 100u);
    // Room again: the same write goes through.
    EXPECT_EQ(journal.SaveRun(run, Samples(100, 20000)), CJournal::SaveResult::Saved);
    EXPECT_EQ(journal.Samples(run.id).value().size(), 20100u);
}

// The journal window edits on its own thread: another program's write held long (a hung
// program, a shell with a transaction open) is told as busy, not waited on for seconds.
TEST(JournalRuns, AnEditWithAShortBusyTimeoutGivesUpOnAHeldJournal) {
    QTemporaryDir dir;
    const QString path = dir.filePath("journal.sqlite");
    MakeJournal(path, 10);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    CJournal journal;
    ASSERT_EQ(journal.Open(path, CJournal::OpenMode::Existing).status,
              CJournal::OpenStatus::Opened);
    journal.SetBusyTimeout(100);
    QElapsedTimer waited;
    waited.start();
    EXPECT_FALSE(journal.SetLabel(1, "cell 7"));
    EXPECT_FALSE(journal.LastError().isEmpty());
    EXPECT_LT(waited.elapsed(), 4000);        // the default waits 5 s
    EXPECT_TRUE(journal.Runs().has_value());  // reading never waits for a writer

    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(journal.SetLabel(1, "cell 7"));
}
