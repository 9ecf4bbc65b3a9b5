#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "ica/IncrementalCapacity.h"
#include "journal/RunRecord.h"

using namespace brimvolt;

// Heap in use and its high mark, for the peak memory of one analysis. Counting every
// allocation of the benchmark program costs an atomic add each, far below what is timed.
namespace {
std::atomic<std::size_t> heapInUse{0};
std::atomic<std::size_t> heapHigh{0};
}  // namespace

void* operator new(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (!block) {
        throw std::bad_alloc();
    }
    const std::size_t now =
        heapInUse.fetch_add(malloc_usable_size(block)) + malloc_usable_size(block);
    std::size_t high = heapHigh.load(std::memory_order_relaxed);
    while (now > high && !heapHigh.compare_exchange_weak(high, now)) {
    }
    return block;
}

void operator delete(void* block) noexcept {
    if (block) {
        heapInUse.fetch_sub(malloc_usable_size(block));
        std::free(block);
    }
}

void operator delete(void* block, std::size_t) noexcept {
    operator delete(block);
}

namespace {

// The longest run the module's clock counts, a sample a second: 256 h at 10 mA, 2560 mAh in
// three plateaus, as the journal keeps it (whole millivolts and milliamperes).
std::vector<JournalSample> LongestDischarge() {
    constexpr std::int32_t kSamples = 921'601;
    constexpr double kTotalMah = 2560.0;
    const auto heldAt = [](double volts) {
        return 800.0 / (1.0 + std::exp((volts - 3.45) / 0.012)) +
               1200.0 / (1.0 + std::exp((volts - 3.70) / 0.015)) +
               560.0 / (1.0 + std::exp((volts - 3.95) / 0.010));
    };
    // Charge against voltage on a fine grid, read backwards for each sample's voltage.
    std::vector<double> volts;
    std::vector<double> held;
    for (double v = 4.3; v > 2.9; v -= 0.0001) {
        volts.push_back(v);
        held.push_back(heldAt(v));
    }
    std::vector<JournalSample> samples(kSamples);
    for (std::int32_t t = 0; t < kSamples; ++t) {
        const double mah = kTotalMah * t / (kSamples - 1) * 0.9999;
        const auto at = static_cast<std::size_t>(std::lower_bound(held.begin(), held.end(), mah) -
                                                 held.begin());
        JournalSample& s = samples[static_cast<std::size_t>(t)];
        s.seconds = t;
        s.voltageMv =
            static_cast<std::uint16_t>(std::lround(volts[std::min(at, volts.size() - 1)] * 1000.0));
        s.currentMa = 10;
    }
    return samples;
}

void DqdvOfTheLongestDischarge(benchmark::State& state) {
    const std::vector<JournalSample> samples = LongestDischarge();
    std::size_t peaks = 0;
    double highest = 0.0;
    std::size_t peakBytes = 0;
    for (auto _ : state) {
        const std::size_t before = heapInUse.load();
        heapHigh.store(before);
        const IcaCurve curve = IncrementalCapacity(IcaSamplesOf(samples));
        benchmark::DoNotOptimize(curve.peaks.data());
        peakBytes = std::max(peakBytes, heapHigh.load() - before);
        peaks = curve.peaks.size();
        highest = MainPeak(curve) ? MainPeak(curve)->volts : 0.0;
    }
    state.counters["peaks"] = static_cast<double>(peaks);
    state.counters["main_peak_V"] = highest;
    state.counters["peak_heap_MB"] = static_cast<double>(peakBytes) / 1e6;
    state.counters["samples_MB"] =
        static_cast<double>(samples.size() * sizeof(JournalSample)) / 1e6;
}

}  // namespace

// Goal: under a second, its heap a few copies of the readings at most.
BENCHMARK(DqdvOfTheLongestDischarge)->Unit(benchmark::kMillisecond);
