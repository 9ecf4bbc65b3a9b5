#include "journal/Journal.h"

#include "journal/JournalCellSchema.h"
#include "journal/JournalCheckSchema.h"
#include "journal/JournalProgramSchema.h"

#include <sqlite3.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <initializer_list>
#include <limits>
#include <string>
#include <thread>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace brimvolt {

namespace {

// Marks the file as a run journal, so another program's database is never taken for one.
constexpr int kApplicationId = 0x42764A31;
// Long enough for another program's commit of a sample (milliseconds), short enough that a
// journal held by a hung program is reported instead of waited on.
constexpr int kBusyTimeoutMs = 5000;
constexpr int kWalSwitchAttempts = 100;
// The module's clock counts to 255 hours; no real run holds more samples than that.
constexpr std::int32_t kMaxRunSeconds = 255 * 3600;
// 9999-12-31 23:59:59 UTC: dates past it are no dates a calendar or a file name can show.
constexpr std::int64_t kLastStartUtc = 253402300799;

// The layout of version 1. Samples are small integers keyed by (run, seconds) in a table
// without rowids, so a reading costs about 30 bytes in the file. Energy is not stored per
// sample: it follows from the readings, and the run keeps its total for listing.
constexpr const char* kSchema = R"sql(
CREATE TABLE runs (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    started INTEGER NOT NULL,            -- UTC, seconds since 1970
    port TEXT NOT NULL,
    charge INTEGER NOT NULL,             -- 0 discharge, 1 charge
    params BLOB NOT NULL,                -- the twelve words at the start as the module sends them, little-endian
    label TEXT NOT NULL DEFAULT '',
    note TEXT NOT NULL DEFAULT '',
    state INTEGER NOT NULL,              -- 0 running, 1 stopped, 2 interrupted
    end_cause INTEGER NOT NULL,          -- 0 none, 1 module, 2 operator, 3 temperature, 4 link lost
    duration_s INTEGER NOT NULL,         -- the module's time at the last sample
    capacity_mah INTEGER NOT NULL,
    energy_uj INTEGER NOT NULL,          -- mV x mA x s, integrated by the program
    start_mv INTEGER NOT NULL,
    end_mv INTEGER NOT NULL,
    rin_mohm INTEGER NOT NULL,           -- the last Rin result, 0 for none
    max_temperature_c INTEGER NOT NULL,
    samples INTEGER NOT NULL
);
CREATE INDEX runs_by_port ON runs (port);
CREATE TABLE samples (
    run INTEGER NOT NULL,
    seconds INTEGER NOT NULL,            -- the module's elapsed time
    voltage_mv INTEGER NOT NULL,
    current_ma INTEGER NOT NULL,
    capacity_mah INTEGER NOT NULL,
    temperature_c INTEGER NOT NULL,
    rin_mohm INTEGER NOT NULL,
    flags INTEGER NOT NULL,
    PRIMARY KEY (run, seconds)
) WITHOUT ROWID;
)sql";

constexpr const char* kRunColumns =
    "runs.id, started, port, charge, params, label, note, state, end_cause, duration_s, "
    "capacity_mah, energy_uj, start_mv, end_mv, rin_mohm, max_temperature_c, samples";
// A run with its place in a test program; a journal without the program tables reads as if
// no run had one.
constexpr const char* kRunsWithMarks =
    ", coalesce(mark.program, 0), coalesce(mark.cycle, 0), coalesce(mark.step, 0), "
    "coalesce(mark.rin, 0) FROM runs LEFT JOIN program_runs AS mark ON mark.run = runs.id";
constexpr const char* kRunsWithoutMarks = ", 0, 0, 0, 0 FROM runs";

constexpr const char* kSampleColumns =
    "seconds, voltage_mv, current_ma, capacity_mah, temperature_c, rin_mohm, flags";

/** One prepared statement; reset and unbound after every use so no read stays open. */
class Statement {
public:
    Statement() = default;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(stmt); }

    bool Prepare(sqlite3* db, const std::string& sql) {
        return sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) ==
               SQLITE_OK;
    }

    sqlite3_stmt* Get() const { return stmt; }

private:
    sqlite3_stmt* stmt = nullptr;
};

/** A use of a statement: binds by position, steps, and resets when it goes out of scope. */
class Use {
public:
    explicit Use(const Statement& statement) : stmt(statement.Get()) {}
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    ~Use() {
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
    }

    Use& Bind(std::int64_t value) {
        sqlite3_bind_int64(stmt, ++bound, value);
        return *this;
    }
    Use& Bind(const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(stmt, ++bound, utf8.constData(), static_cast<int>(utf8.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Use& Bind(const QByteArray& blob) {
        sqlite3_bind_blob(stmt, ++bound, blob.constData(), static_cast<int>(blob.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }

    int Step() { return sqlite3_step(stmt); }
    std::int64_t Int(int column) const { return sqlite3_column_int64(stmt, column); }
    QString Text(int column) const {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
        return QString::fromUtf8(text, sqlite3_column_bytes(stmt, column));
    }
    QByteArray Blob(int column) const {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt, column));
        return QByteArray(data, sqlite3_column_bytes(stmt, column));
    }
    sqlite3_stmt* Get() const { return stmt; }

private:
    sqlite3_stmt* stmt;
    int bound = 0;
};

/** The twelve words as the module sends them: the program holds words 0 and 2 plus one. */
QByteArray ParamsBlob(const std::array<std::uint16_t, 12>& params) {
    QByteArray blob(24, '\0');
    for (int k = 0; k < 12; ++k) {
        const std::uint16_t word =
            k == 0 || k == 2 ? static_cast<std::uint16_t>(params[k] - 1) : params[k];
        blob[2 * k] = static_cast<char>(word & 0xFF);
        blob[2 * k + 1] = static_cast<char>(word >> 8);
    }
    return blob;
}

std::array<std::uint16_t, 12> ParamsOfBlob(const QByteArray& blob) {
    std::array<std::uint16_t, 12> params{};
    for (int k = 0; k < 12 && 2 * k + 1 < blob.size(); ++k) {
        const auto word =
            static_cast<std::uint16_t>(static_cast<std::uint8_t>(blob[2 * k]) |
                                       static_cast<std::uint8_t>(blob[2 * k + 1]) << 8);
        params[k] = k == 0 || k == 2 ? static_cast<std::uint16_t>(word + 1) : word;
    }
    return params;
}

// Values read back from the file are bounded to the fields' ranges: the file is outside data.
template <typename T>
T Bounded(std::int64_t value) {
    return static_cast<T>(std::clamp<std::int64_t>(value, std::numeric_limits<T>::min(),
                                                   std::numeric_limits<T>::max()));
}

RunRecord ReadRun(const Use& row) {
    RunRecord run;
    run.id = row.Int(0);
    run.startedUtc = std::clamp<std::int64_t>(row.Int(1), 0, kLastStartUtc);
    run.port = row.Text(2);
    run.charge = row.Int(3) != 0 && row.Int(3) != 2;
    run.rest = row.Int(3) == 2;
    run.params = ParamsOfBlob(row.Blob(4));
    run.label = row.Text(5);
    run.note = row.Text(6);
    const std::int64_t state = row.Int(7);
    run.state = state == 1   ? RunState::Stopped
                : state == 2 ? RunState::Interrupted
                             : RunState::Running;
    const std::int64_t cause = row.Int(8);
    run.endCause = cause >= 1 && cause <= 5 ? static_cast<EndCause>(cause) : EndCause::None;
    run.durationSeconds = Bounded<std::int32_t>(row.Int(9));
    run.capacityMah = Bounded<std::int32_t>(row.Int(10));
    run.energyUj = std::clamp<std::int64_t>(row.Int(11), 0, kMaxEnergyUj);
    run.startMv = Bounded<std::uint16_t>(row.Int(12));
    run.endMv = Bounded<std::uint16_t>(row.Int(13));
    run.rinMohm = Bounded<std::uint16_t>(row.Int(14));
    run.maxTemperature = Bounded<std::uint8_t>(row.Int(15));
    run.sampleCount = Bounded<std::int32_t>(row.Int(16));
    run.program.programId = std::max<std::int64_t>(row.Int(17), 0);
    run.program.cycle = std::clamp<std::int64_t>(row.Int(18), 0, kMaxProgramCycles);
    run.program.step = std::clamp<std::int64_t>(row.Int(19), 0, kMaxProgramCycles);
    run.program.rin = row.Int(20) != 0;
    return run;
}

JournalSample ReadSample(sqlite3_stmt* row) {
    JournalSample sample;
    sample.seconds = Bounded<std::int32_t>(sqlite3_column_int64(row, 0));
    sample.voltageMv = Bounded<std::uint16_t>(sqlite3_column_int64(row, 1));
    sample.currentMa = Bounded<std::uint16_t>(sqlite3_column_int64(row, 2));
    sample.capacityMah = Bounded<std::int32_t>(sqlite3_column_int64(row, 3));
    sample.temperature = Bounded<std::uint8_t>(sqlite3_column_int64(row, 4));
    sample.rinMohm = Bounded<std::uint16_t>(sqlite3_column_int64(row, 5));
    sample.statusFlags = Bounded<std::uint8_t>(sqlite3_column_int64(row, 6));
    return sample;
}

// The file's name with "-damaged-<local date and time>" before its suffix, and a number after
// that when a file of that name (or its write-ahead log) is already there.
QString SetAsideName(const QString& path) {
    const QFileInfo info(path);
    const QString stamp = QDateTime::currentDateTime().toString("yyyy-MM-dd-HHmmss");
    const QString suffix = info.suffix().isEmpty() ? QString() : "." + info.suffix();
    const QString stem = info.absolutePath() + "/" + info.completeBaseName() + "-damaged-" + stamp;
    for (int n = 1;; ++n) {
        const QString name = stem + (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + suffix;
        if (!QFileInfo::exists(name) && !QFileInfo::exists(name + "-wal") &&
            !QFileInfo::exists(name + "-shm")) {
            return name;
        }
    }
}

// Renames the journal and its write-ahead files aside, log first: a fresh journal must never
// find the old log under its own name and replay it. Empty when the journal could not be moved
// (then everything is back where it was).
QString SetAside(const QString& path) {
    const QString target = SetAsideName(path);
    QStringList moved;
    for (const QString& extra : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        if (QFileInfo::exists(path + extra)) {
            if (!QFile::rename(path + extra, target + extra)) {
                for (const QString& back : moved) {
                    QFile::rename(target + back, path + back);
                }
                return QString();
            }
            moved.append(extra);
        }
    }
    if (!QFile::rename(path, target)) {
        for (const QString& back : moved) {
            QFile::rename(target + back, path + back);
        }
        return QString();
    }
    return target;
}

// Which file a path names now: device and file number. None where the system does not say
// cheaply (Windows, where an open journal cannot be renamed anyway) or the path names nothing.
std::optional<std::pair<std::uint64_t, std::uint64_t>> FileIdentity(const QString& path) {
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return std::nullopt;
#else
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        return std::nullopt;
    }
    return std::pair<std::uint64_t, std::uint64_t>(status.st_dev, status.st_ino);
#endif
}

// The first 16 bytes of every SQLite database.
bool HasDatabaseHeader(const QString& path) {
    static constexpr char kHeader[] = "SQLite format 3";  // with its NUL: 16 bytes
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return true;  // unreadable here: SQLite itself tells why
    }
    return file.read(16) == QByteArray(kHeader, 16);
}

// A read that failed for want of writing: the file, its log or its index cannot be written.
bool CannotWrite(int code) {
    const int primary = code & 0xFF;
    return primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN || primary == SQLITE_PERM ||
           primary == SQLITE_AUTH || primary == SQLITE_IOERR;
}

/** A write transaction that rolls back unless committed. */
class Transaction {
public:
    explicit Transaction(sqlite3* db) : db(db) {
        // IMMEDIATE takes the write lock at once, so a busy journal is waited for here
        // (busy timeout) rather than failing half-way through.
        begun = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction() {
        if (begun && !committed) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    }
    bool Begun() const { return begun; }
    bool Commit() {
        committed = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
        return committed;
    }

private:
    sqlite3* db;
    bool begun = false;
    bool committed = false;
};

}  // namespace

struct CJournal::Statements {
    Statement insertRun;
    Statement updateRun;
    Statement insertSample;
    Statement runs;
    Statement run;
    Statement latestOnPort;
    Statement samples;
    Statement setLabel;
    Statement setNote;
    Statement deleteSamples;
    Statement deleteRun;
    Statement insertMark;  // only where the journal has the program tables

    bool Prepare(sqlite3* db, bool programs) {
        const std::string columns =
            std::string(kRunColumns) + (programs ? kRunsWithMarks : kRunsWithoutMarks);
        const std::string sampleColumns = kSampleColumns;
        return insertRun.Prepare(
                   db,
                   "INSERT INTO runs (started, port, charge, params, state, end_cause, "
                   "duration_s, capacity_mah, energy_uj, start_mv, end_mv, rin_mohm, "
                   "max_temperature_c, samples, label, note) "
                   "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)") &&
               updateRun.Prepare(
                   db,
                   "UPDATE runs SET state = ?, end_cause = ?, duration_s = ?, "
                   "capacity_mah = ?, energy_uj = ?, start_mv = ?, end_mv = ?, rin_mohm = ?, "
                   "max_temperature_c = ?, samples = ? WHERE id = ?") &&
               insertSample.Prepare(db, "INSERT OR REPLACE INTO samples (run, " + sampleColumns +
                                            ") VALUES (?, ?, ?, ?, ?, ?, ?, ?)") &&
               runs.Prepare(db, "SELECT " + columns + " ORDER BY runs.id") &&
               run.Prepare(db, "SELECT " + columns + " WHERE runs.id = ?") &&
               latestOnPort.Prepare(db, "SELECT " + columns +
                                            " WHERE port = ? ORDER BY runs.id DESC LIMIT 1") &&
               samples.Prepare(db, "SELECT " + sampleColumns +
                                       " FROM samples WHERE run = ? ORDER BY seconds") &&
               setLabel.Prepare(db, "UPDATE runs SET label = ? WHERE id = ?") &&
               setNote.Prepare(db, "UPDATE runs SET note = ? WHERE id = ?") &&
               deleteSamples.Prepare(db, "DELETE FROM samples WHERE run = ?") &&
               deleteRun.Prepare(db, "DELETE FROM runs WHERE id = ?") &&
               (!programs || insertMark.Prepare(db,
                                                "INSERT OR REPLACE INTO program_runs (run, "
                                                "program, cycle, step, rin) VALUES (?, ?, ?, ?, ?)"));
    }
};

CJournal::CJournal() = default;

CJournal::~CJournal() {
    Close();
}

void CJournal::Close() {
    statements.reset();
    fileIdentity.reset();
    if (db) {
        // A statement still alive in a caller's scope (a failed open returns from inside one)
        // finishes the close when it is finalized.
        sqlite3_close_v2(db);
        db = nullptr;
    }
    damaged = false;
}

bool CJournal::PrepareStatements() {
    lastError.clear();
    const bool programs = HasProgramTables();
    auto prepared = std::make_unique<Statements>();
    if (!lastError.isEmpty() || !prepared->Prepare(db, programs)) {
        TakeError();
        return false;  // those prepared before, if any, stay
    }
    statements = std::move(prepared);
    return true;
}

bool CJournal::Replaced() const {
#ifdef Q_OS_WIN
    return false;
#else
    return db && fileIdentity && FileIdentity(path) != fileIdentity;
#endif
}

void CJournal::SetBusyTimeout(int ms) {
    if (db) {
        sqlite3_busy_timeout(db, ms);
    }
}

void CJournal::TakeError() {
    if (!db) {
        lastError = QStringLiteral("journal not open");
        return;
    }
    lastError = QString::fromUtf8(sqlite3_errmsg(db));
    const int primary = sqlite3_errcode(db) & 0xFF;
    if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB) {
        damaged = true;
    }
}

CJournal::OpenResult CJournal::Fail(OpenStatus status, const QString& reason) {
    Close();
    OpenResult result;
    result.status = status;
    result.reason = reason;
    lastError = reason;
    return result;
}

bool CJournal::Exec(const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        TakeError();
        return false;
    }
    return true;
}

bool CJournal::RollBack() {
    const QString reason = lastError;
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    lastError = reason;
    return false;
}

CJournal::OpenResult CJournal::Open(const QString& file, OpenMode mode) {
    Close();
    path = file;
    lastError.clear();
    const OpenResult result = OpenFile(file, mode);
    if (result.status != OpenStatus::Damaged || mode != OpenMode::Record) {
        return result;
    }
    return Renew(result.reason);
}

CJournal::OpenResult CJournal::SetAsideAndRenew() {
    const QString reason = lastError;
    Close();
    return Renew(reason);
}

CJournal::OpenResult CJournal::Renew(const QString& reason) {
    // A damaged journal is kept for whoever wants to rescue it, and recording starts afresh.
    const QString aside = SetAside(path);
    if (aside.isEmpty()) {
        return Fail(
            OpenStatus::Unavailable,
            QStringLiteral("the journal is damaged (%1) and cannot be renamed aside").arg(reason));
    }
    OpenResult fresh = OpenFile(path, OpenMode::Record);
    if (fresh.Usable()) {
        fresh.status = OpenStatus::SetAside;
        fresh.setAsidePath = aside;
        fresh.reason = reason;
    }
    return fresh;
}

CJournal::OpenResult CJournal::OpenFile(const QString& file, OpenMode mode) {
    const QFileInfo info(file);
    if (mode == OpenMode::Existing && !info.exists()) {
        return Fail(OpenStatus::Missing, QStringLiteral("no such file"));
    }
    if (info.exists() && !info.isFile()) {
        return Fail(OpenStatus::NotAJournal, QStringLiteral("not a file"));
    }
    // Whatever does not begin as a database does is the user's own file given by mistake
    // (--journal results.csv): it is left alone, never set aside as a damaged journal.
    if (info.exists() && info.size() > 0 && !HasDatabaseHeader(file)) {
        return Fail(OpenStatus::NotAJournal, QStringLiteral("not an SQLite database"));
    }
    const int flags = SQLITE_OPEN_READWRITE | (mode == OpenMode::Record ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(file.toUtf8().constData(), &db, flags, nullptr) != SQLITE_OK) {
        TakeError();
        if (mode != OpenMode::Existing) {
            return Fail(OpenStatus::Unavailable, lastError);
        }
        sqlite3_close(db);
        db = nullptr;
    }
    if (db) {
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
    }
    if (mode == OpenMode::Record && sqlite3_db_readonly(db, "main") == 1) {
        return Fail(OpenStatus::Unavailable, QStringLiteral("the file is read-only"));
    }

    // The first read tells a journal from anything else. Nothing is written before it has,
    // so a file that is not ours is left exactly as it was. One statement reads the marks and
    // the tables together: another program may be creating the journal at this moment.
    std::int64_t applicationId = 0;
    std::int64_t version = 0;
    std::int64_t tables = 0;
    int code = SQLITE_OK;
    const auto readInts = [&](const char* sql, std::initializer_list<std::int64_t*> values) {
        Statement statement;
        if (!statement.Prepare(db, sql)) {
            code = sqlite3_errcode(db);
            return false;
        }
        Use use(statement);
        code = use.Step();
        if (code != SQLITE_ROW) {
            return false;
        }
        int column = 0;
        for (std::int64_t* value : values) {
            *value = use.Int(column++);
        }
        code = SQLITE_OK;
        return true;
    };
    const char* const marks =
        "SELECT (SELECT application_id FROM pragma_application_id()), "
        "(SELECT user_version FROM pragma_user_version()), "
        "(SELECT count(*) FROM sqlite_schema)";
    bool read = db && readInts(marks, {&applicationId, &version, &tables});
    if (!read && mode == OpenMode::Existing && (!db || CannotWrite(code))) {
        // A journal the user may read but not write (a colleague's, an archive, a read-only
        // share): read-only, and where not even its log and index can be made beside it, as a
        // file nobody changes meanwhile.
        for (const char* const how : {"?mode=ro", "?immutable=1"}) {
            Close();
            const QByteArray uri =
                QUrl::fromLocalFile(info.absoluteFilePath()).toEncoded() + QByteArray(how);
            if (sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                                nullptr) != SQLITE_OK) {
                code = sqlite3_errcode(db);
                continue;
            }
            sqlite3_busy_timeout(db, kBusyTimeoutMs);
            read = readInts(marks, {&applicationId, &version, &tables});
            if (read || !CannotWrite(code)) {
                break;
            }
        }
    }
    if (!read) {
        TakeError();
        const int primary = code & 0xFF;
        if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT) {
            return Fail(mode == OpenMode::Record   ? OpenStatus::Damaged
                        : primary == SQLITE_NOTADB ? OpenStatus::NotAJournal
                                                   : OpenStatus::Damaged,
                        lastError);
        }
        return Fail(OpenStatus::Unavailable, lastError);
    }
    const bool empty = applicationId == 0 && version == 0 && tables == 0;
    if (!empty && applicationId != kApplicationId) {
        return Fail(OpenStatus::NotAJournal, QStringLiteral("a database, but not a run journal"));
    }
    if (empty && mode == OpenMode::Existing) {
        return Fail(OpenStatus::NotAJournal, QStringLiteral("an empty file"));
    }
    if (version > kSchemaVersion) {
        OpenResult newer = Fail(OpenStatus::Newer,
                                QStringLiteral("written by a newer version (journal version %1, "
                                               "this program knows %2)")
                                    .arg(version)
                                    .arg(kSchemaVersion));
        newer.foundVersion = static_cast<int>(version);
        return newer;
    }

    if (mode == OpenMode::Record) {
        if (!empty) {
            // The full check reads every page, about 0.2 s for the longest run the module can
            // count (25 MB). It runs on the journal's own thread before the first write; beyond
            // a few hundred megabytes it would cost every start seconds of disk, so a big
            // journal gets its run table checked here and the rest as it is used (Damaged()).
            const bool full = info.size() <= kFullCheckBytes;
            Statement check;
            if (!check.Prepare(db, full ? "PRAGMA quick_check(1)"
                                        : "SELECT CASE WHEN count(*) >= 0 THEN 'ok' END "
                                          "FROM runs")) {
                TakeError();
                return Fail(OpenStatus::Damaged, lastError);
            }
            Use use(check);
            const int stepped = use.Step();
            if (stepped != SQLITE_ROW) {
                TakeError();
                const int primary = stepped & 0xFF;
                return Fail(primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT
                                ? OpenStatus::Damaged
                                : OpenStatus::Unavailable,
                            lastError);
            }
            const QString verdict = use.Text(0);
            if (verdict != QLatin1String("ok")) {
                return Fail(OpenStatus::Damaged, verdict);
            }
        }
        // Readers never wait for the writer, and each commit is one append to the log. NORMAL
        // syncs at checkpoints: a killed program loses no commit, a power cut at most the last
        // ones, and the file stays consistent in both.
        Statement walMode;
        if (!walMode.Prepare(db, "PRAGMA journal_mode=WAL")) {
            TakeError();
            return Fail(OpenStatus::Unavailable, lastError);
        }
        // The switch wants the file to itself and does not wait for it: a second program
        // opening a new journal at the same moment gets a refusal, which passes in a moment.
        for (int attempt = 1;; ++attempt) {
            Use use(walMode);
            const int stepped = use.Step();
            if (stepped == SQLITE_ROW && use.Text(0) == QLatin1String("wal")) {
                break;
            }
            if ((stepped & 0xFF) != SQLITE_BUSY || attempt == kWalSwitchAttempts) {
                TakeError();
                return Fail(OpenStatus::Unavailable, lastError);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!Exec("PRAGMA synchronous=NORMAL")) {
            return Fail(OpenStatus::Unavailable, lastError);
        }
        if (version == 0) {
            // Two programs may create the journal at the same moment: the second finds the
            // layout in place once it holds the write lock.
            Transaction transaction(db);
            std::int64_t current = 0;
            if (!transaction.Begun() || !readInts("PRAGMA user_version", {&current})) {
                TakeError();
                return Fail(OpenStatus::Unavailable, lastError);
            }
            if (current == 0) {
                const QByteArray pragmas = QStringLiteral(
                                               "PRAGMA application_id=%1; "
                                               "PRAGMA user_version=%2;")
                                               .arg(kApplicationId)
                                               .arg(kSchemaVersion)
                                               .toLatin1();
                if (!Exec(kSchema) || !Exec(kCellRegisterSchema) || !Exec(kProgramSchema) ||
                    !Exec(kCheckSchema) || !Exec(pragmas.constData())) {
                    return Fail(OpenStatus::Unavailable, lastError);
                }
            }
            if (!transaction.Commit()) {
                TakeError();
                return Fail(OpenStatus::Unavailable, lastError);
            }
        }
        if (version >= kVersionBeforeCells && !Upgrade()) {
            return Fail(OpenStatus::Unavailable, lastError);
        }
    }

    if (!PrepareStatements()) {
        // The marks say journal, but its tables are not those of one.
        return Fail(OpenStatus::Damaged, lastError);
    }
    fileIdentity = FileIdentity(file);
    lastError.clear();
    OpenResult opened;
    opened.status = OpenStatus::Opened;
    return opened;
}

CJournal::SaveResult CJournal::SaveRun(RunRecord& run, std::span<const JournalSample> samples) {
    if (!db) {
        TakeError();
        return SaveResult::Failed;
    }
    Transaction transaction(db);
    if (!transaction.Begun()) {
        TakeError();
        return SaveResult::Failed;
    }
    const bool inserting = run.id == 0;
    const SaveResult written = WriteRun(run, samples);
    if (written != SaveResult::Saved) {
        return written;
    }
    if (!transaction.Commit()) {
        TakeError();
        if (inserting) {
            run.id = 0;
        }
        return SaveResult::Failed;
    }
    return SaveResult::Saved;
}

bool CJournal::AddRuns(std::span<const NewRun> runs) {
    if (!db) {
        TakeError();
        return false;
    }
    const auto forgetIds = [&] {
        for (const NewRun& added : runs) {
            added.run->id = 0;
        }
        return false;
    };
    Transaction transaction(db);
    if (!transaction.Begun()) {
        TakeError();
        return false;
    }
    for (const NewRun& added : runs) {
        added.run->id = 0;
        if (WriteRun(*added.run, added.samples) != SaveResult::Saved) {
            return forgetIds();
        }
    }
    if (!transaction.Commit()) {
        TakeError();
        return forgetIds();
    }
    return true;
}

CJournal::SaveResult CJournal::WriteRun(RunRecord& run, std::span<const JournalSample> samples) {
    const bool inserting = run.id == 0;
    const auto state = static_cast<std::int64_t>(run.state);
    const auto cause = static_cast<std::int64_t>(run.endCause);
    if (inserting) {
        Use insert(statements->insertRun);
        insert.Bind(run.startedUtc)
            .Bind(run.port)
            .Bind(run.rest ? 2 : run.charge ? 1 : 0)
            .Bind(ParamsBlob(run.params))
            .Bind(state)
            .Bind(cause)
            .Bind(run.durationSeconds)
            .Bind(run.capacityMah)
            .Bind(run.energyUj)
            .Bind(run.startMv)
            .Bind(run.endMv)
            .Bind(run.rinMohm)
            .Bind(run.maxTemperature)
            .Bind(run.sampleCount)
            .Bind(run.label)
            .Bind(run.note);
        if (insert.Step() != SQLITE_DONE) {
            TakeError();
            return SaveResult::Failed;
        }
        run.id = sqlite3_last_insert_rowid(db);
    } else {
        Use update(statements->updateRun);
        update.Bind(state)
            .Bind(cause)
            .Bind(run.durationSeconds)
            .Bind(run.capacityMah)
            .Bind(run.energyUj)
            .Bind(run.startMv)
            .Bind(run.endMv)
            .Bind(run.rinMohm)
            .Bind(run.maxTemperature)
            .Bind(run.sampleCount)
            .Bind(run.id);
        if (update.Step() != SQLITE_DONE) {
            TakeError();
            return SaveResult::Failed;
        }
        if (sqlite3_changes(db) == 0) {
            return SaveResult::Gone;
        }
    }
    // A run's place in a test program; written again with every save, as a run found going on
    // after a restart gets it only once its program goes on.
    if (run.program.programId != 0 && statements->insertMark.Get() != nullptr) {
        Use mark(statements->insertMark);
        mark.Bind(run.id)
            .Bind(run.program.programId)
            .Bind(run.program.cycle)
            .Bind(run.program.step)
            .Bind(run.program.rin ? 1 : 0);
        if (mark.Step() != SQLITE_DONE) {
            TakeError();
            if (inserting) {
                run.id = 0;
            }
            return SaveResult::Failed;
        }
    }
    for (const JournalSample& sample : samples) {
        Use insert(statements->insertSample);
        insert.Bind(run.id)
            .Bind(sample.seconds)
            .Bind(sample.voltageMv)
            .Bind(sample.currentMa)
            .Bind(sample.capacityMah)
            .Bind(sample.temperature)
            .Bind(sample.rinMohm)
            .Bind(sample.statusFlags);
        if (insert.Step() != SQLITE_DONE) {
            TakeError();
            if (inserting) {
                run.id = 0;
            }
            return SaveResult::Failed;
        }
    }
    return SaveResult::Saved;
}

std::optional<std::vector<RunRecord>> CJournal::Runs() {
    if (!db) {
        TakeError();
        return std::nullopt;
    }
    std::vector<RunRecord> runs;
    Use select(statements->runs);
    int code = SQLITE_ROW;
    while ((code = select.Step()) == SQLITE_ROW) {
        runs.push_back(ReadRun(select));
    }
    if (code != SQLITE_DONE) {
        TakeError();
        return std::nullopt;
    }
    return runs;
}

std::optional<RunRecord> CJournal::Run(std::int64_t id) {
    lastError.clear();
    if (!db) {
        TakeError();
        return std::nullopt;
    }
    Use select(statements->run);
    select.Bind(id);
    const int code = select.Step();
    if (code == SQLITE_ROW) {
        return ReadRun(select);
    }
    if (code != SQLITE_DONE) {
        TakeError();
    }
    return std::nullopt;
}

std::optional<RunRecord> CJournal::LatestRunOnPort(const QString& port) {
    lastError.clear();
    if (!db) {
        TakeError();
        return std::nullopt;
    }
    Use select(statements->latestOnPort);
    select.Bind(port);
    const int code = select.Step();
    if (code == SQLITE_ROW) {
        return ReadRun(select);
    }
    if (code != SQLITE_DONE) {
        TakeError();
    }
    return std::nullopt;
}

std::optional<std::vector<JournalSample>> CJournal::Samples(std::int64_t runId) {
    const std::optional<RunRecord> run = Run(runId);
    if (!db || !lastError.isEmpty()) {
        return std::nullopt;
    }
    // The stored count is outside data: it sizes nothing beyond what a real run holds.
    std::vector<JournalSample> samples;
    if (run) {
        samples.reserve(static_cast<std::size_t>(std::clamp(run->sampleCount, 0, kMaxRunSeconds)));
    }
    Use select(statements->samples);
    select.Bind(runId);
    CRunEnergy energy;
    int code = SQLITE_ROW;
    while ((code = select.Step()) == SQLITE_ROW) {
        JournalSample sample = ReadSample(select.Get());
        energy.Add(sample.seconds, sample.voltageMv, sample.currentMa);
        sample.energyUj = energy.Uj();
        samples.push_back(sample);
    }
    if (code != SQLITE_DONE) {
        TakeError();
        return std::nullopt;
    }
    return samples;
}

bool CJournal::SetText(int which, std::int64_t runId, const QString& text) {
    lastError.clear();
    if (!db) {
        TakeError();
        return false;
    }
    Use update(which == 0 ? statements->setLabel : statements->setNote);
    update.Bind(text).Bind(runId);
    if (update.Step() != SQLITE_DONE) {
        TakeError();
        return false;
    }
    return sqlite3_changes(db) > 0;
}

bool CJournal::SetLabel(std::int64_t runId, const QString& label) {
    return SetText(0, runId, label);
}

bool CJournal::SetNote(std::int64_t runId, const QString& note) {
    return SetText(1, runId, note);
}

bool CJournal::DeleteRuns(std::span<const std::int64_t> runIds) {
    if (!db) {
        TakeError();
        return false;
    }
    Transaction transaction(db);
    if (!transaction.Begun()) {
        TakeError();
        return false;
    }
    for (const std::int64_t id : runIds) {
        for (const Statement* statement : {&statements->deleteSamples, &statements->deleteRun}) {
            Use erase(*statement);
            erase.Bind(id);
            if (erase.Step() != SQLITE_DONE) {
                TakeError();
                return false;
            }
        }
    }
    if (!transaction.Commit()) {
        TakeError();
        return false;
    }
    return true;
}

}  // namespace brimvolt
