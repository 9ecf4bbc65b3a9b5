// The simulator's request handling: it is the program's peer in every test, and in --demo it
// takes whatever the program sends. Any request, in any order, with faults switched on and off
// and the clock moved on between them.
//
// Input: a sequence of steps; a step's first byte picks what it does.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "FuzzInput.h"
#include "module/Protocol.h"
#include "sim/SimModule.h"

using namespace brimvolt;
using brimvolt::fuzz::Check;

namespace {

bool PlausibleReplySize(std::size_t size) {
    // Full replies, and the shortened ones of Fault::ShortReplies.
    return size == 0 || size == sim::kAckSize || size == sim::kStatusSize || size == 2 ||
           size == 3 || size == 20;
}

// The program's decoder and the simulator's own state must tell the same story.
void CheckRecordAgainstState(sim::CSimModule& module) {
    const sim::SimState state = module.State();
    const auto bytes = module.StatusRecord();
    Reply reply{};
    std::copy(bytes.begin(), bytes.end(), reply.begin());
    const StatusRecord status = DecodeStatus(reply);
    Check(status.voltageMv == state.voltageMv, "status voltage matches the module");
    Check(status.currentMa == state.currentMa, "status current matches the module");
    Check(status.rinMohm == state.rinMohm, "status Rin matches the module");
    Check(status.temperature == state.temperature, "status temperature matches the module");
    Check(status.elapsedSeconds == state.elapsedSeconds, "status time matches the module");
    Check(status.capacityMah == static_cast<std::int32_t>(state.capacityMah & 0xFFFFFF),
          "status capacity matches the module");
    for (std::size_t k = 0; k < 12; ++k) {
        const int held = (k == 0 || k == 2) ? 1 : 0;
        Check(status.params[k] == static_cast<std::uint16_t>(state.params[k] + held),
              "status parameters match the module");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::CFuzzInput input(data, size);
    sim::CSimModule module;
    double advanced = 0;
    while (!input.Empty()) {
        const std::uint8_t step = input.Byte();
        switch (step >> 6) {
            case 0:
            case 1: {  // a request: mostly the module's own commands, sometimes any byte
                static constexpr char kCommands[] = "uapsrcSCtNw";
                sim::SimRequest request{};
                request[0] =
                    (step & 0x10) != 0
                        ? input.Byte()
                        : static_cast<std::uint8_t>(kCommands[step % (sizeof kCommands - 1)]);
                request[1] = input.Byte();
                request[2] = input.Byte();
                request[3] = input.Byte();
                Check(PlausibleReplySize(module.Handle(request).size()), "reply of a known size");
                break;
            }
            case 2: {  // the clock moves on, up to a few hours in all
                const double seconds = (step & 0x3F) * (1 + input.Byte());
                if (advanced + seconds < 6 * 3600) {
                    module.Advance(seconds);
                    advanced += seconds;
                }
                break;
            }
            default: {  // a fault on or off
                const sim::Fault fault = sim::kAllFaults[step % sim::kAllFaults.size()];
                module.SetFault(fault, (step & 0x20) != 0);
                break;
            }
        }
        const sim::SimState state = module.State();
        Check(state.elapsedSeconds >= 0 &&
                  state.elapsedSeconds <= sim::CSimModule::kMaxElapsedSeconds,
              "the module's time stays in its range");
        Check(module.ReplyDelayMs() >= 0, "no negative delay");
    }
    CheckRecordAgainstState(module);
    return 0;
}
