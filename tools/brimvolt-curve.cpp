// brimvolt-curve: the program's curve files from the command line. Loads exactly as the curve
// window loads and writes exactly as it saves, so a file converted here is the file the program
// would have written.

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QGuiApplication>
#include <QString>
#include <QStringList>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "curve/ColorsIni.h"
#include "curvefile/CurveFileReader.h"
#include "curvefile/CurveFileWriter.h"
#include "platform/Files.h"
#include "plot/CurveRenderer.h"
#include "plot/CurveStore.h"

namespace {

using namespace brimvolt;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr int kDefaultPngHeight = 600;
constexpr int kMinPngHeight = 100;
constexpr int kMaxPngHeight = 10000;

const char* const kUsage =
    "Usage: brimvolt-curve COMMAND ARGUMENTS\n"
    "\n"
    "Reads curve files (.raz, .zar) as the curve window loads them.\n"
    "\n"
    "Commands:\n"
    "  info FILE                     capacity, duration and number of points of the curve\n"
    "  convert IN OUT                load IN and write it to OUT as the program saves curves\n"
    "  csv IN [OUT] [--excel]        the points as \"seconds,volts\" lines, to OUT or to the\n"
    "                                standard output; --excel: \";\" and decimal commas\n"
    "  png IN OUT [--height H]       the curve as the curve window draws it, as a PNG image;\n"
    "                                H: pixels for the voltage grid (100 to 10000, default 600)\n"
    "  --help                        this text\n"
    "\n"
    "An existing OUT is replaced only by a whole new file. OUT may also be a FIFO or a\n"
    "character device such as /dev/stdout, which is written into as it stands.\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be read or written, 2 wrong usage.\n";

struct Arguments {
    QStringList positional;
    QStringList flags;
    QString height;
    bool heightGiven = false;
};

QByteArray Local(const QString& text) {
    return QFile::encodeName(text);
}

void PrintError(const QString& message) {
    std::fprintf(stderr, "brimvolt-curve: %s\n", Local(message).constData());
}

// One line naming the file and what went wrong with it.
void PrintWriteFailure(const QString& path, const platform::WriteResult& result) {
    switch (result.failure) {
        case platform::WriteFailure::None:
            return;
        case platform::WriteFailure::NotRegular:
            PrintError(QStringLiteral("%1: not a regular file, a character device or a FIFO; "
                                      "nothing was written")
                           .arg(path));
            return;
        case platform::WriteFailure::CannotCreate:
            PrintError(QStringLiteral("%1: cannot create: %2").arg(path, result.reason));
            return;
        case platform::WriteFailure::WriteFailed:
            PrintError(result.reason.isEmpty()
                           ? QStringLiteral("%1: writing failed").arg(path)
                           : QStringLiteral("%1: writing failed: %2").arg(path, result.reason));
            return;
    }
}

int Usage() {
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

// A loaded curve, or an exit status when it could not be loaded (the message is printed).
struct LoadedCurve {
    std::unique_ptr<CurveStore> store = std::make_unique<CurveStore>();
    std::int32_t points = 0;
    int failure = kExitOk;
};

LoadedCurve Load(const QString& path) {
    LoadedCurve loaded;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        PrintError(QStringLiteral("%1: cannot open: %2").arg(path, file.errorString()));
        loaded.failure = kExitFailed;
        return loaded;
    }
    const CurveReadResult result = ReadCurve(file, *loaded.store);
    loaded.points = result.pointsRead;
    switch (result.status) {
        case CurveReadStatus::Loaded:
            break;
        case CurveReadStatus::Truncated:
            PrintError(QStringLiteral("warning: %1: more points than a curve holds; the first %2 "
                                      "were read")
                           .arg(path)
                           .arg(result.pointsRead));
            break;
        case CurveReadStatus::NoDataKeys:
            PrintError(QStringLiteral("%1: not a curve file (no \"U_\" or column captions in its "
                                      "first 2000 bytes)")
                           .arg(path));
            loaded.failure = kExitFailed;
            break;
        case CurveReadStatus::ReadFailed:
            PrintError(QStringLiteral("%1: read error: %2").arg(path, file.errorString()));
            loaded.failure = kExitFailed;
            break;
    }
    return loaded;
}

int Info(const Arguments& arguments) {
    const QString& path = arguments.positional[0];
    const LoadedCurve loaded = Load(path);
    if (loaded.failure) {
        return loaded.failure;
    }
    const std::int64_t duration = loaded.store->durationSeconds;
    const std::int64_t magnitude = duration < 0 ? -duration : duration;
    const QString text = QStringLiteral("capacity: %1\nduration: %2%3:%4:%5\npoints: %6\n")
                             .arg(loaded.store->curveCapacityText, duration < 0 ? "-" : "")
                             .arg(magnitude / 3600)
                             .arg(magnitude % 3600 / 60, 2, 10, QChar(u'0'))
                             .arg(magnitude % 60, 2, 10, QChar(u'0'))
                             .arg(loaded.points);
    std::fputs(text.toUtf8().constData(), stdout);
    return kExitOk;
}

int Convert(const Arguments& arguments) {
    const QString& in = arguments.positional[0];
    const QString& out = arguments.positional[1];
    const LoadedCurve loaded = Load(in);
    if (loaded.failure) {
        return loaded.failure;
    }
    // The curve window refuses to save a curve that never started; so does the tool.
    if (loaded.store->durationSeconds == 0) {
        PrintError(QStringLiteral("%1: the curve is empty (duration 0), nothing to write").arg(in));
        return kExitFailed;
    }
    const platform::WriteResult written =
        WriteCurveFile(out, *loaded.store, platform::Streams::WriteInto);
    PrintWriteFailure(out, written);
    return written ? kExitOk : kExitFailed;
}

std::string CsvText(const CurveStore& store, std::int32_t points, bool excel) {
    const char separator = excel ? ';' : ',';
    const char decimal = excel ? ',' : '.';
    std::string text = std::string("seconds") + separator + "volts\n";
    text.reserve(text.size() + static_cast<std::size_t>(points) * 20);
    char line[32];
    for (std::int32_t i = 0; i < points; ++i) {
        const std::uint16_t mv = store.sampleMillivolts[i];
        char* p = std::to_chars(line, line + 11, store.sampleTimes[i]).ptr;
        *p++ = separator;
        p = std::to_chars(p, p + 2, mv / 1000).ptr;
        *p++ = decimal;
        *p++ = static_cast<char>('0' + mv % 1000 / 100);
        *p++ = static_cast<char>('0' + mv % 100 / 10);
        *p++ = static_cast<char>('0' + mv % 10);
        *p++ = '\n';
        text.append(line, p);
    }
    return text;
}

int Csv(const Arguments& arguments) {
    const QString& in = arguments.positional[0];
    const LoadedCurve loaded = Load(in);
    if (loaded.failure) {
        return loaded.failure;
    }
    const std::string text =
        CsvText(*loaded.store, loaded.points, arguments.flags.contains("--excel"));
    if (arguments.positional.size() < 2) {
        const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
        if (!written || std::fflush(stdout) != 0) {
            PrintError(QStringLiteral("cannot write to the standard output"));
            return kExitFailed;
        }
        return kExitOk;
    }
    const QString& out = arguments.positional[1];
    const platform::WriteResult written =
        platform::WriteWholeFile(out, QByteArray::fromRawData(text.data(), qsizetype(text.size())),
                                 platform::Streams::WriteInto);
    PrintWriteFailure(out, written);
    return written ? kExitOk : kExitFailed;
}

int g_argc = 0;
char** g_argv = nullptr;

int Png(const Arguments& arguments) {
    int height = kDefaultPngHeight;
    if (arguments.heightGiven) {
        bool ok = false;
        height = arguments.height.toInt(&ok);
        if (!ok || height < kMinPngHeight || height > kMaxPngHeight) {
            PrintError(QStringLiteral("--height wants a number from %1 to %2")
                           .arg(kMinPngHeight)
                           .arg(kMaxPngHeight));
            return Usage();
        }
    }
    const QString& in = arguments.positional[0];
    const QString& out = arguments.positional[1];
    const LoadedCurve loaded = Load(in);
    if (loaded.failure) {
        return loaded.failure;
    }
    // Drawing text needs the font machinery of a GUI application, but never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(g_argc, g_argv);
    const CurveColor color;
    const platform::WriteResult written =
        RenderCurveToPng(*loaded.store, QColor(color.red, color.green, color.blue), height, out,
                         platform::Streams::WriteInto);
    PrintWriteFailure(out, written);
    return written ? kExitOk : kExitFailed;
}

struct Command {
    const char* name;
    int minPositional;
    int maxPositional;
    std::vector<QString> flags;  // options without a value
    bool takesHeight;
    int (*run)(const Arguments&);
};

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"info", 1, 1, {}, false, Info},
        {"convert", 2, 2, {}, false, Convert},
        {"csv", 1, 2, {"--excel"}, false, Csv},
        {"png", 2, 2, {}, true, Png},
    };
    return commands;
}

int Run(const QStringList& words) {
    if (words.contains("--help") || words.contains("-h")) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (words.isEmpty()) {
        return Usage();
    }
    const Command* command = nullptr;
    for (const Command& candidate : Commands()) {
        if (words[0] == QLatin1String(candidate.name)) {
            command = &candidate;
        }
    }
    if (!command) {
        PrintError(QStringLiteral("unknown command: %1").arg(words[0]));
        return Usage();
    }
    Arguments arguments;
    for (qsizetype i = 1; i < words.size(); ++i) {
        const QString& word = words[i];
        if (command->takesHeight && word == "--height") {
            if (i + 1 >= words.size()) {
                PrintError(QStringLiteral("--height needs a value"));
                return Usage();
            }
            arguments.height = words[++i];
            arguments.heightGiven = true;
        } else if (std::find(command->flags.begin(), command->flags.end(), word) !=
                   command->flags.end()) {
            arguments.flags.append(word);
        } else if (word.startsWith("--")) {
            PrintError(QStringLiteral("unknown option for %1: %2").arg(words[0], word));
            return Usage();
        } else {
            arguments.positional.append(word);
        }
    }
    if (arguments.positional.size() < command->minPositional ||
        arguments.positional.size() > command->maxPositional) {
        PrintError(QStringLiteral("wrong number of arguments for %1").arg(words[0]));
        return Usage();
    }
    return command->run(arguments);
}

}  // namespace

int main(int argc, char** argv) {
    g_argc = argc;
    g_argv = argv;
    QStringList words;
    for (int i = 1; i < argc; ++i) {
        words.append(QFile::decodeName(argv[i]));
    }
    return Run(words);
}
