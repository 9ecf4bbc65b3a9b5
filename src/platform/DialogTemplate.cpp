#include "platform/DialogTemplate.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>

namespace brimvolt::platform {

QRect DialogBaseUnits::ToPixels(const QRect& du) const {
    // The system rounds each edge, not the size, so neighbouring controls meet exactly.
    const int left = (du.x() * baseX) / 4;
    const int top = (du.y() * baseY) / 8;
    const int right = ((du.x() + du.width()) * baseX) / 4;
    const int bottom = ((du.y() + du.height()) * baseY) / 8;
    return QRect(left, top, right - left, bottom - top);
}

QSize DialogBaseUnits::ToPixels(const QSize& du) const {
    return QSize(du.width() * baseX / 4, du.height() * baseY / 8);
}

QString DialogTemplate::Shown(const QString& text) const {
    if (textContext == nullptr || text.isEmpty()) {
        return text;
    }
    return QCoreApplication::translate(textContext, text.toUtf8().constData());
}

QFont DialogFont() {
    // Liberation Sans is metric-compatible with Arial, the face behind the dialog font on the
    // systems the templates were drawn for.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

DialogBaseUnits TemplateBaseUnits() {
    return DialogBaseUnits{6, 13};
}

CUpDown::CUpDown(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent),
      orientation(orientation),
      decrease(new QToolButton(this)),
      increase(new QToolButton(this)) {
    const bool horizontal = orientation == Qt::Horizontal;
    decrease->setArrowType(horizontal ? Qt::LeftArrow : Qt::DownArrow);
    increase->setArrowType(horizontal ? Qt::RightArrow : Qt::UpArrow);
    for (QToolButton* button : {decrease, increase}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
    }
    connect(decrease, &QToolButton::clicked, this, [this] { Step(-1); });
    connect(increase, &QToolButton::clicked, this, [this] { Step(+1); });
    setFocusPolicy(Qt::NoFocus);
}

void CUpDown::SetRange(int newLower, int newUpper) {
    lower = newLower;
    upper = newUpper;
    position = std::clamp(position, std::min(lower, upper), std::max(lower, upper));
}

void CUpDown::SetPos(int newPosition) {
    position = std::clamp(newPosition, std::min(lower, upper), std::max(lower, upper));
}

void CUpDown::Step(int delta) {
    // A reversed range (lower > upper) makes the upper arrow count down, as the system does.
    const int direction = lower <= upper ? delta : -delta;
    SetPos(position + direction);
    emit Scrolled(kThumbPosition, position);
}

void CUpDown::SetBuddy(QWidget* buddy) {
    if (buddy != nullptr) {
        buddy->installEventFilter(this);
    }
}

void CUpDown::resizeEvent(QResizeEvent*) {
    if (orientation == Qt::Horizontal) {
        const int half = width() / 2;
        decrease->setGeometry(0, 0, half, height());
        increase->setGeometry(half, 0, width() - half, height());
    } else {
        const int half = height() / 2;
        increase->setGeometry(0, 0, width(), half);
        decrease->setGeometry(0, half, width(), height() - half);
    }
}

void CUpDown::keyPressEvent(QKeyEvent* event) {
    const bool horizontal = orientation == Qt::Horizontal;
    if (event->key() == (horizontal ? Qt::Key_Right : Qt::Key_Up)) {
        Step(+1);
    } else if (event->key() == (horizontal ? Qt::Key_Left : Qt::Key_Down)) {
        Step(-1);
    } else {
        QWidget::keyPressEvent(event);
    }
}

bool CUpDown::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && orientation == Qt::Vertical) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            Step(key->key() == Qt::Key_Up ? +1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

namespace {

Qt::Alignment AlignmentOf(unsigned style) {
    if ((style & kAlignCenter) != 0) {
        return Qt::AlignHCenter | Qt::AlignTop;
    }
    if ((style & kAlignRight) != 0) {
        return Qt::AlignRight | Qt::AlignTop;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}

QWidget* MakeControl(QWidget* parent, const ControlSpec& entry, const QString& text) {
    switch (entry.kind) {
        case ControlKind::Static: {
            auto* label = new QLabel(text, parent);
            label->setAlignment(AlignmentOf(entry.style));
            // Static texts wrap at word boundaries within their rectangle.
            label->setWordWrap(true);
            label->setTextFormat(Qt::PlainText);
            return label;
        }
        case ControlKind::Button: {
            auto* button = new QPushButton(text, parent);
            button->setAutoDefault(true);
            button->setDefault((entry.style & kDefaultButton) != 0);
            return button;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(text, parent);
            if ((entry.style & kAlignCenter) != 0) {
                edit->setAlignment(Qt::AlignCenter);
            } else if ((entry.style & kAlignRight) != 0) {
                edit->setAlignment(Qt::AlignRight);
            }
            return edit;
        }
        case ControlKind::List: {
            auto* list = new QListWidget(parent);
            list->setSelectionMode(QAbstractItemView::SingleSelection);
            list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            // Long rows are cut at the edge, not shortened with an ellipsis.
            list->setTextElideMode(Qt::ElideNone);
            return list;
        }
        case ControlKind::Combo: {
            auto* combo = new QComboBox(parent);
            combo->setEditable((entry.style & kComboEditable) != 0);
            // Typed text is never taken into the list.
            combo->setInsertPolicy(QComboBox::NoInsert);
            return combo;
        }
        case ControlKind::UpDownHorizontal:
            return new CUpDown(Qt::Horizontal, parent);
        case ControlKind::UpDownVertical:
            return new CUpDown(Qt::Vertical, parent);
    }
    return nullptr;
}

}  // namespace

BuiltControls BuildControls(QWidget* parent, const DialogTemplate& dialogTemplate,
                            const DialogBaseUnits& units, QPoint origin) {
    BuiltControls built;
    for (const ControlSpec& entry : dialogTemplate.controls) {
        QWidget* control = MakeControl(parent, entry, dialogTemplate.Shown(entry.text));
        if (control == nullptr) {
            continue;
        }
        QRect pixels = units.ToPixels(entry.rectDu).translated(origin);
        if (entry.kind == ControlKind::Combo) {
            // The rectangle's height includes the dropped list; the closed box keeps its own.
            pixels.setHeight(control->sizeHint().height());
        }
        if (auto* label = qobject_cast<QLabel*>(control);
            label != nullptr && !entry.text.isEmpty()) {
            // A face a little taller than the template's own must not cut the last line off.
            pixels.setHeight(std::max(pixels.height(), label->heightForWidth(pixels.width())));
        }
        control->setGeometry(pixels);
        if (entry.id == kUnnamedId) {
            built.unnamed.append(control);
        } else {
            control->setObjectName(QStringLiteral("control%1").arg(entry.id));
            built.byId.insert(entry.id, control);
        }
        if (control->focusPolicy() != Qt::NoFocus) {
            built.tabOrder.append(control);
        }
    }
    for (qsizetype i = 1; i < built.tabOrder.size(); ++i) {
        QWidget::setTabOrder(built.tabOrder[i - 1], built.tabOrder[i]);
    }
    return built;
}

}  // namespace brimvolt::platform
