#include "bdf/BdfLabels.h"

#include <QLatin1StringView>

namespace brimvolt {

namespace {

// The format's own list: the required columns, the recommended, then the optional ones.
constexpr std::array kKnown = std::to_array<BdfLabel>({
    {"Current / A", "current_ampere"},
    {"Test Time / s", "test_time_second"},
    {"Voltage / V", "voltage_volt"},
    {"Ambient Temperature / degC", "ambient_temperature_celsius"},
    {"Cycle Count / 1", "cycle_count"},
    {"Step Count / 1", "step_count"},
    {"Unix Time / s", "unix_time_second"},
    {"AC Internal Resistance / ohm", "ac_internal_resistance_ohm"},
    {"Absolute Impedance / ohm", "absolute_impedance_ohm"},
    {"Ambient Pressure / Pa", "ambient_pressure_pa"},
    {"Applied Pressure / Pa", "applied_pressure_pa"},
    {"Charging Capacity / Ah", "charging_capacity_ah"},
    {"Charging Energy / Wh", "charging_energy_wh"},
    {"Cumulative Capacity / Ah", "cumulative_capacity_ah"},
    {"Cumulative Energy / Wh", "cumulative_energy_wh"},
    {"Cycle Charging Capacity / Ah", "cycle_charging_capacity_ah"},
    {"Cycle Charging Energy / Wh", "cycle_charging_energy_wh"},
    {"Cycle Cumulative Capacity / Ah", "cycle_cumulative_capacity_ah"},
    {"Cycle Cumulative Energy / Wh", "cycle_cumulative_energy_wh"},
    {"Cycle Discharging Capacity / Ah", "cycle_discharging_capacity_ah"},
    {"Cycle Discharging Energy / Wh", "cycle_discharging_energy_wh"},
    {"Cycle Net Capacity / Ah", "cycle_net_capacity_ah"},
    {"Cycle Net Energy / Wh", "cycle_net_energy_wh"},
    {"DC Internal Resistance / ohm", "dc_internal_resistance_ohm"},
    {"Discharging Capacity / Ah", "discharging_capacity_ah"},
    {"Discharging Energy / Wh", "discharging_energy_wh"},
    {"Frequency / Hz", "frequency_hertz"},
    {"Imaginary Impedance / ohm", "imaginary_impedance_ohm"},
    {"Internal Resistance / ohm", "internal_resistance_ohm"},
    {"Net Capacity / Ah", "net_capacity_ah"},
    {"Net Energy / Wh", "net_energy_wh"},
    {"Phase / deg", "phase_degree"},
    {"Power / W", "power_watt"},
    {"Real Impedance / ohm", "real_impedance_ohm"},
    {"Record Index / 1", "record_index"},
    {"Schedule Charging Capacity / Ah", "schedule_charging_capacity_ah"},
    {"Schedule Charging Energy / Wh", "schedule_charging_energy_wh"},
    {"Schedule Discharging Capacity / Ah", "schedule_discharging_capacity_ah"},
    {"Schedule Discharging Energy / Wh", "schedule_discharging_energy_wh"},
    {"Step Charging Capacity / Ah", "step_charging_capacity_ah"},
    {"Step Charging Energy / Wh", "step_charging_energy_wh"},
    {"Step Cumulative Capacity / Ah", "step_cumulative_capacity_ah"},
    {"Step Cumulative Energy / Wh", "step_cumulative_energy_wh"},
    {"Step Discharging Capacity / Ah", "step_discharging_capacity_ah"},
    {"Step Discharging Energy / Wh", "step_discharging_energy_wh"},
    {"Step ID", "step_id"},
    {"Step Net Capacity / Ah", "step_net_capacity_ah"},
    {"Step Net Energy / Wh", "step_net_energy_wh"},
    {"Step Record Index / 1", "step_record_index"},
    {"Step Time / s", "step_time_second"},
    {"Step Type", "step_type"},
    {"Surface Pressure / Pa", "surface_pressure_pa"},
    {"Surface Temperature / degC", "surface_temperature_celsius"},
    {"Temperature T1 / degC", "temperature_t1_celsius"},
    {"Temperature T2 / degC", "temperature_t2_celsius"},
    {"Temperature T3 / degC", "temperature_t3_celsius"},
    {"Temperature T4 / degC", "temperature_t4_celsius"},
    {"Temperature T5 / degC", "temperature_t5_celsius"},
});

// What this program writes, by BdfColumn.
constexpr std::array<const char*, kBdfWrittenColumns> kWritten = {
    "Test Time / s",
    "Voltage / V",
    "Current / A",
    "Unix Time / s",
    "Cycle Count / 1",
    "Step Count / 1",
    "Step Type",
    "Charging Capacity / Ah",
    "Discharging Capacity / Ah",
    "Charging Energy / Wh",
    "Discharging Energy / Wh",
    "Surface Temperature / degC",
    "Internal Resistance / ohm",
};

}  // namespace

std::span<const BdfLabel> BdfKnownLabels() {
    return kKnown;
}

std::optional<int> BdfColumnNamed(QString headerCell) {
    if (headerCell.startsWith(QChar(0xFEFF))) {
        headerCell.remove(0, 1);
    }
    headerCell = headerCell.trimmed();
    for (int i = 0; i < static_cast<int>(kKnown.size()); ++i) {
        if (headerCell == QLatin1StringView(kKnown[i].label) ||
            headerCell == QLatin1StringView(kKnown[i].name)) {
            return i;
        }
    }
    return std::nullopt;
}

int BdfKnownIndexOf(BdfColumn column) {
    const QLatin1StringView label(kWritten[static_cast<int>(column)]);
    for (int i = 0; i < static_cast<int>(kKnown.size()); ++i) {
        if (label == QLatin1StringView(kKnown[i].label)) {
            return i;
        }
    }
    return -1;
}

const BdfLabel& BdfLabelOf(BdfColumn column) {
    return kKnown[BdfKnownIndexOf(column)];
}

}  // namespace brimvolt
