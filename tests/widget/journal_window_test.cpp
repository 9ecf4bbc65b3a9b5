#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <memory>
#include <vector>

#include "curve/Graf.h"
#include "curvefile/CurveFileWriter.h"
#include "journal/Journal.h"
#include "journalview/CompareDlg.h"
#include "journalview/ComparePlot.h"
#include "journalview/JournalDlg.h"
#include "journalview/RunTableModel.h"
#include "module/CurveRecording.h"
#include "support/InkColour.h"
#include "support/ScriptedDialogs.h"

using namespace brimvolt;
using brimvolt::testing::ScriptedDialogs;
using Column = CRunTableModel::Column;

namespace {

struct RunPlan {
    QString label;
    std::int64_t startedUtc;
    std::int32_t seconds;  // one sample a second from 0
    std::int32_t milliamps;
    QString note;
    std::uint16_t rinMohm = 0;
};

// A cell discharging: a flat middle and a knee at the end, from 4.180 V at rest down to
// 2.710 V, less what its resistance takes once the current flows.
std::vector<JournalSample> SamplesOf(const RunPlan& plan) {
    std::vector<JournalSample> samples;
    for (std::int32_t t = 0; t <= plan.seconds; ++t) {
        const double f = static_cast<double>(t) / plan.seconds;
        const double volts = 4.18 - 0.12 * (1 - std::exp(-20 * f)) - 0.45 * f -
                             0.9 * std::pow(f, 14) - (t == 0 ? 0.0 : plan.rinMohm / 1000.0);
        JournalSample sample;
        sample.seconds = t;
        sample.voltageMv = static_cast<std::uint16_t>(std::lround(volts * 1000));
        sample.currentMa = static_cast<std::uint16_t>(t == 0 ? 0 : plan.milliamps);
        sample.capacityMah = t * plan.milliamps / 3600;
        sample.temperature = static_cast<std::uint8_t>(24 + 6 * f);
        samples.push_back(sample);
    }
    return samples;
}

class JournalWindowTest : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        previousFolder = QDir::currentPath();
        QDir::setCurrent(folder.path());
        path = folder.filePath(QStringLiteral("journal.sqlite"));
        ASSERT_TRUE(writer.Open(path).Usable());
        owner = std::make_unique<QWidget>();
        graf = std::make_unique<CGraf>(dialogs);
        graf->Create(owner.get());
    }

    void TearDown() override {
        window.reset();
        graf.reset();
        owner.reset();
        QDir::setCurrent(previousFolder);
    }

    RunRecord AddRun(const RunPlan& plan) {
        RunRecord run;
        run.startedUtc = plan.startedUtc;
        run.port = QStringLiteral("ttyUSB0");
        run.label = plan.label;
        run.note = plan.note;
        run.state = RunState::Stopped;
        run.rinMohm = plan.rinMohm;
        const std::vector<JournalSample> samples = SamplesOf(plan);
        run.durationSeconds = plan.seconds;
        run.capacityMah = samples.back().capacityMah;
        run.startMv = samples.front().voltageMv;
        run.endMv = samples.back().voltageMv;
        run.maxTemperature = samples.back().temperature;
        run.sampleCount = static_cast<std::int32_t>(samples.size());
        CRunEnergy energy;
        for (const JournalSample& sample : samples) {
            energy.Add(sample.seconds, sample.voltageMv, sample.currentMa);
        }
        run.energyUj = energy.Uj();
        EXPECT_EQ(writer.SaveRun(run, samples), CJournal::SaveResult::Saved);
        // Label and note are the operator's: written as the window writes them.
        writer.SetLabel(run.id, plan.label);
        writer.SetNote(run.id, plan.note);
        return run;
    }

    void OpenWindow() {
        window = std::make_unique<CJournalDlg>(dialogs, *graf);
        window->Create(owner.get(), path);
    }

    QAbstractItemModel& View() const { return *window->Table()->model(); }
    QString Cell(int row, int column) const { return View().index(row, column).data().toString(); }
    QStringList LabelsShown() const {
        QStringList labels;
        for (int row = 0; row < View().rowCount(); ++row) {
            labels.append(Cell(row, Column::kLabel));
        }
        return labels;
    }

    QTemporaryDir folder;
    QString previousFolder;
    QString path;
    CJournal writer;  // the recorder's side of the journal
    ScriptedDialogs dialogs;
    std::unique_ptr<QWidget> owner;
    std::unique_ptr<CGraf> graf;
    std::unique_ptr<CJournalDlg> window;
};

TEST_F(JournalWindowTest, TableShowsRunsNewestFirstSortsByValueAndFilters) {
    AddRun({"cell A", 1'700'000'000, 7200, 1000, "spring batch"});
    AddRun({"cell B", 1'700'100'000, 3240, 1000, ""});  // 900 mAh: after 2000 as text
    AddRun({"old pack", 1'699'000'000, 9000, 1600, "Cell from pack 3"});
    OpenWindow();

    EXPECT_EQ(LabelsShown(), QStringList({"cell B", "cell A", "old pack"}));
    EXPECT_EQ(Cell(1, Column::kCapacity), "2000");
    EXPECT_EQ(Cell(1, Column::kDuration), "2:00:00");
    EXPECT_EQ(Cell(1, Column::kStartVoltage), "4.180");
    EXPECT_EQ(Cell(1, Column::kEndVoltage), "2.710");
    EXPECT_EQ(Cell(1, Column::kKind), "Разряд");
    EXPECT_EQ(Cell(1, Column::kState), "завершен");
    EXPECT_EQ(Cell(1, Column::kRin), "") << "no Rin measured";

    struct Case {
        int column;
        Qt::SortOrder order;
        QStringList labels;
    };
    const Case cases[] = {
        {Column::kCapacity, Qt::AscendingOrder, {"cell B", "cell A", "old pack"}},
        {Column::kCapacity, Qt::DescendingOrder, {"old pack", "cell A", "cell B"}},
        {Column::kStart, Qt::AscendingOrder, {"old pack", "cell A", "cell B"}},
        {Column::kLabel, Qt::AscendingOrder, {"cell A", "cell B", "old pack"}},
    };
    for (const Case& c : cases) {
        window->Table()->sortByColumn(c.column, c.order);
        EXPECT_EQ(LabelsShown(), c.labels) << "column " << c.column;
    }

    // The filter looks in label and note, whatever the case.
    window->FilterEdit()->setText(QStringLiteral("CELL"));
    EXPECT_EQ(View().rowCount(), 3);
    window->FilterEdit()->setText(QStringLiteral("batch"));
    EXPECT_EQ(LabelsShown(), QStringList({"cell A"}));
    window->FilterEdit()->setText(QStringLiteral("pack 3"));
    EXPECT_EQ(LabelsShown(), QStringList({"old pack"}));
}

TEST_F(JournalWindowTest, LabelAndNoteEditsAreSavedAtOnceOrRefusedWithAMessage) {
    const RunRecord run = AddRun({"cell A", 1'700'000'000, 60, 1000, ""});
    const RunRecord gone = AddRun({"cell B", 1'700'100'000, 60, 1000, ""});
    OpenWindow();

    ASSERT_TRUE(View().setData(View().index(1, Column::kLabel), QStringLiteral("cell A1")));
    ASSERT_TRUE(View().setData(View().index(1, Column::kNote), QStringLiteral("line 1\nline 2")));
    EXPECT_EQ(writer.Run(run.id)->label, "cell A1");
    EXPECT_EQ(writer.Run(run.id)->note, "line 1\nline 2");
    EXPECT_EQ(Cell(1, Column::kNote), "line 1 line 2");
    EXPECT_TRUE(dialogs.messages.isEmpty());

    // Another program deleted the run meanwhile: the edit is refused and the operator told.
    const std::int64_t ids[] = {gone.id};
    ASSERT_TRUE(writer.DeleteRuns(ids));
    EXPECT_FALSE(View().setData(View().index(0, Column::kLabel), QStringLiteral("renamed")));
    EXPECT_EQ(Cell(0, Column::kLabel), "cell B");
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].text.contains("больше нет"));
    EXPECT_FALSE(View().flags(View().index(0, Column::kCapacity)) & Qt::ItemIsEditable);
}

TEST_F(JournalWindowTest, DeleteAsksNamingTheRunsAndRemovesThemWithTheirSamples) {
    const RunRecord a = AddRun({"cell A", 1'700'000'000, 60, 1000, ""});
    const RunRecord b = AddRun({"", 1'700'100'000, 60, 1000, ""});
    const RunRecord kept = AddRun({"cell C", 1'700'200'000, 60, 1000, ""});
    OpenWindow();
    window->SelectRuns({a.id, b.id});

    dialogs.answers = {platform::Answer::Cancel};
    window->OnDelete();
    ASSERT_EQ(dialogs.messages.size(), 1);
    const QString question = dialogs.messages[0].text;
    EXPECT_EQ(dialogs.messages[0].buttons, platform::Buttons::OkCancel);
    EXPECT_TRUE(question.contains("cell A"));
    EXPECT_TRUE(question.contains(QStringLiteral("№%1").arg(b.id))) << "unlabelled: by number";
    EXPECT_FALSE(question.contains("cell C"));
    EXPECT_TRUE(question.contains("нельзя отменить"));
    EXPECT_EQ(writer.Runs()->size(), 3u) << "cancelled";

    window->OnDelete();  // answered OK
    EXPECT_EQ(LabelsShown(), QStringList({"cell C"}));
    ASSERT_EQ(writer.Runs()->size(), 1u);
    EXPECT_EQ(writer.Runs()->front().id, kept.id);
    EXPECT_TRUE(writer.Samples(a.id)->empty());
    EXPECT_EQ(writer.Samples(kept.id)->size(), 61u);
}

TEST_F(JournalWindowTest, RunningRunFollowsTheRecorderAndStaysDeleted) {
    OpenWindow();
    // The recorder opens a run after the window read the journal.
    RunRecord live = AddRun({"", 1'800'000'000, 10, 1000, ""});
    window->OnRunChanged({RunEventKind::Opened, live});
    ASSERT_EQ(View().rowCount(), 1);

    // An edit made here survives the recorder's next news, which carries its own copy.
    View().setData(View().index(0, Column::kLabel), QStringLiteral("live"));
    live.capacityMah = 1234;
    live.state = RunState::Interrupted;
    window->OnRunChanged({RunEventKind::Interrupted, live});
    EXPECT_EQ(Cell(0, Column::kCapacity), "1234");
    EXPECT_EQ(Cell(0, Column::kState), "прерван");
    EXPECT_EQ(Cell(0, Column::kLabel), "live");

    // News of a run deleted in the window does not bring it back.
    window->SelectRuns({live.id});
    window->OnDelete();
    window->OnRunChanged({RunEventKind::Sampled, live});
    EXPECT_EQ(View().rowCount(), 0);
}

TEST_F(JournalWindowTest, RunOpensInTheCurveWindowAsALoadedCurve) {
    const RunRecord run = AddRun({"cell A", 1'700'000'000, 3600, 1000, ""});
    OpenWindow();
    window->SelectRuns({run.id});

    // During a run the load's warning comes first; cancelled, the curve stays.
    graf->store.runActive = 1;
    dialogs.answers = {platform::Answer::Cancel};
    window->OnOpenInCurveWindow();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, "Идет разряд!\nЗагрузка графика невозможна!");
    EXPECT_EQ(graf->store.durationSeconds, 0);

    graf->store.runActive = 0;
    window->OnOpenInCurveWindow();
    EXPECT_EQ(graf->store.durationSeconds, 3600);
    EXPECT_EQ(graf->store.lastIndex, 3600);
    EXPECT_EQ(graf->store.sampleMillivolts[0], 4180);
    EXPECT_EQ(graf->store.sampleMillivolts[3600], 2710);
    EXPECT_EQ(graf->store.curveCapacityText, CurveCapacityText(1000));
    EXPECT_EQ(graf->windowTitle(), "Разрядная кривая - cell A");

    // Saved from the curve window as a loaded curve would be.
    const QString saved = folder.filePath(QStringLiteral("saved.raz"));
    dialogs.paths = {saved};
    graf->OnSysCommand(CGraf::kSaveCommand);
    EXPECT_TRUE(QFile::exists(saved));
}

// Three runs compared: 1000, 2000 and 500 mAh at 1 A.
class CompareWindowTest : public JournalWindowTest {
public:
    void SetUp() override {
        JournalWindowTest::SetUp();
        runs = {AddRun({"cell A", 1'700'000'000, 3600, 1000, ""}),
                AddRun({"cell B", 1'700'100'000, 7200, 1000, ""}),
                AddRun({"cell C", 1'700'200'000, 1800, 1000, ""})};
        OpenWindow();
        window->SelectRuns({runs[0].id, runs[1].id, runs[2].id});
        window->OnCompare();
        ASSERT_NE(window->CompareWindow(), nullptr);
        plot = window->CompareWindow()->Plot();
        plot->resize(800, 500);
    }

    const CComparisonFigure& Figure() const { return plot->Figure(); }

    std::vector<RunRecord> runs;
    CComparePlot* plot = nullptr;
};

TEST_F(CompareWindowTest, EachAxisEndsTheCurvesWhereTheirRunsEnded) {
    ASSERT_EQ(Figure().Curves().size(), 3u);
    EXPECT_EQ(Figure().Curves()[1].label, "cell B") << "oldest first";
    EXPECT_NE(Figure().ColorOf(0), Figure().ColorOf(1));

    // Each run's energy as the journal integrated it, in Wh.
    double wh[3];
    for (int i = 0; i < 3; ++i) {
        wh[i] = EnergyMwh(writer.Run(runs[static_cast<std::size_t>(i)].id)->energyUj) / 1000.0;
    }
    struct Case {
        FigureAxis axis;
        double ends[3];  // runs in the figure's order: A, B, C
    };
    const Case cases[] = {
        {FigureAxis::Time, {3600, 7200, 1800}},
        {FigureAxis::Capacity, {1000, 2000, 500}},
        {FigureAxis::Energy, {wh[0], wh[1], wh[2]}},
    };
    for (const Case& c : cases) {
        window->CompareWindow()->AxisBox()->setCurrentIndex(static_cast<int>(c.axis));
        ASSERT_EQ(Figure().Axis(), c.axis);
        for (int i = 0; i < 3; ++i) {
            const std::vector<float>& x = Figure().Curves()[i].x[static_cast<std::size_t>(c.axis)];
            EXPECT_NEAR(x.back(), c.ends[i], 1e-3 * c.ends[i]) << int(c.axis) << " curve " << i;
        }
        // Past the shortest curve's end only the longer ones have a value.
        const std::vector<std::optional<double>> values = Figure().ValuesAt(c.ends[2] * 1.5);
        EXPECT_TRUE(values[0] && values[1] && !values[2]);
        EXPECT_GE(Figure().WholeView().right(), c.ends[1] * (1 - 1e-6));
    }
}

TEST_F(CompareWindowTest, SummaryGivesEachRunAndItsDifferenceFromTheFirst) {
    QTableWidget* table = window->CompareWindow()->SummaryTable();
    ASSERT_EQ(table->rowCount(), 3);
    auto cell = [&](int row, int column) { return table->item(row, column)->text(); };
    EXPECT_EQ(cell(0, 0), "cell A");
    EXPECT_EQ(cell(0, 1), "1000");
    EXPECT_EQ(cell(1, 1), "2000");
    EXPECT_EQ(cell(1, 2), "+1000");
    EXPECT_EQ(cell(2, 2), "−500");
    EXPECT_EQ(cell(1, 10), "+1:00:00");
    EXPECT_EQ(cell(2, 10), "−0:30:00");
    EXPECT_EQ(cell(0, 7), "—") << "no Rin measured";
    // Mean voltage: energy over charge, in volts.
    EXPECT_NEAR(cell(2, 5).toDouble(), cell(2, 3).toDouble() / 0.5, 0.002);

    // A curve file joins on the time axis only, and says nothing of capacity.
    CurveStore store;
    for (int t = 1; t <= 600; ++t) {
        store.Append(t, 3900);
    }
    store.sampleMillivolts[0] = 3900;
    store.durationSeconds = 600;
    const QString file = folder.filePath(QStringLiteral("old.raz"));
    ASSERT_TRUE(WriteCurveFile(file, store));
    dialogs.paths = {file};
    window->CompareWindow()->OnAddCurveFile();
    ASSERT_EQ(table->rowCount(), 4);
    EXPECT_EQ(cell(3, 0), "old.raz");
    EXPECT_EQ(cell(3, 1), "—");
    EXPECT_EQ(cell(3, 5), "3.900");
    window->CompareWindow()->AxisBox()->setCurrentIndex(1);
    EXPECT_FALSE(Figure().ValuesAt(100)[3].has_value());
}

TEST_F(CompareWindowTest, WheelAndDraggedRectangleZoomAndOneCommandGoesBack) {
    const QRectF whole = Figure().View();
    const QRectF area = Figure().PlotArea(plot->size());
    const QPoint middle = area.center().toPoint();
    const double xAtMiddle = Figure().DataAt(plot->size(), middle).x();

    QWheelEvent wheel(middle, plot->mapToGlobal(middle), QPoint(), QPoint(0, 240), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(plot, &wheel);
    EXPECT_LT(Figure().View().width(), whole.width() * 0.9);
    EXPECT_NEAR(Figure().DataAt(plot->size(), middle).x(), xAtMiddle, whole.width() * 1e-3)
        << "the point under the mouse stays";

    window->CompareWindow()->OnWholeView();
    EXPECT_EQ(Figure().View(), whole);

    const QPoint from = area.topLeft().toPoint() + QPoint(40, 40);
    const QPoint to = from + QPoint(120, 80);
    const QRectF expected = Figure().ViewOfDrag(plot->size(), QRectF(from, to));
    QTest::mousePress(plot, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(plot, to);
    QTest::mouseRelease(plot, Qt::LeftButton, Qt::NoModifier, to);
    EXPECT_EQ(Figure().View(), expected);
    EXPECT_LT(Figure().View().width(), whole.width() / 2);

    // The readout names the place and every curve's voltage there.
    const QStringList readout = plot->ReadoutAt(middle);
    ASSERT_EQ(readout.size(), 4);
    EXPECT_TRUE(readout[1].startsWith("cell A: "));
}

// The pictures of the comparison, on the screen and saved as PNG and SVG: every curve in its
// colour. BRIMVOLT_SCREENSHOTS=FOLDER keeps pictures of both windows as the operator sees them.
TEST_F(JournalWindowTest, ComparisonShowsAndSavesEveryCurveInItsColour) {
    const std::int64_t spring = 1'712'000'000;
    std::vector<std::int64_t> compared;
    for (const RunPlan& cell : {RunPlan{"18650 №1", spring, 10620, 1000, "", 38},
                                RunPlan{"18650 №2", spring + 14'000, 10332, 1000, "", 41},
                                RunPlan{"18650 №3", spring + 28'000, 9396, 1000, "", 55},
                                RunPlan{"18650 №1 осень", spring + 15'800'000, 8928, 1000,
                                        "после полугода в работе", 62}}) {
        compared.push_back(AddRun(cell).id);
    }
    AddRun({"14500 №1", spring - 900'000, 5760, 500, "", 95});
    AddRun({"14500 №2", spring - 800'000, 5472, 500, "", 104});
    OpenWindow();
    window->resize(1360, 330);
    window->show();
    window->SelectRuns(compared);
    window->OnCompare();
    CCompareDlg* compare = window->CompareWindow();
    ASSERT_NE(compare, nullptr);
    compare->AxisBox()->setCurrentIndex(static_cast<int>(FigureAxis::Capacity));
    compare->resize(1000, 760);
    const QString png = folder.filePath(QStringLiteral("compare.png"));
    const QString svg = folder.filePath(QStringLiteral("compare"));
    dialogs.paths = {png, svg};
    compare->OnExportImage(false);
    compare->OnExportImage(true);
    EXPECT_TRUE(dialogs.messages.isEmpty());

    // Looked for inside the plot area only: the legend shows every colour anyway.
    const QImage pictures[] = {compare->Plot()->grab().toImage(), QImage(png)};
    for (const QImage& picture : pictures) {
        ASSERT_FALSE(picture.isNull());
        const QRect area = compare->Plot()->Figure().PlotArea(picture.size()).toRect();
        for (int i = 0; i < 4; ++i) {
            const QColor colour = compare->Plot()->Figure().ColorOf(i);
            bool found = false;
            for (int y = area.top(); y <= area.bottom() && !found; ++y) {
                for (int x = area.left(); x <= area.right() && !found; ++x) {
                    found =
                        brimvolt::testing::IsInkOverWhite(picture.pixelColor(x, y), colour, 0.8);
                }
            }
            EXPECT_TRUE(found) << "curve " << i;
        }
    }
    QFile file(svg + QStringLiteral(".svg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("18650 №1 осень"));

    if (const QString shots = qEnvironmentVariable("BRIMVOLT_SCREENSHOTS"); !shots.isEmpty()) {
        QTest::mouseMove(compare->Plot(), QPoint(700, 160));
        window->grab().save(shots + QStringLiteral("/journal.png"));
        compare->grab().save(shots + QStringLiteral("/compare.png"));
    }
}

}  // namespace
