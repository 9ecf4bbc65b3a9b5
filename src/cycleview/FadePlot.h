#pragma once

#include <QString>
#include <QWidget>
#include <vector>

#include "cycle/CycleResult.h"
#include "plot/FadeFigure.h"

/** The fade plot of the program window: the figure drawn to the widget's size. */
class CFadePlot : public QWidget {
    Q_OBJECT
public:
    explicit CFadePlot(QWidget* parent = nullptr);

    void SetCycles(std::vector<brimvolt::CycleResult> cycles);
    void SetTitle(QString title);
    const brimvolt::CFadeFigure& Figure() const { return figure; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    brimvolt::CFadeFigure figure;
};
