#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

namespace brimvolt::platform {

/** The language the program's texts are written in: Russian, as on the module. */
inline constexpr char16_t kSourceLanguage[] = u"ru";

/** "ru" or "en" for a `--lang` value naming one of the program's languages; nullopt otherwise. */
std::optional<QString> LanguageOption(QStringView value);

/**
 * The language of the interface: `chosen` when it is one of the program's languages (from
 * `--lang`); otherwise the first of the system's interface languages ("en-GB", "ru_RU", "de")
 * that the program has; Russian when none is, and under the C or POSIX locale (`localeName`
 * "C"), whose English is nobody's choice.
 */
QString ChooseLanguage(const QString& chosen, const QStringList& uiLanguages,
                       const QString& localeName);

/** ChooseLanguage over the system's locale. */
QString ChooseLanguage(const QString& chosen);

}  // namespace brimvolt::platform
