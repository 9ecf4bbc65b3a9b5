#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "journal/CellRecord.h"
#include "journal/ProgramRecord.h"
#include "journal/RunRecord.h"

class QIODevice;

namespace brimvolt {

class CJournal;

/** Several runs of one cell written as one Battery Data Format file, its time running on. */
struct BdfTest {
    std::vector<RunRecord> runs;           // oldest first
    std::optional<CellRecord> cell;        // the runs' cell, when they have one
    std::optional<ProgramRecord> program;  // the program they ran in, when all ran in one
};

/** Why a test could not be gathered from the journal. */
enum class BdfGatherFailure {
    None,
    ReadFailed,       // the journal could not be read: CJournal::LastError()
    NoSuchRun,        // `runId`
    NoSuchCell,       // `cells[0]`
    NoRunsOfCell,     // `cells[0]`
    NoSuchProgram,    // `programId`
    NoRunsOfProgram,  // `programId`
    MixedCells,       // `runIds[k]` is of `cells[k]` (empty for none), two of them differ
};

struct BdfGathered {
    BdfTest test;
    BdfGatherFailure failure = BdfGatherFailure::None;
    std::int64_t runId = 0;
    std::int64_t programId = 0;
    std::vector<std::int64_t> runIds;
    QStringList cells;
};

/** The runs, oldest first by start; refused when they belong to different cells. */
BdfGathered GatherBdfRuns(CJournal& journal, std::span<const std::int64_t> runIds);
/** Every run of the cell, oldest first. */
BdfGathered GatherBdfCell(CJournal& journal, const QString& cell);
/** The runs and rests of the program run, oldest first. */
BdfGathered GatherBdfProgram(CJournal& journal, std::int64_t programId);

struct BdfWriteResult {
    bool ok = false;
    QString reason;         // what failed, when not ok
    std::int64_t rows = 0;  // the samples written
};

/**
 * The test's rows, header first, to `device`: one run's samples read at a time, so the memory
 * taken is that of the longest run, not of the test.
 */
BdfWriteResult WriteBdfRows(CJournal& journal, const BdfTest& test, QIODevice& device);

/** The sidecar: the cell, the runs, the module's parameters, the program, the writer. */
QByteArray BdfSidecarJson(const BdfTest& test);

/** Where the sidecar of `out` goes: a `.bdf`, `.bdf.csv` or `.csv` ending becomes `.json`. */
QString BdfSidecarPath(const QString& out);

/**
 * The file `out` and its sidecar beside it, each whole or not at all (a failed write leaves
 * what was there before).
 */
BdfWriteResult WriteBdfFiles(CJournal& journal, const BdfTest& test, const QString& out);

/**
 * The name the format recommends, `<institution>__<cell>__<YYYYMMDD>_<nnn>.bdf`: the cell's name
 * ("cell" without one) made fit for a file name, the UTC date of the first run, nnn the first
 * number from 001 that no file in `folder` carries yet.
 */
QString BdfRecommendedName(const QString& folder, const BdfTest& test,
                           const QString& institution = QStringLiteral("BRIMVOLT"));

}  // namespace brimvolt
