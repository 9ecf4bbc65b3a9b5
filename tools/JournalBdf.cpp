// brimvolt-journal bdf: runs of one cell, or a test program's runs, as one Battery Data Format
// file with its sidecar JSON beside it.

#include "tools/JournalBdf.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "bdf/BdfExport.h"
#include "journal/Journal.h"
#include "tools/JournalOutput.h"

namespace brimvolt {

namespace {

const char* const kBdfUsage =
    "Usage: brimvolt-journal [--journal FILE] bdf RUN... OUT\n"
    "       brimvolt-journal [--journal FILE] bdf --cell NAME OUT\n"
    "       brimvolt-journal [--journal FILE] bdf --program ID OUT\n"
    "\n"
    "Writes runs of one cell as one Battery Data Format file (CSV, its time running on from\n"
    "run to run), oldest first: the runs given, every run of the cell NAME, or the runs and\n"
    "rests of the test program run ID with their cycles. Beside OUT goes a JSON file of the\n"
    "cell, the runs, the module's parameters and the program (OUT with its .bdf, .bdf.csv or\n"
    ".csv ending replaced by .json).\n"
    "\n"
    "Exit status: 0 done, 1 the journal not read or a file not written, 2 wrong usage, no\n"
    "such run, cell or program, or runs of different cells.\n";

int UsageError(const QString& message) {
    return ToolUsageError(message, "bdf");
}

struct BdfArguments {
    QString journal = QStringLiteral("journal.sqlite");
    QStringList positional;  // "bdf", the runs, OUT
    std::optional<QString> cell;
    std::optional<std::int64_t> program;
};

std::optional<std::int64_t> Number(const QString& text) {
    bool ok = false;
    const qlonglong id = text.toLongLong(&ok);
    return ok && id > 0 ? std::optional<std::int64_t>(id) : std::nullopt;
}

/** The arguments, or an exit status with the message printed. */
std::optional<int> Parse(const QStringList& words, BdfArguments& arguments) {
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& word = words[i];
        if (word == QLatin1String("--help") || word == QLatin1String("-h")) {
            std::fputs(kBdfUsage, stdout);
            return kExitOk;
        }
        const bool valued = word == QLatin1String("--journal") || word == QLatin1String("--cell") ||
                            word == QLatin1String("--program");
        if (valued && i + 1 >= words.size()) {
            return UsageError(QStringLiteral("%1 needs a value").arg(word));
        }
        if (word == QLatin1String("--journal")) {
            arguments.journal = words[++i];
        } else if (word.startsWith(QLatin1String("--journal="))) {
            arguments.journal = word.mid(10);
        } else if (word == QLatin1String("--cell")) {
            arguments.cell = words[++i];
        } else if (word == QLatin1String("--program")) {
            arguments.program = Number(words[++i]);
            if (!arguments.program) {
                return UsageError(QStringLiteral("not a program number: %1").arg(words[i]));
            }
        } else if (word.startsWith(QLatin1String("--"))) {
            return UsageError(QStringLiteral("unknown option: %1").arg(word));
        } else {
            arguments.positional.append(word);
        }
    }
    if (arguments.journal.isEmpty()) {
        return UsageError(QStringLiteral("--journal needs a file"));
    }
    if (arguments.cell && arguments.program) {
        return UsageError(QStringLiteral("--cell and --program do not go together"));
    }
    const bool chosen = arguments.cell || arguments.program;
    if (arguments.positional.size() < 2 || (chosen && arguments.positional.size() != 2) ||
        (!chosen && arguments.positional.size() < 3)) {
        return UsageError(chosen ? QStringLiteral("bdf wants OUT after the cell or program")
                                 : QStringLiteral("bdf wants the runs and OUT"));
    }
    const QString& out = arguments.positional.back();
    for (const QString& written : {out, BdfSidecarPath(out)}) {
        if (const int refused = RefuseJournalAsOutput(written, arguments.journal)) {
            return refused;
        }
    }
    return std::nullopt;
}

QString RunsOfCellsText(const BdfGathered& gathered) {
    QStringList parts;
    for (std::size_t k = 0; k < gathered.runIds.size(); ++k) {
        const QString cell = gathered.cells.value(static_cast<qsizetype>(k));
        parts.append(QStringLiteral("run %1 %2")
                         .arg(gathered.runIds[k])
                         .arg(cell.isEmpty() ? QStringLiteral("of no cell")
                                             : QStringLiteral("of cell %1").arg(cell)));
    }
    return parts.join(QStringLiteral(", "));
}

/** The exit status of a failed gathering, its message printed. */
int GatherFailed(const CJournal& journal, const BdfGathered& gathered) {
    const QString& path = journal.Path();
    switch (gathered.failure) {
        case BdfGatherFailure::None:
            return kExitOk;
        case BdfGatherFailure::ReadFailed:
            PrintToolError(QStringLiteral("%1: read error: %2").arg(path, journal.LastError()));
            return kExitFailed;
        case BdfGatherFailure::NoSuchRun:
            PrintToolError(QStringLiteral("%1: no run %2").arg(path).arg(gathered.runId));
            break;
        case BdfGatherFailure::NoSuchCell:
            PrintToolError(QStringLiteral("%1: no cell %2").arg(path, gathered.cells.value(0)));
            break;
        case BdfGatherFailure::NoRunsOfCell:
            PrintToolError(QStringLiteral("%1: no runs of cell %2").arg(path, gathered.cells.value(0)));
            break;
        case BdfGatherFailure::NoSuchProgram:
            PrintToolError(QStringLiteral("%1: no program run %2").arg(path).arg(gathered.programId));
            break;
        case BdfGatherFailure::NoRunsOfProgram:
            PrintToolError(
                QStringLiteral("%1: program run %2 has no runs").arg(path).arg(gathered.programId));
            break;
        case BdfGatherFailure::MixedCells:
            PrintToolError(QStringLiteral("runs of different cells go in different files: %1")
                           .arg(RunsOfCellsText(gathered)));
            break;
    }
    return kExitUsage;
}

}  // namespace

bool IsBdfCommand(const QStringList& words) {
    return NamesCommand(words, "bdf");
}

int RunBdfCommand(const QStringList& words) {
    BdfArguments arguments;
    if (const std::optional<int> done = Parse(words, arguments)) {
        return *done;
    }
    std::vector<std::int64_t> runIds;
    for (qsizetype k = 1; k + 1 < arguments.positional.size(); ++k) {
        const std::optional<std::int64_t> id = Number(arguments.positional[k]);
        if (!id) {
            return UsageError(QStringLiteral("not a run number: %1").arg(arguments.positional[k]));
        }
        runIds.push_back(*id);
    }

    CJournal journal;
    if (const int failed = OpenToolJournal(journal, arguments.journal)) {
        return failed;
    }
    const BdfGathered gathered = arguments.cell      ? GatherBdfCell(journal, *arguments.cell)
                                 : arguments.program ? GatherBdfProgram(journal, *arguments.program)
                                                     : GatherBdfRuns(journal, runIds);
    if (gathered.failure != BdfGatherFailure::None) {
        return GatherFailed(journal, gathered);
    }
    const QString& out = arguments.positional.back();
    const BdfWriteResult written = WriteBdfFiles(journal, gathered.test, out);
    if (!written.ok) {
        PrintToolError(QStringLiteral("%1: writing failed: %2").arg(out, written.reason));
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace brimvolt
