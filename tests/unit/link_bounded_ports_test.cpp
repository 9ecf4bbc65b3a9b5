#include <gtest/gtest.h>

#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

#include "link/BoundedPorts.h"
#include "link/ClaimedPorts.h"
#include "link/Discovery.h"
#include "link/SerialWorker.h"
#include "support/Eventually.h"

using namespace brimvolt;
using namespace std::chrono_literals;

namespace {

// What each port does when opened: answers as the module, stays silent, or blocks inside the
// open until the test lets it go (a UART with no line, a hung USB adapter). Opens come from
// helper threads, so everything the ports share is guarded.
class HangingPortSystem : public platform::CPortSystem {
public:
    enum class Kind { Module, Silent, Blocks };

    struct Shared {
        std::mutex mutex;
        std::condition_variable released;
        bool blocking = true;
        std::map<QString, int> opens;
        int openPorts = 0;
        int inOpen = 0;                     // opens that have not returned yet
        int lateCloses = 0;                 // ports closed on a thread other than the test's
        QThread* handedTo = nullptr;        // where the last port was moved
        QThread* testThread = QThread::currentThread();
    };

    std::vector<std::pair<QString, Kind>> devices;
    std::shared_ptr<Shared> shared = std::make_shared<Shared>();

    QStringList PortNames() override {
        QStringList names;
        for (const auto& [name, kind] : devices) {
            names.append(name);
        }
        return names;
    }

    std::unique_ptr<platform::CSerialPort> Open(const QString& name) override {
        Kind kind = Kind::Silent;
        for (const auto& [listed, listedKind] : devices) {
            if (listed == name) {
                kind = listedKind;
            }
        }
        std::unique_lock lock(shared->mutex);
        ++shared->opens[name];
        ++shared->inOpen;
        if (kind == Kind::Blocks) {
            shared->released.wait(lock, [this] { return !shared->blocking; });
        }
        --shared->inOpen;
        ++shared->openPorts;
        return std::make_unique<Port>(kind == Kind::Module ? "Brim" : "", shared);
    }

    void Release() {
        std::lock_guard lock(shared->mutex);
        shared->blocking = false;
        shared->released.notify_all();
    }

    int Opens(const QString& name) {
        std::lock_guard lock(shared->mutex);
        return shared->opens[name];
    }

private:
    class Port : public platform::CSerialPort {
    public:
        Port(std::string answer, std::shared_ptr<Shared> shared)
            : answer(std::move(answer)), shared(std::move(shared)) {}
        ~Port() override {
            std::lock_guard lock(shared->mutex);
            --shared->openPorts;
            if (QThread::currentThread() != shared->testThread) {
                ++shared->lateCloses;
            }
        }
        void ApplyLineSettings() override {}
        std::size_t Write(const std::uint8_t*, std::size_t n) override { return n; }
        std::size_t Read(std::uint8_t* data, std::size_t n) override {
            const std::size_t count = std::min(answer.size(), n);
            std::copy_n(answer.begin(), count, data);
            return count;
        }
        std::size_t DiscardInput() override { return 0; }
        void Pause(int) override {}
        void MoveToThread(QThread* thread) override {
            std::lock_guard lock(shared->mutex);
            shared->handedTo = thread;
        }

    private:
        std::string answer;
        std::shared_ptr<Shared> shared;
    };
};

struct Pass {
    FindResult result;
    int foundIndex;
    bool portOpen;
};

Pass RunPass(platform::CPortSystem& ports) {
    Request request{};
    Reply reply{};
    const Discovery found = FindModule(ports, request, reply);
    return {found.result, found.foundIndex, found.port != nullptr};
}

// No open under way and no port left open: nothing of the system is in use any more.
bool Idle(HangingPortSystem& system) {
    std::lock_guard lock(system.shared->mutex);
    return system.shared->inOpen == 0 && system.shared->openPorts == 0;
}

}  // namespace

TEST(LinkBoundedPorts, SearchGoesPastABlockedOpenAndRetriesItOnceItReturns) {
    using Kind = HangingPortSystem::Kind;
    HangingPortSystem system;
    system.devices = {{"COM1", Kind::Blocks}, {"COM2", Kind::Silent}, {"COM3", Kind::Module}};
    CBoundedPorts ports(system, 200ms);

    const auto start = std::chrono::steady_clock::now();
    Pass pass = RunPass(ports);
    EXPECT_EQ(pass.result, FindResult::Found);
    EXPECT_EQ(pass.foundIndex, 2);
    EXPECT_TRUE(pass.portOpen);
    // The blocked port costs its bound, not the rest of the pass (wide: the machine is shared).
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
    EXPECT_TRUE(ports.Stuck("COM1"));
    {
        std::lock_guard lock(system.shared->mutex);
        EXPECT_EQ(system.shared->handedTo, QThread::currentThread());
    }

    // While its open is still stuck, later passes leave it alone instead of piling up opens.
    pass = RunPass(ports);
    EXPECT_EQ(pass.result, FindResult::Found);
    EXPECT_EQ(system.Opens("COM1"), 1);
    EXPECT_EQ(system.Opens("COM3"), 2);

    // The open comes back late: nobody wants that port any more, so it is closed where it was
    // opened, and the name is tried again on the next pass.
    system.Release();
    ASSERT_EVENTUALLY(!ports.Stuck("COM1"), 10000);
    ASSERT_EVENTUALLY(Idle(system), 10000);
    {
        std::lock_guard lock(system.shared->mutex);
        EXPECT_EQ(system.shared->lateCloses, 1);
    }
    pass = RunPass(ports);
    EXPECT_EQ(pass.result, FindResult::Found);
    EXPECT_EQ(system.Opens("COM1"), 2);
}

TEST(LinkBoundedPorts, BlockedPortCountsAsNotOpened) {
    using Kind = HangingPortSystem::Kind;
    struct Case {
        const char* what;
        std::vector<std::pair<QString, Kind>> devices;
        FindResult result;
    };
    const Case cases[] = {
        {"only a blocked port", {{"COM1", Kind::Blocks}}, FindResult::NoPort},
        {"blocked port, then a silent one",
         {{"COM1", Kind::Blocks}, {"COM2", Kind::Silent}},
         FindResult::NoModule},
        {"silent port, then a blocked one",
         {{"COM1", Kind::Silent}, {"COM2", Kind::Blocks}},
         FindResult::NoModule},
    };
    for (const Case& c : cases) {
        HangingPortSystem system;
        system.devices = c.devices;
        {
            CBoundedPorts ports(system, 100ms);
            EXPECT_EQ(RunPass(ports).result, c.result) << c.what;
            // And again while the open is still stuck.
            EXPECT_EQ(RunPass(ports).result, c.result) << c.what;
            system.Release();
            ASSERT_EVENTUALLY(Idle(system), 10000) << c.what;
        }
    }
}

TEST(LinkBoundedPorts, WorkerAnswersADiscoveryPastABlockedOpen) {
    using Kind = HangingPortSystem::Kind;
    HangingPortSystem system;
    system.devices = {{"COM1", Kind::Blocks}, {"DEMO", Kind::Module}};
    CSerialWorker worker(system);
    DiscoveryOutcome outcome;
    QObject::connect(&worker, &CSerialWorker::DiscoveryDone,
                     [&outcome](const DiscoveryOutcome& done) { outcome = done; });
    worker.FindModule();
    EXPECT_EQ(outcome.result, FindResult::Found);
    EXPECT_EQ(outcome.foundIndex, 1);
    // The operator's choice of a port whose open is still stuck is refused at once.
    bool opened = true;
    QObject::connect(&worker, &CSerialWorker::PortOpenDone, [&opened](bool done) { opened = done; });
    worker.OpenPort("COM1");
    EXPECT_FALSE(opened);
    system.Release();
    ASSERT_EVENTUALLY(Idle(system), 10000);
}

TEST(LinkBoundedPorts, AStuckOpenIsLeftBehindOnceForEveryWorker) {
    using Kind = HangingPortSystem::Kind;
    HangingPortSystem system;
    system.devices = {{"COM1", Kind::Blocks}, {"COM2", Kind::Module}, {"COM3", Kind::Module}};
    {
        auto ports = std::make_shared<CBoundedPorts>(system, 200ms);
        auto claims = std::make_shared<CClaimedPorts>();
        CSerialWorker first(ports, claims), second(ports, claims);
        first.FindModule();
        second.FindModule();
        // The first waits out the bound and takes COM2; the second skips both and takes COM3.
        EXPECT_EQ((std::vector{system.Opens("COM1"), system.Opens("COM2"), system.Opens("COM3")}),
                  (std::vector{1, 1, 1}));
        // Let the stuck open return while the ports still stand, so the helper is joined.
        system.Release();
        ASSERT_EVENTUALLY(!ports->Stuck("COM1"), 10000);
    }
    ASSERT_EVENTUALLY(Idle(system), 10000);
}
