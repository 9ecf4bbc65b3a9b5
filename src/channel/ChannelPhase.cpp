#include "channel/ChannelPhase.h"

#include "module/Protocol.h"

namespace brimvolt {

ChannelPhase PhaseOf(const ChannelFacts& facts) {
    if (!facts.portOpen) {
        return facts.everFound ? ChannelPhase::LinkLost : ChannelPhase::Search;
    }
    constexpr std::uint8_t kFaults = flags::kNoAdc | flags::kNoDac | flags::kTempPowerOff;
    if ((facts.statusFlags & kFaults) != 0) {
        return ChannelPhase::Fault;
    }
    if ((facts.statusFlags & flags::kRunning) != 0) {
        return facts.chargeMode ? ChannelPhase::Charge : ChannelPhase::Discharge;
    }
    if (facts.programActive) {
        return facts.resting ? ChannelPhase::Rest : ChannelPhase::Program;
    }
    return ChannelPhase::Idle;
}

}  // namespace brimvolt
