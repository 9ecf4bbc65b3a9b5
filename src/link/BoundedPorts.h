#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <memory>
#include <mutex>
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
 * A port that opens in time is handed over to the thread that asked for it.
 *
 * Several workers on several threads may share one: PortNames, Open and Stuck may run at once,
 * and a stuck name is left behind once for all of them. The wrapped system must therefore let
 * PortNames and Open run on several threads at the same time.
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

    // Both with mutex held.
    void ReapFinishedHelpers();
    bool StuckLocked(const QString& name) const;

    platform::CPortSystem& ports;
    std::chrono::milliseconds openBound;
    mutable std::mutex mutex;  // guards helpers
    std::vector<Helper> helpers;
};

}  // namespace brimvolt
