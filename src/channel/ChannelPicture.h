#pragma once

#include <QString>
#include <cstdint>

namespace brimvolt {

/** What a channel is doing, as the bench says it. */
enum class ChannelPhase {
    Search,     // no module found on this channel yet
    Idle,       // the module answers and runs nothing
    Discharge,  // the module reports a discharge run
    Charge,     // the module reports a charge run
    Rest,       // a test program's rest step
    Program,    // a test program between runs: setting up its step or waiting for the operator
    LinkLost,   // the module stopped answering; the channel waits for it on its port
    Fault,      // the module reports a fault
};

/** One channel as a tile of the bench shows it: plain values, copied out of the channel. */
struct ChannelPicture {
    QString port;   // empty while the channel searches
    QString line1;  // the display block's two lines; a discovery message stands in line1 alone
    QString line2;
    ChannelPhase phase = ChannelPhase::Search;
    QString cell;              // the cell of the run or of the program; empty: none named
    int programStep = 0;       // the program's step, from 1; 0: no program going
    int programSteps = 0;      // the program's steps
    std::int64_t stepElapsedMs = 0;  // time in the program's step
    bool running = false;      // the module reports a run
    bool programActive = false;  // a program is going or waits for its module
    bool checking = false;       // a voltage check is being measured
    QString checkNote;           // the check going on, or the last one's result; empty: none
};

}  // namespace brimvolt
