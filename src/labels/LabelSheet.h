#pragma once

#include <QByteArray>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

class QPainter;

namespace brimvolt {

class CJournal;

/** What one label tells of a cell. */
struct LabelCell {
    QString name;
    std::optional<std::int32_t> capacityMah;  // the last discharge
    std::optional<std::uint16_t> rinMohm;     // the last Rin measured
    std::int64_t testedUtc = 0;               // the start of its latest run, 0 for none
    QString grade;                            // "A", "B", "C", "брак"; empty for none
};

/** Where the labels go on a page, in millimetres. */
struct LabelPage {
    QSizeF pageMm;
    std::vector<QRectF> labelsMm;
};

/** Label printers' labels: each side from kMinLabelMm to kMaxLabelMm. */
constexpr double kMinLabelMm = 15.0;
constexpr double kMaxLabelMm = 300.0;

/**
 * An A4 sheet of 3 × 8 labels of 70 × 37 mm without a label size; one label filling a page of
 * that size with one.
 */
LabelPage LabelPageLayout(std::optional<QSizeF> labelMm);

/** "62x29" or "50.8x25.4" (millimetres), each side within the bounds; nullopt otherwise. */
std::optional<QSizeF> ParseLabelSize(const QString& text);

/**
 * The lines under the name: capacity, Rin, the date of the test and the grade when it has one,
 * in the interface's language.
 */
QStringList LabelCaptions(const LabelCell& cell);

/** Draws the label into the rectangle (device pixels, pixelsPerMm of them to a millimetre). */
void DrawLabel(QPainter& painter, const QRectF& rect, const LabelCell& cell, double pixelsPerMm);

/** The labels as a PDF, a sheet or a page per label; empty when it could not be made. */
QByteArray LabelsPdf(const std::vector<LabelCell>& cells, std::optional<QSizeF> labelMm);

/**
 * The cells of those names from the journal's register, with their last capacity, Rin, test
 * and grade; nullopt with a one-line reason (English) when a name is not in the register (that
 * name in `missing`) or reading failed.
 */
std::optional<std::vector<LabelCell>> LabelCellsOf(CJournal& journal, const QStringList& names,
                                                   QString& reason, QString* missing = nullptr);

}  // namespace brimvolt
