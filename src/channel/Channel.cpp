#include "channel/Channel.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSysInfo>
#include <QTextStream>
#include <chrono>

#include "channel/MqttRecords.h"
#include "channel/SleepHold.h"
#include "journal/JournalWriter.h"
#include "link/Discovery.h"
#include "module/Commands.h"
#include "module/CurveRecording.h"
#include "mqtt/MqttPublisher.h"
#include "mqtt/MqttTopics.h"

namespace brimvolt {

namespace {

std::int64_t WallMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// The test program's step times: a clock the system's time setting cannot move.
std::int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::unique_ptr<CSerialWorker> MakeWorker(platform::CPortSystem& ports, const ChannelSetup& setup) {
    if (setup.boundedPorts && setup.claims) {
        return std::make_unique<CSerialWorker>(setup.boundedPorts, setup.claims);
    }
    return std::make_unique<CSerialWorker>(ports);
}

}  // namespace

// The journal lives where Colors.ini and the autosave do unless the command line says otherwise.
QString JournalFileOf(const QString& journalPath) {
    return journalPath.isEmpty()
               ? QDir::current().absoluteFilePath(QStringLiteral("journal.sqlite"))
               : QFileInfo(journalPath).absoluteFilePath();
}

QString AutosaveNameOf(const QString& port) {
    QString name = port;
    if (name.startsWith(u"/dev/")) {
        name.remove(0, 5);
    }
    while (name.startsWith(u'/') || name.startsWith(u'\\')) {
        name.remove(0, 1);
    }
    for (QChar& c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || QStringView(u"/\\:*?\"<>| ").contains(c)) {
            c = u'_';
        }
    }
    return QStringLiteral("temp-") + (name.isEmpty() ? QStringLiteral("_") : name);
}

CChannel::CChannel(platform::CPortSystem& ports, platform::CDialogs& dialogs, ChannelSetup setup)
    : curveWindow(dialogs), dialogs(dialogs), setup(std::move(setup)) {
    pollTimer.setSingleShot(true);
    discoveryTimer.setSingleShot(true);
    connect(&pollTimer, &QTimer::timeout, this, [this] { OnTimer(kPollTimer); });
    connect(&discoveryTimer, &QTimer::timeout, this, [this] { OnTimer(kDiscoveryTimer); });

    // The ports are the worker's alone from here on: only its thread touches them.
    serialWorker = MakeWorker(ports, this->setup);
    serialWorker->moveToThread(&serialThread);
    connect(serialWorker.get(), &CSerialWorker::DiscoveryDone, this, &CChannel::OnDiscoveryDone);
    connect(serialWorker.get(), &CSerialWorker::PortOpenDone, this, &CChannel::OnPortOpenDone);
    connect(serialWorker.get(), &CSerialWorker::PollDone, this, &CChannel::OnPollDone);
    serialThread.setObjectName(QStringLiteral("serial"));
    serialThread.start();

    journal = std::make_unique<CJournalWriter>(this->setup.journalPath);
    connect(journal.get(), &CJournalWriter::Problem, this, &CChannel::JournalProblem);
    connect(journal.get(), &CJournalWriter::RunTakenUp, this, &CChannel::OnRunTakenUp);
    programRunner.SetJournal(journal.get());
    connect(&programRunner, &CProgramRunner::Changed, this, &CChannel::Changed);

    // Said on this thread as it is given, so a view asking next knows it.
    connect(journal.get(), &CJournalWriter::NextCellSet, this,
            [this](const QString& name) { nextCell = name; });
    connect(journal.get(), &CJournalWriter::CellGiven, this,
            [this](qint64, const QString& cell, bool nextTaken) {
                if (nextTaken && cell == nextCell) {
                    nextCell.clear();
                }
            });
    connect(journal.get(), &CJournalWriter::CheckAdded, this, &CChannel::OnCheckAdded);
    connect(journal.get(), &CJournalWriter::CheckFailed, this, &CChannel::OnCheckFailed);
}

CChannel::~CChannel() {
    leaving = true;
    CloseWorkerPort();
    serialThread.quit();
    serialThread.wait();
    if (sleepHold) {
        sleepHold->Stop(this);
    }
    // Whatever was passed to the journal is written before the program ends.
    journal.reset();
}

void CChannel::Start(QWidget* owner, const QString& curveFile) {
    if (started) {
        return;
    }
    started = true;
    journal->Start();
    curveWindow.Create(owner);
    if (!curveFile.isEmpty()) {
        curveWindow.LoadCurveFile(curveFile);
    }
    portHandle.reset();
    discoveryTimer.start(kDiscoveryPeriodMs);
}

QString CChannel::Port() const {
    return portHandle ? portName : setup.boundPort;
}

void CChannel::SetNextCell(const QString& cell) {
    journal->SetNextCell(cell);
}

void CChannel::SetSleepHold(std::shared_ptr<CSleepHold> hold) {
    sleepHold = std::move(hold);
}

void CChannel::Leave() {
    if (leaving) {
        return;  // already on the way out (a second signal, the question answered meanwhile)
    }
    // Nothing more goes to the module: the worker ends the exchange it may be making and closes
    // the port, and its answer is no longer taken.
    leaving = true;
    pollTimer.stop();
    discoveryTimer.stop();
    linkSteps.clear();
    voltageCheck.reset();
    CloseWorkerPort();
    if (portHandle) {
        ClosePort();
    }
    journal->Leaving(WallMs());
    // The last recorded point reaches the autosave even if no paint came after it.
    curveWindow.FlushAutosave();
}

void CChannel::OnTimer(int id) {
    RunLinkStep([this, id] {
        if (id == kDiscoveryTimer) {
            DiscoveryTick();
        } else {
            PollTick();
        }
    });
}

void CChannel::RunLinkStep(std::function<void()> step) {
    linkSteps.push_back(std::move(step));
    RunWaitingLinkSteps();
}

void CChannel::AskWorker(std::function<void(CSerialWorker&)> request) {
    linkBusy = true;
    CSerialWorker* worker = serialWorker.get();
    QMetaObject::invokeMethod(
        worker, [worker, request = std::move(request)] { request(*worker); }, Qt::QueuedConnection);
}

void CChannel::LinkStepDone() {
    linkBusy = false;
    RunWaitingLinkSteps();
}

void CChannel::RunWaitingLinkSteps() {
    while (!linkBusy && !leaving && !linkSteps.empty()) {
        const std::function<void()> step = std::move(linkSteps.front());
        linkSteps.pop_front();
        step();
    }
}

void CChannel::CloseWorkerPort() {
    CSerialWorker* worker = serialWorker.get();
    QMetaObject::invokeMethod(
        worker, [worker] { worker->ClosePort(); }, Qt::BlockingQueuedConnection);
}

void CChannel::DiscoveryTick() {
    discoveryTimer.stop();
    if (portHandle) {
        pollTimer.stop();
        ClosePort();
    }
    const QString bound = setup.boundPort;
    AskWorker([bound](CSerialWorker& worker) { worker.FindModule(bound); });
}

void CChannel::OnDiscoveryDone(const DiscoveryOutcome& outcome) {
    if (leaving) {
        return;
    }
    portEntries = outcome.entries;
    emit PortsListed(portEntries);
    if (outcome.result == FindResult::Found) {
        OnModuleFound(outcome.foundIndex);
    } else {
        displayPicture =
            DisplayPicture{DisplayPicture::Kind::Message, DiscoveryMessage(outcome.result), {}, {}};
        emit DiscoveryFailed();
        emit Changed();
        discoveryTimer.start(kDiscoveryPeriodMs);
    }
    LinkStepDone();
}

void CChannel::OnModuleFound(int index) {
    portName = portEntries.value(index);
    TakePort(index);
}

void CChannel::TakePort(int index) {
    portIndex = index;
    portHandle = PortHandle(portName);
    if (setup.keepFoundPort) {
        // The channel's identity from here on: it waits for its module there when it is lost.
        setup.boundPort = portName;
    }
    if (setup.autosavePerPort) {
        curveWindow.autosaveName = AutosaveNameOf(portName);
    }
    everFound = true;
    journal->ModuleFound(portName, WallMs());
    curveRuns.OnModuleFound(portName);
    emit Found();
    MoveTopicsToPort();
    emit Changed();
    pollTimer.start(kPollPeriodMs);
}

void CChannel::ChoosePort(int index, const QString& chosen) {
    RunLinkStep([this, index, chosen] {
        if (portHandle) {
            pollTimer.stop();
            ClosePort();
        }
        portName = chosen;
        // Where the entry stands now: a pass that answered in between rebuilt the list.
        const int shown = static_cast<int>(portEntries.indexOf(chosen));
        chosenIndex = shown >= 0 ? shown : index;
        AskWorker([chosen](CSerialWorker& worker) { worker.OpenPort(chosen); });
    });
}

void CChannel::OnPortOpenDone(bool opened) {
    if (leaving) {
        return;
    }
    if (!opened) {
        emit OpenFailed(portName);
    } else {
        TakePort(chosenIndex);
    }
    LinkStepDone();
}

// The worker closes its own port before it searches or opens another; here the channel lets go.
void CChannel::ClosePort() {
    portHandle.reset();
    idleReadings.Clear();
    if (voltageCheck) {
        AbandonCheck(tr("модуль отключён"));
    }
    // With the module gone nobody knows whether a run goes on: sleep is allowed again.
    if (sleepHold) {
        sleepHold->Stop(this);
    }
}

std::vector<Request> CChannel::PendingCommandRequests() const {
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

void CChannel::PollTick() {
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

void CChannel::OnPollDone(const PollOutcome& outcome) {
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

void CChannel::OnLinkLost() {
    // The worker has closed the port already. Nothing is redrawn: the block keeps its picture.
    if (voltageCheck) {
        AbandonCheck(tr("связь с модулем потеряна"));
    }
    ClosePort();
    journal->LinkLost(WallMs());
    programRunner.OnLinkLost();
    // A command given while the failing exchange was on its way was meant for the module as it
    // was then; it is not sent to whatever answers next.
    pendingCommand = 'a';
    emit Changed();
    discoveryTimer.start(kDiscoveryPeriodMs);
}

void CChannel::OnStatusRead(const StatusRecord& status) {
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
    texts = ComposePollTexts(status, viewPosition());

    journal->Status(status, WallMs());
    running = (statusFlags & flags::kRunning) != 0 ? 1 : 0;
    curveWindow.store.runActive = running;
    if (sleepHold) {
        sleepHold->FollowRunFlag(this, running != 0);
    }
    displayPicture =
        DisplayPicture{DisplayPicture::Kind::Lines, {}, texts.displayLine1, texts.displayLine2};
    emit StatusRead(status, texts);

    const RecordOutcome outcome =
        curveRuns.Record(firstReading, lastCurveSeconds, restVoltageMv, curveWindow.store, status);
    if (outcome.newRun) {
        curveWindow.setWindowTitle(params[4] == 0 ? CGraf::tr("Разрядная кривая - Безымянный")
                                                  : CGraf::tr("Зарядная кривая - Безымянный"));
    }
    if (outcome.pointAdded) {
        curveWindow.CurveChanged();
    }
    PublishReading(status);
    const bool programWasActive = programRunner.Active();
    const std::int64_t steadyMs = SteadyMs();
    programRunner.OnStatus(status, steadyMs);
    FollowChecks(status, programWasActive, steadyMs, WallMs());
    emit Changed();
}

QString CChannel::WhyNoCheck() const {
    if (leaving || !portHandle) {
        return tr("Модуль не найден: напряжение проверять нечем.");
    }
    if (running != 0) {
        return tr("Идёт заряд или разряд: проверка напряжения ждёт его конца.");
    }
    if (programRunner.Active()) {
        return tr("Выполняется программа испытаний: проверка напряжения ждёт её конца.");
    }
    if (voltageCheck) {
        return tr("Проверка напряжения ячейки %1 уже идёт.").arg(voltageCheck->cell);
    }
    if (journal->Unusable()) {
        return tr("Журнал испытаний недоступен: проверку некуда записать.");
    }
    return {};
}

QString CChannel::CheckVoltage(const QString& cell) {
    const QString name = cell.simplified();
    const QString refusal =
        name.isEmpty() ? tr("Не указана ячейка, напряжение которой проверить.") : WhyNoCheck();
    if (!refusal.isEmpty()) {
        emit CheckRefused(refusal);
        return refusal;
    }
    voltageCheck = VoltageCheck{name, CCheckReadings()};
    checkNote = tr("Проверка напряжения: %1 с из %2").arg(0).arg(kCheckReadings);
    emit Changed();
    return {};
}

void CChannel::FollowChecks(const StatusRecord& status, bool programWasActive,
                            std::int64_t steadyMs, std::int64_t wallMs) {
    if (running != 0 || NoCellIn(status)) {
        idleReadings.Clear();
    } else {
        idleReadings.Offer(status, steadyMs, wallMs);
    }
    // The rest a program ends with leaves the cell idle: its last readings are the cell's check.
    if (programWasActive && programRunner.FinishedAfterRest()) {
        if (const std::optional<CheckRecord> check = idleReadings.Check(Port())) {
            journal->AddProgramCheck(*check);
        }
    }

    if (!voltageCheck) {
        return;
    }
    if (running != 0) {
        AbandonCheck(tr("начался заряд или разряд"));
        return;
    }
    if (programRunner.Active()) {
        AbandonCheck(tr("начата программа испытаний"));
        return;
    }
    if (NoCellIn(status)) {
        AbandonCheck(tr("нет ячейки в держателе"));
        return;
    }
    if (!voltageCheck->readings.Offer(status, steadyMs, wallMs)) {
        return;
    }
    const int taken = static_cast<int>(voltageCheck->readings.Count());
    checkNote = tr("Проверка напряжения: %1 с из %2").arg(taken).arg(kCheckReadings);
    if (voltageCheck->readings.Full()) {
        if (const std::optional<CheckRecord> check = voltageCheck->readings.Check(Port())) {
            journal->AddCheck(*check, voltageCheck->cell);
        }
        voltageCheck.reset();
    }
}

void CChannel::AbandonCheck(const QString& reason) {
    checkNote = tr("Проверка ячейки %1 прервана: %2").arg(voltageCheck->cell, reason);
    voltageCheck.reset();
    emit CheckRefused(checkNote);
    emit Changed();
}

void CChannel::OnCheckAdded(const CheckRecord& check, const QString& cell) {
    checkNote = tr("Ячейка %1: %2 В").arg(cell, QString::number(check.millivolts / 1000.0, 'f', 3));
    emit CheckRecorded(cell, check.millivolts, check.temperature.value_or(0));
    emit Changed();
}

void CChannel::OnCheckFailed(const QString& cell, const QString& reason) {
    checkNote = tr("Проверка ячейки %1 не записана: %2").arg(cell, reason);
    emit CheckRefused(checkNote);
    emit Changed();
}

void CChannel::OnRunTakenUp(const TakenUpRun& run) {
    if (curveRuns.TakeUp(run, curveWindow.store)) {
        curveWindow.CurveChanged();
    }
}

ChannelPicture CChannel::TilePicture() const {
    ChannelPicture picture;
    picture.port = Port();
    if (displayPicture.kind == DisplayPicture::Kind::Message) {
        picture.line1 = displayPicture.message;
    } else {
        picture.line1 = displayPicture.line1;
        picture.line2 = displayPicture.line2;
    }
    picture.running = running != 0;
    picture.programActive = programRunner.Active();
    picture.cell = programRunner.Active() ? programRunner.Cell() : QString();
    picture.programStep = programRunner.StepNumber();
    picture.programSteps = programRunner.StepCount();
    picture.stepElapsedMs = programRunner.StepElapsedMs(programRunner.LastNowMs());
    picture.checking = voltageCheck.has_value();
    picture.checkNote = checkNote;
    picture.phase = PhaseOf(ChannelFacts{everFound, static_cast<bool>(portHandle), statusFlags,
                                         params[4] != 0, programRunner.Active(),
                                         programRunner.Resting()});
    return picture;
}

void CChannel::OnRunChanged(const RunEvent& event) {
    // The status topic carries the energy of the run under way; between runs there is none.
    const bool underWay =
        event.run.state == RunState::Running && event.kind != RunEventKind::Interrupted;
    runEnergyMwh = underWay ? std::optional<double>(EnergyMwh(event.run.energyUj)) : std::nullopt;
}

#ifdef BRIMVOLT_HAVE_MQTT

void CChannel::PublishOverMqtt(const MqttSettings& settings, bool prefixPerPort) {
    MqttPublisherOptions options;
    options.url = settings.url;
    options.password = settings.password;
    // Without a prefix of the operator's nothing is published until the module is found; in a
    // bench the operator's prefix needs the port too.
    options.prefix = prefixPerPort ? QString() : settings.fixedPrefix;
    options.softwareVersion = QStringLiteral(BRIMVOLT_VERSION);
    mqttPrefix = settings.fixedPrefix;
    mqttPrefixPerPort = prefixPerPort;
    mqttPublisher = std::make_unique<CMqttPublisher>(std::move(options));
    connect(mqttPublisher.get(), &CMqttPublisher::StatusTextChanged, this,
            &CChannel::MqttStatusText);

    connect(journal.get(), &CJournalWriter::RunChanged, this, &CChannel::OnRunChanged);
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

void CChannel::MoveTopicsToPort() {
    if (!mqttPublisher) {
        return;
    }
    if (mqttPrefix.isEmpty()) {
        mqttPublisher->SetTopicPrefix(DefaultTopicPrefix(QSysInfo::machineHostName(), portName));
    } else if (mqttPrefixPerPort) {
        mqttPublisher->SetTopicPrefix(mqttPrefix + u'/' + PortTopicLevel(portName));
    }
}

void CChannel::PublishReading(const StatusRecord& status) {
    // The publisher keeps the newest and sends one a second; every record may come here.
    if (mqttPublisher) {
        mqttPublisher->PublishStatus(
            MqttStatusOf(status, texts.displayLine1, texts.displayLine2, runEnergyMwh));
    }
}

#else

void CChannel::PublishOverMqtt(const MqttSettings&, bool) {}
void CChannel::MoveTopicsToPort() {}
void CChannel::PublishReading(const StatusRecord&) {}

#endif

}  // namespace brimvolt
