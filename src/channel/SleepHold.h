#pragma once

#include <memory>
#include <set>

namespace brimvolt::platform {
class CRunSleepGuard;
}

namespace brimvolt {

/**
 * One sleep guard shared by the channels of a program: the computer stays awake while any of
 * them reports a run. With one channel it follows that channel's run flag exactly.
 */
class CSleepHold {
public:
    explicit CSleepHold(std::unique_ptr<platform::CRunSleepGuard> guard);
    ~CSleepHold();

    /** The run flag of `channel`'s latest status record. */
    void FollowRunFlag(const void* channel, bool running);
    /** `channel`'s module is gone or the channel leaves: it no longer holds the computer up. */
    void Stop(const void* channel);

private:
    std::unique_ptr<platform::CRunSleepGuard> guard;
    std::set<const void*> runningChannels;
};

}  // namespace brimvolt
