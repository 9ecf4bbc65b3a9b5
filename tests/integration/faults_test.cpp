// The main window against a misbehaving module: the real serial backend on a pseudo-terminal,
// the simulator on its far end with faults switched on and off while the program runs.

#include <signal.h>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/BrimvoltDlg.h"
#include "curvefile/CurveFileReader.h"
#include "curvefile/CurveFileWriter.h"
#include "platform/QtSerialPort.h"
#include "sim/PtyTransport.h"
#include "sim/SimModule.h"
#include "support/Eventually.h"
#include "support/PtyPeer.h"
#include "support/ScriptedDialogs.h"

namespace {

using brimvolt::CurveReadStatus;
using brimvolt::CurveStore;
using brimvolt::sim::CPtyTransport;
using brimvolt::sim::CSimModule;
using brimvolt::sim::Fault;

const QString kNoModule = QStringLiteral("Доступный COM порт есть, но модуль не найден");
constexpr int kStartButton = 1007;
constexpr int kWriteButton = 1004;
constexpr int kValueEdit = 1002;
// The machine is shared and slow: every wait is far longer than the behaviour needs.
constexpr int kConnectMs = kEventuallyMs;
constexpr int kLongWaitMs = kEventuallyMs;

/** Runs the event loop until done() holds or timeoutMs pass; whether done() held. */
bool RunEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    return QTest::qWaitFor(done, timeoutMs);
}

/** Runs the event loop for a while, calling watch() between events as it goes. */
void RunEventsFor(int milliseconds, const std::function<void()>& watch = {}) {
    QElapsedTimer clock;
    clock.start();
    RunEventsUntil(
        [&] {
            if (watch) {
                watch();
            }
            return clock.elapsed() >= milliseconds;
        },
        milliseconds + 1000);
}

struct Points {
    std::vector<std::int32_t> seconds;
    std::vector<std::uint16_t> millivolts;
    std::size_t Size() const { return seconds.size(); }
};

Points PointsOf(const CurveStore& store) {
    Points points;
    for (std::int32_t i = 0; i <= store.lastIndex; ++i) {
        points.seconds.push_back(store.sampleTimes[i]);
        points.millivolts.push_back(store.sampleMillivolts[i]);
    }
    return points;
}

/** The points a curve file of the store holds (equal voltages in a row are written once). */
Points FileFormOf(const CurveStore& store) {
    auto copy = std::make_unique<CurveStore>(store);
    auto read = std::make_unique<CurveStore>();
    brimvolt::ReadCurveBytes(brimvolt::CurveFileBytes(*copy), *read);
    return PointsOf(*read);
}

/** The curve in a file; nullopt when the file is missing or does not load whole. */
std::optional<Points> CurveInFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    auto store = std::make_unique<CurveStore>();
    if (brimvolt::ReadCurve(file, *store).status != CurveReadStatus::Loaded) {
        return std::nullopt;
    }
    return PointsOf(*store);
}

bool StrictlyRising(const std::vector<std::int32_t>& seconds) {
    for (std::size_t i = 1; i < seconds.size(); ++i) {
        if (seconds[i] <= seconds[i - 1]) {
            return false;
        }
    }
    return true;
}

void Click(CBrimvoltDlg& dialog, int id) {
    auto* button = qobject_cast<QAbstractButton*>(dialog.Control(id));
    ASSERT_NE(button, nullptr) << id;
    button->click();
}

/**
 * A simulated module served on a pseudo-terminal and the main window with that device as its
 * only port, working in a folder of its own (Colors.ini and the autosave land there).
 */
class ProgramOnPty {
public:
    explicit ProgramOnPty(double moduleSpeed) : savedFolder(QDir::currentPath()) {
        module.UseWallClock(moduleSpeed);
        opened = work.isValid() && transport.Open();
        if (!opened) {
            return;
        }
        transport.Start();
        QDir::setCurrent(work.path());
        ports = brimvolt::platform::MakePathPorts({QString::fromStdString(transport.DevicePath())});
        dialog = std::make_unique<CBrimvoltDlg>(*ports, dialogs);
        dialog->Create();
    }
    ~ProgramOnPty() {
        dialog.reset();
        QDir::setCurrent(savedFolder);
    }

    bool Opened() const { return opened; }
    bool Connected() const { return dialog->Channel().portHandle != nullptr; }
    bool ShowsReadings() const {
        return dialog->Picture().kind == CBrimvoltDlg::DisplayPicture::Kind::Lines;
    }
    bool ShowsNoModule() const {
        return dialog->Picture().kind == CBrimvoltDlg::DisplayPicture::Kind::Message &&
               dialog->Picture().message == kNoModule;
    }
    CurveStore& Store() { return dialog->Channel().curveWindow.store; }
    QString AutosavePath() const { return work.filePath(QStringLiteral("temp.raz")); }

    /** Connects, starts a discharge with the start button and lets it record some points. */
    ::testing::AssertionResult StartRun(int points) {
        if (!RunEventsUntil([&] { return Connected() && ShowsReadings(); }, kConnectMs)) {
            return ::testing::AssertionFailure() << "the module was not found";
        }
        Click(*dialog, kStartButton);
        if (!RunEventsUntil([&] { return dialog->Channel().running != 0; }, kConnectMs)) {
            return ::testing::AssertionFailure() << "the run did not start";
        }
        if (!RunEventsUntil([&] { return Store().PointCount() >= points; }, kLongWaitMs)) {
            return ::testing::AssertionFailure() << "only " << Store().PointCount() << " points";
        }
        return ::testing::AssertionSuccess();
    }

    /** The module's readings as shown are its own: no stale, shifted or zeroed record. */
    bool ReadingsPlausible() const {
        return dialog->Channel().voltageMv >= 2500 && dialog->Channel().voltageMv <= 4500 && dialog->Channel().currentMa >= 500 &&
               dialog->Channel().currentMa <= 1500;
    }

    CSimModule module;
    CPtyTransport transport{module};
    QTemporaryDir work;
    QString savedFolder;
    bool opened = false;
    std::unique_ptr<brimvolt::platform::CPortSystem> ports;
    brimvolt::testing::ScriptedDialogs dialogs;
    std::unique_ptr<CBrimvoltDlg> dialog;
};

// The cable pulled in the middle of a discharge: the poll reads nothing, the port is closed and
// discovery searches; when the cable is back the module is found on its own and, its time having
// gone on, the same curve grows. The autosave holds the curve as it stood at the drop.
TEST(LinkFaults, PulledCableMidRunIsFoundAgainAndTheSameCurveGoesOn) {
    ProgramOnPty program(10.0);
    ASSERT_TRUE(program.Opened()) << program.transport.ErrorText();
    ASSERT_TRUE(program.StartRun(6));

    const std::int32_t pointsAtDrop = program.Store().PointCount();
    program.module.SetFault(Fault::DropLink, true);
    ASSERT_TRUE(RunEventsUntil([&] { return !program.Connected(); }, kLongWaitMs));
    const auto beforeDrop = std::make_unique<CurveStore>(program.Store());
    ASSERT_GE(beforeDrop->PointCount(), pointsAtDrop) << "the curve went with the link";
    ASSERT_TRUE(RunEventsUntil([&] { return program.ShowsNoModule(); }, kLongWaitMs))
        << "discovery did not take over";
    EXPECT_EQ(program.Store().PointCount(), beforeDrop->PointCount())
        << "points recorded without a module";

    const Points atDrop = FileFormOf(*beforeDrop);
    const std::optional<Points> saved = CurveInFile(program.AutosavePath());
    ASSERT_TRUE(saved.has_value()) << "no whole autosave at the drop";
    EXPECT_EQ(saved->seconds, atDrop.seconds);
    EXPECT_EQ(saved->millivolts, atDrop.millivolts);

    program.module.SetFault(Fault::DropLink, false);
    ASSERT_TRUE(RunEventsUntil([&] { return program.Connected(); }, kLongWaitMs))
        << "the module was not found again";
    ASSERT_TRUE(RunEventsUntil(
        [&] { return program.Store().PointCount() >= beforeDrop->PointCount() + 3; }, kLongWaitMs));

    const Points before = PointsOf(*beforeDrop);
    const Points after = PointsOf(program.Store());
    ASSERT_GT(after.Size(), before.Size());
    EXPECT_TRUE(std::equal(before.seconds.begin(), before.seconds.end(), after.seconds.begin()));
    EXPECT_TRUE(
        std::equal(before.millivolts.begin(), before.millivolts.end(), after.millivolts.begin()));
    EXPECT_TRUE(StrictlyRising(after.seconds));
    EXPECT_EQ(program.Store().durationSeconds, after.seconds.back());

    // The autosave follows the grown curve, with the curve before the drop at its head.
    ASSERT_TRUE(RunEventsUntil(
        [&] {
            const auto file = CurveInFile(program.AutosavePath());
            return file && file->seconds.back() == program.Store().durationSeconds;
        },
        kLongWaitMs));
    const Points grown = *CurveInFile(program.AutosavePath());
    // The last point at the drop is in the file only if its voltage differs from the one before.
    ASSERT_GE(grown.Size(), atDrop.Size() - 1);
    EXPECT_TRUE(
        std::equal(atDrop.seconds.begin(), atDrop.seconds.end() - 1, grown.seconds.begin()));
}

// Replies that come short or late, but within the read's bounds, never cost the link: a short
// status record keeps the bytes that did not come from the record before, so the readings and
// the curve stand still instead of taking zeros; a late one is simply waited for.
TEST(LinkFaults, ShortAndLateRepliesKeepTheLinkAndTheReadings) {
    struct Case {
        const char* name;
        Fault fault;
        bool curveGoesOn;  // whether the module's time reaches the curve during the fault
    };
    const Case cases[] = {
        {"short", Fault::ShortReplies, false},
        {"late within the read's bound", Fault::Late, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramOnPty program(10.0);
        ASSERT_TRUE(program.Opened()) << program.transport.ErrorText();
        program.module.SetLateDelayMs(150);
        ASSERT_TRUE(program.StartRun(4));

        const std::int32_t pointsAtFault = program.Store().PointCount();
        program.module.SetFault(c.fault, true);
        bool lostLink = false;
        bool implausible = false;
        const auto watch = [&] {
            lostLink = lostLink || !program.Connected();
            implausible = implausible || !program.ReadingsPlausible();
        };
        RunEventsFor(3000, watch);
        if (c.curveGoesOn) {
            EXPECT_TRUE(RunEventsUntil(
                [&] {
                    watch();
                    return program.Store().PointCount() >= pointsAtFault + 3;
                },
                kLongWaitMs));
        }
        EXPECT_FALSE(lostLink);
        EXPECT_FALSE(implausible) << "voltage " << program.dialog->Channel().voltageMv << " mV, current "
                                  << program.dialog->Channel().currentMa << " mA";
        if (!c.curveGoesOn) {
            EXPECT_EQ(program.Store().PointCount(), pointsAtFault);
        }

        program.module.SetFault(c.fault, false);
        EXPECT_TRUE(RunEventsUntil(
            [&] { return program.Store().PointCount() >= pointsAtFault + 5; }, kLongWaitMs));
        EXPECT_TRUE(StrictlyRising(PointsOf(program.Store()).seconds));
        EXPECT_TRUE(program.Connected());
    }
}

// A status reply that stalls part-way, or an acknowledgement that comes after its read gave up,
// leaves bytes that the next read would take as the start of its reply. At most one record is
// lost; none is read from the wrong bytes, on the display or in the curve.
TEST(LinkFaults, StalledAndLateRepliesNeverPutLaterRecordsOutOfStep) {
    struct Case {
        Fault fault;
        int selections;  // view selector moves, each a command with its acknowledgement
    };
    for (const Case& c : {Case{Fault::SplitStatus, 0}, Case{Fault::LateAck, 4}}) {
        SCOPED_TRACE(brimvolt::sim::FaultName(c.fault).data());
        ProgramOnPty program(4.0);
        ASSERT_TRUE(program.Opened()) << program.transport.ErrorText();
        program.module.SetLateDelayMs(200);
        ASSERT_TRUE(program.StartRun(3));
        const std::int32_t pointsAtFault = program.Store().PointCount();
        bool wrong = false;
        const auto watch = [&] {
            const QString line1 = program.dialog->Picture().line1;
            wrong = wrong || !program.Connected() || !program.ReadingsPlausible() ||
                    line1 == "NO ADC" || line1 == "NO DAC";
        };
        program.module.SetFault(c.fault, true);
        RunEventsFor(4000, watch);  // one status reply in ten stalls
        for (int i = 0; i < c.selections; ++i) {
            program.dialog->viewSpin->Step(i % 2 == 0 ? -1 : +1);
            RunEventsFor(800, watch);
        }
        EXPECT_TRUE(RunEventsUntil(
            [&] {
                watch();
                return program.Store().PointCount() >= pointsAtFault + 3;
            },
            kLongWaitMs))
            << "the curve stood still";
        EXPECT_FALSE(wrong) << program.dialog->Channel().voltageMv << " mV, " << program.dialog->Channel().currentMa
                            << " mA, " << program.dialog->Picture().line1.toStdString();
        EXPECT_EQ(program.module.State().lastSelector, c.selections == 0 ? 0 : 255);

        // Every point one the module had, in the store and in the autosave.
        const std::int32_t moduleSeconds = program.module.State().elapsedSeconds;
        const auto modules = [&](const Points& points) {
            for (std::size_t i = 1; i < points.Size(); ++i) {
                if (points.seconds[i] <= points.seconds[i - 1] ||
                    points.seconds[i] > moduleSeconds || points.millivolts[i] < 2500 ||
                    points.millivolts[i] > 4500) {
                    return ::testing::AssertionFailure()
                           << points.seconds[i] << " s, " << points.millivolts[i] << " mV";
                }
            }
            return ::testing::AssertionSuccess();
        };
        EXPECT_TRUE(modules(PointsOf(program.Store())));
        const std::optional<Points> saved = CurveInFile(program.AutosavePath());
        ASSERT_TRUE(saved.has_value());
        EXPECT_TRUE(modules(*saved));
    }
}

// A reply later than the read waits for is no reply: the link counts as lost and discovery,
// whose probe is answered too late as well, finds no module until the replies are in time again.
TEST(LinkFaults, RepliesLaterThanTheReadWaitsCountAsALostLink) {
    ProgramOnPty program(10.0);
    ASSERT_TRUE(program.Opened()) << program.transport.ErrorText();
    program.module.SetLateDelayMs(800);
    ASSERT_TRUE(program.StartRun(4));

    program.module.SetFault(Fault::Late, true);
    // Only the lost link is certain: a late "Brim" from an earlier probe may land in a later
    // probe's read and connect again for a moment, so what the display shows meanwhile varies.
    ASSERT_TRUE(RunEventsUntil([&] { return !program.Connected(); }, kLongWaitMs));
    const std::int32_t duration = program.Store().durationSeconds;

    // Nothing on the line marks where a reply begins: a late reply that lands while the port is
    // open puts every later one out of step, as on any such line. So the module falls silent
    // until the last late reply is out, then answers in time again.
    program.module.SetFault(Fault::DropLink, true);
    program.module.SetFault(Fault::Late, false);
    RunEventsFor(4000);
    program.module.SetFault(Fault::DropLink, false);
    ASSERT_TRUE(RunEventsUntil([&] { return program.Connected() && program.ShowsReadings(); },
                               kLongWaitMs));
    EXPECT_TRUE(
        RunEventsUntil([&] { return program.Store().durationSeconds > duration; }, kLongWaitMs));
    EXPECT_TRUE(CurveInFile(program.AutosavePath()).has_value());
}

// Random bytes of the right length are decoded like any record: the program must take whatever
// values they hold (times past the module's range included) without failing, keep the link,
// keep an autosave that loads, and show the module's true readings once the line is clean.
TEST(LinkFaults, GarbledRecordsAreSurvivedAndTrueReadingsReturn) {
    ProgramOnPty program(10.0);
    ASSERT_TRUE(program.Opened()) << program.transport.ErrorText();
    ASSERT_TRUE(program.StartRun(4));

    program.module.SetFault(Fault::Garbled, true);
    bool lostLink = false;
    RunEventsFor(3000, [&] { lostLink = lostLink || !program.Connected(); });
    EXPECT_FALSE(lostLink);
    program.module.SetFault(Fault::Garbled, false);

    ASSERT_TRUE(RunEventsUntil([&] { return program.ReadingsPlausible(); }, kLongWaitMs));
    RunEventsFor(1000);
    EXPECT_TRUE(program.ReadingsPlausible());
    EXPECT_TRUE(program.Connected());
    EXPECT_EQ(program.dialog->Channel().running, 1);
    // The autosave is rewritten at every new point; wait for the first after the noise.
    const std::int32_t points = program.Store().PointCount();
    ASSERT_TRUE(
        RunEventsUntil([&] { return program.Store().PointCount() > points + 1; }, kLongWaitMs));
    RunEventsFor(500);
    EXPECT_TRUE(CurveInFile(program.AutosavePath()).has_value());
}

// A device that answers the probe and nothing else: each status poll that reads nothing hands
// back to discovery at once; the same port is never polled twice in a row without a new probe,
// no reading is taken, and the window stays responsive throughout.
TEST(LinkFaults, PortAnsweringOnlyTheProbeIsProbedBeforeEveryPoll) {
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString savedFolder = QDir::currentPath();
    QDir::setCurrent(work.path());
    {
        brimvolt::testing::PtyPeer peer;
        ASSERT_TRUE(peer.IsOpen());
        peer.Answer('u', brimvolt::testing::PtyPeer::Bytes("Brim"));
        auto ports = brimvolt::platform::MakePathPorts({peer.Path()});
        brimvolt::testing::ScriptedDialogs dialogs;
        auto dialog = std::make_unique<CBrimvoltDlg>(*ports, dialogs);
        dialog->Create();

        int timerTurns = 0;
        const auto commandsSent = [&] {
            QByteArray commands;
            for (const auto& request : peer.Requests()) {
                commands.append(request.bytes.left(1));
            }
            return commands;
        };
        RunEventsFor(4000, [&] { ++timerTurns; });
        RunEventsUntil([&] { return commandsSent().count('a') >= 3; }, kLongWaitMs);
        EXPECT_GT(timerTurns, 20) << "the window stopped handling events";

        const QByteArray commands = commandsSent();
        EXPECT_GE(commands.count('a'), 3) << commands.constData();
        EXPECT_FALSE(commands.contains("aa")) << commands.constData();
        // A probe may be waiting for its poll as the peer is read.
        EXPECT_GE(commands.count('u') - commands.count('a'), 0) << commands.constData();
        EXPECT_LE(commands.count('u') - commands.count('a'), 1) << commands.constData();
        EXPECT_EQ(dialog->Channel().firstReading, 1);
        EXPECT_EQ(dialog->Channel().curveWindow.store.durationSeconds, 0);
        EXPECT_NE(dialog->Picture().kind, CBrimvoltDlg::DisplayPicture::Kind::Lines);
        dialog.reset();
    }
    QDir::setCurrent(savedFolder);
}

// The module unplugged with an operator's command waiting for the next tick: the command goes
// out once, into the void, and is never repeated when the module is back, since a repeated
// start/stop or parameter write would act on a module whose state the program did not see.
TEST(LinkFaults, CommandPendingWhenTheModuleIsUnpluggedIsNotRepeatedLater) {
    struct Case {
        const char* name;
        std::function<void(CBrimvoltDlg&)> act;
        std::function<bool(const brimvolt::sim::SimState&)> moduleUntouched;
    };
    const Case cases[] = {
        {"start button", [](CBrimvoltDlg& dialog) { Click(dialog, kStartButton); },
         [](const brimvolt::sim::SimState& state) {
             return (state.flags & brimvolt::sim::simflags::kRunning) == 0;
         }},
        {"parameter write",
         [](CBrimvoltDlg& dialog) {
             // Row 3 of the operational list is the set current, 1.000 A in a fresh module.
             dialog.operationalList->setCurrentRow(3);
             qobject_cast<QLineEdit*>(dialog.Control(kValueEdit))->setText("1.5");
             Click(dialog, kWriteButton);
         },
         [](const brimvolt::sim::SimState& state) { return state.params[3] == 1000; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramOnPty program(1.0);
        ASSERT_TRUE(program.Opened()) << program.transport.ErrorText();
        ASSERT_TRUE(RunEventsUntil([&] { return program.Connected() && program.ShowsReadings(); },
                                   kConnectMs));
        ASSERT_TRUE(c.moduleUntouched(program.module.State()));

        program.module.SetFault(Fault::DropLink, true);
        c.act(*program.dialog);
        EXPECT_NE(program.dialog->Channel().pendingCommand, 'a');
        ASSERT_TRUE(RunEventsUntil([&] { return !program.Connected(); }, kLongWaitMs));
        EXPECT_EQ(program.dialog->Channel().pendingCommand, 'a');

        program.module.SetFault(Fault::DropLink, false);
        ASSERT_TRUE(RunEventsUntil([&] { return program.Connected(); }, kLongWaitMs));
        RunEventsFor(1500);
        EXPECT_TRUE(program.Connected());
        EXPECT_TRUE(c.moduleUntouched(program.module.State()));

        // The link is whole again: the same action now reaches the module.
        c.act(*program.dialog);
        EXPECT_TRUE(RunEventsUntil([&] { return !c.moduleUntouched(program.module.State()); },
                                   kLongWaitMs));
    }
}

QString BinPath(const char* name) {
    return qEnvironmentVariable("BRIMVOLT_BIN") + QLatin1Char('/') + QLatin1String(name);
}

// The whole program, as run from a shell, against the simulator tool whose cable is pulled and
// plugged back with SIGUSR1: the autosave stands still while the module is away and then grows
// from the same curve.
TEST(LinkFaults, RealProgramFollowsThePulledAndRepluggedCable) {
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString link = work.filePath("module-tty");
    const QString autosave = work.filePath("temp.raz");

    QProcess sim;
    sim.start(BinPath("brimvolt-sim"), {"--run", "--speed", "10", "--link", link});
    ASSERT_TRUE(sim.waitForStarted(30000));
    ASSERT_TRUE(sim.waitForReadyRead(10000)) << "the simulator printed no device";

    QProcess program;
    program.setWorkingDirectory(work.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(BinPath("brimvolt"), {"--extra-port", link});
    ASSERT_TRUE(program.waitForStarted(30000));

    const auto waitForFile = [&](const std::function<bool(const Points&)>& good) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < kLongWaitMs) {
            if (const auto points = CurveInFile(autosave); points && good(*points)) {
                return true;
            }
            program.waitForFinished(100);
            if (program.state() != QProcess::Running) {
                return false;
            }
        }
        return false;
    };
    ASSERT_TRUE(waitForFile([](const Points& points) { return points.Size() >= 6; }));

    ::kill(static_cast<pid_t>(sim.processId()), SIGUSR1);
    // The poll gives up after about half a second; from then on nothing new may be written. The
    // module's clock runs ten seconds a second, so a file that stays the same for two seconds
    // was not being recorded into, however long a busy machine took to get there.
    const auto autosaveBytes = [&] {
        QFile file(autosave);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    bool steady = false;
    QElapsedTimer away;
    away.start();
    while (!steady && away.elapsed() < kLongWaitMs) {
        const QByteArray atDrop = autosaveBytes();
        program.waitForFinished(2000);
        steady = autosaveBytes() == atDrop;
    }
    EXPECT_TRUE(steady) << "the autosave changed while the module was away";
    const std::optional<Points> before = CurveInFile(autosave);
    ASSERT_TRUE(before.has_value());

    ::kill(static_cast<pid_t>(sim.processId()), SIGUSR1);
    ASSERT_TRUE(waitForFile([&](const Points& points) {
        return points.Size() >= before->Size() + 3 &&
               points.seconds.back() > before->seconds.back();
    })) << "no recording after the module came back";
    const Points after = *CurveInFile(autosave);
    EXPECT_TRUE(
        std::equal(before->seconds.begin(), before->seconds.end() - 1, after.seconds.begin()));
    EXPECT_TRUE(std::equal(before->millivolts.begin(), before->millivolts.end() - 1,
                           after.millivolts.begin()));
    EXPECT_TRUE(StrictlyRising(after.seconds));

    program.kill();
    program.waitForFinished(10000);
    sim.terminate();
    sim.waitForFinished(10000);
}

}  // namespace
