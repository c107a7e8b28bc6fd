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
// names no port.
//   "COM4" typed by hand          -> "COM4" (a text beginning with C is taken whole)
//   "USB Serial Port (COM12)"     -> "COM12"
//   "/dev/ttyUSB0" typed by hand  -> "/dev/ttyUSB0"
//   "FT232R USB UART (/dev/ttyUSB0)" -> "/dev/ttyUSB0"
std::optional<QString> fromComboText(const QString &text);

} // namespace PortName
