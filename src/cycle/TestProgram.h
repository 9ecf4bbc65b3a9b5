#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace brimvolt {

enum class StepKind : std::uint8_t { Charge, Discharge, Rest, Rin, Repeat };

/** One step of a test program. Only the fields of its kind mean anything. */
struct ProgramStep {
    StepKind kind = StepKind::Rest;
    std::uint16_t currentMa = 0;    // Charge, Discharge, Rin: parameter 3
    std::uint16_t cutoffMv = 0;     // Charge, Discharge, Rin: parameter 1
    std::int32_t limitMinutes = 0;  // Charge, Discharge: 0 takes the default limit
    std::int32_t restSeconds = 0;   // Rest
    std::int32_t repeatFrom = 0;    // Repeat: the first step repeated, counted from 1
    std::int32_t repeatTimes = 0;   // Repeat: passes in all, the first one included

    bool operator==(const ProgramStep&) const = default;
};

/** A named list of steps, run in order; a Repeat step sends the run back to its `repeatFrom`. */
struct TestProgram {
    QString name;
    std::int32_t nominalCapacityMah = 0;  // the cell's; 0 when not known
    std::vector<ProgramStep> steps;

    bool operator==(const TestProgram&) const = default;
};

/** The longest any step may take, whatever was asked for. */
constexpr std::int64_t kMaxStepSeconds = 24 * 3600;
/** How long an Rin step may take: a few seconds of load are all a measurement needs. */
constexpr std::int64_t kRinStepSeconds = 120;
/** The most passes a Repeat step may ask for. */
constexpr std::int32_t kMaxRepeatTimes = 1000;

/**
 * The time a step may run before it is stopped: its own limit when it has one, else twice the
 * time the nominal capacity takes at the step's current; 24 h when neither is known, and never
 * more than 24 h.
 */
std::int64_t StepLimitSeconds(const TestProgram& program, const ProgramStep& step);

/**
 * Whether the steps make a program that can run: at least one step, every Repeat pointing back
 * to an earlier step with 1..kMaxRepeatTimes passes, currents and cut-offs above 0, no Rin step
 * straight after a discharge that left the cell where the pulse would stop at once (a cut-off no
 * lower at a current no lower). The first fault as "step N: field: why", or nullopt.
 */
std::optional<QString> CheckProgram(const TestProgram& program);

/** Currents, cut-offs and rest of the ready-made programs. */
struct ReadyMadeSettings {
    std::uint16_t chargeMa = 1000;
    std::uint16_t chargeCutoffMv = 4200;
    std::uint16_t dischargeMa = 1000;
    std::uint16_t dischargeCutoffMv = 3000;
    std::int32_t restMinutes = 30;
    std::int32_t nominalCapacityMah = 0;
};

/** "Ёмкость: заряд, отдых 30 мин, разряд, отдых 30 мин, заряд". */
TestProgram CapacityProgram(const ReadyMadeSettings& settings = {});
/** "Циклы: N × (заряд, отдых, разряд, отдых)", the four steps repeated `cycles` times. */
TestProgram CyclesProgram(std::int32_t cycles, const ReadyMadeSettings& settings = {});

}  // namespace brimvolt
