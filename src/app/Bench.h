#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

#include "channel/BenchModel.h"
#include "cycle/TestProgram.h"
#include "mqtt/MqttSettings.h"

class CBrimvoltDlg;
class CJournalDlg;

namespace brimvolt {

class CBoundedPorts;
class CChannel;
class CClaimedPorts;
class CJournalProblems;
class CSleepHold;

namespace platform {
class CDialogs;
class CPortSystem;
class CRunSleepGuard;
}  // namespace platform

/**
 * A bench of modules in one program: a channel per module, up to kMaxChannels, each with its
 * main window made hidden. Bound to ports, it drives exactly those; otherwise one channel always
 * searches, and a module it finds keeps that channel while the next one searches on. The
 * channels share the opens, the claimed ports, the journal file, the sleep guard and the
 * telling of journal problems.
 */
class CBench : public CBenchModel {
    Q_OBJECT
public:
    static constexpr int kMaxChannels = 16;

    /** `journalPath` absolute; `ports` the --port names (none: every module found). */
    CBench(platform::CPortSystem& ports, platform::CDialogs& dialogs, QString journalPath,
           QStringList boundPorts);
    ~CBench() override;

    // Before Start.
    void SetSleepGuard(std::unique_ptr<platform::CRunSleepGuard> guard);
    /** Every channel publishes under the operator's prefix and its port, or its own default. */
    void PublishOverMqtt(const MqttSettings& settings) { mqtt = settings; }
    /** Every channel starts `program` when its module is found, each with its own next cell. */
    void RunProgramOnEveryChannel(const TestProgram& program) { everyChannelProgram = program; }
    /** Makes the first channels: one per bound port, or the one that searches. */
    void Start();

    int ChannelCount() const override { return static_cast<int>(channels.size()); }
    ChannelPicture Picture(int channel) const override;
    const CurveStore& Curve(int channel) const override;
    void OpenChannel(int channel) override;
    void SetNextCell(int channel, const QString& cell) override;
    void Start(const QList<int>& channels) override;
    void Stop(const QList<int>& channels) override;
    void StartProgram(const QList<int>& channels, const TestProgram& program) override;
    QString WhyNoCheck(int channel) const override;
    QString CheckVoltage(int channel, const QString& cell) override;
    void Leave() override;

    CChannel& ChannelAt(int channel) const;
    CBrimvoltDlg& ViewAt(int channel) const;
    /** The one journal window, following every channel. */
    void OpenJournal();
    CJournalDlg* JournalWindow() const { return journalWindow.get(); }

    /** Where channel `slot`'s main window and curve window go: side by side, slots tiling. */
    static QPoint MainWindowPlace(int slot, QSize mainSize, QRect screen);

private:
    void AddChannel(const QString& boundPort);
    void OnFound(int channel);
    int IndexOf(const CChannel* channel) const;

    platform::CPortSystem& ports;
    platform::CDialogs& dialogs;
    QString journalPath;
    QStringList boundPorts;
    std::shared_ptr<CBoundedPorts> boundedPorts;
    std::shared_ptr<CClaimedPorts> claims;
    std::shared_ptr<CSleepHold> sleepHold;
    std::shared_ptr<CJournalProblems> journalProblems;
    std::optional<MqttSettings> mqtt;
    std::optional<TestProgram> everyChannelProgram;
    bool leaving = false;

    std::vector<std::unique_ptr<CChannel>> channels;
    // Destroyed before the channels they show.
    std::vector<std::unique_ptr<CBrimvoltDlg>> views;
    std::unique_ptr<CJournalDlg> journalWindow;
};

}  // namespace brimvolt
