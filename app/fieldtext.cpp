#include "fieldtext.h"

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
