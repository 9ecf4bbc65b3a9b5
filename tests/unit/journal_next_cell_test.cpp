// The next cell: the recorder's thread gives it to the run that opens next, and to the running
// run when that has no cell yet.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <vector>

#include "journal/JournalWriter.h"

using namespace brimvolt;

namespace {

StatusRecord Reading(std::int32_t seconds, std::uint8_t flags = flags::kRunning) {
    StatusRecord status;
    status.elapsedSeconds = seconds;
    status.statusFlags = flags;
    status.voltageMv = 4000;
    status.currentMa = 1000;
    return status;
}

struct Given {
    std::int64_t runId;
    QString cell;
    bool nextTaken;
};

// A step of the operator's: a cell scanned (or given to a run elsewhere), or a run of the module.
struct Step {
    enum Kind { Scan, SetElsewhere, Run, StartRun } kind;
    QString name;
};

}  // namespace

TEST(NextCell, GoesToTheRunThatOpensAndToARunningRunWithoutACell) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<QString> cellOfRun;  // of each run in the journal, oldest first
        int nextTaken;                   // how many times a run that opened took the next cell
    };
    const Case cases[] = {
        {"scanned before the run", {{Step::Scan, "A-1"}, {Step::Run, {}}}, {"A-1"}, 1},
        {"only the next run takes it",
         {{Step::Scan, "A-1"}, {Step::Run, {}}, {Step::Run, {}}},
         {"A-1", ""},
         1},
        {"the running run without a cell, and the next one",
         {{Step::StartRun, {}}, {Step::Scan, "B-2"}, {Step::Run, {}}},
         {"B-2", "B-2"},
         1},
        {"a running run with its cell keeps it",
         {{Step::StartRun, {}}, {Step::SetElsewhere, "C-3"}, {Step::Scan, "B-2"}, {Step::Run, {}}},
         {"C-3", "B-2"},
         1},
        {"a name scanned again replaces the first",
         {{Step::Scan, "A-1"}, {Step::Scan, "A-2"}, {Step::Run, {}}},
         {"A-2"},
         1},
        {"an empty name takes the next cell back",
         {{Step::Scan, "A-1"}, {Step::Scan, ""}, {Step::Run, {}}},
         {""},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("journal.sqlite");
        auto writer = std::make_unique<CJournalWriter>(path);
        std::vector<Given> given;
        std::optional<std::int64_t> openRun;
        QObject::connect(writer.get(), &CJournalWriter::CellGiven,
                         [&](qint64 runId, const QString& cell, bool nextTaken) {
                             given.push_back({runId, cell, nextTaken});
                         });
        QObject::connect(writer.get(), &CJournalWriter::RunChanged,
                         [&](const RunEvent& event) { openRun = event.run.id; });
        std::int64_t now = 1'700'000'000'000;
        std::int32_t seconds = 0;
        const auto status = [&](std::int32_t at, std::uint8_t flags = flags::kRunning) {
            now += 1000;
            writer->Status(Reading(at, flags), now);
        };
        writer->ModuleFound("ttyUSB0", now);
        const auto start = [&] {
            status(0, 0);
            for (seconds = 1; seconds <= 3; ++seconds) {
                status(seconds);
            }
        };
        const auto stop = [&] {
            status(seconds, 0);
            writer->CommandSent('s', now);
            status(0, 0);
        };
        bool running = false;
        for (const Step& step : c.steps) {
            switch (step.kind) {
                case Step::Scan:
                    writer->SetNextCell(step.name);
                    break;
                case Step::SetElsewhere: {
                    writer->WaitUntilHandled();
                    QCoreApplication::processEvents();
                    CJournal other;
                    ASSERT_TRUE(other.Open(path).Usable());
                    ASSERT_TRUE(other.SetRunCell(openRun.value(), step.name));
                    break;
                }
                case Step::StartRun:
                    start();
                    running = true;
                    break;
                case Step::Run:
                    if (running) {
                        stop();
                    }
                    start();
                    stop();
                    running = false;
                    break;
            }
        }
        writer->WaitUntilHandled();
        QCoreApplication::processEvents();
        writer.reset();

        CJournal journal;
        ASSERT_TRUE(journal.Open(path, CJournal::OpenMode::Existing).Usable());
        const std::vector<RunRecord> runs = journal.Runs().value();
        const std::vector<CellRecord> cells = journal.Cells().value();
        const std::vector<RunCellLink> links = journal.RunCells().value();
        ASSERT_EQ(runs.size(), c.cellOfRun.size());
        for (std::size_t i = 0; i < runs.size(); ++i) {
            QString cell;
            for (const RunCellLink& link : links) {
                if (link.runId == runs[i].id) {
                    for (const CellRecord& record : cells) {
                        cell = record.id == link.cellId ? record.name : cell;
                    }
                }
            }
            EXPECT_EQ(cell, c.cellOfRun[i]) << "run " << i;
        }
        // Every cell the journal gives a run is told, as it is.
        for (const Given& g : given) {
            const auto run = std::find_if(runs.begin(), runs.end(),
                                          [&](const RunRecord& r) { return r.id == g.runId; });
            ASSERT_NE(run, runs.end());
            EXPECT_EQ(c.cellOfRun[static_cast<std::size_t>(run - runs.begin())], g.cell);
        }
        EXPECT_EQ(
            std::count_if(given.begin(), given.end(), [](const Given& g) { return g.nextTaken; }),
            c.nextTaken);
    }
}
