#include "mqtt/MqttPayloads.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "mqtt/MqttTopics.h"

namespace brimvolt {
namespace {

constexpr std::uint8_t kRunningFlag = 0x08;

// QJsonDocument writes the shortest text that reads back as the same double, with a '.' whatever
// the locale: 3712 mV is 3.712, not 3.7119999999999997 and not "3,712".
QJsonValue Milli(double milliUnits) {
    return QJsonValue(milliUnits / 1000.0);
}

QJsonValue IsoUtc(const QDateTime& time) {
    if (!time.isValid()) {
        return QJsonValue(QJsonValue::Null);
    }
    return QJsonValue(time.toUTC().toString(Qt::ISODateWithMs));
}

QString EndCauseName(MqttEndCause cause) {
    switch (cause) {
        case MqttEndCause::Module:
            return QStringLiteral("module");
        case MqttEndCause::Operator:
            return QStringLiteral("operator");
        case MqttEndCause::Temperature:
            return QStringLiteral("temperature");
        case MqttEndCause::LinkLost:
            return QStringLiteral("link_lost");
        case MqttEndCause::Program:
            return QStringLiteral("program");
        case MqttEndCause::None:
            break;
    }
    return {};
}

QString RunStateName(MqttRunState state) {
    switch (state) {
        case MqttRunState::Stopped:
            return QStringLiteral("stopped");
        case MqttRunState::Interrupted:
            return QStringLiteral("interrupted");
        case MqttRunState::Running:
            break;
    }
    return QStringLiteral("running");
}

QString KindName(bool charge) {
    return charge ? QStringLiteral("charge") : QStringLiteral("discharge");
}

struct Sensor {
    const char* key;   // the unique id's last part
    const char* name;  // what Home Assistant shows
    const char* field;
    const char* unit;
    const char* deviceClass;  // "": Home Assistant has none for it
    const char* stateClass;
    int precision;
};

// Capacity and energy count up through a run and start again at 0 with the next one, which is
// what "total_increasing" means to Home Assistant. It has no device class for mAh or ohms.
constexpr Sensor kSensors[] = {
    {"voltage", "Напряжение", "voltage_V", "V", "voltage", "measurement", 3},
    {"current", "Ток", "current_A", "A", "current", "measurement", 3},
    {"capacity", "Ёмкость", "capacity_mAh", "mAh", "", "total_increasing", 0},
    {"energy", "Энергия", "energy_Wh", "Wh", "energy", "total_increasing", 3},
    {"temperature", "Температура", "temperature_C", "°C", "temperature", "measurement", 0},
    {"rin", "Внутреннее сопротивление", "rin_Ohm", "Ω", "", "measurement", 3},
};

}  // namespace

QByteArray StatusPayload(const MqttStatus& status) {
    QJsonObject json;
    json[u"voltage_V"] = Milli(status.voltageMv);
    json[u"current_A"] = Milli(status.currentMa);
    json[u"capacity_mAh"] = status.capacityMah;
    json[u"energy_Wh"] = status.energyMwh ? Milli(*status.energyMwh) : QJsonValue(QJsonValue::Null);
    json[u"seconds"] = status.elapsedSeconds;
    json[u"temperature_C"] = status.temperature;
    json[u"rin_Ohm"] = Milli(status.rinMohm);
    json[u"running"] = (status.statusFlags & kRunningFlag) != 0;
    json[u"mode"] = KindName(status.mode != 0);
    json[u"flags"] = status.statusFlags;
    json[u"display"] = QJsonArray{status.displayLine1, status.displayLine2};
    if (status.timeUtc.isValid()) {
        json[u"time"] = IsoUtc(status.timeUtc);
    }
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

QByteArray RunPayload(const MqttRun& run) {
    QJsonObject json;
    json[u"id"] = static_cast<qint64>(run.id);
    json[u"start"] = IsoUtc(run.startUtc);
    json[u"port"] = run.port;
    json[u"kind"] = run.rest ? QStringLiteral("rest") : KindName(run.charge);
    json[u"label"] = run.label;
    json[u"note"] = run.note;
    json[u"state"] = RunStateName(run.state);
    json[u"end_cause"] = run.endCause == MqttEndCause::None
                             ? QJsonValue(QJsonValue::Null)
                             : QJsonValue(EndCauseName(run.endCause));
    json[u"duration_s"] = static_cast<qint64>(run.durationSeconds);
    json[u"capacity_mAh"] = static_cast<qint64>(run.capacityMah);
    json[u"energy_Wh"] = Milli(run.energyMwh);
    json[u"start_voltage_V"] = Milli(run.startVoltageMv);
    json[u"end_voltage_V"] = Milli(run.endVoltageMv);
    json[u"rin_Ohm"] = Milli(run.lastRinMohm);
    json[u"max_temperature_C"] = run.highestTemperature;
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

std::vector<MqttMessage> DiscoveryMessages(const QString& prefix, const QString& discoveryPrefix,
                                           const QString& softwareVersion) {
    const QString nodeId = DiscoveryNodeId(prefix);
    QString deviceName = prefix;
    if (deviceName.startsWith(u"brimvolt/")) {
        deviceName.remove(0, 9);
    }
    QJsonObject device;
    device[u"identifiers"] = QJsonArray{nodeId};
    device[u"name"] = QStringLiteral("Brimvolt ") + deviceName;
    device[u"model"] = QStringLiteral("Brimvolt");
    if (!softwareVersion.isEmpty()) {
        device[u"sw_version"] = softwareVersion;
    }

    std::vector<MqttMessage> messages;
    for (const Sensor& sensor : kSensors) {
        const QString uniqueId = nodeId + u'_' + QLatin1String(sensor.key);
        QJsonObject config;
        config[u"name"] = QString::fromUtf8(sensor.name);
        config[u"unique_id"] = uniqueId;
        config[u"state_topic"] = StatusTopic(prefix);
        config[u"value_template"] =
            QStringLiteral("{{ value_json.%1 }}").arg(QLatin1String(sensor.field));
        config[u"unit_of_measurement"] = QString::fromUtf8(sensor.unit);
        config[u"state_class"] = QLatin1String(sensor.stateClass);
        config[u"suggested_display_precision"] = sensor.precision;
        config[u"availability_topic"] = StateTopic(prefix);
        config[u"payload_available"] = QStringLiteral("online");
        config[u"payload_not_available"] = QStringLiteral("offline");
        config[u"device"] = device;
        if (*sensor.deviceClass) {
            config[u"device_class"] = QLatin1String(sensor.deviceClass);
        }
        messages.push_back(
            {discoveryPrefix + QStringLiteral("/sensor/") + uniqueId + QStringLiteral("/config"),
             QJsonDocument(config).toJson(QJsonDocument::Compact), true, 1});
    }
    return messages;
}

}  // namespace brimvolt
