// The autosave against a program killed outright: whenever the process dies, temp.raz must be a
// whole curve file, the one before or the one being written, never a cut one.
//
// The program runs in a child process made of this test binary (the child test below, which
// skips itself unless the parent sets its folder in the environment): the main window with the
// demo module, a long curve loaded through the curve window's menu so every autosave is large,
// the module's time set from the curve and a discharge started with the operator's buttons, so
// the autosave is rewritten with every new point.

#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "app/BrimvoltDlg.h"
#include "curvefile/CurveFileReader.h"
#include "curvefile/CurveFileWriter.h"
#include "sim/InProcessPort.h"
#include "support/ScriptedDialogs.h"

namespace {

using brimvolt::CurveReadStatus;
using brimvolt::CurveStore;

const char* const kChildFolderVariable = "BRIMVOLT_CRASH_CHILD";
constexpr int kStartButton = 1007;
constexpr int kTimeCapacityButton = 1023;
constexpr std::int32_t kLongCurvePoints = 150000;
constexpr int kKills = 20;

bool RunEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    return QTest::qWaitFor(done, timeoutMs);
}

void Click(CBrimvoltDlg& dialog, int id) {
    if (auto* button = qobject_cast<QAbstractButton*>(dialog.Control(id))) {
        button->click();
    }
}

// The child: runs until the parent kills it, or gives up on its own after two minutes so that
// no orphan outlives a parent that died first.
TEST(CrashSafetyChild, RecordsUntilKilled) {
    const QString folder = qEnvironmentVariable(kChildFolderVariable);
    if (folder.isEmpty()) {
        GTEST_SKIP() << "runs only as the child of the crash test";
    }
    ASSERT_TRUE(QDir::setCurrent(folder));
    auto ports = brimvolt::sim::MakeDemoPorts(nullptr, 20.0);
    brimvolt::testing::ScriptedDialogs dialogs;
    dialogs.paths.push_back(QDir(folder).filePath("long.raz"));
    auto dialog = std::make_unique<CBrimvoltDlg>(*ports, dialogs);
    // The kills are what is tested here: every point rewrites the large autosave.
    dialog->Channel().curveWindow.autosaveBytesPerSecond = 0;
    dialog->Create();
    ASSERT_TRUE(RunEventsUntil(
        [&] {
            return dialog->Channel().portHandle &&
                   dialog->Picture().kind == CBrimvoltDlg::DisplayPicture::Kind::Lines;
        },
        60000));

    // Load the long curve, hand its time and capacity to the module, and go on from there.
    dialog->Channel().curveWindow.OnSysCommand(CGraf::kLoadCommand);
    const std::int32_t loadedDuration = dialog->Channel().curveWindow.store.durationSeconds;
    ASSERT_EQ(loadedDuration, kLongCurvePoints - 1);
    Click(*dialog, kTimeCapacityButton);
    ASSERT_TRUE(RunEventsUntil([&] { return dialog->Channel().elapsedSeconds >= loadedDuration; }, 60000));
    Click(*dialog, kStartButton);
    ASSERT_TRUE(RunEventsUntil([&] { return dialog->Channel().running != 0; }, 60000));
    QTextStream(stdout) << "READY" << Qt::endl;

    RunEventsUntil([] { return false; }, 120000);
}

/** The long curve every child loads: distinct voltages, so each point is a line of the file. */
void WriteLongCurve(const QString& path) {
    auto store = std::make_unique<CurveStore>();
    store->curveCapacityText = QStringLiteral("2.345Ah");
    for (std::int32_t i = 0; i < kLongCurvePoints; ++i) {
        store->sampleTimes[i] = i;
        store->sampleMillivolts[i] = static_cast<std::uint16_t>(4200 - i / 200 + i % 2 * 3);
    }
    store->lastIndex = kLongCurvePoints - 1;
    store->durationSeconds = kLongCurvePoints - 1;
    ASSERT_TRUE(brimvolt::WriteCurveFile(path, *store));
}

std::int32_t PointsInFile(const QString& path) {
    QFile file(path);
    auto store = std::make_unique<CurveStore>();
    if (!file.open(QIODevice::ReadOnly) ||
        brimvolt::ReadCurve(file, *store).status != CurveReadStatus::Loaded) {
        return -1;
    }
    return store->PointCount();
}

/**
 * A whole curve file: the byte-order mark, whole UTF-16 units, a last line ended, a curve that
 * loads with at least the loaded curve's points and not many more, and a last point whose time
 * is the one the header announces.
 */
::testing::AssertionResult WholeCurveFile(const QByteArray& bytes, std::int32_t loadedPoints,
                                          std::int32_t* duration) {
    if (!bytes.startsWith("\xFF\xFE") || bytes.size() % 2 != 0) {
        return ::testing::AssertionFailure() << "not UTF-16LE text, " << bytes.size() << " bytes";
    }
    if (!bytes.endsWith(QByteArray("\r\0\n\0", 4))) {
        return ::testing::AssertionFailure()
               << "the last line is cut, " << bytes.size() << " bytes";
    }
    auto store = std::make_unique<CurveStore>();
    const auto read = brimvolt::ReadCurveBytes(bytes, *store);
    if (read.status != CurveReadStatus::Loaded) {
        return ::testing::AssertionFailure() << "does not load";
    }
    if (store->PointCount() < loadedPoints || store->PointCount() > loadedPoints + 5000) {
        return ::testing::AssertionFailure()
               << store->PointCount() << " points, the loaded curve had " << loadedPoints;
    }
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()),
                                            std::min<qsizetype>(bytes.size() / 2, 200));
    const QRegularExpressionMatch header =
        QRegularExpression(QStringLiteral("Время: (\\d+):(\\d\\d):(\\d\\d)")).match(text);
    if (!header.hasMatch()) {
        return ::testing::AssertionFailure() << "no time in the header";
    }
    const std::int32_t announced = header.captured(1).toInt() * 3600 +
                                   header.captured(2).toInt() * 60 + header.captured(3).toInt();
    if (store->sampleTimes[store->lastIndex] != announced) {
        return ::testing::AssertionFailure()
               << "the header says " << announced << " s, the last point is at "
               << store->sampleTimes[store->lastIndex] << " s";
    }
    *duration = announced;
    return ::testing::AssertionSuccess();
}

/** Watches the folder for writes to the autosave or to a file standing in for it. */
class AutosaveWatch {
public:
    explicit AutosaveWatch(const QString& folder) {
        fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd >= 0) {
            ::inotify_add_watch(fd, QFile::encodeName(folder).constData(),
                                IN_MODIFY | IN_CREATE | IN_MOVED_TO);
        }
    }
    ~AutosaveWatch() {
        if (fd >= 0) {
            ::close(fd);
        }
    }

    void Drain() { WaitForWrite(0); }

    /** Whether a write under a "temp." name came within timeoutMs. */
    bool WaitForWrite(int timeoutMs) {
        if (fd < 0) {
            return false;
        }
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            alignas(inotify_event) char buffer[4096];
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && QByteArray(event->name).startsWith("temp.") &&
                    timeoutMs > 0) {
                    return true;
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
            const auto left = timeoutMs - clock.elapsed();
            if (left <= 0) {
                return false;
            }
            pollfd wait{fd, POLLIN, 0};
            ::poll(&wait, 1, static_cast<int>(left));
        }
    }

private:
    int fd = -1;
};

// Twenty kills of a program rewriting a large autosave at every point: half of them the moment
// the folder sees the autosave being written, half at a random moment. After each, temp.raz is
// the previous whole file or the new whole file.
TEST(CrashSafety, AutosaveSurvivesKillsWhileBeingRewritten) {
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString longCurve = work.filePath("long.raz");
    WriteLongCurve(longCurve);
    const std::int32_t loadedPoints = PointsInFile(longCurve);
    ASSERT_GT(loadedPoints, kLongCurvePoints / 2);
    const QString autosave = work.filePath("temp.raz");

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kChildFolderVariable, work.path());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> delayMs(0, 1500);
    AutosaveWatch watch(work.path());

    int killsDuringWrite = 0;
    int filesSeen = 0;
    std::vector<std::int32_t> durations;
    for (int kill = 0; kill < kKills; ++kill) {
        SCOPED_TRACE(kill);
        QProcess child;
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::SeparateChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=CrashSafetyChild.RecordsUntilKilled"});
        ASSERT_TRUE(child.waitForStarted(30000));
        QByteArray output;
        QElapsedTimer clock;
        clock.start();
        while (!output.contains("READY") && clock.elapsed() < 60000 &&
               child.state() == QProcess::Running) {
            child.waitForReadyRead(200);
            output += child.readAllStandardOutput();
        }
        ASSERT_TRUE(output.contains("READY"))
            << output.constData() << child.readAllStandardError().constData();

        QThread::msleep(static_cast<unsigned long>(delayMs(random)));
        if (kill % 2 == 0) {
            watch.Drain();
            killsDuringWrite += watch.WaitForWrite(10000) ? 1 : 0;
        }
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        ASSERT_TRUE(child.waitForFinished(10000));
        ASSERT_EQ(child.exitStatus(), QProcess::CrashExit);

        QFile file(autosave);
        if (!file.open(QIODevice::ReadOnly)) {
            continue;  // killed before the first autosave of all
        }
        ++filesSeen;
        std::int32_t duration = 0;
        ASSERT_TRUE(WholeCurveFile(file.readAll(), loadedPoints, &duration));
        durations.push_back(duration);
    }
    // The test is only worth something if the autosave was really being rewritten: most kills
    // found a file, files of different lengths were seen, and kills landed on writes.
    EXPECT_GE(filesSeen, kKills - 2);
    std::sort(durations.begin(), durations.end());
    EXPECT_GE(std::unique(durations.begin(), durations.end()) - durations.begin(), 3);
    EXPECT_GE(killsDuringWrite, kKills / 4);
}

}  // namespace
