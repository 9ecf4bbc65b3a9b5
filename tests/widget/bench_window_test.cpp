#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "benchview/BenchDlg.h"
#include "benchview/BenchTile.h"
#include "benchview/TileLook.h"
#include "cycle/ProgramFile.h"
#include "support/FakeBenchModel.h"
#include "support/ScriptedDialogs.h"

using namespace brimvolt;
using brimvolt::platform::Answer;

namespace {

ChannelPicture Running(const QString& port, ChannelPhase phase, bool program = false) {
    ChannelPicture picture;
    picture.port = port;
    picture.phase = phase;
    picture.running = !program;
    picture.programActive = program;
    return picture;
}

// Counts the paints a widget gets.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

class BenchWindow : public ::testing::Test {
protected:
    void TearDown() override { window.Leave(); }

    brimvolt::testing::FakeBenchModel model;
    brimvolt::testing::ScriptedDialogs dialogs;
    CBenchDlg window{dialogs, model};
};

TEST_F(BenchWindow, TilesFollowTheChannelsAndOpenOrNameTheirCell) {
    model.Add(Running("COM3", ChannelPhase::Idle));
    model.Add(Running("COM4", ChannelPhase::Idle));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_EQ(window.TileCount(), 2);

    // A click beside the controls, and Enter on the focused tile, open that channel.
    QTest::mouseClick(window.Tile(1), Qt::LeftButton, {}, QPoint(20, 10));
    window.Tile(0)->setFocus();
    QTest::keyClick(window.Tile(0), Qt::Key_Return);
    EXPECT_EQ(model.opened, (QList<int>{1, 0}));

    // Enter from the scanner gives the cell to its channel alone and presses no button; leaving
    // the field gives it again only when it changed.
    QLineEdit* edit = window.Tile(1)->NextCellEdit();
    edit->setFocus();
    QTest::keyClicks(edit, "  A 17 ");
    QTest::keyClick(edit, Qt::Key_Enter);
    window.Tile(0)->setFocus();
    edit->setFocus();
    edit->setText("B2");
    window.Tile(0)->setFocus();
    EXPECT_EQ(model.nextCells, (QList<QPair<int, QString>>{{1, "A 17"}, {1, "B2"}}));
    EXPECT_EQ(model.started.size() + model.opened.size() + dialogs.messages.size(), 2);

    // A change repaints its tile only.
    QApplication::processEvents();
    PaintCounter first;
    PaintCounter second;
    window.Tile(0)->installEventFilter(&first);
    window.Tile(1)->installEventFilter(&second);
    model.Set(1, Running("COM4", ChannelPhase::Fault));
    ASSERT_TRUE(QTest::qWaitFor([&] { return second.paints > 0; }, 60000));
    EXPECT_EQ(first.paints, 0);
    EXPECT_EQ(window.Tile(1)->Picture().phase, ChannelPhase::Fault);

    // Sixteen channels: four rows of four, and the window fits a 1920 x 1080 screen with its
    // title bar and a task bar.
    while (model.ChannelCount() < 16) {
        model.Add(Running({}, ChannelPhase::Search));
    }
    ASSERT_EQ(window.TileCount(), 16);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Tile(15)->isVisible(); }, 60000));
    EXPECT_LT(window.Tile(3)->y(), window.Tile(4)->y());
    EXPECT_EQ(window.Tile(4)->x(), window.Tile(0)->x());
    EXPECT_TRUE(QRect(0, 0, 1920, 1080 - 40 - 40).contains(QRect(QPoint(), window.sizeHint())));
}

TEST_F(BenchWindow, ButtonsActOnTheSelectedAndAskBeforeStoppingOrLeaving) {
    model.Add(Running("COM3", ChannelPhase::Discharge));
    model.Add(Running("COM4", ChannelPhase::Rest, true));
    model.Add(Running({}, ChannelPhase::Search));
    model.pictures[2].running = false;
    window.show();

    window.OnStart();
    window.OnStop();
    window.OnProgram();
    ASSERT_EQ(dialogs.messages.size(), 3);
    EXPECT_EQ(dialogs.messages[2].text, "Сначала выберите каналы.");
    EXPECT_TRUE(model.started.isEmpty() && dialogs.openAsked.isEmpty());

    window.Tile(0)->SelectBox()->setChecked(true);
    window.Tile(2)->SelectBox()->setChecked(true);
    dialogs.answers = {Answer::Cancel, Answer::Ok};
    window.OnStop();
    EXPECT_TRUE(model.stopped.isEmpty());
    window.OnStop();
    EXPECT_EQ(dialogs.messages.last().text, "Остановить: COM3, канал 3?");
    EXPECT_EQ(model.stopped, (QList<QList<int>>{{0, 2}}));

    // A program file read goes to the selected; a damaged one is told and starts nothing.
    QTemporaryDir folder;
    QString error;
    ASSERT_TRUE(WriteProgramFile(folder.filePath("good.json"), CapacityProgram(), error));
    dialogs.paths = {folder.filePath("missing.json"), folder.filePath("good.json")};
    window.OnProgram();
    EXPECT_TRUE(dialogs.messages.last().text.startsWith("Файл программы не прочитан:"));
    window.OnProgram();
    EXPECT_EQ(model.programs, (QList<QPair<QList<int>, TestProgram>>{{{0, 2}, CapacityProgram()}}));

    // The close box and Esc both ask, naming what each busy channel does; the session's end
    // leaves without asking.
    const qsizetype asked = dialogs.messages.size();
    dialogs.answers = {Answer::Cancel, Answer::Cancel};
    window.close();
    QTest::keyClick(&window, Qt::Key_Escape);
    ASSERT_EQ(dialogs.messages.size(), asked + 2);
    EXPECT_EQ(dialogs.messages.last().text,
              "Идут испытания: COM3 (разряд), COM4 (программа).\nВыйти из программы?");
    EXPECT_TRUE(window.isVisible() && model.leaves == 0);
    window.Leave();
    EXPECT_EQ(dialogs.messages.size(), asked + 2);
    EXPECT_TRUE(!window.isVisible() && model.leaves == 1);
}

// A tile's check takes the cell of its own field and empties it; with the field empty the
// operator names the cell. Enter in the field only gives the next cell, as before.
TEST_F(BenchWindow, TileChecksTheCellOfItsFieldOrTheOneNamed) {
    model.Add(Running("COM3", ChannelPhase::Idle));
    model.Add(Running("COM4", ChannelPhase::Idle));
    window.show();
    QLineEdit* edit = window.Tile(1)->NextCellEdit();
    edit->setFocus();
    QTest::keyClicks(edit, "A1");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(model.checks.isEmpty()) << "Enter gives the cell and checks nothing";

    QTest::mouseClick(window.Tile(1)->CheckButton(), Qt::LeftButton);
    EXPECT_EQ(model.checks, (QList<QPair<int, QString>>{{1, "A1"}}));
    EXPECT_TRUE(edit->text().isEmpty());
    EXPECT_EQ(model.nextCells, (QList<QPair<int, QString>>{{1, "A1"}, {1, ""}}));
    EXPECT_TRUE(dialogs.textAsked.isEmpty());

    // An empty field asks; a cancel checks nothing.
    dialogs.texts = {QString(), QStringLiteral("B2")};
    window.OnCheckVoltage(0);
    window.OnCheckVoltage(0);
    ASSERT_EQ(dialogs.textAsked.size(), 2);
    EXPECT_TRUE(dialogs.textAsked[0].text.contains("COM3"));
    EXPECT_EQ(model.checks.last(), (QPair<int, QString>{0, "B2"}));

    // A channel that cannot check says why before any question, and keeps its field.
    model.checkRefusal = QStringLiteral("Модуль не найден: напряжение проверять нечем.");
    window.Tile(0)->NextCellEdit()->setText("C3");
    window.OnCheckVoltage(0);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, model.checkRefusal);
    EXPECT_EQ(window.Tile(0)->NextCellEdit()->text(), "C3");

    // While the check goes its header says so and its button waits.
    model.pictures[0].checking = true;
    model.Set(0, model.pictures[0]);
    EXPECT_FALSE(window.Tile(0)->CheckButton()->isEnabled());
    EXPECT_EQ(LookOf(window.Tile(0)->Picture()).word, "Проверка напряжения");
}

}  // namespace
