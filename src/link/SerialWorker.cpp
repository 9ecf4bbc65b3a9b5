#include "link/SerialWorker.h"

#include "link/ClaimedPorts.h"

namespace brimvolt {

CSerialWorker::CSerialWorker(platform::CPortSystem& ports)
    : CSerialWorker(std::make_shared<CBoundedPorts>(ports), std::make_shared<CClaimedPorts>()) {}

CSerialWorker::CSerialWorker(std::shared_ptr<CBoundedPorts> boundedPorts,
                             std::shared_ptr<CClaimedPorts> claimedPorts)
    : ports(std::move(boundedPorts)), claims(std::move(claimedPorts)) {}

CSerialWorker::~CSerialWorker() {
    // Closed before it is given up, so a worker that takes it next can open it.
    port.reset();
    claims->ReleaseAll(this);
}

void CSerialWorker::FindModule(const QString& boundPort) {
    port.reset();
    PortGate gate;
    gate.take = [this, &boundPort](const QString& name) {
        return (boundPort.isEmpty() || CClaimedPorts::SameName(name, boundPort)) && Take(name);
    };
    gate.giveBack = [this](const QString& name) { GiveBack(name); };
    Discovery found = brimvolt::FindModule(*ports, request, reply, gate);
    port = std::move(found.port);
    if (port) {
        Keep(found.entries[found.foundIndex]);
    }
    emit DiscoveryDone(DiscoveryOutcome{found.result, found.entries, found.foundIndex});
}

void CSerialWorker::OpenPort(const QString& name) {
    port.reset();
    if (Take(name)) {
        port = ports->Open(name);
        if (port) {
            port->ApplyLineSettings();
            Keep(name);
        } else {
            GiveBack(name);
        }
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
        // The claim stays: the module may come back on this port, and no other worker takes it.
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

void CSerialWorker::ReleaseClaim() {
    port.reset();
    claims->ReleaseAll(this);
    claimedPort.clear();
}

bool CSerialWorker::Take(const QString& name) {
    return claims->TryClaim(name, this);
}

// A port the worker held before the attempt stays its own: its module may come back there.
void CSerialWorker::GiveBack(const QString& name) {
    if (!CClaimedPorts::SameName(name, claimedPort)) {
        claims->Release(name, this);
    }
}

void CSerialWorker::Keep(const QString& name) {
    if (!claimedPort.isEmpty() && !CClaimedPorts::SameName(name, claimedPort)) {
        claims->Release(claimedPort, this);
    }
    claimedPort = name;
}

}  // namespace brimvolt
