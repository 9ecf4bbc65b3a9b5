#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QWidget>
#include <cstdint>

#include "channel/ChannelPicture.h"
#include "plot/CurveRenderer.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace brimvolt {
class CBenchModel;
}

/**
 * One channel of the bench: its port, the module's display, its state, cell and program, and a
 * small curve of its run. A click on it or Enter opens the channel's own windows; its check box
 * selects it for the bench's buttons, its field names the next cell (a scanner types there),
 * its button asks for a voltage check of the cell in the holder.
 */
class CBenchTile : public QWidget {
    Q_OBJECT
public:
    CBenchTile(brimvolt::CBenchModel& model, int channel, QWidget* parent = nullptr);

    int Channel() const { return channel; }
    /** Takes the channel's picture from the model and repaints if anything shown changed. */
    void Refresh();
    const brimvolt::ChannelPicture& Picture() const { return picture; }

    bool Selected() const;
    void SetSelected(bool selected);
    QCheckBox* SelectBox() const { return selectBox; }
    QLineEdit* NextCellEdit() const { return nextCellEdit; }
    QPushButton* CheckButton() const { return checkButton; }
    /** The next cell went to a voltage check: the field is emptied, and the channel told. */
    void ClearNextCell();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    /** "Проверить напряжение" was pressed: the window finds the cell and asks the model. */
    void CheckVoltageAsked(int channel);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void OnNextCellEntered();
    void OnNextCellLeft();
    void SendNextCell();

    QRect CurveRect() const;
    /** Redraws the small curve when the store's points or the tile's size changed. */
    bool UpdateCurveImage();
    void DrawFace();

    brimvolt::CBenchModel& model;
    const int channel;
    brimvolt::ChannelPicture picture;
    QString sentCell;  // the next cell as last given to the model

    QCheckBox* selectBox = nullptr;
    QLineEdit* nextCellEdit = nullptr;
    QPushButton* checkButton = nullptr;

    // Paint only copies `face`: it is drawn again when the picture, the focus, the size or the
    // curve changed, and the curve from its block summary, never from every point.
    struct CurveKey {
        const void* points = nullptr;
        std::uint64_t revision = 0;
        std::int32_t lastIndex = -1;
        QSize size;
        bool operator==(const CurveKey&) const = default;
    };
    brimvolt::CCurveSummary summary;
    CurveKey curveKey;
    QImage curveImage;
    QImage face;
    bool faceStale = true;
};
