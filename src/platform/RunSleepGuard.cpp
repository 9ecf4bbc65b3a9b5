#include "platform/RunSleepGuard.h"

#include <QCoreApplication>
#include <utility>

namespace brimvolt::platform {

CRunSleepGuard::CRunSleepGuard(std::unique_ptr<CSleepInhibitor> inhibitor)
    : inhibitor(std::move(inhibitor)) {}

CRunSleepGuard::~CRunSleepGuard() {
    Stop();
}

QString CRunSleepGuard::Reason() {
    return QCoreApplication::translate("RunSleepGuard", "Идет разряд или заряд аккумулятора");
}

void CRunSleepGuard::FollowRunFlag(bool nowRunning) {
    if (nowRunning == running) {
        return;
    }
    running = nowRunning;
    if (!inhibitor) {
        return;
    }
    if (running) {
        inhibitor->Inhibit(Reason());
    } else {
        inhibitor->Release();
    }
}

void CRunSleepGuard::Stop() {
    FollowRunFlag(false);
}

}  // namespace brimvolt::platform
