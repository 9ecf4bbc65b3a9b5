#include "app/BrimvoltApp.h"

#include <QApplication>
#include <QEventLoop>
#include <QTextStream>
#include <QTranslator>
#include <algorithm>
#include <charconv>
#include <memory>

#include "app/Bench.h"
#include "app/BrimvoltDlg.h"
#include "app/HeadlessDemo.h"
#include "app/SessionEnd.h"
#include "benchview/BenchDlg.h"
#include "channel/Channel.h"
#include "cycle/ProgramFile.h"
#include "mqtt/MqttSettings.h"
#ifdef BRIMVOLT_HAVE_MQTT
#include "mqtt/MqttPublisher.h"
#endif
#include "platform/Console.h"
#include "platform/Language.h"
#include "platform/QtDialogs.h"
#include "platform/QtSerialPort.h"
#include "platform/QtTranslation.h"
#include "platform/RunSleepGuard.h"
#include "platform/SleepInhibitor.h"
#include "sim/InProcessPort.h"

namespace {

constexpr int kUsageError = 2;

// The bench drives one module per port, no more than this many.
constexpr qsizetype kBenchModules = 16;

// Windows names COM3 and com3 alike; device paths elsewhere are case-sensitive.
#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity kPortNameCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kPortNameCase = Qt::CaseSensitive;
#endif

struct OptionLine {
    const char* option;
    const char* meaning;
};

// The usage text, one line per option.
constexpr OptionLine kOptionLines[] = {
    {"--extra-port PATH", "also probe the serial device PATH (repeatable)"},
    {"--bench", "one window for every module found, up to 16 (the bench)"},
    {"--port NAME", "a channel on port NAME only (repeatable with --bench)"},
    {"--demo[=SPEED]", "add the port DEMO: a simulated module, SPEED times real time (default 1)"},
    {"--headless-demo=SECONDS", "with --demo: run a discharge SECONDS long, save pictures, exit"},
    {"--journal PATH", "keep the run journal in PATH (default: ./journal.sqlite)"},
    {"--mqtt URL", "publish readings and runs to the MQTT broker at URL:"},
    {"", "mqtt://[USER@]HOST[:PORT], or mqtts://... for TLS; the password"},
    {"", "comes from the environment variable BRIMVOLT_MQTT_PASSWORD"},
    {"--mqtt-prefix PREFIX", "topics under PREFIX (default: brimvolt/<host name>/<port name>)"},
    {"--program FILE", "run the test program in FILE (JSON) once the module is found"},
    {"--lang=ru|en", "language of the interface (default: the system's, else Russian)"},
    {"--help", "show this help and exit"},
    {"--version", "show the version and exit"},
};

// The arguments after the program name, before Qt has looked at them.
QStringList CommandLine(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    return arguments;
}

bool IsQtArgument(const QString& argument) {
    return argument.size() > 1 && argument.startsWith(QLatin1Char('-')) &&
           !argument.startsWith(QLatin1String("--"));
}

// The broker settings of the command line, read before any window so that a slip ends the
// program with one line in `error`; nothing without --mqtt.
std::optional<brimvolt::MqttSettings> ReadMqttOptions(const BrimvoltOptions& options,
                                                      QString& error) {
    if (!options.mqttUrl) {
        return std::nullopt;
    }
#ifdef BRIMVOLT_HAVE_MQTT
    std::optional<QString> password;
    if (qEnvironmentVariableIsSet(brimvolt::kMqttPasswordVariable)) {
        password = qEnvironmentVariable(brimvolt::kMqttPasswordVariable);
    }
    std::optional<brimvolt::MqttSettings> settings = brimvolt::ReadMqttSettings(
        *options.mqttUrl, options.mqttPrefix.value_or(QString()), password, &error);
    if (settings && settings->url.tls && !brimvolt::MqttTlsAvailable()) {
        error = QStringLiteral("mqtts:// is not available in this build (libmosquitto without "
                               "TLS): use mqtt://");
        return std::nullopt;
    }
    return settings;
#else
    error = QStringLiteral("--mqtt is not available in this build (built without libmosquitto)");
    return std::nullopt;
#endif
}

int RefuseLanguage(const QString& value) {
    QTextStream(stderr) << "brimvolt: --lang takes ru or en, not \"" << value << "\"\n";
    return kUsageError;
}

int RefuseOptions(const QStringList& errors) {
    QTextStream(stderr) << "brimvolt: unknown option " << errors.join(QLatin1Char(' ')) << "\n\n"
                        << Usage();
    return kUsageError;
}

}  // namespace

QString Usage() {
    QString text = QStringLiteral(
        "Usage: brimvolt [OPTION]... [FILE.raz|FILE.zar]\n"
        "Drives a battery tester module on a serial port; without options it finds the module "
        "by itself. A curve file given is loaded into the curve window at start.\n\nOptions:\n");
    qsizetype width = 0;
    for (const OptionLine& line : kOptionLines) {
        width = std::max(width, qsizetype(qstrlen(line.option)));
    }
    for (const OptionLine& line : kOptionLines) {
        text += QStringLiteral("  ") + QString::fromUtf8(line.option).leftJustified(width + 2) +
                QString::fromUtf8(line.meaning) + QLatin1Char('\n');
    }
    text += QStringLiteral(
        "\nQt's own options (-platform NAME, -style NAME) and environment variables apply as "
        "well;\nwithout a display: QT_QPA_PLATFORM=offscreen.\n");
    return text;
}

BrimvoltOptions ParseOptions(const QStringList& arguments, QtArguments qtArguments) {
    BrimvoltOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        // A path that is empty or looks like the next option is a slip, not a file to use.
        const auto takePath = [&](const QString& path, const auto& take) {
            if (path.isEmpty() || path.startsWith(QLatin1String("--"))) {
                options.errors.append(argument);
            } else {
                take(path);
            }
        };
        const auto takePathOption = [&](const QString& name, const auto& take) {
            if (argument == name) {
                if (i + 1 < arguments.size()) {
                    takePath(arguments[++i], take);
                } else {
                    options.errors.append(argument);
                }
                return true;
            }
            if (argument.startsWith(name + u'=')) {
                takePath(argument.mid(name.size() + 1), take);
                return true;
            }
            return false;
        };
        const auto addPort = [&](const QString& path) { options.extraPorts.append(path); };
        const auto addChannelPort = [&](const QString& name) {
            if (options.ports.contains(name, kPortNameCase)) {
                options.errors.append(argument);  // two channels cannot share a module
            } else {
                options.ports.append(name);
            }
        };
        const auto setJournal = [&](const QString& path) {
            if (!options.journalPath.isEmpty()) {
                options.errors.append(argument);  // two journals: which one was meant?
            }
            options.journalPath = path;
        };
        // Given twice: which one was meant?
        const auto setOnce = [&](std::optional<QString>& value) {
            return [&](const QString& text) {
                if (value) {
                    options.errors.append(argument);
                }
                value = text;
            };
        };
        if (takePathOption(QStringLiteral("--extra-port"), addPort) ||
            takePathOption(QStringLiteral("--port"), addChannelPort) ||
            takePathOption(QStringLiteral("--journal"), setJournal) ||
            takePathOption(QStringLiteral("--mqtt"), setOnce(options.mqttUrl)) ||
            takePathOption(QStringLiteral("--mqtt-prefix"), setOnce(options.mqttPrefix)) ||
            takePathOption(QStringLiteral("--program"), setOnce(options.programPath))) {
            continue;
        }
        if (argument.startsWith(QLatin1String("--headless-demo="))) {
            options.headlessDemoSeconds =
                brimvolt::HeadlessDemoSeconds(QStringView(argument).mid(16));
            if (!options.headlessDemoSeconds) {
                options.errors.append(argument);
            }
        } else if (argument.startsWith(QLatin1String("--lang="))) {
            const QString value = argument.mid(7);
            if (const std::optional<QString> language = brimvolt::platform::LanguageOption(value)) {
                options.language = *language;
            } else {
                options.badLanguage = value;
            }
        } else if (argument == QLatin1String("--bench")) {
            options.bench = true;
        } else if (argument == QLatin1String("--help")) {
            options.help = true;
        } else if (argument == QLatin1String("--version")) {
            options.version = true;
        } else if (qtArguments == QtArguments::Pass && IsQtArgument(argument)) {
            if (i + 1 < arguments.size() && !arguments[i + 1].startsWith(QLatin1Char('-'))) {
                ++i;
            }
        } else if (argument == QLatin1String("--demo")) {
            options.demoSpeed = 1.0;
        } else if (argument.startsWith(QLatin1String("--demo="))) {
            const QByteArray text = argument.mid(7).toLatin1();
            double speed = 0.0;
            const auto [end, error] =
                std::from_chars(text.constData(), text.constData() + text.size(), speed);
            if (error != std::errc() || end != text.constData() + text.size() || !(speed > 0.0)) {
                options.errors.append(argument);
            } else {
                options.demoSpeed = speed;
            }
        } else if (!argument.startsWith(QLatin1Char('-')) &&
                   (argument.endsWith(QLatin1String(".raz"), Qt::CaseInsensitive) ||
                    argument.endsWith(QLatin1String(".zar"), Qt::CaseInsensitive))) {
            // A curve file, as the desktop or Explorer pass one: one at a time.
            if (!options.curveFile.isEmpty()) {
                options.errors.append(argument);
            }
            options.curveFile = argument;
        } else {
            options.errors.append(argument);
        }
    }
    if (options.headlessDemoSeconds && !options.demoSpeed) {
        options.errors.append(QStringLiteral("--headless-demo without --demo"));
    }
    if (options.mqttPrefix && !options.mqttUrl) {
        options.errors.append(QStringLiteral("--mqtt-prefix without --mqtt"));
    }
    // One window drives one module; the bench opens no curve file, it has a curve per channel.
    if (options.ports.size() > 1 && !options.bench) {
        options.errors.append(QStringLiteral("--port twice without --bench"));
    }
    if (options.ports.size() > kBenchModules) {
        options.errors.append(QStringLiteral("--port more than %1 times").arg(kBenchModules));
    }
    if (options.bench && !options.curveFile.isEmpty()) {
        options.errors.append(QStringLiteral("a curve file with --bench"));
    }
    return options;
}

namespace {

// The demo bench: modules enough to fill a row of tiles, each cell of its own capacity and Rin.
constexpr int kBenchDemoModules = 4;

int RunBench(brimvolt::platform::CPortSystem& ports, brimvolt::platform::CDialogs& dialogs,
             const BrimvoltOptions& options, const std::optional<brimvolt::MqttSettings>& mqtt,
             const std::optional<brimvolt::TestProgram>& testProgram) {
    brimvolt::CBench bench(ports, dialogs, brimvolt::JournalFileOf(options.journalPath),
                           options.ports);
    if (mqtt) {
        bench.PublishOverMqtt(*mqtt);
    }
    if (testProgram) {
        bench.RunProgramOnEveryChannel(*testProgram);
    }
    bench.SetSleepGuard(std::make_unique<brimvolt::platform::CRunSleepGuard>(
        brimvolt::platform::MakeSystemSleepInhibitor()));
    CBenchDlg window(dialogs, bench);
    brimvolt::CSessionEnd sessionEnd;
    QObject::connect(&sessionEnd, &brimvolt::CSessionEnd::EndRequested, &window, [&window] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* modal = qobject_cast<QDialog*>(widget);
            if (modal && modal != &window && modal->isModal() && modal->isVisible()) {
                modal->reject();
            }
        }
        window.Leave();
    });
    // Modeless, so the channels' own windows take the operator's input beside it.
    QEventLoop loop;
    QObject::connect(&window, &QDialog::finished, &loop, &QEventLoop::quit);
    bench.Start();
    window.show();
    loop.exec();
    return 0;
}

}  // namespace

CBrimvoltApp::CBrimvoltApp(int& argc, char** argv) : argc(argc), argv(argv) {}

CBrimvoltApp::~CBrimvoltApp() = default;

int CBrimvoltApp::InitInstance() {
    // QApplication needs a display and aborts without one, so the options are read first:
    // --help, --version and a slip answer on any machine.
    const BrimvoltOptions early = ParseOptions(CommandLine(argc, argv), QtArguments::Pass);
    if (early.badLanguage || !early.errors.isEmpty() || early.help || early.version) {
        brimvolt::platform::AttachParentConsole();
        if (early.badLanguage) {
            return RefuseLanguage(*early.badLanguage);
        }
        if (!early.errors.isEmpty()) {
            return RefuseOptions(early.errors);
        }
        QTextStream(stdout) << (early.help ? Usage()
                                           : QStringLiteral("brimvolt " BRIMVOLT_VERSION "\n"));
        return 0;
    }
    QString mqttError;
    const std::optional<brimvolt::MqttSettings> mqtt = ReadMqttOptions(early, mqttError);
    if (early.mqttUrl && !mqtt) {
        brimvolt::platform::AttachParentConsole();
        // The reason is told in the interface's language, and translations need an application;
        // one without a window system is made for it, since no window follows.
        QCoreApplication core(argc, argv);
        const brimvolt::platform::Translations translations =
            brimvolt::platform::InstallTranslations(
                brimvolt::platform::ChooseLanguage(early.language), "brimvolt");
        ReadMqttOptions(early, mqttError);
        QTextStream(stderr) << "brimvolt: " << mqttError << '\n';
        return kUsageError;
    }
    // A program file with a slip ends here, before any window, like any other bad option.
    std::optional<brimvolt::TestProgram> testProgram;
    if (early.programPath) {
        QString programError;
        testProgram = brimvolt::ReadProgramFile(*early.programPath, programError);
        if (!testProgram) {
            brimvolt::platform::AttachParentConsole();
            QTextStream(stderr) << "brimvolt: " << *early.programPath << ": " << programError
                                << '\n';
            return kUsageError;
        }
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brimvolt"));
    QApplication::setApplicationVersion(QStringLiteral(BRIMVOLT_VERSION));
    // The dialogs of the program are its only windows; closing them is the exit path's job.
    QApplication::setQuitOnLastWindowClosed(false);

    // Qt has taken the arguments it knows; any other one of one dash is a slip.
    const BrimvoltOptions options = ParseOptions(QApplication::arguments().mid(1));
    if (!options.errors.isEmpty()) {
        brimvolt::platform::AttachParentConsole();
        return RefuseOptions(options.errors);
    }
    // Before the first window, whose texts are taken as it is built.
    const brimvolt::platform::Translations translations = brimvolt::platform::InstallTranslations(
        brimvolt::platform::ChooseLanguage(options.language), "brimvolt");
    if (options.headlessDemoSeconds) {
        brimvolt::HeadlessDemoOptions demo;
        demo.speed = *options.demoSpeed;
        demo.seconds = *options.headlessDemoSeconds;
        demo.extraPorts = options.extraPorts;
        demo.journalPath = options.journalPath;
        demo.mqtt = mqtt;
        demo.bench = options.bench;
        return brimvolt::RunHeadlessDemo(demo);
    }

    std::unique_ptr<brimvolt::platform::CPortSystem> ports =
        brimvolt::platform::MakeSystemPorts(options.extraPorts);
    if (options.demoSpeed) {
        ports = brimvolt::sim::MakeDemoPorts(std::move(ports), *options.demoSpeed,
                                             options.bench ? kBenchDemoModules : 1);
    }
    brimvolt::platform::CQtDialogs dialogs;
    if (options.bench) {
        return RunBench(*ports, dialogs, options, mqtt, testProgram);
    }
    // The window holds the whole curve store, so it lives on the heap for the run.
    auto dialog = std::make_unique<CBrimvoltDlg>(*ports, dialogs, options.journalPath,
                                                 options.ports.value(0));
    if (mqtt) {
        dialog->PublishOverMqtt(*mqtt);
    }
    dialog->OpenCurveFileAtStart(options.curveFile);
    if (testProgram) {
        dialog->RunProgram(*testProgram);
    }
    dialog->SetSleepGuard(std::make_unique<brimvolt::platform::CRunSleepGuard>(
        brimvolt::platform::MakeSystemSleepInhibitor()));
    // A logout, a shutdown or `kill` leaves as "Выход" does, without its question: the run is
    // recorded as interrupted and the autosave written. Open message boxes and file dialogs
    // are answered "Cancel" first, so their loops end too.
    brimvolt::CSessionEnd sessionEnd;
    QObject::connect(&sessionEnd, &brimvolt::CSessionEnd::EndRequested, dialog.get(),
                     &CBrimvoltDlg::OnSessionEnd);
    dialog->exec();
    dialog.reset();
    return 0;
}
