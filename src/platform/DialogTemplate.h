#pragma once

#include <QFont>
#include <QHash>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

class QToolButton;

namespace brimvolt::platform {

enum class ControlKind { Static, Button, Edit, List, Combo, UpDownHorizontal, UpDownVertical };

/** Alignment and behaviour notes a template gives a control; ored together. */
enum ControlStyle : unsigned {
    kStyleNone = 0,
    kAlignLeft = 1u << 0,
    kAlignCenter = 1u << 1,
    kAlignRight = 1u << 2,
    kComboEditable = 1u << 3,  // drop-down with an edit field
    kSorted = 1u << 4,         // entries stand in alphabetical order
    kIcon = 1u << 5,           // a static that shows an icon instead of text
    kDefaultButton = 1u << 6,  // the button Enter presses
};

/** Control id of the statics that nothing addresses. */
constexpr int kUnnamedId = -1;

struct ControlSpec {
    int id = kUnnamedId;
    ControlKind kind = ControlKind::Static;
    QString text;
    QRect rectDu;  // x, y, width, height in dialog units
    unsigned style = kStyleNone;
};

/** A dialog template: caption, size in dialog units, font and the controls in tab order. */
struct DialogTemplate {
    int id = 0;
    QString caption;
    QSize sizeDu;
    QList<ControlSpec> controls;
    // The translation context of the caption and the control texts, which are the source
    // texts; none: they are shown as they stand.
    const char* textContext = nullptr;

    /** The caption or a control's text in the interface's language. */
    QString Shown(const QString& text) const;
};

/**
 * Dialog base units: the average character width and the height of the dialog font in pixels.
 * A dialog unit is baseX / 4 pixels across and baseY / 8 pixels down.
 */
struct DialogBaseUnits {
    int baseX = 6;
    int baseY = 13;

    QRect ToPixels(const QRect& du) const;
    QSize ToPixels(const QSize& du) const;
};

/** The font the templates name ("MS Shell Dlg" 8): a metric-compatible sans face at 8 pt. */
QFont DialogFont();

/**
 * The base units the templates are laid out with: those of the dialog font on a 96 dpi screen,
 * 6 × 13. The stand-in face measures 6 × 12 at some resolutions, which would squeeze the display
 * block and the lists by a twelfth; the layout keeps the units the templates were drawn for, and
 * Qt's device-independent pixels carry them to high-resolution screens.
 */
DialogBaseUnits TemplateBaseUnits();

/**
 * Up-down control: two arrow buttons holding a range and a position. Every press moves the
 * position one step, stopping at the ends (no wrap), and then reports the position through
 * Scrolled, also when it could not move. A vertical control's upper arrow raises the position; a
 * horizontal control's right arrow raises it.
 */
class CUpDown : public QWidget {
    Q_OBJECT
public:
    CUpDown(Qt::Orientation orientation, QWidget* parent);

    void SetRange(int lower, int upper);
    void SetPos(int position);
    int GetPos() const { return position; }
    int Lower() const { return lower; }
    int Upper() const { return upper; }
    Qt::Orientation Orientation() const { return orientation; }

    /** One arrow press: +1 or -1 step, then the scroll notification. */
    void Step(int delta);

    /** Lets the arrow keys of another widget (the buddy edit) step this control. */
    void SetBuddy(QWidget* buddy);

    /** Scroll code of the position notification; the end-of-scroll code is never passed on. */
    static constexpr int kThumbPosition = 4;

signals:
    void Scrolled(int code, int position);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Qt::Orientation orientation;
    int lower = 0;
    int upper = 100;
    int position = 0;
    QToolButton* decrease;
    QToolButton* increase;
};

/** The widgets a template produced, by control id; the unnamed statics in order. */
struct BuiltControls {
    QHash<int, QWidget*> byId;
    QList<QWidget*> unnamed;
    QList<QWidget*> tabOrder;
};

/**
 * Creates the template's controls as children of parent at their rectangles converted with the
 * base units and shifted by origin, and chains the focusable ones in template order.
 */
BuiltControls BuildControls(QWidget* parent, const DialogTemplate& dialogTemplate,
                            const DialogBaseUnits& units, QPoint origin = {});

}  // namespace brimvolt::platform
