#pragma once

#include <QMetaType>
#include <QString>
#include <algorithm>
#include <array>
#include <cstdint>

#include "module/RunEnergy.h"

namespace brimvolt {

enum class RunState : std::uint8_t {
    Running = 0,      // being recorded, or its program ended without a word (crash, kill)
    Stopped = 1,      // ended; endCause says how
    Interrupted = 2,  // the program left during it; a later connection may continue it
};

enum class EndCause : std::uint8_t {
    None = 0,
    Module = 1,       // the module stopped by itself
    Operator = 2,     // the operator's stop (or reset) command
    Temperature = 3,  // the module switched off on temperature (status flag 0x04)
    LinkLost = 4,     // the link was lost and the module, found again, no longer showed the run
    Program = 5,      // a test program stopped it, or its rest ended
};

/** The most cycles or steps a journal's stored program marks are read as. */
inline constexpr std::int64_t kMaxProgramCycles = 1'000'000'000;

/** Where a run stands in a test program; programId 0 for a run of its own. */
struct ProgramMark {
    std::int64_t programId = 0;
    std::int32_t cycle = 0;  // from 1
    std::int32_t step = 0;   // from 1
    bool rin = false;        // the short discharge of an Rin measurement, not a capacity test

    bool operator==(const ProgramMark&) const = default;
};

/** One reading of a run, as the module reported it. */
struct JournalSample {
    std::int32_t seconds = 0;  // the module's elapsed time
    std::uint16_t voltageMv = 0;
    std::uint16_t currentMa = 0;
    std::int32_t capacityMah = 0;
    std::uint8_t temperature = 0;  // °C
    std::uint16_t rinMohm = 0;
    std::uint8_t statusFlags = 0;
    /**
     * Energy from the start of the run up to this reading, in µJ (mV × mA × s), as CRunEnergy
     * integrates it. Derived from the readings, so it is filled when samples are read and
     * ignored when they are written.
     */
    std::int64_t energyUj = 0;

    bool operator==(const JournalSample&) const = default;
};

/** A run of the journal: what the curve window would hold as one curve, and its totals. */
struct RunRecord {
    std::int64_t id = 0;          // 0 until the run is in the journal
    std::int64_t startedUtc = 0;  // seconds since 1970-01-01 UTC
    QString port;
    bool charge = false;  // the mode word at the start: 0 discharge, otherwise charge
    bool rest = false;    // a test program's rest: the module idle, the voltage recovering
    std::array<std::uint16_t, 12> params{};  // at the start, as the program holds them (0, 2: +1)
    QString label;
    QString note;
    RunState state = RunState::Running;
    EndCause endCause = EndCause::None;  // how it last stopped

    // Totals, brought up to date with every sample.
    std::int32_t durationSeconds = 0;  // the module's time at the last sample
    std::int32_t capacityMah = 0;      // the module's counter at the last sample
    std::int64_t energyUj = 0;         // µJ, integrated by CRunEnergy
    std::uint16_t startMv = 0;         // the first sample: the cell at rest for a run from rest
    std::uint16_t endMv = 0;
    std::uint16_t rinMohm = 0;  // the last Rin result the module held up (flag 0x10), 0 for none
    std::uint8_t maxTemperature = 0;  // °C
    std::int32_t sampleCount = 0;
    ProgramMark program;

    bool IsOpen() const { return state != RunState::Stopped; }
    /** A discharge whose capacity says what the cell holds: neither a rest nor an Rin pulse. */
    bool IsCapacityTest() const { return !charge && !rest && !program.rin && capacityMah > 0; }
    bool operator==(const RunRecord&) const = default;
};

/** What happened to a run, as the recorder tells those who follow the journal live. */
enum class RunEventKind : std::uint8_t {
    Opened,       // a new run began
    Continued,    // a run recorded before goes on (link found again, program restarted)
    Sampled,      // a new sample; totals updated
    Ended,        // the run stopped; endCause says how
    Interrupted,  // the program is leaving during the run
};

struct RunEvent {
    RunEventKind kind = RunEventKind::Sampled;
    RunRecord run;
};

}  // namespace brimvolt

Q_DECLARE_METATYPE(brimvolt::RunEvent)
