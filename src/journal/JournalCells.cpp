// The cell register of CJournal: cells, the runs that belong to them, and the upgrade that
// gives a journal of version 1 its register.

#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <memory>
#include <string>

#include "journal/Journal.h"
#include "journal/JournalQuery.h"
#include "journal/JournalCellSchema.h"
#include "journal/JournalCheckSchema.h"
#include "journal/JournalProgramSchema.h"

namespace brimvolt {

namespace {

constexpr const char* kCellColumns = "id, name, chemistry, nominal_mah, maker, note, retired, pack";

CellRecord ReadCell(const CJournalQuery& query) {
    CellRecord cell;
    cell.id = query.Int(0);
    cell.name = query.Text(1);
    // A stored number outside the list is read as "other", never as a value out of range.
    const std::int64_t chemistry = query.Int(2);
    cell.chemistry = chemistry >= 0 && chemistry <= static_cast<int>(Chemistry::Other)
                         ? static_cast<Chemistry>(chemistry)
                         : Chemistry::Other;
    cell.nominalMah =
        static_cast<std::int32_t>(std::clamp<std::int64_t>(query.Int(3), 0, 1'000'000'000));
    cell.maker = query.Text(4);
    cell.note = query.Text(5);
    cell.retired = query.Int(6) != 0;
    cell.packId = std::max<std::int64_t>(query.Int(7), 0);
    return cell;
}

}  // namespace

namespace {

// The journal's layout version, or nullopt when it cannot be read.
std::optional<std::int64_t> Version(sqlite3* db) {
    CJournalQuery version(db, "PRAGMA user_version");
    if (version.Step() != SQLITE_ROW) {
        return std::nullopt;
    }
    return version.Int(0);
}

}  // namespace

bool CJournal::HasCellRegister() {
    const std::optional<std::int64_t> version = db ? Version(db) : std::nullopt;
    if (!version) {
        TakeError();
        return false;
    }
    return *version > kVersionBeforeCells;
}

bool CJournal::HasProgramTables() {
    const std::optional<std::int64_t> version = db ? Version(db) : std::nullopt;
    if (!version) {
        TakeError();
        return false;
    }
    return *version > kVersionBeforePrograms;
}

bool CJournal::HasCheckTables() {
    const std::optional<std::int64_t> version = db ? Version(db) : std::nullopt;
    if (!version) {
        TakeError();
        return false;
    }
    return *version > kVersionBeforeChecks;
}

bool CJournal::Upgrade() {
    lastError.clear();
    const QString copy = UpgradeCopyPath();
    if (HasCheckTables()) {
        // A copy left by an upgrade killed after its commit is of the old journal only.
        if (QFileInfo(copy).isFile()) {
            QFile::remove(copy);
        }
        return true;
    }
    if (!lastError.isEmpty()) {
        return false;
    }
    // The copy is a consistent picture of the journal, written log included, before anything
    // changes; it goes once the upgrade has committed. A copy left by an upgrade that was cut
    // short is of the same journal and is made anew.
    QFile::remove(copy);
    {
        CJournalQuery vacuum(db, "VACUUM INTO ?");
        if (!vacuum.Ok() || vacuum.Bind(copy).Step() != SQLITE_DONE) {
            TakeError();
            lastError = QStringLiteral("%1: cannot keep a copy before the upgrade: %2")
                            .arg(copy, lastError);
            return false;
        }
    }
    if (!Exec("BEGIN IMMEDIATE")) {
        return false;
    }
    // Another program may have upgraded it meanwhile: the version read under the write lock
    // decides.
    const std::optional<std::int64_t> version = Version(db);
    if (!version) {
        TakeError();
        return RollBack();
    }
    const QByteArray mark = QStringLiteral("PRAGMA user_version=%1;").arg(kSchemaVersion).toLatin1();
    if (*version < kSchemaVersion &&
        ((*version <= kVersionBeforeCells && !Exec(kCellRegisterSchema)) ||
         (*version <= kVersionBeforePrograms && !Exec(kProgramSchema)) || !Exec(kCheckSchema) ||
         !Exec(mark.constData()))) {
        return RollBack();
    }
    if (!Exec("COMMIT")) {
        return RollBack();
    }
    QFile::remove(copy);
    // Runs are read with their program marks from now on.
    return !statements || PrepareStatements();
}

std::optional<std::vector<CellRecord>> CJournal::Cells() {
    if (!db) {
        TakeError();
        return std::nullopt;
    }
    const std::string sql = std::string("SELECT ") + kCellColumns + " FROM cells ORDER BY id";
    CJournalQuery select(db, sql.c_str());
    std::vector<CellRecord> cells;
    int code = SQLITE_ROW;
    while ((code = select.Step()) == SQLITE_ROW) {
        cells.push_back(ReadCell(select));
    }
    if (code != SQLITE_DONE) {
        TakeError();
        return std::nullopt;
    }
    return cells;
}

std::optional<CellRecord> CJournal::CellNamed(const QString& name) {
    lastError.clear();
    if (!db) {
        TakeError();
        return std::nullopt;
    }
    const std::string sql = std::string("SELECT ") + kCellColumns + " FROM cells WHERE name = ?";
    CJournalQuery select(db, sql.c_str());
    select.Bind(name);
    const int code = select.Step();
    if (code == SQLITE_ROW) {
        return ReadCell(select);
    }
    if (code != SQLITE_DONE) {
        TakeError();
    }
    return std::nullopt;
}

bool CJournal::SaveCell(CellRecord& cell) {
    lastError.clear();
    if (!db) {
        TakeError();
        return false;
    }
    CJournalQuery write(db, cell.id == 0 ? "INSERT INTO cells (chemistry, nominal_mah, maker, note, "
                                    "retired, pack, name) VALUES (?, ?, ?, ?, ?, ?, ?)"
                                  : "UPDATE cells SET chemistry = ?, nominal_mah = ?, maker = ?, "
                                    "note = ?, retired = ?, pack = ?, name = ? WHERE id = ?");
    write.Bind(static_cast<std::int64_t>(cell.chemistry))
        .Bind(cell.nominalMah)
        .Bind(cell.maker)
        .Bind(cell.note)
        .Bind(cell.retired ? 1 : 0)
        .Bind(cell.packId)
        .Bind(cell.name);
    if (cell.id != 0) {
        write.Bind(cell.id);
    }
    if (write.Step() != SQLITE_DONE) {
        TakeError();
        return false;
    }
    if (cell.id == 0) {
        cell.id = sqlite3_last_insert_rowid(db);
    }
    return true;
}

bool CJournal::SetRunCell(std::int64_t runId, const QString& name) {
    lastError.clear();
    if (!db) {
        TakeError();
        return false;
    }
    if (!Exec("BEGIN IMMEDIATE")) {
        return false;
    }
    const auto fail = [&] {
        if (lastError.isEmpty()) {
            TakeError();
        }
        return RollBack();
    };
    CJournalQuery run(db, "SELECT 1 FROM runs WHERE id = ?");
    run.Bind(runId);
    const int found = run.Step();
    if (found == SQLITE_DONE) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        lastError.clear();
        return false;
    }
    if (found != SQLITE_ROW) {
        return fail();
    }
    if (name.isEmpty()) {
        CJournalQuery unlink(db, "DELETE FROM run_cells WHERE run = ?");
        if (unlink.Bind(runId).Step() != SQLITE_DONE) {
            return fail();
        }
    } else {
        CJournalQuery add(db, "INSERT OR IGNORE INTO cells (name) VALUES (?)");
        CJournalQuery link(db,
                    "INSERT OR REPLACE INTO run_cells (run, cell) "
                    "SELECT ?, id FROM cells WHERE name = ?");
        if (add.Bind(name).Step() != SQLITE_DONE ||
            link.Bind(runId).Bind(name).Step() != SQLITE_DONE) {
            return fail();
        }
    }
    if (!Exec("COMMIT")) {
        return fail();
    }
    return true;
}

std::optional<std::vector<RunCellLink>> CJournal::RunCells() {
    if (!db) {
        TakeError();
        return std::nullopt;
    }
    CJournalQuery select(db, "SELECT run, cell FROM run_cells ORDER BY run");
    std::vector<RunCellLink> links;
    int code = SQLITE_ROW;
    while ((code = select.Step()) == SQLITE_ROW) {
        links.push_back({select.Int(0), select.Int(1)});
    }
    if (code != SQLITE_DONE) {
        TakeError();
        return std::nullopt;
    }
    return links;
}

}  // namespace brimvolt
