#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <memory>
#include <vector>

#include "channel/BenchModel.h"
#include "cycle/TestProgram.h"
#include "plot/CurveStore.h"

namespace brimvolt::testing {

/** A bench of pictures set by the test, recording what the window asks of its channels. */
class FakeBenchModel : public CBenchModel {
public:
    int ChannelCount() const override { return static_cast<int>(pictures.size()); }
    ChannelPicture Picture(int channel) const override {
        return pictures[static_cast<std::size_t>(channel)];
    }
    const CurveStore& Curve(int channel) const override {
        return *curves[static_cast<std::size_t>(channel)];
    }
    void OpenChannel(int channel) override { opened.append(channel); }
    void SetNextCell(int channel, const QString& cell) override {
        nextCells.append({channel, cell});
    }
    void Start(const QList<int>& channels) override { started.append(channels); }
    void Stop(const QList<int>& channels) override { stopped.append(channels); }
    void StartProgram(const QList<int>& channels, const TestProgram& program) override {
        programs.append({channels, program});
    }
    QString WhyNoCheck(int) const override { return checkRefusal; }
    QString CheckVoltage(int channel, const QString& cell) override {
        checks.append({channel, cell});
        return checkRefusal;
    }
    void Leave() override { ++leaves; }

    int Add(const ChannelPicture& picture) {
        pictures.push_back(picture);
        curves.push_back(std::make_unique<CurveStore>());
        emit ChannelAdded(ChannelCount() - 1);
        return ChannelCount() - 1;
    }
    void Set(int channel, const ChannelPicture& picture) {
        pictures[static_cast<std::size_t>(channel)] = picture;
        emit ChannelChanged(channel);
    }
    CurveStore& Store(int channel) { return *curves[static_cast<std::size_t>(channel)]; }

    std::vector<ChannelPicture> pictures;
    std::vector<std::unique_ptr<CurveStore>> curves;
    QList<int> opened;
    QList<QPair<int, QString>> nextCells;
    QList<QList<int>> started;
    QList<QList<int>> stopped;
    QList<QPair<QList<int>, TestProgram>> programs;
    QList<QPair<int, QString>> checks;
    QString checkRefusal;  // what WhyNoCheck and CheckVoltage answer; empty: a check begins
    int leaves = 0;
};

}  // namespace brimvolt::testing
