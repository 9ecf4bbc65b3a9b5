#pragma once

#include <span>

#include "journal/RunRecord.h"
#include "plot/ComparisonFigure.h"

namespace brimvolt {

/**
 * A run of the journal as a curve of the comparison: its samples against time, capacity and
 * energy, labelled with the run's label (or its number and port when it has none), with its
 * start and totals for the legend.
 */
FigureCurve FigureCurveOfRun(const RunRecord& run, std::span<const JournalSample> samples);

}  // namespace brimvolt
