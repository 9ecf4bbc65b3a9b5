#pragma once

#include <QStringList>

namespace brimvolt {

/** Whether the words of brimvolt-journal's command line ask for `bdf`. */
bool IsBdfCommand(const QStringList& words);

/** `brimvolt-journal bdf`: its exit status, its messages printed. */
int RunBdfCommand(const QStringList& words);

}  // namespace brimvolt
