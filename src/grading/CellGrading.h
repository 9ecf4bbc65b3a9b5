#pragma once

#include <QHash>
#include <QString>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "grading/GradeBounds.h"
#include "journal/CellSummary.h"
#include "journal/CheckRecord.h"
#include "journal/RunRecord.h"

namespace brimvolt {

class CJournal;

/** The cell's latest run that could change its charge (a rest cannot). */
struct LastRunOfCell {
    std::int64_t endUtc = 0;
    bool charge = false;
};

/**
 * How the cell holds its charge: its storage begins with the first check after its latest run
 * (a cell with no run was charged elsewhere: its first check), and each later check gives the
 * drop since then. A new run ends the storage.
 */
struct CellStorage {
    enum class State : std::uint8_t {
        NoCheck,                // no check since its latest run, which was no charge (or no run)
        NotCheckedSinceCharge,  // charged, and not checked since
        Begun,                  // one check since: the storage's start
        Measured,               // two checks or more since: a drop
    };
    State state = State::NoCheck;
    std::optional<CheckRecord> first;   // the check that began it
    std::optional<CheckRecord> latest;  // the latest check of it
    /** First minus latest, in mV: what it lost. */
    std::optional<double> DropMv() const;
    /** Days between the first and the latest check. */
    std::optional<double> Days() const;
    /** The drop over the days, when they are more than none. */
    std::optional<double> DropMvPerDay() const;
};

/** The cell's checks in time order; its latest run, if any. */
CellStorage StorageOfCell(std::span<const CheckRecord> checks,
                          const std::optional<LastRunOfCell>& lastRun);

/**
 * Each cell's storage, in the cells' order, from the checks in any order; `lastRuns` holds the
 * latest run of each cell that had one, by the cell's id.
 */
std::vector<CellStorage> StoragesOfCells(const std::vector<CellRecord>& cells,
                                         const std::vector<CheckRecord>& checks,
                                         const QHash<std::int64_t, LastRunOfCell>& lastRuns);

enum class Grade : std::uint8_t { None, A, B, C, Reject };

/** The grade and the rule that gave it ("Rin 112 мОм > 80"). */
struct CellGrade {
    Grade grade = Grade::None;
    QString rule;
};

/**
 * A Rin above its bound, then a self-discharge above its bound over a storage long enough to
 * count, reject the cell; else its share of the nominal gives A, B or C, and below C rejects it.
 * A cell whose share is not known gets no grade unless one of the first two rejects it.
 */
CellGrade GradeCell(const GradeBoundsRecord& bounds, std::optional<double> sharePercent,
                    std::optional<double> rinMohm, const CellStorage& storage);

/** "A", "B", "C", "брак"; empty for none. */
QString GradeText(Grade grade);
/** "A", "B", "C", "reject"; empty for none: the command line's words. */
QString GradeWord(Grade grade);
/** A word of the command line or a grade's text: A, B, C, reject or брак. */
std::optional<Grade> GradeOfWord(const QString& word);
/** Whether the grade is `lowest` or better; no grade is never. */
bool GradeAtLeast(Grade grade, Grade lowest);
/** Grades from the best: A, B, C, reject, none. */
int GradeRank(Grade grade);

/** A cell with everything it is graded on. */
struct GradedCell {
    CellSummary summary;
    CellStorage storage;
    std::optional<double> sharePercent;  // the last discharge against the nominal
    CellGrade grade;
};

/** Every cell of the register graded, in its order. */
std::vector<GradedCell> GradeCells(const std::vector<CellRecord>& cells,
                                   const std::vector<RunRecord>& runs,
                                   const std::vector<RunCellLink>& links,
                                   const std::vector<CheckRecord>& checks,
                                   const GradeBoundsSet& bounds);

/** What grading reads of a journal. */
struct GradingInput {
    std::vector<CellRecord> cells;
    std::vector<RunRecord> runs;
    std::vector<RunCellLink> links;
    std::vector<CheckRecord> checks;
    GradeBoundsSet bounds;
};
/** Reads it; nullopt with the journal's LastError() on a failure. */
std::optional<GradingInput> ReadGradingInput(CJournal& journal);

/** The number as the windows show a figure: at most `decimals`, no trailing zeros. */
QString GradingNumber(double value, int decimals = 1);

}  // namespace brimvolt
