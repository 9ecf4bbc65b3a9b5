#pragma once

#include <QDialog>
#include <QSet>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "journal/Journal.h"
#include "journal/RunRecord.h"
#include "journalview/RunTableModel.h"

class CGraf;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

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

    /** Reads every run anew; a journal not there yet leaves the table empty. */
    void Reload();
    /** The recorder's news of a run: its row follows at once. */
    void OnRunChanged(const brimvolt::RunEvent& event);

    void OnOpenInCurveWindow();
    void OnCompare();
    void OnExportCsv(bool excel);
    void OnExportCurveFile();
    void OnDelete();

    /** Selects the runs (tests, and the comparison's first pick). */
    void SelectRuns(const std::vector<std::int64_t>& runIds);
    /** The selected runs in the table's order. */
    std::vector<brimvolt::RunRecord> SelectedRuns() const;

    QTableView* Table() const { return table; }
    QLineEdit* FilterEdit() const { return filterEdit; }
    const brimvolt::CRunTableModel& Model() const { return model; }
    /** The comparison window once one was opened, or null. */
    CCompareDlg* CompareWindow() const { return compareWindow.get(); }
    brimvolt::CJournal& Journal() { return journal; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool OpenConnection();
    bool SaveText(std::int64_t runId, brimvolt::CRunTableModel::Column column, const QString& text);
    /** The samples of the run, or nullopt after telling the operator why not. */
    std::optional<std::vector<brimvolt::JournalSample>> ReadSamples(const brimvolt::RunRecord& run);
    void ExportCsv(const std::vector<brimvolt::RunRecord>& runs, bool excel);
    void ShowCount();
    void TellReadFailure();

    brimvolt::platform::CDialogs& dialogs;
    CGraf& curveWindow;
    QString path;
    brimvolt::CJournal journal;
    brimvolt::CRunTableModel model;
    QSortFilterProxyModel* sorted = nullptr;
    QTableView* table = nullptr;
    QLineEdit* filterEdit = nullptr;
    QLabel* countLabel = nullptr;
    QMenu* runMenu = nullptr;
    QSet<std::int64_t> deletedHere;
    std::unique_ptr<CCompareDlg> compareWindow;
};
