#include "curve/ColorsIni.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/Files.h"
#include "platform/Text.h"
#include "plot/ExtractAfterKey.h"

namespace brimvolt {

namespace {

const QString kFileName = QStringLiteral("Colors.ini");

// A colour file is three short lines; anything beyond this is not worth reading.
constexpr qint64 kMaxBytes = 1024 * 1024;

std::uint8_t Component(const QString& text, const QString& key) {
    const QStringView value = ExtractAfterKeyView(text, key, u"=");
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(platform::LeadingInteger(value)) &
                                     0xFFu);
}

}  // namespace

CurveColor ColorFromIniBytes(const QByteArray& bytes) {
    QString text = platform::TextFromUtf16Le(bytes);
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0) {
        text.truncate(nul);
    }
    CurveColor color;
    color.red = Component(text, QStringLiteral("red"));
    color.green = Component(text, QStringLiteral("green"));
    color.blue = Component(text, QStringLiteral("blue"));
    return color;
}

QByteArray ColorsIniBytes(const CurveColor& color) {
    const QString text = QString::asprintf("red\t= %i\r\ngreen\t= %i\r\nblue\t= %i\r\n",
                                           int{color.red}, int{color.green}, int{color.blue});
    return QByteArray("\xFF\xFE", 2) + platform::Utf16LeBytes(text);
}

ColorsIniResult ReadOrCreateColorsIni(const QString& folder) {
    ColorsIniResult result;
    const QString absolute = QDir(folder).absolutePath();
    result.dataFolder = absolute.endsWith(u'/') ? absolute : absolute + u'/';
    const QString path = result.dataFolder + kFileName;

    // A FIFO would stop the program's start until someone wrote to it.
    QFile file(path);
    if (platform::IsRegularFile(path) && file.open(QIODevice::ReadOnly)) {
        result.color = ColorFromIniBytes(file.read(kMaxBytes));
        return result;
    }
    // Anything that exists but cannot be read is the operator's own: never replace it.
    if (QFileInfo::exists(path)) {
        return result;
    }
    // A file that could not be written whole is not there at all, so the next start tries again.
    platform::WriteWholeFile(path, ColorsIniBytes(result.color));
    return result;
}

}  // namespace brimvolt
