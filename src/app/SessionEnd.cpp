#include "app/SessionEnd.h"

#include <QGuiApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

#ifndef QT_NO_SESSIONMANAGER
#include <QSessionManager>
#endif

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace brimvolt {

namespace {

CSessionEnd* g_instance = nullptr;

#ifdef Q_OS_WIN

BOOL WINAPI OnConsoleControl(DWORD type) {
    CSessionEnd* const instance = g_instance;
    if (!instance) {
        return FALSE;
    }
    QMetaObject::invokeMethod(
        instance, [instance] { emit instance->EndRequested(); }, Qt::QueuedConnection);
    // After a close, logoff or shutdown event the process ends as soon as this returns: it
    // waits here until the exit path has run and main returns (the system's own limit stands).
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
        Sleep(INFINITE);
    }
    return TRUE;
}

#else

// The self-pipe: a signal handler may only write a byte; the window's thread reads it.
int g_pipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void OnEndSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(g_pipe[1], &byte, 1);
    errno = saved;
}

#endif

}  // namespace

CSessionEnd::CSessionEnd(QObject* parent) : QObject(parent) {
    if (g_instance) {
        return;
    }
    g_instance = this;
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
#else
    if (pipe(g_pipe) == 0) {
        for (const int fd : g_pipe) {
            fcntl(fd, F_SETFD, FD_CLOEXEC);
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
        notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
        connect(notifier.get(), &QSocketNotifier::activated, this, &CSessionEnd::OnSignalByte);
        struct sigaction action = {};
        action.sa_handler = &OnEndSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (const int signal : kSignals) {
            sigaction(signal, &action, nullptr);
        }
    }
#endif
#ifndef QT_NO_SESSIONMANAGER
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(application, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager&) { emit EndRequested(); });
    }
#endif
}

CSessionEnd::~CSessionEnd() {
    if (g_instance != this) {
        return;
    }
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
#else
    if (notifier) {
        // A signal from here on ends the program as it would without us.
        for (const int signal : kSignals) {
            std::signal(signal, SIG_DFL);
        }
        notifier.reset();
        close(g_pipe[0]);
        close(g_pipe[1]);
        g_pipe[0] = g_pipe[1] = -1;
    }
#endif
    g_instance = nullptr;
}

void CSessionEnd::OnSignalByte() {
#ifndef Q_OS_WIN
    char bytes[16];
    while (read(g_pipe[0], bytes, sizeof bytes) > 0) {
    }
    emit EndRequested();
#endif
}

}  // namespace brimvolt
