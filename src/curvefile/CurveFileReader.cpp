#include "curvefile/CurveFileReader.h"

#include <QBuffer>
#include <QIODevice>
#include <QString>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "plot/ExtractAfterKey.h"

namespace brimvolt {

namespace {

// The key words are looked for in the first 2000 bytes only.
constexpr qint64 kHeadBytes = 2000;
constexpr qint64 kChunkBytes = 1 << 20;
// A data line is a few dozen units; past this, the rest of a line is dropped so a file without
// line feeds cannot make the reader hold all of it.
constexpr std::size_t kMaxLineUnits = 1 << 20;

bool IsCSpace(char16_t u) {
    return u == ' ' || u == '\t' || u == '\n' || u == '\v' || u == '\f' || u == '\r';
}

std::uint16_t MillivoltsOfVolts(double volts) {
    const double scaled = std::trunc((volts + 0.00001) * 1000.0);
    if (!std::isfinite(scaled)) {
        return 0;
    }
    // The low 16 bits of the whole number, for any magnitude, without an out-of-range cast.
    double low = std::fmod(scaled, 65536.0);
    if (low < 0) {
        low += 65536.0;
    }
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(low));
}

// Reads a file's UTF-16LE units in chunks and hands them out a line at a time.
class CLineReader {
public:
    CLineReader(QIODevice& device, const QByteArray& firstBytes) : device(device) {
        Append(firstBytes.constData(), firstBytes.size());
    }

    /**
     * The next line up to and including its line feed (or the end of the file), NUL units left
     * out. False when the file had no unit left. The view lives until the next call.
     */
    bool NextLine(QStringView& line) {
        lineUnits.clear();
        bool any = false;
        while (pos < units.size() || Refill()) {
            any = true;
            const char16_t* begin = units.data() + pos;
            const char16_t* end = units.data() + units.size();
            const char16_t* p = begin;
            while (p != end && *p != u'\n' && *p != u'\0') {
                ++p;
            }
            if (p == end) {
                Keep(begin, p);
                pos = units.size();
                continue;
            }
            pos = static_cast<std::size_t>(p - units.data()) + 1;
            if (*p == u'\0') {
                Keep(begin, p);
                continue;
            }
            if (lineUnits.empty()) {
                line = QStringView(begin, p + 1);
                return true;
            }
            Keep(begin, p + 1);
            break;
        }
        line = QStringView(lineUnits.data(), static_cast<qsizetype>(lineUnits.size()));
        return any;
    }

    bool Failed() const { return failed; }

private:
    void Keep(const char16_t* begin, const char16_t* end) {
        const std::size_t room = kMaxLineUnits - std::min(lineUnits.size(), kMaxLineUnits);
        lineUnits.append(begin, std::min(static_cast<std::size_t>(end - begin), room));
    }

    // Turns bytes into units, an odd byte waiting for its partner from the next chunk.
    void Append(const char* bytes, qint64 count) {
        units.erase(units.begin(), units.begin() + static_cast<std::ptrdiff_t>(pos));
        pos = 0;
        qint64 i = 0;
        if (hasCarry && count > 0) {
            units.push_back(Unit(carry, bytes[0]));
            hasCarry = false;
            i = 1;
        }
        units.reserve(units.size() + static_cast<std::size_t>((count - i) / 2));
        for (; i + 1 < count; i += 2) {
            units.push_back(Unit(bytes[i], bytes[i + 1]));
        }
        if (i < count) {
            carry = bytes[i];
            hasCarry = true;
        }
    }

    static char16_t Unit(char low, char high) {
        return static_cast<char16_t>(static_cast<unsigned char>(low) |
                                     (static_cast<unsigned char>(high) << 8));
    }

    // Loads the next chunk; false at the end of the file (an odd last byte is dropped).
    bool Refill() {
        while (!failed && !atEnd) {
            // No bigger than what is left of a small file; a device that cannot tell gets a page.
            const qint64 want = std::clamp<qint64>(device.bytesAvailable(), 4096, kChunkBytes);
            chunk.resize(want);
            const qint64 got = device.read(chunk.data(), want);
            if (got < 0) {
                failed = true;
                break;
            }
            if (got == 0) {
                atEnd = true;
                break;
            }
            Append(chunk.constData(), got);
            if (pos < units.size()) {
                return true;
            }
        }
        return false;
    }

    QIODevice& device;
    std::vector<char16_t> units;
    std::size_t pos = 0;
    QByteArray chunk;
    char carry = 0;
    bool hasCarry = false;
    bool failed = false;
    bool atEnd = false;
    std::u16string lineUnits;
};

// Up to `count` bytes from the device, fewer only at its end; false on a read error.
bool ReadUpTo(QIODevice& device, qint64 count, QByteArray& bytes) {
    bytes.resize(count);
    qint64 have = 0;
    while (have < count) {
        const qint64 got = device.read(bytes.data() + have, count - have);
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        have += got;
    }
    bytes.truncate(have);
    return true;
}

// The seconds and volts texts of one data line; false when the line ends the data.
using FieldSplitter = bool (*)(QStringView line, QStringView& seconds, QStringView& volts);

bool SplitTableLine(QStringView line, QStringView& seconds, QStringView& volts) {
    const qsizetype firstTab = line.indexOf(u'\t');
    if (firstTab < 0) {
        return false;
    }
    const qsizetype lastTab = line.lastIndexOf(u'\t');
    seconds = line.first(firstTab);
    // With a single tab there is nothing between the first and the last one.
    volts = lastTab > firstTab ? line.sliced(firstTab + 1, lastTab - firstTab - 1) : QStringView();
    return true;
}

bool SplitKeyValueLine(QStringView line, QStringView& seconds, QStringView& volts) {
    const qsizetype underscore = line.indexOf(u'_');
    if (underscore < 0) {
        return false;
    }
    const qsizetype equals = line.indexOf(u'=');
    seconds =
        equals > underscore ? line.sliced(underscore + 1, equals - underscore - 1) : QStringView();
    volts = equals >= 0 ? line.sliced(equals + 1) : QStringView();
    return true;
}

}  // namespace

std::uint16_t MillivoltsOfText(QStringView volts) {
    // Fields are not trimmed first: the conversions skip leading white space and stop at the
    // end of the number, which makes trimming spaces a no-op.
    qsizetype i = 0;
    while (i < volts.size() && IsCSpace(volts[i].unicode())) {
        ++i;
    }
    // Fast path for what the files hold: up to six integer digits, then up to three decimals.
    // The whole millivolts come out exactly as the general conversion gives them.
    std::uint32_t whole = 0;
    qsizetype digits = 0;
    for (; i < volts.size() && digits <= 6; ++i, ++digits) {
        const char16_t u = volts[i].unicode();
        if (u < '0' || u > '9') {
            break;
        }
        whole = whole * 10 + (u - '0');
    }
    if (digits > 0 && digits <= 6) {
        std::uint32_t fraction = 0;
        qsizetype decimals = 0;
        if (i < volts.size() && (volts[i] == u',' || volts[i] == u'.')) {
            for (++i; i < volts.size() && decimals <= 3; ++i, ++decimals) {
                const char16_t u = volts[i].unicode();
                if (u < '0' || u > '9') {
                    break;
                }
                fraction = fraction * 10 + (u - '0');
            }
        }
        const char16_t next = i < volts.size() ? volts[i].unicode() : u'\0';
        const bool plainEnd = next != 'e' && next != 'E' && (next < '0' || next > '9');
        if (decimals <= 3 && plainEnd) {
            static constexpr std::uint32_t kScale[] = {1000, 100, 10, 1};
            return static_cast<std::uint16_t>((whole * 1000 + fraction * kScale[decimals]) &
                                              0xFFFFu);
        }
    }
    std::u16string text(volts.utf16(), static_cast<std::size_t>(volts.size()));
    std::replace(text.begin(), text.end(), u',', u'.');
    return MillivoltsOfVolts(
        platform::LeadingReal(QStringView(text.data(), static_cast<qsizetype>(text.size()))));
}

CurveReadResult ReadCurve(QIODevice& device, CurveStore& into) {
    CurveReadResult result;
    QByteArray headBytes;
    if (!ReadUpTo(device, kHeadBytes, headBytes)) {
        result.status = CurveReadStatus::ReadFailed;
        return result;
    }
    QString head = platform::TextFromUtf16Le(headBytes);
    const qsizetype nul = head.indexOf(QChar(u'\0'));
    if (nul >= 0) {
        head.truncate(nul);
    }

    QString capacity = ExtractAfterKey(head, QStringLiteral("мкость"), QStringLiteral(":"));
    capacity.remove(u' ');
    into.curveCapacityText = QString::asprintf("%.3fAh", platform::LeadingReal(capacity));

    // "U_" at the very start cannot open the key-value form: a real file starts with its
    // byte-order mark.
    const qsizetype keyValueAt = head.indexOf(QStringLiteral("U_"));
    const bool keyValue = keyValueAt > 0;
    const qsizetype captionAt = keyValue ? -1 : head.indexOf(QStringLiteral("Секунды"));
    if (!keyValue && captionAt < 0) {
        result.status = CurveReadStatus::NoDataKeys;
        return result;
    }
    const qsizetype startUnit = keyValue ? keyValueAt : captionAt;
    CLineReader reader(device, headBytes.sliced(2 * startUnit));
    QStringView line;
    if (!keyValue) {
        reader.NextLine(line);  // the column captions
    }

    const auto capacityPoints = static_cast<std::int32_t>(
        std::min<std::size_t>({static_cast<std::size_t>(CurveStore::kCapacity),
                               into.sampleTimes.size(), into.sampleMillivolts.size()}));
    const FieldSplitter split = keyValue ? SplitKeyValueLine : SplitTableLine;
    std::int32_t next = 0;
    QStringView secondsText;
    QStringView voltsText;
    while (reader.NextLine(line) && split(line, secondsText, voltsText)) {
        const std::uint16_t millivolts = MillivoltsOfText(voltsText);
        // The key-value form keeps only the first of equal consecutive voltages.
        if (keyValue && next > 0 && millivolts == into.sampleMillivolts[next - 1]) {
            continue;
        }
        if (next >= capacityPoints) {
            result.status = CurveReadStatus::Truncated;
            break;
        }
        into.sampleTimes[next] = platform::LeadingInteger(secondsText);
        into.sampleMillivolts[next] = millivolts;
        ++next;
    }
    if (reader.Failed()) {
        result.status = CurveReadStatus::ReadFailed;
    }

    if (next == 0 && capacityPoints > 0) {
        into.sampleTimes[0] = 0;
        into.sampleMillivolts[0] = 0;
    }
    result.pointsRead = next;
    into.lastIndex = std::max(next - 1, 0);
    into.Rewritten();
    into.durationSeconds = capacityPoints > 0 ? into.sampleTimes[into.lastIndex] : 0;
    return result;
}

CurveReadResult ReadCurveBytes(const QByteArray& bytes, CurveStore& into) {
    QByteArray copy = bytes;  // shares the data; QBuffer wants a non-const array
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return ReadCurve(buffer, into);
}

}  // namespace brimvolt
