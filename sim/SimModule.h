#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <random>
#include <string_view>
#include <vector>

namespace brimvolt::sim {

/** One request as it travels on the line: the command character and three argument bytes. */
using SimRequest = std::array<std::uint8_t, 4>;

inline constexpr std::size_t kRequestSize = 4;
inline constexpr std::size_t kStatusSize = 42;
inline constexpr std::size_t kAckSize = 4;

/** Status flag bits of the record's byte 37, as the module sets them. */
namespace simflags {
inline constexpr std::uint8_t kMark = 0x01;  // constant-voltage tail of a run
inline constexpr std::uint8_t kRinCalculating = 0x02;
inline constexpr std::uint8_t kPowerOff = 0x04;  // switched off on temperature
inline constexpr std::uint8_t kRunning = 0x08;
inline constexpr std::uint8_t kRinHeld = 0x10;
inline constexpr std::uint8_t kNoAdc = 0x40;
inline constexpr std::uint8_t kNoDac = 0x80;
}  // namespace simflags

/**
 * Misbehaviours that tests switch on and off while the module is being served.
 * Several can be on at once; the line faults are checked in the order listed.
 */
enum class Fault : std::uint8_t {
    Silent,        // never answers anything
    DropLink,      // the cable is pulled: no answer until Reconnect() or the fault is cleared
    WrongProbe,    // answers 'u' with four bytes that are not the identification
    ShortReplies,  // 3 bytes for 'u', 20 for 'a', 2 for a command
    Garbled,       // replies of the right length filled with random bytes
    Late,          // replies of the right content, but only after LateDelayMs()
    NoAdc,         // status flag 0x40: the module reports its ADC missing
    NoDac,         // status flag 0x80: the module reports its DAC missing
    SplitStatus,   // one status reply in ten (the first after switching on) stops after 20 bytes
                   // for 0.3 s before the rest follows
    LateAck,       // command acknowledgements come only after LateDelayMs()
};

inline constexpr std::array<Fault, 10> kAllFaults = {
    Fault::Silent, Fault::DropLink, Fault::WrongProbe, Fault::ShortReplies, Fault::Garbled,
    Fault::Late,   Fault::NoAdc,    Fault::NoDac,      Fault::SplitStatus,  Fault::LateAck};

/** Where SplitStatus cuts a status reply, and how long the rest waits. */
inline constexpr std::size_t kSplitAfterBytes = 20;
inline constexpr int kSplitPauseMs = 300;

/**
 * "silent", "droplink", "wrongprobe", "short", "garbled", "late", "noadc", "nodac", "split",
 * "lateack".
 */
std::string_view FaultName(Fault fault);
/** The fault of a name FaultName gives (case-insensitive); nullopt for anything else. */
std::optional<Fault> FaultFromName(std::string_view name);

/**
 * A piece of a reply as it goes on the line: sent delayMs after the piece before it (the first
 * piece delayMs after the request).
 */
struct SimChunk {
    int delayMs = 0;
    std::vector<std::uint8_t> bytes;
};

/** The battery behind the module's terminals. */
struct CellConfig {
    double capacityMah = 2500.0;
    double rinOhm = 0.080;
    double stateOfCharge = 1.0;  // 0 empty .. 1 full
    double ambientC = 25.0;
    // Capacity lost per full cycle (the whole capacity charged and discharged once), as a
    // fraction: 0.01 leaves 99 % after one cycle. The internal resistance grows twice as fast.
    double fadePerCycle = 0.0;
};

/** What the module holds, for tests and headless callers; the wire shows the same values. */
struct SimState {
    std::array<std::uint16_t, 12> params{};
    std::uint16_t currentMa = 0;
    std::uint16_t voltageMv = 0;
    std::uint16_t rinMohm = 0;
    std::int32_t elapsedSeconds = 0;
    std::uint32_t capacityMah = 0;
    std::uint8_t temperature = 0;
    std::uint8_t flags = 0;
    std::uint8_t lastSelector = 0;  // the last 'N' argument
    double stateOfCharge = 0.0;
    double cellCapacityMah = 0.0;  // what is left of the cell's capacity after its cycles
    double cellRinOhm = 0.0;
};

/**
 * The tester module: parameters, the run, the Rin measurement, temperature power-off, and a
 * lithium cell discharged or charged at the set current. Requests go in, reply bytes come out.
 *
 * A charge runs at the set current until the terminal voltage reaches the cut-off (parameter 1),
 * then holds the cut-off while the current tapers, and ends at a twentieth of the set current.
 * After a run the voltage relaxes toward the open-circuit voltage over some minutes; the cell
 * loses capacity with every cycle as CellConfig::fadePerCycle says.
 *
 * The clock is explicit (Advance) unless UseWallClock() is on, in which case every call first
 * catches up with real time multiplied by the speed. All methods may be called from any thread.
 */
class CSimModule {
public:
    static constexpr std::int32_t kMaxElapsedSeconds = 255 * 3600 + 59 * 60 + 59;

    explicit CSimModule(const CellConfig& cell = CellConfig{});

    /**
     * Handles one request; returns the bytes the module sends back, empty when it stays silent.
     * When they go out is Respond's business.
     */
    std::vector<std::uint8_t> Handle(const SimRequest& request);

    /**
     * Handles one request; returns its reply in the pieces it goes on the line in, each with the
     * pause before it (none when the module stays silent). What the transports send.
     */
    std::vector<SimChunk> Respond(const SimRequest& request);

    /** Moves the module's clock on; fractions add up to whole seconds. */
    void Advance(double moduleSeconds);

    /** From now on the clock runs speed × real time (speed > 0; 0 or less goes back to Advance). */
    void UseWallClock(double speed);

    void SetFault(Fault fault, bool on);
    bool HasFault(Fault fault) const;
    void ClearFaults();
    /** Plugs the cable back in after DropLink. */
    void Reconnect() { SetFault(Fault::DropLink, false); }
    /** How long replies wait under Fault::Late and acknowledgements under Fault::LateAck. */
    void SetLateDelayMs(int milliseconds);
    /** How long a reply is held back under Fault::Late, else 0. */
    int ReplyDelayMs() const;

    SimState State();
    /** The 42-byte status record as the module would send it now (faults aside). */
    std::array<std::uint8_t, kStatusSize> StatusRecord();

private:
    using Clock = std::chrono::steady_clock;

    void CatchUp();
    void AdvanceLocked(double moduleSeconds);
    void StepSecond();
    void StartRun();
    void StopRun();
    std::vector<std::uint8_t> HandleLocked(const SimRequest& request);
    void Execute(const SimRequest& request);
    void WriteParam(std::uint8_t index, std::uint16_t word);
    bool Charging() const { return params[4] != 0; }
    double OpenCircuitVolts() const;
    double CurrentAmps() const;
    double TerminalVolts() const;
    std::array<std::uint8_t, kStatusSize> RecordLocked() const;

    mutable std::mutex mutex;
    CellConfig cell;
    std::array<std::uint16_t, 12> params{};
    std::array<std::uint16_t, 8> cutoffPresets{};
    std::array<std::uint16_t, 8> currentPresets{};
    double stateOfCharge = 1.0;
    double capacityMah = 2500.0;     // the cell's, faded
    double rinOhm = 0.080;           // the cell's, grown as the capacity fades
    double polarizationVolts = 0.0;  // above the open-circuit voltage after a charge, below after
                                     // a discharge; relaxes at rest
    double temperatureC = 25.0;
    std::int64_t chargeMas = 0;  // capacity in mA·s, so whole-second counting stays exact
    std::int32_t elapsedSeconds = 0;
    bool running = false;
    bool constantVoltage = false;  // the run holds the cut-off with a falling current
    double taperAmps = 0.0;
    bool powerOff = false;
    int rinCountdown = 0;  // module seconds until the Rin result, 0 when none is being measured
    bool rinHeld = false;
    std::uint16_t rinMohm = 0;
    std::uint8_t lastSelector = 0;
    double pendingSeconds = 0.0;

    double speed = 0.0;
    Clock::time_point lastSync{};

    std::uint32_t faults = 0;
    int lateDelayMs = 200;
    std::uint32_t statusRepliesSplitCounted = 0;  // status replies since SplitStatus came on
    std::mt19937 noise{12345};
};

}  // namespace brimvolt::sim
