#include "app/BrimvoltApp.h"

#include <QApplication>
#include <QTextStream>
#include <charconv>
#include <memory>

#include "app/BrimvoltDlg.h"
#include "app/HeadlessDemo.h"
#include "platform/QtDialogs.h"
#include "platform/QtSerialPort.h"
#include "platform/RunSleepGuard.h"
#include "platform/SleepInhibitor.h"
#include "sim/InProcessPort.h"

BrimvoltOptions ParseOptions(const QStringList& arguments) {
    BrimvoltOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        // A path that is empty or looks like the next option is a slip, not a port to probe.
        const auto takePath = [&](const QString& path) {
            if (path.isEmpty() || path.startsWith(QLatin1String("--"))) {
                options.errors.append(argument);
            } else {
                options.extraPorts.append(path);
            }
        };
        if (argument == QLatin1String("--extra-port")) {
            if (i + 1 < arguments.size()) {
                takePath(arguments[++i]);
            } else {
                options.errors.append(argument);
            }
        } else if (argument.startsWith(QLatin1String("--extra-port="))) {
            takePath(argument.mid(13));
        } else if (argument.startsWith(QLatin1String("--headless-demo="))) {
            options.headlessDemoSeconds = brimvolt::HeadlessDemoSeconds(QStringView(argument).mid(16));
            if (!options.headlessDemoSeconds) {
                options.errors.append(argument);
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
        } else {
            options.errors.append(argument);
        }
    }
    if (options.headlessDemoSeconds && !options.demoSpeed) {
        options.errors.append(QStringLiteral("--headless-demo without --demo"));
    }
    return options;
}

CBrimvoltApp::CBrimvoltApp(int& argc, char** argv) : argc(argc), argv(argv) {}

CBrimvoltApp::~CBrimvoltApp() = default;

int CBrimvoltApp::InitInstance() {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brimvolt"));
    // The dialogs of the program are its only windows; closing them is the exit path's job.
    QApplication::setQuitOnLastWindowClosed(false);

    const BrimvoltOptions options = ParseOptions(QApplication::arguments().mid(1));
    if (!options.errors.isEmpty()) {
        QTextStream(stderr) << "brimvolt: unknown option " << options.errors.join(QLatin1Char(' '))
                            << "\nusage: brimvolt [--extra-port PATH]... [--demo[=SPEED]]\n"
                            << "  " << brimvolt::HeadlessDemoUsage() << "\n";
        return 2;
    }
    if (options.headlessDemoSeconds) {
        brimvolt::HeadlessDemoOptions demo;
        demo.speed = *options.demoSpeed;
        demo.seconds = *options.headlessDemoSeconds;
        demo.extraPorts = options.extraPorts;
        return brimvolt::RunHeadlessDemo(demo);
    }

    std::unique_ptr<brimvolt::platform::CPortSystem> ports =
        brimvolt::platform::MakeSystemPorts(options.extraPorts);
    if (options.demoSpeed) {
        ports = brimvolt::sim::MakeDemoPorts(std::move(ports), *options.demoSpeed);
    }
    brimvolt::platform::CQtDialogs dialogs;
    // The window holds the whole curve store, so it lives on the heap for the run.
    auto dialog = std::make_unique<CBrimvoltDlg>(*ports, dialogs);
    dialog->SetSleepGuard(std::make_unique<brimvolt::platform::CRunSleepGuard>(
        brimvolt::platform::MakeSystemSleepInhibitor()));
    dialog->exec();
    dialog.reset();
    return 0;
}
