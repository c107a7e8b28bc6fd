#include "portname.h"

namespace PortName {

namespace {

// The "COMn" of a Windows friendly name: the text between the first "(" and
// the ")" after it, when it names a COM port.
QString comPortInside(const QString &text)
{
    const QStringList pieces = text.split(QLatin1Char('('));
    const QString inside = pieces.at(1).section(QLatin1Char(')'), 0, 0);
    return inside.contains(QLatin1String("COM")) ? inside : QString();
}

// The device path of a Linux or macOS friendly name: "(/dev/ttyUSB0)".
QString devicePathInside(const QString &text, int open)
{
    const int close = text.indexOf(QLatin1Char(')'), open);
    return text.mid(open + 1, close < 0 ? -1 : close - open - 1);
}

} // namespace

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
    // A name in parentheses is the port a listed entry stands for, whatever
    // the description in front of it begins with: "CP2102 USB to UART Bridge
    // Controller (/dev/ttyUSB0)", "Communications Port (COM1)".
    if (text.contains(QLatin1Char('('))) {
        if (text.size() > 5 && text.contains(QLatin1String("(COM")))
            return comPortInside(text);
        const int path = text.indexOf(QLatin1String("(/"));
        if (path >= 0)
            return devicePathInside(text, path);
        return QString();
    }
    // Without parentheses the text is a name typed by hand, taken whole when
    // it looks like one: "COM3", "COMEMU", "/dev/ttyUSB0".
    if (text.startsWith(QLatin1Char('C')) || text.startsWith(QLatin1Char('/')))
        return text;
    return QString();
}

} // namespace PortName
