#include "sim/SimModule.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace brimvolt::sim {

namespace {

constexpr std::array<std::pair<Fault, std::string_view>, 10> kFaultNames = {{
    {Fault::Silent, "silent"},
    {Fault::DropLink, "droplink"},
    {Fault::WrongProbe, "wrongprobe"},
    {Fault::ShortReplies, "short"},
    {Fault::Garbled, "garbled"},
    {Fault::Late, "late"},
    {Fault::NoAdc, "noadc"},
    {Fault::NoDac, "nodac"},
    {Fault::SplitStatus, "split"},
    {Fault::LateAck, "lateack"},
}};

constexpr std::uint32_t Bit(Fault fault) {
    return 1u << static_cast<unsigned>(fault);
}

// Open-circuit voltage of a lithium-ion cell over its state of charge. Below 0 the cell
// collapses, so any cut-off the operator can set is reached in the end.
constexpr std::array<std::pair<double, double>, 11> kOpenCircuitCurve = {{
    {-0.02, 0.00},
    {0.00, 3.00},
    {0.03, 3.30},
    {0.08, 3.45},
    {0.15, 3.55},
    {0.30, 3.65},
    {0.50, 3.75},
    {0.70, 3.90},
    {0.85, 4.02},
    {0.95, 4.12},
    {1.00, 4.20},
}};

constexpr std::uint32_t kMaxCapacity = 0xFFFFFF;
// Heating of the load per ampere, and how fast the heat sink follows (1/time constant in s).
constexpr double kHeatPerAmp = 10.0;
constexpr double kThermalRate = 1.0 / 60.0;
constexpr int kRinMeasureSeconds = 2;
// The slow part of the cell's voltage under load, as a share of its internal resistance, and
// how fast it builds and fades (1/time constant in s): a 30-minute rest all but ends it.
constexpr double kPolarizationShare = 0.5;
constexpr double kRelaxRate = 1.0 / 300.0;
// A run that holds its cut-off ends when the current has fallen to this share of the set one.
constexpr double kTaperEnd = 0.05;

// Presets the module ships with; writing a preset number recalls its value.
constexpr std::array<std::uint16_t, 8> kCutoffPresets = {3000, 2800, 2500,  3300,
                                                         1000, 1800, 10500, 900};
constexpr std::array<std::uint16_t, 8> kCurrentPresets = {1000, 500,  2000, 200,
                                                          100,  1500, 3000, 4000};

void PutWord(std::array<std::uint8_t, kStatusSize>& record, std::size_t at, std::uint16_t word) {
    record[at] = static_cast<std::uint8_t>(word & 0xFF);
    record[at + 1] = static_cast<std::uint8_t>(word >> 8);
}

std::uint16_t ToWord(double value) {
    return static_cast<std::uint16_t>(std::clamp(std::lround(value), 0L, 65535L));
}

}  // namespace

std::string_view FaultName(Fault fault) {
    for (const auto& [f, name] : kFaultNames) {
        if (f == fault) {
            return name;
        }
    }
    return {};
}

std::optional<Fault> FaultFromName(std::string_view name) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    for (const auto& [fault, known] : kFaultNames) {
        if (known.size() == name.size() &&
            std::equal(known.begin(), known.end(), name.begin(),
                       [&](char a, char b) { return a == lower(b); })) {
            return fault;
        }
    }
    return std::nullopt;
}

CSimModule::CSimModule(const CellConfig& cellConfig)
    : cell(cellConfig),
      cutoffPresets(kCutoffPresets),
      currentPresets(kCurrentPresets),
      stateOfCharge(std::clamp(cellConfig.stateOfCharge, 0.0, 1.0)),
      capacityMah(cellConfig.capacityMah),
      rinOhm(cellConfig.rinOhm),
      temperatureC(cellConfig.ambientC) {
    cell.fadePerCycle = std::clamp(cellConfig.fadePerCycle, 0.0, 0.5);
    params = {0, kCutoffPresets[0], 0, kCurrentPresets[0], 0, 20000, 4500, 0, 0, 1, 40, 70};
}

std::vector<std::uint8_t> CSimModule::Handle(const SimRequest& request) {
    std::lock_guard lock(mutex);
    return HandleLocked(request);
}

std::vector<SimChunk> CSimModule::Respond(const SimRequest& request) {
    std::lock_guard lock(mutex);
    std::vector<std::uint8_t> reply = HandleLocked(request);
    if (reply.empty()) {
        return {};
    }
    const std::uint8_t command = request[0];
    const bool acknowledgement = command != 'u' && command != 'a';
    int delay = (faults & Bit(Fault::Late)) != 0 ? lateDelayMs : 0;
    if (acknowledgement && (faults & Bit(Fault::LateAck)) != 0) {
        delay = std::max(delay, lateDelayMs);
    }
    std::vector<SimChunk> chunks;
    if (command == 'a' && (faults & Bit(Fault::SplitStatus)) != 0 &&
        statusRepliesSplitCounted++ % 10 == 0 && reply.size() > kSplitAfterBytes) {
        const auto cut = reply.begin() + kSplitAfterBytes;
        chunks.push_back({delay, std::vector<std::uint8_t>(reply.begin(), cut)});
        chunks.push_back({kSplitPauseMs, std::vector<std::uint8_t>(cut, reply.end())});
        return chunks;
    }
    chunks.push_back({delay, std::move(reply)});
    return chunks;
}

std::vector<std::uint8_t> CSimModule::HandleLocked(const SimRequest& request) {
    CatchUp();
    if ((faults & (Bit(Fault::Silent) | Bit(Fault::DropLink))) != 0) {
        return {};
    }

    std::vector<std::uint8_t> reply;
    const std::uint8_t command = request[0];
    if (command == 'u') {
        const bool wrong = (faults & Bit(Fault::WrongProbe)) != 0;
        reply = wrong ? std::vector<std::uint8_t>{'B', 'R', 'I', 'M'}
                      : std::vector<std::uint8_t>{'B', 'r', 'i', 'm'};
    } else if (command == 'a') {
        const auto record = RecordLocked();
        reply.assign(record.begin(), record.end());
    } else {
        Execute(request);
        reply.assign(request.begin(), request.end());
    }

    if ((faults & Bit(Fault::Garbled)) != 0) {
        std::uniform_int_distribution<int> byte(0, 255);
        for (auto& b : reply) {
            b = static_cast<std::uint8_t>(byte(noise));
        }
    }
    if ((faults & Bit(Fault::ShortReplies)) != 0) {
        const std::size_t keep = command == 'u' ? 3 : command == 'a' ? 20 : 2;
        reply.resize(std::min(reply.size(), keep));
    }
    return reply;
}

void CSimModule::Advance(double moduleSeconds) {
    std::lock_guard lock(mutex);
    AdvanceLocked(moduleSeconds);
}

void CSimModule::UseWallClock(double newSpeed) {
    std::lock_guard lock(mutex);
    CatchUp();
    constexpr double kFastest = 1e6;  // a real second then spans the whole hour counter
    speed = newSpeed > 0.0 ? std::min(newSpeed, kFastest) : 0.0;
    lastSync = Clock::now();
}

void CSimModule::SetFault(Fault fault, bool on) {
    std::lock_guard lock(mutex);
    if (on) {
        if (fault == Fault::SplitStatus && (faults & Bit(fault)) == 0) {
            statusRepliesSplitCounted = 0;
        }
        faults |= Bit(fault);
    } else {
        faults &= ~Bit(fault);
    }
}

bool CSimModule::HasFault(Fault fault) const {
    std::lock_guard lock(mutex);
    return (faults & Bit(fault)) != 0;
}

void CSimModule::ClearFaults() {
    std::lock_guard lock(mutex);
    faults = 0;
}

void CSimModule::SetLateDelayMs(int milliseconds) {
    std::lock_guard lock(mutex);
    lateDelayMs = std::max(0, milliseconds);
}

int CSimModule::ReplyDelayMs() const {
    std::lock_guard lock(mutex);
    return (faults & Bit(Fault::Late)) != 0 ? lateDelayMs : 0;
}

SimState CSimModule::State() {
    std::lock_guard lock(mutex);
    CatchUp();
    const auto record = RecordLocked();
    SimState state;
    state.params = params;
    state.currentMa = static_cast<std::uint16_t>(record[24] | record[25] << 8);
    state.voltageMv = static_cast<std::uint16_t>(record[26] | record[27] << 8);
    state.rinMohm = rinMohm;
    state.elapsedSeconds = elapsedSeconds;
    state.capacityMah = static_cast<std::uint32_t>(chargeMas / 3600);
    state.temperature = record[36];
    state.flags = record[37];
    state.lastSelector = lastSelector;
    state.stateOfCharge = stateOfCharge;
    state.cellCapacityMah = capacityMah;
    state.cellRinOhm = rinOhm;
    return state;
}

std::array<std::uint8_t, kStatusSize> CSimModule::StatusRecord() {
    std::lock_guard lock(mutex);
    CatchUp();
    return RecordLocked();
}

void CSimModule::CatchUp() {
    if (speed <= 0.0) {
        return;
    }
    const auto now = Clock::now();
    const double realSeconds = std::chrono::duration<double>(now - lastSync).count();
    lastSync = now;
    AdvanceLocked(realSeconds * speed);
}

void CSimModule::AdvanceLocked(double moduleSeconds) {
    if (!(moduleSeconds > 0.0) || !std::isfinite(moduleSeconds)) {
        return;
    }
    pendingSeconds += moduleSeconds;
    while (pendingSeconds >= 1.0) {
        // A module at rest with nothing to measure and a cool sink has nothing left to do:
        // skip the rest of a long idle gap instead of stepping through it.
        const bool settled = !running && rinCountdown == 0 &&
                             std::abs(temperatureC - cell.ambientC) < 0.05 &&
                             std::abs(polarizationVolts) < 0.0002;
        if (settled) {
            pendingSeconds -= std::floor(pendingSeconds);
            break;
        }
        pendingSeconds -= 1.0;
        StepSecond();
    }
}

void CSimModule::StepSecond() {
    const double amps = CurrentAmps();

    if (rinCountdown > 0 && --rinCountdown == 0) {
        rinHeld = true;
        // A cell heats and empties into a higher resistance.
        const double factor = 1.0 + 0.25 * (1.0 - std::clamp(stateOfCharge, 0.0, 1.0)) -
                              0.004 * (temperatureC - cell.ambientC);
        rinMohm = ToWord(rinOhm * 1000.0 * factor);
    }

    double target = cell.ambientC + kHeatPerAmp * amps;
    if (temperatureC >= params[10]) {
        target = cell.ambientC + (target - cell.ambientC) * 0.6;  // the cooler runs
    }
    temperatureC += (target - temperatureC) * kThermalRate;

    const double polarizationTarget =
        running ? (Charging() ? amps : -amps) * rinOhm * kPolarizationShare : 0.0;
    polarizationVolts += (polarizationTarget - polarizationVolts) * kRelaxRate;

    if (running) {
        const double mah = amps * 1000.0 / 3600.0;
        stateOfCharge += (Charging() ? mah : -mah) / capacityMah;
        stateOfCharge = std::clamp(stateOfCharge, kOpenCircuitCurve.front().first, 1.0);
        chargeMas = std::min<std::int64_t>(chargeMas + std::lround(amps * 1000.0),
                                           std::int64_t{kMaxCapacity} * 3600);
        ++elapsedSeconds;
        if (cell.fadePerCycle > 0.0) {
            // A full cycle moves the capacity in and out once: twice the capacity in all.
            capacityMah -= cell.fadePerCycle * mah / 2.0;
            capacityMah = std::max(capacityMah, 1.0);
            rinOhm = cell.rinOhm * (1.0 + 2.0 * (1.0 - capacityMah / cell.capacityMah));
        }

        const double cutoff = params[1] / 1000.0;
        const double setAmps = params[3] / 1000.0;
        if (Charging()) {
            if (!constantVoltage && TerminalVolts() >= cutoff) {
                constantVoltage = true;  // a charge always ends holding its cut-off
            }
            if (constantVoltage) {
                taperAmps = std::clamp((cutoff - OpenCircuitVolts() - polarizationVolts) / rinOhm,
                                       0.0, setAmps);
                if (taperAmps <= setAmps * kTaperEnd) {
                    StopRun();
                }
            }
            if (stateOfCharge >= 1.0) {
                StopRun();
            }
        } else {
            if (!constantVoltage && TerminalVolts() <= cutoff) {
                if (params[8] != 0 && setAmps > 0.0) {
                    constantVoltage = true;
                } else {
                    StopRun();
                }
            }
            if (constantVoltage) {
                // Hold the cut-off: the current falls as the cell empties; done at a twentieth.
                taperAmps = std::clamp((OpenCircuitVolts() + polarizationVolts - cutoff) / rinOhm,
                                       0.0, setAmps);
                if (taperAmps < setAmps * kTaperEnd) {
                    StopRun();
                }
            }
        }
        if (elapsedSeconds >= kMaxElapsedSeconds) {
            elapsedSeconds = kMaxElapsedSeconds;  // the hour byte is full: the run ends there
            StopRun();
        }
    }

    if (std::lround(temperatureC) >= params[11] && !powerOff) {
        powerOff = true;
        StopRun();
    }
}

void CSimModule::StartRun() {
    if (powerOff || elapsedSeconds >= kMaxElapsedSeconds) {
        return;  // the module refuses to start until the power-off is reset or time is cleared
    }
    running = true;
    constantVoltage = false;
}

void CSimModule::StopRun() {
    running = false;
    constantVoltage = false;
    rinCountdown = 0;  // a measurement needs the load current
}

void CSimModule::Execute(const SimRequest& request) {
    switch (request[0]) {
        case 'p':
            if (running) {
                StopRun();
            } else {
                StartRun();
            }
            break;
        case 's':
            StopRun();
            elapsedSeconds = 0;
            chargeMas = 0;
            break;
        case 'r':
            if (running && !rinHeld && rinCountdown == 0) {
                rinCountdown = kRinMeasureSeconds;
            }
            break;
        case 'c':
            rinCountdown = 0;
            rinHeld = false;
            rinMohm = 0;
            break;
        case 'S':
            powerOff = false;
            break;
        case 't':
            elapsedSeconds =
                std::min(request[1] + 60 * request[2] + 3600 * request[3], kMaxElapsedSeconds);
            break;
        case 'C':
            chargeMas = std::int64_t{request[1] | request[2] << 8 | request[3] << 16} * 3600;
            break;
        case 'w':
            WriteParam(request[1], static_cast<std::uint16_t>(request[2] | request[3] << 8));
            break;
        case 'N':
            lastSelector = request[1];
            break;
        default:
            break;  // acknowledged and otherwise ignored
    }
}

void CSimModule::WriteParam(std::uint8_t index, std::uint16_t word) {
    if (index >= params.size()) {
        return;
    }
    params[index] = word;
    switch (index) {
        case 0:
            if (word < cutoffPresets.size()) {
                params[1] = cutoffPresets[word];
            }
            break;
        case 1:
            if (params[0] < cutoffPresets.size()) {
                cutoffPresets[params[0]] = word;
            }
            break;
        case 2:
            if (word < currentPresets.size()) {
                params[3] = currentPresets[word];
            }
            break;
        case 3:
            if (params[2] < currentPresets.size()) {
                currentPresets[params[2]] = word;
            }
            break;
        default:
            break;
    }
}

double CSimModule::OpenCircuitVolts() const {
    const auto& curve = kOpenCircuitCurve;
    if (stateOfCharge <= curve.front().first) {
        return curve.front().second;
    }
    for (std::size_t i = 1; i < curve.size(); ++i) {
        if (stateOfCharge <= curve[i].first) {
            const auto [s0, v0] = curve[i - 1];
            const auto [s1, v1] = curve[i];
            return v0 + (v1 - v0) * (stateOfCharge - s0) / (s1 - s0);
        }
    }
    return curve.back().second;
}

double CSimModule::CurrentAmps() const {
    if (!running) {
        return 0.0;
    }
    if (constantVoltage) {
        return taperAmps;
    }
    return params[3] / 1000.0;
}

double CSimModule::TerminalVolts() const {
    const double drop = CurrentAmps() * rinOhm;
    return std::max(0.0, OpenCircuitVolts() + polarizationVolts + (Charging() ? drop : -drop));
}

std::array<std::uint8_t, kStatusSize> CSimModule::RecordLocked() const {
    std::array<std::uint8_t, kStatusSize> record{};
    for (std::size_t k = 0; k < params.size(); ++k) {
        PutWord(record, 2 * k, params[k]);
    }
    PutWord(record, 24, ToWord(CurrentAmps() * 1000.0));
    PutWord(record, 26, ToWord(TerminalVolts() * 1000.0));
    PutWord(record, 28, rinHeld ? rinMohm : 0);
    record[30] = static_cast<std::uint8_t>(elapsedSeconds % 60);
    record[31] = static_cast<std::uint8_t>(elapsedSeconds / 60 % 60);
    record[32] = static_cast<std::uint8_t>(elapsedSeconds / 3600);
    const auto capacity = static_cast<std::uint32_t>(chargeMas / 3600);
    record[33] = static_cast<std::uint8_t>(capacity & 0xFF);
    record[34] = static_cast<std::uint8_t>(capacity >> 8 & 0xFF);
    record[35] = static_cast<std::uint8_t>(capacity >> 16 & 0xFF);
    record[36] = static_cast<std::uint8_t>(std::clamp(std::lround(temperatureC), 0L, 255L));

    std::uint8_t flags = 0;
    if (constantVoltage) {
        flags |= simflags::kMark;
    }
    if (rinCountdown > 0) {
        flags |= simflags::kRinCalculating;
    }
    if (powerOff) {
        flags |= simflags::kPowerOff;
    }
    if (running) {
        flags |= simflags::kRunning;
    }
    if (rinHeld) {
        flags |= simflags::kRinHeld;
    }
    if ((faults & Bit(Fault::NoAdc)) != 0) {
        flags |= simflags::kNoAdc;
    }
    if ((faults & Bit(Fault::NoDac)) != 0) {
        flags |= simflags::kNoDac;
    }
    record[37] = flags;
    return record;
}

}  // namespace brimvolt::sim
