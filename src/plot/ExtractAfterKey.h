#pragma once

#include <QString>
#include <QStringView>

namespace brimvolt {

/**
 * The value after a key: from the key's first occurrence (case-sensitive) to the first separator
 * at or after it, then up to the first control character (below U+0020) or the end, with leading
 * and trailing spaces (U+0020 only) removed. Empty when the key does not occur. When no separator
 * follows the key, the value starts at the beginning of the text.
 */
QString ExtractAfterKey(const QString& text, const QString& key, const QString& separator);

/** The same lookup without copying: the result views `text`. */
QStringView ExtractAfterKeyView(QStringView text, QStringView key, QStringView separator);

}  // namespace brimvolt
