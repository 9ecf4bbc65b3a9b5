// The journal window's side of the cell register: the runs' "Ячейка" column, typed with
// completion from the register, and the cells tab with its grades and their bounds.

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "curve/Graf.h"
#include "journal/CellSummary.h"
#include "journal/Journal.h"
#include "journalview/CompareDlg.h"
#include "journalview/ComparedCurve.h"
#include "journalview/GradeBoundsDlg.h"
#include "journalview/JournalDlg.h"
#include "journalview/RunTableModel.h"
#include "labels/QrCode.h"
#include "support/ScriptedDialogs.h"

using namespace brimvolt;
using brimvolt::testing::ScriptedDialogs;
using Column = CRunTableModel::Column;
using C = CCellTableModel;

namespace {

struct RunPlan {
    QString cell;  // empty: none
    std::int64_t startedUtc;
    std::int32_t capacityMah;
    bool charge = false;
    std::uint16_t rinMohm = 0;
    std::uint8_t maxTemperature = 25;
    std::int64_t energyUj = 0;
    bool rest = false;
};

class JournalCellsWindowTest : public ::testing::Test {
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
        run.state = RunState::Stopped;
        run.charge = plan.charge;
        run.capacityMah = plan.capacityMah;
        run.rinMohm = plan.rinMohm;
        run.maxTemperature = plan.maxTemperature;
        run.energyUj = plan.energyUj;
        run.rest = plan.rest;
        std::vector<JournalSample> samples(2);
        samples[1].seconds = 1;
        run.sampleCount = 2;
        EXPECT_EQ(writer.SaveRun(run, samples), CJournal::SaveResult::Saved);
        if (!plan.cell.isEmpty()) {
            EXPECT_TRUE(writer.SetRunCell(run.id, plan.cell));
        }
        return run;
    }

    QString CellOfRunInJournal(std::int64_t runId) {
        CJournal reader;
        EXPECT_TRUE(reader.Open(path, CJournal::OpenMode::Existing).Usable());
        const std::vector<CellRecord> cells = reader.Cells().value();
        const std::vector<RunCellLink> links = reader.RunCells().value();
        for (const RunCellLink& link : links) {
            if (link.runId == runId) {
                for (const CellRecord& cell : cells) {
                    if (cell.id == link.cellId) {
                        return cell.name;
                    }
                }
            }
        }
        return {};
    }

    void OpenWindow() {
        window = std::make_unique<CJournalDlg>(dialogs, *graf);
        window->Create(owner.get(), path);
    }

    QAbstractItemModel& Runs() const { return *window->Table()->model(); }
    // The run's cell in the table as sorted and filtered.
    QModelIndex RunCell(std::int64_t runId) const {
        auto* proxy = qobject_cast<QSortFilterProxyModel*>(window->Table()->model());
        const int row = window->Model().RowOf(runId);
        return row < 0 ? QModelIndex()
                       : proxy->mapFromSource(window->Model().index(row, Column::kCell));
    }

    QTemporaryDir folder;
    QString previousFolder;
    QString path;
    CJournal writer;
    ScriptedDialogs dialogs;
    std::unique_ptr<QWidget> owner;
    std::unique_ptr<CGraf> graf;
    std::unique_ptr<CJournalDlg> window;
};

}  // namespace

TEST_F(JournalCellsWindowTest, CellColumnSetsChangesAndFreesTheRunsCell) {
    const RunRecord run = AddRun({"A-1", 1'700'000'000, 2500});
    AddRun({"B-7", 1'700'000'100, 2400});
    OpenWindow();
    ASSERT_EQ(Runs().rowCount(), 2);
    EXPECT_EQ(RunCell(run.id).data().toString(), "A-1");
    EXPECT_EQ(window->CellNames(), QStringList({"A-1", "B-7"}));

    struct Edit {
        QString typed;
        QString stored;  // in the journal and shown
        QStringList names;
    };
    const Edit edits[] = {
        {"  C-3 ", "C-3", {"A-1", "B-7", "C-3"}},  // a new cell joins the register and completion
        {"b-7", "b-7", {"A-1", "B-7", "b-7", "C-3"}},  // names are exact: another cell
        {"B-7", "B-7", {"A-1", "B-7", "b-7", "C-3"}},
        {"", "", {"A-1", "B-7", "b-7", "C-3"}},  // freed; the cells stay in the register
    };
    for (const Edit& edit : edits) {
        SCOPED_TRACE(edit.typed.toStdString());
        ASSERT_TRUE(Runs().setData(RunCell(run.id), edit.typed));
        EXPECT_EQ(RunCell(run.id).data().toString(), edit.stored);
        EXPECT_EQ(CellOfRunInJournal(run.id), edit.stored);
        EXPECT_EQ(window->CellNames(), edit.names);
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());

    // The filter finds runs by their cell too.
    window->FilterEdit()->setText(QStringLiteral("b-7"));
    EXPECT_EQ(Runs().rowCount(), 1);
    window->FilterEdit()->clear();

    // Another program deleted the run: refused, the operator told, the row as it was.
    const std::int64_t ids[] = {run.id};
    ASSERT_TRUE(writer.DeleteRuns(ids));
    EXPECT_FALSE(Runs().setData(RunCell(run.id), QStringLiteral("D-4")));
    EXPECT_EQ(RunCell(run.id).data().toString(), "");
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].text.contains("больше нет"));
}

TEST_F(JournalCellsWindowTest, CellEditorCompletesFromTheRegister) {
    AddRun({"LG-0012", 1'700'000'000, 2500});
    AddRun({"LG-0013", 1'700'000'100, 2500});
    const RunRecord free = AddRun({"", 1'700'000'200, 2500});
    OpenWindow();
    const QModelIndex at = RunCell(free.id);
    EXPECT_TRUE(Runs().flags(at) & Qt::ItemIsEditable);
    QAbstractItemDelegate* delegate = window->Table()->itemDelegateForColumn(Column::kCell);
    ASSERT_NE(delegate, nullptr);
    std::unique_ptr<QWidget> editor(
        delegate->createEditor(window->Table()->viewport(), QStyleOptionViewItem(), at));
    auto* line = qobject_cast<QLineEdit*>(editor.get());
    ASSERT_NE(line, nullptr);
    ASSERT_NE(line->completer(), nullptr);
    // Part of a name, in either case, offers the cells that have it.
    line->completer()->setCompletionPrefix(QStringLiteral("0013"));
    EXPECT_EQ(line->completer()->completionCount(), 1);
    EXPECT_EQ(line->completer()->currentCompletion(), "LG-0013");
    line->completer()->setCompletionPrefix(QStringLiteral("lg"));
    EXPECT_EQ(line->completer()->completionCount(), 2);
    // The next cell's field completes from the same names; without a recorder it takes none.
    ASSERT_NE(window->NextCellEdit()->completer(), nullptr);
    EXPECT_EQ(window->NextCellEdit()->completer()->model()->rowCount(), 2);
    EXPECT_FALSE(window->NextCellEdit()->isEnabled());
}

namespace {

struct Expected {
    QString name;
    int runs;
    QString last, share, first, fade, energy, meanVolts, rin, hottest, state80, state75;
};

}  // namespace

TEST_F(JournalCellsWindowTest, CellsTabSumsUpEachCellsRuns) {
    const auto cell = [&](const QString& name, std::int32_t nominal, bool retired = false,
                          const QString& maker = {}) {
        CellRecord record;
        record.name = name;
        record.nominalMah = nominal;
        record.retired = retired;
        record.maker = maker;
        ASSERT_TRUE(writer.SaveCell(record));
    };
    cell("A", 2500, false, "Samsung");
    cell("B", 2000, true);
    cell("C", 0);
    cell("D", 2500);
    cell("E", 3000);
    cell("F", 2500);
    // 9 Wh from 2500 mAh: 3.600 V on average.
    const std::int64_t wh9 = 9 * 3'600'000'000LL;
    // Out of order on purpose: the last is the latest started, not the latest added.
    AddRun({"A", 1'700'000'300, 2300, false, 0, 31, wh9 * 23 / 25});
    AddRun({"A", 1'700'000'100, 2600, false, 42, 30, wh9});
    AddRun({"A", 1'700'000'200, 2700, true, 0, 45, wh9});  // a charge: not a capacity
    AddRun({"B", 1'700'000'100, 1900, false, 55, 28, wh9});
    AddRun({"C", 1'700'000'100, 1500, false, 0, 27, wh9});
    AddRun({"E", 1'700'000'100, 2300, false, 0, 26, wh9});
    AddRun({"F", 1'700'000'100, 2000, false, 0, 25, wh9});
    AddRun({"", 1'700'000'400, 100, false, 99, 99, wh9});  // no cell: counted nowhere
    OpenWindow();

    const Expected expected[] = {
        {"A", 3, "2300", "92", "2600", "11.5", "8.280", "3.600", "42", "45", "годная", "годная"},
        {"B", 1, "1900", "95", "1900", "", "9.000", "4.737", "55", "28", "списана", "списана"},
        {"C", 1, "1500", "", "1500", "", "9.000", "6.000", "", "27", "годная", "годная"},
        {"D", 0, "", "", "", "", "", "", "", "", "не испытана", "не испытана"},
        {"E", 1, "2300", "77", "2300", "", "9.000", "3.913", "", "26", "слабая", "годная"},
        {"F", 1, "2000", "80", "2000", "", "9.000", "4.500", "", "25", "годная", "годная"},
    };
    using C = CCellTableModel;
    const QAbstractItemModel& cells = *window->CellTable()->model();
    ASSERT_EQ(cells.rowCount(), 6);
    for (int weak : {80, 75, 81}) {
        window->WeakPercentBox()->setValue(weak);
        for (int row = 0; row < cells.rowCount(); ++row) {
            const Expected& e = expected[row];
            SCOPED_TRACE(e.name.toStdString() + " at " + std::to_string(weak));
            const auto at = [&](int column) { return cells.index(row, column).data().toString(); };
            EXPECT_EQ(at(C::kName), e.name);
            EXPECT_EQ(at(C::kRuns), QString::number(e.runs));
            EXPECT_EQ(at(C::kLastCapacity), e.last);
            EXPECT_EQ(at(C::kShare), e.share);
            EXPECT_EQ(at(C::kFirstCapacity), e.first);
            EXPECT_EQ(at(C::kFade), e.fade);
            EXPECT_EQ(at(C::kEnergy), e.energy);
            EXPECT_EQ(at(C::kMeanVoltage), e.meanVolts);
            EXPECT_EQ(at(C::kRin), e.rin);
            EXPECT_EQ(at(C::kMaxTemperature), e.hottest);
            // 2000 of 2500 is 80 %, not below it; 81 % makes F weak.
            const QString state = weak == 75                    ? e.state75
                                  : weak == 81 && e.name == "F" ? QStringLiteral("слабая")
                                                                : e.state80;
            EXPECT_EQ(at(C::kState), state);
        }
    }

    struct Order {
        int column;
        Qt::SortOrder order;
        QStringList names;
    };
    const Order orders[] = {
        // Cells without a value go first up and last down; numbers compare as numbers.
        {C::kLastCapacity, Qt::AscendingOrder, {"D", "C", "B", "F", "A", "E"}},
        {C::kRin, Qt::DescendingOrder, {"B", "A"}},
        {C::kState, Qt::AscendingOrder, {"A", "C", "F", "E", "B", "D"}},
    };
    window->WeakPercentBox()->setValue(80);
    for (const Order& o : orders) {
        window->CellTable()->sortByColumn(o.column, o.order);
        QStringList names;
        for (int row = 0; row < cells.rowCount(); ++row) {
            names.append(cells.index(row, C::kName).data().toString());
        }
        // Ties keep the order they had; only the rows told apart are checked.
        EXPECT_EQ(names.mid(0, o.names.size()), o.names) << "column " << o.column;
    }
    window->CellFilterEdit()->setText(QStringLiteral("samsung"));
    EXPECT_EQ(cells.rowCount(), 1);
    window->CellFilterEdit()->clear();
    EXPECT_EQ(cells.rowCount(), 6);
}

TEST_F(JournalCellsWindowTest, CompareOnCellsOverlaysEachCellsRunsAndFollowsNewCells) {
    const RunRecord a1 = AddRun({"A", 1'700'000'100, 2600});
    const RunRecord a2 = AddRun({"A", 1'700'000'200, 2500});
    const RunRecord b1 = AddRun({"B", 1'700'000'300, 2400});
    const RunRecord free = AddRun({"", 1'700'000'400, 2400});
    OpenWindow();

    // One cell with one run is not a comparison.
    window->SelectCells({"B"});
    EXPECT_EQ(window->SelectedCellNames(), QStringList({"B"}));
    window->OnCompareCells();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(window->CompareWindow(), nullptr);

    window->SelectCells({"B", "A"});
    EXPECT_EQ(window->SelectedCellNames(), QStringList({"A", "B"}));
    window->OnCompareCells();
    ASSERT_NE(window->CompareWindow(), nullptr);
    std::vector<std::int64_t> compared;
    for (const CurveSummary& summary : window->CompareWindow()->Summaries()) {
        compared.push_back(summary.runId);
    }
    EXPECT_EQ(compared, std::vector<std::int64_t>({a1.id, a2.id, b1.id}));
    EXPECT_EQ(dialogs.messages.size(), 1);

    // A run given to a cell in the runs table joins the cell's row; a new name adds a row.
    ASSERT_TRUE(Runs().setData(RunCell(free.id), QStringLiteral("C")));
    QCoreApplication::processEvents();
    ASSERT_EQ(window->CellModel().rowCount(), 3);
    EXPECT_EQ(window->CellModel().RowAt(2).summary.cell.name, "C");
    EXPECT_EQ(window->CellModel().RowAt(2).summary.runs, 1);
    EXPECT_EQ(window->SelectedCellNames(), QStringList({"A", "B"})) << "selection kept";
}

TEST(CellRows, AgreeWithTheJournalsCellSummaryOnEveryCell) {
    // Drawn runs over a few cells, starts colliding so the id decides; some runs without a cell.
    std::mt19937 random(7);
    std::vector<CellRecord> cells;
    for (int c = 0; c < 12; ++c) {
        CellRecord cell;
        cell.id = c + 1;
        cell.name = QStringLiteral("cell %1").arg(c);
        cell.nominalMah = 2500;
        cells.push_back(cell);
    }
    std::vector<RunRecord> runs;
    std::vector<RunCellLink> links;
    QHash<std::int64_t, QString> cellOfRun;
    for (int i = 0; i < 400; ++i) {
        RunRecord run;
        run.id = 1000 - i;
        run.startedUtc = 1'700'000'000 + static_cast<std::int64_t>(random() % 50);
        run.charge = random() % 3 == 0;
        run.capacityMah = static_cast<std::int32_t>(random() % 4) * 900;
        run.rinMohm = static_cast<std::uint16_t>(random() % 2 == 0 ? 0 : 30 + random() % 50);
        runs.push_back(run);
        const std::size_t cell = random() % (cells.size() + 2);
        if (cell < cells.size()) {
            links.push_back({run.id, cells[cell].id});
            cellOfRun.insert(run.id, cells[cell].name);
        }
    }
    const std::vector<CellSummary> expected = SummarizeCells(cells, runs, links);
    const std::vector<CellRow> rows = CellRows(cells, runs, cellOfRun);
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i].summary.cell, expected[i].cell);
        EXPECT_EQ(rows[i].summary.runs, expected[i].runs);
        EXPECT_EQ(rows[i].summary.firstCapacityMah, expected[i].firstCapacityMah);
        EXPECT_EQ(rows[i].summary.lastCapacityMah, expected[i].lastCapacityMah);
        EXPECT_EQ(rows[i].summary.lastRinMohm, expected[i].lastRinMohm);
        EXPECT_EQ(rows[i].summary.lastTestUtc, expected[i].lastTestUtc);
    }
}

TEST_F(JournalCellsWindowTest, LabelsButtonPrintsTheSelectedCells) {
    AddRun({"A", 1'700'000'100, 2600});
    AddRun({"B", 1'700'000'200, 2500});
    OpenWindow();
    QPushButton* labels = nullptr;
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (button->text() == QStringLiteral("Печать этикеток...")) {
            labels = button;
        }
    }
    ASSERT_NE(labels, nullptr);
    const QString pdf = folder.filePath(QStringLiteral("labels.pdf"));
    window->SelectCells({"B"});
    dialogs.paths.push_back(pdf);
    labels->click();
    if (!QrCodesAvailable()) {
        EXPECT_EQ(dialogs.messages.size(), 1) << "a build without QR codes says it has no labels";
        return;
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
    QFile written(pdf);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().startsWith("%PDF"));
}

namespace {

constexpr std::int64_t kT0 = 1'700'000'000;
constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kStored = kT0 + 20'000;  // after a graded cell's discharge and charge

class CellGradesTest : public JournalCellsWindowTest {
public:
    // Nominal 2500 mAh, discharged at kT0 and charged after.
    void Cell(const char* name, std::int32_t dischargedMah, std::uint16_t rinMohm = 0,
              Chemistry chemistry = Chemistry::LiIon) {
        CellRecord cell;
        cell.name = QString::fromUtf8(name);
        cell.chemistry = chemistry;
        cell.nominalMah = 2500;
        ASSERT_TRUE(writer.SaveCell(cell));
        if (dischargedMah > 0) {
            AddRun({cell.name, kT0, dischargedMah, false, rinMohm});
            AddRun({cell.name, kT0 + 10'000, 2600, true});
        }
    }

    void Check(const char* name, std::int64_t atUtc, double millivolts) {
        CheckRecord check;
        check.atUtc = atUtc;
        check.millivolts = millivolts;
        ASSERT_TRUE(writer.AddCheck(check, QString::fromUtf8(name)));
    }

    // The column as the tab shows it, sorted as it is.
    QStringList Column(int column) const {
        QStringList texts;
        for (int row = 0; row < window->CellTable()->model()->rowCount(); ++row) {
            texts.append(window->CellTable()->model()->index(row, column).data().toString());
        }
        return texts;
    }

    // Plays the script in the bounds dialog; a dialog left open is cancelled.
    void InBoundsDialog(const std::function<void(CGradeBoundsDlg&)>& script) {
        QTimer::singleShot(0, window.get(), [this, script] {
            auto* dialog = window->findChild<CGradeBoundsDlg*>();
            if (dialog == nullptr) {
                ADD_FAILURE() << "no bounds dialog";
                QApplication::activeModalWidget()->close();
                return;
            }
            script(*dialog);
            dialog->reject();
        });
        window->OnGradeBounds();
    }

    std::vector<GradeBoundsRecord> StoredBounds() {
        CJournal reader;
        EXPECT_TRUE(reader.Open(path, CJournal::OpenMode::Existing).Usable());
        return reader.StoredGradeBounds().value_or(std::vector<GradeBoundsRecord>{});
    }
};

}  // namespace

TEST_F(CellGradesTest, ColumnsSayTheStorageAndGradeAndSortByThem) {
    Cell("charged", 2450);
    Check("charged", kT0 - kDay, 4190);  // before its runs: no part of its storage
    Cell("begun", 2200);
    Check("begun", kT0 + 5000, 3600);
    Check("begun", kStored, 4180);
    Cell("measured", 1900);
    Check("measured", kStored, 4180);
    AddRun({"measured", kStored + 1000, 0, false, 0, 25, 0, true});  // a rest goes on storing
    Check("measured", kStored + 10 * kDay, 4165);
    Cell("leaky", 2450);
    Check("leaky", kStored + 20 * kDay, 4120);
    Check("leaky", kStored, 4180);
    Cell("high rin", 2450, 112);
    Cell("weak", 1500);
    Cell("untested", 0);
    OpenWindow();
    const QString unchecked = QStringLiteral("не проверена после заряда");
    window->CellTable()->sortByColumn(-1, Qt::AscendingOrder);  // the register's order
    EXPECT_EQ(Column(C::kSelfDischarge),
              QStringList({unchecked, "одна проверка", "1.50", "3.00", unchecked, unchecked, ""}));
    EXPECT_EQ(Column(C::kStorageDays), QStringList({"", "0.0", "10.0", "20.0", "", "", ""}));
    EXPECT_EQ(Column(C::kGrade), QStringList({"A", "B", "C", "брак", "брак", "брак", ""}));
    EXPECT_EQ(Column(C::kRule), QStringList({"ёмкость 98 % ≥ 95", "ёмкость 88 % ≥ 85",
                                             "ёмкость 76 % ≥ 70", "саморазряд 3 мВ/сут > 2",
                                             "Rin 112 мОм > 80", "ёмкость 60 % < 70", ""}));
    // A rate over a storage shorter than its bound is shown, not judged, and the tip says so.
    const QModelIndex measured = window->CellTable()->model()->index(2, C::kGrade);
    EXPECT_TRUE(
        measured.data(Qt::ToolTipRole).toString().contains("не оценён: хранение 10 сут < 14"));

    const std::pair<int, QStringList> orders[] = {
        // going up; going down is the reverse
        {C::kSelfDischarge, {"", unchecked, unchecked, unchecked, "одна проверка", "1.50", "3.00"}},
        {C::kStorageDays, {"", "", "", "", "0.0", "10.0", "20.0"}},
        {C::kGrade, {"A", "B", "C", "брак", "брак", "брак", ""}},
    };
    for (const auto& [column, up] : orders) {
        SCOPED_TRACE(column);
        window->CellTable()->sortByColumn(column, Qt::AscendingOrder);
        EXPECT_EQ(Column(column), up);
        window->CellTable()->sortByColumn(column, Qt::DescendingOrder);
        QStringList down = up;
        std::reverse(down.begin(), down.end());
        EXPECT_EQ(Column(column), down);
    }

    // Other bounds grade the rows as they are: nothing rebuilt, the sorted tab following.
    GradeBoundsSet strict = GradeBoundsWith({});
    GradeBoundsRecord& liIon = strict[static_cast<std::size_t>(Chemistry::LiIon)];
    liIon.aSharePercent = 99;
    liIon.maxRinMohm.reset();
    liIon.maxDropMvPerDay = 1;
    QSignalSpy reset(&window->CellModel(), &QAbstractItemModel::modelReset);
    window->CellTable()->sortByColumn(C::kGrade, Qt::AscendingOrder);
    window->RegradeCells(strict);
    EXPECT_EQ(reset.size(), 0);
    EXPECT_EQ(Column(C::kGrade), QStringList({"B", "B", "B", "C", "брак", "брак", ""}));
    window->CellTable()->sortByColumn(-1, Qt::AscendingOrder);
    // 10 days of storage are too short to judge the measured cell by the stricter rate.
    EXPECT_EQ(Column(C::kRule), QStringList({"ёмкость 98 % ≥ 85", "ёмкость 88 % ≥ 85",
                                             "ёмкость 76 % ≥ 70", "саморазряд 3 мВ/сут > 1",
                                             "ёмкость 98 % ≥ 85", "ёмкость 60 % < 70", ""}));
}

TEST_F(CellGradesTest, BoundsDialogKeepsBoundsInTheJournalAndTheTabGradesByThem) {
    Cell("X", 2400, 90);                  // 96 %
    Cell("N", 2125, 0, Chemistry::NiMH);  // 85 %
    writer.Close();
    sqlite3* db = nullptr;  // the journal as it was before it kept checks and bounds
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "DROP TABLE checks; DROP TABLE grade_bounds; PRAGMA user_version=3;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    OpenWindow();
    window->CellTable()->sortByColumn(-1, Qt::AscendingOrder);  // X, N
    EXPECT_EQ(Column(C::kRule), QStringList({"Rin 90 мОм > 80", "ёмкость 85 % ≥ 80"}));

    // Typed for NiMH and kept while Li-ion is shown; an empty Rin bound is not judged.
    window->SelectCells({"N"});
    InBoundsDialog([](CGradeBoundsDlg& dialog) {
        EXPECT_EQ(dialog.ChemistryBox()->currentIndex(), static_cast<int>(Chemistry::NiMH));
        dialog.BoundEdit("a_share")->setText("85");
        dialog.ChemistryBox()->setCurrentIndex(static_cast<int>(Chemistry::LiIon));
        EXPECT_EQ(dialog.BoundEdit("max_rin_mohm")->text(), "80");
        dialog.BoundEdit("max_rin_mohm")->clear();
        dialog.BoundEdit("max_drop_mv_per_day")->setText("1,5");
        EXPECT_EQ(dialog.Accept(), std::nullopt);
    });
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(Column(C::kRule), QStringList({"ёмкость 96 % ≥ 95", "ёмкость 85 % ≥ 85"}));
    GradeBoundsRecord liIon = DefaultGradeBounds(Chemistry::LiIon);
    liIon.maxRinMohm.reset();
    liIon.maxDropMvPerDay = 1.5;
    GradeBoundsRecord nimh = DefaultGradeBounds(Chemistry::NiMH);
    nimh.aSharePercent = 85;
    EXPECT_EQ(StoredBounds(), std::vector<GradeBoundsRecord>({liIon, nimh}));

    // Bounds that cannot grade or cannot be read are refused, told, and nothing is kept.
    window->SelectCells({"X"});
    const std::pair<const char*, const char*> refusals[] = {
        {"c_share", "90"}, {"b_share", "-1"}, {"min_storage_days", ""}};
    for (const auto& [key, text] : refusals) {
        SCOPED_TRACE(key);
        InBoundsDialog([&](CGradeBoundsDlg& dialog) {
            dialog.BoundEdit(key)->setText(QString::fromUtf8(text));
            EXPECT_NE(dialog.Accept(), std::nullopt);
            EXPECT_TRUE(dialog.isVisible());
        });
    }
    ASSERT_EQ(dialogs.messages.size(), 3);
    EXPECT_TRUE(dialogs.messages[0].text.contains("A ≥ B ≥ C"));
    EXPECT_EQ(StoredBounds(), std::vector<GradeBoundsRecord>({liIon, nimh}));

    // The defaults again: forgotten in the journal, Rin judged again.
    InBoundsDialog([](CGradeBoundsDlg& dialog) {
        dialog.OnDefaults();
        EXPECT_EQ(dialog.Accept(), std::nullopt);
    });
    EXPECT_EQ(StoredBounds(), std::vector<GradeBoundsRecord>({nimh}));
    EXPECT_EQ(Column(C::kGrade), QStringList({"брак", "A"}));

    // A check the program recorded grades the cell again: N lost 6 mV a day over 20 days.
    ASSERT_TRUE(writer.Open(path).Usable());
    Check("N", kStored, 1400);
    Check("N", kStored + 20 * kDay, 1280);
    window->OnCheckRecorded();
    EXPECT_EQ(Column(C::kSelfDischarge).value(1), "6.00");
    EXPECT_EQ(Column(C::kRule).value(1), "саморазряд 6 мВ/сут > 5");
}
