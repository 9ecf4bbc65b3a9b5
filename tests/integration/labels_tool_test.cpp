// brimvolt-journal labels: the PDF's QR codes read back with zbarimg give the cells' names, the
// captions follow the language, and a wrong request writes nothing.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>

#include "journal/Journal.h"

namespace {

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun Start(const QString& program, const QStringList& arguments, const QString& directory,
              const QStringList& environment = {}) {
    QProcess process;
    process.setWorkingDirectory(directory);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& setting : environment) {
        env.insert(setting.section('=', 0, 0), setting.section('=', 1));
    }
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    ToolRun run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << program.toStdString() << " did not finish";
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// Names as sleeves and barcodes have them: spaces, Cyrillic, punctuation.
const QStringList kNames = {"A1", "Samsung 25R #3", QString::fromUtf8("Ячейка-7 (синяя)"),
                            "a;b,\"c\"/d"};

class LabelsTool : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.filePath("journal.sqlite");
        brimvolt::CJournal journal;
        ASSERT_TRUE(journal.Open(path).Usable());
        for (qsizetype i = 0; i < kNames.size(); ++i) {
            brimvolt::RunRecord run;
            run.startedUtc = 1'700'000'000 + i;
            run.port = "COM3";
            run.capacityMah = static_cast<std::int32_t>(2400 + i);
            run.rinMohm = static_cast<std::uint16_t>(40 + i);
            ASSERT_EQ(journal.SaveRun(run, {}), brimvolt::CJournal::SaveResult::Saved);
            ASSERT_TRUE(journal.Upgrade());
            ASSERT_TRUE(journal.SetRunCell(run.id, kNames[i]));
        }
    }

    ToolRun Tool(const QStringList& arguments, const QStringList& environment = {}) {
        return Start(qEnvironmentVariable("BRIMVOLT_BIN") + "/brimvolt-journal",
                     QStringList{"--journal", path} + arguments, dir.path(), environment);
    }

    /** The texts of the QR codes on every page, sorted; empty with a failure recorded. */
    QStringList Decoded(const QString& pdf) {
        const ToolRun render = Start("pdftoppm", {"-r", "200", "-gray", "-png", pdf, "page"},
                                     dir.path());
        EXPECT_EQ(render.exitCode, 0) << render.err.toStdString();
        QStringList texts;
        for (const QString& page : QDir(dir.path()).entryList({"page*.png"})) {
            const ToolRun read = Start("zbarimg", {"--quiet", "--raw", "-Sqrcode.enable", page},
                                       dir.path());
            EXPECT_EQ(read.exitCode, 0) << page.toStdString() << read.err.toStdString();
            for (const QString& line : QString::fromUtf8(read.out).split('\n', Qt::SkipEmptyParts)) {
                texts << line;
            }
            QFile::remove(dir.filePath(page));
        }
        texts.sort();
        return texts;
    }

    QString Text(const QString& pdf) {
        const ToolRun text = Start("pdftotext", {pdf, "-"}, dir.path());
        EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
        return QString::fromUtf8(text.out);
    }

    QTemporaryDir dir;
    QString path;
};

bool ToolsMissing() {
    for (const char* tool : {"pdftoppm", "zbarimg", "pdftotext"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            return true;
        }
    }
    return false;
}

// Every label's code gives its cell's name back, on a sheet and on a label printer's pages.
TEST_F(LabelsTool, QrCodesDecodeToTheCellNames) {
    if (ToolsMissing()) {
        GTEST_SKIP() << "pdftoppm, pdftotext or zbarimg not installed (make deps installs them)";
    }
    QStringList expected = kNames;
    expected.sort();
    const struct {
        QStringList size;
        int pages;
    } cases[] = {{{}, 1}, {{"--size", "62x29"}, 4}, {{"--size", "40x60"}, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size.join(' ').toStdString());
        const ToolRun run =
            Tool(QStringList{"labels"} + c.size + QStringList{"--"} + kNames + QStringList{"out.pdf"});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        EXPECT_EQ(Decoded(dir.filePath("out.pdf")), expected);
        const ToolRun info = Start("pdfinfo", {"out.pdf"}, dir.path());
        EXPECT_TRUE(QString::fromUtf8(info.out).contains(
            QRegularExpression(QString("\\nPages: +%1\\n").arg(c.pages))))
            << info.out.toStdString();
    }
}

// The captions speak the interface's language; the figures are the register's.
TEST_F(LabelsTool, CaptionsFollowTheLanguage) {
    if (ToolsMissing()) {
        GTEST_SKIP() << "pdftotext not installed (make deps installs it)";
    }
    const struct {
        const char* language;
        QStringList words;
    } cases[] = {{"ru", {QString::fromUtf8("2401 мА·ч"), QString::fromUtf8("Rвн 41 мОм"),
                         QString::fromUtf8("испытана 2023-11-1")}},
                 {"en", {"2401 mAh", QString::fromUtf8("Rin 41 mΩ"), "tested 2023-11-1"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        const ToolRun run = Tool({"labels", "Samsung 25R #3", "out.pdf"},
                                 {QString("LANGUAGE=") + c.language,
                                  QString("LANG=") + (c.language == QString("ru") ? "ru_RU.UTF-8"
                                                                                  : "en_US.UTF-8")});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QString text = Text(dir.filePath("out.pdf"));
        for (const QString& word : c.words) {
            EXPECT_TRUE(text.contains(word)) << word.toStdString() << " in " << text.toStdString();
        }
    }
}

// Wrong requests: one line, the right status, and no file written over.
TEST_F(LabelsTool, RefusalsWriteNothing) {
    QFile keep(dir.filePath("keep.pdf"));
    ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
    keep.write("old");
    keep.close();
    const QByteArray journalBefore = [&] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    const struct {
        QStringList arguments;
        int exitCode;
        const char* message;
    } cases[] = {
        {{"labels", "A1", "nobody", "keep.pdf"}, 2, "no cell named \"nobody\""},
        {{"labels", "keep.pdf"}, 2, "labels wants one cell or more"},
        {{"labels", "A1", "keep.pdf", "--size", "5x20"}, 2, "--size wants WIDTHxHEIGHT"},
        {{"labels", "A1", "keep.pdf", "--size", "62x"}, 2, "--size wants WIDTHxHEIGHT"},
        {{"labels", "A1", "keep.pdf", "--frame"}, 2, "unknown option: --frame"},
        {{"labels", "A1", "journal.sqlite"}, 1, "nothing was written"},
        {{"labels", "A1", "./journal.sqlite"}, 1, "nothing was written"},
        {{"labels", "A1", "out.png"}, 2, "out.png: labels are written as PDF only"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const ToolRun run = Tool(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("out.png")));
    QFile after(dir.filePath("keep.pdf"));
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), "old");
    QFile journal(path);
    ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
    EXPECT_EQ(journal.readAll(), journalBefore);
}

}  // namespace
