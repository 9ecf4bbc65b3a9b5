#include <gtest/gtest.h>

#include <QString>
#include <clocale>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "module/Protocol.h"
#include "platform/SerialPort.h"

using namespace brimvolt;

namespace {

std::string Hex(const std::uint8_t* data, std::size_t n) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        static const char digits[] = "0123456789abcdef";
        text += i ? " " : "";
        text += digits[data[i] >> 4];
        text += digits[data[i] & 15];
    }
    return text;
}

// Records every call in order and answers reads from a script. A scripted answer may carry
// "noise": bytes the port scribbles into the caller's buffer beyond the count it reports.
class RecordingPort : public platform::CSerialPort {
public:
    struct Answer {
        std::string bytes;
        std::string noise;
    };
    std::vector<std::string> calls;
    std::deque<Answer> answers;

    void ApplyLineSettings() override { calls.push_back("settings"); }
    std::size_t Write(const std::uint8_t* data, std::size_t n) override {
        calls.push_back("write " + Hex(data, n));
        return n;
    }
    std::size_t Read(std::uint8_t* data, std::size_t n) override {
        calls.push_back("read " + std::to_string(n));
        Answer answer;
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
        const std::string all = answer.bytes + answer.noise;
        std::copy_n(all.begin(), std::min(all.size(), n), data);
        return answer.bytes.size();  // unclamped: a faulty backend may claim more than asked
    }
    // Silent unless bytes are said to be waiting, so the call sequences show the line's traffic.
    std::size_t DiscardInput() override {
        if (waiting == 0) {
            return 0;
        }
        calls.push_back("discard " + std::to_string(waiting));
        return std::exchange(waiting, 0);
    }
    void Pause(int milliseconds) override {
        calls.push_back("pause " + std::to_string(milliseconds));
    }

    std::size_t waiting = 0;  // bytes on the line that no read has taken
};

Reply FilledReply(std::uint8_t value) {
    Reply reply;
    reply.fill(value);
    return reply;
}

std::string RequestText(const Request& request) {
    return Hex(request.data(), request.size());
}

}  // namespace

TEST(Protocol, RequestsCarryTheirArgumentsInWireOrder) {
    struct Case {
        const char* what;
        Request request;
        const char* bytes;
    };
    const Case cases[] = {
        {"3725 s", TimeRequest(3725), "74 05 02 01"},
        {"0 s", TimeRequest(0), "74 00 00 00"},
        {"7199 s", TimeRequest(7199), "74 3b 3b 01"},
        {"255 h", TimeRequest(255 * 3600 + 59), "74 3b 00 ff"},
        {"256 h cut to 8 bits", TimeRequest(256 * 3600 + 61), "74 01 01 00"},
        {"-1 s truncates toward zero", TimeRequest(-1), "74 ff 00 00"},
        {"most negative time", TimeRequest(INT32_MIN), "74 f8 f2 d5"},
        {"12.345Ah", CapacityRequest("12.345Ah"), "43 39 30 00"},
        {"0.000Ah", CapacityRequest("0.000Ah"), "43 00 00 00"},
        {"empty text", CapacityRequest(""), "43 00 00 00"},
        {"10 Ah", CapacityRequest("10.000Ah"), "43 10 27 00"},
        {"largest 24-bit", CapacityRequest("16777.215Ah"), "43 ff ff ff"},
        {"past 24 bits", CapacityRequest("16777.216Ah"), "43 00 00 00"},
        {"negative", CapacityRequest("-0.001Ah"), "43 00 00 00"},
        {"-1 mAh", CapacityRequest("-0.0011Ah"), "43 ff 00 00"},
        {"infinite saturates", CapacityRequest("infAh"), "43 ff ff ff"},
        {"huge saturates", CapacityRequest("1e300Ah"), "43 ff ff ff"},
        {"minus infinity saturates", CapacityRequest("-inf"), "43 00 00 00"},
        {"nan", CapacityRequest("nanAh"), "43 00 00 00"},
        {"select row", SelectRequest(7), "4e 07 00 00"},
        {"select view 0", SelectRequest(254), "4e fe 00 00"},
        {"select view 1", SelectRequest(255), "4e ff 00 00"},
        {"write low byte first", WriteRequest(3, 0x1234), "77 03 34 12"},
        {"write top word", WriteRequest(11, 0xFFFF), "77 0b ff ff"},
        {"plain command", BuildRequest('p'), "70 00 00 00"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RequestText(c.request), c.bytes) << c.what;
    }
}

TEST(Protocol, CapacityTextReadsTheLeadingNumberWhateverTheLocale) {
    // 4.001 × 1000 is 4000.9999…: the added thousandth keeps it from truncating to 4000.
    std::setlocale(LC_ALL, "ru_RU.UTF-8");
    EXPECT_EQ(CapacityMahOfText("4.001Ah"), 4001);
    EXPECT_EQ(CapacityMahOfText("2.5Ah"), 2500);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(CapacityMahOfText("2,5Ah"), 2000);
    EXPECT_EQ(CapacityMahOfText("  1.5"), 1500);
    EXPECT_EQ(CapacityMahOfText("0.0005"), 0);
    EXPECT_EQ(CapacityMahOfText("Ah"), 0);
    EXPECT_EQ(CapacityMahOfText("3000000Ah"), INT32_MAX);
    EXPECT_EQ(CapacityMahOfText("-3000000Ah"), INT32_MIN);
}

TEST(Protocol, StatusRecordDecodesLittleEndianFields) {
    Reply reply{};
    reply[0] = 0;  // word 0: first setting, counted from 0
    reply[2] = 0xB8;
    reply[3] = 0x0B;  // word 1: 3000 mV
    reply[4] = 0xFF;
    reply[5] = 0xFF;  // word 2 at its top wraps to 0 when held + 1
    reply[8] = 2;     // word 4: mode, any non-zero value is a charge
    reply[22] = 0x34;
    reply[23] = 0x12;  // word 11
    reply[24] = 0xE8;
    reply[25] = 0x03;  // 1000 mA
    reply[26] = 0x8C;
    reply[27] = 0x0E;  // 3724 mV
    reply[28] = 0x2A;  // 42 mOhm
    reply[30] = 59;
    reply[31] = 59;
    reply[32] = 1;
    reply[33] = 0x10;
    reply[34] = 0x27;
    reply[35] = 0x00;
    reply[36] = 200;
    reply[37] = flags::kRunning | flags::kNoDac;
    reply[38] = 0xAA;  // past the record's fields: never read

    const StatusRecord status = DecodeStatus(reply);
    EXPECT_EQ(status.params[0], 1);
    EXPECT_EQ(status.params[1], 3000);
    EXPECT_EQ(status.params[2], 0);
    EXPECT_NE(status.params[4], 0);
    EXPECT_EQ(status.params[11], 0x1234);
    EXPECT_EQ(status.currentMa, 1000);
    EXPECT_EQ(status.voltageMv, 3724);
    EXPECT_EQ(status.rinMohm, 42);
    EXPECT_EQ(status.elapsedSeconds, 7199);
    EXPECT_EQ(status.capacityMah, 10000);
    EXPECT_EQ(status.temperature, 200);
    EXPECT_EQ(status.statusFlags, flags::kRunning | flags::kNoDac);
}

TEST(Protocol, StatusRecordTakesEveryByteValue) {
    // All bytes at their top: no field may overflow or go negative.
    const StatusRecord status = DecodeStatus(FilledReply(0xFF));
    EXPECT_EQ(status.params[0], 0);
    EXPECT_EQ(status.params[1], 0xFFFF);
    EXPECT_EQ(status.params[2], 0);
    EXPECT_EQ(status.elapsedSeconds, 255 + 60 * 255 + 3600 * 255);
    EXPECT_EQ(status.capacityMah, 0xFFFFFF);
    EXPECT_EQ(status.temperature, 255);
}

TEST(Protocol, ExchangesRunInTheirFixedOrder) {
    struct Case {
        const char* what;
        std::function<void(RecordingPort&, Request&, Reply&)> run;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"identify reads at once",
         [](RecordingPort& port, Request& request, Reply& reply) {
             Identify(port, request, reply);
         },
         {"write 75 00 00 00", "read 4"}},
        {"command waits around its acknowledgement",
         [](RecordingPort& port, Request&, Reply& reply) {
             CommandExchange(port, WriteRequest(5, 1000), reply);
         },
         {"write 77 05 e8 03", "pause 50", "read 4", "pause 50"}},
        {"status poll has no pause after",
         [](RecordingPort& port, Request& request, Reply& reply) {
             StatusPoll(port, request, reply);
         },
         {"write 61 00 00 00", "pause 50", "read 42"}},
    };
    for (const Case& c : cases) {
        RecordingPort port;
        Request request{};
        Reply reply{};
        c.run(port, request, reply);
        EXPECT_EQ(port.calls, c.calls) << c.what;
    }
}

TEST(Protocol, BytesLeftOnTheLineNeverStartTheNextReply) {
    for (int exchange = 0; exchange < 3; ++exchange) {
        RecordingPort port;
        port.waiting = 22;  // the tail of a reply that stalled
        Request request{};
        Reply reply{};
        exchange == 0   ? (void)Identify(port, request, reply)
        : exchange == 1 ? CommandExchange(port, SelectRequest(3), reply)
                        : (void)StatusPoll(port, request, reply);
        ASSERT_GE(port.calls.size(), 2u);
        EXPECT_EQ(port.calls[0], "discard 22");
        EXPECT_EQ(port.calls[1].rfind("write ", 0), 0u) << port.calls[1];
    }
    // A record with bytes behind it straddles two replies; the bytes go with it.
    RecordingPort port;
    port.waiting = 4;
    EXPECT_TRUE(BytesFollowedTheRecord(port));
    EXPECT_EQ(port.calls, (std::vector<std::string>{"pause 3", "discard 4"}));
    EXPECT_FALSE(BytesFollowedTheRecord(port));
}

TEST(Protocol, IdentifyAcceptsExactlyTheFourLetters) {
    struct Case {
        std::string answer;
        bool module;
    };
    const Case cases[] = {
        {"Brim", true},
        {"Bri", false},
        {"brim", false},
        {"BrimX", true},
        {"", false},
        {"Brom", false},
        {std::string("Bri\0", 4), false},
    };
    for (const Case& c : cases) {
        RecordingPort port;
        port.answers.push_back({c.answer, ""});
        Request request{};
        Reply reply{};
        EXPECT_EQ(Identify(port, request, reply), c.module) << c.answer;
        EXPECT_EQ(RequestText(request), "75 00 00 00");
    }
    // Three right bytes and a fourth that never came: the buffer's old content must not complete
    // the word.
    RecordingPort port;
    port.answers.push_back({"Bri", "m"});
    Request request{};
    Reply reply = FilledReply(0);
    reply[3] = 'm';
    EXPECT_FALSE(Identify(port, request, reply));
}

TEST(Protocol, ShortRepliesKeepWhatTheBufferHeld) {
    // A status record cut short: the missing bytes stay as they were, even if the port scribbled
    // over them.
    RecordingPort port;
    port.answers.push_back({"\x01\x02\x03", "garbage"});
    Request request{};
    Reply reply = FilledReply(0x5A);
    EXPECT_EQ(StatusPoll(port, request, reply), 3u);
    EXPECT_EQ(Hex(reply.data(), 6), "01 02 03 5a 5a 5a");
    EXPECT_EQ(reply[41], 0x5A);

    // Nothing at all: the link is lost, the buffer untouched.
    port.answers.push_back({"", "garbage"});
    EXPECT_EQ(StatusPoll(port, request, reply), 0u);
    EXPECT_EQ(Hex(reply.data(), 4), "01 02 03 5a");

    // An acknowledgement lands on the first four bytes only.
    port.answers.push_back({"ACK!", ""});
    CommandExchange(port, SelectRequest(2), reply);
    EXPECT_EQ(Hex(reply.data(), 6), "41 43 4b 21 5a 5a");

    // A port claiming more than was asked cannot push the copy past the buffer.
    port.answers.push_back({std::string(64, '\x11'), ""});
    EXPECT_EQ(StatusPoll(port, request, reply), 42u);
    EXPECT_EQ(reply[41], 0x11);
}
