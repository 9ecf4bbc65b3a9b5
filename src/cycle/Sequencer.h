#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "cycle/CycleResult.h"
#include "cycle/TestProgram.h"
#include "journal/RunRecord.h"
#include "module/Protocol.h"
#include "module/RunEnergy.h"

namespace brimvolt {

/** What the sequencer asks to be sent to the module with the next poll tick. */
struct SequencerCommand {
    enum Kind : std::uint8_t {
        None,
        Select,      // 'N' param: the selection notice an operator's write begins with
        Write,       // 'w' param word
        Start,       // 'p' while the module is idle
        Stop,        // 'p' while a run goes on
        Reset,       // 's': time and capacity back to 0 before a run
        MeasureRin,  // 'r'
        ClearRin,    // 'c'
    };
    Kind kind = None;
    std::uint8_t param = 0;
    std::uint16_t word = 0;

    /** The request bytes; only for a kind other than None. */
    Request ToRequest() const;
    bool operator==(const SequencerCommand&) const = default;
};

enum class SequencerState : std::uint8_t {
    Ready,            // not started
    Running,          // steps going on
    Paused,           // the link is lost
    WaitingOperator,  // the link is back but the module is not where the step left it
    Finished,         // every step done
    Ended,            // ended early; see EndReason
};

enum class EndReason : std::uint8_t {
    None,
    StepLimit,            // a run went past its step's limit and was stopped
    ModuleFault,          // the module reports its ADC or DAC missing
    TemperaturePowerOff,  // the module switched off on temperature
    WriteRefused,         // a parameter did not read back as written
    StartRefused,         // the module did not start the run
    StopRefused,          // the module went on running after being stopped
    ModuleBusy,           // a run the program did not start was going on
    OperatorStop,
    OperatorReset,
    RinNoLoad,  // an Rin step's run ended by itself before a result: the cell was at its cut-off
};

enum class StopScope : std::uint8_t { Program, Step };

/**
 * Runs a test program over the module's status records: each record in gives at most one
 * command out, to be sent with the next poll tick, so the record after a command shows its
 * effect. Times are milliseconds of any steady clock.
 *
 * A run step selects and writes parameters 4 (mode), 3 (current) and 1 (cut-off) one after
 * another, each checked against the record after its write, resets the module's time and
 * capacity, starts the run and watches it until the module ends it. A rest waits with the
 * module idle. An Rin step runs a discharge just long enough for one measurement; one the module
 * ends by itself before the result (the cell already at the step's cut-off) ends the program.
 *
 * A cycle's capacity discharge gives its main dQ/dV peak when it ends, computed once.
 *
 * A cycle's efficiencies count only when its charge began from an emptied cell: after a
 * discharge the module ended at its cut-off, or within kEmptiedCellMarginMv of the program's
 * discharge cut-off (the highest of its discharge steps').
 *
 * Anything unsafe ends the program: a step over its limit (the module is stopped), a fault flag,
 * the temperature power-off, a write the module did not take.
 */
class CSequencer {
public:
    explicit CSequencer(TestProgram program);

    const TestProgram& Program() const { return program; }

    /** Starts at step 1 with the next status record. */
    void Start(std::int64_t nowMs);
    /**
     * Goes on where an earlier run of the program left off (a restart): step `stepIndex` (from
     * 0) begins anew in cycle `cycle` with the Repeat passes `passesLeft` (per step; a list that
     * does not fit the program starts them afresh); `earlier` are the cycles done so far. A
     * run of the step's mode found going on is taken as the step's own, watched to its end.
     */
    void StartAt(std::size_t stepIndex, std::int32_t cycle, std::vector<std::int32_t> passesLeft,
                 std::vector<CycleResult> earlier, std::int64_t nowMs);
    /** One status record as the poll tick read it; the command to send with the next tick. */
    SequencerCommand OnStatus(const StatusRecord& status, std::int64_t nowMs);
    /** The link to the module is lost: the program waits for it. */
    void OnLinkLost();
    /**
     * The operator stops: the whole program, or only the step in progress (the program goes on
     * with the next one). A running module is stopped by the commands that follow.
     */
    void OperatorStop(StopScope scope);
    /** The operator reset the module: the program ends. */
    void OperatorReset();
    /** After WaitingOperator: the step the program was in begins again. */
    void Resume(std::int64_t nowMs);

    SequencerState State() const { return state; }
    EndReason Reason() const { return reason; }
    /** The parameter whose write was refused, with EndReason::WriteRefused. */
    std::uint8_t RefusedParam() const { return refusedParam; }
    /** The step in progress or where the program stopped, from 0. */
    std::size_t StepIndex() const { return stepIndex; }
    /** The pass, from 1: one more for every jump back of a Repeat step. */
    std::int32_t Cycle() const { return cycle; }
    /** Time in the step in progress. */
    std::int64_t StepElapsedMs(std::int64_t nowMs) const;
    /** The step that comes after the one in progress, Repeat steps followed; nullopt at the end. */
    std::optional<std::size_t> NextStepIndex() const;
    /** The cycles begun so far, the one in progress last. */
    const std::vector<CycleResult>& Cycles() const { return cycles; }
    /** Whether the module is still owed a stop (the program ended while it ran). */
    bool StopOwed() const { return stopOwed; }
    /** Per step, the jumps back its Repeat still makes: what StartAt takes to go on. */
    const std::vector<std::int32_t>& PassesLeft() const { return passesLeft; }

    /** A step that began: its index from 0 and its cycle. */
    struct BegunStep {
        std::size_t stepIndex = 0;
        std::int32_t cycle = 1;
        bool operator==(const BegunStep&) const = default;
    };
    /** The steps begun since the last call, in order (the journal marks their runs). */
    std::vector<BegunStep> TakeBegunSteps() { return std::exchange(begunSteps, {}); }

private:
    enum class Phase : std::uint8_t {
        Begin,     // the step begins with the next record
        Select,    // 'N' sent, 'w' next
        Check,     // 'w' sent, its value checked next
        Reset,     // 's' sent
        Start,     // 'p' sent, the run expected
        Watch,     // the run goes on
        RinClear,  // the result taken, 'c' sent
        Stopping,  // 'p' sent to stop; the next step when the module is idle
        Rest,
    };

    SequencerCommand Advance(const StatusRecord& status, std::int64_t nowMs);
    SequencerCommand RunStep(const ProgramStep& step, const StatusRecord& status,
                             std::int64_t nowMs);
    SequencerCommand End(EndReason why, const StatusRecord& status, bool stop = true);
    SequencerCommand NextStep(const StatusRecord& status, std::int64_t nowMs);
    void BeginStep(std::size_t index, std::int64_t nowMs);
    void FinishRun(const ProgramStep& step, const StatusRecord& status);
    void Follow(const StatusRecord& status);
    void Accumulate(const StatusRecord& status);
    CycleResult& Current() { return cycles.back(); }

    TestProgram program;
    SequencerState state = SequencerState::Ready;
    EndReason reason = EndReason::None;
    Phase phase = Phase::Begin;
    std::size_t stepIndex = 0;
    std::int32_t cycle = 1;
    std::vector<std::int32_t> passesLeft;  // per Repeat step: jumps back still to make
    std::vector<CycleResult> cycles;
    std::int64_t stepStartMs = 0;
    std::int64_t runStartMs = 0;
    std::size_t writeIndex = 0;  // which of parameters 4, 3, 1 is being written
    int tries = 0;               // records waited for a start, or stops sent
    bool stopOwed = false;
    bool stopEndsProgram = false;
    std::uint8_t refusedParam = 0;
    CRunEnergy runEnergy;
    bool emptied = false;          // the last run was a discharge the module ended at its cut-off
    bool chargeFromEmpty = false;  // the charge step in progress began from an emptied cell
    std::vector<BegunStep> begunSteps;
    bool adoptRun = false;  // StartAt: a run of the step's mode found going on is the step's
    // A discharge's readings, one per module second, for its dQ/dV peak when it ends; a run taken
    // up halfway (adopted) is not seen whole and gives none.
    std::vector<JournalSample> runSamples;
    bool runSeenWhole = true;
};

}  // namespace brimvolt
