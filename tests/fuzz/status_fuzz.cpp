// Status records off the serial line, through everything a poll tick does with them: decoding,
// the display texts, and curve recording into the store.
//
// Input: one byte of options, then chunks of one length byte (how many bytes the poll read,
// 1..42; the rest of the reply keeps the previous record, as on the line) and the bytes read.

#include <cstddef>
#include <cstdint>

#include "FuzzInput.h"
#include "module/CurveRecording.h"
#include "module/DisplayTexts.h"
#include "module/Protocol.h"
#include "plot/CurveStore.h"

using namespace brimvolt;
using brimvolt::fuzz::Check;

namespace {

CurveStore& Store() {
    static CurveStore store;  // 5 MB: allocated once, its scalar fields reset for every input
    return store;
}

void ResetStore(CurveStore& store, bool nearlyFull) {
    store.curveCapacityText.clear();
    store.durationSeconds = 0;
    store.headerHours = store.headerMinutes = store.headerSeconds = 0;
    store.chargeCurve = 0;
    store.runActive = 0;
    store.lastIndex = 0;
    store.sampleTimes[0] = 0;
    store.sampleMillivolts[0] = 0;
    store.curveFileName.clear();
    if (nearlyFull) {
        // A curve two points short of the store's end, so full-store handling is reached.
        store.lastIndex = CurveStore::kCapacity - 3;
        store.sampleTimes[store.lastIndex] = store.lastIndex;
        store.durationSeconds = store.lastIndex;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::CFuzzInput input(data, size);
    const std::uint8_t options = input.Byte();
    const int viewPosition = options & 0x03;
    CurveStore& store = Store();
    ResetStore(store, (options & 0x04) != 0);

    std::uint8_t firstReading = 1;
    std::int32_t lastCurveSeconds = -1;
    std::uint16_t restVoltageMv = 0;
    Reply reply{};
    while (!input.Empty()) {
        const std::size_t count = 1 + input.Byte() % reply.size();
        const QByteArray bytes = input.Bytes(count);
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            reply[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bytes[i]);
        }

        const StatusRecord status = DecodeStatus(reply);
        Check(status.elapsedSeconds == status.seconds + 60 * status.minutes + 3600 * status.hours,
              "elapsed time is the sum of its parts");
        Check(status.capacityMah >= 0 && status.capacityMah < (1 << 24),
              "capacity is a 24-bit count");

        const PollTexts texts = ComposePollTexts(status, viewPosition);
        Check(!texts.displayLine1.isEmpty() || !texts.displayLine2.isEmpty(),
              "the display block shows something");

        const std::int32_t before = store.lastIndex;
        const RecordOutcome outcome =
            RecordCurve(firstReading, lastCurveSeconds, restVoltageMv, store, status);
        Check(store.lastIndex >= 0 && store.lastIndex < CurveStore::kCapacity,
              "the curve stays inside the store");
        Check(!outcome.pointAdded || outcome.newRun || store.lastIndex == before + 1,
              "an added point is one more point");
        Check(!outcome.storeFull || !outcome.pointAdded, "a full store adds nothing");
    }
    return 0;
}
