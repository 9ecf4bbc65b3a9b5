#include "platform/DbusSleepInhibitor.h"

#ifdef QT_DBUS_LIB

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <utility>

namespace brimvolt::platform {

namespace {

struct CookieService {
    const char* service;
    const char* path;
    const char* interface;
};

constexpr CookieService kPowerManagement{"org.freedesktop.PowerManagement",
                                         "/org/freedesktop/PowerManagement/Inhibit",
                                         "org.freedesktop.PowerManagement.Inhibit"};
constexpr CookieService kScreenSaver{"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                                     "org.freedesktop.ScreenSaver"};

const CookieService& ServiceOf(CDbusSleepInhibitor::Holder kind) {
    return kind == CDbusSleepInhibitor::Holder::PowerManagement ? kPowerManagement : kScreenSaver;
}

// Asking the bus first keeps us from waiting out a call timeout on a name nobody owns, and from
// starting an activatable service just to be refused.
bool HasService(QDBusConnection& bus, const char* service) {
    if (!bus.isConnected()) {
        return false;
    }
    QDBusConnectionInterface* names = bus.interface();
    if (names == nullptr) {
        return false;
    }
    const QDBusReply<bool> owned = names->isServiceRegistered(QString::fromLatin1(service));
    return owned.isValid() && owned.value();
}

QString ApplicationName() {
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("brimvolt") : name;
}

}  // namespace

CDbusSleepInhibitor::CDbusSleepInhibitor()
    : CDbusSleepInhibitor([] { return QDBusConnection::systemBus(); },
                          [] { return QDBusConnection::sessionBus(); }) {}

CDbusSleepInhibitor::CDbusSleepInhibitor(BusSource systemBus, BusSource sessionBus,
                                         int callTimeoutMs)
    : systemBusSource(std::move(systemBus)),
      sessionBusSource(std::move(sessionBus)),
      callTimeoutMs(callTimeoutMs) {}

CDbusSleepInhibitor::~CDbusSleepInhibitor() {
    Release();
}

void CDbusSleepInhibitor::Inhibit(const QString& reason) {
    if (IsHeld()) {
        return;
    }
    if (systemBusSource) {
        QDBusConnection system = systemBusSource();
        if (TryLogin1(system, reason)) {
            return;
        }
    }
    if (sessionBusSource) {
        QDBusConnection session = sessionBusSource();
        if (TryCookie(session, Holder::PowerManagement, reason)) {
            return;
        }
        TryCookie(session, Holder::ScreenSaver, reason);
    }
}

bool CDbusSleepInhibitor::TryLogin1(QDBusConnection& bus, const QString& reason) {
    if (!HasService(bus, "org.freedesktop.login1") ||
        !bus.connectionCapabilities().testFlag(QDBusConnection::UnixFileDescriptorPassing)) {
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << ApplicationName() << reason << QStringLiteral("block");
    const QDBusReply<QDBusUnixFileDescriptor> lock = bus.call(call, QDBus::Block, callTimeoutMs);
    if (!lock.isValid() || !lock.value().isValid()) {
        return false;  // refused by policy, or no descriptor came back
    }
    login1Lock = lock.value();
    holder = Holder::Login1;
    return true;
}

bool CDbusSleepInhibitor::TryCookie(QDBusConnection& bus, Holder kind, const QString& reason) {
    const CookieService& service = ServiceOf(kind);
    if (!HasService(bus, service.service)) {
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(service.service), QString::fromLatin1(service.path),
        QString::fromLatin1(service.interface), QStringLiteral("Inhibit"));
    call << ApplicationName() << reason;
    const QDBusReply<quint32> reply = bus.call(call, QDBus::Block, callTimeoutMs);
    if (!reply.isValid()) {
        return false;
    }
    cookie = reply.value();
    holder = kind;
    return true;
}

void CDbusSleepInhibitor::Release() {
    const Holder was = std::exchange(holder, Holder::None);
    switch (was) {
        case Holder::None:
            return;
        case Holder::Login1:
            login1Lock = QDBusUnixFileDescriptor();  // closing our copy lifts the lock
            return;
        case Holder::PowerManagement:
        case Holder::ScreenSaver: {
            if (!sessionBusSource) {
                return;
            }
            QDBusConnection bus = sessionBusSource();
            if (!bus.isConnected()) {
                return;
            }
            const CookieService& service = ServiceOf(was);
            QDBusMessage call = QDBusMessage::createMethodCall(
                QString::fromLatin1(service.service), QString::fromLatin1(service.path),
                QString::fromLatin1(service.interface), QStringLiteral("UnInhibit"));
            call << std::exchange(cookie, 0U);
            bus.call(call, QDBus::Block, callTimeoutMs);
            return;
        }
    }
}

}  // namespace brimvolt::platform

#endif
