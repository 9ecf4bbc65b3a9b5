#pragma once

#include <QString>
#include <QStringList>

namespace brimvolt {

class CJournal;

// The journal tool's exit statuses: done, a run or a file not found, read or written, wrong usage.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

/**
 * 0 when a command may write `out`; else the exit status of a refusal, its one line printed:
 * `out` names the journal at `journal` or a file of it (its write-ahead log, its index), under
 * any name, there now or not. Every command of brimvolt-journal that writes a file asks this
 * before it reads anything.
 */
int RefuseJournalAsOutput(const QString& out, const QString& journal);

/**
 * 0 when a command may write the PDF `out`; else the exit status of a refusal, its line printed:
 * `out` is the journal (see RefuseJournalAsOutput), or its name does not end in .pdf (wrong
 * usage, with `command`'s help). `what` names what is written ("labels are", "the report is").
 */
int RefusePdfOutput(const QString& out, const QString& journal, const QString& what,
                    const char* command);

/** One line on standard error: "brimvolt-journal: MESSAGE". */
void PrintToolError(const QString& message);
/**
 * The message with where to find the help of `command` (the tool's own help when null); returns
 * the exit status of wrong usage.
 */
int ToolUsageError(const QString& message, const char* command);
/** The journal at `path` opened as it is: 0, or the exit status with its one line printed. */
int OpenToolJournal(CJournal& journal, const QString& path);
/**
 * 0 for a cell's name the journal takes (at most kMaxCellName characters, no control
 * characters); else the exit status of wrong usage, its line printed with `command`'s help.
 */
inline constexpr int kMaxCellName = 200;
int RefuseCellName(const QString& name, const char* command);
/** Whether the first word that is neither an option nor the journal's path is `command`. */
bool NamesCommand(const QStringList& words, const char* command);

}  // namespace brimvolt
