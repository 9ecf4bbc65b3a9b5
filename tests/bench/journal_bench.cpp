#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "curve/Graf.h"
#include "journal/Journal.h"
#include "journal/JournalExport.h"
#include "journal/JournalWriter.h"
#include "journalview/JournalDlg.h"
#include "plot/CurveStore.h"
#include "support/ScriptedDialogs.h"

using namespace brimvolt;

namespace {

// The longest run the module's clock can count, one sample a second and the rest sample.
constexpr std::int32_t kLongestRun = CurveStore::kCapacity;
constexpr int kListedRuns = 10000;

JournalSample Reading(std::int32_t seconds) {
    JournalSample sample;
    sample.seconds = seconds;
    sample.voltageMv = static_cast<std::uint16_t>(4150 - seconds / 1000 + seconds % 3);
    sample.currentMa = seconds == 0 ? 0 : 1000;
    sample.capacityMah = seconds * 1000 / 3600;
    sample.temperature = static_cast<std::uint8_t>(25 + seconds % 20);
    sample.statusFlags = seconds == 0 ? 0 : 0x08;
    return sample;
}

RunRecord SomeRun(const QString& port) {
    RunRecord run;
    run.startedUtc = 1'700'000'000;
    run.port = port;
    run.params = {1, 2750, 1, 1000, 0, 1000, 1000, 0, 0, 1, 40, 60};
    return run;
}

// Journals made once for the whole benchmark run: one with the longest run (as the recorder
// writes it, a sample per transaction would take an hour: here in large transactions, which
// lay the rows down the same way), one with many short runs.
struct Journals {
    QTemporaryDir dir;
    QString longRun = dir.filePath("long.sqlite");
    QString manyRuns = dir.filePath("many.sqlite");
    std::int64_t longRunId = 0;
    double bytesPerSample = 0.0;

    Journals() {
        {
            CJournal journal;
            journal.Open(longRun);
            RunRecord run = SomeRun("ttyUSB0");
            std::vector<JournalSample> chunk;
            for (std::int32_t t = 0; t < kLongestRun; ++t) {
                chunk.push_back(Reading(t));
                run.durationSeconds = t;
                run.sampleCount = t + 1;
                if (chunk.size() == 10000 || t + 1 == kLongestRun) {
                    journal.SaveRun(run, chunk);
                    chunk.clear();
                }
            }
            longRunId = run.id;
        }
        // Closed: the log is folded into the file, which now holds everything.
        bytesPerSample = static_cast<double>(QFileInfo(longRun).size()) / kLongestRun;

        CJournal journal;
        journal.Open(manyRuns);
        for (int i = 0; i < kListedRuns; ++i) {
            RunRecord run = SomeRun(QStringLiteral("ttyUSB%1").arg(i % 4));
            run.label = QStringLiteral("cell %1").arg(i);
            run.state = RunState::Stopped;
            run.durationSeconds = 3600 + i;
            run.capacityMah = 2000 + i % 500;
            run.energyUj = 27'000'000'000 + i;
            const JournalSample samples[] = {Reading(0), Reading(1)};
            journal.SaveRun(run, samples);
        }
    }
};

Journals& Shared() {
    static Journals journals;
    return journals;
}

QString Tool() {
    return QCoreApplication::applicationDirPath() + "/brimvolt-journal";
}

// The command as an operator runs it, process start included.
void RunTool(benchmark::State& state, const QStringList& arguments) {
    for (auto _ : state) {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(Tool(), arguments);
        if (!process.waitForFinished(120000) || process.exitCode() != 0) {
            state.SkipWithError("brimvolt-journal failed");
            break;
        }
    }
}

// One sample committed by the journal itself, as the writer's thread commits it.
void BM_JournalSampleDirect(benchmark::State& state) {
    QTemporaryDir dir;
    CJournal journal;
    journal.Open(dir.filePath("journal.sqlite"));
    RunRecord run = SomeRun("ttyUSB0");
    std::int32_t t = 0;
    for (auto _ : state) {
        const JournalSample sample = Reading(t);
        run.durationSeconds = t++;
        ++run.sampleCount;
        if (journal.SaveRun(run, {&sample, 1}) != CJournal::SaveResult::Saved) {
            state.SkipWithError("save failed");
            break;
        }
    }
}

StatusRecord Status(std::int32_t seconds) {
    StatusRecord status;
    status.elapsedSeconds = seconds;
    status.statusFlags = seconds == 0 ? 0 : flags::kRunning;
    status.voltageMv = 3900;
    status.currentMa = 1000;
    return status;
}

// What the window's thread spends passing a status record to the writer.
void BM_JournalSampleWriterPost(benchmark::State& state) {
    QTemporaryDir dir;
    CJournalWriter writer(dir.filePath("journal.sqlite"));
    std::int64_t wallMs = 1'700'000'000'000;
    writer.ModuleFound("ttyUSB0", wallMs);
    std::int32_t t = 0;
    for (auto _ : state) {
        writer.Status(Status(t++), wallMs += 1000);
    }
    // Outside the timed loop: the writer catches up with everything posted.
    writer.WaitUntilHandled();
}

// A status record through the writer's thread until its sample is committed.
void BM_JournalSampleWriterRoundTrip(benchmark::State& state) {
    QTemporaryDir dir;
    CJournalWriter writer(dir.filePath("journal.sqlite"));
    std::int64_t wallMs = 1'700'000'000'000;
    writer.ModuleFound("ttyUSB0", wallMs);
    std::int32_t t = 0;
    for (auto _ : state) {
        writer.Status(Status(t++), wallMs += 1000);
        writer.WaitUntilHandled();
    }
}

void BM_JournalBytesPerSample(benchmark::State& state) {
    Journals& journals = Shared();
    for (auto _ : state) {
        benchmark::DoNotOptimize(journals.bytesPerSample);
    }
    state.counters["bytes_per_sample"] = journals.bytesPerSample;
}

// A whole run read back, as the journal window and the comparison load one.
void BM_JournalLoadRun(benchmark::State& state) {
    Journals& journals = Shared();
    CJournal journal;
    journal.Open(journals.longRun, CJournal::OpenMode::Existing);
    for (auto _ : state) {
        const auto samples = journal.Samples(journals.longRunId);
        if (!samples || samples->size() != static_cast<std::size_t>(kLongestRun)) {
            state.SkipWithError("load failed");
            break;
        }
    }
}

void BM_JournalToolCsv(benchmark::State& state) {
    Journals& journals = Shared();
    QTemporaryDir out;
    RunTool(state, {"--journal", journals.longRun, "csv", QString::number(journals.longRunId),
                    out.filePath("run.csv")});
}

void BM_JournalToolCurve(benchmark::State& state) {
    Journals& journals = Shared();
    QTemporaryDir out;
    RunTool(state, {"--journal", journals.longRun, "curve", QString::number(journals.longRunId),
                    out.filePath("run.raz")});
}

void BM_JournalToolList(benchmark::State& state) {
    RunTool(state, {"--journal", Shared().manyRuns, "list"});
}

// The check a recording program makes at start, on a journal holding the longest run.
void BM_JournalOpenChecked(benchmark::State& state) {
    Journals& journals = Shared();
    for (auto _ : state) {
        CJournal journal;
        if (!journal.Open(journals.longRun).Usable()) {
            state.SkipWithError("open failed");
            break;
        }
    }
}

// The journal window's folder, where the curve window keeps Colors.ini and its autosave, and
// the curve window it opens runs in.
struct WindowPlace {
    QTemporaryDir dir;
    QString previous = QDir::currentPath();
    testing::ScriptedDialogs dialogs;
    QWidget owner;
    CGraf graf{dialogs};
    WindowPlace() {
        QDir::setCurrent(dir.path());
        graf.Create(&owner);
    }
    ~WindowPlace() { QDir::setCurrent(previous); }
};

// "Журнал испытаний" over 10 000 runs, from nothing to the table drawn.
void BM_JournalWindowOpen(benchmark::State& state) {
    const QString journal = Shared().manyRuns;
    WindowPlace place;
    for (auto _ : state) {
        CJournalDlg window(place.dialogs, place.graf);
        window.Create(&place.owner, journal);
        window.show();
        benchmark::DoNotOptimize(window.grab());
        if (window.Model().rowCount() != kListedRuns) {
            state.SkipWithError("runs missing");
            break;
        }
    }
}

// The longest run from the journal into the curve window, drawn there.
void BM_JournalRunToCurveWindow(benchmark::State& state) {
    WindowPlace place;
    CJournalDlg window(place.dialogs, place.graf);
    window.Create(&place.owner, Shared().longRun);
    window.SelectRuns({Shared().longRunId});
    for (auto _ : state) {
        window.OnOpenInCurveWindow();
        if (place.graf.store.lastIndex + 1 != kLongestRun) {
            state.SkipWithError("run not loaded");
            break;
        }
        state.PauseTiming();
        place.graf.WaitForAutosave();
        state.ResumeTiming();
    }
}

}  // namespace

BENCHMARK(BM_JournalWindowOpen)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JournalRunToCurveWindow)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JournalSampleDirect)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_JournalSampleWriterPost)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_JournalSampleWriterRoundTrip)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_JournalBytesPerSample)->Iterations(1);
BENCHMARK(BM_JournalLoadRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JournalToolCsv)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JournalToolCurve)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JournalToolList)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JournalOpenChecked)->Unit(benchmark::kMillisecond);
