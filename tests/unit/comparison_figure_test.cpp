#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <set>
#include <vector>

#include "journal/JournalFigure.h"
#include "plot/ComparisonFigure.h"
#include "plot/CurveStore.h"
#include "support/InkColour.h"

using namespace brimvolt;

namespace {

const QSize kSize(900, 600);

/** A discharge of `seconds` at `currentMa`, one sample a second, from 4.1 V down by `sag` mV. */
FigureCurve Discharge(int seconds, int currentMa, int sag, const QString& label) {
    RunRecord run;
    run.id = 7;
    run.label = label;
    run.startedUtc = 1'700'000'000;
    std::vector<JournalSample> samples;
    CRunEnergy energy;
    for (int t = 0; t <= seconds; ++t) {
        JournalSample sample;
        sample.seconds = t;
        sample.voltageMv = static_cast<std::uint16_t>(4100 - sag * t / seconds);
        sample.currentMa = static_cast<std::uint16_t>(t == 0 ? 0 : currentMa);
        sample.capacityMah = static_cast<std::int32_t>(std::int64_t{currentMa} * t / 3600);
        energy.Add(sample.seconds, sample.voltageMv, sample.currentMa);
        sample.energyUj = energy.Uj();
        samples.push_back(sample);
    }
    run.durationSeconds = seconds;
    run.capacityMah = samples.back().capacityMah;
    run.energyUj = energy.Uj();
    return FigureCurveOfRun(run, samples);
}

/** The rightmost column of the plot holding the colour, -1 when none does. */
int RightmostColumnOf(const QImage& image, const QRectF& area, QColor color) {
    for (int x = static_cast<int>(area.right()); x >= static_cast<int>(area.left()); --x) {
        for (int y = static_cast<int>(area.top()) + 1; y < static_cast<int>(area.bottom()); ++y) {
            if (brimvolt::testing::IsInkOverWhite(image.pixelColor(x, y), color)) {
                return x;
            }
        }
    }
    return -1;
}

QImage Draw(const CComparisonFigure& figure) {
    QImage image(kSize, QImage::Format_RGB32);
    QPainter painter(&image);
    figure.Paint(painter, kSize);
    return image;
}

}  // namespace

// Each curve ends where its run ends on each axis: its duration, its capacity, its energy; curve
// files have time only and are drawn on that axis alone.
TEST(ComparisonFigure, EachAxisEndsEveryCurveAtItsTotal) {
    std::vector<FigureCurve> curves = {Discharge(7200, 1000, 900, "A"),
                                       Discharge(3600, 3000, 600, "B")};
    auto store = std::make_unique<CurveStore>();
    for (int t = 1; t <= 5400; ++t) {
        store->Append(t, static_cast<std::uint16_t>(3900 - t / 10));
    }
    curves.push_back(FigureCurveOfStore(*store, "file"));
    const double capacityA = curves[0].capacityMah;
    const double capacityB = curves[1].capacityMah;
    EXPECT_EQ(capacityA, 2000);
    EXPECT_EQ(capacityB, 3000);
    EXPECT_NEAR(curves[1].energyWh, 3.0 * 3.8, 0.05);  // 3 Ah at 3.8 V on average

    CComparisonFigure figure;
    figure.SetCurves(curves);
    struct Case {
        FigureAxis axis;
        std::vector<double> ends;  // per curve; negative: not drawn
    };
    const std::vector<Case> cases = {
        {FigureAxis::Time, {7200, 3600, 5400}},
        {FigureAxis::Capacity, {capacityA, capacityB, -1}},
        {FigureAxis::Energy, {curves[0].energyWh, curves[1].energyWh, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.axis));
        figure.SetAxis(c.axis);
        EXPECT_EQ(figure.AxisAvailable(c.axis), c.axis == FigureAxis::Time);
        EXPECT_DOUBLE_EQ(figure.View().left(), 0);
        EXPECT_NEAR(figure.View().right(), *std::max_element(c.ends.begin(), c.ends.end()), 1e-3);
        const QImage image = Draw(figure);
        const QRectF area = figure.PlotArea(kSize);
        for (std::size_t k = 0; k < c.ends.size(); ++k) {
            const int column = RightmostColumnOf(image, area, figure.ColorOf(static_cast<int>(k)));
            if (c.ends[k] < 0) {
                EXPECT_EQ(column, -1) << "curve " << k;
                continue;
            }
            const double expected = figure.PixelAt(kSize, {c.ends[k], 3.5}).x();
            EXPECT_NEAR(column, expected, 2.5) << "curve " << k;
        }
        // The readout ends with the curves too.
        const std::vector<std::optional<double>> inside = figure.ValuesAt(c.ends[0] * 0.999);
        const std::vector<std::optional<double>> past = figure.ValuesAt(c.ends[0] * 1.001);
        EXPECT_TRUE(inside[0].has_value());
        EXPECT_FALSE(past[0].has_value());
    }
    // Halfway through A's time: 4.1 V less half the sag.
    figure.SetAxis(FigureAxis::Time);
    EXPECT_NEAR(figure.ValuesAt(3600)[0].value(), 4.1 - 0.45, 1e-3);
    EXPECT_NEAR(figure.ValuesAt(2700.5)[2].value(), 3.9 - 0.27, 2e-3);
}

// Eight curves get eight colours, each drawn and told apart from the others and from the grid.
TEST(ComparisonFigure, CurvesGetDistinctPaletteColours) {
    std::vector<FigureCurve> curves;
    for (int k = 0; k < 8; ++k) {
        curves.push_back(Discharge(600 + 100 * k, 1000, 100 + 60 * k, QString("run %1").arg(k)));
    }
    curves[5].color = QColor(1, 2, 3);  // chosen by the caller: kept
    CComparisonFigure figure;
    figure.SetCurves(curves);
    std::set<QRgb> colours;
    for (int k = 0; k < kFigurePaletteSize; ++k) {
        colours.insert(FigurePaletteColor(k).rgb());
        EXPECT_LT(qGray(FigurePaletteColor(k).rgb()), 200) << "too pale on white: " << k;
    }
    EXPECT_EQ(colours.size(), static_cast<std::size_t>(kFigurePaletteSize));
    EXPECT_EQ(figure.ColorOf(5), QColor(1, 2, 3));
    const QImage image = Draw(figure);
    for (int k = 0; k < 8; ++k) {
        EXPECT_GE(RightmostColumnOf(image, figure.PlotArea(kSize), figure.ColorOf(k)), 0) << k;
    }
}

// Pixels and data map both ways; a drag selects the data under it, the wheel keeps the point
// under the mouse, zoom has a floor, and the whole view comes back.
TEST(ComparisonFigure, ZoomMapsPixelsAndDataBothWays) {
    CComparisonFigure figure;
    figure.SetCurves({Discharge(10000, 1000, 1000, "A")});
    const QRectF whole = figure.View();
    const QRectF area = figure.PlotArea(kSize);
    EXPECT_TRUE(QRectF(QPointF(0, 0), QSizeF(kSize)).contains(area));
    // The whole view's corners are the plot's corners.
    EXPECT_NEAR(figure.PixelAt(kSize, whole.topLeft()).y(), area.bottom(), 1e-6);
    EXPECT_NEAR(figure.PixelAt(kSize, whole.bottomRight()).x(), area.right(), 1e-6);
    for (const QPointF pixel : {QPointF(100, 100), QPointF(0, 0), QPointF(899, 599)}) {
        const QPointF back = figure.PixelAt(kSize, figure.DataAt(kSize, pixel));
        EXPECT_NEAR(back.x(), pixel.x(), 1e-6);
        EXPECT_NEAR(back.y(), pixel.y(), 1e-6);
    }

    const QRectF drag(area.left() + area.width() / 4, area.top() + 10, area.width() / 2, 100);
    const QRectF chosen = figure.ViewOfDrag(kSize, drag);
    EXPECT_NEAR(chosen.left(), whole.left() + whole.width() / 4, 1e-6);
    EXPECT_NEAR(chosen.width(), whole.width() / 2, 1e-6);
    EXPECT_NEAR(chosen.bottom(), figure.DataAt(kSize, drag.topLeft()).y(), 1e-9);
    figure.SetView(chosen);
    EXPECT_EQ(figure.ViewOfDrag(kSize, QRectF(300, 300, 2, 50)), figure.View());  // a click

    const QPointF mouse(area.left() + 123, area.top() + 77);
    const QPointF under = figure.DataAt(kSize, mouse);
    figure.SetView(figure.ViewZoomedAt(kSize, mouse, 3));
    EXPECT_NEAR(figure.View().width(), chosen.width() / std::pow(1.25, 3), 1e-6);
    EXPECT_NEAR(figure.DataAt(kSize, mouse).x(), under.x(), 1e-6);
    EXPECT_NEAR(figure.DataAt(kSize, mouse).y(), under.y(), 1e-9);

    for (int i = 0; i < 200; ++i) {
        figure.SetView(figure.ViewZoomedAt(kSize, mouse, 5));
    }
    EXPECT_NEAR(figure.View().width(), whole.width() * 1e-4, whole.width() * 1e-9);
    Draw(figure);  // deep in, the lines into the view are still drawn without trouble
    figure.SetView(QRectF(5, 5, 0, 1));  // empty: ignored
    EXPECT_NEAR(figure.View().width(), whole.width() * 1e-4, whole.width() * 1e-9);
    figure.ResetView();
    EXPECT_EQ(figure.View(), whole);
}
