#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/RunSleepGuard.h"

using namespace brimvolt::platform;

namespace {

// Logs every call; `grant` says whether the system would hand out the inhibition.
class CFakeInhibitor final : public CSleepInhibitor {
public:
    CFakeInhibitor(std::vector<std::string>& log, bool grant) : log(log), grant(grant) {}
    ~CFakeInhibitor() override { log.push_back("destroyed"); }
    void Inhibit(const QString& reason) override {
        log.push_back("inhibit");
        lastReason = reason;
        held = grant;
    }
    void Release() override {
        log.push_back("release");
        held = false;
    }
    bool IsHeld() const override { return held; }

    std::vector<std::string>& log;
    bool grant;
    bool held = false;
    QString lastReason;
};

using Log = std::vector<std::string>;

Log Follow(const std::vector<int>& runFlags, bool grant) {
    Log log;
    CRunSleepGuard guard(std::make_unique<CFakeInhibitor>(log, grant));
    for (int flag : runFlags) {
        guard.FollowRunFlag(flag != 0);
    }
    log.push_back("end");
    return log;
}

}  // namespace

TEST(RunSleepGuard, AsksTheSystemOnlyWhenTheRunFlagChanges) {
    struct Case {
        const char* name;
        std::vector<int> runFlags;
        Log expected;
    };
    const Case cases[] = {
        {"idle module", {0, 0, 0}, {"end", "destroyed"}},
        {"one run", {0, 1, 1, 1, 0, 0}, {"inhibit", "release", "end", "destroyed"}},
        {"two runs",
         {1, 0, 1, 0},
         {"inhibit", "release", "inhibit", "release", "end", "destroyed"}},
        // The program ends (or the dialog goes) in the middle of a run: sleep is allowed again.
        {"ends while running", {0, 1, 1}, {"inhibit", "end", "release", "destroyed"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Follow(c.runFlags, true), c.expected) << c.name;
    }
}

TEST(RunSleepGuard, RefusedInhibitionIsNotRetriedEveryStatusRecord) {
    // A system without an inhibitor answers every call by doing nothing; ten records a second
    // must not turn into ten D-Bus round trips a second.
    const Log log = Follow({1, 1, 1, 1, 1, 0}, false);
    EXPECT_EQ(log, (Log{"inhibit", "release", "end", "destroyed"}));
}

TEST(RunSleepGuard, StopReleasesARunningGuardOnce) {
    Log log;
    auto inhibitor = std::make_unique<CFakeInhibitor>(log, true);
    CFakeInhibitor* fake = inhibitor.get();
    {
        CRunSleepGuard guard(std::move(inhibitor));
        guard.FollowRunFlag(true);
        EXPECT_TRUE(fake->held);
        EXPECT_FALSE(fake->lastReason.isEmpty());
        guard.Stop();  // link lost in the middle of a run
        EXPECT_FALSE(fake->held);
        EXPECT_FALSE(guard.Running());
        guard.Stop();
        // The module answers again and is still running: inhibit anew.
        guard.FollowRunFlag(true);
        EXPECT_TRUE(fake->held);
    }
    EXPECT_EQ(log, (Log{"inhibit", "release", "inhibit", "release", "destroyed"}));
}

TEST(RunSleepGuard, WorksWithoutAnInhibitor) {
    CRunSleepGuard guard(nullptr);
    guard.FollowRunFlag(true);
    EXPECT_TRUE(guard.Running());
    guard.FollowRunFlag(false);
    EXPECT_FALSE(guard.Running());
}
