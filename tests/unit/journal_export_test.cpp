#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "curve/CurveStore.h"
#include "curvefile/CurveFileWriter.h"
#include "journal/Journal.h"
#include "journal/JournalExport.h"
#include "journal/JournalRecorder.h"
#include "module/CurveRecording.h"

using namespace brimvolt;

namespace {

// The same status records into the curve window's recording and into the journal.
class BothRecordings {
public:
    BothRecordings() {
        journal.Open(dir.filePath("journal.sqlite"));
        recorder.OnModuleFound("ttyUSB0", wallMs);
    }

    void Poll(std::int32_t seconds, std::uint16_t mv, bool running = true) {
        StatusRecord status;
        status.elapsedSeconds = seconds;
        status.voltageMv = mv;
        status.currentMa = running ? 1200 : 0;
        status.capacityMah = seconds / 3;
        status.statusFlags = running ? flags::kRunning : 0;
        wallMs += 1000;
        RecordCurve(firstReading, lastCurveSeconds, restVoltageMv, *store, status);
        recorder.OnStatus(status, wallMs);
    }

    void LinkLostAndFound() {
        recorder.OnLinkLost(wallMs);
        recorder.OnModuleFound("ttyUSB0", wallMs);
    }

    QByteArray CurveWindowFile() { return CurveFileBytes(*store); }

    QByteArray JournalFile() {
        const RunRecord run = journal.Runs().value().back();
        auto rebuilt = std::make_unique<CurveStore>();
        FillCurveStore(run, journal.Samples(run.id).value(), *rebuilt);
        // Point for point, not only what the file shows of them.
        EXPECT_EQ(rebuilt->lastIndex, store->lastIndex);
        for (std::int32_t i = 1; i <= std::min(rebuilt->lastIndex, store->lastIndex); ++i) {
            EXPECT_EQ(rebuilt->sampleTimes[i], store->sampleTimes[i]) << i;
            EXPECT_EQ(rebuilt->sampleMillivolts[i], store->sampleMillivolts[i]) << i;
        }
        EXPECT_EQ(rebuilt->sampleMillivolts[0], store->sampleMillivolts[0]);
        EXPECT_EQ(rebuilt->durationSeconds, store->durationSeconds);
        EXPECT_EQ(rebuilt->curveCapacityText, store->curveCapacityText);
        return CurveFileBytes(*rebuilt);
    }

private:
    QTemporaryDir dir;
    CJournal journal;
    CJournalRecorder recorder{journal};
    std::int64_t wallMs = 1'700'000'000'000;
    std::uint8_t firstReading = 1;
    std::int32_t lastCurveSeconds = -1;
    std::uint16_t restVoltageMv = 0;
    std::unique_ptr<CurveStore> store = std::make_unique<CurveStore>();
};

}  // namespace

TEST(JournalCurve, ARunGivesTheCurveFileTheCurveWindowWouldSave) {
    struct Case {
        const char* name;
        std::function<void(BothRecordings&)> play;
    };
    const std::vector<Case> cases = {
        {"from rest, flat stretches",
         [](BothRecordings& r) {
             r.Poll(0, 4150, false);
             r.Poll(0, 4140, true);
             for (std::int32_t t = 1; t <= 120; ++t) {
                 r.Poll(t, static_cast<std::uint16_t>(4100 - t / 7));
             }
             r.Poll(120, 4095, false);
         }},
        {"joined while running",
         [](BothRecordings& r) {
             r.Poll(500, 3800);
             r.Poll(500, 3799);
             r.Poll(501, 3790);
             r.Poll(502, 3790);
         }},
        {"stopped, resumed, link lost and found",
         [](BothRecordings& r) {
             r.Poll(0, 4150, false);
             r.Poll(1, 4000);
             r.Poll(2, 3990);
             r.Poll(2, 4010, false);
             r.Poll(3, 3985);
             r.LinkLostAndFound();
             r.Poll(9, 3970);
             r.Poll(10, 3960);
         }},
        {"the second run after a reset",
         [](BothRecordings& r) {
             r.Poll(0, 4150, false);
             r.Poll(1, 4000);
             r.Poll(2, 3990, false);
             r.Poll(0, 4120, false);
             r.Poll(0, 4125, false);
             r.Poll(1, 4010);
             r.Poll(2, 4000);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BothRecordings recordings;
        c.play(recordings);
        EXPECT_EQ(recordings.JournalFile(), recordings.CurveWindowFile());
    }
}
