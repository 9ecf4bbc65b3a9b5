#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "cycle/Sequencer.h"
#include "cycle/TestProgram.h"
#include "journal/ProgramRecord.h"
#include "module/Protocol.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;
class CFadePlot;

namespace brimvolt {
class CJournalWriter;
struct ProgramRecord;
}
namespace brimvolt::platform {
class CDialogs;
}

/**
 * "Программа испытаний": the steps of a test program, the one running, the time in it and what
 * comes next, the results per cycle. It owns the sequencer; the main window hands it every
 * status record and sends the requests it gives back with its next tick.
 */
class CProgramDlg : public QDialog {
    Q_OBJECT
public:
    explicit CProgramDlg(brimvolt::platform::CDialogs& dialogs, QWidget* parent = nullptr);

    /** Shows `program`; it starts with "Пуск" or StartWhenFound. Not while one is active. */
    void SetProgram(const brimvolt::TestProgram& program);
    /** The program starts with the next status record: when the module is found. */
    void StartWhenFound();

    /**
     * The journal the program's runs go into: it is told of each step and state, and tells of
     * a program left unfinished on the port when the module is found. Null: none.
     */
    void SetJournal(brimvolt::CJournalWriter* writer);

    // The main window's wires.
    /** One status record; what the program asks of the module waits for TakeRequests. */
    void OnStatus(const brimvolt::StatusRecord& status, std::int64_t nowMs);
    /** The requests to send with the next tick, first in it; the link lost drops them. */
    std::vector<brimvolt::Request> TakeRequests() { return std::exchange(requests, {}); }
    void OnLinkLost();
    /** Whether a program is started or about to be: the operator's Пуск/Стоп goes here then. */
    bool Active() const;
    /** The operator's stop: asks whether to end the whole program or only this step. */
    void OnOperatorStop();
    /** The operator reset the module: the program ends. */
    void OnOperatorReset();

    const brimvolt::TestProgram& Program() const { return program; }
    /** The cell the program tests; empty: the journal window's next cell. */
    QLineEdit* CellEdit() const { return cellEdit; }
    /** The sequencer of the program started last; null before the first start. */
    const brimvolt::CSequencer* Sequencer() const { return sequencer ? &*sequencer : nullptr; }

    /** A program an earlier session left: asks whether to go on from its step. */
    void OnUnfinishedProgram(const brimvolt::ProgramRecord& record,
                             const std::vector<brimvolt::CycleResult>& cycles);

    // Handlers of the window's own controls.
    void OnStart();
    void OnResume();
    void OnOpen();
    /** Opens the editor on the program shown; its OK shows the edited one. */
    void OnEdit();
    /** "Сохранить результаты...": the cycles as CSV, or the fade plot as PNG or SVG. */
    void OnSaveResults();
    void OnReadyMade(int index);

    /** The text of a step as the list shows it. */
    static QString StepText(const brimvolt::ProgramStep& step);
    /** The state line: what the program is doing, or why it ended. */
    QString StateText() const;
    /** Why the program ended early, as the state line and the journal say it; empty otherwise. */
    QString EndReasonText() const;

private:
    /** Tells the journal the steps begun and the state the program came to. */
    void TellJournal();
    void ShowState(std::int64_t nowMs);
    void ShowCycles();

    brimvolt::platform::CDialogs& dialogs;
    brimvolt::TestProgram program;
    std::optional<brimvolt::CSequencer> sequencer;
    bool startPending = false;
    std::vector<brimvolt::Request> requests;  // for the next tick
    brimvolt::CJournalWriter* journal = nullptr;
    std::optional<brimvolt::ProgramRecord> resumeRecord;  // begins with the next record
    std::vector<brimvolt::CycleResult> resumeCycles;
    brimvolt::SequencerState toldState = brimvolt::SequencerState::Ready;
    std::int64_t lastNowMs = 0;

    QComboBox* readyMade = nullptr;
    QLabel* nameLabel = nullptr;
    QLineEdit* cellEdit = nullptr;
    QListWidget* stepList = nullptr;
    QLabel* stateLabel = nullptr;
    QLabel* progressLabel = nullptr;
    QLabel* nextLabel = nullptr;
    QTableWidget* cycleTable = nullptr;
    QLabel* cycleNote = nullptr;  // why a cycle shows no efficiency
    QPushButton* openButton = nullptr;
    QPushButton* editButton = nullptr;
    QPushButton* startButton = nullptr;
    QPushButton* stopButton = nullptr;
    QPushButton* resumeButton = nullptr;
    QPushButton* saveButton = nullptr;
    CFadePlot* fadePlot = nullptr;
};
