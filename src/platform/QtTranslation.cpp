#include "platform/QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTextStream>
#include <QTranslator>

#include "platform/Language.h"

namespace brimvolt::platform {

namespace {

std::unique_ptr<QTranslator> Install(const QString& name, const QString& folder) {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(name, folder) || !QCoreApplication::installTranslator(translator.get())) {
        return nullptr;
    }
    return translator;
}

}  // namespace

std::unique_ptr<QTranslator> InstallQtTranslation(const QString& language) {
    // qtbase holds every text of Core, Gui and Widgets; the serial port module shows none.
    return Install(QStringLiteral("qtbase_") + language,
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

std::unique_ptr<QTranslator> InstallProgramTranslation(const QString& language) {
    if (language == QStringView(kSourceLanguage)) {
        return nullptr;
    }
    return Install(QStringLiteral("brimvolt_") + language, QStringLiteral(":/i18n"));
}

Translations InstallTranslations(const QString& language, const char* program) {
    Translations translations;
    translations.qt = InstallQtTranslation(language);
    // Qt's texts are English in the first place: without its English file nothing is lost.
    if (!translations.qt && language != QLatin1String("en")) {
        QTextStream(stderr) << program << ": Qt's own texts in language \"" << language
                            << "\" were not found; dialogs and standard buttons stay English\n";
    }
    if (language != QStringView(kSourceLanguage)) {
        translations.program = InstallProgramTranslation(language);
        if (!translations.program) {
            QTextStream(stderr) << program << ": the texts in language \"" << language
                                << "\" were not found; the interface stays Russian\n";
        }
    }
    return translations;
}

}  // namespace brimvolt::platform
