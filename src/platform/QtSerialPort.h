#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "platform/SerialPort.h"

class QSerialPort;

namespace brimvolt::platform {

/** A serial port through QSerialPort, opened exclusively (Qt locks the device). */
class CQtSerialPort : public CSerialPort {
public:
    /** Opens the port at location (a device path, or a name Qt resolves); nullptr on failure. */
    static std::unique_ptr<CQtSerialPort> Open(const QString& location);

    ~CQtSerialPort() override;

    void ApplyLineSettings() override;
    std::size_t Write(const std::uint8_t* data, std::size_t n) override;
    std::size_t Read(std::uint8_t* data, std::size_t n) override;
    std::size_t DiscardInput() override;
    void Pause(int milliseconds) override;
    void MoveToThread(QThread* thread) override;

private:
    explicit CQtSerialPort(std::unique_ptr<QSerialPort> port);

    std::unique_ptr<QSerialPort> port;
};

/**
 * The computer's serial ports: on Windows those listed in the registry's SERIALCOMM key,
 * elsewhere those Qt reports; then each of extraPorts, a device path opened as given.
 */
std::unique_ptr<CPortSystem> MakeSystemPorts(const QStringList& extraPorts);

/** Only the given device paths, for trials and tests on a machine with ports of its own. */
std::unique_ptr<CPortSystem> MakePathPorts(const QStringList& paths);

}  // namespace brimvolt::platform
