#include <gtest/gtest.h>

#include <QColor>
#include <algorithm>
#include <cmath>
#include <set>

#include "benchview/TileLook.h"

using namespace brimvolt;

namespace {

double Luminance(QColor c) {
    const auto linear = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.red()) + 0.7152 * linear(c.green()) + 0.0722 * linear(c.blue());
}

double Contrast(QColor a, QColor b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

ChannelPicture Picture(ChannelPhase phase, QString port, bool running = false, int step = 0,
                       int steps = 0, std::int64_t elapsedMs = 0, bool program = false) {
    ChannelPicture picture;
    picture.phase = phase;
    picture.port = port;
    picture.running = running;
    picture.programStep = step;
    picture.programSteps = steps;
    picture.stepElapsedMs = elapsedMs;
    picture.programActive = program || step > 0;
    return picture;
}

TEST(BenchTileLook, EachPhaseHasItsWordLinesAndAReadableColour) {
    enum class Tone { Quiet, Alarm, Other };
    struct Case {
        ChannelPicture picture;
        QString word;
        QString title;
        QString programLine;
        QString busy;
        Tone tone;
    };
    const Case cases[] = {
        {Picture(ChannelPhase::Search, {}), "Поиск модуля", "—", "", "", Tone::Quiet},
        {Picture(ChannelPhase::Idle, "COM3"), "Ожидание", "COM3", "", "", Tone::Quiet},
        {Picture(ChannelPhase::Discharge, "COM4", true), "Разряд", "COM4", "", "разряд",
         Tone::Other},
        {Picture(ChannelPhase::Charge, "COM5", true), "Заряд", "COM5", "", "заряд", Tone::Other},
        {Picture(ChannelPhase::Rest, "COM6", false, 4, 5, 61'000), "Отдых", "COM6",
         "Шаг 4 из 5, в шаге 0:01:01", "программа", Tone::Other},
        {Picture(ChannelPhase::Program, "COM7", false, 2, 5, 754'000), "Шаг 2 из 5", "COM7",
         "Шаг 2 из 5, в шаге 0:12:34", "программа", Tone::Other},
        {Picture(ChannelPhase::LinkLost, "COM8", true, 0, 0, 0, true), "Нет связи", "COM8",
         "Программа ждёт модуль", "программа", Tone::Alarm},
        {Picture(ChannelPhase::Fault, "COM9", false, 3, 3, 100'000'000), "Неисправность", "COM9",
         "Шаг 3 из 3, в шаге 27:46:40", "программа", Tone::Alarm},
    };
    std::set<QRgb> fills;
    for (const Case& c : cases) {
        const TileLook look = LookOf(c.picture);
        SCOPED_TRACE(c.word.toStdString());
        EXPECT_EQ(look.word, c.word);
        EXPECT_EQ(PortText(c.picture), c.title);
        EXPECT_EQ(ProgramLine(c.picture), c.programLine);
        EXPECT_EQ(BusyWord(c.picture), c.busy);
        EXPECT_GE(Contrast(look.fill, look.ink), 4.5);
        fills.insert(look.fill.rgb());
        if (c.tone == Tone::Quiet) {
            EXPECT_LT(look.fill.hsvSaturation(), 60);
        } else if (c.tone == Tone::Alarm) {
            // Red to orange, strong.
            EXPECT_LE(look.fill.hsvHue(), 40);
            EXPECT_GT(look.fill.hsvSaturation(), 200);
        }
    }
    EXPECT_EQ(fills.size(), std::size(cases));

    ChannelPicture cell = Picture(ChannelPhase::Idle, {});
    EXPECT_EQ(CellLine(cell), "Ячейка: —");
    EXPECT_EQ(ChannelName(cell, 2), "канал 3");
    cell.cell = "A1";
    cell.port = "COM3";
    EXPECT_EQ(CellLine(cell), "Ячейка: A1");
    EXPECT_EQ(ChannelName(cell, 2), "COM3");
}

TEST(BenchTileLook, ColumnsGrowToFourAsChannelsAreAdded) {
    const std::pair<int, int> table[] = {{0, 1}, {1, 1}, {2, 2}, {3, 2}, {4, 2},
                                         {5, 3}, {6, 3}, {7, 4}, {9, 4}, {16, 4}};
    for (const auto& [channels, columns] : table) {
        EXPECT_EQ(BenchColumns(channels), columns) << channels;
    }
}

}  // namespace
