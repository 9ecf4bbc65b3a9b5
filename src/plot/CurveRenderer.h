#pragma once

#include "platform/Files.h"
#include "plot/BlockSummary.h"
#include "plot/CurveGrid.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QString>

class QPainter;

namespace brimvolt {

struct CurveStore;

/** What a render chose: the window sizes itself to imageHeight and reads the cursor with it. */
struct RenderInfo {
    VoltageGrid grid;
    TimeScale scale;
    int imageHeight;
};

/** Width of the plot image and of the curve window's client area. */
constexpr int kCurveImageWidth = 720;

/** How the curve's polyline reaches the image; both give the same pixels. */
enum class CurveDrawing {
    ColumnSpans,   // each column's run of points as one span: cost bounded by the columns
    EverySegment,  // one line per pair of samples: the plain reference
};

using CurveBlocks = CBlockSummary<std::int32_t, std::uint16_t>;

/**
 * The block summary of a store's points, kept from one render to the next: a render then costs
 * what the image is wide, and what was appended since. It starts over when the store's points
 * were rewritten (its revision moved) or its buffers were exchanged.
 */
class CCurveSummary {
public:
    const CurveBlocks& Of(const CurveStore& store);

private:
    const std::int32_t* times = nullptr;
    const std::uint16_t* millivolts = nullptr;
    std::uint64_t revision = 0;
    CurveBlocks blocks;
};

/** Arial with a character cell 16 pixels high: every text of the plot and of the readout. */
QFont LabelFont();

/**
 * Draws the store as a voltage-against-time plot into the top imageHeight rows of
 * memoryBitmap (720 x (maxPlotHeight + 30), Format_RGB32). A bitmap of another format, or too
 * small for the grid, is replaced by a large enough RGB32 one. A summary kept by the caller
 * spares reading the whole store again; without one, one is made for this render.
 */
RenderInfo RenderCurve(const CurveStore& store, QColor curveColor, int maxPlotHeight,
                       QImage& memoryBitmap, CurveDrawing drawing = CurveDrawing::ColumnSpans,
                       CCurveSummary* summary = nullptr);

/** Time and voltage at the pressed point; positions are the texts' top-left in the client. */
struct Readout {
    QString timeText;
    QString voltageText;
    QPoint timeAt;
    QPoint voltageAt;
};

/** cursorX, cursorY: pixels right of the time origin and below the top grid line. */
Readout ReadoutAt(const RenderInfo& info, int cursorX, int cursorY);

/** Both readout texts, black on an opaque white ground, in the label font. */
void DrawReadout(QPainter& painter, const Readout& readout);

/** The plot's 720 x imageHeight image saved as PNG, whole or not at all. */
platform::WriteResult RenderCurveToPng(const CurveStore& store, QColor curveColor,
                                       int maxPlotHeight, const QString& path,
                                       platform::Streams streams = platform::Streams::Refuse);

}  // namespace brimvolt
