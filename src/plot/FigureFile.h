#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <functional>

#include "platform/Files.h"

class QPainter;

namespace brimvolt {

/** Draws a figure into a painter of the given size. */
using FigurePainter = std::function<void(QPainter&, QSize)>;

/** The figure as PNG bytes; empty when it cannot be drawn (a size of nothing). */
QByteArray FigurePngBytes(QSize size, const FigurePainter& paint);

/**
 * The figure as SVG bytes with `title` as the document's title, made safe for XML (the
 * generator writes it as it stands); empty when it cannot be drawn.
 */
QByteArray FigureSvgBytes(QSize size, const QString& title, const FigurePainter& paint);

/**
 * Saves the figure whole or not at all: SVG when `path` ends in .svg (titled `svgTitle`, or the
 * file's name when that is empty), PNG otherwise.
 */
platform::WriteResult SaveFigure(const QString& path, QSize size, const QString& svgTitle,
                                 const FigurePainter& paint, platform::Streams streams);

}  // namespace brimvolt
