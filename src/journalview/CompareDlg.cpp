#include "journalview/CompareDlg.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>
#include <iterator>
#include <memory>

#include "bdf/BdfImport.h"
#include "curvefile/CurveFileReader.h"
#include "curvefile/CurveFlows.h"
#include "ica/IcaOutput.h"
#include "journal/JournalExport.h"
#include "journal/JournalFigure.h"
#include "journalview/ComparePlot.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "plot/CurveStore.h"

using namespace brimvolt;

namespace {

enum SummaryColumn {
    kName,
    kCapacity,
    kCapacityDiff,
    kEnergy,
    kEnergyDiff,
    kMeanVolts,
    kMeanVoltsDiff,
    kRin,
    kRinDiff,
    kDuration,
    kDurationDiff,
    kSummaryColumns
};

QString Number(const std::optional<double>& value, int decimals) {
    return value ? QString::number(*value, 'f', decimals) : QStringLiteral("—");
}

QString Difference(const std::optional<double>& value, const std::optional<double>& first,
                   int decimals) {
    if (!value || !first) {
        return QStringLiteral("—");
    }
    const double diff = *value - *first;
    const QString text = QString::number(std::abs(diff), 'f', decimals);
    return (diff < 0 ? QStringLiteral("−") : QStringLiteral("+")) + text;
}

QString DurationDifference(std::int32_t value, std::int32_t first) {
    const std::int64_t diff = std::int64_t{value} - first;
    return (diff < 0 ? QStringLiteral("−") : QStringLiteral("+")) +
           DurationText(
               static_cast<std::int32_t>(std::min<std::int64_t>(std::abs(diff), INT32_MAX)));
}

// The pictures the comparison is saved as, whatever the window's size.
constexpr QSize kExportSize(1280, 800);

constexpr int kDqdvAxis = static_cast<int>(FigureAxis::Dqdv);
constexpr int kDvdqAxis = static_cast<int>(FigureAxis::Dvdq);
constexpr int kDefaultSmoothingMv = 10;

}  // namespace

CCompareDlg::CCompareDlg(platform::CDialogs& dialogs) : QDialog(nullptr), dialogs(dialogs) {
    setWindowTitle(tr("Сравнение испытаний"));
}

CCompareDlg::~CCompareDlg() = default;

void CCompareDlg::Create(QWidget* owner, const QString& folder, ExportCsv csv) {
    dataFolder = folder;
    exportCsv = std::move(csv);
    setParent(owner, Qt::Window);

    axisBox = new QComboBox(this);
    for (FigureAxis axis : {FigureAxis::Time, FigureAxis::Capacity, FigureAxis::Energy}) {
        axisBox->addItem(FigureAxisTitle(axis));
    }
    axisBox->addItem(tr("dQ/dV"));
    axisBox->addItem(tr("dV/dQ"));
    auto* wholeButton = new QPushButton(tr("Весь график"), this);
    auto* addButton = new QPushButton(tr("Добавить файл..."), this);
    auto* exportButton = new QPushButton(tr("Экспорт"), this);
    auto* exportMenu = new QMenu(this);
    exportMenu->addAction(tr("Рисунок PNG..."), this, [this] { OnExportImage(false); });
    exportMenu->addAction(tr("Рисунок SVG..."), this, [this] { OnExportImage(true); });
    exportMenu->addAction(tr("CSV..."), this, [this] { OnExportCsv(false); });
    exportMenu->addAction(tr("CSV для Excel..."), this, [this] { OnExportCsv(true); });
    exportButton->setMenu(exportMenu);

    plot = new CComparePlot(this);
    plot->setMinimumSize(640, 360);

    summaryTable = new QTableWidget(0, kSummaryColumns, this);
    summaryTable->setHorizontalHeaderLabels({tr("Кривая"), tr("Емкость, мА·ч"), tr("Δ"),
                                             tr("Энергия, Вт·ч"), tr("Δ"), tr("U ср., В"), tr("Δ"),
                                             tr("Rвн, мОм"), tr("Δ"), tr("Длительность"), tr("Δ")});
    summaryTable->verticalHeader()->hide();
    summaryTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    summaryTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    summaryTable->horizontalHeader()->setSectionResizeMode(kName, QHeaderView::Stretch);
    summaryTable->setMaximumHeight(180);

    auto* top = new QHBoxLayout;
    top->addWidget(axisBox);
    top->addWidget(wholeButton);
    top->addStretch(1);
    top->addWidget(addButton);
    top->addWidget(exportButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(plot, 1);
    layout->addWidget(summaryTable);
    CreateDqdvControls(top, layout);

    connect(axisBox, &QComboBox::currentIndexChanged, this, &CCompareDlg::OnAxisChosen);
    connect(wholeButton, &QPushButton::clicked, this, &CCompareDlg::OnWholeView);
    connect(addButton, &QPushButton::clicked, this, &CCompareDlg::OnAddCurveFile);
    resize(960, 720);
}

void CCompareDlg::CreateDqdvControls(QHBoxLayout* top, QVBoxLayout* layout) {
    smoothingLabel = new QLabel(tr("Сглаживание, мВ"), this);
    smoothingBox = new QSpinBox(this);
    smoothingBox->setRange(1, 100);
    smoothingBox->setValue(kDefaultSmoothingMv);
    top->insertWidget(2, smoothingLabel);
    top->insertWidget(3, smoothingBox);

    dqdvNote = new QLabel(this);
    dqdvNote->setWordWrap(true);
    peakTable = new QTableWidget(0, 4, this);
    peakTable->setHorizontalHeaderLabels(
        {tr("Кривая"), tr("Пик, В"), tr("dQ/dV, мА·ч/В"), tr("Площадь, мА·ч")});
    peakTable->verticalHeader()->hide();
    peakTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    peakTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    peakTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    peakTable->setMaximumHeight(150);
    layout->addWidget(dqdvNote);
    layout->addWidget(peakTable);
    for (QWidget* shown :
         std::initializer_list<QWidget*>{smoothingLabel, smoothingBox, dqdvNote, peakTable}) {
        shown->setVisible(false);
    }
    connect(smoothingBox, &QSpinBox::valueChanged, this, &CCompareDlg::OnSmoothingChanged);
}

void CCompareDlg::Clear() {
    smoothed.clear();
    summaries.clear();
    plot->SetCurves({});
    FillSummary();
}

void CCompareDlg::AddCurves(std::vector<FigureCurve> added,
                            std::vector<CurveSummary> addedSummaries) {
    // dV/dQ has no width to choose: its points are taken once, with the curve.
    for (std::size_t i = 0; i < added.size() && i < addedSummaries.size(); ++i) {
        if (addedSummaries[i].dvdq) {
            added[i].dvdq = DvdqPoints(*addedSummaries[i].dvdq);
        }
    }
    std::vector<FigureCurve> curves = plot->Figure().Curves();
    std::move(added.begin(), added.end(), std::back_inserter(curves));
    summaries.insert(summaries.end(), addedSummaries.begin(), addedSummaries.end());
    plot->SetCurves(std::move(curves));
    // A new set of curves shows from its start on the axis chosen.
    if (DqdvShown()) {
        ShowDqdv();
    }
    if (DvdqShown()) {
        ShowDvdqNote();
    }
    plot->SetAxis(static_cast<FigureAxis>(axisBox->currentIndex()));
    FillSummary();
}

bool CCompareDlg::AddCurveFile(const QString& path) {
    if (IsBdfName(path)) {
        return AddBdfFile(path);
    }
    QFile file(path);
    auto store = std::make_unique<CurveStore>();
    const bool opened = platform::IsRegularFile(path) && file.open(QIODevice::ReadOnly);
    const CurveReadStatus status =
        opened ? ReadCurve(file, *store).status : CurveReadStatus::ReadFailed;
    if (status == CurveReadStatus::NoDataKeys || status == CurveReadStatus::ReadFailed) {
        dialogs.Message(this, tr("Не удалось прочитать кривую из файла %1.").arg(path),
                        tr("Ошибка!"), platform::Buttons::Ok);
        return false;
    }
    AddCurves({FigureCurveOfStore(*store, QFileInfo(path).fileName())}, {SummaryOfFile(*store)});
    return true;
}

bool CCompareDlg::IsBdfName(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    return name.endsWith(QLatin1String(".bdf"), Qt::CaseInsensitive) ||
           name.endsWith(QLatin1String(".bdf.csv"), Qt::CaseInsensitive) ||
           name.endsWith(QLatin1String(".bdf.gz"), Qt::CaseInsensitive);
}

bool CCompareDlg::AddBdfFile(const QString& path) {
    // The file's steps are compared as they would be once imported, without the journal.
    BdfRead read = ReadBdfFile(path);
    if (!read.Ok()) {
        dialogs.Message(this, tr("Не удалось прочитать файл BDF.\n%1").arg(read.error),
                        tr("Ошибка!"), platform::Buttons::Ok);
        return false;
    }
    std::vector<FigureCurve> curves;
    std::vector<CurveSummary> added;
    for (BdfStep& step : read.steps) {
        curves.push_back(FigureCurveOfRun(step.run, step.samples));
        curves.back().label = step.run.note;
        added.push_back(SummaryOfRun(step.run, step.samples));
    }
    AddCurves(std::move(curves), std::move(added));
    return true;
}

void CCompareDlg::OnAddCurveFile() {
    const platform::FileFilter bdf{tr("Файлы BDF *.bdf *.bdf.csv *.bdf.gz"),
                                   QStringLiteral("*.bdf *.bdf.csv *.bdf.gz")};
    const QString path =
        dialogs.OpenFileName(this, dataFolder, {DischargeFilter(), ChargeFilter(), bdf});
    if (!path.isEmpty()) {
        AddCurveFile(path);
    }
}

void CCompareDlg::OnAxisChosen(int axis) {
    const bool dqdv = axis == kDqdvAxis;
    for (QWidget* shown :
         std::initializer_list<QWidget*>{smoothingLabel, smoothingBox, peakTable}) {
        shown->setVisible(dqdv);
    }
    if (dqdv) {
        ShowDqdv();
    } else if (axis == kDvdqAxis) {
        ShowDvdqNote();
    } else {
        dqdvNote->setVisible(false);
    }
    plot->SetAxis(static_cast<FigureAxis>(axis));
}

void CCompareDlg::OnSmoothingChanged(int) {
    if (DqdvShown()) {
        ShowDqdv();
        plot->update();
    }
}

bool CCompareDlg::DqdvShown() const {
    return axisBox->currentIndex() == kDqdvAxis;
}

void CCompareDlg::ShowDqdv() {
    const int mv = smoothingBox->value();
    if (mv != smoothedMv) {
        smoothed.clear();
        smoothedMv = mv;
    }
    IcaOptions options;
    options.fwhmVolts = mv / 1000.0;
    CComparisonFigure& figure = plot->Figure();
    QStringList left;
    peakTable->setRowCount(0);
    for (std::size_t i = 0; i < summaries.size() && i < figure.Curves().size(); ++i) {
        if (i == smoothed.size()) {
            smoothed.push_back(summaries[i].dqdv
                                   ? std::optional(Resmoothed(*summaries[i].dqdv, options))
                                   : std::nullopt);
            figure.SetDqdv(i, smoothed[i] ? IcaPoints(*smoothed[i]) : std::vector<QPointF>(),
                           smoothed[i] ? IcaPeakPoints(*smoothed[i]) : std::vector<QPointF>());
        }
        const QString& label = figure.Curves()[i].label;
        if (!smoothed[i]) {
            left.append(label);
            continue;
        }
        for (const IcaPeak& peak : smoothed[i]->peaks) {
            const int row = peakTable->rowCount();
            peakTable->insertRow(row);
            const QString texts[] = {label, QString::number(peak.volts, 'f', 3),
                                     QString::number(peak.heightMahPerVolt, 'f', 0),
                                     QString::number(peak.areaMah, 'f', 0)};
            for (int column = 0; column < 4; ++column) {
                auto* item = new QTableWidgetItem(texts[column]);
                item->setTextAlignment(column == 0 ? Qt::AlignLeft | Qt::AlignVCenter
                                                   : Qt::AlignRight | Qt::AlignVCenter);
                if (column == 0) {
                    item->setForeground(figure.ColorOf(static_cast<int>(i)));
                }
                peakTable->setItem(row, column, item);
            }
        }
    }
    dqdvNote->setText(
        tr("Без dQ/dV (нет тока: файл кривой, отдых или слишком короткое испытание): %1")
            .arg(left.join(QStringLiteral(", "))));
    dqdvNote->setVisible(!left.isEmpty());
}

bool CCompareDlg::DvdqShown() const {
    return axisBox->currentIndex() == kDvdqAxis;
}

void CCompareDlg::ShowDvdqNote() {
    QStringList left;
    for (const FigureCurve& curve : plot->Figure().Curves()) {
        if (!curve.HasAxis(FigureAxis::Dvdq)) {
            left.append(curve.label);
        }
    }
    dqdvNote->setText(
        tr("Без dV/dQ (нет тока: файл кривой, отдых или слишком короткое испытание): %1")
            .arg(left.join(QStringLiteral(", "))));
    dqdvNote->setVisible(!left.isEmpty());
}

void CCompareDlg::OnWholeView() {
    plot->WholeView();
}

void CCompareDlg::FillSummary() {
    summaryTable->setRowCount(static_cast<int>(summaries.size()));
    for (std::size_t i = 0; i < summaries.size(); ++i) {
        const CurveSummary& s = summaries[i];
        const CurveSummary& first = summaries.front();
        const bool isFirst = i == 0;
        const QString texts[kSummaryColumns] = {
            plot->Figure().Curves()[i].label,
            Number(s.capacityMah, 0),
            isFirst ? QString() : Difference(s.capacityMah, first.capacityMah, 0),
            Number(s.energyWh, 3),
            isFirst ? QString() : Difference(s.energyWh, first.energyWh, 3),
            Number(s.meanVolts, 3),
            isFirst ? QString() : Difference(s.meanVolts, first.meanVolts, 3),
            Number(s.rinMohm, 0),
            isFirst ? QString() : Difference(s.rinMohm, first.rinMohm, 0),
            DurationText(s.durationSeconds),
            isFirst ? QString() : DurationDifference(s.durationSeconds, first.durationSeconds),
        };
        for (int column = 0; column < kSummaryColumns; ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            item->setTextAlignment(column == kName ? Qt::AlignLeft | Qt::AlignVCenter
                                                   : Qt::AlignRight | Qt::AlignVCenter);
            if (column == kName) {
                item->setForeground(plot->Figure().ColorOf(static_cast<int>(i)));
            }
            summaryTable->setItem(static_cast<int>(i), column, item);
        }
    }
}

void CCompareDlg::OnExportImage(bool svg) {
    const platform::FileFilter filter =
        svg ? platform::FileFilter{tr("Рисунки SVG *.svg"), QStringLiteral("*.svg")}
            : platform::FileFilter{tr("Рисунки PNG *.png"), QStringLiteral("*.png")};
    QString path = dialogs.SaveFileName(
        this, dataFolder, svg ? QStringLiteral("compare.svg") : QStringLiteral("compare.png"),
        filter);
    if (path.isEmpty()) {
        return;
    }
    if (!path.endsWith(svg ? QStringLiteral(".svg") : QStringLiteral(".png"),
                       Qt::CaseInsensitive)) {
        path += svg ? QStringLiteral(".svg") : QStringLiteral(".png");
    }
    const platform::WriteResult written = plot->Figure().Save(path, kExportSize);
    if (!written) {
        dialogs.Message(this,
                        tr("Не удалось записать файл %1.\nПричина: %2").arg(path, written.reason),
                        tr("Ошибка"), platform::Buttons::Ok);
    }
}

void CCompareDlg::OnExportCsv(bool excel) {
    if (DqdvShown()) {
        ExportDqdvCsv(excel);
        return;
    }
    if (DvdqShown()) {
        ExportDvdqCsv(excel);
        return;
    }
    std::vector<std::int64_t> ids;
    for (const CurveSummary& summary : summaries) {
        if (summary.runId != 0) {
            ids.push_back(summary.runId);
        }
    }
    if (exportCsv && !ids.empty()) {
        exportCsv(ids, excel);
    }
}

void CCompareDlg::ExportDqdvCsv(bool excel) {
    std::vector<RunIcaCurve> runs;
    for (std::size_t i = 0; i < smoothed.size() && i < summaries.size(); ++i) {
        if (smoothed[i]) {
            runs.push_back({summaries[i].runId, &*smoothed[i]});
        }
    }
    if (!runs.empty()) {
        SaveAnalysisCsv(QStringLiteral("dqdv.csv"), IcaCsv(runs, excel));
    }
}

void CCompareDlg::ExportDvdqCsv(bool excel) {
    std::vector<RunDvdqCurve> runs;
    for (const CurveSummary& summary : summaries) {
        if (summary.dvdq) {
            runs.push_back({summary.runId, &*summary.dvdq});
        }
    }
    if (!runs.empty()) {
        SaveAnalysisCsv(QStringLiteral("dvdq.csv"), DvdqCsv(runs, excel));
    }
}

void CCompareDlg::SaveAnalysisCsv(const QString& proposedName, const QByteArray& csv) {
    QString path = dialogs.SaveFileName(this, dataFolder, proposedName,
                                        {tr("Файлы CSV *.csv"), QStringLiteral("*.csv")});
    if (path.isEmpty()) {
        return;
    }
    if (!path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) {
        path += QStringLiteral(".csv");
    }
    const platform::WriteResult written = platform::WriteWholeFile(path, csv);
    if (!written) {
        dialogs.Message(this,
                        tr("Не удалось записать файл %1.\nПричина: %2").arg(path, written.reason),
                        tr("Ошибка"), platform::Buttons::Ok);
    }
}
