#include "cycleview/FadePlot.h"

#include <QPainter>

using namespace brimvolt;

CFadePlot::CFadePlot(QWidget* parent) : QWidget(parent) {
    // Below this the plot keeps too few ticks to read a value off either axis, and the panel of
    // dQ/dV peaks under it none.
    setMinimumHeight(260);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CFadePlot::SetCycles(std::vector<CycleResult> cycles) {
    figure.SetCycles(std::move(cycles));
    update();
}

void CFadePlot::SetTitle(QString title) {
    figure.SetTitle(std::move(title));
    update();
}

QSize CFadePlot::sizeHint() const {
    return {600, 300};
}

void CFadePlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    figure.Paint(painter, size());
}
