#include "support/MqttSubscriber.h"

#include <mosquitto.h>

#include <QTest>

namespace brimvolt::testing {

MqttSubscriber::MqttSubscriber(int port, const QString& filter, const QString& persistentId)
    : filter(filter.toUtf8()) {
    const QByteArray id = persistentId.toUtf8();
    mosq = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), id.isEmpty(), this);
    mosquitto_connect_with_flags_callback_set(mosq, &MqttSubscriber::OnConnect);
    mosquitto_subscribe_callback_set(mosq, [](mosquitto*, void* self, int, int, const int*) {
        static_cast<MqttSubscriber*>(self)->subscribed = true;
    });
    mosquitto_message_callback_set(mosq, &MqttSubscriber::OnMessage);
    mosquitto_reconnect_delay_set(mosq, 1, 1, false);
    mosquitto_connect_async(mosq, "127.0.0.1", port, 10);
    mosquitto_loop_start(mosq);
}

MqttSubscriber::~MqttSubscriber() {
    mosquitto_disconnect(mosq);
    mosquitto_loop_stop(mosq, false);
    mosquitto_destroy(mosq);
}

bool MqttSubscriber::WaitSubscribed(int timeoutMs) const {
    return QTest::qWaitFor([this] { return subscribed.load(); }, timeoutMs);
}

int MqttSubscriber::WaitFor(const QString& topic, const QByteArray& payload, int from,
                            int timeoutMs) const {
    int found = -1;
    const bool arrived = QTest::qWaitFor(
        [&] {
            const std::lock_guard lock(mutex);
            for (int i = from; i < static_cast<int>(messages.size()) && found < 0; ++i) {
                if (messages[i].topic == topic &&
                    (payload.isNull() || messages[i].payload == payload)) {
                    found = i;
                }
            }
            return found >= 0;
        },
        timeoutMs);
    return arrived ? found : -1;
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
    // A session the broker kept still holds its subscription; subscribing again would bring the
    // retained messages a second time.
    const bool sessionPresent = (flags & 1) != 0;
    if (code == 0 && !sessionPresent) {
        mosquitto_subscribe(mosq, nullptr, static_cast<MqttSubscriber*>(self)->filter.constData(),
                            1);
    } else if (code == 0) {
        static_cast<MqttSubscriber*>(self)->subscribed = true;
    }
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
