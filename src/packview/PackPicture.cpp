// The picture of a pack plan: groups in series, their cells in parallel.

#include "packview/PackPicture.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>

#include "pack/CellCsv.h"

namespace brimvolt {

namespace {

constexpr int kColumnWidth = 110;
constexpr int kCellHeight = 34;
constexpr int kHeaderHeight = 40;
constexpr int kGap = 8;
constexpr int kMaxSide = 8000;

}  // namespace

QSize PackPictureSize(const PackPlan& plan) {
    const int series = static_cast<int>(std::min<std::size_t>(plan.groups.size(), 1000));
    const int parallel =
        plan.groups.empty() ? 0 : static_cast<int>(std::min<std::size_t>(plan.groups[0].size(), 1000));
    return QSize(std::clamp(kGap + series * (kColumnWidth + kGap), 200, kMaxSide),
                 std::clamp(kHeaderHeight + parallel * (kCellHeight + kGap) + kGap, 120, kMaxSide));
}

void DrawPackPicture(QPainter& painter, const QRectF& area, const PackPlan& plan,
                     const std::vector<PackCell>& cells) {
    painter.save();
    painter.fillRect(area, Qt::white);
    if (plan.groups.empty()) {
        painter.restore();
        return;
    }
    const QSize natural = PackPictureSize(plan);
    const double scale = std::min(area.width() / natural.width(), area.height() / natural.height());
    painter.translate(area.topLeft());
    painter.scale(scale, scale);
    painter.setRenderHint(QPainter::Antialiasing);
    double smallest = 0.0;
    double largest = 0.0;
    bool first = true;
    for (const auto& group : plan.groups) {
        for (const int index : group) {
            const double mah = cells[static_cast<std::size_t>(index)].capacityMah;
            smallest = first ? mah : std::min(smallest, mah);
            largest = first ? mah : std::max(largest, mah);
            first = false;
        }
    }
    QFont font = painter.font();
    font.setPixelSize(12);
    QFont bold = font;
    bold.setBold(true);
    for (std::size_t g = 0; g < plan.groups.size(); ++g) {
        const double left = kGap + static_cast<double>(g) * (kColumnWidth + kGap);
        const QRectF header(left, 0, kColumnWidth, kHeaderHeight);
        painter.setPen(Qt::black);
        painter.setFont(bold);
        painter.drawText(header.adjusted(0, 4, 0, -kHeaderHeight / 2), Qt::AlignCenter,
                         QString::number(g + 1));
        painter.setFont(font);
        painter.drawText(header.adjusted(0, kHeaderHeight / 2 - 4, 0, 0), Qt::AlignCenter,
                         CsvNumber(GroupCapacity(plan.groups[g], cells)));
        for (std::size_t c = 0; c < plan.groups[g].size(); ++c) {
            const PackCell& cell = cells[static_cast<std::size_t>(plan.groups[g][c])];
            const QRectF box(left, kHeaderHeight + static_cast<double>(c) * (kCellHeight + kGap),
                             kColumnWidth, kCellHeight);
            const double share =
                largest > smallest ? (cell.capacityMah - smallest) / (largest - smallest) : 0.5;
            painter.setPen(QPen(QColor(60, 60, 60), 1));
            painter.setBrush(QColor::fromHsvF(0.58, 0.15 + 0.55 * share, 0.95 - 0.25 * share));
            painter.drawRoundedRect(box, 5, 5);
            painter.setPen(share > 0.6 ? Qt::white : Qt::black);
            const QRectF text = box.adjusted(4, 1, -4, -1);
            painter.drawText(text.adjusted(0, 0, 0, -kCellHeight / 2), Qt::AlignCenter,
                             QFontMetricsF(font).elidedText(cell.name, Qt::ElideMiddle,
                                                             text.width()));
            painter.drawText(text.adjusted(0, kCellHeight / 2 - 2, 0, 0), Qt::AlignCenter,
                             CsvNumber(cell.capacityMah));
        }
    }
    painter.restore();
}

CPackPicture::CPackPicture(QWidget* parent) : QWidget(parent) { setMinimumHeight(160); }

void CPackPicture::SetPlan(const PackPlan& shown, const std::vector<PackCell>& shownCells) {
    plan = shown;
    cells = shownCells;
    update();
}

void CPackPicture::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawPackPicture(painter, rect(), plan, cells);
}

}  // namespace brimvolt
