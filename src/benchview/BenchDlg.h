#pragma once

#include <QDialog>
#include <QList>
#include <vector>

class CBenchTile;
class QGridLayout;
class QPushButton;
class QScrollArea;

namespace brimvolt {
class CBenchModel;
}
namespace brimvolt::platform {
class CDialogs;
}

/**
 * "Стенд": a tile per channel of the bench, and the buttons that act on the selected ones. The
 * window holds no channel state: it shows the model's pictures and passes the operator's
 * requests on.
 */
class CBenchDlg : public QDialog {
    Q_OBJECT
public:
    CBenchDlg(brimvolt::platform::CDialogs& dialogs, brimvolt::CBenchModel& model,
              QWidget* parent = nullptr);

    /** Leaves every channel and closes, without asking: the session ends. */
    void Leave();

    CBenchTile* Tile(int channel) const;
    int TileCount() const { return static_cast<int>(tiles.size()); }
    /** The selected channels, in their order. */
    QList<int> SelectedChannels() const;

    // Handlers of the window's buttons.
    void OnStart();
    void OnStop();
    void OnProgram();
    void OnSelectAll();
    /**
     * A tile's "Проверить напряжение": the cell of its next-cell field, which the check takes,
     * or the one the operator names when the field is empty. A refusal is told.
     */
    void OnCheckVoltage(int channel);
    /** The one way out (the button, the close box, Esc): asks while channels are busy. */
    void OnExit();

    void reject() override { OnExit(); }
    QSize sizeHint() const override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void OnChannelAdded(int channel);
    void OnChannelChanged(int channel);
    void PlaceTiles();
    /** The selected channels; with none, tells the operator so and gives an empty list. */
    QList<int> SelectedOrSay();

    brimvolt::platform::CDialogs& dialogs;
    brimvolt::CBenchModel& model;
    std::vector<CBenchTile*> tiles;
    bool leaving = false;

    QScrollArea* scrollArea = nullptr;
    QGridLayout* grid = nullptr;
    QPushButton* startButton = nullptr;
    QPushButton* stopButton = nullptr;
    QPushButton* programButton = nullptr;
    QPushButton* selectAllButton = nullptr;
    QPushButton* exitButton = nullptr;
};
