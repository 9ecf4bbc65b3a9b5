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
    /** A peak counts when it stands this share of the highest one above its higher minimum. */
    double minProminence = 0.05;
};

struct IcaPeak {
    double volts = 0.0;
    double heightMahPerVolt = 0.0;
    double areaMah = 0.0;  // between the neighbouring minima
};

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

/** The readings of a journal run as the analysis takes them: seconds, volts, amperes. */
std::vector<IcaSample> IcaSamplesOf(std::span<const JournalSample> samples);
/** The highest peak: for a discharge, the one a cell's ageing moves and shrinks first. */
std::optional<IcaPeak> MainPeak(const IcaCurve& curve);

}  // namespace brimvolt
