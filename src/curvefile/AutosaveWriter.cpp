#include "curvefile/AutosaveWriter.h"

#include <utility>

namespace brimvolt {

CAutosaveWriter::CAutosaveWriter() : thread([this] { Run(); }) {}

CAutosaveWriter::~CAutosaveWriter() {
    {
        const std::lock_guard lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    thread.join();
}

void CAutosaveWriter::Post(std::unique_ptr<CurveStore> snapshot, const QString& dataFolder) {
    std::unique_ptr<CurveStore> stale;  // let go of outside the lock
    {
        const std::lock_guard lock(mutex);
        stale = std::exchange(waiting, std::move(snapshot));
        waitingFolder = dataFolder;
    }
    changed.notify_all();
}

void CAutosaveWriter::WaitUntilWritten() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return !waiting && !writing; });
}

void CAutosaveWriter::Run() {
    std::unique_lock lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return waiting || stopping; });
        // What is waiting when asked to stop is still written: the exit keeps the last point.
        if (!waiting) {
            return;
        }
        const std::unique_ptr<CurveStore> snapshot = std::move(waiting);
        const QString folder = waitingFolder;
        writing = true;
        lock.unlock();
        emit Done(Autosave(*snapshot, folder));
        lock.lock();
        writing = false;
        changed.notify_all();
    }
}

}  // namespace brimvolt
