#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

#include "grading/CellGrading.h"

namespace brimvolt {

/** What a batch report tells: the cells graded, and of which journal and when. */
struct GradeReportInput {
    std::vector<GradedCell> cells;
    std::optional<Grade> only;  // the cells of that grade only
    QDateTime made;
    QString journalName;
};

/** The cells the report lists, in its order: by grade (A, B, C, reject, none), then by name. */
std::vector<const GradedCell*> GradeReportRows(const GradeReportInput& input);

/**
 * The report as a PDF of A4 pages, in the interface's language: the counts by grade and the
 * histograms of share, Rin and self-discharge on the first page, then the table of the cells,
 * its header on every page. Empty when it could not be drawn.
 */
QByteArray GradeReportPdf(const GradeReportInput& input);

/**
 * Writes the report whole or not at all (an existing file stays as it was on a failure); false
 * with the reason, in the interface's language, when it could not.
 */
bool WriteGradeReport(const QString& path, const GradeReportInput& input, QString& error);

}  // namespace brimvolt
