// brimvolt-journal ica: the runs' incremental capacity (dQ/dV against voltage) overlaid as a
// figure, or as CSV, and their peaks.

#include "tools/JournalIca.h"

#include <QGuiApplication>
#include <QTranslator>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "ica/IcaOutput.h"
#include "ica/IncrementalCapacity.h"
#include "journal/Journal.h"
#include "journal/JournalFigure.h"
#include "platform/Files.h"
#include "platform/Language.h"
#include "platform/QtTranslation.h"
#include "plot/ComparisonFigure.h"
#include "tools/JournalOutput.h"

namespace brimvolt {

namespace {

constexpr double kMaxFwhmMv = 100.0;

const char* const kIcaUsage =
    "Usage: brimvolt-journal [--journal FILE] ica RUN... OUT [--fwhm MV] [--peaks]\n"
    "\n"
    "The runs' incremental capacity, dQ/dV against voltage, from the charge integrated\n"
    "over their sampled current: overlaid with a legend as a PNG image of 1200x800 pixels\n"
    "(SVG when OUT ends in .svg), or as CSV lines run,voltage_V,dQdV_mAh_per_V when OUT\n"
    "ends in .csv. Smoothed by a Gaussian of MV millivolts at half maximum (10 unless\n"
    "--fwhm says otherwise, 0 to 100; 0: none). --peaks: one tab-separated line per peak\n"
    "on the standard output: run, voltage (V), height (mAh/V), area (mAh).\n"
    "\n"
    "Exit status: 0 done, 1 no such run or a file not read or written, 2 wrong usage or a\n"
    "run without a curve (a rest, too few samples, no current).\n";

int UsageError(const QString& message) {
    return ToolUsageError(message, "ica");
}

struct IcaArguments {
    QString journal = QStringLiteral("journal.sqlite");
    QStringList positional;  // "ica", the runs, OUT
    double fwhmMv = 10.0;
    bool peaks = false;
};

std::optional<int> Parse(const QStringList& words, IcaArguments& arguments) {
    bool positionalOnly = false;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& word = words[i];
        if (positionalOnly) {
            arguments.positional.append(word);
        } else if (word == QLatin1String("--")) {
            positionalOnly = true;
        } else if (word == QLatin1String("--help") || word == QLatin1String("-h")) {
            std::fputs(kIcaUsage, stdout);
            return kExitOk;
        } else if (word == QLatin1String("--peaks")) {
            arguments.peaks = true;
        } else if (word == QLatin1String("--journal") || word == QLatin1String("--fwhm")) {
            if (i + 1 >= words.size() || words[i + 1].isEmpty()) {
                return UsageError(QStringLiteral("%1 needs a value").arg(word));
            }
            const QString& value = words[++i];
            if (word == QLatin1String("--journal")) {
                arguments.journal = value;
                continue;
            }
            bool ok = false;
            arguments.fwhmMv = value.toDouble(&ok);
            if (!ok || !(arguments.fwhmMv >= 0.0 && arguments.fwhmMv <= kMaxFwhmMv)) {
                return UsageError(
                    QStringLiteral("--fwhm wants millivolts from 0 to 100, not %1").arg(value));
            }
        } else if (word.startsWith(QLatin1String("--journal="))) {
            arguments.journal = word.mid(10);
        } else if (word.startsWith(QLatin1String("--"))) {
            return UsageError(QStringLiteral("unknown option: %1").arg(word));
        } else {
            arguments.positional.append(word);
        }
    }
    if (arguments.positional.size() < 3) {
        return UsageError(QStringLiteral("ica wants one run or more and the file to write"));
    }
    if (arguments.journal.isEmpty()) {
        return UsageError(QStringLiteral("--journal needs a file"));
    }
    if (const int refused = RefuseJournalAsOutput(arguments.positional.back(), arguments.journal)) {
        return refused;
    }
    return std::nullopt;
}

struct RunCurve {
    std::int64_t id = 0;
    FigureCurve figure;
    IcaCurve ica;
};

/** The run's curve, or the exit status with its message printed. */
std::optional<RunCurve> CurveOfRun(CJournal& journal, const QString& word,
                                   const IcaOptions& options, int& failed) {
    bool ok = false;
    const qlonglong id = word.toLongLong(&ok);
    if (!ok || id <= 0) {
        failed = UsageError(QStringLiteral("not a run number: %1").arg(word));
        return std::nullopt;
    }
    const std::optional<RunRecord> run = journal.Run(id);
    const std::optional<std::vector<JournalSample>> samples =
        run ? journal.Samples(id) : std::nullopt;
    if (!run || !samples) {
        PrintToolError(
            journal.LastError().isEmpty()
                ? QStringLiteral("%1: no run %2").arg(journal.Path()).arg(id)
                : QStringLiteral("%1: read error: %2").arg(journal.Path(), journal.LastError()));
        failed = kExitFailed;
        return std::nullopt;
    }
    QString refused;
    RunCurve curve{id, {}, {}};
    if (run->rest) {
        refused = QStringLiteral("run %1 is a rest: no current flowed, it has no dQ/dV").arg(id);
    } else if (samples->size() < kMinIcaSamples) {
        refused = QStringLiteral("run %1 has %2 samples, too few for a dQ/dV (%3 at least)")
                      .arg(id)
                      .arg(samples->size())
                      .arg(kMinIcaSamples);
    } else {
        curve.ica = IncrementalCapacity(IcaSamplesOf(*samples), options);
        if (!(curve.ica.totalMah > 0.0) || curve.ica.dqdvMahPerVolt.empty()) {
            refused = QStringLiteral(
                          "run %1 moved no charge at a changing voltage: it has no "
                          "dQ/dV")
                          .arg(id);
        }
    }
    if (!refused.isEmpty()) {
        PrintToolError(refused);
        failed = kExitUsage;
        return std::nullopt;
    }
    // The legend's label and totals; the voltage curve itself is not drawn.
    curve.figure = FigureCurveOfRun(*run, {});
    curve.figure.dqdv = IcaPoints(curve.ica);
    curve.figure.dqdvPeaks = IcaPeakPoints(curve.ica);
    return curve;
}

}  // namespace

bool IsIcaCommand(const QStringList& words) {
    return NamesCommand(words, "ica");
}

int RunIcaCommand(const QStringList& words, int& argc, char** argv) {
    IcaArguments arguments;
    if (const std::optional<int> done = Parse(words, arguments)) {
        return *done;
    }
    CJournal journal;
    if (const int failed = OpenToolJournal(journal, arguments.journal)) {
        return failed;
    }
    IcaOptions options;
    options.fwhmVolts = arguments.fwhmMv / 1000.0;
    std::vector<RunCurve> curves;
    for (const QString& word : arguments.positional.mid(1, arguments.positional.size() - 2)) {
        int failed = kExitOk;
        std::optional<RunCurve> curve = CurveOfRun(journal, word, options, failed);
        if (!curve) {
            return failed;
        }
        curves.push_back(std::move(*curve));
    }
    std::vector<RunIcaCurve> runs;
    for (const RunCurve& curve : curves) {
        runs.push_back({curve.id, &curve.ica});
    }

    const QString& out = arguments.positional.back();
    platform::WriteResult written;
    if (out.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
        written = platform::WriteWholeFile(out, IcaCsv(runs), platform::Streams::WriteInto);
    } else {
        // Text needs a GUI application's fonts, never a display; Qt's notes on the environment
        // are not the tool's business.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext&, const QString& message) {
                if (type == QtCriticalMsg || type == QtFatalMsg) {
                    PrintToolError(message);
                }
            });
        QGuiApplication application(argc, argv);
        const std::unique_ptr<QTranslator> translation =
            platform::InstallProgramTranslation(platform::ChooseLanguage(QString()));
        std::vector<FigureCurve> figureCurves;
        for (RunCurve& curve : curves) {
            figureCurves.push_back(std::move(curve.figure));
        }
        CComparisonFigure figure;
        figure.SetCurves(std::move(figureCurves));
        figure.SetAxis(FigureAxis::Dqdv);
        written = figure.Save(out, QSize(1200, 800), platform::Streams::WriteInto);
    }
    if (!written) {
        PrintToolError(written.reason.isEmpty()
                       ? QStringLiteral("%1: cannot be written").arg(out)
                       : QStringLiteral("%1: cannot be written: %2").arg(out, written.reason));
        return kExitFailed;
    }
    if (arguments.peaks) {
        const QByteArray lines = IcaPeakLines(runs);
        std::fwrite(lines.constData(), 1, static_cast<std::size_t>(lines.size()), stdout);
        if (std::fflush(stdout) != 0) {
            PrintToolError(QStringLiteral("cannot write to the standard output"));
            return kExitFailed;
        }
    }
    return kExitOk;
}

}  // namespace brimvolt
