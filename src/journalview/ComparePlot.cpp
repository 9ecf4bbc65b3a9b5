#include "journalview/ComparePlot.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>

#include "journal/JournalExport.h"

using namespace brimvolt;

namespace {

QString AxisValueText(FigureAxis axis, double x) {
    switch (axis) {
        case FigureAxis::Time:
            return DurationText(static_cast<std::int32_t>(std::lround(std::max(x, 0.0))));
        case FigureAxis::Capacity:
        case FigureAxis::Dvdq:
            return CComparePlot::tr("%1 мА·ч").arg(QString::number(x, 'f', 0));
        case FigureAxis::Energy:
            return CComparePlot::tr("%1 Вт·ч").arg(QString::number(x, 'f', 3));
        case FigureAxis::Dqdv:
            return CComparePlot::tr("%1 В").arg(QString::number(x, 'f', 3));
    }
    return QString();
}

}  // namespace

CComparePlot::CComparePlot(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CComparePlot::~CComparePlot() = default;

void CComparePlot::SetCurves(std::vector<FigureCurve> curves) {
    figure.SetCurves(std::move(curves));
    update();
}

void CComparePlot::SetAxis(FigureAxis axis) {
    figure.SetAxis(axis);
    update();
}

void CComparePlot::WholeView() {
    figure.ResetView();
    update();
}

QStringList CComparePlot::ReadoutAt(QPoint pixel) const {
    const double x = figure.DataAt(size(), pixel).x();
    QStringList lines{AxisValueText(figure.Axis(), x)};
    const std::vector<std::optional<double>> values = figure.ValuesAt(x);
    for (std::size_t i = 0; i < values.size(); ++i) {
        QString value = QStringLiteral("—");
        if (values[i]) {
            switch (figure.Axis()) {
                case FigureAxis::Dqdv:
                    value = tr("%1 мА·ч/В").arg(QString::number(*values[i], 'f', 0));
                    break;
                case FigureAxis::Dvdq:
                    value = tr("%1 В/А·ч").arg(QString::number(*values[i], 'f', 3));
                    break;
                default:
                    value = tr("%1 В").arg(QString::number(*values[i], 'f', 3));
            }
        }
        lines.append(figure.Curves()[i].label + QStringLiteral(": ") + value);
    }
    return lines;
}

void CComparePlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    figure.Paint(painter, size());
    if (dragFrom) {
        painter.setPen(QPen(Qt::darkGray, 1, Qt::DashLine));
        painter.setBrush(QColor(0, 0, 255, 24));
        painter.drawRect(QRect(*dragFrom, dragTo).normalized());
    } else if (mouseAt && figure.PlotArea(size()).contains(*mouseAt)) {
        DrawReadout(painter, *mouseAt);
    }
}

void CComparePlot::DrawReadout(QPainter& painter, QPoint at) const {
    const QRectF area = figure.PlotArea(size());
    painter.setPen(QPen(QColor(0, 0, 0, 96), 1, Qt::DotLine));
    painter.drawLine(QPointF(at.x() + 0.5, area.top()), QPointF(at.x() + 0.5, area.bottom()));

    const QStringList lines = ReadoutAt(at);
    const QFontMetrics metrics = painter.fontMetrics();
    int width = 0;
    for (const QString& line : lines) {
        width = std::max(width, metrics.horizontalAdvance(line));
    }
    const int lineHeight = metrics.height();
    QRect box(at + QPoint(12, 12), QSize(width + 12, lineHeight * lines.size() + 8));
    // Kept inside the plot: to the left of the mouse near the right edge, above it near the foot.
    if (box.right() > area.right()) {
        box.moveRight(at.x() - 12);
    }
    if (box.bottom() > area.bottom()) {
        box.moveBottom(at.y() - 12);
    }
    painter.setPen(QColor(128, 128, 128));
    painter.setBrush(QColor(255, 255, 255, 230));
    painter.drawRect(box);
    for (int i = 0; i < lines.size(); ++i) {
        painter.setPen(i == 0 ? QColor(Qt::black) : figure.ColorOf(i - 1));
        painter.drawText(box.left() + 6, box.top() + 4 + metrics.ascent() + i * lineHeight,
                         lines[i]);
    }
}

void CComparePlot::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0.0) {
        figure.SetView(figure.ViewZoomedAt(size(), event->position(), steps));
        update();
    }
    event->accept();
}

void CComparePlot::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragFrom = event->position().toPoint();
        dragTo = *dragFrom;
        update();
    }
}

void CComparePlot::mouseMoveEvent(QMouseEvent* event) {
    mouseAt = event->position().toPoint();
    if (dragFrom) {
        dragTo = *mouseAt;
    }
    update();
}

void CComparePlot::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragFrom) {
        return;
    }
    const QRectF dragged = QRectF(QPointF(*dragFrom), event->position()).normalized();
    dragFrom.reset();
    figure.SetView(figure.ViewOfDrag(size(), dragged));
    update();
}

void CComparePlot::leaveEvent(QEvent*) {
    mouseAt.reset();
    update();
}
