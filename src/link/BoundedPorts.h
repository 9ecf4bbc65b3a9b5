#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <memory>
#include <vector>

#include "platform/SerialPort.h"

class QThread;

namespace brimvolt {

/**
 * A port system whose opens come back within a bound. Each open runs on a helper thread of its
 * own; when it has not returned in time the caller gets nullptr, as for a port that cannot be
 * opened, and the helper is left behind. While it is still stuck, later opens of the same name
 * fail at once without starting another; once it returns, a port it opened late is closed on
 * the helper's thread and the name is tried afresh on the next open.
 *
 * A port that opens in time is handed over to the thread that asked for it. The wrapped system
 * must let Open run on another thread while PortNames runs on the caller's.
 */
class CBoundedPorts : public platform::CPortSystem {
public:
    static constexpr std::chrono::milliseconds kOpenBound{1500};

    explicit CBoundedPorts(platform::CPortSystem& ports,
                           std::chrono::milliseconds openBound = kOpenBound);
    /** Helpers whose open has returned are waited for; a helper still stuck is left to the OS. */
    ~CBoundedPorts() override;

    QStringList PortNames() override;
    std::unique_ptr<platform::CSerialPort> Open(const QString& name) override;

    /** Whether an open of name is still stuck in its helper. */
    bool Stuck(const QString& name) const;

private:
    struct Attempt;
    struct Helper {
        QThread* thread;
        std::shared_ptr<Attempt> attempt;
    };

    void ReapFinishedHelpers();

    platform::CPortSystem& ports;
    std::chrono::milliseconds openBound;
    std::vector<Helper> helpers;
};

}  // namespace brimvolt
