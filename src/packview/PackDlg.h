#pragma once

#include <QDialog>
#include <QPointer>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

#include "grading/CellGrading.h"
#include "journal/CellRecord.h"
#include "pack/Packing.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QThread;
class QTreeWidget;

namespace brimvolt {

namespace platform {
class CDialogs;
}

class CPackPicture;

/** Volts per cell of the chemistry, for the pack's energy; none for "other". */
std::optional<double> NominalVolts(Chemistry chemistry);

/**
 * "Сборка батареи": S groups of P cells drawn from the register's cells that are not retired
 * nor in a pack, within capacity and Rin bounds and of a grade or better; the plan shown group by group and as a
 * picture, exported as CSV, PNG or SVG, and saved in the journal as a named pack whose cells
 * are then taken (and freed again from the list of saved packs). While the search runs,
 * "Подобрать" reads "Отменить": the search then stops and its best plan so far is shown.
 */
class CPackDlg : public QDialog {
    Q_OBJECT
public:
    CPackDlg(platform::CDialogs& dialogs, const QString& journalPath, QWidget* parent = nullptr);
    ~CPackDlg() override;

    /** The window over the journal, modal; for a button of the cells tab. */
    static void Open(platform::CDialogs& dialogs, const QString& journalPath, QWidget* parent);

    /** Whether a plan is being searched for. */
    bool Planning() const { return planner != nullptr; }

private:
    struct Pool {
        std::vector<PackCell> cells;
        std::vector<Chemistry> chemistries;
        std::vector<Grade> grades;
    };

    void LoadJournal();
    Pool Drawn() const;
    void OnPlan();
    void ShowPlan(const PackPlan& plan, const Pool& pool, const PackRequest& request);
    void ClearPlan(const QString& status);
    void OnSavePack();
    void OnFreePack();
    void OnExportCsv();
    void OnExportPicture(bool svg);
    bool Ask(const QString& text);
    void Warn(const QString& text);

    platform::CDialogs& dialogs;
    QString journalPath;
    Pool all;  // the register's cells that may go into a pack
    std::optional<PackPlan> plan;
    Pool planned;  // the cells the plan's indices point into
    PackRequest plannedRequest;
    QThread* planner = nullptr;
    std::shared_ptr<std::atomic<bool>> cancelPlanning;  // read by the search on its thread
    int generation = 0;

    QSpinBox* series = nullptr;
    QSpinBox* parallel = nullptr;
    QSpinBox* minCapacity = nullptr;
    QSpinBox* maxCapacity = nullptr;
    QSpinBox* maxRin = nullptr;
    QDoubleSpinBox* rinSpread = nullptr;
    QCheckBox* allowMissingRin = nullptr;
    QComboBox* minGrade = nullptr;  // none, A, B, C: the lowest grade drawn
    QPushButton* planButton = nullptr;
    QLabel* status = nullptr;
    QTreeWidget* groups = nullptr;
    QLabel* summary = nullptr;
    CPackPicture* picture = nullptr;
    QPushButton* exportCsv = nullptr;
    QPushButton* exportPng = nullptr;
    QPushButton* exportSvg = nullptr;
    QLineEdit* packName = nullptr;
    QPushButton* savePack = nullptr;
    QListWidget* packs = nullptr;
    QPushButton* freePack = nullptr;
};

}  // namespace brimvolt
