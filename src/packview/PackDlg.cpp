// The pack window: the search of pack/Packing.h over the register's cells, shown, exported and
// kept in the journal.

#include "packview/PackDlg.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QSvgGenerator>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <memory>

#include "journal/CellSummary.h"
#include "journal/Journal.h"
#include "pack/CellCsv.h"
#include "packview/PackPicture.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"

namespace brimvolt {

namespace {

constexpr int kMaxSide = 1000;
constexpr int kMaxMah = 1'000'000;
constexpr int kMaxMohm = 100'000;

QString Number(double value, int decimals) { return QString::number(value, 'f', decimals); }

QSpinBox* Spin(int low, int high, int value, const QString& none, const char* name) {
    auto* spin = new QSpinBox;
    spin->setRange(low, high);
    spin->setValue(value);
    spin->setSpecialValueText(none);
    spin->setObjectName(QLatin1String(name));
    return spin;
}

}  // namespace

std::optional<double> NominalVolts(Chemistry chemistry) {
    switch (chemistry) {
        case Chemistry::LiIon:
            return 3.6;
        case Chemistry::LiFePO4:
            return 3.2;
        case Chemistry::NiMH:
            return 1.2;
        case Chemistry::Lead:
            return 2.0;
        case Chemistry::Other:
            break;
    }
    return std::nullopt;
}

CPackDlg::CPackDlg(platform::CDialogs& dialogs, const QString& journalPath, QWidget* parent)
    : QDialog(parent), dialogs(dialogs), journalPath(journalPath) {
    setWindowTitle(tr("Сборка батареи"));
    auto* request = new QGroupBox(tr("Что собрать"));
    auto* form = new QFormLayout(request);
    series = Spin(1, kMaxSide, 1, QString(), "series");
    parallel = Spin(1, kMaxSide, 1, QString(), "parallel");
    auto* shape = new QHBoxLayout;
    shape->addWidget(series);
    shape->addWidget(new QLabel(QStringLiteral("S ×")));
    shape->addWidget(parallel);
    shape->addWidget(new QLabel(QStringLiteral("P")));
    shape->addStretch();
    form->addRow(tr("Групп последовательно и ячеек в группе:"), shape);
    minCapacity = Spin(0, kMaxMah, 0, tr("любая"), "minCapacity");
    maxCapacity = Spin(0, kMaxMah, 0, tr("любая"), "maxCapacity");
    auto* capacity = new QHBoxLayout;
    capacity->addWidget(minCapacity);
    capacity->addWidget(new QLabel(tr("до")));
    capacity->addWidget(maxCapacity);
    capacity->addStretch();
    form->addRow(tr("Емкость ячеек от, мА·ч:"), capacity);
    maxRin = Spin(0, kMaxMohm, 0, tr("любое"), "maxRin");
    form->addRow(tr("Rвн ячеек до, мОм:"), maxRin);
    rinSpread = new QDoubleSpinBox;
    rinSpread->setObjectName(QStringLiteral("rinSpread"));
    rinSpread->setRange(0, kMaxMohm);
    rinSpread->setDecimals(1);
    rinSpread->setSpecialValueText(tr("без ограничения"));
    form->addRow(tr("Разброс Rвн в группе до, мОм:"), rinSpread);
    allowMissingRin = new QCheckBox(tr("Ячейки без Rвн допускаются"));
    allowMissingRin->setObjectName(QStringLiteral("allowMissingRin"));
    allowMissingRin->setChecked(true);
    form->addRow(allowMissingRin);
    minGrade = new QComboBox;
    minGrade->setObjectName(QStringLiteral("minGrade"));
    minGrade->addItem(tr("любой"), QVariant::fromValue(static_cast<int>(Grade::None)));
    for (const Grade grade : {Grade::A, Grade::B, Grade::C}) {
        minGrade->addItem(tr("не ниже %1").arg(GradeText(grade)),
                          QVariant::fromValue(static_cast<int>(grade)));
    }
    form->addRow(tr("Сорт ячеек:"), minGrade);
    planButton = new QPushButton(tr("Подобрать"));
    planButton->setObjectName(QStringLiteral("plan"));
    planButton->setDefault(true);
    form->addRow(planButton);

    status = new QLabel;
    status->setObjectName(QStringLiteral("status"));
    status->setWordWrap(true);
    groups = new QTreeWidget;
    groups->setObjectName(QStringLiteral("groups"));
    groups->setHeaderLabels({tr("Группа, ячейка"), tr("Емкость, мА·ч"), tr("От среднего, мА·ч"),
                             tr("Rвн, мОм")});
    groups->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    summary = new QLabel;
    summary->setObjectName(QStringLiteral("summary"));
    summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    picture = new CPackPicture;
    picture->setObjectName(QStringLiteral("picture"));

    exportCsv = new QPushButton(tr("CSV..."));
    exportCsv->setObjectName(QStringLiteral("exportCsv"));
    exportPng = new QPushButton(tr("Рисунок PNG..."));
    exportPng->setObjectName(QStringLiteral("exportPng"));
    exportSvg = new QPushButton(tr("Рисунок SVG..."));
    exportSvg->setObjectName(QStringLiteral("exportSvg"));
    packName = new QLineEdit;
    packName->setObjectName(QStringLiteral("packName"));
    packName->setPlaceholderText(tr("Название сборки"));
    packName->setMaxLength(200);
    packName->setMinimumWidth(180);
    savePack = new QPushButton(tr("Сохранить сборку"));
    savePack->setObjectName(QStringLiteral("savePack"));
    auto* actions = new QHBoxLayout;
    for (QWidget* widget : {static_cast<QWidget*>(exportCsv), static_cast<QWidget*>(exportPng),
                            static_cast<QWidget*>(exportSvg)}) {
        actions->addWidget(widget);
    }
    actions->addStretch();
    actions->addWidget(packName);
    actions->addWidget(savePack);

    auto* saved = new QGroupBox(tr("Сохраненные сборки"));
    auto* savedLayout = new QVBoxLayout(saved);
    packs = new QListWidget;
    packs->setObjectName(QStringLiteral("packs"));
    freePack = new QPushButton(tr("Освободить ячейки"));
    freePack->setObjectName(QStringLiteral("freePack"));
    savedLayout->addWidget(packs);
    savedLayout->addWidget(freePack);

    auto* left = new QVBoxLayout;
    left->addWidget(request);
    left->addWidget(saved, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(status);
    right->addWidget(groups, 2);
    right->addWidget(summary);
    right->addWidget(picture, 1);
    right->addLayout(actions);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(right, 1);
    resize(1000, 640);

    connect(planButton, &QPushButton::clicked, this, &CPackDlg::OnPlan);
    connect(savePack, &QPushButton::clicked, this, &CPackDlg::OnSavePack);
    connect(freePack, &QPushButton::clicked, this, &CPackDlg::OnFreePack);
    connect(exportCsv, &QPushButton::clicked, this, &CPackDlg::OnExportCsv);
    connect(exportPng, &QPushButton::clicked, this, [this] { OnExportPicture(false); });
    connect(exportSvg, &QPushButton::clicked, this, [this] { OnExportPicture(true); });
    connect(packs, &QListWidget::itemSelectionChanged, this,
            [this] { freePack->setEnabled(!packs->selectedItems().isEmpty()); });
    LoadJournal();
    ClearPlan(status->text());
}

CPackDlg::~CPackDlg() {
    if (planner) {
        // The search works on its own copies: told to stop, it ends at its next check.
        planner->disconnect(this);
        cancelPlanning->store(true);
        planner->wait();
        delete planner;
    }
}

void CPackDlg::Open(platform::CDialogs& dialogs, const QString& journalPath, QWidget* parent) {
    CPackDlg dialog(dialogs, journalPath, parent);
    dialog.exec();
}

void CPackDlg::LoadJournal() {
    all = Pool();
    packs->clear();
    CJournal journal;
    const CJournal::OpenResult opened = journal.Open(journalPath, CJournal::OpenMode::Existing);
    if (!opened.Usable()) {
        status->setText(tr("Журнал недоступен: %1").arg(QFileInfo(journalPath).fileName()));
        return;
    }
    if (!journal.HasCellRegister()) {
        status->setText(tr("В журнале пока нет ячеек."));
        return;
    }
    const std::optional<GradingInput> input = ReadGradingInput(journal);
    const auto saved = journal.Packs();
    if (!input || !saved) {
        status->setText(tr("Не удалось прочитать журнал: %1").arg(journal.LastError()));
        return;
    }
    const std::vector<CellRecord>* const cells = &input->cells;
    for (const GradedCell& graded :
         GradeCells(input->cells, input->runs, input->links, input->checks, input->bounds)) {
        const CellSummary& cell = graded.summary;
        if (cell.cell.retired || cell.cell.packId != 0 || !cell.lastCapacityMah) {
            continue;
        }
        PackCell drawn{cell.cell.name, static_cast<double>(*cell.lastCapacityMah), std::nullopt};
        if (cell.lastRinMohm) {
            drawn.rinMohm = *cell.lastRinMohm;
        }
        all.cells.push_back(drawn);
        all.chemistries.push_back(cell.cell.chemistry);
        all.grades.push_back(graded.grade.grade);
    }
    for (const PackRecord& pack : *saved) {
        int members = 0;
        for (const CellRecord& cell : *cells) {
            members += cell.packId == pack.id ? 1 : 0;
        }
        auto* item = new QListWidgetItem(
            tr("%1: %2S%3P, ячеек %4, %5")
                .arg(pack.name)
                .arg(pack.series)
                .arg(pack.parallel)
                .arg(members)
                .arg(QDateTime::fromSecsSinceEpoch(pack.createdUtc)
                         .toLocalTime()
                         .toString(QStringLiteral("yyyy-MM-dd"))));
        item->setData(Qt::UserRole, QVariant::fromValue<qlonglong>(pack.id));
        item->setData(Qt::UserRole + 1, pack.name);
        packs->addItem(item);
    }
    freePack->setEnabled(false);
    status->setText(tr("Ячеек на выбор: %1").arg(all.cells.size()));
}

CPackDlg::Pool CPackDlg::Drawn() const {
    Pool pool;
    for (std::size_t i = 0; i < all.cells.size(); ++i) {
        const PackCell& cell = all.cells[i];
        const bool tooSmall = minCapacity->value() > 0 && cell.capacityMah < minCapacity->value();
        const bool tooLarge = maxCapacity->value() > 0 && cell.capacityMah > maxCapacity->value();
        const bool tooHigh = maxRin->value() > 0 && cell.rinMohm && *cell.rinMohm > maxRin->value();
        const bool noRin = !cell.rinMohm && !allowMissingRin->isChecked();
        const auto lowest = static_cast<Grade>(minGrade->currentData().toInt());
        const bool belowGrade = lowest != Grade::None && !GradeAtLeast(all.grades[i], lowest);
        if (!tooSmall && !tooLarge && !tooHigh && !noRin && !belowGrade) {
            pool.cells.push_back(cell);
            pool.chemistries.push_back(all.chemistries[i]);
            pool.grades.push_back(all.grades[i]);
        }
    }
    return pool;
}

void CPackDlg::OnPlan() {
    if (planner) {
        // "Отменить": the search ends at its next check and gives its best plan so far.
        cancelPlanning->store(true);
        planButton->setEnabled(false);
        status->setText(tr("Подбор отменяется..."));
        return;
    }
    auto pool = std::make_shared<Pool>(Drawn());
    PackRequest request;
    request.series = series->value();
    request.parallel = parallel->value();
    if (rinSpread->value() > 0) {
        request.maxRinSpreadMohm = rinSpread->value();
    }
    request.allowMissingRin = allowMissingRin->isChecked();
    auto result = std::make_shared<PackPlan>();
    const int mine = ++generation;
    cancelPlanning = std::make_shared<std::atomic<bool>>(false);
    planner = QThread::create([pool, request, result, cancel = cancelPlanning] {
        *result = PlanPack(pool->cells, request, cancel.get());
    });
    connect(planner, &QThread::finished, this, [this, pool, request, result, mine] {
        // finished comes from the thread just before it ends: it is waited for before it goes.
        planner->wait();
        delete planner;
        planner = nullptr;
        planButton->setText(tr("Подобрать"));
        planButton->setEnabled(true);
        if (mine == generation) {
            ShowPlan(*result, *pool, request);
        }
    });
    planButton->setText(tr("Отменить"));
    ClearPlan(tr("Подбор..."));
    planner->start();
}

void CPackDlg::ClearPlan(const QString& text) {
    plan.reset();
    groups->clear();
    summary->clear();
    picture->SetPlan(PackPlan(), {});
    status->setText(text);
    for (QWidget* widget : {static_cast<QWidget*>(exportCsv), static_cast<QWidget*>(exportPng),
                            static_cast<QWidget*>(exportSvg), static_cast<QWidget*>(savePack)}) {
        widget->setEnabled(false);
    }
}

void CPackDlg::ShowPlan(const PackPlan& shown, const Pool& pool, const PackRequest& request) {
    if (!shown.Ok()) {
        switch (shown.failure) {
            case PackFailure::TooFewCells:
                ClearPlan(tr("Мало ячеек: для %1S%2P нужно %3, подходит %4.")
                              .arg(request.series)
                              .arg(request.parallel)
                              .arg(qint64{request.series} * request.parallel)
                              .arg(shown.usableCells));
                break;
            case PackFailure::RinSpread:
                ClearPlan(tr("Ячейки не делятся на группы с разбросом Rвн не больше %1 мОм.")
                              .arg(Number(request.maxRinSpreadMohm.value_or(0.0), 1)));
                break;
            case PackFailure::Cancelled:
                ClearPlan(tr("Подбор отменен."));
                break;
            default:
                ClearPlan(tr("Такую сборку подобрать нельзя: слишком много ячеек."));
                break;
        }
        return;
    }
    const QString drawn = tr("Ячеек на выбор: %1, в сборке %2, в запасе %3.")
                              .arg(pool.cells.size())
                              .arg(qint64{request.series} * request.parallel)
                              .arg(shown.spares.size());
    ClearPlan(shown.cancelled
                  ? drawn + u' ' + tr("Подбор отменен: это лучшая сборка из найденных до отмены.")
                  : drawn);
    plan = shown;
    planned = pool;
    plannedRequest = request;
    const PackFigures figures = FiguresOf(shown, pool.cells);
    const auto rinText = [](const std::optional<double>& rin) {
        return rin ? CsvNumber(*rin) : QStringLiteral("—");
    };
    for (std::size_t g = 0; g < shown.groups.size(); ++g) {
        const double sum = GroupCapacity(shown.groups[g], pool.cells);
        const auto rin = GroupRin(shown.groups[g], pool.cells);
        QString deviation = FixedNumber(sum - figures.meanMah, 1);
        if (!deviation.startsWith(u'-')) {
            deviation.prepend(u'+');
        }
        auto* group = new QTreeWidgetItem(
            groups,
            {tr("Группа %1").arg(g + 1), RoundedNumber(sum, 1), deviation,
             rin ? QStringLiteral("%1–%2").arg(CsvNumber(rin->first), CsvNumber(rin->second))
                 : QStringLiteral("—")});
        for (const int index : shown.groups[g]) {
            const PackCell& cell = pool.cells[static_cast<std::size_t>(index)];
            new QTreeWidgetItem(group, {cell.name, CsvNumber(cell.capacityMah), QString(),
                                        rinText(cell.rinMohm)});
        }
    }
    if (!shown.spares.empty()) {
        auto* spares = new QTreeWidgetItem(groups, {tr("Запас")});
        for (const int index : shown.spares) {
            const PackCell& cell = pool.cells[static_cast<std::size_t>(index)];
            new QTreeWidgetItem(spares, {cell.name, CsvNumber(cell.capacityMah), QString(),
                                         rinText(cell.rinMohm)});
        }
    }
    // The energy needs one chemistry for the whole pack, and a known cell voltage for it.
    std::optional<double> volts;
    bool mixed = false;
    for (const auto& group : shown.groups) {
        for (const int index : group) {
            const std::optional<double> cellVolts =
                NominalVolts(pool.chemistries[static_cast<std::size_t>(index)]);
            mixed = mixed || !cellVolts || (volts && *volts != *cellVolts);
            volts = cellVolts;
        }
    }
    const QString spread = tr("разброс групп %1 мА·ч (%2 %)")
                               .arg(Number(figures.spreadMah, 1), Number(figures.spreadShare * 100, 3));
    summary->setText(
        !mixed && volts
            ? tr("Батарея %1S%2P: %3 мА·ч, %4 В, %5 Вт·ч; %6")
                  .arg(request.series)
                  .arg(request.parallel)
                  .arg(Number(figures.packMah, 0))
                  .arg(Number(*volts * request.series, 1))
                  .arg(Number(*volts * request.series * figures.packMah / 1000.0, 1))
                  .arg(spread)
            : tr("Батарея %1S%2P: %3 мА·ч; %4")
                  .arg(request.series)
                  .arg(request.parallel)
                  .arg(Number(figures.packMah, 0))
                  .arg(spread));
    picture->SetPlan(shown, pool.cells);
    for (QWidget* widget : {static_cast<QWidget*>(exportCsv), static_cast<QWidget*>(exportPng),
                            static_cast<QWidget*>(exportSvg), static_cast<QWidget*>(savePack)}) {
        widget->setEnabled(true);
    }
}

void CPackDlg::OnSavePack() {
    if (!plan) {
        return;
    }
    const QString name = packName->text().trimmed();
    if (name.isEmpty()) {
        Warn(tr("Введите название сборки."));
        return;
    }
    QStringList cells;
    for (const auto& group : plan->groups) {
        for (const int index : group) {
            cells << planned.cells[static_cast<std::size_t>(index)].name;
        }
    }
    PackRecord pack;
    pack.name = name;
    pack.series = plannedRequest.series;
    pack.parallel = plannedRequest.parallel;
    CJournal journal;
    QString refused;
    const CJournal::OpenResult opened = journal.Open(journalPath, CJournal::OpenMode::Existing);
    const CJournal::PackSaveResult saved = opened.Usable()
                                               ? journal.SavePack(pack, cells, &refused)
                                               : CJournal::PackSaveResult::Failed;
    switch (saved) {
        case CJournal::PackSaveResult::Saved:
            packName->clear();
            LoadJournal();
            ClearPlan(tr("Сборка %1 сохранена, ее ячейки заняты.").arg(name));
            return;
        case CJournal::PackSaveResult::NameTaken:
            Warn(tr("Сборка с названием %1 уже есть в журнале.").arg(name));
            return;
        case CJournal::PackSaveResult::CellTaken:
            Warn(tr("Ячейка %1 уже в другой сборке или списана. Подберите сборку заново.")
                     .arg(refused));
            LoadJournal();
            ClearPlan(status->text());
            return;
        case CJournal::PackSaveResult::Failed:
            Warn(tr("Не удалось сохранить сборку в журнале.\nПричина: %1")
                     .arg(opened.Usable() ? journal.LastError() : opened.reason));
            return;
    }
}

void CPackDlg::OnFreePack() {
    const QList<QListWidgetItem*> chosen = packs->selectedItems();
    if (chosen.isEmpty()) {
        return;
    }
    const qlonglong id = chosen[0]->data(Qt::UserRole).toLongLong();
    const QString name = chosen[0]->data(Qt::UserRole + 1).toString();
    if (!Ask(tr("Освободить ячейки сборки %1 для других сборок? Сборка будет забыта.").arg(name))) {
        return;
    }
    CJournal journal;
    const CJournal::OpenResult opened = journal.Open(journalPath, CJournal::OpenMode::Existing);
    if (!opened.Usable() || !journal.FreePack(id)) {
        const QString reason = !opened.Usable() ? opened.reason : journal.LastError();
        if (!reason.isEmpty()) {
            Warn(tr("Не удалось освободить ячейки.\nПричина: %1").arg(reason));
        }
    }
    LoadJournal();
    ClearPlan(status->text());
}

void CPackDlg::OnExportCsv() {
    if (!plan) {
        return;
    }
    const QString path = dialogs.SaveFileName(this, QString(), QStringLiteral("pack.csv"),
                                              {tr("Файлы CSV *.csv"), QStringLiteral("*.csv")});
    if (path.isEmpty()) {
        return;
    }
    const platform::WriteResult written = platform::WriteWholeFile(path, PlanCsv(*plan, planned.cells));
    if (!written) {
        Warn(tr("Не удалось записать файл %1.\nПричина: %2").arg(path, written.reason));
    }
}

void CPackDlg::OnExportPicture(bool svg) {
    if (!plan) {
        return;
    }
    const QString path = dialogs.SaveFileName(
        this, QString(), svg ? QStringLiteral("pack.svg") : QStringLiteral("pack.png"),
        svg ? platform::FileFilter{tr("Рисунки SVG *.svg"), QStringLiteral("*.svg")}
            : platform::FileFilter{tr("Рисунки PNG *.png"), QStringLiteral("*.png")});
    if (path.isEmpty()) {
        return;
    }
    const QSize size = PackPictureSize(*plan);
    QByteArray bytes;
    if (svg) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QSvgGenerator generator;
        generator.setOutputDevice(&buffer);
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        generator.setTitle(tr("Сборка батареи"));
        QPainter painter(&generator);
        DrawPackPicture(painter, QRectF(QPointF(0, 0), size), *plan, planned.cells);
    } else {
        QImage image(size, QImage::Format_RGB32);
        {
            QPainter painter(&image);
            DrawPackPicture(painter, QRectF(QPointF(0, 0), size), *plan, planned.cells);
        }
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }
    const platform::WriteResult written = platform::WriteWholeFile(path, bytes);
    if (!written) {
        Warn(tr("Не удалось записать файл %1.\nПричина: %2").arg(path, written.reason));
    }
}

bool CPackDlg::Ask(const QString& text) {
    return dialogs.Message(this, text, tr("Внимание!"), platform::Buttons::OkCancel) ==
           platform::Answer::Ok;
}

void CPackDlg::Warn(const QString& text) {
    dialogs.Message(this, text, tr("Ошибка"), platform::Buttons::Ok);
}

}  // namespace brimvolt
