#include "fieldtext.h"

#include <algorithm>

namespace FieldText {

quint8 value(const QString &text)
{
    bool converted = false;
    const short number = text.toShort(&converted, 16);
    return converted ? quint8(number & 0xFF) : 0;
}

quint8 decimalValue(const QString &text)
{
    bool converted = false;
    const short number = text.toShort(&converted, 10);
    return converted ? quint8(number & 0xFF) : 0;
}

quint8 pairValue(const QString &text, int position)
{
    // A position past the end reads as a null character, which makes the
    // pair fail to convert: "123" gives 0x12 and then 0x00, not 0x03.
    if (position < 0 || position + 1 >= text.size())
        return 0;
    return value(text.mid(position, 2));
}

namespace {

bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

bool isByteSeparator(QChar c)
{
    return c.isSpace() || QStringView(u":-,;._").contains(c);
}

} // namespace

std::optional<QString> pastedHex(const QString &pasted)
{
    QString digits;
    for (int i = 0; i < pasted.size(); ++i) {
        const QChar c = pasted.at(i);
        // "0x" only opens a number: in "10x2" it is a stray x.
        const bool opensNumber = i == 0 || isByteSeparator(pasted.at(i - 1));
        if (opensNumber && c == QLatin1Char('0') && i + 1 < pasted.size()
            && pasted.at(i + 1).toLower() == QLatin1Char('x')) {
            ++i;
        } else if (isHexDigit(c)) {
            digits += c.toUpper();
        } else if (!isByteSeparator(c)) {
            return std::nullopt;
        }
    }
    if (digits.isEmpty())
        return std::nullopt;
    return digits;
}

bool fillsDigits(const QString &text, int digits)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).isSpace())
        --end;
    return end == digits && std::all_of(text.begin(), text.begin() + end, isHexDigit);
}

bool hasGap(const QString &shownText)
{
    return shownText.trimmed().contains(QLatin1Char(' '));
}

QString byte(quint8 value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0'));
}

QString bytes(const quint8 *values, int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += byte(values[i]);
    return text;
}

QString number(uint value)
{
    return QString::number(value, 16);
}

} // namespace FieldText
