#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "channel/ChannelPhase.h"
#include "channel/ChannelPicture.h"
#include "channel/CheckReadings.h"
#include "curve/Graf.h"
#include "cycle/ProgramRunner.h"
#include "journal/CurveRuns.h"
#include "link/PortHandle.h"
#include "link/SerialWorker.h"
#include "module/DisplayTexts.h"
#include "module/Protocol.h"
#include "mqtt/MqttSettings.h"

namespace brimvolt {

class CBoundedPorts;
class CClaimedPorts;
class CJournalWriter;
class CMqttPublisher;
class CSleepHold;
struct RunEvent;

namespace platform {
class CDialogs;
class CPortSystem;
}  // namespace platform

/** What the display block shows until the next record or discovery pass replaces it. */
struct DisplayPicture {
    enum class Kind { Empty, Message, Lines };
    Kind kind = Kind::Empty;
    QString message;
    QString line1;
    QString line2;
};

/** How a channel finds its module and where it keeps what it records. */
struct ChannelSetup {
    /** The journal file, absolute; every channel of a program shares it. */
    QString journalPath;
    /** Searches only this port; empty: any port no other channel holds. */
    QString boundPort;
    /** Once its module is found, the channel searches only that port again (a bench). */
    bool keepFoundPort = false;
    /** A bench: the autosave is temp-<port>.raz / .zar, not the one temp.raz of the program. */
    bool autosavePerPort = false;
    /** The opens shared with the program's other channels; null: a set of its own. */
    std::shared_ptr<CBoundedPorts> boundedPorts;
    /** The ports the program's channels hold; null: a set of its own. */
    std::shared_ptr<CClaimedPorts> claims;
};

/** The journal's file, absolute: `journalPath`, or journal.sqlite in the current folder. */
QString JournalFileOf(const QString& journalPath);

/**
 * The autosave's name in a bench: "temp-" and the port as a file name ("/dev/ttyUSB0" gives
 * "temp-ttyUSB0", "/dev/serial/by-id/x" gives "temp-serial_by-id_x", "COM3" gives "temp-COM3").
 */
QString AutosaveNameOf(const QString& port);

/**
 * One module's connection: the serial worker on its thread, discovery and the port, the poll
 * cycle and its two timers, the pending-command slot, the latest status record and its texts,
 * the curve store with its recording and autosave (the curve window, made hidden), the journal
 * writer for its port, its test program, its MQTT publisher and its hold on the sleep guard.
 * Views (the main window, a tile of the bench) call in and hear the signals; they keep no state
 * of the module.
 *
 * A status record goes, in this order, to the journal, the run flag and the sleep guard, the
 * views (StatusRead), the curve, the publisher, the test program and the voltage checks.
 */
class CChannel : public QObject {
    Q_OBJECT
public:
    static constexpr int kPollTimer = 1;
    static constexpr int kDiscoveryTimer = 2;
    static constexpr int kPollPeriodMs = 100;
    static constexpr int kDiscoveryPeriodMs = 10;
    static constexpr std::uint8_t kNoSelection = 0xFF;
    static constexpr int kCheckReadings = static_cast<int>(CCheckReadings::kReadings);

    /** Starts the serial worker, which uses `ports` on its own thread until the channel ends. */
    CChannel(platform::CPortSystem& ports, platform::CDialogs& dialogs, ChannelSetup setup);
    ~CChannel() override;

    /**
     * Makes the curve window (hidden, owned by `owner`), loads `curveFile` into it when given,
     * starts the journal and the first discovery pass. Everything that listens is connected by
     * now.
     */
    void Start(QWidget* owner, const QString& curveFile = {});
    /**
     * The exit path: a run in progress is recorded as interrupted, the autosave written, the
     * port closed; no answer of the worker is taken any more.
     */
    void Leave();
    bool Leaving() const { return leaving; }

    /** A timer's tick, as the timers give them (kPollTimer, kDiscoveryTimer). */
    void OnTimer(int id);
    /** The operator chose the combo box entry `index`, reading `chosen`. */
    void ChoosePort(int index, const QString& chosen);
    /** A command for the next tick (0: none); the one slot holds the latest. */
    void QueueCommand(std::uint8_t command) { pendingCommand = command; }
    void SetSelection(std::uint8_t param) { selectedParam = param; }
    void SetWriteValue(std::uint16_t value) { writeValue = value; }
    /**
     * Where the view selector stands when a record comes: the lower display line shows the
     * temperature or not. Without a view it stands at 1.
     */
    void SetViewPositionSource(std::function<int()> source) { viewPosition = std::move(source); }
    /** The cell in the holder: the next run belongs to it. Empty: none. */
    void SetNextCell(const QString& cell);
    /**
     * The next cell as the operator last gave it (here or to the journal writer), until a run
     * took it; empty: none.
     */
    const QString& NextCell() const { return nextCell; }

    /** Why a voltage check cannot begin now, as the operator is told; empty when it can. */
    QString WhyNoCheck() const;
    /**
     * Measures the cell in the holder with the idle module: the next kCheckReadings readings,
     * one a second, make a check of `cell` in the journal (a name not in the register adds the
     * cell). Empty when the check began; otherwise why not, told by CheckRefused as well. A run
     * or program that starts, a lost link or an empty holder abandons it (CheckRefused).
     */
    QString CheckVoltage(const QString& cell);
    bool Checking() const { return voltageCheck.has_value(); }
    /** The check going on, the last one's result or why it was abandoned; empty before any. */
    const QString& CheckNote() const { return checkNote; }

    /** Keeps the computer awake while this channel's module runs; null: nothing held. */
    void SetSleepHold(std::shared_ptr<CSleepHold> hold);
    /**
     * Publishes every reading, and the runs of the journal, to the broker of `settings`: under
     * `settings.fixedPrefix` (a bench adds the port), or under one named after this computer and
     * the port the module answers on. Call before Start.
     */
    void PublishOverMqtt(const MqttSettings& settings, bool prefixPerPort = false);

    const DisplayPicture& Picture() const { return displayPicture; }
    /** What a tile of the bench shows. */
    ChannelPicture TilePicture() const;
    bool LinkBusy() const { return linkBusy; }
    const QStringList& PortEntries() const { return portEntries; }
    const PollTexts& Texts() const { return texts; }
    CJournalWriter* Journal() const { return journal.get(); }
    const QString& JournalPath() const { return setup.journalPath; }
    CMqttPublisher* MqttPublisher() const { return mqttPublisher.get(); }
    CProgramRunner& Runner() { return programRunner; }
    const CProgramRunner& Runner() const { return programRunner; }
    /** The port this channel answers for: its module's, or the one it is bound to. */
    QString Port() const;

    // The module and the link as last reported.
    brimvolt::PortHandle portHandle;  // == nullptr: no port open
    QString portName;
    int portIndex = 0;
    std::uint8_t selectedParam = kNoSelection;
    std::uint8_t pendingCommand = 'a';
    std::uint8_t statusFlags = 0;
    std::uint8_t firstReading = 1;
    std::uint8_t running = 0;
    std::uint8_t temperature = 0;
    std::uint16_t writeValue = 0;
    std::int32_t lastCurveSeconds = -1;
    std::int32_t elapsedSeconds = 0;
    std::int32_t hours = 0;
    std::int32_t minutes = 0;
    std::int32_t seconds = 0;
    std::int32_t capacityMah = 0;
    std::array<std::uint16_t, 12> params{};
    std::uint16_t currentMa = 0;
    std::uint16_t voltageMv = 0;
    std::uint16_t rinMohm = 0;
    std::uint16_t restVoltageMv = 0;

    CGraf curveWindow;
    QTimer pollTimer;       // id 1
    QTimer discoveryTimer;  // id 2

signals:
    /** A discovery pass listed the ports (the combo box's entries). */
    void PortsListed(const QStringList& entries);
    /** A pass found no module; the display block shows why. */
    void DiscoveryFailed();
    /** The module answers on `portName`, entry `portIndex` (by discovery or the operator). */
    void Found();
    /** The port the operator chose did not open. */
    void OpenFailed(const QString& port);
    /** A status record, after the journal and the sleep guard, before the curve. */
    void StatusRead(const brimvolt::StatusRecord& status, const brimvolt::PollTexts& texts);
    /** A problem of the journal, to be told once. */
    void JournalProblem(const QString& text);
    /** The publisher's state changed (also once when publishing starts). */
    void MqttStatusText(const QString& text);
    /** Anything a tile shows may have changed. */
    void Changed();
    /** A voltage check is in the journal: the cell, its mean voltage and temperature (°C). */
    void CheckRecorded(const QString& cell, double millivolts, int temperature);
    /** A voltage check was refused, abandoned or could not be written: the text says which. */
    void CheckRefused(const QString& text);

private:
    void DiscoveryTick();
    void PollTick();
    std::vector<Request> PendingCommandRequests() const;
    void ClosePort();

    void OnDiscoveryDone(const DiscoveryOutcome& outcome);
    void OnModuleFound(int index);
    /** The module answers on portName, entry `index`: the channel takes the port. */
    void TakePort(int index);
    void OnPortOpenDone(bool opened);
    void OnPollDone(const PollOutcome& outcome);
    void OnStatusRead(const StatusRecord& status);
    void OnLinkLost();
    void OnRunTakenUp(const TakenUpRun& run);

    /** The status record for the checks: the idle readings kept, the check going on. */
    void FollowChecks(const StatusRecord& status, bool programWasActive, std::int64_t steadyMs,
                      std::int64_t wallMs);
    void AbandonCheck(const QString& reason);
    void OnCheckAdded(const CheckRecord& check, const QString& cell);
    void OnCheckFailed(const QString& cell, const QString& reason);

    void MoveTopicsToPort();
    void PublishReading(const StatusRecord& status);
    void OnRunChanged(const RunEvent& event);

    /**
     * Steps that talk to the module (the two ticks, a port choice) run one at a time in the
     * order they came: one that comes while the worker is busy waits for the answer before it.
     */
    void RunLinkStep(std::function<void()> step);
    void AskWorker(std::function<void(CSerialWorker&)> request);
    void LinkStepDone();
    void RunWaitingLinkSteps();
    /** Closes the worker's port once the exchange it may be making is over; waits for that. */
    void CloseWorkerPort();

    platform::CDialogs& dialogs;
    ChannelSetup setup;
    DisplayPicture displayPicture;
    PollTexts texts;
    QStringList portEntries;
    std::function<int()> viewPosition = [] { return 1; };
    bool started = false;

    QThread serialThread;
    std::unique_ptr<CSerialWorker> serialWorker;
    bool linkBusy = false;
    std::deque<std::function<void()>> linkSteps;
    int chosenIndex = 0;   // the entry being opened by the operator's choice
    bool leaving = false;  // the exit path has run: no answer of the worker is taken any more
    bool everFound = false;

    std::shared_ptr<CSleepHold> sleepHold;

    // Declared before the journal, so it is still there for the run the journal closes last.
    std::unique_ptr<CMqttPublisher> mqttPublisher;
    QString mqttPrefix;                  // the operator's; empty: named after the computer
    bool mqttPrefixPerPort = false;      // a bench: the operator's prefix, then the port
    std::optional<double> runEnergyMwh;  // of the journal's open run

    std::unique_ptr<CJournalWriter> journal;
    CCurveRuns curveRuns;  // the run the curve store holds, by the journal's rules
    CProgramRunner programRunner;

    QString nextCell;
    struct VoltageCheck {
        QString cell;
        CCheckReadings readings;
    };
    std::optional<VoltageCheck> voltageCheck;
    // The last readings of the module standing idle: a program that ends with a rest checks
    // its cell with them.
    CCheckReadings idleReadings;
    QString checkNote;
};

}  // namespace brimvolt
