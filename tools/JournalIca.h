#pragma once

#include <QStringList>

namespace brimvolt {

/** Whether the words of brimvolt-journal's command line ask for `ica`. */
bool IsIcaCommand(const QStringList& words);

/** `brimvolt-journal ica`: its exit status, its messages printed. argc/argv go to Qt. */
int RunIcaCommand(const QStringList& words, int& argc, char** argv);

}  // namespace brimvolt
