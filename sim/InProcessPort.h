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
 * The base system's ports plus demo ones, each served by a simulator of its own whose clock runs
 * speed × real time: one module behind "DEMO", or 2..16 behind "DEMO1".."DEMOn" with cells of
 * different capacity and Rin. Each demo port opens once at a time, like any serial port.
 * PortNames and Open may run on several threads at once when the base system's may.
 */
class CDemoPorts : public platform::CPortSystem {
public:
    static constexpr const char* kPortName = "DEMO";
    static constexpr int kMaxModules = 16;

    /** modules is held to 1..kMaxModules. */
    CDemoPorts(std::unique_ptr<platform::CPortSystem> base, double speed, int modules = 1);
    ~CDemoPorts() override;

    QStringList PortNames() override;
    std::unique_ptr<platform::CSerialPort> Open(const QString& name) override;

    /** The first module, to read its state or switch faults; commands go over the port. */
    std::shared_ptr<CSimModule> Module() const { return demos.front().module; }
    /** Every module, in port order. */
    std::vector<std::shared_ptr<CSimModule>> Modules() const;

private:
    struct Demo {
        QString name;
        std::shared_ptr<CSimModule> module;
        // Shared, so a port that outlives this system still frees it safely.
        std::shared_ptr<std::atomic<bool>> held;
    };

    std::unique_ptr<platform::CPortSystem> base;
    std::vector<Demo> demos;  // fixed once made: threads read it without a lock
};

/**
 * Adds the demo ports to base's (base may be null: then they are the only ports): "DEMO" for one
 * module, "DEMO1".."DEMOn" for more.
 */
std::unique_ptr<platform::CPortSystem> MakeDemoPorts(std::unique_ptr<platform::CPortSystem> base,
                                                     double speed, int modules = 1);

/** The first (or only) module behind a port system made by MakeDemoPorts; null for others. */
std::shared_ptr<CSimModule> DemoModuleOf(platform::CPortSystem& ports);

/** Every module behind a port system made by MakeDemoPorts, in port order; none for others. */
std::vector<std::shared_ptr<CSimModule>> DemoModulesOf(platform::CPortSystem& ports);

}  // namespace brimvolt::sim
