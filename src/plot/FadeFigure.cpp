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
constexpr double kMinPeakPlot = 36;  // room for two ticks of the peaks' panel
constexpr double kPanelGap = 8;
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

/** How an axis's values read: its least span (absolute, and as a share of the values) and step. */
struct ScaleRule {
    double leastSpan = 1.0;
    double leastShare = 0.1;
    double leastStep = 1.0;  // capacities and resistances are whole numbers: no tick between
};
// A peak moves by millivolts a cycle from some 3.5 V: a tenth of its size would flatten it.
constexpr ScaleRule kVoltsRule{0.05, 0.0, 0.001};

/**
 * A value axis around the values from `lowest` to `highest`, with a little room on each side and
 * not below 0 when no value is. A flat series gets a span of a tenth of its size, so noise of a
 * few units does not fill the whole height.
 */
Scale ValueScale(double lowest, double highest, int wanted, ScaleRule rule = {}) {
    const bool positive = lowest >= 0;
    const double span = highest - lowest;
    const double least =
        std::max(rule.leastSpan, std::max(std::abs(lowest), std::abs(highest)) * rule.leastShare);
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
    const double step = std::max(rule.leastStep, NiceStep(highest - lowest, wanted));
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
    bool peakPanel = false;  // drawn in the small panel of dQ/dV peaks under the capacities
    ScaleRule rule = {};
};

std::vector<Series> SeriesOf(const std::vector<CycleResult>& cycles) {
    std::vector<Series> series = {
        {Text::tr("Разряд"), FigurePaletteColor(0), Qt::SolidLine, false, {}},
        {Text::tr("Заряд"), FigurePaletteColor(2), Qt::SolidLine, false, {}},
        {Text::tr("Rin"), FigurePaletteColor(1), Qt::DashLine, true, {}},
        {Text::tr("Пик dQ/dV"), FigurePaletteColor(3), Qt::SolidLine, false, {}, true, kVoltsRule},
        {Text::tr("Высота пика"), FigurePaletteColor(4), Qt::DashLine, true, {}, true},
    };
    for (const CycleResult& result : cycles) {
        series[0].values.push_back(result.dischargeMah);
        series[1].values.push_back(result.chargeMah);
        series[2].values.push_back(result.rinMohm);
        series[3].values.push_back(result.peakVolts);
        series[4].values.push_back(result.peakMahPerVolt);
    }
    return series;
}

bool HasValues(const Series& series) {
    return std::any_of(series.values.begin(), series.values.end(),
                       [](const std::optional<double>& value) { return value.has_value(); });
}

/**
 * The scale of one side of a panel for the series drawn against it; `fallback` high when none
 * has data.
 */
Scale SideScale(const std::vector<Series>& series, bool peakPanel, bool rightAxis, double fallback,
                int wanted) {
    std::optional<double> lowest;
    std::optional<double> highest;
    ScaleRule rule;
    for (const Series& s : series) {
        if (s.peakPanel != peakPanel || s.rightAxis != rightAxis) {
            continue;
        }
        rule = s.rule;
        for (const std::optional<double>& value : s.values) {
            // Peaks are computed values: a damaged one must not stretch the axis to nothing.
            if (value && std::isfinite(*value)) {
                lowest = std::min(lowest.value_or(*value), *value);
                highest = std::max(highest.value_or(*value), *value);
            }
        }
    }
    return lowest ? ValueScale(*lowest, *highest, wanted, rule)
                  : ValueScale(0, fallback, wanted, rule);
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
    const auto known = [&](std::size_t i) {
        return i < cycles.size() && series.values[i] && std::isfinite(*series.values[i]);
    };
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

/** One panel: its area, the cycle scale under it, a value scale on each side. */
struct Panel {
    bool peaks = false;  // the panel of dQ/dV peaks
    Mapping left;
    Mapping right;
    QString leftTitle;
    QString rightTitle;
};

/** Grid, ticks, axis titles, series and frame of one panel; the cycle numbers are drawn apart. */
void DrawPanel(QPainter& painter, const QFontMetricsF& metrics, const Panel& panel,
               const std::vector<Series>& series, const std::vector<CycleResult>& cycles,
               double figureWidth, bool markers) {
    const QRectF& area = panel.left.area;
    const QPen gridPen(QColor(220, 220, 220), 0);
    const QPen textPen(Qt::black);
    const double textMiddle = metrics.ascent() / 2 - 1;
    painter.setPen(gridPen);
    for (double x : panel.left.x.Ticks()) {
        const double px = panel.left.PixelX(x);
        painter.drawLine(QPointF(px, area.top()), QPointF(px, area.bottom()));
    }
    for (double y : panel.left.y.Ticks()) {
        const double py = panel.left.PixelY(y);
        painter.setPen(gridPen);
        painter.drawLine(QPointF(area.left(), py), QPointF(area.right(), py));
        painter.setPen(textPen);
        const QString text = panel.left.y.TickText(y);
        painter.drawText(
            QPointF(area.left() - kTickGap - metrics.horizontalAdvance(text), py + textMiddle),
            text);
    }
    // The right axis has ticks of its own but no grid: two grids would cross.
    painter.setPen(textPen);
    for (double y : panel.right.y.Ticks()) {
        const double py = panel.right.PixelY(y);
        painter.drawLine(QPointF(area.right(), py), QPointF(area.right() + 3, py));
        painter.drawText(QPointF(area.right() + kTickGap, py + textMiddle),
                         panel.right.y.TickText(y));
    }
    // A low panel cuts its titles short rather than run them into the next one's.
    const QString leftTitle = metrics.elidedText(panel.leftTitle, Qt::ElideRight, area.height());
    const QString rightTitle = metrics.elidedText(panel.rightTitle, Qt::ElideRight, area.height());
    painter.save();
    painter.translate(kMargin + metrics.ascent(), area.center().y());
    painter.rotate(-90);
    painter.drawText(QPointF(-metrics.horizontalAdvance(leftTitle) / 2, 0), leftTitle);
    painter.restore();
    painter.save();
    painter.translate(figureWidth - kMargin - metrics.ascent(), area.center().y());
    painter.rotate(90);
    painter.drawText(QPointF(-metrics.horizontalAdvance(rightTitle) / 2, 0), rightTitle);
    painter.restore();

    painter.save();
    painter.setClipRect(area);
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (const Series& s : series) {
        if (s.peakPanel == panel.peaks) {
            DrawSeries(painter, s, cycles, s.rightAxis ? panel.right : panel.left, markers);
        }
    }
    painter.restore();
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area);
}

constexpr double kLegendSample = 28;
constexpr double kLegendEntryGap = 24;

double LegendEntryWidth(const QFontMetricsF& metrics, const Series& series) {
    return kLegendSample + 6 + metrics.horizontalAdvance(series.name) + kLegendEntryGap;
}

/** The legend's rows, each the series it holds: as many to a row as the figure's width takes. */
std::vector<std::vector<const Series*>> LegendRows(const std::vector<const Series*>& entries,
                                                   const QFontMetricsF& metrics, double width) {
    std::vector<std::vector<const Series*>> rows(1);
    double used = 0;
    for (const Series* s : entries) {
        const double entry = LegendEntryWidth(metrics, *s);
        if (!rows.back().empty() && used + entry - kLegendEntryGap > width) {
            rows.emplace_back();
            used = 0;
        }
        rows.back().push_back(s);
        used += entry;
    }
    return rows;
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
    // The panel of peaks only where a cycle has one: a program without capacity discharges keeps
    // the whole height for its capacities.
    const bool peaks = std::any_of(series.begin(), series.end(),
                                   [](const Series& s) { return s.peakPanel && HasValues(s); });
    std::vector<const Series*> listed;
    for (const Series& s : series) {
        if (peaks || !s.peakPanel) {
            listed.push_back(&s);
        }
    }
    const auto legend = LegendRows(listed, metrics, size.width() - 2 * kMargin);
    const double legendHeight = kLegendRow * static_cast<double>(legend.size());

    // Heights first: the value axes' ticks depend on them, and the widths on the tick labels.
    const double top = kMargin + (title.isEmpty() ? 0 : kTitleRow);
    const double height =
        std::max(kMinPlot, size.height() - top - kAxisBelow - legendHeight - kMargin);
    const double peakHeight = peaks ? std::max(kMinPeakPlot, std::round(height * 0.3)) : 0;
    const double mainHeight = peaks ? std::max(kMinPlot, height - peakHeight - kPanelGap) : height;
    const int wantedY = std::max(2, static_cast<int>(mainHeight / 40));
    const int wantedPeakY = std::max(2, static_cast<int>(peakHeight / 30));
    const Scale left = SideScale(series, false, false, 1000, wantedY);
    const Scale right = SideScale(series, false, true, 100, wantedY);
    const Scale peakLeft = SideScale(series, true, false, 4, wantedPeakY);
    const Scale peakRight = SideScale(series, true, true, 1000, wantedPeakY);
    const double leftText =
        std::max(WidestText(metrics, left), peaks ? WidestText(metrics, peakLeft) : 0.0);
    const double rightText =
        std::max(WidestText(metrics, right), peaks ? WidestText(metrics, peakRight) : 0.0);
    const double leftRoom = kMargin + kAxisTitleRoom + leftText + kTickGap;
    const double rightRoom = kMargin + kAxisTitleRoom + rightText + kTickGap;
    const double width = std::max(kMinPlot, size.width() - leftRoom - rightRoom);
    const int wantedX = std::max(2, static_cast<int>(width / 60));
    const Scale cycleScale = CycleScale(cycles, wantedX);
    const QRectF mainArea(leftRoom, top, width, mainHeight);
    const QRectF peakArea(leftRoom, mainArea.bottom() + kPanelGap, width, peakHeight);
    std::vector<Panel> panels = {{false,
                                  {mainArea, cycleScale, left},
                                  {mainArea, cycleScale, right},
                                  Text::tr("Ёмкость, мАч"),
                                  Text::tr("Rin, мОм")}};
    if (peaks) {
        panels.push_back({true,
                          {peakArea, cycleScale, peakLeft},
                          {peakArea, cycleScale, peakRight},
                          Text::tr("Пик, В"),
                          Text::tr("мАч/В")});
    }
    const QRectF bottom = panels.back().left.area;

    const bool markers = static_cast<double>(cycles.size()) * kLeastMarkerSpacing <= width;
    for (const Panel& panel : panels) {
        DrawPanel(painter, metrics, panel, series, cycles, size.width(), markers);
    }

    const QPen textPen(Qt::black);
    painter.setPen(textPen);
    for (double x : cycleScale.Ticks()) {
        const double px = panels.back().left.PixelX(x);
        const QString text = QString::asprintf("%.0f", x);
        painter.drawText(QPointF(px - metrics.horizontalAdvance(text) / 2,
                                 bottom.bottom() + 4 + metrics.ascent()),
                         text);
    }
    const QString xTitle = Text::tr("Цикл");
    painter.drawText(QPointF(bottom.center().x() - metrics.horizontalAdvance(xTitle) / 2,
                             bottom.bottom() + 20 + metrics.ascent()),
                     xTitle);

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

    if (cycles.empty()) {
        const QString none = Text::tr("Нет завершённых циклов");
        painter.setPen(QColor(96, 96, 96));
        painter.drawText(mainArea, Qt::AlignCenter, none);
    }

    // The legend under the axis title, each row centred on the plot.
    const double textMiddle = metrics.ascent() / 2 - 1;
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (std::size_t row = 0; row < legend.size(); ++row) {
        double rowWidth = 0;
        for (const Series* s : legend[row]) {
            rowWidth += LegendEntryWidth(metrics, *s);
        }
        double x = std::max(kMargin, bottom.center().x() - (rowWidth - kLegendEntryGap) / 2);
        const double middle =
            bottom.bottom() + kAxisBelow + kLegendRow * (static_cast<double>(row) + 0.5);
        for (const Series* s : legend[row]) {
            painter.setPen(QPen(s->color, 1.5, s->style));
            painter.drawLine(QPointF(x, middle), QPointF(x + kLegendSample, middle));
            painter.setPen(QPen(s->color, 1.5));
            painter.setBrush(s->color);
            DrawMarker(painter, *s, QPointF(x + kLegendSample / 2, middle));
            painter.setPen(textPen);
            painter.drawText(QPointF(x + kLegendSample + 6, middle + textMiddle), s->name);
            x += LegendEntryWidth(metrics, *s);
        }
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
