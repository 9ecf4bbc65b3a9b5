#pragma once

// The program's own binaries as child processes of a test.

#include <signal.h>

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>

namespace brimvolt::testing {

/** A binary of the build, from the folder BRIMVOLT_BIN names. */
inline QString Bin(const char* name) {
    return QString::fromLocal8Bit(qgetenv("BRIMVOLT_BIN")) + QLatin1Char('/') + QLatin1String(name);
}

/** A child process that is stopped on every way out of a test. */
struct Child {
    QProcess process;
    ~Child() {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(5000)) {
                process.kill();
                process.waitForFinished(5000);
            }
        }
    }
    void Signal(int number) const { ::kill(static_cast<pid_t>(process.processId()), number); }
};

/**
 * brimvolt-sim with `arguments`, served at `link` (--link is added); whether the link was there
 * within a minute.
 */
inline bool StartSim(Child& sim, const QString& link, QStringList arguments) {
    sim.process.start(Bin("brimvolt-sim"), arguments << QStringLiteral("--link") << link);
    if (!sim.process.waitForStarted(30000)) {
        return false;
    }
    QDeadlineTimer deadline(60000);
    while (!QFileInfo::exists(link) && !deadline.hasExpired()) {
        sim.process.waitForReadyRead(200);
    }
    return QFileInfo::exists(link);
}

/** The program without a display in `folder`; whether it started. */
inline bool StartProgram(Child& program, const QString& folder, const QStringList& arguments) {
    program.process.setWorkingDirectory(folder);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.process.setProcessEnvironment(environment);
    program.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.process.start(Bin("brimvolt"), arguments);
    return program.process.waitForStarted(30000);
}

}  // namespace brimvolt::testing
