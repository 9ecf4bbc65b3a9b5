#include "app/ToolTip.h"

#include <QCursor>
#include <QEvent>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>
#include <cstdio>

namespace brimvolt {

QString WrapToWidth(const QString& text, const QFontMetrics& metrics, int maxWidth) {
    if (maxWidth <= 0 || metrics.horizontalAdvance(text) <= maxWidth) {
        return text;
    }
    // Lines break between words; a word longer than the width keeps a line of its own.
    QStringList lines;
    QString line;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (!line.isEmpty() && metrics.horizontalAdvance(candidate) > maxWidth) {
            lines.append(line);
            line = word;
        } else {
            line = candidate;
        }
    }
    if (!line.isEmpty()) {
        lines.append(line);
    }
    return lines.join(QLatin1Char('\n'));
}

CToolTip::CToolTip(QObject* parent) : QObject(parent) {
    wakeUp.setSingleShot(true);
    connect(&wakeUp, &QTimer::timeout, this, &CToolTip::ShowTip);
}

void CToolTip::SetDelays(int autoPop, int initial, int reshow) {
    autoPopMs = autoPop;
    initialMs = initial;
    reshowMs = reshow;
}

void CToolTip::SetTipBkColor(QColor color) {
    background = color;
    QPalette palette = QToolTip::palette();
    palette.setColor(QPalette::ToolTipBase, color);
    palette.setColor(QPalette::ToolTipText, Qt::black);
    QToolTip::setPalette(palette);
}

void CToolTip::AddTool(QWidget* tool, const QString& text) {
    if (!texts.contains(tool)) {
        tool->installEventFilter(this);
        tool->setAttribute(Qt::WA_Hover);
    }
    texts.insert(tool, text);
    if (hovered == tool && QToolTip::isVisible()) {
        ShowTip();
    }
}

QString CToolTip::TextOf(const QWidget* tool) const {
    return texts.value(tool);
}

bool CToolTip::eventFilter(QObject* watched, QEvent* event) {
    auto* tool = qobject_cast<QWidget*>(watched);
    if (tool == nullptr || !texts.contains(tool)) {
        return QObject::eventFilter(watched, event);
    }
    switch (event->type()) {
        case QEvent::ToolTip:
            // The toolkit's own tip would come with its own delays: this control shows it.
            return true;
        case QEvent::Enter:
        case QEvent::HoverMove:
            if (hovered != tool || !QToolTip::isVisible()) {
                hovered = tool;
                wakeUp.start(QToolTip::isVisible() ? reshowMs : initialMs);
            }
            break;
        case QEvent::Leave:
        case QEvent::MouseButtonPress:
        case QEvent::Hide:
            wakeUp.stop();
            if (hovered == tool) {
                QToolTip::hideText();
                hovered = nullptr;
            }
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

void CToolTip::ShowTip() {
    if (!active || hovered == nullptr) {
        return;
    }
    const QString text = texts.value(hovered);
    if (text.isEmpty()) {
        QToolTip::hideText();
        return;
    }
    // Plain text shows on one line; longer hints break between words at the tip's width.
    const QString shown = WrapToWidth(text, QFontMetrics(QToolTip::font()), maxTipWidth);
    QToolTip::showText(QCursor::pos(), shown, hovered, QRect(), autoPopMs);
}

}  // namespace brimvolt
