#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace brimvolt::testing {

/**
 * A mosquitto broker of the test's own on 127.0.0.1 at a free port. A persistent one keeps
 * sessions, their queued messages and the retained ones across Stop() and Start(), as a broker
 * restarted by its administrator does.
 */
class MosquittoBroker {
public:
    /** The broker program (on PATH or in /usr/sbin), or empty when the system has none. */
    static QString Program();

    explicit MosquittoBroker(bool persistent = false);
    ~MosquittoBroker();
    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    /** Lets in only this user with this password, from the next Start() on. */
    bool RequirePassword(const QString& user, const QString& password);
    /** Starts it (again on the same port) and waits until it accepts connections. */
    bool Start();
    /** Stops it as an administrator would (SIGTERM). */
    void Stop();

    int Port() const { return port; }
    QString Url() const { return QString("mqtt://127.0.0.1:%1").arg(port); }
    QString Error() const { return error; }

private:
    bool StartOnce();

    bool persistent;
    QString passwordFile;
    QTemporaryDir dir;
    QProcess process;
    int port = 0;
    bool everStarted = false;
    QString error;
};

}  // namespace brimvolt::testing
