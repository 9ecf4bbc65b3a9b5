#include <gtest/gtest.h>

#include <optional>

#include "params/ParamEditing.h"
#include "params/ParamTable.h"

using namespace brimvolt;

namespace {

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

}  // namespace

TEST(ParamEditing, TypedValuesBecomeTheWordsTheModuleStores) {
    const struct {
        int index;
        const char* text;
        std::uint16_t word;
    } cases[] = {
        {1, "2,5", 0x09C4},  // a comma counts as the decimal point
        {1, "1.005", 1005},  // not 1004: the nudge before scaling
        {1, "4.35", 4350},    {3, "0.29", 290}, {3, " 0.5A", 500},
        {5, "20,123", 20123}, {6, "4.5", 4500}, {1, "65.535", 65535},
        {1, "1e1", 10000},  // volts read as a real number, exponent included
        {0, "4", 3},          {2, "1", 0},      {0, "65536", 65535},
        {7, "2.5", 2},        {7, "1e3", 1},  // the integer reading stops at the point
        {7, "65535", 65535},  {7, "0", 0},      {4, "1", 1},
        {11, "120", 120},  // beyond the up-down range, still a 16-bit word: written
        {3, "9", 9000},
    };
    for (const auto& c : cases) {
        const auto word = WordToWrite(c.index, Q(c.text));
        ASSERT_TRUE(word.has_value()) << c.index << " " << c.text;
        EXPECT_EQ(*word, c.word) << c.index << " " << c.text;
    }
}

TEST(ParamEditing, WritesThatWouldWrapOrHoldNoNumberAreRefused) {
    const struct {
        int index;
        const char* text;
    } cases[] = {
        {1, "70"},                                            // 70000 mV would wrap to 4.464 V
        {1, "65.536"}, {3, "-1"},    {1, "1e3"},   {0, "0"},  // preset 0 would wrap to 65535
        {2, "-3"},     {0, "65537"}, {7, "65536"}, {7, "-1"},    {10, "99999999999"}, {0, "abc"},
        {1, "abc"},    {7, ""},      {4, "  "},    {7, ".5"},  // no integer leads the text
        {1, "inf"},    {1, "-inf"},  {1, "nan"},   {1, "1e400"}, {7, "inf"},          {0, "nan"},
        {12, "1"},     {-1, "1"},    {255, "1"},  // no parameter selected
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WordToWrite(c.index, Q(c.text)), std::nullopt) << c.index << " " << c.text;
    }
}

TEST(ParamEditing, TypingMovesTheUpDownControlByTheParameterKind) {
    const struct {
        int index;
        const char* text;
        std::optional<int> position;
    } cases[] = {
        {1, "2,7", 2700},
        {1, "1.005", 1005},
        {5, "20.5", 20500},
        {0, "3", 3},
        {7, "12.9", 12},
        {7, "70000", 70000 - 65536},
        {1, "abc", 0},
        {7, "abc", 0},
        {1, "-1", 65536 - 999},  // trunc toward zero, then the low 16 bits
        {1, "inf", 0},
        {1, "nan", 0},
        {1, "-inf", 0},
        {255, "3", std::nullopt},
        {254, "3", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SpinPositionFor(c.index, ConvertTyped(Q(c.text))), c.position)
            << c.index << " " << c.text;
    }
    // Huge values still land somewhere in 16 bits.
    for (const char* text : {"1e300", "-1e300", "1e18", "123456789.987"}) {
        const auto position = SpinPositionFor(1, ConvertTyped(Q(text)));
        ASSERT_TRUE(position.has_value());
        EXPECT_GE(*position, 0) << text;
        EXPECT_LE(*position, 65535) << text;
    }
}

TEST(ParamEditing, ConvertTypedKeepsBothReadings) {
    const TypedValue comma = ConvertTyped(Q("2,5"));
    EXPECT_EQ(comma.writeValue, 2);
    EXPECT_NEAR(comma.typedValue, 2.5, 1e-8);
    EXPECT_GT(comma.typedValue, 2.5);

    const TypedValue wrapped = ConvertTyped(Q("70000"));
    EXPECT_EQ(wrapped.writeValue, 70000 - 65536);

    const TypedValue none = ConvertTyped(Q("V"));
    EXPECT_EQ(none.writeValue, 0);
    EXPECT_NEAR(none.typedValue, 0.0, 1e-8);

    EXPECT_EQ(WithDecimalPoint(Q("2,5,1")), Q("2.5.1"));
}

TEST(ParamEditing, StepAndShownTextsByParameterKind) {
    EXPECT_EQ(StepText(1, 2701), Q("2.701"));
    EXPECT_EQ(StepText(3, 0), Q("0.000"));
    EXPECT_EQ(StepText(5, 20000), Q("20.000"));
    EXPECT_EQ(StepText(0, 3), Q("3"));
    EXPECT_EQ(StepText(11, 100), Q("100"));
    EXPECT_TRUE(StepText(255, 5).isNull());
    EXPECT_TRUE(StepText(254, 5).isNull());

    EXPECT_EQ(ShownText(1, 2700), Q("2.700"));
    EXPECT_EQ(ShownText(6, 65535), Q("65.535"));
    EXPECT_EQ(ShownText(4, 2), Q("2"));
    EXPECT_EQ(ShownText(7, 65535), Q("65535"));
    EXPECT_TRUE(ShownText(12, 1).isEmpty());
}

TEST(ParamEditing, ArrowStepFromAShownValueGoesOneThousandthFurther) {
    // The value 2.700 V is shown, the operator presses the up arrow once.
    const auto position = SpinPositionFor(1, ConvertTyped(ShownText(1, 2700)));
    ASSERT_EQ(position, 2700);
    EXPECT_EQ(StepText(1, *position + 1), Q("2.701"));
    EXPECT_EQ(StepText(7, 12 + 1), Q("13"));
}

TEST(ParamEditing, PresetShownFromTheModuleIsWrittenBackCountedFromZero) {
    // The module reports preset word 2; the status poll holds it as 3.
    const std::uint16_t held = 2 + 1;
    EXPECT_EQ(ShownText(0, held), Q("3"));
    EXPECT_EQ(SpinPositionFor(0, ConvertTyped(ShownText(0, held))), 3);
    EXPECT_EQ(ParamTable()[0].spinMin, 1);
    EXPECT_EQ(ParamTable()[0].spinMax, 8);
    EXPECT_EQ(WordToWrite(0, Q("4")), 3);
    EXPECT_EQ(WordToWrite(0, ShownText(0, held)), 2);
}

TEST(ParamTableTest, RowsAndListsMatchTheWindow) {
    const auto& table = ParamTable();
    EXPECT_EQ(table[7].listId, 1003);
    EXPECT_EQ(table[7].row, 2);
    EXPECT_EQ(table[11].staticId, 1024);
    EXPECT_EQ(table[10].staticId, 1020);
    EXPECT_EQ(table[1].name, Q("Напряжение отсечки"));
    EXPECT_EQ(table[5].name, Q("Калибровочный коэф. АЦП по напряжению"));
    EXPECT_EQ(table[4].name, Q("Режим работы - разряд (0) / заряд (1)"));
    EXPECT_EQ(table[11].unit, Q("°"));
    EXPECT_EQ(table[6].unit, Q("A"));
    EXPECT_TRUE(table[9].unit.isEmpty());

    EXPECT_EQ(table[1].spinMin, 700);
    EXPECT_EQ(table[1].spinMax, 16000);
    EXPECT_EQ(table[5].spinMin, 18000);
    EXPECT_EQ(table[5].spinMax, 22000);
    EXPECT_EQ(table[10].spinMin, 20);
    EXPECT_EQ(table[10].spinMax, 70);

    EXPECT_EQ(table[2].hint, Q("Номер должен быть в диапазоне от 1 до 8"));
    EXPECT_EQ(table[8].hint, Q("Число должно быть в диапазоне 0 или 1"));
    EXPECT_EQ(table[7].hint, Q("Число должно быть в диапазоне от 0 до 30"));
    EXPECT_EQ(table[10].hint, Q("Число должно быть в диапазоне 20 до 70"));
    EXPECT_EQ(table[11].hint, Q("Число должно быть в диапазоне 30 до 100"));
    EXPECT_TRUE(table[1].hint.isEmpty());
    EXPECT_TRUE(table[6].hint.isEmpty());
}
