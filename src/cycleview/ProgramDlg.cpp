#include "cycleview/ProgramDlg.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include "cycle/CycleTable.h"
#include "cycle/ProgramFile.h"
#include "cycle/ProgramRunner.h"
#include "cycle/Sequencer.h"
#include "cycleview/FadePlot.h"
#include "cycleview/ProgramEditDlg.h"
#include "platform/Dialogs.h"

using namespace brimvolt;

namespace {

QString Clock(std::int64_t ms) {
    const std::int64_t s = ms / 1000;
    return QString::asprintf("%d:%02d:%02d", static_cast<int>(s / 3600),
                             static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
}

QString Percent(std::optional<double> share) {
    return share ? QString::number(*share * 100.0, 'f', 1) : QString();
}

QString Fixed(std::optional<double> value, int decimals) {
    return value ? QString::number(*value, 'f', decimals) : QString();
}

constexpr int kCycleColumns = 9;

}  // namespace

CProgramDlg::CProgramDlg(platform::CDialogs& dialogs, CProgramRunner& runner, QWidget* parent)
    : QDialog(parent), dialogs(dialogs), runner(runner) {
    setWindowTitle(tr("Программа испытаний"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    readyMade = new QComboBox(this);
    readyMade->addItem(CapacityProgram().name);
    readyMade->addItem(CyclesProgram(5).name);
    openButton = new QPushButton(tr("Открыть..."), this);
    top->addWidget(readyMade, 1);
    top->addWidget(openButton);
    editButton = new QPushButton(tr("Изменить..."), this);
    top->addWidget(editButton);
    layout->addLayout(top);
    nameLabel = new QLabel(this);
    layout->addWidget(nameLabel);
    auto* cellRow = new QHBoxLayout;
    cellEdit = new QLineEdit(this);
    cellEdit->setPlaceholderText(tr("следующая ячейка журнала"));
    cellEdit->setToolTip(
        tr("Все разряды, заряды и отдых программы записываются в журнал этой "
           "ячейке. Пусто: ячейке, заданной в журнале как следующая."));
    cellRow->addWidget(new QLabel(tr("Ячейка:"), this));
    cellRow->addWidget(cellEdit, 1);
    layout->addLayout(cellRow);
    stepList = new QListWidget(this);
    layout->addWidget(stepList, 1);
    stateLabel = new QLabel(this);
    progressLabel = new QLabel(this);
    nextLabel = new QLabel(this);
    layout->addWidget(stateLabel);
    layout->addWidget(progressLabel);
    layout->addWidget(nextLabel);
    cycleTable = new QTableWidget(0, kCycleColumns, this);
    cycleTable->setHorizontalHeaderLabels(
        {tr("Цикл"), tr("Заряд, мАч"), tr("Разряд, мАч"), tr("По ёмкости, %"), tr("По энергии, %"),
         tr("Rin, мОм"), tr("Пик dQ/dV, В"), tr("Высота пика, мАч/В"), tr("t макс., °C")});
    cycleTable->verticalHeader()->hide();
    cycleTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(cycleTable, 1);
    cycleNote = new QLabel(this);
    cycleNote->setWordWrap(true);
    layout->addWidget(cycleNote);
    fadePlot = new CFadePlot(this);
    layout->addWidget(fadePlot, 1);
    auto* buttons = new QHBoxLayout;
    startButton = new QPushButton(tr("Пуск"), this);
    stopButton = new QPushButton(tr("Стоп"), this);
    resumeButton = new QPushButton(tr("Продолжить"), this);
    buttons->addWidget(startButton);
    buttons->addWidget(stopButton);
    buttons->addWidget(resumeButton);
    saveButton = new QPushButton(tr("Сохранить результаты..."), this);
    buttons->addWidget(saveButton);
    layout->addLayout(buttons);
    resize(560, 640);

    connect(readyMade, &QComboBox::activated, this, &CProgramDlg::OnReadyMade);
    connect(openButton, &QPushButton::clicked, this, &CProgramDlg::OnOpen);
    connect(editButton, &QPushButton::clicked, this, &CProgramDlg::OnEdit);
    connect(saveButton, &QPushButton::clicked, this, &CProgramDlg::OnSaveResults);
    connect(startButton, &QPushButton::clicked, this, &CProgramDlg::OnStart);
    connect(stopButton, &QPushButton::clicked, this, &CProgramDlg::OnOperatorStop);
    connect(resumeButton, &QPushButton::clicked, this, &CProgramDlg::OnResume);
    connect(cellEdit, &QLineEdit::textChanged, &runner, &CProgramRunner::SetCell);
    connect(&runner, &CProgramRunner::Changed, this, &CProgramDlg::OnRunnerChanged);
    connect(&runner, &CProgramRunner::UnfinishedProgramOffered, this,
            &CProgramDlg::OnUnfinishedProgramOffered);
    OnRunnerChanged();
}

void CProgramDlg::SetProgram(const TestProgram& program) {
    runner.SetProgram(program);
}

void CProgramDlg::StartWhenFound() {
    runner.Start();
}

void CProgramDlg::OnStart() {
    runner.Start();
}

void CProgramDlg::OnResume() {
    runner.Resume();
}

const TestProgram& CProgramDlg::Program() const {
    return runner.Program();
}

const CSequencer* CProgramDlg::Sequencer() const {
    return runner.Sequencer();
}

QString CProgramDlg::StateText() const {
    return runner.StateText();
}

QString CProgramDlg::StepText(const ProgramStep& step) {
    return CProgramRunner::StepText(step);
}

void CProgramDlg::OnOpen() {
    if (runner.Active()) {
        return;
    }
    const std::optional<TestProgram> read = AskForProgramFile(dialogs, this);
    if (!read) {
        return;
    }
    runner.SetProgram(*read);
}

void CProgramDlg::OnSaveResults() {
    const QString path = dialogs.SaveFileName(
        this, QDir::currentPath(), runner.Program().name,
        {tr("Результаты по циклам (*.png *.svg *.csv)"), QStringLiteral("*.png *.svg *.csv")});
    if (path.isEmpty()) {
        return;
    }
    const std::vector<CycleResult> none;
    const CSequencer* sequencer = runner.Sequencer();
    const std::vector<CycleResult>& cycles = sequencer ? sequencer->Cycles() : none;
    const platform::WriteResult written = path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)
                                              ? platform::WriteWholeFile(path, CyclesCsv(cycles))
                                              : fadePlot->Figure().Save(path, QSize(1200, 800));
    if (!written.Ok()) {
        dialogs.Message(this, tr("Результаты не сохранены:\n%1\n%2").arg(path, written.reason),
                        tr("Ошибка"), platform::Buttons::Ok);
    }
}

void CProgramDlg::OnEdit() {
    if (runner.Active()) {
        return;
    }
    CProgramEditDlg editor(dialogs, runner.Program(), this);
    if (editor.exec() == QDialog::Accepted) {
        runner.SetProgram(editor.Program());
    }
}

void CProgramDlg::OnReadyMade(int index) {
    runner.SetProgram(index == 0 ? CapacityProgram() : CyclesProgram(5));
}

void CProgramDlg::OnUnfinishedProgramOffered(const ProgramRecord& record,
                                             const std::vector<CycleResult>& cycles) {
    show();
    raise();
    const platform::Answer answer = dialogs.Message(
        this,
        tr("Программа испытаний «%1» не завершена: шаг %2, цикл %3.\nOK: продолжить с этого "
           "шага.\nОтмена: завершить её.")
            .arg(record.name)
            .arg(record.step)
            .arg(record.cycle),
        tr("Программа испытаний"), platform::Buttons::OkCancel);
    if (answer == platform::Answer::Ok) {
        runner.ResumeUnfinished(record, cycles);
    } else {
        runner.AbandonUnfinished(record);
    }
}

void CProgramDlg::OnOperatorStop() {
    if (runner.StartPending()) {
        runner.CancelPendingStart();
        return;
    }
    if (!runner.Active()) {
        return;
    }
    const platform::Answer answer =
        dialogs.Message(this,
                        tr("Выполняется программа испытаний.\nOK: прервать всю программу.\nОтмена: "
                           "остановить только текущий шаг."),
                        tr("Программа испытаний"), platform::Buttons::OkCancel);
    runner.OperatorStop(answer == platform::Answer::Ok ? StopScope::Program : StopScope::Step);
}

void CProgramDlg::OnOperatorReset() {
    runner.OperatorReset();
}

void CProgramDlg::OnRunnerChanged() {
    const TestProgram& program = runner.Program();
    if (shownProgram != program) {
        shownProgram = program;
        nameLabel->setText(program.name);
        stepList->clear();
        for (std::size_t i = 0; i < program.steps.size(); ++i) {
            stepList->addItem(QStringLiteral("%1. %2").arg(i + 1).arg(StepText(program.steps[i])));
        }
    }
    if (cellEdit->text() != runner.Cell()) {
        // The runner has the text already: it is not told again.
        const QSignalBlocker blocker(cellEdit);
        cellEdit->setText(runner.Cell());
    }
    ShowState(runner.LastNowMs());
}

void CProgramDlg::ShowState(std::int64_t nowMs) {
    const TestProgram& program = runner.Program();
    const CSequencer* sequencer = runner.Sequencer();
    const bool active = runner.Active();
    stateLabel->setText(runner.StateText());
    const bool started = sequencer != nullptr;
    const std::size_t step = started ? sequencer->StepIndex() : 0;
    for (int i = 0; i < stepList->count(); ++i) {
        QFont font = stepList->item(i)->font();
        font.setBold(started && active && static_cast<std::size_t>(i) == step);
        stepList->item(i)->setFont(font);
    }
    if (started && active) {
        stepList->setCurrentRow(static_cast<int>(step));
        progressLabel->setText(tr("Шаг %1 из %2, цикл %3, в шаге %4")
                                   .arg(step + 1)
                                   .arg(program.steps.size())
                                   .arg(sequencer->Cycle())
                                   .arg(Clock(sequencer->StepElapsedMs(nowMs))));
        const std::optional<std::size_t> next = sequencer->NextStepIndex();
        nextLabel->setText(
            next ? tr("Далее: %1. %2").arg(*next + 1).arg(StepText(program.steps[*next]))
                 : tr("Далее: конец программы"));
    } else {
        progressLabel->clear();
        nextLabel->clear();
    }
    startButton->setEnabled(!active);
    openButton->setEnabled(!active);
    editButton->setEnabled(!active);
    readyMade->setEnabled(!active);
    cellEdit->setEnabled(!active);
    stopButton->setEnabled(active);
    resumeButton->setEnabled(started && sequencer->State() == SequencerState::WaitingOperator);
    ShowCycles();
}

void CProgramDlg::ShowCycles() {
    const CSequencer* sequencer = runner.Sequencer();
    const std::vector<CycleResult> none;
    const std::vector<CycleResult>& cycles = sequencer ? sequencer->Cycles() : none;
    cycleTable->setRowCount(static_cast<int>(cycles.size()));
    for (std::size_t r = 0; r < cycles.size(); ++r) {
        const CycleResult& c = cycles[r];
        const QString cells[] = {
            QString::number(c.cycle),
            c.chargeMah ? QString::number(*c.chargeMah) : QString(),
            c.dischargeMah ? QString::number(*c.dischargeMah) : QString(),
            Percent(c.CoulombicEfficiency()),
            Percent(c.EnergyEfficiency()),
            c.rinMohm ? QString::number(*c.rinMohm) : QString(),
            Fixed(c.peakVolts, 3),
            Fixed(c.peakMahPerVolt, 1),
            QString::number(c.maxTemperatureC),
        };
        for (int col = 0; col < kCycleColumns; ++col) {
            QTableWidgetItem* item = cycleTable->item(static_cast<int>(r), col);
            if (item == nullptr) {
                item = new QTableWidgetItem;
                cycleTable->setItem(static_cast<int>(r), col, item);
            }
            item->setText(cells[col]);
        }
    }
    // Why a cycle with both capacities shows no efficiency.
    QStringList withheld;
    for (const CycleResult& c : cycles) {
        if (c.EfficienciesWithheld()) {
            withheld.append(QString::number(c.cycle));
        }
    }
    cycleNote->setText(withheld.isEmpty() ? QString()
                                          : tr("КПД не указан (цикл %1): %2")
                                                .arg(withheld.join(QStringLiteral(", ")),
                                                     tr("заряд начат не с разряженной ячейки")));
    cycleNote->setVisible(!withheld.isEmpty());
    fadePlot->SetTitle(runner.Program().name);
    fadePlot->SetCycles(cycles);
}
