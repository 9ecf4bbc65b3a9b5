// brimvolt-journal pack on CSV files of cells as other programs write them.

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <vector>

#include "journal/Journal.h"

namespace {

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

class PackTool : public ::testing::Test {
protected:
    QString Write(const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    QByteArray Read(const QString& name) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    ToolRun Tool(const QStringList& arguments, const QByteArray& input = {}) {
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(qEnvironmentVariable("BRIMVOLT_BIN") + "/brimvolt-journal", arguments);
        process.write(input);
        process.closeWriteChannel();
        ToolRun run;
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
            ADD_FAILURE() << "brimvolt-journal did not finish";
            return run;
        }
        run.exitCode = process.exitCode();
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        return run;
    }

    QTemporaryDir dir;
};

// A spreadsheet's export: ";" between fields, decimal commas, a quoted name, a cell without Rin.
const QByteArray kCells =
    "\xEF\xBB\xBFName;Capacity;Rin\r\n"
    "A1;2500;40,5\r\n"
    "\"B;2\";2490;\r\n"
    "C3;2510;41\r\n"
    "\r\n"
    "D4;2495;39\r\n"
    "\"He said \"\"old\"\"\";2000;80\r\n";

}  // namespace

TEST_F(PackTool, PlanGroupsTheCellsEvenlyAndListsTheSpares) {
    Write("cells.csv", kCells);
    // The best 2S2P: 2510+2490 against 2500+2495; the weak cell is the spare.
    ToolRun run = Tool({"pack", "2", "2", "--cells", "cells.csv"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty());
    EXPECT_EQ(run.out,
              "group,cell,capacity_mAh,rin_mOhm\n"
              "1,C3,2510,41\n"
              "1,\"B;2\",2490,\n"
              "2,A1,2500,40.5\n"
              "2,D4,2495,39\n"
              ",\"He said \"\"old\"\"\",2000,80\n");

    // Within 1 mOhm the two close cells must pair, the cell without Rin goes with D4.
    run = Tool(
        {"pack", "2", "2", "--cells", "cells.csv", "--max-rin-spread", "1", "--out", "plan.csv"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(Read("plan.csv"),
              "group,cell,capacity_mAh,rin_mOhm\n"
              "1,C3,2510,41\n"
              "1,A1,2500,40.5\n"
              "2,D4,2495,39\n"
              "2,\"B;2\",2490,\n"
              ",\"He said \"\"old\"\"\",2000,80\n");
    EXPECT_EQ(run.out,
              "group 1: 5010 mAh, +12.5 from the mean, Rin 40.5 to 41 mOhm\n"
              "group 2: 4985 mAh, -12.5 from the mean, Rin 39 to 39 mOhm\n"
              "pack 2S2P: 4985 mAh, spread 25 mAh (0.50 %), 1 spare(s), 0 left out\n");

    // A whole pack of one group: every cell above the bound.
    run = Tool({"pack", "1", "3", "--cells", "cells.csv", "--min-capacity", "2495"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.count('\n'), 4);
    EXPECT_FALSE(run.out.contains("B;2"));
}

TEST_F(PackTool, RefusalsSayWhyInOneLine) {
    Write("cells.csv", kCells);
    Write("bare.csv", "A1,2500,40\nB2,2400,41\n");
    Write("wide.csv", "name,capacity_mAh,rin_mOhm\nA1,2500,40\nB2,2400,41,7\n");
    Write("open.csv", "name,capacity_mAh,rin_mOhm\nA1,2500,40\n\"B2,2400,41\nC3,1,1\n");
    Write("twice.csv", "name,capacity_mAh,rin_mOhm\nA1,2500,40\nB2,2400,41\nA1,2300,\n");
    Write("minus.csv", "name,capacity_mAh,rin_mOhm\nA1,-2500,40\n");
    Write("rin.csv", "name,capacity_mAh,rin_mOhm\nA1,2500,forty\n");
    Write("nan.csv", "name,capacity_mAh,rin_mOhm\nA1,nan,40\n");
    Write("control.csv", "name,capacity_mAh,rin_mOhm\n\"A\x1b[31m\",2500,40\n");
    struct Case {
        QStringList arguments;
        int exitCode;
        const char* says;
    };
    const std::vector<Case> cases = {
        {{"pack", "2", "2", "--cells", "bare.csv"}, 2, "bare.csv:1: a header line is expected"},
        {{"pack", "1", "1", "--cells", "wide.csv"}, 2, "wide.csv:3: expected name, capacity"},
        {{"pack", "1", "1", "--cells", "open.csv"}, 2, "open.csv:3: a quoted field is not closed"},
        {{"pack", "1", "1", "--cells", "twice.csv"},
         2,
         "twice.csv:4: cell A1 is already on line 2"},
        {{"pack", "1", "1", "--cells", "minus.csv"}, 2, "minus.csv:2: the capacity is not"},
        {{"pack", "1", "1", "--cells", "nan.csv"}, 2, "nan.csv:2: the capacity is not"},
        {{"pack", "1", "1", "--cells", "rin.csv"}, 2, "rin.csv:2: the Rin is neither empty"},
        {{"pack", "1", "1", "--cells", "control.csv"}, 2, "control.csv:2: a cell name is at most"},
        {{"pack", "1", "1", "--cells", "missing.csv"}, 1, "missing.csv: no such file"},
        {{"pack", "1", "1", "--cells", "."}, 1, ".: not a regular file"},
        {{"pack", "3", "2", "--cells", "cells.csv"}, 1, "too few cells: 3S2P needs 6, 5 can be"},
        {{"pack", "2", "2", "--cells", "cells.csv", "--max-rin-spread", "1", "--require-rin"},
         1,
         "no grouping keeps the Rin spread of every group within 1 mOhm"},
        {{"pack", "0", "2", "--cells", "cells.csv"}, 2, "S and P are whole numbers from 1"},
        {{"pack", "2", "--cells", "cells.csv"}, 2, "pack wants S and P"},
        {{"pack", "2", "2"}, 1, "journal.sqlite: no journal there"},
        {{"pack", "2", "2", "--cells", "cells.csv", "--min-capacity", "lots"},
         2,
         "--min-capacity wants a number from 0 up, not lots"},
        {{"pack", "2", "2", "--cells", "cells.csv", "--max-rin-spread"},
         2,
         "--max-rin-spread needs a value"},
        {{"pack", "2", "2", "--cells", "cells.csv", "--out", "./cells.csv"},
         2,
         "would overwrite the cells it is made from"},
        {{"pack", "2", "2", "--cells", "cells.csv", "--out", "no/such/plan.csv"},
         1,
         "no/such/plan.csv: cannot be written"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const ToolRun run = Tool(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.startsWith("brimvolt-journal: ")) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.says)) << run.err.toStdString();
        EXPECT_FALSE(run.err.contains('\x1b'));
    }
    EXPECT_EQ(Read("cells.csv"), kCells);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("plan.csv")));
}

// What the tool prints of its own figures, and where it takes the cells from.
TEST_F(PackTool, MessagesAndInputsAsAnOperatorMeetsThem) {
    const QByteArray plan =
        "group,cell,capacity_mAh,rin_mOhm\n"
        "1,C3,2510,41\n"
        "1,\"B;2\",2490,\n"
        "2,A1,2500,40.5\n"
        "2,D4,2495,39\n"
        ",\"He said \"\"old\"\"\",2000,80\n";
    Write("cells.csv", kCells);
    Write("tenths.csv", "name,capacity_mAh,rin_mOhm\nA,2500.1,\nB,2500,\nC,2500,\n");
    Write("blank.csv", "\r\n  \r\n" + kCells.mid(3));
    struct Case {
        const char* what;
        QStringList arguments;
        QByteArray input;
        int exitCode;
        QByteArray out;
        const char* says;  // on the standard error
    };
    const std::vector<Case> cases = {
        {"figures rounded, no -0.0",
         {"pack", "3", "1", "--cells", "tenths.csv", "--out", "plan.csv"},
         {},
         0,
         "group 1: 2500.1 mAh, +0.1 from the mean\n"
         "group 2: 2500 mAh, +0.0 from the mean\n"
         "group 3: 2500 mAh, +0.0 from the mean\n"
         "pack 3S1P: 2500 mAh, spread 0.1 mAh (0.00 %), 0 spare(s), 0 left out\n",
         nullptr},
        {"cells from the standard input",
         {"pack", "2", "2", "--cells", "-"},
         kCells,
         0,
         plan,
         nullptr},
        {"a refused line of the standard input",
         {"pack", "2", "2", "--cells", "-"},
         "A1,2500,40\n",
         2,
         {},
         "the standard input:1: a header line is expected"},
        {"a pack too large is wrong usage",
         {"pack", "10000", "10000", "--cells", "cells.csv"},
         {},
         2,
         {},
         "a pack has at most 100000 cells, not 10000S10000P"},
        {"blank lines before a \";\" header",
         {"pack", "2", "2", "--cells", "blank.csv"},
         {},
         0,
         plan,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ToolRun run = Tool(c.arguments, c.input);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_EQ(run.out.toStdString(), c.out.toStdString());
        if (c.says) {
            EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
            EXPECT_TRUE(run.err.contains(c.says)) << run.err.toStdString();
        } else {
            EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        }
    }
}

// Cells given to runs with `cell`, then packed from the register: retired cells, cells in a
// pack and cells never discharged stay out; each cell counts with its last discharge.
TEST_F(PackTool, CellsOfTheJournalArePackedFromTheRegister) {
    const QString path = dir.filePath("journal.sqlite");
    {
        brimvolt::CJournal journal;
        ASSERT_TRUE(journal.Open(path).Usable());
        const struct {
            int capacity;
            int rin;
            bool charge;
        } runs[] = {{2400, 40, false}, {2510, 41, false}, {2490, 0, false},  {2500, 39, false},
                    {2495, 40, false}, {3000, 40, false}, {3100, 40, false}, {1000, 40, true}};
        for (const auto& r : runs) {
            brimvolt::RunRecord run;
            run.startedUtc = 1'700'000'000;
            run.port = "COM3";
            run.charge = r.charge;
            run.capacityMah = r.capacity;
            run.rinMohm = static_cast<std::uint16_t>(r.rin);
            ASSERT_EQ(journal.SaveRun(run, {}), brimvolt::CJournal::SaveResult::Saved);
        }
    }
    const char* const owners[] = {"A1", "A1", "B2", "C3", "D4", "old", "packed", "new"};
    for (int run = 1; run <= 8; ++run) {
        const ToolRun set =
            Tool({"--journal", path, "cell", QString::number(run), owners[run - 1]});
        ASSERT_EQ(set.exitCode, 0) << set.err.toStdString();
    }
    {
        brimvolt::CJournal journal;
        ASSERT_TRUE(journal.Open(path).Usable());
        brimvolt::CellRecord old = *journal.CellNamed("old");
        old.retired = true;
        ASSERT_TRUE(journal.SaveCell(old));
        brimvolt::CellRecord packed = *journal.CellNamed("packed");
        packed.packId = 1;
        ASSERT_TRUE(journal.SaveCell(packed));
    }
    const ToolRun run = Tool({"--journal", path, "pack", "2", "2"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out,
              "group,cell,capacity_mAh,rin_mOhm\n"
              "1,A1,2510,41\n"
              "1,B2,2490,\n"
              "2,C3,2500,39\n"
              "2,D4,2495,40\n");

    const ToolRun bad = Tool({"--journal", path, "cell", "99", "A1"});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(bad.err.contains("no run 99")) << bad.err.toStdString();
    EXPECT_EQ(Tool({"--journal", path, "cell", "1", "A\x01"}).exitCode, 2);
    EXPECT_EQ(Tool({"--journal", dir.filePath("none.sqlite"), "pack", "1", "1"}).exitCode, 1);
}
