#include "channel/SleepHold.h"

#include "platform/RunSleepGuard.h"

namespace brimvolt {

CSleepHold::CSleepHold(std::unique_ptr<platform::CRunSleepGuard> guard) : guard(std::move(guard)) {}

CSleepHold::~CSleepHold() = default;

void CSleepHold::FollowRunFlag(const void* channel, bool running) {
    if (running) {
        runningChannels.insert(channel);
    } else {
        runningChannels.erase(channel);
    }
    guard->FollowRunFlag(!runningChannels.empty());
}

void CSleepHold::Stop(const void* channel) {
    runningChannels.erase(channel);
    if (runningChannels.empty()) {
        guard->Stop();
    }
}

}  // namespace brimvolt
