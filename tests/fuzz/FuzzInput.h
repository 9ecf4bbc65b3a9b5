#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace brimvolt::fuzz {

/** Hands out a fuzz input piece by piece; past its end every read gives zeros. */
class CFuzzInput {
public:
    CFuzzInput(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}

    bool Empty() const { return pos >= size; }
    std::size_t Left() const { return pos < size ? size - pos : 0; }

    std::uint8_t Byte() { return pos < size ? data[pos++] : 0; }

    /** Up to n bytes (fewer at the end). */
    QByteArray Bytes(std::size_t n) {
        const std::size_t take = n < Left() ? n : Left();
        QByteArray bytes(reinterpret_cast<const char*>(data + pos), static_cast<qsizetype>(take));
        pos += take;
        return bytes;
    }

    QByteArray Rest() { return Bytes(Left()); }

    /** A text of up to n units, read as UTF-16LE or as UTF-8 as the next byte says. */
    QString Text(std::size_t maxUnits) {
        const bool wide = (Byte() & 1) != 0;
        const std::size_t length = Byte() % (maxUnits + 1);
        if (wide) {
            QString text;
            for (std::size_t i = 0; i < length && Left() >= 2; ++i) {
                const std::uint8_t low = Byte();
                text.append(QChar(static_cast<char16_t>(low | (Byte() << 8))));
            }
            return text;
        }
        return QString::fromUtf8(Bytes(length));
    }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;
};

/** A broken property: say which, then abort so libFuzzer keeps the input. */
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz property broken: %s\n", what);
    std::abort();
}

inline void Check(bool holds, const char* what) {
    if (!holds) {
        Fail(what);
    }
}

}  // namespace brimvolt::fuzz
