#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstdint>
#include <optional>

#include "mqtt/MqttSettings.h"

class QTextStream;

namespace brimvolt {

/** How a demo without a screen runs: `brimvolt --demo=SPEED --headless-demo=SECONDS`. */
struct HeadlessDemoOptions {
    double speed = 200.0;     // the demo module's clock, times real time
    double seconds = 25.0;    // how long the run goes on after the start button
    QStringList extraPorts;   // --extra-port paths, listed as the program lists them
    bool systemPorts = true;  // the computer's own ports are probed too, as in the program
    QString folder;           // the working folder (Colors.ini, temp.raz, pictures); empty: current
    QString journalPath;      // the run journal; empty: journal.sqlite in the working folder
    int connectTimeoutMs = 30000;
    std::optional<MqttSettings> mqtt;  // --mqtt: the demo bench publishes as a real one does
    bool bench = false;  // --bench: four demo modules, a run on each, the bench window pictured
};

/** The longest demo run accepted, in seconds of real time. */
inline constexpr double kHeadlessDemoMaxSeconds = 3600.0;

/** What a headless demo left and saw. */
struct HeadlessDemoReport {
    int exitCode = 1;
    QSize mainWindowSize;  // the windows as grabbed
    QSize curveWindowSize;
    QString mainPicturePath;
    QString curvePicturePath;
    QString autosavePath;
    QString colorsPath;
    QString displayLine1;  // the display block's lines, or its message in line 1
    QString displayLine2;
    std::int32_t points = 0;  // points in the curve store, point 0 included
    QString journalPath;
    QByteArray journalRuns;  // the journal's runs as `brimvolt-journal list` prints them
};

/**
 * The real main window on whatever platform Qt runs (offscreen on a machine without a display):
 * waits for discovery to find the "DEMO" module, presses the start button as an operator would,
 * lets the run go on for options.seconds, then saves main-window.png and curve-window.png in the
 * working folder, reports them, the autosave, Colors.ini, the display block's two lines and the
 * number of recorded points on `out`, and leaves through the exit button, confirming the
 * question about the running discharge; then lists the runs of the journal it kept. Asked to end
 * from outside (SIGTERM, SIGINT, SIGHUP, the console closed) it leaves at once as the program
 * does, the run recorded as interrupted and the autosave written, and reports what it has.
 * Messages the program would show go to standard error. Needs a QApplication. The exit code is 0,
 * or 1 when the module was not found or a picture could not be written.
 */
HeadlessDemoReport RunHeadlessDemo(const HeadlessDemoOptions& options, QTextStream& out);
/** The same, reporting on standard output; the process's exit code. */
int RunHeadlessDemo(const HeadlessDemoOptions& options);

/** The seconds of `--headless-demo=SECONDS`: a number above 0 and at most an hour; else nullopt. */
std::optional<double> HeadlessDemoSeconds(QStringView text);

}  // namespace brimvolt
