// The voltage checks of CJournal and the bounds its cells are graded by.

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "journal/Journal.h"
#include "journal/JournalQuery.h"

namespace brimvolt {

namespace {

constexpr const char* kCheckColumns = "id, cell, at, millivolts, temperature, port";
// 9999-12-31 23:59:59 UTC, as for runs.
constexpr std::int64_t kLastUtc = 253402300799;
// No cell reads more than a few hundred volts; a stored value beyond is read as none.
constexpr double kMaxMillivolts = 1e6;

double Finite(double value, double low, double high) {
    return std::isfinite(value) ? std::clamp(value, low, high) : low;
}

CheckRecord ReadCheck(const CJournalQuery& row) {
    CheckRecord check;
    check.id = row.Int(0);
    check.cellId = row.Int(1);
    check.atUtc = std::clamp<std::int64_t>(row.Int(2), 0, kLastUtc);
    check.millivolts = Finite(row.Real(3), 0, kMaxMillivolts);
    if (!row.IsNull(4)) {
        check.temperature = static_cast<std::uint8_t>(std::clamp<std::int64_t>(row.Int(4), 0, 255));
    }
    check.port = row.Text(5);
    return check;
}

std::optional<double> OptionalReal(const CJournalQuery& row, int column) {
    if (row.IsNull(column)) {
        return std::nullopt;
    }
    return Finite(row.Real(column), 0, 1e9);
}

}  // namespace

bool CJournal::AddCheck(CheckRecord& check, const QString& cellName) {
    lastError.clear();
    if (!db) {
        TakeError();
        return false;
    }
    if (!Exec("BEGIN IMMEDIATE")) {
        return false;
    }
    const auto fail = [&] {
        TakeError();
        return RollBack();
    };
    CJournalQuery add(db, "INSERT OR IGNORE INTO cells (name) VALUES (?)");
    CJournalQuery cell(db, "SELECT id FROM cells WHERE name = ?");
    if (add.Bind(cellName).Step() != SQLITE_DONE || cell.Bind(cellName).Step() != SQLITE_ROW) {
        return fail();
    }
    const std::int64_t cellId = cell.Int(0);
    CJournalQuery insert(db,
                         "INSERT INTO checks (cell, at, millivolts, temperature, port) "
                         "VALUES (?, ?, ?, ?, ?)");
    insert.Bind(cellId).Bind(check.atUtc).BindReal(check.millivolts);
    if (check.temperature) {
        insert.Bind(std::int64_t{*check.temperature});
    } else {
        insert.BindNull();
    }
    if (insert.Bind(check.port).Step() != SQLITE_DONE) {
        return fail();
    }
    const std::int64_t id = sqlite3_last_insert_rowid(db);
    if (!Exec("COMMIT")) {
        return fail();
    }
    check.id = id;
    check.cellId = cellId;
    return true;
}

std::optional<std::vector<CheckRecord>> CJournal::Checks() {
    return ChecksOfCell(0);
}

std::optional<std::vector<CheckRecord>> CJournal::ChecksOfCell(std::int64_t cellId) {
    lastError.clear();
    if (!db) {
        TakeError();
        return std::nullopt;
    }
    std::vector<CheckRecord> checks;
    if (!HasCheckTables()) {
        if (!lastError.isEmpty()) {
            return std::nullopt;
        }
        return checks;
    }
    const std::string sql = std::string("SELECT ") + kCheckColumns + " FROM checks" +
                            (cellId != 0 ? " WHERE cell = ?" : "") + " ORDER BY cell, at, id";
    CJournalQuery select(db, sql.c_str());
    if (cellId != 0) {
        select.Bind(cellId);
    }
    int code = SQLITE_ROW;
    while ((code = select.Step()) == SQLITE_ROW) {
        checks.push_back(ReadCheck(select));
    }
    if (code != SQLITE_DONE) {
        TakeError();
        return std::nullopt;
    }
    return checks;
}

std::optional<std::vector<GradeBoundsRecord>> CJournal::StoredGradeBounds() {
    lastError.clear();
    if (!db) {
        TakeError();
        return std::nullopt;
    }
    std::vector<GradeBoundsRecord> stored;
    if (!HasCheckTables()) {
        if (!lastError.isEmpty()) {
            return std::nullopt;
        }
        return stored;
    }
    CJournalQuery select(db,
                         "SELECT chemistry, a_share, b_share, c_share, max_rin_mohm, "
                         "max_drop_mv_per_day, min_storage_days FROM grade_bounds "
                         "ORDER BY chemistry");
    int code = SQLITE_ROW;
    while ((code = select.Step()) == SQLITE_ROW) {
        const std::int64_t chemistry = select.Int(0);
        if (chemistry < 0 || chemistry > static_cast<int>(Chemistry::Other)) {
            continue;  // a chemistry this program does not know
        }
        GradeBoundsRecord bounds;
        bounds.chemistry = static_cast<Chemistry>(chemistry);
        bounds.aSharePercent = Finite(select.Real(1), 0, 1000);
        bounds.bSharePercent = Finite(select.Real(2), 0, 1000);
        bounds.cSharePercent = Finite(select.Real(3), 0, 1000);
        bounds.maxRinMohm = OptionalReal(select, 4);
        bounds.maxDropMvPerDay = OptionalReal(select, 5);
        bounds.minStorageDays = Finite(select.Real(6), 0, 1e6);
        stored.push_back(bounds);
    }
    if (code != SQLITE_DONE) {
        TakeError();
        return std::nullopt;
    }
    return stored;
}

bool CJournal::SetGradeBounds(const GradeBoundsRecord& bounds) {
    lastError.clear();
    if (!db) {
        TakeError();
        return false;
    }
    CJournalQuery write(db,
                        "INSERT OR REPLACE INTO grade_bounds (chemistry, a_share, b_share, "
                        "c_share, max_rin_mohm, max_drop_mv_per_day, min_storage_days) "
                        "VALUES (?, ?, ?, ?, ?, ?, ?)");
    write.Bind(static_cast<std::int64_t>(bounds.chemistry))
        .BindReal(bounds.aSharePercent)
        .BindReal(bounds.bSharePercent)
        .BindReal(bounds.cSharePercent);
    for (const std::optional<double>& bound : {bounds.maxRinMohm, bounds.maxDropMvPerDay}) {
        if (bound) {
            write.BindReal(*bound);
        } else {
            write.BindNull();
        }
    }
    if (write.BindReal(bounds.minStorageDays).Step() != SQLITE_DONE) {
        TakeError();
        return false;
    }
    return true;
}

bool CJournal::ForgetGradeBounds(Chemistry chemistry) {
    lastError.clear();
    if (!db) {
        TakeError();
        return false;
    }
    CJournalQuery forget(db, "DELETE FROM grade_bounds WHERE chemistry = ?");
    if (forget.Bind(static_cast<std::int64_t>(chemistry)).Step() != SQLITE_DONE) {
        TakeError();
        return false;
    }
    return true;
}

}  // namespace brimvolt
