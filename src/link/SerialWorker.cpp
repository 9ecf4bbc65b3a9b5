#include "link/SerialWorker.h"

namespace brimvolt {

CSerialWorker::CSerialWorker(platform::CPortSystem& ports) : ports(ports) {}

CSerialWorker::~CSerialWorker() = default;

void CSerialWorker::FindModule() {
    port.reset();
    Discovery found = brimvolt::FindModule(ports, request, reply);
    port = std::move(found.port);
    emit DiscoveryDone(DiscoveryOutcome{found.result, found.entries, found.foundIndex});
}

void CSerialWorker::OpenPort(const QString& name) {
    port.reset();
    port = ports.Open(name);
    if (port) {
        port->ApplyLineSettings();
    }
    emit PortOpenDone(port != nullptr);
}

void CSerialWorker::Poll(const PollRequest& poll) {
    PollOutcome outcome;
    if (!port) {
        emit PollDone(outcome);
        return;
    }
    for (const Request& command : poll.commands) {
        CommandExchange(*port, command, reply);
    }
    const Reply before = reply;
    if (StatusPoll(*port, request, reply) == 0) {
        port.reset();
    } else if (BytesFollowedTheRecord(*port)) {
        // Nothing of it stays, so a short record later is completed from a whole one.
        reply = before;
        outcome.result = PollResult::Straddled;
    } else {
        outcome.result = PollResult::Status;
        outcome.status = DecodeStatus(reply);
    }
    emit PollDone(outcome);
}

void CSerialWorker::ClosePort() {
    port.reset();
}

}  // namespace brimvolt
