#include "journalview/CellTableModel.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <algorithm>
#include <cmath>

namespace brimvolt {

namespace {

// Below any number, so a cell without the value sorts first going up.
constexpr double kNone = -1e18;

template <typename T>
QVariant Key(const std::optional<T>& value) {
    return value ? QVariant(static_cast<double>(*value)) : QVariant(kNone);
}

// A storage without a rate sorts below every rate, in the order the table reads it: nothing
// known, charged and not checked since, begun with one check, two checks in the same second.
double NoRateKey(CellStorage::State state) {
    switch (state) {
        case CellStorage::State::NoCheck:
            return kNone;
        case CellStorage::State::NotCheckedSinceCharge:
            return 0.9 * kNone;
        case CellStorage::State::Begun:
            return 0.8 * kNone;
        case CellStorage::State::Measured:
            break;
    }
    return 0.7 * kNone;
}

// Light enough for black text, told apart at a glance: green to red.
QColor GradeColor(Grade grade) {
    switch (grade) {
        case Grade::A:
            return QColor(0xd4, 0xf0, 0xd4);
        case Grade::B:
            return QColor(0xe6, 0xf2, 0xc4);
        case Grade::C:
            return QColor(0xfa, 0xec, 0xc2);
        case Grade::Reject:
            return QColor(0xf7, 0xd0, 0xd0);
        case Grade::None:
            break;
    }
    return QColor();
}

QString CheckText(const CheckRecord& check) {
    return CCellTableModel::tr("%1, %2 мВ")
        .arg(QDateTime::fromSecsSinceEpoch(check.atUtc)
                 .toLocalTime()
                 .toString(QStringLiteral("yyyy-MM-dd HH:mm")),
             QString::number(check.millivolts, 'f', 1));
}

}  // namespace

std::optional<double> CellRow::FadePercent() const {
    if (discharges < 2 || !summary.firstCapacityMah || *summary.firstCapacityMah <= 0) {
        return std::nullopt;
    }
    return 100.0 * (*summary.firstCapacityMah - summary.lastCapacityMah.value_or(0)) /
           *summary.firstCapacityMah;
}

std::optional<double> CellRow::SharePercent() const {
    if (!summary.lastCapacityMah || summary.cell.nominalMah <= 0) {
        return std::nullopt;
    }
    return 100.0 * *summary.lastCapacityMah / summary.cell.nominalMah;
}

CellState CellRow::State(int weakPercent) const {
    if (summary.cell.retired) {
        return CellState::Retired;
    }
    if (!summary.lastCapacityMah) {
        return CellState::Untested;
    }
    // Exact in whole numbers: 2000 of 2500 at 80 % is not weak.
    const std::int64_t nominal = summary.cell.nominalMah;
    return nominal > 0 && std::int64_t{*summary.lastCapacityMah} * 100 < nominal * weakPercent
               ? CellState::Weak
               : CellState::Good;
}

std::vector<CellRow> CellRows(const std::vector<CellRecord>& cells,
                              const std::vector<RunRecord>& runs,
                              const QHash<std::int64_t, QString>& cellOfRun,
                              const std::vector<CheckRecord>& checks) {
    // The summary's own rules (SummarizeCells), in one pass that also takes what the tab adds:
    // runs in the order they started, the last discharge and Rin the latest that gave one.
    std::vector<CellRow> rows;
    rows.reserve(cells.size());
    QHash<std::int64_t, LastRunOfCell> lastRuns;
    QHash<QString, std::size_t> rowOfName;
    rowOfName.reserve(static_cast<qsizetype>(cells.size()));
    for (const CellRecord& cell : cells) {
        rowOfName.insert(cell.name, rows.size());
        CellRow row;
        row.summary.cell = cell;
        rows.push_back(std::move(row));
    }
    std::vector<std::pair<const RunRecord*, std::size_t>> ordered;
    ordered.reserve(static_cast<std::size_t>(cellOfRun.size()));
    for (const RunRecord& run : runs) {
        const auto name = cellOfRun.constFind(run.id);
        if (name == cellOfRun.constEnd()) {
            continue;
        }
        if (const auto row = rowOfName.constFind(*name); row != rowOfName.constEnd()) {
            ordered.emplace_back(&run, *row);
        }
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) {
        return a.first->startedUtc != b.first->startedUtc
                   ? a.first->startedUtc < b.first->startedUtc
                   : a.first->id < b.first->id;
    });
    for (const auto& [run, at] : ordered) {
        CellRow& row = rows[at];
        CellSummary& summary = row.summary;
        ++summary.runs;
        summary.lastTestUtc = run->startedUtc;
        if (!run->rest) {
            // The latest started ends the cell's storage: a charge begins a new one.
            lastRuns.insert(summary.cell.id, {run->startedUtc + run->durationSeconds, run->charge});
        }
        row.maxTemperature = std::max(row.maxTemperature.value_or(0), run->maxTemperature);
        if (run->rinMohm > 0) {
            summary.lastRinMohm = run->rinMohm;
        }
        if (run->IsCapacityTest()) {
            if (!summary.firstCapacityMah) {
                summary.firstCapacityMah = run->capacityMah;
            }
            summary.lastCapacityMah = run->capacityMah;
            ++row.discharges;
            row.lastEnergyUj = run->energyUj;
            // mWh over mAh: the mean voltage over the discharge.
            const double millivolts = EnergyMwh(run->energyUj) / run->capacityMah * 1000.0;
            row.meanVoltageMv =
                static_cast<std::uint16_t>(std::lround(std::clamp(millivolts, 0.0, 65535.0)));
        }
    }
    std::vector<CellStorage> storages = StoragesOfCells(cells, checks, lastRuns);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].storage = std::move(storages[i]);
    }
    return rows;
}

QString CellStateText(CellState state) {
    switch (state) {
        case CellState::Good:
            return CCellTableModel::tr("годная");
        case CellState::Weak:
            return CCellTableModel::tr("слабая");
        case CellState::Retired:
            return CCellTableModel::tr("списана");
        case CellState::Untested:
            return CCellTableModel::tr("не испытана");
    }
    return QString();
}

QString SelfDischargeText(const CellStorage& storage) {
    switch (storage.state) {
        case CellStorage::State::NotCheckedSinceCharge:
            return CCellTableModel::tr("не проверена после заряда");
        case CellStorage::State::Begun:
            return CCellTableModel::tr("одна проверка");
        case CellStorage::State::Measured:
            if (const std::optional<double> rate = storage.DropMvPerDay()) {
                return QString::number(*rate, 'f', 2);
            }
            break;
        case CellStorage::State::NoCheck:
            break;
    }
    return QString();
}

CCellTableModel::CCellTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void CCellTableModel::SetCells(std::vector<CellRow> rows) {
    for (CellRow& row : rows) {
        Grade(row);
    }
    beginResetModel();
    cells = std::move(rows);
    endResetModel();
}

void CCellTableModel::SetGradeBounds(const GradeBoundsSet& newBounds) {
    if (newBounds == bounds) {
        return;
    }
    bounds = newBounds;
    for (CellRow& row : cells) {
        Grade(row);
    }
    if (!cells.empty()) {
        emit dataChanged(index(0, kGrade), index(rowCount() - 1, kRule));
    }
}

void CCellTableModel::Grade(CellRow& row) const {
    std::optional<double> rin;
    if (row.summary.lastRinMohm) {
        rin = *row.summary.lastRinMohm;
    }
    row.grade = GradeCell(BoundsOf(bounds, row.summary.cell.chemistry), row.SharePercent(), rin,
                          row.storage);
}

void CCellTableModel::SetWeakPercent(int percent) {
    percent = std::clamp(percent, 1, 100);
    if (percent == weakPercent) {
        return;
    }
    weakPercent = percent;
    if (!cells.empty()) {
        emit dataChanged(index(0, kState), index(rowCount() - 1, kState));
    }
}

int CCellTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(cells.size());
}

int CCellTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CCellTableModel::Display(const CellRow& row, int column) const {
    const CellSummary& s = row.summary;
    switch (column) {
        case kName:
            return s.cell.name;
        case kRuns:
            return QString::number(s.runs);
        case kNominal:
            return s.cell.nominalMah > 0 ? QString::number(s.cell.nominalMah) : QString();
        case kLastCapacity:
            return s.lastCapacityMah ? QString::number(*s.lastCapacityMah) : QString();
        case kShare:
            return row.SharePercent() ? QString::number(*row.SharePercent(), 'f', 0) : QString();
        case kFirstCapacity:
            return s.firstCapacityMah ? QString::number(*s.firstCapacityMah) : QString();
        case kFade:
            return row.FadePercent() ? QString::number(*row.FadePercent(), 'f', 1) : QString();
        case kEnergy:
            return row.lastEnergyUj ? QString::number(EnergyMwh(*row.lastEnergyUj) / 1000.0, 'f', 3)
                                    : QString();
        case kMeanVoltage:
            return row.meanVoltageMv ? QString::number(*row.meanVoltageMv / 1000.0, 'f', 3)
                                     : QString();
        case kRin:
            return s.lastRinMohm ? QString::number(*s.lastRinMohm) : QString();
        case kMaxTemperature:
            return row.maxTemperature ? QString::number(*row.maxTemperature) : QString();
        case kState:
            return CellStateText(row.State(weakPercent));
        case kSelfDischarge:
            return SelfDischargeText(row.storage);
        case kStorageDays:
            return row.storage.Days() ? QString::number(*row.storage.Days(), 'f', 1) : QString();
        case kGrade:
            return GradeText(row.grade.grade);
        case kRule:
            return row.grade.rule;
        default:
            return {};
    }
}

QVariant CCellTableModel::SortKey(const CellRow& row, int column) const {
    const CellSummary& s = row.summary;
    switch (column) {
        case kRuns:
            return s.runs;
        case kNominal:
            return s.cell.nominalMah;
        case kLastCapacity:
            return Key(s.lastCapacityMah);
        case kShare:
            return Key(row.SharePercent());
        case kFirstCapacity:
            return Key(s.firstCapacityMah);
        case kFade:
            return Key(row.FadePercent());
        case kEnergy:
            return Key(row.lastEnergyUj);
        case kMeanVoltage:
            return Key(row.meanVoltageMv);
        case kRin:
            return Key(s.lastRinMohm);
        case kMaxTemperature:
            return Key(row.maxTemperature);
        case kState:
            return static_cast<int>(row.State(weakPercent));
        case kSelfDischarge: {
            const std::optional<double> rate = row.storage.DropMvPerDay();
            return rate ? *rate : NoRateKey(row.storage.state);
        }
        case kStorageDays:
            return Key(row.storage.Days());
        case kGrade:
            return GradeRank(row.grade.grade);
        default:
            return Display(row, column);
    }
}

QVariant CCellTableModel::ToolTip(const CellRow& row, int column) const {
    const CellStorage& storage = row.storage;
    switch (column) {
        case kName:
            return row.summary.cell.note.isEmpty() ? QVariant() : QVariant(row.summary.cell.note);
        case kSelfDischarge:
        case kStorageDays:
            if (storage.state == CellStorage::State::NotCheckedSinceCharge) {
                return tr("Заряжена и с тех пор не проверена: хранение начнётся с первой проверки");
            }
            if (storage.state == CellStorage::State::Begun) {
                return tr("Хранение начато проверкой %1; саморазряд даст следующая")
                    .arg(CheckText(*storage.first));
            }
            if (storage.state == CellStorage::State::Measured) {
                return tr("Первая проверка: %1\nпоследняя: %2\nпотеряно %3 мВ")
                    .arg(CheckText(*storage.first), CheckText(*storage.latest),
                         QString::number(storage.DropMv().value_or(0), 'f', 1));
            }
            return {};
        case kGrade:
        case kRule: {
            if (row.grade.grade == Grade::None) {
                return tr("Сорт не дан: нет разряда с известным номиналом");
            }
            QString tip = row.grade.rule;
            const GradeBoundsRecord& own = BoundsOf(bounds, row.summary.cell.chemistry);
            const std::optional<double> days = storage.Days();
            if (storage.DropMvPerDay() && own.maxDropMvPerDay && *days < own.minStorageDays) {
                tip += QLatin1Char('\n') +
                       tr("Саморазряд не оценён: хранение %1 сут < %2")
                           .arg(GradingNumber(*days), GradingNumber(own.minStorageDays));
            }
            return tip;
        }
        default:
            return {};
    }
}

QVariant CCellTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const CellRow& row = RowAt(index.row());
    switch (role) {
        case Qt::DisplayRole:
            return Display(row, index.column());
        case Qt::ToolTipRole:
            return ToolTip(row, index.column());
        case Qt::TextAlignmentRole:
            if (index.column() == kGrade) {
                return QVariant(Qt::AlignCenter);
            }
            return (index.column() > kName && index.column() < kState) ||
                           index.column() == kSelfDischarge || index.column() == kStorageDays
                       ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                       : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        case Qt::BackgroundRole:
            return index.column() == kGrade && row.grade.grade != Grade::None
                       ? QVariant(QBrush(GradeColor(row.grade.grade)))
                       : QVariant();
        case Qt::ForegroundRole:
            // Black on the light colour whatever the palette, a dark one included.
            return index.column() == kGrade && row.grade.grade != Grade::None
                       ? QVariant(QBrush(Qt::black))
                       : QVariant();
        case kSortRole:
            return SortKey(row, index.column());
        case kFilterRole:
            return row.summary.cell.name + QLatin1Char('\n') + row.summary.cell.maker +
                   QLatin1Char('\n') + row.summary.cell.note;
        default:
            return {};
    }
}

QVariant CCellTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
        case kName:
            return tr("Ячейка");
        case kRuns:
            return tr("Испытаний");
        case kNominal:
            return tr("Номинал, мА·ч");
        case kLastCapacity:
            return tr("Емкость, мА·ч");
        case kShare:
            return tr("% номинала");
        case kFirstCapacity:
            return tr("Первая, мА·ч");
        case kFade:
            return tr("Спад, %");
        case kEnergy:
            return tr("Энергия, Вт·ч");
        case kMeanVoltage:
            return tr("U ср., В");
        case kRin:
            return tr("Rвн, мОм");
        case kMaxTemperature:
            return tr("t макс., °C");
        case kState:
            return tr("Состояние");
        case kSelfDischarge:
            return tr("Саморазряд, мВ/сут");
        case kStorageDays:
            return tr("Дней хранения");
        case kGrade:
            return tr("Сорт");
        case kRule:
            return tr("Правило");
        default:
            return {};
    }
}

}  // namespace brimvolt
