#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <cstdint>
#include <vector>

namespace brimvolt {

enum class ProgramRunState : std::uint8_t {
    Running = 0,   // going on, or its program ended without a word (crash, kill)
    Finished = 1,  // every step done
    Ended = 2,     // ended early; endReason says why
    Paused = 3,    // the link was lost or the program left: it may go on from `step`
};

/** One run of a test program as the journal keeps it: the program, where it got, how it ended. */
struct ProgramRecord {
    std::int64_t id = 0;  // 0 until it is in the journal
    QString name;
    QByteArray json;  // the program as its file holds it
    QString cell;     // the cell it tests, empty for none
    QString port;
    std::int64_t startedUtc = 0;
    ProgramRunState state = ProgramRunState::Running;
    std::int32_t step = 1;   // the step it is in, or stopped in, from 1
    std::int32_t cycle = 1;  // from 1
    std::vector<std::int32_t> passesLeft;  // per step: jumps back its Repeat still makes
    std::int32_t cyclesDone = 0;
    QString endReason;

    bool operator==(const ProgramRecord&) const = default;
};

}  // namespace brimvolt

Q_DECLARE_METATYPE(brimvolt::ProgramRecord)
