// Test programs: a program file as found on disk (any bytes), and the sequencer fed any status
// records and operator actions.
//
// Input: the first byte picks the part; the rest is the file's bytes, or a small program's
// numbers followed by records and actions.

#include <QByteArray>
#include <cstddef>
#include <cstdint>

#include "FuzzInput.h"
#include "cycle/ProgramFile.h"
#include "cycle/Sequencer.h"

using namespace brimvolt;
using brimvolt::fuzz::Check;

namespace {

void FuzzProgramFile(fuzz::CFuzzInput& input) {
    QString error;
    const std::optional<TestProgram> program = ParseProgram(input.Rest(), error);
    Check(program.has_value() == error.isEmpty(), "a program or a reason, never both");
    Check(!error.contains(QLatin1Char('\n')), "the reason is one line");
    if (program) {
        Check(!CheckProgram(*program), "a program read is a program that can run");
        QString again;
        const std::optional<TestProgram> back = ParseProgram(ProgramJson(*program), again);
        Check(back && *back == *program, "a program written reads back the same");
    }
}

void FuzzSequencer(fuzz::CFuzzInput& input) {
    TestProgram program;
    const std::size_t count = 1 + input.Byte() % 6;
    for (std::size_t i = 0; i < count; ++i) {
        ProgramStep step;
        step.kind = static_cast<StepKind>(input.Byte() % 5);
        step.currentMa = static_cast<std::uint16_t>(1 + input.Byte() * 15);
        step.cutoffMv = static_cast<std::uint16_t>(700 + input.Byte() * 60);
        step.restSeconds = 1 + input.Byte();
        step.limitMinutes = input.Byte() % 4;
        step.repeatFrom = 1 + input.Byte() % (i == 0 ? 1 : static_cast<int>(i));
        step.repeatTimes = 1 + input.Byte() % 3;
        if (step.kind == StepKind::Repeat && i == 0) {
            step.kind = StepKind::Rest;
        }
        program.steps.push_back(step);
    }
    program.nominalCapacityMah = input.Byte() * 20;
    CSequencer sequencer(program);
    std::int64_t nowMs = 0;
    sequencer.Start(nowMs);
    while (!input.Empty()) {
        const std::uint8_t action = input.Byte();
        nowMs += (action & 0x0F) * 1000 * (action >= 0xF0 ? 3600 : 1);
        switch (action >> 4) {
            case 0:
                sequencer.OnLinkLost();
                continue;
            case 1:
                sequencer.OperatorStop((action & 1) != 0 ? StopScope::Program : StopScope::Step);
                continue;
            case 2:
                sequencer.Resume(nowMs);
                continue;
            case 3:
                sequencer.OperatorReset();
                continue;
            default:
                break;
        }
        StatusRecord status;
        for (std::uint16_t& word : status.params) {
            word = static_cast<std::uint16_t>(input.Byte() % 3 == 0 ? input.Byte() : 0);
        }
        status.params[1] = input.Byte() % 2 != 0 ? program.steps[0].cutoffMv : status.params[1];
        status.currentMa = static_cast<std::uint16_t>(input.Byte() * 16);
        status.voltageMv = static_cast<std::uint16_t>(input.Byte() * 64);
        status.rinMohm = input.Byte();
        status.elapsedSeconds = input.Byte() * 60;
        status.capacityMah = input.Byte() * 10;
        status.temperature = input.Byte();
        status.statusFlags = input.Byte();
        const SequencerCommand command = sequencer.OnStatus(status, nowMs);
        Check(sequencer.StepIndex() < program.steps.size(), "the step is one of the program's");
        Check(program.steps[sequencer.StepIndex()].kind != StepKind::Repeat ||
                  sequencer.State() == SequencerState::Finished,
              "a repeat is never a step in progress");
        const bool over = sequencer.State() == SequencerState::Finished ||
                          sequencer.State() == SequencerState::Ended;
        Check(!over || command.kind == SequencerCommand::None ||
                  command.kind == SequencerCommand::Stop,
              "an ended program only stops the module");
        Check(command.kind != SequencerCommand::Stop || (status.statusFlags & flags::kRunning) != 0,
              "a stop goes only to a running module");
        Check(
            command.kind != SequencerCommand::Start || (status.statusFlags & flags::kRunning) == 0,
            "a start goes only to an idle module");
        Check(sequencer.Cycles().size() == static_cast<std::size_t>(sequencer.Cycle()),
              "one result per cycle begun");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::CFuzzInput input(data, size);
    if ((input.Byte() & 1) == 0) {
        FuzzProgramFile(input);
    } else {
        FuzzSequencer(input);
    }
    return 0;
}
