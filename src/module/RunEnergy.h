#pragma once

#include <cstdint>

namespace brimvolt {

/** The longest interval between two readings that adds energy: the module's whole clock. */
inline constexpr std::int64_t kMaxIntervalSeconds = 256 * 3600;
/**
 * The most energy a run may show, in µJ: a journal's stored or summed values are bounded to it,
 * so arithmetic on them (rounding, sums, negation) never overflows.
 */
inline constexpr std::int64_t kMaxEnergyUj = std::int64_t{1} << 60;

/** µJ in mWh (1 mWh = 3.6 J). */
inline double EnergyMwh(std::int64_t energyUj) {
    return static_cast<double>(energyUj) / 3.6e6;
}

/**
 * A run's energy (mV × mA × s, µJ) from its readings in time order: the one rule for the
 * journal's totals, its samples read back and a test program's steps.
 *
 * A reading stands for the seconds since the one before, as the module's capacity counter
 * counts them; the first one for the seconds since the run's clock stood at 0. An interval counts
 * at the power of the reading that closes it. The record that shows the run stopped reads no
 * current, though the load ran up to the stop: an interval closed by a reading without current
 * counts at the last power read with one. A clock that stood or went back adds nothing.
 */
class CRunEnergy {
public:
    CRunEnergy() = default;
    /**
     * Goes on from a total integrated up to the module's time `seconds`; the power read last is
     * not known, so a stop read next adds nothing.
     */
    CRunEnergy(std::int64_t energyUj, std::int32_t seconds);

    /** One reading: the module's elapsed time, voltage and current. */
    void Add(std::int32_t seconds, std::uint16_t voltageMv, std::uint16_t currentMa);

    std::int64_t Uj() const { return energyUj; }
    double Mwh() const { return EnergyMwh(energyUj); }
    /** The charge counted by the same rule, mA × s: what the energy was integrated over. */
    std::int64_t ChargeMas() const { return chargeMas; }

private:
    std::int64_t energyUj = 0;
    std::int64_t chargeMas = 0;
    std::int32_t lastSeconds = 0;
    std::uint16_t voltageMv = 0;  // of the last reading with current
    std::uint16_t currentMa = 0;
};

}  // namespace brimvolt
