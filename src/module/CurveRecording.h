#pragma once

#include <QString>
#include <cstdint>

#include "module/Protocol.h"
#include "plot/CurveStore.h"

namespace brimvolt {

/** What one status record means for the curve's clock. */
struct CurveClockStep {
    bool firstReading = false;  // the first record since start-up
    bool firstPoint = false;    // ... and the module's time was already running: a point there
    bool newRun = false;        // the time shows 1 s after standing at 0: a new curve begins
    bool leftRest = false;      // the time moved on from standing at 0 (newRun is the 1 s case)
    bool nextSecond = false;    // the time differs from the last one handled: a point
};

/**
 * Moves the poll cycle's recording fields on by one status record (see RecordCurve) and says
 * what the record means for the curve, without touching a store. Everything that follows the
 * curve's runs (the curve itself, the run journal) decides by this one step.
 */
CurveClockStep StepCurveClock(std::uint8_t& firstReading, std::int32_t& lastCurveSeconds,
                              std::uint16_t& restVoltageMv, const StatusRecord& status);

/** The curve's capacity text: "%.3fAh" of the module's mAh ("1.234Ah"). */
QString CurveCapacityText(std::int32_t capacityMah);

struct RecordOutcome {
    bool newRun = false;      // a new curve began: the caller retitles the curve window
    bool pointAdded = false;  // the curve grew: the caller repaints the curve window
    bool storeFull = false;   // the module's time moved on but the store had no room left
};

/**
 * RecordCurve's work on the store once the record's step is taken: point 0 of a new run, the
 * point of a new second, the mode word into store.chargeCurve.
 */
RecordOutcome RecordClockStep(const CurveClockStep& step, std::uint16_t restVoltageMv,
                              CurveStore& store, const StatusRecord& status);

/**
 * Empties the store for a run that begins: point 0 at 0 s with `millivolts`, the curve's length
 * 0 until the run's first point comes.
 */
void StartCurve(CurveStore& store, std::uint16_t millivolts);

/**
 * Records the curve from one status record: a point for every new value of the module's
 * elapsed time, and a new curve when the time goes from 0 to 1 s. Also sets store.chargeCurve
 * from the mode word.
 *
 * `firstReading`, `lastCurveSeconds` and `restVoltageMv` are the poll cycle's own fields:
 * `lastCurveSeconds` starts at -1, is 0 while the module's time stands at 0, and otherwise is
 * the elapsed time of the last status record whose time was handled; `restVoltageMv` follows the
 * voltage while the time is 0 and becomes point 0 of the next curve.
 *
 * A full store keeps its curve whole: a point with no room is dropped and the curve's length
 * and capacity stay those of its last stored point.
 */
RecordOutcome RecordCurve(std::uint8_t& firstReading, std::int32_t& lastCurveSeconds,
                          std::uint16_t& restVoltageMv, CurveStore& store,
                          const StatusRecord& status);

}  // namespace brimvolt
