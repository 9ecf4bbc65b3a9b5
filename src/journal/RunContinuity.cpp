#include "journal/RunContinuity.h"

namespace brimvolt {

RunTurn TurnOfRun(const CurveClockStep& step, const std::optional<FollowedRun>& followed,
                  const StatusRecord& status) {
    RunTurn turn;
    const std::int32_t elapsed = status.elapsedSeconds;
    const bool running = (status.statusFlags & flags::kRunning) != 0;
    if (step.newRun) {
        turn.endsFollowed = followed && followed->open;
        turn.releasesFollowed = followed.has_value();
        turn.opens = true;
        turn.fromRest = true;
        return turn;
    }
    bool followedLeft = !followed;
    if (followed) {
        if (elapsed > followed->durationSeconds) {
            if (followed->open) {
                turn.samples = true;
            } else if (running) {
                // Resumed without a reset: its time goes on from where it stopped.
                turn.resumes = true;
            } else {
                // A time set at rest: whatever runs next does not go on from this run.
                turn.releasesFollowed = true;
            }
        } else if (elapsed < followed->durationSeconds) {
            // A reset, or a time set back: this run's clock is gone.
            turn.endsFollowed = followed->open;
            turn.releasesFollowed = true;
        }
        followedLeft = turn.releasesFollowed;
    }
    if (followedLeft && running && elapsed > 0) {
        // Started from the rest with its first second unseen, found already running, or running
        // again after its time was set: from here on the run is followed.
        turn.opens = true;
        turn.fromRest = step.leftRest;
    }
    return turn;
}

bool GoesOnAfterGap(const FollowedRun& run, const StatusRecord& status) {
    const bool sameKind = run.charge == (status.params[4] != 0);
    return status.elapsedSeconds > 0 && status.elapsedSeconds >= run.durationSeconds && sameKind;
}

}  // namespace brimvolt
