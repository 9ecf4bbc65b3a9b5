#pragma once

#include <QStringList>

namespace brimvolt {

/** Whether the words of brimvolt-journal's command line ask for check, cell-set, bounds or cells.
 */
bool IsGradingCommand(const QStringList& words);

/** Those commands: the exit status, the messages printed. argc/argv go to Qt. */
int RunGradingCommand(const QStringList& words, int& argc, char** argv);

}  // namespace brimvolt
