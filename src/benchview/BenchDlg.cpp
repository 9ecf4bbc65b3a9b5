#include "benchview/BenchDlg.h"

#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStringList>
#include <QVBoxLayout>
#include <optional>

#include "benchview/BenchTile.h"
#include "benchview/TileLook.h"
#include "channel/BenchModel.h"
#include "channel/CheckStart.h"
#include "cycle/ProgramFile.h"
#include "platform/Dialogs.h"

using namespace brimvolt;

CBenchDlg::CBenchDlg(platform::CDialogs& dialogs, CBenchModel& model, QWidget* parent)
    : QDialog(parent), dialogs(dialogs), model(model) {
    setWindowTitle(tr("Стенд"));
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    auto* layout = new QVBoxLayout(this);
    scrollArea = new QScrollArea(this);
    scrollArea->setWidgetResizable(true);
    scrollArea->setFrameShape(QFrame::NoFrame);
    auto* tileArea = new QWidget(scrollArea);
    grid = new QGridLayout(tileArea);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(6);
    scrollArea->setWidget(tileArea);
    layout->addWidget(scrollArea, 1);

    auto* buttons = new QHBoxLayout;
    startButton = new QPushButton(tr("Пуск"), this);
    stopButton = new QPushButton(tr("Стоп"), this);
    programButton = new QPushButton(tr("Программа..."), this);
    selectAllButton = new QPushButton(tr("Выбрать все"), this);
    exitButton = new QPushButton(tr("Выход"), this);
    for (QPushButton* button :
         {startButton, stopButton, programButton, selectAllButton, exitButton}) {
        // Enter belongs to the tiles and to the scanner's next cell: no button takes it.
        button->setAutoDefault(false);
        button->setMinimumWidth(100);
    }
    buttons->addWidget(startButton);
    buttons->addWidget(stopButton);
    buttons->addWidget(programButton);
    buttons->addSpacing(16);
    buttons->addWidget(selectAllButton);
    buttons->addStretch(1);
    buttons->addWidget(exitButton);
    layout->addLayout(buttons);

    connect(startButton, &QPushButton::clicked, this, &CBenchDlg::OnStart);
    connect(stopButton, &QPushButton::clicked, this, &CBenchDlg::OnStop);
    connect(programButton, &QPushButton::clicked, this, &CBenchDlg::OnProgram);
    connect(selectAllButton, &QPushButton::clicked, this, &CBenchDlg::OnSelectAll);
    connect(exitButton, &QPushButton::clicked, this, &CBenchDlg::OnExit);
    connect(&model, &CBenchModel::ChannelAdded, this, &CBenchDlg::OnChannelAdded);
    connect(&model, &CBenchModel::ChannelChanged, this, &CBenchDlg::OnChannelChanged);
    OnChannelAdded(model.ChannelCount() - 1);
}

CBenchTile* CBenchDlg::Tile(int channel) const {
    return channel >= 0 && channel < TileCount() ? tiles[static_cast<std::size_t>(channel)]
                                                 : nullptr;
}

QList<int> CBenchDlg::SelectedChannels() const {
    QList<int> selected;
    for (const CBenchTile* tile : tiles) {
        if (tile->Selected()) {
            selected.append(tile->Channel());
        }
    }
    return selected;
}

QSize CBenchDlg::sizeHint() const {
    // The whole grid without scrolling; the screen bounds it where the window is placed.
    const QMargins margins = layout()->contentsMargins();
    const QSize tilesSize = scrollArea->widget()->sizeHint();
    const QSize buttonsSize = layout()->itemAt(1)->sizeHint();
    return {std::max(tilesSize.width(), buttonsSize.width()) + margins.left() + margins.right(),
            tilesSize.height() + layout()->spacing() + buttonsSize.height() + margins.top() +
                margins.bottom()};
}

void CBenchDlg::OnChannelAdded(int) {
    // The model is the truth about how many channels there are, whatever signal came first.
    const int count = model.ChannelCount();
    if (count <= TileCount()) {
        return;
    }
    for (int channel = TileCount(); channel < count; ++channel) {
        auto* tile = new CBenchTile(model, channel, scrollArea->widget());
        connect(tile, &CBenchTile::CheckVoltageAsked, this, &CBenchDlg::OnCheckVoltage);
        tiles.push_back(tile);
    }
    PlaceTiles();
}

void CBenchDlg::OnChannelChanged(int channel) {
    if (CBenchTile* tile = Tile(channel)) {
        tile->Refresh();
    }
}

void CBenchDlg::PlaceTiles() {
    for (CBenchTile* tile : tiles) {
        grid->removeWidget(tile);
    }
    const int columns = BenchColumns(TileCount());
    for (int i = 0; i < TileCount(); ++i) {
        grid->addWidget(tiles[static_cast<std::size_t>(i)], i / columns, i % columns);
    }
    // Spare height goes below the tiles, which keep the height they are drawn for.
    const int rows = (TileCount() + columns - 1) / columns;
    for (int row = 0; row < grid->rowCount(); ++row) {
        grid->setRowStretch(row, 0);
    }
    grid->setRowStretch(rows, 1);
    grid->activate();
    layout()->activate();

    QSize wanted = sizeHint();
    if (const QScreen* where = screen()) {
        const QRect room = where->availableGeometry();
        wanted = wanted.boundedTo(room.size() - (frameGeometry().size() - size()));
    }
    resize(isVisible() ? size().expandedTo(wanted) : wanted);
}

QList<int> CBenchDlg::SelectedOrSay() {
    const QList<int> selected = SelectedChannels();
    if (selected.isEmpty()) {
        dialogs.Message(this, tr("Сначала выберите каналы."), tr("Внимание!"),
                        platform::Buttons::Ok);
    }
    return selected;
}

void CBenchDlg::OnStart() {
    const QList<int> selected = SelectedOrSay();
    if (!selected.isEmpty()) {
        model.Start(selected);
    }
}

void CBenchDlg::OnStop() {
    const QList<int> selected = SelectedOrSay();
    if (selected.isEmpty()) {
        return;
    }
    QStringList names;
    for (const int channel : selected) {
        names.append(ChannelName(model.Picture(channel), channel));
    }
    if (dialogs.Message(this, tr("Остановить: %1?").arg(names.join(QStringLiteral(", "))),
                        tr("Внимание!"), platform::Buttons::OkCancel) == platform::Answer::Ok) {
        model.Stop(selected);
    }
}

void CBenchDlg::OnProgram() {
    const QList<int> selected = SelectedOrSay();
    if (selected.isEmpty()) {
        return;
    }
    const std::optional<TestProgram> program = AskForProgramFile(dialogs, this);
    if (!program) {
        return;
    }
    model.StartProgram(selected, *program);
}

void CBenchDlg::OnSelectAll() {
    for (CBenchTile* tile : tiles) {
        tile->SetSelected(true);
    }
}

void CBenchDlg::OnCheckVoltage(int channel) {
    CBenchTile* tile = Tile(channel);
    if (tile == nullptr) {
        return;
    }
    const QString question = tr("Ячейка в держателе канала %1 (имя или штрихкод):")
                                 .arg(ChannelName(model.Picture(channel), channel));
    if (StartVoltageCheck(
            dialogs, this, tile->NextCellEdit()->text().simplified(), question,
            [&] { return model.WhyNoCheck(channel); },
            [&](const QString& cell) { return model.CheckVoltage(channel, cell); }) ==
        CheckStarted::NamedCell) {
        tile->ClearNextCell();
    }
}

void CBenchDlg::OnExit() {
    if (leaving) {
        return;
    }
    QStringList busy;
    for (int channel = 0; channel < model.ChannelCount(); ++channel) {
        const ChannelPicture picture = model.Picture(channel);
        const QString doing = BusyWord(picture);
        if (!doing.isEmpty()) {
            busy.append(QStringLiteral("%1 (%2)").arg(ChannelName(picture, channel), doing));
        }
    }
    if (!busy.isEmpty() &&
        dialogs.Message(
            this,
            tr("Идут испытания: %1.\nВыйти из программы?").arg(busy.join(QStringLiteral(", "))),
            tr("Внимание!"), platform::Buttons::OkCancel) == platform::Answer::Cancel) {
        return;
    }
    Leave();
}

void CBenchDlg::Leave() {
    if (leaving) {
        return;
    }
    leaving = true;
    model.Leave();
    QDialog::done(QDialog::Rejected);
}

void CBenchDlg::closeEvent(QCloseEvent* event) {
    if (leaving) {
        event->accept();
        return;
    }
    event->ignore();
    OnExit();
}
