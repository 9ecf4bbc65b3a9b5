#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace brimvolt {

/**
 * Turns a request to end the program from outside into a signal on the window's thread: SIGTERM,
 * SIGINT and SIGHUP (a logout, a shutdown, `kill`, Ctrl+C) on POSIX, the console's close,
 * logoff and shutdown events on Windows, and the session manager's request everywhere. One at a
 * time per process; the handlers are taken back when it goes.
 */
class CSessionEnd : public QObject {
    Q_OBJECT
public:
    explicit CSessionEnd(QObject* parent = nullptr);
    ~CSessionEnd() override;

signals:
    /** The program should leave now, as after "Выход" but without asking. */
    void EndRequested();

private:
    void OnSignalByte();

    std::unique_ptr<QSocketNotifier> notifier;
};

}  // namespace brimvolt
