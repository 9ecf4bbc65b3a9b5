#pragma once

#include <QString>
#include <memory>

class QTranslator;

namespace brimvolt::platform {

/**
 * Qt's own texts (standard buttons, message boxes, file dialogs, the edit fields' context menus)
 * in `language` ("ru"), from the translations Qt is installed with, put in force for the running
 * application until the returned translator is destroyed. nullptr when Qt has none for it.
 */
std::unique_ptr<QTranslator> InstallQtTranslation(const QString& language);

}  // namespace brimvolt::platform
