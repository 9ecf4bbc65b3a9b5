#pragma once

#include <cstdint>
#include <optional>

namespace brimvolt {

/**
 * What one cycle of a test program gave: from the status records while the program runs, from
 * the journal's runs of it afterwards.
 */
struct CycleResult {
    std::int32_t cycle = 0;  // from 1
    std::optional<std::int32_t> chargeMah;
    std::optional<std::int32_t> dischargeMah;
    double chargeMwh = 0.0;
    double dischargeMwh = 0.0;
    std::optional<std::uint16_t> rinMohm;  // the last one measured in the cycle
    std::int32_t maxTemperatureC = 0;

    /** Discharge ÷ charge capacity, when the cycle has both and the charge is not 0. */
    std::optional<double> CoulombicEfficiency() const {
        if (!chargeMah || !dischargeMah || *chargeMah <= 0) {
            return std::nullopt;
        }
        return static_cast<double>(*dischargeMah) / *chargeMah;
    }
    /** Discharge ÷ charge energy, likewise. */
    std::optional<double> EnergyEfficiency() const {
        if (!chargeMah || !dischargeMah || !(chargeMwh > 0.0)) {
            return std::nullopt;
        }
        return dischargeMwh / chargeMwh;
    }
};

}  // namespace brimvolt
