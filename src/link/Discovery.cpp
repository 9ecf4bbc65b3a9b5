#include "link/Discovery.h"

#include <QCoreApplication>
#include <algorithm>

namespace brimvolt {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(Discovery)
};

}  // namespace

QStringList SortedLikeComboBox(QStringList names) {
    // Character by character, not by number: COM10 stands before COM3. Names equal but for case
    // keep a fixed order so the list does not depend on the order the system gave them in.
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int folded = QString::compare(a, b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
    });
    return names;
}

Discovery FindModule(platform::CPortSystem& ports, Request& request, Reply& reply,
                     const PortGate& gate) {
    Discovery found;
    found.entries = SortedLikeComboBox(ports.PortNames());
    bool anyOpened = false;
    for (int i = 0; i < found.entries.size(); ++i) {
        const QString& name = found.entries[i];
        if (gate.take && !gate.take(name)) {
            continue;
        }
        std::unique_ptr<platform::CSerialPort> port = ports.Open(name);
        if (!port) {
            if (gate.giveBack) {
                gate.giveBack(name);
            }
            continue;
        }
        port->ApplyLineSettings();
        anyOpened = true;
        if (Identify(*port, request, reply)) {
            found.result = FindResult::Found;
            found.foundIndex = i;
            found.port = std::move(port);
            return found;
        }
        // Closed here, before the next port is opened, and before another pass may take it.
        port.reset();
        if (gate.giveBack) {
            gate.giveBack(name);
        }
    }
    found.result = anyOpened ? FindResult::NoModule : FindResult::NoPort;
    return found;
}

QString DiscoveryMessage(FindResult result) {
    switch (result) {
        case FindResult::NoPort:
            return Text::tr("Нет доступного COM порта");
        case FindResult::NoModule:
            return Text::tr("Доступный COM порт есть, но модуль не найден");
        case FindResult::Found:
            break;
    }
    return QString();
}

}  // namespace brimvolt
