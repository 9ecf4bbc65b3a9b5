#include "plot/FigureFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include "platform/Text.h"

namespace brimvolt {

QByteArray FigurePngBytes(QSize size, const FigurePainter& paint) {
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) {
        return {};
    }
    {
        QPainter painter(&image);
        paint(painter, size);
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        return {};
    }
    return png;
}

QByteArray FigureSvgBytes(QSize size, const QString& title, const FigurePainter& paint) {
    QByteArray svg;
    QBuffer buffer(&svg);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(size);
    generator.setViewBox(QRect(QPoint(0, 0), size));
    // The generator writes the title into the XML as it stands: markup characters would make
    // the file no XML at all.
    QString safeTitle = platform::ReplaceUnsafe(title);
    for (const QChar markup : {u'<', u'>', u'&'}) {
        safeTitle.replace(markup, QChar(0xFFFD));
    }
    generator.setTitle(safeTitle);
    {
        QPainter painter;
        if (!painter.begin(&generator)) {
            return {};
        }
        paint(painter, size);
    }
    return svg;
}

platform::WriteResult SaveFigure(const QString& path, QSize size, const QString& svgTitle,
                                 const FigurePainter& paint, platform::Streams streams) {
    const QFileInfo info(path);
    const bool svg = info.suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0;
    const QByteArray bytes =
        svg ? FigureSvgBytes(size, svgTitle.isEmpty() ? info.completeBaseName() : svgTitle, paint)
            : FigurePngBytes(size, paint);
    if (bytes.isEmpty()) {
        return {platform::WriteFailure::WriteFailed, {}};
    }
    return platform::WriteWholeFile(path, bytes, streams);
}

}  // namespace brimvolt
