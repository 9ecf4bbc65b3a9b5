#pragma once

/*
 * The fade plot of a test program: per cycle the charge and discharge capacity on the left axis
 * and the internal resistance on the right one, each as points joined by lines, under a title
 * the caller gives (the program and the cell). Where cycles have a main dQ/dV peak, a small
 * panel under it shows the peak's voltage (left) and height (right) against the same cycles. Plain
 * drawing, no window: the program window paints it into its widget, and it is saved as PNG or SVG.
 *
 *     CFadeFigure figure;
 *     figure.SetCycles(results);
 *     figure.SetTitle(programName + " — " + cellLabel);
 *     figure.Paint(painter, widget->size());
 *
 * A value a cycle did not give leaves a gap in its line; with no cycle at all the plot says so.
 */

#include <QSize>
#include <QString>
#include <vector>

#include "cycle/CycleResult.h"
#include "platform/Files.h"

class QPainter;

namespace brimvolt {

class CFadeFigure {
public:
    /** The cycles, in any order: they are drawn by their numbers. */
    void SetCycles(std::vector<CycleResult> cycles);
    const std::vector<CycleResult>& Cycles() const { return cycles; }
    void SetTitle(QString title);
    const QString& Title() const { return title; }

    /** Draws the whole figure (white ground, title, plot, legend) into the painter's top left. */
    void Paint(QPainter& painter, QSize size) const;

    /** Saved whole or not at all: .svg writes SVG, anything else PNG. */
    platform::WriteResult Save(const QString& path, QSize size,
                               platform::Streams streams = platform::Streams::Refuse) const;

private:
    std::vector<CycleResult> cycles;  // by cycle number
    QString title;
};

}  // namespace brimvolt
