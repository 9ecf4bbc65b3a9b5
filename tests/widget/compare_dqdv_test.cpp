#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <array>
#include <cmath>

#include "journal/JournalFigure.h"
#include "journalview/CompareDlg.h"
#include "journalview/ComparePlot.h"
#include "journalview/ComparedCurve.h"
#include "plot/CurveStore.h"
#include "support/ScriptedDialogs.h"

using namespace brimvolt;

namespace {

// A discharge at 1 A whose charge steps up by 600 mAh at 3.60 V and 400 mAh at 3.90 V.
std::vector<JournalSample> TwoPlateaus() {
    std::vector<JournalSample> samples;
    for (std::int32_t t = 0; t <= 3564; ++t) {
        const double mah = t / 3.6;
        double low = 3.0;
        double high = 4.2;
        for (int i = 0; i < 50; ++i) {
            const double mid = 0.5 * (low + high);
            const double held = 600.0 / (1.0 + std::exp((mid - 3.60) / 0.012)) +
                                400.0 / (1.0 + std::exp((mid - 3.90) / 0.012));
            (held > mah ? low : high) = mid;
        }
        JournalSample sample;
        sample.seconds = t;
        sample.voltageMv = static_cast<std::uint16_t>(std::lround(500.0 * (low + high)));
        sample.currentMa = 1000;
        sample.capacityMah = static_cast<std::int32_t>(mah);
        samples.push_back(sample);
    }
    return samples;
}

// Run 7 of those samples, then a curve file of ten minutes at 3.9 V, which holds no current.
void AddRunAndCurveFile(CCompareDlg& compare, const std::vector<JournalSample>& samples) {
    RunRecord run;
    run.id = 7;
    run.label = QStringLiteral("cell A");
    CurveStore store;
    for (int t = 1; t <= 600; ++t) {
        store.Append(t, 3900);
    }
    compare.AddCurves({FigureCurveOfRun(run, samples), FigureCurveOfStore(store, "old.raz")},
                      {SummaryOfRun(run, samples), SummaryOfFile(store)});
}

TEST(CompareDqdv, ARunIsDrawnAsItsDqdvACurveFileIsLeftOutAndTheCsvHasItsLines) {
    QTemporaryDir folder;
    brimvolt::testing::ScriptedDialogs dialogs;
    CCompareDlg compare(dialogs);
    compare.Create(nullptr, folder.path(), {});

    const std::vector<JournalSample> samples = TwoPlateaus();
    AddRunAndCurveFile(compare, samples);
    EXPECT_FALSE(compare.SmoothingBox()->isVisibleTo(&compare));

    compare.AxisBox()->setCurrentIndex(3);
    const CComparisonFigure& figure = compare.Plot()->Figure();
    ASSERT_EQ(figure.Axis(), FigureAxis::Dqdv);
    EXPECT_TRUE(compare.SmoothingBox()->isVisibleTo(&compare));
    EXPECT_EQ(compare.SmoothingBox()->value(), 10);
    ASSERT_TRUE(figure.Curves()[0].HasAxis(FigureAxis::Dqdv));
    EXPECT_FALSE(figure.Curves()[1].HasAxis(FigureAxis::Dqdv));
    EXPECT_TRUE(compare.DqdvNote()->isVisibleTo(&compare));
    EXPECT_TRUE(compare.DqdvNote()->text().contains("old.raz"));
    // Voltage across, dQ/dV up: the plateaus' peaks, listed and marked.
    EXPECT_NEAR(figure.WholeView().left(), samples.back().voltageMv / 1000.0, 0.002);
    EXPECT_NEAR(figure.WholeView().right(), samples.front().voltageMv / 1000.0, 0.002);
    EXPECT_EQ(figure.WholeView().top(), 0.0);
    QTableWidget* peaks = compare.PeakTable();
    ASSERT_EQ(peaks->rowCount(), 2);
    ASSERT_EQ(figure.Curves()[0].dqdvPeaks.size(), 2u);
    EXPECT_NEAR(peaks->item(0, 1)->text().toDouble(), 3.60, 0.005);
    EXPECT_NEAR(peaks->item(1, 3)->text().toDouble(), 400.0, 8.0);
    const auto at = figure.ValuesAt(3.60);
    ASSERT_TRUE(at[0] && !at[1]);
    EXPECT_NEAR(*at[0], figure.Curves()[0].dqdvPeaks[0].y(), 0.05 * *at[0]);

    // Wider smoothing lowers the peaks and keeps their charge.
    const double before = figure.Curves()[0].dqdvPeaks[0].y();
    compare.SmoothingBox()->setValue(40);
    ASSERT_EQ(figure.Curves()[0].dqdvPeaks.size(), 2u);
    EXPECT_LT(figure.Curves()[0].dqdvPeaks[0].y(), 0.9 * before);
    EXPECT_NEAR(peaks->item(1, 3)->text().toDouble(), 400.0, 8.0);

    const QString out = folder.filePath("dqdv.csv");
    dialogs.paths = {out};
    compare.OnExportCsv(false);
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_GT(lines.size(), 100);
    EXPECT_EQ(lines[0], "run,voltage_V,dQdV_mAh_per_V");
    EXPECT_EQ(static_cast<std::size_t>(lines.size() - 2), figure.Curves()[0].dqdv.size());
    double mah = 0.0;
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split(',');
        ASSERT_EQ(fields.size(), 3) << lines[i].toStdString();
        EXPECT_EQ(fields[0], "7");
        mah += fields[2].toDouble() * 0.001;
    }
    EXPECT_NEAR(mah, 990.0, 10.0) << "the curve's area is the charge";

    // For a spreadsheet: the same lines with ";" and decimal commas, behind a byte-order mark.
    dialogs.paths = {folder.filePath("excel")};
    compare.OnExportCsv(true);
    QFile excel(folder.filePath("excel.csv"));
    ASSERT_TRUE(excel.open(QIODevice::ReadOnly));
    const QList<QByteArray> excelLines = excel.readAll().split('\n');
    ASSERT_EQ(excelLines.size(), lines.size());
    EXPECT_EQ(excelLines[0], "\xEF\xBB\xBFrun;voltage_V;dQdV_mAh_per_V");
    EXPECT_EQ(excelLines[1],
              QByteArray(lines[1]).replace(',', '|').replace('.', ',').replace('|', ';'));
}

TEST(CompareDqdv, DvdqAgainstCapacityHasItsMinimaMidPlateauAndItsCsv) {
    QTemporaryDir folder;
    brimvolt::testing::ScriptedDialogs dialogs;
    CCompareDlg compare(dialogs);
    compare.Create(nullptr, folder.path(), {});
    const std::vector<JournalSample> samples = TwoPlateaus();
    AddRunAndCurveFile(compare, samples);

    compare.AxisBox()->setCurrentIndex(4);
    const CComparisonFigure& figure = compare.Plot()->Figure();
    ASSERT_EQ(figure.Axis(), FigureAxis::Dvdq);
    EXPECT_FALSE(compare.SmoothingBox()->isVisibleTo(&compare));
    EXPECT_FALSE(compare.PeakTable()->isVisibleTo(&compare));
    ASSERT_TRUE(figure.Curves()[0].HasAxis(FigureAxis::Dvdq));
    EXPECT_FALSE(figure.Curves()[1].HasAxis(FigureAxis::Dvdq));
    EXPECT_TRUE(compare.DqdvNote()->text().contains("old.raz"));
    EXPECT_NEAR(figure.WholeView().left(), 0.0, 2.0);
    EXPECT_NEAR(figure.WholeView().right(), 990.0, 5.0);

    // The 3.90 V plateau holds the first 400 mAh, the 3.60 V one the next 600.
    const std::vector<QPointF>& points = figure.Curves()[0].dvdq;
    for (const auto [from, to, middle] : {std::array{50.0, 350.0, 200.0}, {450.0, 950.0, 700.0}}) {
        QPointF lowest(0, 1e9);
        for (const QPointF& p : points) {
            if (p.x() >= from && p.x() <= to && p.y() < lowest.y()) {
                lowest = p;
            }
        }
        EXPECT_NEAR(lowest.x(), middle, 0.02 * middle);
    }

    dialogs.paths = {folder.filePath("dvdq")};
    compare.OnExportCsv(false);
    QFile file(folder.filePath("dvdq.csv"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    EXPECT_EQ(lines[0], "run,capacity_mAh,dVdQ_V_per_Ah");
    ASSERT_EQ(static_cast<std::size_t>(lines.size() - 2), points.size());
    const QList<QByteArray> row = lines[500].split(',');
    ASSERT_EQ(row.size(), 3);
    EXPECT_EQ(row[0], "7");
    EXPECT_NEAR(row[1].toDouble(), points[499].x(), 0.01);
    EXPECT_NEAR(row[2].toDouble(), points[499].y(), 0.001);
}

}  // namespace
