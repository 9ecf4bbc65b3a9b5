#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>

#include "sim/InProcessPort.h"

namespace brimvolt::sim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class NullPort : public platform::CSerialPort {
public:
    void ApplyLineSettings() override {}
    std::size_t Write(const std::uint8_t*, std::size_t n) override { return n; }
    std::size_t Read(std::uint8_t*, std::size_t) override { return 0; }
    std::size_t DiscardInput() override { return 0; }
    void Pause(int) override {}
};

class TwoPorts : public platform::CPortSystem {
public:
    QStringList PortNames() override { return {"COM3", "DEMO", "COM1"}; }
    std::unique_ptr<platform::CSerialPort> Open(const QString& name) override {
        opened.append(name);
        return name == "COM3" ? std::make_unique<NullPort>() : nullptr;
    }
    QStringList opened;
};

std::string Exchange(platform::CSerialPort& port, const char* request, std::size_t replySize) {
    port.Write(reinterpret_cast<const std::uint8_t*>(request), 4);
    std::array<std::uint8_t, 64> reply{};
    const std::size_t got = port.Read(reply.data(), replySize);
    return std::string(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(got));
}

TEST(SimDemoPorts, DemoIsListedOnceBesideTheBasePorts) {
    auto ports = MakeDemoPorts(std::make_unique<TwoPorts>(), 1.0);
    const QStringList names = ports->PortNames();
    EXPECT_EQ(names.count("DEMO"), 1);
    EXPECT_TRUE(names.contains("COM1"));
    EXPECT_TRUE(names.contains("COM3"));
    EXPECT_EQ(names.size(), 3);

    auto alone = MakeDemoPorts(nullptr, 1.0);
    EXPECT_EQ(alone->PortNames(), QStringList{"DEMO"});
    EXPECT_EQ(alone->Open("COM1"), nullptr);
}

TEST(SimDemoPorts, OtherNamesOpenOnTheBaseSystem) {
    auto base = std::make_unique<TwoPorts>();
    TwoPorts* baseView = base.get();
    auto ports = MakeDemoPorts(std::move(base), 1.0);
    EXPECT_NE(ports->Open("COM3"), nullptr);
    EXPECT_EQ(ports->Open("COM1"), nullptr);
    EXPECT_EQ(baseView->opened, (QStringList{"COM3", "COM1"}));
    EXPECT_NE(ports->Open("DEMO"), nullptr);
    EXPECT_FALSE(baseView->opened.contains("DEMO"));
}

TEST(SimDemoPorts, DemoOpensOnceAtATime) {
    auto ports = MakeDemoPorts(nullptr, 1.0);
    auto first = ports->Open("DEMO");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(ports->Open("DEMO"), nullptr);
    first.reset();
    auto again = ports->Open("DEMO");
    EXPECT_NE(again, nullptr);

    // A port that outlives its system still closes cleanly.
    ports.reset();
    again.reset();
}

TEST(SimDemoPorts, PortSpeaksTheModuleProtocol) {
    auto ports = MakeDemoPorts(nullptr, 1.0);
    auto port = ports->Open("DEMO");
    ASSERT_NE(port, nullptr);
    port->ApplyLineSettings();
    EXPECT_EQ(Exchange(*port, "u\0\0\0", 4), "Brim");
    EXPECT_EQ(Exchange(*port, "a\0\0\0", 42).size(), 42u);
    EXPECT_EQ(Exchange(*port, "N\x05\0\0", 4).size(), 4u);

    // A request split over two writes is answered once it is whole.
    const std::uint8_t head[] = {'u', 0};
    const std::uint8_t tail[] = {0, 0};
    std::array<std::uint8_t, 4> reply{};
    port->Write(head, 2);
    EXPECT_EQ(port->Read(reply.data(), 4), 0u);
    port->Write(tail, 2);
    EXPECT_EQ(port->Read(reply.data(), 4), 4u);
    EXPECT_EQ(std::string(reply.begin(), reply.end()), "Brim");
}

TEST(SimDemoPorts, ReadsFollowTheSerialTimeouts) {
    auto ports = MakeDemoPorts(nullptr, 1.0);
    auto port = ports->Open("DEMO");
    std::array<std::uint8_t, 64> buffer{};

    // Nothing asked, nothing comes: the read waits out its whole time-out (10·4 + 20 ms).
    auto start = Clock::now();
    EXPECT_EQ(port->Read(buffer.data(), 4), 0u);
    EXPECT_GE(Clock::now() - start, 55ms);

    // Asking for more than the reply holds returns what came, after the 50 ms gap.
    port->Write(reinterpret_cast<const std::uint8_t*>("u\0\0\0"), 4);
    start = Clock::now();
    EXPECT_EQ(port->Read(buffer.data(), 42), 4u);
    EXPECT_GE(Clock::now() - start, 45ms);

    // A reply read in parts is neither lost nor purged.
    port->Write(reinterpret_cast<const std::uint8_t*>("a\0\0\0"), 4);
    EXPECT_EQ(port->Read(buffer.data(), 40), 40u);
    EXPECT_EQ(port->Read(buffer.data(), 4), 2u);
}

TEST(SimDemoPorts, LateRepliesStayQueuedForTheNextRead) {
    auto demo = std::make_unique<CDemoPorts>(nullptr, 1.0);
    demo->Module()->SetFault(Fault::Late, true);
    demo->Module()->SetLateDelayMs(150);
    auto port = demo->Open("DEMO");
    std::array<std::uint8_t, 8> buffer{};
    port->Write(reinterpret_cast<const std::uint8_t*>("u\0\0\0"), 4);
    EXPECT_EQ(port->Read(buffer.data(), 4), 0u);  // 60 ms is too short for a 150 ms reply
    port->Pause(200);
    port->Write(reinterpret_cast<const std::uint8_t*>("N\x01\0\0"), 4);
    EXPECT_EQ(port->Read(buffer.data(), 4), 4u);  // the probe's answer, late
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 4), "Brim");
}

TEST(SimDemoPorts, DemoModuleIsReachableAndRunsOnTheWallClock) {
    auto ports = MakeDemoPorts(nullptr, 1000.0);
    auto module = DemoModuleOf(*ports);
    ASSERT_NE(module, nullptr);
    TwoPorts plain;
    EXPECT_EQ(DemoModuleOf(plain), nullptr);

    auto port = ports->Open("DEMO");
    Exchange(*port, "p\0\0\0", 4);  // the run starts through the port, as the program starts it
    std::this_thread::sleep_for(100ms);
    const SimState state = module->State();
    EXPECT_TRUE(state.flags & simflags::kRunning);
    EXPECT_GE(state.elapsedSeconds, 50);
}

TEST(SimDemoPorts, UnpluggedDemoAnswersNothing) {
    auto ports = MakeDemoPorts(nullptr, 1.0);
    auto port = ports->Open("DEMO");
    DemoModuleOf(*ports)->SetFault(Fault::DropLink, true);
    EXPECT_EQ(Exchange(*port, "a\0\0\0", 42), "");
    DemoModuleOf(*ports)->Reconnect();
    EXPECT_EQ(Exchange(*port, "a\0\0\0", 42).size(), 42u);
}

}  // namespace
}  // namespace brimvolt::sim
