#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <vector>

#include "bdf/BdfExport.h"
#include "journal/Journal.h"
#include "plot/CurveStore.h"

extern char** environ;

using namespace brimvolt;

namespace {

// The longest run the module's clock can count, a sample a second.
constexpr std::int32_t kLongestRun = CurveStore::kCapacity;

// Made once: a journal holding one discharge of the longest run, Rin held up now and then.
struct LongRun {
    QTemporaryDir dir;
    QString path = dir.filePath("long.sqlite");
    std::int64_t runId = 0;

    LongRun() {
        CJournal journal;
        journal.Open(path);
        RunRecord run;
        run.startedUtc = 1'765'000'000;
        run.port = QStringLiteral("ttyUSB0");
        std::vector<JournalSample> chunk;
        for (std::int32_t t = 0; t < kLongestRun; ++t) {
            JournalSample sample;
            sample.seconds = t;
            sample.voltageMv = static_cast<std::uint16_t>(4150 - t / 1000 + t % 3);
            sample.currentMa = t == 0 ? 0 : 1000;
            sample.capacityMah = t * 1000 / 3600;
            sample.temperature = static_cast<std::uint8_t>(25 + t % 20);
            sample.rinMohm = 85;
            sample.statusFlags = t % 600 < 5 ? 0x18 : 0x08;
            chunk.push_back(sample);
            run.durationSeconds = t;
            run.sampleCount = t + 1;
            if (chunk.size() == 10000 || t + 1 == kLongestRun) {
                journal.SaveRun(run, chunk);
                chunk.clear();
            }
        }
        runId = run.id;
    }
};

LongRun& Shared() {
    static LongRun run;
    return run;
}

// The export itself, in this process: the journal read run by run, the file and its sidecar.
void BM_BdfExportLongestRun(benchmark::State& state) {
    LongRun& run = Shared();
    CJournal journal;
    journal.Open(run.path, CJournal::OpenMode::Existing);
    const std::int64_t ids[] = {run.runId};
    const BdfGathered gathered = GatherBdfRuns(journal, ids);
    QTemporaryDir out;
    for (auto _ : state) {
        const BdfWriteResult written =
            WriteBdfFiles(journal, gathered.test, out.filePath("run.bdf"));
        if (!written.ok || written.rows != kLongestRun) {
            state.SkipWithError("export failed");
            break;
        }
    }
    state.counters["samples_per_s"] = benchmark::Counter(
        static_cast<double>(kLongestRun), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file_MB"] = static_cast<double>(QFile(out.filePath("run.bdf")).size()) / 1e6;
}

// `brimvolt-journal bdf` as an operator runs it, process start included, with the peak
// resident memory of the process.
void BM_BdfToolLongestRun(benchmark::State& state) {
    LongRun& run = Shared();
    QTemporaryDir out;
    const QByteArray tool =
        (QCoreApplication::applicationDirPath() + "/brimvolt-journal").toLocal8Bit();
    const QByteArray journalPath = run.path.toLocal8Bit();
    const QByteArray id = QByteArray::number(run.runId);
    const QByteArray outPath = out.filePath("run.bdf").toLocal8Bit();
    long peakKb = 0;
    for (auto _ : state) {
        const char* argv[] = {
            tool.constData(),    "--journal", journalPath.constData(), "bdf", id.constData(),
            outPath.constData(), nullptr};
        pid_t pid = 0;
        int status = 0;
        rusage usage{};
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) != 0 ||
            wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            state.SkipWithError("brimvolt-journal bdf failed");
            break;
        }
        peakKb = std::max(peakKb, usage.ru_maxrss);
    }
    state.counters["peak_MB"] = static_cast<double>(peakKb) / 1024.0;
}

}  // namespace

BENCHMARK(BM_BdfExportLongestRun)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BdfToolLongestRun)->Unit(benchmark::kMillisecond)->UseRealTime();
