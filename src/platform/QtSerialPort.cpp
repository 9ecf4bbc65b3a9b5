#include "platform/QtSerialPort.h"

#include <QHash>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <iterator>
#include <mutex>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX  // keep std::min and std::max usable
#endif
#include <windows.h>
#endif

namespace brimvolt::platform {

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

// Line time-outs: a read gives up 50 ms after a byte with no next one, or after 10·n + 20 ms in
// all; a write after 10·n + 10 ms.
constexpr Millis kReadInterval{50};
constexpr Millis kPerByte{10};
constexpr Millis kReadConstant{20};
constexpr Millis kWriteConstant{10};

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<Millis>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1'000'000));
}

Millis PerByteBudget(std::size_t n) {
    // A bound for any n that still fits the clock: beyond a day nothing is waited for anyway.
    return kPerByte * static_cast<long long>(std::min<std::size_t>(n, 10'000'000));
}

#ifdef Q_OS_WIN
// The names of the ports the system has, as its serial driver lists them in the registry.
QStringList RegistryPortNames() {
    QStringList names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM\\", 0, KEY_READ,
                      &key) != ERROR_SUCCESS) {
        return names;
    }
    // 100 wide characters hold any port name the serial driver registers.
    wchar_t valueName[100];
    wchar_t data[100];
    for (DWORD index = 0;; ++index) {
        DWORD nameChars = static_cast<DWORD>(std::size(valueName));
        if (RegEnumValueW(key, index, valueName, &nameChars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        DWORD dataBytes = sizeof(data);
        if (RegQueryValueExW(key, valueName, nullptr, nullptr, reinterpret_cast<LPBYTE>(data),
                             &dataBytes) != ERROR_SUCCESS) {
            break;
        }
        // Registry strings need not be terminated: take no more than was written.
        const auto chars = std::min<std::size_t>(dataBytes / sizeof(wchar_t), std::size(data));
        const auto length = std::find(data, data + chars, L'\0') - data;
        names.append(QString::fromWCharArray(data, static_cast<qsizetype>(length)));
    }
    RegCloseKey(key);
    return names;
}
#endif

class CQtPortSystem : public CPortSystem {
public:
    CQtPortSystem(bool listSystemPorts, QStringList extraPaths)
        : listSystemPorts(listSystemPorts), extraPaths(std::move(extraPaths)) {}

    QStringList PortNames() override {
        QStringList names;
        QHash<QString, QString> found;
        if (listSystemPorts) {
#ifdef Q_OS_WIN
            names = RegistryPortNames();
#else
            for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
                names.append(info.portName());
                found.insert(info.portName(), info.systemLocation());
            }
#endif
        }
        for (const QString& path : extraPaths) {
            names.append(path);
            found.insert(path, path);
        }
        std::lock_guard lock(mutex);
        locations = std::move(found);
        return names;
    }

    std::unique_ptr<CSerialPort> Open(const QString& name) override {
        QString location;
        {
            std::lock_guard lock(mutex);
            location = locations.value(name, name);
        }
        return CQtSerialPort::Open(location);
    }

private:
    bool listSystemPorts;
    QStringList extraPaths;
    std::mutex mutex;                   // opens run on helper threads of their own
    QHash<QString, QString> locations;  // name as listed -> what to open
};

}  // namespace

std::unique_ptr<CQtSerialPort> CQtSerialPort::Open(const QString& location) {
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(location);
    if (!port->open(QIODevice::ReadWrite)) {
        return nullptr;
    }
    // A newly opened port starts with an empty receive queue, as a fresh handle does on
    // Windows. A device node may still hold what a module sent after the last close (a late
    // reply to a failed probe or poll), and those bytes would shift every later reply on this
    // port out of step.
    port->clear(QSerialPort::Input);
    return std::unique_ptr<CQtSerialPort>(new CQtSerialPort(std::move(port)));
}

CQtSerialPort::CQtSerialPort(std::unique_ptr<QSerialPort> port) : port(std::move(port)) {}

CQtSerialPort::~CQtSerialPort() {
    port->close();
}

void CQtSerialPort::ApplyLineSettings() {
    // Results are not examined: a device that refuses a setting shows up as short replies.
    port->setBaudRate(QSerialPort::Baud9600);
    port->setDataBits(QSerialPort::Data8);
    port->setStopBits(QSerialPort::OneStop);
    port->setParity(QSerialPort::NoParity);
    port->setFlowControl(QSerialPort::NoFlowControl);
    port->setDataTerminalReady(false);
    port->setRequestToSend(false);
}

std::size_t CQtSerialPort::Write(const std::uint8_t* data, std::size_t n) {
    if (n == 0) {
        return 0;
    }
    const auto deadline = Clock::now() + PerByteBudget(n) + kWriteConstant;
    const qint64 queued = port->write(reinterpret_cast<const char*>(data), static_cast<qint64>(n));
    if (queued <= 0) {
        return 0;
    }
    while (port->bytesToWrite() > 0) {
        const int left = RemainingMs(deadline);
        if (left == 0 || !port->waitForBytesWritten(left)) {
            break;
        }
    }
    // What did not go out in time stays queued: no queue of the port is ever purged. A line
    // that takes no bytes answers nothing either, so the poll that follows fails and closes it.
    const qint64 unsent = port->bytesToWrite();
    return static_cast<std::size_t>(std::max<qint64>(queued - unsent, 0));
}

std::size_t CQtSerialPort::Read(std::uint8_t* data, std::size_t n) {
    if (n == 0) {
        return 0;
    }
    const auto start = Clock::now();
    const auto deadline = start + PerByteBudget(n) + kReadConstant;
    std::size_t count = 0;
    Clock::time_point lastByte{};
    for (;;) {
        // Whatever is queued already (late bytes of an earlier reply included) is taken first.
        const qint64 got =
            port->read(reinterpret_cast<char*>(data + count), static_cast<qint64>(n - count));
        if (got > 0) {
            count += static_cast<std::size_t>(got);
            lastByte = Clock::now();
        }
        if (count == n) {
            break;
        }
        // The gap between bytes only counts once a first byte has come; until then the total
        // bound alone applies.
        auto until = deadline;
        if (count > 0) {
            until = std::min(deadline, lastByte + kReadInterval);
        }
        const int left = RemainingMs(until);
        if (left == 0 || !port->waitForReadyRead(left)) {
            // A last look: bytes may have landed in the buffer as the wait ended.
            if (port->bytesAvailable() > 0 && Clock::now() < deadline) {
                continue;
            }
            break;
        }
    }
    return count;
}

std::size_t CQtSerialPort::DiscardInput() {
    // What the driver holds is taken into the port's buffer first, so that it can be counted.
    port->waitForReadyRead(0);
    const qint64 waiting = port->bytesAvailable();
    port->clear(QSerialPort::Input);
    return static_cast<std::size_t>(std::max<qint64>(waiting, 0));
}

void CQtSerialPort::Pause(int milliseconds) {
    if (milliseconds > 0) {
        QThread::msleep(static_cast<unsigned long>(milliseconds));
    }
}

void CQtSerialPort::MoveToThread(QThread* thread) {
    port->moveToThread(thread);
}

std::unique_ptr<CPortSystem> MakeSystemPorts(const QStringList& extraPorts) {
    return std::make_unique<CQtPortSystem>(true, extraPorts);
}

std::unique_ptr<CPortSystem> MakePathPorts(const QStringList& paths) {
    return std::make_unique<CQtPortSystem>(false, paths);
}

}  // namespace brimvolt::platform
