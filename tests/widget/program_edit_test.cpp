// The program editor driven through its rows and buttons without exec().

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include "cycle/ProgramFile.h"
#include "cycle/ProgramRunner.h"
#include "cycleview/ProgramDlg.h"
#include "cycleview/ProgramEditDlg.h"
#include "support/ScriptedDialogs.h"

using namespace brimvolt;
using brimvolt::testing::ScriptedDialogs;
using Dlg = CProgramEditDlg;

namespace {

using K = StepKind;

// One step of each kind, the Repeat last, from step 2: every number differs from the others.
TestProgram Mixed() {
    return {QStringLiteral("Смесь"),
            2500,
            {{K::Charge, 1500, 4150, 200, 0},
             {K::Rest, 0, 0, 0, 61},
             {K::Discharge, 2000, 2750, 0, 0},
             {K::Rin, 500, 3300, 0, 0},
             {K::Repeat, 0, 0, 0, 0, 2, 3}}};
}

struct Editor {
    ScriptedDialogs dialogs;
    Dlg dlg;
    QTableWidget* table;
    explicit Editor(const TestProgram& program)
        : dlg(dialogs, program), table(dlg.findChild<QTableWidget*>()) {}
};

TEST(ProgramEdit, ProgramsComeBackFromTheTableAndItsFileUnchanged) {
    QTemporaryDir dir;
    for (const TestProgram& program :
         {CapacityProgram(), CyclesProgram(5),
          CyclesProgram(1000, {1500, 4100, 2000, 2800, 5, 3000}), Mixed()}) {
        SCOPED_TRACE(program.name.toStdString());
        Editor e(program);
        EXPECT_EQ(e.dlg.Program(), program);
        e.dialogs.paths = {dir.filePath("p.json")};
        e.dlg.OnSaveToFile();
        QString error;
        EXPECT_EQ(ReadProgramFile(dir.filePath("p.json"), error), program) << error.toStdString();
        EXPECT_EQ(e.dlg.Accept(), std::nullopt);
        EXPECT_EQ(e.dlg.result(), QDialog::Accepted);
    }
}

TEST(ProgramEdit, AFieldOrAKindChangesOnlyItsStepAndOpensOnlyItsFields) {
    struct Case {
        int row, kind, column;  // kind -1: it stays
        double value;
        ProgramStep expected;
        const char* open;  // the columns enabled after
    };
    const Case cases[] = {
        {0, -1, Dlg::CurrentColumn, 2.345, {K::Charge, 2345, 4150, 200, 0}, "1111000"},
        {2, -1, Dlg::CutoffColumn, 3.1, {K::Discharge, 2000, 3100, 0, 0}, "1111000"},
        {1, -1, Dlg::RestColumn, 0.5, {K::Rest, 0, 0, 0, 30}, "1000100"},
        {4, -1, Dlg::TimesColumn, 7, {K::Repeat, 0, 0, 0, 0, 2, 7}, "1000011"},
        // A new kind starts from the values the row keeps for it.
        {1, 3, Dlg::CurrentColumn, 0.25, {K::Rin, 250, 3000, 0, 0}, "1110000"},
        {0, 3, Dlg::CurrentColumn, 0.5, {K::Rin, 500, 4150, 0, 0}, "1110000"},
        {0, 2, Dlg::KindColumn, 0, {K::Rest, 0, 0, 0, 1800}, "1000100"},
        {3, 4, Dlg::FromColumn, 3, {K::Repeat, 0, 0, 0, 0, 3, 2}, "1000011"},
        {4, 1, Dlg::LimitColumn, 60, {K::Discharge, 1000, 3000, 60, 0}, "1111000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "row " << c.row << " column " << c.column);
        Editor e(Mixed());
        if (c.kind >= 0) {
            e.dlg.OnKindChanged(c.row, c.kind);
        }
        if (c.column != Dlg::KindColumn) {
            e.table->cellWidget(c.row, c.column)->setProperty("value", c.value);
        }
        TestProgram expected = Mixed();
        expected.steps[static_cast<std::size_t>(c.row)] = c.expected;
        EXPECT_EQ(e.dlg.Program(), expected);
        QString open;
        for (int column = 0; column < Dlg::ColumnCount; ++column) {
            open += e.table->cellWidget(c.row, column)->isEnabled() ? u'1' : u'0';
        }
        EXPECT_EQ(open, QLatin1String(c.open));
    }
}

TEST(ProgramEdit, RowButtonsKeepARepeatOnItsStep) {
    struct Case {
        int row;
        const char *buttons, *kinds;  // + add, - delete, ^ up, v down; the kinds after, CDRIP
        int from;                     // the Repeat's
        const char* fault;            // what OK says, or "" when it accepts
    };
    const Case cases[] = {
        {0, "+", "CRRDIP", 3, ""},
        {3, "+", "CRDIRP", 2, ""},
        {-1, "+", "CRDIPR", 2, ""},
        {0, "-", "RDIP", 1, ""},
        {1, "-", "CDIP", 2, ""},  // the step gone: the one now in its place
        {1, "^", "RCDIP", 1, ""},
        {0, "v", "RCDIP", 1, ""},
        {4, "^^^", "CPRDI", 3, "step 2: from: must name an earlier step"},
        {0, "-----", "", 0, "steps: the program has no step"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.row << c.buttons);
        Editor e(Mixed());
        e.table->setCurrentCell(c.row, 0);
        for (const char* b = c.buttons; *b != 0; ++b) {
            *b == '+'   ? e.dlg.OnAddStep()
            : *b == '-' ? e.dlg.OnDeleteStep()
            : *b == '^' ? e.dlg.OnMoveUp()
                        : e.dlg.OnMoveDown();
        }
        QString kinds;
        for (const ProgramStep& step : e.dlg.Program().steps) {
            kinds += QStringLiteral("CDRIP").at(static_cast<int>(step.kind));
            EXPECT_EQ(step.kind == K::Repeat ? step.repeatFrom : c.from, c.from);
        }
        EXPECT_EQ(kinds, QLatin1String(c.kinds));
        const std::optional<QString> fault = e.dlg.Accept();
        EXPECT_TRUE(fault.value_or(QString()).contains(QLatin1String(c.fault)));
        EXPECT_EQ(e.dialogs.messages.size(), *c.fault != 0 ? 1 : 0);
        EXPECT_EQ(e.dlg.result(), *c.fault != 0 ? QDialog::Rejected : QDialog::Accepted);
    }
}

TEST(ProgramEdit, AFailedSaveSaysWhyAndACancelSaysNothing) {
    for (const QString& path : {QStringLiteral("/no/such/folder/p.json"), QString()}) {
        Editor e(CapacityProgram());
        e.dialogs.paths = {path};
        e.dlg.OnSaveToFile();
        EXPECT_EQ(e.dialogs.saveAsked.at(0).proposedName,
                  QStringLiteral("Ёмкость_ заряд, отдых 30 мин, разряд, отдых 30 мин, заряд.json"));
        EXPECT_EQ(e.dialogs.messages.size(), path.isEmpty() ? 0 : 1);
    }
}

TEST(ProgramEdit, TheProgramWindowShowsTheEditedProgramButNotWhileOneRuns) {
    ScriptedDialogs dialogs;
    CProgramRunner runner;
    CProgramDlg window(dialogs, runner);
    QTimer::singleShot(0, &window, [&window] {
        auto* editor = window.findChild<CProgramEditDlg*>();
        ASSERT_NE(editor, nullptr);
        editor->OnDeleteStep();
        editor->Accept();
    });
    window.OnEdit();
    TestProgram expected = CapacityProgram();
    expected.steps.erase(expected.steps.begin());
    EXPECT_EQ(window.Program(), expected);

    window.OnStart();
    window.OnEdit();  // returns at once: no editor waits for an answer
    EXPECT_EQ(window.Program(), expected);
    EXPECT_FALSE(window.CellEdit()->isEnabled());  // the cell is the started program's
}

TEST(ProgramEdit, ARepeatSaysItsTimesInRussian) {
    const struct {
        int times;
        const char* text;
    } cases[] = {{1, "1 раз"}, {2, "2 раза"}, {4, "4 раза"}, {5, "5 раз"}, {11, "11 раз"},
                 {12, "12 раз"}, {14, "14 раз"}, {21, "21 раз"}, {22, "22 раза"}, {104, "104 раза"},
                 {112, "112 раз"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.times);
        ProgramStep repeat{K::Repeat, 0, 0, 0, 0, 2, c.times};
        EXPECT_EQ(CProgramDlg::StepText(repeat),
                  QStringLiteral("Повторить с шага 2, всего ") + QString::fromUtf8(c.text));
    }
}

}  // namespace
