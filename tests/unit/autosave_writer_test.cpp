#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <memory>

#include "curvefile/AutosaveWriter.h"
#include "curvefile/CurveFileReader.h"

namespace brimvolt {
namespace {

// A discharge of `points` seconds, each point a new voltage, so the file holds them all.
std::unique_ptr<CurveStore> Curve(std::int32_t points) {
    auto store = std::make_unique<CurveStore>();
    store->sampleMillivolts[0] = 4200;
    for (std::int32_t i = 1; i < points; ++i) {
        store->Append(i, static_cast<std::uint16_t>(4100 - i % 1000));
    }
    store->durationSeconds = points - 1;
    store->curveCapacityText = QStringLiteral("1.000Ah");
    return store;
}

std::int32_t DurationInFile(const QString& path) {
    QFile file(path);
    auto read = std::make_unique<CurveStore>();
    if (!file.open(QIODevice::ReadOnly) ||
        ReadCurve(file, *read).status != CurveReadStatus::Loaded) {
        return -1;
    }
    return read->durationSeconds;
}

TEST(AutosaveWriter, NewestCopyWinsAndTheLastOneIsWaitedFor) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path() + "/";
    const QString autosave = folder + "temp.raz";
    std::atomic<int> writes = 0;
    std::atomic<int> failures = 0;
    {
        CAutosaveWriter writer;
        QObject::connect(&writer, &CAutosaveWriter::Done, [&](bool written) {
            ++writes;
            failures += written ? 0 : 1;
        });
        // A long curve keeps the writer busy while two more come; the middle one is never
        // worth writing.
        writer.Post(Curve(500000), folder);
        writer.Post(Curve(20), folder);
        writer.Post(Curve(30), folder);
        writer.WaitUntilWritten();
        EXPECT_EQ(DurationInFile(autosave), 29);
        EXPECT_GE(writes, 1);
        EXPECT_LE(writes, 2);

        // Leaving right after handing one over still writes it.
        writer.Post(Curve(40), folder);
    }
    EXPECT_EQ(DurationInFile(autosave), 39);
    EXPECT_EQ(failures, 0);
}

}  // namespace
}  // namespace brimvolt
