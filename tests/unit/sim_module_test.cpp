#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "sim/SimModule.h"

namespace brimvolt::sim {
namespace {

// The test reads the record by its wire layout on its own, so a layout slip in the module
// cannot hide behind a shared decoder.
struct Wire {
    std::vector<std::uint8_t> bytes;

    unsigned Word(std::size_t at) const { return bytes.at(at) | bytes.at(at + 1) << 8; }
    unsigned Param(int k) const { return Word(2 * static_cast<std::size_t>(k)); }
    unsigned CurrentMa() const { return Word(24); }
    unsigned VoltageMv() const { return Word(26); }
    unsigned RinMohm() const { return Word(28); }
    int Seconds() const { return bytes.at(30) + 60 * bytes.at(31) + 3600 * bytes.at(32); }
    unsigned CapacityMah() const { return bytes.at(33) | bytes.at(34) << 8 | bytes.at(35) << 16; }
    unsigned Temperature() const { return bytes.at(36); }
    unsigned Flags() const { return bytes.at(37); }
    bool Running() const { return (Flags() & 0x08) != 0; }
};

SimRequest Req(char command, int a1 = 0, int a2 = 0, int a3 = 0) {
    return {static_cast<std::uint8_t>(command), static_cast<std::uint8_t>(a1),
            static_cast<std::uint8_t>(a2), static_cast<std::uint8_t>(a3)};
}

Wire Poll(CSimModule& module) {
    return Wire{module.Handle(Req('a'))};
}

CSimModule ModuleAt(double stateOfCharge) {
    CellConfig cell;
    cell.stateOfCharge = stateOfCharge;
    return CSimModule(cell);
}

// Runs the clock a second at a time until the run ends or the limit passes.
int RunUntilStopped(CSimModule& module, int limitSeconds) {
    for (int s = 0; s < limitSeconds; ++s) {
        module.Advance(1.0);
        if (!Poll(module).Running()) {
            return s + 1;
        }
    }
    return -1;
}

TEST(SimModuleProtocol, EveryRequestGetsAReplyOfItsFixedSize) {
    CSimModule module;
    const auto probe = module.Handle(Req('u'));
    EXPECT_EQ(std::string(probe.begin(), probe.end()), "Brim");
    EXPECT_EQ(module.Handle(Req('a')).size(), 42u);
    for (char command : {'p', 's', 'r', 'c', 'S', 't', 'C', 'N', 'w', 'x', '\0'}) {
        EXPECT_EQ(module.Handle(Req(command)).size(), 4u) << "command " << int(command);
    }
}

TEST(SimModuleProtocol, DefaultParametersTravelAsLittleEndianWords) {
    CSimModule module;
    const Wire wire = Poll(module);
    const unsigned expected[12] = {0, 3000, 0, 1000, 0, 20000, 4500, 0, 0, 1, 40, 70};
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(wire.Param(k), expected[k]) << "word " << k;
    }
    EXPECT_EQ(wire.bytes[2], 0xB8);  // 3000 = 0x0BB8, low byte first
    EXPECT_EQ(wire.bytes[3], 0x0B);
}

TEST(SimModuleProtocol, AtRestTheFullCellShowsItsOpenCircuitVoltageAndNoCurrent) {
    CSimModule module;
    const Wire wire = Poll(module);
    EXPECT_EQ(wire.CurrentMa(), 0u);
    EXPECT_NEAR(wire.VoltageMv(), 4200.0, 5.0);
    EXPECT_EQ(wire.Seconds(), 0);
    EXPECT_EQ(wire.CapacityMah(), 0u);
    EXPECT_EQ(wire.Flags(), 0u);
    EXPECT_EQ(wire.Temperature(), 25u);
}

TEST(SimModuleRun, DischargeDrawsTheSetCurrentAndCountsTimeAndCapacity) {
    CSimModule module;
    const unsigned rest = Poll(module).VoltageMv();
    module.Handle(Req('p'));
    module.Advance(10.0);
    Wire wire = Poll(module);
    EXPECT_TRUE(wire.Running());
    EXPECT_EQ(wire.CurrentMa(), 1000u);
    EXPECT_EQ(wire.Seconds(), 10);
    EXPECT_LT(wire.VoltageMv(), rest);  // the internal resistance drops the voltage under load
    EXPECT_EQ(wire.CapacityMah(), 2u);  // 10 s at 1 A is 2.8 mAh, counted in whole mAh

    module.Advance(3600.0 - 10.0);
    wire = Poll(module);
    EXPECT_EQ(wire.Seconds(), 3600);
    EXPECT_NEAR(wire.CapacityMah(), 1000.0, 1.0);
}

TEST(SimModuleRun, VoltageFallsThroughoutADischarge) {
    CSimModule module;
    module.Handle(Req('p'));
    unsigned previous = Poll(module).VoltageMv();
    for (int step = 0; step < 14; ++step) {
        module.Advance(600.0);
        const Wire wire = Poll(module);
        ASSERT_TRUE(wire.Running()) << "stopped after " << wire.Seconds() << " s";
        EXPECT_LE(wire.VoltageMv(), previous) << "at " << wire.Seconds() << " s";
        previous = wire.VoltageMv();
    }
}

TEST(SimModuleRun, FullDischargeEndsAtTheCutOffWithAPlausibleCapacity) {
    CSimModule module;
    module.Handle(Req('p'));
    const int seconds = RunUntilStopped(module, 4 * 3600);
    ASSERT_GT(seconds, 0) << "the run never reached its cut-off";
    // 2500 mAh at 1 A: a little under two and a half hours.
    EXPECT_GT(seconds, 2 * 3600);
    EXPECT_LT(seconds, 2 * 3600 + 1800);

    Wire wire = Poll(module);
    EXPECT_LE(wire.VoltageMv(), 3000u + 150u);
    EXPECT_GT(wire.CapacityMah(), 2200u);
    EXPECT_LT(wire.CapacityMah(), 2550u);
    EXPECT_EQ(wire.CurrentMa(), 0u);

    // Once stopped, time and capacity stand still while the voltage recovers.
    const int stoppedAt = wire.Seconds();
    const unsigned capacity = wire.CapacityMah();
    module.Advance(500.0);
    wire = Poll(module);
    EXPECT_EQ(wire.Seconds(), stoppedAt);
    EXPECT_EQ(wire.CapacityMah(), capacity);
    EXPECT_FALSE(wire.Running());
}

TEST(SimModuleRun, CutOffIsTheOneWrittenToTheModule) {
    // A higher cut-off ends the same discharge sooner.
    auto runTime = [](int cutoffMv) {
        CSimModule module = ModuleAt(0.3);
        module.Handle(Req('w', 1, cutoffMv & 0xFF, cutoffMv >> 8));
        module.Handle(Req('p'));
        return RunUntilStopped(module, 3 * 3600);
    };
    const int low = runTime(3000);
    const int high = runTime(3500);
    ASSERT_GT(high, 0);
    EXPECT_LT(high, low);
}

TEST(SimModuleRun, StartCommandTogglesTheRun) {
    CSimModule module;
    module.Handle(Req('p'));
    module.Advance(5.0);
    EXPECT_TRUE(Poll(module).Running());
    module.Handle(Req('p'));
    module.Advance(5.0);
    Wire wire = Poll(module);
    EXPECT_FALSE(wire.Running());
    EXPECT_EQ(wire.Seconds(), 5);
    // Starting again carries on from where the counters stood.
    module.Handle(Req('p'));
    module.Advance(3.0);
    wire = Poll(module);
    EXPECT_TRUE(wire.Running());
    EXPECT_EQ(wire.Seconds(), 8);
}

TEST(SimModuleRun, ResetStopsAndClearsTimeAndCapacity) {
    CSimModule module;
    module.Handle(Req('p'));
    module.Advance(100.0);
    module.Handle(Req('s'));
    const Wire wire = Poll(module);
    EXPECT_FALSE(wire.Running());
    EXPECT_EQ(wire.Seconds(), 0);
    EXPECT_EQ(wire.CapacityMah(), 0u);
    EXPECT_EQ(wire.CurrentMa(), 0u);
}

TEST(SimModuleRun, ClockFractionsAddUpToWholeSeconds) {
    CSimModule module;
    module.Handle(Req('p'));
    for (int i = 0; i < 10; ++i) {
        module.Advance(0.25);
    }
    EXPECT_EQ(Poll(module).Seconds(), 2);
}

TEST(SimModuleRun, NonsenseClockStepsLeaveTheClockWorking) {
    CSimModule module;
    module.Handle(Req('p'));
    for (double step : {-5.0, 0.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        module.Advance(step);
    }
    module.Advance(3.0);
    EXPECT_EQ(Poll(module).Seconds(), 3);
}

TEST(SimModuleRun, TimeTopsOutAtTheLastHourTheModuleCanCount) {
    CSimModule module;
    module.Handle(Req('t', 50, 59, 255));
    module.Handle(Req('w', 3, 0, 0));  // no current, so the cell never reaches its cut-off
    module.Handle(Req('p'));
    module.Advance(30.0);
    Wire wire = Poll(module);
    EXPECT_FALSE(wire.Running());
    EXPECT_EQ(wire.bytes[30], 59);
    EXPECT_EQ(wire.bytes[31], 59);
    EXPECT_EQ(wire.bytes[32], 255);
    module.Handle(Req('p'));  // full counter: no new start until it is cleared
    module.Advance(1.0);
    EXPECT_FALSE(Poll(module).Running());
}

TEST(SimModuleCommands, TimeAndCapacityAreSetFromTheirArgumentBytes) {
    struct Case {
        SimRequest request;
        int seconds;
        unsigned capacity;
    };
    const Case cases[] = {
        {Req('t', 5, 2, 1), 3725, 0},
        {Req('t', 0, 0, 0), 0, 0},
        {Req('t', 59, 59, 1), 7199, 0},
        {Req('t', 70, 0, 0), 70, 0},  // out-of-range seconds still count as seconds
        {Req('t', 255, 255, 255), CSimModule::kMaxElapsedSeconds, 0},
        {Req('C', 0x39, 0x30, 0x00), 0, 12345},
        {Req('C', 0x10, 0x27, 0x00), 0, 10000},
        {Req('C', 0xFF, 0xFF, 0xFF), 0, 0xFFFFFF},
    };
    for (const Case& c : cases) {
        CSimModule module;
        module.Handle(c.request);
        const Wire wire = Poll(module);
        EXPECT_EQ(wire.Seconds(), c.seconds) << "command " << char(c.request[0]);
        EXPECT_EQ(wire.CapacityMah(), c.capacity) << "command " << char(c.request[0]);
        EXPECT_LT(wire.bytes[30], 60);
        EXPECT_LT(wire.bytes[31], 60);
    }
}

TEST(SimModuleCommands, CapacityCountsOnFromAValueSet) {
    CSimModule module;
    module.Handle(Req('C', 0x39, 0x30, 0x00));
    module.Handle(Req('p'));
    module.Advance(36.0);
    EXPECT_EQ(Poll(module).CapacityMah(), 12355u);
}

TEST(SimModuleCommands, WriteStoresTheWordAsSent) {
    struct Case {
        int index;
        unsigned word;
    };
    const Case cases[] = {{3, 2500}, {11, 30}, {4, 2}, {7, 65535}, {5, 18000}, {10, 0}};
    for (const Case& c : cases) {
        CSimModule module;
        module.Handle(Req('w', c.index, c.word & 0xFF, c.word >> 8));
        EXPECT_EQ(Poll(module).Param(c.index), c.word) << "index " << c.index;
    }
}

TEST(SimModuleCommands, WriteToAnIndexBeyondTheTableChangesNothing) {
    CSimModule module;
    const Wire before = Poll(module);
    module.Handle(Req('w', 12, 0x34, 0x12));
    module.Handle(Req('w', 255, 0x34, 0x12));
    EXPECT_EQ(Poll(module).bytes, before.bytes);
}

TEST(SimModuleCommands, PresetNumbersRecallTheirOwnValues) {
    CSimModule module;
    module.Handle(Req('w', 0, 2, 0));  // cut-off preset 2
    const unsigned presetTwo = Poll(module).Param(1);
    module.Handle(Req('w', 1, 0x8C, 0x0A));  // 2700 mV into preset 2
    module.Handle(Req('w', 0, 0, 0));
    EXPECT_EQ(Poll(module).Param(1), 3000u);
    module.Handle(Req('w', 0, 2, 0));
    EXPECT_EQ(Poll(module).Param(1), 2700u);
    EXPECT_NE(presetTwo, 2700u);

    module.Handle(Req('w', 2, 1, 0));  // current preset 1 differs from preset 0
    EXPECT_EQ(Poll(module).Param(2), 1u);
    EXPECT_NE(Poll(module).Param(3), 1000u);
}

TEST(SimModuleCommands, SelectionNoticeIsRemembered) {
    CSimModule module;
    module.Handle(Req('N', 7));
    EXPECT_EQ(module.State().lastSelector, 7);
    module.Handle(Req('N', 254));
    EXPECT_EQ(module.State().lastSelector, 254);
}

TEST(SimModuleRin, MeasurementCalculatesForTwoSecondsThenHoldsTheValueUntilCleared) {
    CSimModule module;
    module.Handle(Req('r'));  // no run: nothing to measure with
    EXPECT_EQ(Poll(module).Flags() & 0x12u, 0u);

    module.Handle(Req('p'));
    module.Advance(3.0);
    module.Handle(Req('r'));
    Wire wire = Poll(module);
    EXPECT_EQ(wire.Flags() & 0x12u, 0x02u);
    module.Advance(1.0);
    EXPECT_EQ(Poll(module).Flags() & 0x12u, 0x02u);
    module.Advance(1.0);
    wire = Poll(module);
    EXPECT_EQ(wire.Flags() & 0x12u, 0x10u);
    EXPECT_GE(wire.RinMohm(), 60u);
    EXPECT_LE(wire.RinMohm(), 150u);

    module.Advance(60.0);
    EXPECT_EQ(Poll(module).Flags() & 0x12u, 0x10u);
    module.Handle(Req('r'));  // a held result is not overwritten by a new measurement
    EXPECT_EQ(Poll(module).Flags() & 0x12u, 0x10u);

    module.Handle(Req('c'));
    wire = Poll(module);
    EXPECT_EQ(wire.Flags() & 0x12u, 0u);
    EXPECT_EQ(wire.RinMohm(), 0u);
    EXPECT_TRUE(wire.Running());
}

TEST(SimModuleTemperature, LoadWarmsTheModuleAndRestCoolsIt) {
    CSimModule module;
    module.Handle(Req('w', 3, 0xD0, 0x07));  // 2000 mA
    module.Handle(Req('p'));
    module.Advance(600.0);
    const unsigned warm = Poll(module).Temperature();
    EXPECT_GE(warm, 35u);
    module.Handle(Req('p'));
    module.Advance(1800.0);
    EXPECT_LE(Poll(module).Temperature(), 27u);
}

TEST(SimModuleTemperature, PowerOffStopsTheRunUntilReset) {
    CSimModule module;
    module.Handle(Req('w', 11, 30, 0));
    module.Handle(Req('p'));
    const int seconds = RunUntilStopped(module, 3600);
    ASSERT_GT(seconds, 0);
    Wire wire = Poll(module);
    EXPECT_EQ(wire.Flags() & 0x0Cu, 0x04u);
    EXPECT_GE(wire.Temperature(), 30u);

    module.Advance(1200.0);  // cooled down, yet the power-off stays until reset
    module.Handle(Req('p'));
    module.Advance(1.0);
    wire = Poll(module);
    EXPECT_EQ(wire.Flags() & 0x0Cu, 0x04u);

    module.Handle(Req('S'));
    EXPECT_EQ(Poll(module).Flags() & 0x04u, 0u);
    module.Handle(Req('p'));
    module.Advance(1.0);
    EXPECT_TRUE(Poll(module).Running());
}

TEST(SimModuleCharge, ChargeRaisesTheVoltageAndStopsWhenFull) {
    CSimModule module = ModuleAt(0.2);
    const unsigned rest = Poll(module).VoltageMv();
    module.Handle(Req('w', 4, 1, 0));
    module.Handle(Req('w', 1, 0x68, 0x10));  // 4200 mV: the charge ends there
    module.Handle(Req('p'));
    module.Advance(1.0);
    Wire wire = Poll(module);
    EXPECT_GT(wire.VoltageMv(), rest);  // a charging current lifts the terminal voltage
    EXPECT_EQ(wire.CurrentMa(), 1000u);

    unsigned previous = wire.VoltageMv();
    const int seconds = RunUntilStopped(module, 4 * 3600);
    ASSERT_GT(seconds, 0);
    wire = Poll(module);
    EXPECT_GE(wire.VoltageMv(), previous);
    EXPECT_LE(wire.VoltageMv(), 4200u);
    // Eighty per cent of 2500 mAh go in, less what the tapering tail leaves out.
    EXPECT_GT(wire.CapacityMah(), 1500u);
    EXPECT_LT(wire.CapacityMah(), 2050u);
}

TEST(SimModuleCharge, ChargeHoldsItsCutOffWithATaperingCurrentAndEndsThere) {
    struct Case {
        unsigned cutoffMv;
        bool tail;  // a constant-voltage tail; without one the cut-off is below the cell already
    };
    for (const Case c : {Case{4100, true}, Case{4200, true}, Case{3300, false}}) {
        SCOPED_TRACE(c.cutoffMv);
        CSimModule module = ModuleAt(0.5);
        module.Handle(Req('w', 4, 1, 0));
        module.Handle(
            Req('w', 1, static_cast<int>(c.cutoffMv & 0xFF), static_cast<int>(c.cutoffMv >> 8)));
        module.Handle(Req('p'));
        Wire wire = Poll(module);
        unsigned lastCurrent = 1000;
        bool tail = false;
        for (int s = 0; s < 4 * 3600 && wire.Running(); ++s) {
            module.Advance(1.0);
            wire = Poll(module);
            if (wire.Running()) {
                EXPECT_LE(wire.VoltageMv(), c.cutoffMv + 2) << "at " << s << " s";
            }
            if ((wire.Flags() & 0x01) != 0 && wire.Running()) {
                tail = true;
                EXPECT_LE(wire.CurrentMa(), lastCurrent) << "at " << s << " s";
                EXPECT_NEAR(wire.VoltageMv(), c.cutoffMv, 2.0) << "at " << s << " s";
                lastCurrent = wire.CurrentMa();
            }
        }
        EXPECT_FALSE(wire.Running());
        EXPECT_EQ(tail, c.tail);
        if (c.tail) {
            EXPECT_LT(lastCurrent, 100u);  // ended near a twentieth of 1 A
        } else {
            EXPECT_LE(wire.Seconds(), 1);
        }
    }
}

TEST(SimModuleCharge, VoltageRelaxesTowardTheOpenCircuitAtRest) {
    for (const int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        CSimModule module = ModuleAt(0.5);
        module.Handle(Req('w', 4, mode, 0));
        module.Handle(Req('w', 1, mode ? 0x68 : 0xB8, mode ? 0x10 : 0x0B));
        module.Handle(Req('w', 3, 0xD0, 0x07));  // 2 A
        module.Handle(Req('p'));
        module.Advance(600.0);
        module.Handle(Req('p'));
        std::vector<int> volts;
        for (int minute = 0; minute <= 180; ++minute) {
            volts.push_back(static_cast<int>(Poll(module).VoltageMv()));
            module.Advance(60.0);
        }
        const int settled = volts.back();
        // Toward the open circuit: down after a charge, up after a discharge, never past it.
        for (std::size_t m = 1; m < volts.size(); ++m) {
            EXPECT_LE(std::abs(volts[m] - settled), std::abs(volts[m - 1] - settled)) << m;
        }
        EXPECT_GT(std::abs(volts[0] - settled), 20);
        EXPECT_LE(std::abs(volts[30] - settled), 3);  // 30 minutes of rest settle it
    }
}

TEST(SimModuleCharge, CapacityFadesByTheSetShareEachCycle) {
    const auto cycleCapacities = [](double fade) {
        CellConfig cell;
        cell.fadePerCycle = fade;
        cell.stateOfCharge = 0.0;
        CSimModule module(cell);
        module.Handle(Req('w', 3, 0xD0, 0x07));  // 2 A both ways, to keep the test short
        std::vector<unsigned> capacities;
        for (int cycle = 0; cycle < 3; ++cycle) {
            for (const int mode : {1, 0}) {
                module.Handle(Req('s'));
                module.Handle(Req('w', 4, mode, 0));
                module.Handle(Req('w', 1, mode ? 0x68 : 0xB8, mode ? 0x10 : 0x0B));
                module.Handle(Req('p'));
                EXPECT_GT(RunUntilStopped(module, 4 * 3600), 0);
                if (mode == 0) {
                    capacities.push_back(Poll(module).CapacityMah());
                }
                module.Advance(1800.0);
            }
        }
        return std::make_pair(capacities, module.State().cellRinOhm);
    };
    const auto [steady, steadyRin] = cycleCapacities(0.0);
    const auto [fading, fadingRin] = cycleCapacities(0.02);
    for (std::size_t k = 1; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_NEAR(steady[k], steady[k - 1], steady[k - 1] * 0.003);
        // About 2 % a cycle, less the share the shrinking tail hides.
        const double ratio = static_cast<double>(fading[k]) / fading[k - 1];
        EXPECT_GT(ratio, 0.97);
        EXPECT_LT(ratio, 0.99);
    }
    EXPECT_DOUBLE_EQ(steadyRin, 0.080);
    EXPECT_GT(fadingRin, 0.080 * 1.08);
}

TEST(SimModuleRun, ConstantVoltageTailHoldsTheCutOffWithAFallingCurrent) {
    CSimModule module = ModuleAt(0.1);
    module.Handle(Req('w', 8, 1, 0));
    module.Handle(Req('w', 1, 0x84, 0x0D));  // 3460 mV: reached while charge remains
    module.Handle(Req('p'));
    Wire wire = Poll(module);
    for (int s = 0; s < 3 * 3600 && (wire.Flags() & 0x01) == 0; ++s) {
        module.Advance(1.0);
        wire = Poll(module);
    }
    ASSERT_TRUE(wire.Flags() & 0x01) << "never entered the constant-voltage tail";
    EXPECT_TRUE(wire.Running());
    module.Advance(120.0);
    wire = Poll(module);
    if (wire.Running()) {
        EXPECT_LT(wire.CurrentMa(), 1000u);
        EXPECT_NEAR(wire.VoltageMv(), 3460.0, 40.0);
    }
    EXPECT_GT(RunUntilStopped(module, 3 * 3600), -1);
    EXPECT_EQ(Poll(module).Flags() & 0x09u, 0u);
}

TEST(SimModuleFaults, LineFaultsShapeTheReplies) {
    struct Case {
        Fault fault;
        std::size_t probe, status, ack;
    };
    const Case cases[] = {
        {Fault::Silent, 0, 0, 0},      {Fault::DropLink, 0, 0, 0}, {Fault::ShortReplies, 3, 20, 2},
        {Fault::WrongProbe, 4, 42, 4}, {Fault::Garbled, 4, 42, 4}, {Fault::Late, 4, 42, 4},
    };
    for (const Case& c : cases) {
        CSimModule module;
        module.SetFault(c.fault, true);
        const auto name = std::string(FaultName(c.fault));
        const auto probe = module.Handle(Req('u'));
        EXPECT_EQ(probe.size(), c.probe) << name;
        EXPECT_EQ(module.Handle(Req('a')).size(), c.status) << name;
        EXPECT_EQ(module.Handle(Req('N', 3)).size(), c.ack) << name;
        if (c.probe == 4 && c.fault != Fault::Late) {
            EXPECT_NE(std::string(probe.begin(), probe.end()), "Brim") << name;
        }
        EXPECT_EQ(module.ReplyDelayMs() > 0, c.fault == Fault::Late) << name;
    }
}

TEST(SimModuleFaults, TimingFaultsShapeWhenTheBytesGo) {
    using Pieces = std::vector<std::pair<int, std::size_t>>;  // pause before, bytes
    struct Case {
        Fault fault;
        Pieces probe, status, nextStatus, ack;
    };
    const Case cases[] = {
        {Fault::SplitStatus, {{0, 4}}, {{0, 20}, {300, 22}}, {{0, 42}}, {{0, 4}}},
        {Fault::LateAck, {{0, 4}}, {{0, 42}}, {{0, 42}}, {{250, 4}}},
    };
    for (const Case& c : cases) {
        CSimModule module;
        module.SetLateDelayMs(250);
        module.SetFault(c.fault, true);
        const auto shape = [&](const SimRequest& request) {
            Pieces pieces;
            for (const SimChunk& chunk : module.Respond(request)) {
                pieces.emplace_back(chunk.delayMs, chunk.bytes.size());
            }
            return pieces;
        };
        EXPECT_EQ(shape(Req('u')), c.probe);
        EXPECT_EQ(shape(Req('a')), c.status);
        EXPECT_EQ(shape(Req('a')), c.nextStatus) << "one status reply in ten stalls";
        EXPECT_EQ(shape(Req('N', 254)), c.ack);
    }
}

TEST(SimModuleFaults, ADeafModuleTakesNoCommands) {
    CSimModule module;
    module.SetFault(Fault::DropLink, true);
    module.Handle(Req('p'));
    module.Advance(5.0);
    module.Reconnect();
    const Wire wire = Poll(module);
    EXPECT_FALSE(wire.Running());
    EXPECT_EQ(wire.bytes.size(), 42u);
}

TEST(SimModuleFaults, UnpluggingMidRunKeepsTheModuleRunning) {
    CSimModule module;
    module.Handle(Req('p'));
    module.Advance(10.0);
    module.SetFault(Fault::DropLink, true);
    module.Advance(10.0);
    EXPECT_TRUE(module.Handle(Req('a')).empty());
    module.Reconnect();
    const Wire wire = Poll(module);
    EXPECT_TRUE(wire.Running());
    EXPECT_EQ(wire.Seconds(), 20);
}

TEST(SimModuleFaults, ConverterFaultsShowAsStatusFlagsAndClear) {
    CSimModule module;
    module.SetFault(Fault::NoAdc, true);
    EXPECT_EQ(Poll(module).Flags(), 0x40u);
    module.SetFault(Fault::NoDac, true);
    EXPECT_EQ(Poll(module).Flags(), 0xC0u);
    module.ClearFaults();
    EXPECT_EQ(Poll(module).Flags(), 0u);
}

TEST(SimModuleFaults, NamesRoundTripAndUnknownNamesAreRefused) {
    for (Fault fault : kAllFaults) {
        EXPECT_EQ(FaultFromName(FaultName(fault)), fault);
    }
    EXPECT_EQ(FaultFromName("DropLink"), Fault::DropLink);
    EXPECT_EQ(FaultFromName("drop"), std::nullopt);
    EXPECT_EQ(FaultFromName(""), std::nullopt);
}

TEST(SimModuleClock, WallClockRunsAtTheChosenSpeed) {
    CSimModule module;
    module.UseWallClock(1000.0);
    module.Handle(Req('p'));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const int seconds = Poll(module).Seconds();
    EXPECT_GE(seconds, 50);  // 100 s nominal; the shared machine may lag, never run ahead
    module.UseWallClock(0.0);
    const int frozen = Poll(module).Seconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(Poll(module).Seconds(), frozen);
}

}  // namespace
}  // namespace brimvolt::sim
