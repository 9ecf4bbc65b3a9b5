#include "cycle/Sequencer.h"

#include "journal/ProgramCycles.h"

#include <algorithm>
#include <array>
#include <utility>

namespace brimvolt {

namespace {

// A run step writes the mode first, so the current and the cut-off land in the mode's settings.
constexpr std::array<std::uint8_t, 3> kRunParams = {4, 3, 1};
// Records to wait for a run to show after 'p', and stops to send before giving up.
constexpr int kStartRecords = 3;
constexpr int kStopTries = 3;

bool Running(const StatusRecord& status) {
    return (status.statusFlags & flags::kRunning) != 0;
}

bool RunsTheModule(StepKind kind) {
    return kind == StepKind::Charge || kind == StepKind::Discharge || kind == StepKind::Rin;
}

std::uint16_t RunWord(const ProgramStep& step, std::uint8_t param) {
    switch (param) {
        case 4:
            return step.kind == StepKind::Charge ? 1 : 0;  // an Rin step measures under a load
        case 3:
            return step.currentMa;
        default:
            return step.cutoffMv;
    }
}

// The passes each Repeat step in [from, to) has left when it is reached afresh; the others of
// `passes` as they were.
std::vector<std::int32_t> FreshPasses(const TestProgram& program, std::size_t from, std::size_t to,
                                      std::vector<std::int32_t> passes) {
    passes.resize(program.steps.size(), 0);
    for (std::size_t i = from; i < to && i < program.steps.size(); ++i) {
        if (program.steps[i].kind == StepKind::Repeat) {
            passes[i] = std::max(0, program.steps[i].repeatTimes - 1);
        }
    }
    return passes;
}

// The step that runs from `next` on, Repeat steps followed (a jump may land on another Repeat):
// past the end when there is none. Counts the jumps back.
std::size_t FollowRepeats(const TestProgram& program, std::size_t next,
                          std::vector<std::int32_t>& passes, int* jumps) {
    while (next < program.steps.size() && program.steps[next].kind == StepKind::Repeat) {
        const std::int32_t from = program.steps[next].repeatFrom;
        if (passes[next] > 0 && from >= 1 && static_cast<std::size_t>(from) <= next) {
            --passes[next];
            // Repeats inside the jump start their own passes afresh.
            passes = FreshPasses(program, static_cast<std::size_t>(from - 1), next, passes);
            next = static_cast<std::size_t>(from - 1);
            if (jumps != nullptr) {
                ++*jumps;
            }
        } else {
            ++next;
        }
    }
    return next;
}

// The cut-off a discharge of the program empties the cell to: the highest, so a cell emptied by
// any of its discharges counts; 0 for a program without one.
std::uint16_t DischargeCutoffMv(const TestProgram& program) {
    std::uint16_t cutoff = 0;
    for (const ProgramStep& step : program.steps) {
        if (step.kind == StepKind::Discharge) {
            cutoff = std::max(cutoff, step.cutoffMv);
        }
    }
    return cutoff;
}

SequencerCommand Command(SequencerCommand::Kind kind, std::uint8_t param = 0,
                         std::uint16_t word = 0) {
    return SequencerCommand{kind, param, word};
}

}  // namespace

Request SequencerCommand::ToRequest() const {
    switch (kind) {
        case Select:
            return SelectRequest(param);
        case Write:
            return WriteRequest(param, word);
        case Start:
        case Stop:
            return BuildRequest('p');
        case Reset:
            return BuildRequest('s');
        case MeasureRin:
            return BuildRequest('r');
        case ClearRin:
            return BuildRequest('c');
        case None:
            break;
    }
    return BuildRequest('a');
}

CSequencer::CSequencer(TestProgram programToRun) : program(std::move(programToRun)) {}

void CSequencer::Start(std::int64_t nowMs) {
    passesLeft = FreshPasses(program, 0, program.steps.size(), {});
    cycle = 1;
    cycles.assign(1, CycleResult{});
    cycles.back().cycle = 1;
    reason = EndReason::None;
    stopOwed = false;
    emptied = false;
    state = program.steps.empty() ? SequencerState::Finished : SequencerState::Running;
    begunSteps.clear();
    BeginStep(0, nowMs);
}

void CSequencer::StartAt(std::size_t index, std::int32_t atCycle,
                         std::vector<std::int32_t> passes, std::vector<CycleResult> earlier,
                         std::int64_t nowMs) {
    Start(nowMs);
    if (index >= program.steps.size() || program.steps[index].kind == StepKind::Repeat) {
        return;  // no step to go on from: the program begins again
    }
    const bool passesFit =
        passes.size() == program.steps.size() &&
        std::all_of(passes.begin(), passes.end(), [](std::int32_t n) { return n >= 0; });
    if (passesFit) {
        for (std::size_t i = 0; i < passes.size(); ++i) {
            passesLeft[i] = std::min(passes[i], passesLeft[i]);
        }
    }
    cycle = std::max(1, atCycle);
    // The cycles before this one as the journal has them; this one begins afresh.
    std::erase_if(earlier, [&](const CycleResult& c) { return c.cycle >= cycle; });
    cycles = std::move(earlier);
    cycles.push_back(CycleResult{});
    cycles.back().cycle = cycle;
    begunSteps.clear();
    BeginStep(index, nowMs);
    adoptRun = true;
}

SequencerCommand CSequencer::OnStatus(const StatusRecord& status, std::int64_t nowMs) {
    switch (state) {
        case SequencerState::Ready:
        case SequencerState::Finished:
        case SequencerState::WaitingOperator:
            return {};
        case SequencerState::Ended:
            // A program that ended during a run leaves the module idle, a stop at a time.
            if (stopOwed && Running(status) && tries < kStopTries) {
                ++tries;
                return Command(SequencerCommand::Stop);
            }
            stopOwed = false;
            return {};
        case SequencerState::Paused: {
            // The link is back: go on only where the module is as the step left it.
            const StepKind kind = program.steps[stepIndex].kind;
            const bool watching =
                phase == Phase::Start || phase == Phase::Watch || phase == Phase::RinClear;
            const bool goOn = phase == Phase::Stopping ||
                              (RunsTheModule(kind) && watching && Running(status)) ||
                              (kind == StepKind::Rest && !Running(status));
            if (!goOn) {
                state = SequencerState::WaitingOperator;
                return {};
            }
            state = SequencerState::Running;
            break;
        }
        case SequencerState::Running:
            break;
    }
    return Advance(status, nowMs);
}

void CSequencer::OnLinkLost() {
    if (state == SequencerState::Running) {
        state = SequencerState::Paused;
    }
}

void CSequencer::OperatorStop(StopScope scope) {
    const bool active = state == SequencerState::Running || state == SequencerState::Paused ||
                        state == SequencerState::WaitingOperator;
    if (!active) {
        return;
    }
    tries = 0;
    if (scope == StopScope::Program) {
        state = SequencerState::Ended;
        reason = EndReason::OperatorStop;
        stopOwed = true;
        return;
    }
    phase = Phase::Stopping;
    stopEndsProgram = false;
    if (state == SequencerState::WaitingOperator) {
        state = SequencerState::Running;
    }
}

void CSequencer::OperatorReset() {
    const bool active = state == SequencerState::Running || state == SequencerState::Paused ||
                        state == SequencerState::WaitingOperator;
    if (active) {
        state = SequencerState::Ended;
        reason = EndReason::OperatorReset;
        stopOwed = false;  // the reset stopped whatever ran
    }
}

void CSequencer::Resume(std::int64_t nowMs) {
    if (state == SequencerState::WaitingOperator) {
        state = SequencerState::Running;
        BeginStep(stepIndex, nowMs);
    }
}

std::int64_t CSequencer::StepElapsedMs(std::int64_t nowMs) const {
    return state == SequencerState::Ready ? 0 : std::max<std::int64_t>(0, nowMs - stepStartMs);
}

std::optional<std::size_t> CSequencer::NextStepIndex() const {
    if (state == SequencerState::Finished || state == SequencerState::Ended) {
        return std::nullopt;
    }
    std::vector<std::int32_t> passes = passesLeft;
    if (passes.size() != program.steps.size()) {  // not started: every Repeat still to come
        passes = FreshPasses(program, 0, program.steps.size(), {});
    }
    const std::size_t next = FollowRepeats(program, stepIndex + 1, passes, nullptr);
    return next < program.steps.size() ? std::optional<std::size_t>(next) : std::nullopt;
}

SequencerCommand CSequencer::Advance(const StatusRecord& status, std::int64_t nowMs) {
    Follow(status);
    if ((status.statusFlags & (flags::kNoAdc | flags::kNoDac)) != 0) {
        return End(EndReason::ModuleFault, status);
    }
    if ((status.statusFlags & flags::kTempPowerOff) != 0) {
        return End(EndReason::TemperaturePowerOff, status);
    }

    if (phase == Phase::Stopping) {
        if (Running(status)) {
            if (tries >= kStopTries) {
                reason = EndReason::StopRefused;
                state = SequencerState::Ended;
                return {};
            }
            ++tries;
            return Command(SequencerCommand::Stop);
        }
        if (stopEndsProgram) {
            state = SequencerState::Ended;
            return {};
        }
        return NextStep(status, nowMs);
    }

    const ProgramStep& step = program.steps[stepIndex];
    if (step.kind == StepKind::Rest) {
        if (phase == Phase::Begin) {
            if (Running(status)) {
                return End(EndReason::ModuleBusy, status, false);
            }
            phase = Phase::Rest;
        }
        if (nowMs - stepStartMs >= std::int64_t{step.restSeconds} * 1000) {
            return NextStep(status, nowMs);
        }
        return {};
    }
    return RunStep(step, status, nowMs);
}

SequencerCommand CSequencer::RunStep(const ProgramStep& step, const StatusRecord& status,
                                     std::int64_t nowMs) {
    switch (phase) {
        case Phase::Begin:
            if (Running(status) && std::exchange(adoptRun, false) &&
                status.params[4] == RunWord(step, 4)) {
                // Gone on with after a restart: the run the step had started goes on; where
                // its charge began is not known.
                phase = Phase::Watch;
                runStartMs = nowMs;
                runSeenWhole = false;
                runEnergy = CRunEnergy(0, status.elapsedSeconds);
                chargeFromEmpty = false;
                emptied = false;
                return {};
            }
            if (Running(status)) {
                return End(EndReason::ModuleBusy, status, false);  // not ours to stop
            }
            if (step.kind == StepKind::Charge) {
                // The module idle: the voltage is the cell's at rest.
                const std::uint16_t cutoff = DischargeCutoffMv(program);
                chargeFromEmpty =
                    emptied || (cutoff > 0 && status.voltageMv <= cutoff + kEmptiedCellMarginMv);
            }
            if (step.kind != StepKind::Rin) {
                emptied = false;
            }
            writeIndex = 0;
            phase = Phase::Select;
            return Command(SequencerCommand::Select, kRunParams[0]);
        case Phase::Select: {
            const std::uint8_t param = kRunParams[writeIndex];
            phase = Phase::Check;
            return Command(SequencerCommand::Write, param, RunWord(step, param));
        }
        case Phase::Check: {
            const std::uint8_t param = kRunParams[writeIndex];
            if (status.params[param] != RunWord(step, param)) {
                refusedParam = param;
                return End(EndReason::WriteRefused, status);
            }
            if (++writeIndex < kRunParams.size()) {
                phase = Phase::Select;
                return Command(SequencerCommand::Select, kRunParams[writeIndex]);
            }
            phase = Phase::Reset;
            return Command(SequencerCommand::Reset);
        }
        case Phase::Reset:
            if (Running(status)) {
                return End(EndReason::StopRefused, status);
            }
            phase = Phase::Start;
            tries = 0;
            return Command(SequencerCommand::Start);
        case Phase::Start:
            if (Running(status)) {
                phase = Phase::Watch;
                runStartMs = nowMs;
                runEnergy = CRunEnergy();
                Accumulate(status);
                if (step.kind == StepKind::Rin) {
                    return Command(SequencerCommand::MeasureRin);
                }
                return {};
            }
            if (status.elapsedSeconds > 0) {
                // The run began and ended between two records: the cell was there already.
                if (step.kind == StepKind::Rin) {
                    return End(EndReason::RinNoLoad, status);
                }
                Accumulate(status);
                FinishRun(step, status);
                return NextStep(status, nowMs);
            }
            if (++tries >= kStartRecords) {
                return End(EndReason::StartRefused, status);
            }
            return {};
        case Phase::Watch:
            Accumulate(status);
            if (step.kind == StepKind::Rin && (status.statusFlags & flags::kRinHeld) != 0) {
                Current().rinMohm = status.rinMohm;
                phase = Phase::RinClear;
                return Command(SequencerCommand::ClearRin);
            }
            if (!Running(status)) {
                if (step.kind == StepKind::Rin) {
                    return End(EndReason::RinNoLoad, status);
                }
                FinishRun(step, status);
                return NextStep(status, nowMs);
            }
            if (nowMs - runStartMs > StepLimitSeconds(program, step) * 1000) {
                return End(EndReason::StepLimit, status);
            }
            return {};
        case Phase::RinClear:
            phase = Phase::Stopping;
            stopEndsProgram = false;
            tries = 0;
            return Advance(status, nowMs);
        case Phase::Stopping:
        case Phase::Rest:
            break;
    }
    return {};
}

SequencerCommand CSequencer::End(EndReason why, const StatusRecord& status, bool stop) {
    reason = why;
    state = SequencerState::Ended;
    stopOwed = stop && Running(status);
    if (stopOwed) {
        tries = 1;
        return Command(SequencerCommand::Stop);
    }
    return {};
}

SequencerCommand CSequencer::NextStep(const StatusRecord& status, std::int64_t nowMs) {
    int jumps = 0;
    const std::size_t next = FollowRepeats(program, stepIndex + 1, passesLeft, &jumps);
    if (jumps > 0) {  // going back begins a cycle, however many Repeat steps took part
        ++cycle;
        cycles.push_back(CycleResult{});
        cycles.back().cycle = cycle;
    }
    if (next >= program.steps.size()) {
        state = SequencerState::Finished;
        return {};
    }
    BeginStep(next, nowMs);
    return Advance(status, nowMs);
}

void CSequencer::BeginStep(std::size_t index, std::int64_t nowMs) {
    begunSteps.push_back({index, cycle});
    adoptRun = false;
    stepIndex = index;
    phase = Phase::Begin;
    stepStartMs = nowMs;
    writeIndex = 0;
    tries = 0;
    runSamples = {};
    runSeenWhole = true;
    runEnergy = CRunEnergy();
}

void CSequencer::FinishRun(const ProgramStep& step, const StatusRecord& status) {
    CycleResult& result = Current();
    if (step.kind == StepKind::Charge && !result.chargeMah) {
        result.chargeMah = status.capacityMah;
        result.chargeMwh = runEnergy.Mwh();
        result.chargeFromPartial = !chargeFromEmpty;
    } else if (step.kind == StepKind::Discharge && !result.dischargeMah) {
        result.dischargeMah = status.capacityMah;
        result.dischargeMwh = runEnergy.Mwh();
        if (runSeenWhole && status.capacityMah > 0) {
            TakeDischargePeak(result, runSamples);
        }
    }
    runSamples = {};
    // Ended by the module: a discharge stopped at its cut-off.
    emptied = step.kind == StepKind::Discharge;
}

void CSequencer::Follow(const StatusRecord& status) {
    CycleResult& result = Current();
    result.maxTemperatureC = std::max<std::int32_t>(result.maxTemperatureC, status.temperature);
}

void CSequencer::Accumulate(const StatusRecord& status) {
    // Polled several times a second, the module repeats its second: one reading of each will do.
    const bool newSecond = runSamples.empty() || status.elapsedSeconds > runSamples.back().seconds;
    if (program.steps[stepIndex].kind == StepKind::Discharge && newSecond) {
        JournalSample sample;
        sample.seconds = status.elapsedSeconds;
        sample.voltageMv = status.voltageMv;
        sample.currentMa = status.currentMa;
        runSamples.push_back(sample);
    }
    runEnergy.Add(status.elapsedSeconds, status.voltageMv, status.currentMa);
}

}  // namespace brimvolt
