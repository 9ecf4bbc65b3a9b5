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
#include <QTableWidget>
#include <QVBoxLayout>

#include "cycle/ProgramFile.h"
#include "cycle/CycleTable.h"
#include "cycleview/FadePlot.h"
#include "cycleview/ProgramEditDlg.h"
#include "journal/JournalWriter.h"
#include "platform/Dialogs.h"

using namespace brimvolt;

namespace {

QString Amps(std::uint16_t milli) {
    return QString::number(milli / 1000.0, 'f', 3);
}

QString Clock(std::int64_t ms) {
    const std::int64_t s = ms / 1000;
    return QString::asprintf("%d:%02d:%02d", static_cast<int>(s / 3600),
                             static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
}

QString Percent(std::optional<double> share) {
    return share ? QString::number(*share * 100.0, 'f', 1) : QString();
}

}  // namespace

CProgramDlg::CProgramDlg(platform::CDialogs& dialogs, QWidget* parent)
    : QDialog(parent), dialogs(dialogs) {
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
    cellEdit->setToolTip(tr("Все разряды, заряды и отдых программы записываются в журнал этой "
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
    cycleTable = new QTableWidget(0, 7, this);
    cycleTable->setHorizontalHeaderLabels({tr("Цикл"), tr("Заряд, мАч"), tr("Разряд, мАч"),
                                           tr("По ёмкости, %"), tr("По энергии, %"), tr("Rin, мОм"),
                                           tr("t макс., °C")});
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
    resize(520, 560);

    connect(readyMade, &QComboBox::activated, this, &CProgramDlg::OnReadyMade);
    connect(openButton, &QPushButton::clicked, this, &CProgramDlg::OnOpen);
    connect(editButton, &QPushButton::clicked, this, &CProgramDlg::OnEdit);
    connect(saveButton, &QPushButton::clicked, this, &CProgramDlg::OnSaveResults);
    connect(startButton, &QPushButton::clicked, this, &CProgramDlg::OnStart);
    connect(stopButton, &QPushButton::clicked, this, &CProgramDlg::OnOperatorStop);
    connect(resumeButton, &QPushButton::clicked, this, &CProgramDlg::OnResume);
    SetProgram(CapacityProgram());
}

void CProgramDlg::SetProgram(const TestProgram& newProgram) {
    if (Active()) {
        return;
    }
    program = newProgram;
    sequencer.reset();
    nameLabel->setText(program.name);
    stepList->clear();
    for (std::size_t i = 0; i < program.steps.size(); ++i) {
        stepList->addItem(QStringLiteral("%1. %2").arg(i + 1).arg(StepText(program.steps[i])));
    }
    ShowCycles();
    ShowState(lastNowMs);
}

void CProgramDlg::StartWhenFound() {
    OnStart();
}

void CProgramDlg::OnStart() {
    if (Active() || program.steps.empty()) {
        return;
    }
    startPending = true;
    ShowState(lastNowMs);
}

void CProgramDlg::OnResume() {
    if (sequencer) {
        sequencer->Resume(lastNowMs);
        ShowState(lastNowMs);
    }
}

void CProgramDlg::OnOpen() {
    if (Active()) {
        return;
    }
    const QString path =
        dialogs.OpenFileName(this, QDir::currentPath(),
                             {{tr("Программа испытаний (*.json)"), QStringLiteral("*.json")}});
    if (path.isEmpty()) {
        return;
    }
    QString error;
    const std::optional<TestProgram> read = ReadProgramFile(path, error);
    if (!read) {
        dialogs.Message(this, tr("Файл программы не прочитан:\n%1").arg(error), tr("Ошибка"),
                        platform::Buttons::Ok);
        return;
    }
    SetProgram(*read);
}

void CProgramDlg::OnSaveResults() {
    const QString path = dialogs.SaveFileName(
        this, QDir::currentPath(), program.name,
        {tr("Результаты по циклам (*.png *.svg *.csv)"), QStringLiteral("*.png *.svg *.csv")});
    if (path.isEmpty()) {
        return;
    }
    const std::vector<CycleResult> none;
    const std::vector<CycleResult>& cycles = sequencer ? sequencer->Cycles() : none;
    const platform::WriteResult written =
        path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)
            ? platform::WriteWholeFile(path, CyclesCsv(cycles))
            : fadePlot->Figure().Save(path, QSize(1200, 800));
    if (!written.Ok()) {
        dialogs.Message(this, tr("Результаты не сохранены:\n%1\n%2").arg(path, written.reason),
                        tr("Ошибка"), platform::Buttons::Ok);
    }
}

void CProgramDlg::OnEdit() {
    if (Active()) {
        return;
    }
    CProgramEditDlg editor(dialogs, program, this);
    if (editor.exec() == QDialog::Accepted) {
        SetProgram(editor.Program());
    }
}

void CProgramDlg::OnReadyMade(int index) {
    SetProgram(index == 0 ? CapacityProgram() : CyclesProgram(5));
}

void CProgramDlg::SetJournal(CJournalWriter* writer) {
    journal = writer;
    if (journal != nullptr) {
        connect(journal, &CJournalWriter::UnfinishedProgram, this,
                &CProgramDlg::OnUnfinishedProgram);
    }
}

void CProgramDlg::OnUnfinishedProgram(const ProgramRecord& record,
                                      const std::vector<CycleResult>& cycles) {
    QString error;
    const std::optional<TestProgram> left = ParseProgram(record.json, error);
    if (Active() || !left || record.step < 1 ||
        static_cast<std::size_t>(record.step) > left->steps.size()) {
        if (journal != nullptr && !Active()) {
            journal->AbandonProgram(record.id, tr("не продолжена: программа в журнале не "
                                                  "читается"));
        }
        return;
    }
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
    if (answer != platform::Answer::Ok) {
        if (journal != nullptr) {
            journal->AbandonProgram(record.id, tr("не продолжена после перезапуска"));
        }
        return;
    }
    SetProgram(*left);
    cellEdit->setText(record.cell);
    resumeRecord = record;
    resumeCycles = cycles;
    startPending = true;
    ShowState(lastNowMs);
}

void CProgramDlg::OnStatus(const StatusRecord& status, std::int64_t nowMs) {
    lastNowMs = nowMs;
    if (startPending) {
        startPending = false;
        sequencer.emplace(program);
        ProgramRecord record;
        if (resumeRecord) {
            record = *std::exchange(resumeRecord, std::nullopt);
            sequencer->StartAt(static_cast<std::size_t>(record.step - 1), record.cycle,
                               record.passesLeft, std::exchange(resumeCycles, {}), nowMs);
        } else {
            record.name = program.name;
            record.json = ProgramJson(program);
            record.cell = cellEdit->text().simplified();
            sequencer->Start(nowMs);
        }
        toldState = SequencerState::Running;
        if (journal != nullptr) {
            journal->ProgramBegun(record, QDateTime::currentMSecsSinceEpoch());
        }
    }
    if (!sequencer) {
        return;
    }
    const SequencerCommand command = sequencer->OnStatus(status, nowMs);
    ShowState(nowMs);
    if (command.kind == SequencerCommand::None) {
        return;
    }
    if (journal != nullptr &&
        (command.kind == SequencerCommand::Stop || command.kind == SequencerCommand::Reset)) {
        // The journal tells the program's stops from the operator's and the module's by this.
        journal->CommandSent(command.kind == SequencerCommand::Stop ? 'p' : 's',
                             QDateTime::currentMSecsSinceEpoch(), true);
    }
    requests.push_back(command.ToRequest());
}

void CProgramDlg::TellJournal() {
    if (journal == nullptr || !sequencer) {
        return;
    }
    const std::int64_t wallMs = QDateTime::currentMSecsSinceEpoch();
    for (const CSequencer::BegunStep& begun : sequencer->TakeBegunSteps()) {
        const StepKind kind = program.steps[begun.stepIndex].kind;
        journal->ProgramStep(static_cast<std::int32_t>(begun.stepIndex + 1), begun.cycle,
                             sequencer->PassesLeft(), kind == StepKind::Rest,
                             kind == StepKind::Rin, wallMs);
    }
    const SequencerState state = sequencer->State();
    if (state == toldState) {
        return;
    }
    toldState = state;
    const auto done = [&] {
        return state == SequencerState::Finished
                   ? static_cast<std::int32_t>(sequencer->Cycles().size())
                   : sequencer->Cycle() - 1;
    };
    switch (state) {
        case SequencerState::Paused:
        case SequencerState::WaitingOperator:
            journal->ProgramState(ProgramRunState::Paused, done(), StateText(), wallMs);
            break;
        case SequencerState::Running:
            journal->ProgramState(ProgramRunState::Running, done(), QString(), wallMs);
            break;
        case SequencerState::Finished:
            journal->ProgramState(ProgramRunState::Finished, done(), QString(), wallMs);
            break;
        case SequencerState::Ended:
            journal->ProgramState(ProgramRunState::Ended, done(), EndReasonText(), wallMs);
            break;
        case SequencerState::Ready:
            break;
    }
}

void CProgramDlg::OnLinkLost() {
    // A request meant for the module as it was is not sent to whatever answers next.
    requests.clear();
    if (sequencer) {
        sequencer->OnLinkLost();
        ShowState(lastNowMs);
    }
}

bool CProgramDlg::Active() const {
    if (startPending) {
        return true;
    }
    if (!sequencer) {
        return false;
    }
    const SequencerState state = sequencer->State();
    return state == SequencerState::Running || state == SequencerState::Paused ||
           state == SequencerState::WaitingOperator;
}

void CProgramDlg::OnOperatorStop() {
    if (startPending) {
        startPending = false;
        ShowState(lastNowMs);
        return;
    }
    if (!Active()) {
        return;
    }
    const platform::Answer answer =
        dialogs.Message(this,
                        tr("Выполняется программа испытаний.\nOK: прервать всю программу.\nОтмена: "
                           "остановить только текущий шаг."),
                        tr("Программа испытаний"), platform::Buttons::OkCancel);
    sequencer->OperatorStop(answer == platform::Answer::Ok ? StopScope::Program : StopScope::Step);
    ShowState(lastNowMs);
}

void CProgramDlg::OnOperatorReset() {
    startPending = false;
    if (sequencer) {
        sequencer->OperatorReset();
    }
    ShowState(lastNowMs);
}

QString CProgramDlg::StepText(const ProgramStep& step) {
    switch (step.kind) {
        case StepKind::Charge:
            return tr("Заряд %1 А до %2 В").arg(Amps(step.currentMa), Amps(step.cutoffMv));
        case StepKind::Discharge:
            return tr("Разряд %1 А до %2 В").arg(Amps(step.currentMa), Amps(step.cutoffMv));
        case StepKind::Rest:
            return tr("Отдых %1 мин").arg(QString::number(step.restSeconds / 60.0, 'g', 6));
        case StepKind::Rin:
            return tr("Замер Rin");
        case StepKind::Repeat: {
            // "2 раза", "22 раза", but "12 раз" and "5 раз".
            const int times = step.repeatTimes;
            const bool few =
                times % 10 >= 2 && times % 10 <= 4 && (times % 100 < 12 || times % 100 > 14);
            return (few ? tr("Повторить с шага %1, всего %2 раза")
                        : tr("Повторить с шага %1, всего %2 раз"))
                .arg(step.repeatFrom)
                .arg(times);
        }
    }
    return {};
}

QString CProgramDlg::StateText() const {
    if (startPending) {
        return tr("Ждёт модуль");
    }
    if (!sequencer) {
        return tr("Готова к запуску");
    }
    switch (sequencer->State()) {
        case SequencerState::Ready:
            return tr("Готова к запуску");
        case SequencerState::Running:
            return tr("Выполняется");
        case SequencerState::Paused:
            return tr("Пауза: связь с модулем потеряна");
        case SequencerState::WaitingOperator:
            return tr("Модуль найден не в том состоянии: «Продолжить» повторит шаг");
        case SequencerState::Finished:
            return tr("Завершена");
        case SequencerState::Ended:
            break;
    }
    return tr("Прервана: %1").arg(EndReasonText());
}

QString CProgramDlg::EndReasonText() const {
    if (!sequencer) {
        return {};
    }
    QString why;
    switch (sequencer->Reason()) {
        case EndReason::StepLimit:
            why = tr("шаг превысил предельное время");
            break;
        case EndReason::ModuleFault:
            why = tr("модуль сообщил о неисправности");
            break;
        case EndReason::TemperaturePowerOff:
            why = tr("аварийное отключение по температуре");
            break;
        case EndReason::WriteRefused:
            why = tr("модуль не принял параметр %1").arg(sequencer->RefusedParam());
            break;
        case EndReason::StartRefused:
            why = tr("модуль не начал заряд или разряд");
            break;
        case EndReason::StopRefused:
            why = tr("модуль не остановился");
            break;
        case EndReason::ModuleBusy:
            why = tr("модуль уже выполнял заряд или разряд");
            break;
        case EndReason::OperatorStop:
            why = tr("остановлена оператором");
            break;
        case EndReason::OperatorReset:
            why = tr("сброс модуля оператором");
            break;
        case EndReason::RinNoLoad:
            why =
                tr("Rin не измерено: модуль сразу остановил разряд, ячейка уже на напряжении "
                   "отсечки шага");
            break;
        case EndReason::None:
            break;
    }
    return why;
}

void CProgramDlg::ShowState(std::int64_t nowMs) {
    TellJournal();
    stateLabel->setText(StateText());
    const bool started = sequencer.has_value();
    const std::size_t step = started ? sequencer->StepIndex() : 0;
    for (int i = 0; i < stepList->count(); ++i) {
        QFont font = stepList->item(i)->font();
        font.setBold(started && Active() && static_cast<std::size_t>(i) == step);
        stepList->item(i)->setFont(font);
    }
    if (started && Active()) {
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
    startButton->setEnabled(!Active());
    openButton->setEnabled(!Active());
    editButton->setEnabled(!Active());
    readyMade->setEnabled(!Active());
    cellEdit->setEnabled(!Active());
    stopButton->setEnabled(Active());
    resumeButton->setEnabled(started && sequencer->State() == SequencerState::WaitingOperator);
    ShowCycles();
}

void CProgramDlg::ShowCycles() {
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
            QString::number(c.maxTemperatureC),
        };
        for (int col = 0; col < 7; ++col) {
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
    fadePlot->SetTitle(program.name);
    fadePlot->SetCycles(cycles);
}
