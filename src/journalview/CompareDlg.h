#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "journalview/ComparedCurve.h"
#include "plot/ComparisonFigure.h"

class CComparePlot;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QSpinBox;
class QTableWidget;
class QVBoxLayout;

namespace brimvolt::platform {
class CDialogs;
}

/**
 * The comparison of runs: their voltage curves over one another on a chosen axis, and a table
 * of what each run came to beside the first one.
 */
class CCompareDlg : public QDialog {
    Q_OBJECT
public:
    /** Writes the runs' CSV as the journal window does (`excel`: its spreadsheet form). */
    using ExportCsv = std::function<void(const std::vector<std::int64_t>& runIds, bool excel)>;

    explicit CCompareDlg(brimvolt::platform::CDialogs& dialogs);
    ~CCompareDlg() override;

    /** Builds the window owned by `owner` (hidden); file dialogs start in `dataFolder`. */
    void Create(QWidget* owner, const QString& dataFolder, ExportCsv exportCsv);

    void Clear();
    /** Adds curves, each with its summary, after those shown. */
    void AddCurves(std::vector<brimvolt::FigureCurve> added,
                   std::vector<brimvolt::CurveSummary> addedSummaries);
    /**
     * Adds the curve file at `path`, or each charge and discharge step of a BDF file (.bdf,
     * .bdf.csv, .bdf.gz); false (the operator told why) when it cannot be read.
     */
    bool AddCurveFile(const QString& path);

    void OnAddCurveFile();
    /** 0 time, 1 capacity, 2 energy, 3 dQ/dV, 4 dV/dQ: a curve file, which has time only, then
     * stays out of the plot but not out of the legend. */
    void OnAxisChosen(int axis);
    /** The dQ/dV's smoothing: the Gaussian's full width at half maximum. */
    void OnSmoothingChanged(int millivolts);
    void OnWholeView();
    void OnExportImage(bool svg);
    void OnExportCsv(bool excel);

    const std::vector<brimvolt::CurveSummary>& Summaries() const { return summaries; }
    CComparePlot* Plot() const { return plot; }
    QTableWidget* SummaryTable() const { return summaryTable; }
    QComboBox* AxisBox() const { return axisBox; }
    QSpinBox* SmoothingBox() const { return smoothingBox; }
    /** The dQ/dV view's peaks, a row each: curve, voltage, height, area. */
    QTableWidget* PeakTable() const { return peakTable; }
    /** Which curves the dQ/dV or dV/dQ view leaves out, and why. */
    QLabel* DqdvNote() const { return dqdvNote; }

private:
    static bool IsBdfName(const QString& path);
    bool AddBdfFile(const QString& path);
    void FillSummary();
    void CreateDqdvControls(QHBoxLayout* top, QVBoxLayout* layout);
    bool DqdvShown() const;
    /** Smooths what is not smoothed at the chosen width yet and shows it with its peaks. */
    void ShowDqdv();
    void ExportDqdvCsv(bool excel);
    bool DvdqShown() const;
    /** Names the curves without dV/dQ in the note. */
    void ShowDvdqNote();
    void ExportDvdqCsv(bool excel);
    /** Asks where, then writes the analysis CSV there whole (".csv" added when missing). */
    void SaveAnalysisCsv(const QString& proposedName, const QByteArray& csv);

    brimvolt::platform::CDialogs& dialogs;
    QString dataFolder;
    ExportCsv exportCsv;
    std::vector<brimvolt::CurveSummary> summaries;  // one a curve, in the figure's order
    CComparePlot* plot = nullptr;
    QComboBox* axisBox = nullptr;
    QTableWidget* summaryTable = nullptr;
    QLabel* smoothingLabel = nullptr;
    QSpinBox* smoothingBox = nullptr;
    QTableWidget* peakTable = nullptr;
    QLabel* dqdvNote = nullptr;
    // Each curve's dQ/dV at smoothedMv, one a curve; none where its summary has none.
    std::vector<std::optional<brimvolt::IcaCurve>> smoothed;
    int smoothedMv = 0;
};
