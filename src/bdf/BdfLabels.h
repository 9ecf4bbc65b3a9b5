#pragma once

#include <QString>
#include <array>
#include <optional>
#include <span>

namespace brimvolt {

/**
 * The columns of the Battery Data Format (BDF): a CSV whose header row holds fixed labels, the
 * units fixed by them. Readers also accept each column's machine-readable name.
 */
struct BdfLabel {
    const char* label;  // the preferred label, as a header row carries it: "Current / A"
    const char* name;   // the machine-readable name: "current_ampere"
};

/** The columns this program writes, in the order it writes them. */
enum class BdfColumn : int {
    TestTime,
    Voltage,
    Current,
    UnixTime,
    CycleCount,
    StepCount,
    StepType,
    ChargingCapacity,
    DischargingCapacity,
    ChargingEnergy,
    DischargingEnergy,
    SurfaceTemperature,
    InternalResistance,
};
inline constexpr int kBdfWrittenColumns = 13;

/** The label and name of a column this program writes. */
const BdfLabel& BdfLabelOf(BdfColumn column);

/** Every column the format knows, the three required ones first. */
std::span<const BdfLabel> BdfKnownLabels();
inline constexpr int kBdfRequiredColumns = 3;

/**
 * The known column a header cell names, by its preferred label or its machine-readable name
 * (surrounding spaces and a byte-order mark ignored): an index into BdfKnownLabels(), or nullopt.
 */
std::optional<int> BdfColumnNamed(QString headerCell);

/** The index into BdfKnownLabels() of a column this program writes. */
int BdfKnownIndexOf(BdfColumn column);

/** The step types this program writes. */
inline constexpr const char* kBdfChargeStep = "CC_CHG";
inline constexpr const char* kBdfDischargeStep = "CC_DCH";
inline constexpr const char* kBdfRestStep = "REST";

}  // namespace brimvolt
