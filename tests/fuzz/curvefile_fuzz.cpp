// Curve files as the operator may hand them to the loader: any bytes at all, in either form.
//
// Checks that the curve read stays inside the store, that reading in small pieces (as from a
// slow device) gives the same curve as reading at once, and that what the writer makes of a
// loaded curve reads back to the same file.

#include <QBuffer>
#include <QByteArray>
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "FuzzInput.h"
#include "curvefile/CurveFileReader.h"
#include "curvefile/CurveFileWriter.h"
#include "plot/CurveStore.h"

using namespace brimvolt;
using brimvolt::fuzz::Check;

namespace {

// A device that hands out at most `piece` bytes per read, like a pipe or a slow disk.
class CTrickleDevice final : public QIODevice {
public:
    CTrickleDevice(const QByteArray& bytes, qint64 piece) : bytes(bytes), piece(piece) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override {
        return bytes.size() - at + QIODevice::bytesAvailable();
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 n = std::min({maxSize, piece, bytes.size() - at});
        std::copy_n(bytes.constData() + at, n, data);
        at += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray bytes;
    qint64 piece;
    qint64 at = 0;
};

CurveStore& StoreA() {
    static CurveStore store;
    return store;
}
CurveStore& StoreB() {
    static CurveStore store;
    return store;
}

void CheckInside(const CurveStore& store, const CurveReadResult& result) {
    Check(result.pointsRead >= 0 && result.pointsRead <= CurveStore::kCapacity,
          "points read fit the store");
    Check(store.lastIndex >= 0 && store.lastIndex < CurveStore::kCapacity,
          "lastIndex inside the store");
    Check(result.pointsRead == 0 || store.lastIndex == result.pointsRead - 1,
          "lastIndex is the last point read");
    Check(store.durationSeconds == store.sampleTimes[store.lastIndex] || result.pointsRead == 0,
          "the curve lasts until its last point");
}

bool SameCurve(const CurveStore& a, const CurveStore& b) {
    if (a.lastIndex != b.lastIndex || a.durationSeconds != b.durationSeconds ||
        a.curveCapacityText != b.curveCapacityText) {
        return false;
    }
    const auto n = static_cast<std::size_t>(a.lastIndex) + 1;
    return std::equal(a.sampleTimes.begin(), a.sampleTimes.begin() + n, b.sampleTimes.begin()) &&
           std::equal(a.sampleMillivolts.begin(), a.sampleMillivolts.begin() + n,
                      b.sampleMillivolts.begin());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    // The first byte picks the piece size of the slow reading; the rest is the file.
    const qint64 piece = 1 + data[0] % 64;
    const QByteArray file(reinterpret_cast<const char*>(data + 1),
                          static_cast<qsizetype>(size - 1));

    CurveStore& whole = StoreA();
    const CurveReadResult result = ReadCurveBytes(file, whole);
    Check(result.status != CurveReadStatus::ReadFailed, "memory never fails to read");
    CheckInside(whole, result);

    CurveStore& pieces = StoreB();
    CTrickleDevice device(file, piece);
    const CurveReadResult slow = ReadCurve(device, pieces);
    Check(slow.status == result.status && slow.pointsRead == result.pointsRead,
          "reading in pieces reads the same points");
    Check(SameCurve(whole, pieces), "reading in pieces gives the same curve");

    if (result.status != CurveReadStatus::Loaded) {
        return 0;
    }
    // What we write we must read back: a loaded curve written out and loaded again settles.
    const QByteArray written = CurveFileBytes(whole);
    const CurveReadResult again = ReadCurveBytes(written, pieces);
    Check(again.status == CurveReadStatus::Loaded, "a written curve loads");
    CheckInside(pieces, again);
    const QByteArray rewritten = CurveFileBytes(pieces);
    const CurveReadResult third = ReadCurveBytes(rewritten, whole);
    Check(third.status == CurveReadStatus::Loaded, "a rewritten curve loads");
    Check(CurveFileBytes(whole) == rewritten, "writing a loaded curve again changes nothing");

    MillivoltsOfText(QString::fromUtf8(file.left(64)));
    return 0;
}
