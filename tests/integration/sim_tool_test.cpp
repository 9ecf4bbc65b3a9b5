#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

QString SimPath() {
    return qEnvironmentVariable("BRIMVOLT_BIN") + "/brimvolt-sim";
}

// The device end opened as any serial program would: plain POSIX, raw mode.
class RawClient {
public:
    explicit RawClient(const std::string& path) {
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) {
            termios tio{};
            ::tcgetattr(fd, &tio);
            ::cfmakeraw(&tio);
            ::cfsetispeed(&tio, B9600);
            ::cfsetospeed(&tio, B9600);
            ::tcsetattr(fd, TCSANOW, &tio);
        }
    }
    ~RawClient() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    bool Ok() const { return fd >= 0; }

    std::string Exchange(char command, std::size_t replySize,
                         std::chrono::milliseconds timeout = 3000ms) {
        const char request[4] = {command, 0, 0, 0};
        ::tcflush(fd, TCIFLUSH);  // a late reply to an earlier request must not shift this one
        if (::write(fd, request, 4) != 4) {
            return {};
        }
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (got.size() < replySize) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                break;
            }
            char buffer[64];
            const ssize_t r = ::read(fd, buffer, std::min(sizeof buffer, replySize - got.size()));
            if (r > 0) {
                got.append(buffer, static_cast<std::size_t>(r));
            }
        }
        return got;
    }

private:
    int fd = -1;
};

// Asks again until `done` holds of what came back: a signal or a control file is taken by the
// simulator in its own time, which a busy machine stretches.
template <typename Done>
std::string ExchangeUntil(RawClient& client, char command, std::size_t replySize, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    std::string got;
    do {
        got = client.Exchange(command, replySize, 500ms);
    } while (!done(got) && std::chrono::steady_clock::now() < deadline);
    return got;
}

int ElapsedSeconds(const std::string& record) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(record.at(i)); };
    return byte(30) + 60 * byte(31) + 3600 * byte(32);
}

// One brimvolt-sim process: started, its device path read, stopped with a signal.
class SimProcess {
public:
    explicit SimProcess(const QStringList& arguments) {
        process.start(SimPath(), arguments);
        if (process.waitForStarted(30000) && process.waitForReadyRead(10000)) {
            while (!process.canReadLine() && process.waitForReadyRead(5000)) {
            }
            device = process.readLine().trimmed().toStdString();
        }
    }
    ~SimProcess() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    void Signal(int number) { ::kill(static_cast<pid_t>(process.processId()), number); }
    // Stops with SIGTERM; true when it exited normally with status 0.
    bool Terminate() {
        Signal(SIGTERM);
        return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }

    QProcess process;
    std::string device;
};

TEST(SimTool, PrintsTheDeviceAndServesTheProtocolThere) {
    SimProcess sim({});
    ASSERT_FALSE(sim.device.empty()) << sim.process.readAllStandardError().toStdString();
    RawClient client(sim.device);
    ASSERT_TRUE(client.Ok()) << sim.device;
    EXPECT_EQ(client.Exchange('u', 4), "Brim");
    const std::string record = client.Exchange('a', 42);
    ASSERT_EQ(record.size(), 42u);
    EXPECT_EQ(record[37] & 0x08, 0);  // idle until told to start
    EXPECT_EQ(client.Exchange('p', 4).size(), 4u);
    EXPECT_EQ(client.Exchange('a', 42)[37] & 0x08, 0x08);
    EXPECT_TRUE(sim.Terminate());
}

TEST(SimTool, RunsAtOnceWithTimeAdvancingAtTheChosenSpeed) {
    SimProcess sim({"--run", "--speed", "20"});
    RawClient client(sim.device);
    ASSERT_TRUE(client.Ok());
    const std::string first = client.Exchange('a', 42);
    ASSERT_EQ(first.size(), 42u);
    EXPECT_EQ(first[37] & 0x08, 0x08);
    std::this_thread::sleep_for(1500ms);
    const std::string second = client.Exchange('a', 42);
    ASSERT_EQ(second.size(), 42u);
    const int advanced = ElapsedSeconds(second) - ElapsedSeconds(first);
    // 30 module seconds nominal; a busy machine stretches the sleep, never shortens it.
    EXPECT_GE(advanced, 25);
    EXPECT_LE(advanced, 400);
    EXPECT_TRUE(sim.Terminate());
}

TEST(SimTool, LinkPointsAtTheDeviceUntilExit) {
    QTemporaryDir dir;
    const QString link = dir.filePath("ttyBRIM");
    ASSERT_TRUE(QFile::link("/dev/null", link));  // an old link is replaced
    SimProcess sim({"--link", link});
    ASSERT_FALSE(sim.device.empty());
    EXPECT_EQ(QFile::symLinkTarget(link).toStdString(), sim.device);
    RawClient client(link.toStdString());
    EXPECT_EQ(client.Exchange('u', 4), "Brim");
    EXPECT_TRUE(sim.Terminate());
    struct stat st {};
    EXPECT_NE(::lstat(link.toLocal8Bit().constData(), &st), 0) << "link left behind";
}

TEST(SimTool, InterruptAlsoEndsCleanly) {
    SimProcess sim({});
    ASSERT_FALSE(sim.device.empty());
    sim.Signal(SIGINT);
    ASSERT_TRUE(sim.process.waitForFinished(10000));
    EXPECT_EQ(sim.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.process.exitCode(), 0);
}

TEST(SimTool, UserSignalUnplugsAndReplugsTheModule) {
    SimProcess sim({"--run", "--speed", "10"});
    RawClient client(sim.device);
    ASSERT_EQ(client.Exchange('a', 42).size(), 42u);
    sim.Signal(SIGUSR1);
    EXPECT_EQ(ExchangeUntil(client, 'a', 42, [](const std::string& got) { return got.empty(); }),
              "");
    sim.Signal(SIGUSR1);
    const std::string record =
        ExchangeUntil(client, 'a', 42, [](const std::string& got) { return got.size() == 42; });
    ASSERT_EQ(record.size(), 42u);
    EXPECT_EQ(record[37] & 0x08, 0x08);  // the run went on while the cable was out
    EXPECT_TRUE(sim.Terminate());
}

TEST(SimTool, FaultsFromTheCommandLineAndTheControlFile) {
    QTemporaryDir dir;
    const QString control = dir.filePath("faults");
    SimProcess sim({"--fault", "wrongprobe", "--control", control});
    RawClient client(sim.device);
    const std::string probe = client.Exchange('u', 4);
    EXPECT_EQ(probe.size(), 4u);
    EXPECT_NE(probe, "Brim");

    QFile file(control);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("short nodac\n");
    file.close();
    // The control file replaces the set.
    EXPECT_EQ(ExchangeUntil(client, 'u', 4, [](const std::string& got) { return got == "Bri"; }),
              "Bri");
    EXPECT_EQ(client.Exchange('a', 42, 500ms).size(), 20u);

    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("nodac");
    file.close();
    const std::string record =
        ExchangeUntil(client, 'a', 42, [](const std::string& got) { return got.size() == 42; });
    ASSERT_EQ(record.size(), 42u);
    EXPECT_EQ(static_cast<unsigned char>(record[37]) & 0x80, 0x80);
    EXPECT_TRUE(sim.Terminate());
}

TEST(SimTool, HelpAndBadOptions) {
    QProcess help;
    help.start(SimPath(), {"--help"});
    ASSERT_TRUE(help.waitForFinished(10000));
    EXPECT_EQ(help.exitCode(), 0);
    const QString text = QString::fromUtf8(help.readAllStandardOutput());
    for (const char* word : {"--speed", "--run", "--time", "--link", "--fault", "droplink",
                             "silent", "wrongprobe", "short", "SIGUSR1", "--fade"}) {
        EXPECT_TRUE(text.contains(word)) << word;
    }

    const QStringList bad[] = {{"--bogus"},          {"--speed", "fast"}, {"--speed", "0"},
                               {"--fault", "smoke"}, {"--link"},          {"--speed=-3"},
                               {"--time", "921600"}, {"--time", "-1"},    {"--fade", "60"},
                               {"--fade=some"}};
    for (const QStringList& arguments : bad) {
        QProcess sim;
        sim.start(SimPath(), arguments);
        ASSERT_TRUE(sim.waitForFinished(10000));
        EXPECT_EQ(sim.exitCode(), 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(sim.readAllStandardOutput().isEmpty());
        EXPECT_TRUE(sim.readAllStandardError().contains("Usage"));
    }
}

}  // namespace
