// The cell register: runs given to cells by name, cells kept by name, and what the runs say of
// each cell.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "journal/CellSummary.h"
#include "journal/Journal.h"

using namespace brimvolt;

namespace {

RunRecord Discharge(std::int64_t started, std::int32_t capacityMah, std::uint16_t rinMohm,
                    bool charge = false) {
    RunRecord run;
    run.startedUtc = started;
    run.port = QStringLiteral("COM3");
    run.charge = charge;
    run.capacityMah = capacityMah;
    run.rinMohm = rinMohm;
    run.state = RunState::Stopped;
    return run;
}

}  // namespace

TEST(JournalCells, RunsBelongToCellsByName) {
    QTemporaryDir dir;
    CJournal journal;
    ASSERT_TRUE(journal.Open(dir.filePath("journal.sqlite")).Usable());
    ASSERT_TRUE(journal.HasCellRegister());
    std::vector<std::int64_t> ids;
    for (int k = 0; k < 4; ++k) {
        RunRecord run = Discharge(1000 + k, 2000, 0);
        ASSERT_EQ(journal.SaveRun(run, {}), CJournal::SaveResult::Saved);
        ids.push_back(run.id);
    }
    // A new name adds the cell; a known one is reused; a run moves from cell to cell.
    ASSERT_TRUE(journal.SetRunCell(ids[0], QStringLiteral("A-1")));
    ASSERT_TRUE(journal.SetRunCell(ids[1], QStringLiteral("A-1")));
    ASSERT_TRUE(journal.SetRunCell(ids[2], QStringLiteral("Б-2")));
    ASSERT_TRUE(journal.SetRunCell(ids[2], QStringLiteral("A-1")));
    ASSERT_TRUE(journal.SetRunCell(ids[3], QStringLiteral("Б-2")));
    ASSERT_TRUE(journal.SetRunCell(ids[3], QString()));  // freed
    EXPECT_FALSE(journal.SetRunCell(999, QStringLiteral("A-1")));
    EXPECT_TRUE(journal.LastError().isEmpty());

    const std::vector<CellRecord> cells = journal.Cells().value();
    ASSERT_EQ(cells.size(), 2u);
    EXPECT_EQ(cells[0].name, "A-1");
    EXPECT_EQ(cells[1].name, "Б-2");
    std::vector<std::int64_t> ofA;
    const std::vector<RunCellLink> links = journal.RunCells().value();
    for (const RunCellLink& link : links) {
        EXPECT_EQ(link.cellId, cells[0].id);
        ofA.push_back(link.runId);
    }
    EXPECT_EQ(ofA, (std::vector<std::int64_t>{ids[0], ids[1], ids[2]}));

    // The cell's own fields are kept; a second cell of the same name is refused.
    CellRecord cell = *journal.CellNamed(QStringLiteral("Б-2"));
    cell.chemistry = Chemistry::LiFePO4;
    cell.nominalMah = 3200;
    cell.maker = QStringLiteral("maker");
    cell.note = QStringLiteral("from a laptop pack");
    cell.retired = true;
    ASSERT_TRUE(journal.SaveCell(cell));
    EXPECT_EQ(journal.CellNamed(QStringLiteral("Б-2")), cell);
    CellRecord twin;
    twin.name = QStringLiteral("A-1");
    EXPECT_FALSE(journal.SaveCell(twin));
    EXPECT_FALSE(journal.CellNamed(QStringLiteral("nobody")).has_value());

    // Deleting a run takes its link along.
    ASSERT_TRUE(journal.DeleteRuns(std::vector<std::int64_t>{ids[1]}));
    EXPECT_EQ(journal.RunCells()->size(), 2u);
}

TEST(JournalCells, SummaryFollowsTheRunsInTheOrderTheyStarted) {
    const auto cell = [](std::int64_t id, const char* name) {
        CellRecord record;
        record.id = id;
        record.name = name;
        return record;
    };
    const CellRecord a = cell(1, "A");
    const CellRecord b = cell(2, "B");
    const CellRecord idle = cell(3, "idle");
    std::vector<RunRecord> runs = {
        Discharge(300, 1900, 0),         // A, last discharge; no Rin this time
        Discharge(100, 2100, 45),        // A, first discharge, Rin
        Discharge(200, 0, 0),            // A, a discharge that gave nothing
        Discharge(400, 1500, 52, true),  // A, a charge: Rin yes, capacity no
        Discharge(150, 2500, 38),        // B
        Discharge(500, 2600, 0),         // a run of no cell
    };
    for (std::size_t k = 0; k < runs.size(); ++k) {
        runs[k].id = static_cast<std::int64_t>(k + 1);
    }
    const std::vector<RunCellLink> links = {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 2}, {7, 1}};
    const std::vector<CellSummary> summaries = SummarizeCells({a, b, idle}, runs, links);
    ASSERT_EQ(summaries.size(), 3u);
    EXPECT_EQ(summaries[0].runs, 4);
    EXPECT_EQ(summaries[0].firstCapacityMah, 2100);
    EXPECT_EQ(summaries[0].lastCapacityMah, 1900);
    EXPECT_EQ(summaries[0].lastRinMohm, 52);
    EXPECT_EQ(summaries[0].lastTestUtc, 400);
    EXPECT_EQ(summaries[1].lastCapacityMah, 2500);
    EXPECT_EQ(summaries[1].lastRinMohm, 38);
    EXPECT_EQ(summaries[2].runs, 0);
    EXPECT_FALSE(summaries[2].lastCapacityMah.has_value());
}
