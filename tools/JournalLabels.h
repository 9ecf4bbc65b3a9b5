#pragma once

#include <QStringList>

namespace brimvolt {

/** Whether the words of brimvolt-journal's command line ask for `labels`. */
bool IsLabelsCommand(const QStringList& words);

/** `brimvolt-journal labels`: its exit status, its messages printed. argc/argv go to Qt. */
int RunLabelsCommand(const QStringList& words, int& argc, char** argv);

}  // namespace brimvolt
