#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include "channel/ChannelPicture.h"

namespace brimvolt {

struct CurveStore;
struct TestProgram;

/**
 * The bench as its window sees it: channels by number (from 0, in the order they came), what
 * each shows, and what the operator may ask of them. The window holds no channel state.
 */
class CBenchModel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual int ChannelCount() const = 0;
    virtual ChannelPicture Picture(int channel) const = 0;
    /** The channel's curve store: its running or latest run. Lives as long as the channel. */
    virtual const CurveStore& Curve(int channel) const = 0;

    /** Shows the channel's main window and curve window, modeless, beside other channels'. */
    virtual void OpenChannel(int channel) = 0;
    /** The cell in the channel's holder: its next run belongs to it. Empty: none. */
    virtual void SetNextCell(int channel, const QString& cell) = 0;
    /** Starts a run (the module's "Пуск") on each of the channels whose module runs nothing. */
    virtual void Start(const QList<int>& channels) = 0;
    /** Ends the program going on each of the channels and stops its run; the caller asked. */
    virtual void Stop(const QList<int>& channels) = 0;
    /** Starts `program` on each of the channels, each with its own next cell. */
    virtual void StartProgram(const QList<int>& channels, const TestProgram& program) = 0;
    /** Why the channel cannot check a cell's voltage now; empty when it can. */
    virtual QString WhyNoCheck(int channel) const = 0;
    /**
     * A voltage check of `cell`, the cell in the channel's holder, with its idle module: empty
     * when it began, else why not. Its progress and result come in the channel's picture.
     */
    virtual QString CheckVoltage(int channel, const QString& cell) = 0;
    /** Leaves every channel as the program's exit does; the caller asked. */
    virtual void Leave() = 0;

signals:
    void ChannelAdded(int channel);
    /** What the channel shows changed: a status record, a state, its curve. */
    void ChannelChanged(int channel);
};

}  // namespace brimvolt
