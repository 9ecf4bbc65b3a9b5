#include "link/BoundedPorts.h"

#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace brimvolt {

// What the caller and the helper share about one open: the caller may be gone by the time the
// helper returns, so neither holds the other.
struct CBoundedPorts::Attempt {
    QString name;
    std::mutex mutex;
    std::condition_variable returned;
    bool done = false;       // the open has come back
    bool abandoned = false;  // the caller stopped waiting
    std::unique_ptr<platform::CSerialPort> port;
};

CBoundedPorts::CBoundedPorts(platform::CPortSystem& ports, std::chrono::milliseconds openBound)
    : ports(ports), openBound(openBound) {}

CBoundedPorts::~CBoundedPorts() {
    for (Helper& helper : helpers) {
        bool done = false;
        {
            std::lock_guard lock(helper.attempt->mutex);
            done = helper.attempt->done;
        }
        if (done) {
            // Past its open, the helper only has to return.
            helper.thread->wait();
            delete helper.thread;
        }
        // A helper still inside the open cannot be stopped or waited for: it and its thread
        // object stay until the process ends, and a port it opens then is closed by the helper.
    }
}

QStringList CBoundedPorts::PortNames() {
    {
        std::lock_guard lock(mutex);
        ReapFinishedHelpers();
    }
    return ports.PortNames();
}

bool CBoundedPorts::Stuck(const QString& name) const {
    std::lock_guard lock(mutex);
    return StuckLocked(name);
}

bool CBoundedPorts::StuckLocked(const QString& name) const {
    return std::any_of(helpers.begin(), helpers.end(), [&name](const Helper& helper) {
        std::lock_guard lock(helper.attempt->mutex);
        return helper.attempt->name == name && !helper.attempt->done;
    });
}

std::unique_ptr<platform::CSerialPort> CBoundedPorts::Open(const QString& name) {
    auto attempt = std::make_shared<Attempt>();
    attempt->name = name;
    // Checked and started under one lock: two workers opening a name at once start one helper.
    std::unique_lock helpersLock(mutex);
    ReapFinishedHelpers();
    if (StuckLocked(name)) {
        return nullptr;
    }
    QThread* const caller = QThread::currentThread();
    platform::CPortSystem* const system = &ports;
    QThread* thread = QThread::create([attempt, caller, system] {
        std::unique_ptr<platform::CSerialPort> port = system->Open(attempt->name);
        std::unique_lock lock(attempt->mutex);
        attempt->done = true;
        if (attempt->abandoned) {
            lock.unlock();
            // Opened too late for anyone: closed here, on the thread that opened it.
            port.reset();
            return;
        }
        if (port) {
            port->MoveToThread(caller);
        }
        attempt->port = std::move(port);
        attempt->returned.notify_all();
    });
    helpers.push_back(Helper{thread, attempt});
    thread->start();
    helpersLock.unlock();

    std::unique_lock lock(attempt->mutex);
    if (!attempt->returned.wait_for(lock, openBound, [&attempt] { return attempt->done; })) {
        attempt->abandoned = true;
        return nullptr;
    }
    return std::move(attempt->port);
}

void CBoundedPorts::ReapFinishedHelpers() {
    std::erase_if(helpers, [](Helper& helper) {
        if (!helper.thread->isFinished()) {
            return false;
        }
        delete helper.thread;
        return true;
    });
}

}  // namespace brimvolt
