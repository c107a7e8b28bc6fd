#include "serialports.h"

#include "portname.h"

#include <QSerialPortInfo>

namespace {

std::function<QList<SerialPortEntry>()> &testSource()
{
    static std::function<QList<SerialPortEntry>()> source;
    return source;
}

QString portShownAs(const QSerialPortInfo &info)
{
#ifdef Q_OS_WIN
    return info.portName();        // COM3
#else
    return info.systemLocation();  // /dev/ttyUSB0: what the port can be opened by
#endif
}

} // namespace

namespace SerialPorts {

QList<SerialPortEntry> available()
{
    if (testSource())
        return testSource()();
    QList<SerialPortEntry> entries;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        entries.append({ PortName::friendlyName(info.description(), portShownAs(info)), info.portName() });
    return entries;
}

void setSourceForTesting(std::function<QList<SerialPortEntry>()> source)
{
    testSource() = std::move(source);
}

} // namespace SerialPorts
