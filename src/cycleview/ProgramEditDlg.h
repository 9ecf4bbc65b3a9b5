#pragma once

#include <QDialog>
#include <QString>
#include <optional>
#include <vector>

#include "cycle/TestProgram.h"

class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace brimvolt::platform {
class CDialogs;
}

/**
 * "Изменить программу": the name, the cell's nominal capacity and the steps of a test program,
 * one row a step, with the fields its kind has. OK keeps the dialog open while the program
 * cannot run; Program() is what the table holds.
 */
class CProgramEditDlg : public QDialog {
    Q_OBJECT
public:
    /** The table's columns, the step's kind first. */
    enum Column {
        KindColumn,
        CurrentColumn,
        CutoffColumn,
        LimitColumn,
        RestColumn,
        FromColumn,
        TimesColumn,
        ColumnCount
    };

    CProgramEditDlg(brimvolt::platform::CDialogs& dialogs, const brimvolt::TestProgram& program,
                    QWidget* parent = nullptr);

    /** The program as the table holds it now; each step keeps only the fields of its kind. */
    brimvolt::TestProgram Program() const;

    /**
     * The operator's OK: the first fault, shown to the operator and returned while the dialog
     * stays open, or nullopt when the program can run and the dialog closed accepted.
     */
    std::optional<QString> Accept();
    void accept() override;

    // Handlers of the row buttons; they act on the table's current row.
    /** A rest step after the current row, or at the end when there is none. */
    void OnAddStep();
    void OnDeleteStep();
    void OnMoveUp();
    void OnMoveDown();
    /** The step in `row` takes the combo's `kindIndex`: its fields open, the others close. */
    void OnKindChanged(int row, int kindIndex);
    /** Asks for a file and writes the program there, once it passes the check. */
    void OnSaveToFile();

private:
    // Every field a row holds, those of other kinds included, so a kind changed back finds them.
    std::vector<brimvolt::ProgramStep> RowValues() const;
    void ShowSteps(const std::vector<brimvolt::ProgramStep>& steps, int currentRow);
    void ShowRowKind(int row);
    void SwapRows(int row, int other);
    /** The fault of the program in the table in the operator's words, or nullopt. */
    std::optional<QString> Fault() const;

    brimvolt::platform::CDialogs& dialogs;
    QLineEdit* nameEdit = nullptr;
    QSpinBox* capacitySpin = nullptr;
    QTableWidget* stepTable = nullptr;
    QPushButton* addButton = nullptr;
};
