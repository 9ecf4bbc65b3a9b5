#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "curvefile/CurveFileReader.h"
#include "plot/CurveStore.h"

using brimvolt::CurveStore;

namespace {

QString Bin(const char* name) {
    const QByteArray folder = qgetenv("BRIMVOLT_BIN");
    return QString::fromLocal8Bit(folder) + QLatin1Char('/') + QLatin1String(name);
}

// Stops a child process on every way out of a test.
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
};

// The autosave as the program left it, or an empty store while there is none to read.
bool ReadAutosave(const QString& path, CurveStore& store) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray bytes = file.readAll();
    return brimvolt::ReadCurveBytes(bytes, store).status == brimvolt::CurveReadStatus::Loaded;
}

TEST(ProgramEndToEnd, AnswersHelpVersionAndSlipsWithoutADisplay) {
    if (qEnvironmentVariableIsEmpty("BRIMVOLT_BIN")) {
        GTEST_SKIP() << "BRIMVOLT_BIN is not set";
    }
    struct Case {
        QStringList arguments;
        int exitCode;  // 0: the texts on standard output, else on standard error alone
        QStringList texts;
    };
    const Case cases[] = {
        {{"--help"}, 0, {"--extra-port PATH", "--demo[=SPEED]", "--headless-demo", "--version"}},
        {{"--version"}, 0, {"brimvolt 6."}},
        {{"--help", "--bogus"}, 2, {"--bogus", "--extra-port PATH"}},
    };
    // No window system at all: QApplication would abort here.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(QLatin1String(name));
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        Child program;
        program.process.setProcessEnvironment(environment);
        program.process.start(Bin("brimvolt"), c.arguments);
        ASSERT_TRUE(program.process.waitForFinished(30000));
        ASSERT_EQ(program.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.process.exitCode(), c.exitCode);
        const QString out = QString::fromUtf8(program.process.readAllStandardOutput());
        const QString err = QString::fromUtf8(program.process.readAllStandardError());
        EXPECT_TRUE((c.exitCode == 0 ? err : out).isEmpty());
        for (const QString& text : c.texts) {
            EXPECT_TRUE((c.exitCode == 0 ? out : err).contains(text))
                << text.toStdString() << " not in " << (out + err).toStdString();
        }
    }
}

TEST(ProgramEndToEnd, FindsTheModuleAndAutosavesTheRunningCurve) {
    if (qEnvironmentVariableIsEmpty("BRIMVOLT_BIN")) {
        GTEST_SKIP() << "BRIMVOLT_BIN is not set";
    }
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString link = work.filePath(QStringLiteral("LINK"));

    Child sim;
    sim.process.setProgram(Bin("brimvolt-sim"));
    sim.process.setArguments({QStringLiteral("--run"), QStringLiteral("--speed"),
                              QStringLiteral("20"), QStringLiteral("--link"), link});
    sim.process.start();
    ASSERT_TRUE(sim.process.waitForStarted(10000));
    QDeadlineTimer linkDeadline(20000);
    while (!QFileInfo::exists(link) && !linkDeadline.hasExpired()) {
        sim.process.waitForReadyRead(200);
    }
    ASSERT_TRUE(QFileInfo::exists(link)) << "the simulator made no link";

    Child program;
    program.process.setProgram(Bin("brimvolt"));
    program.process.setArguments({QStringLiteral("--extra-port"), link});
    program.process.setWorkingDirectory(work.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.process.setProcessEnvironment(environment);
    program.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.process.start();
    ASSERT_TRUE(program.process.waitForStarted(10000));

    // The run started before the program did, so the curve is picked up mid-run and grows by
    // about 20 module seconds every real second.
    const QString autosave = work.filePath(QStringLiteral("temp.raz"));
    CurveStore store;
    QDeadlineTimer deadline(60000);
    bool grown = false;
    while (!deadline.hasExpired() && program.process.state() == QProcess::Running) {
        QThread::msleep(500);
        CurveStore read;
        if (ReadAutosave(autosave, read) && read.lastIndex >= 5 && read.durationSeconds >= 60) {
            store = std::move(read);
            grown = true;
            break;
        }
    }
    ASSERT_EQ(program.process.state(), QProcess::Running) << "the program ended by itself";
    ASSERT_TRUE(grown) << "no growing curve in " << autosave.toStdString();

    EXPECT_TRUE(QFileInfo::exists(work.filePath(QStringLiteral("Colors.ini"))));
    EXPECT_EQ(store.sampleTimes[0], 0);
    EXPECT_EQ(store.durationSeconds, store.sampleTimes[store.lastIndex]);
    for (int i = 1; i <= store.lastIndex; ++i) {
        EXPECT_GT(store.sampleTimes[i], store.sampleTimes[i - 1]) << "point " << i;
        EXPECT_GT(store.sampleMillivolts[i], 2000) << "point " << i;
        EXPECT_LT(store.sampleMillivolts[i], 4500) << "point " << i;
    }
    EXPECT_TRUE(store.curveCapacityText.endsWith(QLatin1String("Ah")));
}

}  // namespace
