#pragma once

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QRect>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <memory>

#include "app/ToolTip.h"
#include "curve/Graf.h"
#include "module/Protocol.h"
#include "platform/DialogTemplate.h"
#include "platform/RunSleepGuard.h"
#include "platform/SerialPort.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenuBar;
class QPushButton;

namespace brimvolt::platform {
class CDialogs;
}

/**
 * The main window: the controls, the state of the link and of the module as last reported,
 * the two timers that drive discovery and polling, and the curve window.
 */
class CBrimvoltDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPollTimer = 1;
    static constexpr int kDiscoveryTimer = 2;
    static constexpr int kPollPeriodMs = 100;
    static constexpr int kDiscoveryPeriodMs = 10;
    static constexpr std::uint8_t kNoSelection = 0xFF;

    /** Sets the initial state only; Create (or exec) builds the window. */
    CBrimvoltDlg(brimvolt::platform::CPortSystem& portSystem,
                 brimvolt::platform::CDialogs& dialogs);
    ~CBrimvoltDlg() override;

    /** Builds the controls from the template, connects them and initialises; then shows. */
    void Create();
    int exec() override;

    // Handlers, one per message of the window.
    void OnInitDialog();
    QIcon OnQueryDragIcon() const { return appIcon; }
    void OnAbout();
    void OnShowHideCurve();
    void OnExit();
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

    /** What the display block shows until the next tick replaces it. */
    struct DisplayPicture {
        enum class Kind { Empty, Message, Lines };
        Kind kind = Kind::Empty;
        QString message;
        QString line1;
        QString line2;
    };
    const DisplayPicture& Picture() const { return displayPicture; }

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
    // The port's line settings and time-outs live in the serial port itself.
    std::unique_ptr<brimvolt::platform::CSerialPort> portHandle;  // nullptr: no port open
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
    brimvolt::Request request{};
    brimvolt::Reply reply{};
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
    void SendPendingCommand();
    void ClosePort();
    void TakeStatus(const brimvolt::StatusRecord& status);
    bool PortOpenOrTell();
    void FocusWriteButton();
    /** A command button: the port check, then the command (0: none) into the one slot. */
    void QueueButtonCommand(std::uint8_t command);
    void SelectParameter(QListWidget* list, QListWidget* other, int firstIndex);
    void ShowRangeHint();
    QPushButton* ButtonOf(int id) const;
    QLabel* StaticOf(int id) const;
    QLineEdit* ValueEdit() const;

    brimvolt::platform::CPortSystem& portSystem;
    brimvolt::platform::CDialogs& dialogs;
    brimvolt::platform::BuiltControls controls;
    QMenuBar* menuBar = nullptr;
    DisplayPicture displayPicture;
    std::unique_ptr<brimvolt::platform::CRunSleepGuard> sleepGuard;
    bool created = false;
};
