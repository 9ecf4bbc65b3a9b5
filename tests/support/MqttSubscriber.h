#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "mqtt/MosquittoLib.h"

struct mosquitto;
struct mosquitto_message;

namespace brimvolt::testing {

struct ReceivedMessage {
    QString topic;
    QByteArray payload;
    bool retained = false;  // delivered because it was kept, not because it was just published
};

/**
 * A dashboard stand-in: subscribes to a topic filter at QoS 1 on the test's broker and keeps
 * everything that arrives. With a client id its session outlives a broker restart (on a
 * persistent broker), so nothing published while it reconnects is missed.
 */
class MqttSubscriber {
public:
    MqttSubscriber(int port, const QString& filter, const QString& persistentId = QString());
    ~MqttSubscriber();
    MqttSubscriber(const MqttSubscriber&) = delete;
    MqttSubscriber& operator=(const MqttSubscriber&) = delete;

    /** Waits until the broker confirmed the subscription. */
    bool WaitSubscribed(int timeoutMs = 20000);
    /**
     * Waits, running the caller's Qt events meanwhile, for the first message (from `from` on) on
     * `topic` that `accept` takes; its index in Messages() is left in `index`.
     */
    std::optional<ReceivedMessage> WaitFor(
        const QString& topic, const std::function<bool(const ReceivedMessage&)>& accept,
        int timeoutMs = 20000, std::size_t from = 0, std::size_t* index = nullptr);
    std::optional<ReceivedMessage> WaitFor(const QString& topic, const QByteArray& payload,
                                           int timeoutMs = 20000, std::size_t from = 0);
    std::vector<ReceivedMessage> Messages() const;
    /** The payloads that arrived on one topic, oldest first. */
    std::vector<QByteArray> Payloads(const QString& topic) const;

private:
    static void OnConnect(mosquitto* mosq, void* self, int code, int flags);
    static void OnSubscribe(mosquitto*, void* self, int, int, const int*);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);

    CMosquittoLib library;
    QByteArray filter;
    mosquitto* mosq = nullptr;
    std::atomic<bool> subscribed{false};
    mutable std::mutex mutex;
    std::vector<ReceivedMessage> messages;
};

}  // namespace brimvolt::testing
