#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/SerialPort.h"
#include "sim/SimModule.h"

namespace brimvolt::sim {

/**
 * A serial port wired straight to a CSimModule in this process. Requests written are answered
 * as soon as their fourth byte arrives; reads follow the real port's timing contract (n bytes,
 * 50 ms between two bytes, or 10·n + 20 ms in all), so a late or missing reply costs what it
 * costs on a cable. Pauses sleep for real.
 */
class CInProcessPort : public platform::CSerialPort {
public:
    /** onClose runs when the port is destroyed (the demo uses it to free the port name). */
    CInProcessPort(std::shared_ptr<CSimModule> module, std::function<void()> onClose = {});
    ~CInProcessPort() override;

    void ApplyLineSettings() override {}
    std::size_t Write(const std::uint8_t* data, std::size_t n) override;
    std::size_t Read(std::uint8_t* data, std::size_t n) override;
    /** Drops the bytes that have arrived; those still on their way come later. */
    std::size_t DiscardInput() override;
    void Pause(int milliseconds) override;

private:
    using Clock = std::chrono::steady_clock;
    struct QueuedByte {
        std::uint8_t value;
        Clock::time_point ready;
    };

    std::shared_ptr<CSimModule> module;
    std::function<void()> onClose;
    std::vector<std::uint8_t> partial;
    std::deque<QueuedByte> incoming;
};

/**
 * The base system's ports plus one named "DEMO", served by a single simulator whose clock runs
 * speed × real time. "DEMO" opens once at a time, like any serial port.
 */
class CDemoPorts : public platform::CPortSystem {
public:
    static constexpr const char* kPortName = "DEMO";

    CDemoPorts(std::unique_ptr<platform::CPortSystem> base, double speed);
    ~CDemoPorts() override;

    QStringList PortNames() override;
    std::unique_ptr<platform::CSerialPort> Open(const QString& name) override;

    /** The module behind "DEMO", to read its state or switch faults; commands go over the port. */
    std::shared_ptr<CSimModule> Module() const { return module; }

private:
    std::unique_ptr<platform::CPortSystem> base;
    std::shared_ptr<CSimModule> module;
    std::shared_ptr<std::atomic<bool>> held;
};

/** Adds "DEMO" to base's ports (base may be null: then "DEMO" is the only port). */
std::unique_ptr<platform::CPortSystem> MakeDemoPorts(std::unique_ptr<platform::CPortSystem> base,
                                                     double speed);

/** The module behind a port system made by MakeDemoPorts; null for any other system. */
std::shared_ptr<CSimModule> DemoModuleOf(platform::CPortSystem& ports);

}  // namespace brimvolt::sim
