// Saved packs of CJournal: a pack keeps its cells until it is freed.

#include <sqlite3.h>

#include <QDateTime>

#include "journal/Journal.h"
#include "journal/JournalQuery.h"

namespace brimvolt {

namespace {

constexpr std::int64_t kMaxSide = 1'000'000;

}  // namespace

CJournal::PackSaveResult CJournal::SavePack(PackRecord& pack, const QStringList& cells,
                                            QString* refused) {
    lastError.clear();
    if (!db) {
        TakeError();
        return PackSaveResult::Failed;
    }
    if (!Exec("BEGIN IMMEDIATE")) {
        return PackSaveResult::Failed;
    }
    const auto undo = [&](PackSaveResult result) {
        if (result == PackSaveResult::Failed && lastError.isEmpty()) {
            TakeError();
        }
        const QString reason = lastError;
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        lastError = result == PackSaveResult::Failed ? reason : QString();
        return result;
    };
    {
        CJournalQuery taken(db, "SELECT 1 FROM packs WHERE name = ?");
        const int code = taken.Bind(pack.name).Step();
        if (code == SQLITE_ROW) {
            return undo(PackSaveResult::NameTaken);
        }
        if (code != SQLITE_DONE) {
            return undo(PackSaveResult::Failed);
        }
    }
    const std::int64_t created =
        pack.createdUtc > 0 ? pack.createdUtc : QDateTime::currentSecsSinceEpoch();
    CJournalQuery add(db, "INSERT INTO packs (name, series, parallel, created) VALUES (?, ?, ?, ?)");
    if (add.Bind(pack.name).Bind(pack.series).Bind(pack.parallel).Bind(created).Step() !=
        SQLITE_DONE) {
        return undo(PackSaveResult::Failed);
    }
    const std::int64_t id = sqlite3_last_insert_rowid(db);
    for (const QString& cell : cells) {
        CJournalQuery mark(db,
                        "UPDATE cells SET pack = ? WHERE name = ? AND pack = 0 AND retired = 0");
        if (mark.Bind(id).Bind(cell).Step() != SQLITE_DONE) {
            return undo(PackSaveResult::Failed);
        }
        if (sqlite3_changes(db) != 1) {
            if (refused) {
                *refused = cell;
            }
            return undo(PackSaveResult::CellTaken);
        }
    }
    if (!Exec("COMMIT")) {
        return undo(PackSaveResult::Failed);
    }
    pack.id = id;
    pack.createdUtc = created;
    return PackSaveResult::Saved;
}

std::optional<std::vector<PackRecord>> CJournal::Packs() {
    lastError.clear();
    if (!db) {
        TakeError();
        return std::nullopt;
    }
    CJournalQuery select(db,
                      "SELECT id, name, series, parallel, created FROM packs ORDER BY id DESC");
    std::vector<PackRecord> packs;
    int code = SQLITE_ROW;
    while ((code = select.Step()) == SQLITE_ROW) {
        PackRecord pack;
        pack.id = select.Int(0);
        pack.name = select.Text(1);
        // Stored numbers are outside data: a shape out of range reads as 1.
        const auto side = [&](int column) {
            const std::int64_t value = select.Int(column);
            return static_cast<int>(value >= 1 && value <= kMaxSide ? value : 1);
        };
        pack.series = side(2);
        pack.parallel = side(3);
        pack.createdUtc = select.Int(4);
        packs.push_back(pack);
    }
    if (code != SQLITE_DONE) {
        TakeError();
        return std::nullopt;
    }
    return packs;
}

bool CJournal::FreePack(std::int64_t packId) {
    lastError.clear();
    if (!db) {
        TakeError();
        return false;
    }
    if (!Exec("BEGIN IMMEDIATE")) {
        return false;
    }
    CJournalQuery forget(db, "DELETE FROM packs WHERE id = ?");
    CJournalQuery free(db, "UPDATE cells SET pack = 0 WHERE pack = ?");
    bool ok = forget.Bind(packId).Step() == SQLITE_DONE;
    const bool existed = ok && sqlite3_changes(db) == 1;
    ok = ok && free.Bind(packId).Step() == SQLITE_DONE;
    if (!ok || !existed) {
        if (!ok) {
            TakeError();
        }
        return RollBack();
    }
    if (!Exec("COMMIT")) {
        return RollBack();
    }
    return true;
}

}  // namespace brimvolt
