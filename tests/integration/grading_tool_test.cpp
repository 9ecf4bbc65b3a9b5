// brimvolt-journal check, cell-set, bounds, cells and pack --min-grade over a journal whose runs
// are written here: a cell discharged, charged, then checked on days given with --at.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>

#include "journal/Journal.h"

using namespace brimvolt;

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// 2026-11-01 00:00 UTC: the day the cells were charged.
const QDateTime kCharged = QDateTime::fromString("2026-11-01T00:00:00Z", Qt::ISODate);

class GradingTool : public ::testing::Test {
protected:
    void SetUp() override { path = dir.filePath("journal.sqlite"); }

    ToolRun Tool(QStringList arguments) {
        arguments.prepend(path);
        arguments.prepend("--journal");
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(qEnvironmentVariable("BRIMVOLT_BIN") + "/brimvolt-journal", arguments);
        ToolRun run;
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
            ADD_FAILURE() << "brimvolt-journal did not finish";
            return run;
        }
        run.exitCode = process.exitCode();
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    // A run of the cell that ended at `end`.
    void AddRun(const QString& cell, const QDateTime& end, bool charge, int capacityMah,
                int rinMohm) {
        CJournal journal;
        ASSERT_TRUE(journal.Open(path).Usable());
        RunRecord run;
        run.charge = charge;
        run.port = "ttyUSB0";
        run.durationSeconds = 3 * 3600;
        run.startedUtc = end.toSecsSinceEpoch() - run.durationSeconds;
        run.capacityMah = capacityMah;
        run.rinMohm = static_cast<std::uint16_t>(rinMohm);
        run.state = RunState::Stopped;
        ASSERT_EQ(journal.SaveRun(run, {}), CJournal::SaveResult::Saved);
        ASSERT_TRUE(journal.SetRunCell(run.id, cell));
    }

    void Check(const QString& cell, const QString& volts, const QDateTime& at) {
        const ToolRun run = Tool({"check", cell, volts, "--at", at.toString(Qt::ISODate)});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    }

    /** The `cells` line of the cell, split at its tabs. */
    QStringList Line(const QString& cell) {
        const ToolRun run = Tool({"cells"});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        for (const QString& line : run.out.split('\n')) {
            if (line.startsWith(cell + '\t')) {
                return line.split('\t');
            }
        }
        ADD_FAILURE() << "no line of " << cell.toStdString();
        return {};
    }

    QTemporaryDir dir;
    QString path;
};

}  // namespace

// A 3000 mAh cell gives 2900 mAh (96.7 %) and 45 mΩ, is charged, and checked: 4.180 V a day
// later, 4.150 V fifteen days after that. Each bound moved over what it measured changes the
// grade, and the rule says which.
TEST_F(GradingTool, TheGradeFollowsEachBoundCrossed) {
    ASSERT_EQ(Tool({"cell-set", "G1", "--chemistry", "li-ion", "--nominal", "3000"}).exitCode, 0);
    AddRun("G1", kCharged.addDays(-2), false, 2900, 45);
    Check("G1", "3.65", kCharged.addDays(-1));  // discharged, before the charge: no storage
    AddRun("G1", kCharged, true, 2950, 0);
    Check("G1", "4.180", kCharged.addDays(1));
    QStringList line = Line("G1");
    ASSERT_EQ(line.size(), 10);
    // One check since the charge: the storage has begun, no rate yet.
    EXPECT_EQ(line.mid(0, 8), QStringList({"G1", "li-ion", "3000", "2900", "96.7", "45", "", "0.0"}));
    EXPECT_EQ(line[8], "A");

    Check("G1", "4.150", kCharged.addDays(16));
    line = Line("G1");
    ASSERT_EQ(line.size(), 10);
    EXPECT_EQ(line[6], "2.00");  // 30 mV over 15 days
    EXPECT_EQ(line[7], "15.0");
    EXPECT_EQ(line.mid(8), QStringList({"A", "capacity 96.7 % ≥ 95"}));

    struct Case {
        QStringList bounds;
        QStringList grade;
    };
    const Case cases[] = {
        {{"a_share=97"}, {"B", "capacity 96.7 % ≥ 85"}},
        {{"a_share=98", "b_share=97"}, {"C", "capacity 96.7 % ≥ 70"}},
        {{"a_share=99", "b_share=98", "c_share=97"}, {"reject", "capacity 96.7 % < 97"}},
        {{"max_drop_mv_per_day=1.5"}, {"reject", "self-discharge 2 mV/day > 1.5"}},
        // The storage is too short to count: the rate is not judged.
        {{"max_drop_mv_per_day=1.5", "min_storage_days=16"}, {"A", "capacity 96.7 % ≥ 95"}},
        {{"max_rin_mohm=40"}, {"reject", "Rin 45 mΩ > 40"}},
        {{"max_rin_mohm=none", "max_drop_mv_per_day=none"}, {"A", "capacity 96.7 % ≥ 95"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bounds.join(' ').toStdString());
        ASSERT_EQ(Tool(QStringList({"bounds", "li-ion", "--defaults"}) + c.bounds).exitCode, 0);
        EXPECT_EQ(Line("G1").mid(8), c.grade);
        EXPECT_EQ(Tool({"cells", "--grade", c.grade[0]}).out.count('\n'), 1);
    }
    ASSERT_EQ(Tool({"bounds", "li-ion", "--defaults"}).exitCode, 0);

    // A new run ends the storage.
    AddRun("G1", kCharged.addDays(17), false, 2880, 46);
    line = Line("G1");
    EXPECT_EQ(line.mid(3, 5), QStringList({"2880", "96.0", "46", "", ""}));
}

// Pack building takes the cells of the grade asked or better, never a reject.
TEST_F(GradingTool, PackTakesTheGradeAskedOrBetter) {
    const struct {
        const char* name;
        int capacity;
    } cells[] = {{"P1", 2950}, {"P2", 2940}, {"P3", 2600}, {"P4", 1500}};
    for (const auto& cell : cells) {
        ASSERT_EQ(Tool({"cell-set", cell.name, "--nominal", "3000"}).exitCode, 0);
        AddRun(cell.name, kCharged, false, cell.capacity, 40);
    }
    ToolRun run = Tool({"pack", "2", "1", "--min-grade", "A"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("P1") && run.out.contains("P2"));
    EXPECT_FALSE(run.out.contains("P3"));
    EXPECT_TRUE(run.err.contains("2 cell(s) below grade A"));
    EXPECT_EQ(Tool({"pack", "3", "1", "--min-grade", "A"}).exitCode, 1);
    run = Tool({"pack", "3", "1", "--min-grade", "C"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("P3"));
    EXPECT_FALSE(run.out.contains("P4"));  // 50 %: a reject
}

TEST_F(GradingTool, WrongWordsAreRefusedAndChangeNothing) {
    ASSERT_EQ(Tool({"check", "W1", "4.1", "--at", "2026-11-01T10:00"}).exitCode, 0);
    const QStringList refused[] = {
        {"check", "W1", "4,1"},
        {"check", "W1", "-1"},
        {"check", "W1", "4.1", "--at", "yesterday"},
        {"check", "W1", "4.1", "--at", "2999-01-01T00:00"},
        {"check", "", "4.1"},
        {"cell-set", "W1", "--chemistry", "lithium"},
        {"cell-set", "W1", "--nominal", "-5"},
        {"cell-set", "W1", "--retired", "maybe"},
        {"bounds", "li-ion", "b_share=99"},  // above A
        {"bounds", "li-ion", "a_share=abc"},
        {"bounds", "li-ion", "c_share=none"},
        {"bounds", "li-ion", "colour=red"},
        {"bounds", "plutonium"},
        {"cells", "--grade", "D"},
        {"cells", "--at", "2026-11-01"},
        {"pack", "1", "1", "--min-grade", "reject"},
        {"pack", "1", "1", "--min-grade", "A", "--cells", "x.csv"},
    };
    const QString before = Tool({"cells"}).out + Tool({"bounds"}).out;
    for (const QStringList& words : refused) {
        SCOPED_TRACE(words.join(' ').toStdString());
        const ToolRun run = Tool(words);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.err.startsWith("brimvolt-journal: ")) << run.err.toStdString();
    }
    EXPECT_EQ(Tool({"cells"}).out + Tool({"bounds"}).out, before);
}
