#pragma once

#include <QStringList>

namespace brimvolt {

/** Whether the words of brimvolt-journal's command line ask for `report`. */
bool IsReportCommand(const QStringList& words);

/** `brimvolt-journal report`: its exit status, its messages printed. argc/argv go to Qt. */
int RunReportCommand(const QStringList& words, int& argc, char** argv);

}  // namespace brimvolt
