#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/Discovery.h"
#include "platform/SerialPort.h"

using namespace brimvolt;

namespace {

// Ports by name: whether each opens and what it answers to a probe. Every call on every port
// goes into one log, so the order across ports can be checked.
class FakePortSystem : public platform::CPortSystem {
public:
    struct Device {
        bool opens = true;
        std::string answer;
    };
    std::vector<std::pair<QString, Device>> devices;  // in the order the system lists them
    std::vector<std::string> log;

    QStringList PortNames() override {
        QStringList names;
        for (const auto& [name, device] : devices) {
            names.append(name);
        }
        return names;
    }

    std::unique_ptr<platform::CSerialPort> Open(const QString& name) override {
        for (const auto& [listed, device] : devices) {
            if (listed == name) {
                log.push_back("open " + name.toStdString() + (device.opens ? "" : " failed"));
                if (!device.opens) {
                    return nullptr;
                }
                return std::make_unique<Port>(name.toStdString(), device.answer, log);
            }
        }
        log.push_back("open unknown " + name.toStdString());
        return nullptr;
    }

private:
    class Port : public platform::CSerialPort {
    public:
        Port(std::string name, std::string answer, std::vector<std::string>& log)
            : name(std::move(name)), answer(std::move(answer)), log(log) {}
        ~Port() override { log.push_back("close " + name); }
        void ApplyLineSettings() override { log.push_back("settings " + name); }
        std::size_t Write(const std::uint8_t* data, std::size_t n) override {
            log.push_back("write " + name + " " +
                          std::string(reinterpret_cast<const char*>(data), 1));
            return n;
        }
        std::size_t Read(std::uint8_t* data, std::size_t n) override {
            log.push_back("read " + name);
            const std::size_t count = std::min(answer.size(), n);
            std::copy_n(answer.begin(), count, data);
            return count;
        }
        std::size_t DiscardInput() override { return 0; }
        void Pause(int) override { log.push_back("pause " + name); }

    private:
        std::string name;
        std::string answer;
        std::vector<std::string>& log;
    };
};

std::vector<std::string> Probe(const std::string& name) {
    return {"open " + name, "settings " + name, "write " + name + " u", "read " + name};
}

std::vector<std::string> FailedProbe(const std::string& name) {
    auto calls = Probe(name);
    calls.push_back("close " + name);
    return calls;
}

std::vector<std::string> Joined(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

}  // namespace

TEST(LinkDiscovery, ComboBoxOrderIsCaseInsensitiveCharacterByCharacter) {
    struct Case {
        QStringList names;
        QStringList sorted;
    };
    const Case cases[] = {
        {{"COM3", "COM10"}, {"COM10", "COM3"}},
        {{"COM2", "COM10", "COM1"}, {"COM1", "COM10", "COM2"}},
        {{"ttyUSB0", "ttyACM0", "ttyS0"}, {"ttyACM0", "ttyS0", "ttyUSB0"}},
        {{"comB", "COMa", "Com"}, {"Com", "COMa", "comB"}},
        {{"COMA", "COM_1"}, {"COM_1", "COMA"}},
        {{"com3", "COM3"}, {"COM3", "com3"}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SortedLikeComboBox(c.names), c.sorted) << c.names.join(',').toStdString();
    }
}

TEST(LinkDiscovery, ProbesEachPortOnceInComboBoxOrderClosingFailuresFirst) {
    FakePortSystem ports;
    ports.devices = {
        {"COM3", {true, "Brim"}},
        {"COM10", {true, ""}},
        {"com2", {true, "Bri"}},
        {"COM1", {true, "Nope"}},
    };
    Request request{};
    Reply reply{};
    const Discovery found = FindModule(ports, request, reply);

    EXPECT_EQ(found.result, FindResult::Found);
    EXPECT_EQ(found.entries, QStringList({"COM1", "COM10", "com2", "COM3"}));
    EXPECT_EQ(found.foundIndex, 3);
    ASSERT_NE(found.port, nullptr);
    // The module's port stays open: no close after its probe.
    EXPECT_EQ(ports.log, Joined({FailedProbe("COM1"), FailedProbe("COM10"), FailedProbe("com2"),
                                 Probe("COM3")}));
}

TEST(LinkDiscovery, StopsAtTheFirstModule) {
    FakePortSystem ports;
    ports.devices = {{"COM2", {true, "Brim"}}, {"COM1", {true, "Brim"}}};
    Request request{};
    Reply reply{};
    const Discovery found = FindModule(ports, request, reply);
    EXPECT_EQ(found.result, FindResult::Found);
    EXPECT_EQ(found.foundIndex, 0);
    EXPECT_EQ(ports.log, Probe("COM1"));
}

TEST(LinkDiscovery, ResultTellsNoPortFromNoModule) {
    struct Case {
        const char* what;
        std::vector<std::pair<QString, FakePortSystem::Device>> devices;
        FindResult result;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"no ports listed", {}, FindResult::NoPort, {}},
        {"every port busy",
         {{"COM1", {false, "Brim"}}, {"COM2", {false, ""}}},
         FindResult::NoPort,
         {"open COM1 failed", "open COM2 failed"}},
        {"busy port skipped, the next one silent",
         {{"COM1", {false, "Brim"}}, {"COM2", {true, ""}}},
         FindResult::NoModule,
         Joined({{"open COM1 failed"}, FailedProbe("COM2")})},
        {"silent port then busy port",
         {{"COM1", {true, ""}}, {"COM2", {false, ""}}},
         FindResult::NoModule,
         Joined({FailedProbe("COM1"), {"open COM2 failed"}})},
    };
    for (const Case& c : cases) {
        FakePortSystem ports;
        ports.devices = c.devices;
        Request request{};
        Reply reply{};
        const Discovery found = FindModule(ports, request, reply);
        EXPECT_EQ(found.result, c.result) << c.what;
        EXPECT_EQ(found.foundIndex, -1) << c.what;
        EXPECT_EQ(found.port, nullptr) << c.what;
        EXPECT_EQ(found.entries.size(), static_cast<qsizetype>(c.devices.size())) << c.what;
        EXPECT_EQ(ports.log, c.log) << c.what;
    }
}

TEST(LinkDiscovery, BusyModulePortIsFoundOnceFree) {
    FakePortSystem ports;
    ports.devices = {{"COM1", {false, "Brim"}}};
    Request request{};
    Reply reply{};
    EXPECT_EQ(FindModule(ports, request, reply).result, FindResult::NoPort);
    ports.devices[0].second.opens = true;
    EXPECT_EQ(FindModule(ports, request, reply).result, FindResult::Found);
}

TEST(LinkDiscovery, MessagesNameTheReason) {
    EXPECT_EQ(DiscoveryMessage(FindResult::NoPort), QString("Нет доступного COM порта"));
    EXPECT_EQ(DiscoveryMessage(FindResult::NoModule),
              QString("Доступный COM порт есть, но модуль не найден"));
    EXPECT_TRUE(DiscoveryMessage(FindResult::Found).isEmpty());
}
