#pragma once

#include <QString>
#include <memory>

namespace brimvolt::platform {

/**
 * Keeps the computer from going to sleep while a discharge or charge is recorded: a sleeping
 * computer stops polling, and the curve gets a hole the length of the nap.
 *
 * Both calls are idempotent: a second Inhibit while held, or a Release while not held, does
 * nothing. Where the system offers no way to inhibit sleep both do nothing, silently.
 */
class CSleepInhibitor {
public:
    virtual ~CSleepInhibitor() = default;

    virtual void Inhibit(const QString& reason) = 0;
    virtual void Release() = 0;
    /** True while an inhibition is actually held (false when the system refused or has none). */
    virtual bool IsHeld() const = 0;
};

/**
 * The system's inhibitor: logind (then the desktop's power manager or screen saver) over D-Bus
 * on Linux, SetThreadExecutionState on Windows, nothing elsewhere. Call from the GUI thread.
 */
std::unique_ptr<CSleepInhibitor> MakeSystemSleepInhibitor();

}  // namespace brimvolt::platform
