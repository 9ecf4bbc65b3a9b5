#include "benchview/TileLook.h"

#include <QCoreApplication>
#include <algorithm>

namespace brimvolt {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(TileLook)
};

QString Clock(std::int64_t ms) {
    const std::int64_t s = std::max<std::int64_t>(ms, 0) / 1000;
    return QString::asprintf("%lld:%02d:%02d", static_cast<long long>(s / 3600),
                             static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
}

}  // namespace

TileLook LookOf(const ChannelPicture& picture) {
    // Quiet greys and blues where nothing needs the operator, saturated warm colours where
    // something does; every ink keeps a contrast of at least 4.5 to its fill.
    switch (picture.phase) {
        case ChannelPhase::Search:
            return {Text::tr("Поиск модуля"), QColor(232, 232, 232), QColor(90, 90, 90)};
        case ChannelPhase::Idle:
            return {picture.checking ? Text::tr("Проверка напряжения") : Text::tr("Ожидание"),
                    QColor(206, 222, 238), QColor(25, 45, 75)};
        case ChannelPhase::Discharge:
            return {Text::tr("Разряд"), QColor(35, 95, 185), Qt::white};
        case ChannelPhase::Charge:
            return {Text::tr("Заряд"), QColor(30, 125, 55), Qt::white};
        case ChannelPhase::Rest:
            return {Text::tr("Отдых"), QColor(150, 212, 228), QColor(0, 45, 60)};
        case ChannelPhase::Program:
            return {
                picture.programStep > 0
                    ? Text::tr("Шаг %1 из %2").arg(picture.programStep).arg(picture.programSteps)
                    : Text::tr("Программа"),
                QColor(115, 70, 165), Qt::white};
        case ChannelPhase::LinkLost:
            return {Text::tr("Нет связи"), QColor(255, 150, 0), Qt::black};
        case ChannelPhase::Fault:
            return {Text::tr("Неисправность"), QColor(200, 20, 20), Qt::white};
    }
    return {QString(), Qt::white, Qt::black};
}

QString PortText(const ChannelPicture& picture) {
    return picture.port.isEmpty() ? QStringLiteral("—") : picture.port;
}

QString CellLine(const ChannelPicture& picture) {
    return Text::tr("Ячейка: %1").arg(picture.cell.isEmpty() ? QStringLiteral("—") : picture.cell);
}

QString ProgramLine(const ChannelPicture& picture) {
    if (picture.programStep > 0) {
        return Text::tr("Шаг %1 из %2, в шаге %3")
            .arg(picture.programStep)
            .arg(picture.programSteps)
            .arg(Clock(picture.stepElapsedMs));
    }
    return picture.programActive ? Text::tr("Программа ждёт модуль") : QString();
}

QString ChannelName(const ChannelPicture& picture, int channel) {
    return picture.port.isEmpty() ? Text::tr("канал %1").arg(channel + 1) : picture.port;
}

QString BusyWord(const ChannelPicture& picture) {
    // Leaving ends a program even between its runs, so the program is what the question names.
    if (picture.programActive) {
        return Text::tr("программа");
    }
    if (!picture.running) {
        return QString();
    }
    return picture.phase == ChannelPhase::Charge ? Text::tr("заряд") : Text::tr("разряд");
}

int BenchColumns(int channels) {
    if (channels <= 2) {
        return std::max(channels, 1);
    }
    if (channels <= 4) {
        return 2;
    }
    return channels <= 6 ? 3 : 4;
}

}  // namespace brimvolt
