#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/BrimvoltDlg.h"
#include "curvefile/CurveFileWriter.h"
#include "platform/QtSerialPort.h"
#include "sim/PtyTransport.h"
#include "sim/SimModule.h"
#include "support/ScriptedDialogs.h"
#include "support/Eventually.h"

using brimvolt::testing::ScriptedDialogs;

namespace {

// The whole main window against the simulator on a pseudo-terminal, through the real serial
// port backend, with real timers.
class OperatorEndToEnd : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        previousFolder = QDir::currentPath();
        QDir::setCurrent(folder.path());
        module = std::make_shared<brimvolt::sim::CSimModule>();
        module->UseWallClock(1.0);
        transport = std::make_unique<brimvolt::sim::CPtyTransport>(*module);
        ASSERT_TRUE(transport->Open()) << transport->ErrorText();
        transport->Start();
        ports =
            brimvolt::platform::MakePathPorts({QString::fromStdString(transport->DevicePath())});
        dlg = std::make_unique<CBrimvoltDlg>(*ports, dialogs);
        dlg->Create();
        ASSERT_EVENTUALLY(dlg->Channel().portHandle != nullptr, kEventuallyMs);
        ASSERT_EVENTUALLY(!Static(1011)->text().isEmpty(), kEventuallyMs);
    }

    void TearDown() override {
        dlg.reset();
        ports.reset();
        transport.reset();
        QDir::setCurrent(previousFolder);
    }

    QLabel* Static(int id) const { return qobject_cast<QLabel*>(dlg->Control(id)); }
    QPushButton* Button(int id) const { return qobject_cast<QPushButton*>(dlg->Control(id)); }
    QLineEdit* Edit() const { return qobject_cast<QLineEdit*>(dlg->Control(1002)); }

    QTemporaryDir folder;
    QString previousFolder;
    ScriptedDialogs dialogs;
    std::unique_ptr<brimvolt::platform::CPortSystem> ports;
    std::shared_ptr<brimvolt::sim::CSimModule> module;
    std::unique_ptr<brimvolt::sim::CPtyTransport> transport;
    std::unique_ptr<CBrimvoltDlg> dlg;
};

TEST_F(OperatorEndToEnd, WrittenParameterShowsAfterTheNextPoll) {
    dlg->operationalList->setCurrentRow(1);
    Edit()->clear();
    QTest::keyClicks(Edit(), QStringLiteral("3,3"));
    Button(1004)->click();
    ASSERT_EVENTUALLY_EQ(Static(1011)->text(), QStringLiteral("3.300"), kEventuallyMs);
    EXPECT_EQ(module->State().params[1], 3300);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(OperatorEndToEnd, StartButtonStartsARun) {
    ASSERT_EQ(module->State().flags & 0x08, 0);
    Button(1007)->click();
    ASSERT_EVENTUALLY((module->State().flags & 0x08) != 0, kEventuallyMs);
    ASSERT_EVENTUALLY_EQ(Button(1007)->text(), QStringLiteral("Стоп"), kEventuallyMs);
    EXPECT_EQ(dlg->Channel().running, 1);
}

TEST_F(OperatorEndToEnd, LoadedCurveHandsItsTimeAndCapacityToTheModule) {
    brimvolt::CurveStore curve;
    curve.sampleMillivolts[0] = 4150;
    curve.Append(3600, 3700);
    curve.Append(3725, 3650);
    curve.durationSeconds = 3725;
    curve.curveCapacityText = QStringLiteral("1.234Ah");
    const QString path = folder.filePath(QStringLiteral("old.raz"));
    ASSERT_TRUE(brimvolt::WriteCurveFile(path, curve));

    dialogs.paths.push_back(path);
    dlg->Channel().curveWindow.OnSysCommand(CGraf::kLoadCommand);
    ASSERT_EQ(dlg->Channel().curveWindow.store.durationSeconds, 3725);
    Button(1023)->click();
    ASSERT_EVENTUALLY_EQ(module->State().elapsedSeconds, 3725, kEventuallyMs);
    // The capacity follows the time in the same tick, an exchange later.
    ASSERT_EVENTUALLY_EQ(module->State().capacityMah, 1234u, kEventuallyMs);
    ASSERT_EVENTUALLY_EQ(dlg->Channel().elapsedSeconds, 3725, kEventuallyMs);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

}  // namespace
