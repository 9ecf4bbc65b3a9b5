#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "app/Bench.h"
#include "channel/Channel.h"
#include "journal/Journal.h"
#include "sim/InProcessPort.h"
#include "sim/SimModule.h"
#include "support/Eventually.h"
#include "support/ScriptedDialogs.h"

using namespace brimvolt;

namespace {

// Two simulated modules on one bench: each channel its own module, run, autosave and journal
// entry, and a module pulled out stays its channel's while the searching channel looks on.
TEST(Bench, TwoModulesRecordApartAndAPulledModuleComesBackToItsChannel) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    std::unique_ptr<platform::CPortSystem> ports = sim::MakeDemoPorts(nullptr, 20.0, 2);
    const std::vector<std::shared_ptr<sim::CSimModule>> modules = sim::DemoModulesOf(*ports);
    ASSERT_EQ(modules.size(), 2U);
    brimvolt::testing::ScriptedDialogs dialogs;
    const QString journalPath = folder.filePath(QStringLiteral("journal.sqlite"));
    auto bench = std::make_unique<CBench>(*ports, dialogs, journalPath, QStringList());
    bench->Start();

    // Each module found makes the next channel, which searches on.
    ASSERT_EVENTUALLY(bench->ChannelCount() == 3 && bench->ChannelAt(1).portHandle, kEventuallyMs);
    CChannel& first = bench->ChannelAt(0);
    CChannel& second = bench->ChannelAt(1);
    CChannel& searching = bench->ChannelAt(2);
    const QString firstPort = first.portName;
    const QString secondPort = second.portName;
    EXPECT_NE(firstPort, secondPort);
    bench->Start({0, 1});
    ASSERT_EVENTUALLY(first.running != 0 && second.running != 0, kEventuallyMs);

    sim::CSimModule& pulled = *modules[firstPort == QStringLiteral("DEMO1") ? 0 : 1];
    pulled.SetFault(sim::Fault::DropLink, true);
    ASSERT_EVENTUALLY(!first.portHandle, kEventuallyMs);
    EXPECT_EQ(bench->Picture(0).phase, ChannelPhase::LinkLost);
    EXPECT_EQ(bench->Picture(0).port, firstPort);
    pulled.Reconnect();
    // While the first channel has not got it back, nobody else may take it.
    QElapsedTimer clock;
    clock.start();
    while (!first.portHandle && clock.elapsed() < kEventuallyMs) {
        QTest::qWait(5);
        ASSERT_FALSE(searching.portHandle) << searching.portName.toStdString();
        ASSERT_EQ(second.portName, secondPort);
    }
    ASSERT_TRUE(first.portHandle);
    EXPECT_EQ(first.portName, firstPort);
    EXPECT_EQ(bench->ChannelCount(), 3);
    ASSERT_EVENTUALLY(first.running != 0 && first.elapsedSeconds > 5, kEventuallyMs);

    bench->Leave();
    bench.reset();
    // One run per port: the first channel's went on across the gap.
    CJournal journal;
    ASSERT_TRUE(journal.Open(journalPath, CJournal::OpenMode::Existing).Usable());
    const std::optional<std::vector<RunRecord>> runs = journal.Runs();
    ASSERT_TRUE(runs);
    ASSERT_EQ(runs->size(), 2U);
    QStringList runPorts{runs->at(0).port, runs->at(1).port};
    runPorts.sort();
    EXPECT_EQ(runPorts, (QStringList{QStringLiteral("DEMO1"), QStringLiteral("DEMO2")}));
    for (const QString& name : {QStringLiteral("temp-DEMO1.raz"), QStringLiteral("temp-DEMO2.raz")}) {
        EXPECT_TRUE(QFileInfo::exists(folder.filePath(name))) << name.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(folder.filePath(QStringLiteral("temp.raz"))));
    QDir::setCurrent(previous);
}

}  // namespace
