#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <vector>

#include "journalview/ComparedCurve.h"
#include "platform/Files.h"

/**
 * The comparison's plot: the curves over one another, zoomed with the wheel and a dragged
 * rectangle, with each curve's value under the mouse.
 */
class CComparePlot : public QWidget {
    Q_OBJECT
public:
    explicit CComparePlot(QWidget* parent = nullptr);
    ~CComparePlot() override;

    void SetCurves(const std::vector<brimvolt::ComparedCurve>& curves);
    void SetAxis(int axis);
    void WholeView();
    QColor CurveColor(int index) const;
    brimvolt::platform::WriteResult Export(const QString& path, bool svg) const;

protected:
    void paintEvent(QPaintEvent* event) override;
};
