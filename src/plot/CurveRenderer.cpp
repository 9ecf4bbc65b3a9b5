#include "plot/CurveRenderer.h"

#include "plot/CurveStore.h"
#include "plot/LineRaster.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <climits>
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
 * Maps samples to image points. The voltage goes through a table over the store's range, and
 * the time is divided only when it leaves the current pixel column.
 */
class SamplePlacement {
public:
    SamplePlacement(const RenderInfo& info, MillivoltRange range)
        : lowest_(range.lowest),
          imageYOf_(static_cast<std::size_t>(range.highest - range.lowest + 1)),
          secondsPerPixel_(info.scale.secondsPerPixel) {
        const int step = info.grid.stepMv;
        const int base = info.grid.bottom * step;
        for (int v = range.lowest; v <= range.highest; ++v) {
            imageYOf_[static_cast<std::size_t>(v - range.lowest)] =
                ImageY(info, (v - base) * kPixelsPerDivision / step);
        }
    }

    int ImageYOf(std::uint16_t millivolts) const {
        return imageYOf_[static_cast<std::size_t>(millivolts - lowest_)];
    }

    bool InColumn(std::int64_t t) const { return t >= columnFirst_ && t <= columnLast_; }

    /** The current column's times, held to the 32-bit range the samples have. */
    std::int32_t ColumnFirst() const {
        return static_cast<std::int32_t>(
            std::clamp<std::int64_t>(columnFirst_, INT32_MIN, INT32_MAX));
    }
    std::int32_t ColumnLast() const {
        return static_cast<std::int32_t>(
            std::clamp<std::int64_t>(columnLast_, INT32_MIN, INT32_MAX));
    }

    /** Makes t's column the current one; its image x. */
    int EnterColumn(std::int64_t t) {
        // Integer division truncates toward zero, so column 0 spans both signs.
        const std::int64_t column = t / secondsPerPixel_;
        const std::int64_t start = column * secondsPerPixel_;
        if (column > 0) {
            columnFirst_ = start;
            columnLast_ = start + secondsPerPixel_ - 1;
        } else if (column == 0) {
            columnFirst_ = -(secondsPerPixel_ - 1);
            columnLast_ = secondsPerPixel_ - 1;
        } else {
            columnFirst_ = start - (secondsPerPixel_ - 1);
            columnLast_ = start;
        }
        // Far-off times are held where the line arithmetic stays exact; the module's clock
        // never gets near.
        constexpr std::int64_t kFarthest = CLineRaster::kCoordinateLimit - kOriginLeft;
        return kOriginLeft + static_cast<int>(std::clamp(column, -kFarthest, kFarthest));
    }

private:
    int lowest_;
    std::vector<int> imageYOf_;
    std::int64_t secondsPerPixel_;
    std::int64_t columnFirst_ = 1;  // times in [columnFirst_, columnLast_] share the column
    std::int64_t columnLast_ = 0;
};

void DrawEverySegment(CLineRaster& raster, const CurveStore& store, SamplePlacement& placement,
                      QPoint start) {
    const std::int32_t last = LastReadableIndex(store);
    QPoint previous = start;
    int x = 0;
    for (std::int32_t i = 0; i <= last; ++i) {
        const std::int64_t t = store.sampleTimes[i];
        if (!placement.InColumn(t)) {
            x = placement.EnterColumn(t);
        }
        const QPoint point(x, placement.ImageYOf(store.sampleMillivolts[i]));
        raster.DrawLine(previous, point);
        previous = point;
    }
}

/**
 * The polyline column by column. A run of samples in one column that another column follows
 * draws its whole span, whatever the order of its points, and the line out of it starts on its
 * last point; so the run goes to the raster as four points: first, both extremes, last. The
 * final run goes point by point, as whether its last point is drawn depends on their order.
 */
void DrawColumnSpans(CLineRaster& raster, const CurveStore& store, const CurveBlocks& blocks,
                     SamplePlacement& placement, QPoint start) {
    const std::int32_t last = LastReadableIndex(store);
    const std::int32_t* times = store.sampleTimes.data();
    const std::uint16_t* millivolts = store.sampleMillivolts.data();
    const auto count = static_cast<std::size_t>(last) + 1;
    raster.MoveTo(start);
    std::int32_t first = 0;
    while (first <= last) {
        const int x = placement.EnterColumn(times[first]);
        std::uint16_t low = millivolts[first];
        std::uint16_t high = low;
        const std::int32_t columnFirst = placement.ColumnFirst();
        const std::int32_t columnLast = placement.ColumnLast();
        const auto inColumn = [columnFirst, columnLast](std::int32_t a, std::int32_t b) {
            return a >= columnFirst && b <= columnLast;
        };
        // One past the run.
        const auto end = static_cast<std::int32_t>(blocks.RunEnd(
            times, millivolts, static_cast<std::size_t>(first) + 1, count, inColumn, low, high));
        if (end > last) {
            for (std::int32_t i = first; i <= last; ++i) {
                raster.LineTo({x, placement.ImageYOf(millivolts[i])});
            }
            break;
        }
        raster.LineTo({x, placement.ImageYOf(millivolts[first])});
        raster.LineTo({x, placement.ImageYOf(low)});
        raster.LineTo({x, placement.ImageYOf(high)});
        raster.LineTo({x, placement.ImageYOf(millivolts[end - 1])});
        first = end;
    }
    raster.EndPolyline();
}

void DrawCurve(QImage& image, const CurveStore& store, const CurveBlocks& blocks,
               const RenderInfo& info, MillivoltRange range, QRgb color, CurveDrawing drawing) {
    if (LastReadableIndex(store) < 0) {
        return;
    }
    SamplePlacement placement(info, range);
    const int y0 = placement.ImageYOf(store.sampleMillivolts[0]);
    CLineRaster raster(image, color);
    // Start mark on the voltage axis, with the 3-pixel pen.
    raster.DrawWideLine({kOriginLeft - 1, y0}, {kOriginLeft + 1, y0}, 3);
    const QPoint start(kOriginLeft, y0);
    if (drawing == CurveDrawing::ColumnSpans) {
        DrawColumnSpans(raster, store, blocks, placement, start);
    } else {
        DrawEverySegment(raster, store, placement, start);
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

const CurveBlocks& CCurveSummary::Of(const CurveStore& store) {
    const std::int32_t last = LastReadableIndex(store);
    const auto count = static_cast<std::size_t>(last + 1);
    if (store.sampleTimes.data() != times || store.sampleMillivolts.data() != millivolts ||
        store.revision != revision || count < blocks.Summarised()) {
        blocks.Clear();
        times = store.sampleTimes.data();
        millivolts = store.sampleMillivolts.data();
        revision = store.revision;
    }
    if (count > 0) {
        blocks.Extend(times, millivolts, count);
    }
    return blocks;
}

RenderInfo RenderCurve(const CurveStore& store, QColor curveColor, int maxPlotHeight,
                       QImage& memoryBitmap, CurveDrawing drawing, CCurveSummary* summary) {
    CCurveSummary once;
    const CurveBlocks& blocks = (summary ? summary : &once)->Of(store);
    const std::int32_t last = LastReadableIndex(store);
    MillivoltRange range{0, 0};
    if (last >= 0) {
        const CurveBlocks::Block extremes =
            blocks.Range(store.sampleTimes.data(), store.sampleMillivolts.data(),
                         static_cast<std::size_t>(last) + 1);
        range = {extremes.lowY, extremes.highY};
    }
    RenderInfo info;
    info.grid = ChooseVoltageGrid(range, maxPlotHeight);
    info.imageHeight = kPixelsPerDivision * info.grid.divisions + 30;
    info.scale = ChooseTimeScale(store.durationSeconds);

    EnsureBitmap(memoryBitmap, maxPlotHeight, info.imageHeight);
    ClearImage(memoryBitmap, info.imageHeight);
    DrawGridLines(memoryBitmap, info);
    DrawLabels(memoryBitmap, info);
    DrawCurve(memoryBitmap, store, blocks, info, range,
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

platform::WriteResult RenderCurveToPng(const CurveStore& store, QColor curveColor,
                                       int maxPlotHeight, const QString& path,
                                       platform::Streams streams) {
    QImage bitmap;
    const RenderInfo info = RenderCurve(store, curveColor, maxPlotHeight, bitmap);
    // Encoded first, so that a full disk is the file's failure alone, not the encoder's too.
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!bitmap.copy(0, 0, kCurveImageWidth, info.imageHeight).save(&buffer, "PNG")) {
        return {platform::WriteFailure::WriteFailed, {}};
    }
    return platform::WriteWholeFile(path, png, streams);
}

}  // namespace brimvolt
