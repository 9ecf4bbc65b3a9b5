#include "benchview/BenchTile.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QPushButton>
#include <algorithm>
#include <vector>

#include "benchview/TileLook.h"
#include "channel/BenchModel.h"
#include "plot/CurveGrid.h"
#include "plot/CurveStore.h"

using namespace brimvolt;

namespace {

const QColor kDisplayColor(225, 255, 100);
const QColor kCurveColor(230, 105, 0);
const QColor kFaceColor(252, 252, 252);
const QColor kLabelInk(110, 110, 110);

constexpr int kMargin = 6;
constexpr int kHeaderHeight = 30;
constexpr int kBlockWidth = 196;
constexpr int kBlockHeight = 50;
constexpr int kTextLineHeight = 19;
constexpr int kControlsHeight = 26;
constexpr int kCurveLabelHeight = 14;
// Below this span a flat curve's noise would fill the whole height.
constexpr int kLeastSpanMv = 50;

QFont SansFont(int pixels, bool bold = false) {
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

// The module's 16 characters a line, as large as the block holds two of them.
const QFont& DisplayLineFont() {
    static const QFont font = [] {
        QFont candidate;
        candidate.setFamilies({QStringLiteral("Consolas"), QStringLiteral("Liberation Mono")});
        candidate.setStyleHint(QFont::Monospace);
        for (int pixels = 20; pixels > 6; --pixels) {
            candidate.setPixelSize(pixels);
            const QFontMetrics metrics(candidate);
            if (metrics.horizontalAdvance(QString(16, QLatin1Char('0'))) <= kBlockWidth - 10 &&
                2 * metrics.height() <= kBlockHeight - 4) {
                break;
            }
        }
        return candidate;
    }();
    return font;
}

// A discovery message is longer than a line: smaller, and wrapped.
QFont DisplayMessageFont() {
    QFont font = DisplayLineFont();
    font.setPixelSize(13);
    return font;
}

QString Clock(std::int64_t seconds) {
    const std::int64_t s = std::max<std::int64_t>(seconds, 0);
    return QString::asprintf("%lld:%02d:%02d", static_cast<long long>(s / 3600),
                             static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
}

QString Volts(int millivolts) {
    return QCoreApplication::translate("CBenchTile", "%1 В")
        .arg(QString::asprintf("%.2f", millivolts / 1000.0));
}

struct Column {
    bool has = false;
    std::uint16_t first = 0;
    std::uint16_t last = 0;
    std::uint16_t low = 0;
    std::uint16_t high = 0;
};

/**
 * The extremes of the points in each of `width` columns spread evenly over the curve's time,
 * read through the block summary: the cost grows with the columns, not with the points. Times
 * out of order (a damaged curve) are placed where they fall, point by point.
 */
std::vector<Column> ColumnsOf(const CurveStore& store, const CurveBlocks& blocks,
                              const CurveBlocks::Block& range, int width) {
    std::vector<Column> columns(static_cast<std::size_t>(width));
    const std::int32_t* times = store.sampleTimes.data();
    const std::uint16_t* millivolts = store.sampleMillivolts.data();
    const auto count = static_cast<std::size_t>(LastReadableIndex(store)) + 1;
    // The first point on the left edge, the last on the right one.
    const std::int64_t origin = range.lowX;
    const std::int64_t span = std::max<std::int64_t>(std::int64_t{range.highX} - origin, 1);
    const std::int64_t steps = std::max(width - 1, 1);
    const auto columnOf = [&](std::int64_t t) {
        return static_cast<int>(
            std::clamp<std::int64_t>((t - origin) * steps / span, 0, width - 1));
    };
    const auto firstTimeOf = [&](std::int64_t column) {
        return origin + (column * span + steps - 1) / steps;
    };
    std::size_t i = 0;
    while (i < count) {
        const int c = columnOf(times[i]);
        const std::int64_t columnFirst = firstTimeOf(c);
        const std::int64_t columnLast = firstTimeOf(c + 1) - 1;
        const auto inside = [columnFirst, columnLast](std::int32_t a, std::int32_t b) {
            return a >= columnFirst && b <= columnLast;
        };
        std::uint16_t low = millivolts[i];
        std::uint16_t high = low;
        const std::size_t end = blocks.RunEnd(times, millivolts, i + 1, count, inside, low, high);
        Column& column = columns[static_cast<std::size_t>(c)];
        if (!column.has) {
            column = {true, millivolts[i], millivolts[i], low, high};
        }
        column.low = std::min(column.low, low);
        column.high = std::max(column.high, high);
        column.last = millivolts[end - 1];
        i = end;
    }
    return columns;
}

}  // namespace

CBenchTile::CBenchTile(CBenchModel& model, int channel, QWidget* parent)
    : QWidget(parent), model(model), channel(channel) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    selectBox = new QCheckBox(tr("Выбрать"), this);
    nextCellEdit = new QLineEdit(this);
    nextCellEdit->setPlaceholderText(tr("Следующая ячейка"));
    nextCellEdit->setToolTip(
        tr("Ячейка, которую испытает следующий запуск канала: "
           "наберите или отсканируйте код и нажмите Enter."));
    connect(nextCellEdit, &QLineEdit::returnPressed, this, &CBenchTile::OnNextCellEntered);
    connect(nextCellEdit, &QLineEdit::editingFinished, this, &CBenchTile::OnNextCellLeft);
    checkButton = new QPushButton(tr("Проверить напряжение"), this);
    checkButton->setToolTip(
        tr("Напряжение ячейки в держателе, среднее за 10 с, в журнал: ячейка из поля слева, "
           "а если оно пусто, названная в вопросе."));
    // Enter in the next-cell field gives the cell; it never starts a check.
    checkButton->setAutoDefault(false);
    connect(checkButton, &QPushButton::clicked, this,
            [this] { emit CheckVoltageAsked(this->channel); });
    Refresh();
}

void CBenchTile::Refresh() {
    picture = model.Picture(channel);
    checkButton->setEnabled(!picture.checking);
    faceStale = true;
    update();
}

bool CBenchTile::Selected() const {
    return selectBox->isChecked();
}

void CBenchTile::SetSelected(bool selected) {
    selectBox->setChecked(selected);
}

QSize CBenchTile::sizeHint() const {
    return {450, 212};
}

QSize CBenchTile::minimumSizeHint() const {
    return {400, 200};
}

void CBenchTile::OnNextCellEntered() {
    // A scanner ends every code with Enter: the same cell scanned again is given again.
    SendNextCell();
}

void CBenchTile::OnNextCellLeft() {
    if (nextCellEdit->text().simplified() != sentCell) {
        SendNextCell();
    }
}

void CBenchTile::SendNextCell() {
    sentCell = nextCellEdit->text().simplified();
    model.SetNextCell(channel, sentCell);
}

void CBenchTile::ClearNextCell() {
    nextCellEdit->clear();
    if (!sentCell.isEmpty()) {
        SendNextCell();
    }
}

QRect CBenchTile::CurveRect() const {
    const int left = kMargin + kBlockWidth + 10;
    const int top = kHeaderHeight + kMargin;
    const int bottom = height() - kMargin - kControlsHeight - kMargin;
    return {left, top, std::max(width() - kMargin - left, 1), std::max(bottom - top, 1)};
}

void CBenchTile::resizeEvent(QResizeEvent* event) {
    const int top = height() - kMargin - kControlsHeight;
    const int boxWidth = selectBox->sizeHint().width();
    selectBox->setGeometry(kMargin + 2, top, boxWidth, kControlsHeight);
    const int editLeft = kMargin + 2 + boxWidth + 10;
    const int buttonWidth = checkButton->sizeHint().width();
    const int buttonLeft = width() - kMargin - buttonWidth;
    nextCellEdit->setGeometry(editLeft, top, std::max(buttonLeft - 6 - editLeft, 1),
                              kControlsHeight);
    checkButton->setGeometry(buttonLeft, top, buttonWidth, kControlsHeight);
    faceStale = true;
    QWidget::resizeEvent(event);
}

bool CBenchTile::UpdateCurveImage() {
    const CurveStore& store = model.Curve(channel);
    const QRect rect = CurveRect();
    const CurveKey key{store.sampleTimes.data(), store.revision, store.lastIndex, rect.size()};
    if (key == curveKey && !curveImage.isNull()) {
        return false;
    }
    curveKey = key;
    const qreal ratio = devicePixelRatioF();
    curveImage = QImage(rect.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    curveImage.setDevicePixelRatio(ratio);
    curveImage.fill(Qt::white);
    QPainter painter(&curveImage);
    painter.setPen(QColor(200, 200, 200));
    painter.drawRect(0, 0, rect.width() - 1, rect.height() - 1);

    const CurveBlocks& blocks = summary.Of(store);
    const std::int32_t last = LastReadableIndex(store);
    const QRect plot(2, kCurveLabelHeight + 2, rect.width() - 4,
                     rect.height() - 2 * kCurveLabelHeight - 4);
    painter.setFont(SansFont(11));
    painter.setPen(kLabelInk);
    // A run's first point alone is no curve yet.
    if (last < 1 || plot.width() < 2 || plot.height() < 2) {
        painter.drawText(QRect(0, 0, rect.width(), rect.height()), Qt::AlignCenter,
                         tr("Нет кривой"));
        return true;
    }
    const CurveBlocks::Block range =
        blocks.Range(store.sampleTimes.data(), store.sampleMillivolts.data(),
                     static_cast<std::size_t>(last) + 1);
    int low = range.lowY;
    int high = range.highY;
    if (high - low < kLeastSpanMv) {
        low = std::max(0, (low + high - kLeastSpanMv) / 2);
        high = low + kLeastSpanMv;
    }
    const QRect labels(4, 1, rect.width() - 8, rect.height() - 2);
    painter.drawText(labels, Qt::AlignLeft | Qt::AlignTop, Volts(high));
    painter.drawText(labels, Qt::AlignLeft | Qt::AlignBottom, Volts(low));
    painter.drawText(labels, Qt::AlignRight | Qt::AlignBottom,
                     Clock(std::int64_t{range.highX} - range.lowX));

    const std::vector<Column> columns = ColumnsOf(store, blocks, range, plot.width());
    const double scale = static_cast<double>(plot.height() - 1) / (high - low);
    const auto yOf = [&](std::uint16_t mv) { return plot.top() + (high - mv) * scale; };
    QPolygonF line;
    line.reserve(static_cast<qsizetype>(4 * columns.size()));
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const Column& column = columns[c];
        if (!column.has) {
            continue;
        }
        const double x = plot.left() + static_cast<double>(c) + 0.5;
        line << QPointF(x, yOf(column.first)) << QPointF(x, yOf(column.low))
             << QPointF(x, yOf(column.high)) << QPointF(x, yOf(column.last));
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kCurveColor, 1.5));
    painter.drawPolyline(line);
    return true;
}

void CBenchTile::DrawFace() {
    const qreal ratio = devicePixelRatioF();
    if (face.size() != size() * ratio) {
        face = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
        face.setDevicePixelRatio(ratio);
    }
    face.fill(palette().window().color());
    QPainter painter(&face);
    const QRect whole = rect().adjusted(0, 0, -1, -1);
    painter.setPen(hasFocus() ? QPen(palette().highlight().color(), 2)
                              : QPen(QColor(175, 175, 175)));
    painter.setBrush(kFaceColor);
    painter.drawRect(hasFocus() ? whole.adjusted(1, 1, 0, 0) : whole);

    // The header in the state's colour: the phase reads from across the room.
    const TileLook look = LookOf(picture);
    const QRect header(2, 2, width() - 4, kHeaderHeight - 2);
    painter.fillRect(header, look.fill);
    painter.setPen(look.ink);
    painter.setFont(SansFont(17, true));
    const QRect headerText = header.adjusted(kMargin + 2, 0, -kMargin - 2, 0);
    painter.drawText(headerText, Qt::AlignLeft | Qt::AlignVCenter, PortText(picture));
    const int portWidth = painter.fontMetrics().horizontalAdvance(PortText(picture));
    painter.setFont(SansFont(15, true));
    painter.drawText(headerText.adjusted(portWidth + 12, 0, 0, 0),
                     Qt::AlignRight | Qt::AlignVCenter,
                     painter.fontMetrics().elidedText(look.word, Qt::ElideRight,
                                                      headerText.width() - portWidth - 12));

    // The module's display block, as on the main window.
    const QRect block(kMargin, kHeaderHeight + kMargin, kBlockWidth, kBlockHeight);
    painter.setPen(Qt::black);
    painter.setBrush(kDisplayColor);
    painter.drawRect(block.adjusted(0, 0, -1, -1));
    const QRect blockText = block.adjusted(5, 2, -5, -2);
    painter.save();
    painter.setClipRect(block.adjusted(1, 1, -1, -1));
    if (picture.line2.isEmpty()) {
        painter.setFont(picture.line1.size() > 16 ? DisplayMessageFont() : DisplayLineFont());
        painter.drawText(blockText, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
                         picture.line1);
    } else {
        painter.setFont(DisplayLineFont());
        const int lineHeight = blockText.height() / 2;
        painter.drawText(blockText.adjusted(0, 0, 0, -lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         picture.line1);
        painter.drawText(blockText.adjusted(0, lineHeight, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         picture.line2);
    }
    painter.restore();

    painter.setPen(palette().windowText().color());
    painter.setFont(SansFont(13));
    const QFontMetrics metrics = painter.fontMetrics();
    int lineTop = block.bottom() + 6;
    for (const QString& text : {CellLine(picture), ProgramLine(picture), picture.checkNote}) {
        painter.drawText(QRect(kMargin + 2, lineTop, kBlockWidth, kTextLineHeight),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(text, Qt::ElideRight, kBlockWidth));
        lineTop += kTextLineHeight;
    }
    painter.drawImage(CurveRect().topLeft(), curveImage);
    faceStale = false;
}

void CBenchTile::paintEvent(QPaintEvent*) {
    if (UpdateCurveImage() || faceStale) {
        DrawFace();
    }
    QPainter painter(this);
    painter.drawImage(0, 0, face);
}

void CBenchTile::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        model.OpenChannel(channel);
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void CBenchTile::keyPressEvent(QKeyEvent* event) {
    // The next-cell field leaves its Enter to its parent: that one ends here and opens nothing.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (hasFocus()) {
                model.OpenChannel(channel);
            }
            return;
        case Qt::Key_Space:
            if (hasFocus()) {
                selectBox->toggle();
                return;
            }
            break;
        default:
            break;
    }
    QWidget::keyPressEvent(event);
}

void CBenchTile::focusInEvent(QFocusEvent* event) {
    faceStale = true;
    update();
    QWidget::focusInEvent(event);
}

void CBenchTile::focusOutEvent(QFocusEvent* event) {
    faceStale = true;
    update();
    QWidget::focusOutEvent(event);
}
