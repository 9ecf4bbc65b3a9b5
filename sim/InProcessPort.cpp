#include "sim/InProcessPort.h"

#include <algorithm>
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

CDemoPorts::CDemoPorts(std::unique_ptr<platform::CPortSystem> basePorts, double speed)
    : base(std::move(basePorts)),
      module(std::make_shared<CSimModule>()),
      held(std::make_shared<std::atomic<bool>>(false)) {
    module->UseWallClock(speed > 0.0 ? speed : 1.0);
}

CDemoPorts::~CDemoPorts() = default;

QStringList CDemoPorts::PortNames() {
    QStringList names = base ? base->PortNames() : QStringList{};
    names.removeAll(QString::fromLatin1(kPortName));
    names.append(QString::fromLatin1(kPortName));
    return names;
}

std::unique_ptr<platform::CSerialPort> CDemoPorts::Open(const QString& name) {
    if (name != QLatin1String(kPortName)) {
        return base ? base->Open(name) : nullptr;
    }
    if (held->exchange(true)) {
        return nullptr;
    }
    // The flag is shared, so a port that outlives this system still frees it safely.
    std::shared_ptr<std::atomic<bool>> flag = held;
    return std::make_unique<CInProcessPort>(module, [flag] { *flag = false; });
}

std::unique_ptr<platform::CPortSystem> MakeDemoPorts(std::unique_ptr<platform::CPortSystem> base,
                                                     double speed) {
    return std::make_unique<CDemoPorts>(std::move(base), speed);
}

std::shared_ptr<CSimModule> DemoModuleOf(platform::CPortSystem& ports) {
    auto* demo = dynamic_cast<CDemoPorts*>(&ports);
    return demo ? demo->Module() : nullptr;
}

}  // namespace brimvolt::sim
