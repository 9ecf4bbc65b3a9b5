#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

#include "app/BrimvoltDlg.h"
#include "platform/RunSleepGuard.h"
#include "platform/SerialPort.h"
#include "platform/SleepInhibitor.h"
#include "support/ScriptedDialogs.h"

using namespace brimvolt;

namespace {

// A computer with no serial ports: discovery finds nothing quickly and start-up is the window's.
class CNoPorts : public platform::CPortSystem {
public:
    QStringList PortNames() override { return {}; }
    std::unique_ptr<platform::CSerialPort> Open(const QString&) override { return nullptr; }
};

// Notes the first paint of the watched window.
class CFirstPaint : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted = true;
        }
        return QObject::eventFilter(watched, event);
    }
};

// From constructing the main window, as the program does before its message loop, to the first
// paint of the shown window: what the operator waits for after starting the program.
void BM_StartupToFirstPaint(benchmark::State& state) {
    // The curve window reads its colour file from the current folder; the first start writes it.
    QTemporaryDir folder;
    const QString previousFolder = QDir::currentPath();
    if (!folder.isValid() || !QDir::setCurrent(folder.path())) {
        state.SkipWithError("no temporary folder");
        return;
    }
    bool timedOut = false;
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [&timedOut] { timedOut = true; });

    for (auto _ : state) {
        CNoPorts ports;
        testing::ScriptedDialogs dialogs;
        CFirstPaint firstPaint;
        auto dialog = std::make_unique<CBrimvoltDlg>(ports, dialogs);
        dialog->SetSleepGuard(
            std::make_unique<platform::CRunSleepGuard>(platform::MakeSystemSleepInhibitor()));
        dialog->installEventFilter(&firstPaint);
        // exec() is Create() followed by the modal loop; the loop here is the one below.
        dialog->Create();
        timedOut = false;
        giveUp.start(10000);
        while (!firstPaint.painted && !timedOut) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        giveUp.stop();

        state.PauseTiming();
        dialog->removeEventFilter(&firstPaint);
        dialog.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        state.ResumeTiming();
        if (timedOut) {
            state.SkipWithError("the main window was never painted");
            break;
        }
    }
    QDir::setCurrent(previousFolder);
}

}  // namespace

BENCHMARK(BM_StartupToFirstPaint)->Iterations(4)->Unit(benchmark::kMillisecond);
