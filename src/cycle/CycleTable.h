#pragma once

#include <QByteArray>
#include <QString>
#include <span>

#include "cycle/CycleResult.h"

// The results of a test program, one row per cycle, for a spreadsheet and for a terminal. A
// value the cycle did not give is an empty field; numbers never depend on the process locale.

namespace brimvolt {

/**
 * CSV with "\r\n" line ends: a header line `cycle,charge_mAh,discharge_mAh,
 * coulombic_efficiency,energy_efficiency,rin_mOhm,max_temperature_C,dqdv_peak_V,
 * dqdv_peak_mAh_per_V`, then one line per cycle; efficiencies are fractions with 4 decimals, the
 * dQ/dV peak's voltage has 3 and its height 1.
 */
QByteArray CyclesCsv(std::span<const CycleResult> cycles);

/**
 * The same columns separated by tabs, one line per cycle under the same header, "\n" line
 * ends; efficiencies in percent with 1 decimal ("97.1%").
 */
QString CyclesText(std::span<const CycleResult> cycles);

}  // namespace brimvolt
