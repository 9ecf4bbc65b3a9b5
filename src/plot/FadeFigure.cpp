#include "plot/FadeFigure.h"

#include "platform/Text.h"
#include "plot/ComparisonFigure.h"
#include "plot/FigureFile.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <optional>

namespace brimvolt {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(FadeFigure)
};

// Layout in pixels.
constexpr double kMargin = 10;
constexpr double kTitleRow = 26;
constexpr double kAxisBelow = 40;  // tick labels and the axis title under the plot
constexpr double kLegendRow = 22;
constexpr double kAxisTitleRoom = 20;  // a rotated axis title beside the tick labels
constexpr double kTickGap = 6;
constexpr double kMinPlot = 40;
constexpr double kMarkerRadius = 3;
// Closer than this on average the markers would run together into a thick line: the lines
// alone are drawn.
constexpr double kLeastMarkerSpacing = 8;
// More ticks than this can't be wanted on any axis; the bound keeps a loop finite whatever the
// numbers.
constexpr int kMostTicks = 100;

QFont FigureFont(bool bold = false) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(bold ? 14 : 12);
    font.setBold(bold);
    return font;
}

/** A step of 1, 2 or 5 times a power of ten near span / wanted; span > 0. */
double NiceStep(double span, int wanted) {
    const double raw = span / std::max(wanted, 1);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0}) {
        if (m * power >= raw) {
            return m * power;
        }
    }
    return 10 * power;
}

int DecimalsFor(double step) {
    return std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 6);
}

/** One axis: the values from low to high, a tick every step. */
struct Scale {
    double low = 0;
    double high = 1;
    double step = 1;

    std::vector<double> Ticks() const {
        std::vector<double> ticks;
        const double first = std::ceil(low / step - 1e-9) * step;
        for (int k = 0; k < kMostTicks; ++k) {
            const double tick = first + k * step;
            if (tick > high + step * 1e-9) {
                break;
            }
            ticks.push_back(tick);
        }
        return ticks;
    }
    QString TickText(double value) const {
        return QString::asprintf("%.*f", DecimalsFor(step), value);
    }
};

/**
 * A value axis around the values from `lowest` to `highest`, with a little room on each side and
 * not below 0 when no value is. A flat series gets a span of a tenth of its size, so noise of a
 * few units does not fill the whole height.
 */
Scale ValueScale(double lowest, double highest, int wanted) {
    const bool positive = lowest >= 0;
    const double span = highest - lowest;
    const double least = std::max(1.0, std::max(std::abs(lowest), std::abs(highest)) * 0.1);
    if (span < least) {
        const double middle = lowest + span / 2;
        lowest = middle - least / 2;
        highest = middle + least / 2;
    } else {
        lowest -= span * 0.05;
        highest += span * 0.05;
    }
    if (positive) {
        lowest = std::max(lowest, 0.0);
    }
    // Capacities and resistances are whole numbers: no tick between two of them.
    const double step = std::max(1.0, NiceStep(highest - lowest, wanted));
    return {std::floor(lowest / step) * step, std::ceil(highest / step) * step, step};
}

/** The axis of cycle numbers: whole numbers only, each cycle half a cycle from the ends. */
Scale CycleScale(const std::vector<CycleResult>& cycles, int wanted) {
    const double first = cycles.empty() ? 1.0 : cycles.front().cycle;
    const double last = cycles.empty() ? 1.0 : cycles.back().cycle;
    const double low = first - 0.5;
    const double high = last + 0.5;
    return {low, high, std::max(1.0, NiceStep(high - low, wanted))};
}

/** One line of the plot, a value per cycle. */
struct Series {
    QString name;
    QColor color;
    Qt::PenStyle style = Qt::SolidLine;
    bool rightAxis = false;
    std::vector<std::optional<double>> values;
};

std::vector<Series> SeriesOf(const std::vector<CycleResult>& cycles) {
    std::vector<Series> series = {
        {Text::tr("Разряд"), FigurePaletteColor(0), Qt::SolidLine, false, {}},
        {Text::tr("Заряд"), FigurePaletteColor(2), Qt::SolidLine, false, {}},
        {Text::tr("Rin"), FigurePaletteColor(1), Qt::DashLine, true, {}},
    };
    for (const CycleResult& result : cycles) {
        series[0].values.push_back(result.dischargeMah);
        series[1].values.push_back(result.chargeMah);
        series[2].values.push_back(result.rinMohm);
    }
    return series;
}

/** The scale of one side for the series drawn against it; `fallback` high when none has data. */
Scale SideScale(const std::vector<Series>& series, bool rightAxis, double fallback, int wanted) {
    std::optional<double> lowest;
    std::optional<double> highest;
    for (const Series& s : series) {
        if (s.rightAxis != rightAxis) {
            continue;
        }
        for (const std::optional<double>& value : s.values) {
            if (value) {
                lowest = std::min(lowest.value_or(*value), *value);
                highest = std::max(highest.value_or(*value), *value);
            }
        }
    }
    return lowest ? ValueScale(*lowest, *highest, wanted) : ValueScale(0, fallback, wanted);
}

/** Data ↔ pixels for one plot area, one horizontal and one vertical scale. */
struct Mapping {
    QRectF area;
    Scale x;
    Scale y;

    double PixelX(double value) const {
        return area.left() + (value - x.low) / (x.high - x.low) * area.width();
    }
    double PixelY(double value) const {
        return area.bottom() - (value - y.low) / (y.high - y.low) * area.height();
    }
};

double WidestText(const QFontMetricsF& metrics, const Scale& scale) {
    double widest = 0;
    for (double tick : scale.Ticks()) {
        widest = std::max(widest, metrics.horizontalAdvance(scale.TickText(tick)));
    }
    return widest;
}

void DrawMarker(QPainter& painter, const Series& series, QPointF at) {
    if (series.rightAxis) {
        painter.drawRect(QRectF(at.x() - kMarkerRadius, at.y() - kMarkerRadius, 2 * kMarkerRadius,
                                2 * kMarkerRadius));
    } else {
        painter.drawEllipse(at, kMarkerRadius, kMarkerRadius);
    }
}

/** The series' points, the runs of known values joined; a missing value breaks the line. */
void DrawSeries(QPainter& painter, const Series& series, const std::vector<CycleResult>& cycles,
                const Mapping& map, bool markers) {
    const auto known = [&](std::size_t i) { return i < cycles.size() && series.values[i]; };
    const auto at = [&](std::size_t i) {
        return QPointF(map.PixelX(cycles[i].cycle), map.PixelY(*series.values[i]));
    };
    QPen pen(series.color, 1.5, series.style);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    QPolygonF run;
    for (std::size_t i = 0; i <= cycles.size(); ++i) {
        if (known(i)) {
            run << at(i);
            continue;
        }
        if (run.size() > 1) {
            painter.drawPolyline(run);
        }
        run.clear();
    }
    pen.setStyle(Qt::SolidLine);
    painter.setPen(pen);
    painter.setBrush(series.color);
    for (std::size_t i = 0; i < cycles.size(); ++i) {
        // A point between two gaps has no line to show it: it gets its marker however dense.
        const bool alone = (i == 0 || !known(i - 1)) && !known(i + 1);
        if (known(i) && (markers || alone)) {
            DrawMarker(painter, series, at(i));
        }
    }
}

}  // namespace

void CFadeFigure::SetCycles(std::vector<CycleResult> newCycles) {
    cycles = std::move(newCycles);
    std::stable_sort(cycles.begin(), cycles.end(),
                     [](const CycleResult& a, const CycleResult& b) { return a.cycle < b.cycle; });
}

void CFadeFigure::SetTitle(QString newTitle) {
    title = std::move(newTitle);
}

void CFadeFigure::Paint(QPainter& painter, QSize size) const {
    painter.save();
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    painter.setFont(FigureFont());
    const QFontMetricsF metrics(painter.font(), painter.device());
    const std::vector<Series> series = SeriesOf(cycles);

    // Heights first: the value axes' ticks depend on them, and the widths on the tick labels.
    const double top = kMargin + (title.isEmpty() ? 0 : kTitleRow);
    const double height =
        std::max(kMinPlot, size.height() - top - kAxisBelow - kLegendRow - kMargin);
    const int wantedY = std::max(2, static_cast<int>(height / 40));
    const Scale left = SideScale(series, false, 1000, wantedY);
    const Scale right = SideScale(series, true, 100, wantedY);
    const double leftRoom = kMargin + kAxisTitleRoom + WidestText(metrics, left) + kTickGap;
    const double rightRoom = kMargin + kAxisTitleRoom + WidestText(metrics, right) + kTickGap;
    const double width = std::max(kMinPlot, size.width() - leftRoom - rightRoom);
    const QRectF area(leftRoom, top, width, height);
    const int wantedX = std::max(2, static_cast<int>(width / 60));
    const Mapping leftMap{area, CycleScale(cycles, wantedX), left};
    const Mapping rightMap{area, leftMap.x, right};

    const QPen gridPen(QColor(220, 220, 220), 0);
    const QPen textPen(Qt::black);
    const double textMiddle = metrics.ascent() / 2 - 1;
    for (double x : leftMap.x.Ticks()) {
        const double px = leftMap.PixelX(x);
        painter.setPen(gridPen);
        painter.drawLine(QPointF(px, area.top()), QPointF(px, area.bottom()));
        painter.setPen(textPen);
        const QString text = QString::asprintf("%.0f", x);
        painter.drawText(
            QPointF(px - metrics.horizontalAdvance(text) / 2, area.bottom() + 4 + metrics.ascent()),
            text);
    }
    for (double y : left.Ticks()) {
        const double py = leftMap.PixelY(y);
        painter.setPen(gridPen);
        painter.drawLine(QPointF(area.left(), py), QPointF(area.right(), py));
        painter.setPen(textPen);
        const QString text = left.TickText(y);
        painter.drawText(
            QPointF(area.left() - kTickGap - metrics.horizontalAdvance(text), py + textMiddle),
            text);
    }
    // The right axis has ticks of its own but no grid: two grids would cross.
    for (double y : right.Ticks()) {
        const double py = rightMap.PixelY(y);
        painter.setPen(textPen);
        painter.drawLine(QPointF(area.right(), py), QPointF(area.right() + 3, py));
        painter.drawText(QPointF(area.right() + kTickGap, py + textMiddle), right.TickText(y));
    }

    painter.setPen(textPen);
    const QString xTitle = Text::tr("Цикл");
    painter.drawText(QPointF(area.center().x() - metrics.horizontalAdvance(xTitle) / 2,
                             area.bottom() + 20 + metrics.ascent()),
                     xTitle);
    const QString leftTitle = Text::tr("Ёмкость, мАч");
    painter.save();
    painter.translate(kMargin + metrics.ascent(), area.center().y());
    painter.rotate(-90);
    painter.drawText(QPointF(-metrics.horizontalAdvance(leftTitle) / 2, 0), leftTitle);
    painter.restore();
    const QString rightTitle = Text::tr("Rin, мОм");
    painter.save();
    painter.translate(size.width() - kMargin - metrics.ascent(), area.center().y());
    painter.rotate(90);
    painter.drawText(QPointF(-metrics.horizontalAdvance(rightTitle) / 2, 0), rightTitle);
    painter.restore();

    if (!title.isEmpty()) {
        painter.save();
        painter.setFont(FigureFont(true));
        const QFontMetricsF titleMetrics(painter.font(), painter.device());
        // Titles carry labels typed by people: a control character would make the SVG no XML.
        const QString text = titleMetrics.elidedText(platform::ReplaceUnsafe(title), Qt::ElideRight,
                                                     size.width() - 2 * kMargin);
        painter.drawText(QPointF((size.width() - titleMetrics.horizontalAdvance(text)) / 2,
                                 kMargin + titleMetrics.ascent()),
                         text);
        painter.restore();
    }

    painter.save();
    painter.setClipRect(area);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const bool markers = static_cast<double>(cycles.size()) * kLeastMarkerSpacing <= area.width();
    for (const Series& s : series) {
        DrawSeries(painter, s, cycles, s.rightAxis ? rightMap : leftMap, markers);
    }
    painter.restore();
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area);

    if (cycles.empty()) {
        const QString none = Text::tr("Нет завершённых циклов");
        painter.setPen(QColor(96, 96, 96));
        painter.drawText(area, Qt::AlignCenter, none);
    }

    // The legend in one row under the axis title, centred on the plot.
    constexpr double kSample = 28;
    constexpr double kEntryGap = 24;
    double legendWidth = 0;
    for (const Series& s : series) {
        legendWidth += kSample + 6 + metrics.horizontalAdvance(s.name) + kEntryGap;
    }
    double x = area.center().x() - (legendWidth - kEntryGap) / 2;
    const double middle = area.bottom() + kAxisBelow + kLegendRow / 2;
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (const Series& s : series) {
        painter.setPen(QPen(s.color, 1.5, s.style));
        painter.drawLine(QPointF(x, middle), QPointF(x + kSample, middle));
        painter.setPen(QPen(s.color, 1.5));
        painter.setBrush(s.color);
        DrawMarker(painter, s, QPointF(x + kSample / 2, middle));
        painter.setPen(textPen);
        painter.drawText(QPointF(x + kSample + 6, middle + textMiddle), s.name);
        x += kSample + 6 + metrics.horizontalAdvance(s.name) + kEntryGap;
    }
    painter.restore();
}

platform::WriteResult CFadeFigure::Save(const QString& path, QSize size,
                                        platform::Streams streams) const {
    return SaveFigure(
        path, size, title,
        [this](QPainter& painter, QSize area) { Paint(painter, area); }, streams);
}

}  // namespace brimvolt
