#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "app/BrimvoltDlg.h"
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

}  // namespace

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
