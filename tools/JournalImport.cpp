// brimvolt-journal import: the charge and discharge steps of a Battery Data Format file added to
// the journal as runs.

#include "tools/JournalImport.h"
#include "tools/JournalOutput.h"

#include <QCoreApplication>
#include <QTranslator>
#include <cstdio>
#include <memory>
#include <optional>

#include "bdf/BdfImport.h"
#include "journal/Journal.h"
#include "journal/JournalExport.h"
#include "platform/QtTranslation.h"

namespace brimvolt {

namespace {

const char* const kImportUsage =
    "Usage: brimvolt-journal [--journal FILE] import BDF-FILE [--cell NAME]\n"
    "\n"
    "Adds each charge and discharge step of a Battery Data Format file (.bdf, .bdf.csv or\n"
    "gzip'd .bdf.gz) to the journal as a run, all in one go or none; rests are left out.\n"
    "Readings denser than one a second are thinned to one a second. --cell: the runs\n"
    "belong to the cell NAME (added to the register when new).\n"
    "\n"
    "Prints a line per run added, tab-separated: id, kind, duration, capacity (mAh); the\n"
    "columns the format does not know on the standard error. A file the journal cannot\n"
    "take is refused as FILE:LINE: reason, and nothing is added.\n"
    "\n"
    "Exit status: 0 done, 1 the file not read or the journal not read or written, 2 wrong\n"
    "usage or the file refused.\n";

int UsageError(const QString& message) {
    return ToolUsageError(message, "import");
}

struct ImportArguments {
    QString journal = QStringLiteral("journal.sqlite");
    QStringList positional;  // "import", FILE
    QString cell;
};

std::optional<int> Parse(const QStringList& words, ImportArguments& arguments) {
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& word = words[i];
        if (word == QLatin1String("--help") || word == QLatin1String("-h")) {
            std::fputs(kImportUsage, stdout);
            return kExitOk;
        }
        if (word == QLatin1String("--journal") || word == QLatin1String("--cell")) {
            if (i + 1 >= words.size()) {
                return UsageError(QStringLiteral("%1 needs a value").arg(word));
            }
            (word == QLatin1String("--journal") ? arguments.journal : arguments.cell) = words[++i];
        } else if (word.startsWith(QLatin1String("--journal="))) {
            arguments.journal = word.mid(10);
        } else if (word.startsWith(QLatin1String("--cell="))) {
            arguments.cell = word.mid(7);
        } else if (word.startsWith(QLatin1String("--"))) {
            return UsageError(QStringLiteral("unknown option: %1").arg(word));
        } else {
            arguments.positional.append(word);
        }
    }
    if (arguments.positional.size() != 2) {
        return UsageError(QStringLiteral("import wants one file"));
    }
    if (arguments.journal.isEmpty()) {
        return UsageError(QStringLiteral("--journal needs a file"));
    }
    arguments.cell = arguments.cell.trimmed();
    if (const int refused = RefuseCellName(arguments.cell, "import")) {
        return refused;
    }
    return std::nullopt;
}

void PrintLine(const QString& line) {
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

}  // namespace

bool IsImportCommand(const QStringList& words) {
    return NamesCommand(words, "import");
}

int RunImportCommand(const QStringList& words, int& argc, char** argv) {
    ImportArguments arguments;
    if (const std::optional<int> done = Parse(words, arguments)) {
        return *done;
    }
    // The reader's refusals and the runs' notes are the program's texts: English here, as
    // every message of the tool is.
    QCoreApplication application(argc, argv);
    const std::unique_ptr<QTranslator> translation =
        platform::InstallProgramTranslation(QStringLiteral("en"));

    BdfRead read = ReadBdfFile(arguments.positional[1]);
    if (!read.Ok()) {
        PrintLine(read.error);
        return read.unreadable ? kExitFailed : kExitUsage;
    }
    CJournal journal;
    if (const int failed = OpenToolJournal(journal, arguments.journal)) {
        return failed;
    }
    QString error;
    if (!ImportBdfSteps(journal, read.steps, arguments.cell, error)) {
        PrintToolError(error);
        return kExitFailed;
    }
    for (const QString& note : {read.skippedColumns, read.clampedTemperatures}) {
        if (!note.isEmpty()) {
            PrintLine(note);
        }
    }
    QByteArray lines;
    for (const BdfStep& step : read.steps) {
        const RunRecord& run = step.run;
        lines += QByteArray::number(run.id) + '\t' +
                 (run.charge ? QByteArrayLiteral("charge") : QByteArrayLiteral("discharge")) +
                 '\t' + DurationText(run.durationSeconds).toUtf8() + '\t' +
                 QByteArray::number(run.capacityMah) + '\n';
    }
    std::fwrite(lines.constData(), 1, static_cast<std::size_t>(lines.size()), stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
}

}  // namespace brimvolt
