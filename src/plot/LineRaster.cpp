#include "plot/LineRaster.h"

#include <algorithm>

namespace brimvolt {

namespace {

int ClampCoordinate(int value) {
    return std::clamp(value, -CLineRaster::kCoordinateLimit, CLineRaster::kCoordinateLimit);
}

struct ClipBox {
    std::int64_t xMin, xMax, yMin, yMax;
};

/**
 * Calls plot(x, y) for each pixel of the line from `from` to `to` (end excluded) inside box.
 * Only the steps whose major coordinate lies in the box are visited, so a line reaching far
 * outside costs no more than one crossing the image.
 */
template <typename Plot>
void TraceLine(QPoint from, QPoint to, const ClipBox& box, Plot plot) {
    const std::int64_t x0 = ClampCoordinate(from.x());
    const std::int64_t y0 = ClampCoordinate(from.y());
    const std::int64_t x1 = ClampCoordinate(to.x());
    const std::int64_t y1 = ClampCoordinate(to.y());
    const std::int64_t dx = x1 - x0;
    const std::int64_t dy = y1 - y0;
    if (dx == 0 && dy == 0) {
        return;
    }
    if (std::max(x0, x1) < box.xMin || std::min(x0, x1) > box.xMax || std::max(y0, y1) < box.yMin ||
        std::min(y0, y1) > box.yMax) {
        return;
    }
    const bool xMajor = std::abs(dx) >= std::abs(dy);
    const std::int64_t major0 = xMajor ? x0 : y0;
    const std::int64_t minor0 = xMajor ? y0 : x0;
    const std::int64_t majorDelta = xMajor ? dx : dy;
    const std::int64_t minorDelta = xMajor ? dy : dx;
    const std::int64_t majorMin = xMajor ? box.xMin : box.yMin;
    const std::int64_t majorMax = xMajor ? box.xMax : box.yMax;
    const std::int64_t minorMin = xMajor ? box.yMin : box.xMin;
    const std::int64_t minorMax = xMajor ? box.yMax : box.xMax;
    const std::int64_t majorStep = majorDelta > 0 ? 1 : -1;
    const std::int64_t minorStep = minorDelta >= 0 ? 1 : -1;
    const std::int64_t steps = std::abs(majorDelta);
    const std::int64_t rise = std::abs(minorDelta);

    std::int64_t first = 0;
    std::int64_t last = steps - 1;
    if (majorStep > 0) {
        first = std::max(first, majorMin - major0);
        last = std::min(last, majorMax - major0);
    } else {
        first = std::max(first, major0 - majorMax);
        last = std::min(last, major0 - majorMin);
    }
    if (first > last) {
        return;
    }
    // Minor offset at step k: floor((2 * rise * k + steps - 1) / (2 * steps)), which is
    // rise * k / steps rounded to nearest with halves toward the start. Kept as quotient and
    // remainder; each step adds 2 * rise <= 2 * steps, so the quotient grows by 0 or 1.
    const std::int64_t twoSteps = 2 * steps;
    const std::int64_t twoRise = 2 * rise;
    const std::int64_t numerator = twoRise * first + steps - 1;
    std::int64_t offset = numerator / twoSteps;
    std::int64_t remainder = numerator % twoSteps;
    for (std::int64_t k = first; k <= last; ++k) {
        const std::int64_t major = major0 + majorStep * k;
        const std::int64_t minor = minor0 + minorStep * offset;
        if (minor >= minorMin && minor <= minorMax) {
            if (xMajor) {
                plot(major, minor);
            } else {
                plot(minor, major);
            }
        }
        remainder += twoRise;
        if (remainder >= twoSteps) {
            remainder -= twoSteps;
            ++offset;
        }
    }
}

}  // namespace

CLineRaster::CLineRaster(QImage& image, QRgb color) : color_(color) {
    if (image.depth() == 32 && !image.isNull()) {
        bits_ = image.bits();
        bytesPerLine_ = image.bytesPerLine();
        width_ = image.width();
        height_ = image.height();
    }
}

CLineRaster::~CLineRaster() {
    EndPolyline();
}

void CLineRaster::DrawLine(QPoint from, QPoint to) {
    const ClipBox box{0, width_ - 1, 0, height_ - 1};
    TraceLine(from, to, box, [this](std::int64_t x, std::int64_t y) { PutPixel(x, y); });
}

void CLineRaster::DrawWideLine(QPoint from, QPoint to, int width) {
    width = std::max(width, 1);
    const int before = (width - 1) / 2;
    const int after = width / 2;
    const ClipBox box{-after, width_ - 1 + before, -after, height_ - 1 + before};
    auto stamp = [&](std::int64_t x, std::int64_t y) {
        for (std::int64_t row = y - before; row <= y + after; ++row) {
            for (std::int64_t column = x - before; column <= x + after; ++column) {
                PutPixel(column, row);
            }
        }
    };
    TraceLine(from, to, box, stamp);
    const std::int64_t endX = ClampCoordinate(to.x());
    const std::int64_t endY = ClampCoordinate(to.y());
    if (endX >= box.xMin && endX <= box.xMax && endY >= box.yMin && endY <= box.yMax) {
        stamp(endX, endY);
    }
}

void CLineRaster::DrawColumn(int x, int yFrom, int yTo) {
    if (x < 0 || x >= width_) {
        return;
    }
    const int low = std::max(std::min(yFrom, yTo), 0);
    const int high = std::min(std::max(yFrom, yTo), height_ - 1);
    for (int y = low; y <= high; ++y) {
        reinterpret_cast<QRgb*>(bits_ + static_cast<qsizetype>(y) * bytesPerLine_)[x] = color_;
    }
}

void CLineRaster::MoveTo(QPoint point) {
    EndPolyline();
    inPolyline_ = true;
    runX_ = ClampCoordinate(point.x());
    runLow_ = runHigh_ = currentY_ = ClampCoordinate(point.y());
    currentDrawn_ = false;
}

void CLineRaster::LeaveColumn(QPoint next) {
    if (!inPolyline_) {
        MoveTo(next);
        return;
    }
    // The segment out of the column starts on the run's latest point, so the whole span is
    // drawn, that point included.
    DrawColumn(runX_, runLow_, runHigh_);
    const QPoint current(runX_, currentY_);
    inPolyline_ = false;
    DrawLine(current, next);
    MoveTo(next);
}

void CLineRaster::EndPolyline() {
    if (!inPolyline_) {
        return;
    }
    inPolyline_ = false;
    // The polyline's last point is drawn only if a segment of its run passed over it. An
    // undrawn latest point is a new extreme of the span, so it sits at one of its ends.
    int low = runLow_;
    int high = runHigh_;
    if (!currentDrawn_) {
        if (currentY_ == low) {
            ++low;
        } else {
            --high;
        }
    }
    if (low <= high) {
        DrawColumn(runX_, low, high);
    }
}

}  // namespace brimvolt
