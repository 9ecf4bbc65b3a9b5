#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <mutex>
#include <vector>

#include "mqtt/MosquittoLib.h"

struct mosquitto;
struct mosquitto_message;

namespace brimvolt::testing {

struct ReceivedMessage {
    QString topic;
    QByteArray payload;
    bool retained = false;  // delivered because the broker kept it, not because it was just sent
};

/**
 * A dashboard stand-in: subscribes to a topic filter at QoS 1 on the test's broker and keeps all
 * that arrives. With a client id its session outlives a restart of a persistent broker, so
 * nothing published while it reconnects is missed.
 */
class MqttSubscriber {
public:
    MqttSubscriber(int port, const QString& filter, const QString& persistentId = QString());
    ~MqttSubscriber();
    MqttSubscriber(const MqttSubscriber&) = delete;
    MqttSubscriber& operator=(const MqttSubscriber&) = delete;

    bool WaitSubscribed(int timeoutMs = 60000) const;
    /**
     * Waits, running the caller's Qt events meanwhile, for a message on `topic` (with this
     * payload unless it is null) at index `from` or later; its index, or -1 after the timeout.
     */
    int WaitFor(const QString& topic, const QByteArray& payload = QByteArray(), int from = 0,
                int timeoutMs = 60000) const;
    std::vector<ReceivedMessage> Messages() const;
    /** The payloads that arrived on one topic, oldest first. */
    std::vector<QByteArray> Payloads(const QString& topic) const;

private:
    static void OnConnect(mosquitto* mosq, void* self, int code, int flags);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);

    CMosquittoLib library;
    QByteArray filter;
    mosquitto* mosq = nullptr;
    std::atomic<bool> subscribed{false};
    mutable std::mutex mutex;
    std::vector<ReceivedMessage> messages;
};

}  // namespace brimvolt::testing
