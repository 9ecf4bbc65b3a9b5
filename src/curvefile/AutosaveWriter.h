#pragma once

#include <QObject>
#include <QString>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "curvefile/CurveFileWriter.h"
#include "plot/CurveStore.h"

namespace brimvolt {

/**
 * Writes the autosave on a thread of its own, from a copy of the store, so the window never
 * waits on the disk. One write at a time; a copy handed over while another is being written
 * waits, and a newer one replaces it, since only the newest curve is worth the file. The
 * destructor waits for the last write.
 */
class CAutosaveWriter : public QObject {
    Q_OBJECT
public:
    CAutosaveWriter();
    ~CAutosaveWriter() override;

    /**
     * A store to copy the curve into for Post: one the writer made beforehand or is done with,
     * or the copy still waiting, which the next Post would replace anyway. Copying into pages
     * already in use costs a fraction of what fresh ones do: the store is megabytes, copied
     * every second.
     */
    std::unique_ptr<CurveStore> TakeSpare();

    /** Writes `snapshot` to NAME.raz or NAME.zar in `dataFolder` as soon as the thread is free. */
    void Post(std::unique_ptr<CurveStore> snapshot, const QString& dataFolder,
              const QString& name = QStringLiteral("temp"));

    /** Returns once every copy handed over has been written (or replaced by a newer one). */
    void WaitUntilWritten();

signals:
    /** One autosave ended, on the writer's thread. */
    void Done(const brimvolt::AutosaveResult& result);

private:
    void Run();

    std::mutex mutex;
    std::condition_variable changed;
    std::unique_ptr<CurveStore> waiting;
    std::vector<std::unique_ptr<CurveStore>> spares;  // two at most
    QString waitingFolder;
    QString waitingName;
    bool writing = false;
    bool stopping = false;
    std::thread thread;
};

}  // namespace brimvolt
