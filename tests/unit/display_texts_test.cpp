#include <gtest/gtest.h>

#include <QLocale>
#include <clocale>

#include "module/DisplayTexts.h"

using namespace brimvolt;

namespace {

// The view selector's two positions: 1 keeps the lower line, 0 shows the temperature.
constexpr int kKeepLine = 1;
constexpr int kTemperatureView = 0;

StatusRecord Reading(std::uint8_t statusFlags) {
    StatusRecord status;
    status.voltageMv = 3712;
    status.currentMa = 1500;
    status.rinMohm = 85;
    status.temperature = 31;
    status.hours = 1;
    status.minutes = 2;
    status.seconds = 3;
    status.elapsedSeconds = 3723;
    status.capacityMah = 2345;
    status.statusFlags = statusFlags;
    return status;
}

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

}  // namespace

TEST(DisplayTexts, CapacitySwitchesUnitAndPrecisionBySize) {
    const struct {
        std::int32_t mah;
        const char* text;
    } cases[] = {
        {0, "0000mAh"},      {5, "0005mAh"},      {9999, "9999mAh"},
        {10000, "10.00Ah"},  {12346, "12.35Ah"},  {99999, "100.00Ah"},
        {100000, "100.0Ah"}, {123456, "123.5Ah"}, {16777215, "16777.2Ah"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CapacityText(c.mah), Q(c.text)) << c.mah;
    }
}

TEST(DisplayTexts, RinAndTemperatureTextsKeepSixteenCharacters) {
    const std::uint16_t rins[] = {0, 7, 9, 10, 99, 100, 999, 1000, 9999, 10000, 12345, 65535};
    for (const auto rin : rins) {
        const QString text = RinText(rin);
        EXPECT_EQ(text.size(), 16) << text.toStdString();
        EXPECT_TRUE(text.startsWith(u"Rin ")) << text.toStdString();
        EXPECT_TRUE(text.endsWith(QString::number(rin) + QString::fromUtf16(u"m\u03A9")))
            << text.toStdString();
    }
    EXPECT_EQ(RinText(7), Q("Rin          7mΩ"));
    EXPECT_EQ(RinText(12345), Q("Rin      12345mΩ"));

    const std::uint8_t temperatures[] = {0, 5, 9, 10, 45, 99, 100, 255};
    for (const auto t : temperatures) {
        const QString text = TemperatureText(t);
        EXPECT_EQ(text.size(), 16) << text.toStdString();
        EXPECT_TRUE(text.endsWith(QString::number(t) + QChar(0x00B0))) << text.toStdString();
    }
    EXPECT_EQ(TemperatureText(5), Q("Температура:  5°"));
    EXPECT_EQ(TemperatureText(45), Q("Температура: 45°"));
    EXPECT_EQ(TemperatureText(100), Q("Температура:100°"));
}

TEST(DisplayTexts, ReadingsFormatAsTheDisplayShowsThem) {
    StatusRecord status = Reading(0);
    status.params = {3, 2700, 1, 1500, 0, 20123, 4500, 12, 1, 0, 45, 70};
    const PollTexts texts = ComposePollTexts(status, kKeepLine);
    const char* params[] = {"3",     "2.700", "1", "1.500", "0",  "20.123",
                            "4.500", "12",    "1", "0",     "45", "70"};
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(texts.paramText[k], Q(params[k])) << k;
    }
    EXPECT_EQ(texts.voltageText, Q(" 3.712V "));
    EXPECT_EQ(texts.currentText, Q(" 1.500A"));
    EXPECT_EQ(texts.timeText, Q(" 01:02:03"));
    EXPECT_EQ(texts.displayLine1, Q(" 3.712V R 1.500A"));
    EXPECT_EQ(texts.displayLine1.size(), 16);
    EXPECT_EQ(texts.displayLine2, Q("2345mAh 01:02:03"));
    EXPECT_EQ(texts.displayLine2.size(), 16);

    status.hours = 255;
    status.minutes = 59;
    status.seconds = 0;
    EXPECT_EQ(ComposePollTexts(status, kKeepLine).timeText, Q(" 255:59:00"));
}

TEST(DisplayTexts, UpperLineMarkAndConverterFaults) {
    const struct {
        std::uint8_t flags;
        std::uint16_t mode;
        const char* line;
    } cases[] = {
        {0x00, 0, " 3.712V R 1.500A"}, {0x00, 1, " 3.712V Z 1.500A"},
        {0x00, 2, " 3.712V Z 1.500A"},  // any non-zero mode is a charge
        {0x01, 0, " 3.712V ! 1.500A"}, {0x01, 1, " 3.712V ! 1.500A"},
        {0x40, 0, "NO ADC"},           {0x80, 0, "NO DAC"},
        {0xC0, 1, "NO DAC"},           {0xFF, 1, "NO DAC"},
    };
    for (const auto& c : cases) {
        StatusRecord status = Reading(c.flags);
        status.params[4] = c.mode;
        EXPECT_EQ(ComposePollTexts(status, kKeepLine).displayLine1, Q(c.line))
            << int(c.flags) << " mode " << c.mode;
    }
}

TEST(DisplayTexts, LowerLineShowsTheHighestPriorityState) {
    const QString capacity = Q("2345mAh 01:02:03");
    const QString calculation = Q("Calculation  Rin");
    const QString rin = Q("Rin         85mΩ");
    const QString temperature = Q("Температура: 31°");
    const QString powerOff = Q("PowerOff Temp-ra");
    const struct {
        std::uint8_t flags;
        int view;
        QString line;
    } cases[] = {
        {0x00, kKeepLine, capacity},
        {0x08, kKeepLine, capacity},
        {0x02, kKeepLine, calculation},
        {0x10, kKeepLine, rin},
        {0x12, kKeepLine, rin},
        {0x00, kTemperatureView, temperature},
        {0x12, kTemperatureView, temperature},
        {0x04, kKeepLine, powerOff},
        {0x16, kTemperatureView, powerOff},
        {0xFF, kTemperatureView, powerOff},
        // Only bit 0 of the selector's position counts.
        {0x00, 2, temperature},
        {0x00, 3, capacity},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ComposePollTexts(Reading(c.flags), c.view).displayLine2, c.line)
            << int(c.flags) << " view " << c.view;
    }
}

TEST(DisplayTexts, ButtonTextsFollowTheirOwnFlagOnly) {
    const struct {
        std::uint8_t flags;
        const char* start;
        const char* rin;
    } cases[] = {
        {0x00, "Пуск", "Замер внутр. сопротивления"}, {0x08, "Стоп", "Замер внутр. сопротивления"},
        {0x02, "Пуск", "Замер внутр. сопротивления"}, {0x10, "Пуск", "Сброс индикации Rin"},
        {0x18, "Стоп", "Сброс индикации Rin"},        {0xE7, "Пуск", "Замер внутр. сопротивления"},
        {0xFF, "Стоп", "Сброс индикации Rin"},
    };
    for (const auto& c : cases) {
        for (const int view : {kKeepLine, kTemperatureView}) {
            const PollTexts texts = ComposePollTexts(Reading(c.flags), view);
            EXPECT_EQ(texts.startButtonText, Q(c.start)) << int(c.flags);
            EXPECT_EQ(texts.rinButtonText, Q(c.rin)) << int(c.flags);
        }
    }
}

TEST(DisplayTexts, NumbersUseAPointUnderARussianLocale) {
    // The program runs with the user's locale; a Russian one must not turn "3.712" into "3,712".
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const char* previousC = std::setlocale(LC_ALL, nullptr);
    const std::string savedC = previousC ? previousC : "C";
    std::setlocale(LC_ALL, "ru_RU.UTF-8");

    StatusRecord status = Reading(0);
    status.params[1] = 2700;
    status.capacityMah = 123456;
    const PollTexts texts = ComposePollTexts(status, kKeepLine);
    EXPECT_EQ(texts.displayLine1, Q(" 3.712V R 1.500A"));
    EXPECT_EQ(texts.displayLine2, Q("123.5Ah 01:02:03"));
    EXPECT_EQ(texts.paramText[1], Q("2.700"));
    EXPECT_EQ(CapacityText(12346), Q("12.35Ah"));
    EXPECT_EQ(RinText(12345), Q("Rin      12345mΩ"));

    std::setlocale(LC_ALL, savedC.c_str());
    QLocale::setDefault(previous);
}
