// brimvolt-journal import: a refused file names its line and reason and adds nothing; an
// accepted one adds a run per charge or discharge step.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "journal/Journal.h"

namespace {

using brimvolt::CJournal;

class ImportTool : public ::testing::Test {
protected:
    void SetUp() override {
        journalPath = dir.filePath("journal.sqlite");
        CJournal journal;
        ASSERT_TRUE(journal.Open(journalPath).Usable());
        brimvolt::RunRecord recorded;
        recorded.port = "/dev/ttyUSB0";
        ASSERT_EQ(journal.SaveRun(recorded, {}), CJournal::SaveResult::Saved);
    }

    QString Write(const QByteArray& text) {
        const QString path = dir.filePath("test.bdf");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
        return path;
    }

    int Import(const QStringList& arguments) {
        QProcess process;
        process.start(qEnvironmentVariable("BRIMVOLT_BIN") + "/brimvolt-journal",
                      QStringList{"--journal", journalPath, "import"} + arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        out = process.readAllStandardOutput();
        err = process.readAllStandardError();
        return process.exitCode();
    }

    std::vector<brimvolt::RunRecord> Runs() {
        CJournal journal;
        EXPECT_TRUE(journal.Open(journalPath, CJournal::OpenMode::Existing).Usable());
        return journal.Runs().value_or(std::vector<brimvolt::RunRecord>{});
    }

    QTemporaryDir dir;
    QString journalPath;
    QByteArray out;
    QByteArray err;
};

TEST_F(ImportTool, RefusedFileNamesItsLineAndReasonAndAddsNothing) {
    struct Case {
        const char* what;
        const char* text;
        int line;
        const char* says;
    };
    const Case cases[] = {
        {"required column missing", "Test Time / s,Voltage / V\n0,3.7\n", 1, "Current / A"},
        // A quoted comma separates nothing; a quoted line break moves the count of lines on.
        {"row of another width",
         "Test Time / s,Voltage / V,Current / A,Note\n0,3.7,-1,\"a, b\"\n1,3.6,-1,\"two\n"
         "lines\"\n2,3.5,-1\n",
         5, "3 fields"},
        {"not a number", "Test Time / s,Voltage / V,Current / A\n0,3.7,-1\n1,3.6x,-1\n", 3, "3.6x"},
        {"time going back",
         "Test Time / s,Voltage / V,Current / A\n0,3.7,-1\n10,3.6,-1\n9.5,3.6,-1\n", 4, "9.5 s"},
        {"voltage beyond 16 bits of mV", "Test Time / s,Voltage / V,Current / A\n0,70,-1\n", 2,
         "70 V"},
        {"a coin cell's 0.2 mA",
         "Test Time / s,Voltage / V,Current / A,Step Type\n0,3.0,0,REST\n1,3.0,-0.0002,CC_DCH\n"
         "2,2.9,-0.0002,CC_DCH\n",
         3, "current -0.0002 A is finer than the journal's 1 mA"},
        {"a coin cell's steps told by their count alone",
         "Test Time / s,Voltage / V,Current / A,Step Count / 1\n0,3.0,-0.0002,1\n1,2.9,-0.0002,1\n",
         2, "current -0.0002 A is finer than the journal's 1 mA"},
        {"nothing but a rest", "Test Time / s,Voltage / V,Current / A\n0,3.7,0\n1,3.7,0\n", 1,
         "no charge or discharge step"},
    };
    const std::vector<brimvolt::RunRecord> before = Runs();
    for (const Case& c : cases) {
        const QString path = Write(c.text);
        EXPECT_EQ(Import({path, "--cell", "A1"}), 2) << c.what;
        const QString message = QString::fromLocal8Bit(err).trimmed();
        EXPECT_TRUE(message.startsWith(QStringLiteral("%1:%2: ").arg(path).arg(c.line)))
            << c.what << ": " << message.toStdString();
        EXPECT_TRUE(message.contains(QLatin1String(c.says))) << message.toStdString();
        EXPECT_FALSE(message.contains('\n')) << "one line";
        EXPECT_TRUE(out.isEmpty());
        EXPECT_EQ(Runs(), before) << c.what;
    }
}

TEST_F(ImportTool, AcceptedFileAddsARunPerStepAndNamesTheColumnsItSkipped) {
    const QString path = Write(
        "Test Time / s,Voltage / V,Current / A,Comment\n"
        "0,4.1,-2,\"start\"\n1800,3.7,-2,\n3600,3.0,-2,\n3601,3.2,0,\n3700,3.3,1,\n3760,3.4,1,\n");
    ASSERT_EQ(Import({path}), 0) << err.toStdString();
    EXPECT_EQ(out, QByteArray("2\tdischarge\t1:00:00\t2000\n3\tcharge\t0:01:00\t17\n"));
    EXPECT_TRUE(err.contains("Comment")) << err.toStdString();
    const std::vector<brimvolt::RunRecord> runs = Runs();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[1].port, "BDF");
    EXPECT_EQ(runs[1].note, "test.bdf, step 1") << "the tool speaks English";
}

}  // namespace
