#include "ica/IncrementalCapacity.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace brimvolt {

namespace {

constexpr double kSecondsPerHour = 3600.0;
// A curve longer than this many grid steps is refused rather than sized from the data.
constexpr double kMaxGridSteps = 1e6;

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
        std::size_t left = k;
        while (left > 0 && y[left - 1] <= y[left]) {
            --left;
        }
        std::size_t right = k;
        while (right + 1 < n && y[right + 1] <= y[right]) {
            ++right;
        }
        const double base = std::max(y[left], y[right]);
        if (y[k] - base < minProminence * highest) {
            continue;
        }
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

IcaCurve IncrementalCapacity(const std::vector<IcaSample>& samples, const IcaOptions& options) {
    IcaCurve curve;
    curve.gridVolts = options.gridVolts > 0.0 ? options.gridVolts : 0.001;
    std::vector<IcaSample> kept;
    kept.reserve(samples.size());
    for (const IcaSample& s : samples) {
        if (!std::isfinite(s.seconds) || !std::isfinite(s.volts) || !std::isfinite(s.amps) ||
            (!kept.empty() && s.seconds < kept.back().seconds)) {
            continue;
        }
        kept.push_back(s);
    }
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
        const double mah = 0.5 * (std::abs(a.amps) + std::abs(b.amps)) * (b.seconds - a.seconds) /
                           kSecondsPerHour * 1000.0;
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
    const double sigmaSteps = options.fwhmVolts / (2.0 * std::sqrt(2.0 * std::log(2.0))) /
                              curve.gridVolts;
    std::vector<double> smooth = Smoothed(moved, sigmaSteps);
    curve.dqdvMahPerVolt.resize(smooth.size());
    std::transform(smooth.begin(), smooth.end(), curve.dqdvMahPerVolt.begin(),
                   [&](double mah) { return mah / curve.gridVolts; });
    curve.peaks = FindPeaks(curve, options.minProminence);
    return curve;
}

std::vector<IcaSample> IcaSamplesOf(std::span<const JournalSample> samples) {
    std::vector<IcaSample> out;
    out.reserve(samples.size());
    for (const JournalSample& s : samples) {
        out.push_back({static_cast<double>(s.seconds), s.voltageMv / 1000.0, s.currentMa / 1000.0});
    }
    return out;
}

std::optional<IcaPeak> MainPeak(const IcaCurve& curve) {
    const auto highest = std::max_element(
        curve.peaks.begin(), curve.peaks.end(),
        [](const IcaPeak& a, const IcaPeak& b) { return a.heightMahPerVolt < b.heightMahPerVolt; });
    return highest == curve.peaks.end() ? std::nullopt : std::optional<IcaPeak>(*highest);
}

}  // namespace brimvolt
