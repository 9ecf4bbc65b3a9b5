// brimvolt-journal report: the batch report of the register's cells, graded, as a PDF.

#include "tools/JournalReport.h"

#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTranslator>
#include <cstdio>
#include <memory>
#include <optional>

#include "grading/CellGrading.h"
#include "journal/Journal.h"
#include "platform/Files.h"
#include "platform/Language.h"
#include "platform/QtTranslation.h"
#include "report/GradeReport.h"
#include "tools/JournalOutput.h"

namespace brimvolt {

namespace {

const char* const kReportUsage =
    "Usage: brimvolt-journal [--journal FILE] report OUT.pdf [--grade A|B|C|reject]\n"
    "\n"
    "The batch report of the journal's cells, graded on their last capacity against the\n"
    "nominal, their Rin and their self-discharge by the bounds of their chemistry: the\n"
    "counts by grade and histograms of the three on the first page, then a table of the\n"
    "cells by grade and name, with the rule that gave each its grade. A4 pages, the texts\n"
    "in the interface's language. --grade lists the cells of that grade only.\n"
    "\n"
    "Exit status: 0 done, 1 a file not read or written, 2 wrong usage.\n";

int UsageError(const QString& message) {
    return ToolUsageError(message, "report");
}

struct ReportArguments {
    QString journal = QStringLiteral("journal.sqlite");
    QStringList positional;  // "report", OUT
    std::optional<Grade> only;
};

std::optional<int> Parse(const QStringList& words, ReportArguments& arguments) {
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& word = words[i];
        if (word == QLatin1String("--help") || word == QLatin1String("-h")) {
            std::fputs(kReportUsage, stdout);
            return kExitOk;
        } else if (word == QLatin1String("--journal") || word == QLatin1String("--grade")) {
            if (i + 1 >= words.size() || words[i + 1].isEmpty()) {
                return UsageError(QStringLiteral("%1 needs a value").arg(word));
            }
            const QString& value = words[++i];
            if (word == QLatin1String("--journal")) {
                arguments.journal = value;
            } else if (!(arguments.only = GradeOfWord(value))) {
                return UsageError(
                    QStringLiteral("--grade wants A, B, C or reject, not %1").arg(value));
            }
        } else if (word.startsWith(QLatin1String("--journal="))) {
            arguments.journal = word.mid(10);
        } else if (word.startsWith(QLatin1String("--"))) {
            return UsageError(QStringLiteral("unknown option: %1").arg(word));
        } else {
            arguments.positional.append(word);
        }
    }
    if (arguments.positional.size() != 2) {
        return UsageError(QStringLiteral("report wants the PDF to write, and nothing more"));
    }
    if (arguments.journal.isEmpty()) {
        return UsageError(QStringLiteral("--journal needs a file"));
    }
    if (const int refused = RefusePdfOutput(arguments.positional.back(), arguments.journal,
                                            QStringLiteral("the report is"), "report")) {
        return refused;
    }
    return std::nullopt;
}

}  // namespace

bool IsReportCommand(const QStringList& words) {
    return NamesCommand(words, "report");
}

int RunReportCommand(const QStringList& words, int& argc, char** argv) {
    ReportArguments arguments;
    if (const std::optional<int> done = Parse(words, arguments)) {
        return *done;
    }
    CJournal journal;
    if (const int failed = OpenToolJournal(journal, arguments.journal)) {
        return failed;
    }
    // A journal from before the cell register has no cells to grade: an empty report.
    std::optional<GradingInput> read;
    if (journal.HasCellRegister()) {
        read = ReadGradingInput(journal);
    }
    if (!read && !journal.LastError().isEmpty()) {
        PrintToolError(
            QStringLiteral("%1: read error: %2").arg(arguments.journal, journal.LastError()));
        return kExitFailed;
    }
    GradeReportInput input;
    input.only = arguments.only;
    input.made = QDateTime::currentDateTime();
    input.journalName = QFileInfo(arguments.journal).fileName();

    // Text needs a GUI application's fonts, never a display; Qt's notes on the environment are
    // not the tool's business.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg || type == QtFatalMsg) {
            PrintToolError(message);
        }
    });
    QGuiApplication application(argc, argv);
    const std::unique_ptr<QTranslator> translation =
        platform::InstallProgramTranslation(platform::ChooseLanguage(QString()));
    // Graded once the translation is in, so the rules speak the report's language.
    if (read) {
        input.cells = GradeCells(read->cells, read->runs, read->links, read->checks, read->bounds);
    }
    const QString& out = arguments.positional.back();
    const QByteArray pdf = GradeReportPdf(input);
    if (pdf.isEmpty()) {
        PrintToolError(QStringLiteral("%1: the report could not be drawn").arg(out));
        return kExitFailed;
    }
    const platform::WriteResult written =
        platform::WriteWholeFile(out, pdf, platform::Streams::WriteInto);
    if (!written) {
        PrintToolError(written.failure == platform::WriteFailure::NotRegular
                           ? QStringLiteral("%1: not a regular file, a character device or a FIFO; "
                                            "nothing was written")
                                 .arg(out)
                       : written.reason.isEmpty()
                           ? QStringLiteral("%1: cannot be written").arg(out)
                           : QStringLiteral("%1: cannot be written: %2").arg(out, written.reason));
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace brimvolt
