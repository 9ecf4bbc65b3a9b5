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
    });
}

void CJournalWriter::Status(const StatusRecord& status, std::int64_t wallMs) {
    Post([this, status, wallMs] {
        OpenJournal(wallMs);
        FollowIfReplaced(wallMs);
        const std::vector<RunEvent> events = recorder.OnStatus(status, wallMs);
        RenewIfDamaged(wallMs);
        Report(events);
    });
}

void CJournalWriter::CommandSent(char command, std::int64_t wallMs) {
    Post([this, command, wallMs] { recorder.OnCommandSent(command, wallMs); });
}

void CJournalWriter::LinkLost(std::int64_t wallMs) {
    Post([this, wallMs] { recorder.OnLinkLost(wallMs); });
}

void CJournalWriter::Leaving(std::int64_t wallMs) {
    Post([this, wallMs] {
        FollowIfReplaced(wallMs);
        const std::vector<RunEvent> events = recorder.OnLeaving(wallMs);
        RenewIfDamaged(wallMs);
        Report(events);
    });
}

void CJournalWriter::SetNextCell(const QString& name) {
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
        if (event.kind == RunEventKind::Opened) {
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
            emit Problem(tr("Журнал испытаний %1 записан более новой версией "
                            "программы и оставлен как есть.\nИспытания в журнал не "
                            "записываются.")
                             .arg(shown));
            return false;
        case CJournal::OpenStatus::NotAJournal:
            retryOpen = false;
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
