#pragma once

/*
 * The comparison figure: several voltage curves overlaid on one plot, against time, capacity or
 * energy, or their incremental capacity (dQ/dV against voltage, peaks marked) or differential
 * voltage (dV/dQ against capacity), with axes, grid, labels and a legend (label, start date,
 * capacity, energy). Plain drawing, no window: the comparison window paints it into its widget
 * and forwards the mouse through the mapping helpers; `brimvolt-journal png` and the exports save
 * it as PNG or SVG.
 *
 * Use:
 *     CComparisonFigure figure;
 *     figure.SetCurves(std::move(curves));        // builds the column summaries once
 *     figure.SetAxis(FigureAxis::Capacity);       // view goes back to the whole curves
 *     figure.Paint(painter, widget->size());
 *     figure.SetView(figure.ViewOfDrag(size, dragRectInPixels));
 *     figure.SetView(figure.ViewZoomedAt(size, mousePos, wheelSteps));
 *     figure.ResetView();
 *     auto values = figure.ValuesAt(figure.DataAt(size, mousePos).x());
 *
 * A paint costs what the plot is wide, not what the curves are long: each curve keeps a summary
 * of its points by blocks, so a column of pixels reads a few block extremes instead of its
 * samples.
 */

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/Files.h"

class QPainter;

namespace brimvolt {

struct CurveStore;

/** What the horizontal axis shows. */
enum class FigureAxis : std::uint8_t {
    Time,      // hours since the start
    Capacity,  // mAh from the start
    Energy,    // Wh from the start
    Dqdv,      // volts across, dQ/dV in mAh/V up: FigureCurve::dqdv
    Dvdq,      // mAh across, dV/dQ in V/Ah up: FigureCurve::dvdq
};

/** One curve of the comparison. Points are in recording order; x values never go back. */
struct FigureCurve {
    QString label;
    std::int64_t startedUtc = 0;  // seconds since 1970-01-01 UTC; 0: unknown (a curve file)
    double capacityMah = -1;      // the run's totals for the legend; negative: unknown
    double energyWh = -1;
    QColor color;  // invalid: the palette colour of its place in the figure

    std::vector<std::uint16_t> millivolts;
    /**
     * The x of each point for each axis, indexed by FigureAxis: seconds, mAh, Wh. An empty
     * vector means the curve has no such axis (curve files have time only); otherwise its size
     * is that of millivolts.
     */
    std::array<std::vector<float>, 3> x;
    /** dQ/dV as (V, mAh/V) in voltage order, for the Dqdv axis; empty: the curve has none. */
    std::vector<QPointF> dqdv;
    std::vector<QPointF> dqdvPeaks;  // marked on the curve
    /** dV/dQ as (mAh, V/Ah) in capacity order, for the Dvdq axis; empty: the curve has none. */
    std::vector<QPointF> dvdq;

    bool HasAxis(FigureAxis axis) const;
};

/** A curve file's curve (time only), labelled. */
FigureCurve FigureCurveOfStore(const CurveStore& store, const QString& label);

/** The fixed palette: distinct, readable on white; colour `index` wraps around. */
QColor FigurePaletteColor(int index);
constexpr int kFigurePaletteSize = 10;

/** Text of the axis for menus and titles ("Время, ч", ...). */
QString FigureAxisTitle(FigureAxis axis);

class CComparisonFigure {
public:
    CComparisonFigure();
    ~CComparisonFigure();
    CComparisonFigure(const CComparisonFigure&) = delete;
    CComparisonFigure& operator=(const CComparisonFigure&) = delete;

    /** Replaces the curves; curves without a valid colour get the palette's. Resets the view. */
    void SetCurves(std::vector<FigureCurve> curves);
    const std::vector<FigureCurve>& Curves() const { return curves; }
    /** The colour the curve is drawn in. */
    QColor ColorOf(int curve) const;

    /**
     * Sets a curve's dQ/dV (see FigureCurve::dqdv): a view zoomed in is kept, the whole view
     * follows the new curve.
     */
    void SetDqdv(std::size_t curve, std::vector<QPointF> points, std::vector<QPointF> peaks);

    /** Curves that lack the axis are listed in the legend but not drawn. Resets the view. */
    void SetAxis(FigureAxis axis);
    FigureAxis Axis() const { return axis; }
    /** Whether every curve has the axis (curve files have time only). */
    bool AxisAvailable(FigureAxis axis) const;

    /**
     * The view in data units: x along the axis, y in volts (mAh/V on the Dqdv axis, V/Ah on the
     * Dvdq one). The whole Dvdq view is as high as the curves' middles, between their knees.
     */
    QRectF View() const { return view; }
    /** Sets the view, kept to a sane size (a zoom can't go below a ten-thousandth of the whole). */
    void SetView(const QRectF& dataRect);
    /** Back to the whole of the drawn curves. */
    void ResetView();
    QRectF WholeView() const;

    /** Where, within a figure of `size` pixels, the plot area lies. */
    QRectF PlotArea(QSize size) const;
    /** Pixel ↔ data for a figure of `size`; pixels may lie outside the plot area. */
    QPointF DataAt(QSize size, QPointF pixel) const;
    QPointF PixelAt(QSize size, QPointF data) const;
    /** The view a dragged rectangle (pixels) selects; the current view when it is too small. */
    QRectF ViewOfDrag(QSize size, const QRectF& pixels) const;
    /** The view after `steps` wheel notches at `pixel` (positive: in), the point under it kept. */
    QRectF ViewZoomedAt(QSize size, QPointF pixel, double steps) const;

    /**
     * Each curve's voltage (V; dQ/dV or dV/dQ on their axes) at x on the current axis,
     * interpolated between its points; nullopt where the curve does not reach x or lacks the
     * axis. One entry per curve.
     */
    std::vector<std::optional<double>> ValuesAt(double x) const;

    /** Draws the whole figure (white ground, plot, legend) into the painter's top-left size. */
    void Paint(QPainter& painter, QSize size) const;

    /** The figure as an image, and saved whole or not at all as PNG or SVG. */
    QByteArray PngBytes(QSize size) const;
    QByteArray SvgBytes(QSize size, const QString& title) const;
    /** By the path's ending: .svg writes SVG, anything else PNG. */
    platform::WriteResult Save(const QString& path, QSize size,
                               platform::Streams streams = platform::Streams::Refuse) const;

private:
    struct Summary;

    std::vector<FigureCurve> curves;
    std::vector<QColor> colors;
    /** One summary per curve and axis; null where the curve lacks the axis. */
    std::vector<std::array<std::unique_ptr<Summary>, 3>> summaries;
    FigureAxis axis = FigureAxis::Time;
    QRectF view;
};

}  // namespace brimvolt
