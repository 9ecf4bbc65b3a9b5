#include "module/CurveRecording.h"

#include <QString>

namespace brimvolt {

RecordOutcome RecordCurve(std::uint8_t& firstReading, std::int32_t& lastCurveSeconds,
                          std::uint16_t& restVoltageMv, CurveStore& store,
                          const StatusRecord& status) {
    RecordOutcome outcome;
    const std::int32_t elapsed = status.elapsedSeconds;
    store.chargeCurve = status.params[4];

    if (firstReading) {
        // The module may already be counting when the program connects: the run so far is
        // lost, but its current second is kept. The curve's length and capacity wait for the
        // next second.
        firstReading = 0;
        store.sampleMillivolts[0] = status.voltageMv;
        if (elapsed != 0) {
            if (store.Append(elapsed, status.voltageMv)) {
                outcome.pointAdded = true;
            } else {
                outcome.storeFull = true;
            }
            lastCurveSeconds = elapsed;
        }
    }

    if (elapsed == 0) {
        // Also on the very first record, so a run that starts next has its resting voltage.
        lastCurveSeconds = 0;
        restVoltageMv = status.voltageMv;
    }

    if (elapsed == 1 && lastCurveSeconds == 0) {
        store.durationSeconds = 0;
        store.lastIndex = 0;
        store.sampleTimes[0] = 0;
        store.sampleMillivolts[0] = restVoltageMv;
        outcome.newRun = true;
    }

    if (elapsed != lastCurveSeconds) {
        if (store.Append(elapsed, status.voltageMv)) {
            store.durationSeconds = elapsed;
            store.curveCapacityText = QString::asprintf("%.3fAh", status.capacityMah / 1000.0);
            outcome.pointAdded = true;
        } else {
            outcome.storeFull = true;
        }
        // Taken even when the point was dropped: a full store is then reported once per
        // second of the module's time, and a standing time costs nothing.
        lastCurveSeconds = elapsed;
    }
    return outcome;
}

}  // namespace brimvolt
