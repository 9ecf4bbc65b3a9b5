#pragma once

#include <cstdint>
#include <optional>

namespace brimvolt {

/** A cell at rest this close above a program's discharge cut-off counts as emptied. */
inline constexpr std::uint16_t kEmptiedCellMarginMv = 100;

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
    // The charge began from a cell that was not emptied: what it put in is not what the cell
    // holds, so the efficiencies would mean nothing (cycle 1 of a cell at 40 % shows 165 %).
    bool chargeFromPartial = false;
    // The main dQ/dV peak of the cycle's capacity discharge: where it stands and how high. Both
    // empty when the discharge had too few readings or no peak.
    std::optional<double> peakVolts = std::nullopt;
    std::optional<double> peakMahPerVolt = std::nullopt;

    /**
     * Discharge ÷ charge capacity, when the cycle has both, the charge is not 0 and began from an
     * emptied cell.
     */
    std::optional<double> CoulombicEfficiency() const {
        if (chargeFromPartial || !chargeMah || !dischargeMah || *chargeMah <= 0) {
            return std::nullopt;
        }
        return static_cast<double>(*dischargeMah) / *chargeMah;
    }
    /** Discharge ÷ charge energy, likewise. */
    std::optional<double> EnergyEfficiency() const {
        if (chargeFromPartial || !chargeMah || !dischargeMah || !(chargeMwh > 0.0)) {
            return std::nullopt;
        }
        return dischargeMwh / chargeMwh;
    }
    /** The cycle has both capacities, yet no efficiency: its charge began from a charged cell. */
    bool EfficienciesWithheld() const { return chargeFromPartial && chargeMah && dischargeMah; }
};

}  // namespace brimvolt
