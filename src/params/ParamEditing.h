#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace brimvolt {

/** A parameter word as its value static shows it ("2.700" for 2700 mV, "3" for preset 3). */
QString ShownText(int index, std::uint16_t word);

/** The operator's text with every "," turned into ".": what the editor shows after a write. */
QString WithDecimalPoint(QString text);

/** The two readings of a typed value, taken as the operator types. */
struct TypedValue {
    std::uint16_t writeValue;  // low 16 bits of the leading integer
    double typedValue;         // the leading real number + 0.000000001
};

/** Reads a typed value; "," counts as the decimal point. */
TypedValue ConvertTyped(QString text);

/**
 * The up-down position for a typed value: thousandths for a fractional parameter, the integer
 * for the rest, cut to 16 bits (0 for a value with no integer part to cut, such as infinity).
 * nullopt when `index` names no parameter (no selection): the position is then left alone.
 */
std::optional<int> SpinPositionFor(int index, const TypedValue& typed);

/** The editor's text for an up-down position; a null text when `index` names no parameter. */
QString StepText(int index, int position);

/**
 * The word to write for a typed value: preset numbers counted from 1 less one, volts and
 * amperes in thousandths, other parameters as typed. nullopt refuses the write: no number, a
 * number that is not finite, or a word outside 0..65535 (which the module's 16 bits would
 * silently wrap). Words outside the up-down range but within 16 bits are written.
 */
std::optional<std::uint16_t> WordToWrite(int index, QString text);

}  // namespace brimvolt
