#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "sim/PtyTransport.h"
#include "sim/SimModule.h"

namespace brimvolt::sim {
namespace {

using namespace std::chrono_literals;

// The client end, in plain POSIX calls, as a serial backend would open the device.
class RawClient {
public:
    explicit RawClient(const std::string& path) {
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) {
            termios tio{};
            ::tcgetattr(fd, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(fd, TCSANOW, &tio);
        }
    }
    ~RawClient() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    bool Ok() const { return fd >= 0; }

    void Send(const std::string& bytes) {
        ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Collects up to n bytes, waiting at most timeout in all.
    std::string Receive(std::size_t n, std::chrono::milliseconds timeout = 30000ms) {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (got.size() < n) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                break;
            }
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                break;
            }
            char buffer[64];
            const ssize_t r = ::read(fd, buffer, std::min(sizeof buffer, n - got.size()));
            if (r > 0) {
                got.append(buffer, static_cast<std::size_t>(r));
            }
        }
        return got;
    }

private:
    int fd = -1;
};

const std::string kProbe("u\0\0\0", 4);
const std::string kPoll("a\0\0\0", 4);

TEST(SimPtyTransport, ServesTheProtocolOnTheDevice) {
    CSimModule module;
    CPtyTransport transport(module);
    ASSERT_TRUE(transport.Open()) << transport.ErrorText();
    transport.Start();
    RawClient client(transport.DevicePath());
    ASSERT_TRUE(client.Ok());

    client.Send(kProbe);
    EXPECT_EQ(client.Receive(4), "Brim");
    client.Send(kPoll);
    const std::string record = client.Receive(42);
    ASSERT_EQ(record.size(), 42u);
    EXPECT_EQ(static_cast<unsigned char>(record[2]) | static_cast<unsigned char>(record[3]) << 8,
              3000);

    // Two requests in one write get both replies, in order.
    client.Send(kProbe + kPoll);
    const std::string both = client.Receive(46);
    ASSERT_EQ(both.size(), 46u);
    EXPECT_EQ(both.substr(0, 4), "Brim");

    // Bytes of a request that come in pieces are kept until it is whole.
    client.Send(std::string("u\0", 2));
    EXPECT_EQ(client.Receive(4, 150ms), "");
    client.Send(std::string("\0\0", 2));
    EXPECT_EQ(client.Receive(4), "Brim");
}

TEST(SimPtyTransport, EveryByteValuePassesUnaltered) {
    // Raw mode: no CR/LF translation, no flow-control characters eaten, no echo.
    CSimModule module;
    CPtyTransport transport(module);
    ASSERT_TRUE(transport.Open());
    transport.Start();
    RawClient client(transport.DevicePath());
    for (int value : {0x0A, 0x0D, 0x11, 0x13, 0x03, 0x7F, 0xFF}) {
        const std::string request{'w', 7, static_cast<char>(value), 0};
        client.Send(request);
        EXPECT_EQ(client.Receive(4), request) << "byte " << value;
    }
    client.Send(kPoll);
    const std::string record = client.Receive(42);
    ASSERT_EQ(record.size(), 42u);
    EXPECT_EQ(static_cast<unsigned char>(record[14]), 0xFF);
    EXPECT_EQ(client.Receive(1, 200ms), "");  // nothing echoed back
}

TEST(SimPtyTransport, UnpluggedModuleGoesQuietAndComesBack) {
    CSimModule module;
    CPtyTransport transport(module);
    ASSERT_TRUE(transport.Open());
    transport.Start();
    RawClient client(transport.DevicePath());
    client.Send(kProbe);
    EXPECT_EQ(client.Receive(4), "Brim");

    module.SetFault(Fault::DropLink, true);
    client.Send(kPoll);
    EXPECT_EQ(client.Receive(42, 300ms), "");
    module.Reconnect();
    client.Send(kPoll);
    EXPECT_EQ(client.Receive(42).size(), 42u);
}

TEST(SimPtyTransport, LateRepliesArriveAfterTheirDelay) {
    CSimModule module;
    module.SetFault(Fault::Late, true);
    module.SetLateDelayMs(300);
    CPtyTransport transport(module);
    ASSERT_TRUE(transport.Open());
    transport.Start();
    RawClient client(transport.DevicePath());
    client.Send(kProbe);
    EXPECT_EQ(client.Receive(4, 100ms), "");
    EXPECT_EQ(client.Receive(4, 30000ms), "Brim");
}

TEST(SimPtyTransport, AStalePartialRequestIsDropped) {
    CSimModule module;
    CPtyTransport transport(module);
    ASSERT_TRUE(transport.Open());
    transport.Start();
    RawClient client(transport.DevicePath());
    client.Send(std::string("a\0", 2));
    std::this_thread::sleep_for(1200ms);
    client.Send(kProbe);
    EXPECT_EQ(client.Receive(4), "Brim");
}

TEST(SimPtyTransport, LinkIsMadeReplacedAndRemoved) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string link = dir.filePath("module").toStdString();
    ASSERT_EQ(::symlink("/nonexistent", link.c_str()), 0);
    {
        CSimModule module;
        CPtyTransport transport(module);
        ASSERT_TRUE(transport.Open(link)) << transport.ErrorText();
        char target[256] = {};
        ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(std::string(target), transport.DevicePath());
        transport.Start();
        RawClient client(link);
        client.Send(kProbe);
        EXPECT_EQ(client.Receive(4), "Brim");
    }
    struct stat st {};
    EXPECT_NE(::lstat(link.c_str(), &st), 0) << "link left behind";
}

TEST(SimPtyTransport, RefusesToReplaceAFileThatIsNotALink) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("file").toStdString();
    ::close(::open(path.c_str(), O_CREAT | O_WRONLY, 0644));
    CSimModule module;
    {
        CPtyTransport transport(module);
        EXPECT_FALSE(transport.Open(path));
        EXPECT_FALSE(transport.ErrorText().empty());
    }
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
}

TEST(SimPtyTransport, ClientsMayComeAndGo) {
    CSimModule module;
    CPtyTransport transport(module);
    ASSERT_TRUE(transport.Open());
    transport.Start();
    for (int round = 0; round < 3; ++round) {
        RawClient client(transport.DevicePath());
        client.Send(kProbe);
        EXPECT_EQ(client.Receive(4), "Brim") << "client " << round;
    }
    std::this_thread::sleep_for(100ms);  // the server idles while nobody has the device open
    RawClient last(transport.DevicePath());
    last.Send(kProbe);
    EXPECT_EQ(last.Receive(4), "Brim");
}

}  // namespace
}  // namespace brimvolt::sim
