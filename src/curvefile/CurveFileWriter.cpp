#include "curvefile/CurveFileWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <algorithm>
#include <charconv>

#include "platform/Text.h"

namespace brimvolt {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(CurveFileWriter)
};

// "-2147483648\t65,535\tV\r\n": the longest data line, in UTF-16 units.
constexpr qsizetype kMaxLineUnits = 22;
constexpr qsizetype kChunkBytes = 64 * 1024;

// Data lines are written straight into the byte buffer: a curve holds up to 921 600 of them,
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

// Produces the file in pieces of at most kChunkBytes, handed to `flush` (false stops it), so a
// curve of any length is written through one small buffer: a whole-file array of tens of
// megabytes would cost more in fresh pages than the formatting itself.
template <typename Flush>
bool GenerateCurveFile(CurveStore& store, Flush&& flush) {
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
    if (!flush(headerBytes.constData(), headerBytes.size())) {
        return false;
    }

    // Stay inside the arrays whatever lastIndex holds.
    const auto stored = static_cast<std::int32_t>(
        std::min(store.sampleTimes.size(), store.sampleMillivolts.size()));
    if (stored == 0) {
        return true;
    }
    const std::int32_t last = std::clamp(store.lastIndex, 0, stored - 1);
    const std::int32_t* times = store.sampleTimes.data();
    const std::uint16_t* millivolts = store.sampleMillivolts.data();

    char buffer[kChunkBytes];
    char* out = buffer;
    const char* const full = buffer + kChunkBytes - 2 * kMaxLineUnits;
    const auto put = [&](std::int32_t seconds, std::uint16_t mv) {
        if (out > full) {
            if (!flush(buffer, out - buffer)) {
                return false;
            }
            out = buffer;
        }
        out = PutDataLine(out, seconds, mv);
        return true;
    };

    // Point 0 always carries the time 0: it is the start of the run.
    if (!put(0, millivolts[0])) {
        return false;
    }
    for (std::int32_t i = 1; i < last; ++i) {
        if (millivolts[i] != millivolts[i - 1] && !put(times[i], millivolts[i])) {
            return false;
        }
    }
    // The last point closes the curve even on a flat stretch, so its duration survives a reload.
    // A one-point curve at time 0 has only its start line (twice would reload as two points at
    // 0 s); one whose only point lies later, as a one-line file loads, keeps its time.
    if ((last > 0 || times[0] != 0) && !put(times[last], millivolts[last])) {
        return false;
    }
    return flush(buffer, out - buffer);
}

}  // namespace

QByteArray CurveFileBytes(CurveStore& store) {
    // One allocation for the longest possible file; pages never written are never touched.
    const auto points = std::clamp<qsizetype>(store.lastIndex, 0,
                                              static_cast<qsizetype>(store.sampleTimes.size())) +
                        1;
    QByteArray bytes;
    bytes.reserve(kChunkBytes + points * kMaxLineUnits * 2);
    GenerateCurveFile(store, [&bytes](const char* data, qsizetype size) {
        bytes.append(data, size);
        return true;
    });
    return bytes;
}

platform::WriteResult WriteCurveFile(const QString& path, CurveStore& store,
                                     platform::Streams streams) {
    return platform::WriteWholeFile(
        path,
        [&store](QIODevice& device) {
            return GenerateCurveFile(store, [&device](const char* data, qsizetype size) {
                return device.write(data, size) == size;
            });
        },
        streams);
}

AutosaveResult Autosave(CurveStore& store, const QString& dataFolder, const QString& name) {
    AutosaveResult result;
    if (store.durationSeconds <= 0) {
        return result;
    }
    result.path =
        dataFolder + name + (store.chargeCurve ? QStringLiteral(".zar") : QStringLiteral(".raz"));
    result.write = WriteCurveFile(result.path, store);
    if (result.write.Ok()) {
        result.bytes = QFileInfo(result.path).size();
    }
    return result;
}

std::int64_t AutosavePauseMs(std::int64_t fileBytes, std::int64_t bytesPerSecond) {
    return bytesPerSecond > 0 ? std::max<std::int64_t>(fileBytes, 0) * 1000 / bytesPerSecond : 0;
}

QString AutosaveFailureText(const AutosaveResult& result) {
    const QString reason = result.write.failure == platform::WriteFailure::NotRegular
                               ? Text::tr("под этим именем не обычный файл")
                               : result.write.reason;
    const QString path = QDir::toNativeSeparators(result.path);
    if (reason.isEmpty()) {
        return Text::tr(
                   "Не удалось записать файл автосохранения\n%1\n"
                   "Запись будет повторяться с каждой новой точкой кривой.")
            .arg(path);
    }
    return Text::tr(
               "Не удалось записать файл автосохранения\n%1\nПричина: %2\n"
               "Запись будет повторяться с каждой новой точкой кривой.")
        .arg(path, reason);
}

}  // namespace brimvolt
