#include "platform/Text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace brimvolt::platform {

namespace {

// The white space the C library skips before a number.
bool IsSpace(QChar c) {
    const char16_t u = c.unicode();
    return u == ' ' || u == '\t' || u == '\n' || u == '\v' || u == '\f' || u == '\r';
}

qsizetype SkipSpace(QStringView text, qsizetype i) {
    while (i < text.size() && IsSpace(text[i])) {
        ++i;
    }
    return i;
}

bool IsDigit(QChar c) {
    return c.unicode() >= '0' && c.unicode() <= '9';
}

}  // namespace

std::int32_t LeadingInteger(QStringView text, bool* found) {
    qsizetype i = SkipSpace(text, 0);
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    std::int64_t value = 0;
    bool digits = false;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        digits = true;
        value = std::min<std::int64_t>(value * 10 + (text[i].unicode() - '0'), kLimit);
    }
    if (found) {
        *found = digits;
    }
    if (negative) {
        value = -value;
    }
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

double LeadingReal(QStringView text, bool* found) {
    qsizetype i = SkipSpace(text, 0);
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // from_chars takes the longest prefix that forms a number, as the C library does, but knows
    // neither a sign nor anything beyond Latin-1: hand it the plain ASCII run after the sign.
    std::string ascii;
    for (qsizetype j = i; j < text.size() && text[j].unicode() < 0x80 && ascii.size() < 4096; ++j) {
        ascii.push_back(static_cast<char>(text[j].unicode()));
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    const bool ok = end != ascii.data() && ascii.front() != '+' && ascii.front() != '-';
    if (!ok) {
        if (found) {
            *found = false;
        }
        return 0.0;
    }
    if (error == std::errc::result_out_of_range) {
        // from_chars leaves the value alone on a range error; the C library gives infinity for
        // an overflow and zero for an underflow, which the exponent's sign tells apart.
        const auto e = ascii.find_first_of("eE");
        const bool underflow = e != std::string::npos && ascii.compare(e + 1, 1, "-") == 0;
        value = underflow ? 0.0 : std::numeric_limits<double>::infinity();
    }
    if (found) {
        *found = true;
    }
    return negative ? -value : value;
}

QByteArray Utf16LeBytes(QStringView text) {
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        bytes.append(static_cast<char>(u & 0xFF));
        bytes.append(static_cast<char>(u >> 8));
    }
    return bytes;
}

QString TextFromUtf16Le(const QByteArray& bytes) {
    QString text;
    const qsizetype units = bytes.size() / 2;
    text.resize(units);
    for (qsizetype i = 0; i < units; ++i) {
        const auto low = static_cast<unsigned char>(bytes[2 * i]);
        const auto high = static_cast<unsigned char>(bytes[2 * i + 1]);
        text[i] = QChar(static_cast<char16_t>(low | (high << 8)));
    }
    return text;
}

bool IsUnsafeCodePoint(char32_t c) {
    return c <= 0x1F || (c >= 0x7F && c <= 0x9F) || (c >= 0xD800 && c <= 0xDFFF) ||
           (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE || c > 0x10FFFF;
}

QString ReplaceUnsafe(QStringView text, QChar replacement) {
    QString safe;
    safe.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            const char32_t point = QChar::surrogateToUcs4(c, text[i + 1]);
            if (IsUnsafeCodePoint(point)) {
                safe += replacement;
            } else {
                safe += c;
                safe += text[i + 1];
            }
            ++i;
        } else {
            safe += IsUnsafeCodePoint(c.unicode()) ? replacement : c;
        }
    }
    return safe;
}

}  // namespace brimvolt::platform
