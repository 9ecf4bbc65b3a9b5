#include "app/Bench.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

#include "app/BrimvoltDlg.h"
#include "app/JournalProblems.h"
#include "channel/Channel.h"
#include "channel/SleepHold.h"
#include "journalview/JournalDlg.h"
#include "link/BoundedPorts.h"
#include "link/ClaimedPorts.h"
#include "platform/RunSleepGuard.h"

namespace brimvolt {

CBench::CBench(platform::CPortSystem& ports, platform::CDialogs& dialogs, QString journalPath,
               QStringList boundPorts)
    : ports(ports),
      dialogs(dialogs),
      journalPath(std::move(journalPath)),
      boundPorts(std::move(boundPorts)),
      boundedPorts(std::make_shared<CBoundedPorts>(ports)),
      claims(std::make_shared<CClaimedPorts>()),
      journalProblems(std::make_shared<CJournalProblems>(dialogs)) {}

CBench::~CBench() {
    journalWindow.reset();
    views.clear();
    channels.clear();
}

void CBench::SetSleepGuard(std::unique_ptr<platform::CRunSleepGuard> guard) {
    sleepHold = guard ? std::make_shared<CSleepHold>(std::move(guard)) : nullptr;
}

void CBench::Start() {
    if (!channels.empty()) {
        return;
    }
    if (boundPorts.isEmpty()) {
        AddChannel(QString());
    }
    for (const QString& port : boundPorts) {
        AddChannel(port);
    }
}

void CBench::AddChannel(const QString& boundPort) {
    ChannelSetup setup;
    setup.journalPath = journalPath;
    setup.boundPort = boundPort;
    setup.keepFoundPort = true;
    setup.autosavePerPort = true;
    setup.boundedPorts = boundedPorts;
    setup.claims = claims;
    auto channel = std::make_unique<CChannel>(ports, dialogs, std::move(setup));
    CChannel* added = channel.get();
    channel->SetSleepHold(sleepHold);
    if (mqtt) {
        channel->PublishOverMqtt(*mqtt, true);
    }
    auto view = std::make_unique<CBrimvoltDlg>(*channel, dialogs, journalProblems);
    view->SetJournalOpener([this] { OpenJournal(); });
    if (everyChannelProgram) {
        channel->Runner().SetProgram(*everyChannelProgram);
        channel->Runner().Start();
    }
    connect(added, &CChannel::Changed, this, [this, added] {
        if (const int index = IndexOf(added); index >= 0) {
            emit ChannelChanged(index);
        }
    });
    connect(added, &CChannel::Found, this, [this, added] { OnFound(IndexOf(added)); });
    channels.push_back(std::move(channel));
    views.push_back(std::move(view));
    if (journalWindow) {
        journalWindow->AlsoFollow(added->Journal());
    }
    // The curve window's owner is the channel's main window, made hidden until it is opened.
    added->Start(views.back().get());
    emit ChannelAdded(ChannelCount() - 1);
}

void CBench::OnFound(int channel) {
    // The searching channel has its module now: the next module plugged in needs a channel.
    const bool wasSearching = boundPorts.isEmpty() && channel == ChannelCount() - 1;
    if (!leaving && wasSearching && ChannelCount() < kMaxChannels) {
        AddChannel(QString());
    }
}

int CBench::IndexOf(const CChannel* channel) const {
    for (std::size_t i = 0; i < channels.size(); ++i) {
        if (channels[i].get() == channel) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

CChannel& CBench::ChannelAt(int channel) const {
    return *channels.at(static_cast<std::size_t>(channel));
}

CBrimvoltDlg& CBench::ViewAt(int channel) const {
    return *views.at(static_cast<std::size_t>(channel));
}

ChannelPicture CBench::Picture(int channel) const {
    return ChannelAt(channel).TilePicture();
}

const CurveStore& CBench::Curve(int channel) const {
    return ChannelAt(channel).curveWindow.store;
}

QPoint CBench::MainWindowPlace(int slot, QSize mainSize, QRect screen) {
    // A slot holds the curve window (720 wide) and the main window right of it.
    const int slotWidth = 722 + mainSize.width() + 8;
    const int slotHeight = mainSize.height() + 40;
    const int columns = std::max(1, screen.width() / slotWidth);
    const int rows = std::max(1, screen.height() / slotHeight);
    const int column = slot % columns;
    const int row = (slot / columns) % rows;
    return screen.topLeft() + QPoint(column * slotWidth + 722, row * slotHeight);
}

void CBench::OpenChannel(int channel) {
    CBrimvoltDlg& view = ViewAt(channel);
    if (!view.isVisible()) {
        // The first slot no other open channel's windows use.
        std::vector<QPoint> taken;
        for (const auto& other : views) {
            if (other.get() != &view && other->isVisible()) {
                taken.push_back(other->pos());
            }
        }
        view.Create();
        view.show();
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
        QPoint place;
        for (int slot = 0; slot < kMaxChannels; ++slot) {
            place = MainWindowPlace(slot, view.frameGeometry().size(), area);
            if (std::find(taken.begin(), taken.end(), place) == taken.end()) {
                break;
            }
        }
        view.move(place);
        CGraf& curve = ChannelAt(channel).curveWindow;
        curve.home = place - QPoint(722, 0);
        curve.maxPlotHeight = std::max(20, view.frameGeometry().height() - 30);
        curve.move(curve.home);
        curve.show();
        curve.CurveChanged();
    }
    view.raise();
    view.activateWindow();
}

void CBench::SetNextCell(int channel, const QString& cell) {
    ChannelAt(channel).SetNextCell(cell);
}

void CBench::Start(const QList<int>& selected) {
    for (const int index : selected) {
        CChannel& channel = ChannelAt(index);
        // 'p' starts and stops alike: only a module that runs nothing is sent it.
        if (channel.portHandle && channel.running == 0 && !channel.Runner().Active()) {
            channel.QueueCommand('p');
        }
    }
}

void CBench::Stop(const QList<int>& selected) {
    for (const int index : selected) {
        CChannel& channel = ChannelAt(index);
        if (channel.Runner().StartPending()) {
            channel.Runner().CancelPendingStart();
        } else if (channel.Runner().Active()) {
            // The program stops the module itself.
            channel.Runner().OperatorStop(StopScope::Program);
        } else if (channel.portHandle && channel.running != 0) {
            channel.QueueCommand('p');
        }
    }
}

void CBench::StartProgram(const QList<int>& selected, const TestProgram& program) {
    for (const int index : selected) {
        CProgramRunner& runner = ChannelAt(index).Runner();
        if (!runner.Active() && runner.SetProgram(program)) {
            runner.SetCell(QString());
            runner.Start();
        }
    }
}

QString CBench::WhyNoCheck(int channel) const {
    return ChannelAt(channel).WhyNoCheck();
}

QString CBench::CheckVoltage(int channel, const QString& cell) {
    return ChannelAt(channel).CheckVoltage(cell);
}

void CBench::Leave() {
    if (leaving) {
        return;
    }
    leaving = true;
    journalProblems->StopTelling();
    for (const auto& channel : channels) {
        channel->Leave();
    }
    for (const auto& view : views) {
        view->hide();
        view->Channel().curveWindow.hide();
    }
    if (journalWindow) {
        journalWindow->hide();
    }
}

void CBench::OpenJournal() {
    if (!journalWindow && !channels.empty()) {
        journalWindow = std::make_unique<CJournalDlg>(dialogs, channels.front()->curveWindow);
        journalWindow->Create(nullptr, journalPath);
        for (const auto& channel : channels) {
            journalWindow->AlsoFollow(channel->Journal());
        }
        journalWindow->SetCurveWindowOf([this](const QString& port) -> CGraf* {
            for (const auto& channel : channels) {
                if (channel->Port() == port) {
                    return &channel->curveWindow;
                }
            }
            return nullptr;
        });
    }
    if (journalWindow) {
        journalWindow->show();
        journalWindow->raise();
        journalWindow->activateWindow();
    }
}

}  // namespace brimvolt
