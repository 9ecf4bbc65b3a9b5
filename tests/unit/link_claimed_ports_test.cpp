#include <gtest/gtest.h>

#include <QOperatingSystemVersion>
#include <QSet>
#include <functional>
#include <thread>
#include <tuple>

#include "link/ClaimedPorts.h"
#include "link/SerialWorker.h"
#include "sim/InProcessPort.h"

using namespace brimvolt;

namespace {

// The port a pass found, empty when it found none.
QString Find(CSerialWorker& worker, const QString& boundPort = QString()) {
    QString found;
    QObject context;
    QObject::connect(&worker, &CSerialWorker::DiscoveryDone, &context, [&found](const auto& done) {
        found = done.foundIndex >= 0 ? done.entries[done.foundIndex] : QString();
    });
    worker.FindModule(boundPort);
    return found;
}

}  // namespace

TEST(LinkClaimedPorts, APortBelongsToOneOwnerUntilThatOwnerLetsGo) {
    const bool windows = QOperatingSystemVersion::currentType() == QOperatingSystemVersion::Windows;
    CClaimedPorts claims;
    const int owners[2] = {};
    const void *a = &owners[0], *b = &owners[1];
    const std::pair<std::function<bool()>, bool> steps[] = {
        {[&] { return claims.TryClaim("COM1", a) && claims.TryClaim("COM1", a); }, true},
        {[&] { return claims.TryClaim("COM1", b); }, false},
        {[&] { return claims.HeldByOther("COM1", a); }, false},
        {[&] { return claims.HeldByOther("com1", b); }, windows},
        {[&] { return claims.Release("COM1", b), claims.HeldByOther("COM1", b); }, true},
        {[&] { return claims.TryClaim("com1", b); }, !windows},
        {[&] { return claims.ReleaseAll(a), claims.TryClaim("COM1", b); }, true},
        {[&] { return claims.Release("COM1", b), claims.HeldByOther("COM1", a); }, false},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        EXPECT_EQ(steps[i].first(), steps[i].second) << "step " << i;
    }
}

TEST(LinkSharedWorkers, WorkersFindDifferentModulesAndALostLinkKeepsItsPort) {
    auto demo = sim::MakeDemoPorts(nullptr, 1.0, 2);
    auto ports = std::make_shared<CBoundedPorts>(*demo);
    auto claims = std::make_shared<CClaimedPorts>();
    CSerialWorker first(ports, claims), second(ports, claims);
    QString one, two;
    std::thread a([&] { one = Find(first); });
    std::thread b([&] { two = Find(second); });
    a.join();
    b.join();
    ASSERT_EQ((QSet<QString>{one, two}), (QSet<QString>{"DEMO1", "DEMO2"}));

    // DEMO1's link is lost: its worker closes the port and waits there, so the other worker's
    // passes leave DEMO1 alone even once the module answers again.
    auto [waiting, other] = one == "DEMO1" ? std::tie(first, second) : std::tie(second, first);
    const auto module = sim::DemoModulesOf(*demo).front();
    module->SetFault(sim::Fault::DropLink, true);
    PollResult polled = PollResult::Status;
    QObject::connect(&waiting, &CSerialWorker::PollDone,
                     [&](const auto& done) { polled = done.result; });
    waiting.Poll({});
    ASSERT_EQ(polled, PollResult::NoReply);
    module->Reconnect();
    EXPECT_EQ(Find(other), "DEMO2");
    bool opened = true;
    QObject::connect(&other, &CSerialWorker::PortOpenDone, [&](bool done) { opened = done; });
    other.OpenPort("DEMO1");
    EXPECT_FALSE(opened);
    EXPECT_EQ(Find(waiting, "DEMO1"), "DEMO1");
    waiting.ReleaseClaim();
    EXPECT_EQ(Find(other), "DEMO1");
}
