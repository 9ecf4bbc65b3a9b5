#include "sim/PtyTransport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sim/SimModule.h"

namespace brimvolt::sim {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kResyncGap = std::chrono::milliseconds(500);

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

}  // namespace

CPtyTransport::CPtyTransport(CSimModule& simModule) : module(simModule) {}

CPtyTransport::~CPtyTransport() {
    Stop();
    if (!linkPath.empty()) {
        // Only remove the link while it is still ours: another simulator may have taken it over.
        std::vector<char> target(devicePath.size() + 2);
        const ssize_t n = ::readlink(linkPath.c_str(), target.data(), target.size());
        if (n >= 0 && std::string(target.data(), static_cast<std::size_t>(n)) == devicePath) {
            ::unlink(linkPath.c_str());
        }
    }
    if (masterFd >= 0) {
        ::close(masterFd);
    }
    for (int fd : wakeFds) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool CPtyTransport::Fail(const std::string& what) {
    errorText = what;
    return false;
}

bool CPtyTransport::Open(const std::string& requestedLink) {
    if (masterFd >= 0) {
        return Fail("already open");
    }
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0) {
        return Fail(ErrnoText("posix_openpt"));
    }
    char name[256] = {};
    if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || ::ptsname_r(fd, name, sizeof name) != 0) {
        const std::string text = ErrnoText("pseudo-terminal setup");
        ::close(fd);
        return Fail(text);
    }
    masterFd = fd;
    devicePath = name;
    ::fcntl(masterFd, F_SETFL, ::fcntl(masterFd, F_GETFL) | O_NONBLOCK);

    // Raw mode on the slave side, set once here: the line discipline must neither echo our
    // replies back nor translate any byte before a client has set its own mode.
    const int slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave < 0) {
        return Fail(ErrnoText("open " + devicePath));
    }
    termios tio{};
    if (::tcgetattr(slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B9600);
        ::cfsetospeed(&tio, B9600);
        tio.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(slave, TCSANOW, &tio);
    }
    ::close(slave);

    if (::pipe(wakeFds) != 0) {
        return Fail(ErrnoText("pipe"));
    }
    ::fcntl(wakeFds[0], F_SETFL, ::fcntl(wakeFds[0], F_GETFL) | O_NONBLOCK);

    if (!requestedLink.empty()) {
        struct stat st {};
        if (::lstat(requestedLink.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
            return Fail(requestedLink + " exists and is not a symbolic link");
        }
        // Build the new link beside the old one and rename it over, so the path never dangles.
        const std::string temporary = requestedLink + ".tmp" + std::to_string(::getpid());
        ::unlink(temporary.c_str());
        if (::symlink(devicePath.c_str(), temporary.c_str()) != 0) {
            return Fail(ErrnoText("symlink " + requestedLink));
        }
        if (::rename(temporary.c_str(), requestedLink.c_str()) != 0) {
            const std::string text = ErrnoText("rename to " + requestedLink);
            ::unlink(temporary.c_str());
            return Fail(text);
        }
        linkPath = requestedLink;
    }
    return true;
}

void CPtyTransport::Start() {
    if (masterFd < 0 || worker.joinable()) {
        return;
    }
    stopping = false;
    worker = std::thread([this] { Serve(); });
}

void CPtyTransport::Stop() {
    if (!worker.joinable()) {
        return;
    }
    stopping = true;
    const char wake = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFds[1], &wake, 1);
    worker.join();
    char drain[16];
    while (::read(wakeFds[0], drain, sizeof drain) > 0) {
    }
}

bool CPtyTransport::WaitForStop(int milliseconds) {
    pollfd wake{wakeFds[0], POLLIN, 0};
    return ::poll(&wake, 1, milliseconds) > 0 || stopping;
}

void CPtyTransport::WriteAll(const std::uint8_t* data, std::size_t n) {
    const auto deadline = Clock::now() + std::chrono::seconds(1);
    while (n > 0 && !stopping) {
        const ssize_t written = ::write(masterFd, data, n);
        if (written > 0) {
            data += written;
            n -= static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR) {
            return;  // nobody on the other end: the reply is lost, as on a cut cable
        }
        if (Clock::now() > deadline) {
            return;
        }
        pollfd out{masterFd, POLLOUT, 0};
        ::poll(&out, 1, 10);
    }
}

void CPtyTransport::Serve() {
    std::vector<std::uint8_t> pending;
    Clock::time_point lastByte{};
    while (!stopping) {
        pollfd fds[2] = {{masterFd, POLLIN, 0}, {wakeFds[0], POLLIN, 0}};
        if (::poll(fds, 2, 100) < 0 && errno != EINTR) {
            return;
        }
        if (stopping || (fds[1].revents & POLLIN) != 0) {
            return;
        }
        if ((fds[0].revents & POLLIN) == 0) {
            if ((fds[0].revents & (POLLHUP | POLLERR)) != 0) {
                // No client has the device open; the master reports a hang-up until one does.
                pending.clear();
                if (WaitForStop(20)) {
                    return;
                }
            }
            continue;
        }

        std::uint8_t buffer[256];
        const ssize_t got = ::read(masterFd, buffer, sizeof buffer);
        if (got <= 0) {
            continue;
        }
        const auto now = Clock::now();
        if (!pending.empty() && now - lastByte > kResyncGap) {
            pending.clear();
        }
        lastByte = now;
        pending.insert(pending.end(), buffer, buffer + got);

        std::size_t used = 0;
        while (pending.size() - used >= kRequestSize && !stopping) {
            SimRequest request{};
            std::memcpy(request.data(), pending.data() + used, kRequestSize);
            used += kRequestSize;
            for (const SimChunk& chunk : module.Respond(request)) {
                if (chunk.delayMs > 0 && WaitForStop(chunk.delayMs)) {
                    return;
                }
                WriteAll(chunk.bytes.data(), chunk.bytes.size());
            }
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(used));
    }
}

}  // namespace brimvolt::sim
