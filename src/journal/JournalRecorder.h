#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "journal/RunContinuity.h"
#include "journal/RunRecord.h"
#include "module/Protocol.h"

namespace brimvolt {

class CJournal;

/**
 * Keeps the journal's runs from what the main window sees of the module: the port found, each
 * status record, the commands sent, the link lost, the program leaving. Wall-clock times are
 * milliseconds since 1970 (UTC).
 *
 * A run is what the curve window holds as one curve (TurnOfRun decides for both): it begins when
 * the module's time leaves 0, its first sample is the cell at rest, and it gets a sample whenever
 * the module's time moves on. A run the module resumes goes on in
 * the same entry; a module found already running opens an entry there or continues the open run
 * of its port that its clock matches.
 *
 * What cannot be written at once (journal closed, disk full, journal locked) waits in memory and
 * is written by a later call; TakeProblem() reports the failure once.
 */
class CJournalRecorder {
public:
    /** Stop commands count for the stop that follows within this time. */
    static constexpr std::int64_t kStopCommandWindowMs = 3000;
    /** After a failed write, the next attempt waits this long. */
    static constexpr std::int64_t kRetryMs = 10000;
    /** Samples kept in memory while the journal cannot be written: a whole run and more. */
    static constexpr std::size_t kMaxUnsavedSamples = 1u << 20;

    explicit CJournalRecorder(CJournal& journal);

    /** A module answers on `port`; the next status record decides about an open run. */
    void OnModuleFound(const QString& port, std::int64_t wallMs);
    /** Every decoded status record of the connected module, in order. */
    std::vector<RunEvent> OnStatus(const StatusRecord& status, std::int64_t wallMs);
    /**
     * A command was sent to the module ('p' start/stop, 's' reset, 't' time, ...), by the
     * operator or, `byProgram`, by a test program.
     */
    void OnCommandSent(char command, std::int64_t wallMs, bool byProgram = false);
    /**
     * A test program's step begins: runs that open from now on carry `mark`. A rest opens a run
     * of its own at once, sampled every second of the wall clock until the next step; the last
     * status record is its first sample. `adoptOpenRun`: a program gone on with after a restart
     * takes the run going on, found before it began again, as its step's.
     */
    std::vector<RunEvent> OnProgramStep(const ProgramMark& mark, bool rest, std::int64_t wallMs,
                                        bool adoptOpenRun = false);
    /** The test program ended or stopped: a rest ends, runs that open carry no mark. */
    std::vector<RunEvent> OnProgramOver(std::int64_t wallMs);
    /** A status poll read nothing: the open run stays open until the module is found again. */
    void OnLinkLost(std::int64_t wallMs);
    /** The program is leaving: an open run is marked interrupted, everything waiting written. */
    std::vector<RunEvent> OnLeaving(std::int64_t wallMs);

    /**
     * The journal was found damaged and replaced by a fresh one: the runs followed so far go
     * into it anew, from the samples still to come (the earlier ones stay in the old file).
     */
    void OnJournalRenewed();

    /** Writes whatever waits, now; true when nothing waits any more. */
    bool Flush(std::int64_t wallMs);
    /** A problem not yet reported, as one line; empty when there is none. */
    QString TakeProblem();

    /** The run the module's clock currently belongs to, if any. */
    const RunRecord* CurrentRun() const { return current ? &current->record : nullptr; }
    std::size_t UnsavedSamples() const;
    /**
     * The run an earlier program left open, once the first status record after the module was
     * found showed it going on: its record and every sample kept, the records handled so far
     * included. Given once; nullopt otherwise or when its samples cannot be read.
     */
    std::optional<TakenUpRun> TakeTakenUpRun();

private:
    struct Current {
        // Given, not defaulted: clang cannot tell that a nested struct with member initializers
        // is default-constructible while the class holding its optional is being defined.
        Current() {}

        RunRecord record;
        CRunEnergy energy;  // of record, integrated over its samples
        std::vector<JournalSample> unsaved;
        bool dirty = false;        // record fields not yet written
        bool confirm = false;      // open, and a new connection must show it still going on
        bool deleted = false;      // removed from the journal meanwhile: followed, not written
        bool fromJournal = false;  // left open by an earlier program, not yet shown going on
    };
    struct Unsaved {
        RunRecord record;
        std::vector<JournalSample> samples;
    };

    void ConfirmOpenRun(const StatusRecord& status, std::vector<RunEvent>& events);
    void OpenRun(const StatusRecord& status, std::int64_t wallMs, bool fromRest,
                 std::vector<RunEvent>& events);
    /** A status record during a program's rest; false when the rest is over (a run began). */
    bool FollowRest(const StatusRecord& status, std::int64_t wallMs, std::vector<RunEvent>& events);
    void EndRest(EndCause cause, std::vector<RunEvent>& events);
    void AddSample(const StatusRecord& status);
    void End(EndCause cause, std::vector<RunEvent>& events);
    EndCause CauseOfStop(const StatusRecord& status);
    void Release();
    void Persist(std::int64_t wallMs);
    void DropOldestUnsaved();

    CJournal& journal;

    // The curve's clock, kept exactly as the poll cycle keeps it for the curve window.
    std::uint8_t firstReading = 1;
    std::int32_t lastCurveSeconds = -1;
    std::uint16_t restVoltageMv = 0;
    StatusRecord restRecord;  // the last record while the time stood at 0

    QString port;
    bool connected = false;
    bool awaitingFirstStatus = false;
    bool lastRunning = false;  // run flag of the last status record
    std::optional<std::int64_t> stopCommandMs;
    bool stopByProgram = false;  // the command at stopCommandMs came from a test program

    ProgramMark programMark;          // carried by runs that open
    std::int64_t restStartMs = 0;     // wall clock at the start of the open rest
    std::optional<StatusRecord> lastStatus;
    std::optional<Current> current;
    std::deque<Unsaved> released;  // earlier runs whose last state still waits to be written

    std::int64_t nextAttemptMs = 0;
    bool failing = false;
    QString problem;
    bool lostSamples = false;
    bool takenUp = false;  // the current run, left by an earlier program, was shown going on
};

}  // namespace brimvolt
