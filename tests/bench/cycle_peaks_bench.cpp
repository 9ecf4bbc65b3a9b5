#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <cmath>
#include <vector>

#include "journal/Journal.h"
#include "journal/ProgramCycles.h"

using namespace brimvolt;

namespace {

constexpr std::int32_t kHour = 3600;

/** An hour's discharge at 1 A whose charge comes out around 3.65 V. */
std::vector<JournalSample> HourDischarge() {
    std::vector<JournalSample> samples;
    for (std::int32_t t = 0; t <= kHour; ++t) {
        const double share = (t + 36.0) / (kHour + 72);
        JournalSample sample;
        sample.seconds = t;
        sample.currentMa = 1000;
        sample.capacityMah = t * 1000 / kHour;
        sample.voltageMv =
            static_cast<std::uint16_t>(std::lround(3650 + 20 * std::log(1 / share - 1)));
        samples.push_back(sample);
    }
    return samples;
}

// What the program window's thread pays when a discharge ends.
void BM_PeakOfAnHourDischarge(benchmark::State& state) {
    const std::vector<JournalSample> samples = HourDischarge();
    for (auto _ : state) {
        CycleResult cycle;
        TakeDischargePeak(cycle, samples);
        benchmark::DoNotOptimize(cycle.peakVolts);
    }
}
BENCHMARK(BM_PeakOfAnHourDischarge)->Unit(benchmark::kMillisecond);

// The cycles of a program of N hour-long discharges from the journal, their samples read: what
// the journal's thread pays to offer an unfinished program, and the program command.
void BM_CyclesOfProgramWithPeaks(benchmark::State& state) {
    QTemporaryDir dir;
    CJournal journal;
    journal.Open(dir.filePath("cycles.sqlite"));
    ProgramRecord program;
    journal.SaveProgram(program);
    const std::vector<JournalSample> samples = HourDischarge();
    for (std::int32_t c = 1; c <= state.range(0); ++c) {
        RunRecord run;
        run.state = RunState::Stopped;
        run.capacityMah = 1000;
        run.program = {program.id, c, 1, false};
        journal.SaveRun(run, samples);
    }
    const std::vector<RunRecord> runs = journal.Runs().value_or(std::vector<RunRecord>{});
    for (auto _ : state) {
        benchmark::DoNotOptimize(CyclesOfProgram(
            runs, program.id, [&journal](std::int64_t id) { return journal.Samples(id); }));
    }
}
BENCHMARK(BM_CyclesOfProgramWithPeaks)->Arg(500)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
