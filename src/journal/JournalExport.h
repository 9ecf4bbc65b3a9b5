#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <span>
#include <vector>

#include "journal/ProgramRecord.h"
#include "journal/RunRecord.h"

namespace brimvolt {

struct CurveStore;

/** "H:MM:SS"; hours may run past 99. */
QString DurationText(std::int32_t seconds);
/** "running", "stopped" or "interrupted". */
QString RunStateName(RunState state);
/** "module", "operator", "temperature", "link lost"; empty for none. */
QString EndCauseName(EndCause cause);
/** The start in local time, ISO 8601 with its offset from UTC ("2024-05-01T14:30:00+03:00"). */
QString LocalStartText(std::int64_t startedUtc);

/**
 * One line per run, tab-separated: id, start, port, "discharge", "charge" or "rest", state,
 * duration, capacity (mAh), energy (mWh, three decimals), the cycle and step of a test program's
 * run (empty otherwise), label. Tabs and line breaks of the port and the label become spaces, and
 * control characters U+FFFD, so nothing reaches a terminal as a command.
 */
QByteArray RunListText(std::span<const RunRecord> runs);

/**
 * One line per test program run, tab-separated: id, name, cell, start, state (running, finished,
 * ended, paused), cycles done, end reason; texts as RunListText has them.
 */
QByteArray ProgramListText(std::span<const ProgramRecord> programs);

/**
 * The run as CSV (RFC 4180): a line of two fields per value, "# key:" and the value (id, start,
 * port, kind, label, note, parameters), the column captions, one line per sample. Texts are
 * quoted where they hold the separator, a quote or a line break, and kept whole. `excel`: ";"
 * between fields and decimal commas, a UTF-8 byte-order mark so the spreadsheet reads the labels
 * right, and a "'" before a text starting with "=", "+", "-", "@", a tab or a carriage return,
 * so that no label becomes a formula.
 */
QByteArray RunCsv(const RunRecord& run, std::span<const JournalSample> samples, bool excel);

/**
 * Whether writing a file at `out` would write over the journal at `journal` or one of its
 * companions (its write-ahead log, its index, its rollback journal): the same path, a link to
 * it, or another name of the same file.
 */
bool WritesOverJournal(const QString& out, const QString& journal);

/**
 * The run's voltage curve in `store` exactly as the curve window recorded it: point 0 the cell
 * at rest, a point for every sample up to the store's bound, the length and capacity of the last
 * point held. A run joined while the module's clock ran starts, as such a curve does, with its
 * first reading at 0 s.
 */
void FillCurveStore(const RunRecord& run, std::span<const JournalSample> samples,
                    CurveStore& store);

}  // namespace brimvolt
