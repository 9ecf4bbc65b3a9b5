// The main window against scripted peers on pseudo-terminals, through the real serial backend:
// the serial worker searches and exchanges on its own thread while the window goes on.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <vector>

#include "app/BrimvoltDlg.h"
#include "platform/QtSerialPort.h"
#include "support/PtyPeer.h"
#include "support/ScriptedDialogs.h"

namespace {

using brimvolt::testing::PtyPeer;

// The machine is shared and slow: every wait is far longer than the behaviour needs.
constexpr int kLongWaitMs = 20000;

QByteArray StatusRecord(std::uint8_t flags) {
    QByteArray record(42, '\0');
    record[26] = static_cast<char>(3712 & 0xFF);  // 3.712 V
    record[27] = static_cast<char>(3712 >> 8);
    record[37] = static_cast<char>(flags);
    return record;
}

class WindowLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        previousFolder = QDir::currentPath();
        QDir::setCurrent(folder.path());
    }
    void TearDown() override {
        dialog.reset();
        QDir::setCurrent(previousFolder);
    }

    PtyPeer& AddPeer(const QString& name) {
        peers.push_back(std::make_unique<PtyPeer>(folder.filePath(name)));
        EXPECT_TRUE(peers.back()->IsOpen());
        return *peers.back();
    }
    PtyPeer& AddModule(const QString& name, int statusDelayMs) {
        PtyPeer& module = AddPeer(name);
        module.Answer('u', PtyPeer::Bytes("Brim"));
        module.Answer('a', PtyPeer::Late(statusDelayMs, StatusRecord(0x08)));
        module.AnswerOthers(PtyPeer::Bytes(QByteArray(4, '\0')));
        return module;
    }
    void Start() {
        QStringList paths;
        for (const auto& peer : peers) {
            paths.append(peer->Path());
        }
        ports = brimvolt::platform::MakePathPorts(paths);
        dialog = std::make_unique<CBrimvoltDlg>(*ports, dialogs);
        dialog->Create();
    }

    QTemporaryDir folder;
    QString previousFolder;
    std::vector<std::unique_ptr<PtyPeer>> peers;
    std::unique_ptr<brimvolt::platform::CPortSystem> ports;
    brimvolt::testing::ScriptedDialogs dialogs;
    std::unique_ptr<CBrimvoltDlg> dialog;
};

TEST_F(WindowLinkTest, DiscoveryFindsTheModuleAmongSilentPortsWhileTheWindowGoesOn) {
    for (const char* name : {"tty0", "tty1", "tty2"}) {
        AddPeer(name);  // listed and opened, but never a word
    }
    PtyPeer& module = AddModule("tty3", 0);

    // A pass over three silent ports lasts three probe time-outs; the window keeps turning.
    int turnsWhileSearching = 0;
    QTimer probe;
    probe.setInterval(2);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (dialog && dialog->LinkBusy() && dialog->portHandle == nullptr) {
            ++turnsWhileSearching;
        }
    });
    probe.start();
    Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->portHandle != nullptr; }, kLongWaitMs));
    probe.stop();

    EXPECT_EQ(dialog->portHandle.Name(), module.Path());
    EXPECT_EQ(dialog->portCombo->count(), 4);
    EXPECT_EQ(dialog->portCombo->currentText(), module.Path());
    for (int i = 0; i < 3; ++i) {
        EXPECT_GE(peers[i]->RequestCount(), 1u) << "silent port " << i << " was not probed";
        EXPECT_FALSE(peers[i]->SlaveOpen()) << "silent port " << i << " left open";
    }
    EXPECT_GE(turnsWhileSearching, 5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->running != 0; }, kLongWaitMs));
}

TEST_F(WindowLinkTest, ExitDuringAnExchangeClosesThePortBeforeItReturns) {
    // A slow module: each status poll keeps the worker busy for a good while.
    PtyPeer& module = AddModule("tty0", 250);
    Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->running != 0; }, kLongWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->LinkBusy(); }, kLongWaitMs));

    dialogs.answers.push_back(brimvolt::platform::Answer::Ok);  // leave during the run
    dialog->OnExit();
    EXPECT_FALSE(module.SlaveOpen());
    EXPECT_FALSE(dialog->isVisible());
    const std::size_t requests = module.RequestCount();
    QTest::qWait(600);
    EXPECT_EQ(module.RequestCount(), requests) << "something went out after the exit";
    EXPECT_EQ(dialogs.messages.size(), 1);
}

}  // namespace
