#pragma once

#include <QPoint>
#include <QSize>
#include <QStringList>
#include <QWidget>
#include <optional>
#include <vector>

#include "plot/ComparisonFigure.h"

/**
 * The comparison's plot: the figure drawn to the widget's size, zoomed in with the wheel and
 * with a rectangle dragged by the left button; while the mouse is over it, a readout gives the
 * value of every curve at the mouse.
 */
class CComparePlot : public QWidget {
    Q_OBJECT
public:
    explicit CComparePlot(QWidget* parent = nullptr);
    ~CComparePlot() override;

    brimvolt::CComparisonFigure& Figure() { return figure; }
    const brimvolt::CComparisonFigure& Figure() const { return figure; }

    void SetCurves(std::vector<brimvolt::FigureCurve> curves);
    void SetAxis(brimvolt::FigureAxis axis);
    void WholeView();

    /** The readout for the mouse at `pixel`: the axis value, then one line per curve. */
    QStringList ReadoutAt(QPoint pixel) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void DrawReadout(QPainter& painter, QPoint at) const;

    brimvolt::CComparisonFigure figure;
    std::optional<QPoint> dragFrom;
    QPoint dragTo;
    std::optional<QPoint> mouseAt;
};
