#include "resources/Templates.h"

#include <QCoreApplication>
#include <QFile>
#include <QPainter>
#include <QPixmap>

namespace brimvolt::resources {

using platform::ControlKind;
using platform::ControlSpec;
using platform::DialogTemplate;
using platform::kAlignCenter;
using platform::kAlignLeft;
using platform::kAlignRight;
using platform::kUnnamedId;

namespace {

// The templates keep their texts in Russian; the controls are given them in the interface's
// language as they are built (the context names the texts in the translations).
constexpr char kTextContext[] = "Templates";

ControlSpec Static(int id, const char* text, int x, int y, int w, int h,
                   unsigned style = kAlignLeft) {
    return ControlSpec{id, ControlKind::Static, QString::fromUtf8(text), QRect(x, y, w, h), style};
}

ControlSpec Button(int id, const char* text, int x, int y, int w, int h,
                   unsigned style = platform::kStyleNone) {
    return ControlSpec{id, ControlKind::Button, QString::fromUtf8(text), QRect(x, y, w, h), style};
}

// A value static of the parameter columns: 24 × 8 units, right-aligned, one row per 8 units.
ControlSpec ValueStatic(int id, int top, int row) {
    return Static(id, "", 164, top + 8 * row, 24, 8, kAlignRight);
}

DialogTemplate MakeMainTemplate() {
    DialogTemplate t;
    t.textContext = kTextContext;
    t.id = kMainTemplate;
    t.caption = QString::fromUtf8(
        QT_TRANSLATE_NOOP("Templates", "Brimvolt - Измеритель емкости (Версия 6.3 Моя)"));
    t.sizeDu = QSize(320, 200);
    // Template order is the tab order.
    t.controls = {
        Button(1004, QT_TRANSLATE_NOOP("Templates", "Записать"), 262, 72, 50, 16),
        Button(1007, QT_TRANSLATE_NOOP("Templates", "Пуск"), 230, 168, 50, 16),
        Button(kIdCancel, QT_TRANSLATE_NOOP("Templates", "Выход"), 134, 176, 50, 16),
        Button(1022, QT_TRANSLATE_NOOP("Templates", "Сброс"), 190, 22, 50, 16),
        ControlSpec{1000, ControlKind::Combo, QString(), QRect(262, 24, 50, 168),
                    platform::kComboEditable | platform::kSorted},
        ControlSpec{1001, ControlKind::List, QString(), QRect(8, 56, 154, 40)},
        ControlSpec{1002, ControlKind::Edit, QString(), QRect(200, 74, 28, 12), kAlignCenter},
        ControlSpec{1032, ControlKind::UpDownVertical, QString(), QRect(228, 74, 12, 12)},
        Static(1006, "", 44, 8, 118, 13),
        Static(kUnnamedId, QT_TRANSLATE_NOOP("Templates", "COM порт"), 262, 16, 50, 8,
               kAlignCenter),
        Static(1008, "", 44, 23, 118, 15),
        ValueStatic(1010, 56, 0),
        ValueStatic(1011, 56, 1),
        ValueStatic(1012, 56, 2),
        ValueStatic(1013, 56, 3),
        ValueStatic(1014, 56, 4),
        ValueStatic(1015, 112, 0),
        ValueStatic(1016, 112, 1),
        ValueStatic(1017, 112, 2),
        ValueStatic(1018, 112, 3),
        Static(kUnnamedId, "V", 188, 64, 8, 8),
        Static(kUnnamedId, "A", 188, 80, 8, 8),
        Static(kUnnamedId, "A", 190, 120, 8, 8),
        Static(kUnnamedId, QT_TRANSLATE_NOOP("Templates", "Новое значение параметра"), 200, 48, 40,
               24, kAlignCenter),
        Button(1021, QT_TRANSLATE_NOOP("Templates", "Замер внутр. сопротивления"), 200, 96, 112,
               16),
        ControlSpec{1003, ControlKind::List, QString(), QRect(8, 112, 154, 56)},
        Static(kUnnamedId, QT_TRANSLATE_NOOP("Templates", "Оперативные параметры"), 8, 45, 154, 8,
               kAlignCenter),
        Static(kUnnamedId, QT_TRANSLATE_NOOP("Templates", "Параметры режимов работы и калибровки"),
               8, 101, 154, 8, kAlignCenter),
        ValueStatic(1019, 112, 4),
        Button(1023, QT_TRANSLATE_NOOP("Templates", "Записать время и емкость"), 200, 120, 112, 16),
        ValueStatic(1020, 112, 5),
        ValueStatic(1024, 112, 6),
        Static(kUnnamedId, "V", 190, 112, 12, 8),
        Static(kUnnamedId, "°", 190, 152, 12, 8),
        ControlSpec{1034, ControlKind::UpDownHorizontal, QString(), QRect(170, 22, 16, 16)},
        Static(kUnnamedId, "°", 190, 160, 12, 8),
        Button(1028, QT_TRANSLATE_NOOP("Templates", "Сброс аварийного отключения"), 200, 144, 112,
               16),
    };
    return t;
}

DialogTemplate MakeAboutTemplate() {
    DialogTemplate t;
    t.textContext = kTextContext;
    t.id = kAboutTemplate;
    t.caption = QString::fromUtf8(QT_TRANSLATE_NOOP("Templates", "О программе"));
    t.sizeDu = QSize(260, 96);
    t.controls = {
        Static(kUnnamedId, "", 11, 17, 21, 20, platform::kIcon),
        Static(kUnnamedId,
               QT_TRANSLATE_NOOP("Templates", "Brimvolt - Измеритель емкости аккумуляторов"), 40, 8,
               180, 8, kAlignCenter),
        Static(kUnnamedId, QT_TRANSLATE_NOOP("Templates", "Версия 6.3 Моя"), 100, 23, 60, 8),
        Static(kUnnamedId, "01.03.2020", 105, 40, 50, 8),
        Button(kIdOk, "OK", 105, 73, 50, 16, platform::kDefaultButton),
    };
    return t;
}

DialogTemplate MakeCurveTemplate() {
    DialogTemplate t;
    t.textContext = kTextContext;
    t.id = kCurveTemplate;
    t.caption = QString::fromUtf8(QT_TRANSLATE_NOOP("Templates", "Разрядная кривая"));
    t.sizeDu = QSize(480, 203);
    return t;
}

// The battery drawn at one size: body, terminal and three charge bars.
QPixmap DrawBattery(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal u = size / 16.0;
    const QRectF body(1.5 * u, 4 * u, 12 * u, 8 * u);
    painter.setPen(QPen(QColor(40, 40, 40), std::max(1.0, u)));
    painter.setBrush(QColor(225, 255, 100));
    painter.drawRect(body);
    painter.setBrush(QColor(40, 40, 40));
    painter.drawRect(QRectF(13.5 * u, 6.5 * u, 1.5 * u, 3 * u));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 150, 40));
    for (int bar = 0; bar < 3; ++bar) {
        painter.drawRect(QRectF((3 + 3.5 * bar) * u, 5.5 * u, 2.5 * u, 5 * u));
    }
    return pixmap;
}

}  // namespace

const DialogTemplate& MainTemplate() {
    static const DialogTemplate t = MakeMainTemplate();
    return t;
}

const DialogTemplate& AboutTemplate() {
    static const DialogTemplate t = MakeAboutTemplate();
    return t;
}

const DialogTemplate& CurveTemplate() {
    static const DialogTemplate t = MakeCurveTemplate();
    return t;
}

QList<MenuCommand> MainMenu() {
    return {
        {kIdAppAbout, QCoreApplication::translate("Templates", "О программе...")},
        {kIdShowHideCurve, QCoreApplication::translate("Templates", "Показать / скрыть график")},
        {kIdJournal, QCoreApplication::translate("Templates", "Журнал испытаний")},
        // The bar is as wide as the window and the broker's state needs room at its end.
        {kIdTestProgram, QCoreApplication::translate("Templates", "Программа")},
    };
}

QList<MenuCommand> ProgramMenu() {
    return {
        {kIdTestProgram, QCoreApplication::translate("Templates", "Программа испытаний")},
        {kIdCheckVoltage, QCoreApplication::translate("Templates", "Проверить напряжение")},
    };
}

QIcon AppIcon() {
    // The packaged image when the resource is compiled in; the same picture drawn otherwise.
    if (QFile::exists(QStringLiteral(":/brimvolt/brimvolt.png"))) {
        return QIcon(QStringLiteral(":/brimvolt/brimvolt.png"));
    }
    QIcon icon;
    for (int size : {16, 32, 48}) {
        icon.addPixmap(DrawBattery(size));
    }
    return icon;
}

}  // namespace brimvolt::resources
