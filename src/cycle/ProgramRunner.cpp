#include "cycle/ProgramRunner.h"

#include <QDateTime>

#include "cycle/ProgramFile.h"
#include "journal/JournalWriter.h"

namespace brimvolt {

namespace {

QString Amps(std::uint16_t milli) {
    return QString::number(milli / 1000.0, 'f', 3);
}

/** The program a journal's record holds, if it can go on from the record's step. */
std::optional<TestProgram> Resumable(const ProgramRecord& record) {
    QString error;
    std::optional<TestProgram> left = ParseProgram(record.json, error);
    if (!left || record.step < 1 || static_cast<std::size_t>(record.step) > left->steps.size()) {
        return std::nullopt;
    }
    return left;
}

}  // namespace

CProgramRunner::CProgramRunner(QObject* parent) : QObject(parent), program(CapacityProgram()) {}

void CProgramRunner::SetJournal(CJournalWriter* writer) {
    if (journal != nullptr) {
        disconnect(journal, nullptr, this, nullptr);
    }
    journal = writer;
    if (journal != nullptr) {
        connect(journal, &CJournalWriter::UnfinishedProgram, this,
                &CProgramRunner::OnUnfinishedProgram);
    }
}

bool CProgramRunner::SetProgram(const TestProgram& newProgram) {
    if (Active()) {
        return false;
    }
    program = newProgram;
    sequencer.reset();
    Update();
    return true;
}

void CProgramRunner::SetCell(const QString& text) {
    if (text != cell) {
        cell = text;
        emit Changed();
    }
}

void CProgramRunner::Start() {
    if (Active() || program.steps.empty()) {
        return;
    }
    startPending = true;
    Update();
}

void CProgramRunner::Resume() {
    if (sequencer) {
        sequencer->Resume(lastNowMs);
        Update();
    }
}

void CProgramRunner::CancelPendingStart() {
    if (startPending) {
        startPending = false;
        Update();
    }
}

void CProgramRunner::OnUnfinishedProgram(const ProgramRecord& record,
                                         const std::vector<CycleResult>& cycles) {
    // A program going on here keeps the port; the left one is offered again another time.
    if (Active()) {
        return;
    }
    if (!Resumable(record)) {
        if (journal != nullptr) {
            journal->AbandonProgram(record.id,
                                    tr("не продолжена: программа в журнале не читается"));
        }
        return;
    }
    emit UnfinishedProgramOffered(record, cycles);
}

void CProgramRunner::ResumeUnfinished(const ProgramRecord& record,
                                      const std::vector<CycleResult>& cycles) {
    const std::optional<TestProgram> left = Resumable(record);
    if (!left) {
        // Abandoned as the journal's offer of it would have been.
        OnUnfinishedProgram(record, cycles);
        return;
    }
    if (!SetProgram(*left)) {
        return;
    }
    cell = record.cell;
    resumeRecord = record;
    resumeCycles = cycles;
    startPending = true;
    Update();
}

void CProgramRunner::AbandonUnfinished(const ProgramRecord& record) {
    if (journal != nullptr) {
        journal->AbandonProgram(record.id, tr("не продолжена после перезапуска"));
    }
}

void CProgramRunner::OnStatus(const StatusRecord& status, std::int64_t nowMs) {
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
            record.cell = cell.simplified();
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
    // The state the record led to goes into the journal before the command it asks for.
    TellJournal();
    if (command.kind != SequencerCommand::None) {
        if (journal != nullptr &&
            (command.kind == SequencerCommand::Stop || command.kind == SequencerCommand::Reset)) {
            // The journal tells the program's stops from the operator's and the module's by this.
            journal->CommandSent(command.kind == SequencerCommand::Stop ? 'p' : 's',
                                 QDateTime::currentMSecsSinceEpoch(), true);
        }
        requests.push_back(command.ToRequest());
    }
    emit Changed();
}

void CProgramRunner::OnLinkLost() {
    // A request meant for the module as it was is not sent to whatever answers next.
    requests.clear();
    if (sequencer) {
        sequencer->OnLinkLost();
        Update();
    }
}

void CProgramRunner::OperatorStop(StopScope scope) {
    if (startPending) {
        CancelPendingStart();
        return;
    }
    if (sequencer) {
        sequencer->OperatorStop(scope);
        Update();
    }
}

void CProgramRunner::OperatorReset() {
    startPending = false;
    if (sequencer) {
        sequencer->OperatorReset();
    }
    Update();
}

bool CProgramRunner::Active() const {
    return startPending || Going();
}

bool CProgramRunner::Going() const {
    if (!sequencer) {
        return false;
    }
    const SequencerState state = sequencer->State();
    return state == SequencerState::Running || state == SequencerState::Paused ||
           state == SequencerState::WaitingOperator;
}

int CProgramRunner::StepNumber() const {
    return !startPending && Going() ? static_cast<int>(sequencer->StepIndex()) + 1 : 0;
}

std::int64_t CProgramRunner::StepElapsedMs(std::int64_t nowMs) const {
    return !startPending && Going() ? sequencer->StepElapsedMs(nowMs) : 0;
}

bool CProgramRunner::Resting() const {
    if (startPending || !Going()) {
        return false;
    }
    const std::vector<ProgramStep>& steps = sequencer->Program().steps;
    const std::size_t index = sequencer->StepIndex();
    return index < steps.size() && steps[index].kind == StepKind::Rest;
}

bool CProgramRunner::FinishedAfterRest() const {
    if (startPending || !sequencer || sequencer->State() != SequencerState::Finished) {
        return false;
    }
    // A finished sequencer stays at the step it ran last; Repeat steps are never run.
    const std::vector<ProgramStep>& steps = sequencer->Program().steps;
    const std::size_t index = sequencer->StepIndex();
    return index < steps.size() && steps[index].kind == StepKind::Rest;
}

void CProgramRunner::Update() {
    TellJournal();
    emit Changed();
}

void CProgramRunner::TellJournal() {
    if (journal == nullptr || !sequencer) {
        return;
    }
    const std::int64_t wallMs = QDateTime::currentMSecsSinceEpoch();
    for (const CSequencer::BegunStep& begun : sequencer->TakeBegunSteps()) {
        const StepKind kind = program.steps[begun.stepIndex].kind;
        journal->ProgramStep(static_cast<std::int32_t>(begun.stepIndex + 1), begun.cycle,
                             sequencer->PassesLeft(), kind == StepKind::Rest, kind == StepKind::Rin,
                             wallMs);
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

QString CProgramRunner::StepText(const ProgramStep& step) {
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

QString CProgramRunner::StateText() const {
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

QString CProgramRunner::EndReasonText() const {
    if (!sequencer) {
        return {};
    }
    switch (sequencer->Reason()) {
        case EndReason::StepLimit:
            return tr("шаг превысил предельное время");
        case EndReason::ModuleFault:
            return tr("модуль сообщил о неисправности");
        case EndReason::TemperaturePowerOff:
            return tr("аварийное отключение по температуре");
        case EndReason::WriteRefused:
            return tr("модуль не принял параметр %1").arg(sequencer->RefusedParam());
        case EndReason::StartRefused:
            return tr("модуль не начал заряд или разряд");
        case EndReason::StopRefused:
            return tr("модуль не остановился");
        case EndReason::ModuleBusy:
            return tr("модуль уже выполнял заряд или разряд");
        case EndReason::OperatorStop:
            return tr("остановлена оператором");
        case EndReason::OperatorReset:
            return tr("сброс модуля оператором");
        case EndReason::RinNoLoad:
            return tr(
                "Rin не измерено: модуль сразу остановил разряд, ячейка уже на напряжении "
                "отсечки шага");
        case EndReason::None:
            break;
    }
    return {};
}

}  // namespace brimvolt
