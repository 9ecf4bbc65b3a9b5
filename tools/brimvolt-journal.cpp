// brimvolt-journal: the run journal from the command line. Lists the runs, exports a run as CSV
// or as the curve file the curve window would have saved, draws runs compared as PNG or SVG,
// and sets labels and notes.

#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QString>
#include <QStringList>
#include <QTranslator>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "curvefile/CurveFileWriter.h"
#include "journal/Journal.h"
#include "journal/JournalExport.h"
#include "journal/JournalFigure.h"
#include "journal/ProgramCycles.h"
#include "cycle/CycleTable.h"
#include "plot/FadeFigure.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "platform/Language.h"
#include "platform/QtTranslation.h"
#include "plot/ComparisonFigure.h"
#include "plot/CurveStore.h"
#include "tools/JournalBdf.h"
#include "tools/JournalIca.h"
#include "tools/JournalGrading.h"
#include "tools/JournalImport.h"
#include "tools/JournalLabels.h"
#include "tools/JournalOutput.h"
#include "tools/JournalPack.h"
#include "tools/JournalReport.h"

namespace {

using namespace brimvolt;

const char* const kUsage =
    "Usage: brimvolt-journal [--journal FILE] COMMAND ARGUMENTS\n"
    "\n"
    "The run journal from the command line (FILE: ./journal.sqlite unless given).\n"
    "\n"
    "Commands:\n"
    "  list                      one line per run, tab-separated: id, start, port, kind,\n"
    "                            state, duration, capacity (mAh), energy (mWh), the cycle\n"
    "                            and step of a test program's run, label\n"
    "  csv RUN [OUT] [--excel]   the run and its samples as CSV, to OUT or to the standard\n"
    "                            output; --excel: \";\" and decimal commas\n"
    "  curve RUN OUT             the run's voltage curve as a curve file (.raz, .zar),\n"
    "                            as the curve window saves it\n"
    "  png RUN... OUT [--x time|capacity|energy] [--size WxH]\n"
    "                            the runs' voltage curves overlaid, with a legend, as a PNG\n"
    "                            image (SVG when OUT ends in .svg); against time unless --x\n"
    "                            says otherwise, 1200x800 pixels unless --size does\n"
    "  ica RUN... OUT [--fwhm MV] [--peaks]\n"
    "                            the runs' dQ/dV against voltage overlaid, as PNG, SVG or\n"
    "                            CSV by OUT's ending; --peaks lists the peaks\n"
    "                            (brimvolt-journal ica --help)\n"
    "  label RUN TEXT            set the run's label\n"
    "  note RUN TEXT             set the run's note\n"
    "  cell RUN NAME             the run belongs to the cell NAME (added to the register\n"
    "                            when new); an empty NAME frees the run\n"
    "  pack S P [--cells CSV]... S groups of P cells with even capacities, as CSV\n"
    "                            (brimvolt-journal pack --help)\n"
    "  labels CELL... OUT.pdf [--size WxH]\n"
    "                            labels of the cells, each with a QR code of its name: an\n"
    "                            A4 sheet, or a page per label of WxH mm\n"
    "                            (brimvolt-journal labels --help)\n"
    "  report OUT.pdf [--grade A|B|C|reject]\n"
    "                            the cells graded on capacity, Rin and self-discharge: the\n"
    "                            counts by grade, histograms and a table of the cells\n"
    "                            (brimvolt-journal report --help)\n"
    "  programs                  one line per test program run, tab-separated: id, name,\n"
    "                            cell, start, state (running, finished, ended, paused),\n"
    "                            cycles done, end reason\n"
    "  program ID [--csv OUT] [--png OUT]\n"
    "                            the program run's cycles as a table, with the main dQ/dV\n"
    "                            peak of each discharge; --csv writes them as CSV, --png\n"
    "                            draws capacity, Rin and the peak per cycle (SVG when OUT\n"
    "                            ends in .svg)\n"
    "  bdf RUN... OUT, bdf --cell NAME OUT, bdf --program ID OUT\n"
    "                            runs of one cell as one Battery Data Format file, with a\n"
    "                            JSON sidecar (brimvolt-journal bdf --help)\n"
    "  import BDF-FILE [--cell NAME]\n"
    "                            the charge and discharge steps of a Battery Data Format\n"
    "                            file as runs (brimvolt-journal import --help)\n"
    "  check CELL VOLTS [--at TIME]\n"
    "                            a voltage measured by hand; the cell's self-discharge\n"
    "                            comes from its checks (brimvolt-journal check --help)\n"
    "  cell-set NAME [--chemistry C] [--nominal MAH] [--maker TEXT] [--retired yes|no]\n"
    "                            what the register knows of a cell (added when new)\n"
    "  bounds [CHEMISTRY [KEY=VALUE]...]\n"
    "                            the bounds cells are graded by, shown or set\n"
    "  cells [--grade A|B|C|reject]\n"
    "                            one line per cell with its measures and its grade\n"
    "  --help                    this text\n"
    "\n"
    "Exit status: 0 done, 1 no such run or a file not read or written, 2 wrong usage.\n";

struct Arguments {
    QString journal = QStringLiteral("journal.sqlite");
    QStringList positional;
    bool excel = false;
    QString xAxis;  // png: --x
    QString size;   // png: --size
    QString csvOut;  // program: --csv
    QString pngOut;  // program: --png
};

constexpr int kMinFigureSide = 200;
constexpr int kMaxFigureSide = 10000;

int g_argc = 0;
char** g_argv = nullptr;

int UsageError(const QString& message) {
    return ToolUsageError(message, nullptr);
}

// One line naming the file and what went wrong with it.
int WriteFailed(const QString& path, const platform::WriteResult& result) {
    switch (result.failure) {
        case platform::WriteFailure::None:
            return kExitOk;
        case platform::WriteFailure::NotRegular:
            PrintToolError(QStringLiteral("%1: not a regular file, a character device or a FIFO; "
                                      "nothing was written")
                           .arg(path));
            break;
        case platform::WriteFailure::CannotCreate:
            PrintToolError(QStringLiteral("%1: cannot create: %2").arg(path, result.reason));
            break;
        case platform::WriteFailure::WriteFailed:
            PrintToolError(result.reason.isEmpty()
                           ? QStringLiteral("%1: writing failed").arg(path)
                           : QStringLiteral("%1: writing failed: %2").arg(path, result.reason));
            break;
    }
    return kExitFailed;
}

/** Writes the bytes to the file `out` whole or not at all, or to the standard output. */
int WriteOutput(const QString& out, const QByteArray& bytes) {
    if (out.isEmpty()) {
        const auto size = static_cast<std::size_t>(bytes.size());
        if (std::fwrite(bytes.constData(), 1, size, stdout) != size || std::fflush(stdout) != 0) {
            PrintToolError(QStringLiteral("cannot write to the standard output"));
            return kExitFailed;
        }
        return kExitOk;
    }
    return WriteFailed(out, platform::WriteWholeFile(out, bytes, platform::Streams::WriteInto));
}

QString ReadErrorText(const CJournal& journal) {
    return QStringLiteral("%1: read error: %2").arg(journal.Path(), journal.LastError());
}

/** Says the journal could not be read; the exit status for it. */
int ReadFailed(const CJournal& journal) {
    PrintToolError(ReadErrorText(journal));
    return kExitFailed;
}

std::optional<std::int64_t> RunNumber(const QString& text) {
    bool ok = false;
    const qlonglong id = text.toLongLong(&ok);
    if (!ok || id <= 0) {
        return std::nullopt;
    }
    return id;
}

/** The run, or nullopt with the message printed. */
std::optional<RunRecord> FindRun(CJournal& journal, std::int64_t id) {
    std::optional<RunRecord> run = journal.Run(id);
    if (!run) {
        PrintToolError(
            journal.LastError().isEmpty()
                ? QStringLiteral("%1: no run %2").arg(journal.Path()).arg(id)
                : ReadErrorText(journal));
    }
    return run;
}

std::optional<std::vector<JournalSample>> ReadSamples(CJournal& journal, std::int64_t id) {
    std::optional<std::vector<JournalSample>> samples = journal.Samples(id);
    if (!samples) {
        PrintToolError(ReadErrorText(journal));
    }
    return samples;
}

int List(CJournal& journal, const Arguments&, std::int64_t) {
    const std::optional<std::vector<RunRecord>> runs = journal.Runs();
    if (!runs) {
        return ReadFailed(journal);
    }
    return WriteOutput(QString(), RunListText(*runs));
}

int Csv(CJournal& journal, const Arguments& arguments, std::int64_t id) {
    const std::optional<RunRecord> run = FindRun(journal, id);
    if (!run) {
        return kExitFailed;
    }
    const auto samples = ReadSamples(journal, id);
    if (!samples) {
        return kExitFailed;
    }
    return WriteOutput(arguments.positional.value(2), RunCsv(*run, *samples, arguments.excel));
}

int Curve(CJournal& journal, const Arguments& arguments, std::int64_t id) {
    const std::optional<RunRecord> run = FindRun(journal, id);
    if (!run) {
        return kExitFailed;
    }
    const auto samples = ReadSamples(journal, id);
    if (!samples) {
        return kExitFailed;
    }
    auto store = std::make_unique<CurveStore>();
    FillCurveStore(*run, *samples, *store);
    // The curve window refuses to save a curve that never started; so does the tool.
    if (store->durationSeconds == 0) {
        PrintToolError(QStringLiteral("run %1 has no curve (duration 0), nothing to write").arg(id));
        return kExitFailed;
    }
    const QString& out = arguments.positional[2];
    return WriteFailed(out, WriteCurveFile(out, *store, platform::Streams::WriteInto));
}

std::optional<FigureAxis> AxisNamed(const QString& name) {
    if (name.isEmpty() || name == QLatin1String("time")) {
        return FigureAxis::Time;
    }
    if (name == QLatin1String("capacity")) {
        return FigureAxis::Capacity;
    }
    if (name == QLatin1String("energy")) {
        return FigureAxis::Energy;
    }
    return std::nullopt;
}

std::optional<QSize> FigureSize(const QString& text) {
    if (text.isEmpty()) {
        return QSize(1200, 800);
    }
    const QStringList parts = text.split(QLatin1Char('x'));
    bool wideOk = false;
    bool highOk = false;
    const int width = parts.value(0).toInt(&wideOk);
    const int height = parts.value(1).toInt(&highOk);
    if (parts.size() != 2 || !wideOk || !highOk || width < kMinFigureSide ||
        width > kMaxFigureSide || height < kMinFigureSide || height > kMaxFigureSide) {
        return std::nullopt;
    }
    return QSize(width, height);
}

/**
 * The font machinery a drawing needs, never a display. Its notes on the environment (no runtime
 * folder, no display) are not the tool's business: the standard error carries one line, about
 * the tool's own failure. The axis titles speak the language the windows would.
 */
struct FigureApplication {
    FigureApplication() {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext&, const QString& message) {
                if (type == QtCriticalMsg || type == QtFatalMsg) {
                    PrintToolError(message);
                }
            });
        application = std::make_unique<QGuiApplication>(g_argc, g_argv);
        translation = platform::InstallProgramTranslation(platform::ChooseLanguage(QString()));
    }

    std::unique_ptr<QGuiApplication> application;
    std::unique_ptr<QTranslator> translation;
};

int Programs(CJournal& journal, const Arguments&, std::int64_t) {
    const std::optional<std::vector<ProgramRecord>> programs = journal.Programs();
    if (!programs) {
        return ReadFailed(journal);
    }
    return WriteOutput(QString(), ProgramListText(*programs));
}

int Program(CJournal& journal, const Arguments& arguments, std::int64_t id) {
    const std::optional<ProgramRecord> program = journal.Program(id);
    if (!program) {
        PrintToolError(
            journal.LastError().isEmpty()
                ? QStringLiteral("%1: no program run %2").arg(journal.Path()).arg(id)
                : ReadErrorText(journal));
        return kExitFailed;
    }
    const std::optional<std::vector<RunRecord>> runs = journal.Runs();
    if (!runs) {
        return ReadFailed(journal);
    }
    const std::vector<CycleResult> cycles = CyclesOfProgram(
        *runs, id, [&journal](std::int64_t runId) { return journal.Samples(runId); });
    if (!arguments.csvOut.isEmpty()) {
        if (const int failed = WriteOutput(arguments.csvOut, CyclesCsv(cycles))) {
            return failed;
        }
    }
    if (!arguments.pngOut.isEmpty()) {
        const FigureApplication application;
        CFadeFigure figure;
        figure.SetCycles(cycles);
        figure.SetTitle(program->cell.isEmpty()
                            ? program->name
                            : QStringLiteral("%1 — %2").arg(program->name, program->cell));
        if (const int failed = WriteFailed(arguments.pngOut,
                                           figure.Save(arguments.pngOut, QSize(1200, 800)))) {
            return failed;
        }
    }
    return WriteOutput(QString(), CyclesText(cycles).toUtf8());
}

int Png(CJournal& journal, const Arguments& arguments, std::int64_t) {
    const std::optional<FigureAxis> axis = AxisNamed(arguments.xAxis);
    if (!axis) {
        return UsageError(
            QStringLiteral("--x wants time, capacity or energy, not %1").arg(arguments.xAxis));
    }
    const std::optional<QSize> size = FigureSize(arguments.size);
    if (!size) {
        return UsageError(QStringLiteral("--size wants WIDTHxHEIGHT, each from %1 to %2")
                              .arg(kMinFigureSide)
                              .arg(kMaxFigureSide));
    }
    const QStringList runWords = arguments.positional.mid(1, arguments.positional.size() - 2);
    std::vector<FigureCurve> curves;
    for (const QString& word : runWords) {
        const std::optional<std::int64_t> id = RunNumber(word);
        if (!id) {
            return UsageError(QStringLiteral("not a run number: %1").arg(word));
        }
        const std::optional<RunRecord> run = FindRun(journal, *id);
        if (!run) {
            return kExitFailed;
        }
        const auto samples = ReadSamples(journal, *id);
        if (!samples) {
            return kExitFailed;
        }
        curves.push_back(FigureCurveOfRun(*run, *samples));
    }
    const FigureApplication application;
    CComparisonFigure figure;
    figure.SetCurves(std::move(curves));
    figure.SetAxis(*axis);
    const QString& out = arguments.positional.back();
    return WriteFailed(out, figure.Save(out, *size, platform::Streams::WriteInto));
}

int SetText(CJournal& journal, const Arguments& arguments, std::int64_t id) {
    const QString& text = arguments.positional[2];
    const bool label = arguments.positional[0] == QLatin1String("label");
    if (label ? journal.SetLabel(id, text) : journal.SetNote(id, text)) {
        return kExitOk;
    }
    PrintToolError(
        journal.LastError().isEmpty()
            ? QStringLiteral("%1: no run %2").arg(journal.Path()).arg(id)
            : QStringLiteral("%1: cannot write: %2").arg(journal.Path(), journal.LastError()));
    return kExitFailed;
}

int SetCell(CJournal& journal, const Arguments& arguments, std::int64_t id) {
    const QString name = arguments.positional[2].trimmed();
    if (const int refused = RefuseCellName(name, nullptr)) {
        return refused;
    }
    if (!journal.Upgrade()) {
        PrintToolError(QStringLiteral("%1: cannot add the cell register: %2")
                       .arg(journal.Path(), journal.LastError()));
        return kExitFailed;
    }
    if (journal.SetRunCell(id, name)) {
        return kExitOk;
    }
    PrintToolError(
        journal.LastError().isEmpty()
            ? QStringLiteral("%1: no run %2").arg(journal.Path()).arg(id)
            : QStringLiteral("%1: cannot write: %2").arg(journal.Path(), journal.LastError()));
    return kExitFailed;
}

struct Command {
    const char* name;
    int minPositional;  // the command's own word included
    int maxPositional;
    bool takesExcel;
    int (*run)(CJournal&, const Arguments&, std::int64_t);
};

constexpr Command kCommands[] = {
    {"list", 1, 1, false, List},     {"csv", 2, 3, true, Csv},       {"curve", 3, 3, false, Curve},
    {"label", 3, 3, false, SetText}, {"note", 3, 3, false, SetText}, {"png", 3, 1000, false, Png},
    {"cell", 3, 3, false, SetCell},  {"programs", 1, 1, false, Programs},
    {"program", 2, 2, false, Program},
};

int Run(const QStringList& words) {
    if (IsPackCommand(words)) {
        return RunPackCommand(words);
    }
    if (IsBdfCommand(words)) {
        return RunBdfCommand(words);
    }
    if (IsLabelsCommand(words)) {
        return RunLabelsCommand(words, g_argc, g_argv);
    }
    if (IsReportCommand(words)) {
        return RunReportCommand(words, g_argc, g_argv);
    }
    if (IsIcaCommand(words)) {
        return RunIcaCommand(words, g_argc, g_argv);
    }
    if (IsImportCommand(words)) {
        return RunImportCommand(words, g_argc, g_argv);
    }
    if (IsGradingCommand(words)) {
        return RunGradingCommand(words, g_argc, g_argv);
    }
    Arguments arguments;
    bool textsOnly = false;  // after "--" every word is an argument, options included
    bool figureOptions = false;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& word = words[i];
        if (textsOnly) {
            arguments.positional.append(word);
        } else if (word == QLatin1String("--help") || word == QLatin1String("-h")) {
            std::fputs(kUsage, stdout);
            return kExitOk;
        } else if (word == QLatin1String("--")) {
            textsOnly = true;
        } else if (word == QLatin1String("--journal")) {
            if (i + 1 >= words.size()) {
                return UsageError(QStringLiteral("--journal needs a file"));
            }
            arguments.journal = words[++i];
        } else if (word.startsWith(QLatin1String("--journal="))) {
            arguments.journal = word.mid(10);
        } else if (word == QLatin1String("--excel")) {
            arguments.excel = true;
        } else if (word == QLatin1String("--csv") || word == QLatin1String("--png")) {
            if (i + 1 >= words.size() || words[i + 1].isEmpty()) {
                return UsageError(QStringLiteral("%1 needs a file").arg(word));
            }
            (word == QLatin1String("--csv") ? arguments.csvOut : arguments.pngOut) = words[++i];
        } else if (word == QLatin1String("--x") || word == QLatin1String("--size")) {
            if (i + 1 >= words.size()) {
                return UsageError(QStringLiteral("%1 needs a value").arg(word));
            }
            (word == QLatin1String("--x") ? arguments.xAxis : arguments.size) = words[++i];
            figureOptions = true;
        } else if (word.startsWith(QLatin1String("--"))) {
            return UsageError(QStringLiteral("unknown option: %1").arg(word));
        } else {
            arguments.positional.append(word);
        }
    }
    if (arguments.positional.isEmpty()) {
        return UsageError(QStringLiteral("no command given"));
    }
    const Command* command = nullptr;
    for (const Command& candidate : kCommands) {
        if (arguments.positional[0] == QLatin1String(candidate.name)) {
            command = &candidate;
        }
    }
    if (!command) {
        return UsageError(QStringLiteral("unknown command: %1").arg(arguments.positional[0]));
    }
    if (arguments.excel && !command->takesExcel) {
        return UsageError(QStringLiteral("--excel is an option of csv only"));
    }
    if (figureOptions && command->run != Png) {
        return UsageError(QStringLiteral("--x and --size are options of png only"));
    }
    if ((!arguments.csvOut.isEmpty() || !arguments.pngOut.isEmpty()) && command->run != Program) {
        return UsageError(QStringLiteral("--csv and --png are options of program only"));
    }
    if (arguments.positional.size() < command->minPositional ||
        arguments.positional.size() > command->maxPositional) {
        return UsageError(
            QStringLiteral("wrong number of arguments for %1").arg(arguments.positional[0]));
    }
    std::int64_t id = 0;
    if (command->maxPositional > 1 && command->run != Png) {
        const std::optional<std::int64_t> number = RunNumber(arguments.positional[1]);
        if (!number) {
            const QString what = command->run == Program ? QStringLiteral("not a program number")
                                                         : QStringLiteral("not a run number");
            return UsageError(QStringLiteral("%1: %2").arg(what, arguments.positional[1]));
        }
        id = *number;
    }
    if (arguments.journal.isEmpty()) {
        return UsageError(QStringLiteral("--journal needs a file"));
    }
    // csv, curve and png write their last word; none may write over what it reads.
    const bool writesFile = command->run == Png || command->run == Curve ||
                            (command->run == Csv && arguments.positional.size() == 3);
    QStringList outputs = {arguments.csvOut, arguments.pngOut};
    if (writesFile) {
        outputs.append(arguments.positional.back());
    }
    for (const QString& out : outputs) {
        if (!out.isEmpty()) {
            if (const int refused = RefuseJournalAsOutput(out, arguments.journal)) {
                return refused;
            }
        }
    }
    CJournal journal;
    if (const int failed = OpenToolJournal(journal, arguments.journal)) {
        return failed;
    }
    return command->run(journal, arguments, id);
}

}  // namespace

int main(int argc, char** argv) {
    g_argc = argc;
    g_argv = argv;
    return Run(platform::CommandLineWords(argc, argv));
}
