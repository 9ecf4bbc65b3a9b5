#include <gtest/gtest.h>

#include <QColor>
#include <algorithm>
#include <cmath>
#include <set>

#include "benchview/TileLook.h"
#include "channel/ChannelPhase.h"

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

TEST(BenchTileLook, EachPhaseHasItsWordLinesAndAReadableColour) {
    enum class Tone { Quiet, Alarm, Other };
    struct Case {
        ChannelPhase phase;
        bool running;
        int step;  // of 5; 0: no step
        std::int64_t elapsedMs;
        bool program;
        QString word;
        QString programLine;
        QString busy;
        Tone tone;
    };
    const Case cases[] = {
        {ChannelPhase::Search, false, 0, 0, false, "Поиск модуля", "", "", Tone::Quiet},
        {ChannelPhase::Idle, false, 0, 0, false, "Ожидание", "", "", Tone::Quiet},
        {ChannelPhase::Discharge, true, 0, 0, false, "Разряд", "", "разряд", Tone::Other},
        {ChannelPhase::Charge, true, 0, 0, false, "Заряд", "", "заряд", Tone::Other},
        {ChannelPhase::Rest, false, 4, 61'000, true, "Отдых", "Шаг 4 из 5, в шаге 0:01:01",
         "программа", Tone::Other},
        {ChannelPhase::Program, false, 2, 754'000, true, "Шаг 2 из 5", "Шаг 2 из 5, в шаге 0:12:34",
         "программа", Tone::Other},
        {ChannelPhase::LinkLost, true, 0, 0, true, "Нет связи", "Программа ждёт модуль",
         "программа", Tone::Alarm},
        {ChannelPhase::Fault, false, 3, 100'000'000, true, "Неисправность",
         "Шаг 3 из 5, в шаге 27:46:40", "программа", Tone::Alarm},
    };
    std::set<QRgb> fills;
    for (const Case& c : cases) {
        ChannelPicture picture;
        picture.phase = c.phase;
        picture.running = c.running;
        picture.programStep = c.step;
        picture.programSteps = 5;
        picture.stepElapsedMs = c.elapsedMs;
        picture.programActive = c.program;
        const TileLook look = LookOf(picture);
        SCOPED_TRACE(c.word.toStdString());
        EXPECT_EQ(look.word, c.word);
        EXPECT_EQ(ProgramLine(picture), c.programLine);
        EXPECT_EQ(BusyWord(picture), c.busy);
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

    ChannelPicture cell;
    EXPECT_EQ(PortText(cell), "—");
    EXPECT_EQ(CellLine(cell), "Ячейка: —");
    cell.cell = "A1";
    cell.port = "COM3";
    EXPECT_EQ(CellLine(cell), "Ячейка: A1");
    EXPECT_EQ(PortText(cell), "COM3");
}

TEST(BenchTileLook, ColumnsGrowToFourAsChannelsAreAdded) {
    const std::pair<int, int> table[] = {{0, 1}, {1, 1}, {2, 2}, {3, 2}, {4, 2},
                                         {5, 3}, {6, 3}, {7, 4}, {9, 4}, {16, 4}};
    for (const auto& [channels, columns] : table) {
        EXPECT_EQ(BenchColumns(channels), columns) << channels;
    }
}

}  // namespace

// What the channel knows decides the phase, and the phase the tile's word.
TEST(BenchTileLook, ChannelFactsGiveThePhaseAndItsWord) {
    constexpr std::uint8_t kRun = 0x08;
    constexpr std::uint8_t kNoAdc = 0x40;
    constexpr std::uint8_t kHot = 0x04;
    const struct {
        ChannelFacts facts;
        ChannelPhase phase;
        const char* word;
    } cases[] = {
        {{false, false, 0, false, false, false}, ChannelPhase::Search, "Поиск модуля"},
        {{true, false, kRun, false, true, false}, ChannelPhase::LinkLost, "Нет связи"},
        {{true, true, 0, false, false, false}, ChannelPhase::Idle, "Ожидание"},
        {{true, true, kRun, false, false, false}, ChannelPhase::Discharge, "Разряд"},
        {{true, true, kRun, true, true, false}, ChannelPhase::Charge, "Заряд"},
        {{true, true, 0, false, true, true}, ChannelPhase::Rest, "Отдых"},
        {{true, true, 0, false, true, false}, ChannelPhase::Program, "Шаг 2 из 5"},
        {{true, true, kRun | kNoAdc, false, true, false}, ChannelPhase::Fault, "Неисправность"},
        {{true, true, kHot, true, false, false}, ChannelPhase::Fault, "Неисправность"},
    };
    for (const auto& c : cases) {
        ChannelPicture picture;
        picture.phase = PhaseOf(c.facts);
        picture.programStep = 2;
        picture.programSteps = 5;
        EXPECT_EQ(picture.phase, c.phase) << c.word;
        EXPECT_EQ(LookOf(picture).word, QString::fromUtf8(c.word));
    }
}
