// Cell labels: the name, its QR code and what the last test gave, on an A4 sheet or one label
// per page for label printers.

#include "labels/LabelSheet.h"

#include "grading/CellGrading.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>

#include "journal/CellSummary.h"
#include "journal/Journal.h"
#include "labels/QrCode.h"

namespace brimvolt {

namespace {

constexpr int kSheetColumns = 3;
constexpr int kSheetRows = 8;
constexpr double kSheetLabelWidthMm = 70.0;
constexpr double kSheetLabelHeightMm = 37.0;
constexpr int kPdfResolution = 600;
constexpr int kQuietModules = 2;  // white modules around the code, besides the label's margin

/** The largest pixel size at which the text fits the width, from `start` down to `least`. */
QFont FittedFont(QFont font, const QString& text, double width, int start, int least) {
    for (int size = start; size > least; size = size * 9 / 10) {
        font.setPixelSize(size);
        if (QFontMetricsF(font).horizontalAdvance(text) <= width) {
            return font;
        }
    }
    font.setPixelSize(std::max(least, 1));
    return font;
}

}  // namespace

LabelPage LabelPageLayout(std::optional<QSizeF> labelMm) {
    LabelPage page;
    if (labelMm) {
        page.pageMm = *labelMm;
        page.labelsMm.emplace_back(QPointF(0, 0), *labelMm);
        return page;
    }
    page.pageMm = QSizeF(210.0, 297.0);
    const double left = (page.pageMm.width() - kSheetColumns * kSheetLabelWidthMm) / 2.0;
    const double top = (page.pageMm.height() - kSheetRows * kSheetLabelHeightMm) / 2.0;
    for (int row = 0; row < kSheetRows; ++row) {
        for (int column = 0; column < kSheetColumns; ++column) {
            page.labelsMm.emplace_back(left + column * kSheetLabelWidthMm,
                                       top + row * kSheetLabelHeightMm, kSheetLabelWidthMm,
                                       kSheetLabelHeightMm);
        }
    }
    return page;
}

std::optional<QSizeF> ParseLabelSize(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() != 2) {
        return std::nullopt;
    }
    double sides[2] = {};
    for (int k = 0; k < 2; ++k) {
        bool ok = false;
        sides[k] = parts[k].toDouble(&ok);
        if (!ok || !std::isfinite(sides[k]) || sides[k] < kMinLabelMm || sides[k] > kMaxLabelMm) {
            return std::nullopt;
        }
    }
    return QSizeF(sides[0], sides[1]);
}

QStringList LabelCaptions(const LabelCell& cell) {
    QStringList lines;
    lines << (cell.capacityMah ? QCoreApplication::translate("LabelSheet", "%1 мА·ч").arg(*cell.capacityMah) : QCoreApplication::translate("LabelSheet", "емкость не измерена"));
    lines << (cell.rinMohm ? QCoreApplication::translate("LabelSheet", "Rвн %1 мОм").arg(*cell.rinMohm) : QCoreApplication::translate("LabelSheet", "Rвн не измерено"));
    lines << (cell.testedUtc > 0
                  ? QCoreApplication::translate("LabelSheet", "испытана %1")
                        .arg(QDateTime::fromSecsSinceEpoch(cell.testedUtc)
                                 .toLocalTime()
                                 .toString(QStringLiteral("yyyy-MM-dd")))
                  : QCoreApplication::translate("LabelSheet", "не испытана"));
    if (!cell.grade.isEmpty()) {
        lines << QCoreApplication::translate("LabelSheet", "сорт %1").arg(cell.grade);
    }
    return lines;
}

void DrawLabel(QPainter& painter, const QRectF& rect, const LabelCell& cell, double pixelsPerMm) {
    painter.save();
    painter.setClipRect(rect);
    const double margin = std::max(1.5 * pixelsPerMm, 0.06 * std::min(rect.width(), rect.height()));
    const QRectF inner = rect.adjusted(margin, margin, -margin, -margin);
    const bool wide = inner.width() >= inner.height();
    const double codeSide = wide ? std::min(inner.height(), inner.width() * 0.5)
                                 : std::min(inner.width(), inner.height() * 0.5);
    const QRectF codeRect(inner.topLeft(), QSizeF(codeSide, codeSide));
    const QrMatrix code = EncodeQr(cell.name);
    if (code.Ok()) {
        const double module = codeSide / (code.size + 2 * kQuietModules);
        const QPointF origin = codeRect.topLeft() + QPointF(module, module) * kQuietModules;
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        for (int y = 0; y < code.size; ++y) {
            for (int x = 0; x < code.size; ++x) {
                if (code.At(x, y)) {
                    // A hair wider than the module, so neighbours meet without a seam.
                    painter.drawRect(QRectF(origin.x() + x * module, origin.y() + y * module,
                                            module * 1.02, module * 1.02));
                }
            }
        }
    }
    const QRectF textRect =
        wide ? inner.adjusted(codeSide + margin, 0, 0, 0) : inner.adjusted(0, codeSide + margin, 0, 0);
    const QStringList captions = LabelCaptions(cell);
    const double lineHeight = textRect.height() / (captions.size() + 2.0);
    const int nameSize = static_cast<int>(lineHeight * 1.2);
    const int captionSize = static_cast<int>(lineHeight * 0.75);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setBold(true);
    font = FittedFont(font, cell.name, textRect.width(), nameSize, captionSize / 2);
    painter.setPen(Qt::black);
    painter.setFont(font);
    const QFontMetricsF nameMetrics(font);
    const QString name = nameMetrics.elidedText(cell.name, Qt::ElideMiddle, textRect.width());
    double y = textRect.top() + nameMetrics.ascent();
    painter.drawText(QPointF(textRect.left(), y), name);
    y += nameMetrics.descent() + lineHeight * 0.3;
    font.setBold(false);
    for (const QString& caption : captions) {
        const QFont fitted = FittedFont(font, caption, textRect.width(), captionSize, 1);
        painter.setFont(fitted);
        const QFontMetricsF metrics(fitted);
        y += metrics.ascent();
        painter.drawText(QPointF(textRect.left(), y), caption);
        y += metrics.descent() + lineHeight * 0.2;
    }
    painter.restore();
}

QByteArray LabelsPdf(const std::vector<LabelCell>& cells, std::optional<QSizeF> labelMm) {
    const LabelPage page = LabelPageLayout(labelMm);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly)) {
        return {};
    }
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(kPdfResolution);
        writer.setTitle(QCoreApplication::translate("LabelSheet", "Этикетки ячеек"));
        writer.setCreator(QStringLiteral("Brimvolt"));
        writer.setPageLayout(QPageLayout(QPageSize(page.pageMm, QPageSize::Millimeter),
                                         QPageLayout::Portrait, QMarginsF()));
        QPainter painter;
        if (!painter.begin(&writer)) {
            return {};
        }
        const double pixelsPerMm = kPdfResolution / 25.4;
        std::size_t slot = 0;
        for (const LabelCell& cell : cells) {
            if (slot == page.labelsMm.size()) {
                if (!writer.newPage()) {
                    return {};
                }
                slot = 0;
            }
            const QRectF mm = page.labelsMm[slot++];
            DrawLabel(painter,
                      QRectF(mm.topLeft() * pixelsPerMm, mm.size() * pixelsPerMm), cell,
                      pixelsPerMm);
        }
        if (!painter.end()) {
            return {};
        }
    }
    return bytes;
}

std::optional<std::vector<LabelCell>> LabelCellsOf(CJournal& journal, const QStringList& names,
                                                   QString& reason, QString* missing) {
    const auto notThere = [&](const QString& name) {
        reason = QStringLiteral("no cell named \"%1\" in the journal").arg(name);
        if (missing) {
            *missing = name;
        }
        return std::nullopt;
    };
    if (!journal.HasCellRegister()) {
        if (!journal.LastError().isEmpty()) {
            reason = QStringLiteral("read error: %1").arg(journal.LastError());
            return std::nullopt;
        }
        if (!names.isEmpty()) {
            return notThere(names[0]);
        }
        return std::vector<LabelCell>();
    }
    const std::optional<GradingInput> input = ReadGradingInput(journal);
    if (!input) {
        reason = QStringLiteral("read error: %1").arg(journal.LastError());
        return std::nullopt;
    }
    const std::vector<GradedCell> graded =
        GradeCells(input->cells, input->runs, input->links, input->checks, input->bounds);
    std::vector<LabelCell> cells;
    for (const QString& name : names) {
        const auto found = std::find_if(graded.begin(), graded.end(), [&](const GradedCell& g) {
            return g.summary.cell.name == name;
        });
        if (found == graded.end()) {
            return notThere(name);
        }
        const CellSummary& summary = found->summary;
        cells.push_back({summary.cell.name, summary.lastCapacityMah, summary.lastRinMohm,
                         summary.lastTestUtc, GradeText(found->grade.grade)});
    }
    return cells;
}

}  // namespace brimvolt
