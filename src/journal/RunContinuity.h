#pragma once

#include <QMetaType>
#include <cstdint>
#include <optional>
#include <vector>

#include "journal/RunRecord.h"
#include "module/CurveRecording.h"
#include "module/Protocol.h"

namespace brimvolt {

/** The run a status record may belong to, as far as deciding that needs it. */
struct FollowedRun {
    std::int32_t durationSeconds = 0;  // the module's time at its last sample
    bool open = false;                 // not stopped yet
    bool charge = false;
};

/**
 * What one status record does to the run followed so far: the journal's rule, which the curve
 * follows too, so the curve holds the run the journal holds. Applied in the order of the fields.
 */
struct RunTurn {
    bool endsFollowed = false;      // the run followed, still open, ends before this record
    bool releasesFollowed = false;  // ... and nothing the module shows later continues it
    bool samples = false;           // the open run followed gets this record
    bool resumes = false;           // the stopped run followed goes on with this record
    bool opens = false;             // a new run begins with this record
    bool fromRest = false;          // ... and its first point is the cell at rest, at 0 s
};

/**
 * The turn of a status record with its curve clock step `step` taken. A run begins when the
 * time leaves 0 (from the rest, whether the 1 s record was seen or not), or when the module runs
 * with a time that no earlier run continues (found running, its time set).
 */
RunTurn TurnOfRun(const CurveClockStep& step, const std::optional<FollowedRun>& followed,
                  const StatusRecord& status);

/**
 * Whether the run followed goes on after the module was out of sight (a link lost, a restart):
 * its clock went on from where the run was left, in the same mode.
 */
bool GoesOnAfterGap(const FollowedRun& run, const StatusRecord& status);

/** A run the journal kept and took up again after a restart, with every sample it holds. */
struct TakenUpRun {
    RunRecord run;
    std::vector<JournalSample> samples;
};

}  // namespace brimvolt

Q_DECLARE_METATYPE(brimvolt::TakenUpRun)
