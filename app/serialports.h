#pragma once

#include <QList>
#include <QString>

#include <functional>

// The serial ports the system offers, as the connection bar lists them.
struct SerialPortEntry
{
    QString friendlyName;  // "description (port)", as the desktop shows it
    QString portName;      // "COM3", "ttyUSB0"
};

namespace SerialPorts {

// Every serial port found now.
QList<SerialPortEntry> available();

// Replaces the system's enumeration, so that the connection bar can be
// exercised with ports of any name; an empty function restores it.
void setSourceForTesting(std::function<QList<SerialPortEntry>()> source);

} // namespace SerialPorts
