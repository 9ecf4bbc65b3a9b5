#pragma once

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QRect>
#include <QSet>
#include <QString>
#include <QThread>
#include <QTimer>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/ToolTip.h"
#include "curve/Graf.h"
#include "cycle/ProgramRunner.h"
#include "journal/CurveRuns.h"
#include "link/PortHandle.h"
#include "link/SerialWorker.h"
#include "module/Protocol.h"
#include "mqtt/MqttSettings.h"
#include "platform/DialogTemplate.h"
#include "platform/RunSleepGuard.h"
#include "platform/SerialPort.h"

class CJournalDlg;
class CProgramDlg;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenuBar;
class QPushButton;

namespace brimvolt {
class CJournalWriter;
class CMqttPublisher;
struct PollTexts;
struct RunEvent;
struct TestProgram;
}  // namespace brimvolt

namespace brimvolt::platform {
class CDialogs;
}

/**
 * The main window: the controls, the state of the link and of the module as last reported,
 * the two timers that drive discovery and polling, and the curve window. The port itself is
 * held by a serial worker on a thread of its own: a tick hands it a request and goes on when
 * the answer comes back, so the window never waits on the module.
 */
class CBrimvoltDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPollTimer = 1;
    static constexpr int kDiscoveryTimer = 2;
    static constexpr int kPollPeriodMs = 100;
    static constexpr int kDiscoveryPeriodMs = 10;
    static constexpr std::uint8_t kNoSelection = 0xFF;

    /**
     * Sets the initial state and starts the serial worker, which uses portSystem on its own
     * thread until the window is destroyed, and the run journal at `journalPath` (empty:
     * journal.sqlite in the data folder); Create (or exec) builds the window.
     */
    CBrimvoltDlg(brimvolt::platform::CPortSystem& portSystem, brimvolt::platform::CDialogs& dialogs,
                 const QString& journalPath = {});
    ~CBrimvoltDlg() override;

    /** Builds the controls from the template, connects them and initialises; then shows. */
    void Create();
    int exec() override;

    // Handlers, one per message of the window.
    void OnInitDialog();
    QIcon OnQueryDragIcon() const { return appIcon; }
    void OnAbout();
    void OnShowHideCurve();
    /** "Журнал испытаний": the journal window, made the first time and kept while hidden. */
    void OnJournal();
    /** "Программа испытаний": the test program's window, made the first time and kept. */
    void OnTestProgram();
    /** Shows `program` in its window and starts it when the module is found (--program). */
    void RunProgram(const brimvolt::TestProgram& program);
    void OnExit();
    /**
     * The exit path without its question: a run in progress is recorded as interrupted, the
     * autosave written, the port closed. For "Выход" once confirmed, and for the end of the
     * session or a signal to end (SIGTERM, SIGINT, SIGHUP).
     */
    void Leave();
    /**
     * The program is ended from outside (CSessionEnd): open message boxes and file dialogs are
     * answered "Cancel", so their loops end, and the window leaves by Leave.
     */
    void OnSessionEnd();
    void OnTimer(int id);
    void OnPortSelected(int index);
    void OnStartStop();
    void OnReset();
    void OnRinButton();
    void OnWriteTimeAndCapacity();
    void OnEmergencyReset();
    void OnOperationalSelected();
    void OnModeSelected();
    void OnValueEdited();
    void OnVScroll(int code, int position);
    void OnHScroll(int code, int position);
    void OnWriteParameter();

    /** Read the controls: every bound control text into its field. */
    void ReadControls();
    /** Show the fields: every bound field into its control, notifications blocked. */
    void ShowFields();

    /** A control of the template by its id; nullptr for an unknown id. */
    QWidget* Control(int id) const;

    /** Keeps the computer awake while the module reports a run; without one nothing is held. */
    void SetSleepGuard(std::unique_ptr<brimvolt::platform::CRunSleepGuard> guard) {
        sleepGuard = std::move(guard);
    }
    QMenuBar* MenuBar() const { return menuBar; }

    /**
     * Publishes every reading, and the runs of the journal, to the broker of `settings`: under
     * the operator's prefix, or else under one named after this computer and the port the
     * module answers on. Read-only: nothing from the broker reaches the module. Call before
     * Create; the broker's state is the last entry of the menu and goes to standard error.
     */
    void PublishOverMqtt(const brimvolt::MqttSettings& settings);

    /** A curve file (FILE.raz, FILE.zar) loaded into the curve window once it is up. */
    void OpenCurveFileAtStart(const QString& path) { startCurveFile = path; }
    /** The publisher; nullptr without PublishOverMqtt. */
    brimvolt::CMqttPublisher* MqttPublisher() const { return mqttPublisher.get(); }
    /** The menu entry that says the broker's state; nullptr until there is one. */
    QAction* MqttStateEntry() const { return mqttStateEntry; }

    /** What the display block shows until the next tick replaces it. */
    struct DisplayPicture {
        enum class Kind { Empty, Message, Lines };
        Kind kind = Kind::Empty;
        QString message;
        QString line1;
        QString line2;
    };
    const DisplayPicture& Picture() const { return displayPicture; }

    /** Whether a request is with the serial worker and its answer has not been handled yet. */
    bool LinkBusy() const { return linkBusy; }

    /**
     * The run journal the window feeds; null once the window has let it go. Its signals tell
     * of every run as it is recorded; it works on a thread of its own.
     */
    brimvolt::CJournalWriter* Journal() const { return journal.get(); }
    /** The journal's file, absolute. */
    QString JournalPath() const { return journalPath; }

    /** The journal window once the command opened it, or null. */
    CJournalDlg* JournalWindow() const { return journalWindow.get(); }
    /** The test program's window, made hidden with the main window. */
    CProgramDlg* ProgramWindow() const { return programWindow.get(); }

    // The state record, in declaration order.
    QIcon appIcon;
    QComboBox* portCombo = nullptr;
    QListWidget* operationalList = nullptr;
    QListWidget* modeList = nullptr;
    CGraf curveWindow;
    brimvolt::CToolTip toolTip;
    brimvolt::platform::CUpDown* valueSpin = nullptr;
    brimvolt::platform::CUpDown* viewSpin = nullptr;
    QFont displayFont;
    QFont largeFont;
    QRect upperStaticRect;
    QRect lowerStaticRect;
    QRect displayFrameRect;
    QRect displayTextRect;
    // The port, its line settings and time-outs live with the serial worker.
    brimvolt::PortHandle portHandle;  // == nullptr: no port open
    QRect clientRect;
    QString messageText;
    QString portName;
    QString newValueText;
    QString voltageText;
    QString currentText;
    QString capacityText;
    QString timeText;
    std::array<QString, 12> paramText;
    QString displayLine1;
    QString displayLine2;
    QString hintText;
    // The request and reply buffers are the serial worker's.
    std::uint8_t selectedParam = kNoSelection;
    std::uint8_t pendingCommand = 'a';
    std::uint8_t statusFlags = 0;
    int portIndex = 0;
    std::uint8_t firstReading = 1;
    std::uint8_t running = 0;
    std::uint8_t temperature = 0;
    std::uint16_t writeValue = 0;
    double typedValue = 0.0;
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

    QTimer pollTimer;       // id 1
    QTimer discoveryTimer;  // id 2

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    /** Enter (the dialog's OK command) writes the parameter and never closes the window. */
    void accept() override { OnWriteParameter(); }
    /** Esc, the close box and "Выход" all go through the exit confirmation. */
    void reject() override { OnExit(); }

private:
    void ConnectMessageMap();
    void DiscoveryTick();
    void PollTick();
    /** The requests of the pending command, built from the fields as they are now. */
    std::vector<brimvolt::Request> PendingCommandRequests() const;
    void ClosePort();

    // The worker's answers, and what they lead to.
    void OnDiscoveryDone(const brimvolt::DiscoveryOutcome& outcome);
    void OnModuleFound(int index);
    void OnPortOpenDone(bool opened);
    void OnPollDone(const brimvolt::PollOutcome& outcome);
    void OnStatusRead(const brimvolt::StatusRecord& status);
    void OnLinkLost();
    /** A problem of the journal: told once, after any box already shown has been answered. */
    void OnJournalProblem(const QString& text);
    /** The journal went on with a run an earlier program left: the curve gets it back whole. */
    void OnRunTakenUp(const brimvolt::TakenUpRun& run);

    // Publishing over MQTT, when the command line asks for it.
    /** The topics follow the port the module answers on, unless the operator named them. */
    void MoveTopicsToPort();
    void PublishReading(const brimvolt::StatusRecord& status, const brimvolt::PollTexts& texts);
    void OnRunChanged(const brimvolt::RunEvent& event);
    void OnMqttStatusText(const QString& text);
    void ShowMqttState();

    /**
     * Steps that talk to the module (the two ticks, a port choice) run one at a time in the
     * order they came: one that comes while the worker is busy waits for the answer before it.
     */
    void RunLinkStep(std::function<void()> step);
    void AskWorker(std::function<void(brimvolt::CSerialWorker&)> request);
    void LinkStepDone();
    void RunWaitingLinkSteps();
    /** Closes the worker's port once the exchange it may be making is over; waits for that. */
    void CloseWorkerPort();
    bool PortOpenOrTell();
    void FocusWriteButton();
    /** A command button: the port check, then the command (0: none) into the one slot. */
    void QueueButtonCommand(std::uint8_t command);
    void SelectParameter(QListWidget* list, QListWidget* other, int firstIndex);
    void ShowRangeHint();
    QPushButton* ButtonOf(int id) const;
    QLabel* StaticOf(int id) const;
    QLineEdit* ValueEdit() const;

    brimvolt::platform::CDialogs& dialogs;
    brimvolt::platform::BuiltControls controls;
    QMenuBar* menuBar = nullptr;
    DisplayPicture displayPicture;
    std::unique_ptr<brimvolt::platform::CRunSleepGuard> sleepGuard;
    bool created = false;

    QThread serialThread;
    QString startCurveFile;  // the command line's curve file, loaded at initialisation
    std::unique_ptr<brimvolt::CSerialWorker> serialWorker;
    bool linkBusy = false;
    std::deque<std::function<void()>> linkSteps;
    int chosenIndex = 0;   // the combo box entry being opened by the operator's choice
    bool leaving = false;  // the exit path has run: no answer of the worker is taken any more

    // Declared before the journal, so it is still there for the run the journal closes last.
    std::unique_ptr<brimvolt::CMqttPublisher> mqttPublisher;
    bool mqttFixedPrefix = false;  // --mqtt-prefix: the topics stay where the operator put them
    QAction* mqttStateEntry = nullptr;   // the last entry of the menu, never enabled
    std::optional<double> runEnergyMwh;  // of the journal's open run

    QString journalPath;
    std::unique_ptr<brimvolt::CJournalWriter> journal;
    brimvolt::CCurveRuns curveRuns;  // the run the curve store holds, by the journal's rules
    QSet<QString> journalProblemsTold;
    std::deque<QString> journalProblemsWaiting;
    bool tellingJournalProblem = false;

    // Outlives the program window, its view.
    brimvolt::CProgramRunner programRunner;
    // Destroyed first: it uses the curve window and hears the journal.
    std::unique_ptr<CJournalDlg> journalWindow;
    std::unique_ptr<CProgramDlg> programWindow;
};
