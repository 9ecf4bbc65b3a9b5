#include "cycle/TestProgram.h"

#include <QCoreApplication>
#include <algorithm>

namespace brimvolt {

namespace {

bool RunsTheModule(StepKind kind) {
    return kind == StepKind::Charge || kind == StepKind::Discharge || kind == StepKind::Rin;
}

ProgramStep Run(StepKind kind, std::uint16_t currentMa, std::uint16_t cutoffMv) {
    ProgramStep step;
    step.kind = kind;
    step.currentMa = currentMa;
    step.cutoffMv = cutoffMv;
    return step;
}

ProgramStep Rest(std::int32_t minutes) {
    ProgramStep step;
    step.kind = StepKind::Rest;
    step.restSeconds = minutes * 60;
    return step;
}

QString Where(std::size_t index, const char* field, const char* why) {
    return QStringLiteral("step %1: %2: %3")
        .arg(index + 1)
        .arg(QLatin1String(field), QLatin1String(why));
}

}  // namespace

std::int64_t StepLimitSeconds(const TestProgram& program, const ProgramStep& step) {
    if (step.kind == StepKind::Rin) {
        return kRinStepSeconds;
    }
    if (step.limitMinutes > 0) {
        return std::min<std::int64_t>(std::int64_t{step.limitMinutes} * 60, kMaxStepSeconds);
    }
    if (program.nominalCapacityMah > 0 && step.currentMa > 0) {
        // Twice the hours the capacity lasts at this current, rounded up to a whole second.
        const std::int64_t seconds =
            (std::int64_t{program.nominalCapacityMah} * 2 * 3600 + step.currentMa - 1) /
            step.currentMa;
        return std::min(seconds, kMaxStepSeconds);
    }
    return kMaxStepSeconds;
}

std::optional<QString> CheckProgram(const TestProgram& program) {
    if (program.steps.empty()) {
        return QStringLiteral("steps: the program has no step");
    }
    for (std::size_t i = 0; i < program.steps.size(); ++i) {
        const ProgramStep& step = program.steps[i];
        if (RunsTheModule(step.kind)) {
            if (step.currentMa == 0) {
                return Where(i, "current_A", "must be above 0");
            }
            if (step.cutoffMv == 0) {
                return Where(i, "cutoff_V", "must be above 0");
            }
            if (step.limitMinutes < 0) {
                return Where(i, "limit_minutes", "must not be negative");
            }
            // Straight after a discharge the cell sits at that discharge's cut-off under its
            // current: a pulse at no less current cannot hold above a cut-off no lower.
            const ProgramStep* before = i > 0 ? &program.steps[i - 1] : nullptr;
            if (step.kind == StepKind::Rin && before != nullptr &&
                before->kind == StepKind::Discharge && step.cutoffMv >= before->cutoffMv &&
                step.currentMa >= before->currentMa) {
                return Where(i, "cutoff_V",
                             "must be below the cut-off of the discharge just before it, or the "
                             "current below its current: the cell is at that cut-off already");
            }
        } else if (step.kind == StepKind::Rest) {
            if (step.restSeconds <= 0 || step.restSeconds > kMaxStepSeconds) {
                return Where(i, "minutes", "must be above 0 and at most 1440");
            }
        } else {
            if (step.repeatFrom < 1 || static_cast<std::size_t>(step.repeatFrom) > i) {
                return Where(i, "from", "must name an earlier step");
            }
            if (step.repeatTimes < 1 || step.repeatTimes > kMaxRepeatTimes) {
                return Where(i, "times", "must be 1 to 1000");
            }
        }
    }
    return std::nullopt;
}

TestProgram CapacityProgram(const ReadyMadeSettings& settings) {
    TestProgram program;
    program.name = QCoreApplication::translate(
        "TestProgram", "Ёмкость: заряд, отдых 30 мин, разряд, отдых 30 мин, заряд");
    program.nominalCapacityMah = settings.nominalCapacityMah;
    const ProgramStep charge = Run(StepKind::Charge, settings.chargeMa, settings.chargeCutoffMv);
    program.steps = {charge, Rest(settings.restMinutes),
                     Run(StepKind::Discharge, settings.dischargeMa, settings.dischargeCutoffMv),
                     Rest(settings.restMinutes), charge};
    return program;
}

TestProgram CyclesProgram(std::int32_t cycles, const ReadyMadeSettings& settings) {
    TestProgram program;
    program.name =
        QCoreApplication::translate("TestProgram", "Циклы: %1 × (заряд, отдых, разряд, отдых)")
            .arg(cycles);
    program.nominalCapacityMah = settings.nominalCapacityMah;
    ProgramStep repeat;
    repeat.kind = StepKind::Repeat;
    repeat.repeatFrom = 1;
    repeat.repeatTimes = std::clamp(cycles, 1, kMaxRepeatTimes);
    program.steps = {Run(StepKind::Charge, settings.chargeMa, settings.chargeCutoffMv),
                     Rest(settings.restMinutes),
                     Run(StepKind::Discharge, settings.dischargeMa, settings.dischargeCutoffMv),
                     Rest(settings.restMinutes), repeat};
    return program;
}

}  // namespace brimvolt
