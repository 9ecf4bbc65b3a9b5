#pragma once

#include <cstdint>

#include "curve/CurveStore.h"
#include "module/Protocol.h"

namespace brimvolt {

struct RecordOutcome {
    bool newRun = false;      // a new curve began: the caller retitles the curve window
    bool pointAdded = false;  // the curve grew: the caller repaints the curve window
    bool storeFull = false;   // the module's time moved on but the store had no room left
};

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
