// brimvolt-journal png: runs of a journal drawn compared, read back as images.

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <vector>

#include "journal/Journal.h"
#include "plot/ComparisonFigure.h"

namespace {

using namespace brimvolt;

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

class JournalPng : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = std::make_unique<QTemporaryDir>();
        CJournal journal;
        ASSERT_TRUE(journal.Open(dir->filePath("journal.sqlite")).Usable());
        // Three discharges of different cells: different lengths, currents and sag.
        for (int k = 0; k < 3; ++k) {
            RunRecord run;
            run.startedUtc = 1'700'000'000 + 86400 * k;
            run.port = "ttyUSB0";
            run.label = QString("cell %1").arg(k + 1);
            std::vector<JournalSample> samples;
            const int seconds = 3000 + 1500 * k;
            for (int t = 0; t <= seconds; t += 5) {
                JournalSample sample;
                sample.seconds = t;
                sample.voltageMv = static_cast<std::uint16_t>(4150 - (300 + 250 * k) * t / seconds);
                sample.currentMa = static_cast<std::uint16_t>(1000 + 500 * k);
                sample.capacityMah = sample.currentMa * t / 3600;
                samples.push_back(sample);
                run.energyUj += IntervalEnergyUj(t - 5, sample);
            }
            run.capacityMah = samples.back().capacityMah;
            run.durationSeconds = seconds;
            run.sampleCount = static_cast<std::int32_t>(samples.size());
            ASSERT_EQ(journal.SaveRun(run, samples), CJournal::SaveResult::Saved);
        }
    }
    static void TearDownTestSuite() { dir.reset(); }

    static ToolRun Tool(const QStringList& arguments) {
        QProcess process;
        process.setWorkingDirectory(dir->path());
        process.start(qEnvironmentVariable("BRIMVOLT_BIN") + "/brimvolt-journal", arguments);
        ToolRun run;
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
            ADD_FAILURE() << "brimvolt-journal did not finish";
            return run;
        }
        run.exitCode = process.exitCode();
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        return run;
    }

    static QString Path(const QString& name) { return dir->filePath(name); }

    static inline std::unique_ptr<QTemporaryDir> dir;
};

int PixelsNear(const QImage& image, QColor color) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            count += std::abs(pixel.red() - color.red()) + std::abs(pixel.green() - color.green()) +
                                 std::abs(pixel.blue() - color.blue()) <
                             30
                         ? 1
                         : 0;
        }
    }
    return count;
}

}  // namespace

TEST_F(JournalPng, DrawsEachRunInItsOwnColourOnEveryAxis) {
    for (const char* axis : {"time", "capacity", "energy"}) {
        SCOPED_TRACE(axis);
        const ToolRun run =
            Tool({"png", "1", "2", "3", Path("cmp.png"), "--x", axis, "--size", "800x500"});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        const QImage image(Path("cmp.png"));
        ASSERT_EQ(image.size(), QSize(800, 500));
        for (int k = 0; k < 3; ++k) {
            // A curve across the plot, and its legend mark.
            EXPECT_GE(PixelsNear(image, FigurePaletteColor(k)), 300) << "run " << k + 1;
        }
        EXPECT_LT(PixelsNear(image, FigurePaletteColor(3)), 20);
    }
    const ToolRun svg = Tool({"png", "3", "1", Path("cmp.svg")});
    ASSERT_EQ(svg.exitCode, 0) << svg.err.toStdString();
    QFile file(Path("cmp.svg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("<svg"));
    EXPECT_TRUE(text.contains("cell 3"));
    EXPECT_TRUE(text.contains("cell 1"));
}

TEST_F(JournalPng, BadInputFailsWithOneClearLine) {
    struct Case {
        QStringList arguments;
        int exitCode;
        const char* says;
    };
    const std::vector<Case> cases = {
        {{"png", "1", "99", Path("x.png")}, 1, "no run 99"},
        {{"png", "1", Path("no/such/folder/x.png")}, 1, "cannot create"},
        {{"png", Path("x.png")}, 2, "wrong number of arguments for png"},
        {{"png", "1", "two", Path("x.png")}, 2, "not a run number: two"},
        {{"png", "1", Path("x.png"), "--x", "volts"}, 2, "--x wants time, capacity or energy"},
        {{"png", "1", Path("x.png"), "--size", "80x60"}, 2, "--size wants WIDTHxHEIGHT"},
        {{"png", "1", Path("x.png"), "--size", "wide"}, 2, "--size wants WIDTHxHEIGHT"},
        {{"png", "1", Path("x.png"), "--size"}, 2, "--size needs a value"},
        {{"csv", "1", "--x", "time"}, 2, "--x and --size are options of png only"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const ToolRun run = Tool(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.says)) << run.err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(Path("x.png")));
}
