#pragma once

#include <QSerialPort>
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

// The port name to use for the combo box's text, blanks around it ignored,
// or nothing when the text is blank and the previous name must stay. An
// empty string means the text names no usable port.
// A listed entry stands for the port in its last parentheses, whatever the
// description before it says; a device path there runs to the text's last
// ")", as by-id names may hold parentheses of their own:
//   "USB Serial Port (COM12)"                         -> "COM12"
//   "Foo (COMPANY) (/dev/ttyUSB0)"                    -> "/dev/ttyUSB0"
//   "Adapter (/dev/serial/by-id/usb-x(1)-port0)"      -> "/dev/serial/by-id/usb-x(1)-port0"
// A text without parentheses is a name typed by hand: a COM name or a path is
// taken whole, a bare Linux device name is looked for under /dev:
//   "COM4" -> "COM4", "/dev/ttyUSB0" -> "/dev/ttyUSB0", "ttyACM0" -> "/dev/ttyACM0"
std::optional<QString> fromComboText(const QString &text);

// Why a combo text that is not blank gives no port name, for the status bar.
QString unusable(const QString &text);

// Why a port could not be opened, in the user's terms rather than the
// driver's: what to check first.
QString openFailure(const QString &port, QSerialPort::SerialPortError error);

// The port in use went away: on a USB adapter, the board was unplugged.
QString lost(const QString &port);

} // namespace PortName
