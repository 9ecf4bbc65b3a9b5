#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "cycle/CycleResult.h"
#include "cycle/Sequencer.h"
#include "cycle/TestProgram.h"
#include "journal/ProgramRecord.h"
#include "module/Protocol.h"

namespace brimvolt {

class CJournalWriter;

/**
 * Runs one module's test program, with or without a window: it owns the sequencer, hands it
 * every status record, keeps the requests it gives for the next poll tick, tells the journal of
 * the program's steps and states, and takes up a program an earlier session left unfinished.
 * Views redraw from the getters on Changed().
 */
class CProgramRunner : public QObject {
    Q_OBJECT
public:
    explicit CProgramRunner(QObject* parent = nullptr);

    /**
     * The journal the program's runs go into; it also tells of a program left unfinished on
     * the port. One that cannot be taken up is abandoned at once; one that can, while no
     * program is active, is offered with UnfinishedProgramOffered. Null: none.
     */
    void SetJournal(CJournalWriter* writer);

    /** The program the next start runs; refused (false) while one is active. */
    bool SetProgram(const TestProgram& newProgram);
    const TestProgram& Program() const { return program; }
    /** The cell the program tests, as typed; empty: the journal's next cell. */
    void SetCell(const QString& text);
    QString Cell() const { return cell; }

    /** The program starts with the next status record; nothing while active or without steps. */
    void Start();
    /** After the module was found where the step did not leave it: the step begins again. */
    void Resume();
    void CancelPendingStart();

    /** The operator took up the offered program: it goes on from its step with the next record. */
    void ResumeUnfinished(const ProgramRecord& record, const std::vector<CycleResult>& cycles);
    /** The operator declined the offered program: the journal ends it. */
    void AbandonUnfinished(const ProgramRecord& record);

    /** One status record; what the program asks of the module waits for TakeRequests. */
    void OnStatus(const StatusRecord& status, std::int64_t nowMs);
    /** The requests to send with the next tick, first in it. */
    std::vector<Request> TakeRequests() { return std::exchange(requests, {}); }
    /** The link is lost: the program waits, and requests meant for the module are dropped. */
    void OnLinkLost();
    /** The operator's stop, the question already answered; a pending start is cancelled. */
    void OperatorStop(StopScope scope);
    /** The operator reset the module: the program ends. */
    void OperatorReset();

    /** Whether a program is started or about to be. */
    bool Active() const;
    bool StartPending() const { return startPending; }
    /** The sequencer of the program started last; null before the first start. */
    const CSequencer* Sequencer() const { return sequencer ? &*sequencer : nullptr; }
    /** The steady time of the last status record. */
    std::int64_t LastNowMs() const { return lastNowMs; }

    /** The step going on, from 1; 0 when no program is going. */
    int StepNumber() const;
    int StepCount() const { return static_cast<int>(program.steps.size()); }
    /** Time in the step going on; 0 when no program is going. */
    std::int64_t StepElapsedMs(std::int64_t nowMs) const;
    /** Whether the program is going and its step is a rest. */
    bool Resting() const;
    /** Whether the program went through all its steps and the last one run was a rest. */
    bool FinishedAfterRest() const;

    /** The state line: what the program is doing, or why it ended. */
    QString StateText() const;
    /** Why the program ended early, as the state line and the journal say it; empty otherwise. */
    QString EndReasonText() const;
    /** The text of a step as the program's list shows it. */
    static QString StepText(const ProgramStep& step);

signals:
    /** Something a view shows may have changed. */
    void Changed();
    /** A program an earlier session left may go on: the operator is to say whether. */
    void UnfinishedProgramOffered(const brimvolt::ProgramRecord& record,
                                  const std::vector<brimvolt::CycleResult>& cycles);

private:
    void OnUnfinishedProgram(const ProgramRecord& record, const std::vector<CycleResult>& cycles);
    /** Started, not pending, and not yet ended. */
    bool Going() const;
    /** Tells the journal what changed, then the views. */
    void Update();
    /** Tells the journal the steps begun and the state the program came to. */
    void TellJournal();

    TestProgram program;
    QString cell;
    std::optional<CSequencer> sequencer;
    bool startPending = false;
    std::vector<Request> requests;  // for the next tick
    CJournalWriter* journal = nullptr;
    std::optional<ProgramRecord> resumeRecord;  // begins with the next record
    std::vector<CycleResult> resumeCycles;
    SequencerState toldState = SequencerState::Ready;
    std::int64_t lastNowMs = 0;
};

}  // namespace brimvolt
