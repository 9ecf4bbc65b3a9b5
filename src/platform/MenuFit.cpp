#include "platform/MenuFit.h"

#include <QAction>
#include <QFontMetrics>
#include <QMenuBar>
#include <QStyle>
#include <algorithm>

namespace brimvolt::platform {

QFont CellHeightFont(const QStringList& families, QFont::StyleHint hint, int cellHeight,
                     const QString& sample, int fitWidth) {
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(hint);
    font.setWeight(QFont::Normal);
    int pixels = cellHeight;
    font.setPixelSize(pixels);
    const auto tooLarge = [&] {
        const QFontMetrics metrics(font);
        return metrics.height() > cellHeight ||
               (fitWidth > 0 && metrics.horizontalAdvance(sample) > fitWidth);
    };
    while (pixels > 6 && tooLarge()) {
        font.setPixelSize(--pixels);
    }
    return font;
}

QString ElidedToMenuRoom(const QMenuBar& menuBar, const QString& text) {
    const QFontMetrics metrics(menuBar.font());
    const QList<QAction*> entries = menuBar.actions();
    int used = 0;
    int padding = 2 * metrics.averageCharWidth();
    if (entries.size() > 1) {
        QAction* previous = entries[entries.size() - 2];
        const QRect previousRect = menuBar.actionGeometry(previous);
        used = previousRect.right() + 1;
        padding = previousRect.width() - metrics.horizontalAdvance(previous->text());
    }
    const QStyle* style = menuBar.style();
    const int room = menuBar.width() - used - padding -
                     style->pixelMetric(QStyle::PM_MenuBarItemSpacing, nullptr, &menuBar) -
                     style->pixelMetric(QStyle::PM_MenuBarHMargin, nullptr, &menuBar);
    return metrics.elidedText(text, Qt::ElideRight, std::max(0, room));
}

}  // namespace brimvolt::platform
