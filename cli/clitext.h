#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The texts of the command line: hexadecimal arguments, numbers, and the
// key list files of a dump. Pure functions: every argument and every file is
// the user's, and anything may be in them.
namespace CliText {

// Exactly `count` bytes written as 2 * count hexadecimal digits (either
// case); nothing otherwise.
std::optional<QByteArray> hexBytes(const QString &text, int count);

// The bytes as upper-case hexadecimal digits, with no separator.
QString hex(const QByteArray &bytes);
QString hex(const quint8 *bytes, int count);

// A decimal number from 0 to `maximum`; nothing otherwise.
std::optional<int> decimal(const QString &text, int maximum);

// A list of MIFARE keys, one a line as 12 hexadecimal digits; blank lines
// and lines starting with '#' are ignored, surrounding spaces too. `error`
// names the first bad line, and then `keys` holds nothing.
struct KeyList
{
    QList<QByteArray> keys;
    QString error;
};
KeyList keyList(const QByteArray &content);

} // namespace CliText
