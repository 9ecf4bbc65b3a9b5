#include "cycleview/ProgramEditDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <utility>

#include "cycle/ProgramFile.h"
#include "platform/Dialogs.h"

using namespace brimvolt;

namespace {

// The ranges a program file takes, so what the table holds is always written and read back.
constexpr double kMaxCurrentA = 4.0;
constexpr double kMinCutoffV = 0.7;
constexpr double kMaxCutoffV = 16.0;
constexpr int kMaxMinutes = 1440;
constexpr int kMaxCapacityMah = 1'000'000;

ProgramStep NewRest() {
    ProgramStep step;
    step.kind = StepKind::Rest;
    step.restSeconds = 30 * 60;
    return step;
}

// A row shows every field, so the fields of other kinds get values worth starting from.
ProgramStep WithStartingValues(ProgramStep step) {
    if (step.currentMa == 0) {
        step.currentMa = 1000;
    }
    if (step.cutoffMv == 0) {
        step.cutoffMv = step.kind == StepKind::Charge ? 4200 : 3000;
    }
    if (step.restSeconds <= 0) {
        step.restSeconds = 30 * 60;
    }
    if (step.repeatFrom <= 0) {
        step.repeatFrom = 1;
    }
    if (step.repeatTimes <= 0) {
        step.repeatTimes = 2;
    }
    return step;
}

bool RunsTheModule(StepKind kind) {
    return kind == StepKind::Charge || kind == StepKind::Discharge || kind == StepKind::Rin;
}

QDoubleSpinBox* DecimalSpin(double low, double high, int decimals, double value) {
    auto* spin = new QDoubleSpinBox;
    spin->setRange(low, high);
    spin->setDecimals(decimals);
    spin->setValue(value);
    spin->setFrame(false);
    spin->setAutoFillBackground(true);
    return spin;
}

QSpinBox* WholeSpin(int low, int high, int value) {
    auto* spin = new QSpinBox;
    spin->setRange(low, high);
    spin->setValue(value);
    spin->setFrame(false);
    spin->setAutoFillBackground(true);
    return spin;
}

double SpinValue(const QTableWidget* table, int row, int column) {
    const QWidget* cell = table->cellWidget(row, column);
    if (const auto* decimal = qobject_cast<const QDoubleSpinBox*>(cell)) {
        return decimal->value();
    }
    const auto* whole = qobject_cast<const QSpinBox*>(cell);
    return whole != nullptr ? whole->value() : 0.0;
}

// A file name from the program's: the characters no file system takes become "_".
QString ProposedFileName(const QString& name) {
    QString file = name.left(80);
    for (QChar& c : file) {
        if (QStringLiteral("\\/:*?\"<>|").contains(c) || c.category() == QChar::Other_Control) {
            c = u'_';
        }
    }
    file = file.trimmed();
    return (file.isEmpty() ? QStringLiteral("program") : file) + QStringLiteral(".json");
}

}  // namespace

CProgramEditDlg::CProgramEditDlg(platform::CDialogs& dialogs, const TestProgram& program,
                                 QWidget* parent)
    : QDialog(parent), dialogs(dialogs) {
    setWindowTitle(tr("Изменить программу"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    nameEdit = new QLineEdit(program.name, this);
    nameEdit->setObjectName(QStringLiteral("name"));
    form->addRow(tr("Название:"), nameEdit);
    capacitySpin = WholeSpin(0, kMaxCapacityMah, program.nominalCapacityMah);
    capacitySpin->setObjectName(QStringLiteral("capacity"));
    capacitySpin->setFrame(true);
    capacitySpin->setSpecialValueText(tr("не известна"));
    capacitySpin->setToolTip(
        tr("По ней считается предельное время шагов, у которых оно не задано"));
    form->addRow(tr("Номинальная ёмкость ячейки, мА·ч:"), capacitySpin);
    layout->addLayout(form);

    stepTable = new QTableWidget(0, ColumnCount, this);
    stepTable->setHorizontalHeaderLabels({tr("Шаг"), tr("Ток, А"), tr("Отсечка, В"),
                                          tr("Предел, мин"), tr("Отдых, мин"), tr("С шага"),
                                          tr("Раз")});
    stepTable->horizontalHeaderItem(LimitColumn)
        ->setToolTip(tr("По умолчанию: вдвое дольше, чем номинальная ёмкость отдаётся током шага; "
                        "24 ч, если ёмкость не известна"));
    stepTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    stepTable->setSelectionMode(QAbstractItemView::SingleSelection);
    stepTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    stepTable->horizontalHeader()->setSectionResizeMode(KindColumn, QHeaderView::ResizeToContents);
    layout->addWidget(stepTable, 1);

    auto* rowButtons = new QHBoxLayout;
    addButton = new QPushButton(tr("Добавить шаг"), this);
    auto* deleteButton = new QPushButton(tr("Удалить шаг"), this);
    auto* upButton = new QPushButton(tr("Выше"), this);
    auto* downButton = new QPushButton(tr("Ниже"), this);
    auto* saveButton = new QPushButton(tr("Сохранить в файл..."), this);
    for (QPushButton* button : {addButton, deleteButton, upButton, downButton}) {
        button->setAutoDefault(false);
        rowButtons->addWidget(button);
    }
    saveButton->setAutoDefault(false);
    rowButtons->addStretch();
    rowButtons->addWidget(saveButton);
    layout->addLayout(rowButtons);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    resize(820, 480);

    connect(addButton, &QPushButton::clicked, this, &CProgramEditDlg::OnAddStep);
    connect(deleteButton, &QPushButton::clicked, this, &CProgramEditDlg::OnDeleteStep);
    connect(upButton, &QPushButton::clicked, this, &CProgramEditDlg::OnMoveUp);
    connect(downButton, &QPushButton::clicked, this, &CProgramEditDlg::OnMoveDown);
    connect(saveButton, &QPushButton::clicked, this, &CProgramEditDlg::OnSaveToFile);
    connect(buttons, &QDialogButtonBox::accepted, this, &CProgramEditDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CProgramEditDlg::reject);
    // A click into a row's field makes that row the one the row buttons act on.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        for (QWidget* w = now; w != nullptr; w = w->parentWidget()) {
            if (w->parentWidget() == stepTable->viewport()) {
                const QModelIndex index = stepTable->indexAt(w->geometry().center());
                if (index.isValid()) {
                    stepTable->setCurrentCell(index.row(), index.column());
                }
                return;
            }
        }
    });
    ShowSteps(program.steps, program.steps.empty() ? -1 : 0);
}

TestProgram CProgramEditDlg::Program() const {
    TestProgram program;
    program.name = nameEdit->text().trimmed();
    program.nominalCapacityMah = capacitySpin->value();
    for (const ProgramStep& all : RowValues()) {
        ProgramStep step;
        step.kind = all.kind;
        if (RunsTheModule(all.kind)) {
            step.currentMa = all.currentMa;
            step.cutoffMv = all.cutoffMv;
            step.limitMinutes = all.kind == StepKind::Rin ? 0 : all.limitMinutes;
        } else if (all.kind == StepKind::Rest) {
            step.restSeconds = all.restSeconds;
        } else {
            step.repeatFrom = all.repeatFrom;
            step.repeatTimes = all.repeatTimes;
        }
        program.steps.push_back(step);
    }
    return program;
}

std::optional<QString> CProgramEditDlg::Accept() {
    std::optional<QString> fault = Fault();
    if (fault) {
        dialogs.Message(this, *fault, tr("Изменить программу"), platform::Buttons::Ok);
        return fault;
    }
    QDialog::accept();
    return std::nullopt;
}

void CProgramEditDlg::accept() {
    Accept();
}

void CProgramEditDlg::OnAddStep() {
    std::vector<ProgramStep> steps = RowValues();
    if (steps.size() >= kMaxProgramSteps) {
        return;
    }
    const int current = stepTable->currentRow();
    const int at = current >= 0 ? current + 1 : static_cast<int>(steps.size());
    // A Repeat from a step at or after the new one follows its step down.
    for (ProgramStep& step : steps) {
        if (step.kind == StepKind::Repeat && step.repeatFrom > at) {
            ++step.repeatFrom;
        }
    }
    steps.insert(steps.begin() + at, NewRest());
    ShowSteps(steps, at);
}

void CProgramEditDlg::OnDeleteStep() {
    std::vector<ProgramStep> steps = RowValues();
    const int row = stepTable->currentRow();
    if (row < 0 || row >= static_cast<int>(steps.size())) {
        return;
    }
    steps.erase(steps.begin() + row);
    // A Repeat from the deleted step keeps its number, so it starts at the step now there; one
    // left pointing at itself or later is the check's to refuse.
    for (ProgramStep& step : steps) {
        if (step.kind == StepKind::Repeat && step.repeatFrom > row + 1) {
            --step.repeatFrom;
        }
    }
    ShowSteps(steps, std::min(row, static_cast<int>(steps.size()) - 1));
}

void CProgramEditDlg::OnMoveUp() {
    const int row = stepTable->currentRow();
    if (row > 0) {
        SwapRows(row, row - 1);
    }
}

void CProgramEditDlg::OnMoveDown() {
    const int row = stepTable->currentRow();
    if (row >= 0 && row + 1 < stepTable->rowCount()) {
        SwapRows(row, row + 1);
    }
}

void CProgramEditDlg::OnKindChanged(int row, int kindIndex) {
    auto* kind = qobject_cast<QComboBox*>(stepTable->cellWidget(row, KindColumn));
    if (kind == nullptr || kindIndex < 0 || kindIndex >= kind->count()) {
        return;
    }
    {
        const QSignalBlocker quiet(kind);
        kind->setCurrentIndex(kindIndex);
    }
    ShowRowKind(row);
}

void CProgramEditDlg::OnSaveToFile() {
    if (const std::optional<QString> fault = Fault()) {
        dialogs.Message(this, *fault, tr("Изменить программу"), platform::Buttons::Ok);
        return;
    }
    const TestProgram program = Program();
    const QString path =
        dialogs.SaveFileName(this, QDir::currentPath(), ProposedFileName(program.name),
                             {tr("Программа испытаний (*.json)"), QStringLiteral("*.json")});
    if (path.isEmpty()) {
        return;
    }
    QString error;
    if (!WriteProgramFile(path, program, error)) {
        dialogs.Message(this, tr("Файл программы не записан:\n%1").arg(error), tr("Ошибка"),
                        platform::Buttons::Ok);
    }
}

std::vector<ProgramStep> CProgramEditDlg::RowValues() const {
    std::vector<ProgramStep> steps;
    for (int row = 0; row < stepTable->rowCount(); ++row) {
        const auto* kind = qobject_cast<const QComboBox*>(stepTable->cellWidget(row, KindColumn));
        ProgramStep step;
        step.kind = static_cast<StepKind>(std::clamp(kind->currentIndex(), 0, 4));
        step.currentMa = static_cast<std::uint16_t>(
            std::lround(SpinValue(stepTable, row, CurrentColumn) * 1000));
        step.cutoffMv =
            static_cast<std::uint16_t>(std::lround(SpinValue(stepTable, row, CutoffColumn) * 1000));
        step.limitMinutes = static_cast<std::int32_t>(SpinValue(stepTable, row, LimitColumn));
        // Minutes with two decimals are within 0.3 s of the seconds they stand for.
        step.restSeconds =
            static_cast<std::int32_t>(std::lround(SpinValue(stepTable, row, RestColumn) * 60));
        step.repeatFrom = static_cast<std::int32_t>(SpinValue(stepTable, row, FromColumn));
        step.repeatTimes = static_cast<std::int32_t>(SpinValue(stepTable, row, TimesColumn));
        steps.push_back(step);
    }
    return steps;
}

void CProgramEditDlg::ShowSteps(const std::vector<ProgramStep>& steps, int currentRow) {
    // The widgets are made anew: each kind combo knows its row by the number it was made with.
    stepTable->setRowCount(0);
    stepTable->setRowCount(static_cast<int>(steps.size()));
    for (int row = 0; row < static_cast<int>(steps.size()); ++row) {
        const ProgramStep step = WithStartingValues(steps[static_cast<std::size_t>(row)]);
        auto* kind = new QComboBox;
        kind->addItems({tr("Заряд"), tr("Разряд"), tr("Отдых"), tr("Замер Rin"), tr("Повторить")});
        kind->setCurrentIndex(static_cast<int>(step.kind));
        stepTable->setCellWidget(row, KindColumn, kind);
        stepTable->setCellWidget(row, CurrentColumn,
                                 DecimalSpin(0.001, kMaxCurrentA, 3, step.currentMa / 1000.0));
        stepTable->setCellWidget(row, CutoffColumn,
                                 DecimalSpin(kMinCutoffV, kMaxCutoffV, 3, step.cutoffMv / 1000.0));
        QSpinBox* limit = WholeSpin(0, kMaxMinutes, step.limitMinutes);
        limit->setSpecialValueText(tr("по умолч."));
        stepTable->setCellWidget(row, LimitColumn, limit);
        stepTable->setCellWidget(row, RestColumn,
                                 DecimalSpin(0.01, kMaxMinutes, 2, step.restSeconds / 60.0));
        stepTable->setCellWidget(row, FromColumn,
                                 WholeSpin(1, static_cast<int>(kMaxProgramSteps), step.repeatFrom));
        stepTable->setCellWidget(row, TimesColumn, WholeSpin(1, kMaxRepeatTimes, step.repeatTimes));
        connect(kind, &QComboBox::currentIndexChanged, this,
                [this, row](int index) { OnKindChanged(row, index); });
        ShowRowKind(row);
    }
    if (currentRow >= 0 && currentRow < stepTable->rowCount()) {
        stepTable->setCurrentCell(currentRow, KindColumn);
    }
    addButton->setEnabled(steps.size() < kMaxProgramSteps);
}

void CProgramEditDlg::ShowRowKind(int row) {
    const auto* kindBox = qobject_cast<const QComboBox*>(stepTable->cellWidget(row, KindColumn));
    if (kindBox == nullptr) {
        return;
    }
    const auto kind = static_cast<StepKind>(kindBox->currentIndex());
    const bool open[ColumnCount] = {
        true,
        RunsTheModule(kind),
        RunsTheModule(kind),
        kind == StepKind::Charge || kind == StepKind::Discharge,
        kind == StepKind::Rest,
        kind == StepKind::Repeat,
        kind == StepKind::Repeat,
    };
    for (int column = CurrentColumn; column < ColumnCount; ++column) {
        stepTable->cellWidget(row, column)->setEnabled(open[column]);
    }
}

void CProgramEditDlg::SwapRows(int row, int other) {
    std::vector<ProgramStep> steps = RowValues();
    std::swap(steps[static_cast<std::size_t>(row)], steps[static_cast<std::size_t>(other)]);
    // Repeats follow the two steps to their new numbers.
    for (ProgramStep& step : steps) {
        if (step.kind != StepKind::Repeat) {
            continue;
        }
        if (step.repeatFrom == row + 1) {
            step.repeatFrom = other + 1;
        } else if (step.repeatFrom == other + 1) {
            step.repeatFrom = row + 1;
        }
    }
    ShowSteps(steps, other);
}

std::optional<QString> CProgramEditDlg::Fault() const {
    const TestProgram program = Program();
    if (program.name.isEmpty()) {
        return tr("Программе нужно название.");
    }
    if (const std::optional<QString> problem = CheckProgram(program)) {
        return tr("Программа не может выполняться:\n%1").arg(*problem);
    }
    return std::nullopt;
}
