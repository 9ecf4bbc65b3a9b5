// The test programs of CJournal: each program run, where it got and how it ended.

#include <sqlite3.h>

#include <QStringList>
#include <algorithm>
#include <string>

#include "journal/Journal.h"
#include "journal/JournalQuery.h"

namespace brimvolt {

namespace {

constexpr const char* kProgramColumns =
    "id, name, program, cell, port, started, state, step, cycle, passes, cycles_done, end_reason";
// More passes than a program has steps is no program's: a stored list longer is cut there.
constexpr qsizetype kMaxPasses = 1000;
constexpr std::int64_t kMaxRepeatPasses = 1000;
// 9999-12-31 23:59:59 UTC, as for runs.
constexpr std::int64_t kLastStartUtc = 253402300799;

QString PassesText(const std::vector<std::int32_t>& passes) {
    QStringList words;
    for (const std::int32_t n : passes) {
        words.append(QString::number(n));
    }
    return words.join(QLatin1Char(','));
}

std::vector<std::int32_t> PassesOfText(const QString& text) {
    std::vector<std::int32_t> passes;
    if (text.isEmpty()) {
        return passes;
    }
    for (const QStringView word : QStringView(text).split(QLatin1Char(','))) {
        if (static_cast<qsizetype>(passes.size()) == kMaxPasses) {
            break;
        }
        passes.push_back(static_cast<std::int32_t>(
            std::clamp<qlonglong>(word.toLongLong(), 0, kMaxRepeatPasses)));
    }
    return passes;
}

ProgramRecord ReadProgram(const CJournalQuery& row) {
    ProgramRecord program;
    program.id = row.Int(0);
    program.name = row.Text(1);
    program.json = row.Text(2).toUtf8();
    program.cell = row.Text(3);
    program.port = row.Text(4);
    program.startedUtc = std::clamp<std::int64_t>(row.Int(5), 0, kLastStartUtc);
    const std::int64_t state = row.Int(6);
    program.state = state >= 0 && state <= 3 ? static_cast<ProgramRunState>(state)
                                             : ProgramRunState::Ended;
    program.step = static_cast<std::int32_t>(std::clamp<std::int64_t>(row.Int(7), 1, kMaxPasses));
    program.cycle =
        static_cast<std::int32_t>(std::clamp<std::int64_t>(row.Int(8), 1, kMaxProgramCycles));
    program.passesLeft = PassesOfText(row.Text(9));
    program.cyclesDone =
        static_cast<std::int32_t>(std::clamp<std::int64_t>(row.Int(10), 0, kMaxProgramCycles));
    program.endReason = row.Text(11);
    return program;
}

}  // namespace

bool CJournal::SaveProgram(ProgramRecord& program) {
    lastError.clear();
    if (!db) {
        TakeError();
        return false;
    }
    const bool inserting = program.id == 0;
    CJournalQuery save(db, inserting ? "INSERT INTO programs (name, program, cell, port, started, "
                                       "state, step, cycle, passes, cycles_done, end_reason) "
                                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
                                     : "UPDATE programs SET name = ?, program = ?, cell = ?, "
                                       "port = ?, started = ?, state = ?, step = ?, cycle = ?, "
                                       "passes = ?, cycles_done = ?, end_reason = ? WHERE id = ?");
    save.Bind(program.name)
        .Bind(QString::fromUtf8(program.json))
        .Bind(program.cell)
        .Bind(program.port)
        .Bind(program.startedUtc)
        .Bind(static_cast<std::int64_t>(program.state))
        .Bind(program.step)
        .Bind(program.cycle)
        .Bind(PassesText(program.passesLeft))
        .Bind(program.cyclesDone)
        .Bind(program.endReason);
    if (!inserting) {
        save.Bind(program.id);
    }
    if (save.Step() != SQLITE_DONE) {
        TakeError();
        return false;
    }
    if (inserting) {
        program.id = sqlite3_last_insert_rowid(db);
    }
    return true;
}

std::optional<std::vector<ProgramRecord>> CJournal::Programs() {
    if (!HasProgramTables()) {
        return lastError.isEmpty() ? std::optional(std::vector<ProgramRecord>{}) : std::nullopt;
    }
    const std::string sql = std::string("SELECT ") + kProgramColumns + " FROM programs ORDER BY id";
    CJournalQuery select(db, sql.c_str());
    std::vector<ProgramRecord> programs;
    int code = SQLITE_ROW;
    while ((code = select.Step()) == SQLITE_ROW) {
        programs.push_back(ReadProgram(select));
    }
    if (code != SQLITE_DONE) {
        TakeError();
        return std::nullopt;
    }
    return programs;
}

std::optional<ProgramRecord> CJournal::Program(std::int64_t id) {
    lastError.clear();
    if (!HasProgramTables()) {
        return std::nullopt;
    }
    const std::string sql =
        std::string("SELECT ") + kProgramColumns + " FROM programs WHERE id = ?";
    CJournalQuery select(db, sql.c_str());
    const int code = select.Bind(id).Step();
    if (code == SQLITE_ROW) {
        return ReadProgram(select);
    }
    if (code != SQLITE_DONE) {
        TakeError();
    }
    return std::nullopt;
}

}  // namespace brimvolt
