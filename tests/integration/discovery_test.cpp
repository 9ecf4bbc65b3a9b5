#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>

#include "link/Discovery.h"
#include "platform/QtSerialPort.h"
#include "sim/PtyTransport.h"
#include "sim/SimModule.h"
#include "support/PtyPeer.h"

using namespace brimvolt;
using brimvolt::testing::PtyAnswer;
using brimvolt::testing::PtyPeer;

namespace {

// Passes over real pseudo-terminals before a test gives up: a peer that a loaded machine holds
// up past the probe's 60 ms is no module in that pass, just as on a real line, and discovery
// simply runs again.
constexpr int kMaxPasses = 5;
constexpr int kPeerWaitMs = 60000;

// The real ports, with every open and close written to one log in the order they happen.
class LoggingPorts : public platform::CPortSystem {
public:
    explicit LoggingPorts(std::unique_ptr<platform::CPortSystem> real) : real(std::move(real)) {}

    QStringList log;

    QStringList PortNames() override { return real->PortNames(); }

    std::unique_ptr<platform::CSerialPort> Open(const QString& name) override {
        auto port = real->Open(name);
        log.append((port ? "open " : "busy ") + QFileInfo(name).fileName());
        if (!port) {
            return nullptr;
        }
        return std::make_unique<Port>(std::move(port), QFileInfo(name).fileName(), log);
    }

private:
    class Port : public platform::CSerialPort {
    public:
        Port(std::unique_ptr<platform::CSerialPort> real, QString name, QStringList& log)
            : real(std::move(real)), name(std::move(name)), log(log) {}
        ~Port() override {
            real.reset();
            log.append("close " + name);
        }
        void ApplyLineSettings() override { real->ApplyLineSettings(); }
        std::size_t Write(const std::uint8_t* data, std::size_t n) override {
            return real->Write(data, n);
        }
        std::size_t Read(std::uint8_t* data, std::size_t n) override { return real->Read(data, n); }
        std::size_t DiscardInput() override { return real->DiscardInput(); }
        void Pause(int milliseconds) override { real->Pause(milliseconds); }

    private:
        std::unique_ptr<platform::CSerialPort> real;
        QString name;
        QStringList& log;
    };

    std::unique_ptr<platform::CPortSystem> real;
};

class DiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    PtyPeer& AddPeer(const QString& name, PtyAnswer answerToProbe) {
        peers.push_back(std::make_unique<PtyPeer>(dir.filePath(name)));
        EXPECT_TRUE(peers.back()->IsOpen());
        peers.back()->Answer('u', std::move(answerToProbe));
        return *peers.back();
    }

    QString AddModule(const QString& name) {
        module = std::make_unique<sim::CSimModule>();
        transport = std::make_unique<sim::CPtyTransport>(*module);
        const QString path = dir.filePath(name);
        EXPECT_TRUE(transport->Open(path.toStdString())) << transport->ErrorText();
        transport->Start();
        return path;
    }

    QStringList PeerPaths() const {
        QStringList paths;
        for (const auto& peer : peers) {
            paths.append(peer->Path());
        }
        return paths;
    }

    /** Runs passes until one finds the module; the log then holds that last pass alone. */
    Discovery FindWithinPasses(LoggingPorts& ports, int& passes) {
        Discovery found;
        for (passes = 1; passes <= kMaxPasses; ++passes) {
            ports.log.clear();
            found = FindModule(ports, request, reply);
            if (found.result == FindResult::Found) {
                break;
            }
        }
        return found;
    }

    QTemporaryDir dir;
    std::vector<std::unique_ptr<PtyPeer>> peers;
    std::unique_ptr<sim::CSimModule> module;
    std::unique_ptr<sim::CPtyTransport> transport;
    Request request{};
    Reply reply{};
};

}  // namespace

TEST_F(DiscoveryTest, FindsTheModuleBehindPortsThatFailTheProbe) {
    // Listed out of order; the combo box order is COM10, com2, Com3, COM4.
    AddPeer("Com3", PtyPeer::Bytes("Bri"));
    AddPeer("COM10", {});
    AddPeer("com2", PtyPeer::Bytes("OK\r\n"));
    const QString modulePath = AddModule("COM4");
    QStringList paths = PeerPaths();
    paths.append(modulePath);

    LoggingPorts ports(platform::MakePathPorts(paths));
    int passes = 0;
    Discovery found = FindWithinPasses(ports, passes);

    ASSERT_EQ(found.result, FindResult::Found);
    EXPECT_EQ(found.entries, QStringList({dir.filePath("COM10"), dir.filePath("com2"),
                                          dir.filePath("Com3"), modulePath}));
    EXPECT_EQ(found.foundIndex, 3);
    ASSERT_NE(found.port, nullptr);
    // Each failure closed before the next port opened; the module's port stays open.
    EXPECT_EQ(ports.log, QStringList({"open COM10", "close COM10", "open com2", "close com2",
                                      "open Com3", "close Com3", "open COM4"}));

    // One probe per port and pass, nothing else written.
    for (const auto& peer : peers) {
        ASSERT_TRUE(peer->WaitForRequests(passes, kPeerWaitMs)) << peer->Path().toStdString();
        const auto requests = peer->Requests();
        EXPECT_EQ(requests.size(), static_cast<std::size_t>(passes));
        for (const auto& request : requests) {
            EXPECT_EQ(request.bytes, QByteArray("u\0\0\0", 4));
        }
    }

    // The failures can be opened again; the module's port is held.
    for (const auto& peer : peers) {
        EXPECT_FALSE(peer->SlaveOpen()) << peer->Path().toStdString();
        EXPECT_NE(ports.Open(peer->Path()), nullptr) << peer->Path().toStdString();
    }
    EXPECT_EQ(ports.Open(modulePath), nullptr);

    // The open port is ready for polling.
    EXPECT_GT(StatusPoll(*found.port, request, reply), 0u);
}

TEST_F(DiscoveryTest, EveryPassProbesAgainUntilAModuleAnswers) {
    AddPeer("COM1", PtyPeer::Bytes("Brom"));
    PtyPeer& silent = AddPeer("COM2", {});
    LoggingPorts ports(platform::MakePathPorts(PeerPaths()));
    for (int pass = 0; pass < 2; ++pass) {
        ports.log.clear();
        const Discovery found = FindModule(ports, request, reply);
        EXPECT_EQ(found.result, FindResult::NoModule) << pass;
        EXPECT_EQ(found.port, nullptr);
        EXPECT_EQ(ports.log, QStringList({"open COM1", "close COM1", "open COM2", "close COM2"}));
    }
    ASSERT_TRUE(silent.WaitForRequests(2, kPeerWaitMs));
    EXPECT_EQ(silent.RequestCount(), 2u);

    // A module that starts answering is found in a following pass.
    silent.Answer('u', PtyPeer::Bytes("Brim"));
    int passes = 0;
    const Discovery found = FindWithinPasses(ports, passes);
    EXPECT_EQ(found.result, FindResult::Found);
    EXPECT_EQ(found.foundIndex, 1);
}

TEST_F(DiscoveryTest, PortsThatCannotOpenCountAsNoPort) {
    EXPECT_EQ(FindModule(*platform::MakePathPorts({}), request, reply).result, FindResult::NoPort);
    EXPECT_EQ(FindModule(*platform::MakePathPorts({dir.filePath("gone")}), request, reply).result,
              FindResult::NoPort);

    // A module held by another program cannot be opened: no port for this pass.
    PtyPeer& busy = AddPeer("COM5", PtyPeer::Bytes("Brim"));
    auto ports = platform::MakePathPorts(PeerPaths());
    auto holder = ports->Open(busy.Path());
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(FindModule(*ports, request, reply).result, FindResult::NoPort);
    EXPECT_EQ(busy.RequestCount(), 0u);
}
