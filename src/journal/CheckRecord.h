#pragma once

#include <QMetaType>
#include <QString>
#include <cstdint>
#include <optional>

#include "journal/CellRecord.h"

namespace brimvolt {

/**
 * A cell's voltage measured with no run: by a module standing idle (the mean of its readings)
 * or by hand with a multimeter.
 */
struct CheckRecord {
    std::int64_t id = 0;  // 0 until the check is in the journal
    std::int64_t cellId = 0;
    std::int64_t atUtc = 0;                   // seconds since 1970-01-01 UTC
    double millivolts = 0;                    // a mean keeps its fraction of a millivolt
    std::optional<std::uint8_t> temperature;  // °C; none for a check by hand
    QString port;                             // the module's port, empty for a check by hand

    bool operator==(const CheckRecord&) const = default;
};

/**
 * The bounds a chemistry's cells are graded by, as the builder set them. A missing bound is not
 * judged (lead cells have no Rin bound by default).
 */
struct GradeBoundsRecord {
    Chemistry chemistry = Chemistry::LiIon;
    double aSharePercent = 0;  // the last discharge as a share of the nominal, for grades A, B, C
    double bSharePercent = 0;
    double cSharePercent = 0;
    std::optional<double> maxRinMohm;
    std::optional<double> maxDropMvPerDay;
    double minStorageDays = 0;  // a storage shorter than this gives no self-discharge verdict

    bool operator==(const GradeBoundsRecord&) const = default;
};

}  // namespace brimvolt

Q_DECLARE_METATYPE(brimvolt::CheckRecord)
