#include "journal/JournalRecorder.h"

#include <QCoreApplication>
#include <QDir>
#include <algorithm>
#include <utility>

#include "journal/Journal.h"
#include "module/CurveRecording.h"

namespace brimvolt {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(JournalRecorder)
};

}  // namespace

CJournalRecorder::CJournalRecorder(CJournal& journal) : journal(journal) {}

void CJournalRecorder::OnModuleFound(const QString& foundPort, std::int64_t) {
    port = foundPort;
    connected = true;
    awaitingFirstStatus = true;
    stopCommandMs.reset();
    if (current && current->record.IsOpen()) {
        current->confirm = true;
    }
}

void CJournalRecorder::OnLinkLost(std::int64_t) {
    connected = false;
    awaitingFirstStatus = false;
    stopCommandMs.reset();
    if (current && current->record.IsOpen()) {
        current->confirm = true;
    }
}

void CJournalRecorder::OnCommandSent(char command, std::int64_t wallMs, bool byProgram) {
    // 'p' starts as well as stops: it is a stop only while the module shows a run. A reset
    // stops a run too, and a time set by the operator ends the run it no longer continues.
    if ((command == 'p' && lastRunning) || command == 's' || command == 't') {
        stopCommandMs = wallMs;
        stopByProgram = byProgram;
    }
}

std::vector<RunEvent> CJournalRecorder::OnProgramStep(const ProgramMark& mark, bool rest,
                                                      std::int64_t wallMs, bool adoptOpenRun) {
    std::vector<RunEvent> events;
    if (adoptOpenRun && !rest && current && current->record.IsOpen() && !current->record.rest &&
        current->record.program.programId == 0) {
        current->record.program = mark;
        current->dirty = true;
    }
    if (current && current->record.rest) {
        EndRest(EndCause::Program, events);
    }
    programMark = mark;
    if (rest && lastStatus && connected) {
        // Whatever ran before has ended: the program begins a rest only with the module idle.
        if (current && current->record.IsOpen()) {
            End(CauseOfStop(*lastStatus), events);
        }
        Release();
        current.emplace();
        RunRecord& run = current->record;
        run.startedUtc = wallMs / 1000;
        run.port = port;
        run.rest = true;
        run.params = lastStatus->params;
        run.program = mark;
        restStartMs = wallMs;
        StatusRecord first = *lastStatus;
        first.elapsedSeconds = 0;
        first.currentMa = 0;
        first.capacityMah = 0;
        AddSample(first);
        events.push_back({RunEventKind::Opened, run});
    }
    Persist(wallMs);
    return events;
}

std::vector<RunEvent> CJournalRecorder::OnProgramOver(std::int64_t wallMs) {
    std::vector<RunEvent> events;
    if (current && current->record.rest) {
        EndRest(EndCause::Program, events);
    }
    programMark = {};
    Persist(wallMs);
    return events;
}

bool CJournalRecorder::FollowRest(const StatusRecord& status, std::int64_t wallMs,
                                  std::vector<RunEvent>& events) {
    if ((status.statusFlags & flags::kRunning) != 0) {
        // A run the program did not start (the operator's): the rest is over.
        EndRest(CauseOfStop(status), events);
        return false;
    }
    RunRecord& run = current->record;
    const std::int64_t seconds = std::clamp<std::int64_t>((wallMs - restStartMs) / 1000, 0,
                                                          kMaxIntervalSeconds);
    if (run.IsOpen() && seconds > run.durationSeconds) {
        StatusRecord sample = status;
        sample.elapsedSeconds = static_cast<std::int32_t>(seconds);
        sample.currentMa = 0;
        sample.capacityMah = 0;
        AddSample(sample);
        events.push_back({RunEventKind::Sampled, run});
    }
    return true;
}

void CJournalRecorder::EndRest(EndCause cause, std::vector<RunEvent>& events) {
    if (current->record.IsOpen()) {
        End(cause, events);
    }
    // A rest's clock is the wall's: nothing the module shows afterwards continues it.
    Release();
}

std::vector<RunEvent> CJournalRecorder::OnStatus(const StatusRecord& status, std::int64_t wallMs) {
    std::vector<RunEvent> events;
    if (!connected) {
        // Records without a word of the connection: the port found before.
        OnModuleFound(port, wallMs);
    }
    if (stopCommandMs && wallMs - *stopCommandMs > kStopCommandWindowMs) {
        stopCommandMs.reset();
    }
    if (awaitingFirstStatus) {
        awaitingFirstStatus = false;
        ConfirmOpenRun(status, events);
    }

    const CurveClockStep step =
        StepCurveClock(firstReading, lastCurveSeconds, restVoltageMv, status);
    const std::int32_t elapsed = status.elapsedSeconds;
    const bool running = (status.statusFlags & flags::kRunning) != 0;
    lastStatus = status;
    if (elapsed == 0) {
        restRecord = status;
    }

    if (current && current->record.rest && FollowRest(status, wallMs, events)) {
        lastRunning = running;
        Persist(wallMs);
        return events;
    }
    std::optional<FollowedRun> followed;
    if (current) {
        const RunRecord& run = current->record;
        followed = FollowedRun{run.durationSeconds, run.IsOpen(), run.charge};
    }
    const RunTurn turn = TurnOfRun(step, followed, status);
    if (turn.endsFollowed) {
        End(CauseOfStop(status), events);
    }
    if (turn.releasesFollowed) {
        Release();
    }
    if (turn.samples) {
        AddSample(status);
        events.push_back({RunEventKind::Sampled, current->record});
    }
    if (turn.resumes) {
        RunRecord& run = current->record;
        run.state = RunState::Running;
        run.endCause = EndCause::None;
        AddSample(status);
        events.push_back({RunEventKind::Continued, run});
    }
    if (turn.opens) {
        OpenRun(status, wallMs, turn.fromRest, events);
    }

    if (current) {
        RunRecord& run = current->record;
        if (run.IsOpen() && !running) {
            End(CauseOfStop(status), events);
        } else if (run.state == RunState::Stopped && run.endCause == EndCause::Module &&
                   (status.statusFlags & flags::kTempPowerOff) != 0 &&
                   elapsed == run.durationSeconds) {
            // The power-off flag showed a record after the stop.
            run.endCause = EndCause::Temperature;
            current->dirty = true;
            events.push_back({RunEventKind::Ended, run});
        }
    }
    lastRunning = running;

    Persist(wallMs);
    return events;
}

std::vector<RunEvent> CJournalRecorder::OnLeaving(std::int64_t wallMs) {
    std::vector<RunEvent> events;
    if (current && current->record.state == RunState::Running) {
        current->record.state = RunState::Interrupted;
        current->dirty = true;
        current->confirm = true;
        events.push_back({RunEventKind::Interrupted, current->record});
    }
    connected = false;
    awaitingFirstStatus = false;
    Flush(wallMs);
    return events;
}

void CJournalRecorder::ConfirmOpenRun(const StatusRecord& status, std::vector<RunEvent>& events) {
    if (current && current->record.port != port) {
        // Another port, so probably another module: the run of the old one ends here.
        if (current->record.IsOpen()) {
            End(EndCause::LinkLost, events);
        }
        Release();
    }
    if (!current && journal.IsOpen()) {
        // An earlier program may have left a run open on this port.
        std::optional<RunRecord> latest = journal.LatestRunOnPort(port);
        if (latest && latest->IsOpen()) {
            current.emplace();
            current->record = std::move(*latest);
            current->energy = CRunEnergy(current->record.energyUj, current->record.durationSeconds);
            current->confirm = true;
            current->fromJournal = true;
            if (current->record.rest) {
                // An earlier program's rest: its clock went with that program.
                End(EndCause::LinkLost, events);
                Release();
                return;
            }
        }
    }
    if (!current || !current->confirm) {
        return;
    }
    current->confirm = false;
    RunRecord& run = current->record;
    if (run.rest) {
        // The link came back during a rest: it goes on while the module stays idle.
        if ((status.statusFlags & flags::kRunning) == 0) {
            events.push_back({RunEventKind::Continued, run});
        } else {
            EndRest(EndCause::LinkLost, events);
        }
        return;
    }
    if (GoesOnAfterGap({run.durationSeconds, run.IsOpen(), run.charge}, status)) {
        // The module's clock went on from where the run was left: the same run goes on.
        if (run.state != RunState::Running) {
            run.state = RunState::Running;
            current->dirty = true;
        }
        takenUp = std::exchange(current->fromJournal, false);
        events.push_back({RunEventKind::Continued, run});
    } else {
        End(EndCause::LinkLost, events);
        Release();
    }
}

void CJournalRecorder::OpenRun(const StatusRecord& status, std::int64_t wallMs, bool fromRest,
                               std::vector<RunEvent>& events) {
    current.emplace();
    RunRecord& run = current->record;
    run.startedUtc = wallMs / 1000 - status.elapsedSeconds;
    run.port = port;
    run.charge = status.params[4] != 0;
    run.params = status.params;
    run.program = programMark;
    // A stop or reset sent before this run began stopped the one before it, not this one.
    stopCommandMs.reset();
    if (fromRest) {
        // The curve's point 0: the cell at rest, the last reading while the time stood at 0.
        StatusRecord rest = restRecord;
        rest.elapsedSeconds = 0;
        rest.voltageMv = restVoltageMv;
        AddSample(rest);
    }
    AddSample(status);
    Persist(wallMs);
    events.push_back({RunEventKind::Opened, run});
}

void CJournalRecorder::AddSample(const StatusRecord& status) {
    RunRecord& run = current->record;
    JournalSample sample;
    sample.seconds = status.elapsedSeconds;
    sample.voltageMv = status.voltageMv;
    sample.currentMa = status.currentMa;
    sample.capacityMah = status.capacityMah;
    sample.temperature = status.temperature;
    sample.rinMohm = status.rinMohm;
    sample.statusFlags = status.statusFlags;
    if (run.sampleCount == 0) {
        run.startMv = sample.voltageMv;
        run.maxTemperature = sample.temperature;
        current->energy = CRunEnergy();
    }
    current->energy.Add(sample.seconds, sample.voltageMv, sample.currentMa);
    run.energyUj = current->energy.Uj();
    sample.energyUj = run.energyUj;
    run.durationSeconds = sample.seconds;
    run.capacityMah = sample.capacityMah;
    run.endMv = sample.voltageMv;
    if ((sample.statusFlags & flags::kRinHeld) != 0) {
        run.rinMohm = sample.rinMohm;
    }
    run.maxTemperature = std::max(run.maxTemperature, sample.temperature);
    ++run.sampleCount;
    current->dirty = true;
    if (!current->deleted) {
        current->unsaved.push_back(sample);
        if (UnsavedSamples() > kMaxUnsavedSamples) {
            DropOldestUnsaved();
        }
    }
}

EndCause CJournalRecorder::CauseOfStop(const StatusRecord& status) {
    if ((status.statusFlags & flags::kTempPowerOff) != 0) {
        return EndCause::Temperature;
    }
    if (!stopCommandMs) {
        return EndCause::Module;
    }
    return stopByProgram ? EndCause::Program : EndCause::Operator;
}

void CJournalRecorder::End(EndCause cause, std::vector<RunEvent>& events) {
    RunRecord& run = current->record;
    run.state = RunState::Stopped;
    run.endCause = cause;
    current->dirty = true;
    current->confirm = false;
    stopCommandMs.reset();
    events.push_back({RunEventKind::Ended, run});
}

void CJournalRecorder::Release() {
    if (!current) {
        return;
    }
    if (!current->deleted && (current->dirty || !current->unsaved.empty())) {
        released.push_back({std::move(current->record), std::move(current->unsaved)});
    }
    current.reset();
}

void CJournalRecorder::Persist(std::int64_t wallMs) {
    const bool currentWaits =
        current && !current->deleted && (current->dirty || !current->unsaved.empty());
    if ((released.empty() && !currentWaits) || wallMs < nextAttemptMs) {
        return;
    }
    Flush(wallMs);
}

void CJournalRecorder::OnJournalRenewed() {
    for (Unsaved& run : released) {
        run.record.id = 0;
    }
    if (current) {
        current->record.id = 0;
        current->deleted = false;
        current->dirty = true;
    }
    // The failure that found the damage is answered by the renewal itself.
    failing = false;
    nextAttemptMs = 0;
    problem.clear();
}

bool CJournalRecorder::Flush(std::int64_t wallMs) {
    bool written = journal.IsOpen();
    while (written && !released.empty()) {
        Unsaved& next = released.front();
        if (journal.SaveRun(next.record, next.samples) == CJournal::SaveResult::Failed) {
            written = false;
        } else {
            released.pop_front();
        }
    }
    if (written && current && !current->deleted && (current->dirty || !current->unsaved.empty())) {
        switch (journal.SaveRun(current->record, current->unsaved)) {
            case CJournal::SaveResult::Saved:
                current->unsaved.clear();
                current->dirty = false;
                break;
            case CJournal::SaveResult::Gone:
                // Deleted by the operator while it ran: it is followed to its end, not revived.
                current->deleted = true;
                current->unsaved.clear();
                current->dirty = false;
                break;
            case CJournal::SaveResult::Failed:
                written = false;
                break;
        }
    }
    if (written) {
        failing = false;
        nextAttemptMs = 0;
        return true;
    }
    nextAttemptMs = wallMs + kRetryMs;
    if (!failing && journal.IsOpen()) {
        failing = true;
        problem = Text::tr(
                      "Журнал испытаний %1 не записывается: %2.\nПоказания ждут в "
                      "памяти, запись будет повторена.")
                      .arg(QDir::toNativeSeparators(journal.Path()), journal.LastError());
    }
    return false;
}

void CJournalRecorder::DropOldestUnsaved() {
    // A long outage: drop an eighth at once rather than one sample a second from a long array.
    std::size_t drop = kMaxUnsavedSamples / 8;
    for (Unsaved& run : released) {
        const std::size_t n = std::min(drop, run.samples.size());
        run.samples.erase(run.samples.begin(), run.samples.begin() + static_cast<long>(n));
        drop -= n;
    }
    if (drop > 0 && current) {
        const std::size_t n = std::min(drop, current->unsaved.size());
        current->unsaved.erase(current->unsaved.begin(),
                               current->unsaved.begin() + static_cast<long>(n));
    }
    if (!lostSamples) {
        lostSamples = true;
        problem = Text::tr(
                      "Журнал испытаний %1 давно не записывается: самые старые "
                      "показания, ждавшие записи, отброшены.")
                      .arg(QDir::toNativeSeparators(journal.Path()));
    }
}

std::optional<TakenUpRun> CJournalRecorder::TakeTakenUpRun() {
    if (!std::exchange(takenUp, false) || !current || current->record.id == 0 ||
        !journal.IsOpen()) {
        return std::nullopt;
    }
    std::optional<std::vector<JournalSample>> saved = journal.Samples(current->record.id);
    if (!saved) {
        return std::nullopt;
    }
    TakenUpRun run{current->record, std::move(*saved)};
    // What could not be written yet comes after what was.
    run.samples.insert(run.samples.end(), current->unsaved.begin(), current->unsaved.end());
    return run;
}

std::size_t CJournalRecorder::UnsavedSamples() const {
    std::size_t count = current ? current->unsaved.size() : 0;
    for (const Unsaved& run : released) {
        count += run.samples.size();
    }
    return count;
}

QString CJournalRecorder::TakeProblem() {
    return std::exchange(problem, QString());
}

}  // namespace brimvolt
