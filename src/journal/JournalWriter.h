#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QThread>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "journal/Journal.h"
#include "journal/JournalRecorder.h"
#include "journal/ProgramCycles.h"
#include "journal/ProgramRecord.h"
#include "journal/RunRecord.h"
#include "module/Protocol.h"

namespace brimvolt {

/**
 * The run journal off the window's thread: a CJournal and its CJournalRecorder owned by a
 * thread of their own. The window passes values in (each call returns at once and is handled
 * there, in order) and hears back through the signals; it never waits for the disk.
 *
 * A journal that cannot be opened is tried again now and then while records come in; one that
 * is newer or not a journal is left alone and the program runs on without it.
 */
class CJournalWriter : public QObject {
    Q_OBJECT

public:
    /** Before another try at a journal that could not be opened. */
    static constexpr std::int64_t kReopenMs = 30000;

    /**
     * Makes the writer for the journal at `path`; its thread opens it once started, by Start()
     * or the first call below, so signals connected before then miss nothing.
     */
    explicit CJournalWriter(const QString& path);
    /** Starts the thread (does nothing once it runs). */
    void Start();
    /**
     * Leaves (an open run is marked interrupted), writes everything passed in, closes the
     * journal and ends the thread.
     */
    ~CJournalWriter() override;

    void ModuleFound(const QString& port, std::int64_t wallMs);
    void Status(const StatusRecord& status, std::int64_t wallMs);
    void CommandSent(char command, std::int64_t wallMs, bool byProgram = false);
    void LinkLost(std::int64_t wallMs);
    void Leaving(std::int64_t wallMs);
    /**
     * The cell in the holder, typed or scanned: the next run that opens belongs to it, and so
     * does the running run if it has no cell yet. Empty: none.
     */
    void SetNextCell(const QString& name);

    /**
     * A voltage check of the cell of that name (one not in the register is added with it):
     * CheckAdded once it is in the journal, CheckFailed when it cannot be written.
     */
    void AddCheck(const CheckRecord& check, const QString& cell);
    /** A check of the cell the test program begun last tests; nothing when it names none. */
    void AddProgramCheck(const CheckRecord& check);

    // A test program's runs. The program's cell, when it names none, is the next cell's.
    /** A program begins (id 0) or goes on after a restart (the id of its journal entry). */
    void ProgramBegun(const ProgramRecord& program, std::int64_t wallMs);
    /** The program's step `step` (from 1) of cycle `cycle` begins; a rest opens a run of its own. */
    void ProgramStep(std::int32_t step, std::int32_t cycle, const std::vector<std::int32_t>& passes,
                     bool rest, bool rin, std::int64_t wallMs);
    /** The program pauses (link lost), goes on, finishes or ends (`reason` says why). */
    void ProgramState(ProgramRunState state, std::int32_t cyclesDone, const QString& reason,
                      std::int64_t wallMs);
    /** An unfinished program the operator does not take up again: it ends with `reason`. */
    void AbandonProgram(std::int64_t id, const QString& reason);

    /**
     * Whether the journal is one this program leaves alone (newer, or not a journal): nothing
     * will be written to it. Read from any thread.
     */
    bool Unusable() const { return unusable.load(); }

    /** Returns once everything passed in so far has been handled (tests, benchmarks). */
    void WaitUntilHandled();

signals:
    /** Something the operator should hear about, once, as the text of one message. */
    void Problem(const QString& text);
    /** A run opened, got a sample, ended, ... */
    void RunChanged(const brimvolt::RunEvent& event);
    /**
     * A run an earlier program left open goes on (the module still ran it when found): the
     * run and every sample the journal holds of it, up to the status record just handled.
     */
    void RunTakenUp(const brimvolt::TakenUpRun& run);
    /** The run belongs to the cell now; `nextTaken`: the next cell went to this run that opened. */
    void CellGiven(qint64 runId, const QString& cell, bool nextTaken);
    /**
     * Said by SetNextCell on the caller's thread, as it is called: views of the same module keep
     * the next cell as the operator last gave it.
     */
    void NextCellSet(const QString& name);
    /** The check is in the journal: its id and its cell's id set. */
    void CheckAdded(const brimvolt::CheckRecord& check, const QString& cell);
    /** The check of `cell` could not be written, for `reason`. */
    void CheckFailed(const QString& cell, const QString& reason);
    /**
     * The module was found on a port whose latest test program did not finish (the program
     * left or crashed during it): it may go on. Told once per program.
     */
    void UnfinishedProgram(const brimvolt::ProgramRecord& program,
                           const std::vector<brimvolt::CycleResult>& cycles);

private:
    void Post(std::function<void()> work);
    void OpenJournal(std::int64_t wallMs);
    /** Says what an open or a renewal came to; true when the journal is open. */
    bool Opened(const CJournal::OpenResult& result, std::int64_t wallMs);
    void RenewIfDamaged(std::int64_t wallMs);
    void FollowIfReplaced(std::int64_t wallMs);
    void Report(const std::vector<RunEvent>& events);
    /** Writes the cell waiting for the current run once the run is in the journal. */
    void GiveCell();
    bool CurrentRunHasCell();
    /** Writes the program's entry; a failure is tried again with the next reading. */
    void SaveProgram();
    /** The program left during a step: paused, so the next start may go on with it. */
    void PauseProgram();
    void OfferUnfinishedProgram(const QString& port);
    void WriteCheck(CheckRecord check, const QString& cell);

    QThread thread;
    bool started = false;  // the caller's thread only
    QString path;
    // Used on the writer's thread only.
    CJournal journal;
    CJournalRecorder recorder{journal};
    bool retryOpen = true;
    std::atomic<bool> unusable{false};  // written on the writer's thread, read on any
    std::int64_t nextOpenMs = 0;
    bool unavailableReported = false;
    QString nextCell;     // for the next run that opens
    QString pendingCell;  // for the current run, not written yet
    bool pendingIsNext = false;
    QString port;                          // where the module was found last
    std::optional<ProgramRecord> program;  // the test program going on
    QString programCell;                   // of the program begun last, kept once it is over
    bool programDirty = false;
    bool resumedProgram = false;  // gone on with after a restart, its first step not begun yet
    QList<std::int64_t> programsOffered;
};

}  // namespace brimvolt
