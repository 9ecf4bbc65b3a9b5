#pragma once

#include <QString>
#include <optional>

namespace brimvolt {

/** A broker address from `mqtt://[user@]host[:port]` or `mqtts://...`. */
struct MqttUrl {
    bool tls = false;
    QString host;  // an IPv6 literal without its brackets
    int port = 0;
    QString user;  // empty: no login

    /** "host:1883", "[::1]:1883": how the status texts name the broker. */
    QString HostPort() const;
};

/**
 * Parses a broker address. The port defaults to 1883 (8883 with TLS). A password is never taken
 * from the address (it would show in the process list); on failure the error text is one line
 * that never repeats a password.
 */
std::optional<MqttUrl> ParseMqttUrl(const QString& text, QString* error);

/** What the command line and the environment say about publishing. */
struct MqttSettings {
    MqttUrl url;
    std::optional<QString> password;  // BRIMVOLT_MQTT_PASSWORD
    QString fixedPrefix;              // --mqtt-prefix; empty: the default, which follows the port
};

/** The variable the broker password comes from. */
inline constexpr char kMqttPasswordVariable[] = "BRIMVOLT_MQTT_PASSWORD";

/**
 * Settings from `--mqtt URL`, `--mqtt-prefix PREFIX` (null when not given) and the password
 * variable (nullopt when unset). A password needs a user name in the address: MQTT sends no
 * password without one.
 */
std::optional<MqttSettings> ReadMqttSettings(const QString& urlText, const QString& prefixText,
                                             const std::optional<QString>& password,
                                             QString* error);

}  // namespace brimvolt
