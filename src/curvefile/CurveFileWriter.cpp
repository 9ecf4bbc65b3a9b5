#include "curvefile/CurveFileWriter.h"

#include <QSaveFile>
#include <algorithm>
#include <charconv>

#include "platform/Text.h"

namespace brimvolt {

namespace {

// "-2147483648\t65,535\tV\r\n": the longest data line, in UTF-16 units.
constexpr qsizetype kMaxLineUnits = 22;

// Data lines are written straight into the byte buffer: a curve holds up to 921 601 of them,
// and a QString per line would dominate the save and every autosave.
char* PutDataLine(char* out, std::int32_t seconds, std::uint16_t millivolts) {
    char line[kMaxLineUnits];
    char* p = std::to_chars(line, line + 11, seconds).ptr;
    *p++ = '\t';
    p = std::to_chars(p, p + 2, millivolts / 1000).ptr;
    // Volts with three decimals are exactly the whole millivolts; the decimal point of a data
    // line is a comma.
    const unsigned fraction = millivolts % 1000u;
    *p++ = ',';
    *p++ = static_cast<char>('0' + fraction / 100);
    *p++ = static_cast<char>('0' + fraction / 10 % 10);
    *p++ = static_cast<char>('0' + fraction % 10);
    *p++ = '\t';
    *p++ = 'V';
    *p++ = '\r';
    *p++ = '\n';
    for (const char* c = line; c != p; ++c) {
        *out++ = *c;
        *out++ = '\0';
    }
    return out;
}

}  // namespace

QByteArray CurveFileBytes(CurveStore& store) {
    const std::int32_t duration = store.durationSeconds;
    store.headerHours = duration / 3600;
    store.headerMinutes = duration % 3600 / 60;
    store.headerSeconds = duration % 60;

    const QString header = QStringLiteral("Емкость: ") + store.curveCapacityText +
                           QStringLiteral("\r\n") +
                           QString::asprintf("Время: %.2i:%.2i:%.2i\r\n\r\n", store.headerHours,
                                             store.headerMinutes, store.headerSeconds) +
                           QStringLiteral("Секунды\tНапряжение\r\n");
    const QByteArray headerBytes = QByteArray("\xFF\xFE", 2) + platform::Utf16LeBytes(header);

    // Stay inside the arrays whatever lastIndex holds.
    const auto stored = static_cast<std::int32_t>(
        std::min(store.sampleTimes.size(), store.sampleMillivolts.size()));
    const std::int32_t last = std::clamp(store.lastIndex, 0, std::max(stored - 1, 0));
    if (stored == 0) {
        return headerBytes;
    }

    QByteArray bytes(headerBytes.size() + (qsizetype{last} + 1) * kMaxLineUnits * 2,
                     Qt::Uninitialized);
    char* out = std::copy(headerBytes.cbegin(), headerBytes.cend(), bytes.data());
    const std::int32_t* times = store.sampleTimes.data();
    const std::uint16_t* millivolts = store.sampleMillivolts.data();

    // Point 0 always carries the time 0: it is the start of the run.
    out = PutDataLine(out, 0, millivolts[0]);
    for (std::int32_t i = 1; i < last; ++i) {
        if (millivolts[i] != millivolts[i - 1]) {
            out = PutDataLine(out, times[i], millivolts[i]);
        }
    }
    // The last point closes the curve even on a flat stretch, so its duration survives a reload.
    // A one-point curve has only its start line.
    if (last > 0) {
        out = PutDataLine(out, times[last], millivolts[last]);
    }
    bytes.truncate(out - bytes.constData());
    return bytes;
}

bool WriteCurveFile(const QString& path, CurveStore& store, CurveWriteError* error) {
    const auto fail = [error](CurveWriteError what) {
        if (error) {
            *error = what;
        }
        return false;
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return fail(CurveWriteError::CannotCreate);
    }
    const QByteArray bytes = CurveFileBytes(store);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return fail(CurveWriteError::WriteFailed);
    }
    if (!file.commit()) {
        return fail(CurveWriteError::WriteFailed);
    }
    if (error) {
        *error = CurveWriteError::None;
    }
    return true;
}

bool Autosave(CurveStore& store, const QString& dataFolder) {
    if (store.durationSeconds <= 0) {
        return false;
    }
    const QString name =
        store.chargeCurve ? QStringLiteral("temp.zar") : QStringLiteral("temp.raz");
    return WriteCurveFile(dataFolder + name, store);
}

}  // namespace brimvolt
