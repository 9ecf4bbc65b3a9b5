#include "journal/CurveRuns.h"

#include <utility>
#include <vector>

#include "journal/JournalExport.h"

namespace brimvolt {

void CCurveRuns::OnModuleFound(const QString& foundPort) {
    if (foundPort != port) {
        followed.reset();
        port = foundPort;
    }
    found = true;
}

RecordOutcome CCurveRuns::Record(std::uint8_t& firstReading, std::int32_t& lastCurveSeconds,
                                 std::uint16_t& restVoltageMv, CurveStore& store,
                                 const StatusRecord& status) {
    const std::int32_t elapsed = status.elapsedSeconds;
    const bool running = (status.statusFlags & flags::kRunning) != 0;
    const bool firstSinceFound = std::exchange(found, false);
    if (firstSinceFound && followed && followed->open && !GoesOnAfterGap(*followed, status)) {
        followed.reset();
    }
    CurveClockStep step = StepCurveClock(firstReading, lastCurveSeconds, restVoltageMv, status);
    const RunTurn turn = TurnOfRun(step, followed, status);
    if (turn.releasesFollowed) {
        followed.reset();
    }
    if (turn.samples || turn.resumes) {
        followed->durationSeconds = elapsed;
        followed->open = true;
    }
    // A run from 1 s after 0 and the run found at start-up begin as RecordCurve begins them. A
    // run whose time goes on from the curve's last point, with no reset between, continues that
    // curve: the operator set the module's time to a loaded curve's to carry it on. (A reset
    // shows as a point at 0 s.)
    const std::int32_t lastPointSeconds = store.sampleTimes[store.lastIndex];
    const bool continuesCurve = lastPointSeconds > 0 && elapsed >= lastPointSeconds;
    const bool startsCurve = turn.opens && !step.newRun && !step.firstReading && !continuesCurve;
    if (turn.opens) {
        ++runsBegun;
        followed = FollowedRun{elapsed, true, status.params[4] != 0};
        if (startsCurve) {
            // Point 0 as the journal's curve of the run has it: the cell at rest, else the
            // first reading.
            StartCurve(store, turn.fromRest ? restVoltageMv : status.voltageMv);
            // Its first point even when the module's time showed this second before the run.
            step.nextSecond = true;
        }
    }
    if (followed && followed->open && !running) {
        followed->open = false;
    }
    if (firstSinceFound) {
        runAtFound = runsBegun;
    }
    RecordOutcome outcome = RecordClockStep(step, restVoltageMv, store, status);
    outcome.newRun = outcome.newRun || startsCurve;
    return outcome;
}

bool CCurveRuns::TakeUp(const TakenUpRun& taken, CurveStore& store) {
    if (runAtFound != runsBegun || taken.samples.empty()) {
        return false;
    }
    runAtFound.reset();
    // The points recorded since the journal's last sample: the newest seconds of the same run.
    const std::int32_t lastSeconds = taken.samples.back().seconds;
    std::int32_t from = store.lastIndex + 1;
    while (from > 1 && store.sampleTimes[from - 1] > lastSeconds) {
        --from;
    }
    std::vector<std::pair<std::int32_t, std::uint16_t>> later;
    for (std::int32_t i = from; i <= store.lastIndex; ++i) {
        later.emplace_back(store.sampleTimes[i], store.sampleMillivolts[i]);
    }
    const std::int32_t durationSeconds = store.durationSeconds;
    const QString capacityText = store.curveCapacityText;
    const QString fileName = store.curveFileName;
    const std::uint8_t runActive = store.runActive;

    FillCurveStore(taken.run, taken.samples, store);
    for (const auto& [seconds, millivolts] : later) {
        if (!store.Append(seconds, millivolts)) {
            break;
        }
    }
    if (!later.empty() && durationSeconds > store.durationSeconds &&
        durationSeconds <= store.sampleTimes[store.lastIndex]) {
        store.durationSeconds = durationSeconds;
        store.curveCapacityText = capacityText;
    }
    store.curveFileName = fileName;
    store.runActive = runActive;
    if (!followed) {
        followed = FollowedRun{lastSeconds, taken.run.state == RunState::Running, taken.run.charge};
    }
    return true;
}

}  // namespace brimvolt
