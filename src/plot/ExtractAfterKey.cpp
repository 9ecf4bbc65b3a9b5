#include "plot/ExtractAfterKey.h"

namespace brimvolt {

QStringView ExtractAfterKeyView(QStringView text, QStringView key, QStringView separator) {
    const qsizetype keyAt = text.indexOf(key);
    if (keyAt < 0) {
        return {};
    }
    const qsizetype separatorAt = text.indexOf(separator, keyAt);
    // No separator after the key: the value is taken from the start of the text.
    qsizetype begin = separatorAt < 0 ? 0 : separatorAt + separator.size();
    qsizetype end = begin;
    while (end < text.size() && text[end].unicode() >= 0x20) {
        ++end;
    }
    while (begin < end && text[begin] == u' ') {
        ++begin;
    }
    while (end > begin && text[end - 1] == u' ') {
        --end;
    }
    return text.sliced(begin, end - begin);
}

QString ExtractAfterKey(const QString& text, const QString& key, const QString& separator) {
    return ExtractAfterKeyView(text, key, separator).toString();
}

}  // namespace brimvolt
