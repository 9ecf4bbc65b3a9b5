#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <functional>

#include "FakeModulePorts.h"
#include "app/BrimvoltDlg.h"
#include "curvefile/CurveFileReader.h"
#include "journal/Journal.h"
#include "journal/JournalWriter.h"
#include "journalview/JournalDlg.h"
#include "platform/SleepInhibitor.h"
#include "support/Eventually.h"
#include "support/ScriptedDialogs.h"
#ifdef BRIMVOLT_HAVE_MQTT
#include <QSysInfo>

#include "mqtt/MqttTopics.h"
#include "support/MosquittoBroker.h"
#include "support/MqttSubscriber.h"
#include "support/Eventually.h"
#endif

using brimvolt::CurveStore;
using brimvolt::platform::Answer;
using brimvolt::platform::Buttons;
using brimvolt::testing::Bytes4;
using brimvolt::testing::FakeLine;
using brimvolt::testing::FakePortSystem;
using brimvolt::testing::ScriptedDialogs;

namespace {

class MainWindowTest : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        previousFolder = QDir::currentPath();
        QDir::setCurrent(folder.path());
        ports.lines.clear();
        ports.names.clear();
        dialogs.messages.clear();
        dialogs.answers.clear();
        module = ports.Add(QStringLiteral("COM3"));
        // Presets 1 and 1, 3.000 V cut-off, 1.000 A, discharge, calibration 20.000 and 4.500.
        module->status.words = {0, 3000, 0, 1000, 0, 20000, 4500, 0, 0, 1, 40, 70};
        module->status.voltageMv = 4100;
        dlg = std::make_unique<CBrimvoltDlg>(ports, dialogs);
    }

    void TearDown() override {
        dlg.reset();
        QDir::setCurrent(previousFolder);
    }

    // Delivers the serial worker's answer to the channel and nothing else (no timer fires, no
    // window paints), as when the tick made the exchange itself.
    void AwaitWorker() {
        for (int ms = 0; dlg->Channel().LinkBusy() && ms < 20000; ++ms) {
            QCoreApplication::sendPostedEvents(&dlg->Channel(), QEvent::MetaCall);
            QThread::msleep(dlg->Channel().LinkBusy() ? 1 : 0);
        }
        ASSERT_FALSE(dlg->Channel().LinkBusy()) << "the serial worker never answered";
    }

    void Discover() {
        dlg->OnTimer(CBrimvoltDlg::kDiscoveryTimer);
        AwaitWorker();
    }

    // The window up and the module found, with the timers left to the test.
    void Connect() {
        dlg->Create();
        Discover();
        ASSERT_TRUE(dlg->Channel().portHandle != nullptr);
        dlg->Channel().pollTimer.stop();
        dlg->Channel().discoveryTimer.stop();
    }

    void Tick() {
        dlg->OnTimer(CBrimvoltDlg::kPollTimer);
        AwaitWorker();
        dlg->Channel().pollTimer.stop();
    }

    QLabel* Static(int id) const { return qobject_cast<QLabel*>(dlg->Control(id)); }
    QPushButton* Button(int id) const { return qobject_cast<QPushButton*>(dlg->Control(id)); }
    QLineEdit* Edit() const { return qobject_cast<QLineEdit*>(dlg->Control(1002)); }

    void Type(const QString& text) {
        Edit()->clear();
        QTest::keyClicks(Edit(), text);
    }

    // One status record per tick, the module's elapsed time going through `times`.
    void FeedTimes(std::initializer_list<int> times) {
        for (int t : times) {
            module->status.elapsedSeconds = t;
            module->status.voltageMv = static_cast<std::uint16_t>(4100 - 10 * t);
            Tick();
        }
    }

    std::vector<Bytes4> SentAfter(std::size_t mark) const { return module->NonPolls(mark); }

    QTemporaryDir folder;
    QString previousFolder;
    FakePortSystem ports;
    std::shared_ptr<FakeLine> module;
    ScriptedDialogs dialogs;
    std::unique_ptr<CBrimvoltDlg> dlg;
};

TEST_F(MainWindowTest, StartsAtItsPlaceWithEmptyControlsAndSearches) {
    dlg->Create();

    EXPECT_EQ(dlg->pos(), QPoint(722, 0));
    EXPECT_TRUE(dlg->Channel().curveWindow.isVisible());
    ASSERT_EQ(dlg->operationalList->count(), 5);
    ASSERT_EQ(dlg->modeList->count(), 7);
    EXPECT_EQ(dlg->operationalList->item(0)->text(), "Номер задания напряжения отсечки");
    EXPECT_EQ(dlg->modeList->item(6)->text(), "Температура аварийного отключения");
    EXPECT_TRUE(dlg->operationalList->selectedItems().isEmpty());
    EXPECT_TRUE(dlg->modeList->selectedItems().isEmpty());
    EXPECT_EQ(dlg->portCombo->currentIndex(), -1);
    EXPECT_TRUE(Edit()->text().isEmpty());
    for (int id : {1010, 1011, 1012, 1013, 1014, 1015, 1016, 1017, 1018, 1019, 1020, 1024}) {
        EXPECT_TRUE(Static(id)->text().isEmpty()) << id;
    }
    EXPECT_EQ(dlg->valueSpin->Lower(), 1);
    EXPECT_EQ(dlg->valueSpin->Upper(), 100);
    EXPECT_EQ(dlg->viewSpin->GetPos(), 1);
    EXPECT_EQ(dlg->toolTip.TextOf(Edit()), "tooltip");
    EXPECT_EQ(dlg->toolTip.InitialDelay(), 100);
    EXPECT_EQ(dlg->toolTip.AutoPopDelay(), 30000);
    EXPECT_EQ(dlg->toolTip.MaxTipWidth(), 350);
    EXPECT_EQ(dlg->toolTip.TipBkColor(), QColor(255, 240, 160));
    EXPECT_EQ(dlg->Channel().selectedParam, 0xFF);
    EXPECT_EQ(dlg->Channel().pendingCommand, 'a');
    EXPECT_TRUE(dlg->Channel().portHandle == nullptr);
    EXPECT_TRUE(dlg->Channel().discoveryTimer.isActive());
    EXPECT_EQ(dlg->Channel().discoveryTimer.interval(), 10);
    EXPECT_FALSE(dlg->Channel().pollTimer.isActive());
    ASSERT_EQ(dlg->MenuBar()->actions().size(), 4);
    EXPECT_EQ(dlg->MenuBar()->actions()[0]->text(), "О программе...");
    EXPECT_EQ(dlg->MenuBar()->actions()[1]->text(), "Показать / скрыть график");
    EXPECT_EQ(dlg->MenuBar()->actions()[2]->text(), "Журнал испытаний");
    EXPECT_EQ(dlg->MenuBar()->actions()[3]->text(), "Программа");

    // The first discovery tick comes on its own and finds the module.
    ASSERT_EVENTUALLY(dlg->Channel().portHandle != nullptr, kEventuallyMs);
    EXPECT_EQ(dlg->portCombo->currentText(), "COM3");
}

TEST_F(MainWindowTest, EnterWritesTheParameterAndNeverCloses) {
    Connect();
    dlg->operationalList->setCurrentRow(1);
    Type(QStringLiteral("2,5"));
    const std::size_t mark = module->written.size();

    QTest::keyClick(Edit(), Qt::Key_Return);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(Edit()->text(), "2.5");
    Tick();
    EXPECT_EQ(SentAfter(mark), (std::vector<Bytes4>{{'w', 1, 0xC4, 0x09}}));

    // Enter on a list with nothing selectable to write only tells; the window stays.
    QTest::keyClick(dlg->modeList, Qt::Key_Enter);
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(MainWindowTest, EnterInThePortFieldWritesInsteadOfReopeningThePort) {
    Connect();
    dlg->operationalList->setCurrentRow(1);
    Type(QStringLiteral("3.1"));
    const int opens = module->opens;
    const std::size_t mark = module->written.size();

    QLineEdit* portField = dlg->portCombo->lineEdit();
    ASSERT_NE(portField, nullptr);
    portField->setFocus();
    QTest::keyClicks(portField, QStringLiteral("COM3"));
    QTest::keyClick(portField, Qt::Key_Return);

    EXPECT_EQ(module->opens, opens);
    EXPECT_TRUE(dlg->Channel().portHandle != nullptr);
    EXPECT_TRUE(dlg->isVisible());
    Tick();
    EXPECT_EQ(SentAfter(mark), (std::vector<Bytes4>{{'w', 1, 0x1C, 0x0C}}));
}

TEST_F(MainWindowTest, ExitAsksOnlyWhileARunGoesOn) {
    struct Case {
        const char* name;
        std::uint8_t flags;
        std::uint16_t mode;
        QString question;  // empty: leaves without asking
    };
    const Case cases[] = {
        {"idle", 0x00, 0, {}},
        {"discharge", 0x08, 0, QStringLiteral("Идет разряд!\nВыйти из программы?")},
        {"charge", 0x08, 1, QStringLiteral("Идет заряд!\nВыйти из программы?")},
        {"charge with another mode word", 0x08, 2,
         QStringLiteral("Идет заряд!\nВыйти из программы?")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        module->status.flags = c.flags;
        module->status.words[4] = c.mode;
        Connect();
        Tick();
        dlg->Channel().pollTimer.start(100);

        if (!c.question.isEmpty()) {
            dialogs.answers.push_back(Answer::Cancel);
            dlg->OnExit();
            ASSERT_EQ(dialogs.messages.size(), 1);
            EXPECT_EQ(dialogs.messages[0].text, c.question);
            EXPECT_EQ(dialogs.messages[0].caption, "Внимание!");
            EXPECT_EQ(dialogs.messages[0].buttons, Buttons::OkCancel);
            EXPECT_TRUE(dlg->isVisible());
            EXPECT_TRUE(module->open);
            EXPECT_TRUE(dlg->Channel().pollTimer.isActive());
        }
        const std::size_t mark = module->written.size();
        dialogs.answers.push_back(Answer::Ok);
        dlg->OnExit();
        EXPECT_FALSE(dlg->isVisible());
        EXPECT_FALSE(module->open);
        EXPECT_FALSE(dlg->Channel().pollTimer.isActive());
        EXPECT_EQ(module->written.size(), mark) << "nothing is sent on the way out";
        EXPECT_EQ(dialogs.messages.size(), c.question.isEmpty() ? 0 : 2);
    }
}

TEST_F(MainWindowTest, EscAndTheCloseBoxGoThroughTheExitQuestion) {
    module->status.flags = 0x08;
    Connect();
    Tick();
    dialogs.answers = {Answer::Cancel, Answer::Cancel};
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    dlg->close();
    EXPECT_EQ(dialogs.messages.size(), 2);
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(MainWindowTest, MenuCommandTogglesTheCurveWindow) {
    dlg->Create();
    QAction* toggle = dlg->MenuBar()->actions()[1];
    toggle->trigger();
    EXPECT_FALSE(dlg->Channel().curveWindow.isVisible());
    toggle->trigger();
    EXPECT_TRUE(dlg->Channel().curveWindow.isVisible());
}

TEST_F(MainWindowTest, PollTickSendsThePendingCommandOnceThenPolls) {
    Connect();
    const std::size_t mark = module->written.size();
    Button(1007)->click();
    Button(1007)->click();
    Tick();
    Tick();
    const std::vector<Bytes4> all = module->Commands(mark);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0], (Bytes4{'p', 0, 0, 0}));
    EXPECT_EQ(all[1], (Bytes4{'a', 0, 0, 0}));
    EXPECT_EQ(all[2], (Bytes4{'a', 0, 0, 0}));
    EXPECT_EQ(dlg->Channel().pendingCommand, 'a');
}

TEST_F(MainWindowTest, SilentModuleHandsTheLinkBackToDiscovery) {
    Connect();
    Tick();
    const QString lineBefore = dlg->Picture().line1;
    module->alive = false;
    Tick();
    EXPECT_FALSE(module->open);
    EXPECT_TRUE(dlg->Channel().portHandle == nullptr);
    EXPECT_FALSE(dlg->Channel().pollTimer.isActive());
    EXPECT_TRUE(dlg->Channel().discoveryTimer.isActive());
    EXPECT_EQ(dlg->Channel().discoveryTimer.interval(), 10);
    EXPECT_EQ(dlg->Picture().line1, lineBefore) << "the block keeps its picture";

    Button(1022)->click();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, "COM порт не открыт");
    EXPECT_EQ(dialogs.messages[0].caption, "Ошибка");
    EXPECT_EQ(dlg->Channel().pendingCommand, 'a');
}

TEST_F(MainWindowTest, StatusRecordLandsInTheControls) {
    module->status.flags = 0x08 | 0x10;
    module->status.voltageMv = 3712;
    module->status.currentMa = 1000;
    module->status.rinMohm = 7;
    Connect();
    Tick();
    EXPECT_EQ(Static(1010)->text(), "1");
    EXPECT_EQ(Static(1011)->text(), "3.000");
    EXPECT_EQ(Static(1024)->text(), "70");
    EXPECT_EQ(Button(1007)->text(), "Стоп");
    EXPECT_EQ(Button(1021)->text(), "Сброс индикации Rin");
    EXPECT_EQ(dlg->Channel().running, 1);
    EXPECT_EQ(dlg->Channel().curveWindow.store.runActive, 1);
    EXPECT_EQ(dlg->Picture().kind, CBrimvoltDlg::DisplayPicture::Kind::Lines);
    EXPECT_EQ(dlg->Picture().line1, dlg->displayLine1);
    EXPECT_TRUE(dlg->displayLine1.startsWith(" 3.712V ")) << dlg->displayLine1.toStdString();
    EXPECT_EQ(dlg->displayLine2, QStringLiteral("Rin          7mΩ"));

    module->status.flags = 0;
    Tick();
    EXPECT_EQ(Button(1007)->text(), "Пуск");
    EXPECT_EQ(Button(1021)->text(), "Замер внутр. сопротивления");
    EXPECT_EQ(dlg->Channel().running, 0);
    EXPECT_EQ(dlg->Channel().curveWindow.store.runActive, 0);
}

TEST_F(MainWindowTest, DisplayBlockKeepsItsPictureAcrossRepaints) {
    Connect();
    Tick();
    const QColor fill(225, 255, 100);
    const QPoint inside(dlg->displayFrameRect.right() - 3, dlg->displayFrameRect.bottom() - 3);
    EXPECT_EQ(dlg->grab().toImage().pixelColor(inside), fill);
    EXPECT_EQ(dlg->grab().toImage().pixelColor(inside), fill);
    EXPECT_EQ(dlg->grab().toImage().pixelColor(dlg->displayFrameRect.topLeft()), QColor(Qt::black));
}

TEST_F(MainWindowTest, DiscoveryMessageTellsWhyNothingWasFound) {
    struct Case {
        const char* name;
        std::function<void(FakePortSystem&)> setUp;
        QString message;
        QStringList entries;
    };
    const Case cases[] = {
        {"no port",
         [](FakePortSystem& p) {
             p.lines.clear();
             p.names.clear();
         },
         QStringLiteral("Нет доступного COM порта"),
         {}},
        {"no module",
         [](FakePortSystem& p) { p.lines[QStringLiteral("COM3")]->isModule = false; },
         QStringLiteral("Доступный COM порт есть, но модуль не найден"),
         {QStringLiteral("COM3")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        c.setUp(ports);
        dlg->Create();
        Discover();
        EXPECT_EQ(dlg->Picture().kind, CBrimvoltDlg::DisplayPicture::Kind::Message);
        EXPECT_EQ(dlg->Picture().message, c.message);
        EXPECT_TRUE(dlg->Channel().discoveryTimer.isActive());
        EXPECT_EQ(dlg->Channel().discoveryTimer.interval(), 10);
        EXPECT_FALSE(dlg->Channel().pollTimer.isActive());
        QStringList shown;
        for (int i = 0; i < dlg->portCombo->count(); ++i) {
            shown.append(dlg->portCombo->itemText(i));
        }
        EXPECT_EQ(shown, c.entries);
        EXPECT_EQ(dlg->portCombo->currentIndex(), -1);
    }
}

TEST_F(MainWindowTest, PortThatWillNotOpenBringsBackThePreviousChoice) {
    ports.names.append(QStringLiteral("COM10"));  // listed, but held elsewhere
    Connect();
    ASSERT_EQ(dlg->portCombo->itemText(dlg->Channel().portIndex), "COM3");
    const int comThree = dlg->Channel().portIndex;
    dlg->portCombo->setCurrentIndex(comThree == 0 ? 1 : 0);
    dlg->OnPortSelected(dlg->portCombo->currentIndex());
    AwaitWorker();

    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, "Не удалось открыть порт COM10");
    EXPECT_EQ(dialogs.messages[0].caption, "Ошибка");
    EXPECT_EQ(dialogs.messages[0].buttons, Buttons::Ok);
    EXPECT_EQ(dlg->portCombo->currentIndex(), comThree);
    EXPECT_TRUE(dlg->Channel().portHandle == nullptr);
    EXPECT_FALSE(module->open);
    EXPECT_FALSE(dlg->Channel().pollTimer.isActive());

    // Choosing the module's port again opens it without a probe and polls.
    const std::size_t mark = module->written.size();
    dlg->OnPortSelected(comThree);
    AwaitWorker();
    EXPECT_TRUE(module->open);
    EXPECT_TRUE(dlg->Channel().pollTimer.isActive());
    EXPECT_EQ(module->written.size(), mark);
}

TEST_F(MainWindowTest, TypedValueSurvivesEveryTick) {
    Connect();
    dlg->operationalList->setCurrentRow(1);
    Type(QStringLiteral("2,7"));
    Edit()->setCursorPosition(1);
    Tick();
    Tick();
    EXPECT_EQ(Edit()->text(), "2,7");
    EXPECT_EQ(Edit()->cursorPosition(), 1);
}

CurveStore ReadAutosave(const QString& path) {
    CurveStore read;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        brimvolt::ReadCurveBytes(file.readAll(), read);
    }
    return read;
}

TEST_F(MainWindowTest, AutosaveKeepsUpWhileTheCurveWindowIsHidden) {
    Connect();
    dlg->OnShowHideCurve();
    ASSERT_FALSE(dlg->Channel().curveWindow.isVisible());
    const QString autosave = dlg->Channel().curveWindow.dataFolder + QStringLiteral("temp.raz");

    FeedTimes({0, 0, 1});
    dlg->Channel().curveWindow.WaitForAutosave();
    EXPECT_FALSE(QFile::exists(autosave)) << "the first opportunity after start is let pass";

    FeedTimes({2, 3});
    dlg->Channel().curveWindow.WaitForAutosave();
    ASSERT_TRUE(QFile::exists(autosave));
    const CurveStore saved = ReadAutosave(autosave);
    EXPECT_EQ(saved.durationSeconds, 3);
    EXPECT_EQ(saved.sampleMillivolts[saved.lastIndex], 4070);
}

TEST_F(MainWindowTest, LeavingKeepsTheLastRecordedPointInTheAutosave) {
    Connect();
    const QString autosave = dlg->Channel().curveWindow.dataFolder + QStringLiteral("temp.raz");
    // The window is shown, but no paint gets to run before the operator leaves.
    FeedTimes({0, 1, 2, 3, 4});
    dlg->OnExit();
    ASSERT_TRUE(QFile::exists(autosave));
    const CurveStore saved = ReadAutosave(autosave);
    EXPECT_EQ(saved.durationSeconds, 4);
    EXPECT_EQ(saved.sampleMillivolts[saved.lastIndex], 4060);
}

// `brimvolt FILE.raz`: the window comes up as always, and the curve window shows the file as
// "Загрузить из файла" would; a file that cannot be read is told and leaves the window empty.
TEST_F(MainWindowTest, CurveFileOfTheCommandLineOpensInTheCurveWindow) {
    Connect();
    FeedTimes({0, 1, 2, 3, 4});
    dlg->OnExit();
    const QString saved = dlg->Channel().curveWindow.dataFolder + QStringLiteral("temp.raz");
    ASSERT_TRUE(QFile::copy(saved, folder.filePath("run.raz")));
    dlg.reset();
    dlg = std::make_unique<CBrimvoltDlg>(ports, dialogs);
    dlg->Create();
    const QSize plainSize = dlg->size();
    dlg.reset();

    struct Case {
        QString file;
        int durationSeconds;
        QString message;
    };
    const Case cases[] = {
        {folder.filePath("run.raz"), 4, QString()},
        {folder.filePath("missing.zar"), 0, "Не удалось открыть файл."},
    };
    for (const Case& c : cases) {
        dialogs.messages.clear();
        dlg = std::make_unique<CBrimvoltDlg>(ports, dialogs);
        dlg->OpenCurveFileAtStart(c.file);
        dlg->Create();
        EXPECT_TRUE(dlg->Channel().curveWindow.isVisible()) << c.file.toStdString();
        EXPECT_EQ(dlg->Channel().curveWindow.store.durationSeconds, c.durationSeconds) << c.file.toStdString();
        EXPECT_EQ(dlg->size(), plainSize) << "the main window must not grow";
        if (c.message.isEmpty()) {
            EXPECT_TRUE(dialogs.messages.isEmpty());
            EXPECT_TRUE(dlg->Channel().curveWindow.windowTitle().contains("run.raz"));
        } else {
            ASSERT_EQ(dialogs.messages.size(), 1);
            EXPECT_EQ(dialogs.messages[0].text, c.message);
        }
        dlg.reset();
    }
}

TEST_F(MainWindowTest, NewRunRetitlesTheCurveWindow) {
    module->status.words[4] = 1;
    Connect();
    FeedTimes({0, 1});
    EXPECT_EQ(dlg->Channel().curveWindow.windowTitle(), "Зарядная кривая - Безымянный");
    EXPECT_EQ(dlg->Channel().curveWindow.store.chargeCurve, 1);
}

TEST_F(MainWindowTest, OperatorActionsShareOnePendingSlot) {
    struct Case {
        const char* name;
        std::uint8_t flags;
        std::function<void(MainWindowTest&)> act;
        std::vector<Bytes4> sent;
    };
    const Case cases[] = {
        {"two starts send one start",
         0,
         [](MainWindowTest& t) {
             t.Button(1007)->click();
             t.Button(1007)->click();
         },
         {{'p', 0, 0, 0}}},
        {"a list selection replaces a reset",
         0,
         [](MainWindowTest& t) {
             t.Button(1022)->click();
             t.dlg->modeList->setCurrentRow(2);
         },
         {{'N', 7, 0, 0}}},
        {"the view spin to 0 replaces a reset",
         0,
         [](MainWindowTest& t) {
             t.Button(1022)->click();
             t.dlg->viewSpin->Step(-1);
         },
         {{'N', 254, 0, 0}}},
        {"the view spin back to 1",
         0,
         [](MainWindowTest& t) {
             t.dlg->viewSpin->SetPos(0);
             t.dlg->viewSpin->Step(+1);
         },
         {{'N', 255, 0, 0}}},
        {"emergency reset",
         0,
         [](MainWindowTest& t) { t.Button(1028)->click(); },
         {{'S', 0, 0, 0}}},
        {"Rin while running and held clears",
         0x18,
         [](MainWindowTest& t) { t.Button(1021)->click(); },
         {{'c', 0, 0, 0}}},
        {"Rin held clears",
         0x10,
         [](MainWindowTest& t) { t.Button(1021)->click(); },
         {{'c', 0, 0, 0}}},
        {"Rin while running measures",
         0x08,
         [](MainWindowTest& t) { t.Button(1021)->click(); },
         {{'r', 0, 0, 0}}},
        {"Rin idle sends nothing", 0x00, [](MainWindowTest& t) { t.Button(1021)->click(); }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        module->status.flags = c.flags;
        Connect();
        Tick();
        const std::size_t mark = module->written.size();
        c.act(*this);
        Tick();
        Tick();
        EXPECT_EQ(SentAfter(mark), c.sent);
        EXPECT_TRUE(dialogs.messages.isEmpty());
    }
}

TEST_F(MainWindowTest, ViewSpinClearsBothListsAndDropsTheSelection) {
    Connect();
    dlg->operationalList->setCurrentRow(3);
    dlg->viewSpin->Step(-1);
    EXPECT_EQ(dlg->Channel().selectedParam, 0xFE);
    EXPECT_TRUE(dlg->operationalList->selectedItems().isEmpty());
    EXPECT_TRUE(dlg->modeList->selectedItems().isEmpty());
    // At the end of its range the spin still reports, and the selector follows its position.
    dlg->viewSpin->Step(-1);
    EXPECT_EQ(dlg->Channel().selectedParam, 0xFE);
    EXPECT_EQ(dlg->viewSpin->GetPos(), 0);
}

TEST_F(MainWindowTest, ParameterWritesEncodeTheTypedValue) {
    struct Case {
        const char* name;
        int list;
        int row;
        QString typed;
        Bytes4 sent;
        QString shown;
    };
    const Case cases[] = {
        {"decimal comma",
         1001,
         1,
         QStringLiteral("2,5"),
         {'w', 1, 0xC4, 0x09},
         QStringLiteral("2.5")},
        {"no rounding down",
         1001,
         1,
         QStringLiteral("1.005"),
         {'w', 1, 0xED, 0x03},
         QStringLiteral("1.005")},
        {"preset counted from one",
         1001,
         0,
         QStringLiteral("4"),
         {'w', 0, 3, 0},
         QStringLiteral("4")},
        {"mode list index", 1003, 2, QStringLiteral("15"), {'w', 7, 15, 0}, QStringLiteral("15")},
        {"outside the arrows' range",
         1003,
         6,
         QStringLiteral("150"),
         {'w', 11, 150, 0},
         QStringLiteral("150")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        Connect();
        (c.list == 1001 ? dlg->operationalList : dlg->modeList)->setCurrentRow(c.row);
        Tick();
        Type(c.typed);
        const std::size_t mark = module->written.size();
        QTest::keyClick(Edit(), Qt::Key_Enter);
        EXPECT_EQ(Edit()->text(), c.shown);
        Tick();
        EXPECT_EQ(SentAfter(mark), (std::vector<Bytes4>{c.sent}));
        EXPECT_TRUE(dialogs.messages.isEmpty());
    }
}

TEST_F(MainWindowTest, SelectionShowsTheValueTheRangeAndTheHint) {
    module->status.words[0] = 2;  // preset 3
    Connect();
    Tick();
    dlg->operationalList->setCurrentRow(0);
    EXPECT_EQ(Edit()->text(), "3");
    EXPECT_EQ(dlg->valueSpin->Lower(), 1);
    EXPECT_EQ(dlg->valueSpin->Upper(), 8);
    EXPECT_EQ(dlg->valueSpin->GetPos(), 3);
    EXPECT_EQ(dlg->toolTip.TextOf(Edit()), "Номер должен быть в диапазоне от 1 до 8");

    dlg->operationalList->setCurrentRow(1);
    EXPECT_EQ(Edit()->text(), "3.000");
    EXPECT_TRUE(dlg->toolTip.TextOf(Edit()).isEmpty()) << "an empty hint shows no tooltip";

    Type(QStringLiteral("4"));
    QTest::keyClick(Edit(), Qt::Key_Return);
    dlg->operationalList->setCurrentRow(0);
    Type(QStringLiteral("4"));
    EXPECT_EQ(dlg->valueSpin->GetPos(), 4);
}

TEST_F(MainWindowTest, ListsClearEachOther) {
    Connect();
    dlg->operationalList->setCurrentRow(1);
    dlg->modeList->setCurrentRow(2);
    EXPECT_TRUE(dlg->operationalList->selectedItems().isEmpty());
    EXPECT_EQ(dlg->Channel().selectedParam, 7);
    dlg->operationalList->setCurrentRow(4);
    EXPECT_TRUE(dlg->modeList->selectedItems().isEmpty());
    EXPECT_EQ(dlg->Channel().selectedParam, 4);
}

TEST_F(MainWindowTest, ArrowsStepOneRawWord) {
    module->status.words[1] = 2700;
    Connect();
    Tick();
    dlg->operationalList->setCurrentRow(1);
    EXPECT_EQ(dlg->valueSpin->GetPos(), 2700);
    dlg->valueSpin->Step(+1);
    EXPECT_EQ(Edit()->text(), "2.701");
    QTest::keyClick(Edit(), Qt::Key_Down);
    QTest::keyClick(Edit(), Qt::Key_Down);
    EXPECT_EQ(Edit()->text(), "2.699");

    dlg->operationalList->setCurrentRow(2);  // preset 1, range 1..8
    dlg->valueSpin->Step(+1);
    EXPECT_EQ(Edit()->text(), "2");
    dlg->valueSpin->SetPos(8);
    dlg->valueSpin->Step(+1);
    EXPECT_EQ(Edit()->text(), "8") << "stops at the end of the range";
}

TEST_F(MainWindowTest, RefusedWritesQueueNothing) {
    struct Case {
        const char* name;
        bool connect;
        std::function<void(MainWindowTest&)> prepare;
        QString text;
        QString caption;
    };
    const Case cases[] = {
        {"before any selection", true, [](MainWindowTest&) {},
         QStringLiteral("Сначала нужно выбрать нужный параметр."), QStringLiteral("Внимание!")},
        {"after the view spin", true,
         [](MainWindowTest& t) {
             t.dlg->operationalList->setCurrentRow(1);
             t.dlg->viewSpin->Step(-1);
         },
         QStringLiteral("Сначала нужно выбрать нужный параметр."), QStringLiteral("Внимание!")},
        {"no port comes first", false, [](MainWindowTest&) {}, QStringLiteral("COM порт не открыт"),
         QStringLiteral("Ошибка")},
        {"no number", true,
         [](MainWindowTest& t) {
             t.dlg->operationalList->setCurrentRow(1);
             t.Type(QStringLiteral("abc"));
         },
         QStringLiteral("Недопустимое значение параметра."), QStringLiteral("Ошибка")},
        {"beyond 16 bits", true,
         [](MainWindowTest& t) {
             t.dlg->operationalList->setCurrentRow(1);
             t.Type(QStringLiteral("70"));
         },
         QStringLiteral("Недопустимое значение параметра."), QStringLiteral("Ошибка")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        if (c.connect) {
            Connect();
        } else {
            dlg->Create();
        }
        c.prepare(*this);
        const std::uint8_t pendingBefore = dlg->Channel().pendingCommand;
        const std::size_t mark = module->written.size();
        const QString typed = Edit()->text();
        Button(1004)->click();
        ASSERT_EQ(dialogs.messages.size(), 1);
        EXPECT_EQ(dialogs.messages[0].text, c.text);
        EXPECT_EQ(dialogs.messages[0].caption, c.caption);
        EXPECT_EQ(dialogs.messages[0].buttons, Buttons::Ok);
        EXPECT_EQ(dlg->Channel().pendingCommand, pendingBefore);
        EXPECT_EQ(Edit()->text(), typed);
        if (c.connect) {
            Tick();
            for (const Bytes4& r : SentAfter(mark)) {
                EXPECT_NE(r[0], 'w');
            }
        }
    }
}

TEST_F(MainWindowTest, SelectionWithoutPortIsSentOnceAPortOpens) {
    dlg->Create();
    dlg->Channel().discoveryTimer.stop();
    dlg->operationalList->setCurrentRow(3);
    EXPECT_EQ(dlg->Channel().pendingCommand, 'N');
    EXPECT_TRUE(dialogs.messages.isEmpty());
    Discover();
    ASSERT_TRUE(dlg->Channel().portHandle != nullptr);
    Tick();
    EXPECT_EQ(module->NonPolls(), (std::vector<Bytes4>{{'N', 3, 0, 0}}));
}

TEST_F(MainWindowTest, TimeAndCapacityComeFromTheCurveAtSendTime) {
    struct Case {
        const char* name;
        bool connect;
        std::int32_t clickDuration;  // the curve may grow between the click and the tick
        std::int32_t duration;
        QString capacity;
        std::vector<Bytes4> sent;
        QString refusal;
    };
    const Case cases[] = {
        {"sent as the curve says at the tick",
         true,
         100,
         3725,
         QStringLiteral("12.345Ah"),
         {{'t', 5, 2, 1}, {'C', 0x39, 0x30, 0x00}},
         {}},
        {"no curve yet", true, 0, 0, QString(), {{'t', 0, 0, 0}, {'C', 0, 0, 0}}, {}},
        {"capacity beyond the module's counter",
         true,
         3725,
         3725,
         QStringLiteral("20000.000Ah"),
         {},
         QStringLiteral("Время или емкость кривой не помещаются в модуль.")},
        {"time beyond the module's clock",
         true,
         256 * 3600,
         256 * 3600,
         QStringLiteral("1.000Ah"),
         {},
         QStringLiteral("Время или емкость кривой не помещаются в модуль.")},
        {"no port",
         false,
         10,
         10,
         QStringLiteral("1.000Ah"),
         {},
         QStringLiteral("COM порт не открыт")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        if (c.connect) {
            Connect();
        } else {
            dlg->Create();
            dlg->Channel().discoveryTimer.stop();
        }
        CurveStore& store = dlg->Channel().curveWindow.store;
        store.durationSeconds = c.clickDuration;
        store.curveCapacityText = c.capacity;
        const std::size_t mark = module->written.size();
        Button(1023)->click();
        store.durationSeconds = c.duration;
        if (c.connect) {
            Tick();
        }
        EXPECT_EQ(SentAfter(mark), c.sent);
        if (c.refusal.isEmpty()) {
            EXPECT_TRUE(dialogs.messages.isEmpty());
        } else {
            ASSERT_EQ(dialogs.messages.size(), 1);
            EXPECT_EQ(dialogs.messages[0].text, c.refusal);
            EXPECT_EQ(dialogs.messages[0].caption, "Ошибка");
        }
    }
}

TEST_F(MainWindowTest, DiscoveryOnItsTimerFindsTheModuleAmongSilentPorts) {
    ports.Add(QStringLiteral("COM1"), false);
    ports.Add(QStringLiteral("COM2"), false);
    dlg->Create();
    ASSERT_EVENTUALLY(dlg->Channel().portHandle != nullptr, kEventuallyMs);
    EXPECT_EQ(dlg->Channel().portHandle.Name(), "COM3");
    EXPECT_EQ(dlg->portCombo->currentText(), "COM3");
    EXPECT_FALSE(ports.lines.value("COM1")->open || ports.lines.value("COM2")->open);
}

// What the operator does while the worker makes an exchange counts as done after the tick.
TEST_F(MainWindowTest, ActionsDuringAnExchangeTakeEffectAfterIt) {
    struct Case {
        const char* name;
        bool answers;                       // the module answers the tick's poll
        std::vector<int> clicks;            // buttons pressed during the tick
        std::vector<Bytes4> onTheNextTick;  // a lost module found again hears nothing old
    };
    const Case cases[] = {
        {"a command goes out on the next tick", true, {1007}, {{'p', 0, 0, 0}}},
        {"a later command replaces it", true, {1007, 1022}, {{'s', 0, 0, 0}}},
        {"the module is lost meanwhile", false, {1007}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        Connect();
        module->alive = c.answers;
        const std::size_t mark = module->written.size();
        dlg->OnTimer(CBrimvoltDlg::kPollTimer);
        for (int id : c.clicks) {
            Button(id)->click();
        }
        AwaitWorker();
        EXPECT_TRUE(SentAfter(mark).empty()) << "the tick in flight was changed";
        EXPECT_EQ(dlg->Channel().discoveryTimer.isActive(), !c.answers);
        module->alive = true;
        if (!c.answers) {
            Discover();
        }
        const std::size_t next = module->written.size();
        Tick();
        EXPECT_EQ(SentAfter(next), c.onTheNextTick);
        EXPECT_TRUE(dialogs.messages.isEmpty());
    }
}

TEST_F(MainWindowTest, PortChoiceDuringAnExchangeWaitsForItsAnswer) {
    const std::shared_ptr<FakeLine> other = ports.Add(QStringLiteral("COM4"));
    Connect();
    dlg->OnTimer(CBrimvoltDlg::kPollTimer);
    dlg->OnPortSelected(dlg->portCombo->findText(QStringLiteral("COM4")));
    AwaitWorker();
    EXPECT_EQ(module->Commands().back(), (Bytes4{'a', 0, 0, 0})) << "the tick was finished";
    EXPECT_FALSE(module->open);
    EXPECT_TRUE(other->open);
    EXPECT_EQ(dlg->Channel().portHandle.Name(), "COM4");
    EXPECT_TRUE(dlg->Channel().pollTimer.isActive());
}

TEST_F(MainWindowTest, ExitDuringAnExchangeClosesThePortAndTakesNoAnswer) {
    Connect();
    Tick();
    const QString lineBefore = dlg->Picture().line1;
    module->status.voltageMv = 3000;
    dlg->OnTimer(CBrimvoltDlg::kPollTimer);
    Button(1022)->click();  // never to be sent
    dlg->OnExit();
    EXPECT_FALSE(module->open) << "the exit returned before the port was closed";
    const std::size_t written = module->written.size();
    QTest::qWait(300);
    EXPECT_EQ(module->written.size(), written);
    EXPECT_TRUE(module->NonPolls().empty());
    EXPECT_FALSE(dlg->Channel().pollTimer.isActive() || dlg->Channel().discoveryTimer.isActive());
    EXPECT_EQ(dlg->Picture().line1, lineBefore) << "an answer was taken after the exit";
}

class CountingInhibitor : public brimvolt::platform::CSleepInhibitor {
public:
    explicit CountingInhibitor(bool* held) : held(held) {}
    void Inhibit(const QString&) override { *held = true; }
    void Release() override { *held = false; }
    bool IsHeld() const override { return *held; }

private:
    bool* held;
};

TEST_F(MainWindowTest, ComputerStaysAwakeOnlyWhileTheModuleReportsARun) {
    bool held = false;
    dlg->SetSleepGuard(std::make_unique<brimvolt::platform::CRunSleepGuard>(
        std::make_unique<CountingInhibitor>(&held)));
    Connect();
    Tick();
    EXPECT_FALSE(held);
    module->status.flags = 0x08;
    Tick();
    EXPECT_TRUE(held);
    module->alive = false;  // the module is lost mid-run
    Tick();
    EXPECT_FALSE(held);

    module->alive = true;
    Discover();
    Tick();
    EXPECT_TRUE(held);
    dlg->OnExit();  // confirmed by the scripted OK
    EXPECT_FALSE(held);
}

// The run as the journal holds it once the window has passed everything on.
std::vector<brimvolt::RunRecord> JournalRuns(CBrimvoltDlg& dlg) {
    dlg.Channel().Journal()->WaitUntilHandled();
    brimvolt::CJournal journal;
    EXPECT_TRUE(journal.Open(dlg.JournalPath(), brimvolt::CJournal::OpenMode::Existing).Usable());
    return journal.Runs().value_or(std::vector<brimvolt::RunRecord>{});
}

TEST_F(MainWindowTest, JournalFollowsTheRunToItsEnd) {
    using brimvolt::EndCause;
    using brimvolt::RunState;
    enum class Ending { OperatorStops, ModuleStops, OperatorLeaves, LinkLostThenNoRun };
    struct Case {
        const char* name;
        Ending ending;
        RunState state;
        EndCause cause;
    };
    const Case cases[] = {
        {"stop button", Ending::OperatorStops, RunState::Stopped, EndCause::Operator},
        {"module stops", Ending::ModuleStops, RunState::Stopped, EndCause::Module},
        {"program left", Ending::OperatorLeaves, RunState::Interrupted, EndCause::None},
        {"found again idle", Ending::LinkLostThenNoRun, RunState::Stopped, EndCause::LinkLost},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        for (const QString& file : QDir(folder.path()).entryList({"journal.sqlite*"})) {
            QFile::remove(folder.filePath(file));
        }
        SetUp();
        EXPECT_EQ(dlg->JournalPath(), QDir(folder.path()).absoluteFilePath("journal.sqlite"));
        module->status.currentMa = 1000;
        Connect();
        FeedTimes({0});
        module->status.flags = 0x08;
        FeedTimes({0, 1, 2, 3});
        switch (c.ending) {
            case Ending::OperatorStops:
                Button(1007)->click();
                Tick();
                module->status.flags = 0;
                Tick();
                break;
            case Ending::ModuleStops:
                module->status.flags = 0;
                Tick();
                break;
            case Ending::OperatorLeaves:
                dlg->OnExit();  // confirmed by the scripted OK
                break;
            case Ending::LinkLostThenNoRun:
                module->alive = false;
                Tick();
                EXPECT_TRUE(JournalRuns(*dlg).at(0).IsOpen()) << "a lost link leaves the run open";
                module->alive = true;
                module->status.flags = 0;
                module->status.elapsedSeconds = 0;
                Discover();
                Tick();
                break;
        }
        const std::vector<brimvolt::RunRecord> runs = JournalRuns(*dlg);
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0].port, "COM3");
        EXPECT_EQ(runs[0].state, c.state);
        EXPECT_EQ(runs[0].endCause, c.cause);
        EXPECT_EQ(runs[0].sampleCount, 4) << "the cell at rest and seconds 1 to 3";
        EXPECT_EQ(runs[0].durationSeconds, 3);
    }
}

TEST_F(MainWindowTest, JournalCommandOpensOneWindowThatFollowsTheRun) {
    module->status.currentMa = 1000;
    Connect();
    FeedTimes({0});
    module->status.flags = 0x08;
    FeedTimes({0, 1, 2});
    dlg->Channel().Journal()->WaitUntilHandled();

    QAction* command = dlg->MenuBar()->actions()[2];
    command->trigger();
    CJournalDlg* window = dlg->JournalWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Журнал испытаний");
    ASSERT_EQ(window->Model().rowCount(), 1);
    EXPECT_EQ(window->Model().RunAt(0).state, brimvolt::RunState::Running);

    // The run goes on while the window is hidden; shown again, it is the same window, up to date.
    window->FilterEdit()->setText(QStringLiteral("x"));
    window->hide();
    FeedTimes({3, 4});
    dlg->Channel().Journal()->WaitUntilHandled();
    ASSERT_EVENTUALLY_EQ(window->Model().RunAt(0).durationSeconds, 4, kEventuallyMs);
    command->trigger();
    EXPECT_EQ(dlg->JournalWindow(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->FilterEdit()->text(), "x");
}

TEST_F(MainWindowTest, JournalProblemsAreToldOncePerProblem) {
    // The data folder is taken by a file: the journal cannot be created there.
    dlg.reset();
    QFile blocker(folder.filePath("taken"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    dlg = std::make_unique<CBrimvoltDlg>(ports, dialogs, folder.filePath("taken/journal.sqlite"));
    module->status.flags = 0x08;
    Connect();
    FeedTimes({0, 1, 2});
    for (int ms = 0; dialogs.messages.isEmpty() && ms < kEventuallyMs; ms += 10) {
        QTest::qWait(10);
    }
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].caption, "Журнал испытаний");
    EXPECT_TRUE(dialogs.messages[0].text.contains("taken"))
        << dialogs.messages[0].text.toStdString();
    EXPECT_TRUE(dlg->Channel().portHandle != nullptr) << "the program runs on without its journal";

    // The same words again (a retry failing alike) say nothing new; other words are told.
    emit dlg->Channel().Journal()->Problem(dialogs.messages[0].text);
    emit dlg->Channel().Journal()->Problem(QStringLiteral("другая беда"));
    emit dlg->Channel().Journal()->Problem(QStringLiteral("другая беда"));
    FeedTimes({3, 4});
    QCoreApplication::processEvents();
    ASSERT_EQ(dialogs.messages.size(), 2);
    EXPECT_EQ(dialogs.messages[1].text, "другая беда");
}

// "Проверить напряжение" takes the next cell at once and frees the holder for another; the
// readings of ten seconds are the cell's check in the journal, told once it is there.
TEST_F(MainWindowTest, VoltageCheckTakesTheNextCellAndLandsInTheJournal) {
    module->status.voltageMv = 3712;
    module->status.temperature = 26;
    Connect();
    Tick();
    dlg->OnJournal();
    CJournalDlg* journalWindow = dlg->JournalWindow();
    ASSERT_NE(journalWindow, nullptr);
    journalWindow->NextCellEdit()->setText(QStringLiteral("A1"));
    journalWindow->OnNextCell();
    ASSERT_EQ(dlg->Channel().NextCell(), "A1");

    QAction* entry = dlg->CheckVoltageEntry();
    entry->trigger();
    EXPECT_TRUE(dialogs.textAsked.isEmpty() && dialogs.messages.isEmpty());
    EXPECT_TRUE(journalWindow->NextCellEdit()->text().isEmpty());
    EXPECT_TRUE(dlg->Channel().NextCell().isEmpty());
    EXPECT_EQ(entry->text(), "Проверка напряжения: 0 с из 10");
    EXPECT_FALSE(entry->isEnabled());

    dlg->Channel().pollTimer.start();
    ASSERT_EVENTUALLY(!dialogs.messages.isEmpty(), kEventuallyMs);
    EXPECT_EQ(dialogs.messages[0].text, "Ячейка A1: 3.712 В");
    EXPECT_EQ(entry->text(), "Проверить напряжение");
    brimvolt::CJournal journal;
    ASSERT_TRUE(journal.Open(dlg->JournalPath(), brimvolt::CJournal::OpenMode::Existing).Usable());
    const std::vector<brimvolt::CheckRecord> checks = journal.Checks().value();
    ASSERT_EQ(checks.size(), 1U);
    EXPECT_EQ(checks[0].cellId, journal.CellNamed("A1").value().id);
    EXPECT_EQ(checks[0].port, "COM3");
    EXPECT_DOUBLE_EQ(checks[0].millivolts, 3712.0);
    EXPECT_EQ(checks[0].temperature, 26);
}

// A check wants a module found; whatever ends one early is told with its reason, and nothing
// goes into the journal.
TEST_F(MainWindowTest, VoltageCheckIsRefusedOrAbandonedWithItsReason) {
    dlg->Create();
    dlg->OnCheckVoltage();
    EXPECT_EQ(dialogs.messages.last().text, "Модуль не найден: напряжение проверять нечем.");
    EXPECT_TRUE(dialogs.textAsked.isEmpty()) << "a refusal comes before the question";
    Connect();
    Tick();
    dialogs.texts = {QString(), QStringLiteral("  ")};
    dlg->OnCheckVoltage();
    EXPECT_EQ(dialogs.messages.size(), 1) << "cancelled, the question checks nothing";
    dlg->OnCheckVoltage();
    EXPECT_EQ(dialogs.messages.last().text, "Не указана ячейка, напряжение которой проверить.");

    struct Case {
        const char* cell;
        std::function<void()> then;
        const char* reason;
    };
    const Case cases[] = {
        {"B1", [&] { module->status.flags = 0x08; }, "начался заряд или разряд"},
        {"B2", [&] { module->status.voltageMv = 0; }, "нет ячейки в держателе"},
        {"B3", [&] { module->alive = false; }, "связь с модулем потеряна"},
    };
    for (const Case& c : cases) {
        dialogs.texts = {QString::fromUtf8(c.cell)};
        dlg->OnCheckVoltage();
        ASSERT_TRUE(dlg->Channel().Checking()) << c.cell;
        Tick();
        c.then();
        Tick();
        EXPECT_FALSE(dlg->Channel().Checking());
        EXPECT_EQ(dialogs.messages.last().text,
                  QStringLiteral("Проверка ячейки %1 прервана: %2").arg(c.cell, c.reason));
        module->status = {};
        module->status.voltageMv = 4100;
        Tick();
    }
    dlg->Channel().Journal()->WaitUntilHandled();
    brimvolt::CJournal journal;
    ASSERT_TRUE(journal.Open(dlg->JournalPath(), brimvolt::CJournal::OpenMode::Existing).Usable());
    EXPECT_TRUE(journal.Checks().value().empty());
}

TEST(ToolTipText, WrapsBetweenWordsWithinTheWidth) {
    const QFontMetrics metrics(QFont(QStringLiteral("Liberation Sans"), 9));
    const QString hint = QStringLiteral("Число должно быть в диапазоне от 0 до 30");
    EXPECT_EQ(brimvolt::WrapToWidth(hint, metrics, 350), hint) << "short enough for one line";
    EXPECT_EQ(brimvolt::WrapToWidth(hint, metrics, 0), hint);

    const int narrow = metrics.horizontalAdvance(QStringLiteral("Число должно быть"));
    const QStringList lines = brimvolt::WrapToWidth(hint, metrics, narrow).split('\n');
    ASSERT_GT(lines.size(), 1);
    for (const QString& line : lines) {
        EXPECT_LE(metrics.horizontalAdvance(line), narrow) << line.toStdString();
    }
    EXPECT_EQ(lines.join(' '), hint) << "no word is lost or split";
    EXPECT_EQ(brimvolt::WrapToWidth(QStringLiteral("Калибровочный"), metrics, 5),
              QStringLiteral("Калибровочный"));
}

}  // namespace

#ifdef BRIMVOLT_HAVE_MQTT

namespace {

// The broker's state is the menu's last entry, never enabled and whole within the bar whatever
// it says; the topics follow the port the module is found on.
TEST_F(MainWindowTest, MenuEndsWithTheBrokerStateAndTopicsFollowThePort) {
    if (brimvolt::testing::MosquittoBroker::Program().isEmpty()) {
        GTEST_SKIP() << "no mosquitto broker on this system (Debian package mosquitto)";
    }
    brimvolt::testing::MosquittoBroker broker;
    ASSERT_TRUE(broker.Start()) << broker.Error().toStdString();
    brimvolt::testing::MqttSubscriber watcher(broker.Port(), "brimvolt/#");
    dlg->PublishOverMqtt({*brimvolt::ParseMqttUrl(broker.Url(), nullptr), std::nullopt, {}});
    Connect();
    QAction* entry = dlg->MqttStateEntry();
    ASSERT_TRUE(entry != nullptr && dlg->MenuBar()->actions().back() == entry);
    const QString prefix = brimvolt::DefaultTopicPrefix(QSysInfo::machineHostName(), "COM3");
    EXPECT_GE(watcher.WaitFor(brimvolt::StateTopic(prefix), "online"), 0);
    for (const QString state : {"MQTT: подключено к", "MQTT: нет связи с 127.0.0.1:"}) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return entry->toolTip().startsWith(state); }, 30000));
        const QRect place = dlg->MenuBar()->actionGeometry(entry);
        EXPECT_TRUE(!place.isEmpty() && dlg->MenuBar()->rect().contains(place))
            << entry->text().toStdString();
        EXPECT_FALSE(entry->isEnabled());
        broker.Stop();
    }
}

}  // namespace

#endif
