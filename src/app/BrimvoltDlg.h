#pragma once

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QRect>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/ToolTip.h"
#include "channel/Channel.h"
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
class CJournalProblems;
struct PollTexts;
struct TestProgram;
}  // namespace brimvolt

namespace brimvolt::platform {
class CDialogs;
}

/**
 * The main window: a view of one channel (one module's connection). It owns the controls, the
 * display block's painting, the parameter editing, the message boxes and the menu; the channel
 * owns the link, the module's state, the curve, the journal writer and the test program. Made
 * with a port system it drives a channel of its own, as the program does without a bench; a
 * bench makes one per channel it shows.
 */
class CBrimvoltDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPollTimer = brimvolt::CChannel::kPollTimer;
    static constexpr int kDiscoveryTimer = brimvolt::CChannel::kDiscoveryTimer;
    static constexpr int kPollPeriodMs = brimvolt::CChannel::kPollPeriodMs;
    static constexpr int kDiscoveryPeriodMs = brimvolt::CChannel::kDiscoveryPeriodMs;
    static constexpr std::uint8_t kNoSelection = brimvolt::CChannel::kNoSelection;
    using DisplayPicture = brimvolt::DisplayPicture;

    /**
     * A window with a channel of its own, on `portSystem`, recording into the journal at
     * `journalPath` (empty: journal.sqlite in the data folder), searching only `boundPort` when
     * one is given (--port); Create (or exec) builds it.
     */
    CBrimvoltDlg(brimvolt::platform::CPortSystem& portSystem, brimvolt::platform::CDialogs& dialogs,
                 const QString& journalPath = {}, const QString& boundPort = {});
    /**
     * A view of a bench's channel: modeless; its exit hides it, the bench leaves. Journal
     * problems go to `problems`, shared by the bench's views.
     */
    CBrimvoltDlg(brimvolt::CChannel& channel, brimvolt::platform::CDialogs& dialogs,
                 std::shared_ptr<brimvolt::CJournalProblems> problems);
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
    /**
     * "Проверить напряжение": a voltage check of the next cell, which it takes (the holder is
     * free for another), or of the cell the operator names when there is none. A refusal is
     * told at once; the result, or why the check was abandoned, when the check ends.
     */
    void OnCheckVoltage();
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
    void OnTimer(int id) { channel.OnTimer(id); }
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
    void SetSleepGuard(std::unique_ptr<brimvolt::platform::CRunSleepGuard> guard);
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
    /** The menu entry that says the broker's state; nullptr until there is one. */
    QAction* MqttStateEntry() const { return mqttStateEntry; }
    /** "Проверить напряжение" in the menu; while a check goes it says how far it has come. */
    QAction* CheckVoltageEntry() const { return checkVoltageEntry; }

    brimvolt::CChannel& Channel() const { return channel; }
    const DisplayPicture& Picture() const { return channel.Picture(); }
    /** The journal's file, absolute. */
    QString JournalPath() const { return channel.JournalPath(); }
    /** The journal window once the command opened it, or null. */
    CJournalDlg* JournalWindow() const { return journalWindow.get(); }
    /** The test program's window, made hidden with the main window. */
    CProgramDlg* ProgramWindow() const { return programWindow.get(); }
    /** In a bench the journal window is the bench's: "Журнал испытаний" asks for it here. */
    void SetJournalOpener(std::function<void()> open) { journalOpener = std::move(open); }

    // The state record, in declaration order.
    QIcon appIcon;
    QComboBox* portCombo = nullptr;
    QListWidget* operationalList = nullptr;
    QListWidget* modeList = nullptr;
    brimvolt::CToolTip toolTip;
    brimvolt::platform::CUpDown* valueSpin = nullptr;
    brimvolt::platform::CUpDown* viewSpin = nullptr;
    QFont displayFont;
    QFont largeFont;
    QRect upperStaticRect;
    QRect lowerStaticRect;
    QRect displayFrameRect;
    QRect displayTextRect;
    QRect clientRect;
    QString messageText;
    QString newValueText;
    QString voltageText;
    QString currentText;
    QString capacityText;
    QString timeText;
    std::array<QString, 12> paramText;
    QString displayLine1;
    QString displayLine2;
    QString hintText;
    double typedValue = 0.0;

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
    void ConnectChannel();

    // What the channel tells.
    void OnPortsListed(const QStringList& entries);
    void OnFound();
    void OnOpenFailed(const QString& port);
    void OnStatusRead(const brimvolt::PollTexts& texts);
    void ShowDisplayBlock();
    void OnMqttStatusText(const QString& text);
    void ShowMqttState();
    void OnCheckRecorded();
    void OnCheckRefused(const QString& text);
    void ShowCheckState();
    /** The next cell went to a check: the journal window's field is cleared, as a run does. */
    void ClearNextCell();

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
    std::unique_ptr<brimvolt::CChannel> ownChannel;  // the window's own; null in a bench
    brimvolt::CChannel& channel;
    std::shared_ptr<brimvolt::CJournalProblems> journalProblems;
    brimvolt::platform::BuiltControls controls;
    QMenuBar* menuBar = nullptr;
    bool created = false;
    QString startCurveFile;  // the command line's curve file, loaded at initialisation
    QAction* mqttStateEntry = nullptr;  // the last entry of the menu, never enabled
    QAction* programWindowEntry = nullptr;
    QAction* checkVoltageEntry = nullptr;
    bool checkAskedHere = false;  // the check going on was asked for in this window
    std::function<void()> journalOpener;

    // Destroyed first: it uses the curve window and hears the journal.
    std::unique_ptr<CJournalDlg> journalWindow;
    std::unique_ptr<CProgramDlg> programWindow;
};
