#include <gtest/gtest.h>

#include "module/DisplayTexts.h"
#include "params/ParamEditing.h"
#include "params/ParamTable.h"

using namespace brimvolt;

// The table, the editor and the poll cycle's texts each encode what a parameter is; these
// cases catch one of them drifting from the others.

TEST(ParamTableConsistency, IndexListRowAndStaticAgree) {
    const auto& table = ParamTable();
    for (int i = 0; i < 12; ++i) {
        const ParamInfo& p = table[i];
        EXPECT_EQ(p.index, i);
        EXPECT_EQ(p.listId, i < 5 ? 1001 : 1003) << i;
        EXPECT_EQ(p.row, i < 5 ? i : i - 5) << i;
        EXPECT_EQ(p.staticId, i == 11 ? 1024 : 1010 + i) << i;
        EXPECT_FALSE(p.name.isEmpty()) << i;
        // Volts and amperes are exactly the fractional ones.
        EXPECT_EQ(p.fractional, p.unit == u"V" || p.unit == u"A") << i;
        // A fractional range needs no hint; every integer one has one.
        EXPECT_EQ(p.hint.isEmpty(), p.fractional) << i;
        EXPECT_LE(0, p.spinMin) << i;
        EXPECT_LT(p.spinMin, p.spinMax) << i;
        EXPECT_LE(p.spinMax, 65535) << i;
    }
}

TEST(ParamTableConsistency, ShownValuesMatchThePollTexts) {
    StatusRecord status;
    const std::uint16_t words[] = {0, 1, 7, 999, 1000, 1005, 2700, 16000, 65535};
    for (const std::uint16_t word : words) {
        status.params.fill(word);
        const PollTexts texts = ComposePollTexts(status, 1);
        for (int i = 0; i < 12; ++i) {
            EXPECT_EQ(ShownText(i, word), texts.paramText[i]) << i << " " << word;
        }
    }
}

TEST(ParamTableConsistency, EveryUpDownPositionWritesBackItsOwnWord) {
    // Stepping to a position and writing it must send that position: this exercises the
    // rounding of every thousandth in every fractional range.
    for (const ParamInfo& p : ParamTable()) {
        const bool preset = p.index == 0 || p.index == 2;
        for (int position = p.spinMin; position <= p.spinMax; ++position) {
            const QString text = StepText(p.index, position);
            const auto word = WordToWrite(p.index, text);
            ASSERT_TRUE(word.has_value()) << p.index << " " << text.toStdString();
            ASSERT_EQ(*word, preset ? position - 1 : position)
                << p.index << " " << text.toStdString();
            ASSERT_EQ(SpinPositionFor(p.index, ConvertTyped(text)), position)
                << p.index << " " << text.toStdString();
            // The same text typed with a comma means the same.
            ASSERT_EQ(WordToWrite(p.index, QString(text).replace(u'.', u',')), word);
        }
    }
}
