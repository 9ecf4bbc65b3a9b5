#include "mqtt/MqttPublisher.h"

#include <mosquitto.h>

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>

#include "mqtt/MosquittoLib.h"
#include "mqtt/MqttTopics.h"
#include "platform/Text.h"

namespace brimvolt {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(MqttPublisher)
};

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const QByteArray kOnline = QByteArrayLiteral("online");
const QByteArray kOffline = QByteArrayLiteral("offline");

// How long one turn of the network loop may sit in select(): the longest a new message or a
// stop waits while connected.
constexpr int kLoopSliceMs = 100;

// A message waiting for the connection. An empty prefix means the one in use when it is sent.
struct Pending {
    QString prefix;
    QString topicSuffix;  // or the whole topic when `whole`
    QByteArray payload;
    bool whole = false;
};

QString ClientIdOf(const QString& requested) {
    if (!requested.isEmpty()) {
        return requested;
    }
    // 23 characters at most, the length every broker must accept.
    return QStringLiteral("brimvolt-%1-%2")
        .arg(QCoreApplication::applicationPid() % 10000000)
        .arg(QRandomGenerator::global()->bounded(0x1000000), 6, 16, QChar(u'0'));
}

// Why a connection failed or ended, for the operator.
// A refusal with no CONNACK code is the TCP connection refused.
QString ReasonText(int rc, int connackCode, int savedErrno) {
    if (rc == MOSQ_ERR_CONN_REFUSED && connackCode < 0) {
        return Text::tr("соединение отвергнуто");
    }
    if (rc == MOSQ_ERR_CONN_REFUSED) {
        switch (connackCode) {
            case 4:
            case 5:
                return Text::tr("брокер не принял имя или пароль");
            case 2:
                return Text::tr("брокер отверг имя клиента");
            case 3:
                return Text::tr("брокер недоступен");
            default:
                return Text::tr("брокер отказал в подключении");
        }
    }
    switch (rc) {
        case MOSQ_ERR_EAI:
            return Text::tr("узел не найден");
        case MOSQ_ERR_TLS:
            return Text::tr("ошибка TLS: сертификат брокера не принят");
        case MOSQ_ERR_KEEPALIVE:
            return Text::tr("брокер не отвечает");
        case MOSQ_ERR_CONN_LOST:
        case MOSQ_ERR_NO_CONN:
            return Text::tr("соединение разорвано");
        case MOSQ_ERR_ERRNO:
            switch (savedErrno) {
                case ECONNREFUSED:
                    return Text::tr("соединение отвергнуто");
                case ETIMEDOUT:
                case EHOSTUNREACH:
                case ENETUNREACH:
                    return Text::tr("узел недоступен");
                default:
                    return QString::fromLocal8Bit(std::strerror(savedErrno));
            }
        default:
            return QString::fromUtf8(mosquitto_strerror(rc));
    }
}

}  // namespace

// What the caller's side and the network thread share, under one mutex.
struct MqttPublisherShared {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable finishedChanged;
    bool stopRequested = false;
    bool finished = false;
    QString prefix;
    std::optional<QByteArray> status;  // the newest reading only
    std::deque<Pending> queue;         // run records and farewells to old prefixes, oldest first
    CMqttPublisher* receiver = nullptr;
};

namespace {

// The network thread: owns the libmosquitto client from creation to destruction.
class NetworkLoop {
public:
    NetworkLoop(std::shared_ptr<MqttPublisherShared> shared, MqttPublisherOptions options)
        : shared(std::move(shared)),
          options(std::move(options)),
          hostPort(this->options.url.HostPort()),
          retryMs(std::max(1, this->options.retryFirstMs)) {}

    void Run() {
        const CMosquittoLib library;
        const QByteArray clientId = ClientIdOf(options.clientId).toUtf8();
        mosq = mosquitto_new(clientId.constData(), true, this);
        if (mosq && Configure()) {
            Loop();
            Shutdown();
        } else {
            Report(false, Text::tr("MQTT: клиент не создан (%1)").arg(hostPort));
            std::unique_lock lock(shared->mutex);
            shared->wake.wait(lock, [this] { return shared->stopRequested; });
        }
        if (mosq) {
            mosquitto_destroy(mosq);
        }
    }

private:
    enum class Phase { Waiting, Connecting, Connected };

    bool Configure() {
        mosquitto_connect_callback_set(mosq, &NetworkLoop::OnConnect);
        mosquitto_publish_callback_set(mosq, &NetworkLoop::OnPublish);
        if (!options.url.user.isEmpty()) {
            const QByteArray user = options.url.user.toUtf8();
            const QByteArray password = options.password.value_or(QString()).toUtf8();
            if (mosquitto_username_pw_set(mosq, user.constData(),
                                          options.password ? password.constData() : nullptr) !=
                MOSQ_ERR_SUCCESS) {
                return false;
            }
        }
        if (options.url.tls) {
            // The system's certificate authorities; the broker's name is checked against its
            // certificate.
            // Never a plain connection where TLS was asked for.
            if (mosquitto_int_option(mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1) ==
                MOSQ_ERR_NOT_SUPPORTED) {
                return false;
            }
            const QString caPath = QStringLiteral("/etc/ssl/certs");
            if (QDir(caPath).exists()) {
                const QByteArray path = caPath.toUtf8();
                mosquitto_tls_set(mosq, nullptr, path.constData(), nullptr, nullptr, nullptr);
            }
        }
        return true;
    }

    void Loop() {
        for (;;) {
            QString prefix;
            {
                std::unique_lock lock(shared->mutex);
                if (phase == Phase::Waiting) {
                    // Nothing to do until the next attempt, a prefix or a stop.
                    const auto ready = [this] {
                        return shared->stopRequested ||
                               (!shared->prefix.isEmpty() && Clock::now() >= nextAttempt);
                    };
                    if (shared->prefix.isEmpty()) {
                        shared->wake.wait(lock, ready);
                    } else {
                        shared->wake.wait_until(lock, nextAttempt, ready);
                    }
                }
                if (shared->stopRequested) {
                    return;
                }
                prefix = shared->prefix;
            }
            switch (phase) {
                case Phase::Waiting:
                    if (!prefix.isEmpty() && Clock::now() >= nextAttempt) {
                        Attempt(prefix);
                    }
                    break;
                case Phase::Connected:
                    if (prefix != sessionPrefix) {
                        // The last will names the old state topic: only a new session changes it.
                        Disconnect(Clock::now() + milliseconds(options.shutdownMs));
                        phase = Phase::Waiting;
                        nextAttempt = Clock::now();
                        break;
                    }
                    SendPending(false);
                    [[fallthrough]];
                case Phase::Connecting:
                    Service();
                    break;
            }
        }
    }

    void Attempt(const QString& prefix) {
        sessionPrefix = prefix;
        const QByteArray willTopic = StateTopic(prefix).toUtf8();
        const int willRc = mosquitto_will_set(mosq, willTopic.constData(), kOffline.size(),
                                              kOffline.constData(), 1, true);
        if (willRc != MOSQ_ERR_SUCCESS) {
            Refused(StateTopic(prefix), willRc);
        }
        connackSeen = false;
        connackCode = -1;
        const QByteArray host = options.url.host.toUtf8();
        // Resolving the name may take a while: it happens here, never on the caller's thread.
        const int rc = mosquitto_connect_async(mosq, host.constData(), options.url.port,
                                               std::max(5, options.keepAliveSeconds));
        if (rc != MOSQ_ERR_SUCCESS) {
            Failed(rc, errno);
            return;
        }
        phase = Phase::Connecting;
        // A broker that takes the connection and never answers it is given up on like one that
        // stops answering later.
        connectDeadline =
            Clock::now() + std::chrono::seconds(std::max(15, options.keepAliveSeconds));
        if (!everReported) {
            Report(false, Text::tr("MQTT: подключение к %1…").arg(hostPort));
        }
    }

    // One turn of libmosquitto: reads, writes, keep-alive.
    void Service() {
        const int rc = mosquitto_loop(mosq, kLoopSliceMs, 1);
        const int savedErrno = errno;
        if (rc != MOSQ_ERR_SUCCESS) {
            Failed(rc, savedErrno);
            return;
        }
        if (phase == Phase::Connecting && connackSeen) {
            if (connackCode == 0) {
                Connected();
            } else {
                Failed(MOSQ_ERR_CONN_REFUSED, 0);
            }
        } else if (phase == Phase::Connecting && Clock::now() >= connectDeadline) {
            Failed(MOSQ_ERR_KEEPALIVE, 0);
        }
    }

    void Connected() {
        phase = Phase::Connected;
        retryMs = std::max(1, options.retryFirstMs);
        Publish(StateTopic(sessionPrefix), kOnline, 1, true);
        if (!options.discoveryPrefix.isEmpty()) {
            for (const MqttMessage& message : DiscoveryMessages(
                     sessionPrefix, options.discoveryPrefix, options.softwareVersion)) {
                Publish(message.topic, message.payload, message.qos, message.retain);
            }
        }
        // A refusal stays in view: "connected" alone would say that everything is sent.
        Report(true, refusal.isEmpty() ? Text::tr("MQTT: подключено к %1").arg(hostPort) : refusal);
    }

    void Failed(int rc, int savedErrno) {
        const QString reason = ReasonText(rc, connackCode, savedErrno);
        const int delayMs = retryMs;
        const int maxMs = std::max(1, options.retryMaxMs);
        retryMs = retryMs > maxMs / 2 ? maxMs : retryMs * 2;
        phase = Phase::Waiting;
        nextAttempt = Clock::now() + milliseconds(delayMs);
        const int seconds = std::max(1, (delayMs + 999) / 1000);
        Report(false, Text::tr("MQTT: нет связи с %1 (%2), новая попытка через %3 с")
                          .arg(hostPort, reason)
                          .arg(seconds));
    }

    // Hands the waiting messages to libmosquitto. QoS 1 messages stay in its flight list until
    // the broker acknowledges them, across reconnections too.
    void SendPending(bool finalFlush) {
        std::deque<Pending> queue;
        std::optional<QByteArray> status;
        {
            const std::lock_guard lock(shared->mutex);
            queue.swap(shared->queue);
            const bool due = finalFlush || Clock::now() >= nextStatus;
            if (due && shared->status) {
                status.swap(shared->status);
            }
        }
        for (const Pending& message : queue) {
            const QString prefix = message.prefix.isEmpty() ? sessionPrefix : message.prefix;
            const QString topic =
                message.whole ? message.topicSuffix : prefix + u'/' + message.topicSuffix;
            Publish(topic, message.payload, 1, true);
        }
        if (status) {
            Publish(StatusTopic(sessionPrefix), *status, 0, false);
            nextStatus = Clock::now() + milliseconds(options.statusIntervalMs);
        }
    }

    void Publish(const QString& topic, const QByteArray& payload, int qos, bool retain) {
        const QByteArray topicBytes = topic.toUtf8();
        int mid = 0;
        const int rc =
            mosquitto_publish(mosq, &mid, topicBytes.constData(), static_cast<int>(payload.size()),
                              payload.constData(), qos, retain);
        if (rc == MOSQ_ERR_SUCCESS && qos > 0) {
            unacknowledged.insert(mid);
        }
        // A lost connection is the loop's business; anything else is a message the library
        // will never send, which the operator must not take for a working link.
        if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN && rc != MOSQ_ERR_CONN_LOST) {
            Refused(topic, rc);
        }
    }

    // Told once: a refused topic is refused again with every message.
    void Refused(const QString& topic, int rc) {
        if (refusalReported) {
            return;
        }
        refusalReported = true;
        refusal = Text::tr("MQTT: сообщение в тему «%1» не принято (%2)")
                      .arg(platform::ReplaceUnsafe(topic, u'?'),
                           QString::fromUtf8(mosquitto_strerror(rc)));
        Report(phase == Phase::Connected, refusal);
    }

    // Sends what waits and the goodbye, and leaves cleanly, so the broker drops the last will.
    void Shutdown() {
        if (phase != Phase::Connected) {
            return;
        }
        const auto deadline = Clock::now() + milliseconds(std::max(0, options.shutdownMs));
        SendPending(true);
        Publish(StateTopic(sessionPrefix), kOffline, 1, true);
        while (Clock::now() < deadline && !unacknowledged.empty()) {
            if (mosquitto_loop(mosq, 20, 1) != MOSQ_ERR_SUCCESS) {
                return;
            }
        }
        Disconnect(deadline + milliseconds(500));
    }

    void Disconnect(Clock::time_point deadline) {
        if (mosquitto_disconnect(mosq) != MOSQ_ERR_SUCCESS) {
            return;
        }
        // The DISCONNECT is written by the loop, which then finds the socket closed.
        while (Clock::now() < deadline && mosquitto_loop(mosq, 20, 1) == MOSQ_ERR_SUCCESS) {
        }
    }

    void Report(bool nowConnected, const QString& text) {
        everReported = true;
        const std::lock_guard lock(shared->mutex);
        if (shared->receiver) {
            QMetaObject::invokeMethod(shared->receiver, "OnLinkReport", Qt::QueuedConnection,
                                      Q_ARG(bool, nowConnected), Q_ARG(QString, text));
        }
    }

    static void OnConnect(mosquitto*, void* self, int code) {
        auto* loop = static_cast<NetworkLoop*>(self);
        loop->connackSeen = true;
        loop->connackCode = code;
    }

    static void OnPublish(mosquitto*, void* self, int mid) {
        static_cast<NetworkLoop*>(self)->unacknowledged.erase(mid);
    }

    std::shared_ptr<MqttPublisherShared> shared;
    const MqttPublisherOptions options;
    const QString hostPort;
    mosquitto* mosq = nullptr;
    Phase phase = Phase::Waiting;
    Clock::time_point nextAttempt = Clock::now();
    Clock::time_point nextStatus = Clock::now();
    Clock::time_point connectDeadline;
    int retryMs;
    QString sessionPrefix;  // the prefix whose last will the current session carries
    bool connackSeen = false;
    int connackCode = -1;
    bool everReported = false;
    bool refusalReported = false;
    QString refusal;  // the refused publication, once there was one
    // The callbacks run inside mosquitto_loop, on this thread: no lock for what they touch.
    std::set<int> unacknowledged;  // QoS 1 messages the broker has not acknowledged yet
};

}  // namespace

CMqttPublisher::CMqttPublisher(MqttPublisherOptions options, QObject* parent)
    : QObject(parent),
      shared(std::make_shared<MqttPublisherShared>()),
      shutdownMs(options.shutdownMs),
      runQueueLimit(std::max<std::size_t>(1, options.runQueueLimit)) {
    shared->receiver = this;
    shared->prefix = options.prefix;
    statusText = options.prefix.isEmpty()
                     ? Text::tr("MQTT: ждёт, когда найдётся модуль (темы по его порту)")
                     : Text::tr("MQTT: подключение к %1…").arg(options.url.HostPort());
    networkThread = std::thread([state = shared, o = std::move(options)]() mutable {
        NetworkLoop(state, std::move(o)).Run();
        const std::lock_guard lock(state->mutex);
        state->finished = true;
        state->finishedChanged.notify_all();
    });
}

CMqttPublisher::~CMqttPublisher() {
    Stop();
}

void CMqttPublisher::SetTopicPrefix(const QString& prefix) {
    {
        const std::lock_guard lock(shared->mutex);
        if (shared->stopRequested || prefix == shared->prefix) {
            return;
        }
        if (!shared->prefix.isEmpty()) {
            shared->queue.push_back({QString(), StateTopic(shared->prefix), kOffline, true});
        }
        shared->prefix = prefix;
    }
    shared->wake.notify_all();
}

void CMqttPublisher::PublishStatus(const MqttStatus& status) {
    MqttStatus stamped = status;
    if (!stamped.timeUtc.isValid()) {
        stamped.timeUtc = QDateTime::currentDateTimeUtc();
    }
    QByteArray payload = StatusPayload(stamped);
    const std::lock_guard lock(shared->mutex);
    if (!shared->stopRequested) {
        shared->status = std::move(payload);
    }
}

void CMqttPublisher::PublishRun(const MqttRun& run) {
    QByteArray payload = RunPayload(run);
    {
        const std::lock_guard lock(shared->mutex);
        if (shared->stopRequested) {
            return;
        }
        shared->queue.push_back({shared->prefix, QStringLiteral("run"), std::move(payload)});
        // Past the bound the oldest run message goes; a farewell to an old prefix stays.
        const auto isRun = [](const Pending& message) { return !message.whole; };
        if (static_cast<std::size_t>(
                std::count_if(shared->queue.begin(), shared->queue.end(), isRun)) > runQueueLimit) {
            shared->queue.erase(std::find_if(shared->queue.begin(), shared->queue.end(), isRun));
        }
    }
    shared->wake.notify_all();
}

void CMqttPublisher::Stop() {
    if (!networkThread.joinable()) {
        return;
    }
    {
        const std::lock_guard lock(shared->mutex);
        shared->stopRequested = true;
        shared->receiver = nullptr;
    }
    shared->wake.notify_all();
    bool finished;
    {
        std::unique_lock lock(shared->mutex);
        // The thread's own budget plus a margin for one turn of its loop and the name lookup
        // of an attempt under way.
        finished =
            shared->finishedChanged.wait_for(lock, milliseconds(std::max(0, shutdownMs) + 3000),
                                             [this] { return shared->finished; });
    }
    if (finished) {
        networkThread.join();
    } else {
        // A name lookup that hangs must not hold the program's exit: the thread owns all it
        // uses and ends on its own.
        networkThread.detach();
    }
    stopped = true;
    connected = false;
    statusText = Text::tr("MQTT: отключено");
    emit StatusTextChanged(statusText);
}

void CMqttPublisher::OnLinkReport(bool nowConnected, const QString& text) {
    if (stopped) {
        return;  // a report posted just before Stop()
    }
    connected = nowConnected;
    if (text != statusText) {
        statusText = text;
        emit StatusTextChanged(statusText);
    }
}

bool MqttTlsAvailable() {
    // A library built without TLS refuses every TLS option.
    const CMosquittoLib library;
    mosquitto* probe = mosquitto_new(nullptr, true, nullptr);
    const bool available =
        probe != nullptr &&
        mosquitto_int_option(probe, MOSQ_OPT_TLS_USE_OS_CERTS, 1) != MOSQ_ERR_NOT_SUPPORTED;
    mosquitto_destroy(probe);
    return available;
}

}  // namespace brimvolt
