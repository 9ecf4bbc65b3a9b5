#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "module/Protocol.h"
#include "platform/SerialPort.h"

namespace brimvolt {

enum class FindResult { NoPort = 0, Found = 1, NoModule = 2 };

/** The outcome of one discovery pass. */
struct Discovery {
    FindResult result = FindResult::NoPort;
    QStringList entries;                          // the port names in the combo box's order
    int foundIndex = -1;                          // the module's entry on Found
    std::unique_ptr<platform::CSerialPort> port;  // open, with line settings applied, on Found
};

/**
 * Which ports a pass may open, when several passes share the ports: take is asked before each
 * open, and a port it refuses is skipped as one that cannot be opened; giveBack hears of each
 * port taken whose open or probe then failed. Empty ones take every port.
 */
struct PortGate {
    std::function<bool(const QString& name)> take;
    std::function<void(const QString& name)> giveBack;
};

/**
 * One discovery pass: lists the ports, and in the combo box's order opens each, applies the line
 * settings and probes it once. A port that fails the probe is closed before the next is opened.
 * NoModule when some port opened but none answered, NoPort when none could be opened.
 */
Discovery FindModule(platform::CPortSystem& ports, Request& request, Reply& reply,
                     const PortGate& gate = {});

/** The names as a sorted combo box shows them: case-insensitive, character by character. */
QStringList SortedLikeComboBox(QStringList names);

/** The display block's text for a failed pass; empty for Found. */
QString DiscoveryMessage(FindResult result);

}  // namespace brimvolt
