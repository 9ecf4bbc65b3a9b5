// Colors.ini as found in the program's folder (any bytes), and the key lookup that reads it and
// the curve file heads.
//
// Input: the first byte picks the part; the rest is the Colors.ini bytes, or a key, a separator
// and a text for the lookup.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "FuzzInput.h"
#include "curve/ColorsIni.h"
#include "plot/ExtractAfterKey.h"

using namespace brimvolt;
using brimvolt::fuzz::Check;

namespace {

void FuzzColorsIni(fuzz::CFuzzInput& input) {
    const QByteArray bytes = input.Rest();
    const CurveColor color = ColorFromIniBytes(bytes);
    // The file the program writes for a colour gives that colour back.
    const CurveColor back = ColorFromIniBytes(ColorsIniBytes(color));
    Check(back.red == color.red && back.green == color.green && back.blue == color.blue,
          "a written Colors.ini reads back to its colour");
}

void FuzzExtractAfterKey(fuzz::CFuzzInput& input) {
    const QString key = input.Text(8);
    const QString separator = input.Text(4);
    const QString text = input.Text(400);
    const QString value = ExtractAfterKey(text, key, separator);
    Check(value == ExtractAfterKeyView(text, key, separator).toString(),
          "the copying and the viewing lookup agree");
    Check(value.isEmpty() || text.contains(key), "a value needs its key");
    Check(value.isEmpty() || text.contains(value), "the value is part of the text");
    Check(!value.startsWith(u' ') && !value.endsWith(u' '), "the value is trimmed of spaces");
    for (const QChar c : value) {
        Check(c.unicode() >= 0x20, "the value stops at a control character");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::CFuzzInput input(data, size);
    if ((input.Byte() & 1) == 0) {
        FuzzColorsIni(input);
    } else {
        FuzzExtractAfterKey(input);
    }
    return 0;
}
