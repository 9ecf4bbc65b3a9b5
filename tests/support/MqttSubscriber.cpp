#include "support/MqttSubscriber.h"

#include <mosquitto.h>

#include <QCoreApplication>
#include <QThread>
#include <chrono>

namespace brimvolt::testing {

MqttSubscriber::MqttSubscriber(int port, const QString& filter, const QString& persistentId)
    : filter(filter.toUtf8()) {
    const QByteArray id = persistentId.toUtf8();
    mosq = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), id.isEmpty(), this);
    if (!mosq) {
        return;
    }
    mosquitto_connect_with_flags_callback_set(mosq, &MqttSubscriber::OnConnect);
    mosquitto_subscribe_callback_set(mosq, &MqttSubscriber::OnSubscribe);
    mosquitto_message_callback_set(mosq, &MqttSubscriber::OnMessage);
    mosquitto_reconnect_delay_set(mosq, 1, 1, false);
    mosquitto_connect_async(mosq, "127.0.0.1", port, 10);
    mosquitto_loop_start(mosq);
}

MqttSubscriber::~MqttSubscriber() {
    if (mosq) {
        mosquitto_disconnect(mosq);
        mosquitto_loop_stop(mosq, false);
        mosquitto_destroy(mosq);
    }
}

bool MqttSubscriber::WaitSubscribed(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!subscribed && std::chrono::steady_clock::now() < deadline) {
        QThread::msleep(10);
    }
    return subscribed;
}

std::optional<ReceivedMessage> MqttSubscriber::WaitFor(
    const QString& topic, const std::function<bool(const ReceivedMessage&)>& accept, int timeoutMs,
    std::size_t from, std::size_t* index) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        {
            const std::lock_guard lock(mutex);
            for (std::size_t i = from; i < messages.size(); ++i) {
                if (messages[i].topic == topic && accept(messages[i])) {
                    if (index) {
                        *index = i;
                    }
                    return messages[i];
                }
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
}

std::optional<ReceivedMessage> MqttSubscriber::WaitFor(const QString& topic,
                                                       const QByteArray& payload, int timeoutMs,
                                                       std::size_t from) {
    return WaitFor(
        topic, [&payload](const ReceivedMessage& m) { return m.payload == payload; }, timeoutMs,
        from);
}

std::vector<ReceivedMessage> MqttSubscriber::Messages() const {
    const std::lock_guard lock(mutex);
    return messages;
}

std::vector<QByteArray> MqttSubscriber::Payloads(const QString& topic) const {
    std::vector<QByteArray> payloads;
    for (const ReceivedMessage& message : Messages()) {
        if (message.topic == topic) {
            payloads.push_back(message.payload);
        }
    }
    return payloads;
}

void MqttSubscriber::OnConnect(mosquitto* mosq, void* self, int code, int flags) {
    // A session the broker kept still has its subscription; subscribing again would bring
    // the retained messages a second time.
    const bool sessionPresent = (flags & 1) != 0;
    if (code == 0 && !sessionPresent) {
        mosquitto_subscribe(mosq, nullptr, static_cast<MqttSubscriber*>(self)->filter.constData(),
                            1);
    }
}

void MqttSubscriber::OnSubscribe(mosquitto*, void* self, int, int, const int*) {
    static_cast<MqttSubscriber*>(self)->subscribed = true;
}

void MqttSubscriber::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* subscriber = static_cast<MqttSubscriber*>(self);
    const std::lock_guard lock(subscriber->mutex);
    subscriber->messages.push_back(
        {QString::fromUtf8(message->topic),
         QByteArray(static_cast<const char*>(message->payload), message->payloadlen),
         message->retain});
}

}  // namespace brimvolt::testing
