#include "grading/CellGrading.h"

#include <QCoreApplication>
#include <QHash>
#include <QLocale>
#include <algorithm>
#include <cmath>

#include "journal/Journal.h"

namespace brimvolt {

namespace {

constexpr double kSecondsPerDay = 86400;

}  // namespace

std::optional<double> CellStorage::DropMv() const {
    if (!first || !latest) {
        return std::nullopt;
    }
    return first->millivolts - latest->millivolts;
}

std::optional<double> CellStorage::Days() const {
    if (!first || !latest) {
        return std::nullopt;
    }
    return static_cast<double>(latest->atUtc - first->atUtc) / kSecondsPerDay;
}

std::optional<double> CellStorage::DropMvPerDay() const {
    const std::optional<double> days = Days();
    if (state != State::Measured || !days || *days <= 0) {
        return std::nullopt;
    }
    return *DropMv() / *days;
}

CellStorage StorageOfCell(std::span<const CheckRecord> checks,
                          const std::optional<LastRunOfCell>& lastRun) {
    CellStorage storage;
    int since = 0;
    for (const CheckRecord& check : checks) {
        if (lastRun && check.atUtc < lastRun->endUtc) {
            continue;  // before the latest run: that run ended its storage
        }
        if (!storage.first) {
            storage.first = check;
        }
        storage.latest = check;
        ++since;
    }
    if (since == 0) {
        storage.state = lastRun && lastRun->charge ? CellStorage::State::NotCheckedSinceCharge
                                                   : CellStorage::State::NoCheck;
    } else {
        storage.state = since == 1 ? CellStorage::State::Begun : CellStorage::State::Measured;
    }
    return storage;
}

std::vector<CellStorage> StoragesOfCells(const std::vector<CellRecord>& cells,
                                         const std::vector<CheckRecord>& checks,
                                         const QHash<std::int64_t, LastRunOfCell>& lastRuns) {
    // Checks come by cell and time from the journal; keep them so whatever their order.
    std::vector<const CheckRecord*> ordered;
    ordered.reserve(checks.size());
    for (const CheckRecord& check : checks) {
        ordered.push_back(&check);
    }
    std::stable_sort(
        ordered.begin(), ordered.end(), [](const CheckRecord* a, const CheckRecord* b) {
            return a->cellId != b->cellId ? a->cellId < b->cellId : a->atUtc < b->atUtc;
        });
    QHash<std::int64_t, std::pair<std::size_t, std::size_t>> checksOfCell;  // [begin, end)
    std::vector<CheckRecord> byCell;
    byCell.reserve(ordered.size());
    for (const CheckRecord* check : ordered) {
        auto& range = checksOfCell[check->cellId];
        if (range.first == range.second) {
            range = {byCell.size(), byCell.size()};
        }
        byCell.push_back(*check);
        range.second = byCell.size();
    }

    std::vector<CellStorage> storages;
    storages.reserve(cells.size());
    for (const CellRecord& cell : cells) {
        std::optional<LastRunOfCell> last;
        if (const auto run = lastRuns.constFind(cell.id); run != lastRuns.constEnd()) {
            last = *run;
        }
        const auto range = checksOfCell.value(cell.id);
        storages.push_back(StorageOfCell(
            std::span<const CheckRecord>(byCell.data() + range.first, range.second - range.first),
            last));
    }
    return storages;
}

QString GradingNumber(double value, int decimals) {
    QString text = QLocale().toString(value, 'f', decimals);
    const QString point = QLocale().decimalPoint();
    if (decimals > 0 && text.contains(point)) {
        while (text.endsWith(QLatin1Char('0'))) {
            text.chop(1);
        }
        if (text.endsWith(point)) {
            text.chop(point.size());
        }
    }
    return text;
}

CellGrade GradeCell(const GradeBoundsRecord& bounds, std::optional<double> sharePercent,
                    std::optional<double> rinMohm, const CellStorage& storage) {
    if (rinMohm && bounds.maxRinMohm && *rinMohm > *bounds.maxRinMohm) {
        return {Grade::Reject,
                QCoreApplication::translate("Grading", "Rin %1 мОм > %2")
                    .arg(GradingNumber(*rinMohm, 0), GradingNumber(*bounds.maxRinMohm))};
    }
    const std::optional<double> rate = storage.DropMvPerDay();
    const std::optional<double> days = storage.Days();
    if (rate && bounds.maxDropMvPerDay && *days >= bounds.minStorageDays &&
        *rate > *bounds.maxDropMvPerDay) {
        return {Grade::Reject,
                QCoreApplication::translate("Grading", "саморазряд %1 мВ/сут > %2")
                    .arg(GradingNumber(*rate, 2), GradingNumber(*bounds.maxDropMvPerDay, 2))};
    }
    if (!sharePercent) {
        return {Grade::None, QString()};
    }
    const QString share = GradingNumber(*sharePercent);
    const std::pair<Grade, double> steps[] = {{Grade::A, bounds.aSharePercent},
                                              {Grade::B, bounds.bSharePercent},
                                              {Grade::C, bounds.cSharePercent}};
    for (const auto& [grade, lowest] : steps) {
        if (*sharePercent >= lowest) {
            return {grade, QCoreApplication::translate("Grading", "ёмкость %1 % ≥ %2")
                               .arg(share, GradingNumber(lowest))};
        }
    }
    return {Grade::Reject, QCoreApplication::translate("Grading", "ёмкость %1 % < %2")
                               .arg(share, GradingNumber(bounds.cSharePercent))};
}

QString GradeText(Grade grade) {
    switch (grade) {
        case Grade::A:
            return QStringLiteral("A");
        case Grade::B:
            return QStringLiteral("B");
        case Grade::C:
            return QStringLiteral("C");
        case Grade::Reject:
            return QCoreApplication::translate("Grading", "брак");
        case Grade::None:
            break;
    }
    return QString();
}

QString GradeWord(Grade grade) {
    return grade == Grade::Reject ? QStringLiteral("reject") : GradeText(grade);
}

std::optional<Grade> GradeOfWord(const QString& word) {
    for (const Grade grade : {Grade::A, Grade::B, Grade::C, Grade::Reject}) {
        if (word.compare(GradeWord(grade), Qt::CaseInsensitive) == 0 ||
            word.compare(GradeText(grade), Qt::CaseInsensitive) == 0 ||
            (grade == Grade::Reject && word == QStringLiteral("брак"))) {
            return grade;
        }
    }
    return std::nullopt;
}

int GradeRank(Grade grade) {
    switch (grade) {
        case Grade::A:
            return 0;
        case Grade::B:
            return 1;
        case Grade::C:
            return 2;
        case Grade::Reject:
            return 3;
        case Grade::None:
            break;
    }
    return 4;
}

bool GradeAtLeast(Grade grade, Grade lowest) {
    return grade != Grade::None && grade != Grade::Reject && GradeRank(grade) <= GradeRank(lowest);
}

std::vector<GradedCell> GradeCells(const std::vector<CellRecord>& cells,
                                   const std::vector<RunRecord>& runs,
                                   const std::vector<RunCellLink>& links,
                                   const std::vector<CheckRecord>& checks,
                                   const GradeBoundsSet& bounds) {
    const std::vector<CellSummary> summaries = SummarizeCells(cells, runs, links);
    QHash<std::int64_t, std::int64_t> cellOfRun;
    cellOfRun.reserve(static_cast<qsizetype>(links.size()));
    for (const RunCellLink& link : links) {
        cellOfRun.insert(link.runId, link.cellId);
    }
    // The latest run of each cell that is not a rest, by its start.
    QHash<std::int64_t, const RunRecord*> lastRun;
    for (const RunRecord& run : runs) {
        const auto cell = cellOfRun.constFind(run.id);
        if (run.rest || cell == cellOfRun.constEnd()) {
            continue;
        }
        const RunRecord*& latest = lastRun[*cell];
        if (!latest || run.startedUtc > latest->startedUtc ||
            (run.startedUtc == latest->startedUtc && run.id > latest->id)) {
            latest = &run;
        }
    }
    QHash<std::int64_t, LastRunOfCell> lastRuns;
    lastRuns.reserve(lastRun.size());
    for (auto run = lastRun.constBegin(); run != lastRun.constEnd(); ++run) {
        lastRuns.insert(run.key(), {run.value()->startedUtc + run.value()->durationSeconds,
                                    run.value()->charge});
    }
    std::vector<CellStorage> storages = StoragesOfCells(cells, checks, lastRuns);

    std::vector<GradedCell> graded;
    graded.reserve(summaries.size());
    for (const CellSummary& summary : summaries) {
        GradedCell cell;
        cell.summary = summary;
        cell.storage = std::move(storages[graded.size()]);
        if (summary.lastCapacityMah && summary.cell.nominalMah > 0) {
            cell.sharePercent = 100.0 * *summary.lastCapacityMah / summary.cell.nominalMah;
        }
        std::optional<double> rin;
        if (summary.lastRinMohm) {
            rin = *summary.lastRinMohm;
        }
        cell.grade = GradeCell(BoundsOf(bounds, summary.cell.chemistry), cell.sharePercent, rin,
                               cell.storage);
        graded.push_back(std::move(cell));
    }
    return graded;
}

std::optional<GradingInput> ReadGradingInput(CJournal& journal) {
    GradingInput input;
    if (!journal.HasCellRegister()) {
        // A journal from before the register: no cells to grade.
        if (!journal.LastError().isEmpty()) {
            return std::nullopt;
        }
        input.bounds = GradeBoundsWith({});
        return input;
    }
    auto cells = journal.Cells();
    auto runs = journal.Runs();
    auto links = journal.RunCells();
    auto checks = journal.Checks();
    auto stored = journal.StoredGradeBounds();
    if (!cells || !runs || !links || !checks || !stored) {
        return std::nullopt;
    }
    input.cells = std::move(*cells);
    input.runs = std::move(*runs);
    input.links = std::move(*links);
    input.checks = std::move(*checks);
    input.bounds = GradeBoundsWith(*stored);
    return input;
}

}  // namespace brimvolt
