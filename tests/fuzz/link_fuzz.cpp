// What the serial line hands the program: discovery over a set of ports whose far ends answer
// the probe with any bytes, then status polls and commands on the port found, each read getting
// any number of bytes up to what was asked.
//
// Input: a port count, then per port a name and whether it opens; the rest feeds the reads.

#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "FuzzInput.h"
#include "link/Discovery.h"
#include "module/Protocol.h"
#include "platform/SerialPort.h"

using namespace brimvolt;
using brimvolt::fuzz::Check;

namespace {

struct LineLog {
    int openNow = 0;
    int openAtMost = 0;
};

class CFuzzPort final : public platform::CSerialPort {
public:
    CFuzzPort(QString name, fuzz::CFuzzInput& line, LineLog& log)
        : name(std::move(name)), line(line), log(log) {
        log.openAtMost = std::max(log.openAtMost, ++log.openNow);
    }
    ~CFuzzPort() override { --log.openNow; }

    void ApplyLineSettings() override { settingsApplied = true; }
    std::size_t Write(const std::uint8_t* data, std::size_t n) override {
        lastWrite.assign(data, data + n);
        return n;
    }
    std::size_t Read(std::uint8_t* data, std::size_t n) override {
        const std::size_t count = line.Byte() % (n + 1);
        for (std::size_t i = 0; i < count; ++i) {
            data[i] = line.Byte();
        }
        lastRead.assign(data, data + count);
        return count;
    }
    std::size_t DiscardInput() override { return 0; }
    void Pause(int) override {}

    QString name;
    bool settingsApplied = false;
    std::vector<std::uint8_t> lastWrite;
    std::vector<std::uint8_t> lastRead;

private:
    fuzz::CFuzzInput& line;
    LineLog& log;
};

class CFuzzPorts final : public platform::CPortSystem {
public:
    CFuzzPorts(fuzz::CFuzzInput& line, LineLog& log) : line(line), log(log) {}
    QStringList PortNames() override { return names; }
    std::unique_ptr<platform::CSerialPort> Open(const QString& name) override {
        const qsizetype i = names.indexOf(name);
        if (i < 0 || !opens[static_cast<std::size_t>(i)]) {
            return nullptr;
        }
        return std::make_unique<CFuzzPort>(name, line, log);
    }

    QStringList names;
    std::vector<bool> opens;

private:
    fuzz::CFuzzInput& line;
    LineLog& log;
};

void PollTheFoundPort(platform::CSerialPort& port, fuzz::CFuzzInput& input, Request& request,
                      Reply& reply) {
    auto& fake = static_cast<CFuzzPort&>(port);
    for (int tick = 0; tick < 8 && !input.Empty(); ++tick) {
        if ((input.Byte() & 1) != 0) {
            const Reply before = reply;
            CommandExchange(port, BuildRequest('p'), reply);
            const std::size_t got = fake.lastRead.size();
            Check(std::equal(reply.begin() + static_cast<std::ptrdiff_t>(got), reply.end(),
                             before.begin() + static_cast<std::ptrdiff_t>(got)),
                  "an acknowledgement touches only the bytes that came");
        }
        const Reply before = reply;
        const std::size_t count = StatusPoll(port, request, reply);
        Check(count <= reply.size(), "a poll reads at most a record");
        Check(count == fake.lastRead.size(), "the poll reports what arrived");
        Check(std::equal(fake.lastRead.begin(), fake.lastRead.end(), reply.begin()),
              "what arrived lands at the start of the reply");
        Check(std::equal(reply.begin() + static_cast<std::ptrdiff_t>(count), reply.end(),
                         before.begin() + static_cast<std::ptrdiff_t>(count)),
              "bytes that did not come keep the previous record");
        DecodeStatus(reply);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::CFuzzInput input(data, size);
    LineLog log;
    CFuzzPorts ports(input, log);
    const int portCount = input.Byte() % 7;
    for (int i = 0; i < portCount; ++i) {
        ports.opens.push_back((input.Byte() & 3) != 0);
        ports.names << input.Text(10);
    }

    Request request{};
    Reply reply{};
    Discovery found = FindModule(ports, request, reply);

    QStringList expected = ports.names;
    QStringList entries = found.entries;
    std::sort(expected.begin(), expected.end());
    std::sort(entries.begin(), entries.end());
    Check(entries == expected, "the combo box lists every port once");
    Check(log.openAtMost <= 1, "a port is closed before the next is opened");
    Check(found.result == FindResult::Found || !DiscoveryMessage(found.result).isEmpty(),
          "a failed pass says why");

    if (found.result != FindResult::Found) {
        Check(!found.port && found.foundIndex == -1, "no module, no port");
        Check(log.openNow == 0, "every probed port is closed again");
        return 0;
    }
    Check(found.port != nullptr, "a found module comes with its port");
    Check(found.foundIndex >= 0 && found.foundIndex < found.entries.size(),
          "the found entry is in the list");
    auto& port = static_cast<CFuzzPort&>(*found.port);
    Check(port.name == found.entries[found.foundIndex], "the entry names the port found");
    Check(port.settingsApplied, "the found port has the module's line settings");
    const std::vector<std::uint8_t> brim{'B', 'r', 'i', 'm'};
    Check(port.lastRead == brim, "only \"Brim\" identifies the module");
    Check(port.lastWrite == std::vector<std::uint8_t>{'u', 0, 0, 0}, "the probe is 'u' 0 0 0");
    Check(log.openNow == 1, "only the found port stays open");

    PollTheFoundPort(*found.port, input, request, reply);
    return 0;
}
