#include "app/BrimvoltDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QSysInfo>
#include <QTextStream>
#include <algorithm>
#include <chrono>

#include "app/AboutDlg.h"
#include "app/MqttRecords.h"
#include "cycle/TestProgram.h"
#include "cycleview/ProgramDlg.h"
#include "journal/JournalWriter.h"
#include "journalview/JournalDlg.h"
#include "link/Discovery.h"
#include "module/Commands.h"
#include "module/CurveRecording.h"
#include "module/DisplayTexts.h"
#include "mqtt/MqttPublisher.h"
#include "mqtt/MqttTopics.h"
#include "params/ParamEditing.h"
#include "params/ParamTable.h"
#include "platform/Dialogs.h"
#include "platform/Metrics.h"
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

// A font whose cell (ascent + descent) is at most `cellHeight` pixels, as a positive font height
// asks for. The faces we name may be missing and the nearest face of the family's kind may run
// wider, so with `fitWidth` the sample text is also kept within that many pixels.
QFont CellHeightFont(const QStringList& families, QFont::StyleHint hint, int cellHeight,
                     const QString& sample = {}, int fitWidth = 0) {
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(hint);
    font.setWeight(QFont::Normal);
    int pixels = cellHeight;
    font.setPixelSize(pixels);
    const auto tooLarge = [&] {
        const QFontMetrics metrics(font);
        return metrics.height() > cellHeight ||
               (fitWidth > 0 && metrics.horizontalAdvance(sample) > fitWidth);
    };
    while (pixels > 6 && tooLarge()) {
        font.setPixelSize(--pixels);
    }
    return font;
}

std::int64_t WallMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// The test program's step times: a clock the system's time setting cannot move.
std::int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The journal lives where Colors.ini and the autosave do unless the command line says otherwise.
QString JournalFile(const QString& journalPath) {
    return journalPath.isEmpty()
               ? QDir::current().absoluteFilePath(QStringLiteral("journal.sqlite"))
               : QFileInfo(journalPath).absoluteFilePath();
}

int SelectedRow(const QListWidget* list) {
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.constFirst());
}

void ClearSelection(QListWidget* list) {
    const QSignalBlocker blocker(list);
    list->clearSelection();
    list->setCurrentRow(-1, QItemSelectionModel::Clear);
}

}  // namespace

CBrimvoltDlg::CBrimvoltDlg(platform::CPortSystem& portSystem, platform::CDialogs& dialogs,
                           const QString& journalPath)
    : QDialog(nullptr),
      curveWindow(dialogs),
      dialogs(dialogs),
      journalPath(JournalFile(journalPath)) {
    appIcon = resources::AppIcon();
    pendingCommand = 'a';
    portIndex = 0;
    firstReading = 1;
    running = 0;
    lastCurveSeconds = -1;
    selectedParam = kNoSelection;
    pollTimer.setSingleShot(true);
    discoveryTimer.setSingleShot(true);

    // The ports are the worker's alone from here on: only its thread touches them.
    serialWorker = std::make_unique<CSerialWorker>(portSystem);
    serialWorker->moveToThread(&serialThread);
    connect(serialWorker.get(), &CSerialWorker::DiscoveryDone, this,
            &CBrimvoltDlg::OnDiscoveryDone);
    connect(serialWorker.get(), &CSerialWorker::PortOpenDone, this, &CBrimvoltDlg::OnPortOpenDone);
    connect(serialWorker.get(), &CSerialWorker::PollDone, this, &CBrimvoltDlg::OnPollDone);
    serialThread.setObjectName(QStringLiteral("serial"));
    serialThread.start();

    journal = std::make_unique<CJournalWriter>(this->journalPath);
    connect(journal.get(), &CJournalWriter::Problem, this, &CBrimvoltDlg::OnJournalProblem);
    connect(journal.get(), &CJournalWriter::RunTakenUp, this, &CBrimvoltDlg::OnRunTakenUp);
    // Made at once, hidden: a program an earlier session left is offered when the module is found.
    programWindow = std::make_unique<CProgramDlg>(dialogs, programRunner, this);
    programRunner.SetJournal(journal.get());
}

CBrimvoltDlg::~CBrimvoltDlg() {
    leaving = true;
    CloseWorkerPort();
    serialThread.quit();
    serialThread.wait();
    // Whatever was passed to the journal is written before the program ends.
    journal.reset();
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
    connect(&pollTimer, &QTimer::timeout, this, [this] { OnTimer(kPollTimer); });
    connect(&discoveryTimer, &QTimer::timeout, this, [this] { OnTimer(kDiscoveryTimer); });
    connect(valueSpin, &platform::CUpDown::Scrolled, this, &CBrimvoltDlg::OnVScroll);
    connect(viewSpin, &platform::CUpDown::Scrolled, this, &CBrimvoltDlg::OnHScroll);
}

void CBrimvoltDlg::OnInitDialog() {
    // Everything that listens to the journal is connected by now.
    journal->Start();
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

    curveWindow.Create(this);
    curveWindow.show();
    if (!startCurveFile.isEmpty()) {
        curveWindow.LoadCurveFile(startCurveFile);
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

    displayFont = CellHeightFont({QStringLiteral("Courer New")}, QFont::AnyStyle, 16);
    // The display lines are 16 characters; they must stay inside the block's frame.
    largeFont = CellHeightFont({QStringLiteral("Consolas"), QStringLiteral("Liberation Mono")},
                               QFont::Monospace, 24, QString(16, QLatin1Char('0')),
                               upperStaticRect.width() + 8);
    displayFrameRect = QRect(QPoint(upperStaticRect.left() - 10, upperStaticRect.top() - 2),
                             QPoint(upperStaticRect.right() + 10, lowerStaticRect.bottom() + 2));
    displayTextRect =
        QRect(upperStaticRect.topLeft(), QPoint(upperStaticRect.right(), lowerStaticRect.bottom()));

    {
        const QSignalBlocker blocker(portCombo);
        portCombo->setCurrentIndex(-1);
    }
    portHandle.reset();
    discoveryTimer.start(kDiscoveryPeriodMs);
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
    if (displayPicture.kind == DisplayPicture::Kind::Empty) {
        return;
    }
    painter.setPen(Qt::black);
    painter.setBrush(kDisplayColor);
    // The frame covers its rectangle without the far edges, as the system's rectangles do.
    painter.drawRect(displayFrameRect.adjusted(0, 0, -1, -1));
    painter.setBackgroundMode(Qt::TransparentMode);
    if (displayPicture.kind == DisplayPicture::Kind::Message) {
        painter.setFont(displayFont);
        painter.drawText(displayTextRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                         displayPicture.message);
    } else {
        painter.setFont(largeFont);
        painter.setClipRect(displayFrameRect);
        painter.drawText(upperStaticRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                         displayPicture.line1);
        painter.drawText(lowerStaticRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                         displayPicture.line2);
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
    if (curveWindow.isVisible()) {
        curveWindow.hide();
    } else {
        curveWindow.show();
    }
}

void CBrimvoltDlg::OnJournal() {
    if (!journalWindow) {
        journalWindow = std::make_unique<CJournalDlg>(dialogs, curveWindow);
        journalWindow->Create(this, JournalPath());
        journalWindow->Follow(Journal());
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

void CBrimvoltDlg::OnExit() {
    // A test program asks even between its runs: leaving ends it.
    const bool programActive = programRunner.Active();
    if (running != 0 || programActive) {
        messageText = programActive ? tr("Выполняется программа испытаний!\nВыйти из программы?")
                      : params[4] != 0 ? tr("Идет заряд!\nВыйти из программы?")
                                       : tr("Идет разряд!\nВыйти из программы?");
        if (dialogs.Message(this, messageText, tr("Внимание!"), platform::Buttons::OkCancel) ==
            platform::Answer::Cancel) {
            return;
        }
    }
    Leave();
}

void CBrimvoltDlg::Leave() {
    if (leaving) {
        return;  // already on the way out (a second signal, the question answered meanwhile)
    }
    // Nothing more goes to the module: the worker ends the exchange it may be making and closes
    // the port, and its answer is no longer taken.
    leaving = true;
    pollTimer.stop();
    discoveryTimer.stop();
    linkSteps.clear();
    CloseWorkerPort();
    if (portHandle) {
        ClosePort();
    }
    journal->Leaving(WallMs());
    // The last recorded point reaches the autosave even if no paint came after it.
    curveWindow.FlushAutosave();
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

void CBrimvoltDlg::OnTimer(int id) {
    RunLinkStep([this, id] {
        ReadControls();
        if (id == kDiscoveryTimer) {
            DiscoveryTick();
        } else {
            PollTick();
        }
    });
}

void CBrimvoltDlg::RunLinkStep(std::function<void()> step) {
    linkSteps.push_back(std::move(step));
    RunWaitingLinkSteps();
}

void CBrimvoltDlg::AskWorker(std::function<void(CSerialWorker&)> request) {
    linkBusy = true;
    CSerialWorker* worker = serialWorker.get();
    QMetaObject::invokeMethod(
        worker, [worker, request = std::move(request)] { request(*worker); }, Qt::QueuedConnection);
}

void CBrimvoltDlg::LinkStepDone() {
    linkBusy = false;
    RunWaitingLinkSteps();
}

void CBrimvoltDlg::RunWaitingLinkSteps() {
    while (!linkBusy && !leaving && !linkSteps.empty()) {
        const std::function<void()> step = std::move(linkSteps.front());
        linkSteps.pop_front();
        step();
    }
}

void CBrimvoltDlg::CloseWorkerPort() {
    CSerialWorker* worker = serialWorker.get();
    QMetaObject::invokeMethod(
        worker, [worker] { worker->ClosePort(); }, Qt::BlockingQueuedConnection);
}

void CBrimvoltDlg::DiscoveryTick() {
    discoveryTimer.stop();
    if (portHandle) {
        pollTimer.stop();
        ClosePort();
    }
    AskWorker([](CSerialWorker& worker) { worker.FindModule(); });
}

void CBrimvoltDlg::OnDiscoveryDone(const DiscoveryOutcome& outcome) {
    if (leaving) {
        return;
    }
    {
        const QSignalBlocker blocker(portCombo);
        portCombo->clear();
        portCombo->addItems(outcome.entries);
        portCombo->setCurrentIndex(-1);
    }
    if (outcome.result == FindResult::Found) {
        OnModuleFound(outcome.foundIndex);
    } else {
        displayPicture =
            DisplayPicture{DisplayPicture::Kind::Message, DiscoveryMessage(outcome.result), {}, {}};
        update(displayFrameRect);
        discoveryTimer.start(kDiscoveryPeriodMs);
    }
    LinkStepDone();
}

void CBrimvoltDlg::OnModuleFound(int index) {
    portIndex = index;
    portName = portCombo->itemText(index);
    portHandle = PortHandle(portName);
    journal->ModuleFound(portName, WallMs());
    curveRuns.OnModuleFound(portName);
    {
        const QSignalBlocker blocker(portCombo);
        portCombo->setCurrentIndex(portIndex);
    }
    MoveTopicsToPort();
    pollTimer.start(kPollPeriodMs);
}

void CBrimvoltDlg::OnPortSelected(int index) {
    // The entry as the operator chose it: a discovery pass that answers first rebuilds the list.
    const QString chosen = portCombo->itemText(index);
    RunLinkStep([this, index, chosen] {
        if (portHandle) {
            pollTimer.stop();
            ClosePort();
        }
        portName = chosen;
        // Where the entry stands now: a pass that answered in between rebuilt the list.
        const int shown = portCombo->findText(chosen);
        chosenIndex = shown >= 0 ? shown : index;
        AskWorker([chosen](CSerialWorker& worker) { worker.OpenPort(chosen); });
    });
}

void CBrimvoltDlg::OnPortOpenDone(bool opened) {
    if (leaving) {
        return;
    }
    if (!opened) {
        dialogs.Message(this, tr("Не удалось открыть порт %1").arg(portName), tr("Ошибка"),
                        platform::Buttons::Ok);
        const QSignalBlocker blocker(portCombo);
        portCombo->setCurrentIndex(portIndex < portCombo->count() ? portIndex : -1);
    } else {
        portIndex = chosenIndex;
        portHandle = PortHandle(portName);
        journal->ModuleFound(portName, WallMs());
        curveRuns.OnModuleFound(portName);
        {
            const QSignalBlocker blocker(portCombo);
            portCombo->setCurrentIndex(portIndex < portCombo->count() ? portIndex : -1);
        }
        MoveTopicsToPort();
        pollTimer.start(kPollPeriodMs);
    }
    LinkStepDone();
}

// The worker closes its own port before it searches or opens another; here the window lets go.
void CBrimvoltDlg::ClosePort() {
    portHandle.reset();
    // With the module gone nobody knows whether a run goes on: sleep is allowed again.
    if (sleepGuard) {
        sleepGuard->Stop();
    }
}

std::vector<Request> CBrimvoltDlg::PendingCommandRequests() const {
    switch (pendingCommand) {
        case 'p':
        case 's':
        case 'r':
        case 'c':
        case 'S':
            return {BuildRequest(pendingCommand)};
        case 'N':
            return {SelectRequest(selectedParam)};
        case 'w':
            return {WriteRequest(selectedParam, writeValue)};
        case 't': {
            const CurveStore& store = curveWindow.store;
            // The curve may have grown since the click; a value the module would cut is not sent.
            if (TimeAndCapacityFit(store.durationSeconds, store.curveCapacityText)) {
                return {TimeRequest(store.durationSeconds),
                        CapacityRequest(store.curveCapacityText)};
            }
            return {};
        }
        default:
            return {};
    }
}

void CBrimvoltDlg::PollTick() {
    pollTimer.stop();
    if (!portHandle) {
        discoveryTimer.start(kDiscoveryPeriodMs);
        return;
    }
    PollRequest poll{PendingCommandRequests()};
    if (!poll.commands.empty()) {
        // The journal tells the operator's stop from the module's own by this.
        journal->CommandSent(static_cast<char>(pendingCommand), WallMs());
    }
    pendingCommand = 'a';
    // The test program's request goes first; an operator's own follows it in the same tick.
    const std::vector<Request> programRequests = programRunner.TakeRequests();
    poll.commands.insert(poll.commands.begin(), programRequests.begin(), programRequests.end());
    AskWorker([poll](CSerialWorker& worker) { worker.Poll(poll); });
}

void CBrimvoltDlg::OnPollDone(const PollOutcome& outcome) {
    if (leaving) {
        return;
    }
    switch (outcome.result) {
        case PollResult::NoReply:
            OnLinkLost();
            break;
        case PollResult::Straddled:
            // Part of an earlier reply is in it, so it is not the module's: neither shown nor
            // recorded. The next record is whole again.
            pollTimer.start(kPollPeriodMs);
            break;
        case PollResult::Status:
            OnStatusRead(outcome.status);
            pollTimer.start(kPollPeriodMs);
            break;
    }
    LinkStepDone();
}

void CBrimvoltDlg::OnLinkLost() {
    // The worker has closed the port already. Nothing is redrawn: the block keeps its picture.
    ClosePort();
    journal->LinkLost(WallMs());
    programRunner.OnLinkLost();
    // A command given while the failing exchange was on its way was meant for the module as it
    // was then; it is not sent to whatever answers next.
    pendingCommand = 'a';
    discoveryTimer.start(kDiscoveryPeriodMs);
}

void CBrimvoltDlg::OnStatusRead(const StatusRecord& status) {
    // The operator may have typed while the exchange went on: that text is what stays.
    ReadControls();
    params = status.params;
    currentMa = status.currentMa;
    voltageMv = status.voltageMv;
    rinMohm = status.rinMohm;
    seconds = status.seconds;
    minutes = status.minutes;
    hours = status.hours;
    elapsedSeconds = status.elapsedSeconds;
    capacityMah = status.capacityMah;
    temperature = status.temperature;
    statusFlags = status.statusFlags;

    const PollTexts texts = ComposePollTexts(status, viewSpin->GetPos());
    paramText = texts.paramText;
    voltageText = texts.voltageText;
    currentText = texts.currentText;
    capacityText = texts.capacityText;
    timeText = texts.timeText;
    displayLine1 = texts.displayLine1;
    displayLine2 = texts.displayLine2;

    journal->Status(status, WallMs());

    running = (statusFlags & flags::kRunning) != 0 ? 1 : 0;
    curveWindow.store.runActive = running;
    if (sleepGuard) {
        sleepGuard->FollowRunFlag(running != 0);
    }
    ButtonOf(kStartButton)->setText(texts.startButtonText);
    ButtonOf(kRinButton)->setText(texts.rinButtonText);

    const RecordOutcome outcome =
        curveRuns.Record(firstReading, lastCurveSeconds, restVoltageMv, curveWindow.store, status);
    if (outcome.newRun) {
        curveWindow.setWindowTitle(params[4] == 0 ? CGraf::tr("Разрядная кривая - Безымянный")
                                                  : CGraf::tr("Зарядная кривая - Безымянный"));
    }
    if (outcome.pointAdded) {
        curveWindow.CurveChanged();
    }

    ShowFields();
    displayPicture = DisplayPicture{DisplayPicture::Kind::Lines, {}, displayLine1, displayLine2};
    update(displayFrameRect);
    PublishReading(status, texts);
    programRunner.OnStatus(status, SteadyMs());
}

void CBrimvoltDlg::OnJournalProblem(const QString& text) {
    // A retry that fails the same way says nothing new; a box already open is answered first.
    if (leaving || journalProblemsTold.contains(text)) {
        return;
    }
    journalProblemsTold.insert(text);
    journalProblemsWaiting.push_back(text);
    if (tellingJournalProblem) {
        return;
    }
    tellingJournalProblem = true;
    while (!journalProblemsWaiting.empty() && !leaving) {
        const QString next = journalProblemsWaiting.front();
        journalProblemsWaiting.pop_front();
        dialogs.Message(this, next, tr("Журнал испытаний"), platform::Buttons::Ok);
    }
    tellingJournalProblem = false;
}

void CBrimvoltDlg::OnRunTakenUp(const TakenUpRun& run) {
    if (curveRuns.TakeUp(run, curveWindow.store)) {
        curveWindow.CurveChanged();
    }
}

bool CBrimvoltDlg::PortOpenOrTell() {
    if (portHandle) {
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
        pendingCommand = command;
    }
    FocusWriteButton();
}

void CBrimvoltDlg::OnStartStop() {
    // While a test program runs, it stops the module itself once the operator has said how much.
    if (programRunner.Active()) {
        if (PortOpenOrTell()) {
            programWindow->OnOperatorStop();
        }
        return;
    }
    QueueButtonCommand('p');
}

void CBrimvoltDlg::OnReset() {
    const bool sent = static_cast<bool>(portHandle);
    QueueButtonCommand('s');
    if (sent) {
        programWindow->OnOperatorReset();
    }
}

void CBrimvoltDlg::OnEmergencyReset() {
    QueueButtonCommand('S');
}

// With neither a run nor a held result the button leaves nothing pending, and still moves the
// focus.
void CBrimvoltDlg::OnRinButton() {
    QueueButtonCommand(RinButtonCommand(statusFlags));
}

void CBrimvoltDlg::OnWriteTimeAndCapacity() {
    if (!PortOpenOrTell()) {
        return;
    }
    const CurveStore& store = curveWindow.store;
    if (!TimeAndCapacityFit(store.durationSeconds, store.curveCapacityText)) {
        dialogs.Message(this, tr("Время или емкость кривой не помещаются в модуль."), tr("Ошибка"),
                        platform::Buttons::Ok);
        return;
    }
    pendingCommand = 't';
    FocusWriteButton();
}

void CBrimvoltDlg::SelectParameter(QListWidget* list, QListWidget* other, int firstIndex) {
    ClearSelection(other);
    ReadControls();
    const int row = SelectedRow(list);
    // A list left without a selection names no parameter.
    selectedParam = row < 0 ? kNoSelection : static_cast<std::uint8_t>(row + firstIndex);
    pendingCommand = 'N';
    if (row >= 0 && IsParamIndex(selectedParam)) {
        const ParamInfo& param = ParamTable()[selectedParam];
        newValueText = paramText[selectedParam];
        hintText = ParamText(param.hint);
        ShowRangeHint();
        valueSpin->SetRange(param.spinMin, param.spinMax);
        valueSpin->SetPos(params[selectedParam]);
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
    writeValue = typed.writeValue;
    typedValue = typed.typedValue;
    if (const std::optional<int> position = SpinPositionFor(selectedParam, typed)) {
        valueSpin->SetPos(*position);
    }
}

void CBrimvoltDlg::OnVScroll(int code, int position) {
    if (code == kEndScroll) {
        return;
    }
    const QString text = StepText(selectedParam, position);
    if (!text.isNull()) {
        newValueText = text;
    }
    ShowFields();
}

void CBrimvoltDlg::OnHScroll(int code, int position) {
    if (code >= kEndScroll) {
        return;
    }
    selectedParam = position != 0 ? 0xFF : 0xFE;
    ClearSelection(operationalList);
    ClearSelection(modeList);
    pendingCommand = 'N';
}

void CBrimvoltDlg::OnWriteParameter() {
    if (!PortOpenOrTell()) {
        return;
    }
    if (selectedParam > 20) {
        dialogs.Message(this, tr("Сначала нужно выбрать нужный параметр."), tr("Внимание!"),
                        platform::Buttons::Ok);
        return;
    }
    ReadControls();
    const QString typedText = WithDecimalPoint(newValueText);
    const std::optional<std::uint16_t> word = WordToWrite(selectedParam, typedText);
    if (!word) {
        dialogs.Message(this, tr("Недопустимое значение параметра."), tr("Ошибка"),
                        platform::Buttons::Ok);
        return;
    }
    newValueText = typedText;
    const TypedValue typed = ConvertTyped(newValueText);
    typedValue = typed.typedValue;
    writeValue = *word;
    ShowFields();
    pendingCommand = 'w';
}

void CBrimvoltDlg::OnRunChanged(const RunEvent& event) {
    // The status topic carries the energy of the run under way; between runs there is none.
    const bool underWay =
        event.run.state == RunState::Running && event.kind != RunEventKind::Interrupted;
    runEnergyMwh = underWay ? std::optional<double>(EnergyMwh(event.run.energyUj)) : std::nullopt;
}

void CBrimvoltDlg::OnMqttStatusText(const QString& text) {
    // Said once per change, however often the publisher retries.
    QTextStream(stderr) << "brimvolt: " << text << '\n';
    ShowMqttState();
}

void CBrimvoltDlg::ShowMqttState() {
    if (menuBar == nullptr || !mqttPublisher) {
        return;
    }
    if (mqttStateEntry == nullptr) {
        mqttStateEntry = menuBar->addAction(QString());
        mqttStateEntry->setEnabled(false);
    }
    // The bar is as wide as the window and holds the commands too. A text longer than the room
    // left is cut at its end: how things stand comes first in it, and the whole text is the
    // entry's tool tip and on standard error.
    const QString text = mqttPublisher->StatusText();
    const QFontMetrics metrics(menuBar->font());
    const QList<QAction*> entries = menuBar->actions();
    int used = 0;
    int padding = 2 * metrics.averageCharWidth();
    if (entries.size() > 1) {
        QAction* previous = entries[entries.size() - 2];
        const QRect previousRect = menuBar->actionGeometry(previous);
        used = previousRect.right() + 1;
        padding = previousRect.width() - metrics.horizontalAdvance(previous->text());
    }
    const QStyle* style = menuBar->style();
    const int room = menuBar->width() - used - padding -
                     style->pixelMetric(QStyle::PM_MenuBarItemSpacing, nullptr, menuBar) -
                     style->pixelMetric(QStyle::PM_MenuBarHMargin, nullptr, menuBar);
    mqttStateEntry->setText(metrics.elidedText(text, Qt::ElideRight, std::max(0, room)));
    mqttStateEntry->setToolTip(text);
}

#ifdef BRIMVOLT_HAVE_MQTT

void CBrimvoltDlg::PublishOverMqtt(const MqttSettings& settings) {
    MqttPublisherOptions options;
    options.url = settings.url;
    options.password = settings.password;
    // Without a prefix of the operator's nothing is published until the module is found.
    options.prefix = settings.fixedPrefix;
    options.softwareVersion = QStringLiteral(BRIMVOLT_VERSION);
    mqttFixedPrefix = !settings.fixedPrefix.isEmpty();
    mqttPublisher = std::make_unique<CMqttPublisher>(std::move(options));
    connect(mqttPublisher.get(), &CMqttPublisher::StatusTextChanged, this,
            &CBrimvoltDlg::OnMqttStatusText);
    OnMqttStatusText(mqttPublisher->StatusText());

    connect(journal.get(), &CJournalWriter::RunChanged, this, &CBrimvoltDlg::OnRunChanged);
    // Run messages go out from the journal's thread: the run the journal closes as the program
    // leaves is reported when the window's event loop has ended already.
    CMqttPublisher* publisher = mqttPublisher.get();
    connect(
        journal.get(), &CJournalWriter::RunChanged, publisher,
        [publisher](const RunEvent& event) {
            if (event.kind != RunEventKind::Sampled) {
                publisher->PublishRun(MqttRunOf(event.run));
            }
        },
        Qt::DirectConnection);
}

void CBrimvoltDlg::MoveTopicsToPort() {
    if (mqttPublisher && !mqttFixedPrefix) {
        mqttPublisher->SetTopicPrefix(DefaultTopicPrefix(QSysInfo::machineHostName(), portName));
    }
}

void CBrimvoltDlg::PublishReading(const StatusRecord& status, const PollTexts& texts) {
    // The publisher keeps the newest and sends one a second; every record may come here.
    if (mqttPublisher) {
        mqttPublisher->PublishStatus(
            MqttStatusOf(status, texts.displayLine1, texts.displayLine2, runEnergyMwh));
    }
}

#else

void CBrimvoltDlg::PublishOverMqtt(const MqttSettings&) {}
void CBrimvoltDlg::MoveTopicsToPort() {}
void CBrimvoltDlg::PublishReading(const StatusRecord&, const PollTexts&) {}

#endif
