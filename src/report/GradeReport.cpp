// The batch report: how a batch of cells graded, as an A4 PDF to print or to pass on.

#include "report/GradeReport.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

#include "platform/Files.h"
#include "report/Histogram.h"

namespace brimvolt {

namespace {

constexpr int kResolution = 300;
constexpr double kPxPerMm = kResolution / 25.4;
constexpr double kPageWidthMm = 210;
constexpr double kPageHeightMm = 297;
constexpr double kMarginMm = 15;
constexpr double kContentWidthMm = kPageWidthMm - 2 * kMarginMm;
constexpr double kFooterBaselineMm = kPageHeightMm - 9;
constexpr double kTableBottomMm = kPageHeightMm - kMarginMm;
constexpr double kHeaderHeightMm = 9;
constexpr double kRowHeightMm = 4.6;
constexpr int kRowsPerPage =
    static_cast<int>((kTableBottomMm - kMarginMm - kHeaderHeightMm) / kRowHeightMm);

double Px(double mm) {
    return mm * kPxPerMm;
}

QFont Font(double points, bool bold = false) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(points * kResolution / 72.0))));
    font.setBold(bold);
    return font;
}

/** Text with its left end (or its right end, or its middle) at x, its baseline at y (mm). */
enum class Align { Left, Right, Center };
void Text(QPainter& painter, double xMm, double yMm, const QString& text,
          Align align = Align::Left) {
    const double width = QFontMetricsF(painter.font(), painter.device()).horizontalAdvance(text);
    double x = Px(xMm);
    if (align == Align::Right) {
        x -= width;
    } else if (align == Align::Center) {
        x -= width / 2;
    }
    painter.drawText(QPointF(x, Px(yMm)), text);
}

double TextWidthMm(const QPainter& painter, const QString& text) {
    return QFontMetricsF(painter.font(), painter.device()).horizontalAdvance(text) / kPxPerMm;
}

QString Elided(const QPainter& painter, const QString& text, double widthMm) {
    return QFontMetricsF(painter.font(), painter.device())
        .elidedText(text, Qt::ElideRight, Px(widthMm));
}

QString Optional(const std::optional<double>& value, int decimals) {
    return value ? GradingNumber(*value, decimals) : QString();
}

void Footer(QPainter& painter, int page, int pages) {
    painter.setFont(Font(8));
    painter.setPen(Qt::black);
    Text(painter, kPageWidthMm / 2, kFooterBaselineMm,
         QCoreApplication::translate("GradeReport", "Страница %1 из %2").arg(page).arg(pages),
         Align::Center);
}

// The first page: the title, the counts by grade, the histograms.

/** Cells by grade, in rank order (A, B, C, reject, none). */
std::array<int, 5> CountsByRank(const std::vector<const GradedCell*>& rows) {
    std::array<int, 5> counts{};
    for (const GradedCell* cell : rows) {
        ++counts[static_cast<std::size_t>(GradeRank(cell->grade.grade))];
    }
    return counts;
}

double DrawCounts(QPainter& painter, double top, const std::vector<const GradedCell*>& rows) {
    const std::array<int, 5> counts = CountsByRank(rows);
    const int total = static_cast<int>(rows.size());
    const double columns[] = {kMarginMm, kMarginMm + 45, kMarginMm + 70};
    double y = top;
    painter.setFont(Font(10, true));
    Text(painter, columns[0], y, QCoreApplication::translate("GradeReport", "Сорт"));
    Text(painter, columns[1], y, QCoreApplication::translate("GradeReport", "Ячеек"), Align::Right);
    Text(painter, columns[2], y, QCoreApplication::translate("GradeReport", "Доля"), Align::Right);
    painter.setPen(QPen(Qt::black, Px(0.2)));
    painter.drawLine(QPointF(Px(columns[0]), Px(y + 1.5)), QPointF(Px(columns[2]), Px(y + 1.5)));
    const Grade grades[] = {Grade::A, Grade::B, Grade::C, Grade::Reject, Grade::None};
    for (std::size_t line = 0; line <= std::size(grades); ++line) {
        const bool all = line == std::size(grades);
        const int count = all ? total : counts[static_cast<std::size_t>(GradeRank(grades[line]))];
        y += 5.5;
        painter.setFont(Font(10, all));
        Text(painter, columns[0], y,
             all ? QCoreApplication::translate("GradeReport", "всего")
             : grades[line] == Grade::None ? QCoreApplication::translate("GradeReport", "без сорта")
                                           : GradeText(grades[line]));
        Text(painter, columns[1], y, QString::number(count), Align::Right);
        if (total > 0) {
            Text(painter, columns[2], y,
                 QStringLiteral("%1 %").arg(GradingNumber(100.0 * count / total)), Align::Right);
        }
    }
    return y;
}

struct HistogramPlot {
    QString title;
    QString axis;
    Histogram histogram;
};

void DrawHistogram(QPainter& painter, const QRectF& mm, const HistogramPlot& plot) {
    const Histogram& histogram = plot.histogram;
    painter.setPen(Qt::black);
    painter.setFont(Font(10, true));
    Text(painter, mm.left(), mm.top() + 4, plot.title);
    const int shown = std::accumulate(histogram.counts.begin(), histogram.counts.end(), 0);
    painter.setFont(Font(8));
    Text(painter, mm.right(), mm.top() + 4,
         QCoreApplication::translate("GradeReport", "на графике %1, не измерено %2")
             .arg(shown)
             .arg(histogram.missing),
         Align::Right);

    const QRectF area(mm.left() + 12, mm.top() + 10, mm.width() - 14, mm.height() - 20);
    Text(painter, mm.left(), area.top() - 2, QCoreApplication::translate("GradeReport", "ячеек"));
    painter.setFont(Font(8));
    Text(painter, area.center().x(), area.bottom() + 9, plot.axis, Align::Center);
    if (histogram.counts.empty()) {
        painter.setPen(QPen(Qt::black, Px(0.2)));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(
            QRectF(Px(area.left()), Px(area.top()), Px(area.width()), Px(area.height())));
        Text(painter, area.center().x(), area.center().y(),
             QCoreApplication::translate("GradeReport", "нет измеренных ячеек"), Align::Center);
        return;
    }

    // The count axis: whole steps, room above the highest bar for its count.
    const int highest = std::max(histogram.Highest(), 1);
    const double step = std::max(1.0, RoundStep(highest / 5.0));
    const double top = std::ceil(highest * 1.12 / step) * step;
    const auto yOf = [&](double count) { return area.bottom() - area.height() * count / top; };
    painter.setFont(Font(7));
    for (double tick = 0; tick <= top + step / 2; tick += step) {
        painter.setPen(QPen(QColor(200, 200, 200), Px(0.15)));
        painter.drawLine(QPointF(Px(area.left()), Px(yOf(tick))),
                         QPointF(Px(area.right()), Px(yOf(tick))));
        painter.setPen(Qt::black);
        Text(painter, area.left() - 1.5, yOf(tick) + 1, QString::number(tick, 'f', 0),
             Align::Right);
    }

    const std::size_t bins = histogram.counts.size();
    const double barWidth = area.width() / static_cast<double>(bins);
    // Counts over the bars in the largest size that keeps them apart.
    double countPoints = 7;
    while (countPoints > 4) {
        painter.setFont(Font(countPoints));
        if (TextWidthMm(painter, QString::number(histogram.Highest())) < barWidth * 0.95) {
            break;
        }
        countPoints -= 0.5;
    }
    for (std::size_t bin = 0; bin < bins; ++bin) {
        const int count = histogram.counts[bin];
        const double left = area.left() + barWidth * static_cast<double>(bin);
        if (count > 0) {
            painter.setPen(QPen(Qt::black, Px(0.15)));
            painter.setBrush(QColor(120, 150, 200));
            const double gap = std::min(0.4, barWidth * 0.1);
            painter.drawRect(QRectF(QPointF(Px(left + gap), Px(yOf(count))),
                                    QPointF(Px(left + barWidth - gap), Px(area.bottom()))));
            painter.setPen(Qt::black);
            Text(painter, left + barWidth / 2, yOf(count) - 0.8, QString::number(count),
                 Align::Center);
        }
    }
    painter.setPen(QPen(Qt::black, Px(0.25)));
    painter.setBrush(Qt::NoBrush);
    painter.drawLine(QPointF(Px(area.left()), Px(area.bottom())),
                     QPointF(Px(area.right()), Px(area.bottom())));
    painter.drawLine(QPointF(Px(area.left()), Px(area.top())),
                     QPointF(Px(area.left()), Px(area.bottom())));

    // The bins' edges under the axis, as many as fit side by side.
    painter.setFont(Font(7));
    const int decimals = DecimalsOfStep(histogram.width);
    double widest = 0;
    for (std::size_t edge = 0; edge <= bins; ++edge) {
        widest =
            std::max(widest, TextWidthMm(painter, GradingNumber(histogram.Edge(edge), decimals)));
    }
    const std::size_t every =
        std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil((widest + 1.5) / barWidth)));
    for (std::size_t edge = 0; edge <= bins; edge += every) {
        const double x = area.left() + barWidth * static_cast<double>(edge);
        painter.drawLine(QPointF(Px(x), Px(area.bottom())), QPointF(Px(x), Px(area.bottom() + 1)));
        Text(painter, x, area.bottom() + 4, GradingNumber(histogram.Edge(edge), decimals),
             Align::Center);
    }
}

void DrawFirstPage(QPainter& painter, const GradeReportInput& input,
                   const std::vector<const GradedCell*>& rows) {
    painter.setPen(Qt::black);
    painter.setFont(Font(18, true));
    double y = kMarginMm + 6;
    Text(painter, kMarginMm, y,
         QCoreApplication::translate("GradeReport", "Отчёт о сортировке ячеек"));
    painter.setFont(Font(10));
    y += 8;
    Text(painter, kMarginMm, y,
         QCoreApplication::translate("GradeReport", "Журнал: %1").arg(input.journalName));
    if (input.made.isValid()) {
        y += 5;
        Text(painter, kMarginMm, y,
             QCoreApplication::translate("GradeReport", "Составлен: %1")
                 .arg(input.made.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
    }
    if (input.only) {
        y += 5;
        Text(painter, kMarginMm, y,
             QCoreApplication::translate("GradeReport", "Только сорт %1")
                 .arg(GradeText(*input.only)));
    }
    y = DrawCounts(painter, y + 10, rows);

    std::vector<std::optional<double>> shares, rins, drops;
    for (const GradedCell* cell : rows) {
        shares.push_back(cell->sharePercent);
        rins.push_back(cell->summary.lastRinMohm ? std::optional<double>(*cell->summary.lastRinMohm)
                                                 : std::nullopt);
        drops.push_back(cell->storage.DropMvPerDay());
    }
    const HistogramPlot plots[] = {
        {QCoreApplication::translate("GradeReport", "Ёмкость относительно номинала"),
         QCoreApplication::translate("GradeReport", "ёмкость, % номинала"), HistogramOf(shares)},
        {QCoreApplication::translate("GradeReport", "Внутреннее сопротивление"),
         QCoreApplication::translate("GradeReport", "Rвн, мОм"), HistogramOf(rins)},
        {QCoreApplication::translate("GradeReport", "Саморазряд"),
         QCoreApplication::translate("GradeReport", "саморазряд, мВ/сут"), HistogramOf(drops)},
    };
    const double top = y + 8;
    const double height = (kTableBottomMm - 4 - top) / std::size(plots);
    for (std::size_t k = 0; k < std::size(plots); ++k) {
        DrawHistogram(
            painter,
            QRectF(kMarginMm, top + height * static_cast<double>(k), kContentWidthMm, height - 3),
            plots[k]);
    }
}

// The table of cells.

struct Column {
    const char* title;
    double widthMm;
    Align align;
};

constexpr Column kColumns[] = {
    {QT_TRANSLATE_NOOP("GradeReport", "Ячейка"), 26, Align::Left},
    {QT_TRANSLATE_NOOP("GradeReport", "Химия"), 15, Align::Left},
    {QT_TRANSLATE_NOOP("GradeReport", "Номинал, мА·ч"), 14, Align::Right},
    {QT_TRANSLATE_NOOP("GradeReport", "Ёмкость, мА·ч"), 14, Align::Right},
    {QT_TRANSLATE_NOOP("GradeReport", "Доля, %"), 12, Align::Right},
    {QT_TRANSLATE_NOOP("GradeReport", "Rвн, мОм"), 11, Align::Right},
    {QT_TRANSLATE_NOOP("GradeReport", "Саморазряд, мВ/сут"), 21, Align::Right},
    {QT_TRANSLATE_NOOP("GradeReport", "Дней хранения"), 16, Align::Right},
    {QT_TRANSLATE_NOOP("GradeReport", "Сорт"), 10, Align::Center},
    {QT_TRANSLATE_NOOP("GradeReport", "Правило"), 41, Align::Left},
};
constexpr double kCellPaddingMm = 1;

constexpr double ColumnsWidthMm() {
    double width = 0;
    for (const Column& column : kColumns) {
        width += column.widthMm;
    }
    return width;
}
static_assert(ColumnsWidthMm() == kContentWidthMm,
              "the columns fill the width between the margins");

std::array<QString, std::size(kColumns)> RowTexts(const GradedCell& graded) {
    const CellSummary& summary = graded.summary;
    const CellStorage& storage = graded.storage;
    const bool stored =
        storage.state == CellStorage::State::Begun || storage.state == CellStorage::State::Measured;
    return {
        summary.cell.name,
        ChemistryName(summary.cell.chemistry),
        summary.cell.nominalMah > 0 ? QString::number(summary.cell.nominalMah) : QString(),
        summary.lastCapacityMah ? QString::number(*summary.lastCapacityMah) : QString(),
        Optional(graded.sharePercent, 1),
        summary.lastRinMohm ? QString::number(*summary.lastRinMohm) : QString(),
        Optional(storage.DropMvPerDay(), 2),
        stored ? Optional(storage.Days(), 1) : QString(),
        GradeText(graded.grade.grade),
        graded.grade.rule,
    };
}

void DrawTableHeader(QPainter& painter) {
    painter.setPen(Qt::black);
    painter.setFont(Font(7, true));
    double x = kMarginMm;
    for (const Column& column : kColumns) {
        const QRectF rect(Px(x + kCellPaddingMm), Px(kMarginMm),
                          Px(column.widthMm - 2 * kCellPaddingMm), Px(kHeaderHeightMm - 1));
        const int align = (column.align == Align::Left    ? Qt::AlignLeft
                           : column.align == Align::Right ? Qt::AlignRight
                                                          : Qt::AlignHCenter) |
                          Qt::AlignBottom | Qt::TextWordWrap;
        painter.drawText(rect, align, QCoreApplication::translate("GradeReport", column.title));
        x += column.widthMm;
    }
    painter.setPen(QPen(Qt::black, Px(0.3)));
    const double line = kMarginMm + kHeaderHeightMm;
    painter.drawLine(QPointF(Px(kMarginMm), Px(line)),
                     QPointF(Px(kMarginMm + kContentWidthMm), Px(line)));
}

void DrawRow(QPainter& painter, double top, const GradedCell& cell, bool shaded) {
    if (shaded) {
        painter.fillRect(QRectF(Px(kMarginMm), Px(top), Px(kContentWidthMm), Px(kRowHeightMm)),
                         QColor(238, 238, 238));
    }
    painter.setPen(Qt::black);
    painter.setFont(Font(7));
    const auto texts = RowTexts(cell);
    double x = kMarginMm;
    const double baseline = top + kRowHeightMm - 1.3;
    for (std::size_t k = 0; k < texts.size(); ++k) {
        const Column& column = kColumns[k];
        const QString text = Elided(painter, texts[k], column.widthMm - 2 * kCellPaddingMm);
        const double at = column.align == Align::Left    ? x + kCellPaddingMm
                          : column.align == Align::Right ? x + column.widthMm - kCellPaddingMm
                                                         : x + column.widthMm / 2;
        Text(painter, at, baseline, text, column.align);
        x += column.widthMm;
    }
}

}  // namespace

std::vector<const GradedCell*> GradeReportRows(const GradeReportInput& input) {
    std::vector<const GradedCell*> rows;
    rows.reserve(input.cells.size());
    for (const GradedCell& cell : input.cells) {
        if (!input.only || cell.grade.grade == *input.only) {
            rows.push_back(&cell);
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const GradedCell* a, const GradedCell* b) {
        const int rankA = GradeRank(a->grade.grade);
        const int rankB = GradeRank(b->grade.grade);
        if (rankA != rankB) {
            return rankA < rankB;
        }
        const int byName =
            QString::compare(a->summary.cell.name, b->summary.cell.name, Qt::CaseInsensitive);
        return byName != 0 ? byName < 0 : a->summary.cell.name < b->summary.cell.name;
    });
    return rows;
}

QByteArray GradeReportPdf(const GradeReportInput& input) {
    const std::vector<const GradedCell*> rows = GradeReportRows(input);
    const int tablePages = (static_cast<int>(rows.size()) + kRowsPerPage - 1) / kRowsPerPage;
    const int pages = 1 + tablePages;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly)) {
        return {};
    }
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(kResolution);
        writer.setTitle(QCoreApplication::translate("GradeReport", "Отчёт о сортировке ячеек"));
        writer.setCreator(QStringLiteral("Brimvolt"));
        writer.setPageLayout(
            QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
        QPainter painter;
        if (!painter.begin(&writer)) {
            return {};
        }
        painter.setRenderHint(QPainter::Antialiasing);
        DrawFirstPage(painter, input, rows);
        Footer(painter, 1, pages);
        for (int page = 0; page < tablePages; ++page) {
            if (!writer.newPage()) {
                return {};
            }
            DrawTableHeader(painter);
            const std::size_t first = static_cast<std::size_t>(page) * kRowsPerPage;
            const std::size_t end = std::min(rows.size(), first + kRowsPerPage);
            for (std::size_t row = first; row < end; ++row) {
                DrawRow(
                    painter,
                    kMarginMm + kHeaderHeightMm + kRowHeightMm * static_cast<double>(row - first),
                    *rows[row], (row - first) % 2 == 1);
            }
            Footer(painter, page + 2, pages);
        }
        if (!painter.end()) {
            return {};
        }
    }
    return bytes;
}

bool WriteGradeReport(const QString& path, const GradeReportInput& input, QString& error) {
    const QByteArray pdf = GradeReportPdf(input);
    if (pdf.isEmpty()) {
        error = QCoreApplication::translate("GradeReport", "отчёт не удалось составить");
        return false;
    }
    const platform::WriteResult written = platform::WriteWholeFile(path, pdf);
    if (written) {
        return true;
    }
    error = written.failure == platform::WriteFailure::NotRegular
                ? QCoreApplication::translate("GradeReport", "это папка или устройство, а не файл")
            : written.reason.isEmpty()
                ? QCoreApplication::translate("GradeReport", "запись не удалась")
                : written.reason;
    return false;
}

}  // namespace brimvolt
