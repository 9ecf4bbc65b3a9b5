#include <gtest/gtest.h>

#include "platform/Language.h"

namespace {

TEST(InterfaceLanguage, OptionFirstThenTheFirstSystemLanguageTheProgramHasElseRussian) {
    struct Case {
        QString option;
        QStringList uiLanguages;
        QString localeName;
        QString expected;
    };
    const Case cases[] = {
        {"en", {"ru-RU", "ru"}, "ru_RU", "en"},
        {"ru", {"en-US", "en"}, "en_US", "ru"},
        {"EN", {"C"}, "C", "en"},
        // Not a language of the program: the system decides.
        {"de", {"en-US"}, "en_US", "en"},
        {"en-US", {"ru"}, "ru_RU", "ru"},
        {"", {"en-US", "en-Latn-US", "en"}, "en_US", "en"},
        {"", {"de", "de-DE", "en", "en-US"}, "de_DE", "en"},
        {"", {"de", "ru", "en"}, "de_DE", "ru"},
        {"", {"en_GB"}, "en_GB", "en"},
        {"", {"eng", "enx-US", "rus"}, "en_US", "ru"},
        {"", {"fr-FR", "fr"}, "fr_FR", "ru"},
        {"", {}, "en_US", "ru"},
        // The C and POSIX locales choose nothing, even with an English list beside them.
        {"", {"en", "en-US"}, "C", "ru"},
        {"", {"en"}, "POSIX", "ru"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(
            (c.option + " | " + c.uiLanguages.join(',') + " | " + c.localeName).toStdString());
        EXPECT_EQ(brimvolt::platform::ChooseLanguage(c.option, c.uiLanguages, c.localeName),
                  c.expected);
    }
}

}  // namespace
