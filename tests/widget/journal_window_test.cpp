#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "curve/Graf.h"
#include "journal/Journal.h"
#include "journal/JournalExport.h"
#include "journalview/JournalDlg.h"
#include "journalview/RunTableModel.h"
#include "module/CurveRecording.h"
#include "support/ScriptedDialogs.h"

using namespace brimvolt;
using brimvolt::testing::ScriptedDialogs;
using Column = CRunTableModel::Column;

namespace {

struct RunSpec {
    QString label;
    std::int64_t startedUtc;
    std::int32_t seconds;  // one sample a second from 0
    std::int32_t milliamps;
    QString note;
};

std::vector<JournalSample> SamplesOf(const RunSpec& spec) {
    std::vector<JournalSample> samples;
    for (std::int32_t t = 0; t <= spec.seconds; ++t) {
        JournalSample sample;
        sample.seconds = t;
        sample.voltageMv = static_cast<std::uint16_t>(4200 - t / 4);
        sample.currentMa = static_cast<std::uint16_t>(t == 0 ? 0 : spec.milliamps);
        sample.capacityMah = t * spec.milliamps / 3600;
        sample.temperature = static_cast<std::uint8_t>(25 + t % 5);
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

    RunRecord AddRun(const RunSpec& spec) {
        RunRecord run;
        run.startedUtc = spec.startedUtc;
        run.port = QStringLiteral("ttyUSB0");
        run.label = spec.label;
        run.note = spec.note;
        run.state = RunState::Stopped;
        const std::vector<JournalSample> samples = SamplesOf(spec);
        run.durationSeconds = spec.seconds;
        run.capacityMah = samples.back().capacityMah;
        run.startMv = samples.front().voltageMv;
        run.endMv = samples.back().voltageMv;
        run.sampleCount = static_cast<std::int32_t>(samples.size());
        EXPECT_EQ(writer.SaveRun(run, samples), CJournal::SaveResult::Saved);
        // Label and note are the operator's: written as the window writes them.
        writer.SetLabel(run.id, spec.label);
        writer.SetNote(run.id, spec.note);
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
    EXPECT_EQ(Cell(1, Column::kStartVoltage), "4.200");
    EXPECT_EQ(Cell(1, Column::kEndVoltage), "2.400");
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
        {Column::kDuration, Qt::AscendingOrder, {"cell B", "cell A", "old pack"}},
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
    window->FilterEdit()->clear();
    EXPECT_EQ(View().rowCount(), 3);
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
    live.state = RunState::Running;
    window->OnRunChanged({RunEventKind::Opened, live});
    ASSERT_EQ(View().rowCount(), 1);
    EXPECT_EQ(Cell(0, Column::kState), "идет");

    // An edit made here survives the recorder's next news, which carries its own copy.
    window->Table()->model()->setData(View().index(0, Column::kLabel), QStringLiteral("live"));
    live.capacityMah = 1234;
    live.state = RunState::Stopped;
    window->OnRunChanged({RunEventKind::Ended, live});
    EXPECT_EQ(Cell(0, Column::kCapacity), "1234");
    EXPECT_EQ(Cell(0, Column::kState), "завершен");
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
    EXPECT_EQ(graf->store.sampleMillivolts[0], 4200);
    EXPECT_EQ(graf->store.sampleMillivolts[3600], 3300);
    EXPECT_EQ(graf->store.curveCapacityText, CurveCapacityText(1000));
    EXPECT_EQ(graf->windowTitle(), "Разрядная кривая - cell A");
    EXPECT_TRUE(graf->isVisible());

    // Saved from the curve window as a loaded curve would be.
    const QString saved = folder.filePath(QStringLiteral("saved.raz"));
    dialogs.paths = {saved};
    graf->OnSysCommand(CGraf::kSaveCommand);
    EXPECT_TRUE(QFile::exists(saved));
}

TEST_F(JournalWindowTest, ExportsWriteTheToolsCsvAndCurveFile) {
    const RunRecord run = AddRun({"cell/A", 1'700'000'000, 120, 1000, ""});
    OpenWindow();
    window->SelectRuns({run.id});
    const QString csv = folder.filePath(QStringLiteral("run.csv"));
    const QString curve = folder.filePath(QStringLiteral("run.raz"));
    dialogs.paths = {csv, curve};

    window->OnExportCsv(true);
    window->OnExportCurveFile();

    ASSERT_EQ(dialogs.saveAsked.size(), 2);
    EXPECT_EQ(dialogs.saveAsked[0].proposedName, "cell_A.csv");
    const RunRecord stored = *writer.Run(run.id);
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), RunCsv(stored, *writer.Samples(run.id), true));
    EXPECT_TRUE(QFile::exists(curve));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

}  // namespace
