#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "grading/CellGrading.h"
#include "journal/CellSummary.h"

namespace brimvolt {

/** What the cells tab says of a cell. */
enum class CellState : std::uint8_t {
    Good,      // its last discharge gave the share of its nominal or more (or no nominal is known)
    Weak,      // below the share of its nominal
    Retired,   // marked so in the register, whatever it gives
    Untested,  // no discharge yet
};

/** A cell and what its runs say, for a row of the cells tab. */
struct CellRow {
    CellSummary summary;
    int discharges = 0;                          // runs that gave a capacity
    std::optional<std::int64_t> lastEnergyUj;    // of the last of them
    std::optional<std::uint16_t> meanVoltageMv;  // of the last of them: energy over capacity
    std::optional<std::uint8_t> maxTemperature;  // of all its runs
    CellStorage storage;                         // since its latest run that was no rest
    CellGrade grade;                             // by the bounds of the table it is in

    /** (first - last) / first in %, when two discharges or more give it. */
    std::optional<double> FadePercent() const;
    /** The last capacity as a share of the nominal, in %, when both are known. */
    std::optional<double> SharePercent() const;
    CellState State(int weakPercent) const;
};

/**
 * A row per cell, in the register's order; `cellOfRun` names each run's cell. The rows are not
 * graded yet: the table grades them by its bounds.
 */
std::vector<CellRow> CellRows(const std::vector<CellRecord>& cells,
                              const std::vector<RunRecord>& runs,
                              const QHash<std::int64_t, QString>& cellOfRun,
                              const std::vector<CheckRecord>& checks = {});

/** "Ячейки": the register's cells as table rows, read only. */
class CCellTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        kName,
        kRuns,
        kNominal,
        kLastCapacity,
        kShare,
        kFirstCapacity,
        kFade,
        kEnergy,
        kMeanVoltage,
        kRin,
        kMaxTemperature,
        kState,
        kSelfDischarge,
        kStorageDays,
        kGrade,
        kRule,
        kColumnCount
    };
    static constexpr int kSortRole = Qt::UserRole;
    /** Name, maker and note together, what the filter looks in. */
    static constexpr int kFilterRole = Qt::UserRole + 1;
    static constexpr int kDefaultWeakPercent = 80;

    explicit CCellTableModel(QObject* parent = nullptr);

    /** The rows, graded by the table's bounds. */
    void SetCells(std::vector<CellRow> rows);
    /** Grades every row again by these bounds, from what the rows hold. */
    void SetGradeBounds(const GradeBoundsSet& bounds);
    const GradeBoundsSet& GradeBounds() const { return bounds; }
    /** A cell is weak below this share of its nominal. */
    void SetWeakPercent(int percent);
    int WeakPercent() const { return weakPercent; }
    const CellRow& RowAt(int row) const { return cells[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QVariant Display(const CellRow& row, int column) const;
    QVariant SortKey(const CellRow& row, int column) const;
    QVariant ToolTip(const CellRow& row, int column) const;
    void Grade(CellRow& row) const;

    std::vector<CellRow> cells;
    GradeBoundsSet bounds = GradeBoundsWith({});
    int weakPercent = kDefaultWeakPercent;
};

/** "годная", "слабая", "списана", "не испытана". */
QString CellStateText(CellState state);
/**
 * The self-discharge column: the rate in mV a day, "одна проверка" for a storage just begun,
 * "не проверена после заряда" for a cell charged and not checked since; empty for none.
 */
QString SelfDischargeText(const CellStorage& storage);

}  // namespace brimvolt
