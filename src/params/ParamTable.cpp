#include "params/ParamTable.h"

#include <QCoreApplication>

namespace brimvolt {

namespace {

// Names and hints are kept in Russian and shown through ParamText.
QString Text(const char* source) {
    return QString::fromUtf8(source);
}

}  // namespace

QString ParamText(const QString& text) {
    return text.isEmpty() ? text
                          : QCoreApplication::translate("ParamTable", text.toUtf8().constData());
}

const std::array<ParamInfo, 12>& ParamTable() {
    static const QString kPresetHint =
        Text(QT_TRANSLATE_NOOP("ParamTable", "Номер должен быть в диапазоне от 1 до 8"));
    static const QString kFlagHint =
        Text(QT_TRANSLATE_NOOP("ParamTable", "Число должно быть в диапазоне 0 или 1"));
    static const std::array<ParamInfo, 12> table = {{
        {0,
         Text(QT_TRANSLATE_NOOP("ParamTable", "Номер задания напряжения отсечки")),
         1001,
         0,
         1010,
         {},
         false,
         1,
         8,
         kPresetHint},
        {1,
         Text(QT_TRANSLATE_NOOP("ParamTable", "Напряжение отсечки")),
         1001,
         1,
         1011,
         QStringLiteral("V"),
         true,
         700,
         16000,
         {}},
        {2,
         Text(QT_TRANSLATE_NOOP("ParamTable", "Номер задания тока")),
         1001,
         2,
         1012,
         {},
         false,
         1,
         8,
         kPresetHint},
        {3,
         Text(QT_TRANSLATE_NOOP("ParamTable", "Задание тока")),
         1001,
         3,
         1013,
         QStringLiteral("A"),
         true,
         0,
         4000,
         {}},
        {4,
         Text(QT_TRANSLATE_NOOP("ParamTable", "Режим работы - разряд (0) / заряд (1)")),
         1001,
         4,
         1014,
         {},
         false,
         0,
         1,
         kFlagHint},
        {5,
         Text(QT_TRANSLATE_NOOP("ParamTable", "Калибровочный коэф. АЦП по напряжению")),
         1003,
         0,
         1015,
         QStringLiteral("V"),
         true,
         18000,
         22000,
         {}},
        {6,
         Text(QT_TRANSLATE_NOOP("ParamTable", "Калибровочный коэффициент АЦП по току")),
         1003,
         1,
         1016,
         QStringLiteral("A"),
         true,
         3000,
         6000,
         {}},
        {7,
         Text(QT_TRANSLATE_NOOP("ParamTable", "Коррекция задания тока")),
         1003,
         2,
         1017,
         {},
         false,
         0,
         30,
         Text(QT_TRANSLATE_NOOP("ParamTable", "Число должно быть в диапазоне от 0 до 30"))},
        {8,
         Text(QT_TRANSLATE_NOOP("ParamTable", "Разряд при постоянном напряжения отсечки")),
         1003,
         3,
         1018,
         {},
         false,
         0,
         1,
         kFlagHint},
        {9,
         Text(QT_TRANSLATE_NOOP("ParamTable", "Автоматическая коррекция ЦАП")),
         1003,
         4,
         1019,
         {},
         false,
         0,
         1,
         kFlagHint},
        {10, Text(QT_TRANSLATE_NOOP("ParamTable", "Температура включения кулера")), 1003, 5, 1020,
         QStringLiteral("°"), false, 20, 70,
         Text(QT_TRANSLATE_NOOP("ParamTable", "Число должно быть в диапазоне 20 до 70"))},
        {11, Text(QT_TRANSLATE_NOOP("ParamTable", "Температура аварийного отключения")), 1003, 6,
         1024, QStringLiteral("°"), false, 30, 100,
         Text(QT_TRANSLATE_NOOP("ParamTable", "Число должно быть в диапазоне 30 до 100"))},
    }};
    return table;
}

}  // namespace brimvolt
