#pragma once

#include <cstdint>

#include "channel/ChannelPicture.h"

namespace brimvolt {

/** What decides a channel's phase, as the channel knows it. */
struct ChannelFacts {
    bool everFound = false;  // its module has answered at least once
    bool portOpen = false;   // it answers now
    std::uint8_t statusFlags = 0;
    bool chargeMode = false;  // the module's mode parameter says charge
    bool programActive = false;
    bool resting = false;  // the program is in a rest step
};

/**
 * A fault the module reports (no ADC, no DAC, switched off on temperature) wins over everything
 * but a lost link, since an old record is no fault report; a rest wins over the module's idle.
 */
ChannelPhase PhaseOf(const ChannelFacts& facts);

}  // namespace brimvolt
