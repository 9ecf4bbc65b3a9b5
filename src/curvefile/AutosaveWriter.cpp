#include "curvefile/AutosaveWriter.h"

#include <utility>

namespace brimvolt {

namespace {
// One for the copy being written and one for the next: the window never has to wait for fresh
// memory in the normal course.
constexpr std::size_t kSpares = 2;
}  // namespace

CAutosaveWriter::CAutosaveWriter() : thread([this] { Run(); }) {}

CAutosaveWriter::~CAutosaveWriter() {
    {
        const std::lock_guard lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    thread.join();
}

std::unique_ptr<CurveStore> CAutosaveWriter::TakeSpare() {
    {
        const std::lock_guard lock(mutex);
        if (!spares.empty()) {
            std::unique_ptr<CurveStore> spare = std::move(spares.back());
            spares.pop_back();
            return spare;
        }
        if (waiting) {
            return std::move(waiting);
        }
    }
    return std::make_unique<CurveStore>();
}

void CAutosaveWriter::Post(std::unique_ptr<CurveStore> snapshot, const QString& dataFolder,
                           const QString& name) {
    std::unique_ptr<CurveStore> stale;  // let go of outside the lock, when not kept
    {
        const std::lock_guard lock(mutex);
        stale = std::exchange(waiting, std::move(snapshot));
        if (stale && spares.size() < kSpares) {
            spares.push_back(std::move(stale));
        }
        waitingFolder = dataFolder;
        waitingName = name;
    }
    changed.notify_all();
}

void CAutosaveWriter::WaitUntilWritten() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return !waiting && !writing; });
}

void CAutosaveWriter::Run() {
    // The stores the copies go into are made here, off the window's thread.
    std::vector<std::unique_ptr<CurveStore>> made;
    for (std::size_t i = 0; i < kSpares; ++i) {
        made.push_back(std::make_unique<CurveStore>());
    }
    std::unique_lock lock(mutex);
    for (auto& store : made) {
        if (spares.size() < kSpares) {
            spares.push_back(std::move(store));
        }
    }
    for (;;) {
        changed.wait(lock, [this] { return waiting || stopping; });
        // What is waiting when asked to stop is still written: the exit keeps the last point.
        if (!waiting) {
            return;
        }
        std::unique_ptr<CurveStore> snapshot = std::move(waiting);
        const QString folder = waitingFolder;
        const QString name = waitingName;
        writing = true;
        lock.unlock();
        emit Done(Autosave(*snapshot, folder, name));
        lock.lock();
        writing = false;
        if (spares.size() < kSpares) {
            spares.push_back(std::move(snapshot));
        }
        changed.notify_all();
        if (snapshot) {
            lock.unlock();
            snapshot.reset();
            lock.lock();
        }
    }
}

}  // namespace brimvolt
