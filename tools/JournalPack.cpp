// brimvolt-journal pack: S groups of P cells from a CSV of measured cells or from the journal's
// cell register, as a plan in CSV.

#include "tools/JournalPack.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "grading/CellGrading.h"
#include "journal/CellSummary.h"
#include "journal/Journal.h"
#include "pack/CellCsv.h"
#include "pack/Packing.h"
#include "platform/Files.h"
#include "tools/JournalOutput.h"

namespace brimvolt {

namespace {

constexpr int kMaxSide = 10000;

const char* const kPackUsage =
    "Usage: brimvolt-journal [--journal FILE] pack S P [--cells CSV] [--max-rin-spread MOHM]\n"
    "                        [--min-capacity MAH] [--require-rin] [--min-grade A|B|C]\n"
    "                        [--out PLAN.csv]\n"
    "\n"
    "Groups cells into S groups in series of P cells in parallel, the groups' summed\n"
    "capacities as even as can be, every group's Rin range within MOHM when given. With more\n"
    "cells than S*P the best are used and the rest are spares.\n"
    "\n"
    "  --cells CSV            the cells: a header line, then name,capacity_mAh,rin_mOhm\n"
    "                         (\",\" or \";\" between fields, an empty Rin for none;\n"
    "                         \"-\" reads them from the standard input);\n"
    "                         else the journal's cells that are not retired nor in a\n"
    "                         pack, with their last discharge capacity and last Rin\n"
    "  --max-rin-spread MOHM  the widest Rin range allowed in a group\n"
    "  --min-capacity MAH     cells below this capacity are left out\n"
    "  --require-rin          with --max-rin-spread: cells without a Rin are left out\n"
    "                         (else they may go into any group)\n"
    "  --min-grade G          the journal's cells of grade G or better only (see\n"
    "                         brimvolt-journal cells --help); not with --cells\n"
    "  --out PLAN.csv         the plan to this file, a summary to the standard output;\n"
    "                         else the plan to the standard output\n"
    "\n"
    "The plan: group,cell,capacity_mAh,rin_mOhm, a line per cell of the pack (groups from\n"
    "1), then the spares with an empty group.\n"
    "\n"
    "Exit status: 0 done, 1 no pack possible or a file not read or written, 2 wrong usage\n"
    "(S and P too large among it) or a line of the CSV refused.\n";

int UsageError(const QString& message) {
    return ToolUsageError(message, "pack");
}

std::optional<double> Amount(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0.0) {
        return std::nullopt;
    }
    return value;
}

struct PackArguments {
    QStringList positional;  // "pack", S, P
    QString journal = QStringLiteral("journal.sqlite");
    QString cells;
    QString out;
    std::optional<Grade> minGrade;
    PackRequest request;
};

/** The arguments, or an exit status with the message printed. */
std::optional<int> Parse(const QStringList& words, PackArguments& arguments) {
    const auto valueOf = [&](qsizetype& i, QString& value) {
        if (i + 1 >= words.size()) {
            return false;
        }
        value = words[++i];
        return true;
    };
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& word = words[i];
        QString value;
        if (word == QLatin1String("--help") || word == QLatin1String("-h")) {
            std::fputs(kPackUsage, stdout);
            return kExitOk;
        }
        if (word == QLatin1String("--journal")) {
            if (!valueOf(i, arguments.journal) || arguments.journal.isEmpty()) {
                return UsageError(QStringLiteral("--journal needs a file"));
            }
        } else if (word.startsWith(QLatin1String("--journal="))) {
            arguments.journal = word.mid(10);
        } else if (word == QLatin1String("--require-rin")) {
            arguments.request.allowMissingRin = false;
        } else if (word == QLatin1String("--min-grade")) {
            if (!valueOf(i, value)) {
                return UsageError(QStringLiteral("--min-grade needs a grade"));
            }
            arguments.minGrade = GradeOfWord(value);
            if (!arguments.minGrade || *arguments.minGrade == Grade::Reject) {
                return UsageError(QStringLiteral("--min-grade is A, B or C, not %1").arg(value));
            }
        } else if (word == QLatin1String("--cells") || word == QLatin1String("--out") ||
                   word == QLatin1String("--max-rin-spread") ||
                   word == QLatin1String("--min-capacity")) {
            if (!valueOf(i, value)) {
                return UsageError(QStringLiteral("%1 needs a value").arg(word));
            }
            if (word == QLatin1String("--cells")) {
                arguments.cells = value;
            } else if (word == QLatin1String("--out")) {
                arguments.out = value;
            } else {
                const std::optional<double> amount = Amount(value);
                if (!amount) {
                    return UsageError(
                        QStringLiteral("%1 wants a number from 0 up, not %2").arg(word, value));
                }
                (word == QLatin1String("--min-capacity") ? arguments.request.minCapacityMah
                                                         : arguments.request.maxRinSpreadMohm) =
                    *amount;
            }
        } else if (word.startsWith(QLatin1String("--"))) {
            return UsageError(QStringLiteral("unknown option: %1").arg(word));
        } else {
            arguments.positional.append(word);
        }
    }
    if (arguments.positional.size() != 3) {
        return UsageError(QStringLiteral("pack wants S and P"));
    }
    if (arguments.minGrade && !arguments.cells.isEmpty()) {
        return UsageError(QStringLiteral("--min-grade grades the journal's cells; a CSV of cells "
                                         "has no grades"));
    }
    int* const sides[] = {&arguments.request.series, &arguments.request.parallel};
    for (int k = 0; k < 2; ++k) {
        bool ok = false;
        const int side = arguments.positional[k + 1].toInt(&ok);
        if (!ok || side < 1 || side > kMaxSide) {
            return UsageError(QStringLiteral("S and P are whole numbers from 1 to %1, not %2")
                                  .arg(kMaxSide)
                                  .arg(arguments.positional[k + 1]));
        }
        *sides[k] = side;
    }
    if (std::int64_t{arguments.request.series} * arguments.request.parallel > kMaxPackCells) {
        return UsageError(QStringLiteral("a pack has at most %1 cells, not %2S%3P")
                              .arg(kMaxPackCells)
                              .arg(arguments.request.series)
                              .arg(arguments.request.parallel));
    }
    if (!arguments.out.isEmpty() &&
        QFileInfo(arguments.out).canonicalFilePath() ==
            QFileInfo(arguments.cells).canonicalFilePath() &&
        QFileInfo::exists(arguments.out)) {
        return UsageError(QStringLiteral("%1: the plan would overwrite the cells it is made from")
                              .arg(arguments.out));
    }
    if (!arguments.out.isEmpty()) {
        if (const int refused = RefuseJournalAsOutput(arguments.out, arguments.journal)) {
            return refused;
        }
    }
    return std::nullopt;
}

/**
 * The register's cells that can go into a pack: not retired, in no saved pack, with a
 * discharge in the journal (its last capacity and the last Rin measured), of `minGrade` or
 * better when given. Or an exit status.
 */
std::optional<int> RegisterCells(const QString& path, std::optional<Grade> minGrade,
                                 std::vector<PackCell>& cells) {
    CJournal journal;
    if (const int failed = OpenToolJournal(journal, path)) {
        return failed;
    }
    if (!journal.HasCellRegister()) {
        PrintToolError(QStringLiteral("%1: no cells in the journal yet").arg(path));
        return kExitFailed;
    }
    const std::optional<GradingInput> input = ReadGradingInput(journal);
    if (!input) {
        PrintToolError(QStringLiteral("%1: read error: %2").arg(path, journal.LastError()));
        return kExitFailed;
    }
    int belowGrade = 0;
    for (const GradedCell& graded :
         GradeCells(input->cells, input->runs, input->links, input->checks, input->bounds)) {
        const CellSummary& summary = graded.summary;
        if (summary.cell.retired || summary.cell.packId != 0 || !summary.lastCapacityMah) {
            continue;
        }
        if (minGrade && !GradeAtLeast(graded.grade.grade, *minGrade)) {
            ++belowGrade;
            continue;
        }
        PackCell cell{summary.cell.name, static_cast<double>(*summary.lastCapacityMah),
                      std::nullopt};
        if (summary.lastRinMohm) {
            cell.rinMohm = *summary.lastRinMohm;
        }
        cells.push_back(cell);
    }
    if (belowGrade > 0) {
        std::fprintf(stderr, "%d cell(s) below grade %s or without one left out\n", belowGrade,
                     GradeWord(*minGrade).toUtf8().constData());
    }
    return std::nullopt;
}

/**
 * The bytes of the cells' CSV ("-": the standard input), at most kMaxCellCsvBytes, or an exit
 * status with the message printed.
 */
std::optional<int> ReadCellCsvBytes(const QString& path, const QString& name, QByteArray& bytes) {
    QFile file;
    if (path == QLatin1String("-")) {
        if (!file.open(stdin, QIODevice::ReadOnly)) {
            PrintToolError(
                QStringLiteral("cannot read the standard input: %1").arg(file.errorString()));
            return kExitFailed;
        }
    } else {
        if (!platform::IsRegularFile(path)) {
            PrintToolError(QFileInfo::exists(path) ? QStringLiteral("%1: not a regular file").arg(path)
                                               : QStringLiteral("%1: no such file").arg(path));
            return kExitFailed;
        }
        file.setFileName(path);
        if (!file.open(QIODevice::ReadOnly)) {
            PrintToolError(QStringLiteral("%1: cannot read: %2").arg(path, file.errorString()));
            return kExitFailed;
        }
    }
    // The size a file says it has is checked before reading; a pipe says none.
    bytes = file.size() > kMaxCellCsvBytes ? QByteArray() : file.read(kMaxCellCsvBytes + 1);
    if (file.size() > kMaxCellCsvBytes || bytes.size() > kMaxCellCsvBytes) {
        PrintToolError(QStringLiteral("%1: larger than %2 MB, not a list of cells")
                       .arg(name)
                       .arg(kMaxCellCsvBytes >> 20));
        return kExitFailed;
    }
    return std::nullopt;
}

/** The cells of the CSV ("-": the standard input), or an exit status with the message printed. */
std::optional<int> ReadCells(const QString& path, std::vector<PackCell>& cells) {
    const QString name = path == QLatin1String("-") ? QStringLiteral("the standard input") : path;
    QByteArray bytes;
    if (const std::optional<int> failed = ReadCellCsvBytes(path, name, bytes)) {
        return failed;
    }
    CellCsvResult result = ParseCellCsv(bytes);
    if (!result.Ok()) {
        PrintToolError(QStringLiteral("%1:%2: %3").arg(name).arg(result.errorLine).arg(result.error));
        return kExitUsage;
    }
    cells = std::move(result.cells);
    return std::nullopt;
}

QString Summary(const PackPlan& plan, const std::vector<PackCell>& cells,
                const PackRequest& request) {
    const PackFigures figures = FiguresOf(plan, cells);
    QString text;
    for (std::size_t g = 0; g < plan.groups.size(); ++g) {
        const double sum = GroupCapacity(plan.groups[g], cells);
        const auto rin = GroupRin(plan.groups[g], cells);
        QString deviation = FixedNumber(sum - figures.meanMah, 1);
        if (!deviation.startsWith(u'-')) {
            deviation.prepend(u'+');
        }
        text += QStringLiteral("group %1: %2 mAh, %3 from the mean")
                    .arg(g + 1)
                    .arg(RoundedNumber(sum, 1), deviation);
        text += rin ? QStringLiteral(", Rin %1 to %2 mOhm\n")
                          .arg(CsvNumber(rin->first), CsvNumber(rin->second))
                    : QStringLiteral("\n");
    }
    text += QStringLiteral("pack %1S%2P: %3 mAh, spread %4 mAh (%5 %), %6 spare(s), %7 left out\n")
                .arg(request.series)
                .arg(request.parallel)
                .arg(RoundedNumber(figures.packMah, 1), RoundedNumber(figures.spreadMah, 1),
                     FixedNumber(figures.spreadShare * 100.0, 2))
                .arg(plan.spares.size())
                .arg(plan.leftOut.size());
    return text;
}

}  // namespace

bool IsPackCommand(const QStringList& words) {
    return NamesCommand(words, "pack");
}

int RunPackCommand(const QStringList& words) {
    PackArguments arguments;
    if (const std::optional<int> done = Parse(words, arguments)) {
        return *done;
    }
    std::vector<PackCell> cells;
    if (const std::optional<int> failed = arguments.cells.isEmpty()
                                              ? RegisterCells(arguments.journal, arguments.minGrade, cells)
                                              : ReadCells(arguments.cells, cells)) {
        return *failed;
    }
    const PackPlan plan = PlanPack(cells, arguments.request);
    if (!plan.Ok()) {
        PrintToolError(PackFailureText(plan, arguments.request));
        return plan.failure == PackFailure::BadShape ? kExitUsage : kExitFailed;
    }
    const QByteArray csv = PlanCsv(plan, cells);
    if (arguments.out.isEmpty()) {
        const auto size = static_cast<std::size_t>(csv.size());
        if (std::fwrite(csv.constData(), 1, size, stdout) != size || std::fflush(stdout) != 0) {
            PrintToolError(QStringLiteral("cannot write to the standard output"));
            return kExitFailed;
        }
        return kExitOk;
    }
    const platform::WriteResult written =
        platform::WriteWholeFile(arguments.out, csv, platform::Streams::WriteInto);
    if (!written) {
        PrintToolError(
            written.reason.isEmpty()
                ? QStringLiteral("%1: cannot be written").arg(arguments.out)
                : QStringLiteral("%1: cannot be written: %2").arg(arguments.out, written.reason));
        return kExitFailed;
    }
    std::fputs(Summary(plan, cells, arguments.request).toUtf8().constData(), stdout);
    return kExitOk;
}

}  // namespace brimvolt
