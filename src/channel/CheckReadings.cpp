#include "channel/CheckReadings.h"

#include <cmath>

namespace brimvolt {

bool NoCellIn(const StatusRecord& status) {
    return status.voltageMv < kNoCellBelowMv;
}

bool CCheckReadings::Offer(const StatusRecord& status, std::int64_t steadyMs, std::int64_t wallMs) {
    if (keep == 0) {
        return false;
    }
    if (lastSecond < 0) {
        originMs = steadyMs;
    }
    const std::int64_t second = (steadyMs - originMs) / 1000;
    if (lastSecond >= 0 && second <= lastSecond) {
        return false;
    }
    lastSecond = second;
    readings.push_back({status.voltageMv, status.temperature, wallMs});
    while (readings.size() > keep) {
        readings.pop_front();
    }
    return true;
}

void CCheckReadings::Clear() {
    readings.clear();
    lastSecond = -1;
}

std::optional<CheckRecord> CCheckReadings::Check(const QString& port) const {
    if (readings.empty()) {
        return std::nullopt;
    }
    double millivolts = 0;
    double degrees = 0;
    for (const Reading& reading : readings) {
        millivolts += reading.voltageMv;
        degrees += reading.temperature;
    }
    const auto count = static_cast<double>(readings.size());
    CheckRecord check;
    check.millivolts = millivolts / count;
    check.temperature = static_cast<std::uint8_t>(std::lround(degrees / count));
    check.atUtc = readings.back().wallMs / 1000;
    check.port = port;
    return check;
}

}  // namespace brimvolt
