#pragma once

#include <QObject>
#include <QString>
#include <cstddef>
#include <memory>
#include <optional>
#include <thread>

#include "mqtt/MqttPayloads.h"
#include "mqtt/MqttSettings.h"

namespace brimvolt {

struct MqttPublisherShared;

struct MqttPublisherOptions {
    MqttUrl url;
    std::optional<QString> password;
    QString prefix;                             // empty: nothing is published until one is set
    QString discoveryPrefix = "homeassistant";  // empty: no Home Assistant discovery
    QString softwareVersion;
    QString clientId;           // empty: "brimvolt-<pid>-<random>", unique among the benches
    int keepAliveSeconds = 30;  // libmosquitto accepts 5 and more
    int statusIntervalMs = 1000;
    int retryFirstMs = 1000;  // the wait after the first failure, doubled after each next one
    int retryMaxMs = 60000;
    std::size_t runQueueLimit = 1000;  // run messages kept while the broker is away
    int shutdownMs = 2000;             // for the last messages and the goodbye
};

/**
 * Publishes a bench's readings and runs to an MQTT broker, read-only: it subscribes to nothing.
 *
 * The network work runs on a thread of its own that owns the libmosquitto client: it connects,
 * reconnects for ever with a doubling wait, and publishes. The calls here never wait for the
 * network: they leave a value in a small store and return. While the broker is away, only the
 * newest status is kept; run messages are kept up to `runQueueLimit` (the oldest go first) and
 * sent when it is back. On every connection the state goes `online` (retained, with `offline`
 * as the last will) and the discovery configs are sent again.
 */
class CMqttPublisher : public QObject {
    Q_OBJECT
public:
    explicit CMqttPublisher(MqttPublisherOptions options, QObject* parent = nullptr);
    /** Stop(). */
    ~CMqttPublisher() override;

    /**
     * Moves the topics under `prefix` (the module was found on another port). The old prefix's
     * state goes `offline`, and the connection is made again with the new last will.
     */
    void SetTopicPrefix(const QString& prefix);

    /** The newest reading; sent at most once per `statusIntervalMs`, older unsent ones dropped. */
    void PublishStatus(const MqttStatus& status);

    /** A run record (opened, ended, changed): retained, kept while the broker is away. */
    void PublishRun(const MqttRun& run);

    /**
     * Sends what is waiting and `offline`, disconnects and ends the network thread, all within
     * about `shutdownMs`, broker or no broker. Later calls publish nothing.
     */
    void Stop();

    /** The broker's state for the operator, e.g. "MQTT: подключено к host:1883". */
    QString StatusText() const { return statusText; }
    bool IsConnected() const { return connected; }

signals:
    /** The status text changed; delivered on the thread this object lives in. */
    void StatusTextChanged(const QString& text);

private:
    Q_INVOKABLE void OnLinkReport(bool nowConnected, const QString& text);

    std::shared_ptr<MqttPublisherShared> shared;
    std::thread networkThread;
    int shutdownMs;
    std::size_t runQueueLimit;
    QString statusText;
    bool connected = false;
    bool stopped = false;
};

/** Whether the libmosquitto in use speaks TLS (mqtts://); a build may come without it. */
bool MqttTlsAvailable();

}  // namespace brimvolt
