#include "app/BrimvoltDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTextStream>
#include <algorithm>
#include <optional>
#include <utility>

#include "app/AboutDlg.h"
#include "channel/CheckStart.h"
#include "app/JournalProblems.h"
#include "channel/SleepHold.h"
#include "cycle/TestProgram.h"
#include "cycleview/ProgramDlg.h"
#include "journal/JournalWriter.h"
#include "journalview/JournalDlg.h"
#include "module/Commands.h"
#include "module/DisplayTexts.h"
#include "mqtt/MqttPublisher.h"
#include "params/ParamEditing.h"
#include "params/ParamTable.h"
#include "platform/Dialogs.h"
#include "platform/Metrics.h"
#include "platform/MenuFit.h"
#include "resources/Templates.h"

using namespace brimvolt;

namespace {

constexpr int kWriteButton = 1004;
constexpr int kStartButton = 1007;
constexpr int kResetButton = 1022;
constexpr int kRinButton = 1021;
constexpr int kTimeCapacityButton = 1023;
constexpr int kEmergencyButton = 1028;
constexpr int kValueEdit = 1002;
constexpr int kEndScroll = 8;
const QColor kDisplayColor(225, 255, 100);

brimvolt::ChannelSetup MakeSetup(const QString& journalPath, const QString& boundPort) {
    brimvolt::ChannelSetup setup;
    setup.journalPath = JournalFileOf(journalPath);
    setup.boundPort = boundPort;
    return setup;
}

int SelectedRow(const QListWidget* list) {
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.constFirst());
}

QString CheckVoltageCommandText() {
    for (const resources::MenuCommand& item : resources::ProgramMenu()) {
        if (item.id == resources::kIdCheckVoltage) {
            return item.text;
        }
    }
    return {};
}

void ClearSelection(QListWidget* list) {
    const QSignalBlocker blocker(list);
    list->clearSelection();
    list->setCurrentRow(-1, QItemSelectionModel::Clear);
}

}  // namespace

CBrimvoltDlg::CBrimvoltDlg(platform::CPortSystem& portSystem, platform::CDialogs& dialogs,
                           const QString& journalPath, const QString& boundPort)
    : QDialog(nullptr),
      dialogs(dialogs),
      ownChannel(std::make_unique<CChannel>(portSystem, dialogs,
                                            MakeSetup(journalPath, boundPort))),
      channel(*ownChannel),
      journalProblems(std::make_shared<CJournalProblems>(dialogs)) {
    ConnectChannel();
}

CBrimvoltDlg::CBrimvoltDlg(CChannel& channel, platform::CDialogs& dialogs,
                           std::shared_ptr<CJournalProblems> problems)
    : QDialog(nullptr), dialogs(dialogs), channel(channel), journalProblems(std::move(problems)) {
    ConnectChannel();
}

void CBrimvoltDlg::ConnectChannel() {
    appIcon = resources::AppIcon();
    channel.SetViewPositionSource([this] { return viewSpin != nullptr ? viewSpin->GetPos() : 1; });
    connect(&channel, &CChannel::PortsListed, this, &CBrimvoltDlg::OnPortsListed);
    connect(&channel, &CChannel::DiscoveryFailed, this, &CBrimvoltDlg::ShowDisplayBlock);
    connect(&channel, &CChannel::Found, this, &CBrimvoltDlg::OnFound);
    connect(&channel, &CChannel::OpenFailed, this, &CBrimvoltDlg::OnOpenFailed);
    connect(&channel, &CChannel::StatusRead, this,
            [this](const StatusRecord&, const PollTexts& texts) { OnStatusRead(texts); });
    connect(&channel, &CChannel::JournalProblem, this,
            [this](const QString& text) { journalProblems->Tell(this, text); });
    connect(&channel, &CChannel::MqttStatusText, this, &CBrimvoltDlg::OnMqttStatusText);
    connect(&channel, &CChannel::CheckRecorded, this, &CBrimvoltDlg::OnCheckRecorded);
    connect(&channel, &CChannel::CheckRefused, this, &CBrimvoltDlg::OnCheckRefused);
    connect(&channel, &CChannel::Changed, this, &CBrimvoltDlg::ShowCheckState);
    // Made at once, hidden: a program an earlier session left is offered when the module is found.
    programWindow = std::make_unique<CProgramDlg>(dialogs, channel.Runner(), this);
}

CBrimvoltDlg::~CBrimvoltDlg() {
    // The views go before the channel they show.
    journalWindow.reset();
    programWindow.reset();
    if (!ownChannel) {
        // A bench's channel outlives its view, and its curve window with it.
        channel.curveWindow.setParent(nullptr);
    }
    ownChannel.reset();
}

int CBrimvoltDlg::exec() {
    Create();
    return QDialog::exec();
}

void CBrimvoltDlg::Create() {
    if (created) {
        return;
    }
    created = true;
    const platform::DialogTemplate& dialogTemplate = resources::MainTemplate();
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(dialogTemplate.Shown(dialogTemplate.caption));
    setFont(platform::DialogFont());

    menuBar = new QMenuBar(this);
    for (const resources::MenuCommand& command : resources::MainMenu()) {
        QAction* action = menuBar->addAction(command.text);
        action->setData(command.id);
        if (command.id == resources::kIdTestProgram) {
            auto* programMenu = new QMenu(menuBar);
            for (const resources::MenuCommand& item : resources::ProgramMenu()) {
                QAction* entry = programMenu->addAction(item.text);
                (item.id == resources::kIdCheckVoltage ? checkVoltageEntry : programWindowEntry) =
                    entry;
            }
            action->setMenu(programMenu);
        }
    }
    const int menuHeight = menuBar->sizeHint().height();
    const platform::DialogBaseUnits units = platform::TemplateBaseUnits();
    const QSize client = units.ToPixels(dialogTemplate.sizeDu);
    menuBar->setGeometry(0, 0, client.width(), menuHeight);
    // The controls stand in the client area below the menu bar.
    controls = platform::BuildControls(this, dialogTemplate, units, QPoint(0, menuHeight));
    portCombo = qobject_cast<QComboBox*>(Control(1000));
    operationalList = qobject_cast<QListWidget*>(Control(1001));
    modeList = qobject_cast<QListWidget*>(Control(1003));
    valueSpin = qobject_cast<platform::CUpDown*>(Control(1032));
    viewSpin = qobject_cast<platform::CUpDown*>(Control(1034));
    setFixedSize(client.width(), client.height() + menuHeight);
    ConnectMessageMap();
    OnInitDialog();
    ShowMqttState();
    show();
    // The program window opens below the main window, not over the curve window beside it.
    programWindow->move(frameGeometry().left(), frameGeometry().bottom() + 1);
}

QWidget* CBrimvoltDlg::Control(int id) const {
    return controls.byId.value(id, nullptr);
}

QPushButton* CBrimvoltDlg::ButtonOf(int id) const {
    return qobject_cast<QPushButton*>(Control(id));
}

QLabel* CBrimvoltDlg::StaticOf(int id) const {
    return qobject_cast<QLabel*>(Control(id));
}

QLineEdit* CBrimvoltDlg::ValueEdit() const {
    return qobject_cast<QLineEdit*>(Control(kValueEdit));
}

void CBrimvoltDlg::ConnectMessageMap() {
    connect(menuBar, &QMenuBar::triggered, this, [this](QAction* action) {
        const int id = action->data().toInt();
        if (id == resources::kIdAppAbout) {
            OnAbout();
        } else if (id == resources::kIdShowHideCurve) {
            OnShowHideCurve();
        } else if (id == resources::kIdJournal) {
            OnJournal();
        } else if (id == resources::kIdTestProgram) {
            OnTestProgram();
        }
    });
    // The drop-down's entries carry no id, since the bar hears them as well: connected alone.
    connect(programWindowEntry, &QAction::triggered, this, &CBrimvoltDlg::OnTestProgram);
    connect(checkVoltageEntry, &QAction::triggered, this, &CBrimvoltDlg::OnCheckVoltage);
    connect(ButtonOf(resources::kIdCancel), &QPushButton::clicked, this, &CBrimvoltDlg::OnExit);
    connect(ButtonOf(kStartButton), &QPushButton::clicked, this, &CBrimvoltDlg::OnStartStop);
    connect(ButtonOf(kResetButton), &QPushButton::clicked, this, &CBrimvoltDlg::OnReset);
    connect(ButtonOf(kEmergencyButton), &QPushButton::clicked, this,
            &CBrimvoltDlg::OnEmergencyReset);
    connect(ButtonOf(kRinButton), &QPushButton::clicked, this, &CBrimvoltDlg::OnRinButton);
    connect(ButtonOf(kTimeCapacityButton), &QPushButton::clicked, this,
            &CBrimvoltDlg::OnWriteTimeAndCapacity);
    connect(ButtonOf(kWriteButton), &QPushButton::clicked, this, &CBrimvoltDlg::OnWriteParameter);
    // Only the operator's choice counts as a selection change, as with the system's combo box.
    connect(portCombo, &QComboBox::activated, this, &CBrimvoltDlg::OnPortSelected);
    if (portCombo->lineEdit() != nullptr) {
        portCombo->lineEdit()->installEventFilter(this);
    }
    connect(operationalList, &QListWidget::itemSelectionChanged, this,
            &CBrimvoltDlg::OnOperationalSelected);
    connect(modeList, &QListWidget::itemSelectionChanged, this, &CBrimvoltDlg::OnModeSelected);
    connect(ValueEdit(), &QLineEdit::textChanged, this, &CBrimvoltDlg::OnValueEdited);
    connect(valueSpin, &platform::CUpDown::Scrolled, this, &CBrimvoltDlg::OnVScroll);
    connect(viewSpin, &platform::CUpDown::Scrolled, this, &CBrimvoltDlg::OnHScroll);
}

void CBrimvoltDlg::OnInitDialog() {
    ShowFields();
    setWindowIcon(appIcon);

    clientRect = QRect(0, 0, width(), height() - menuBar->height());
    move(722, 0);

    // List rows are one line of the dialog font high, as in the system's list boxes.
    const int rowHeight = platform::TemplateBaseUnits().baseY;
    for (const ParamInfo& param : ParamTable()) {
        QListWidget* list = param.listId == 1001 ? operationalList : modeList;
        const QSignalBlocker blocker(list);
        auto* item = new QListWidgetItem(ParamText(param.name), list);
        item->setSizeHint(QSize(list->width(), rowHeight));
    }
    ClearSelection(operationalList);
    ClearSelection(modeList);

    // Everything that listens to the journal is connected by now.
    channel.Start(this);
    channel.curveWindow.show();
    if (!startCurveFile.isEmpty()) {
        channel.curveWindow.LoadCurveFile(startCurveFile);
    }

    toolTip.Activate(true);
    toolTip.SetDelays(30000, 100, 100);
    toolTip.SetMaxTipWidth(350);
    toolTip.SetTipBkColor(QColor(255, 240, 160));
    toolTip.AddTool(ValueEdit(), QStringLiteral("tooltip"));

    valueSpin->SetBuddy(ValueEdit());
    valueSpin->SetRange(1, 100);
    viewSpin->SetRange(0, 1);
    viewSpin->SetPos(1);

    upperStaticRect = Control(1006)->geometry();
    lowerStaticRect = Control(1008)->geometry();

    displayFont = platform::CellHeightFont({QStringLiteral("Courer New")}, QFont::AnyStyle, 16);
    // The display lines are 16 characters; they must stay inside the block's frame.
    largeFont = platform::CellHeightFont({QStringLiteral("Consolas"), QStringLiteral("Liberation Mono")},
                               QFont::Monospace, 24, QString(16, QLatin1Char('0')),
                               upperStaticRect.width() + 8);
    displayFrameRect = QRect(QPoint(upperStaticRect.left() - 10, upperStaticRect.top() - 2),
                             QPoint(upperStaticRect.right() + 10, lowerStaticRect.bottom() + 2));
    displayTextRect =
        QRect(upperStaticRect.topLeft(), QPoint(upperStaticRect.right(), lowerStaticRect.bottom()));

    // A bench's channel may be well on by the time its window is first shown.
    OnPortsListed(channel.PortEntries());
    if (channel.portHandle) {
        OnFound();
    }
    if (channel.Picture().kind == DisplayPicture::Kind::Lines) {
        OnStatusRead(channel.Texts());
    }
    ButtonOf(kWriteButton)->setFocus();
}

void CBrimvoltDlg::ReadControls() {
    newValueText = ValueEdit()->text();
    for (const ParamInfo& param : ParamTable()) {
        paramText[param.index] = StaticOf(param.staticId)->text();
    }
}

void CBrimvoltDlg::ShowFields() {
    QLineEdit* edit = ValueEdit();
    if (edit->text() != newValueText) {
        const QSignalBlocker blocker(edit);
        edit->setText(newValueText);
    }
    for (const ParamInfo& param : ParamTable()) {
        QLabel* label = StaticOf(param.staticId);
        if (label->text() != paramText[param.index]) {
            label->setText(paramText[param.index]);
        }
    }
}

void CBrimvoltDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (isMinimized()) {
        const platform::SystemMetrics metrics = platform::CurrentMetrics(this);
        const int x = (clientRect.width() - metrics.iconX + 1) / 2;
        const int y = (clientRect.height() - metrics.iconY + 1) / 2;
        appIcon.paint(&painter, QRect(x, y, metrics.iconX, metrics.iconY));
        return;
    }
    if (channel.Picture().kind == DisplayPicture::Kind::Empty) {
        return;
    }
    painter.setPen(Qt::black);
    painter.setBrush(kDisplayColor);
    // The frame covers its rectangle without the far edges, as the system's rectangles do.
    painter.drawRect(displayFrameRect.adjusted(0, 0, -1, -1));
    painter.setBackgroundMode(Qt::TransparentMode);
    if (channel.Picture().kind == DisplayPicture::Kind::Message) {
        painter.setFont(displayFont);
        painter.drawText(displayTextRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                         channel.Picture().message);
    } else {
        painter.setFont(largeFont);
        painter.setClipRect(displayFrameRect);
        painter.drawText(upperStaticRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                         channel.Picture().line1);
        painter.drawText(lowerStaticRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                         channel.Picture().line2);
    }
}

void CBrimvoltDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // A focused push button takes Enter itself; anywhere else it is the OK command.
        if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
            OnWriteParameter();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

bool CBrimvoltDlg::eventFilter(QObject* watched, QEvent* event) {
    // Enter in the port list's edit field would make the combo box choose the typed port again;
    // here as everywhere in the window Enter is the OK command, and typed text selects nothing.
    if (portCombo != nullptr && watched == portCombo->lineEdit() &&
        event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OnWriteParameter();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CBrimvoltDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    OnExit();
}

void CBrimvoltDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CBrimvoltDlg::OnShowHideCurve() {
    if (channel.curveWindow.isVisible()) {
        channel.curveWindow.hide();
    } else {
        channel.curveWindow.show();
    }
}

void CBrimvoltDlg::OnJournal() {
    if (journalOpener) {
        journalOpener();
        return;
    }
    if (!journalWindow) {
        journalWindow = std::make_unique<CJournalDlg>(dialogs, channel.curveWindow);
        journalWindow->Create(this, JournalPath());
        journalWindow->Follow(channel.Journal());
    }
    journalWindow->show();
    journalWindow->raise();
    journalWindow->activateWindow();
}

void CBrimvoltDlg::OnTestProgram() {
    programWindow->show();
    programWindow->raise();
}

void CBrimvoltDlg::RunProgram(const TestProgram& program) {
    OnTestProgram();
    programWindow->SetProgram(program);
    programWindow->StartWhenFound();
}

void CBrimvoltDlg::OnCheckVoltage() {
    const CheckStarted started = StartVoltageCheck(
        dialogs, this, channel.NextCell(), tr("Ячейка в держателе (имя или штрихкод):"),
        [this] { return channel.WhyNoCheck(); },
        [this](const QString& cell) { return channel.CheckVoltage(cell); });
    if (started == CheckStarted::No) {
        return;
    }
    checkAskedHere = true;
    if (started == CheckStarted::NamedCell) {
        ClearNextCell();
    }
    ShowCheckState();
}

void CBrimvoltDlg::ClearNextCell() {
    channel.SetNextCell(QString());
    if (journalWindow) {
        journalWindow->NextCellEdit()->clear();
        journalWindow->OnNextCell();
    }
}

void CBrimvoltDlg::OnCheckRecorded() {
    ShowCheckState();
    if (!std::exchange(checkAskedHere, false)) {
        return;  // a tile's check, or a program's
    }
    // "Ячейка A1: 3.712 В"
    dialogs.Message(this, channel.CheckNote(), tr("Проверка напряжения"), platform::Buttons::Ok);
}

void CBrimvoltDlg::OnCheckRefused(const QString& text) {
    ShowCheckState();
    // A refusal of another view's request leaves this window's check going.
    if (channel.Checking() || !std::exchange(checkAskedHere, false)) {
        return;
    }
    dialogs.Message(this, text, tr("Проверка напряжения"), platform::Buttons::Ok);
}

void CBrimvoltDlg::ShowCheckState() {
    if (checkVoltageEntry == nullptr) {
        return;
    }
    const bool checking = channel.Checking();
    const QString text = checking ? channel.CheckNote() : CheckVoltageCommandText();
    if (checkVoltageEntry->text() != text) {
        checkVoltageEntry->setText(text);
    }
    checkVoltageEntry->setEnabled(!checking);
}

void CBrimvoltDlg::OnExit() {
    if (!ownChannel) {
        // A bench's view: its windows go, the channel goes on, and the bench leaves.
        channel.curveWindow.hide();
        programWindow->hide();
        hide();
        return;
    }
    // A test program asks even between its runs: leaving ends it.
    const bool programActive = channel.Runner().Active();
    if (channel.running != 0 || programActive) {
        messageText = programActive ? tr("Выполняется программа испытаний!\nВыйти из программы?")
                      : channel.params[4] != 0 ? tr("Идет заряд!\nВыйти из программы?")
                                               : tr("Идет разряд!\nВыйти из программы?");
        if (dialogs.Message(this, messageText, tr("Внимание!"), platform::Buttons::OkCancel) ==
            platform::Answer::Cancel) {
            return;
        }
    }
    Leave();
}

void CBrimvoltDlg::Leave() {
    if (channel.Leaving()) {
        return;  // already on the way out (a second signal, the question answered meanwhile)
    }
    journalProblems->StopTelling();
    channel.Leave();
    QDialog::done(QDialog::Rejected);
}

void CBrimvoltDlg::OnSessionEnd() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* modal = qobject_cast<QDialog*>(widget);
        if (modal && modal != this && modal->isModal() && modal->isVisible()) {
            modal->reject();
        }
    }
    Leave();
}

void CBrimvoltDlg::OnPortsListed(const QStringList& entries) {
    if (portCombo == nullptr) {
        return;  // a bench's view not shown yet: it takes the channel as it is when it is
    }
    const QSignalBlocker blocker(portCombo);
    portCombo->clear();
    portCombo->addItems(entries);
    portCombo->setCurrentIndex(-1);
}

void CBrimvoltDlg::ShowDisplayBlock() {
    if (portCombo == nullptr) {
        return;
    }
    update(displayFrameRect);
}

void CBrimvoltDlg::OnFound() {
    if (portCombo == nullptr) {
        return;
    }
    const QSignalBlocker blocker(portCombo);
    portCombo->setCurrentIndex(channel.portIndex < portCombo->count() ? channel.portIndex : -1);
}

void CBrimvoltDlg::OnPortSelected(int index) {
    // The entry as the operator chose it: a discovery pass that answers first rebuilds the list.
    channel.ChoosePort(index, portCombo->itemText(index));
}

void CBrimvoltDlg::OnOpenFailed(const QString& port) {
    dialogs.Message(this, tr("Не удалось открыть порт %1").arg(port), tr("Ошибка"),
                    platform::Buttons::Ok);
    OnFound();
}

void CBrimvoltDlg::OnStatusRead(const PollTexts& texts) {
    if (portCombo == nullptr) {
        return;
    }
    // The operator may have typed while the exchange went on: that text is what stays.
    ReadControls();
    paramText = texts.paramText;
    voltageText = texts.voltageText;
    currentText = texts.currentText;
    capacityText = texts.capacityText;
    timeText = texts.timeText;
    displayLine1 = texts.displayLine1;
    displayLine2 = texts.displayLine2;
    ButtonOf(kStartButton)->setText(texts.startButtonText);
    ButtonOf(kRinButton)->setText(texts.rinButtonText);
    ShowFields();
    ShowDisplayBlock();
}

void CBrimvoltDlg::SetSleepGuard(std::unique_ptr<platform::CRunSleepGuard> guard) {
    channel.SetSleepHold(guard ? std::make_shared<CSleepHold>(std::move(guard)) : nullptr);
}

void CBrimvoltDlg::PublishOverMqtt(const MqttSettings& settings) {
    channel.PublishOverMqtt(settings);
    if (channel.MqttPublisher() != nullptr) {
        OnMqttStatusText(channel.MqttPublisher()->StatusText());
    }
}

bool CBrimvoltDlg::PortOpenOrTell() {
    if (channel.portHandle) {
        return true;
    }
    dialogs.Message(this, tr("COM порт не открыт"), tr("Ошибка"), platform::Buttons::Ok);
    return false;
}

void CBrimvoltDlg::FocusWriteButton() {
    ButtonOf(kWriteButton)->setFocus();
}

void CBrimvoltDlg::QueueButtonCommand(std::uint8_t command) {
    if (!PortOpenOrTell()) {
        return;
    }
    if (command != 0) {
        channel.QueueCommand(command);
    }
    FocusWriteButton();
}

void CBrimvoltDlg::OnStartStop() {
    // While a test program runs, it stops the module itself once the operator has said how much.
    if (channel.Runner().Active()) {
        if (PortOpenOrTell()) {
            programWindow->OnOperatorStop();
        }
        return;
    }
    QueueButtonCommand('p');
}

void CBrimvoltDlg::OnReset() {
    const bool sent = static_cast<bool>(channel.portHandle);
    QueueButtonCommand('s');
    if (sent) {
        channel.Runner().OperatorReset();
    }
}

void CBrimvoltDlg::OnEmergencyReset() {
    QueueButtonCommand('S');
}

// With neither a run nor a held result the button leaves nothing pending, and still moves the
// focus.
void CBrimvoltDlg::OnRinButton() {
    QueueButtonCommand(RinButtonCommand(channel.statusFlags));
}

void CBrimvoltDlg::OnWriteTimeAndCapacity() {
    if (!PortOpenOrTell()) {
        return;
    }
    const CurveStore& store = channel.curveWindow.store;
    if (!TimeAndCapacityFit(store.durationSeconds, store.curveCapacityText)) {
        dialogs.Message(this, tr("Время или емкость кривой не помещаются в модуль."), tr("Ошибка"),
                        platform::Buttons::Ok);
        return;
    }
    channel.QueueCommand('t');
    FocusWriteButton();
}

void CBrimvoltDlg::SelectParameter(QListWidget* list, QListWidget* other, int firstIndex) {
    ClearSelection(other);
    ReadControls();
    const int row = SelectedRow(list);
    // A list left without a selection names no parameter.
    channel.SetSelection(row < 0 ? kNoSelection : static_cast<std::uint8_t>(row + firstIndex));
    channel.QueueCommand('N');
    if (row >= 0 && IsParamIndex(channel.selectedParam)) {
        const ParamInfo& param = ParamTable()[channel.selectedParam];
        newValueText = paramText[channel.selectedParam];
        hintText = ParamText(param.hint);
        ShowRangeHint();
        valueSpin->SetRange(param.spinMin, param.spinMax);
        valueSpin->SetPos(channel.params[channel.selectedParam]);
    }
    ShowFields();
}

void CBrimvoltDlg::ShowRangeHint() {
    toolTip.AddTool(ValueEdit(), hintText);
}

void CBrimvoltDlg::OnOperationalSelected() {
    SelectParameter(operationalList, modeList, 0);
}

void CBrimvoltDlg::OnModeSelected() {
    SelectParameter(modeList, operationalList, 5);
}

void CBrimvoltDlg::OnValueEdited() {
    ReadControls();
    newValueText = WithDecimalPoint(newValueText);
    const TypedValue typed = ConvertTyped(newValueText);
    channel.SetWriteValue(typed.writeValue);
    typedValue = typed.typedValue;
    if (const std::optional<int> position = SpinPositionFor(channel.selectedParam, typed)) {
        valueSpin->SetPos(*position);
    }
}

void CBrimvoltDlg::OnVScroll(int code, int position) {
    if (code == kEndScroll) {
        return;
    }
    const QString text = StepText(channel.selectedParam, position);
    if (!text.isNull()) {
        newValueText = text;
    }
    ShowFields();
}

void CBrimvoltDlg::OnHScroll(int code, int position) {
    if (code >= kEndScroll) {
        return;
    }
    channel.SetSelection(position != 0 ? 0xFF : 0xFE);
    ClearSelection(operationalList);
    ClearSelection(modeList);
    channel.QueueCommand('N');
}

void CBrimvoltDlg::OnWriteParameter() {
    if (!PortOpenOrTell()) {
        return;
    }
    if (channel.selectedParam > 20) {
        dialogs.Message(this, tr("Сначала нужно выбрать нужный параметр."), tr("Внимание!"),
                        platform::Buttons::Ok);
        return;
    }
    ReadControls();
    const QString typedText = WithDecimalPoint(newValueText);
    const std::optional<std::uint16_t> word = WordToWrite(channel.selectedParam, typedText);
    if (!word) {
        dialogs.Message(this, tr("Недопустимое значение параметра."), tr("Ошибка"),
                        platform::Buttons::Ok);
        return;
    }
    newValueText = typedText;
    const TypedValue typed = ConvertTyped(newValueText);
    typedValue = typed.typedValue;
    channel.SetWriteValue(*word);
    ShowFields();
    channel.QueueCommand('w');
}

void CBrimvoltDlg::OnMqttStatusText(const QString& text) {
    // Said once per change, however often the publisher retries.
    QTextStream(stderr) << "brimvolt: " << text << '\n';
    ShowMqttState();
}

void CBrimvoltDlg::ShowMqttState() {
    if (menuBar == nullptr || channel.MqttPublisher() == nullptr) {
        return;
    }
    if (mqttStateEntry == nullptr) {
        mqttStateEntry = menuBar->addAction(QString());
        mqttStateEntry->setEnabled(false);
    }
    // How things stand comes first in the text: cut at its end, it is whole in the tool tip
    // and on standard error.
    const QString text = channel.MqttPublisher()->StatusText();
    mqttStateEntry->setText(platform::ElidedToMenuRoom(*menuBar, text));
    mqttStateEntry->setToolTip(text);
}

