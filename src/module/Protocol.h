#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>

namespace brimvolt {

namespace platform {
class CSerialPort;
}

using Request = std::array<std::uint8_t, 4>;
using Reply = std::array<std::uint8_t, 42>;

/** The module's status record as the program holds it. */
struct StatusRecord {
    std::array<std::uint16_t, 12> params{};  // words 0 and 2 held + 1
    std::uint16_t currentMa = 0;
    std::uint16_t voltageMv = 0;
    std::uint16_t rinMohm = 0;
    std::int32_t seconds = 0;
    std::int32_t minutes = 0;
    std::int32_t hours = 0;
    std::int32_t elapsedSeconds = 0;
    std::int32_t capacityMah = 0;  // 24 bits
    std::uint8_t temperature = 0;
    std::uint8_t statusFlags = 0;
};

namespace flags {
constexpr std::uint8_t kMark = 0x01;
constexpr std::uint8_t kRinCalculating = 0x02;
constexpr std::uint8_t kTempPowerOff = 0x04;
constexpr std::uint8_t kRunning = 0x08;
constexpr std::uint8_t kRinHeld = 0x10;
constexpr std::uint8_t kNoAdc = 0x40;
constexpr std::uint8_t kNoDac = 0x80;
}  // namespace flags

/** Decodes a status record; bytes 38..41 are not read. */
StatusRecord DecodeStatus(const Reply& reply);

Request BuildRequest(std::uint8_t command, std::uint8_t arg1 = 0, std::uint8_t arg2 = 0,
                     std::uint8_t arg3 = 0);
/** 't' from the curve's length in seconds: seconds, minutes, hours, each cut to 8 bits. */
Request TimeRequest(std::int32_t durationSeconds);
/** 'C' from the curve's capacity text ("12.345Ah"): the 24-bit mAh, low byte first. */
Request CapacityRequest(const QString& curveCapacityText);
/**
 * The mAh that 'C' carries for a capacity text: leading number × 1000 + 0.001, truncated.
 * Saturates at the signed 32-bit range; "nan" gives 0.
 */
std::int64_t CapacityMahOfText(const QString& curveCapacityText);
/** 'N' with the selector: parameter index, or 254 / 255 from the view selector. */
Request SelectRequest(std::uint8_t selectedParam);
/** 'w' with the parameter index and the value word, low byte first. */
Request WriteRequest(std::uint8_t selectedParam, std::uint16_t writeValue);

// Every exchange starts by dropping what is waiting on the port: bytes there can only be the
// late end of an earlier reply, and read as the start of this one they would put it out of step.

/** Probe: 'u' 0 0 0, then 4 bytes at once; true when they are exactly "Brim". */
bool Identify(platform::CSerialPort& port, Request& request, Reply& reply);
/** Command: write; pause 50 ms; read the 4-byte acknowledgement into reply; pause 50 ms. */
void CommandExchange(platform::CSerialPort& port, const Request& request, Reply& reply);
/**
 * Status poll: write 'a' 0 0 0; pause 50 ms; read 42 bytes into reply; the count read.
 * Bytes that did not arrive keep what reply held.
 */
std::size_t StatusPoll(platform::CSerialPort& port, Request& request, Reply& reply);
/**
 * Right after a status poll: whether more bytes came than the record took (they are dropped).
 * A record with bytes behind it began with the end of an earlier reply, so it is not the
 * module's.
 */
bool BytesFollowedTheRecord(platform::CSerialPort& port);

}  // namespace brimvolt
