#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <memory>

#include "platform/QtSerialPort.h"
#include "support/PtyPeer.h"

using namespace brimvolt;
using brimvolt::testing::PtyPeer;

namespace {

using Clock = std::chrono::steady_clock;

// Gaps far beyond the 50 ms interval, so a loaded machine cannot blur the line between a pause
// inside an answer and a late answer.
constexpr int kLongGapMs = 300;

QByteArray Record42() {
    QByteArray bytes;
    for (int i = 0; i < 42; ++i) {
        bytes.append(static_cast<char>(i + 1));
    }
    return bytes;
}

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    std::unique_ptr<PtyPeer> MakePeer(const QString& name) {
        auto peer = std::make_unique<PtyPeer>(dir.filePath(name));
        EXPECT_TRUE(peer->IsOpen());
        return peer;
    }

    static std::unique_ptr<platform::CSerialPort> OpenConfigured(const QString& path) {
        auto ports = platform::MakePathPorts({path});
        auto port = ports->Open(path);
        if (port) {
            port->ApplyLineSettings();
        }
        return port;
    }

    static void Send(platform::CSerialPort& port, char command) {
        const std::uint8_t request[4] = {static_cast<std::uint8_t>(command), 0, 0, 0};
        EXPECT_EQ(port.Write(request, 4), 4u);
    }

    static QByteArray ReadSome(platform::CSerialPort& port, std::size_t n) {
        QByteArray bytes(static_cast<qsizetype>(n), '\0');
        const std::size_t count = port.Read(reinterpret_cast<std::uint8_t*>(bytes.data()), n);
        bytes.truncate(static_cast<qsizetype>(count));
        return bytes;
    }

    QTemporaryDir dir;
};

}  // namespace

TEST_F(SerialPortTest, ReadReturnsTheWholeAnswerAndRequestsArriveIntact) {
    auto peer = MakePeer("whole");
    // The record in three writes: one read still collects it.
    const QByteArray record = Record42();
    peer->Answer('a', {{0, record.left(10)}, {0, record.mid(10, 20)}, {0, record.mid(30)}});
    auto port = OpenConfigured(peer->Path());
    ASSERT_NE(port, nullptr);

    Send(*port, 'a');
    EXPECT_EQ(ReadSome(*port, 42), record);
    ASSERT_TRUE(peer->WaitForRequests(1, 2000));
    EXPECT_EQ(peer->Requests()[0].bytes, QByteArray("a\0\0\0", 4));
}

TEST_F(SerialPortTest, FirstByteMayComeAnyTimeWithinTheTotalBound) {
    // 42 bytes may take 440 ms; the 50 ms gap rule starts only with the first byte.
    auto peer = MakePeer("slowstart");
    peer->Answer('a', PtyPeer::Late(150, Record42()));
    auto port = OpenConfigured(peer->Path());
    ASSERT_NE(port, nullptr);

    Send(*port, 'a');
    EXPECT_EQ(ReadSome(*port, 42), Record42());
}

TEST_F(SerialPortTest, PauseBetweenBytesEndsTheReadAndTheRestWaitsForTheNext) {
    auto peer = MakePeer("gap");
    peer->Answer('a', {{0, "\x01\x02"}, {kLongGapMs, "\x03\x04"}});
    auto port = OpenConfigured(peer->Path());
    ASSERT_NE(port, nullptr);

    Send(*port, 'a');
    EXPECT_EQ(ReadSome(*port, 42), QByteArray("\x01\x02"));
    EXPECT_EQ(ReadSome(*port, 42), QByteArray("\x03\x04"));
}

TEST_F(SerialPortTest, SilenceWaitsOutTheTotalBound) {
    auto peer = MakePeer("silent");
    auto port = OpenConfigured(peer->Path());
    ASSERT_NE(port, nullptr);

    Send(*port, 'u');
    const auto start = Clock::now();
    EXPECT_TRUE(ReadSome(*port, 4).isEmpty());
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(55));
    EXPECT_LT(waited, std::chrono::seconds(5));
}

TEST_F(SerialPortTest, LateAnswerIsShortAndNothingOfItIsLost) {
    auto peer = MakePeer("late");
    peer->Answer('u', PtyPeer::Late(kLongGapMs, "Brim"));
    auto port = OpenConfigured(peer->Path());
    ASSERT_NE(port, nullptr);

    Send(*port, 'u');
    EXPECT_TRUE(ReadSome(*port, 4).isEmpty());
    QThread::msleep(5 * kLongGapMs);  // well past the late answer, on a busy machine too
    // The late bytes are still queued: the next read gets them whole.
    EXPECT_EQ(ReadSome(*port, 4), QByteArray("Brim"));
}

TEST_F(SerialPortTest, BytesSentWhileThePortWasClosedAreNotReadAfterReopening) {
    auto peer = MakePeer("reopened");
    peer->Answer('u', PtyPeer::Late(kLongGapMs, "Brim"));
    auto port = OpenConfigured(peer->Path());
    ASSERT_NE(port, nullptr);
    Send(*port, 'u');
    EXPECT_TRUE(ReadSome(*port, 4).isEmpty());
    port.reset();
    // The late answer arrives while nobody holds the port.
    QThread::msleep(5 * kLongGapMs);  // well past the late answer, on a busy machine too

    port = OpenConfigured(peer->Path());
    ASSERT_NE(port, nullptr);
    peer->Answer('a', PtyPeer::Bytes(Record42()));
    Send(*port, 'a');
    EXPECT_EQ(ReadSome(*port, 42), Record42());
}

TEST_F(SerialPortTest, PortIsHeldExclusivelyUntilClosed) {
    auto peer = MakePeer("exclusive");
    auto ports = platform::MakePathPorts({peer->Path()});
    auto first = ports->Open(peer->Path());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(ports->Open(peer->Path()), nullptr);
    EXPECT_EQ(platform::MakePathPorts({})->Open(peer->Path()), nullptr);
    first.reset();
    EXPECT_FALSE(peer->SlaveOpen());
    EXPECT_NE(ports->Open(peer->Path()), nullptr);
}

TEST_F(SerialPortTest, PortListsNameTheGivenPaths) {
    auto peer = MakePeer("listed");
    const QString missing = dir.filePath("missing");
    EXPECT_EQ(platform::MakePathPorts({peer->Path(), missing})->PortNames(),
              QStringList({peer->Path(), missing}));
    EXPECT_EQ(platform::MakePathPorts({missing})->Open(missing), nullptr);

    auto system = platform::MakeSystemPorts({peer->Path()});
    EXPECT_TRUE(system->PortNames().contains(peer->Path()));
    EXPECT_NE(system->Open(peer->Path()), nullptr);
}
