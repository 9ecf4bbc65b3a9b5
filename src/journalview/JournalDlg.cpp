#include "journalview/JournalDlg.h"

#include <QCompleter>
#include <QCursor>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShowEvent>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QStringListModel>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "bdf/BdfExport.h"
#include "curve/Graf.h"
#include "curvefile/CurveFlows.h"
#include "grading/CellGrading.h"
#include "journal/JournalExport.h"
#include "journal/JournalFigure.h"
#include "journal/JournalWriter.h"
#include "journalview/CompareDlg.h"
#include "journalview/ComparedCurve.h"
#include "journalview/GradeBoundsDlg.h"
#include "labels/PrintLabels.h"
#include "packview/PackDlg.h"
#include "report/GradeReport.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"

using namespace brimvolt;

namespace {

// The delete question names this many runs at most, then counts the rest.
constexpr int kNamedRuns = 10;

QString FileStem(const RunRecord& run) {
    const QString stem = WithoutNameBreakers(run.label);
    return stem.isEmpty() ? QStringLiteral("run-%1").arg(run.id) : stem;
}

QCompleter* CellCompleter(QStringListModel* names, QObject* parent) {
    auto* completer = new QCompleter(names, parent);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    return completer;
}

/** The run's cell is typed with completion from the register's names. */
class CCellNameDelegate : public QStyledItemDelegate {
public:
    CCellNameDelegate(QStringListModel* names, QObject* parent)
        : QStyledItemDelegate(parent), names(names) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            line->setCompleter(CellCompleter(names, line));
        }
        return editor;
    }

private:
    QStringListModel* names;
};

}  // namespace

CJournalDlg::CJournalDlg(platform::CDialogs& dialogs, CGraf& curveWindow)
    : QDialog(nullptr), dialogs(dialogs), curveWindow(curveWindow) {
    setWindowTitle(tr("Журнал испытаний"));
}

CJournalDlg::~CJournalDlg() = default;

void CJournalDlg::Create(QWidget* owner, const QString& journalPath) {
    path = journalPath;
    setParent(owner, Qt::Window);

    filterEdit = new QLineEdit(this);
    filterEdit->setPlaceholderText(tr("Отбор по метке, ячейке или примечанию"));
    filterEdit->setClearButtonEnabled(true);

    cellNames = new QStringListModel(this);
    auto* nextCellLabel = new QLabel(tr("Следующая ячейка:"), this);
    nextCellEdit = new QLineEdit(this);
    nextCellEdit->setPlaceholderText(tr("имя или штрихкод"));
    nextCellEdit->setToolTip(
        tr("Следующее испытание (и идущее, если у него нет ячейки) "
           "будет записано на эту ячейку"));
    nextCellEdit->setCompleter(CellCompleter(cellNames, nextCellEdit));
    nextCellEdit->setEnabled(false);
    nextCellLabel->setBuddy(nextCellEdit);

    auto* openButton = new QPushButton(tr("В окно графика"), this);
    auto* compareButton = new QPushButton(tr("Сравнить"), this);
    auto* exportButton = new QPushButton(tr("Экспорт"), this);
    auto* deleteButton = new QPushButton(tr("Удалить"), this);
    auto* exportMenu = new QMenu(this);
    exportMenu->addAction(tr("CSV..."), this, [this] { OnExportCsv(false); });
    exportMenu->addAction(tr("CSV для Excel..."), this, [this] { OnExportCsv(true); });
    exportMenu->addAction(tr("Файл кривой..."), this, [this] { OnExportCurveFile(); });
    exportMenu->addAction(tr("BDF..."), this, [this] { OnExportBdf(); });
    exportButton->setMenu(exportMenu);

    sorted = new QSortFilterProxyModel(this);
    sorted->setSourceModel(&model);
    sorted->setSortRole(CRunTableModel::kSortRole);
    sorted->setFilterRole(CRunTableModel::kFilterRole);
    sorted->setFilterKeyColumn(CRunTableModel::kLabel);
    sorted->setFilterCaseSensitivity(Qt::CaseInsensitive);
    sorted->setDynamicSortFilter(true);

    table = new QTableView(this);
    table->setModel(sorted);
    table->setSortingEnabled(true);
    table->sortByColumn(CRunTableModel::kStart, Qt::DescendingOrder);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
    table->verticalHeader()->hide();
    // Rows of one height, and widths fixed from the captions: the table never measures 10 000
    // rows to lay itself out.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    const QFontMetrics metrics = table->fontMetrics();
    const QString widest[CRunTableModel::kColumnCount] = {
        QStringLiteral("2024-12-31 23:59"),
        QStringLiteral("ttyUSB10"),
        tr("Разряд"),
        QStringLiteral("18650 №10 осень"),
        QStringLiteral("LG-M29-0123"),
        QStringLiteral("10000"),
        QStringLiteral("100.000"),
        QStringLiteral("100:00:00"),
        QStringLiteral("4.200"),
        QStringLiteral("4.200"),
        QStringLiteral("100"),
        QStringLiteral("60"),
        tr("завершен"),
        QStringLiteral("после полугода в работе")};
    for (int column = 0; column < CRunTableModel::kColumnCount; ++column) {
        const int caption =
            metrics.horizontalAdvance(model.headerData(column, Qt::Horizontal).toString()) + 24;
        table->setColumnWidth(column,
                              std::max(caption, metrics.horizontalAdvance(widest[column]) + 16));
    }
    table->horizontalHeader()->setStretchLastSection(true);
    table->setItemDelegateForColumn(CRunTableModel::kCell, new CCellNameDelegate(cellNames, this));
    table->setContextMenuPolicy(Qt::CustomContextMenu);

    runMenu = new QMenu(this);
    runMenu->addAction(tr("Открыть в окне графика"), this, [this] { OnOpenInCurveWindow(); });
    runMenu->addAction(tr("Сравнить"), this, [this] { OnCompare(); });
    runMenu->addMenu(exportMenu)->setText(tr("Экспорт"));
    runMenu->addSeparator();
    runMenu->addAction(tr("Удалить..."), this, [this] { OnDelete(); });

    countLabel = new QLabel(this);
    auto* refreshButton = new QPushButton(tr("Обновить"), this);

    auto* runsPage = new QWidget(this);
    auto* runsTop = new QHBoxLayout;
    runsTop->addWidget(filterEdit, 1);
    runsTop->addWidget(openButton);
    runsTop->addWidget(compareButton);
    runsTop->addWidget(exportButton);
    runsTop->addWidget(deleteButton);
    auto* runsLayout = new QVBoxLayout(runsPage);
    runsLayout->setContentsMargins(0, 0, 0, 0);
    runsLayout->addLayout(runsTop);
    runsLayout->addWidget(table, 1);
    tabs = new QTabWidget(this);
    tabs->addTab(runsPage, tr("Испытания"));
    tabs->addTab(MakeCellsPage(), tr("Ячейки"));

    auto* top = new QHBoxLayout;
    top->addWidget(nextCellLabel);
    top->addWidget(nextCellEdit);
    top->addStretch(1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(countLabel, 1);
    bottom->addWidget(refreshButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(tabs, 1);
    layout->addLayout(bottom);
    connect(tabs, &QTabWidget::currentChanged, this, [this] { ShowCount(); });

    connect(filterEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        sorted->setFilterFixedString(text);
        ShowCount();
    });
    // A scanner types the name and Enter; a name typed and left counts the same.
    connect(nextCellEdit, &QLineEdit::editingFinished, this, &CJournalDlg::OnNextCell);
    connect(openButton, &QPushButton::clicked, this, &CJournalDlg::OnOpenInCurveWindow);
    connect(compareButton, &QPushButton::clicked, this, &CJournalDlg::OnCompare);
    connect(deleteButton, &QPushButton::clicked, this, &CJournalDlg::OnDelete);
    connect(refreshButton, &QPushButton::clicked, this, &CJournalDlg::Reload);
    connect(table, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { runMenu->popup(table->viewport()->mapToGlobal(at)); });
    model.SetSaveText([this](std::int64_t runId, CRunTableModel::Column column,
                             const QString& text) { return SaveText(runId, column, text); });

    resize(1280, 520);
    Reload();
}

QWidget* CJournalDlg::MakeCellsPage() {
    auto* page = new QWidget(this);
    cellFilterEdit = new QLineEdit(page);
    cellFilterEdit->setPlaceholderText(tr("Отбор по имени, производителю или примечанию"));
    cellFilterEdit->setClearButtonEnabled(true);
    auto* weakLabel = new QLabel(tr("Слабая ниже"), page);
    weakPercentBox = new QSpinBox(page);
    weakPercentBox->setRange(1, 100);
    weakPercentBox->setSuffix(tr(" % номинала"));
    weakPercentBox->setValue(CCellTableModel::kDefaultWeakPercent);
    weakLabel->setBuddy(weakPercentBox);
    auto* compareButton = new QPushButton(tr("Сравнить"), page);
    auto* packButton = new QPushButton(tr("Сборка батареи..."), page);
    auto* labelsButton = new QPushButton(tr("Печать этикеток..."), page);
    auto* boundsButton = new QPushButton(tr("Границы сортов..."), page);
    boundsButton->setToolTip(tr("Границы, по которым ячейки делятся на сорта A, B, C и брак"));
    auto* reportButton = new QPushButton(tr("Отчёт..."), page);

    sortedCells = new QSortFilterProxyModel(this);
    sortedCells->setSourceModel(&cellModel);
    sortedCells->setSortRole(CCellTableModel::kSortRole);
    sortedCells->setFilterRole(CCellTableModel::kFilterRole);
    sortedCells->setFilterKeyColumn(CCellTableModel::kName);
    sortedCells->setFilterCaseSensitivity(Qt::CaseInsensitive);
    sortedCells->setDynamicSortFilter(true);

    cellTable = new QTableView(page);
    cellTable->setModel(sortedCells);
    cellTable->setSortingEnabled(true);
    cellTable->sortByColumn(CCellTableModel::kName, Qt::AscendingOrder);
    cellTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    cellTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    cellTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    cellTable->verticalHeader()->hide();
    // As the runs: rows of one height and widths from the captions, nothing measured per row.
    cellTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    cellTable->verticalHeader()->setDefaultSectionSize(cellTable->fontMetrics().height() + 6);
    const QFontMetrics metrics = cellTable->fontMetrics();
    CellStorage unchecked;
    unchecked.state = CellStorage::State::NotCheckedSinceCharge;
    for (int column = 0; column < CCellTableModel::kColumnCount; ++column) {
        const QString widest =
            column == CCellTableModel::kName            ? QStringLiteral("LG-M29-0123")
            : column == CCellTableModel::kState         ? tr("не испытана")
            : column == CCellTableModel::kSelfDischarge ? SelfDischargeText(unchecked)
            : column == CCellTableModel::kGrade         ? GradeText(Grade::Reject)
            : column == CCellTableModel::kRule          ? QStringLiteral("Rin 112 мОм > 80")
                                                        : QStringLiteral("10000.0");
        const int caption =
            metrics.horizontalAdvance(cellModel.headerData(column, Qt::Horizontal).toString()) + 24;
        cellTable->setColumnWidth(column,
                                  std::max(caption, metrics.horizontalAdvance(widest) + 16));
    }
    cellTable->horizontalHeader()->setStretchLastSection(true);

    auto* top = new QHBoxLayout;
    top->addWidget(cellFilterEdit, 1);
    top->addWidget(weakLabel);
    top->addWidget(weakPercentBox);
    top->addWidget(compareButton);
    top->addWidget(packButton);
    top->addWidget(labelsButton);
    top->addWidget(boundsButton);
    top->addWidget(reportButton);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(top);
    layout->addWidget(cellTable, 1);

    connect(cellFilterEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        sortedCells->setFilterFixedString(text);
        ShowCount();
    });
    connect(weakPercentBox, &QSpinBox::valueChanged, this,
            [this](int percent) { cellModel.SetWeakPercent(percent); });
    connect(compareButton, &QPushButton::clicked, this, &CJournalDlg::OnCompareCells);
    connect(packButton, &QPushButton::clicked, this, [this] {
        CPackDlg::Open(dialogs, path, this);
        RefreshCells();  // a saved or freed pack changes which cells are in use
    });
    connect(labelsButton, &QPushButton::clicked, this,
            [this] { PrintCellLabels(dialogs, path, SelectedCellNames(), this); });
    connect(boundsButton, &QPushButton::clicked, this, &CJournalDlg::OnGradeBounds);
    connect(reportButton, &QPushButton::clicked, this, &CJournalDlg::OnReport);
    return page;
}

void CJournalDlg::RefreshCells(std::optional<std::vector<CellRecord>> register_) {
    std::vector<CellRecord> cells;
    if (register_) {
        cells = std::move(*register_);
    } else if (journal.IsOpen() && journal.HasCellRegister()) {
        cells = journal.Cells().value_or(std::vector<CellRecord>{});
    }
    const QStringList selected = cellTable != nullptr ? SelectedCellNames() : QStringList();
    QStringList names;
    names.reserve(static_cast<qsizetype>(cells.size()));
    for (const CellRecord& cell : cells) {
        names.append(cell.name);
    }
    names.sort(Qt::CaseInsensitive);
    cellNames->setStringList(names);
    // A journal of an older layout has no checks and grades by the defaults.
    std::vector<CheckRecord> checks;
    std::vector<GradeBoundsRecord> stored;
    if (journal.IsOpen() && journal.HasCheckTables()) {
        checks = journal.Checks().value_or(std::vector<CheckRecord>{});
        stored = journal.StoredGradeBounds().value_or(std::vector<GradeBoundsRecord>{});
    }
    cellModel.SetGradeBounds(GradeBoundsWith(stored));
    cellModel.SetCells(CellRows(cells, model.Runs(), model.CellNames(), checks));
    if (cellTable != nullptr) {
        SelectCells(selected);
    }
    ShowCount();
}

QStringList CJournalDlg::SelectedCellNames() const {
    QModelIndexList rows = cellTable->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList names;
    for (const QModelIndex& row : rows) {
        names.append(cellModel.RowAt(sortedCells->mapToSource(row).row()).summary.cell.name);
    }
    return names;
}

void CJournalDlg::SelectCells(const QStringList& names) {
    QItemSelection selection;
    for (int row = 0; row < cellModel.rowCount(); ++row) {
        if (!names.contains(cellModel.RowAt(row).summary.cell.name)) {
            continue;
        }
        const QModelIndex at = sortedCells->mapFromSource(cellModel.index(row, 0));
        if (at.isValid()) {
            selection.select(at, at.siblingAtColumn(CCellTableModel::kColumnCount - 1));
        }
    }
    cellTable->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void CJournalDlg::OnCompareCells() {
    const QStringList names = SelectedCellNames();
    std::vector<RunRecord> runs;
    for (int row = 0; row < model.rowCount(); ++row) {
        const RunRecord& run = model.RunAt(row);
        const QString cell = model.CellOf(run.id);
        if (!cell.isEmpty() && names.contains(cell)) {
            runs.push_back(run);
        }
    }
    if (runs.size() < 2) {
        dialogs.Message(this,
                        tr("Для сравнения выберите ячейки, у которых вместе два испытания или "
                           "больше."),
                        tr("Внимание!"), platform::Buttons::Ok);
        return;
    }
    CompareRuns(std::move(runs));
}

void CJournalDlg::OnReport() {
    const QFileInfo journalFile(path);
    const QString file =
        dialogs.SaveFileName(this, journalFile.absolutePath(),
                             QStringLiteral("cells-report-%1.pdf")
                                 .arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))),
                             {tr("Файлы PDF *.pdf"), QStringLiteral("*.pdf")});
    if (file.isEmpty()) {
        return;
    }
    if (WritesOverJournal(file, path)) {
        dialogs.Message(this,
                        tr("Файл %1 — это сам журнал испытаний.\nВыберите другое имя.")
                            .arg(QDir::toNativeSeparators(file)),
                        tr("Ошибка"), platform::Buttons::Ok);
        return;
    }
    if (!OpenConnection()) {
        dialogs.Message(this, tr("Журнал пока не создан: %1").arg(path), tr("Ошибка"),
                        platform::Buttons::Ok);
        return;
    }
    // Read anew, so the report grades by the bounds and checks the journal holds now; a journal
    // without the register yet has no cells to grade.
    GradeReportInput input;
    if (journal.HasCellRegister()) {
        const std::optional<GradingInput> read = ReadGradingInput(journal);
        if (!read) {
            dialogs.Message(
                this,
                tr("Не удалось прочитать ячейки из журнала.\nПричина: %1").arg(journal.LastError()),
                tr("Ошибка"), platform::Buttons::Ok);
            return;
        }
        input.cells = GradeCells(read->cells, read->runs, read->links, read->checks, read->bounds);
    }
    input.made = QDateTime::currentDateTime();
    input.journalName = journalFile.fileName();
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    QString error;
    const bool written = WriteGradeReport(file, input, error);
    QGuiApplication::restoreOverrideCursor();
    if (!written) {
        dialogs.Message(this, tr("Не удалось записать файл %1.\nПричина: %2").arg(file, error),
                        tr("Ошибка"), platform::Buttons::Ok);
    }
}

void CJournalDlg::OnGradeBounds() {
    if (!OpenConnection()) {
        dialogs.Message(this,
                        tr("Границы сортов хранятся в журнале, а его пока нет:\n%1").arg(path),
                        tr("Внимание!"), platform::Buttons::Ok);
        return;
    }
    // The chemistry of the first cell selected, as the operator is likely to mean it.
    Chemistry shown = Chemistry::LiIon;
    const QModelIndexList rows = cellTable->selectionModel()->selectedRows();
    if (!rows.isEmpty()) {
        shown =
            cellModel.RowAt(sortedCells->mapToSource(rows.first()).row()).summary.cell.chemistry;
    }
    CGradeBoundsDlg dialog(dialogs, journal, cellModel.GradeBounds(), shown, this);
    dialog.exec();
    // Kept even when a later chemistry failed to be written and the dialog was left.
    RegradeCells(dialog.KeptBounds());
}

void CJournalDlg::RegradeCells(const GradeBoundsSet& bounds) {
    cellModel.SetGradeBounds(bounds);
}

void CJournalDlg::OnCheckRecorded() {
    // The first check may be what made the journal: the window has no connection to it yet.
    if (!journal.IsOpen()) {
        Reload();
        return;
    }
    RefreshCells();
}

void CJournalDlg::Follow(CJournalWriter* writer) {
    recorder = writer;
    nextCellEdit->setEnabled(writer != nullptr);
    if (writer == nullptr) {
        return;
    }
    AlsoFollow(writer);
    nextCellEdit->setEnabled(true);
}

void CJournalDlg::AlsoFollow(CJournalWriter* writer) {
    nextCellEdit->setEnabled(false);
    connect(writer, &CJournalWriter::RunChanged, this, &CJournalDlg::OnRunChanged);
    connect(writer, &CJournalWriter::CellGiven, this, &CJournalDlg::OnCellGiven);
    // A check grades its cell again.
    connect(writer, &CJournalWriter::CheckAdded, this, [this] { OnCheckRecorded(); });
}

void CJournalDlg::OnNextCell() {
    const QString name = nextCellEdit->text().trimmed();
    if (recorder == nullptr || name == nextCellSent) {
        return;
    }
    nextCellSent = name;
    recorder->SetNextCell(name);
}

void CJournalDlg::OnCellGiven(qint64 runId, const QString& cell, bool nextTaken) {
    if (!deletedHere.contains(runId)) {
        model.SetCell(runId, cell);
    }
    RefreshCells();
    if (nextTaken && cell == nextCellSent) {
        nextCellSent.clear();
        if (nextCellEdit->text().trimmed() == cell) {
            nextCellEdit->clear();
        }
    }
}

QStringList CJournalDlg::CellNames() const {
    return cellNames->stringList();
}

void CJournalDlg::AddCellName(const QString& name) {
    QStringList names = cellNames->stringList();
    if (name.isEmpty() || names.contains(name)) {
        return;
    }
    names.append(name);
    names.sort(Qt::CaseInsensitive);
    cellNames->setStringList(names);
}

void CJournalDlg::showEvent(QShowEvent* event) {
    // A journal that was not there when the window was made may be there now.
    if (!journal.IsOpen()) {
        Reload();
    }
    QDialog::showEvent(event);
}

bool CJournalDlg::OpenConnection() {
    if (journal.IsOpen()) {
        return true;
    }
    if (path.isEmpty()) {
        return false;
    }
    // The recorder creates and checks the journal; the window takes it as it is.
    if (!journal.Open(path, CJournal::OpenMode::Existing).Usable()) {
        return false;
    }
    // Edits and deletes run on the window's thread: a journal another program holds longer
    // than a commit of a sample is told as busy instead of freezing the window.
    journal.SetBusyTimeout(kEditBusyTimeoutMs);
    return true;
}

void CJournalDlg::Reload() {
    std::vector<RunRecord> runs;
    std::vector<CellRecord> cells;
    QHash<std::int64_t, QString> cellOfRun;
    if (OpenConnection()) {
        if (std::optional<std::vector<RunRecord>> read = journal.Runs()) {
            runs = std::move(*read);
        } else {
            journal.Close();
        }
    }
    // A journal without the register yet (the recorder upgrades it) has runs without cells.
    if (journal.IsOpen() && journal.HasCellRegister()) {
        cells = journal.Cells().value_or(std::vector<CellRecord>{});
        QHash<std::int64_t, QString> names;
        for (const CellRecord& cell : cells) {
            names.insert(cell.id, cell.name);
        }
        for (const RunCellLink& link : journal.RunCells().value_or(std::vector<RunCellLink>{})) {
            cellOfRun.insert(link.runId, names.value(link.cellId));
        }
    }
    const std::vector<RunRecord> selected = table != nullptr ? SelectedRuns() : runs;
    model.SetRuns(std::move(runs), std::move(cellOfRun));
    RefreshCells(std::move(cells));
    if (table != nullptr) {
        std::vector<std::int64_t> ids;
        for (const RunRecord& run : selected) {
            ids.push_back(run.id);
        }
        SelectRuns(ids);
    }
    ShowCount();
}

void CJournalDlg::ShowCount() {
    if (countLabel == nullptr) {
        return;
    }
    if (!journal.IsOpen()) {
        countLabel->setText(tr("Журнал пока не создан: %1").arg(path));
    } else if (tabs != nullptr && tabs->currentIndex() == 1) {
        countLabel->setText(
            sortedCells->rowCount() == cellModel.rowCount()
                ? tr("Ячеек: %1").arg(cellModel.rowCount())
                : tr("Ячеек: %1 из %2").arg(sortedCells->rowCount()).arg(cellModel.rowCount()));
    } else if (sorted->rowCount() == model.rowCount()) {
        countLabel->setText(tr("Испытаний: %1").arg(model.rowCount()));
    } else {
        countLabel->setText(
            tr("Испытаний: %1 из %2").arg(sorted->rowCount()).arg(model.rowCount()));
    }
}

void CJournalDlg::OnRunChanged(const RunEvent& event) {
    // A run deleted here while it was recorded stays deleted: the journal no longer takes it.
    if (deletedHere.contains(event.run.id)) {
        return;
    }
    const bool known = model.RowOf(event.run.id) >= 0;
    model.UpdateRun(event.run);
    if (!known) {
        ShowCount();
    }
    // The cells follow a run's beginning and end, not each of its readings.
    if (event.kind != RunEventKind::Sampled && !model.CellOf(event.run.id).isEmpty()) {
        RefreshCells();
    }
}

bool CJournalDlg::SaveText(std::int64_t runId, CRunTableModel::Column column, const QString& text) {
    bool saved = OpenConnection();
    if (saved && column == CRunTableModel::kCell) {
        // The register comes with the first cell given here to a journal that has none yet.
        saved = (journal.HasCellRegister() || journal.Upgrade()) &&
                journal.SetRunCell(runId, text);
        if (saved) {
            AddCellName(text);
            // Shown once the model holds it; the cells tab follows right after.
            QMetaObject::invokeMethod(this, [this] { RefreshCells(); }, Qt::QueuedConnection);
        }
    } else if (saved) {
        saved = column == CRunTableModel::kLabel ? journal.SetLabel(runId, text)
                                                 : journal.SetNote(runId, text);
    }
    if (!saved) {
        const QString why = journal.LastError().isEmpty()
                                ? tr("Испытания больше нет в журнале.")
                                : tr("Причина: %1").arg(journal.LastError());
        dialogs.Message(this, tr("Не удалось сохранить изменение в журнале.\n%1").arg(why),
                        tr("Ошибка"), platform::Buttons::Ok);
    }
    return saved;
}

void CJournalDlg::SelectRuns(const std::vector<std::int64_t>& runIds) {
    QItemSelection selection;
    for (std::int64_t id : runIds) {
        const int row = model.RowOf(id);
        if (row < 0) {
            continue;
        }
        const QModelIndex at = sorted->mapFromSource(model.index(row, 0));
        if (at.isValid()) {
            selection.select(at, at.siblingAtColumn(CRunTableModel::kColumnCount - 1));
        }
    }
    table->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!selection.isEmpty()) {
        table->selectionModel()->setCurrentIndex(selection.indexes().front(),
                                                 QItemSelectionModel::NoUpdate);
    }
}

std::vector<RunRecord> CJournalDlg::SelectedRuns() const {
    QModelIndexList rows = table->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<RunRecord> runs;
    for (const QModelIndex& row : rows) {
        runs.push_back(model.RunAt(sorted->mapToSource(row).row()));
    }
    return runs;
}

void CJournalDlg::TellReadFailure() {
    dialogs.Message(
        this,
        tr("Не удалось прочитать испытание из журнала.\nПричина: %1")
            .arg(journal.LastError().isEmpty() ? tr("журнал недоступен") : journal.LastError()),
        tr("Ошибка"), platform::Buttons::Ok);
}

std::optional<std::vector<JournalSample>> CJournalDlg::ReadSamples(const RunRecord& run) {
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    std::optional<std::vector<JournalSample>> samples;
    if (OpenConnection()) {
        samples = journal.Samples(run.id);
    }
    QGuiApplication::restoreOverrideCursor();
    if (!samples) {
        TellReadFailure();
    }
    return samples;
}

void CJournalDlg::OnOpenInCurveWindow() {
    const std::vector<RunRecord> runs = SelectedRuns();
    if (runs.empty()) {
        dialogs.Message(this, tr("Выберите испытание."), tr("Внимание!"), platform::Buttons::Ok);
        return;
    }
    const RunRecord& run = runs.front();
    CGraf* ofPort = curveWindowOf ? curveWindowOf(run.port) : nullptr;
    CGraf& curveWindow = ofPort != nullptr ? *ofPort : this->curveWindow;
    const bool taken = curveWindow.LoadCurveFrom(
        [&](CurveStore& store) {
            const std::optional<std::vector<JournalSample>> samples = ReadSamples(run);
            if (!samples) {
                return false;
            }
            FillCurveStore(run, *samples, store);
            return true;
        },
        RunName(run));
    if (taken) {
        curveWindow.show();
        curveWindow.raise();
    }
}

void CJournalDlg::OnCompare() {
    std::vector<RunRecord> runs = SelectedRuns();
    if (runs.size() < 2) {
        dialogs.Message(this, tr("Для сравнения выберите два испытания или больше."),
                        tr("Внимание!"), platform::Buttons::Ok);
        return;
    }
    CompareRuns(std::move(runs));
}

void CJournalDlg::CompareRuns(std::vector<RunRecord> runs) {
    if (!compareWindow) {
        compareWindow = std::make_unique<CCompareDlg>(dialogs);
        compareWindow->Create(this, curveWindow.dataFolder,
                              [this](const std::vector<std::int64_t>& ids, bool excel) {
                                  std::vector<RunRecord> runs;
                                  for (std::int64_t id : ids) {
                                      if (const int row = model.RowOf(id); row >= 0) {
                                          runs.push_back(model.RunAt(row));
                                      }
                                  }
                                  ExportCsv(runs, excel);
                              });
    }
    // Oldest first: each run is set beside the earliest, as a cell beside itself last spring.
    std::stable_sort(runs.begin(), runs.end(), [](const RunRecord& a, const RunRecord& b) {
        return a.startedUtc < b.startedUtc;
    });
    // Each run's samples are let go once its curve and summary are taken from them.
    std::vector<FigureCurve> curves;
    std::vector<CurveSummary> summaries;
    for (const RunRecord& run : runs) {
        const std::optional<std::vector<JournalSample>> samples = ReadSamples(run);
        if (!samples) {
            return;
        }
        curves.push_back(FigureCurveOfRun(run, *samples));
        // Runs of several cells read apart by their cell.
        const QString cell = model.CellOf(run.id);
        if (!cell.isEmpty() && !curves.back().label.contains(cell)) {
            curves.back().label = cell + QStringLiteral(": ") + curves.back().label;
        }
        summaries.push_back(SummaryOfRun(run, *samples));
    }
    compareWindow->Clear();
    compareWindow->AddCurves(std::move(curves), std::move(summaries));
    compareWindow->show();
    compareWindow->raise();
}

void CJournalDlg::OnExportCsv(bool excel) {
    const std::vector<RunRecord> runs = SelectedRuns();
    if (runs.empty()) {
        dialogs.Message(this, tr("Выберите испытание."), tr("Внимание!"), platform::Buttons::Ok);
        return;
    }
    ExportCsv(runs, excel);
}

void CJournalDlg::ExportCsv(const std::vector<RunRecord>& runs, bool excel) {
    const platform::FileFilter filter{tr("Файлы CSV *.csv"), QStringLiteral("*.csv")};
    for (const RunRecord& run : runs) {
        QString file = dialogs.SaveFileName(this, curveWindow.dataFolder,
                                            FileStem(run) + QStringLiteral(".csv"), filter);
        if (file.isEmpty()) {
            return;
        }
        if (WritesOverJournal(file, path)) {
            dialogs.Message(this,
                            tr("Файл %1 — это сам журнал испытаний.\nВыберите другое имя.")
                                .arg(QDir::toNativeSeparators(file)),
                            tr("Ошибка"), platform::Buttons::Ok);
            return;
        }
        const std::optional<std::vector<JournalSample>> samples = ReadSamples(run);
        if (!samples) {
            return;
        }
        const platform::WriteResult written =
            platform::WriteWholeFile(file, RunCsv(run, *samples, excel));
        if (!written) {
            dialogs.Message(
                this, tr("Не удалось записать файл %1.\nПричина: %2").arg(file, written.reason),
                tr("Ошибка"), platform::Buttons::Ok);
            return;
        }
    }
}

void CJournalDlg::OnExportCurveFile() {
    const std::vector<RunRecord> runs = SelectedRuns();
    if (runs.empty()) {
        dialogs.Message(this, tr("Выберите испытание."), tr("Внимание!"), platform::Buttons::Ok);
        return;
    }
    for (const RunRecord& run : runs) {
        const std::optional<std::vector<JournalSample>> samples = ReadSamples(run);
        if (!samples) {
            return;
        }
        // The curve window's own save, over a store of the run: same name, checks and messages.
        auto store = std::make_unique<CurveStore>();
        FillCurveStore(run, *samples, *store);
        CurveWindowContext context{*store, dialogs, this, curveWindow.dataFolder, {}};
        SaveCurve(context);
    }
}

void CJournalDlg::OnExportBdf() {
    const std::vector<RunRecord> runs = SelectedRuns();
    if (runs.empty()) {
        dialogs.Message(this, tr("Выберите испытание."), tr("Внимание!"), platform::Buttons::Ok);
        return;
    }
    std::vector<std::int64_t> ids;
    for (const RunRecord& run : runs) {
        ids.push_back(run.id);
    }
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    BdfGathered gathered;
    gathered.failure = BdfGatherFailure::ReadFailed;
    if (OpenConnection()) {
        gathered = GatherBdfRuns(journal, ids);
    }
    QGuiApplication::restoreOverrideCursor();
    if (gathered.failure == BdfGatherFailure::MixedCells) {
        QStringList lines;
        for (std::size_t k = 0; k < gathered.runIds.size(); ++k) {
            const QString cell = gathered.cells.value(static_cast<qsizetype>(k));
            lines.append(cell.isEmpty()
                             ? tr("  испытание %1: без ячейки").arg(gathered.runIds[k])
                             : tr("  испытание %1: ячейка %2").arg(gathered.runIds[k]).arg(cell));
        }
        dialogs.Message(this,
                        tr("В файл BDF записываются испытания одной ячейки, а выбраны "
                           "испытания разных:\n%1")
                            .arg(lines.join(QLatin1Char('\n'))),
                        tr("Внимание!"), platform::Buttons::Ok);
        return;
    }
    if (gathered.failure != BdfGatherFailure::None) {
        TellReadFailure();
        return;
    }
    const platform::FileFilter filter{tr("Файлы BDF *.bdf"), QStringLiteral("*.bdf")};
    const QString file =
        dialogs.SaveFileName(this, curveWindow.dataFolder,
                             BdfRecommendedName(curveWindow.dataFolder, gathered.test), filter);
    if (file.isEmpty()) {
        return;
    }
    if (WritesOverJournal(file, path) || WritesOverJournal(BdfSidecarPath(file), path)) {
        dialogs.Message(this,
                        tr("Файл %1 — это сам журнал испытаний.\nВыберите другое имя.")
                            .arg(QDir::toNativeSeparators(file)),
                        tr("Ошибка"), platform::Buttons::Ok);
        return;
    }
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    const BdfWriteResult written = WriteBdfFiles(journal, gathered.test, file);
    QGuiApplication::restoreOverrideCursor();
    if (!written.ok) {
        dialogs.Message(this,
                        tr("Не удалось записать файл %1.\nПричина: %2").arg(file, written.reason),
                        tr("Ошибка"), platform::Buttons::Ok);
    }
}

void CJournalDlg::OnDelete() {
    const std::vector<RunRecord> runs = SelectedRuns();
    if (runs.empty()) {
        dialogs.Message(this, tr("Выберите испытание."), tr("Внимание!"), platform::Buttons::Ok);
        return;
    }
    QStringList names;
    for (std::size_t i = 0; i < runs.size() && i < kNamedRuns; ++i) {
        names.append(QStringLiteral("  ") + RunName(runs[i]));
    }
    if (runs.size() > kNamedRuns) {
        names.append(tr("  и еще %1").arg(runs.size() - kNamedRuns));
    }
    const QString question = tr("Удалить из журнала испытания (%1) вместе с их измерениями?\n%2\n"
                                "Удаление нельзя отменить.")
                                 .arg(runs.size())
                                 .arg(names.join(QLatin1Char('\n')));
    if (dialogs.Message(this, question, tr("Внимание!"), platform::Buttons::OkCancel) !=
        platform::Answer::Ok) {
        return;
    }
    std::vector<std::int64_t> ids;
    for (const RunRecord& run : runs) {
        ids.push_back(run.id);
    }
    if (!OpenConnection() || !journal.DeleteRuns(ids)) {
        dialogs.Message(this,
                        tr("Не удалось удалить испытания.\nПричина: %1").arg(journal.LastError()),
                        tr("Ошибка"), platform::Buttons::Ok);
        return;
    }
    model.RemoveRuns(ids);
    for (std::int64_t id : ids) {
        deletedHere.insert(id);
    }
    RefreshCells();
}
