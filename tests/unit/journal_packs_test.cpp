// Saved packs in the journal: a pack takes its cells in one transaction or not at all, and
// freeing it gives them back.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "journal/Journal.h"

namespace {

using brimvolt::CJournal;
using Result = CJournal::PackSaveResult;

class JournalPacks : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(journal.Open(dir.filePath("journal.sqlite")).Usable());
        for (const char* name : {"A", "B", "C", "D", "old"}) {
            brimvolt::CellRecord cell;
            cell.name = QString::fromUtf8(name);
            cell.retired = cell.name == "old";
            ASSERT_TRUE(journal.SaveCell(cell));
        }
    }

    /** The pack id of each cell, in the order A, B, C, D, old. */
    std::vector<std::int64_t> PackOfCells() {
        std::vector<std::int64_t> ids;
        const auto cells = journal.Cells();  // kept: a loop over *Cells() reads a dead temporary
        for (const auto& cell : cells.value_or(std::vector<brimvolt::CellRecord>{})) {
            ids.push_back(cell.packId);
        }
        return ids;
    }

    QTemporaryDir dir;
    CJournal journal;
};

// A refused pack writes nothing: neither the pack nor a mark on any of its cells.
TEST_F(JournalPacks, SavingTakesEveryCellOrNone) {
    brimvolt::PackRecord first{0, "first", 2, 1, 1'700'000'000};
    ASSERT_EQ(journal.SavePack(first, {"A", "B"}), Result::Saved);
    EXPECT_GT(first.id, 0);
    EXPECT_EQ(PackOfCells(), (std::vector<std::int64_t>{first.id, first.id, 0, 0, 0}));

    const struct {
        const char* name;
        QStringList cells;
        Result result;
        const char* refused;
    } cases[] = {
        {"first", {"C"}, Result::NameTaken, ""},
        {"second", {"C", "B"}, Result::CellTaken, "B"},      // in the first pack
        {"second", {"C", "old"}, Result::CellTaken, "old"},  // retired
        {"second", {"C", "nobody"}, Result::CellTaken, "nobody"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + (" " + c.cells.join(',')).toStdString());
        brimvolt::PackRecord pack{0, c.name, 2, 1, 0};
        QString refused;
        EXPECT_EQ(journal.SavePack(pack, c.cells, &refused), c.result);
        EXPECT_EQ(refused, QString::fromUtf8(c.refused));
        EXPECT_EQ(pack.id, 0);
        EXPECT_TRUE(journal.LastError().isEmpty()) << journal.LastError().toStdString();
        EXPECT_EQ(PackOfCells(), (std::vector<std::int64_t>{first.id, first.id, 0, 0, 0}));
        EXPECT_EQ(journal.Packs()->size(), 1u);
    }

    brimvolt::PackRecord second{0, "second", 1, 2, 0};
    ASSERT_EQ(journal.SavePack(second, {"C", "D"}), Result::Saved);
    EXPECT_GT(second.createdUtc, 0);
    EXPECT_EQ(*journal.Packs(), (std::vector<brimvolt::PackRecord>{second, first}));
}

TEST_F(JournalPacks, FreeingGivesTheCellsBack) {
    brimvolt::PackRecord pack{0, "p", 1, 2, 0};
    ASSERT_EQ(journal.SavePack(pack, {"A", "C"}), Result::Saved);
    ASSERT_TRUE(journal.FreePack(pack.id));
    EXPECT_EQ(PackOfCells(), (std::vector<std::int64_t>{0, 0, 0, 0, 0}));
    EXPECT_TRUE(journal.Packs()->empty());
    EXPECT_FALSE(journal.FreePack(pack.id));
    EXPECT_TRUE(journal.LastError().isEmpty());
    // The freed cells go into a new pack of the same name.
    brimvolt::PackRecord again{0, "p", 2, 1, 0};
    EXPECT_EQ(journal.SavePack(again, {"A", "C"}), Result::Saved);
}

}  // namespace
