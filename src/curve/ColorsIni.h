#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace brimvolt {

struct CurveColor {
    std::uint8_t red = 255, green = 127, blue = 0;
};

struct ColorsIniResult {
    CurveColor color;
    QString dataFolder;  // absolute, with a trailing '/'
};

/**
 * The curve colour from `folder`/Colors.ini. A missing file is created with the default colour,
 * whole or not at all. Anything there that is not a readable regular file (a FIFO, a device, a
 * folder) leaves the default colour and stays as it is, as does a file that cannot be created;
 * nothing is reported. `dataFolder` is set in every case.
 */
ColorsIniResult ReadOrCreateColorsIni(const QString& folder);

/**
 * The colour a Colors.ini text (UTF-16LE bytes) gives: each of "red", "green", "blue" is the
 * leading integer after its "=", low 8 bits; a missing key gives 0.
 */
CurveColor ColorFromIniBytes(const QByteArray& bytes);

/** The bytes of a Colors.ini holding `color`: byte-order mark, then three UTF-16LE lines. */
QByteArray ColorsIniBytes(const CurveColor& color);

}  // namespace brimvolt
