#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ica/IncrementalCapacity.h"

using namespace brimvolt;

namespace {

struct Step {
    double volts;   // where the plateau stands
    double mah;     // the charge it holds
    double spread;  // the logistic's width in volts
};

// A discharge whose charge against voltage is a sum of logistic steps, sampled once a second at
// `amps`: its dQ/dV has a peak at each step's voltage holding the step's charge.
std::vector<IcaSample> Discharge(const std::vector<Step>& steps, double amps) {
    const auto chargeAt = [&](double volts) {
        double mah = 0.0;
        for (const Step& s : steps) {
            mah += s.mah / (1.0 + std::exp((volts - s.volts) / s.spread));
        }
        return mah;
    };
    double total = 0.0;
    for (const Step& s : steps) {
        total += s.mah;
    }
    std::vector<IcaSample> samples;
    for (int t = 0;; ++t) {
        const double mah = amps * t / 3.6;
        if (mah > total * 0.9999) {
            break;
        }
        double low = 2.5;
        double high = 4.5;
        for (int i = 0; i < 60; ++i) {
            const double mid = 0.5 * (low + high);
            (chargeAt(mid) > mah ? low : high) = mid;
        }
        samples.push_back({static_cast<double>(t), 0.5 * (low + high), amps});
    }
    return samples;
}

TEST(IncrementalCapacity, PeaksStandAtTheStepsAndHoldTheirCharge) {
    const std::vector<Step> steps = {{3.45, 800.0, 0.012}, {3.70, 1200.0, 0.015}, {3.95, 500.0, 0.010}};
    for (const double fwhm : {0.0, 0.010, 0.020}) {
        IcaOptions options;
        options.fwhmVolts = fwhm;
        const IcaCurve curve = IncrementalCapacity(Discharge(steps, 1.0), options);
        ASSERT_EQ(curve.peaks.size(), steps.size()) << "fwhm " << fwhm;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            EXPECT_NEAR(curve.peaks[i].volts, steps[i].volts, 0.005) << i << " fwhm " << fwhm;
            EXPECT_NEAR(curve.peaks[i].areaMah, steps[i].mah, 0.02 * steps[i].mah) << i;
        }
        EXPECT_NEAR(curve.totalMah, 2500.0, 2.0);
    }
}

TEST(IncrementalCapacity, ReadingsThatCannotBeUsedGiveNoCurve) {
    EXPECT_TRUE(IncrementalCapacity({}).dqdvMahPerVolt.empty());
    EXPECT_TRUE(IncrementalCapacity({{0, 3.7, 1.0}}).dqdvMahPerVolt.empty());
    // Time going back and values that are not numbers are left out, not summed.
    const IcaCurve curve = IncrementalCapacity(
        {{0, 4.0, 1.0}, {3600, 3.0, 1.0}, {10, 3.5, 1.0}, {7200, NAN, 1.0}});
    EXPECT_NEAR(curve.totalMah, 1000.0, 1e-6);
}

}  // namespace
