// Numbers the operator types into the parameter editor, and the locale-free conversions under
// them.
//
// Input: a parameter index byte, a 16-bit word, then the typed text.

#include <QString>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

#include "FuzzInput.h"
#include "params/ParamEditing.h"
#include "platform/Text.h"

using namespace brimvolt;
using brimvolt::fuzz::Check;

namespace {

bool IsCSpace(char16_t u) {
    return u == ' ' || (u >= '\t' && u <= '\r');
}

// The leading-integer rule written out plainly, for texts of ASCII only.
std::int32_t ReferenceLeadingInteger(const QString& text, bool& found) {
    qsizetype i = 0;
    while (i < text.size() && IsCSpace(text[i].unicode())) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    std::int64_t value = 0;
    found = false;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        found = true;
        value = std::min<std::int64_t>(value * 10 + (text[i].unicode() - u'0'), 1LL << 40);
    }
    if (negative) {
        value = -value;
    }
    value = std::max<std::int64_t>(value, std::numeric_limits<std::int32_t>::min());
    value = std::min<std::int64_t>(value, std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int32_t>(value);
}

bool IsAscii(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() > 0x7F) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::CFuzzInput input(data, size);
    const int index = static_cast<int>(input.Byte() % 16) - 2;  // a few beyond each end
    const auto word = static_cast<std::uint16_t>(input.Byte() | (input.Byte() << 8));
    const QString text = input.Text(60);

    // Whatever is typed: no crash, no undefined conversion.
    const TypedValue typed = ConvertTyped(text);
    const std::optional<int> position = SpinPositionFor(index, typed);
    if (position) {
        Check(*position >= 0 && *position <= 65535, "an up-down position is a 16-bit value");
        StepText(index, *position);
    }
    WordToWrite(index, text);
    WithDecimalPoint(text);

    bool found = false;
    const std::int32_t integer = platform::LeadingInteger(text, &found);
    if (IsAscii(text)) {
        bool referenceFound = false;
        Check(integer == ReferenceLeadingInteger(text, referenceFound) && found == referenceFound,
              "the leading integer reads like the C library");
    }
    platform::LeadingReal(text, &found);
    Check(platform::TextFromUtf16Le(platform::Utf16LeBytes(text)) == text,
          "UTF-16LE bytes read back to their text");

    if (index < 0 || index > 11) {
        Check(!position && ShownText(index, word).isNull() && !WordToWrite(index, text),
              "no parameter, no value");
        return 0;
    }
    // What a value static shows, typed back, writes the same word; the preset numbers are shown
    // counted from 1 and written counted from 0.
    const std::optional<std::uint16_t> written = WordToWrite(index, ShownText(index, word));
    if (index == 0 || index == 2) {
        Check(word == 0 ? !written : written == word - 1, "a shown preset number writes back");
    } else {
        Check(written == word, "a shown value writes back");
    }
    // Every up-down step, typed back, lands on the same step.
    const std::optional<int> again = SpinPositionFor(index, ConvertTyped(StepText(index, word)));
    Check(again == static_cast<int>(word), "an up-down step text leads back to its position");
    return 0;
}
