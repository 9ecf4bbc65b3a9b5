#include "app/BrimvoltApp.h"

#include <QApplication>
#include <QTextStream>
#include <charconv>
#include <memory>

#include "app/BrimvoltDlg.h"
#include "platform/QtDialogs.h"
#include "platform/QtSerialPort.h"
#include "platform/RunSleepGuard.h"
#include "platform/SleepInhibitor.h"
#include "sim/InProcessPort.h"

BrimvoltOptions ParseOptions(const QStringList& arguments) {
    BrimvoltOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--extra-port")) {
            if (i + 1 < arguments.size()) {
                options.extraPorts.append(arguments[++i]);
            } else {
                options.errors.append(argument);
            }
        } else if (argument.startsWith(QLatin1String("--extra-port="))) {
            options.extraPorts.append(argument.mid(13));
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
                            << "\nusage: brimvolt [--extra-port PATH]... [--demo[=SPEED]]\n";
        return 2;
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
