#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <sys/resource.h>
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "app/Bench.h"
#include "app/BrimvoltDlg.h"
#include "channel/Channel.h"
#include "sim/InProcessPort.h"
#include "platform/QtSerialPort.h"
#include "sim/SimModule.h"
#include "support/ScriptedDialogs.h"

using namespace brimvolt;

namespace {

// How long the window's event loop is watched in each state, and how often it is asked to turn.
constexpr int kWatchMs = 10000;
constexpr int kProbeIntervalMs = 2;
// A gap longer than one frame is one the operator can see.
constexpr double kFrameMs = 16.0;
// The module's clock when the store is already full: an hour before its hour byte runs out.
constexpr int kLateRunSeconds = sim::CSimModule::kMaxElapsedSeconds - 3600;
constexpr int kSetUpMs = 30000;

enum class WindowState { Searching, Polling, PollingFullStore };

// One brimvolt-sim process serving a pseudo-terminal reached through a link of a stable name.
class CSimProcess {
public:
    CSimProcess(const QString& link, const QStringList& arguments) : link(link) {
        const QString program = QCoreApplication::applicationDirPath() + "/brimvolt-sim";
        process.start(program, QStringList{"--link", link} + arguments);
        ready = process.waitForStarted(30000) && process.waitForReadyRead(10000);
        while (ready && !process.canReadLine()) {
            ready = process.waitForReadyRead(5000);
        }
    }
    ~CSimProcess() {
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    bool Ready() const { return ready; }

    QString link;

private:
    QProcess process;
    bool ready = false;
};

// The gaps between turns of the event loop it runs in, seen through a 2 ms timer.
class CGapMeter {
public:
    CGapMeter() {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(kProbeIntervalMs);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed();
            gapsMs.push_back(static_cast<double>(now - last) / 1e6);
            last = now;
        });
    }

    void Watch(int milliseconds) {
        gapsMs.clear();
        clock.start();
        last = 0;
        timer.start();
        QEventLoop loop;
        QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
        timer.stop();
        watchedMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    }

    double LongestMs() const {
        return gapsMs.empty() ? 0.0 : *std::max_element(gapsMs.begin(), gapsMs.end());
    }
    double PercentileMs(double fraction) const {
        if (gapsMs.empty()) {
            return 0.0;
        }
        std::vector<double> sorted = gapsMs;
        std::sort(sorted.begin(), sorted.end());
        const auto at = static_cast<std::size_t>(std::ceil(fraction * sorted.size())) - 1;
        return sorted[std::min(at, sorted.size() - 1)];
    }
    // The share of the watched time spent in gaps longer than a frame.
    double FrozenShare() const {
        double frozen = 0.0;
        for (double gap : gapsMs) {
            if (gap > kFrameMs) {
                frozen += gap;
            }
        }
        return watchedMs > 0.0 ? frozen / watchedMs : 0.0;
    }

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    std::vector<double> gapsMs;
    double watchedMs = 0.0;
};

// A long discharge already recorded: every point a new voltage, so the curve file holds a line
// for each and every autosave rewrites all of them.
void FillLongDischarge(CurveStore& store, int points) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-3, 3);
    store.sampleMillivolts[0] = 4180;
    std::uint16_t previous = 4180;
    for (int i = 1; i < points; ++i) {
        auto volts = static_cast<std::uint16_t>(4150 - 900 * i / points + noise(random));
        if (volts == previous) {
            ++volts;
        }
        store.Append(i, volts);
        previous = volts;
    }
    store.durationSeconds = points - 1;
    store.curveCapacityText = QStringLiteral("2300.000Ah");
}

bool RunEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

// The real main window on the offscreen platform against simulators on pseudo-terminals, its
// event loop watched for 10 s in one state: the longest gap and the 99th percentile are what the
// operator feels as lag.
void BM_WindowStalls(benchmark::State& state, WindowState windowState) {
    QTemporaryDir folder;
    const QString previousFolder = QDir::currentPath();
    if (!folder.isValid() || !QDir::setCurrent(folder.path())) {
        state.SkipWithError("no temporary folder");
        return;
    }
    {
        std::vector<std::unique_ptr<CSimProcess>> sims;
        QStringList links;
        if (windowState == WindowState::Searching) {
            for (int i = 0; i < 4; ++i) {
                sims.push_back(std::make_unique<CSimProcess>(
                    folder.filePath(QString("silent%1").arg(i)), QStringList{"--fault", "silent"}));
            }
        } else {
            QStringList arguments{"--run"};
            if (windowState == WindowState::PollingFullStore) {
                arguments << "--time" << QString::number(kLateRunSeconds);
            }
            sims.push_back(std::make_unique<CSimProcess>(folder.filePath("module"), arguments));
        }
        bool ready = true;
        for (const auto& sim : sims) {
            ready = ready && sim->Ready();
            links.append(sim->link);
        }

        auto ports = platform::MakePathPorts(links);
        testing::ScriptedDialogs dialogs;
        auto dialog = std::make_unique<CBrimvoltDlg>(*ports, dialogs);
        dialog->Create();
        if (windowState == WindowState::PollingFullStore) {
            FillLongDischarge(dialog->Channel().curveWindow.store, kLateRunSeconds);
        }
        const auto settled = [&] {
            const CBrimvoltDlg::DisplayPicture& picture = dialog->Picture();
            if (windowState == WindowState::Searching) {
                return picture.kind == CBrimvoltDlg::DisplayPicture::Kind::Message;
            }
            const CurveStore& store = dialog->Channel().curveWindow.store;
            const std::int32_t recorded =
                windowState == WindowState::PollingFullStore ? kLateRunSeconds : 1;
            return picture.kind == CBrimvoltDlg::DisplayPicture::Kind::Lines &&
                   dialog->Channel().running != 0 && store.lastIndex >= recorded;
        };
        if (!ready) {
            state.SkipWithError("a simulator did not start");
        } else if (!RunEventsUntil(settled, kSetUpMs)) {
            state.SkipWithError("the window never reached the state to watch");
        } else {
            CGapMeter meter;
            for (auto _ : state) {
                meter.Watch(kWatchMs);
            }
            state.counters["longest_gap_ms"] = meter.LongestMs();
            state.counters["p99_gap_ms"] = meter.PercentileMs(0.99);
            state.counters["frozen_share"] = meter.FrozenShare();
            if (windowState == WindowState::PollingFullStore &&
                dialog->Channel().curveWindow.store.lastIndex < kLateRunSeconds) {
                state.SkipWithError("the full store recorded nothing");
            }
        }
        dialogs.answers.push_back(platform::Answer::Ok);
        dialog->OnExit();
        dialog.reset();
    }
    QDir::setCurrent(previousFolder);
}

// The process's resident memory, in MB, from /proc (0 where there is none).
double ResidentMb() {
    QFile status(QStringLiteral("/proc/self/statm"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0.0;
    }
    const QList<QByteArray> fields = status.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * 4096.0 / (1024.0 * 1024.0) : 0.0;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A bench of in-process demo modules at 20 times their speed, a discharge on each: the window
// thread's gaps while every channel polls and records, the CPU time per channel and second, and
// the resident memory each channel adds (its curve store holds room for a full-length run).
void BM_BenchStalls(benchmark::State& state) {
    const auto count = static_cast<int>(state.range(0));
    QTemporaryDir folder;
    const QString previousFolder = QDir::currentPath();
    if (!folder.isValid() || !QDir::setCurrent(folder.path())) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const double residentBefore = ResidentMb();
    {
        std::unique_ptr<platform::CPortSystem> ports = sim::MakeDemoPorts(nullptr, 20.0, count);
        QStringList bound;
        for (int i = 1; i <= count; ++i) {
            bound.append(count == 1 ? QStringLiteral("DEMO") : QStringLiteral("DEMO%1").arg(i));
        }
        testing::ScriptedDialogs dialogs;
        auto bench = std::make_unique<CBench>(*ports, dialogs,
                                              folder.filePath(QStringLiteral("journal.sqlite")), bound);
        bench->Start();
        QList<int> all;
        for (int i = 0; i < count; ++i) {
            all.append(i);
        }
        const auto every = [&](const std::function<bool(const CChannel&)>& holds) {
            return std::all_of(all.begin(), all.end(),
                               [&](int i) { return holds(bench->ChannelAt(i)); });
        };
        const bool found = RunEventsUntil(
            [&] { return every([](const CChannel& c) { return bool(c.portHandle); }); }, kSetUpMs);
        bench->Start(all);
        const bool running = found && RunEventsUntil([&] {
            return every([](const CChannel& c) {
                return c.running != 0 && c.curveWindow.store.lastIndex >= 1;
            });
        }, kSetUpMs);
        if (!running) {
            state.SkipWithError("the bench never ran every module");
        } else {
            CGapMeter meter;
            const double cpuBefore = CpuSeconds();
            for (auto _ : state) {
                meter.Watch(kWatchMs);
            }
            const double cpu = CpuSeconds() - cpuBefore;
            state.counters["longest_gap_ms"] = meter.LongestMs();
            state.counters["p99_gap_ms"] = meter.PercentileMs(0.99);
            state.counters["cpu_ms_per_channel_s"] = cpu * 1000.0 / count / (kWatchMs / 1000.0);
            state.counters["resident_mb"] = ResidentMb();
            state.counters["mb_per_channel"] = (ResidentMb() - residentBefore) / count;
        }
        bench->Leave();
        bench.reset();
    }
    QDir::setCurrent(previousFolder);
}

}  // namespace

BENCHMARK(BM_BenchStalls)
    ->Arg(1)
    ->Arg(8)
    ->Arg(16)
    ->Iterations(1)
    ->Repetitions(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_WindowStalls, searching_4_silent_ports, WindowState::Searching)
    ->Iterations(1)
    ->Repetitions(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_WindowStalls, polling, WindowState::Polling)
    ->Iterations(1)
    ->Repetitions(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_WindowStalls, polling_full_store, WindowState::PollingFullStore)
    ->Iterations(1)
    ->Repetitions(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
