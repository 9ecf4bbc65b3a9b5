// The program runner with no window: status records in, requests out, the journal's offers.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <memory>

#include "cycle/ProgramFile.h"
#include "cycle/ProgramRunner.h"
#include "journal/Journal.h"
#include "journal/JournalWriter.h"

using namespace brimvolt;

namespace {

StatusRecord Idle() {
    StatusRecord status;
    status.params = {1, 3000, 1, 1000, 0, 20000, 4500, 0, 0, 1, 40, 70};
    status.voltageMv = 3900;
    status.temperature = 25;
    return status;
}

TEST(ProgramRunner, APendingStartBeginsWithTheFirstRecordAndALostLinkDropsItsRequests) {
    CProgramRunner runner;
    int changes = 0;
    QObject::connect(&runner, &CProgramRunner::Changed, [&] { ++changes; });
    runner.Start();
    EXPECT_TRUE(runner.StartPending());
    EXPECT_EQ(runner.Sequencer(), nullptr);
    EXPECT_FALSE(runner.SetProgram(CyclesProgram(2)));  // not while one is about to start

    runner.OnStatus(Idle(), 1000);
    EXPECT_FALSE(runner.StartPending());
    EXPECT_TRUE(runner.Active());
    EXPECT_EQ(runner.StepNumber(), 1);
    EXPECT_EQ(runner.StepCount(), static_cast<int>(CapacityProgram().steps.size()));
    EXPECT_EQ(runner.TakeRequests().size(), 1u);
    EXPECT_TRUE(runner.TakeRequests().empty());  // taken once

    runner.OnStatus(Idle(), 2000);
    runner.OnLinkLost();
    EXPECT_TRUE(runner.TakeRequests().empty());
    EXPECT_EQ(runner.StateText(), QStringLiteral("Пауза: связь с модулем потеряна"));
    EXPECT_GE(changes, 4);
}

TEST(ProgramRunner, AnUnfinishedProgramIsOfferedOnlyWhenItCanGoOnElseItIsAbandoned) {
    const struct {
        const char* what;
        QByteArray json;
        std::int32_t step;
        bool offered;
    } cases[] = {
        {"unreadable", "{not json", 1, false},
        {"step past the end", ProgramJson(CapacityProgram()), 99, false},
        {"readable", ProgramJson(CapacityProgram()), 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString path = dir.filePath("journal.sqlite");
        ProgramRecord left;
        left.name = QStringLiteral("Ёмкость");
        left.json = c.json;
        left.port = QStringLiteral("ttyUSB0");
        left.cell = QStringLiteral("B-7");
        left.step = c.step;
        {
            CJournal journal;
            ASSERT_TRUE(journal.Open(path).Usable());
            ASSERT_TRUE(journal.SaveProgram(left));
        }
        auto writer = std::make_unique<CJournalWriter>(path);
        CProgramRunner runner;
        runner.SetJournal(writer.get());
        int offers = 0;
        QObject::connect(&runner, &CProgramRunner::UnfinishedProgramOffered,
                         [&](const ProgramRecord& record, const std::vector<CycleResult>& cycles) {
                             ++offers;
                             runner.ResumeUnfinished(record, cycles);
                         });
        writer->ModuleFound(QStringLiteral("ttyUSB0"), 1'700'000'000'000);
        writer->WaitUntilHandled();
        QCoreApplication::processEvents();
        EXPECT_EQ(offers, c.offered ? 1 : 0);
        // Taken up, it goes on from its own step, a rest, and for its own cell.
        runner.OnStatus(Idle(), 1000);
        EXPECT_EQ(runner.StepNumber(), c.offered ? c.step : 0);
        EXPECT_EQ(runner.Resting(), c.offered);
        EXPECT_EQ(runner.Cell(), c.offered ? left.cell : QString());
        writer.reset();

        CJournal journal;
        ASSERT_TRUE(journal.Open(path).Usable());
        const std::optional<ProgramRecord> after = journal.Program(left.id);
        ASSERT_TRUE(after.has_value());
        // The one taken up is left paused with the writer, to be offered again.
        EXPECT_EQ(after->state, c.offered ? ProgramRunState::Paused : ProgramRunState::Ended);
        EXPECT_EQ(after->endReason,
                  c.offered ? QString()
                            : QStringLiteral("не продолжена: программа в журнале не читается"));
    }
}

}  // namespace
