#pragma once

// A statement of the journal's database prepared for one use, for the parts of CJournal that
// live in files of their own (the cell register, the saved packs).

#include <sqlite3.h>

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace brimvolt {

/** A statement prepared for one use, finalized with its scope; binds go in order. */
class CJournalQuery {
public:
    CJournalQuery(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
            stmt = nullptr;
        }
    }
    CJournalQuery(const CJournalQuery&) = delete;
    CJournalQuery& operator=(const CJournalQuery&) = delete;
    ~CJournalQuery() { sqlite3_finalize(stmt); }

    bool Ok() const { return stmt != nullptr; }
    CJournalQuery& Bind(std::int64_t value) {
        sqlite3_bind_int64(stmt, ++bound, value);
        return *this;
    }
    CJournalQuery& BindReal(double value) {
        sqlite3_bind_double(stmt, ++bound, value);
        return *this;
    }
    CJournalQuery& BindNull() {
        sqlite3_bind_null(stmt, ++bound);
        return *this;
    }
    CJournalQuery& Bind(const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(stmt, ++bound, utf8.constData(), static_cast<int>(utf8.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    int Step() { return stmt ? sqlite3_step(stmt) : SQLITE_ERROR; }
    std::int64_t Int(int column) const { return sqlite3_column_int64(stmt, column); }
    double Real(int column) const { return sqlite3_column_double(stmt, column); }
    bool IsNull(int column) const { return sqlite3_column_type(stmt, column) == SQLITE_NULL; }
    QString Text(int column) const {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
        return QString::fromUtf8(text, sqlite3_column_bytes(stmt, column));
    }

private:
    sqlite3_stmt* stmt = nullptr;
    int bound = 0;
};

}  // namespace brimvolt
