#include "platform/Metrics.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>

namespace brimvolt::platform {

SystemMetrics CurrentMetrics(const QWidget* widget) {
    SystemMetrics metrics;
    const QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    if (style != nullptr) {
        const int caption = style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, widget);
        if (caption > 0) {
            metrics.captionHeight = caption;
        }
        const int icon = style->pixelMetric(QStyle::PM_LargeIconSize, nullptr, widget);
        if (icon > 0) {
            metrics.iconX = icon;
            metrics.iconY = icon;
        }
    }
    const QScreen* screen = widget != nullptr ? widget->screen() : nullptr;
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen != nullptr && screen->geometry().height() > 0) {
        metrics.screenHeight = screen->geometry().height();
    }
    return metrics;
}

}  // namespace brimvolt::platform
