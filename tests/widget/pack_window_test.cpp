// The pack window driven through its controls over a journal of measured cells.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "journal/Journal.h"
#include "packview/PackDlg.h"
#include "support/Eventually.h"
#include "support/ScriptedDialogs.h"

using namespace brimvolt;
using brimvolt::testing::ScriptedDialogs;

namespace {

struct CellPlan {
    const char* name;
    std::int32_t capacityMah;
    std::uint16_t rinMohm;  // 0: none measured
    bool retired = false;
};

const CellPlan kCells[] = {{"A", 2500, 40}, {"B", 2490, 42}, {"C", 2510, 41},
                           {"D", 2495, 39}, {"E", 2000, 0},  {"F", 2600, 80},
                           {"G", 2480, 45}, {"old", 2500, 40, true}};

class PackWindow : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.filePath("journal.sqlite");
        CJournal journal;
        ASSERT_TRUE(journal.Open(path).Usable());
        std::int64_t started = 1'700'000'000;
        for (const CellPlan& plan : kCells) {
            RunRecord run;
            run.startedUtc = ++started;
            run.port = "COM3";
            run.capacityMah = plan.capacityMah;
            run.rinMohm = plan.rinMohm;
            ASSERT_EQ(journal.SaveRun(run, {}), CJournal::SaveResult::Saved);
            ASSERT_TRUE(journal.SetRunCell(run.id, plan.name));
            if (plan.retired) {
                CellRecord cell = *journal.CellNamed(plan.name);
                cell.retired = true;
                ASSERT_TRUE(journal.SaveCell(cell));
            }
        }
        window = std::make_unique<CPackDlg>(dialogs, path);
        window->show();
    }

    template <typename T>
    T* Find(const char* name) {
        T* widget = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    /** Asks for S×P and waits for the search to end. */
    void Plan(int s, int p) {
        Find<QSpinBox>("series")->setValue(s);
        Find<QSpinBox>("parallel")->setValue(p);
        Find<QPushButton>("plan")->click();
        ASSERT_EVENTUALLY(!window->Planning(), kEventuallyMs);
    }

    QString Status() { return Find<QLabel>("status")->text(); }

    /** The groups as the tree shows them: "name name | sum" per group, spares last. */
    QStringList Groups() {
        QStringList shown;
        QTreeWidget* tree = Find<QTreeWidget>("groups");
        for (int g = 0; g < tree->topLevelItemCount(); ++g) {
            const QTreeWidgetItem* group = tree->topLevelItem(g);
            QStringList names;
            for (int c = 0; c < group->childCount(); ++c) {
                names << group->child(c)->text(0);
            }
            shown << group->text(0) + ": " + names.join(' ') + " | " + group->text(1);
        }
        return shown;
    }

    std::vector<std::int64_t> PackOfCells() {
        CJournal journal;
        EXPECT_TRUE(journal.Open(path, CJournal::OpenMode::Existing).Usable());
        std::vector<std::int64_t> ids;
        const auto cells = journal.Cells();  // kept: a loop over *Cells() reads a dead temporary
        for (const CellRecord& cell : cells.value_or(std::vector<CellRecord>{})) {
            ids.push_back(cell.packId);
        }
        return ids;
    }

    QTemporaryDir dir;
    QString path;
    ScriptedDialogs dialogs;
    std::unique_ptr<CPackDlg> window;
};

// The plan shown is the one the command line gives: the CSV the window exports is the tool's.
TEST_F(PackWindow, ShowsAndExportsTheToolsPlan) {
    Plan(2, 2);
    // The largest pack first (5010 mAh), then the smaller spread: G before D beside F.
    EXPECT_EQ(Groups(), (QStringList{QString::fromUtf8("Группа 1: F G | 5080"),
                                     QString::fromUtf8("Группа 2: C A | 5010"),
                                     QString::fromUtf8("Запас: D B E | ")}))
        << Groups().join('\n').toStdString();
    EXPECT_EQ(Find<QLabel>("summary")->text(),
              QString::fromUtf8("Батарея 2S2P: 5010 мА·ч, 7.2 В, 36.1 Вт·ч; "
                                "разброс групп 70.0 мА·ч (1.388 %)"));
    EXPECT_EQ(Status(), QString::fromUtf8("Ячеек на выбор: 7, в сборке 4, в запасе 3."));

    dialogs.paths = {dir.filePath("plan.csv"), dir.filePath("plan.png"), dir.filePath("plan.svg")};
    for (const char* button : {"exportCsv", "exportPng", "exportSvg"}) {
        Find<QPushButton>(button)->click();
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
    QFile csv(dir.filePath("plan.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    // The same plan as the tool's, where the suite has the tool beside it.
    if (!qEnvironmentVariableIsEmpty("BRIMVOLT_BIN")) {
        QProcess tool;
        tool.start(qEnvironmentVariable("BRIMVOLT_BIN") + "/brimvolt-journal",
                   {"--journal", path, "pack", "2", "2"});
        ASSERT_TRUE(tool.waitForFinished(60000));
        EXPECT_EQ(csv.readAll(), tool.readAllStandardOutput());
    }
    const QImage png(dir.filePath("plan.png"));
    EXPECT_FALSE(png.isNull());
    EXPECT_GT(png.width(), 200);
    QFile svg(dir.filePath("plan.svg"));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    const QByteArray svgText = svg.readAll();
    EXPECT_TRUE(svgText.contains("<svg")) << svgText.left(200).toStdString();
    EXPECT_TRUE(svgText.contains("5010"));
}

// The bounds of the window choose the cells the search draws from.
TEST_F(PackWindow, BoundsChooseTheCells) {
    const struct {
        int minMah;
        int maxMah;
        int maxRin;
        bool allowMissingRin;
        int drawn;
    } cases[] = {{0, 0, 0, true, 7},       {2490, 0, 0, true, 5},   {0, 2500, 0, true, 5},
                 {2490, 2500, 0, true, 3}, {0, 0, 45, true, 6},     {0, 0, 45, false, 5},
                 {0, 0, 0, false, 6},      {3000, 0, 0, true, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.minMah << ".." << c.maxMah << " rin " << c.maxRin
                                          << " missing " << c.allowMissingRin);
        Find<QSpinBox>("minCapacity")->setValue(c.minMah);
        Find<QSpinBox>("maxCapacity")->setValue(c.maxMah);
        Find<QSpinBox>("maxRin")->setValue(c.maxRin);
        Find<QCheckBox>("allowMissingRin")->setChecked(c.allowMissingRin);
        Plan(1, 1);
        EXPECT_TRUE(Status().startsWith(QString::fromUtf8("Ячеек на выбор: %1,").arg(c.drawn)) ||
                    (c.drawn == 0 && Status().contains(QString::fromUtf8("подходит 0"))))
            << Status().toStdString();
    }
}

// Cells of 2650 mAh nominal: F (98 %) is an A, E (75 %) a C, the rest B. The lowest grade
// drawn leaves out those below it, and cells without a grade.
TEST_F(PackWindow, TheLowestGradeChoosesTheCells) {
    {
        CJournal journal;
        ASSERT_TRUE(journal.Open(path).Usable());
        for (const CellPlan& plan : kCells) {
            CellRecord cell = *journal.CellNamed(plan.name);
            cell.nominalMah = plan.name == std::string("G") ? 0 : 2650;
            ASSERT_TRUE(journal.SaveCell(cell));
        }
    }
    window = std::make_unique<CPackDlg>(dialogs, path);
    window->show();
    QComboBox* grade = Find<QComboBox>("minGrade");
    ASSERT_EQ(grade->count(), 4);
    EXPECT_EQ(grade->itemText(2), QString::fromUtf8("не ниже B"));
    const int drawn[] = {7, 1, 5, 6};  // any, A, B, C; G has no nominal, so no grade
    for (int index = 0; index < 4; ++index) {
        SCOPED_TRACE(grade->itemText(index).toStdString());
        grade->setCurrentIndex(index);
        Plan(1, 1);
        EXPECT_TRUE(Status().startsWith(QString::fromUtf8("Ячеек на выбор: %1,").arg(drawn[index])))
            << Status().toStdString();
    }
}

// A request that cannot be met says why in one line, and there is no plan to save or export.
TEST_F(PackWindow, InfeasibleRequestsSayWhy) {
    const struct {
        int s;
        int p;
        double rinSpread;
        bool allowMissingRin;
        const char* reason;
    } cases[] = {
        {4, 2, 0, true, "Мало ячеек: для 4S2P нужно 8, подходит 7."},
        {3, 2, 1.5, false, "Ячейки не делятся на группы с разбросом Rвн не больше 1.5 мОм."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        Find<QDoubleSpinBox>("rinSpread")->setValue(c.rinSpread);
        Find<QCheckBox>("allowMissingRin")->setChecked(c.allowMissingRin);
        Plan(c.s, c.p);
        EXPECT_EQ(Status(), QString::fromUtf8(c.reason));
        EXPECT_FALSE(Status().contains('\n'));
        EXPECT_EQ(Find<QTreeWidget>("groups")->topLevelItemCount(), 0);
        EXPECT_TRUE(Find<QLabel>("summary")->text().isEmpty());
        for (const char* button : {"savePack", "exportCsv", "exportPng", "exportSvg"}) {
            EXPECT_FALSE(Find<QPushButton>(button)->isEnabled()) << button;
        }
    }
}

// "Сохранить сборку" takes the plan's cells; they leave the pool until the pack is freed.
TEST_F(PackWindow, SavedPackTakesItsCellsUntilFreed) {
    Plan(2, 2);
    Find<QPushButton>("savePack")->click();
    ASSERT_EQ(dialogs.messages.size(), 1);  // no name yet
    EXPECT_EQ(PackOfCells(), std::vector<std::int64_t>(8, 0));

    Find<QLineEdit>("packName")->setText(QString::fromUtf8("  Самокат 2S2P "));
    Find<QPushButton>("savePack")->click();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(PackOfCells(), (std::vector<std::int64_t>{1, 0, 1, 0, 0, 1, 1, 0}));
    QListWidget* packs = Find<QListWidget>("packs");
    ASSERT_EQ(packs->count(), 1);
    EXPECT_TRUE(packs->item(0)->text().startsWith(QString::fromUtf8("Самокат 2S2P: 2S2P, ячеек 4")))
        << packs->item(0)->text().toStdString();
    EXPECT_FALSE(Find<QPushButton>("savePack")->isEnabled());

    // The pack's cells are taken: what is left is too few for the same pack.
    Plan(2, 2);
    EXPECT_EQ(Status(), QString::fromUtf8("Мало ячеек: для 2S2P нужно 4, подходит 3."));

    packs->setCurrentRow(0);
    dialogs.answers = {platform::Answer::Cancel};
    Find<QPushButton>("freePack")->click();
    EXPECT_EQ(packs->count(), 1);
    packs->setCurrentRow(0);
    Find<QPushButton>("freePack")->click();
    EXPECT_EQ(packs->count(), 0);
    EXPECT_EQ(PackOfCells(), std::vector<std::int64_t>(8, 0));
    EXPECT_EQ(dialogs.messages.size(), 3);  // the two questions
    Plan(2, 2);
    EXPECT_EQ(Groups().size(), 3);
}

}  // namespace
