#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// How the window reads values out of its fields and writes bytes into them.
namespace FieldText {

// A field's value: its text read as a hexadecimal number, blanks around the
// digits ignored, and the low 8 bits kept. Text that does not convert (an
// empty field, a number out of a 16-bit signed range) gives 0.
quint8 value(const QString &text);
// The value of the two characters at `position` and the one after it; a
// position beyond the text counts as a character that does not convert.
quint8 pairValue(const QString &text, int position);
// The same reading in decimal (the MIFARE block number).
quint8 decimalValue(const QString &text);

// What a paste into a hexadecimal field carries: its digits, upper case,
// once the ways bytes are written in programs, dumps and datasheets are
// undone ("0x26, 0x01", "de:ad:be:ef", "26 01 ff" on several lines).
// Nothing when something else is left, or nothing at all: the paste is
// refused whole rather than half taken.
std::optional<QString> pastedHex(const QString &pasted);
// Whether a field's text, as a masked field gives it with its trailing mask
// blanks, holds exactly `digits` hexadecimal digits: a short value is
// refused rather than padded into a different one.
bool fillsDigits(const QString &text, int digits);
// Whether a masked field, as it shows (its displayText, the mask's blanks in
// place of digits not typed), has a digit missing before its last one: its
// text() would join the digits around the gap into bytes never typed.
bool hasGap(const QString &shownText);

// A byte as two lower-case hexadecimal digits: "0a", "e0".
QString byte(quint8 value);
// Bytes one after the other, without separators.
QString bytes(const quint8 *values, int count);
// A number without leading zeros, lower case: "0", "5", "9a", "400".
QString number(uint value);

} // namespace FieldText
