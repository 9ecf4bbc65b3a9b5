#include "app/HeadlessDemo.h"

#include <QAbstractButton>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QPixmap>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <memory>

#include "app/Bench.h"
#include "app/BrimvoltDlg.h"
#include "app/SessionEnd.h"
#include "benchview/BenchDlg.h"
#include "channel/Channel.h"
#include "journal/Journal.h"
#include "journal/JournalExport.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "platform/QtSerialPort.h"
#include "resources/Templates.h"
#include "sim/InProcessPort.h"

namespace brimvolt {

namespace {

constexpr int kStartButton = 1007;
// Long enough for the start command to go out on the next poll tick and come back as a flag.
constexpr int kRunStartTimeoutMs = 5000;

/** Nobody is there to answer: every question is confirmed, every message goes to stderr. */
class CConsoleDialogs : public platform::CDialogs {
public:
    platform::Answer Message(QWidget*, const QString& text, const QString& caption,
                             platform::Buttons) override {
        QString oneLine = text;
        oneLine.replace(QLatin1Char('\n'), QLatin1Char(' '));
        QTextStream(stderr) << "brimvolt: [" << caption << "] " << oneLine << " -> OK\n";
        return platform::Answer::Ok;
    }
    QString SaveFileName(QWidget*, const QString&, const QString&,
                         const platform::FileFilter&) override {
        return {};
    }
    QString OpenFileName(QWidget*, const QString&, const QList<platform::FileFilter>&) override {
        return {};
    }
    std::optional<QString> AskText(QWidget*, const QString&, const QString&) override {
        return std::nullopt;
    }
};

/** Runs the event loop until done() holds or timeoutMs pass; whether done() held. */
bool RunEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    if (done()) {
        return true;
    }
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() >= timeoutMs) {
            loop.quit();
        }
    });
    check.start(20);
    loop.exec();
    return done();
}

/** The window as it is drawn now; taken again when drawing it changed its size. */
QPixmap Grab(QWidget& window) {
    QPixmap picture = window.grab();
    if (picture.deviceIndependentSize().toSize() != window.size()) {
        picture = window.grab();
    }
    return picture;
}

QString SecondsText(double seconds) {
    return QString::number(seconds, 'g', 6);
}

QString TimeOfSeconds(std::int32_t total) {
    return QString::asprintf("%02d:%02d:%02d", total / 3600, total / 60 % 60, total % 60);
}

bool SavePng(const QPixmap& picture, const QString& path) {
    QByteArray png;
    QBuffer buffer(&png);
    return buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "PNG") &&
           platform::WriteWholeFile(path, png).Ok();
}

/** The journal's runs as the tool lists them, into the report and onto `out`. */
void ReportJournal(HeadlessDemoReport& report, QTextStream& out) {
    CJournal journal;
    const CJournal::OpenResult opened =
        journal.Open(report.journalPath, CJournal::OpenMode::Existing);
    const std::optional<std::vector<RunRecord>> runs =
        opened.Usable() ? journal.Runs() : std::nullopt;
    if (runs) {
        report.journalRuns = RunListText(*runs);
        out << "  journal:      " << report.journalPath
            << (runs->size() == 1 ? QStringLiteral(" (1 run)\n")
                                  : QStringLiteral(" (%1 runs)\n").arg(runs->size()))
            << QString::fromUtf8(report.journalRuns);
    } else {
        out << "  journal:      " << report.journalPath
            << " (not readable: " << (opened.reason.isEmpty() ? journal.LastError() : opened.reason)
            << ")\n";
    }
    out.flush();
}

constexpr int kBenchDemoModules = 4;

// The bench: four demo modules, a discharge on each, the bench window pictured.
HeadlessDemoReport RunHeadlessBench(const HeadlessDemoOptions& options, QTextStream& out,
                                    std::unique_ptr<platform::CPortSystem> ports) {
    HeadlessDemoReport report;
    const QDir folder(QDir::currentPath());
    ports = sim::MakeDemoPorts(std::move(ports), options.speed, kBenchDemoModules);
    CConsoleDialogs dialogs;
    report.journalPath = JournalFileOf(options.journalPath);
    auto bench = std::make_unique<CBench>(*ports, dialogs, report.journalPath, QStringList());
    if (options.mqtt) {
        bench->PublishOverMqtt(*options.mqtt);
    }
    CBenchDlg window(dialogs, *bench);
    CSessionEnd sessionEnd;
    QObject::connect(&sessionEnd, &CSessionEnd::EndRequested, &window, [&window] { window.Leave(); });
    bool left = false;
    QObject::connect(&window, &QDialog::finished, &window, [&left] { left = true; });
    QElapsedTimer runClock;
    runClock.start();
    bench->Start();
    window.show();

    QList<int> all;
    for (int i = 0; i < kBenchDemoModules; ++i) {
        all.append(i);
    }
    const auto everyChannel = [&](const std::function<bool(const CChannel&)>& holds) {
        if (bench->ChannelCount() < kBenchDemoModules) {
            return false;
        }
        return std::all_of(all.begin(), all.end(),
                           [&](int i) { return holds(bench->ChannelAt(i)); });
    };
    if (!RunEventsUntil([&] { return left || everyChannel([](const CChannel& c) {
                                  return static_cast<bool>(c.portHandle);
                              }); },
                        options.connectTimeoutMs)) {
        QTextStream(stderr) << "brimvolt: the demo modules were not all found\n";
        return report;
    }
    if (!left) {
        bench->Start(all);
    }
    if (!RunEventsUntil([&] { return left || everyChannel([](const CChannel& c) {
                                  return c.running != 0;
                              }); },
                        kRunStartTimeoutMs)) {
        QTextStream(stderr) << "brimvolt: not every module reported a running discharge\n";
    }
    const auto runMs = static_cast<int>(
        std::lround(std::clamp(options.seconds, 0.0, kHeadlessDemoMaxSeconds) * 1000.0));
    RunEventsUntil([&] { return left; }, runMs);
    const bool endedEarly = left;

    // The picture shows every tile whatever the screen (offscreen: 800 × 600).
    window.resize(window.sizeHint().expandedTo(window.size()));
    RunEventsUntil([] { return false; }, 200);
    const QString benchPath = folder.absoluteFilePath(QStringLiteral("bench-window.png"));
    const bool saved = SavePng(Grab(window), benchPath);
    report.mainWindowSize = window.size();
    report.mainPicturePath = benchPath;
    out << "Brimvolt bench demo without a display: " << SecondsText(options.seconds) << " s at "
        << SecondsText(options.speed) << " times the modules' speed\n";
    if (endedEarly) {
        out << "  ended:        asked to end after "
            << SecondsText(static_cast<double>(runClock.elapsed()) / 1000.0) << " s\n";
    }
    out << "  bench window: " << (saved ? benchPath : benchPath + " (not written)") << '\n';
    window.Leave();
    for (int i = 0; i < bench->ChannelCount(); ++i) {
        const CChannel& channel = bench->ChannelAt(i);
        if (!channel.portHandle && channel.Port().isEmpty()) {
            continue;  // the channel still searching for a fifth module
        }
        const CGraf& curve = channel.curveWindow;
        report.points += curve.store.PointCount();
        const QString autosave = QFileInfo(curve.dataFolder + curve.autosaveName +
                                           (curve.store.chargeCurve != 0 ? QStringLiteral(".zar")
                                                                         : QStringLiteral(".raz")))
                                     .absoluteFilePath();
        out << "  " << channel.Port() << ": " << channel.Texts().displayLine1 << " | "
            << channel.Texts().displayLine2 << ", " << curve.store.PointCount()
            << " points, autosave "
            << (QFileInfo::exists(autosave) ? autosave : autosave + " (not written)") << '\n';
    }
    window.close();
    bench.reset();
    ReportJournal(report, out);
    report.exitCode = saved ? 0 : 1;
    return report;
}

}  // namespace

HeadlessDemoReport RunHeadlessDemo(const HeadlessDemoOptions& options, QTextStream& out) {
    HeadlessDemoReport report;
    if (!options.folder.isEmpty() && !QDir::setCurrent(options.folder)) {
        QTextStream(stderr) << "brimvolt: cannot work in " << options.folder << '\n';
        return report;
    }
    const QDir folder(QDir::currentPath());

    std::unique_ptr<platform::CPortSystem> ports =
        options.systemPorts ? platform::MakeSystemPorts(options.extraPorts)
                            : platform::MakePathPorts(options.extraPorts);
    if (options.bench) {
        return RunHeadlessBench(options, out, std::move(ports));
    }
    ports = sim::MakeDemoPorts(std::move(ports), options.speed);
    CConsoleDialogs dialogs;
    // The window holds the whole curve store, so it lives on the heap, as in the program.
    auto dialog = std::make_unique<CBrimvoltDlg>(*ports, dialogs, options.journalPath);
    if (options.mqtt) {
        dialog->PublishOverMqtt(*options.mqtt);
    }
    dialog->Create();
    report.journalPath = dialog->JournalPath();

    // Ctrl+C, `kill`, a logout: the window leaves as the program's does (the run recorded as
    // interrupted, the autosave written), and the demo stops waiting and reports what it has.
    CSessionEnd sessionEnd;
    QObject::connect(&sessionEnd, &CSessionEnd::EndRequested, dialog.get(),
                     &CBrimvoltDlg::OnSessionEnd);
    bool left = false;
    QObject::connect(dialog.get(), &QDialog::finished, dialog.get(), [&left] { left = true; });
    QElapsedTimer runClock;
    runClock.start();

    if (!RunEventsUntil([&] { return left || dialog->Channel().portHandle != nullptr; },
                        options.connectTimeoutMs)) {
        QTextStream(stderr) << "brimvolt: the demo module was not found: "
                            << dialog->Picture().message << '\n';
        return report;
    }

    // The operator's click: the handler leaves 'p' pending for the next poll tick.
    auto* start = qobject_cast<QAbstractButton*>(dialog->Control(kStartButton));
    if (!left && start) {
        start->click();
    }
    if (!RunEventsUntil([&] { return left || dialog->Channel().running != 0; }, kRunStartTimeoutMs)) {
        QTextStream(stderr) << "brimvolt: the module did not report a running discharge\n";
    }
    const auto runMs = static_cast<int>(
        std::lround(std::clamp(options.seconds, 0.0, kHeadlessDemoMaxSeconds) * 1000.0));
    RunEventsUntil([&] { return left; }, runMs);
    const bool endedEarly = left;
    const double ranSeconds = static_cast<double>(runClock.elapsed()) / 1000.0;

    CGraf& curve = dialog->Channel().curveWindow;
    const QString mainPath = folder.absoluteFilePath(QStringLiteral("main-window.png"));
    const QString curvePath = folder.absoluteFilePath(QStringLiteral("curve-window.png"));
    const QPixmap mainPicture = Grab(*dialog);
    const QPixmap curvePicture = Grab(curve);
    const bool mainSaved = SavePng(mainPicture, mainPath);
    const bool curveSaved = SavePng(curvePicture, curvePath);
    report.mainWindowSize = dialog->size();
    report.curveWindowSize = curve.size();
    report.mainPicturePath = mainPath;
    report.curvePicturePath = curvePath;

    const CBrimvoltDlg::DisplayPicture picture = dialog->Picture();
    const std::int32_t points = curve.store.PointCount();
    report.points = points;
    if (picture.kind == CBrimvoltDlg::DisplayPicture::Kind::Lines) {
        report.displayLine1 = picture.line1;
        report.displayLine2 = picture.line2;
    } else {
        report.displayLine1 = picture.message;
    }
    const std::int32_t duration = curve.store.durationSeconds;
    const QString autosaveName =
        curve.autosaveName +
        (curve.store.chargeCurve != 0 ? QStringLiteral(".zar") : QStringLiteral(".raz"));

    // Leaving as the operator does, unless the window has left already; the running discharge
    // is confirmed by the dialogs above, and the exit path writes the autosave's last point.
    auto* exit = qobject_cast<QAbstractButton*>(dialog->Control(resources::kIdCancel));
    if (!endedEarly && exit) {
        exit->click();
    }
    const QString autosavePath = QFileInfo(curve.dataFolder + autosaveName).absoluteFilePath();
    const QString colorsPath =
        QFileInfo(curve.dataFolder + QStringLiteral("Colors.ini")).absoluteFilePath();
    report.autosavePath = autosavePath;
    report.colorsPath = colorsPath;
    const auto existing = [](const QString& path) {
        return QFileInfo::exists(path) ? path : path + QStringLiteral(" (not written)");
    };

    out << "Brimvolt demo without a display: " << SecondsText(options.seconds) << " s at "
        << SecondsText(options.speed) << " times the module's speed\n";
    if (endedEarly) {
        out << "  ended:        asked to end after " << SecondsText(ranSeconds) << " s\n";
    }
    out << "  main window:  " << (mainSaved ? mainPath : mainPath + " (not written)") << '\n';
    out << "  curve window: " << (curveSaved ? curvePath : curvePath + " (not written)") << '\n';
    // A file left by an earlier run may stand there although this run could not write it.
    out << "  autosave:     "
        << (curve.AutosaveFailing() ? autosavePath + " (not written)" : existing(autosavePath))
        << '\n';
    out << "  colours:      " << existing(colorsPath) << '\n';
    out << "  display:      " << report.displayLine1 << '\n';
    if (!report.displayLine2.isEmpty()) {
        out << "                " << report.displayLine2 << '\n';
    }
    out << "  points:       " << points << " (curve time " << TimeOfSeconds(duration) << ")\n";

    // The window writes the rest of the journal as it goes.
    dialog.reset();
    ReportJournal(report, out);

    report.exitCode = mainSaved && curveSaved ? 0 : 1;
    return report;
}

int RunHeadlessDemo(const HeadlessDemoOptions& options) {
    QTextStream out(stdout);
    return RunHeadlessDemo(options, out).exitCode;
}

std::optional<double> HeadlessDemoSeconds(QStringView text) {
    const QByteArray bytes = text.toLatin1();
    double seconds = 0.0;
    const auto [end, error] =
        std::from_chars(bytes.constData(), bytes.constData() + bytes.size(), seconds);
    if (bytes.isEmpty() || error != std::errc() || end != bytes.constData() + bytes.size() ||
        !(seconds > 0.0) || seconds > kHeadlessDemoMaxSeconds) {
        return std::nullopt;
    }
    return seconds;
}

}  // namespace brimvolt
