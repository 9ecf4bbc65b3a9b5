#pragma once

#include <QByteArray>
#include <QPointF>
#include <cstdint>
#include <span>
#include <vector>

#include "ica/IncrementalCapacity.h"

namespace brimvolt {

/** A run's curve for the files written of it. */
struct RunIcaCurve {
    std::int64_t runId = 0;
    const IcaCurve* curve = nullptr;
};

/** A run's dV/dQ for the files written of it. */
struct RunDvdqCurve {
    std::int64_t runId = 0;
    const DvdqCurve* curve = nullptr;
};

/**
 * The curves as CSV: a header line, then `run,voltage_V,dQdV_mAh_per_V` per grid point, run
 * after run. `excel`: ";" and decimal commas behind a byte-order mark, as the run CSV does.
 */
QByteArray IcaCsv(std::span<const RunIcaCurve> curves, bool excel = false);

/** The same for dV/dQ: `run,capacity_mAh,dVdQ_V_per_Ah` per grid point. */
QByteArray DvdqCsv(std::span<const RunDvdqCurve> curves, bool excel = false);

/** One tab-separated line per peak: run, voltage (V), height (mAh/V), area (mAh). */
QByteArray IcaPeakLines(std::span<const RunIcaCurve> curves);

/** The curve as (V, mAh/V) points for a figure, and its peaks likewise. */
std::vector<QPointF> IcaPoints(const IcaCurve& curve);
std::vector<QPointF> IcaPeakPoints(const IcaCurve& curve);
/** The dV/dQ as (mAh, V/Ah) points for a figure. */
std::vector<QPointF> DvdqPoints(const DvdqCurve& curve);

}  // namespace brimvolt
