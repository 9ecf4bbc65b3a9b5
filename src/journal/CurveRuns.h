#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "journal/RunContinuity.h"
#include "module/CurveRecording.h"
#include "plot/CurveStore.h"

namespace brimvolt {

/**
 * The poll cycle's curve recording, run by run as the journal keeps them: the store starts
 * afresh with every run the module begins (an operator's start, a test program's step), so the
 * curve and its autosave hold the run going on and nothing before it; a run the journal takes up
 * after a restart is put back whole before the points that follow.
 *
 * A single run started from rest is recorded exactly as RecordCurve records it.
 */
class CCurveRuns {
public:
    /**
     * The module was found (again) on `port`: its next record says whether the run followed
     * goes on. On another port it is another module's, and nothing of it goes on.
     */
    void OnModuleFound(const QString& port);

    /**
     * Records `status` into `store` with the poll cycle's own fields (see RecordCurve);
     * `newRun` is also set when a run began other than at 1 s after 0.
     */
    RecordOutcome Record(std::uint8_t& firstReading, std::int32_t& lastCurveSeconds,
                         std::uint16_t& restVoltageMv, CurveStore& store,
                         const StatusRecord& status);

    /**
     * The journal took up `run` on the first record after the module was found: the store
     * becomes its samples followed by the points recorded since the last of them. False (and
     * nothing changed) when the curve has begun another run since.
     */
    bool TakeUp(const TakenUpRun& run, CurveStore& store);

private:
    std::optional<FollowedRun> followed;
    QString port;
    bool found = false;
    std::uint64_t runsBegun = 0;
    // The run the curve followed at the first record after the module was found: the one the
    // journal may take up. Empty once taken up or passed.
    std::optional<std::uint64_t> runAtFound;
};

}  // namespace brimvolt
