#pragma once

#include <QString>
#include <cstddef>
#include <utility>

namespace brimvolt {

/**
 * The window's view of the port the serial worker holds open: the name it was opened under, or
 * none. The port itself lives on the worker's thread.
 */
class PortHandle {
public:
    PortHandle() = default;
    explicit PortHandle(QString name) : name(std::move(name)), open(true) {}

    explicit operator bool() const { return open; }
    bool operator==(std::nullptr_t) const { return !open; }
    const QString& Name() const { return name; }
    void reset() { *this = PortHandle(); }

private:
    QString name;
    bool open = false;
};

}  // namespace brimvolt
