#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "mqtt/MqttPublisher.h"
#include "support/Eventually.h"
#include "support/MosquittoBroker.h"
#include "support/MqttSubscriber.h"

// The publisher against a real mosquitto broker on 127.0.0.1, watched by a subscriber as a
// dashboard would be. The waits are generous: the machine is shared.

namespace brimvolt {
namespace {

using testing::MosquittoBroker;
using testing::MqttSubscriber;

MqttStatus StatusAt(int seconds) {
    MqttStatus status;
    status.timeUtc = QDateTime(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC).addSecs(seconds);
    status.voltageMv = static_cast<std::uint16_t>(4200 - seconds);
    status.elapsedSeconds = seconds;
    return status;
}

MqttRun RunRecord(int id, MqttRunState state = MqttRunState::Running) {
    MqttRun run;
    run.id = id;
    run.state = state;
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
        options.retryFirstMs = 200;
        options.retryMaxMs = 1000;
        return options;
    }

    static bool WaitConnected(const CMqttPublisher& publisher, bool connected = true) {
        return QTest::qWaitFor([&] { return publisher.IsConnected() == connected; }, 30000);
    }

    std::unique_ptr<MosquittoBroker> broker;
};

TEST_F(MqttPublisherTest, PublishesStateDiscoveryTheNewestStatusAndRetainedRuns) {
    StartBroker();
    MqttSubscriber watcher(broker->Port(), "#");
    ASSERT_TRUE(watcher.WaitSubscribed());
    CMqttPublisher publisher(Options());
    ASSERT_TRUE(WaitConnected(publisher)) << publisher.StatusText().toStdString();
    EXPECT_EQ(publisher.StatusText(), "MQTT: подключено к " + broker->Url().mid(7));
    EXPECT_GE(watcher.WaitFor("bench/a/state", "online"), 0);
    EXPECT_GE(watcher.WaitFor("homeassistant/sensor/bench_a_voltage/config"), 0);

    // A burst within one status interval: hardly any but the newest goes out.
    for (int second = 1; second <= 20; ++second) {
        publisher.PublishStatus(StatusAt(second));
    }
    EXPECT_GE(watcher.WaitFor("bench/a/status", StatusPayload(StatusAt(20))), 0);
    QTest::qWait(1500);
    EXPECT_LE(watcher.Payloads("bench/a/status").size(), 3u);
    EXPECT_EQ(watcher.Payloads("bench/a/status").back(), StatusPayload(StatusAt(20)));

    publisher.PublishRun(RunRecord(7));
    publisher.PublishRun(RunRecord(7, MqttRunState::Stopped));
    EXPECT_GE(watcher.WaitFor("bench/a/run", RunPayload(RunRecord(7, MqttRunState::Stopped))), 0);
    EXPECT_EQ(watcher.Payloads("bench/a/run").size(), 2u);

    // A dashboard started later finds the state, the last run and the six configs; no status.
    MqttSubscriber late(broker->Port(), "#");
    ASSERT_GE(late.WaitFor("bench/a/run", RunPayload(RunRecord(7, MqttRunState::Stopped))), 0);
    // The broker hands the kept messages in an order of its own: all of them, then no more.
    static_cast<void>(
        QTest::qWaitFor([&] { return late.Messages().size() >= 8u; }, kEventuallyMs));
    QTest::qWait(500);
    const std::vector<testing::ReceivedMessage> kept = late.Messages();
    EXPECT_EQ(kept.size(), 8u);
    for (const testing::ReceivedMessage& message : kept) {
        EXPECT_TRUE(message.retained && message.topic != "bench/a/status")
            << message.topic.toStdString();
    }
}

TEST_F(MqttPublisherTest, LeavingSendsWhatWaitsThenOfflineAndTakesBoundedTimeWithoutBroker) {
    StartBroker();
    MqttSubscriber watcher(broker->Port(), "bench/#");
    ASSERT_TRUE(watcher.WaitSubscribed());
    {
        CMqttPublisher publisher(Options());
        ASSERT_TRUE(WaitConnected(publisher));
        publisher.PublishRun(RunRecord(3, MqttRunState::Interrupted));
    }
    const int runAt =
        watcher.WaitFor("bench/a/run", RunPayload(RunRecord(3, MqttRunState::Interrupted)));
    EXPECT_GE(runAt, 0);
    EXPECT_GT(watcher.WaitFor("bench/a/state", "offline", runAt), runAt);

    CMqttPublisher publisher(Options("bench/b"));
    ASSERT_TRUE(WaitConnected(publisher));
    broker->Stop();
    publisher.PublishRun(RunRecord(4));
    QElapsedTimer clock;
    clock.start();
    publisher.Stop();
    // Bounded, not fast: the goodbye is given up on about two seconds in; the margin is a busy
    // machine's.
    EXPECT_LT(clock.elapsed(), 20000);
    EXPECT_EQ(publisher.StatusText(), "MQTT: отключено");
}

TEST_F(MqttPublisherTest, BrokerRestartResumesWithTheNewestStatusAndTheKeptRuns) {
    StartBroker(/*persistent=*/true);
    // A persistent session: what is published while the watcher reconnects waits for it.
    MqttSubscriber watcher(broker->Port(), "bench/#", "watcher");
    ASSERT_TRUE(watcher.WaitSubscribed());
    MqttPublisherOptions options = Options();
    options.statusIntervalMs = 0;
    CMqttPublisher publisher(options);
    QSignalSpy texts(&publisher, &CMqttPublisher::StatusTextChanged);
    ASSERT_TRUE(WaitConnected(publisher));

    broker->Stop();
    ASSERT_TRUE(WaitConnected(publisher, false));
    for (int second = 1; second <= 5; ++second) {
        publisher.PublishStatus(StatusAt(second));
    }
    publisher.PublishRun(RunRecord(1));
    publisher.PublishRun(RunRecord(1, MqttRunState::Stopped));
    // The wait doubles to its cap of 1 s, and the one text says so without changing each time.
    QTest::qWait(3000);
    EXPECT_TRUE(publisher.StatusText().startsWith("MQTT: нет связи с 127.0.0.1:"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return publisher.StatusText().endsWith("новая попытка через 1 с"); }, kEventuallyMs))
        << publisher.StatusText().toStdString();
    EXPECT_LE(texts.count(), 3);

    ASSERT_TRUE(broker->Start()) << broker->Error().toStdString();
    ASSERT_TRUE(WaitConnected(publisher)) << publisher.StatusText().toStdString();
    EXPECT_GE(watcher.WaitFor("bench/a/status", StatusPayload(StatusAt(5))), 0);
    EXPECT_GE(watcher.WaitFor("bench/a/run", RunPayload(RunRecord(1, MqttRunState::Stopped))), 0);
    EXPECT_EQ(watcher.Payloads("bench/a/status"),
              std::vector<QByteArray>{StatusPayload(StatusAt(5))});
    EXPECT_EQ(watcher.Payloads("bench/a/run"),
              (std::vector<QByteArray>{RunPayload(RunRecord(1, MqttRunState::Running)),
                                       RunPayload(RunRecord(1, MqttRunState::Stopped))}));
}

TEST_F(MqttPublisherTest, LastWillMarksAKilledProgramOfflineUnderItsCurrentPrefix) {
    StartBroker();
    MqttSubscriber watcher(broker->Port(), "bench/#");
    ASSERT_TRUE(watcher.WaitSubscribed());
    QProcess child;
    child.start(qEnvironmentVariable("BRIMVOLT_BIN") + "/mqtt-publisher-child",
                {broker->Url(), "bench/a"});
    ASSERT_GE(watcher.WaitFor("bench/a/status"), 0);

    // The module turns up on another port: the topics follow, the old prefix goes offline.
    child.write("bench/b\n");
    const int movedAt = watcher.WaitFor("bench/b/state", "online");
    ASSERT_GE(movedAt, 0);
    EXPECT_GE(watcher.WaitFor("bench/a/state", "offline"), 0);
    EXPECT_GE(watcher.WaitFor("bench/b/status"), 0);

    child.kill();  // SIGKILL: no goodbye
    child.waitForFinished(30000);
    EXPECT_GT(watcher.WaitFor("bench/b/state", "offline", movedAt, 60000), movedAt);
}

TEST_F(MqttPublisherTest, LogsInWithTheUserOfTheAddressAndNeverShowsThePassword) {
    broker = std::make_unique<MosquittoBroker>();
    ASSERT_TRUE(broker->RequirePassword("lab", "Secret42"));
    ASSERT_TRUE(broker->Start()) << broker->Error().toStdString();
    MqttPublisherOptions options = Options();
    options.url.user = "lab";
    options.password = "Secret42";
    EXPECT_TRUE(WaitConnected(CMqttPublisher(options)));

    options.password = "Wrong99";
    CMqttPublisher refused(options);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return refused.StatusText().contains("имя или пароль"); }, 30000))
        << refused.StatusText().toStdString();
    EXPECT_FALSE(refused.StatusText().contains("Wrong99"));
}

}  // namespace
}  // namespace brimvolt
