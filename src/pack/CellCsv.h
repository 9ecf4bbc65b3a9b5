#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "pack/Packing.h"

namespace brimvolt {

/** Cells read from a CSV, or the first line refused and why. */
struct CellCsvResult {
    std::vector<PackCell> cells;
    int errorLine = 0;  // 1-based; 0: no error
    QString error;

    bool Ok() const { return error.isEmpty(); }
};

/** Files of cells larger than this are refused before they are read. */
constexpr qint64 kMaxCellCsvBytes = qint64{16} << 20;
constexpr int kMaxCsvCells = 100000;

/**
 * Cells from a CSV of `name,capacity_mAh,rin_mOhm` as any program may write it: a header line
 * first, "," or ";" between fields (the header's choice; with ";" a decimal comma is read too),
 * fields quoted with '"' where they hold a separator, an empty Rin for none, blank lines skipped.
 * A line that is not a cell is refused with its number; so is a name given twice.
 */
CellCsvResult ParseCellCsv(const QByteArray& bytes);

/**
 * The plan as CSV: `group,cell,capacity_mAh,rin_mOhm`, a line per cell of the pack (groups
 * from 1, in the plan's order), then the spares with an empty group.
 */
QByteArray PlanCsv(const PackPlan& plan, const std::vector<PackCell>& cells);

/** A number as the CSV writes it: shortest form, "." for the decimal point. */
QString CsvNumber(double value);

/** A computed figure as a summary shows it: `decimals` places, "." for the point, never "-0". */
QString FixedNumber(double value, int decimals);
/** The same without the zeros that end the decimals: "5010", "4985.5". */
QString RoundedNumber(double value, int decimals);

}  // namespace brimvolt
