#include "journalview/RunTableModel.h"

#include <QDateTime>
#include <algorithm>

#include "journal/JournalExport.h"

namespace brimvolt {

namespace {

QString Volts(std::uint16_t millivolts) {
    return QString::number(millivolts / 1000.0, 'f', 3);
}

}  // namespace

QString RunKindText(const RunRecord& run) {
    if (run.rest) {
        return CRunTableModel::tr("Отдых");
    }
    return run.charge ? CRunTableModel::tr("Заряд") : CRunTableModel::tr("Разряд");
}

QString RunStateText(RunState state) {
    switch (state) {
        case RunState::Running:
            return CRunTableModel::tr("идет");
        case RunState::Stopped:
            return CRunTableModel::tr("завершен");
        case RunState::Interrupted:
            return CRunTableModel::tr("прерван");
    }
    return QString();
}

QString RunStartText(std::int64_t startedUtc) {
    return QDateTime::fromSecsSinceEpoch(startedUtc)
        .toLocalTime()
        .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString RunName(const RunRecord& run) {
    if (!run.label.isEmpty()) {
        return run.label;
    }
    return CRunTableModel::tr("№%1 от %2").arg(run.id).arg(RunStartText(run.startedUtc));
}

CRunTableModel::CRunTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void CRunTableModel::SetRuns(std::vector<RunRecord> newRuns,
                             QHash<std::int64_t, QString> cellNames) {
    beginResetModel();
    runs = std::move(newRuns);
    cells = std::move(cellNames);
    IndexRows();
    endResetModel();
}

void CRunTableModel::IndexRows() {
    rows.clear();
    rows.reserve(static_cast<qsizetype>(runs.size()));
    for (std::size_t i = 0; i < runs.size(); ++i) {
        rows.insert(runs[i].id, static_cast<int>(i));
    }
}

void CRunTableModel::UpdateRun(const RunRecord& run) {
    const int row = RowOf(run.id);
    if (row < 0) {
        const int end = static_cast<int>(runs.size());
        beginInsertRows(QModelIndex(), end, end);
        runs.push_back(run);
        rows.insert(run.id, end);
        endInsertRows();
        return;
    }
    RunRecord& held = runs[static_cast<std::size_t>(row)];
    const QString label = held.label;
    const QString note = held.note;
    held = run;
    held.label = label;
    held.note = note;
    emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
}

void CRunTableModel::SetCell(std::int64_t runId, const QString& name) {
    if (name.isEmpty()) {
        cells.remove(runId);
    } else {
        cells.insert(runId, name);
    }
    if (const int row = RowOf(runId); row >= 0) {
        emit dataChanged(index(row, kCell), index(row, kCell));
    }
}

void CRunTableModel::RemoveRuns(std::span<const std::int64_t> runIds) {
    beginResetModel();
    std::erase_if(runs, [&](const RunRecord& run) {
        return std::find(runIds.begin(), runIds.end(), run.id) != runIds.end();
    });
    for (std::int64_t id : runIds) {
        cells.remove(id);
    }
    IndexRows();
    endResetModel();
}

int CRunTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(runs.size());
}

int CRunTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CRunTableModel::Display(const RunRecord& run, int column) const {
    switch (column) {
        case kStart:
            return RunStartText(run.startedUtc);
        case kPort:
            return run.port;
        case kKind:
            return RunKindText(run);
        case kLabel:
            return run.label;
        case kCell:
            return cells.value(run.id);
        case kCapacity:
            return QString::number(run.capacityMah);
        case kEnergy:
            return QString::number(EnergyMwh(run.energyUj) / 1000.0, 'f', 3);
        case kDuration:
            return DurationText(run.durationSeconds);
        case kStartVoltage:
            return Volts(run.startMv);
        case kEndVoltage:
            return Volts(run.endMv);
        case kRin:
            return run.rinMohm == 0 ? QString() : QString::number(run.rinMohm);
        case kMaxTemperature:
            return QString::number(run.maxTemperature);
        case kState:
            return RunStateText(run.state);
        case kNote:
            // One line in the table; the editor still gets the whole note.
            return QString(run.note).replace(QLatin1Char('\n'), QLatin1Char(' '));
        default:
            return {};
    }
}

QVariant CRunTableModel::SortKey(const RunRecord& run, int column) const {
    switch (column) {
        case kStart:
            // Runs started in the same second keep the journal's order.
            return QVariant::fromValue(run.startedUtc * 1'000'000 + run.id % 1'000'000);
        case kCapacity:
            return run.capacityMah;
        case kEnergy:
            return QVariant::fromValue(run.energyUj);
        case kDuration:
            return run.durationSeconds;
        case kStartVoltage:
            return run.startMv;
        case kEndVoltage:
            return run.endMv;
        case kRin:
            return run.rinMohm;
        case kMaxTemperature:
            return run.maxTemperature;
        case kState:
            return static_cast<int>(run.state);
        default:
            return Display(run, column);
    }
}

QVariant CRunTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(runs.size())) {
        return {};
    }
    const RunRecord& run = RunAt(index.row());
    switch (role) {
        case Qt::DisplayRole:
            return Display(run, index.column());
        case Qt::EditRole:
            return index.column() == kNote ? run.note : Display(run, index.column());
        case Qt::ToolTipRole:
            return index.column() == kNote && !run.note.isEmpty() ? QVariant(run.note) : QVariant();
        case Qt::TextAlignmentRole:
            return index.column() >= kCapacity && index.column() <= kMaxTemperature
                       ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                       : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        case kSortRole:
            return SortKey(run, index.column());
        case kFilterRole:
            return run.label + QLatin1Char('\n') + cells.value(run.id) + QLatin1Char('\n') +
                   run.note;
        default:
            return {};
    }
}

QVariant CRunTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
        case kStart:
            return tr("Начало");
        case kPort:
            return tr("Порт");
        case kKind:
            return tr("Вид");
        case kLabel:
            return tr("Метка");
        case kCell:
            return tr("Ячейка");
        case kCapacity:
            return tr("Емкость, мА·ч");
        case kEnergy:
            return tr("Энергия, Вт·ч");
        case kDuration:
            return tr("Длительность");
        case kStartVoltage:
            return tr("U нач., В");
        case kEndVoltage:
            return tr("U кон., В");
        case kRin:
            return tr("Rвн, мОм");
        case kMaxTemperature:
            return tr("t макс., °C");
        case kState:
            return tr("Состояние");
        case kNote:
            return tr("Примечание");
        default:
            return {};
    }
}

Qt::ItemFlags CRunTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    if (index.column() == kLabel || index.column() == kCell || index.column() == kNote) {
        result |= Qt::ItemIsEditable;
    }
    return result;
}

bool CRunTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || !(flags(index) & Qt::ItemIsEditable) ||
        !saveText) {
        return false;
    }
    RunRecord& run = runs[static_cast<std::size_t>(index.row())];
    if (index.column() == kCell) {
        // A scanned or typed name: what is on the sleeve, without the spaces around it.
        const QString name = value.toString().trimmed();
        if (name == cells.value(run.id)) {
            return true;
        }
        if (!saveText(run.id, kCell, name)) {
            return false;
        }
        SetCell(run.id, name);
        return true;
    }
    const QString text = value.toString();
    QString& held = index.column() == kLabel ? run.label : run.note;
    if (text == held) {
        return true;
    }
    if (!saveText(run.id, static_cast<Column>(index.column()), text)) {
        return false;
    }
    held = text;
    emit dataChanged(index, index);
    return true;
}

}  // namespace brimvolt
