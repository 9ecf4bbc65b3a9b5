#include "plot/ComparisonFigure.h"

#include "platform/Text.h"
#include "plot/BlockSummary.h"
#include "plot/CurveStore.h"
#include "plot/FigureFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <limits>

namespace brimvolt {

struct CComparisonFigure::Summary : CBlockSummary<float, std::uint16_t> {};

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(ComparisonFigure)
};

// Layout in pixels: fixed, so the mapping does not depend on fonts.
constexpr double kLeftMargin = 64;
constexpr double kRightMargin = 16;
constexpr double kTopMargin = 12;
constexpr double kAxisBelow = 44;  // tick labels and the axis title under the plot
constexpr double kLegendRow = 18;
constexpr double kLegendPad = 8;
constexpr double kMinPlot = 40;
// A zoom goes no deeper than this share of the whole view.
constexpr double kDeepestZoom = 1e-4;
constexpr double kWheelStep = 1.25;

constexpr std::array<QRgb, kFigurePaletteSize> kPalette = {
    qRgb(31, 119, 180),  qRgb(214, 39, 40), qRgb(44, 160, 44),   qRgb(255, 127, 14),
    qRgb(148, 103, 189), qRgb(140, 86, 75), qRgb(227, 119, 194), qRgb(23, 190, 207),
    qRgb(188, 189, 34),  qRgb(64, 64, 64),
};

std::size_t AxisIndex(FigureAxis axis) {
    return static_cast<std::size_t>(axis);
}

QFont FigureFont() {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    return font;
}

/** A step of 1, 2 or 5 times a power of ten near span / wanted. */
double NiceStep(double span, int wanted) {
    const double raw = span / std::max(wanted, 1);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= raw) {
            return m * power;
        }
    }
    return 10 * power;
}

/** Time steps that read well on a clock face, in seconds. */
double TimeStep(double span, int wanted) {
    static constexpr double kSteps[] = {1,     2,     5,     10,    15,     30,     60,
                                        120,   300,   600,   900,   1800,   3600,   7200,
                                        10800, 21600, 43200, 86400, 172800, 432000, 864000};
    const double raw = span / std::max(wanted, 1);
    for (double step : kSteps) {
        if (step >= raw) {
            return step;
        }
    }
    return NiceStep(span, wanted);
}

int DecimalsFor(double step) {
    return std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 6);
}

QString TickText(FigureAxis axis, double value, double step) {
    if (axis == FigureAxis::Time) {
        const auto total = static_cast<long long>(std::llround(value));
        const long long sign = total < 0 ? -1 : 1;
        const long long t = total * sign;
        if (step < 60) {
            return QString::asprintf("%s%lld:%02lld:%02lld", sign < 0 ? "-" : "", t / 3600,
                                     (t % 3600) / 60, t % 60);
        }
        return QString::asprintf("%s%lld:%02lld", sign < 0 ? "-" : "", t / 3600, (t % 3600) / 60);
    }
    return QString::asprintf("%.*f", DecimalsFor(step), value);
}

QString LegendText(const FigureCurve& curve) {
    // Labels are typed by people and read from files: a control character would make the SVG
    // no XML at all.
    QString text = platform::ReplaceUnsafe(curve.label);
    if (curve.startedUtc > 0) {
        text += QStringLiteral("   ") + QDateTime::fromSecsSinceEpoch(curve.startedUtc)
                                            .toLocalTime()
                                            .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    }
    if (curve.capacityMah >= 0) {
        text += QStringLiteral("   ") +
                Text::tr("%1 мА·ч").arg(QString::asprintf("%.0f", curve.capacityMah));
    }
    if (curve.energyWh >= 0) {
        text += QStringLiteral("   ") +
                Text::tr("%1 Вт·ч").arg(QString::asprintf("%.2f", curve.energyWh));
    }
    return text;
}

/** Pixel placement of one view in one plot area. */
struct Mapping {
    QRectF area;
    QRectF view;

    double PixelX(double x) const {
        return area.left() + (x - view.left()) / view.width() * area.width();
    }
    double PixelY(double volts) const {
        return area.bottom() - (volts - view.top()) / view.height() * area.height();
    }
    double DataX(double px) const {
        return view.left() + (px - area.left()) / area.width() * view.width();
    }
    double DataY(double py) const {
        return view.top() + (area.bottom() - py) / area.height() * view.height();
    }
};

/**
 * The polyline of one curve at the mapping's resolution: per column of pixels its first, lowest,
 * highest and last point; runs left or right of the view keep only their ends, at their true
 * place, so the lines into the view keep their slope.
 */
QPolygonF CurvePolyline(const FigureCurve& curve,
                        const CBlockSummary<float, std::uint16_t>& summary,
                        const std::vector<float>& xs, const Mapping& map) {
    QPolygonF line;
    const std::size_t count = std::min(xs.size(), curve.millivolts.size());
    if (count == 0) {
        return line;
    }
    const std::uint16_t* ys = curve.millivolts.data();
    const int columns = std::max(1, static_cast<int>(std::ceil(map.area.width())));
    const double columnWidth = map.view.width() / columns;
    const double left = map.view.left();
    const double right = left + columns * columnWidth;
    const auto y = [&](std::uint16_t mv) { return map.PixelY(mv / 1000.0); };
    line.reserve(columns * 4 + 8);
    std::size_t first = 0;
    while (first < count) {
        const double x = xs[first];
        std::uint16_t low = ys[first];
        std::uint16_t high = low;
        std::size_t end = 0;
        if (!(x >= left)) {
            end = summary.RunEnd(
                xs.data(), ys, first + 1, count, [&](float, float b) { return b < left; }, low,
                high);
        } else if (x >= right) {
            end = summary.RunEnd(
                xs.data(), ys, first + 1, count, [&](float a, float) { return a >= right; }, low,
                high);
        } else {
            const int column =
                std::clamp(static_cast<int>((x - left) / columnWidth), 0, columns - 1);
            const double lo = left + column * columnWidth;
            const double hi = column + 1 == columns ? right : lo + columnWidth;
            end = summary.RunEnd(
                xs.data(), ys, first + 1, count,
                [&](float a, float b) { return a >= lo && b < hi; }, low, high);
            const double px = map.area.left() + column + 0.5;
            line << QPointF(px, y(ys[first])) << QPointF(px, y(low)) << QPointF(px, y(high))
                 << QPointF(px, y(ys[end - 1]));
            first = end;
            continue;
        }
        line << QPointF(map.PixelX(xs[first]), y(ys[first]));
        if (end - 1 != first) {
            line << QPointF(map.PixelX(xs[end - 1]), y(ys[end - 1]));
        }
        first = end;
    }
    return line;
}

bool IsAnalysis(FigureAxis axis) {
    return axis == FigureAxis::Dqdv || axis == FigureAxis::Dvdq;
}

/** The points of an analysis axis: dQ/dV or dV/dQ. */
const std::vector<QPointF>& PointsOf(const FigureCurve& curve, FigureAxis axis) {
    return axis == FigureAxis::Dqdv ? curve.dqdv : curve.dvdq;
}

/** Each curve's dQ/dV or dV/dQ; dQ/dV with a small triangle over each of its peaks. */
void PaintAnalysis(QPainter& painter, const std::vector<FigureCurve>& curves,
                   const std::vector<QColor>& colors, const Mapping& map, FigureAxis axis) {
    for (std::size_t c = 0; c < curves.size(); ++c) {
        // A few thousand points of a voltage or capacity grid: drawn as they are.
        const std::vector<QPointF>& points = PointsOf(curves[c], axis);
        QPolygonF line;
        line.reserve(static_cast<qsizetype>(points.size()));
        for (const QPointF& p : points) {
            line << QPointF(map.PixelX(p.x()), map.PixelY(p.y()));
        }
        QPen pen(colors[c], 1);
        pen.setCosmetic(true);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(line);
        if (axis != FigureAxis::Dqdv) {
            continue;
        }
        painter.setBrush(colors[c]);
        for (const QPointF& peak : curves[c].dqdvPeaks) {
            const QPointF at(map.PixelX(peak.x()), map.PixelY(peak.y()));
            painter.drawPolygon(
                QPolygonF{at + QPointF(0, -3), at + QPointF(-4, -10), at + QPointF(4, -10)});
        }
    }
}

}  // namespace

bool FigureCurve::HasAxis(FigureAxis axis) const {
    if (IsAnalysis(axis)) {
        return !PointsOf(*this, axis).empty();
    }
    const auto& values = x[AxisIndex(axis)];
    return !values.empty() && values.size() == millivolts.size();
}

FigureCurve FigureCurveOfStore(const CurveStore& store, const QString& label) {
    FigureCurve curve;
    curve.label = label;
    const std::size_t room = std::min(store.sampleTimes.size(), store.sampleMillivolts.size());
    const auto count = static_cast<std::size_t>(std::clamp<std::int64_t>(
        std::int64_t{store.lastIndex} + 1, 0, static_cast<std::int64_t>(room)));
    curve.millivolts.assign(store.sampleMillivolts.begin(), store.sampleMillivolts.begin() + count);
    auto& seconds = curve.x[AxisIndex(FigureAxis::Time)];
    seconds.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        seconds.push_back(static_cast<float>(store.sampleTimes[i]));
    }
    return curve;
}

QColor FigurePaletteColor(int index) {
    const int size = kFigurePaletteSize;
    return QColor(kPalette[static_cast<std::size_t>(((index % size) + size) % size)]);
}

QString FigureAxisTitle(FigureAxis axis) {
    switch (axis) {
        case FigureAxis::Time:
            return Text::tr("Время, ч:мм");
        case FigureAxis::Capacity:
        case FigureAxis::Dvdq:
            return Text::tr("Ёмкость, мА·ч");
        case FigureAxis::Energy:
            return Text::tr("Энергия, Вт·ч");
        case FigureAxis::Dqdv:
            return Text::tr("Напряжение, В");
    }
    return {};
}

CComparisonFigure::CComparisonFigure() = default;
CComparisonFigure::~CComparisonFigure() = default;

void CComparisonFigure::SetCurves(std::vector<FigureCurve> newCurves) {
    curves = std::move(newCurves);
    colors.clear();
    summaries.clear();
    summaries.resize(curves.size());
    for (std::size_t c = 0; c < curves.size(); ++c) {
        const FigureCurve& curve = curves[c];
        colors.push_back(curve.color.isValid() ? curve.color
                                               : FigurePaletteColor(static_cast<int>(c)));
        for (std::size_t a = 0; a < 3; ++a) {
            if (curve.HasAxis(static_cast<FigureAxis>(a))) {
                auto summary = std::make_unique<Summary>();
                summary->Extend(curve.x[a].data(), curve.millivolts.data(),
                                curve.millivolts.size());
                summaries[c][a] = std::move(summary);
            }
        }
    }
    ResetView();
}

QColor CComparisonFigure::ColorOf(int curve) const {
    return colors.at(static_cast<std::size_t>(curve));
}

void CComparisonFigure::SetDqdv(std::size_t curve, std::vector<QPointF> points,
                                std::vector<QPointF> peaks) {
    if (curve >= curves.size()) {
        return;
    }
    const bool whole = view == WholeView();
    curves[curve].dqdv = std::move(points);
    curves[curve].dqdvPeaks = std::move(peaks);
    if (whole || axis != FigureAxis::Dqdv) {
        ResetView();
    }
}

void CComparisonFigure::SetAxis(FigureAxis newAxis) {
    axis = newAxis;
    ResetView();
}

bool CComparisonFigure::AxisAvailable(FigureAxis which) const {
    return std::all_of(curves.begin(), curves.end(),
                       [which](const FigureCurve& curve) { return curve.HasAxis(which); });
}

QRectF CComparisonFigure::WholeView() const {
    double lowX = std::numeric_limits<double>::infinity();
    double highX = -lowX;
    double lowV = lowX;
    double highV = -lowX;
    if (axis == FigureAxis::Dqdv) {
        // dQ/dV from zero up: the peaks' heights read against the same foot.
        lowV = 0.0;
        for (const FigureCurve& curve : curves) {
            for (const QPointF& p : curve.dqdv) {
                lowX = std::min(lowX, p.x());
                highX = std::max(highX, p.x());
                lowV = std::min(lowV, p.y());
                highV = std::max(highV, p.y());
            }
        }
        if (!std::isfinite(lowX)) {
            return QRectF(0, 0, 1, 1);
        }
        if (highX - lowX <= 0) {
            highX = lowX + 0.01;
        }
        const double span = std::max(highV - lowV, 1.0);
        return QRectF(lowX, lowV, highX - lowX, span * 1.05);
    }
    if (axis == FigureAxis::Dvdq) {
        // dV/dQ shoots up at the knees: the height comes from each curve's middle, where the
        // plateaus are, and a zoom still reaches the rest.
        for (const FigureCurve& curve : curves) {
            if (curve.dvdq.empty()) {
                continue;
            }
            const double first = curve.dvdq.front().x();
            const double last = curve.dvdq.back().x();
            lowX = std::min(lowX, first);
            highX = std::max(highX, last);
            for (const QPointF& p : curve.dvdq) {
                if (p.x() >= first + (last - first) * 0.05 &&
                    p.x() <= first + (last - first) * 0.95) {
                    lowV = std::min(lowV, p.y());
                    highV = std::max(highV, p.y());
                }
            }
        }
        if (!std::isfinite(lowX) || !std::isfinite(lowV)) {
            return QRectF(0, 0, 1, 1);
        }
        if (highX - lowX <= 0) {
            highX = lowX + 1;
        }
        const double span = std::max(highV - lowV, 0.01);
        return QRectF(lowX, lowV - span * 0.1, highX - lowX, span * 1.2);
    }
    const std::size_t a = AxisIndex(axis);
    for (std::size_t c = 0; c < curves.size(); ++c) {
        const Summary* summary = summaries[c][a].get();
        if (!summary || curves[c].millivolts.empty()) {
            continue;
        }
        const auto range = summary->Range(curves[c].x[a].data(), curves[c].millivolts.data(),
                                          curves[c].millivolts.size());
        const double lowXc = range.lowX;
        const double highXc = range.highX;
        const std::uint16_t lowMv = range.lowY;
        const std::uint16_t highMv = range.highY;
        lowX = std::min<double>(lowX, lowXc);
        highX = std::max<double>(highX, highXc);
        lowV = std::min(lowV, lowMv / 1000.0);
        highV = std::max(highV, highMv / 1000.0);
    }
    if (!std::isfinite(lowX)) {
        return QRectF(0, 0, 1, 1);
    }
    if (highX - lowX <= 0) {
        highX = lowX + 1;
    }
    double span = highV - lowV;
    if (span < 0.05) {
        lowV -= (0.05 - span) / 2;
        span = 0.05;
    }
    return QRectF(lowX, lowV - span * 0.05, highX - lowX, span * 1.1);
}

void CComparisonFigure::SetView(const QRectF& dataRect) {
    const QRectF whole = WholeView();
    QRectF wanted = dataRect.normalized();
    if (!(wanted.width() > 0) || !(wanted.height() > 0) || !std::isfinite(wanted.left()) ||
        !std::isfinite(wanted.top()) || !std::isfinite(wanted.width()) ||
        !std::isfinite(wanted.height())) {
        return;
    }
    const QPointF center = wanted.center();
    wanted.setWidth(std::max(wanted.width(), whole.width() * kDeepestZoom));
    wanted.setHeight(std::max(wanted.height(), whole.height() * kDeepestZoom));
    wanted.moveCenter(center);
    view = wanted;
}

void CComparisonFigure::ResetView() {
    view = WholeView();
}

QRectF CComparisonFigure::PlotArea(QSize size) const {
    const double legend = kLegendPad * 2 + kLegendRow * static_cast<double>(curves.size());
    const double width = std::max(kMinPlot, size.width() - kLeftMargin - kRightMargin);
    const double height = std::max(kMinPlot, size.height() - kTopMargin - kAxisBelow - legend);
    return QRectF(kLeftMargin, kTopMargin, width, height);
}

QPointF CComparisonFigure::DataAt(QSize size, QPointF pixel) const {
    const Mapping map{PlotArea(size), view};
    return {map.DataX(pixel.x()), map.DataY(pixel.y())};
}

QPointF CComparisonFigure::PixelAt(QSize size, QPointF data) const {
    const Mapping map{PlotArea(size), view};
    return {map.PixelX(data.x()), map.PixelY(data.y())};
}

QRectF CComparisonFigure::ViewOfDrag(QSize size, const QRectF& pixels) const {
    const QRectF rect = pixels.normalized();
    if (rect.width() < 3 || rect.height() < 3) {
        return view;
    }
    const QPointF a = DataAt(size, rect.bottomLeft());
    const QPointF b = DataAt(size, rect.topRight());
    return QRectF(a, b).normalized();
}

QRectF CComparisonFigure::ViewZoomedAt(QSize size, QPointF pixel, double steps) const {
    const QPointF anchor = DataAt(size, pixel);
    const double factor = std::pow(kWheelStep, -steps);
    const double left = anchor.x() - (anchor.x() - view.left()) * factor;
    const double bottom = anchor.y() - (anchor.y() - view.top()) * factor;
    return QRectF(left, bottom, view.width() * factor, view.height() * factor);
}

std::vector<std::optional<double>> CComparisonFigure::ValuesAt(double x) const {
    std::vector<std::optional<double>> values(curves.size());
    if (IsAnalysis(axis)) {
        for (std::size_t c = 0; c < curves.size(); ++c) {
            const std::vector<QPointF>& points = PointsOf(curves[c], axis);
            if (points.empty() || x < points.front().x() || x > points.back().x()) {
                continue;
            }
            const auto after =
                std::upper_bound(points.begin(), points.end(), x,
                                 [](double at, const QPointF& p) { return at < p.x(); });
            const auto i = static_cast<std::size_t>(after - points.begin());
            if (i == 0 || i == points.size() || points[i].x() <= points[i - 1].x()) {
                values[c] = points[i == 0 ? 0 : i - 1].y();
                continue;
            }
            const double share = (x - points[i - 1].x()) / (points[i].x() - points[i - 1].x());
            values[c] = points[i - 1].y() + (points[i].y() - points[i - 1].y()) * share;
        }
        return values;
    }
    const std::size_t a = AxisIndex(axis);
    for (std::size_t c = 0; c < curves.size(); ++c) {
        const FigureCurve& curve = curves[c];
        if (!curve.HasAxis(axis) || curve.millivolts.empty()) {
            continue;
        }
        const auto& xs = curve.x[a];
        if (x < xs.front() || x > xs.back()) {
            continue;
        }
        // The last point at or before x, and the one after it.
        const auto after = std::upper_bound(xs.begin(), xs.end(), static_cast<float>(x));
        const auto i = static_cast<std::size_t>(after - xs.begin());
        if (i == 0) {
            values[c] = curve.millivolts[0] / 1000.0;
            continue;
        }
        const double v0 = curve.millivolts[i - 1] / 1000.0;
        if (i == xs.size() || xs[i] <= xs[i - 1]) {
            values[c] = v0;
            continue;
        }
        const double v1 = curve.millivolts[i] / 1000.0;
        const double share = (x - xs[i - 1]) / (xs[i] - xs[i - 1]);
        values[c] = v0 + (v1 - v0) * std::clamp(share, 0.0, 1.0);
    }
    return values;
}

void CComparisonFigure::Paint(QPainter& painter, QSize size) const {
    painter.save();
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    painter.setFont(FigureFont());
    const QFontMetricsF metrics(painter.font(), painter.device());
    const Mapping map{PlotArea(size), view};
    const QRectF& area = map.area;

    // Grid and tick labels.
    const int wantedX = std::max(2, static_cast<int>(area.width() / 90));
    const int wantedY = std::max(2, static_cast<int>(area.height() / 40));
    const double stepX = axis == FigureAxis::Time ? TimeStep(view.width(), wantedX)
                                                  : NiceStep(view.width(), wantedX);
    const double stepY = NiceStep(view.height(), wantedY);
    const QPen gridPen(QColor(220, 220, 220), 0);
    const QPen textPen(Qt::black);
    for (double x = std::ceil(view.left() / stepX) * stepX; x <= view.right() + stepX * 1e-9;
         x += stepX) {
        const double px = map.PixelX(x);
        painter.setPen(gridPen);
        painter.drawLine(QPointF(px, area.top()), QPointF(px, area.bottom()));
        painter.setPen(textPen);
        const QString text = TickText(axis, x, stepX);
        painter.drawText(
            QPointF(px - metrics.horizontalAdvance(text) / 2, area.bottom() + 4 + metrics.ascent()),
            text);
    }
    for (double v = std::ceil(view.top() / stepY) * stepY; v <= view.bottom() + stepY * 1e-9;
         v += stepY) {
        const double py = map.PixelY(v);
        painter.setPen(gridPen);
        painter.drawLine(QPointF(area.left(), py), QPointF(area.right(), py));
        painter.setPen(textPen);
        const QString text = QString::asprintf("%.*f", DecimalsFor(stepY), v);
        painter.drawText(QPointF(area.left() - 6 - metrics.horizontalAdvance(text),
                                 py + metrics.ascent() / 2 - 1),
                         text);
    }
    painter.setPen(textPen);
    const QString xTitle = FigureAxisTitle(axis);
    painter.drawText(QPointF(area.center().x() - metrics.horizontalAdvance(xTitle) / 2,
                             area.bottom() + 22 + metrics.ascent()),
                     xTitle);
    painter.save();
    painter.translate(14, area.center().y());
    painter.rotate(-90);
    const QString yTitle = axis == FigureAxis::Dqdv   ? Text::tr("dQ/dV, мА·ч/В")
                           : axis == FigureAxis::Dvdq ? Text::tr("dV/dQ, В/А·ч")
                                                      : Text::tr("Напряжение, В");
    painter.drawText(QPointF(-metrics.horizontalAdvance(yTitle) / 2, 0), yTitle);
    painter.restore();

    // The curves, clipped to the plot.
    painter.save();
    painter.setClipRect(area);
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (IsAnalysis(axis)) {
        PaintAnalysis(painter, curves, colors, map, axis);
    }
    const std::size_t a = AxisIndex(axis);
    for (std::size_t c = 0; c < curves.size() && !IsAnalysis(axis); ++c) {
        const Summary* summary = summaries[c][a].get();
        if (!summary) {
            continue;
        }
        // A cosmetic one-pixel pen takes Qt's fast line path, antialiased; a wider pen goes
        // through the general stroker at many times the cost.
        QPen pen(colors[c], 1);
        pen.setCosmetic(true);
        painter.setPen(pen);
        painter.drawPolyline(CurvePolyline(curves[c], *summary, curves[c].x[a], map));
    }
    painter.restore();
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area);

    // Legend under the axis title.
    double rowTop = area.bottom() + kAxisBelow + kLegendPad;
    for (std::size_t c = 0; c < curves.size(); ++c) {
        const double middle = rowTop + kLegendRow / 2;
        painter.setPen(QPen(colors[c], 3));
        painter.drawLine(QPointF(area.left(), middle), QPointF(area.left() + 24, middle));
        painter.setPen(textPen);
        QString text = LegendText(curves[c]);
        if (!curves[c].HasAxis(axis)) {
            text += QStringLiteral("   ") + Text::tr("(нет этой оси)");
        }
        painter.drawText(QPointF(area.left() + 32, middle + metrics.ascent() / 2 - 1), text);
        rowTop += kLegendRow;
    }
    painter.restore();
}

QByteArray CComparisonFigure::PngBytes(QSize size) const {
    return FigurePngBytes(size, [this](QPainter& painter, QSize area) { Paint(painter, area); });
}

QByteArray CComparisonFigure::SvgBytes(QSize size, const QString& title) const {
    return FigureSvgBytes(size, title,
                          [this](QPainter& painter, QSize area) { Paint(painter, area); });
}

platform::WriteResult CComparisonFigure::Save(const QString& path, QSize size,
                                              platform::Streams streams) const {
    return SaveFigure(
        path, size, QString(),
        [this](QPainter& painter, QSize area) { Paint(painter, area); }, streams);
}

}  // namespace brimvolt
