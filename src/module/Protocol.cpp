#include "module/Protocol.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/SerialPort.h"
#include "platform/Text.h"

namespace brimvolt {

namespace {

std::uint16_t ReadWord(const Reply& reply, std::size_t offset) {
    return static_cast<std::uint16_t>(reply[offset] | (reply[offset + 1] << 8));
}

std::uint8_t LowByte(std::int32_t value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}

constexpr std::size_t kRequestSize = std::tuple_size_v<Request>;
constexpr std::size_t kAckSize = 4;
constexpr int kExchangePauseMs = 50;
// A byte at 9600 bit/s takes just over a millisecond: one that follows a record comes within
// this, and a record that ends the reply leaves the line quiet for longer.
constexpr int kTrailingByteWaitMs = 3;

/**
 * Reads up to n bytes and copies only what arrived to the start of reply, so the bytes that did
 * not come keep what the buffer held, whatever the port does with its own buffer.
 */
std::size_t ReadIntoReply(platform::CSerialPort& port, Reply& reply, std::size_t n) {
    Reply incoming{};
    const std::size_t count = std::min(port.Read(incoming.data(), n), n);
    std::copy_n(incoming.begin(), count, reply.begin());
    return count;
}

}  // namespace

StatusRecord DecodeStatus(const Reply& reply) {
    StatusRecord status;
    for (std::size_t k = 0; k < status.params.size(); ++k) {
        status.params[k] = ReadWord(reply, 2 * k);
    }
    // Words 0 and 2 are setting numbers counted from 0; the operator counts from 1.
    status.params[0] = static_cast<std::uint16_t>(status.params[0] + 1);
    status.params[2] = static_cast<std::uint16_t>(status.params[2] + 1);
    status.currentMa = ReadWord(reply, 24);
    status.voltageMv = ReadWord(reply, 26);
    status.rinMohm = ReadWord(reply, 28);
    status.seconds = reply[30];
    status.minutes = reply[31];
    status.hours = reply[32];
    status.elapsedSeconds = status.seconds + 60 * status.minutes + 3600 * status.hours;
    status.capacityMah = reply[33] | (reply[34] << 8) | (reply[35] << 16);
    status.temperature = reply[36];
    status.statusFlags = reply[37];
    return status;
}

Request BuildRequest(std::uint8_t command, std::uint8_t arg1, std::uint8_t arg2,
                     std::uint8_t arg3) {
    return Request{command, arg1, arg2, arg3};
}

Request TimeRequest(std::int32_t durationSeconds) {
    // Truncating division keeps the module's byte order (seconds, minutes, hours) for any count;
    // a negative or oversized count is cut, never undefined.
    return BuildRequest('t', LowByte(durationSeconds % 60), LowByte(durationSeconds % 3600 / 60),
                        LowByte(durationSeconds / 3600));
}

std::int64_t CapacityMahOfText(const QString& curveCapacityText) {
    const double mah = platform::LeadingReal(curveCapacityText) * 1000.0 + 0.001;
    // The module counts in a signed 32-bit word on our side; a text beyond it (or "inf", "nan")
    // saturates instead of converting out of range.
    if (std::isnan(mah)) {
        return 0;
    }
    constexpr double kLow = std::numeric_limits<std::int32_t>::min();
    constexpr double kHigh = std::numeric_limits<std::int32_t>::max();
    if (mah <= kLow) {
        return std::numeric_limits<std::int32_t>::min();
    }
    if (mah >= kHigh) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int64_t>(std::trunc(mah));
}

Request CapacityRequest(const QString& curveCapacityText) {
    const auto mah = static_cast<std::int32_t>(CapacityMahOfText(curveCapacityText));
    return BuildRequest('C', LowByte(mah % 256), LowByte(mah % 65536 / 256), LowByte(mah / 65536));
}

Request SelectRequest(std::uint8_t selectedParam) {
    return BuildRequest('N', selectedParam);
}

Request WriteRequest(std::uint8_t selectedParam, std::uint16_t writeValue) {
    return BuildRequest('w', selectedParam, static_cast<std::uint8_t>(writeValue & 0xFF),
                        static_cast<std::uint8_t>(writeValue >> 8));
}

bool Identify(platform::CSerialPort& port, Request& request, Reply& reply) {
    request = BuildRequest('u');
    port.DiscardInput();
    port.Write(request.data(), kRequestSize);
    // The answer is read at once: a module that is slower than the read's own bound is not ours.
    const std::size_t count = ReadIntoReply(port, reply, kAckSize);
    return count == kAckSize && std::memcmp(reply.data(), "Brim", kAckSize) == 0;
}

void CommandExchange(platform::CSerialPort& port, const Request& request, Reply& reply) {
    port.DiscardInput();
    port.Write(request.data(), kRequestSize);
    port.Pause(kExchangePauseMs);
    // The acknowledgement's content means nothing to us; reading it keeps it off the next reply.
    ReadIntoReply(port, reply, kAckSize);
    port.Pause(kExchangePauseMs);
}

std::size_t StatusPoll(platform::CSerialPort& port, Request& request, Reply& reply) {
    request = BuildRequest('a');
    port.DiscardInput();
    port.Write(request.data(), kRequestSize);
    port.Pause(kExchangePauseMs);
    return ReadIntoReply(port, reply, reply.size());
}

bool BytesFollowedTheRecord(platform::CSerialPort& port) {
    port.Pause(kTrailingByteWaitMs);
    return port.DiscardInput() > 0;
}

}  // namespace brimvolt
