#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "platform/Text.h"

using namespace brimvolt::platform;

TEST(Text, LeadingIntegerReadsLikeTheCLibrary) {
    struct Case {
        const char16_t* text;
        std::int32_t value;
        bool found;
    };
    const Case cases[] = {
        {u"42", 42, true},           {u"  -7xyz", -7, true},      {u"+300", 300, true},
        {u"", 0, false},             {u"abc", 0, false},          {u"- 5", 0, false},
        {u"\t\r\n12\r", 12, true},   {u"2,5", 2, true},           {u"99999999999", 2147483647, true},
        {u"-99999999999", -2147483647 - 1, true},
    };
    for (const auto& c : cases) {
        bool found = !c.found;
        EXPECT_EQ(LeadingInteger(QStringView(c.text), &found), c.value) << QString::fromUtf16(c.text).toStdString();
        EXPECT_EQ(found, c.found) << QString::fromUtf16(c.text).toStdString();
    }
}

TEST(Text, LeadingRealIgnoresTheProcessLocale) {
    // Under a Russian locale the C library would read "2.5" as 2; ours never does.
    std::setlocale(LC_ALL, "ru_RU.UTF-8");
    EXPECT_DOUBLE_EQ(LeadingReal(u"2.5"), 2.5);
    std::setlocale(LC_ALL, "C");
    EXPECT_DOUBLE_EQ(LeadingReal(u"  -3.712V"), -3.712);
    EXPECT_DOUBLE_EQ(LeadingReal(u"1e3x"), 1000.0);
    EXPECT_DOUBLE_EQ(LeadingReal(u"12.345Ah"), 12.345);
    EXPECT_DOUBLE_EQ(LeadingReal(u"3,7"), 3.0);
    bool found = true;
    EXPECT_DOUBLE_EQ(LeadingReal(u"Ah", &found), 0.0);
    EXPECT_FALSE(found);
    EXPECT_DOUBLE_EQ(LeadingReal(u"+-5", &found), 0.0);
    EXPECT_FALSE(found);
    EXPECT_TRUE(std::isinf(LeadingReal(u"1e999")));
    EXPECT_TRUE(std::isinf(LeadingReal(u"-inf")));
    EXPECT_TRUE(std::isnan(LeadingReal(u"nan")));
    EXPECT_DOUBLE_EQ(LeadingReal(u"1e-999"), 0.0);
}

TEST(Text, Utf16LeRoundTripsAndDropsAnOddByte) {
    const QString text = QStringLiteral("Емкость: 1.2Ah\r\n");
    const QByteArray bytes = Utf16LeBytes(text);
    ASSERT_EQ(bytes.size(), text.size() * 2);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x15);  // Е is U+0415
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0x04);
    EXPECT_EQ(TextFromUtf16Le(bytes), text);
    EXPECT_EQ(TextFromUtf16Le(bytes + 'x'), text);
}
