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

/**
 * Owns the serial port on a thread of its own: opens, probes, configures and closes ports and
 * makes every exchange with the module, with the exchanges' own pauses and bounds. Requests come
 * as queued calls of the slots below, one at a time; each answers with exactly one signal,
 * except ClosePort, which answers nothing. The port system it is given, the port and the
 * request and reply buffers are used on its thread only, but for opens: those run through
 * CBoundedPorts, so a port whose open hangs holds up neither a discovery pass nor the worker.
 */
class CSerialWorker : public QObject {
    Q_OBJECT
public:
    explicit CSerialWorker(platform::CPortSystem& ports);
    ~CSerialWorker() override;

public slots:
    /** A discovery pass: the open port is closed first. Answers DiscoveryDone. */
    void FindModule();
    /** Closes the open port, then opens `name` with the line settings. Answers PortOpenDone. */
    void OpenPort(const QString& name);
    /** The commands, then the status poll. Answers PollDone. */
    void Poll(const brimvolt::PollRequest& poll);
    void ClosePort();

signals:
    void DiscoveryDone(const brimvolt::DiscoveryOutcome& outcome);
    void PortOpenDone(bool opened);
    void PollDone(const brimvolt::PollOutcome& outcome);

private:
    CBoundedPorts ports;
    std::unique_ptr<platform::CSerialPort> port;
    Request request{};
    Reply reply{};
};

}  // namespace brimvolt
