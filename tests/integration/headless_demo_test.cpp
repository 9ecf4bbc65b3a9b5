#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <csignal>
#include <optional>

#include "app/HeadlessDemo.h"
#include "curvefile/CurveFileReader.h"
#include "journal/Journal.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"

namespace {

using brimvolt::CurveReadStatus;
using brimvolt::CurveStore;
using brimvolt::HeadlessDemoOptions;
using brimvolt::RunState;
using brimvolt::testing::Child;

// The demo changes the process's current folder; the suites after it must not notice.
class CurrentFolderGuard {
public:
    CurrentFolderGuard() : saved(QDir::currentPath()) {}
    ~CurrentFolderGuard() { QDir::setCurrent(saved); }

private:
    QString saved;
};

int PixelsOfColour(const QImage& image, QRgb colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF) ? 1 : 0;
        }
    }
    return count;
}

// The picture files the demo leaves are what an operator would have seen: both windows at their
// own sizes, the curve drawn in the colour Colors.ini gives, and the autosave a curve of its own.
TEST(HeadlessDemo, LeavesPicturesOfBothWindowsAndALoadableAutosave) {
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    CurrentFolderGuard guard;

    HeadlessDemoOptions options;
    options.speed = 400.0;
    options.seconds = 4.0;
    options.systemPorts = false;  // "DEMO" alone: the machine's own ports cost probe time
    options.folder = work.path();
    QString printed;
    QTextStream out(&printed);
    const brimvolt::HeadlessDemoReport report = brimvolt::RunHeadlessDemo(options, out);
    out.flush();
    ASSERT_EQ(report.exitCode, 0) << printed.toStdString();

    const QDir folder(work.path());
    const QImage mainImage(folder.filePath("main-window.png"));
    const QImage curveImage(folder.filePath("curve-window.png"));
    ASSERT_FALSE(mainImage.isNull());
    ASSERT_FALSE(curveImage.isNull());
    EXPECT_EQ(mainImage.size(), report.mainWindowSize);
    EXPECT_EQ(curveImage.size(), report.curveWindowSize);
    // The curve window is exactly the plot's width, and taller than the empty plot once a
    // curve is drawn; the main window is a dialog of a few hundred pixels each way.
    EXPECT_EQ(curveImage.width(), 720);
    EXPECT_GT(curveImage.height(), 50);
    EXPECT_GT(mainImage.width(), 300);
    EXPECT_GT(mainImage.height(), 200);

    EXPECT_GT(PixelsOfColour(curveImage, qRgb(255, 127, 0)), 20)
        << "no curve in the default orange";
    // The display block's light green stands behind the readings.
    EXPECT_GT(PixelsOfColour(mainImage, qRgb(225, 255, 100)), 500);

    EXPECT_TRUE(QFile::exists(folder.filePath("Colors.ini")));
    QFile autosave(folder.filePath("temp.raz"));
    ASSERT_TRUE(autosave.open(QIODevice::ReadOnly));
    CurveStore curve;
    const auto read = brimvolt::ReadCurve(autosave, curve);
    EXPECT_EQ(read.status, CurveReadStatus::Loaded);
    EXPECT_GT(curve.PointCount(), 1);
    EXPECT_GT(curve.durationSeconds, 0);
    // Equal voltages in a row are written once, so the file holds at most the store's points.
    EXPECT_LE(curve.PointCount(), report.points);

    // The printed report names every file and shows the display block as it stood.
    for (const char* name : {"main-window.png", "curve-window.png", "temp.raz", "Colors.ini"}) {
        EXPECT_TRUE(printed.contains(folder.filePath(name))) << name << '\n'
                                                             << printed.toStdString();
    }
    EXPECT_TRUE(report.displayLine1.contains("V")) << report.displayLine1.toStdString();
    EXPECT_TRUE(report.displayLine2.contains(":")) << report.displayLine2.toStdString();
    EXPECT_TRUE(printed.contains(report.displayLine1));
    EXPECT_TRUE(printed.contains(report.displayLine2));
    EXPECT_TRUE(printed.contains(QString("points:       %1 ").arg(report.points)))
        << printed.toStdString();
    EXPECT_FALSE(printed.contains("not written")) << printed.toStdString();

    // The run is in the journal, left during the discharge, and listed as the tool lists it.
    EXPECT_EQ(report.journalPath, folder.filePath("journal.sqlite"));
    const QStringList runs = QString::fromUtf8(report.journalRuns).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(runs.size(), 1) << printed.toStdString();
    const QStringList fields = runs[0].split('\t');
    ASSERT_EQ(fields.size(), 11);  // the cycle and step of a program's run, empty here
    EXPECT_EQ(fields[2], "DEMO");
    EXPECT_EQ(fields[3], "discharge");
    EXPECT_EQ(fields[4], "interrupted");
    EXPECT_TRUE(printed.endsWith(runs[0] + '\n')) << printed.toStdString();
}

// The journal's only run and the second of its last sample; nullopt while there is none or the
// file is not readable.
struct RunSoFar {
    RunState state;
    std::int32_t lastSecond;
};
std::optional<RunSoFar> OnlyRun(const QString& path) {
    brimvolt::CJournal journal;
    if (!journal.Open(path, brimvolt::CJournal::OpenMode::Existing).Usable()) {
        return std::nullopt;
    }
    const auto runs = journal.Runs();
    if (!runs || runs->size() != 1) {
        return std::nullopt;
    }
    const auto samples = journal.Samples(runs->front().id);
    return RunSoFar{runs->front().state,
                    samples && !samples->empty() ? samples->back().seconds : -1};
}

// `make demo` stopped with Ctrl+C or `kill` mid-run leaves as the program does: the run is
// interrupted, not left running, the autosave holds the curve, and the status is the program's.
TEST(HeadlessDemo, SignalToEndLeavesThroughTheExitPath) {
    if (qEnvironmentVariableIsEmpty("BRIMVOLT_BIN")) {
        GTEST_SKIP() << "BRIMVOLT_BIN names no build";
    }
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        QTemporaryDir work;
        ASSERT_TRUE(work.isValid());
        const QDir folder(work.path());
        const QString journalPath = folder.filePath("journal.sqlite");
        // Far longer than the test waits: only the signal ends it.
        Child demo;
        ASSERT_TRUE(brimvolt::testing::StartProgram(demo, work.path(),
                                                    {"--demo=100", "--headless-demo=3600"}));
        // Under way: a few points in the curve, so the autosave has a curve to hold.
        const auto underWay = [&] {
            const std::optional<RunSoFar> run = OnlyRun(journalPath);
            return run && run->state == RunState::Running && run->lastSecond >= 20;
        };
        QDeadlineTimer deadline(2 * kEventuallyMs);
        while (!underWay() && !deadline.hasExpired() && demo.process.state() == QProcess::Running) {
            QTest::qWait(200);
        }
        ASSERT_TRUE(underWay()) << "the run never got under way";

        demo.Signal(signal);
        ASSERT_TRUE(demo.process.waitForFinished(60000)) << "the demo did not leave";
        EXPECT_EQ(demo.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(demo.process.exitCode(), 0);
        const std::optional<RunSoFar> left = OnlyRun(journalPath);
        ASSERT_TRUE(left);
        EXPECT_EQ(left->state, RunState::Interrupted);
        QFile autosave(folder.filePath("temp.raz"));
        ASSERT_TRUE(autosave.open(QIODevice::ReadOnly));
        CurveStore curve;
        EXPECT_EQ(brimvolt::ReadCurve(autosave, curve).status, CurveReadStatus::Loaded);
        EXPECT_GT(curve.PointCount(), 1);
        EXPECT_EQ(curve.durationSeconds, left->lastSecond) << "the last point is in the autosave";
    }
}

TEST(HeadlessDemo, SecondsOptionTakesPositiveNumbersUpToAnHour) {
    struct Case {
        const char* text;
        std::optional<double> seconds;
    };
    const Case cases[] = {
        {"25", 25.0},          {"0.5", 0.5},           {"3600", 3600.0},      {"0", std::nullopt},
        {"-3", std::nullopt},  {"3601", std::nullopt}, {"", std::nullopt},    {"2,5", std::nullopt},
        {"10s", std::nullopt}, {"nan", std::nullopt},  {"inf", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(brimvolt::HeadlessDemoSeconds(QString::fromLatin1(c.text)), c.seconds) << c.text;
    }
}

}  // namespace
