#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace brimvolt::testing {

/** One piece of an answer: wait delayMs (after the request, or after the piece before), then send.
 */
struct PtyChunk {
    int delayMs = 0;
    QByteArray bytes;
};
using PtyAnswer = std::vector<PtyChunk>;

/**
 * The far end of a pseudo-terminal, answering fixed-size requests from a script. The program
 * under test opens Path() as its serial port; the peer reads requests of requestSize bytes and
 * answers each by its first byte. Without a script for a command the peer stays silent.
 *
 * The peer holds only the master side, so whether the device is open is the program's doing
 * alone (SlaveOpen), and closing it really closes it.
 */
class PtyPeer {
public:
    struct Request {
        QByteArray bytes;
        std::uint64_t sequence;  // counts across all peers of the process: orders their requests
        std::chrono::steady_clock::time_point at;
    };

    /** Opens a raw pseudo-terminal; a non-empty linkPath becomes a symbolic link to its device. */
    explicit PtyPeer(const QString& linkPath = QString(), int requestSize = 4);
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool IsOpen() const { return master >= 0; }
    /** The link if one was asked for, else the device. */
    QString Path() const { return linkPath.isEmpty() ? devicePath : linkPath; }
    QString DevicePath() const { return devicePath; }

    /** Requests starting with command get answer (an empty answer: silence). */
    void Answer(char command, PtyAnswer answer);
    /** Requests that no command's script covers get answer. */
    void AnswerOthers(PtyAnswer answer);
    /** Sends bytes now, unasked. */
    void Send(const QByteArray& bytes);

    /** The whole answer at once. */
    static PtyAnswer Bytes(const QByteArray& bytes) { return {{0, bytes}}; }
    /** The answer after a delay. */
    static PtyAnswer Late(int delayMs, const QByteArray& bytes) { return {{delayMs, bytes}}; }

    std::vector<Request> Requests() const;
    std::size_t RequestCount() const;
    /** Waits until count requests came in, or timeoutMs passed; whether they came. */
    bool WaitForRequests(std::size_t count, int timeoutMs) const;
    /** Whether some program holds the device open now. */
    bool SlaveOpen() const;

private:
    void Run();
    void Respond(const QByteArray& request);
    void SendAll(const QByteArray& bytes);
    bool SleepUnlessStopped(int milliseconds);

    int master = -1;
    int requestSize;
    QString devicePath;
    QString linkPath;

    mutable std::mutex mutex;
    mutable std::condition_variable requestCame;
    std::map<char, PtyAnswer> answers;
    PtyAnswer otherAnswer;
    bool haveOtherAnswer = false;
    std::vector<Request> requests;

    std::atomic<bool> stopping{false};
    std::thread thread;
};

}  // namespace brimvolt::testing
