#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <chrono>
#include <memory>
#include <vector>

#include "link/Discovery.h"
#include "platform/QtSerialPort.h"
#include "support/PtyPeer.h"

using namespace brimvolt;

namespace {

// One discovery pass over silent pseudo-terminals: each costs a full probe time-out, which is
// what keeps the window blocked while no module answers.
void BM_DiscoveryPassOverSilentPorts(benchmark::State& state) {
    QTemporaryDir dir;
    std::vector<std::unique_ptr<brimvolt::testing::PtyPeer>> peers;
    QStringList paths;
    for (int i = 0; i < state.range(0); ++i) {
        peers.push_back(
            std::make_unique<brimvolt::testing::PtyPeer>(dir.filePath(QString("tty%1").arg(i))));
        paths.append(peers.back()->Path());
    }
    auto ports = platform::MakePathPorts(paths);
    Request request{};
    Reply reply{};
    double totalMs = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const Discovery found = FindModule(*ports, request, reply);
        totalMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        if (found.result != FindResult::NoModule) {
            state.SkipWithError("a silent port was not probed");
            break;
        }
    }
    const double probes = static_cast<double>(state.iterations() * state.range(0));
    state.counters["ms_per_port"] = probes > 0 ? totalMs / probes : 0.0;
}
BENCHMARK(BM_DiscoveryPassOverSilentPorts)
    ->Arg(1)
    ->Arg(4)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
