#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <initializer_list>
#include <memory>

#include "curvefile/CurveFileWriter.h"
#include "platform/Text.h"
#include "support/FileTraps.h"

namespace brimvolt {
namespace {

struct Point {
    std::int32_t seconds;
    std::uint16_t millivolts;
};

std::unique_ptr<CurveStore> MakeStore(std::initializer_list<Point> points,
                                      const QString& capacity = "0.012Ah") {
    auto store = std::make_unique<CurveStore>();
    store->curveCapacityText = capacity;
    std::int32_t i = 0;
    for (const Point& p : points) {
        store->sampleTimes[i] = p.seconds;
        store->sampleMillivolts[i] = p.millivolts;
        ++i;
    }
    store->lastIndex = i - 1;
    store->durationSeconds = store->sampleTimes[store->lastIndex];
    return store;
}

QString FileText(const QByteArray& bytes) {
    EXPECT_TRUE(bytes.startsWith(QByteArray("\xFF\xFE", 2)));
    return platform::TextFromUtf16Le(bytes.mid(2));
}

// The data lines of a written file, after the four header lines.
QStringList DataLines(const QByteArray& bytes) {
    QStringList lines = FileText(bytes).split("\r\n");
    EXPECT_EQ(lines.takeLast(), QString()) << "the last line ends with CR LF";
    return lines.mid(4);
}

TEST(CurveFileWriter, WritesTheTableFormByteForByte) {
    auto store = MakeStore({{0, 3800}, {1, 3800}, {2, 3790}, {3, 3790}});
    const QString expected = QString::fromUtf16(
        u"Емкость: 0.012Ah\r\n"
        u"Время: 00:00:03\r\n"
        u"\r\n"
        u"Секунды\tНапряжение\r\n"
        u"0\t3,800\tV\r\n"
        u"2\t3,790\tV\r\n"
        u"3\t3,790\tV\r\n");
    EXPECT_EQ(CurveFileBytes(*store), QByteArray("\xFF\xFE", 2) + platform::Utf16LeBytes(expected));
}

TEST(CurveFileWriter, TimeLineCarriesHoursMinutesSecondsOfTheDuration) {
    struct Case {
        std::int32_t duration;
        const char* line;
        int hours, minutes, seconds;
    };
    const Case cases[] = {
        {3, "00:00:03", 0, 0, 3},
        {3723, "01:02:03", 1, 2, 3},
        {360000, "100:00:00", 100, 0, 0},
        {255 * 3600 + 59 * 60 + 59, "255:59:59", 255, 59, 59},
    };
    for (const auto& c : cases) {
        auto store = MakeStore({{0, 4000}, {c.duration, 3900}});
        const QStringList lines = FileText(CurveFileBytes(*store)).split("\r\n");
        EXPECT_EQ(lines[1], QStringLiteral("Время: ") + c.line);
        EXPECT_EQ(store->headerHours, c.hours);
        EXPECT_EQ(store->headerMinutes, c.minutes);
        EXPECT_EQ(store->headerSeconds, c.seconds);
    }
}

TEST(CurveFileWriter, DataLinesUseDecimalCommaAndTheCapacityLineKeepsItsPoint) {
    auto store = MakeStore({{0, 0}, {1, 5}, {2, 3712}, {3, 65535}, {125, 10000}}, "2.345Ah");
    const QByteArray bytes = CurveFileBytes(*store);
    EXPECT_TRUE(FileText(bytes).startsWith(u"Емкость: 2.345Ah\r\n"));
    EXPECT_EQ(DataLines(bytes), QStringList({"0\t0,000\tV", "1\t0,005\tV", "2\t3,712\tV",
                                             "3\t65,535\tV", "125\t10,000\tV"}));
}

TEST(CurveFileWriter, LeavesOutRepeatedVoltagesButAlwaysWritesFirstAndLastPoints) {
    struct Case {
        std::initializer_list<Point> points;
        QStringList lines;
    };
    const Case cases[] = {
        {{{0, 3800}, {1, 3800}, {2, 3800}, {3, 3800}}, {"0\t3,800\tV", "3\t3,800\tV"}},
        {{{0, 3800}, {1, 3790}, {2, 3800}, {3, 3700}},
         {"0\t3,800\tV", "1\t3,790\tV", "2\t3,800\tV", "3\t3,700\tV"}},
        // A point equal to its predecessor is left out even after a change further back.
        {{{0, 1}, {1, 2}, {2, 2}, {3, 1}, {4, 1}, {5, 1}},
         {"0\t0,001\tV", "1\t0,002\tV", "3\t0,001\tV", "5\t0,001\tV"}},
        {{{0, 3800}, {1, 3800}}, {"0\t3,800\tV", "1\t3,800\tV"}},
    };
    for (const auto& c : cases) {
        auto store = MakeStore(c.points);
        EXPECT_EQ(DataLines(CurveFileBytes(*store)), c.lines);
    }
}

TEST(CurveFileWriter, FirstPointIsWrittenAtTimeZero) {
    auto store = MakeStore({{7, 3800}, {8, 3700}});
    EXPECT_EQ(DataLines(CurveFileBytes(*store)), QStringList({"0\t3,800\tV", "8\t3,700\tV"}));
}

TEST(CurveFileWriter, OnePointCurveHasASingleDataLine) {
    // Writing the point twice would reload as two points at time 0.
    auto store = MakeStore({{0, 4100}});
    EXPECT_EQ(DataLines(CurveFileBytes(*store)), QStringList({"0\t4,100\tV"}));
    // A one-line file loads as a single point at its own time; saving it again keeps that time.
    auto later = MakeStore({{5, 3700}});
    EXPECT_EQ(DataLines(CurveFileBytes(*later)), QStringList({"0\t3,700\tV", "5\t3,700\tV"}));
}

TEST(CurveFileWriter, LastIndexOutsideTheStoreStaysInsideTheArrays) {
    auto store = MakeStore({{0, 4100}, {1, 4000}});
    store->lastIndex = -3;
    EXPECT_EQ(DataLines(CurveFileBytes(*store)), QStringList({"0\t4,100\tV"}));
    store->lastIndex = CurveStore::kCapacity + 10;
    // Points beyond the two set are zero: 4100, 4000, the first zero, the last point.
    EXPECT_EQ(DataLines(CurveFileBytes(*store)).size(), 4);
}

TEST(CurveFileWriter, WriteCurveFileReplacesTheFileWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.raz");
    auto store = MakeStore({{0, 3800}, {5, 3700}});
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
    }
    ASSERT_TRUE(WriteCurveFile(path, *store));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), CurveFileBytes(*store));
}

TEST(CurveFileWriter, WriteCurveFileReportsAPathThatCannotBeCreated) {
    QTemporaryDir dir;
    auto store = MakeStore({{0, 3800}, {5, 3700}});
    EXPECT_EQ(WriteCurveFile(dir.filePath("missing/a.raz"), *store).failure,
              platform::WriteFailure::CannotCreate);

    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.raz"));
    EXPECT_FALSE(WriteCurveFile(dir.filePath("taken.raz"), *store));
    EXPECT_TRUE(QFileInfo(dir.filePath("taken.raz")).isDir());
}

// On a full disk the old file stays whole. Where no file can be made or named beside it (a name
// at the length limit, a folder that takes no new entry) it is rewritten in place, but only
// once the room is reserved. Nothing is left beside it.
TEST(CurveFileWriter, WriteCurveFileLeavesTheNewFileOrTheOldOneWhole) {
    struct Case {
        int nameLength;
        rlim_t fullDiskAt;  // 0: not full
        platform::WriteFailure failure;
    };
    const Case cases[] = {{5, 64, platform::WriteFailure::WriteFailed},
                          {250, 0, platform::WriteFailure::None},
                          {250, 64, platform::WriteFailure::WriteFailed}};
    // Small enough to sit whole in a write buffer until the file is closed.
    auto store = MakeStore({{0, 3800}, {5, 3700}});
    const QByteArray old("the old curve");
    for (const Case& c : cases) {
        QTemporaryDir dir;
        QFile file(dir.filePath(QString(c.nameLength, u'a')));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(old) && file.flush());
        file.close();
        const auto result = testing::OnFullDisk(
            c.fullDiskAt, [&] { return WriteCurveFile(file.fileName(), *store); });
        EXPECT_EQ(result.failure, c.failure) << c.nameLength << " " << c.fullDiskAt;
        EXPECT_EQ(result.reason.isEmpty(), result.Ok());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), result ? CurveFileBytes(*store) : old);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
}

TEST(CurveFileWriter, AutosaveNamesTheFileAfterTheCurveTypeAndSkipsAnEmptyCurve) {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    auto store = MakeStore({{0, 3800}, {5, 3700}});

    EXPECT_TRUE(Autosave(*store, folder));
    EXPECT_TRUE(QFile::exists(folder + "temp.raz"));
    EXPECT_FALSE(QFile::exists(folder + "temp.zar"));

    store->chargeCurve = 1;
    EXPECT_TRUE(Autosave(*store, folder));
    EXPECT_TRUE(QFile::exists(folder + "temp.zar"));

    QFile::remove(folder + "temp.zar");
    store->durationSeconds = 0;
    EXPECT_FALSE(Autosave(*store, folder));
    EXPECT_FALSE(QFile::exists(folder + "temp.zar"));
}

}  // namespace
}  // namespace brimvolt

TEST(AutosaveBudget, PauseGrowsWithTheFileAndKeepsALongRunNearAMegabyteASecond) {
    struct Case {
        std::int64_t bytes;
        std::int64_t pauseMs;
    };
    const Case cases[] = {
        {-1, 0}, {0, 0}, {900, 0}, {250'000, 250}, {1'000'000, 1000}, {30'400'000, 30'400},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(brimvolt::AutosavePauseMs(c.bytes), c.pauseMs) << c.bytes;
    }
    EXPECT_EQ(brimvolt::AutosavePauseMs(30'000'000, 0), 0) << "no budget: every point";

    // A curve of 921 600 points, one a second, each adding a line of ~33 bytes to the file: the
    // window writes at a point only when the pause after the last file is over.
    std::int64_t written = 0;
    std::int64_t writes = 0;
    std::int64_t nextMs = 0;
    for (std::int64_t second = 1; second <= 921'600; ++second) {
        const std::int64_t nowMs = second * 1000;
        const std::int64_t fileBytes = 200 + 33 * second;
        if (nowMs >= nextMs) {
            written += fileBytes;
            ++writes;
            nextMs = nowMs + brimvolt::AutosavePauseMs(fileBytes);
        }
        // While the file is small it still follows every point.
        if (second <= 20'000) {
            ASSERT_EQ(writes, second);
        }
    }
    EXPECT_LE(written / 921'600, brimvolt::kAutosaveBytesPerSecond + 40'000);
    EXPECT_GT(written / 921'600, brimvolt::kAutosaveBytesPerSecond / 2) << "not starved either";
}
