#pragma once

#include <QString>
#include <memory>

#include "platform/SleepInhibitor.h"

namespace brimvolt::platform {

/**
 * Holds off sleep for as long as the module reports a run. Fed with the run flag of every status
 * record; it asks the inhibitor only when the flag changes, so a refused inhibition is not
 * retried ten times a second.
 */
class CRunSleepGuard {
public:
    explicit CRunSleepGuard(std::unique_ptr<CSleepInhibitor> inhibitor);
    ~CRunSleepGuard();
    CRunSleepGuard(const CRunSleepGuard&) = delete;
    CRunSleepGuard& operator=(const CRunSleepGuard&) = delete;

    /** The run flag of the latest status record: inhibits as a run starts, releases as it stops. */
    void FollowRunFlag(bool running);
    /** The module is gone (link lost, port closed, program ending): sleep is allowed again. */
    void Stop();

    bool Running() const { return running; }

    static QString Reason();

private:
    std::unique_ptr<CSleepInhibitor> inhibitor;
    bool running = false;
};

}  // namespace brimvolt::platform
