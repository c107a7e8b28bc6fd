#include "portname.h"

namespace PortName {

QString friendlyName(const QString &description, const QString &port)
{
    if (description.isEmpty())
        return port;
    return description + QStringLiteral(" (") + port + QLatin1Char(')');
}

bool joinsList(const QString &name, const QStringList &listed)
{
    return !listed.contains(name) && !name.contains(QLatin1String("LPT"));
}

std::optional<QString> fromComboText(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    if (text.startsWith(QLatin1Char('C')) || text.startsWith(QLatin1Char('/')))
        return text;
    if (text.size() > 5 && text.contains(QLatin1String("(COM"))) {
        // The text between the first "(" and the ")" after it.
        const QStringList pieces = text.split(QLatin1Char('('));
        const QString inside = pieces.at(1).section(QLatin1Char(')'), 0, 0);
        return inside.contains(QLatin1String("COM")) ? inside : QString();
    }
    // On Linux and macOS the desktop shows the device path in parentheses.
    const int path = text.indexOf(QLatin1String("(/"));
    if (path >= 0) {
        const int close = text.indexOf(QLatin1Char(')'), path);
        return text.mid(path + 1, close < 0 ? -1 : close - path - 1);
    }
    return QString();
}

} // namespace PortName
