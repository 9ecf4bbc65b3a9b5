#include <benchmark/benchmark.h>

#include <memory>

#include "module/CurveRecording.h"
#include "module/DisplayTexts.h"
#include "module/Protocol.h"
#include "plot/CurveStore.h"

using namespace brimvolt;

namespace {

constexpr std::int32_t kPointsHeld = 100000;

void PutWord(Reply& reply, int offset, std::uint16_t word) {
    reply[offset] = static_cast<std::uint8_t>(word & 0xFF);
    reply[offset + 1] = static_cast<std::uint8_t>(word >> 8);
}

void PutTime(Reply& reply, std::int32_t seconds) {
    reply[30] = static_cast<std::uint8_t>(seconds % 60);
    reply[31] = static_cast<std::uint8_t>(seconds / 60 % 60);
    reply[32] = static_cast<std::uint8_t>(seconds / 3600);
}

Reply RunningDischarge() {
    Reply reply{};
    const std::uint16_t params[12] = {2, 2700, 1, 1500, 0, 20123, 4500, 12, 1, 0, 45, 70};
    for (int k = 0; k < 12; ++k) {
        PutWord(reply, 2 * k, params[k]);
    }
    PutWord(reply, 24, 1500);
    PutWord(reply, 26, 3712);
    PutWord(reply, 28, 85);
    reply[33] = 0x39;  // 12345 mAh
    reply[34] = 0x30;
    reply[36] = 31;
    reply[37] = flags::kRunning;
    return reply;
}

// The work of one poll tick beyond its serial waits: decode the record, compose every text,
// record the curve. `advance` says whether the module's time moved on (a point is appended)
// or stands still (after a run), with a long curve already in the store.
void PollTickWork(benchmark::State& state, bool advance) {
    auto store = std::make_unique<CurveStore>();
    std::uint8_t firstReading = 0;
    std::int32_t lastCurveSeconds = kPointsHeld;
    std::uint16_t restVoltageMv = 4100;
    for (std::int32_t i = 0; i <= kPointsHeld; ++i) {
        store->sampleTimes[i] = i;
        store->sampleMillivolts[i] = static_cast<std::uint16_t>(4100 - i / 100);
    }
    store->lastIndex = kPointsHeld;
    store->durationSeconds = kPointsHeld;

    Reply reply = RunningDischarge();
    std::int32_t elapsed = kPointsHeld;
    for (auto _ : state) {
        if (advance) {
            // Stay well inside the store however many iterations the library asks for.
            if (++elapsed > 800000) {
                elapsed = kPointsHeld + 1;
                store->lastIndex = kPointsHeld;
            }
        }
        PutTime(reply, elapsed);
        const StatusRecord status = DecodeStatus(reply);
        PollTexts texts = ComposePollTexts(status, 1);
        const RecordOutcome outcome =
            RecordCurve(firstReading, lastCurveSeconds, restVoltageMv, *store, status);
        benchmark::DoNotOptimize(texts);
        benchmark::DoNotOptimize(outcome);
    }
}

void BM_PollTickTimeAdvancing(benchmark::State& state) {
    PollTickWork(state, true);
}
void BM_PollTickTimeStanding(benchmark::State& state) {
    PollTickWork(state, false);
}

}  // namespace

BENCHMARK(BM_PollTickTimeAdvancing);
BENCHMARK(BM_PollTickTimeStanding);
