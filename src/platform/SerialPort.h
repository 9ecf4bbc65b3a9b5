#pragma once

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <memory>

class QThread;

namespace brimvolt::platform {

/** An open serial port, held exclusively until the object is destroyed (destruction closes it). */
class CSerialPort {
public:
    virtual ~CSerialPort() = default;

    /** 9600 bit/s, 8 data bits, 1 stop bit, no parity check, no flow control, DTR and RTS off. */
    virtual void ApplyLineSettings() = 0;

    /** Writes the bytes, giving up after 10·n + 10 ms; returns how many went out. */
    virtual std::size_t Write(const std::uint8_t* data, std::size_t n) = 0;

    /**
     * Reads up to n bytes into data. Returns when n bytes arrived, when 50 ms passed between two
     * bytes, or after 10·n + 20 ms in all, with the count of what arrived. Bytes that come late
     * stay queued for the next read, until DiscardInput drops them.
     */
    virtual std::size_t Read(std::uint8_t* data, std::size_t n) = 0;

    /** Drops every byte that has arrived and not been read; returns how many were dropped. */
    virtual std::size_t DiscardInput() = 0;

    /** The exchanges' fixed pauses go through the port, so fake ports need not wait. */
    virtual void Pause(int milliseconds) = 0;

    /**
     * Hands the port to another thread, which uses and closes it from then on. Called on the
     * thread that opened the port; ports bound to no thread need nothing.
     */
    virtual void MoveToThread(QThread* thread) { (void)thread; }
};

/** The computer's serial ports: which there are, and opening one. */
class CPortSystem {
public:
    virtual ~CPortSystem() = default;

    /** The port names in no particular order; discovery sorts them as the combo box shows them. */
    virtual QStringList PortNames() = 0;

    /**
     * Opens the port exclusively; nullptr when it cannot be opened (missing, busy, no access).
     * May run on another thread while PortNames runs, and may never return (a device that hangs).
     */
    virtual std::unique_ptr<CSerialPort> Open(const QString& name) = 0;
};

}  // namespace brimvolt::platform
