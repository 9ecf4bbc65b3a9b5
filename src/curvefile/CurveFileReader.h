#pragma once

#include <QByteArray>
#include <QStringView>
#include <cstdint>

#include "plot/CurveStore.h"

class QIODevice;

namespace brimvolt {

enum class CurveReadStatus {
    Loaded,
    Truncated,   // more points than the store holds: the first ones were read
    NoDataKeys,  // the head holds neither "U_" nor "Секунды": no data to locate
    ReadFailed,  // the device reported an error while being read
};

struct CurveReadResult {
    CurveReadStatus status = CurveReadStatus::Loaded;
    std::int32_t pointsRead = 0;  // points stored; 0 for a file without a data line
};

/**
 * Reads a curve file (table form or key-value form) from the device's current position into
 * `into`: curveCapacityText, the samples, lastIndex and durationSeconds. Other fields are left
 * alone. A file without any data line gives an empty curve (lastIndex 0, durationSeconds 0).
 * The device is read in large chunks, never more than one chunk held at a time.
 */
CurveReadResult ReadCurve(QIODevice& device, CurveStore& into);

/** ReadCurve over bytes already in memory. */
CurveReadResult ReadCurveBytes(const QByteArray& bytes, CurveStore& into);

/**
 * Millivolts of a volts text as the curve files carry it: "," or "." as decimal point, the
 * leading number taken, trunc((volts + 0.00001) * 1000) reduced to its low 16 bits; no number,
 * infinity and NaN give 0.
 */
std::uint16_t MillivoltsOfText(QStringView volts);

}  // namespace brimvolt
