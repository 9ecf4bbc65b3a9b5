#include "app/ToolTip.h"

#include <QCursor>
#include <QEvent>
#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

namespace brimvolt {

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
    // Rich text lets the tip wrap at the maximum width instead of running off as one line.
    QString shown = text.toHtmlEscaped();
    if (maxTipWidth > 0) {
        shown =
            QStringLiteral("<div style=\"max-width:%1px\">%2</div>").arg(maxTipWidth).arg(shown);
    }
    QToolTip::showText(QCursor::pos(), shown, hovered, QRect(), autoPopMs);
}

}  // namespace brimvolt
