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

// The readings as the journal keeps them: whole millivolts and milliamperes.
std::vector<IcaSample> AsJournalKeepsThem(const std::vector<IcaSample>& samples) {
    std::vector<JournalSample> kept;
    for (const IcaSample& s : samples) {
        JournalSample sample;
        sample.seconds = static_cast<std::int32_t>(s.seconds);
        sample.voltageMv = static_cast<std::uint16_t>(std::lround(s.volts * 1000.0));
        sample.currentMa = static_cast<std::uint16_t>(std::lround(s.amps * 1000.0));
        kept.push_back(sample);
    }
    return IcaSamplesOf(kept);
}

const std::vector<Step> kSteps = {
    {3.45, 800.0, 0.012}, {3.70, 1200.0, 0.015}, {3.95, 500.0, 0.010}};

TEST(IncrementalCapacity, PeaksStandAtTheStepsAndHoldTheirCharge) {
    const std::vector<IcaSample> exact = Discharge(kSteps, 1.0);
    const std::vector<IcaSample> journal = AsJournalKeepsThem(exact);
    IcaOptions raw;
    raw.fwhmVolts = 0.0;
    const IcaCurve unsmoothed = IncrementalCapacity(exact, raw);
    for (const bool fromJournal : {false, true}) {
        for (const double fwhm : {0.0, 0.010, 0.020}) {
            if (fromJournal && fwhm == 0.0) {
                continue;  // whole millivolts want smoothing
            }
            SCOPED_TRACE(testing::Message() << "journal " << fromJournal << " fwhm " << fwhm);
            IcaOptions options;
            options.fwhmVolts = fwhm;
            const IcaCurve curve = IncrementalCapacity(fromJournal ? journal : exact, options);
            ASSERT_EQ(curve.peaks.size(), kSteps.size());
            for (std::size_t i = 0; i < kSteps.size(); ++i) {
                EXPECT_NEAR(curve.peaks[i].volts, kSteps[i].volts, 0.005) << i;
                EXPECT_NEAR(curve.peaks[i].areaMah, kSteps[i].mah, 0.02 * kSteps[i].mah) << i;
                if (fwhm == 0.0) {
                    // A logistic step of charge M and width s rises at most M / 4s.
                    const double height = kSteps[i].mah / (4.0 * kSteps[i].spread);
                    EXPECT_NEAR(curve.peaks[i].heightMahPerVolt, height, 0.02 * height) << i;
                }
            }
            EXPECT_NEAR(curve.totalMah, 2500.0, 2.0);
            ASSERT_TRUE(MainPeak(curve));
            EXPECT_NEAR(MainPeak(curve)->volts, 3.70, 0.005) << "the tallest step";
            if (!fromJournal) {
                const IcaCurve again = Resmoothed(unsmoothed, options);
                ASSERT_EQ(again.peaks.size(), curve.peaks.size());
                EXPECT_DOUBLE_EQ(again.peaks[1].heightMahPerVolt, curve.peaks[1].heightMahPerVolt);
            }
        }
    }
    EXPECT_FALSE(MainPeak(IcaCurve{}));
}

TEST(IncrementalCapacity, ABroadTopWithRipplesIsOnePeak) {
    // dQ/dV of 1000 mAh/V from 3.3 to 3.9 V, 3000 between 3.5 and 3.6 V with a 2 % ripple:
    // readings 0.1 mV apart at 1 A, each after the time its charge takes.
    std::vector<IcaSample> samples;
    double seconds = 0.0;
    for (double volts = 3.9; volts > 3.3; volts -= 0.0001) {
        const bool top = volts > 3.5 && volts < 3.6;
        const double dqdv =
            top ? 3000.0 * (1.0 + 0.02 * std::sin((volts - 3.5) / 0.015 * 2.0 * M_PI)) : 1000.0;
        samples.push_back({seconds, volts, 1.0});
        seconds += dqdv * 0.0001 * 3.6;
    }
    for (const double fwhm : {0.0, 0.010}) {
        IcaOptions options;
        options.fwhmVolts = fwhm;
        const IcaCurve curve = IncrementalCapacity(samples, options);
        ASSERT_EQ(curve.peaks.size(), 1u) << fwhm;
        EXPECT_GT(curve.peaks[0].volts, 3.5);
        EXPECT_LT(curve.peaks[0].volts, 3.6);
    }
}

TEST(IncrementalCapacity, DifferentialVoltageIsFlattestAtEachPlateauAsOneOverItsPeak) {
    const DvdqCurve curve = DifferentialVoltage(Discharge(kSteps, 1.0));
    EXPECT_NEAR(curve.totalMah, 2500.0, 2.0);
    ASSERT_NEAR(curve.dvdqVoltsPerAh.size() * curve.gridMah, 2500.0, 2.0);
    // The discharge meets the steps from the top: 3.95 V first, its plateau's middle at 250 mAh.
    struct Plateau {
        double fromMah, toMah, middleMah;
        const Step& step;
    };
    const Plateau plateaus[] = {
        {100, 400, 250, kSteps[2]}, {800, 1400, 1100, kSteps[1]}, {1900, 2300, 2100, kSteps[0]}};
    for (const Plateau& p : plateaus) {
        std::size_t flattest = static_cast<std::size_t>(p.fromMah / curve.gridMah);
        for (std::size_t k = flattest; curve.MahAt(k) < p.toMah; ++k) {
            if (curve.dvdqVoltsPerAh[k] < curve.dvdqVoltsPerAh[flattest]) {
                flattest = k;
            }
        }
        const double expected = 4.0 * p.step.spread / p.step.mah * 1000.0;  // V/Ah
        EXPECT_NEAR(curve.dvdqVoltsPerAh[flattest], expected, 0.02 * expected) << p.middleMah;
        EXPECT_NEAR(curve.MahAt(flattest), p.middleMah, 0.05 * p.step.mah) << p.middleMah;
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
