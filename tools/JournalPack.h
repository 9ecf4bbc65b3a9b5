#pragma once

#include <QStringList>

namespace brimvolt {

/** Whether the words of brimvolt-journal's command line ask for `pack`. */
bool IsPackCommand(const QStringList& words);

/** `brimvolt-journal pack`: its exit status, its messages printed. */
int RunPackCommand(const QStringList& words);

}  // namespace brimvolt
