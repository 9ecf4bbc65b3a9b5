#include <gtest/gtest.h>

#include "platform/Language.h"

namespace {

using brimvolt::platform::ChooseLanguage;
using brimvolt::platform::LanguageOption;

TEST(InterfaceLanguage, OptionFirstThenTheFirstSystemLanguageTheProgramHasElseRussian) {
    struct Case {
        QString option;
        QStringList uiLanguages;
        QString localeName;
        QString expected;
    };
    const Case cases[] = {
        // --lang wins over any system.
        {"en", {"ru-RU", "ru"}, "ru_RU", "en"},
        {"ru", {"en-US", "en"}, "en_US", "ru"},
        {"EN", {}, "C", "en"},
        {"en", {"C"}, "C", "en"},
        // The system's list in its own order: the first language the program has.
        {"", {"en-US", "en-Latn-US", "en"}, "en_US", "en"},
        {"", {"ru-RU", "ru-Cyrl-RU", "ru"}, "ru_RU", "ru"},
        {"", {"de", "de-DE", "en", "en-US"}, "de_DE", "en"},
        {"", {"de", "ru", "en"}, "de_DE", "ru"},
        {"", {"en_GB"}, "en_GB", "en"},
        {"", {"uk-UA", "uk"}, "uk_UA", "ru"},
        // A language only looks like one the program has.
        {"", {"eng", "rus"}, "en_US", "ru"},
        {"", {"enx-US", "en-AU"}, "en_AU", "en"},
        // None of them, or no list at all: Russian.
        {"", {"fr-FR", "fr"}, "fr_FR", "ru"},
        {"", {}, "en_US", "ru"},
        // The C and POSIX locales choose nothing, even with an English list beside them.
        {"", {"C"}, "C", "ru"},
        {"", {"en", "en-US"}, "C", "ru"},
        {"", {"en"}, "POSIX", "ru"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(
            (c.option + " | " + c.uiLanguages.join(',') + " | " + c.localeName).toStdString());
        EXPECT_EQ(ChooseLanguage(c.option, c.uiLanguages, c.localeName), c.expected);
    }
}

TEST(InterfaceLanguage, OptionValuesNameOnlyTheProgramsLanguages) {
    EXPECT_EQ(LanguageOption(u"ru"), QString("ru"));
    EXPECT_EQ(LanguageOption(u"En"), QString("en"));
    for (const char16_t* value : {u"", u"de", u"english", u"en-US", u"ru ", u"r"}) {
        EXPECT_EQ(LanguageOption(value), std::nullopt) << QString::fromUtf16(value).toStdString();
    }
}

}  // namespace
