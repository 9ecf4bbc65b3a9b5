#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <clocale>
#include <set>

#include "mqtt/MqttPayloads.h"
#include "mqtt/MqttTopics.h"

namespace brimvolt {
namespace {

// The program runs with the user's locale in the C library and in Qt; a Russian one writes
// "3,712" wherever a format follows it.
class RussianLocale {
public:
    RussianLocale() : saved(std::setlocale(LC_ALL, nullptr)) {
        std::setlocale(LC_ALL, "ru_RU.UTF-8");
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    }
    ~RussianLocale() {
        std::setlocale(LC_ALL, saved.c_str());
        QLocale::setDefault(QLocale::c());
    }

private:
    std::string saved;
};

MqttStatus SampleStatus() {
    MqttStatus status;
    status.timeUtc = QDateTime(QDate(2024, 5, 1), QTime(10, 0, 1, 250), Qt::UTC);
    status.voltageMv = 3712;
    status.currentMa = 1001;
    status.capacityMah = 2345;
    status.energyMwh = 8675.5;
    status.elapsedSeconds = 3725;
    status.temperature = 31;
    status.rinMohm = 45;
    status.statusFlags = 0x18;
    status.mode = 0;
    status.displayLine1 = " 3.712V R 1.001A";
    status.displayLine2 = "Rin         45mΩ";
    return status;
}

TEST(MqttPayloads, StatusIsCompactJsonWithDotDecimalsWhateverTheLocale) {
    const RussianLocale russian;
    EXPECT_EQ(StatusPayload(SampleStatus()),
              QString("{\"capacity_mAh\":2345,\"current_A\":1.001,\"display\":[\" 3.712V R "
                      "1.001A\",\"Rin         45mΩ\"],\"energy_Wh\":8.6755,\"flags\":24,"
                      "\"mode\":\"discharge\",\"rin_Ohm\":0.045,\"running\":true,\"seconds\":3725,"
                      "\"temperature_C\":31,\"time\":\"2024-05-01T10:00:01.250Z\","
                      "\"voltage_V\":3.712}")
                  .toUtf8());
}

TEST(MqttPayloads, StatusFieldsFollowTheRecord) {
    MqttStatus status = SampleStatus();
    status.energyMwh.reset();  // no journal
    status.statusFlags = 0x07;
    status.mode = 2;  // any non-zero mode word is a charge
    status.voltageMv = 65535;
    status.capacityMah = 16777215;
    status.timeUtc = QDateTime();
    const QJsonObject json = QJsonDocument::fromJson(StatusPayload(status)).object();
    EXPECT_TRUE(json["energy_Wh"].isNull());
    EXPECT_FALSE(json["running"].toBool());
    EXPECT_EQ(json["mode"].toString(), "charge");
    EXPECT_EQ(json["flags"].toInt(), 7);
    EXPECT_DOUBLE_EQ(json["voltage_V"].toDouble(), 65.535);
    EXPECT_EQ(json["capacity_mAh"].toInt(), 16777215);
    EXPECT_FALSE(json.contains("time"));
}

TEST(MqttPayloads, RunCarriesTheRecordAndItsTotals) {
    const RussianLocale russian;
    MqttRun run;
    run.id = 42;
    run.startUtc = QDateTime(QDate(2024, 5, 1), QTime(9, 0), Qt::UTC);
    run.port = "ttyUSB0";
    run.charge = true;
    run.label = "Элемент №3";
    run.note = "";
    run.state = MqttRunState::Stopped;
    run.endCause = MqttEndCause::Temperature;
    run.durationSeconds = 7199;
    run.capacityMah = 2500;
    run.energyMwh = 9250;
    run.startVoltageMv = 3000;
    run.endVoltageMv = 4200;
    run.lastRinMohm = 51;
    run.highestTemperature = 60;
    EXPECT_EQ(
        RunPayload(run),
        QString("{\"capacity_mAh\":2500,\"duration_s\":7199,\"end_cause\":\"temperature\","
                "\"end_voltage_V\":4.2,\"energy_Wh\":9.25,\"id\":42,\"kind\":\"charge\","
                "\"label\":\"Элемент №3\",\"max_temperature_C\":60,\"note\":\"\","
                "\"port\":\"ttyUSB0\",\"rin_Ohm\":0.051,\"start\":\"2024-05-01T09:00:00.000Z\","
                "\"start_voltage_V\":3,\"state\":\"stopped\"}")
            .toUtf8());

    struct Case {
        MqttRunState state;
        MqttEndCause cause;
        const char* stateName;
        const char* causeName;  // nullptr: null
    };
    const Case cases[] = {
        {MqttRunState::Running, MqttEndCause::None, "running", nullptr},
        {MqttRunState::Running, MqttEndCause::LinkLost, "running", "link_lost"},
        {MqttRunState::Stopped, MqttEndCause::Module, "stopped", "module"},
        {MqttRunState::Stopped, MqttEndCause::Operator, "stopped", "operator"},
        {MqttRunState::Interrupted, MqttEndCause::None, "interrupted", nullptr},
    };
    for (const Case& c : cases) {
        run.state = c.state;
        run.endCause = c.cause;
        const QJsonObject json = QJsonDocument::fromJson(RunPayload(run)).object();
        EXPECT_EQ(json["state"].toString(), c.stateName);
        if (c.causeName) {
            EXPECT_EQ(json["end_cause"].toString(), c.causeName);
        } else {
            EXPECT_TRUE(json["end_cause"].isNull()) << c.stateName;
        }
    }
}

TEST(MqttPayloads, DiscoveryGivesHomeAssistantOneDeviceOfSixSensorsOnOurTopics) {
    const QString prefix = "brimvolt/lab-pc/ttyUSB0";
    const std::vector<MqttMessage> messages = DiscoveryMessages(prefix, "homeassistant", "6.3.0");
    ASSERT_EQ(messages.size(), 6u);
    const QJsonObject status = QJsonDocument::fromJson(StatusPayload(SampleStatus())).object();

    struct Expected {
        const char* key;
        const char* unit;
        const char* deviceClass;  // "": none
    };
    const Expected expected[] = {
        {"voltage", "V", "voltage"}, {"current", "A", "current"},          {"capacity", "mAh", ""},
        {"energy", "Wh", "energy"},  {"temperature", "°C", "temperature"}, {"rin", "Ω", ""},
    };
    std::set<QString> uniqueIds;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const MqttMessage& message = messages[i];
        const QJsonObject config = QJsonDocument::fromJson(message.payload).object();
        const QString uniqueId = "brimvolt_lab-pc_ttyUSB0_" + QString(expected[i].key);
        EXPECT_EQ(message.topic, "homeassistant/sensor/" + uniqueId + "/config");
        EXPECT_TRUE(message.retain);
        EXPECT_EQ(config["unique_id"].toString(), uniqueId);
        uniqueIds.insert(uniqueId);
        EXPECT_EQ(config["state_topic"].toString(), StatusTopic(prefix));
        EXPECT_EQ(config["availability_topic"].toString(), StateTopic(prefix));
        EXPECT_EQ(config["payload_available"].toString(), "online");
        EXPECT_EQ(config["payload_not_available"].toString(), "offline");
        EXPECT_EQ(config["unit_of_measurement"].toString(), QString::fromUtf8(expected[i].unit));
        EXPECT_EQ(config["device_class"].toString(), expected[i].deviceClass) << expected[i].key;
        EXPECT_EQ(config["device"]["identifiers"][0].toString(), "brimvolt_lab-pc_ttyUSB0");
        EXPECT_EQ(config["device"]["sw_version"].toString(), "6.3.0");
        // The template reads a field the status message really has.
        const QString field =
            config["value_template"].toString().section('.', 1).section(' ', 0, 0);
        EXPECT_TRUE(status.contains(field)) << config["value_template"].toString().toStdString();
    }
    EXPECT_EQ(uniqueIds.size(), 6u);
}

}  // namespace
}  // namespace brimvolt
