// The journal window's side of the cell register: the runs' "Ячейка" column, typed with
// completion from the register, and the cells tab.

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QCompleter>
#include <QDir>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "curve/Graf.h"
#include "journal/Journal.h"
#include "journalview/JournalDlg.h"
#include "journalview/RunTableModel.h"
#include "support/ScriptedDialogs.h"

using namespace brimvolt;
using brimvolt::testing::ScriptedDialogs;
using Column = CRunTableModel::Column;

namespace {

struct RunPlan {
    QString cell;  // empty: none
    std::int64_t startedUtc;
    std::int32_t capacityMah;
    bool charge = false;
    std::uint16_t rinMohm = 0;
    std::uint8_t maxTemperature = 25;
    std::int64_t energyUj = 0;
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
