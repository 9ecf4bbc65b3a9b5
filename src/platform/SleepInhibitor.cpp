#include "platform/SleepInhibitor.h"

#include <QtGlobal>

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(QT_DBUS_LIB)
#include "platform/DbusSleepInhibitor.h"
#endif

namespace brimvolt::platform {

namespace {

#if defined(Q_OS_WIN)
// The request belongs to the calling thread and lasts until that thread clears it, so both
// calls must come from the GUI thread.
class CWindowsSleepInhibitor final : public CSleepInhibitor {
public:
    ~CWindowsSleepInhibitor() override { Release(); }
    void Inhibit(const QString&) override {
        if (!held) {
            held = SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) != 0;
        }
    }
    void Release() override {
        if (held) {
            SetThreadExecutionState(ES_CONTINUOUS);
            held = false;
        }
    }
    bool IsHeld() const override { return held; }

private:
    bool held = false;
};
#elif !defined(QT_DBUS_LIB)
class CNoSleepInhibitor final : public CSleepInhibitor {
public:
    void Inhibit(const QString&) override {}
    void Release() override {}
    bool IsHeld() const override { return false; }
};
#endif

}  // namespace

std::unique_ptr<CSleepInhibitor> MakeSystemSleepInhibitor() {
#if defined(Q_OS_WIN)
    return std::make_unique<CWindowsSleepInhibitor>();
#elif defined(QT_DBUS_LIB)
    return std::make_unique<CDbusSleepInhibitor>();
#else
    return std::make_unique<CNoSleepInhibitor>();
#endif
}

}  // namespace brimvolt::platform
