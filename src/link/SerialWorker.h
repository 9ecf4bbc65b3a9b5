#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <memory>
#include <vector>

#include "link/BoundedPorts.h"
#include "link/Discovery.h"
#include "link/PortHandle.h"
#include "module/Protocol.h"
#include "platform/SerialPort.h"

namespace brimvolt {

/** A poll tick's requests: the operator's command ('t' comes with its 'C'), if any. */
struct PollRequest {
    std::vector<Request> commands;
};

enum class PollResult {
    Status,     // a status record (a short one keeps the bytes the reply buffer held)
    Straddled,  // more bytes came than the record took: it began inside an earlier reply
    NoReply,    // not a byte: the link is lost, and the worker has closed the port
};

struct PollOutcome {
    PollResult result = PollResult::NoReply;
    StatusRecord status;  // on Status
};

/** A discovery pass as the window needs it; the module's port stays with the worker. */
struct DiscoveryOutcome {
    FindResult result = FindResult::NoPort;
    QStringList entries;  // the combo box's entries, in its order
    int foundIndex = -1;  // the module's entry on Found
};

class CClaimedPorts;

/**
 * Owns the serial port on a thread of its own: opens, probes, configures and closes ports and
 * makes every exchange with the module, with the exchanges' own pauses and bounds. Requests come
 * as queued calls of the slots below, one at a time; each answers with exactly one signal,
 * except ClosePort and ReleaseClaim, which answer nothing. The port and the request and reply
 * buffers are used on its thread only; opens run through CBoundedPorts, so a port whose open
 * hangs holds up neither a discovery pass nor the worker.
 *
 * Workers of one program share their bounded ports and a CClaimedPorts: a worker claims a port
 * before it opens it and holds at most one, and never opens a port another worker holds. The
 * claim outlasts a lost link, so the module's port waits for it and no other worker takes it.
 */
class CSerialWorker : public QObject {
    Q_OBJECT
public:
    /** A worker alone: its own bounded ports over `ports`, and claims nobody else shares. */
    explicit CSerialWorker(platform::CPortSystem& ports);
    CSerialWorker(std::shared_ptr<CBoundedPorts> ports, std::shared_ptr<CClaimedPorts> claims);
    /** Closes the port and gives up the worker's claim. */
    ~CSerialWorker() override;

public slots:
    /**
     * A discovery pass: the open port is closed first. Every port is listed, but only those no
     * other worker holds are probed, and with boundPort given only that one. Answers
     * DiscoveryDone.
     */
    void FindModule(const QString& boundPort = QString());
    /**
     * Closes the open port, then opens `name` with the line settings; fails when another worker
     * holds it. Answers PortOpenDone.
     */
    void OpenPort(const QString& name);
    /** The commands, then the status poll. Answers PollDone. */
    void Poll(const brimvolt::PollRequest& poll);
    /** Closes the open port; the claim stays. */
    void ClosePort();
    /** Closes the open port and gives up its claim: other workers may take it from now on. */
    void ReleaseClaim();

signals:
    void DiscoveryDone(const brimvolt::DiscoveryOutcome& outcome);
    void PortOpenDone(bool opened);
    void PollDone(const brimvolt::PollOutcome& outcome);

private:
    bool Take(const QString& name);
    void GiveBack(const QString& name);
    void Keep(const QString& name);

    std::shared_ptr<CBoundedPorts> ports;
    std::shared_ptr<CClaimedPorts> claims;
    QString claimedPort;  // the one port the worker holds, empty for none
    std::unique_ptr<platform::CSerialPort> port;
    Request request{};
    Reply reply{};
};

}  // namespace brimvolt
