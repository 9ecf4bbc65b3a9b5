#pragma once

#include <QColor>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QFontMetrics;
class QWidget;

namespace brimvolt {

/** The text broken into lines between words so that none is wider than maxWidth pixels. */
QString WrapToWidth(const QString& text, const QFontMetrics& metrics, int maxWidth);

/**
 * A tooltip control: tools are widgets with a text; the tip shows after the initial delay
 * while the pointer rests on a tool and hides after the automatic-hide delay. An empty text
 * shows no tip.
 */
class CToolTip : public QObject {
    Q_OBJECT
public:
    explicit CToolTip(QObject* parent = nullptr);

    void Activate(bool on) { active = on; }
    void SetDelays(int autoPopMs, int initialMs, int reshowMs);
    void SetMaxTipWidth(int pixels) { maxTipWidth = pixels; }
    void SetTipBkColor(QColor color);
    /** Registers a tool, or replaces the text of one already registered. */
    void AddTool(QWidget* tool, const QString& text);
    QString TextOf(const QWidget* tool) const;

    int AutoPopDelay() const { return autoPopMs; }
    int InitialDelay() const { return initialMs; }
    int MaxTipWidth() const { return maxTipWidth; }
    QColor TipBkColor() const { return background; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowTip();

    bool active = false;
    int autoPopMs = 5000;
    int initialMs = 500;
    int reshowMs = 100;
    int maxTipWidth = -1;
    QColor background{255, 255, 225};
    QHash<const QWidget*, QString> texts;
    QPointer<QWidget> hovered;
    QTimer wakeUp;
};

}  // namespace brimvolt
