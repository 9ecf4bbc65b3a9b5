#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "mqtt/MqttPublisher.h"
#include "support/MosquittoBroker.h"
#include "support/MqttSubscriber.h"

// The publisher against a real mosquitto broker on 127.0.0.1, watched by a subscriber as a
// dashboard would be. Every wait is generous: the machine is shared and a broker restart or a
// keep-alive expiry takes seconds.

namespace brimvolt {
namespace {

using testing::MosquittoBroker;
using testing::MqttSubscriber;
using testing::ReceivedMessage;

constexpr int kWaitMs = 30000;

MqttStatus StatusAt(int seconds) {
    MqttStatus status;
    status.timeUtc = QDateTime(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC).addSecs(seconds);
    status.voltageMv = static_cast<std::uint16_t>(4200 - seconds);
    status.currentMa = 1000;
    status.elapsedSeconds = seconds;
    status.statusFlags = 0x08;
    status.displayLine1 = " 4.200V R 1.000A";
    return status;
}

MqttRun RunNumber(int id, MqttRunState state) {
    MqttRun run;
    run.id = id;
    run.startUtc = QDateTime(QDate(2024, 5, 1), QTime(9, 0), Qt::UTC);
    run.port = "ttyUSB0";
    run.state = state;
    run.endCause = state == MqttRunState::Stopped ? MqttEndCause::Module : MqttEndCause::None;
    return run;
}

class MqttPublisherTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (MosquittoBroker::Program().isEmpty()) {
            GTEST_SKIP() << "no mosquitto broker on this system (Debian package mosquitto)";
        }
    }

    void StartBroker(bool persistent = false) {
        broker = std::make_unique<MosquittoBroker>(persistent);
        ASSERT_TRUE(broker->Start()) << broker->Error().toStdString();
    }

    MqttPublisherOptions Options(const QString& prefix = "bench/a") const {
        MqttPublisherOptions options;
        options.url = *ParseMqttUrl(broker->Url(), nullptr);
        options.prefix = prefix;
        options.softwareVersion = "6.3.0";
        options.retryFirstMs = 200;
        options.retryMaxMs = 1000;
        return options;
    }

    static bool WaitConnected(const CMqttPublisher& publisher, bool connected = true) {
        return QTest::qWaitFor([&] { return publisher.IsConnected() == connected; }, kWaitMs);
    }

    std::unique_ptr<MosquittoBroker> broker;
};

TEST_F(MqttPublisherTest, PublishesStateDiscoveryNewestStatusAndRetainedRuns) {
    StartBroker();
    MqttSubscriber watcher(broker->Port(), "#");
    ASSERT_TRUE(watcher.WaitSubscribed());
    CMqttPublisher publisher(Options());
    ASSERT_TRUE(WaitConnected(publisher)) << publisher.StatusText().toStdString();
    EXPECT_EQ(publisher.StatusText(), "MQTT: подключено к " + broker->Url().mid(7));

    EXPECT_TRUE(watcher.WaitFor("bench/a/state", "online"));
    const auto config = watcher.WaitFor(
        "homeassistant/sensor/bench_a_voltage/config",
        [](const ReceivedMessage& m) { return m.payload.contains("\"bench/a/status\""); });
    EXPECT_TRUE(config);

    // A burst of readings within one status interval: the newest goes when the interval is
    // over, hardly any of those before it.
    for (int second = 1; second <= 20; ++second) {
        publisher.PublishStatus(StatusAt(second));
    }
    EXPECT_TRUE(watcher.WaitFor("bench/a/status", StatusPayload(StatusAt(20))));
    QTest::qWait(1500);
    const std::vector<QByteArray> statuses = watcher.Payloads("bench/a/status");
    EXPECT_LE(statuses.size(), 3u);
    EXPECT_EQ(statuses.back(), StatusPayload(StatusAt(20)));

    publisher.PublishRun(RunNumber(7, MqttRunState::Running));
    publisher.PublishRun(RunNumber(7, MqttRunState::Stopped));
    EXPECT_TRUE(watcher.WaitFor("bench/a/run", RunPayload(RunNumber(7, MqttRunState::Stopped))));
    EXPECT_EQ(watcher.Payloads("bench/a/run").size(), 2u);

    // A dashboard started later finds the state, the last run and the configs kept; no status.
    MqttSubscriber late(broker->Port(), "#");
    ASSERT_TRUE(late.WaitSubscribed());
    const auto keptRun =
        late.WaitFor("bench/a/run", RunPayload(RunNumber(7, MqttRunState::Stopped)));
    ASSERT_TRUE(keptRun);
    EXPECT_TRUE(keptRun->retained);
    const auto keptState = late.WaitFor("bench/a/state", "online");
    ASSERT_TRUE(keptState);
    EXPECT_TRUE(keptState->retained);
    QTest::qWait(300);
    for (const ReceivedMessage& message : late.Messages()) {
        EXPECT_TRUE(message.retained) << message.topic.toStdString();
        EXPECT_NE(message.topic, "bench/a/status");
    }
    EXPECT_EQ(late.Messages().size(), 8u) << "state, run and six sensor configs";
}

TEST_F(MqttPublisherTest, StopSendsWhatWaitsAndSaysOfflineAndIsBoundedWithoutBroker) {
    StartBroker();
    MqttSubscriber watcher(broker->Port(), "bench/#");
    ASSERT_TRUE(watcher.WaitSubscribed());
    {
        CMqttPublisher publisher(Options());
        ASSERT_TRUE(WaitConnected(publisher));
        ASSERT_TRUE(watcher.WaitFor("bench/a/state", "online"));
        // The run's end, published as the program leaves, still reaches the broker.
        publisher.PublishRun(RunNumber(3, MqttRunState::Interrupted));
    }
    std::size_t runAt = 0;
    EXPECT_TRUE(watcher.WaitFor(
        "bench/a/run",
        [](const ReceivedMessage& m) {
            return m.payload == RunPayload(RunNumber(3, MqttRunState::Interrupted));
        },
        kWaitMs, 0, &runAt));
    EXPECT_TRUE(watcher.WaitFor("bench/a/state", "offline", kWaitMs, runAt));

    // With the broker gone, leaving takes the shutdown budget at most, not a keep-alive.
    CMqttPublisher publisher(Options("bench/b"));
    ASSERT_TRUE(WaitConnected(publisher));
    broker->Stop();
    publisher.PublishRun(RunNumber(4, MqttRunState::Interrupted));
    QElapsedTimer clock;
    clock.start();
    publisher.Stop();
    EXPECT_LT(clock.elapsed(), 8000);
    EXPECT_EQ(publisher.StatusText(), "MQTT: отключено");
}

TEST_F(MqttPublisherTest, BrokerAwayAtStartIsRetriedWithOneStatusText) {
    StartBroker();
    broker->Stop();  // its port is known and nothing listens there
    CMqttPublisher publisher(Options());
    QSignalSpy texts(&publisher, &CMqttPublisher::StatusTextChanged);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return publisher.StatusText().contains("соединение отвергнуто"); }, kWaitMs))
        << publisher.StatusText().toStdString();
    EXPECT_TRUE(publisher.StatusText().startsWith("MQTT: нет связи с 127.0.0.1:"));
    // The wait doubles to its cap of 1 s and the text then stays as it is: no message per attempt.
    QTest::qWait(4000);
    EXPECT_TRUE(publisher.StatusText().endsWith("новая попытка через 1 с"));
    EXPECT_LE(texts.count(), 3);

    ASSERT_TRUE(broker->Start()) << broker->Error().toStdString();
    EXPECT_TRUE(WaitConnected(publisher)) << publisher.StatusText().toStdString();
}

TEST_F(MqttPublisherTest, BrokerRestartResumesWithTheNewestStatusAndTheKeptRuns) {
    StartBroker(/*persistent=*/true);
    // A persistent session: what is published while the watcher reconnects waits for it.
    auto watcher = std::make_unique<MqttSubscriber>(broker->Port(), "bench/#", "watcher");
    ASSERT_TRUE(watcher->WaitSubscribed());
    MqttPublisherOptions options = Options();
    options.statusIntervalMs = 0;
    CMqttPublisher publisher(options);
    ASSERT_TRUE(WaitConnected(publisher));
    publisher.PublishStatus(StatusAt(1));
    ASSERT_TRUE(watcher->WaitFor("bench/a/status", StatusPayload(StatusAt(1))));

    broker->Stop();
    ASSERT_TRUE(WaitConnected(publisher, false));
    EXPECT_TRUE(publisher.StatusText().startsWith("MQTT: нет связи"))
        << publisher.StatusText().toStdString();
    for (int second = 2; second <= 6; ++second) {
        publisher.PublishStatus(StatusAt(second));
    }
    publisher.PublishRun(RunNumber(1, MqttRunState::Running));
    publisher.PublishRun(RunNumber(1, MqttRunState::Stopped));
    ASSERT_TRUE(broker->Start()) << broker->Error().toStdString();
    ASSERT_TRUE(WaitConnected(publisher)) << publisher.StatusText().toStdString();

    EXPECT_TRUE(watcher->WaitFor("bench/a/status", StatusPayload(StatusAt(6))));
    EXPECT_TRUE(watcher->WaitFor("bench/a/run", RunPayload(RunNumber(1, MqttRunState::Stopped))));
    const std::vector<QByteArray> statuses = watcher->Payloads("bench/a/status");
    for (int second = 2; second < 6; ++second) {
        EXPECT_EQ(std::count(statuses.begin(), statuses.end(), StatusPayload(StatusAt(second))), 0)
            << second;
    }
    const std::vector<QByteArray> runs = watcher->Payloads("bench/a/run");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0], RunPayload(RunNumber(1, MqttRunState::Running)));
    // Reconnected, the bench says it is back.
    EXPECT_TRUE(watcher->WaitFor("bench/a/state", "online"));
}

TEST_F(MqttPublisherTest, LastWillMarksAKilledProgramOfflineUnderItsCurrentPrefix) {
    StartBroker();
    MqttSubscriber watcher(broker->Port(), "bench/#");
    ASSERT_TRUE(watcher.WaitSubscribed());
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(qEnvironmentVariable("BRIMVOLT_BIN") + "/mqtt-publisher-child",
                {broker->Url(), "bench/a"});
    ASSERT_TRUE(child.waitForStarted(kWaitMs));
    ASSERT_TRUE(watcher.WaitFor("bench/a/state", "online"));
    EXPECT_TRUE(watcher.WaitFor("bench/a/status", [](const ReceivedMessage&) { return true; }));

    // The module turns up on another port: the topics follow, the old prefix goes offline.
    child.write("bench/b\n");
    std::size_t movedAt = 0;
    ASSERT_TRUE(watcher.WaitFor(
        "bench/b/state", [](const ReceivedMessage& m) { return m.payload == "online"; }, kWaitMs, 0,
        &movedAt));
    EXPECT_TRUE(watcher.WaitFor("bench/a/state", "offline"));
    EXPECT_TRUE(watcher.WaitFor("bench/b/status", [](const ReceivedMessage&) { return true; }));

    child.kill();  // SIGKILL: no goodbye, the broker's keep-alive check finds it gone
    child.waitForFinished(kWaitMs);
    EXPECT_TRUE(watcher.WaitFor("bench/b/state", "offline", 60000, movedAt));
}

TEST_F(MqttPublisherTest, LoginUsesTheUserOfTheAddressAndThePasswordOfTheEnvironment) {
    broker = std::make_unique<MosquittoBroker>();
    ASSERT_TRUE(broker->RequirePassword("lab", "Secret42"));
    ASSERT_TRUE(broker->Start()) << broker->Error().toStdString();
    MqttPublisherOptions options = Options();
    options.url.user = "lab";
    options.password = "Secret42";
    {
        CMqttPublisher publisher(options);
        EXPECT_TRUE(WaitConnected(publisher)) << publisher.StatusText().toStdString();
    }
    options.password = "Wrong99";
    CMqttPublisher refused(options);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return refused.StatusText().contains("не принял имя или пароль"); }, kWaitMs))
        << refused.StatusText().toStdString();
    EXPECT_FALSE(refused.StatusText().contains("Wrong99"));
}

}  // namespace
}  // namespace brimvolt
