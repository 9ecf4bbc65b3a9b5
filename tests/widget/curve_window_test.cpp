#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include "curve/Graf.h"
#include "curvefile/CurveFileReader.h"
#include "support/FileTraps.h"
#include "support/ScriptedDialogs.h"
#include "support/Eventually.h"

using brimvolt::CurveStore;
using brimvolt::testing::ScriptedDialogs;

namespace {

class CurveWindowTest : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        previousFolder = QDir::currentPath();
        QDir::setCurrent(folder.path());
        owner = std::make_unique<QWidget>();
        graf = std::make_unique<CGraf>(dialogs);
        graf->Create(owner.get());
    }

    void TearDown() override {
        graf.reset();
        owner.reset();
        QDir::setCurrent(previousFolder);
    }

    // A discharge of `seconds` seconds, one point a second.
    void StoreCurve(int seconds) {
        auto& store = graf->store;
        store.lastIndex = 0;
        store.sampleTimes[0] = 0;
        store.sampleMillivolts[0] = 4200;
        store.Rewritten();
        for (int t = 1; t <= seconds; ++t) {
            store.Append(t, static_cast<std::uint16_t>(4200 - t));
        }
        store.durationSeconds = seconds;
        store.curveCapacityText = QStringLiteral("0.100Ah");
    }

    QString Autosave() const { return graf->dataFolder + QStringLiteral("temp.raz"); }

    QTemporaryDir folder;
    QString previousFolder;
    ScriptedDialogs dialogs;
    std::unique_ptr<QWidget> owner;
    std::unique_ptr<CGraf> graf;
};

TEST_F(CurveWindowTest, StartsHiddenWithTheTemplateCaptionAndTheCurrentFolder) {
    EXPECT_FALSE(graf->isVisible());
    EXPECT_EQ(graf->windowTitle(), "Разрядная кривая");
    EXPECT_EQ(graf->dataFolder, QDir(folder.path()).absolutePath() + QLatin1Char('/'));
    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("Colors.ini"))));
    EXPECT_EQ(graf->curveRed, 255);
    EXPECT_EQ(graf->curveGreen, 127);
    EXPECT_EQ(graf->curveBlue, 0);
    EXPECT_EQ(graf->imageWidth, 720);
    EXPECT_GT(graf->maxPlotHeight, 0);
    EXPECT_EQ(graf->memoryBitmap.size(), QSize(720, graf->maxPlotHeight + 30));
    EXPECT_EQ(graf->skipAutosave, 1);
    EXPECT_EQ(graf->cursorShown, 0);
    EXPECT_FALSE(graf->windowFlags() & Qt::WindowCloseButtonHint) << "no close box of its own";
}

TEST_F(CurveWindowTest, WindowMenuOffersLoadThenSave) {
    const QList<QAction*> entries = graf->WindowMenu()->actions();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0]->text(), "Загрузить из файла");
    EXPECT_EQ(entries[1]->text(), "Сохранить в файле");

    entries[1]->trigger();  // nothing recorded yet: the save refuses
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith("Разряд не начинался."));
    entries[0]->trigger();
    EXPECT_EQ(dialogs.openAsked.size(), 1);
}

TEST_F(CurveWindowTest, SystemCommandsIgnoreTheirLowFourBits) {
    StoreCurve(5);
    struct Case {
        int command;
        int saves;
        int loads;
    };
    const Case cases[] = {{16, 1, 0}, {17, 1, 0}, {18, 1, 0}, {31, 1, 0}, {32, 0, 1},
                          {33, 0, 1}, {47, 0, 1}, {48, 0, 0}, {0, 0, 0},  {0xF060, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        dialogs.saveAsked.clear();
        dialogs.openAsked.clear();
        graf->OnSysCommand(c.command);
        EXPECT_EQ(dialogs.saveAsked.size(), c.saves);
        EXPECT_EQ(dialogs.openAsked.size(), c.loads);
    }
}

TEST_F(CurveWindowTest, SavedCurveNamesTheFileInTheTitle) {
    StoreCurve(5);
    const QString path = folder.filePath(QStringLiteral("curve1"));
    dialogs.paths.push_back(path);
    graf->OnSysCommand(CGraf::kSaveCommand);
    EXPECT_EQ(graf->windowTitle(), "Разрядная кривая - " + path + ".raz");
    EXPECT_TRUE(QFile::exists(path + ".raz"));
}

TEST_F(CurveWindowTest, LeftButtonHoldsTheReadout) {
    QTest::mousePress(graf.get(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 30));
    EXPECT_EQ(graf->cursorX, 50);
    EXPECT_EQ(graf->cursorY, 20);
    EXPECT_EQ(graf->cursorShown, 1);
    QTest::mouseRelease(graf.get(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 30));
    EXPECT_EQ(graf->cursorShown, 0);

    // Left of the plot and above its top line the offsets go negative.
    graf->OnLButtonDown(QPoint(10, 5));
    EXPECT_EQ(graf->cursorX, -40);
    EXPECT_EQ(graf->cursorY, -5);

    // Another button changes nothing.
    QTest::mousePress(graf.get(), Qt::RightButton, Qt::NoModifier, QPoint(300, 300));
    EXPECT_EQ(graf->cursorX, -40);
}

TEST_F(CurveWindowTest, ReadoutIsDrawnOnTheWindowOnlyWhileTheButtonIsHeld) {
    StoreCurve(600);
    graf->Refresh();
    const QImage plain = graf->grab().toImage();
    graf->OnLButtonDown(QPoint(300, 100));
    const QImage held = graf->grab().toImage();
    EXPECT_NE(plain, held);
    const QImage bitmapWhileHeld = graf->memoryBitmap.copy();
    graf->OnLButtonUp(QPoint(300, 100));
    EXPECT_EQ(graf->grab().toImage(), plain);
    EXPECT_EQ(bitmapWhileHeld.copy(0, 0, 720, graf->imageHeight),
              graf->memoryBitmap.copy(0, 0, 720, graf->imageHeight))
        << "the readout never reaches the image";
}

TEST_F(CurveWindowTest, FirstPaintNeverAutosaves) {
    StoreCurve(10);
    graf->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(graf.get()));
    ASSERT_EVENTUALLY_EQ(graf->skipAutosave, 0, kEventuallyMs);
    graf->WaitForAutosave();
    EXPECT_FALSE(QFile::exists(Autosave()));

    graf->repaint();
    graf->WaitForAutosave();
    EXPECT_TRUE(QFile::exists(Autosave()));
}

TEST_F(CurveWindowTest, RefreshSizesTheWindowToThePlotAtTheCorner) {
    StoreCurve(7200);
    graf->Refresh();
    EXPECT_EQ(graf->pos(), QPoint(0, 0));
    EXPECT_EQ(graf->size(), QSize(720, graf->imageHeight));
    EXPECT_EQ(graf->imageHeight % 20, 10);
    EXPECT_EQ(graf->secondsPerPixel, 12);
    EXPECT_EQ(graf->timeUnitText, "Минуты  ");
    EXPECT_EQ(graf->windowTitle(), "Разрядная кривая") << "a curve present keeps the title";

    graf->store.durationSeconds = 0;
    graf->store.chargeCurve = 1;
    graf->Refresh();
    EXPECT_EQ(graf->windowTitle(), "Зарядная кривая - Безымянный");
}

TEST_F(CurveWindowTest, HiddenWindowRefreshesAndAutosavesOnChange) {
    StoreCurve(3);
    graf->CurveChanged();  // the first opportunity after start is let pass
    graf->WaitForAutosave();
    EXPECT_FALSE(QFile::exists(Autosave()));
    graf->store.Append(4, 4190);
    graf->store.durationSeconds = 4;
    graf->CurveChanged();
    graf->WaitForAutosave();
    EXPECT_TRUE(QFile::exists(Autosave()));
    EXPECT_EQ(graf->skipAutosave, 0);
}

// A failing autosave is said once for a whole streak, outside the paint, and written again at
// the next chance; only a success and a new failure say it again.
TEST_F(CurveWindowTest, FailingAutosaveIsSaidOncePerStreakAndRetried) {
    StoreCurve(3);
    graf->skipAutosave = 0;
    const auto record = [this](int seconds) {
        graf->store.Append(seconds, 4100);
        graf->store.durationSeconds = seconds;
        graf->CurveChanged();
        graf->WaitForAutosave();
        QCoreApplication::processEvents();
    };
    using brimvolt::testing::Node;
    ASSERT_TRUE(brimvolt::testing::MakeNode(Autosave(), Node::Fifo));
    for (int t = 4; t < 8; ++t) {
        record(t);
    }
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].text.contains(Autosave()));

    // Once the way is clear the next chance writes, without waiting for a new point.
    QFile::remove(Autosave());
    graf->FlushAutosave();
    EXPECT_TRUE(QFileInfo(Autosave()).isFile());

    QFile::remove(Autosave());
    ASSERT_TRUE(brimvolt::testing::MakeNode(Autosave(), Node::Fifo));
    record(8);
    record(9);
    EXPECT_EQ(dialogs.messages.size(), 2);
}

TEST_F(CurveWindowTest, LargeAutosaveWaitsItsPauseAndLeavingWritesTheLastPoint) {
    StoreCurve(3);
    graf->skipAutosave = 0;
    const auto record = [this](int seconds) {
        graf->store.Append(seconds, static_cast<std::uint16_t>(4200 - seconds));
        graf->store.durationSeconds = seconds;
        graf->CurveChanged();
        graf->WaitForAutosave();
        QCoreApplication::processEvents();
    };
    const auto savedSeconds = [this] {
        CurveStore saved;
        QFile file(Autosave());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(brimvolt::ReadCurveBytes(file.readAll(), saved).status,
                  brimvolt::CurveReadStatus::Loaded);
        return saved.durationSeconds;
    };
    record(4);
    ASSERT_EQ(savedSeconds(), 4);
    // As if that file had been 60 MB: the next minute's points wait.
    brimvolt::AutosaveResult large;
    large.path = Autosave();
    large.bytes = 60'000'000;
    graf->OnAutosaveDone(large);
    record(5);
    record(6);
    EXPECT_EQ(savedSeconds(), 4);

    graf->FlushAutosave();
    EXPECT_EQ(savedSeconds(), 6);
}

TEST_F(CurveWindowTest, CloseAndEscLeaveTheWindowShown) {
    graf->show();
    graf->close();
    EXPECT_TRUE(graf->isVisible());
    QTest::keyClick(graf.get(), Qt::Key_Escape);
    EXPECT_TRUE(graf->isVisible());
}

}  // namespace
