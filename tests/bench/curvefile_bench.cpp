#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "curvefile/CurveFileReader.h"
#include "curvefile/CurveFileWriter.h"

namespace {

using brimvolt::CurveStore;

// A curve whose every point has its own voltage, so every point is written: the worst case.
std::unique_ptr<CurveStore> DistinctCurve(std::int32_t points) {
    auto store = std::make_unique<CurveStore>();
    store->curveCapacityText = "12.345Ah";
    store->lastIndex = points - 1;
    for (std::int32_t i = 0; i < points; ++i) {
        store->sampleTimes[i] = i;
        store->sampleMillivolts[i] = static_cast<std::uint16_t>(1000 + i % 60000);
    }
    store->durationSeconds = store->lastIndex;
    return store;
}

void BM_CurveFileBytes(benchmark::State& state) {
    auto store = DistinctCurve(static_cast<std::int32_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(brimvolt::CurveFileBytes(*store));
    }
}

void BM_WriteCurveFile(benchmark::State& state) {
    auto store = DistinctCurve(static_cast<std::int32_t>(state.range(0)));
    QTemporaryDir dir;
    const QString path = dir.filePath("bench.raz");
    for (auto _ : state) {
        if (!brimvolt::WriteCurveFile(path, *store)) {
            state.SkipWithError("write failed");
            break;
        }
    }
}

void BM_ReadCurveBytes(benchmark::State& state) {
    auto written = DistinctCurve(static_cast<std::int32_t>(state.range(0)));
    const QByteArray bytes = brimvolt::CurveFileBytes(*written);
    auto store = std::make_unique<CurveStore>();
    for (auto _ : state) {
        benchmark::DoNotOptimize(brimvolt::ReadCurveBytes(bytes, *store));
    }
}

void BM_ReadCurveFile(benchmark::State& state) {
    auto written = DistinctCurve(static_cast<std::int32_t>(state.range(0)));
    QTemporaryDir dir;
    const QString path = dir.filePath("bench.raz");
    brimvolt::WriteCurveFile(path, *written);
    auto store = std::make_unique<CurveStore>();
    for (auto _ : state) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        benchmark::DoNotOptimize(brimvolt::ReadCurve(file, *store));
    }
}

}  // namespace

// What the autosave of a full curve costs the disk over an hour of points, one a second: written
// at every point, and with the pause a large file waits.
void BM_AutosaveDiskPerHour(benchmark::State& state) {
    auto store = DistinctCurve(CurveStore::kCapacity);
    const auto fileBytes = static_cast<std::int64_t>(brimvolt::CurveFileBytes(*store).size());
    std::int64_t written = 0;
    for (auto _ : state) {
        written = 0;
        for (std::int64_t ms = 0, next = 0; ms < 3'600'000; ms += 1000) {
            if (ms >= next) {
                written += fileBytes;
                next = ms + brimvolt::AutosavePauseMs(fileBytes);
            }
        }
    }
    state.counters["file_MB"] = static_cast<double>(fileBytes) / 1e6;
    state.counters["every_point_GB_per_h"] = static_cast<double>(fileBytes) * 3600 / 1e9;
    state.counters["paced_GB_per_h"] = static_cast<double>(written) / 1e9;
}

BENCHMARK(BM_AutosaveDiskPerHour)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurveFileBytes)
    ->Arg(100000)
    ->Arg(CurveStore::kCapacity)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteCurveFile)
    ->Arg(100000)
    ->Arg(CurveStore::kCapacity)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadCurveBytes)
    ->Arg(100000)
    ->Arg(CurveStore::kCapacity)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadCurveFile)->Arg(100000)->Arg(CurveStore::kCapacity)->Unit(benchmark::kMillisecond);
