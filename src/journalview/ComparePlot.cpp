#include "journalview/ComparePlot.h"

#include <QPainter>

CComparePlot::CComparePlot(QWidget* parent) : QWidget(parent) {}
CComparePlot::~CComparePlot() = default;

void CComparePlot::SetCurves(const std::vector<brimvolt::ComparedCurve>&) {}
void CComparePlot::SetAxis(int) {}
void CComparePlot::WholeView() {}
QColor CComparePlot::CurveColor(int) const {
    return Qt::black;
}
brimvolt::platform::WriteResult CComparePlot::Export(const QString&, bool) const {
    return {};
}
void CComparePlot::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), Qt::white);
}
