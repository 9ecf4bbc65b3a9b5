#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusUnixFileDescriptor>
#include <QElapsedTimer>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QThread>
#include <memory>

#include "platform/DbusSleepInhibitor.h"
#include "platform/SleepInhibitor.h"

using namespace brimvolt::platform;
using Holder = CDbusSleepInhibitor::Holder;

namespace {

// Everything Qt would print while the inhibitor works: it must stay silent.
QMutex messagesMutex;
QStringList messages;
void CollectMessage(QtMsgType, const QMessageLogContext&, const QString& text) {
    QMutexLocker lock(&messagesMutex);
    messages << text;
}

class CMessageCapture {
public:
    CMessageCapture() {
        QMutexLocker lock(&messagesMutex);
        messages.clear();
        previous = qInstallMessageHandler(CollectMessage);
    }
    ~CMessageCapture() { qInstallMessageHandler(previous); }
    QStringList Messages() const {
        QMutexLocker lock(&messagesMutex);
        return messages;
    }

private:
    QtMessageHandler previous = nullptr;
};

// logind's lock: the caller gets the write end of a pipe; the lock lasts until every copy of
// that end is closed, which the read end sees as a hang-up.
class CFakeLogin1 : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    bool refuse = false;
    int calls = 0;
    QStringList lastArguments;
    int lockReadEnd = -1;

    ~CFakeLogin1() override {
        if (lockReadEnd >= 0) {
            ::close(lockReadEnd);
        }
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode) {
        ++calls;
        lastArguments = {what, who, why, mode};
        if (refuse) {
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("not allowed"));
            return {};
        }
        int ends[2];
        if (::pipe(ends) != 0) {
            return {};
        }
        lockReadEnd = ends[0];
        QDBusUnixFileDescriptor lock(ends[1]);  // keeps its own copy
        ::close(ends[1]);
        return lock;
    }
};

// org.freedesktop.PowerManagement.Inhibit and org.freedesktop.ScreenSaver look alike.
class CFakeCookieService : public QObject {
    Q_OBJECT
public:
    explicit CFakeCookieService(quint32 firstCookie) : nextCookie(firstCookie) {}
    int inhibitCalls = 0;
    QList<quint32> released;
    quint32 lastCookie = 0;

public slots:
    quint32 Inhibit(const QString&, const QString&) {
        ++inhibitCalls;
        lastCookie = nextCookie++;
        return lastCookie;
    }
    void UnInhibit(quint32 cookie) { released << cookie; }

private:
    quint32 nextCookie;
};

struct ServiceSet {
    bool login1 = false;
    bool login1Refuses = false;
    bool powerManagement = false;
    bool screenSaver = false;
};

// A private bus daemon with the fake services on their own thread, so that the inhibitor's
// blocking calls from this thread get answered.
class CFakeBus {
public:
    static constexpr const char* kServiceConnection = "brimvolt-fake-services";
    static constexpr const char* kClientConnection = "brimvolt-inhibitor-client";

    /** Empty when no bus daemon could be started. */
    QString Start() {
        const QString daemonPath = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemonPath.isEmpty()) {
            return {};
        }
        daemon.setStandardErrorFile(QProcess::nullDevice());
        daemon.start(daemonPath, {"--session", "--nofork", "--print-address"});
        if (!daemon.waitForStarted(30000)) {
            return {};
        }
        QElapsedTimer waited;
        waited.start();
        while (!daemon.canReadLine() && waited.elapsed() < 20000) {
            daemon.waitForReadyRead(500);
        }
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        context->moveToThread(&thread);
        thread.start();
        return address;
    }

    ~CFakeBus() {
        if (thread.isRunning()) {
            QMetaObject::invokeMethod(
                context.get(),
                [this] {
                    QDBusConnection::disconnectFromBus(kServiceConnection);
                    login1.reset();
                    powerManagement.reset();
                    screenSaver.reset();
                },
                Qt::BlockingQueuedConnection);
            thread.quit();
            thread.wait();
        }
        context.reset();
        QDBusConnection::disconnectFromBus(kClientConnection);
        if (daemon.state() != QProcess::NotRunning) {
            daemon.kill();
            daemon.waitForFinished(10000);
        }
    }

    /** Runs f on the service thread, where the fakes live, and returns its result. */
    template <typename F>
    auto OnServices(F f) {
        decltype(f()) result{};
        QMetaObject::invokeMethod(
            context.get(), [&] { result = f(); }, Qt::BlockingQueuedConnection);
        return result;
    }

    void Offer(const ServiceSet& set) {
        OnServices([this, set] {
            QDBusConnection bus = QDBusConnection::connectToBus(address, kServiceConnection);
            if (set.login1) {
                login1 = std::make_unique<CFakeLogin1>();
                login1->refuse = set.login1Refuses;
                bus.registerObject("/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                   login1.get(), QDBusConnection::ExportAllSlots);
                bus.registerService("org.freedesktop.login1");
            }
            if (set.powerManagement) {
                powerManagement = std::make_unique<CFakeCookieService>(100);
                bus.registerObject("/org/freedesktop/PowerManagement/Inhibit",
                                   "org.freedesktop.PowerManagement.Inhibit", powerManagement.get(),
                                   QDBusConnection::ExportAllSlots);
                bus.registerService("org.freedesktop.PowerManagement");
            }
            if (set.screenSaver) {
                screenSaver = std::make_unique<CFakeCookieService>(7000);
                bus.registerObject("/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
                                   screenSaver.get(), QDBusConnection::ExportAllSlots);
                bus.registerService("org.freedesktop.ScreenSaver");
            }
            return true;
        });
    }

    std::unique_ptr<CDbusSleepInhibitor> MakeInhibitor() const {
        const QString busAddress = address;
        auto client = [busAddress] {
            return QDBusConnection::connectToBus(busAddress, kClientConnection);
        };
        return std::make_unique<CDbusSleepInhibitor>(client, client);
    }

    bool LockHungUp(int waitMs) {
        const int readEnd = OnServices([this] { return login1 ? login1->lockReadEnd : -1; });
        if (readEnd < 0) {
            return false;
        }
        pollfd end{readEnd, POLLIN, 0};
        return ::poll(&end, 1, waitMs) == 1 && (end.revents & POLLHUP) != 0;
    }

    std::unique_ptr<CFakeLogin1> login1;
    std::unique_ptr<CFakeCookieService> powerManagement;
    std::unique_ptr<CFakeCookieService> screenSaver;

private:
    QProcess daemon;
    QString address;
    QThread thread;
    std::unique_ptr<QObject> context = std::make_unique<QObject>();
};

class DbusSleepInhibitorTest : public ::testing::Test {
protected:
    // A fresh daemon, so no service of an earlier case is left on it.
    CFakeBus& NewBus() {
        bus = std::make_unique<CFakeBus>();
        if (bus->Start().isEmpty()) {
            started = false;
        }
        return *bus;
    }
    void SetUp() override {
        NewBus();
        if (!started) {
            GTEST_SKIP() << "no dbus-daemon to run a private bus";
        }
    }

    std::unique_ptr<CFakeBus> bus;
    bool started = true;
};

}  // namespace

TEST_F(DbusSleepInhibitorTest, Login1LockIsHeldUntilRelease) {
    CFakeBus& fake = *bus;
    fake.Offer({.login1 = true, .powerManagement = true, .screenSaver = true});
    CMessageCapture capture;
    auto inhibitor = fake.MakeInhibitor();

    inhibitor->Inhibit(QStringLiteral("a run"));
    ASSERT_EQ(inhibitor->HeldBy(), Holder::Login1);
    EXPECT_EQ(fake.OnServices([&] { return fake.login1->lastArguments; }).value(0), "sleep");
    EXPECT_EQ(fake.OnServices([&] { return fake.login1->lastArguments; }).value(2), "a run");
    EXPECT_EQ(fake.OnServices([&] { return fake.login1->lastArguments; }).value(3), "block");
    EXPECT_FALSE(fake.LockHungUp(200)) << "the lock went before it was released";

    inhibitor->Inhibit(QStringLiteral("again"));
    EXPECT_EQ(fake.OnServices([&] { return fake.login1->calls; }), 1);
    EXPECT_EQ(fake.OnServices([&] { return fake.powerManagement->inhibitCalls; }), 0);

    inhibitor->Release();
    EXPECT_FALSE(inhibitor->IsHeld());
    EXPECT_TRUE(fake.LockHungUp(10000)) << "the lock outlived Release";
    inhibitor->Release();
    EXPECT_TRUE(capture.Messages().isEmpty()) << capture.Messages().join('\n').toStdString();
}

TEST_F(DbusSleepInhibitorTest, DestroyingTheInhibitorReleasesTheLock) {
    bus->Offer({.login1 = true});
    auto inhibitor = bus->MakeInhibitor();
    inhibitor->Inhibit(QStringLiteral("a run"));
    ASSERT_TRUE(inhibitor->IsHeld());
    inhibitor.reset();
    EXPECT_TRUE(bus->LockHungUp(10000));
}

TEST_F(DbusSleepInhibitorTest, FallsBackToTheDesktopAndGivesTheCookieBack) {
    struct Case {
        const char* name;
        ServiceSet services;
        Holder expected;
    };
    const Case cases[] = {
        {"logind refuses",
         {.login1 = true, .login1Refuses = true, .powerManagement = true, .screenSaver = true},
         Holder::PowerManagement},
        {"screen saver only", {.screenSaver = true}, Holder::ScreenSaver},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CFakeBus& fake = NewBus();
        fake.Offer(c.services);
        CMessageCapture capture;
        auto inhibitor = fake.MakeInhibitor();
        inhibitor->Inhibit(QStringLiteral("a run"));
        ASSERT_EQ(inhibitor->HeldBy(), c.expected);
        inhibitor->Inhibit(QStringLiteral("a run"));
        CFakeCookieService* service = c.expected == Holder::PowerManagement
                                          ? fake.powerManagement.get()
                                          : fake.screenSaver.get();
        EXPECT_EQ(fake.OnServices([service] { return service->inhibitCalls; }), 1);
        const quint32 cookie = fake.OnServices([service] { return service->lastCookie; });
        inhibitor->Release();
        inhibitor->Release();
        EXPECT_EQ(fake.OnServices([service] { return service->released; }), QList<quint32>{cookie});
        EXPECT_TRUE(capture.Messages().isEmpty()) << capture.Messages().join('\n').toStdString();
    }
}

TEST_F(DbusSleepInhibitorTest, NothingToAskIsNoHoldAndNoNoise) {
    bus->Offer({.login1 = true, .login1Refuses = true});
    CMessageCapture capture;
    auto inhibitor = bus->MakeInhibitor();
    inhibitor->Inhibit(QStringLiteral("a run"));
    EXPECT_FALSE(inhibitor->IsHeld());
    inhibitor->Release();

    // No bus at all.
    auto unreachable = [] {
        return QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                             QStringLiteral("brimvolt-no-bus"));
    };
    CDbusSleepInhibitor nowhere(unreachable, unreachable);
    nowhere.Inhibit(QStringLiteral("a run"));
    EXPECT_FALSE(nowhere.IsHeld());
    nowhere.Release();
    QDBusConnection::disconnectFromBus(QStringLiteral("brimvolt-no-bus"));
    EXPECT_TRUE(capture.Messages().isEmpty()) << capture.Messages().join('\n').toStdString();
}

TEST(SystemSleepInhibitor, InhibitAndReleaseSaysNothing) {
    // Whatever this machine offers, the operator's console stays quiet.
    CMessageCapture capture;
    auto inhibitor = MakeSystemSleepInhibitor();
    ASSERT_NE(inhibitor, nullptr);
    inhibitor->Inhibit(QStringLiteral("a run"));
    inhibitor->Inhibit(QStringLiteral("a run"));
    inhibitor->Release();
    EXPECT_FALSE(inhibitor->IsHeld());
    inhibitor->Release();
    EXPECT_TRUE(capture.Messages().isEmpty()) << capture.Messages().join('\n').toStdString();
}

#include "sleep_inhibitor_test.moc"
