#include "module/DisplayTexts.h"

#include <QCoreApplication>
#include <algorithm>

namespace brimvolt {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(DisplayTexts)
};

// Characters in a line of the module's display.
constexpr qsizetype kDisplayColumns = 16;

// Words shown in volts or amperes from their thousandths; the rest are plain numbers.
bool IsFractional(int index) {
    return index == 1 || index == 3 || index == 5 || index == 6;
}

}  // namespace

QString CapacityText(std::int32_t capacityMah) {
    if (capacityMah < 10000) {
        return QString::asprintf("%.4imAh", capacityMah);
    }
    if (capacityMah < 100000) {
        return QString::asprintf("%.2fAh", capacityMah / 1000.0);
    }
    return QString::asprintf("%.1fAh", capacityMah / 1000.0);
}

QString RinText(std::uint16_t rinMohm) {
    // Fewer spaces for more digits keep the lower line at 16 characters.
    const int value = rinMohm;
    if (value < 10) {
        return QString::asprintf("Rin          %imΩ", value);
    }
    if (value < 100) {
        return QString::asprintf("Rin         %imΩ", value);
    }
    if (value < 1000) {
        return QString::asprintf("Rin        %imΩ", value);
    }
    if (value < 10000) {
        return QString::asprintf("Rin       %imΩ", value);
    }
    return QString::asprintf("Rin      %imΩ", value);
}

QString TemperatureText(std::uint8_t temperature) {
    // The spaces between the word and the value keep the line at 16 characters.
    const QString label = Text::tr("Температура:");
    const QString value = QString::number(temperature) + QStringLiteral("°");
    return label +
           QString(std::max<qsizetype>(0, kDisplayColumns - label.size() - value.size()),
                   QLatin1Char(' ')) +
           value;
}

PollTexts ComposePollTexts(const StatusRecord& status, int viewPosition) {
    PollTexts texts;
    for (int k = 0; k < 12; ++k) {
        const int word = status.params[k];
        texts.paramText[k] = IsFractional(k) ? QString::asprintf("%.3f", word / 1000.0)
                                             : QString::asprintf("%i", word);
    }
    texts.currentText = QString::asprintf(" %.3fA", status.currentMa / 1000.0);
    texts.voltageText = QString::asprintf(" %.3fV ", status.voltageMv / 1000.0);
    texts.capacityText = CapacityText(status.capacityMah);
    texts.timeText =
        QString::asprintf(" %.2i:%.2i:%.2i", status.hours, status.minutes, status.seconds);
    texts.displayLine2 = texts.capacityText + texts.timeText;

    const std::uint8_t f = status.statusFlags;
    texts.startButtonText = (f & flags::kRunning) ? Text::tr("Стоп") : Text::tr("Пуск");

    QString mark;
    if (f & flags::kMark) {
        mark = QStringLiteral("!");
    } else {
        mark = status.params[4] != 0 ? QStringLiteral("Z") : QStringLiteral("R");
    }
    texts.displayLine1 = texts.voltageText + mark + texts.currentText;
    // Later lines override earlier ones: the last condition that holds is the one shown.
    if (f & flags::kNoAdc) {
        texts.displayLine1 = QStringLiteral("NO ADC");
    }
    if (f & flags::kNoDac) {
        texts.displayLine1 = QStringLiteral("NO DAC");
    }

    if (f & flags::kRinCalculating) {
        texts.displayLine2 = QStringLiteral("Calculation  Rin");
    }
    if (f & flags::kRinHeld) {
        texts.displayLine2 = RinText(status.rinMohm);
        texts.rinButtonText = Text::tr("Сброс индикации Rin");
    } else {
        texts.rinButtonText = Text::tr("Замер внутр. сопротивления");
    }
    if ((viewPosition & 1) == 0) {
        texts.displayLine2 = TemperatureText(status.temperature);
    }
    if (f & flags::kTempPowerOff) {
        texts.displayLine2 = QStringLiteral("PowerOff Temp-ra");
    }
    return texts;
}

}  // namespace brimvolt
