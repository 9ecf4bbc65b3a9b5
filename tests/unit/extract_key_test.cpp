#include <gtest/gtest.h>

#include <QString>

#include "plot/ExtractAfterKey.h"

namespace brimvolt {
namespace {

struct LookupCase {
    const char16_t* text;
    const char16_t* key;
    const char16_t* separator;
    const char16_t* expected;
};

TEST(ExtractAfterKey, FindsTheValueAfterTheFirstKeyAndSeparator) {
    const LookupCase cases[] = {
        {u"red\t= 255\r\ngreen\t= 127\r\n", u"red", u"=", u"255"},
        {u"red\t= 255\r\ngreen\t= 127\r\n", u"green", u"=", u"127"},
        {u"\uFEFFЕмкость: 2.345Ah\r\nВремя: 01:00:00", u"мкость", u":", u"2.345Ah"},
        // The first occurrence of the key counts, and the first separator at or after it.
        {u"red=1\r\nred=2\r\n", u"red", u"=", u"1"},
        {u"x=9 red=2", u"red", u"=", u"2"},
        {u"a=5", u"a=", u"=", u"5"},
        // The separator may lie beyond the key's own line.
        {u"red\r\nblue=4", u"red", u"=", u"4"},
        // Without a separator after the key the value is read from the start of the text.
        {u"colour red", u"red", u"=", u"colour red"},
        {u"x=1\r\nred", u"red", u"=", u"x=1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExtractAfterKey(QString::fromUtf16(c.text), QString::fromUtf16(c.key),
                                  QString::fromUtf16(c.separator)),
                  QString::fromUtf16(c.expected))
            << QString::fromUtf16(c.text).toStdString();
    }
}

TEST(ExtractAfterKey, MissingOrDifferentlyCasedKeyGivesNothing) {
    EXPECT_EQ(ExtractAfterKey("green=1", "red", "="), QString());
    EXPECT_EQ(ExtractAfterKey("Red=1", "red", "="), QString());
    EXPECT_EQ(ExtractAfterKey("", "red", "="), QString());
}

TEST(ExtractAfterKey, ValueEndsAtControlCharactersAndLosesOnlySpaces) {
    const LookupCase cases[] = {
        {u"red=  7  \r\n", u"red", u"=", u"7"},
        {u"red= 25\t5", u"red", u"=", u"25"},
        {u"red=\t7", u"red", u"=", u""},
        {u"red=1\x01"
         u"2",
         u"red", u"=", u"1"},
        {u"red= 1 2 ", u"red", u"=", u"1 2"},
        // Only U+0020 is trimmed: a no-break space stays.
        {u"red=\u00A07\u00A0", u"red", u"=", u"\u00A07\u00A0"},
        {u"red=", u"red", u"=", u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExtractAfterKey(QString::fromUtf16(c.text), QString::fromUtf16(c.key),
                                  QString::fromUtf16(c.separator)),
                  QString::fromUtf16(c.expected))
            << QString::fromUtf16(c.text).toStdString();
    }
}

}  // namespace
}  // namespace brimvolt
