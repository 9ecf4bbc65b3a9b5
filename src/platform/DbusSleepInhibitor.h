#pragma once

#include <QtGlobal>

#ifdef QT_DBUS_LIB

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QString>
#include <functional>

#include "platform/SleepInhibitor.h"

namespace brimvolt::platform {

/**
 * Sleep inhibition over D-Bus. Tries, in order: logind's "sleep" lock in "block" mode on the
 * system bus (held as a file descriptor until released), then the desktop's
 * org.freedesktop.PowerManagement and org.freedesktop.ScreenSaver inhibitors on the session bus
 * (held as a cookie). A missing bus or service is skipped without a word.
 */
class CDbusSleepInhibitor final : public CSleepInhibitor {
public:
    enum class Holder { None, Login1, PowerManagement, ScreenSaver };
    using BusSource = std::function<QDBusConnection()>;

    /** The buses are opened on the first Inhibit, so a program that never runs never connects. */
    CDbusSleepInhibitor();
    CDbusSleepInhibitor(BusSource systemBus, BusSource sessionBus, int callTimeoutMs = 1500);
    ~CDbusSleepInhibitor() override;

    void Inhibit(const QString& reason) override;
    void Release() override;
    bool IsHeld() const override { return holder != Holder::None; }
    Holder HeldBy() const { return holder; }

private:
    bool TryLogin1(QDBusConnection& bus, const QString& reason);
    bool TryCookie(QDBusConnection& bus, Holder kind, const QString& reason);

    BusSource systemBusSource;
    BusSource sessionBusSource;
    int callTimeoutMs;
    Holder holder = Holder::None;
    QDBusUnixFileDescriptor login1Lock;  // sleep stays blocked while this descriptor is open
    quint32 cookie = 0;
};

}  // namespace brimvolt::platform

#endif
