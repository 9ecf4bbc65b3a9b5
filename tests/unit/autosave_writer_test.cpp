#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <memory>

#include "curvefile/AutosaveWriter.h"
#include "curvefile/CurveFileReader.h"

namespace brimvolt {
namespace {

std::unique_ptr<CurveStore> Curve(std::int32_t seconds) {
    auto store = std::make_unique<CurveStore>();
    for (std::int32_t i = 1; i <= seconds; ++i) {
        store->Append(i, static_cast<std::uint16_t>(4100 - i % 1000));  // a line each
    }
    store->durationSeconds = seconds;
    return store;
}

std::int32_t DurationInFile(const QString& path) {
    QFile file(path);
    auto read = std::make_unique<CurveStore>();
    const bool loaded =
        file.open(QIODevice::ReadOnly) && ReadCurve(file, *read).status == CurveReadStatus::Loaded;
    return loaded ? read->durationSeconds : -1;
}

TEST(AutosaveWriter, NewestCopyWinsAndTheLastOneIsWaitedFor) {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    std::atomic<int> writes = 0;
    {
        CAutosaveWriter writer;
        QObject::connect(&writer, &CAutosaveWriter::Done,
                         [&](bool written) { writes += written ? 1 : 1000; });
        // The long curve keeps the writer busy while two more come: the middle one is stale.
        writer.Post(Curve(500000), folder);
        writer.Post(Curve(20), folder);
        writer.Post(Curve(30), folder);
        writer.WaitUntilWritten();
        EXPECT_EQ(DurationInFile(folder + "temp.raz"), 30);
        EXPECT_TRUE(writes == 1 || writes == 2) << writes;
        writer.Post(Curve(40), folder);  // leaving at once still writes it
    }
    EXPECT_EQ(DurationInFile(folder + "temp.raz"), 40);
}

}  // namespace
}  // namespace brimvolt
