// brimvolt-journal report: the PDF renders, its table fills just the pages it needs, and the
// counts on its first page are the table's rows and the grading's own counts.

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <map>

#include "grading/CellGrading.h"
#include "journal/Journal.h"

namespace {

using namespace brimvolt;

constexpr int kCells = 120;
const QString kReject = QString::fromUtf8("брак");
const QString kNone = QString::fromUtf8("без сорта");
const QString kTotal = QString::fromUtf8("всего");

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun Start(const QString& program, const QStringList& arguments, const QString& directory) {
    QProcess process;
    process.setWorkingDirectory(directory);
    process.start(program, arguments);
    ToolRun run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << program.toStdString() << " did not finish";
        return run;
    }
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

class ReportTool : public ::testing::Test {
protected:
    // Li-ion and NiMH cells by the default bounds, by kind: A, B, C, reject on capacity, on Rin,
    // on self-discharge, and no grade (no nominal, or never discharged).
    void SetUp() override {
        path = dir.filePath("journal.sqlite");
        CJournal journal;
        ASSERT_TRUE(journal.Open(path).Usable());
        const double shares[] = {97, 90, 75, 60, 97, 97, 97};
        for (int i = 0; i < kCells; ++i) {
            const int kind = i % 7;
            CellRecord cell;
            cell.name = QString("K-%1").arg(i, 3, 10, QLatin1Char('0'));
            cell.chemistry = i % 3 == 0 ? Chemistry::NiMH : Chemistry::LiIon;
            cell.nominalMah = kind == 6 && i % 2 == 0 ? 0 : 2000;
            ASSERT_TRUE(journal.SaveCell(cell));
            const std::int64_t start = 1'700'000'000 + i * 10000;
            if (kind != 6 || cell.nominalMah == 0) {
                RunRecord run;
                run.startedUtc = start;
                run.state = RunState::Stopped;
                run.durationSeconds = 3600;
                run.capacityMah = static_cast<std::int32_t>(20 * shares[kind]);
                run.rinMohm = static_cast<std::uint16_t>(kind == 4 ? 150 : 30 + i % 40);
                ASSERT_EQ(journal.SaveRun(run, {}), CJournal::SaveResult::Saved);
                ASSERT_TRUE(journal.SetRunCell(run.id, cell.name));
            }
            // Twenty days stored: 0.5 mV a day, 8 for the self-discharging kind.
            CheckRecord first{0, 0, start + 7200, 4150.0, 24, "COM3"};
            CheckRecord latest{0,  0, start + 7200 + 20 * 86400, kind == 5 ? 3990.0 : 4140.0,
                               {}, ""};
            ASSERT_TRUE(journal.AddCheck(first, cell.name));
            ASSERT_TRUE(journal.AddCheck(latest, cell.name));
        }
        const auto input = ReadGradingInput(journal);
        ASSERT_TRUE(input);
        for (const GradedCell& cell :
             GradeCells(input->cells, input->runs, input->links, input->checks, input->bounds)) {
            ++graded[cell.grade.grade == Grade::None ? kNone : GradeText(cell.grade.grade)];
        }
    }

    ToolRun Tool(const QStringList& arguments) {
        return Start(qEnvironmentVariable("BRIMVOLT_BIN") + "/brimvolt-journal",
                     QStringList{"--journal", path} + arguments, dir.path());
    }

    QTemporaryDir dir;
    QString path;
    std::map<QString, int> graded;  // by the grade's text, kNone for none
};

// A table row's grade: the one word of the row that is a grade, kNone without one.
QString GradeOfRow(const QString& row) {
    for (const QString& word : row.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts)) {
        if (word == "A" || word == "B" || word == "C" || word == kReject) {
            return word;
        }
    }
    return kNone;
}

TEST_F(ReportTool, CountsMatchTheTableAndTheGrading) {
    for (const char* tool : {"pdftoppm", "pdftotext"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            GTEST_SKIP() << tool << " not installed (make deps installs it)";
        }
    }
    for (const QString& grade : {QString("A"), QString("B"), QString("C"), kReject, kNone}) {
        ASSERT_GT(graded[grade], 0) << "no cell of grade " << grade.toStdString();
    }
    const struct {
        QStringList options;
        std::map<QString, int> counts;
    } cases[] = {
        {{}, graded},
        {{"--grade", "B"}, {{"A", 0}, {"B", graded["B"]}, {"C", 0}, {kReject, 0}, {kNone, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.join(' ').toStdString());
        std::map<QString, int> expected = c.counts;
        int total = 0;
        for (const auto& [grade, count] : expected) {
            total += count;
        }
        expected[kTotal] = total;
        const ToolRun run = Tool(QStringList{"report", "report.pdf"} + c.options);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        const QString rendered = c.options.isEmpty() ? "all" : "one";
        ASSERT_EQ(
            Start("pdftoppm", {"-r", "30", "-png", "report.pdf", rendered}, dir.path()).exitCode,
            0);
        const ToolRun text = Start("pdftotext", {"-layout", "report.pdf", "-"}, dir.path());
        QStringList pages = QString::fromUtf8(text.out).split('\f');
        pages.removeLast();  // after the last page's form feed
        EXPECT_EQ(QDir(dir.path()).entryList({rendered + "-*.png"}).size(), pages.size());

        std::map<QString, int> onFirstPage;
        const QRegularExpression countLine(
            QString::fromUtf8("^\\s*(A|B|C|брак|без сорта|всего)\\s+(\\d+)\\b"),
            QRegularExpression::MultilineOption);
        for (auto match = countLine.globalMatch(pages.value(0)); match.hasNext();) {
            const QRegularExpressionMatch found = match.next();
            onFirstPage[found.captured(1)] = found.captured(2).toInt();
        }
        EXPECT_EQ(onFirstPage, expected);

        // Each table page with its header and number; all full but the last, which is not empty.
        const QRegularExpression rowLine("^\\s*(K-\\d{3})\\s(.*)$",
                                         QRegularExpression::MultilineOption);
        const QStringList order = {"A", "B", "C", kReject, kNone};
        std::map<QString, int> inTable;
        std::pair<qsizetype, QString> previous{-1, QString()};
        int fullPage = 0;
        for (qsizetype page = 1; page < pages.size(); ++page) {
            SCOPED_TRACE(page + 1);
            EXPECT_TRUE(pages[page].contains(QString::fromUtf8("Правило")));
            EXPECT_TRUE(pages[page].contains(
                QString::fromUtf8("Страница %1 из %2").arg(page + 1).arg(pages.size())));
            int rows = 0;
            for (auto match = rowLine.globalMatch(pages[page]); match.hasNext(); ++rows) {
                const QRegularExpressionMatch found = match.next();
                const QString grade = GradeOfRow(found.captured(2));
                ++inTable[grade];
                const std::pair<qsizetype, QString> at{order.indexOf(grade), found.captured(1)};
                EXPECT_LT(previous, at) << "out of order: by grade, then by name";
                previous = at;
            }
            if (page == 1) {
                fullPage = rows;
            }
            EXPECT_TRUE(page + 1 == pages.size() ? rows >= 1 && rows <= fullPage : rows == fullPage)
                << rows << " rows, " << fullPage << " on the first page of the table";
        }
        expected.erase(kTotal);
        std::erase_if(expected, [](const auto& entry) { return entry.second == 0; });
        EXPECT_EQ(inTable, expected);
        if (c.options.isEmpty()) {
            EXPECT_GE(pages.size(), 3) << "the table of " << kCells << " cells fills two pages";
        }
    }
}

// Wrong requests and unwritable places: one line, the right status, no file left.
TEST_F(ReportTool, RefusalsWriteNothing) {
    const struct {
        QStringList arguments;
        int exitCode;
        const char* message;
    } cases[] = {
        {{"report"}, 2, "report wants the PDF to write"},
        {{"report", "a.pdf", "--grade", "D"}, 2, "--grade wants A, B, C or reject, not D"},
        {{"report", "a.png"}, 2, "a.png: the report is written as PDF only"},
        {{"report", "./journal.sqlite"}, 1, "nothing was written"},
        {{"report", "no-such-folder/a.pdf"}, 1, "no-such-folder/a.pdf: cannot be written"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const ToolRun run = Tool(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
    }
    EXPECT_EQ(QDir(dir.path()).entryList({"*.pdf", "*.png"}, QDir::Files), QStringList());
}

}  // namespace
