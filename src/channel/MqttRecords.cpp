#include "channel/MqttRecords.h"

#include <QDateTime>
#include <cmath>

namespace brimvolt {

namespace {

MqttRunState StateOf(RunState state) {
    switch (state) {
        case RunState::Running:
            return MqttRunState::Running;
        case RunState::Stopped:
            return MqttRunState::Stopped;
        case RunState::Interrupted:
            return MqttRunState::Interrupted;
    }
    return MqttRunState::Running;
}

MqttEndCause EndCauseOf(EndCause cause) {
    switch (cause) {
        case EndCause::None:
            return MqttEndCause::None;
        case EndCause::Module:
            return MqttEndCause::Module;
        case EndCause::Operator:
            return MqttEndCause::Operator;
        case EndCause::Temperature:
            return MqttEndCause::Temperature;
        case EndCause::LinkLost:
            return MqttEndCause::LinkLost;
        case EndCause::Program:
            return MqttEndCause::Program;
    }
    return MqttEndCause::None;
}

}  // namespace

MqttStatus MqttStatusOf(const StatusRecord& status, const QString& displayLine1,
                        const QString& displayLine2, std::optional<double> runEnergyMwh) {
    MqttStatus message;
    message.voltageMv = status.voltageMv;
    message.currentMa = status.currentMa;
    message.capacityMah = status.capacityMah;
    if (runEnergyMwh) {
        message.energyMwh = std::round(*runEnergyMwh);
    }
    message.elapsedSeconds = status.elapsedSeconds;
    message.temperature = status.temperature;
    message.rinMohm = status.rinMohm;
    message.statusFlags = status.statusFlags;
    message.mode = status.params[4];
    message.displayLine1 = displayLine1;
    message.displayLine2 = displayLine2;
    return message;
}

MqttRun MqttRunOf(const RunRecord& run) {
    MqttRun message;
    message.id = run.id;
    message.startUtc = QDateTime::fromSecsSinceEpoch(run.startedUtc, Qt::UTC);
    message.port = run.port;
    message.charge = run.charge;
    message.rest = run.rest;
    message.label = run.label;
    message.note = run.note;
    message.state = StateOf(run.state);
    message.endCause = EndCauseOf(run.endCause);
    message.durationSeconds = run.durationSeconds;
    message.capacityMah = run.capacityMah;
    message.energyMwh = std::round(EnergyMwh(run.energyUj));
    message.startVoltageMv = run.startMv;
    message.endVoltageMv = run.endMv;
    message.lastRinMohm = run.rinMohm;
    message.highestTemperature = run.maxTemperature;
    return message;
}

}  // namespace brimvolt
