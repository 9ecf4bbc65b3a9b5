#pragma once

#include <QString>

namespace brimvolt {

/**
 * 0 when a command may write `out`; else the exit status of a refusal, its one line printed:
 * `out` names the journal at `journal` or a file of it (its write-ahead log, its index), under
 * any name, there now or not. Every command of brimvolt-journal that writes a file asks this
 * before it reads anything.
 */
int RefuseJournalAsOutput(const QString& out, const QString& journal);

}  // namespace brimvolt
