#include "platform/Language.h"

#include <QLocale>

namespace brimvolt::platform {

std::optional<QString> LanguageOption(QStringView value) {
    for (const QStringView known : {QStringView(u"ru"), QStringView(u"en")}) {
        if (value.compare(known, Qt::CaseInsensitive) == 0) {
            return known.toString();
        }
    }
    return std::nullopt;
}

QString ChooseLanguage(const QString& chosen, const QStringList& uiLanguages,
                       const QString& localeName) {
    if (const std::optional<QString> language = LanguageOption(chosen)) {
        return *language;
    }
    if (localeName == QLatin1String("C") || localeName == QLatin1String("POSIX")) {
        return QString::fromUtf16(kSourceLanguage);
    }
    for (const QString& uiLanguage : uiLanguages) {
        // "en-Latn-US", "ru_RU": the language is what stands before the first separator.
        qsizetype end = 0;
        while (end < uiLanguage.size() && uiLanguage[end].isLetter()) {
            ++end;
        }
        if (const std::optional<QString> language =
                LanguageOption(QStringView(uiLanguage).left(end))) {
            return *language;
        }
    }
    return QString::fromUtf16(kSourceLanguage);
}

QString ChooseLanguage(const QString& chosen) {
    const QLocale system = QLocale::system();
    return ChooseLanguage(chosen, system.uiLanguages(), system.name());
}

}  // namespace brimvolt::platform
