#include "curve/CurveRenderer.h"

#include "curve/CurveStore.h"
#include "curve/LineRaster.h"

#include <QFontMetrics>
#include <QPainter>
#include <QSaveFile>
#include <algorithm>
#include <cstdint>
#include <vector>

namespace brimvolt {

namespace {

// The plot's time origin sits this far from the image's left and bottom edges.
constexpr int kOriginLeft = 50;
constexpr int kOriginAboveBottom = 20;
constexpr int kPlotWidth = 600;
constexpr int kPixelsPerDivision = 20;
constexpr int kLabelCellHeight = 16;

int ImageY(const RenderInfo& info, int plotY) {
    return info.imageHeight - kOriginAboveBottom - plotY;
}

void EnsureBitmap(QImage& memoryBitmap, int maxPlotHeight, int imageHeight) {
    if (memoryBitmap.format() == QImage::Format_RGB32 && memoryBitmap.width() >= kCurveImageWidth &&
        memoryBitmap.height() >= imageHeight) {
        return;
    }
    const int height = std::max({imageHeight, memoryBitmap.height(), maxPlotHeight + 30});
    memoryBitmap =
        QImage(std::max(kCurveImageWidth, memoryBitmap.width()), height, QImage::Format_RGB32);
    memoryBitmap.fill(Qt::white);
}

void ClearImage(QImage& image, int imageHeight) {
    for (int y = 0; y < imageHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        std::fill_n(row, kCurveImageWidth, qRgb(255, 255, 255));
    }
}

void DrawGridLines(QImage& image, const RenderInfo& info) {
    CLineRaster raster(image, qRgb(0, 0, 0));
    const int divisions = info.grid.divisions;
    for (int k = 0; k <= divisions; ++k) {
        const int y = ImageY(info, kPixelsPerDivision * k);
        raster.DrawLine({kOriginLeft, y}, {kOriginLeft + kPlotWidth, y});
    }
    const int n = info.scale.divisions;
    for (int j = 0; j <= n; ++j) {
        const int x = kOriginLeft + j * kPlotWidth / n;
        raster.DrawLine({x, ImageY(info, 0)}, {x, ImageY(info, kPixelsPerDivision * divisions)});
    }
}

void DrawTextAt(QPainter& painter, int left, int top, const QString& text) {
    painter.drawText(QPoint(left, top + painter.fontMetrics().ascent()), text);
}

void PrepareTextPainter(QPainter& painter) {
    painter.setFont(LabelFont());
    painter.setPen(Qt::black);
    painter.setBackground(Qt::white);
    painter.setBackgroundMode(Qt::OpaqueMode);
}

void DrawLabels(QImage& image, const RenderInfo& info) {
    QPainter painter(&image);
    PrepareTextPainter(painter);
    const QFontMetrics metrics = painter.fontMetrics();
    const VoltageGrid& grid = info.grid;
    for (int k = 0; k <= grid.divisions; ++k) {
        const QString text = VoltageLabel(grid, k);
        const int width = metrics.horizontalAdvance(text);
        DrawTextAt(painter, kOriginLeft - width - 5, ImageY(info, kPixelsPerDivision * k) - 8,
                   text);
    }
    const int timeLabelTop = ImageY(info, 0) + 3;
    const int n = info.scale.divisions;
    for (int j = 0; j <= n; ++j) {
        const QString text = TimeLabel(info.scale, j);
        const int x = j * kPlotWidth / n;
        DrawTextAt(painter, kOriginLeft + x - metrics.horizontalAdvance(text) / 2, timeLabelTop,
                   text);
    }
    DrawTextAt(painter, kOriginLeft + 615, timeLabelTop, info.scale.unitText);
}

/**
 * Image coordinates of every sample, in order, handed to sink(QPoint). Reads each sample once;
 * the divisions are avoided while the time stays in the current pixel column, and the voltage
 * goes through a table over the store's range.
 */
template <typename Sink>
void ForEachCurvePoint(const CurveStore& store, const RenderInfo& info, MillivoltRange range,
                       Sink sink) {
    const std::int32_t last = LastReadableIndex(store);
    const int step = info.grid.stepMv;
    const int base = info.grid.bottom * step;
    std::vector<int> imageYOf(static_cast<std::size_t>(range.highest - range.lowest + 1));
    for (int v = range.lowest; v <= range.highest; ++v) {
        imageYOf[static_cast<std::size_t>(v - range.lowest)] =
            ImageY(info, (v - base) * kPixelsPerDivision / step);
    }
    const std::int64_t secondsPerPixel = info.scale.secondsPerPixel;
    // Far-off times are held where the arithmetic of the line stays exact; the module's clock
    // never gets near.
    constexpr std::int64_t kFarthest = CLineRaster::kCoordinateLimit - kOriginLeft;
    std::int64_t columnFirst = 1;  // times in [columnFirst, columnLast] share the column
    std::int64_t columnLast = 0;
    int x = 0;
    const std::int32_t* times = store.sampleTimes.data();
    const std::uint16_t* millivolts = store.sampleMillivolts.data();
    for (std::int32_t i = 0; i <= last; ++i) {
        const std::int64_t t = times[i];
        if (t < columnFirst || t > columnLast) {
            // Integer division truncates toward zero, so column 0 spans both signs.
            const std::int64_t column = t / secondsPerPixel;
            const std::int64_t start = column * secondsPerPixel;
            if (column > 0) {
                columnFirst = start;
                columnLast = start + secondsPerPixel - 1;
            } else if (column == 0) {
                columnFirst = -(secondsPerPixel - 1);
                columnLast = secondsPerPixel - 1;
            } else {
                columnFirst = start - (secondsPerPixel - 1);
                columnLast = start;
            }
            x = kOriginLeft + static_cast<int>(std::clamp(column, -kFarthest, kFarthest));
        }
        sink(QPoint(x, imageYOf[static_cast<std::size_t>(millivolts[i] - range.lowest)]));
    }
}

void DrawCurve(QImage& image, const CurveStore& store, const RenderInfo& info, MillivoltRange range,
               QRgb color, CurveDrawing drawing) {
    if (LastReadableIndex(store) < 0) {
        return;
    }
    const int y0 = ImageY(info, (store.sampleMillivolts[0] - info.grid.bottom * info.grid.stepMv) *
                                    kPixelsPerDivision / info.grid.stepMv);
    CLineRaster raster(image, color);
    // Start mark on the voltage axis, with the 3-pixel pen.
    raster.DrawWideLine({kOriginLeft - 1, y0}, {kOriginLeft + 1, y0}, 3);
    if (drawing == CurveDrawing::ColumnSpans) {
        raster.MoveTo({kOriginLeft, y0});
        ForEachCurvePoint(store, info, range, [&raster](QPoint p) { raster.LineTo(p); });
        raster.EndPolyline();
    } else {
        QPoint previous(kOriginLeft, y0);
        ForEachCurvePoint(store, info, range, [&](QPoint p) {
            raster.DrawLine(previous, p);
            previous = p;
        });
    }
}

}  // namespace

QFont LabelFont() {
    // A font asked for as 16 pixels high means its whole character cell (ascent plus
    // descent), as the texts are placed by their cell's top edge; Qt's pixel size is the em.
    static const QFont font = [] {
        QFont candidate(QStringLiteral("Arial"));
        for (int pixels = kLabelCellHeight; pixels > 1; --pixels) {
            candidate.setPixelSize(pixels);
            const QFontMetrics metrics(candidate);
            if (metrics.ascent() + metrics.descent() <= kLabelCellHeight) {
                break;
            }
        }
        return candidate;
    }();
    return font;
}

RenderInfo RenderCurve(const CurveStore& store, QColor curveColor, int maxPlotHeight,
                       QImage& memoryBitmap, CurveDrawing drawing) {
    const MillivoltRange range = SampleMillivoltRange(store);
    RenderInfo info;
    info.grid = ChooseVoltageGrid(range, maxPlotHeight);
    info.imageHeight = kPixelsPerDivision * info.grid.divisions + 30;
    info.scale = ChooseTimeScale(store.durationSeconds);

    EnsureBitmap(memoryBitmap, maxPlotHeight, info.imageHeight);
    ClearImage(memoryBitmap, info.imageHeight);
    DrawGridLines(memoryBitmap, info);
    DrawLabels(memoryBitmap, info);
    DrawCurve(memoryBitmap, store, info, range,
              qRgb(curveColor.red(), curveColor.green(), curveColor.blue()), drawing);
    return info;
}

Readout ReadoutAt(const RenderInfo& info, int cursorX, int cursorY) {
    const std::int64_t t = static_cast<std::int64_t>(cursorX) * info.scale.secondsPerPixel;
    const std::int64_t step = info.grid.stepMv;
    const std::int64_t millivolts = step * info.grid.top - cursorY * step / kPixelsPerDivision;
    Readout readout;
    readout.timeText =
        QString::asprintf("%lldч %lldм %lldс", static_cast<long long>(t / 3600),
                          static_cast<long long>((t % 3600) / 60), static_cast<long long>(t % 60));
    readout.voltageText = QString::asprintf("%.3f В", static_cast<double>(millivolts) / 1000.0);
    readout.timeAt = QPoint(cursorX + 54, cursorY - 13);
    readout.voltageAt = QPoint(cursorX + 54, cursorY);
    return readout;
}

void DrawReadout(QPainter& painter, const Readout& readout) {
    painter.save();
    PrepareTextPainter(painter);
    DrawTextAt(painter, readout.timeAt.x(), readout.timeAt.y(), readout.timeText);
    DrawTextAt(painter, readout.voltageAt.x(), readout.voltageAt.y(), readout.voltageText);
    painter.restore();
}

bool RenderCurveToPng(const CurveStore& store, QColor curveColor, int maxPlotHeight,
                      const QString& path) {
    QImage bitmap;
    const RenderInfo info = RenderCurve(store, curveColor, maxPlotHeight, bitmap);
    const QImage plot = bitmap.copy(0, 0, kCurveImageWidth, info.imageHeight);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (!plot.save(&file, "PNG")) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace brimvolt
