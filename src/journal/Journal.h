#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "journal/CellRecord.h"
#include "journal/CheckRecord.h"
#include "journal/PackRecord.h"
#include "journal/ProgramRecord.h"
#include "journal/RunRecord.h"

struct sqlite3;

namespace brimvolt {

/**
 * The run journal: one SQLite file of runs and their samples, shared safely by several
 * programs (one per module). One object owns one connection and is used by one thread at a
 * time. Every write is one transaction, committed before the call returns.
 */
class CJournal {
public:
    /** The layout this program writes; a journal of a higher one is left alone. */
    static constexpr int kSchemaVersion = 4;
    /** The last layout without the cell register: upgraded in place when the program opens it. */
    static constexpr int kVersionBeforeCells = 1;
    /** The last layout without the test programs' tables. */
    static constexpr int kVersionBeforePrograms = 2;
    /** The last layout without voltage checks and grade bounds. */
    static constexpr int kVersionBeforeChecks = 3;
    /** Journals up to this size get every page checked when the program opens them. */
    static constexpr qint64 kFullCheckBytes = qint64{256} << 20;

    enum class OpenMode {
        Record,    // the program: create when missing, check, set a damaged file aside
        Existing,  // the command line: an existing journal as it is, no check, nothing created
    };

    enum class OpenStatus {
        Opened,
        SetAside,     // the file was damaged: renamed to setAsidePath, a fresh journal started
        Newer,        // written by a newer program: left untouched, not opened
        NotAJournal,  // another kind of file or database: left untouched, not opened
        Damaged,      // Existing mode: not readable as a journal
        Missing,      // Existing mode: no such file
        Unavailable,  // cannot be opened or written now (folder, permissions, disk full, lock)
    };

    struct OpenResult {
        OpenStatus status = OpenStatus::Unavailable;
        QString setAsidePath;  // SetAside: where the damaged file went
        QString reason;        // what went wrong, for a message
        int foundVersion = 0;  // Newer: the version the file carries

        bool Usable() const {
            return status == OpenStatus::Opened || status == OpenStatus::SetAside;
        }
    };

    enum class SaveResult {
        Saved,
        Gone,    // the run was deleted from the journal meanwhile; nothing written
        Failed,  // nothing written; LastError() says why
    };

    CJournal();
    ~CJournal();
    CJournal(const CJournal&) = delete;
    CJournal& operator=(const CJournal&) = delete;

    OpenResult Open(const QString& path, OpenMode mode = OpenMode::Record);
    void Close();
    bool IsOpen() const { return db != nullptr; }
    const QString& Path() const { return path; }
    /**
     * How long a write waits for another program's write to end before it fails as busy; the
     * default suits a thread of its own, a window's thread wants less.
     */
    void SetBusyTimeout(int ms);
    /** Text of the last failure of this connection. */
    const QString& LastError() const { return lastError; }
    /** A read or write found the file damaged. */
    bool Damaged() const { return damaged; }
    /**
     * The path no longer names the file this connection writes: another program set it aside
     * (damaged) and began a new one, or it was removed. Writing on would go to the old file.
     */
    bool Replaced() const;
    /**
     * Closes a damaged journal, renames it aside with its log and starts a fresh one at the same
     * path: SetAside (with setAsidePath), or Unavailable when it cannot be moved.
     */
    OpenResult SetAsideAndRenew();

    /**
     * Writes a run and new samples of it in one transaction: inserts the run when its id is 0
     * (and sets the id), otherwise updates what the recorder keeps (state, end cause, totals);
     * label and note are left as the operator wrote them.
     */
    SaveResult SaveRun(RunRecord& run, std::span<const JournalSample> samples);

    /** A run to add with its samples. */
    struct NewRun {
        RunRecord* run;
        std::span<const JournalSample> samples;
    };
    /**
     * Adds the runs (their ids set) with their samples in one transaction, all or none: on a
     * failure every id is left 0 and LastError() says why.
     */
    bool AddRuns(std::span<const NewRun> runs);

    /** Every run, oldest first; nullopt on a read failure. */
    std::optional<std::vector<RunRecord>> Runs();
    /** The run, or nullopt: no such run (LastError() empty) or a read failure. */
    std::optional<RunRecord> Run(std::int64_t id);
    /** The newest run recorded on the port, or nullopt. */
    std::optional<RunRecord> LatestRunOnPort(const QString& port);
    /** The run's samples in time order, with the energy filled in; nullopt on a read failure. */
    std::optional<std::vector<JournalSample>> Samples(std::int64_t runId);

    /** False when there is no such run (LastError() empty) or the write failed. */
    bool SetLabel(std::int64_t runId, const QString& label);
    bool SetNote(std::int64_t runId, const QString& note);
    /** Deletes the runs and their samples in one transaction. */
    bool DeleteRuns(std::span<const std::int64_t> runIds);

    // The cell register (JournalCells.cpp).

    /** Whether the journal has its cell register (a journal of version 1 has none yet). */
    bool HasCellRegister();
    /** Whether the journal keeps test programs (version 3 on). */
    bool HasProgramTables();
    /** Whether the journal keeps voltage checks and grade bounds (version 4 on). */
    bool HasCheckTables();
    /**
     * Brings an older journal to this program's layout (the cell register, the test programs,
     * the voltage checks),
     * in one transaction that keeps every run. A copy of the old file (UpgradeCopyPath()) is
     * kept beside it until the upgrade has committed. True when the journal has the layout.
     */
    bool Upgrade();
    QString UpgradeCopyPath() const { return path + QStringLiteral(".old"); }

    /** Every cell, in the order they were added; nullopt on a read failure. */
    std::optional<std::vector<CellRecord>> Cells();
    /** The cell of that name, or nullopt: none (LastError() empty) or a read failure. */
    std::optional<CellRecord> CellNamed(const QString& name);
    /** Adds the cell (id 0, the id set) or writes it back; false when the name is taken. */
    bool SaveCell(CellRecord& cell);
    /**
     * The run belongs to the cell of that name from now on; a name not in the register adds a
     * cell of it. An empty name frees the run. False when there is no such run (LastError()
     * empty) or the write failed.
     */
    bool SetRunCell(std::int64_t runId, const QString& name);
    /** Which run belongs to which cell, by run; nullopt on a read failure. */
    std::optional<std::vector<RunCellLink>> RunCells();

    // Test programs (JournalPrograms.cpp).

    /** Adds the program run (id 0, the id set) or writes it back; false on a failure. */
    bool SaveProgram(ProgramRecord& program);
    /** Every program run, oldest first; empty for a journal without them; nullopt on a failure. */
    std::optional<std::vector<ProgramRecord>> Programs();
    /** The program run, or nullopt: none (LastError() empty) or a read failure. */
    std::optional<ProgramRecord> Program(std::int64_t id);

    // Voltage checks and grade bounds (JournalChecks.cpp).

    /**
     * Adds the check (id 0; the id and cellId set) of the cell of that name; a name not in the
     * register adds a cell of it, in the same transaction. False on a failure.
     */
    bool AddCheck(CheckRecord& check, const QString& cellName);
    /**
     * Every check, by cell and then by time; empty for a journal without them; nullopt on a
     * read failure.
     */
    std::optional<std::vector<CheckRecord>> Checks();
    /** The cell's checks by time; empty for a journal without them; nullopt on a failure. */
    std::optional<std::vector<CheckRecord>> ChecksOfCell(std::int64_t cellId);
    /** The bounds the builder set, a row per chemistry set; nullopt on a read failure. */
    std::optional<std::vector<GradeBoundsRecord>> StoredGradeBounds();
    /** Keeps the bounds of their chemistry in place of what was set before. */
    bool SetGradeBounds(const GradeBoundsRecord& bounds);
    /** The chemistry is graded by the program's defaults again. */
    bool ForgetGradeBounds(Chemistry chemistry);

    // Saved packs (JournalPacks.cpp).

    enum class PackSaveResult {
        Saved,
        NameTaken,  // a pack of that name exists; nothing written
        CellTaken,  // a cell is in another pack, retired or not in the register; nothing written
        Failed,     // nothing written; LastError() says why
    };
    /**
     * Keeps the pack (id 0, the id set) and marks its cells as in it, in one transaction.
     * CellTaken names the first cell refused in `refused`.
     */
    PackSaveResult SavePack(PackRecord& pack, const QStringList& cells, QString* refused = nullptr);
    /** Every saved pack, the latest first; nullopt on a read failure. */
    std::optional<std::vector<PackRecord>> Packs();
    /** Frees the pack's cells for other packs and forgets the pack; false when there is no such
     *  pack (LastError() empty) or on a failure. */
    bool FreePack(std::int64_t packId);

private:
    struct Statements;

    OpenResult OpenFile(const QString& file, OpenMode mode);
    OpenResult Renew(const QString& reason);
    OpenResult Fail(OpenStatus status, const QString& reason);
    bool Exec(const char* sql);
    /** Prepares the statements for the journal's layout; false when its tables do not fit. */
    bool PrepareStatements();
    /** Undoes the open transaction, keeping the error that made it fail; always false. */
    bool RollBack();
    /** SaveRun's writes, inside a transaction the caller holds. */
    SaveResult WriteRun(RunRecord& run, std::span<const JournalSample> samples);
    bool SetText(int which, std::int64_t runId, const QString& text);
    void TakeError();

    sqlite3* db = nullptr;
    std::unique_ptr<Statements> statements;
    // The file as it was opened (device and file number), to notice it renamed under us.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> fileIdentity;
    QString path;
    QString lastError;
    bool damaged = false;
};

}  // namespace brimvolt
