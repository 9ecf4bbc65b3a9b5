#pragma once

#include <QImage>
#include <QPoint>
#include <QRgb>
#include <cstdint>

namespace brimvolt {

/**
 * One-pixel lines written straight into a 32-bit image, clipped to it.
 *
 * The pixels of a line from A to B: along the longer axis (x when |dx| >= |dy|), one pixel for
 * each step from A up to but excluding B; at step k the other coordinate is A's plus
 * dminor * k / dmajor rounded to nearest, halves rounded toward A. So a line starts on A, never
 * draws B, and a line from a point to itself draws nothing: along a polyline the next line
 * starts on the pixel the previous one left out, and the polyline's last point stays undrawn.
 * A pen that moves along a path on screen draws the same way.
 *
 * Coordinates are clamped to +-kCoordinateLimit, which keeps the arithmetic exact.
 */
class CLineRaster {
public:
    static constexpr int kCoordinateLimit = 1 << 29;

    /** image must be Format_RGB32 or one of the ARGB32 formats; any other is left untouched. */
    CLineRaster(QImage& image, QRgb color);
    ~CLineRaster();
    CLineRaster(const CLineRaster&) = delete;
    CLineRaster& operator=(const CLineRaster&) = delete;

    void SetColor(QRgb color) { color_ = color; }

    void DrawLine(QPoint from, QPoint to);

    /**
     * A wide pen: every pixel of the line from `from` to `to`, both ends included, widened to a
     * width x width square (for odd widths centred on it).
     */
    void DrawWideLine(QPoint from, QPoint to, int width);

    /** Pixels (x, y) for y from yFrom to yTo, both included, in either order. */
    void DrawColumn(int x, int yFrom, int yTo);

    /**
     * A polyline, drawn exactly as DrawLine for every segment in turn would draw it, at a cost
     * that does not grow with the number of points sharing a column: the segments inside one
     * column are vertical and together cover one span, drawn once when the polyline leaves
     * the column. Call EndPolyline (or destroy the raster) to draw the last column.
     */
    void MoveTo(QPoint point);
    inline void LineTo(QPoint point);
    void EndPolyline();

private:
    void PutPixel(std::int64_t x, std::int64_t y) {
        if (static_cast<std::uint64_t>(x) < static_cast<std::uint64_t>(width_) &&
            static_cast<std::uint64_t>(y) < static_cast<std::uint64_t>(height_)) {
            reinterpret_cast<QRgb*>(bits_ + static_cast<qsizetype>(y) * bytesPerLine_)[x] = color_;
        }
    }
    void LeaveColumn(QPoint next);

    uchar* bits_ = nullptr;
    qsizetype bytesPerLine_ = 0;
    int width_ = 0;
    int height_ = 0;
    QRgb color_;

    // The polyline's run of points in column runX_: their y span, the latest point's y, and
    // whether a segment inside the run has drawn that latest point yet.
    bool inPolyline_ = false;
    int runX_ = 0;
    int runLow_ = 0;
    int runHigh_ = 0;
    int currentY_ = 0;
    bool currentDrawn_ = false;
};

inline void CLineRaster::LineTo(QPoint point) {
    if (!inPolyline_ || qBound(-kCoordinateLimit, point.x(), kCoordinateLimit) != runX_) {
        LeaveColumn(point);
        return;
    }
    const int y = qBound(-kCoordinateLimit, point.y(), kCoordinateLimit);
    if (y == currentY_) {
        return;
    }
    // The vertical segment draws currentY_ up to y, without y; y counts as drawn when an
    // earlier segment of the run already covered it, that is when it lies inside the span.
    currentDrawn_ = y >= runLow_ && y <= runHigh_;
    runLow_ = qMin(runLow_, y);
    runHigh_ = qMax(runHigh_, y);
    currentY_ = y;
}

}  // namespace brimvolt
