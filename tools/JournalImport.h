#pragma once

#include <QStringList>

namespace brimvolt {

/** Whether the words of brimvolt-journal's command line ask for `import`. */
bool IsImportCommand(const QStringList& words);

/** `brimvolt-journal import`: its exit status, its messages printed. argc/argv go to Qt. */
int RunImportCommand(const QStringList& words, int& argc, char** argv);

}  // namespace brimvolt
