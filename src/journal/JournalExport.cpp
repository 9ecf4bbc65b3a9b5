#include "journal/JournalExport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <system_error>

#include "module/CurveRecording.h"
#include "module/DisplayTexts.h"
#include "platform/Text.h"
#include "plot/CurveStore.h"

namespace brimvolt {

namespace {

// Writes value / 10^decimals with `decimals` digits after `point`; no locale is involved.
char* PutFixed(char* out, std::int64_t value, int decimals, char point) {
    if (value < 0) {
        *out++ = '-';
        value = -value;
    }
    std::int64_t scale = 1;
    for (int i = 0; i < decimals; ++i) {
        scale *= 10;
    }
    out = std::to_chars(out, out + 20, value / scale).ptr;
    if (decimals > 0) {
        *out++ = point;
        std::int64_t fraction = value % scale;
        for (int i = decimals - 1; i >= 0; --i) {
            out[i] = static_cast<char>('0' + fraction % 10);
            fraction /= 10;
        }
        out += decimals;
    }
    return out;
}

char* PutInt(char* out, std::int64_t value) {
    return std::to_chars(out, out + 21, value).ptr;
}

QByteArray Fixed(std::int64_t value, int decimals) {
    char text[32];
    return QByteArray(text, PutFixed(text, value, decimals, '.') - text);
}

// µJ to whole µWh, rounded to the nearest.
std::int64_t MicrowattHours(std::int64_t energyUj) {
    energyUj = std::clamp(energyUj, -kMaxEnergyUj, kMaxEnergyUj);
    return energyUj >= 0 ? (energyUj + 1800) / 3600 : -((-energyUj + 1800) / 3600);
}

// Labels and ports on a line of their own for a terminal: a tab or a line break must not break
// the line, and no escape sequence of a label reaches the terminal.
QString TerminalText(QString text) {
    for (QChar& c : text) {
        if (c == u'\t' || c == u'\r' || c == u'\n') {
            c = u' ';
        }
    }
    return platform::ReplaceUnsafe(text);
}

/**
 * A field of CSV as RFC 4180 has it: in quotes, its quotes doubled, when it holds the separator,
 * a quote or a line break. `guard`: a spreadsheet takes a cell starting with "=", "+", "-", "@",
 * a tab or a carriage return for a formula, so such a text gets a "'" before it, which the
 * spreadsheet shows as text and hides.
 */
QString CsvField(const QString& text, char separator, bool guard) {
    QString field = text;
    if (guard && !field.isEmpty()) {
        const QChar first = field.front();
        if (first == u'=' || first == u'+' || first == u'-' || first == u'@' || first == u'\t' ||
            first == u'\r') {
            field.prepend(u'\'');
        }
    }
    if (field.contains(QLatin1Char(separator)) || field.contains(u'"') || field.contains(u'\n') ||
        field.contains(u'\r')) {
        field.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        field = u'"' + field + u'"';
    }
    return field;
}

QString KindName(const RunRecord& run) {
    if (run.rest) {
        return QStringLiteral("rest");
    }
    return run.charge ? QStringLiteral("charge") : QStringLiteral("discharge");
}

// A test program's run: its cycle and step, two fields, empty for a run of its own.
QByteArray ProgramPlace(const ProgramMark& mark) {
    if (mark.programId == 0) {
        return QByteArrayLiteral("\t");
    }
    return QByteArray::number(mark.cycle) + '\t' + QByteArray::number(mark.step);
}

QByteArray ProgramStateName(ProgramRunState state) {
    switch (state) {
        case ProgramRunState::Running:
            return QByteArrayLiteral("running");
        case ProgramRunState::Finished:
            return QByteArrayLiteral("finished");
        case ProgramRunState::Ended:
            return QByteArrayLiteral("ended");
        case ProgramRunState::Paused:
            return QByteArrayLiteral("paused");
    }
    return {};
}

}  // namespace

QString DurationText(std::int32_t seconds) {
    const std::int64_t magnitude = seconds < 0 ? -std::int64_t{seconds} : seconds;
    return QStringLiteral("%1%2:%3:%4")
        .arg(seconds < 0 ? "-" : "")
        .arg(magnitude / 3600)
        .arg(magnitude % 3600 / 60, 2, 10, QChar(u'0'))
        .arg(magnitude % 60, 2, 10, QChar(u'0'));
}

QString RunStateName(RunState state) {
    switch (state) {
        case RunState::Running:
            return QStringLiteral("running");
        case RunState::Stopped:
            return QStringLiteral("stopped");
        case RunState::Interrupted:
            return QStringLiteral("interrupted");
    }
    return QString();
}

QString EndCauseName(EndCause cause) {
    switch (cause) {
        case EndCause::None:
            return QString();
        case EndCause::Module:
            return QStringLiteral("module");
        case EndCause::Operator:
            return QStringLiteral("operator");
        case EndCause::Temperature:
            return QStringLiteral("temperature");
        case EndCause::LinkLost:
            return QStringLiteral("link lost");
        case EndCause::Program:
            return QStringLiteral("program");
    }
    return QString();
}

QString LocalStartText(std::int64_t startedUtc) {
    const QDateTime local = QDateTime::fromSecsSinceEpoch(startedUtc);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

QByteArray RunListText(std::span<const RunRecord> runs) {
    QByteArray text;
    text.reserve(static_cast<qsizetype>(runs.size()) * 96);
    for (const RunRecord& run : runs) {
        text +=
            QByteArray::number(run.id) + '\t' + LocalStartText(run.startedUtc).toUtf8() + '\t' +
            TerminalText(run.port).toUtf8() + '\t' + KindName(run).toUtf8() + '\t' +
            RunStateName(run.state).toUtf8() + '\t' + DurationText(run.durationSeconds).toUtf8() +
            '\t' + QByteArray::number(run.capacityMah) + '\t' +
            Fixed(MicrowattHours(run.energyUj), 3) + '\t' + ProgramPlace(run.program) + '\t' +
            TerminalText(run.label).toUtf8() + '\n';
    }
    return text;
}

QByteArray ProgramListText(std::span<const ProgramRecord> programs) {
    QByteArray text;
    for (const ProgramRecord& program : programs) {
        text += QByteArray::number(program.id) + '\t' + TerminalText(program.name).toUtf8() +
                '\t' + TerminalText(program.cell).toUtf8() + '\t' +
                LocalStartText(program.startedUtc).toUtf8() + '\t' +
                ProgramStateName(program.state) + '\t' + QByteArray::number(program.cyclesDone) +
                '\t' + TerminalText(program.endReason).toUtf8() + '\n';
    }
    return text;
}

QByteArray RunCsv(const RunRecord& run, std::span<const JournalSample> samples, bool excel) {
    const char separator = excel ? ';' : ',';
    const char point = excel ? ',' : '.';

    StatusRecord atStart;
    atStart.params = run.params;
    const PollTexts texts = ComposePollTexts(atStart, 1);
    // One line per value: its key in the first field, the value in the second, quoted so that
    // no text of the operator's can end a field or a line; the note keeps its line breaks.
    QString head;
    const auto put = [&](const char* key, const QString& value, bool isText) {
        head += QLatin1String(key) + QLatin1Char(separator) +
                CsvField(value, separator, excel && isText) + u'\n';
    };
    put("# id:", QString::number(run.id), false);
    put("# start:", LocalStartText(run.startedUtc), true);
    put("# port:", run.port, true);
    put("# kind:", KindName(run), true);
    put("# label:", run.label, true);
    put("# note:", run.note, true);
    put("# parameters:", QStringList(texts.paramText.begin(), texts.paramText.end()).join(' '),
        true);
    QByteArray captions =
        "seconds,voltage_V,current_A,capacity_mAh,energy_Wh,temperature_C,"
        "rin_Ohm,flags\n";
    if (excel) {
        captions.replace(',', ';');
    }

    QByteArray text;
    // The longest line: 11 + 6 + 6 + 11 + 14 + 3 + 6 + 3 characters and their separators.
    constexpr qsizetype kMaxLine = 72;
    text.reserve(8 + head.size() * 3 + captions.size() +
                 static_cast<qsizetype>(samples.size()) * kMaxLine);
    if (excel) {
        text += "\xEF\xBB\xBF";
    }
    text += head.toUtf8() + captions;

    qsizetype used = text.size();
    text.resize(text.capacity());
    for (const JournalSample& sample : samples) {
        if (text.size() - used < kMaxLine) {
            text.resize(text.size() * 2);
        }
        char* const start = text.data() + used;
        char* p = start;
        p = PutInt(p, sample.seconds);
        *p++ = separator;
        p = PutFixed(p, sample.voltageMv, 3, point);
        *p++ = separator;
        p = PutFixed(p, sample.currentMa, 3, point);
        *p++ = separator;
        p = PutInt(p, sample.capacityMah);
        *p++ = separator;
        p = PutFixed(p, MicrowattHours(sample.energyUj), 6, point);
        *p++ = separator;
        p = PutInt(p, sample.temperature);
        *p++ = separator;
        p = PutFixed(p, sample.rinMohm, 3, point);
        *p++ = separator;
        p = PutInt(p, sample.statusFlags);
        *p++ = '\n';
        used += p - start;
    }
    text.resize(used);
    return text;
}

namespace {

std::filesystem::path FileSystemPath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

QString PathText(const std::filesystem::path& path) {
#ifdef Q_OS_WIN
    return QString::fromStdWString(path.native());
#else
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
#endif
}

constexpr const char* kCompanions[] = {"-wal", "-shm", "-journal"};

/**
 * Where a write to `path` lands: a link, even one pointing nowhere yet, is followed (a bounded
 * number of times), then the folders are resolved as far as they exist.
 */
std::filesystem::path Destination(std::filesystem::path path) {
    namespace fs = std::filesystem;
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error)) || error) {
            break;
        }
        const fs::path target = fs::read_symlink(path, error);
        if (error) {
            break;
        }
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    std::error_code error;
    fs::path resolved = fs::weakly_canonical(path, error);
    return error ? fs::path() : resolved;
}

/** Whether `a` and `b` are one file, or would be once created. */
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    if (std::filesystem::equivalent(a, b, error) && !error) {
        return true;  // another name of the same file: a hard link, "./journal"
    }
    const std::filesystem::path first = Destination(a);
    return !first.empty() && first == Destination(b);
}

/**
 * Whether the folder of `file`, which is there, takes its name in another case for the same
 * file (Windows and macOS do): then "-WAL" names the write-ahead log as well as "-wal" does.
 */
bool FoldsCase(const QString& file) {
    const QString name = QFileInfo(file).fileName();
    QString flipped = name;
    for (QChar& c : flipped) {
        c = c.isUpper() ? c.toLower() : c.toUpper();
    }
    if (flipped == name) {
        return false;
    }
    std::error_code error;
    return std::filesystem::equivalent(FileSystemPath(file),
                                       FileSystemPath(QFileInfo(file).dir().filePath(flipped)),
                                       error) &&
           !error;
}

}  // namespace

bool WritesOverJournal(const QString& out, const QString& journal) {
    const std::filesystem::path target = FileSystemPath(out);
    if (SameFile(target, FileSystemPath(journal))) {
        return true;
    }
    // SQLite names the companions after the journal's own path, its links followed; another
    // program may have opened the journal under another name, a hard link say: any companion
    // name of a file that is the journal is refused, there now or not. Both the name the output
    // is asked under and where it lands (a link that points nowhere yet followed) are tried.
    const std::filesystem::path real = Destination(FileSystemPath(journal));
    const std::filesystem::path landing = Destination(target);
    const QString names[] = {out, landing.empty() ? out : PathText(landing)};
    const Qt::CaseSensitivity sensitivity =
        FoldsCase(journal) ? Qt::CaseInsensitive : Qt::CaseSensitive;
    for (const char* companion : kCompanions) {
        const QLatin1String suffix(companion);
        std::filesystem::path realCompanion = real;
        realCompanion += companion;
        if (SameFile(target, FileSystemPath(journal + suffix)) ||
            (!real.empty() && SameFile(target, realCompanion))) {
            return true;
        }
        for (const QString& name : names) {
            if (name.endsWith(suffix, sensitivity) &&
                SameFile(FileSystemPath(name.chopped(suffix.size())), FileSystemPath(journal))) {
                return true;
            }
        }
    }
    return false;
}

void FillCurveStore(const RunRecord& run, std::span<const JournalSample> samples,
                    CurveStore& store) {
    store.curveCapacityText.clear();
    store.curveFileName.clear();
    store.durationSeconds = 0;
    store.lastIndex = 0;
    store.Rewritten();
    store.runActive = 0;
    store.chargeCurve = run.params[4];
    store.sampleTimes[0] = 0;
    store.sampleMillivolts[0] = 0;
    if (samples.empty()) {
        return;
    }
    store.sampleMillivolts[0] = samples.front().voltageMv;
    // A run from rest has its rest sample at 0 s: that is point 0 itself.
    const std::size_t first = samples.front().seconds == 0 ? 1 : 0;
    const JournalSample* last = nullptr;
    for (std::size_t i = first; i < samples.size(); ++i) {
        const JournalSample& sample = samples[i];
        if (!store.Append(sample.seconds, sample.voltageMv)) {
            break;  // the store's bound: the curve keeps its length and capacity up to here
        }
        last = &sample;
    }
    // The text of the last point held only: a text for every sample costs more than the curve.
    if (last != nullptr) {
        store.durationSeconds = last->seconds;
        store.curveCapacityText = CurveCapacityText(last->capacityMah);
    }
}

}  // namespace brimvolt
