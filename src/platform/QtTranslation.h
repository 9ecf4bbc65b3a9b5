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

/**
 * The program's own texts in `language` ("en"), from the translations built into it, in force
 * until the returned translator is destroyed. nullptr for Russian, the language the texts are
 * written in, and for a language the program has no translation for.
 */
std::unique_ptr<QTranslator> InstallProgramTranslation(const QString& language);

/** Both translations of a language, the program's own and Qt's. */
struct Translations {
    std::unique_ptr<QTranslator> program;
    std::unique_ptr<QTranslator> qt;
};

/**
 * Installs both translations of `language`; writes a line to stderr for each that is missing,
 * naming `program`, and the texts then stay in their own language.
 */
Translations InstallTranslations(const QString& language, const char* program);

}  // namespace brimvolt::platform
