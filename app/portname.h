#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The connection bar's rules for port names.
namespace PortName {

// The name a serial port is listed under, as the desktop shows it:
// "USB Serial Port (COM3)", "FT232R USB UART (/dev/ttyUSB0)".
QString friendlyName(const QString &description, const QString &port);

// Whether a listed name joins the combo box: not when it is there already,
// and never a parallel port.
bool joinsList(const QString &name, const QStringList &listed);

// The port name to use for the combo box's text, or nothing when the text is
// empty and the previous name must stay. An empty string means the text
// names no port. A "(COMn)" or a device path in parentheses is the name,
// whatever comes before it; only a bare name, without parentheses, is taken
// whole, when it begins with C or /.
//   "COM4" typed by hand          -> "COM4"
//   "USB Serial Port (COM12)"     -> "COM12"
//   "Communications Port (COM1)"  -> "COM1"
//   "/dev/ttyUSB0" typed by hand  -> "/dev/ttyUSB0"
//   "CP2102 USB to UART Bridge Controller (/dev/ttyUSB0)" -> "/dev/ttyUSB0"
std::optional<QString> fromComboText(const QString &text);

} // namespace PortName
