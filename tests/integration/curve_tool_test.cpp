#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <optional>

#include "platform/Text.h"
#include "support/FileTraps.h"

namespace {

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// fileSizeLimit: the tool runs on a disk that is full beyond that many bytes of a file.
ToolRun CurveTool(const QStringList& arguments, rlim_t fileSizeLimit = 0) {
    QProcess process;
    if (fileSizeLimit != 0) {
        process.setChildProcessModifier(
            [fileSizeLimit] { brimvolt::testing::LimitFileSize(fileSizeLimit); });
    }
    process.start(qEnvironmentVariable("BRIMVOLT_BIN") + "/brimvolt-curve", arguments);
    ToolRun run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << "brimvolt-curve did not finish: " << process.errorString().toStdString();
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QByteArray Utf16File(const QString& text) {
    return QByteArray("\xFF\xFE", 2) + brimvolt::platform::Utf16LeBytes(text);
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class CurveToolCommands : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // Header time deliberately stale: the tool reports what the data say.
        table = Path("table.raz");
        Write(table, Utf16File(QString::fromUtf16(u"Емкость: 2.345Ah\r\nВремя: 00:00:01\r\n\r\n"
                                                  u"Секунды\tНапряжение\r\n"
                                                  u"0\t3,800\tV\r\n"
                                                  u"125\t3,712\tV\r\n"
                                                  u"3723\t3,700\tV\r\n")));
        keyValue = Path("kv.zar");
        Write(keyValue, Utf16File(QString::fromUtf16(u"Емкость: 1.5Ah\r\n") +
                                  "U_0=3,800\r\nU_1=3,800\r\nU_2=3,790\r\n"));
    }

    QString Path(const QString& name) const { return dir.filePath(name); }

    static void Write(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir dir;
    QString table;
    QString keyValue;
};

TEST_F(CurveToolCommands, InfoReportsCapacityDurationAndPoints) {
    ToolRun run = CurveTool({"info", table});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "capacity: 2.345Ah\nduration: 1:02:03\npoints: 3\n");

    run = CurveTool({"info", keyValue});
    EXPECT_EQ(run.out, "capacity: 1.500Ah\nduration: 0:00:02\npoints: 2\n");
}

TEST_F(CurveToolCommands, ConvertWritesWhatTheProgramWouldSave) {
    const ToolRun run = CurveTool({"convert", keyValue, Path("out.zar")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QByteArray expected =
        Utf16File(QString::fromUtf16(u"Емкость: 1.500Ah\r\nВремя: 00:00:02\r\n\r\n"
                                     u"Секунды\tНапряжение\r\n"
                                     u"0\t3,800\tV\r\n"
                                     u"2\t3,790\tV\r\n"));
    EXPECT_EQ(ReadFile(Path("out.zar")), expected);

    // A file the program wrote converts to itself.
    EXPECT_EQ(CurveTool({"convert", Path("out.zar"), Path("again.zar")}).exitCode, 0);
    EXPECT_EQ(ReadFile(Path("again.zar")), expected);
}

TEST_F(CurveToolCommands, CsvListsEveryStoredPoint) {
    ToolRun run = CurveTool({"csv", table});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "seconds,volts\n0,3.800\n125,3.712\n3723,3.700\n");

    run = CurveTool({"csv", "--excel", table, Path("out.csv")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(ReadFile(Path("out.csv")), "seconds;volts\n0;3,800\n125;3,712\n3723;3,700\n");

    // A curve file without data lines has no points to list.
    Write(Path("empty.raz"), Utf16File(QString::fromUtf16(u"Секунды\tНапряжение\r\n")));
    run = CurveTool({"csv", Path("empty.raz")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "seconds,volts\n");
}

TEST_F(CurveToolCommands, PngDrawsThePlot) {
    ToolRun run = CurveTool({"png", table, Path("plot.png")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    QImage image(Path("plot.png"));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), 720);

    run = CurveTool({"png", table, Path("small.png"), "--height", "150"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    QImage small(Path("small.png"));
    ASSERT_FALSE(small.isNull());
    EXPECT_LE(small.height(), 150 + 30);
}

TEST_F(CurveToolCommands, FailuresNameTheFileAndExitWithOne) {
    Write(Path("notes.raz"), Utf16File("nothing to see\r\n"));
    Write(Path("flat.raz"), Utf16File(QString::fromUtf16(u"Секунды\r\n")));
    struct Case {
        QStringList arguments;
        QString named;
    };
    const Case cases[] = {
        {{"info", Path("missing.raz")}, Path("missing.raz")},
        {{"info", Path("notes.raz")}, Path("notes.raz")},
        {{"csv", Path("notes.raz")}, Path("notes.raz")},
        {{"convert", table, Path("no/such/folder.raz")}, Path("no/such/folder.raz")},
        {{"convert", Path("flat.raz"), Path("out.raz")}, Path("flat.raz")},
        {{"csv", table, Path("no/such/folder.csv")}, Path("no/such/folder.csv")},
    };
    for (const auto& c : cases) {
        const ToolRun run = CurveTool(c.arguments);
        EXPECT_EQ(run.exitCode, 1) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(c.named.toUtf8())) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(Path("out.raz")));
}

// Every output is a whole new file or the old one; a device or a FIFO is written into as it
// stands and never replaced; a failure is one line naming the file and the reason.
TEST_F(CurveToolCommands, OutputsAreWholeFilesOrWrittenIntoAsTheyStand) {
    using brimvolt::testing::Node;
    const std::optional<Node> nodes[] = {{}, Node::NullDevice, Node::FullDevice};
    int n = 0;
    for (const char* command : {"convert", "csv", "png"}) {
        for (const auto& node : nodes) {
            const QString out = Path(QString::number(++n));
            SCOPED_TRACE(command + out.toStdString());
            ASSERT_TRUE(node ? brimvolt::testing::MakeNode(out, *node) : (Write(out, "old"), true));
            // Without a node the disk is full at 16 bytes.
            const ToolRun run = CurveTool({command, table, out}, node ? 0 : 16);
            EXPECT_EQ(run.exitCode, node == Node::NullDevice ? 0 : 1) << run.err.toStdString();
            EXPECT_EQ(run.err.count("brimvolt-curve: " + out.toUtf8() + ": writing failed: "),
                      run.exitCode);
            EXPECT_EQ(run.err.count("brimvolt-curve: "), run.exitCode);
            EXPECT_EQ(QFileInfo(out).isFile(), !node) << "the node was replaced";
            EXPECT_TRUE(node || ReadFile(out) == "old");
        }
    }
    const ToolRun run = CurveTool({"csv", table, "/dev/stdout"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "seconds,volts\n0,3.800\n125,3.712\n3723,3.700\n");
}

TEST_F(CurveToolCommands, WrongUsageShowsUsageAndExitsWithTwo) {
    const QStringList cases[] = {
        {},
        {"frobnicate", table},
        {"info"},
        {"info", table, table},
        {"convert", table},
        {"csv", table, "a.csv", "b.csv"},
        {"csv", table, "--semicolons"},
        {"info", table, "--excel"},
        {"png", table, Path("p.png"), "--height"},
        {"png", table, Path("p.png"), "--height", "tall"},
        {"png", table, Path("p.png"), "--height", "5"},
    };
    for (const auto& arguments : cases) {
        const ToolRun run = CurveTool(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains("Usage")) << arguments.join(' ').toStdString();
    }
    EXPECT_FALSE(QFile::exists(Path("p.png")));

    const ToolRun help = CurveTool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("Usage"));
}

}  // namespace
