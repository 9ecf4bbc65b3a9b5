#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "platform/Files.h"
#include "plot/CurveStore.h"

namespace brimvolt {

/**
 * The table form of the curve: UTF-16LE with byte-order mark, capacity and time header, column
 * captions, then "seconds<TAB>volts<TAB>V" lines with a decimal comma. Point 0 and the last point
 * are always written; a point between them only when its voltage differs from the point before.
 * Sets the store's headerHours, headerMinutes and headerSeconds from durationSeconds.
 */
QByteArray CurveFileBytes(CurveStore& store);

/**
 * Writes the curve file at `path` whole or not at all: an existing file is replaced only when
 * the new one has been written completely (see platform::WriteWholeFile).
 */
platform::WriteResult WriteCurveFile(const QString& path, CurveStore& store,
                                     platform::Streams streams = platform::Streams::Refuse);

/** What one autosave did. */
struct AutosaveResult {
    QString path;                 // the file written or meant; empty when there was no curve
    platform::WriteResult write;  // why it was not written
    std::int64_t bytes = 0;       // the size of the file written

    bool Written() const { return !path.isEmpty() && write.Ok(); }
    bool Failed() const { return !write.Ok(); }
    explicit operator bool() const { return Written(); }
};

/**
 * Rewrites NAME.zar (charge curve) or NAME.raz in `dataFolder` while a curve is present, NAME
 * being `name` ("temp" unless a bench gives each channel its own). Needs nothing of a window, so
 * it can run wherever the store (or a copy of it) is.
 */
AutosaveResult Autosave(CurveStore& store, const QString& dataFolder,
                        const QString& name = QStringLiteral("temp"));

/** Over a long run the autosave rewrites at most about this much a second, on average. */
inline constexpr std::int64_t kAutosaveBytesPerSecond = 1'000'000;

/**
 * The shortest time from one autosave to the next after a file of `fileBytes`: a file of S
 * megabytes at most once every S seconds. Every second of the run is in the journal already, so
 * a large curve need not cost the disk 30 MB a second; a small one is written with every point.
 */
std::int64_t AutosavePauseMs(std::int64_t fileBytes,
                             std::int64_t bytesPerSecond = kAutosaveBytesPerSecond);

/** What the operator is told when an autosave failed: the file and the reason. */
QString AutosaveFailureText(const AutosaveResult& result);

}  // namespace brimvolt
