#pragma once

#include <QRectF>
#include <QSize>
#include <QWidget>
#include <vector>

#include "pack/Packing.h"

class QPainter;

namespace brimvolt {

/** The size the picture of the plan is drawn at when saved: a column per group, a box per cell. */
QSize PackPictureSize(const PackPlan& plan);

/**
 * The plan's groups side by side, in series from left to right: each group's number and summed
 * capacity above a column of its cells (name and capacity), shaded from the smallest cell of the
 * pack (light) to the largest (dark).
 */
void DrawPackPicture(QPainter& painter, const QRectF& area, const PackPlan& plan,
                     const std::vector<PackCell>& cells);

/** The picture in the window, scaled to the widget. */
class CPackPicture : public QWidget {
    Q_OBJECT
public:
    explicit CPackPicture(QWidget* parent = nullptr);
    void SetPlan(const PackPlan& plan, const std::vector<PackCell>& cells);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PackPlan plan;
    std::vector<PackCell> cells;
};

}  // namespace brimvolt
