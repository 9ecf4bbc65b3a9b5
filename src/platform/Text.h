#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstdint>

// Conversions between numbers and text that never depend on the process locale: Qt sets the
// user's locale at start, and a Russian one would otherwise read "2.5" as 2 and write "2,500".

namespace brimvolt::platform {

/**
 * The leading decimal integer of a text, read like the C library's wide-string to-long
 * conversion with a 32-bit long: leading white space, an optional sign, digits; the rest is
 * ignored. No digits give 0; values beyond the 32-bit range give its nearest end.
 * `found` (optional) tells whether any digit was read.
 */
std::int32_t LeadingInteger(QStringView text, bool* found = nullptr);

/**
 * The leading real number of a text, read like the C library's wide-string to-double
 * conversion ("." as the decimal point): leading white space, sign, digits, fraction, exponent,
 * also "inf" and "nan". No number gives 0. `found` (optional) tells whether a number was read.
 */
double LeadingReal(QStringView text, bool* found = nullptr);

/** The text as UTF-16 little-endian bytes, without byte-order mark or terminator. */
QByteArray Utf16LeBytes(QStringView text);

/** UTF-16 little-endian bytes as text; an odd last byte is dropped, nothing else is changed. */
QString TextFromUtf16Le(const QByteArray& bytes);

/**
 * Whether a code point may not go raw into a terminal, an XML file or a topic name: the C0 and
 * C1 controls, DEL, surrogates, the noncharacters (U+FDD0 to U+FDEF and every U+xxFFFE,
 * U+xxFFFF) and anything past U+10FFFF.
 */
bool IsUnsafeCodePoint(char32_t c);

/**
 * The text with each unsafe code point, a lone surrogate included, replaced by `replacement`:
 * outside text (labels, notes, port names) made fit for a terminal, XML or a topic.
 */
QString ReplaceUnsafe(QStringView text, QChar replacement = QChar(0xFFFD));

}  // namespace brimvolt::platform
