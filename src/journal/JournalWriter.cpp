#include "journal/JournalWriter.h"

#include <QDateTime>
#include <QDir>
#include <algorithm>
#include <utility>

namespace brimvolt {

namespace {

std::int64_t Now() {
    return QDateTime::currentMSecsSinceEpoch();
}

}  // namespace

CJournalWriter::CJournalWriter(const QString& journalPath) : path(journalPath) {
    thread.setObjectName(QStringLiteral("journal"));
    moveToThread(&thread);
}

void CJournalWriter::Start() {
    if (started) {
        return;
    }
    started = true;
    thread.start();
    // Opened (and checked) first, before the first run needs it. Times are the callers' from
    // here on: a failure now is tried again with the first call that passes one. Nothing is
    // posted before the thread runs: its event loop would not wake for it.
    QMetaObject::invokeMethod(
        this, [this] { OpenJournal(0); }, Qt::QueuedConnection);
}

CJournalWriter::~CJournalWriter() {
    // Queued behind everything passed in before, so all of it is written first.
    Post([this] {
        const std::vector<RunEvent> events = recorder.OnLeaving(Now());
        PauseProgram();
        RenewIfDamaged(Now());
        Report(events);
        journal.Close();
        thread.quit();
    });
    thread.wait();
}

void CJournalWriter::Post(std::function<void()> work) {
    Start();
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void CJournalWriter::ModuleFound(const QString& port, std::int64_t wallMs) {
    Post([this, port, wallMs] {
        OpenJournal(wallMs);
        recorder.OnModuleFound(port, wallMs);
        this->port = port;
        OfferUnfinishedProgram(port);
    });
}

void CJournalWriter::Status(const StatusRecord& status, std::int64_t wallMs) {
    Post([this, status, wallMs] {
        OpenJournal(wallMs);
        FollowIfReplaced(wallMs);
        const std::vector<RunEvent> events = recorder.OnStatus(status, wallMs);
        RenewIfDamaged(wallMs);
        Report(events);
        if (std::optional<TakenUpRun> takenUp = recorder.TakeTakenUpRun()) {
            emit RunTakenUp(*takenUp);
        }
        if (programDirty) {
            SaveProgram();
        }
    });
}

void CJournalWriter::CommandSent(char command, std::int64_t wallMs, bool byProgram) {
    Post([this, command, wallMs, byProgram] {
        recorder.OnCommandSent(command, wallMs, byProgram);
    });
}

void CJournalWriter::ProgramBegun(const ProgramRecord& begun, std::int64_t wallMs) {
    Post([this, begun, wallMs] {
        OpenJournal(wallMs);
        program = begun;
        resumedProgram = begun.id != 0;
        program->state = ProgramRunState::Running;
        if (program->cell.isEmpty()) {
            program->cell = nextCell;
        }
        if (program->startedUtc == 0) {
            program->startedUtc = wallMs / 1000;
        }
        if (program->port.isEmpty()) {
            program->port = port;
        }
        programCell = program->cell;
        SaveProgram();
        programsOffered.append(program->id);
    });
}

void CJournalWriter::ProgramStep(std::int32_t step, std::int32_t cycle,
                                 const std::vector<std::int32_t>& passes, bool rest, bool rin,
                                 std::int64_t wallMs) {
    Post([this, step, cycle, passes, rest, rin, wallMs] {
        if (!program) {
            return;
        }
        program->step = step;
        program->cycle = cycle;
        program->passesLeft = passes;
        program->cyclesDone = cycle - 1;
        program->state = ProgramRunState::Running;
        SaveProgram();
        const ProgramMark mark{program->id, cycle, step, rin};
        Report(recorder.OnProgramStep(mark, rest, wallMs, std::exchange(resumedProgram, false)));
    });
}

void CJournalWriter::ProgramState(ProgramRunState state, std::int32_t cyclesDone,
                                  const QString& reason, std::int64_t wallMs) {
    Post([this, state, cyclesDone, reason, wallMs] {
        if (!program) {
            return;
        }
        program->state = state;
        program->cyclesDone = cyclesDone;
        program->endReason = reason;
        SaveProgram();
        if (state == ProgramRunState::Finished || state == ProgramRunState::Ended) {
            Report(recorder.OnProgramOver(wallMs));
            if (!programDirty) {
                program.reset();
            }
        }
    });
}

void CJournalWriter::AbandonProgram(std::int64_t id, const QString& reason) {
    Post([this, id, reason] {
        std::optional<ProgramRecord> left = journal.IsOpen() ? journal.Program(id) : std::nullopt;
        if (left && left->state != ProgramRunState::Finished) {
            left->state = ProgramRunState::Ended;
            left->endReason = reason;
            journal.SaveProgram(*left);
        }
    });
}

void CJournalWriter::PauseProgram() {
    if (program && program->state == ProgramRunState::Running) {
        // Left during the program: the next start offers to go on from this step.
        program->state = ProgramRunState::Paused;
        SaveProgram();
    }
}

void CJournalWriter::SaveProgram() {
    if (!program) {
        return;
    }
    // Opened for recording, the journal has the program tables already.
    programDirty = !journal.IsOpen() || !journal.SaveProgram(*program);
    if (!programDirty &&
        (program->state == ProgramRunState::Finished || program->state == ProgramRunState::Ended)) {
        program.reset();
    }
}

void CJournalWriter::OfferUnfinishedProgram(const QString& port) {
    if (program || !journal.IsOpen()) {
        return;
    }
    const std::optional<std::vector<ProgramRecord>> programs = journal.Programs();
    if (!programs) {
        return;
    }
    for (auto latest = programs->rbegin(); latest != programs->rend(); ++latest) {
        if (latest->port != port) {
            continue;
        }
        const bool unfinished = latest->state == ProgramRunState::Running ||
                                latest->state == ProgramRunState::Paused;
        if (unfinished && !programsOffered.contains(latest->id)) {
            programsOffered.append(latest->id);
            const std::optional<std::vector<RunRecord>> runs = journal.Runs();
            // The peaks want every discharge's samples: read here, off the window's thread.
            const auto samplesOf = [this](std::int64_t runId) { return journal.Samples(runId); };
            emit UnfinishedProgram(*latest, runs ? CyclesOfProgram(*runs, latest->id, samplesOf)
                                                 : std::vector<CycleResult>{});
        }
        return;
    }
}

void CJournalWriter::LinkLost(std::int64_t wallMs) {
    Post([this, wallMs] { recorder.OnLinkLost(wallMs); });
}

void CJournalWriter::Leaving(std::int64_t wallMs) {
    Post([this, wallMs] {
        FollowIfReplaced(wallMs);
        const std::vector<RunEvent> events = recorder.OnLeaving(wallMs);
        PauseProgram();
        RenewIfDamaged(wallMs);
        Report(events);
    });
}

void CJournalWriter::SetNextCell(const QString& name) {
    emit NextCellSet(name);
    Post([this, name] {
        nextCell = name;
        const RunRecord* run = recorder.CurrentRun();
        if (!name.isEmpty() && run != nullptr && run->state == RunState::Running &&
            !CurrentRunHasCell()) {
            pendingCell = name;
            pendingIsNext = false;
            GiveCell();
        }
    });
}

void CJournalWriter::AddCheck(const CheckRecord& check, const QString& cell) {
    Post([this, check, cell] { WriteCheck(check, cell); });
}

void CJournalWriter::AddProgramCheck(const CheckRecord& check) {
    Post([this, check] {
        if (!programCell.isEmpty()) {
            WriteCheck(check, programCell);
        }
    });
}

void CJournalWriter::WriteCheck(CheckRecord check, const QString& cell) {
    const std::int64_t wallMs = Now();
    OpenJournal(wallMs);
    FollowIfReplaced(wallMs);
    if (!journal.IsOpen()) {
        emit CheckFailed(cell, tr("журнал испытаний недоступен"));
        return;
    }
    if (journal.AddCheck(check, cell)) {
        emit CheckAdded(check, cell);
        return;
    }
    const QString reason = journal.LastError();
    RenewIfDamaged(wallMs);
    emit CheckFailed(cell, reason);
}

bool CJournalWriter::CurrentRunHasCell() {
    const RunRecord* run = recorder.CurrentRun();
    if (run == nullptr || run->id == 0 || !journal.IsOpen()) {
        return false;
    }
    const std::optional<std::vector<RunCellLink>> links = journal.RunCells();
    return links && std::any_of(links->begin(), links->end(),
                                [&](const RunCellLink& link) { return link.runId == run->id; });
}

void CJournalWriter::GiveCell() {
    const RunRecord* run = recorder.CurrentRun();
    if (pendingCell.isEmpty() || run == nullptr || run->id == 0 || !journal.IsOpen()) {
        return;
    }
    if (journal.SetRunCell(run->id, pendingCell)) {
        emit CellGiven(run->id, pendingCell, pendingIsNext);
    } else if (!journal.LastError().isEmpty()) {
        return;  // tried again with the next reading
    }
    pendingCell.clear();
    pendingIsNext = false;
}

void CJournalWriter::WaitUntilHandled() {
    Start();
    QMetaObject::invokeMethod(
        this, [] {}, Qt::BlockingQueuedConnection);
}

void CJournalWriter::Report(const std::vector<RunEvent>& events) {
    for (const RunEvent& event : events) {
        emit RunChanged(event);
        if (event.kind != RunEventKind::Opened) {
            continue;
        }
        if (program && event.run.program.programId == program->id && !program->cell.isEmpty()) {
            // Every run of a test program belongs to the cell it tests.
            pendingCell = program->cell;
            pendingIsNext = nextCell == program->cell;
            if (pendingIsNext) {
                nextCell.clear();
            }
        } else {
            // A cell given to the run before stays with it; the next cell goes to this one.
            pendingCell = nextCell;
            pendingIsNext = !nextCell.isEmpty();
            nextCell.clear();
        }
    }
    GiveCell();
    const QString problem = recorder.TakeProblem();
    if (!problem.isEmpty()) {
        emit Problem(problem);
    }
}

void CJournalWriter::OpenJournal(std::int64_t wallMs) {
    if (journal.IsOpen() || !retryOpen || wallMs < nextOpenMs) {
        return;
    }
    if (Opened(journal.Open(path), wallMs)) {
        // What waited in memory goes in now, and a later outage is reported anew.
        unavailableReported = false;
        recorder.Flush(wallMs);
    }
}

void CJournalWriter::FollowIfReplaced(std::int64_t wallMs) {
    if (!journal.Replaced()) {
        return;
    }
    // Another program sharing the journal set it aside and began a new one: the runs go on in
    // the new one, not in the file kept for rescue.
    journal.Close();
    recorder.OnJournalRenewed();
    if (Opened(journal.Open(path), wallMs)) {
        recorder.Flush(wallMs);
    }
}

void CJournalWriter::RenewIfDamaged(std::int64_t wallMs) {
    if (!journal.Damaged()) {
        return;
    }
    const CJournal::OpenResult result = journal.SetAsideAndRenew();
    recorder.OnJournalRenewed();
    if (Opened(result, wallMs)) {
        recorder.Flush(wallMs);
    }
}

bool CJournalWriter::Opened(const CJournal::OpenResult& result, std::int64_t wallMs) {
    const QString shown = QDir::toNativeSeparators(path);
    switch (result.status) {
        case CJournal::OpenStatus::Opened:
            return true;
        case CJournal::OpenStatus::SetAside:
            emit Problem(
                tr("Журнал испытаний %1 был повреждён (%2).\nОн сохранён "
                   "под именем %3, начат новый журнал.")
                    .arg(shown, result.reason, QDir::toNativeSeparators(result.setAsidePath)));
            return true;
        case CJournal::OpenStatus::Newer:
            retryOpen = false;
            unusable = true;
            emit Problem(tr("Журнал испытаний %1 записан более новой версией "
                            "программы и оставлен как есть.\nИспытания в журнал не "
                            "записываются.")
                             .arg(shown));
            return false;
        case CJournal::OpenStatus::NotAJournal:
            retryOpen = false;
            unusable = true;
            emit Problem(tr("Файл %1 не является журналом испытаний и оставлен как "
                            "есть.\nИспытания в журнал не записываются.")
                             .arg(shown));
            return false;
        case CJournal::OpenStatus::Damaged:
        case CJournal::OpenStatus::Missing:
        case CJournal::OpenStatus::Unavailable:
            nextOpenMs = wallMs + kReopenMs;
            if (!unavailableReported) {
                unavailableReported = true;
                emit Problem(tr("Журнал испытаний %1 недоступен: %2.\nИспытания "
                                "продолжаются, запись в журнал будет повторена.")
                                 .arg(shown, result.reason));
            }
            return false;
    }
    return false;
}

}  // namespace brimvolt
