#include "plot/CurveGrid.h"

#include "plot/CurveStore.h"

#include <algorithm>

namespace brimvolt {

namespace {

constexpr int kPixelsPerDivision = 20;

VoltageGrid GridForStep(MillivoltRange range, int stepMv) {
    VoltageGrid grid;
    grid.stepMv = stepMv;
    grid.top = range.highest / stepMv + 1;
    grid.bottom = range.lowest / stepMv;
    grid.divisions = grid.top - grid.bottom;
    return grid;
}

bool Fits(const VoltageGrid& grid, int maxPlotHeight) {
    return maxPlotHeight / grid.divisions >= kPixelsPerDivision;
}

// Ceiling of a positive duration over a positive divisor, safe near INT32_MAX.
std::int32_t CeilDiv(std::int32_t value, std::int32_t divisor) {
    return value / divisor + (value % divisor != 0 ? 1 : 0);
}

struct DivisionRow {
    int secondsPerPixel;
    int divisions;
    int labelStep;
};

// The scales that give round labels; every other scale gets ten divisions.
constexpr DivisionRow kDivisionRows[] = {
    {1, 10, 1},    {2, 10, 2},    {3, 15, 2},    {18, 15, 2},   {4, 8, 5},    {24, 8, 5},
    {5, 10, 5},    {6, 12, 5},    {36, 12, 5},   {7, 14, 5},    {42, 14, 5},  {8, 16, 5},
    {48, 16, 5},   {9, 9, 10},    {54, 9, 10},   {10, 10, 10},  {11, 11, 10}, {66, 11, 10},
    {12, 12, 10},  {72, 12, 10},  {78, 13, 10},  {84, 14, 10},  {90, 15, 10}, {96, 16, 10},
    {102, 17, 10}, {108, 18, 10}, {114, 19, 10}, {180, 15, 20},
};

}  // namespace

std::int32_t LastReadableIndex(const CurveStore& store) {
    const auto readable = static_cast<std::int64_t>(
        std::min(store.sampleTimes.size(), store.sampleMillivolts.size()));
    if (readable == 0) {
        return -1;
    }
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(store.lastIndex, 0, readable - 1));
}

MillivoltRange SampleMillivoltRange(const CurveStore& store) {
    const std::int32_t last = LastReadableIndex(store);
    if (last < 0) {
        return {0, 0};
    }
    // In fixed blocks, which the compiler vectorises: a week-long curve is read at every paint.
    constexpr std::size_t kBlock = 64;
    const std::uint16_t* millivolts = store.sampleMillivolts.data();
    const auto count = static_cast<std::size_t>(last) + 1;
    std::uint16_t lowest = 0xFFFF;
    std::uint16_t highest = 0;
    std::size_t i = 0;
    for (; i + kBlock <= count; i += kBlock) {
        std::uint16_t blockLowest = lowest;
        std::uint16_t blockHighest = highest;
        for (std::size_t k = 0; k < kBlock; ++k) {
            blockLowest = std::min(blockLowest, millivolts[i + k]);
            blockHighest = std::max(blockHighest, millivolts[i + k]);
        }
        lowest = blockLowest;
        highest = blockHighest;
    }
    for (; i < count; ++i) {
        lowest = std::min(lowest, millivolts[i]);
        highest = std::max(highest, millivolts[i]);
    }
    return {lowest, highest};
}

VoltageGrid ChooseVoltageGrid(const CurveStore& store, int maxPlotHeight) {
    return ChooseVoltageGrid(SampleMillivoltRange(store), maxPlotHeight);
}

VoltageGrid ChooseVoltageGrid(MillivoltRange range, int maxPlotHeight) {
    // Samples are unsigned 16-bit, so the quotient of the extremes is the extreme of the
    // quotients, and a step of 100 V is past every sample.
    range.lowest = std::clamp(range.lowest, 0, 65535);
    range.highest = std::clamp(range.highest, range.lowest, 65535);
    // 1-2-5 from 10 mV. Once a step exceeds every sample the grid is one division; from then
    // on nothing can get smaller, so the search always ends.
    static constexpr int kMantissas[] = {1, 2, 5};
    int decade = 10;
    for (;;) {
        for (int mantissa : kMantissas) {
            const VoltageGrid grid = GridForStep(range, mantissa * decade);
            if (Fits(grid, maxPlotHeight) || grid.divisions == 1) {
                return grid;
            }
        }
        decade *= 10;
    }
}

TimeScale ChooseTimeScale(std::int32_t durationSeconds) {
    TimeScale scale;
    if (durationSeconds <= 7200) {
        scale.secondsPerPixel = durationSeconds > 0 ? CeilDiv(durationSeconds, 600) : 1;
        scale.unitText = QStringLiteral("Минуты  ");
    } else if (durationSeconds <= 72000) {
        scale.secondsPerPixel = 6 * CeilDiv(durationSeconds, 3600);
        scale.unitText = QStringLiteral("Часы    ");
    } else {
        scale.secondsPerPixel = 60 * CeilDiv(durationSeconds, 36000);
        scale.unitText = QStringLiteral("Часы    ");
    }
    scale.divisions = 10;
    scale.labelStep = scale.secondsPerPixel / 6;
    for (const DivisionRow& row : kDivisionRows) {
        if (row.secondsPerPixel == scale.secondsPerPixel) {
            scale.divisions = row.divisions;
            scale.labelStep = row.labelStep;
            break;
        }
    }
    return scale;
}

QString VoltageLabel(const VoltageGrid& grid, int k) {
    const std::int64_t millivolts = static_cast<std::int64_t>(k + grid.bottom) * grid.stepMv;
    return QString::asprintf("%.2fV", static_cast<double>(millivolts) / 1000.0);
}

QString TimeLabel(const TimeScale& scale, int j) {
    const std::int64_t steps = static_cast<std::int64_t>(scale.labelStep) * j;
    if (scale.secondsPerPixel > 12) {
        // Tenths of an hour: whole hours without a decimal.
        const double hours = static_cast<double>(steps) / 10.0;
        return QString::asprintf(steps % 10 == 0 ? "%.0f" : "%.1f", hours);
    }
    return QString::asprintf("%lld", static_cast<long long>(steps));
}

}  // namespace brimvolt
