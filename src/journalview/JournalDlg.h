#pragma once

#include <QDialog>
#include <QSet>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "journal/Journal.h"
#include "journal/RunRecord.h"
#include "journalview/CellTableModel.h"
#include "journalview/RunTableModel.h"

class CGraf;
class QCompleter;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSortFilterProxyModel;
class QSpinBox;
class QStringListModel;
class QTabWidget;
class QTableView;

namespace brimvolt {
class CJournalWriter;
}
namespace brimvolt::platform {
class CDialogs;
}

class CCompareDlg;

/**
 * "Журнал испытаний": every run of the journal in a table, newest first, the running one kept
 * up to date as the recorder reports it. The window reads the journal through a connection of
 * its own, beside the recorder's writer thread; it is created once and kept while hidden.
 */
class CJournalDlg : public QDialog {
    Q_OBJECT
public:
    /** How long an edit waits for a journal another program is writing. */
    static constexpr int kEditBusyTimeoutMs = 250;

    CJournalDlg(brimvolt::platform::CDialogs& dialogs, CGraf& curveWindow);
    ~CJournalDlg() override;

    /** Builds the window owned by `owner` (hidden), for the journal at `path`. */
    void Create(QWidget* owner, const QString& path);

    /**
     * Follows the program's recorder: its runs as they change, and the cells it gives them; the
     * next cell typed here goes to it. Without one (no journal) the next cell cannot be given.
     */
    void Follow(brimvolt::CJournalWriter* writer);
    /**
     * A bench: follows one more channel's recorder, runs and cells only; the next cell is given
     * in the bench's tiles, so the field here is off.
     */
    void AlsoFollow(brimvolt::CJournalWriter* writer);
    /** A bench: "В окно графика" takes the curve window of the run's port; null: the default. */
    void SetCurveWindowOf(std::function<CGraf*(const QString& port)> find) {
        curveWindowOf = std::move(find);
    }

    /** Reads every run anew; a journal not there yet leaves the table empty. */
    void Reload();
    /** The recorder's news of a run: its row follows at once. */
    void OnRunChanged(const brimvolt::RunEvent& event);
    /** The recorder gave the run its cell; a next cell taken by a run that opened is cleared. */
    void OnCellGiven(qint64 runId, const QString& cell, bool nextTaken);
    /** "Следующая ячейка" was entered (typed, or scanned with its Enter). */
    void OnNextCell();

    void OnOpenInCurveWindow();
    void OnCompare();
    void OnExportCsv(bool excel);
    void OnExportCurveFile();
    /** The selected runs, of one cell, as one Battery Data Format file and its sidecar. */
    void OnExportBdf();
    void OnDelete();
    /** "Сравнить" on cells: every run of each selected cell in one comparison. */
    void OnCompareCells();
    /** "Отчёт...": every cell graded, as the tab shows them, in a batch report (PDF). */
    void OnReport();
    /** "Границы сортов...": the bounds edited and kept in the journal; the cells graded anew. */
    void OnGradeBounds();
    /** The cells graded by these bounds, from the rows as they are: nothing read again. */
    void RegradeCells(const brimvolt::GradeBoundsSet& bounds);

    /** Selects the runs (tests, and the comparison's first pick). */
    void SelectRuns(const std::vector<std::int64_t>& runIds);
    /** The selected runs in the table's order. */
    std::vector<brimvolt::RunRecord> SelectedRuns() const;
    /** The names of the cells selected in the cells tab, in its order (labels, pack building). */
    QStringList SelectedCellNames() const;
    /** Selects the cells of those names in the cells tab (tests). */
    void SelectCells(const QStringList& names);

    QTableView* Table() const { return table; }
    QLineEdit* FilterEdit() const { return filterEdit; }
    QLineEdit* NextCellEdit() const { return nextCellEdit; }
    QTabWidget* Tabs() const { return tabs; }
    QTableView* CellTable() const { return cellTable; }
    QLineEdit* CellFilterEdit() const { return cellFilterEdit; }
    QSpinBox* WeakPercentBox() const { return weakPercentBox; }
    const brimvolt::CCellTableModel& CellModel() const { return cellModel; }
    /** The names of the register's cells, as the completion offers them. */
    QStringList CellNames() const;
    const brimvolt::CRunTableModel& Model() const { return model; }
    /** The comparison window once one was opened, or null. */
    CCompareDlg* CompareWindow() const { return compareWindow.get(); }
    brimvolt::CJournal& Journal() { return journal; }

public slots:
    /** A check of a cell was recorded: the cells tab reads the journal's checks again. */
    void OnCheckRecorded();

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool OpenConnection();
    bool SaveText(std::int64_t runId, brimvolt::CRunTableModel::Column column, const QString& text);
    /** The samples of the run, or nullopt after telling the operator why not. */
    std::optional<std::vector<brimvolt::JournalSample>> ReadSamples(const brimvolt::RunRecord& run);
    void ExportCsv(const std::vector<brimvolt::RunRecord>& runs, bool excel);
    void ShowCount();
    /** The cells tab anew from the register (read now, or as given) and the table's runs. */
    void RefreshCells(std::optional<std::vector<brimvolt::CellRecord>> register_ = std::nullopt);
    void CompareRuns(std::vector<brimvolt::RunRecord> runs);
    QWidget* MakeCellsPage();
    /** A cell given just now joins the completion. */
    void AddCellName(const QString& name);
    void TellReadFailure();

    brimvolt::platform::CDialogs& dialogs;
    CGraf& curveWindow;
    QString path;
    brimvolt::CJournal journal;
    brimvolt::CRunTableModel model;
    QSortFilterProxyModel* sorted = nullptr;
    QTableView* table = nullptr;
    QLineEdit* filterEdit = nullptr;
    QLineEdit* nextCellEdit = nullptr;
    QTabWidget* tabs = nullptr;
    brimvolt::CCellTableModel cellModel;
    QSortFilterProxyModel* sortedCells = nullptr;
    QTableView* cellTable = nullptr;
    QLineEdit* cellFilterEdit = nullptr;
    QSpinBox* weakPercentBox = nullptr;
    QStringListModel* cellNames = nullptr;
    brimvolt::CJournalWriter* recorder = nullptr;
    std::function<CGraf*(const QString& port)> curveWindowOf;
    QString nextCellSent;
    QLabel* countLabel = nullptr;
    QMenu* runMenu = nullptr;
    QSet<std::int64_t> deletedHere;
    std::unique_ptr<CCompareDlg> compareWindow;
};
