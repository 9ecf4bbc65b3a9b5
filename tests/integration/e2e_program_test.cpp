#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>

#include "curvefile/CurveFileReader.h"
#include "plot/CurveStore.h"
#include "support/ChildProcess.h"

using brimvolt::CurveStore;
using brimvolt::testing::Bin;
using brimvolt::testing::Child;

namespace {

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
        {{"--help"},
         0,
         {"--extra-port PATH", "--demo[=SPEED]", "--headless-demo", "--mqtt URL",
          "--mqtt-prefix PREFIX", "BRIMVOLT_MQTT_PASSWORD", "--version"}},
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

TEST(ProgramEndToEnd, RefusesABadProgramFileBeforeAnyWindow) {
    if (qEnvironmentVariableIsEmpty("BRIMVOLT_BIN")) {
        GTEST_SKIP() << "BRIMVOLT_BIN is not set";
    }
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString path = work.filePath(QStringLiteral("bad.json"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"name": "n", "steps": [{"charge": {"current_A": 1, "cutoff_V": 4.2}},
                  {"discharge": {"current_A": 1, "cutoff_V": 30}}]})");
    file.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(QLatin1String(name));
    }
    Child program;
    program.process.setProcessEnvironment(environment);
    program.process.start(Bin("brimvolt"), {"--program", path});
    ASSERT_TRUE(program.process.waitForFinished(30000));
    EXPECT_EQ(program.process.exitCode(), 2);
    const QString err = QString::fromUtf8(program.process.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("step 2: cutoff_V: must be 0.7 to 16")))
        << err.toStdString();
    EXPECT_EQ(err.count(QLatin1Char('\n')), 1) << err.toStdString();
}

TEST(ProgramEndToEnd, StartsTheProgramFileWhenTheModuleIsFound) {
    if (qEnvironmentVariableIsEmpty("BRIMVOLT_BIN")) {
        GTEST_SKIP() << "BRIMVOLT_BIN is not set";
    }
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString path = work.filePath(QStringLiteral("charge.json"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"name": "e2e", "steps": [{"charge": {"current_A": 0.5, "cutoff_V": 4.1}}]})");
    file.close();
    const QString link = work.filePath(QStringLiteral("LINK"));
    Child sim;
    ASSERT_TRUE(brimvolt::testing::StartSim(sim, link, {"--speed", "20", "--soc", "50"}));
    Child program;
    ASSERT_TRUE(brimvolt::testing::StartProgram(program, work.path(),
                                                {"--extra-port", link, "--program", path}));

    // The module, asked for its state, shows the program's charge: its current, running.
    QDeadlineTimer deadline(60000);
    QString said;
    bool charging = false;
    while (!charging && !deadline.hasExpired() && program.process.state() == QProcess::Running) {
        QThread::msleep(500);
        sim.Signal(SIGUSR2);
        sim.process.waitForReadyRead(1000);
        said += QString::fromUtf8(sim.process.readAllStandardError());
        charging = said.contains(QStringLiteral(", 500 mA,")) &&
                   (said.contains(QStringLiteral("flags 0x8")) ||
                    said.contains(QStringLiteral("flags 0x9")));
    }
    EXPECT_TRUE(charging) << said.toStdString();
}

TEST(ProgramEndToEnd, FindsTheModuleAndAutosavesTheRunningCurve) {
    if (qEnvironmentVariableIsEmpty("BRIMVOLT_BIN")) {
        GTEST_SKIP() << "BRIMVOLT_BIN is not set";
    }
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString link = work.filePath(QStringLiteral("LINK"));

    Child sim;
    ASSERT_TRUE(brimvolt::testing::StartSim(sim, link, {"--run", "--speed", "20"}))
        << "the simulator made no link";
    Child program;
    ASSERT_TRUE(brimvolt::testing::StartProgram(program, work.path(), {"--extra-port", link}));

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
