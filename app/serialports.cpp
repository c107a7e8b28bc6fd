#include "serialports.h"

#include "portname.h"
#include "virtualbench.h"

#include <QDir>
#include <QFileInfo>
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

// A running virtual bench (tagbench-sim) announces itself as a symbolic link
// to its pseudo-terminal in the temporary directory; the system's
// enumeration knows nothing of pseudo-terminals.
QList<SerialPortEntry> virtualBenches()
{
    QList<SerialPortEntry> entries;
    const QFileInfoList links = QDir(QDir::tempPath())
                                    .entryInfoList({ QLatin1String(VirtualBench::LinkPrefix) + QLatin1Char('*') }, QDir::System | QDir::Files,
                                                   QDir::Name);
    for (const QFileInfo &link : links) {
        if (link.isSymLink() && link.exists())  // a bench that is gone leaves a dangling link
            entries.append({ PortName::friendlyName(QString::fromUtf8(VirtualBench::Description), link.filePath()),
                             link.fileName() });
    }
    return entries;
}

} // namespace

namespace SerialPorts {

QList<SerialPortEntry> available()
{
    if (testSource())
        return testSource()();
    // Virtual benches first: whoever starts one means to use it.
    QList<SerialPortEntry> entries = virtualBenches();
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        entries.append({ PortName::friendlyName(info.description(), portShownAs(info)), info.portName() });
    return entries;
}

void setSourceForTesting(std::function<QList<SerialPortEntry>()> source)
{
    testSource() = std::move(source);
}

} // namespace SerialPorts
