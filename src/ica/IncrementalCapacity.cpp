#include "ica/IncrementalCapacity.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace brimvolt {

namespace {

constexpr double kSecondsPerHour = 3600.0;
// A curve longer than this many grid steps is refused rather than sized from the data.
constexpr double kMaxGridSteps = 1e6;

double SigmaOfFwhm(double fwhm) {
    return fwhm / (2.0 * std::sqrt(2.0 * std::log(2.0)));
}

std::vector<double> Smoothed(const std::vector<double>& values, double sigmaSteps) {
    if (sigmaSteps <= 0.0 || values.empty()) {
        return values;
    }
    const auto reach = static_cast<std::ptrdiff_t>(std::ceil(4.0 * sigmaSteps));
    std::vector<double> kernel(static_cast<std::size_t>(2 * reach + 1));
    double sum = 0.0;
    for (std::ptrdiff_t j = -reach; j <= reach; ++j) {
        const double x = static_cast<double>(j) / sigmaSteps;
        kernel[static_cast<std::size_t>(j + reach)] = std::exp(-0.5 * x * x);
        sum += kernel[static_cast<std::size_t>(j + reach)];
    }
    for (double& k : kernel) {
        k /= sum;
    }
    // Spread each value over its neighbours: what falls off the grid's ends is kept at the ends,
    // so the area stays the charge.
    const auto n = static_cast<std::ptrdiff_t>(values.size());
    std::vector<double> out(values.size(), 0.0);
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        if (values[static_cast<std::size_t>(i)] == 0.0) {
            continue;
        }
        for (std::ptrdiff_t j = -reach; j <= reach; ++j) {
            const std::ptrdiff_t at = std::clamp<std::ptrdiff_t>(i + j, 0, n - 1);
            out[static_cast<std::size_t>(at)] +=
                values[static_cast<std::size_t>(i)] * kernel[static_cast<std::size_t>(j + reach)];
        }
    }
    return out;
}

std::vector<IcaSample> Usable(const std::vector<IcaSample>& samples) {
    std::vector<IcaSample> kept;
    kept.reserve(samples.size());
    for (const IcaSample& s : samples) {
        if (!std::isfinite(s.seconds) || !std::isfinite(s.volts) || !std::isfinite(s.amps) ||
            (!kept.empty() && s.seconds < kept.back().seconds)) {
            continue;
        }
        kept.push_back(s);
    }
    return kept;
}

double MahBetween(const IcaSample& a, const IcaSample& b) {
    return 0.5 * (std::abs(a.amps) + std::abs(b.amps)) * (b.seconds - a.seconds) / kSecondsPerHour *
           1000.0;
}

std::vector<IcaPeak> FindPeaks(const IcaCurve& curve, double minProminence) {
    const std::vector<double>& y = curve.dqdvMahPerVolt;
    std::vector<IcaPeak> peaks;
    if (y.size() < 3) {
        return peaks;
    }
    const double highest = *std::max_element(y.begin(), y.end());
    if (!(highest > 0.0)) {
        return peaks;
    }
    const std::size_t n = y.size();
    for (std::size_t k = 1; k + 1 < n; ++k) {
        // A plateau counts once, at its first step.
        if (!(y[k] > y[k - 1] && y[k] >= y[k + 1])) {
            continue;
        }
        // Each side's foot: the lowest point before the curve climbs above the peak or rises
        // by a prominence out of a dip, so ripples on a broad top leave one peak, not none.
        // The sides walk in step: a side that ends too high rejects the peak without the other
        // walking down a long slope, so a ripple costs its neighbourhood, not the curve.
        const double rise = minProminence * highest;
        struct Side {
            std::ptrdiff_t step;
            std::size_t lowest;
            std::ptrdiff_t at;
            bool done = false;
        };
        Side sides[2] = {{-1, k, static_cast<std::ptrdiff_t>(k)},
                         {1, k, static_cast<std::ptrdiff_t>(k)}};
        bool rejected = false;
        while (!rejected && !(sides[0].done && sides[1].done)) {
            for (Side& side : sides) {
                if (side.done) {
                    continue;
                }
                side.at += side.step;
                const bool inside = side.at >= 0 && side.at < static_cast<std::ptrdiff_t>(n);
                const double at = inside ? y[static_cast<std::size_t>(side.at)] : 0.0;
                if (!inside || at > y[k] || at - y[side.lowest] >= rise) {
                    side.done = true;
                    rejected = rejected || y[k] - y[side.lowest] < rise;
                } else if (at < y[side.lowest]) {
                    side.lowest = static_cast<std::size_t>(side.at);
                }
            }
        }
        if (rejected) {
            continue;
        }
        const std::size_t left = sides[0].lowest;
        const std::size_t right = sides[1].lowest;
        double area = 0.0;
        for (std::size_t i = left; i <= right; ++i) {
            area += y[i] * curve.gridVolts;
        }
        peaks.push_back(IcaPeak{curve.VoltsAt(k), y[k], area});
        k = right;
    }
    return peaks;
}

}  // namespace

std::vector<IcaSample> IcaSamplesOf(std::span<const JournalSample> samples) {
    std::vector<IcaSample> out;
    out.reserve(samples.size());
    for (const JournalSample& s : samples) {
        out.push_back({static_cast<double>(s.seconds), s.voltageMv / 1000.0, s.currentMa / 1000.0});
    }
    return out;
}

IcaCurve IncrementalCapacity(const std::vector<IcaSample>& samples, const IcaOptions& options) {
    IcaCurve curve;
    curve.gridVolts = options.gridVolts > 0.0 ? options.gridVolts : 0.001;
    const std::vector<IcaSample> kept = Usable(samples);
    if (kept.size() < 2) {
        return curve;
    }
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -lowest;
    for (const IcaSample& s : kept) {
        lowest = std::min(lowest, s.volts);
        highest = std::max(highest, s.volts);
    }
    const double steps = std::floor((highest - lowest) / curve.gridVolts);
    if (steps > kMaxGridSteps) {
        return curve;
    }
    curve.firstVolts = lowest;
    std::vector<double> moved(static_cast<std::size_t>(steps) + 1, 0.0);
    const auto binOf = [&](double volts) {
        const double at = std::floor((volts - lowest) / curve.gridVolts);
        return static_cast<std::size_t>(std::clamp(at, 0.0, steps));
    };
    for (std::size_t i = 1; i < kept.size(); ++i) {
        const IcaSample& a = kept[i - 1];
        const IcaSample& b = kept[i];
        const double mah = MahBetween(a, b);
        curve.totalMah += mah;
        const double low = std::min(a.volts, b.volts);
        const double high = std::max(a.volts, b.volts);
        const std::size_t first = binOf(low);
        const std::size_t last = binOf(high);
        if (first == last || high - low <= 0.0) {
            moved[first] += mah;
            continue;
        }
        // The charge of the interval, shared by the bins in proportion to the volts each covers.
        for (std::size_t k = first; k <= last; ++k) {
            const double binLow = lowest + static_cast<double>(k) * curve.gridVolts;
            const double covered =
                std::min(high, binLow + curve.gridVolts) - std::max(low, binLow);
            if (covered > 0.0) {
                moved[k] += mah * covered / (high - low);
            }
        }
    }
    curve.dqdvMahPerVolt.resize(moved.size());
    std::transform(moved.begin(), moved.end(), curve.dqdvMahPerVolt.begin(),
                   [&](double mah) { return mah / curve.gridVolts; });
    return Resmoothed(curve, options);
}

IcaCurve Resmoothed(const IcaCurve& unsmoothed, const IcaOptions& options) {
    IcaCurve curve;
    curve.firstVolts = unsmoothed.firstVolts;
    curve.gridVolts = unsmoothed.gridVolts;
    curve.totalMah = unsmoothed.totalMah;
    curve.dqdvMahPerVolt =
        Smoothed(unsmoothed.dqdvMahPerVolt, SigmaOfFwhm(options.fwhmVolts) / curve.gridVolts);
    curve.peaks = FindPeaks(curve, options.minProminence);
    return curve;
}

DvdqCurve DifferentialVoltage(const std::vector<IcaSample>& samples, const DvdqOptions& options) {
    DvdqCurve curve;
    curve.gridMah = options.gridMah > 0.0 ? options.gridMah : 1.0;
    const std::vector<IcaSample> kept = Usable(samples);
    if (kept.size() < 2) {
        return curve;
    }
    std::vector<double> mah(kept.size(), 0.0);
    for (std::size_t i = 1; i < kept.size(); ++i) {
        mah[i] = mah[i - 1] + MahBetween(kept[i - 1], kept[i]);
    }
    curve.totalMah = mah.back();
    const double steps = std::floor(curve.totalMah / curve.gridMah);
    if (steps < 1.0 || steps > kMaxGridSteps) {
        return curve;
    }
    // The voltage at each grid node, between the readings around it.
    const auto nodes = static_cast<std::size_t>(steps) + 1;
    std::vector<double> volts(nodes);
    std::size_t i = 1;
    for (std::size_t k = 0; k < nodes; ++k) {
        const double q = static_cast<double>(k) * curve.gridMah;
        while (i + 1 < mah.size() && mah[i] < q) {
            ++i;
        }
        const double span = mah[i] - mah[i - 1];
        const double share = span > 0.0 ? std::clamp((q - mah[i - 1]) / span, 0.0, 1.0) : 1.0;
        volts[k] = kept[i - 1].volts + (kept[i].volts - kept[i - 1].volts) * share;
    }
    // Positive the way the run moves the voltage, so a discharge's slope reads as a charge's.
    const double sign = kept.back().volts < kept.front().volts ? -1.0 : 1.0;
    std::vector<double> rise(nodes - 1);
    for (std::size_t k = 0; k + 1 < nodes; ++k) {
        rise[k] = sign * (volts[k + 1] - volts[k]);
    }
    // Smoothing the rises keeps their sum: the whole voltage swing.
    const std::vector<double> smooth = Smoothed(rise, SigmaOfFwhm(options.fwhmMah) / curve.gridMah);
    curve.dvdqVoltsPerAh.resize(smooth.size());
    std::transform(smooth.begin(), smooth.end(), curve.dvdqVoltsPerAh.begin(),
                   [&](double v) { return v / curve.gridMah * 1000.0; });
    return curve;
}

std::optional<IcaPeak> MainPeak(const IcaCurve& curve) {
    const auto highest = std::max_element(
        curve.peaks.begin(), curve.peaks.end(),
        [](const IcaPeak& a, const IcaPeak& b) { return a.heightMahPerVolt < b.heightMahPerVolt; });
    if (highest == curve.peaks.end()) {
        return std::nullopt;
    }
    return *highest;
}

}  // namespace brimvolt
