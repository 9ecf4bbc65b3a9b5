#include "module/CurveRecording.h"

#include <QString>

namespace brimvolt {

CurveClockStep StepCurveClock(std::uint8_t& firstReading, std::int32_t& lastCurveSeconds,
                              std::uint16_t& restVoltageMv, const StatusRecord& status) {
    CurveClockStep step;
    const std::int32_t elapsed = status.elapsedSeconds;
    if (firstReading) {
        // The module may already be counting when the program connects: the run so far is
        // lost, but its current second is kept.
        firstReading = 0;
        step.firstReading = true;
        if (elapsed != 0) {
            step.firstPoint = true;
            lastCurveSeconds = elapsed;
        }
    }
    if (elapsed == 0) {
        // Also on the very first record, so a run that starts next has its resting voltage.
        lastCurveSeconds = 0;
        restVoltageMv = status.voltageMv;
    }
    step.leftRest = elapsed != 0 && lastCurveSeconds == 0;
    step.newRun = elapsed == 1 && lastCurveSeconds == 0;
    // Taken even when the store has no room for the point: a full store is then reported once
    // per second of the module's time, and a standing time costs nothing.
    step.nextSecond = elapsed != lastCurveSeconds;
    lastCurveSeconds = elapsed;
    return step;
}

QString CurveCapacityText(std::int32_t capacityMah) {
    return QString::asprintf("%.3fAh", capacityMah / 1000.0);
}

void StartCurve(CurveStore& store, std::uint16_t millivolts) {
    store.durationSeconds = 0;
    store.lastIndex = 0;
    store.sampleTimes[0] = 0;
    store.sampleMillivolts[0] = millivolts;
    store.Rewritten();
}

RecordOutcome RecordClockStep(const CurveClockStep& step, std::uint16_t restVoltageMv,
                              CurveStore& store, const StatusRecord& status) {
    RecordOutcome outcome;
    const std::int32_t elapsed = status.elapsedSeconds;
    store.chargeCurve = status.params[4];

    if (step.firstReading) {
        // The curve's length and capacity wait for the next second.
        store.sampleMillivolts[0] = status.voltageMv;
        store.Rewritten();
        if (step.firstPoint) {
            if (store.Append(elapsed, status.voltageMv)) {
                outcome.pointAdded = true;
            } else {
                outcome.storeFull = true;
            }
        }
    }
    if (step.newRun) {
        StartCurve(store, restVoltageMv);
        outcome.newRun = true;
    }
    if (step.nextSecond) {
        if (store.Append(elapsed, status.voltageMv)) {
            store.durationSeconds = elapsed;
            store.curveCapacityText = CurveCapacityText(status.capacityMah);
            outcome.pointAdded = true;
        } else {
            outcome.storeFull = true;
        }
    }
    return outcome;
}

RecordOutcome RecordCurve(std::uint8_t& firstReading, std::int32_t& lastCurveSeconds,
                          std::uint16_t& restVoltageMv, CurveStore& store,
                          const StatusRecord& status) {
    const CurveClockStep step =
        StepCurveClock(firstReading, lastCurveSeconds, restVoltageMv, status);
    return RecordClockStep(step, restVoltageMv, store, status);
}

}  // namespace brimvolt
