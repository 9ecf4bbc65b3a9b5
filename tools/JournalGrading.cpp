// brimvolt-journal check, cell-set, bounds and cells: voltage checks made by hand, the register's
// cells set, the bounds cells are graded by, and the cells with their grades.

#include "tools/JournalGrading.h"
#include "tools/JournalOutput.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QTranslator>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>

#include "grading/CellGrading.h"
#include "journal/Journal.h"
#include "platform/QtTranslation.h"

namespace brimvolt {

namespace {

const char* const kGradingUsage =
    "Usage: brimvolt-journal [--journal FILE] check CELL VOLTS [--at TIME]\n"
    "       brimvolt-journal [--journal FILE] cell-set NAME [--chemistry CHEMISTRY]\n"
    "                        [--nominal MAH] [--maker TEXT] [--retired yes|no]\n"
    "       brimvolt-journal [--journal FILE] bounds [CHEMISTRY [KEY=VALUE]... [--defaults]]\n"
    "       brimvolt-journal [--journal FILE] cells [--grade A|B|C|reject]\n"
    "\n"
    "check     records the cell's voltage measured by hand (a multimeter), in volts, at TIME\n"
    "          (ISO 8601, 2026-12-01T09:30 or with its offset, 2026-12-01T09:30+03:00; local\n"
    "          time without one; now unless given). A cell not in the register is added.\n"
    "          The first check after the cell's latest run begins its storage; later checks\n"
    "          give its self-discharge.\n"
    "cell-set  sets what the register knows of the cell (added when new): CHEMISTRY is\n"
    "          li-ion, lifepo4, nimh, lead or other; MAH its nominal capacity (0: unknown).\n"
    "bounds    a line per chemistry of the bounds its cells are graded by, KEY=VALUE:\n"
    "            a_share, b_share, c_share  the last discharge as a share of the nominal\n"
    "                                       (%) for grades A, B and C; below C: reject\n"
    "            max_rin_mohm               a higher Rin rejects the cell\n"
    "            max_drop_mv_per_day        a higher self-discharge rejects the cell ...\n"
    "            min_storage_days           ... over a storage this long or longer\n"
    "          With a CHEMISTRY and KEY=VALUE pairs, sets them (max_rin_mohm=none and\n"
    "          max_drop_mv_per_day=none: not judged); --defaults: back to the program's own.\n"
    "cells     a line per cell, tab-separated: name, chemistry, nominal (mAh), last\n"
    "          discharge capacity (mAh), share of the nominal (%), Rin (mOhm), self-discharge\n"
    "          (mV per day), days stored, grade (A, B, C, reject), the rule that gave it; an\n"
    "          empty field for what is not measured. --grade: the cells of that grade only.\n"
    "\n"
    "Exit status: 0 done, 1 the journal not read or written, 2 wrong usage.\n";

constexpr double kMaxVolts = 1000;
// A check dated more than a day ahead is a mistyped date, not a measurement.
constexpr qint64 kFutureSlackSeconds = 86400;

enum class Which { Check, CellSet, Bounds, Cells };

const std::pair<Which, const char*> kWords[] = {{Which::Check, "check"},
                                                {Which::CellSet, "cell-set"},
                                                {Which::Bounds, "bounds"},
                                                {Which::Cells, "cells"}};

struct GradingArguments {
    QString journal = QStringLiteral("journal.sqlite");
    QStringList positional;  // the command word first
    QString at;
    std::optional<QString> chemistry, nominal, maker, retired, grade;
    bool defaults = false;
};

// The command whose help a usage error points to; the four share one.
const char* g_command = "check";

int UsageError(const QString& message) {
    return ToolUsageError(message, g_command);
}

/** The journal brought to the layout with checks before a write; false with the message printed. */
bool Upgraded(CJournal& journal) {
    if (journal.Upgrade()) {
        return true;
    }
    PrintToolError(QStringLiteral("%1: cannot add the voltage checks: %2")
                       .arg(journal.Path(), journal.LastError()));
    return false;
}

std::optional<int> Parse(const QStringList& words, GradingArguments& arguments) {
    const std::pair<const char*, std::optional<QString>*> valued[] = {
        {"--chemistry", &arguments.chemistry},
        {"--nominal", &arguments.nominal},
        {"--maker", &arguments.maker},
        {"--retired", &arguments.retired},
        {"--grade", &arguments.grade}};
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& word = words[i];
        if (word == QLatin1String("--help") || word == QLatin1String("-h")) {
            std::fputs(kGradingUsage, stdout);
            return kExitOk;
        }
        if (word == QLatin1String("--")) {
            arguments.positional += words.mid(i + 1);
            break;
        }
        bool taken = false;
        QString* target = nullptr;
        if (word == QLatin1String("--journal")) {
            target = &arguments.journal;
        } else if (word == QLatin1String("--at")) {
            target = &arguments.at;
        }
        for (const auto& [name, value] : valued) {
            if (word == QLatin1String(name)) {
                *value = QString();
                target = &**value;
            }
        }
        if (target) {
            if (i + 1 >= words.size()) {
                return UsageError(QStringLiteral("%1 needs a value").arg(word));
            }
            *target = words[++i];
            taken = true;
        } else if (word == QLatin1String("--defaults")) {
            arguments.defaults = true;
            taken = true;
        } else if (word.startsWith(QLatin1String("--"))) {
            return UsageError(QStringLiteral("unknown option: %1").arg(word));
        }
        if (!taken) {
            arguments.positional.append(word);
        }
    }
    if (arguments.journal.isEmpty()) {
        return UsageError(QStringLiteral("--journal needs a file"));
    }
    return std::nullopt;
}

std::optional<Which> CommandOf(const QString& word) {
    for (const auto& [which, name] : kWords) {
        if (word == QLatin1String(name)) {
            return which;
        }
    }
    return std::nullopt;
}

/** The options the command takes; a usage error names the first it does not. */
std::optional<int> RefuseOtherOptions(Which which, const GradingArguments& arguments) {
    const bool cellOptions =
        arguments.chemistry || arguments.nominal || arguments.maker || arguments.retired;
    if (!arguments.at.isEmpty() && which != Which::Check) {
        return UsageError(QStringLiteral("--at is an option of check only"));
    }
    if (cellOptions && which != Which::CellSet) {
        return UsageError(QStringLiteral(
            "--chemistry, --nominal, --maker and --retired are options of cell-set"));
    }
    if (arguments.grade && which != Which::Cells) {
        return UsageError(QStringLiteral("--grade is an option of cells only"));
    }
    if (arguments.defaults && which != Which::Bounds) {
        return UsageError(QStringLiteral("--defaults is an option of bounds only"));
    }
    return std::nullopt;
}

int ReadFailed(const CJournal& journal) {
    PrintToolError(QStringLiteral("%1: read error: %2").arg(journal.Path(), journal.LastError()));
    return kExitFailed;
}

int WriteFailed(const CJournal& journal) {
    PrintToolError(QStringLiteral("%1: cannot write: %2").arg(journal.Path(), journal.LastError()));
    return kExitFailed;
}

int Print(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    const auto size = static_cast<std::size_t>(bytes.size());
    if (std::fwrite(bytes.constData(), 1, size, stdout) != size || std::fflush(stdout) != 0) {
        PrintToolError(QStringLiteral("cannot write to the standard output"));
        return kExitFailed;
    }
    return kExitOk;
}

/** The time of a check: ISO 8601, local time without an offset; nullopt when not one. */
std::optional<qint64> CheckTime(const QString& text) {
    if (text.isEmpty()) {
        return QDateTime::currentSecsSinceEpoch();
    }
    const QDateTime at = QDateTime::fromString(text.trimmed(), Qt::ISODate);
    if (!at.isValid() || at.toSecsSinceEpoch() < 0) {
        return std::nullopt;
    }
    return at.toSecsSinceEpoch();
}

int Check(CJournal& journal, const GradingArguments& arguments) {
    if (arguments.positional.size() != 3) {
        return UsageError(QStringLiteral("check wants a cell and its voltage"));
    }
    const QString cell = arguments.positional[1].trimmed();
    if (const int refused = RefuseCellName(cell, "check")) {
        return refused;
    }
    if (cell.isEmpty()) {
        return UsageError(QStringLiteral("check wants a cell's name"));
    }
    bool ok = false;
    const double volts = arguments.positional[2].toDouble(&ok);
    if (!ok || !std::isfinite(volts) || volts < 0 || volts > kMaxVolts) {
        return UsageError(QStringLiteral("the voltage is a number of volts from 0 to %1 with a "
                                         "point for decimals, not %2")
                              .arg(kMaxVolts)
                              .arg(arguments.positional[2]));
    }
    const std::optional<qint64> at = CheckTime(arguments.at);
    if (!at) {
        return UsageError(QStringLiteral("--at wants a time in ISO 8601 (2026-12-01T09:30), "
                                         "not %1")
                              .arg(arguments.at));
    }
    if (*at > QDateTime::currentSecsSinceEpoch() + kFutureSlackSeconds) {
        return UsageError(QStringLiteral("--at %1 is in the future").arg(arguments.at));
    }
    CheckRecord check;
    check.atUtc = *at;
    check.millivolts = volts * 1000.0;
    if (!Upgraded(journal)) {
        return kExitFailed;
    }
    if (!journal.AddCheck(check, cell)) {
        return WriteFailed(journal);
    }
    return kExitOk;
}

int CellSet(CJournal& journal, const GradingArguments& arguments) {
    if (arguments.positional.size() != 2) {
        return UsageError(QStringLiteral("cell-set wants one cell's name"));
    }
    const QString name = arguments.positional[1].trimmed();
    if (const int refused = RefuseCellName(name, "cell-set")) {
        return refused;
    }
    if (name.isEmpty()) {
        return UsageError(QStringLiteral("cell-set wants a cell's name"));
    }
    if (!Upgraded(journal)) {
        return kExitFailed;
    }
    const std::optional<CellRecord> found = journal.CellNamed(name);
    if (!found && !journal.LastError().isEmpty()) {
        return ReadFailed(journal);
    }
    CellRecord cell = found.value_or(CellRecord{});
    cell.name = name;
    if (arguments.chemistry) {
        const std::optional<Chemistry> chemistry = ChemistryOfWord(*arguments.chemistry);
        if (!chemistry) {
            return UsageError(QStringLiteral("--chemistry is li-ion, lifepo4, nimh, lead or "
                                             "other, not %1")
                                  .arg(*arguments.chemistry));
        }
        cell.chemistry = *chemistry;
    }
    if (arguments.nominal) {
        bool ok = false;
        const int nominal = arguments.nominal->toInt(&ok);
        if (!ok || nominal < 0 || nominal > 10'000'000) {
            return UsageError(QStringLiteral("--nominal is a whole number of mAh from 0 to "
                                             "10000000, not %1")
                                  .arg(*arguments.nominal));
        }
        cell.nominalMah = nominal;
    }
    if (arguments.maker) {
        cell.maker = arguments.maker->trimmed();
    }
    if (arguments.retired) {
        if (*arguments.retired != QLatin1String("yes") &&
            *arguments.retired != QLatin1String("no")) {
            return UsageError(
                QStringLiteral("--retired is yes or no, not %1").arg(*arguments.retired));
        }
        cell.retired = *arguments.retired == QLatin1String("yes");
    }
    if (!journal.SaveCell(cell)) {
        return WriteFailed(journal);
    }
    return kExitOk;
}

QString BoundText(std::optional<double> value) {
    return value ? QString::number(*value, 'g', 10) : QStringLiteral("none");
}

QString BoundsLine(const GradeBoundsRecord& bounds) {
    QString line = ChemistryWord(bounds.chemistry);
    for (const QString& key : GradeBoundKeys()) {
        line += QLatin1Char('\t') + key + QLatin1Char('=') + BoundText(BoundOfKey(bounds, key));
    }
    return line + QLatin1Char('\n');
}

int Bounds(CJournal& journal, const GradingArguments& arguments) {
    const std::optional<std::vector<GradeBoundsRecord>> stored = journal.StoredGradeBounds();
    if (!stored) {
        return ReadFailed(journal);
    }
    const GradeBoundsSet set = GradeBoundsWith(*stored);
    if (arguments.positional.size() == 1) {
        if (arguments.defaults) {
            return UsageError(QStringLiteral("--defaults wants a chemistry"));
        }
        QString text;
        for (const GradeBoundsRecord& bounds : set) {
            text += BoundsLine(bounds);
        }
        return Print(text);
    }
    const std::optional<Chemistry> chemistry = ChemistryOfWord(arguments.positional[1]);
    if (!chemistry) {
        return UsageError(QStringLiteral("no chemistry %1: li-ion, lifepo4, nimh, lead or other")
                              .arg(arguments.positional[1]));
    }
    GradeBoundsRecord bounds =
        arguments.defaults ? DefaultGradeBounds(*chemistry) : BoundsOf(set, *chemistry);
    for (const QString& pair : arguments.positional.mid(2)) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        QString error;
        if (equals < 0) {
            return UsageError(QStringLiteral("bounds are set as KEY=VALUE, not %1").arg(pair));
        }
        if (!SetBoundOfKey(bounds, pair.left(equals).trimmed(), pair.mid(equals + 1), error)) {
            return UsageError(error);
        }
    }
    if (arguments.positional.size() > 2 || arguments.defaults) {
        // The tool's texts are English; the problem comes in the program's words.
        const QString problem = GradeBoundsProblem(bounds);
        if (!problem.isEmpty()) {
            return UsageError(problem);
        }
        if (!Upgraded(journal)) {
            return kExitFailed;
        }
        const bool kept = arguments.defaults && arguments.positional.size() == 2
                              ? journal.ForgetGradeBounds(*chemistry)
                              : journal.SetGradeBounds(bounds);
        if (!kept) {
            return WriteFailed(journal);
        }
    }
    return Print(BoundsLine(bounds));
}

QString Field(std::optional<double> value, int decimals) {
    return value ? QString::number(*value, 'f', decimals) : QString();
}

int Cells(CJournal& journal, const GradingArguments& arguments) {
    if (arguments.positional.size() != 1) {
        return UsageError(QStringLiteral("cells takes no arguments"));
    }
    std::optional<Grade> only;
    if (arguments.grade) {
        only = GradeOfWord(*arguments.grade);
        if (!only) {
            return UsageError(
                QStringLiteral("--grade is A, B, C or reject, not %1").arg(*arguments.grade));
        }
    }
    const std::optional<GradingInput> input = ReadGradingInput(journal);
    if (!input) {
        return ReadFailed(journal);
    }
    QString text;
    for (const GradedCell& cell :
         GradeCells(input->cells, input->runs, input->links, input->checks, input->bounds)) {
        if (only && cell.grade.grade != *only) {
            continue;
        }
        const CellSummary& summary = cell.summary;
        const std::optional<double> nominal = summary.cell.nominalMah > 0
                                                  ? std::optional<double>(summary.cell.nominalMah)
                                                  : std::nullopt;
        const std::optional<double> capacity = summary.lastCapacityMah
                                                   ? std::optional<double>(*summary.lastCapacityMah)
                                                   : std::nullopt;
        const std::optional<double> rin =
            summary.lastRinMohm ? std::optional<double>(*summary.lastRinMohm) : std::nullopt;
        const QStringList fields = {summary.cell.name,
                                    ChemistryWord(summary.cell.chemistry),
                                    Field(nominal, 0),
                                    Field(capacity, 0),
                                    Field(cell.sharePercent, 1),
                                    Field(rin, 0),
                                    Field(cell.storage.DropMvPerDay(), 2),
                                    Field(cell.storage.Days(), 1),
                                    GradeWord(cell.grade.grade),
                                    cell.grade.rule};
        text += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return Print(text);
}

}  // namespace

bool IsGradingCommand(const QStringList& words) {
    for (const auto& [which, name] : kWords) {
        if (NamesCommand(words, name)) {
            return true;
        }
    }
    return false;
}

int RunGradingCommand(const QStringList& words, int& argc, char** argv) {
    for (const auto& [which, name] : kWords) {
        if (NamesCommand(words, name)) {
            g_command = name;
        }
    }
    GradingArguments arguments;
    if (const std::optional<int> done = Parse(words, arguments)) {
        return *done;
    }
    const std::optional<Which> which = CommandOf(arguments.positional.value(0));
    if (!which) {
        return UsageError(QStringLiteral("unknown command: %1").arg(arguments.positional.value(0)));
    }
    if (const std::optional<int> refused = RefuseOtherOptions(*which, arguments)) {
        return *refused;
    }
    // The rules come in the program's words: English here, as every message of the tool is, and
    // numbers with a point whatever the locale.
    QCoreApplication application(argc, argv);
    QLocale::setDefault(QLocale::c());
    const std::unique_ptr<QTranslator> translation =
        platform::InstallProgramTranslation(QStringLiteral("en"));
    CJournal journal;
    // A register begun by hand, before any run: the journal is made for it.
    const bool writes = *which == Which::Check || *which == Which::CellSet ||
                        (*which == Which::Bounds && arguments.positional.size() > 2) ||
                        arguments.defaults;
    if (writes && !QFileInfo::exists(arguments.journal)) {
        const CJournal::OpenResult made = journal.Open(arguments.journal);
        if (!made.Usable()) {
            PrintToolError(QStringLiteral("%1: cannot make the journal: %2")
                               .arg(arguments.journal, made.reason));
            return kExitFailed;
        }
    } else if (const int failed = OpenToolJournal(journal, arguments.journal)) {
        return failed;
    }
    switch (*which) {
        case Which::Check:
            return Check(journal, arguments);
        case Which::CellSet:
            return CellSet(journal, arguments);
        case Which::Bounds:
            return Bounds(journal, arguments);
        case Which::Cells:
            break;
    }
    return Cells(journal, arguments);
}

}  // namespace brimvolt
