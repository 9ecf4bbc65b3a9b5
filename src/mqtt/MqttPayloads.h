#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace brimvolt {

/** One reading of the module as the `status` topic carries it; the units of the status record. */
struct MqttStatus {
    QDateTime timeUtc;  // when it was read; invalid: left out
    std::uint16_t voltageMv = 0;
    std::uint16_t currentMa = 0;
    std::int32_t capacityMah = 0;
    std::optional<double> energyMwh;  // of the run, when the journal integrates it
    std::int32_t elapsedSeconds = 0;
    std::uint8_t temperature = 0;  // °C
    std::uint16_t rinMohm = 0;
    std::uint8_t statusFlags = 0;
    std::uint16_t mode = 0;  // parameter word 4: 0 discharge, any other value charge
    QString displayLine1;
    QString displayLine2;
};

enum class MqttRunState { Running, Stopped, Interrupted };
enum class MqttEndCause { None, Module, Operator, Temperature, LinkLost, Program };

/** A run of the journal as the `run` topic carries it. */
struct MqttRun {
    std::int64_t id = 0;
    QDateTime startUtc;
    QString port;
    bool charge = false;
    QString label;
    QString note;
    MqttRunState state = MqttRunState::Running;
    MqttEndCause endCause = MqttEndCause::None;  // how it last stopped
    std::int64_t durationSeconds = 0;
    std::int64_t capacityMah = 0;
    double energyMwh = 0;
    std::uint16_t startVoltageMv = 0;
    std::uint16_t endVoltageMv = 0;
    std::uint16_t lastRinMohm = 0;
    int highestTemperature = 0;  // °C
    bool rest = false;           // a test program's rest
};

/**
 * The `status` JSON: voltage_V, current_A, capacity_mAh, energy_Wh (null without a journal),
 * seconds, temperature_C, rin_Ohm, running, mode ("discharge"/"charge"), flags, display (the two
 * lines) and time (ISO 8601 UTC). Numbers never depend on the locale.
 */
QByteArray StatusPayload(const MqttStatus& status);

/**
 * The `run` JSON: id, start (ISO 8601 UTC), port, kind, label, note, state, end_cause (null while
 * the run has never stopped), and the totals duration_s, capacity_mAh, energy_Wh,
 * start_voltage_V, end_voltage_V, rin_Ohm, max_temperature_C.
 */
QByteArray RunPayload(const MqttRun& run);

/** A message ready for the broker. */
struct MqttMessage {
    QString topic;
    QByteArray payload;
    bool retain = false;
    int qos = 0;
};

/**
 * Home Assistant's discovery configs for the bench under `prefix`: one retained sensor each for
 * voltage, current, capacity, energy, temperature and internal resistance, read from the status
 * topic, available while the state topic says "online", grouped as one device.
 */
std::vector<MqttMessage> DiscoveryMessages(const QString& prefix, const QString& discoveryPrefix,
                                           const QString& softwareVersion);

}  // namespace brimvolt
