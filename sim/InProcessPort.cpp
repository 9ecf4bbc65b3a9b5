#include "sim/InProcessPort.h"

#include <algorithm>
#include <array>
#include <thread>

namespace brimvolt::sim {

namespace {
constexpr auto kInterByteTimeout = std::chrono::milliseconds(50);
}

CInProcessPort::CInProcessPort(std::shared_ptr<CSimModule> simModule,
                               std::function<void()> closeAction)
    : module(std::move(simModule)), onClose(std::move(closeAction)) {}

CInProcessPort::~CInProcessPort() {
    if (onClose) {
        onClose();
    }
}

std::size_t CInProcessPort::Write(const std::uint8_t* data, std::size_t n) {
    if (data == nullptr) {
        return 0;
    }
    for (std::size_t i = 0; i < n; ++i) {
        partial.push_back(data[i]);
        if (partial.size() < kRequestSize) {
            continue;
        }
        SimRequest request{};
        std::copy(partial.begin(), partial.end(), request.begin());
        partial.clear();
        // The module answers one request at a time: a reply starts after the one before it.
        auto ready = Clock::now();
        if (!incoming.empty()) {
            ready = std::max(ready, incoming.back().ready);
        }
        for (const SimChunk& chunk : module->Respond(request)) {
            ready += std::chrono::milliseconds(chunk.delayMs);
            for (std::uint8_t b : chunk.bytes) {
                incoming.push_back({b, ready});
            }
        }
    }
    return n;
}

std::size_t CInProcessPort::Read(std::uint8_t* data, std::size_t n) {
    if (data == nullptr || n == 0) {
        return 0;
    }
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(10 * static_cast<long>(n) + 20);
    std::size_t got = 0;
    Clock::time_point lastArrival{};
    while (true) {
        const auto now = Clock::now();
        while (got < n && !incoming.empty() && incoming.front().ready <= now) {
            data[got++] = incoming.front().value;
            lastArrival = std::max(incoming.front().ready, start);
            incoming.pop_front();
        }
        if (got == n || now >= deadline) {
            return got;
        }
        auto wakeAt = deadline;
        if (got > 0) {
            const auto gapEnd = lastArrival + kInterByteTimeout;
            if (now >= gapEnd) {
                return got;
            }
            wakeAt = std::min(wakeAt, gapEnd);
        }
        if (!incoming.empty()) {
            wakeAt = std::min(wakeAt, incoming.front().ready);
        }
        std::this_thread::sleep_until(wakeAt);
    }
}

std::size_t CInProcessPort::DiscardInput() {
    const auto now = Clock::now();
    std::size_t dropped = 0;
    while (!incoming.empty() && incoming.front().ready <= now) {
        incoming.pop_front();
        ++dropped;
    }
    return dropped;
}

void CInProcessPort::Pause(int milliseconds) {
    if (milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

namespace {

// Cells of four capacities and four Rin; the Rin steps on with each round of four, so no two
// of sixteen modules are alike.
CellConfig DemoCell(int index) {
    constexpr std::array<double, 4> capacitiesMah = {2000.0, 2600.0, 3000.0, 3400.0};
    constexpr std::array<double, 4> rinsOhm = {0.035, 0.055, 0.080, 0.110};
    CellConfig cell;
    cell.capacityMah = capacitiesMah[static_cast<std::size_t>(index) % capacitiesMah.size()];
    cell.rinOhm = rinsOhm[static_cast<std::size_t>(index + index / 4) % rinsOhm.size()];
    return cell;
}

}  // namespace

CDemoPorts::CDemoPorts(std::unique_ptr<platform::CPortSystem> basePorts, double speed, int modules)
    : base(std::move(basePorts)) {
    modules = std::clamp(modules, 1, kMaxModules);
    for (int i = 0; i < modules; ++i) {
        Demo demo;
        if (modules == 1) {
            demo.name = QString::fromLatin1(kPortName);
            demo.module = std::make_shared<CSimModule>();
        } else {
            demo.name = QString::fromLatin1(kPortName) + QString::number(i + 1);
            demo.module = std::make_shared<CSimModule>(DemoCell(i));
        }
        demo.module->UseWallClock(speed > 0.0 ? speed : 1.0);
        demo.held = std::make_shared<std::atomic<bool>>(false);
        demos.push_back(std::move(demo));
    }
}

CDemoPorts::~CDemoPorts() = default;

QStringList CDemoPorts::PortNames() {
    QStringList names = base ? base->PortNames() : QStringList{};
    for (const Demo& demo : demos) {
        names.removeAll(demo.name);
    }
    for (const Demo& demo : demos) {
        names.append(demo.name);
    }
    return names;
}

std::unique_ptr<platform::CSerialPort> CDemoPorts::Open(const QString& name) {
    const auto demo = std::find_if(demos.begin(), demos.end(),
                                   [&name](const Demo& listed) { return listed.name == name; });
    if (demo == demos.end()) {
        return base ? base->Open(name) : nullptr;
    }
    if (demo->held->exchange(true)) {
        return nullptr;
    }
    std::shared_ptr<std::atomic<bool>> flag = demo->held;
    return std::make_unique<CInProcessPort>(demo->module, [flag] { *flag = false; });
}

std::vector<std::shared_ptr<CSimModule>> CDemoPorts::Modules() const {
    std::vector<std::shared_ptr<CSimModule>> modules;
    for (const Demo& demo : demos) {
        modules.push_back(demo.module);
    }
    return modules;
}

std::unique_ptr<platform::CPortSystem> MakeDemoPorts(std::unique_ptr<platform::CPortSystem> base,
                                                     double speed, int modules) {
    return std::make_unique<CDemoPorts>(std::move(base), speed, modules);
}

std::shared_ptr<CSimModule> DemoModuleOf(platform::CPortSystem& ports) {
    auto* demo = dynamic_cast<CDemoPorts*>(&ports);
    return demo ? demo->Module() : nullptr;
}

std::vector<std::shared_ptr<CSimModule>> DemoModulesOf(platform::CPortSystem& ports) {
    auto* demo = dynamic_cast<CDemoPorts*>(&ports);
    return demo ? demo->Modules() : std::vector<std::shared_ptr<CSimModule>>{};
}

}  // namespace brimvolt::sim
