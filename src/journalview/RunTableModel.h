#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QString>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "journal/RunRecord.h"

namespace brimvolt {

/**
 * The journal's runs as table rows, in the order the journal gave them. Label and note are
 * edited in place: an edit goes to `saveText` first and shows only once it is saved.
 */
class CRunTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        kStart,
        kPort,
        kKind,
        kLabel,
        kCell,
        kCapacity,
        kEnergy,
        kDuration,
        kStartVoltage,
        kEndVoltage,
        kRin,
        kMaxTemperature,
        kState,
        kNote,
        kColumnCount
    };
    /** A value to sort by: numbers as numbers, texts as they read. */
    static constexpr int kSortRole = Qt::UserRole;
    /** Label, cell and note together, what the filter looks in. */
    static constexpr int kFilterRole = Qt::UserRole + 1;

    /**
     * Saves a run's label (kLabel), cell (kCell, the name trimmed; empty frees the run) or note
     * (kNote); false leaves the row as it was.
     */
    using SaveText = std::function<bool(std::int64_t runId, Column column, const QString& text)>;

    explicit CRunTableModel(QObject* parent = nullptr);

    void SetSaveText(SaveText save) { saveText = std::move(save); }
    /** The runs, and the name of the cell of each run that has one. */
    void SetRuns(std::vector<RunRecord> runs, QHash<std::int64_t, QString> cellNames = {});
    /** The run's cell was set elsewhere (the next cell): its row shows it. */
    void SetCell(std::int64_t runId, const QString& name);
    /** The name of the run's cell, empty for none. */
    QString CellOf(std::int64_t runId) const { return cells.value(runId); }
    const QHash<std::int64_t, QString>& CellNames() const { return cells; }
    /**
     * A run recorded just now: its row is brought up to date, or added. Label and note stay as
     * the table holds them, since they are edited here and not by the recorder.
     */
    void UpdateRun(const RunRecord& run);
    void RemoveRuns(std::span<const std::int64_t> runIds);

    const RunRecord& RunAt(int row) const { return runs[static_cast<std::size_t>(row)]; }
    const std::vector<RunRecord>& Runs() const { return runs; }
    /** The row of the run, or -1. */
    int RowOf(std::int64_t runId) const { return rows.value(runId, -1); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    QVariant Display(const RunRecord& run, int column) const;
    QVariant SortKey(const RunRecord& run, int column) const;
    void IndexRows();

    std::vector<RunRecord> runs;
    QHash<std::int64_t, int> rows;
    QHash<std::int64_t, QString> cells;  // by run
    SaveText saveText;
};

/** "Разряд" or "Заряд". */
QString RunKindText(const RunRecord& run);
/** What the table says of a run's state. */
QString RunStateText(RunState state);
/** The start in local time, to the minute. */
QString RunStartText(std::int64_t startedUtc);
/** How a run is named to the operator: its label, or its number and start. */
QString RunName(const RunRecord& run);

}  // namespace brimvolt
