#include "support/PtyPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

namespace brimvolt::testing {

namespace {

std::atomic<std::uint64_t> nextSequence{1};

constexpr int kPollMs = 5;
// While no program holds the device, the master reports a hang-up at once; this keeps the loop
// from spinning on it.
constexpr int kIdleMs = 2;

}  // namespace

PtyPeer::PtyPeer(const QString& linkPath, int requestSize)
    : requestSize(requestSize > 0 ? requestSize : 1) {
    termios raw{};
    cfmakeraw(&raw);
    cfsetispeed(&raw, B9600);
    cfsetospeed(&raw, B9600);
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, &raw, nullptr) != 0) {
        master = -1;
        return;
    }
    ::close(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    devicePath = QString::fromLocal8Bit(name);
    if (!linkPath.isEmpty()) {
        QFile::remove(linkPath);
        if (::symlink(name, QFile::encodeName(linkPath).constData()) != 0) {
            ::close(master);
            master = -1;
            return;
        }
        this->linkPath = linkPath;
    }
    thread = std::thread([this] { Run(); });
}

PtyPeer::~PtyPeer() {
    stopping = true;
    if (thread.joinable()) {
        thread.join();
    }
    if (master >= 0) {
        ::close(master);
    }
    if (!linkPath.isEmpty()) {
        QFile::remove(linkPath);
    }
}

void PtyPeer::Answer(char command, PtyAnswer answer) {
    std::lock_guard lock(mutex);
    answers[command] = std::move(answer);
}

void PtyPeer::AnswerOthers(PtyAnswer answer) {
    std::lock_guard lock(mutex);
    otherAnswer = std::move(answer);
    haveOtherAnswer = true;
}

void PtyPeer::Send(const QByteArray& bytes) {
    SendAll(bytes);
}

std::vector<PtyPeer::Request> PtyPeer::Requests() const {
    std::lock_guard lock(mutex);
    return requests;
}

std::size_t PtyPeer::RequestCount() const {
    std::lock_guard lock(mutex);
    return requests.size();
}

bool PtyPeer::WaitForRequests(std::size_t count, int timeoutMs) const {
    std::unique_lock lock(mutex);
    return requestCame.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return requests.size() >= count; });
}

bool PtyPeer::SlaveOpen() const {
    if (master < 0) {
        return false;
    }
    pollfd fd{master, 0, 0};
    return ::poll(&fd, 1, 0) >= 0 && (fd.revents & POLLHUP) == 0;
}

void PtyPeer::Run() {
    QByteArray pending;
    while (!stopping) {
        pollfd fd{master, POLLIN, 0};
        const int ready = ::poll(&fd, 1, kPollMs);
        if (ready <= 0) {
            continue;
        }
        if ((fd.revents & POLLIN) == 0) {
            // Nobody holds the device: what a closed port left half-written is no request.
            pending.clear();
            std::this_thread::sleep_for(std::chrono::milliseconds(kIdleMs));
            continue;
        }
        char buffer[256];
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got <= 0) {
            pending.clear();
            std::this_thread::sleep_for(std::chrono::milliseconds(kIdleMs));
            continue;
        }
        pending.append(buffer, got);
        while (pending.size() >= requestSize) {
            const QByteArray request = pending.left(requestSize);
            pending.remove(0, requestSize);
            {
                std::lock_guard lock(mutex);
                requests.push_back({request, nextSequence++, std::chrono::steady_clock::now()});
            }
            requestCame.notify_all();
            Respond(request);
        }
    }
}

void PtyPeer::Respond(const QByteArray& request) {
    PtyAnswer answer;
    {
        std::lock_guard lock(mutex);
        const auto found = answers.find(request[0]);
        if (found != answers.end()) {
            answer = found->second;
        } else if (haveOtherAnswer) {
            answer = otherAnswer;
        }
    }
    for (const PtyChunk& chunk : answer) {
        if (!SleepUnlessStopped(chunk.delayMs)) {
            return;
        }
        SendAll(chunk.bytes);
    }
}

void PtyPeer::SendAll(const QByteArray& bytes) {
    qsizetype sent = 0;
    while (sent < bytes.size() && !stopping && master >= 0) {
        const ssize_t n = ::write(master, bytes.constData() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

bool PtyPeer::SleepUnlessStopped(int milliseconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < until) {
        if (stopping) {
            return false;
        }
        std::this_thread::sleep_until(
            std::min(until, std::chrono::steady_clock::now() + std::chrono::milliseconds(kPollMs)));
    }
    return !stopping;
}

}  // namespace brimvolt::testing
