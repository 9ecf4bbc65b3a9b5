#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

class QMenuBar;

namespace brimvolt::platform {

/**
 * A font whose cell (ascent + descent) is at most `cellHeight` pixels, as a positive font height
 * asks for. The faces named may be missing and the nearest face of the family's kind may run
 * wider, so with `fitWidth` the sample text is also kept within that many pixels.
 */
QFont CellHeightFont(const QStringList& families, QFont::StyleHint hint, int cellHeight,
                     const QString& sample = {}, int fitWidth = 0);

/**
 * `text` cut at its end to the room the bar leaves right of its last entry but one: the bar is
 * as wide as the window and holds the commands too, and the last entry shows the text.
 */
QString ElidedToMenuRoom(const QMenuBar& menuBar, const QString& text);

}  // namespace brimvolt::platform
