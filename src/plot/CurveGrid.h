#pragma once

#include <QString>
#include <cstdint>

namespace brimvolt {

struct CurveStore;

/** Voltage grid of the plot: `divisions` rows of `stepMv`, from bottom x step to top x step. */
struct VoltageGrid {
    int stepMv;
    int bottom;
    int top;
    int divisions;

    friend bool operator==(const VoltageGrid&, const VoltageGrid&) = default;
};

/** Lowest and highest millivolts among samples 0..lastIndex. */
struct MillivoltRange {
    int lowest;
    int highest;
};

/** Time axis: seconds per pixel, its caption, the number of divisions and the label step. */
struct TimeScale {
    int secondsPerPixel;
    QString unitText;
    int divisions;
    int labelStep;  // minutes per division, or tenths of an hour in hours mode
};

/**
 * Index of the last sample that may be read: lastIndex bounded by the arrays, so a store with
 * a damaged lastIndex never reads out of range. -1 only when the arrays are empty.
 */
std::int32_t LastReadableIndex(const CurveStore& store);

MillivoltRange SampleMillivoltRange(const CurveStore& store);

/**
 * The finest step of the 1-2-5 series from 10 mV up whose grid gives every division at least
 * 20 pixels of maxPlotHeight. Steps beyond 500 mV keep a wide-ranging curve on the screen. When
 * nothing can fit (maxPlotHeight below 20), the finest step that gives a single division.
 */
VoltageGrid ChooseVoltageGrid(const CurveStore& store, int maxPlotHeight);
VoltageGrid ChooseVoltageGrid(MillivoltRange range, int maxPlotHeight);

/** Time scale for a curve of durationSeconds; zero or negative durations get 1 s per pixel. */
TimeScale ChooseTimeScale(std::int32_t durationSeconds);

/** Text beside horizontal grid line k (0..divisions, from the bottom). */
QString VoltageLabel(const VoltageGrid& grid, int k);

/** Text under vertical grid line j (0..divisions). */
QString TimeLabel(const TimeScale& scale, int j);

}  // namespace brimvolt
