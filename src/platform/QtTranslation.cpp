#include "platform/QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace brimvolt::platform {

std::unique_ptr<QTranslator> InstallQtTranslation(const QString& language) {
    auto translator = std::make_unique<QTranslator>();
    // qtbase holds every text of Core, Gui and Widgets; the serial port module shows none.
    if (!translator->load(QStringLiteral("qtbase_") + language,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator.get())) {
        return nullptr;
    }
    return translator;
}

}  // namespace brimvolt::platform
