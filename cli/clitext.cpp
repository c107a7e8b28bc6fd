#include "clitext.h"

namespace {

constexpr int KeyLength = 6;

} // namespace

namespace CliText {

std::optional<QByteArray> hexBytes(const QString &text, int count)
{
    if (text.size() != 2 * count)
        return std::nullopt;
    for (const QChar c : text) {
        const bool digit = (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                           || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
                           || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
        if (!digit)
            return std::nullopt;
    }
    return QByteArray::fromHex(text.toLatin1());
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex()).toUpper();
}

QString hex(const quint8 *bytes, int count)
{
    return hex(QByteArray(reinterpret_cast<const char *>(bytes), count));
}

std::optional<int> decimal(const QString &text, int maximum)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < 0 || value > maximum || text.startsWith(QLatin1Char('+')))
        return std::nullopt;
    return value;
}

KeyList keyList(const QByteArray &content)
{
    KeyList list;
    const QList<QByteArray> lines = content.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const std::optional<QByteArray> key = hexBytes(QString::fromLatin1(line), KeyLength);
        if (!key) {
            list.keys.clear();
            list.error = QStringLiteral("ligne %1 : il faut une clé de 12 chiffres hexadécimaux").arg(i + 1);
            return list;
        }
        list.keys.append(*key);
    }
    return list;
}

} // namespace CliText
