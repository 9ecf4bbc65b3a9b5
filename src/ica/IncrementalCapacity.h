#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "journal/RunRecord.h"

namespace brimvolt {

/** One reading of a run for the analysis: seconds from its start, volts, amperes (magnitude). */
struct IcaSample {
    double seconds = 0.0;
    double volts = 0.0;
    double amps = 0.0;
};

struct IcaOptions {
    double gridVolts = 0.001;  // the voltage grid's step
    double fwhmVolts = 0.010;  // the Gaussian's full width at half maximum; 0: no smoothing
    /**
     * A peak counts when it stands this share of the highest one above the higher of its feet:
     * on each side the lowest point before higher ground or a rise of that share.
     */
    double minProminence = 0.05;
};

struct IcaPeak {
    double volts = 0.0;
    double heightMahPerVolt = 0.0;
    double areaMah = 0.0;  // between its feet
};

/** Fewer readings than this make no curve worth reading. */
inline constexpr std::size_t kMinIcaSamples = 10;

/** A run's readings for the analysis: its seconds, volts and amperes. */
std::vector<IcaSample> IcaSamplesOf(std::span<const JournalSample> samples);

/** dQ/dV on a voltage grid: value k stands at firstVolts + k · gridVolts. */
struct IcaCurve {
    double firstVolts = 0.0;
    double gridVolts = 0.001;
    std::vector<double> dqdvMahPerVolt;
    double totalMah = 0.0;  // the charge moved, integrated from the current
    std::vector<IcaPeak> peaks;

    double VoltsAt(std::size_t k) const { return firstVolts + static_cast<double>(k) * gridVolts; }
};

/**
 * The incremental capacity of one charge or discharge: the charge moved between two readings
 * (integrated from the current, trapezoid) is spread evenly over the voltage interval they span,
 * so the curve's area is the charge whatever the sampling; then smoothed (the Gaussian keeps the
 * area) and its peaks found. Readings out of time order or not finite are skipped.
 */
IcaCurve IncrementalCapacity(const std::vector<IcaSample>& samples, const IcaOptions& options = {});
/**
 * An unsmoothed curve (fwhmVolts 0) smoothed by the options and its peaks found, as
 * IncrementalCapacity would give it: a new width costs the grid, not the readings.
 */
IcaCurve Resmoothed(const IcaCurve& unsmoothed, const IcaOptions& options);

struct DvdqOptions {
    double gridMah = 1.0;  // the capacity grid's step
    /**
     * The Gaussian's full width at half maximum; 0: no smoothing. The module reads whole
     * millivolts, and a 1 Ah cell's plateau moves a millivolt every 10 mAh or so: narrower than
     * a few such steps, their ripple moves the plateau's flattest point by tens of mAh.
     */
    double fwhmMah = 40.0;
};

/** dV/dQ on a capacity grid: value k covers k · gridMah to (k + 1) · gridMah from the start. */
struct DvdqCurve {
    double gridMah = 1.0;
    std::vector<double> dvdqVoltsPerAh;  // positive where the voltage moves the run's way
    double totalMah = 0.0;

    double MahAt(std::size_t k) const { return (static_cast<double>(k) + 0.5) * gridMah; }
};

/**
 * The differential voltage of one charge or discharge: the readings' voltage against the
 * charge integrated from their current, taken on the capacity grid, differenced and smoothed.
 */
DvdqCurve DifferentialVoltage(const std::vector<IcaSample>& samples,
                              const DvdqOptions& options = {});

/** The curve's main peak: the highest one; none when the curve has no peak. */
std::optional<IcaPeak> MainPeak(const IcaCurve& curve);

}  // namespace brimvolt
