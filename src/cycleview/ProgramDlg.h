#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "cycle/CycleResult.h"
#include "cycle/TestProgram.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;
class CFadePlot;

namespace brimvolt {
class CProgramRunner;
class CSequencer;
struct ProgramRecord;
}  // namespace brimvolt
namespace brimvolt::platform {
class CDialogs;
}

/**
 * "Программа испытаний": the steps of a test program, the one running, the time in it and what
 * comes next, the results per cycle. A view of a runner it does not own: it sets the program
 * and the cell, asks the operator's questions and redraws when the runner changes.
 */
class CProgramDlg : public QDialog {
    Q_OBJECT
public:
    CProgramDlg(brimvolt::platform::CDialogs& dialogs, brimvolt::CProgramRunner& runner,
                QWidget* parent = nullptr);

    /** Shows `program`; it starts with "Пуск" or StartWhenFound. Not while one is active. */
    void SetProgram(const brimvolt::TestProgram& program);
    /** The program starts with the next status record: when the module is found. */
    void StartWhenFound();

    /** The operator's stop: asks whether to end the whole program or only this step. */
    void OnOperatorStop();
    /** The operator reset the module: the program ends. */
    void OnOperatorReset();

    const brimvolt::TestProgram& Program() const;
    /** The cell the program tests; empty: the journal window's next cell. */
    QLineEdit* CellEdit() const { return cellEdit; }
    const brimvolt::CSequencer* Sequencer() const;
    QString StateText() const;
    static QString StepText(const brimvolt::ProgramStep& step);

    // Handlers of the window's own controls.
    void OnStart();
    void OnResume();
    void OnOpen();
    /** Opens the editor on the program shown; its OK shows the edited one. */
    void OnEdit();
    /** "Сохранить результаты...": the cycles as CSV, or the fade plot as PNG or SVG. */
    void OnSaveResults();
    void OnReadyMade(int index);

private:
    /** A program an earlier session left: asks whether to go on from its step. */
    void OnUnfinishedProgramOffered(const brimvolt::ProgramRecord& record,
                                    const std::vector<brimvolt::CycleResult>& cycles);
    /** Redraws from the runner. */
    void OnRunnerChanged();
    void ShowState(std::int64_t nowMs);
    void ShowCycles();

    brimvolt::platform::CDialogs& dialogs;
    brimvolt::CProgramRunner& runner;
    std::optional<brimvolt::TestProgram> shownProgram;  // what the step list holds

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
