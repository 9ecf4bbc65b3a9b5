#include "module/RunEnergy.h"

#include <algorithm>

namespace brimvolt {

CRunEnergy::CRunEnergy(std::int64_t energy, std::int32_t seconds)
    : energyUj(std::clamp<std::int64_t>(energy, 0, kMaxEnergyUj)), lastSeconds(seconds) {}

void CRunEnergy::Add(std::int32_t seconds, std::uint16_t readVoltageMv,
                     std::uint16_t readCurrentMa) {
    if (readCurrentMa > 0) {
        voltageMv = readVoltageMv;
        currentMa = readCurrentMa;
    }
    const std::int64_t interval = std::int64_t{seconds} - lastSeconds;
    lastSeconds = seconds;
    if (interval <= 0) {
        return;
    }
    // A gap longer than any run (a damaged or edited journal) counts as the longest run: the
    // products stay far inside 64 bits.
    const std::int64_t counted = std::min(interval, kMaxIntervalSeconds);
    chargeMas = std::min(chargeMas + std::int64_t{currentMa} * counted, kMaxEnergyUj);
    energyUj = std::min(energyUj + std::int64_t{voltageMv} * currentMa * counted, kMaxEnergyUj);
}

}  // namespace brimvolt
