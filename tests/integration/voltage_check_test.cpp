// Voltage checks of a simulated cell at rest, in real time: asked on a bench's tile, and left by
// a test program that ends with a rest.

#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <cmath>

#include "app/Bench.h"
#include "benchview/BenchDlg.h"
#include "benchview/BenchTile.h"
#include "channel/Channel.h"
#include "journal/Journal.h"
#include "journal/JournalWriter.h"
#include "sim/InProcessPort.h"
#include "sim/SimModule.h"
#include "support/Eventually.h"
#include "support/ScriptedDialogs.h"

using namespace brimvolt;

namespace {

TEST(VoltageCheck, TilesAndProgramsCheckTheCellAtRestAndRunsStopChecks) {
    QTemporaryDir folder;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    const QString path = folder.filePath(QStringLiteral("journal.sqlite"));
    std::unique_ptr<platform::CPortSystem> ports = sim::MakeDemoPorts(nullptr, 1.0, 1);
    const std::shared_ptr<sim::CSimModule> module = sim::DemoModuleOf(*ports);
    brimvolt::testing::ScriptedDialogs dialogs;
    CBench bench(*ports, dialogs, path, QStringList());
    bench.Start();
    CBenchDlg window(dialogs, bench);
    CChannel& channel = bench.ChannelAt(0);
    ASSERT_EVENTUALLY(channel.portHandle && channel.Picture().kind == DisplayPicture::Kind::Lines,
                      kEventuallyMs);
    // The journal's checks as "cell port mV" lines, mV off the cell's voltage now in steps of 20.
    const auto checks = [&] {
        channel.Journal()->WaitUntilHandled();
        CJournal journal;
        EXPECT_TRUE(journal.Open(path, CJournal::OpenMode::Existing).Usable());
        QStringList lines;
        for (const CheckRecord& check : journal.Checks().value_or(std::vector<CheckRecord>{})) {
            const long offMv = std::lround(check.millivolts - module->State().voltageMv);
            for (const CellRecord& cell : journal.Cells().value_or(std::vector<CellRecord>{})) {
                if (cell.id == check.cellId) {
                    lines.append(
                        QStringLiteral("%1 %2 %3").arg(cell.name, check.port).arg(offMv / 20 * 20));
                }
            }
        }
        return lines;
    };

    window.Tile(0)->NextCellEdit()->setText(QStringLiteral("B7"));
    window.Tile(0)->CheckButton()->click();
    EXPECT_TRUE(window.Tile(0)->NextCellEdit()->text().isEmpty()) << "the holder is free";
    ASSERT_EVENTUALLY(channel.CheckNote().startsWith("Ячейка B7: "), kEventuallyMs);
    EXPECT_EQ(checks(), QStringList{"B7 DEMO 0"});

    // A run going refuses a check; one that starts abandons the check going on.
    bench.Start({0});
    ASSERT_EVENTUALLY(channel.running != 0, kEventuallyMs);
    dialogs.texts = {QStringLiteral("C1")};
    window.OnCheckVoltage(0);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith("Идёт заряд или разряд"));
    bench.Stop({0});
    ASSERT_EVENTUALLY(channel.running == 0, kEventuallyMs);
    window.OnCheckVoltage(0);
    ASSERT_TRUE(channel.Checking());
    bench.Start({0});
    ASSERT_EVENTUALLY(!channel.Checking(), kEventuallyMs);
    EXPECT_EQ(channel.CheckNote(), "Проверка ячейки C1 прервана: начался заряд или разряд");
    bench.Stop({0});
    ASSERT_EVENTUALLY(channel.running == 0, kEventuallyMs);

    // A program that ends with a rest checks its cell, the next one, with the rest's last ten
    // readings; without a cell it checks nothing.
    ProgramStep rest;
    rest.kind = StepKind::Rest;
    rest.restSeconds = 2;
    TestProgram program{QStringLiteral("rest"), 0, {rest}};
    for (const QString& cell : {QString(), QStringLiteral("R1")}) {
        bench.SetNextCell(0, cell);
        bench.StartProgram({0}, program);
        ASSERT_EVENTUALLY(channel.Runner().StepNumber() == 1, kEventuallyMs);
        ASSERT_EVENTUALLY(!channel.Runner().Active(), kEventuallyMs);
        program.steps[0].restSeconds = 12;
    }
    ASSERT_EVENTUALLY(channel.CheckNote().startsWith("Ячейка R1: "), kEventuallyMs);
    const QStringList all = checks();
    ASSERT_EQ(all.size(), 2);
    EXPECT_EQ(all[1], "R1 DEMO 0");
    bench.Leave();
    QDir::setCurrent(previous);
}

}  // namespace
