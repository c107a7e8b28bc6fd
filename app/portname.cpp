#include "portname.h"

#include <algorithm>

namespace PortName {

namespace {

// French typography: a non-breaking space inside the guillemets.
QString quoted(const QString &text)
{
    return QStringLiteral("«\u00A0") + text + QStringLiteral("\u00A0»");
}

// "COM" and at least one digit, from `from`; the length of the name, or 0.
int comNameLength(const QString &text, int from)
{
    if (text.mid(from, 3) != QLatin1String("COM"))
        return 0;
    int end = from + 3;
    while (end < text.size() && text.at(end).isDigit())
        ++end;
    return end > from + 3 ? end - from : 0;
}

// The port named by the parenthesis opening at `open`, or nothing when what
// it holds is no port ("(USB)", "(COMPANY)").
std::optional<QString> portInParentheses(const QString &text, int open)
{
    const int start = open + 1;
    if (text.mid(start, 1) == QLatin1String("/")) {
        // A missing ")" leaves the path running to the end of the text.
        const int close = text.lastIndexOf(QLatin1Char(')'));
        return text.mid(start, close > start ? close - start : -1);
    }
    const int length = comNameLength(text, start);
    if (length == 0)
        return std::nullopt;
    // "Port (COM3" lost its ")" to a narrow combo box; "(COM3x)" is no COM.
    const int end = start + length;
    if (end < text.size() && text.at(end) != QLatin1Char(')'))
        return std::nullopt;
    return text.mid(start, length);
}

// Linux names its serial devices ttyS0, ttyUSB0, ttyACM0, ttyAMA0, rfcomm0:
// typed without their directory, they are still found there. "tty" alone
// would be the controlling terminal, not a port.
bool isBareDeviceName(const QString &name)
{
    for (const QLatin1String prefix : { QLatin1String("tty"), QLatin1String("rfcomm") }) {
        if (name.startsWith(prefix) && name.size() > prefix.size())
            return std::none_of(name.begin(), name.end(),
                                [](QChar c) { return c.isSpace() || c == QLatin1Char('/'); });
    }
    return false;
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

std::optional<QString> fromComboText(const QString &comboText)
{
    const QString text = comboText.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    if (text.contains(QLatin1Char('('))) {
        for (int open = text.lastIndexOf(QLatin1Char('(')); open >= 0;
             open = open > 0 ? text.lastIndexOf(QLatin1Char('('), open - 1) : -1) {
            if (const std::optional<QString> port = portInParentheses(text, open))
                return port;
        }
        return QString();
    }
    if (text.startsWith(QLatin1Char('C')) || text.startsWith(QLatin1Char('/')))
        return text;
    if (isBareDeviceName(text))
        return QStringLiteral("/dev/") + text;
    return QString();
}

QString unusable(const QString &text)
{
    if (text.trimmed().isEmpty())
        return QStringLiteral("Aucun port choisi");
    return quoted(text.trimmed())
        + QStringLiteral(" ne désigne aucun port série (COM3, /dev/ttyUSB0 ou ttyUSB0)");
}

QString openFailure(const QString &port, QSerialPort::SerialPortError error)
{
    if (port.isEmpty())
        return QStringLiteral("Aucun port choisi");
    switch (error) {
    case QSerialPort::PermissionError:
        // Windows refuses a COM port another program holds; Linux refuses a
        // device to a user outside its group.
        return port
            + (port.startsWith(QLatin1Char('/'))
                   ? QStringLiteral(" : accès refusé (groupe dialout ?)")
                   : QStringLiteral(" : accès refusé (déjà ouvert par un autre programme ?)"));
    case QSerialPort::DeviceNotFoundError:
        return port + QStringLiteral(" : port introuvable");
    case QSerialPort::OpenError:
        return port + QStringLiteral(" : déjà ouvert par un autre programme");
    default:
        return port + QStringLiteral(" : ouverture impossible");
    }
}

QString lost(const QString &port)
{
    return port + QStringLiteral(" : port disparu (carte lecteur débranchée ?)");
}

} // namespace PortName
