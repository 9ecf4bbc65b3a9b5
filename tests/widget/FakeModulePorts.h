#pragma once

#include <QMap>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/SerialPort.h"

namespace brimvolt::testing {

using Bytes4 = std::array<std::uint8_t, 4>;

/** What a scripted module reports, encoded by the layout of its 42-byte status record. */
struct FakeStatus {
    std::array<std::uint16_t, 12> words{};  // as on the wire: presets counted from 0
    std::uint16_t currentMa = 0;
    std::uint16_t voltageMv = 0;
    std::uint16_t rinMohm = 0;
    std::int32_t elapsedSeconds = 0;
    std::uint32_t capacityMah = 0;
    std::uint8_t temperature = 25;
    std::uint8_t flags = 0;

    std::array<std::uint8_t, 42> Bytes() const {
        std::array<std::uint8_t, 42> b{};
        const auto put16 = [&b](int at, std::uint16_t v) {
            b[at] = static_cast<std::uint8_t>(v & 0xFF);
            b[at + 1] = static_cast<std::uint8_t>(v >> 8);
        };
        for (int k = 0; k < 12; ++k) {
            put16(2 * k, words[k]);
        }
        put16(24, currentMa);
        put16(26, voltageMv);
        put16(28, rinMohm);
        b[30] = static_cast<std::uint8_t>(elapsedSeconds % 60);
        b[31] = static_cast<std::uint8_t>(elapsedSeconds % 3600 / 60);
        b[32] = static_cast<std::uint8_t>(elapsedSeconds / 3600);
        b[33] = static_cast<std::uint8_t>(capacityMah & 0xFF);
        b[34] = static_cast<std::uint8_t>((capacityMah >> 8) & 0xFF);
        b[35] = static_cast<std::uint8_t>((capacityMah >> 16) & 0xFF);
        b[36] = temperature;
        b[37] = flags;
        return b;
    }
};

/** The far end of one port: a module that answers from a script, and a log of what it got. */
struct FakeLine {
    bool isModule = true;  // answers the probe with "Brim"
    bool alive = true;     // false: every read returns nothing
    FakeStatus status;     // answered to every 'a'
    std::vector<Bytes4> written;
    int opens = 0;
    int closes = 0;
    bool open = false;

    /** The requests after the first `from`, without the probes. */
    std::vector<Bytes4> Commands(std::size_t from = 0) const {
        std::vector<Bytes4> out;
        for (std::size_t i = from; i < written.size(); ++i) {
            if (written[i][0] != 'u') {
                out.push_back(written[i]);
            }
        }
        return out;
    }
    /** The command characters written, probes and polls left out. */
    std::vector<Bytes4> NonPolls(std::size_t from = 0) const {
        std::vector<Bytes4> out;
        for (const Bytes4& r : Commands(from)) {
            if (r[0] != 'a') {
                out.push_back(r);
            }
        }
        return out;
    }
};

class FakeSerialPort : public platform::CSerialPort {
public:
    explicit FakeSerialPort(std::shared_ptr<FakeLine> line) : line(std::move(line)) {
        ++this->line->opens;
        this->line->open = true;
    }
    ~FakeSerialPort() override {
        ++line->closes;
        line->open = false;
    }
    void ApplyLineSettings() override {}
    std::size_t Write(const std::uint8_t* data, std::size_t n) override {
        if (n == 4) {
            Bytes4 request{};
            std::copy(data, data + 4, request.begin());
            line->written.push_back(request);
            last = request[0];
        }
        return n;
    }
    std::size_t Read(std::uint8_t* data, std::size_t n) override {
        if (!line->alive) {
            return 0;
        }
        if (last == 'u') {
            if (!line->isModule) {
                return 0;
            }
            const char brim[] = "Brim";
            const std::size_t count = std::min<std::size_t>(n, 4);
            std::memcpy(data, brim, count);
            return count;
        }
        if (last == 'a') {
            const auto bytes = line->status.Bytes();
            const std::size_t count = std::min<std::size_t>(n, bytes.size());
            std::memcpy(data, bytes.data(), count);
            return count;
        }
        const std::size_t count = std::min<std::size_t>(n, 4);
        std::memset(data, 0, count);
        return count;
    }
    // Replies are answered whole and at once: nothing is ever left waiting.
    std::size_t DiscardInput() override { return 0; }
    void Pause(int) override {}

private:
    std::shared_ptr<FakeLine> line;
    std::uint8_t last = 0;
};

/** Named ports, each with its own line; a name without a line is listed but cannot be opened. */
class FakePortSystem : public platform::CPortSystem {
public:
    QMap<QString, std::shared_ptr<FakeLine>> lines;
    QStringList names;

    std::shared_ptr<FakeLine> Add(const QString& name, bool isModule = true) {
        auto line = std::make_shared<FakeLine>();
        line->isModule = isModule;
        lines.insert(name, line);
        names.append(name);
        return line;
    }

    QStringList PortNames() override { return names; }
    std::unique_ptr<platform::CSerialPort> Open(const QString& name) override {
        const auto it = lines.find(name);
        if (it == lines.end() || it.value()->open) {
            return nullptr;
        }
        return std::make_unique<FakeSerialPort>(it.value());
    }
};

}  // namespace brimvolt::testing
