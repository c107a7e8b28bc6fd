#include "serialtransport.h"

#include <QDeadlineTimer>
#include <QSerialPort>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace {

// A handshake's answer is one or two bytes, which a USB serial adapter's
// driver (an FTDI one, say) holds until its latency timer runs out, 16 ms
// unless told otherwise: each handshake would wait that long. Asks the
// driver of the open port for its low-latency mode, and tells whether the
// driver has it on afterwards. A driver without the setting, a
// pseudo-terminal's among them, refuses (ENOTTY, EINVAL, EPERM), and the
// port goes on as it was.
bool requestLowLatency(QSerialPort &port)
{
#ifdef Q_OS_LINUX
    const int descriptor = port.handle();
    serial_struct settings {};
    if (descriptor < 0 || ::ioctl(descriptor, TIOCGSERIAL, &settings) != 0)
        return false;
    if (settings.flags & ASYNC_LOW_LATENCY)
        return true;
    settings.flags |= ASYNC_LOW_LATENCY;
    if (::ioctl(descriptor, TIOCSSERIAL, &settings) != 0)
        return false;
    // Some drivers take the settings and keep only what they know of them.
    return ::ioctl(descriptor, TIOCGSERIAL, &settings) == 0 && (settings.flags & ASYNC_LOW_LATENCY);
#else
    Q_UNUSED(port);
    return false;
#endif
}

} // namespace

SerialTransport::SerialTransport(const QString &portName)
    : m_port(std::make_unique<QSerialPort>(portName))
{
    m_port->setBaudRate(QSerialPort::Baud115200);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setReadBufferSize(InputBufferLimit);
}

SerialTransport::~SerialTransport() = default;

bool SerialTransport::open()
{
    m_port->open(QIODevice::ReadWrite);
    m_lowLatency = m_port->isOpen() && requestLowLatency(*m_port);
    return m_port->isOpen();
}

void SerialTransport::close()
{
    m_port->close();
    m_lowLatency = false;
}

bool SerialTransport::lowLatency() const
{
    return m_lowLatency && m_port->isOpen();
}

bool SerialTransport::isOpen() const
{
    return m_port->isOpen();
}

void SerialTransport::write(const char *bytes, int count, const QDeadlineTimer &deadline)
{
    m_port->write(bytes, count);
    // No event loop runs during a handshake: push the bytes out now.
    while (m_port->bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!m_port->waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime()))) && failed())
            return;  // the bytes cannot go out; the answer's wait will tell
    }
}

bool SerialTransport::takeByte(char *byte)
{
    return m_port->bytesAvailable() > 0 && m_port->getChar(byte);
}

bool SerialTransport::waitForBytes(int milliseconds)
{
    return m_port->waitForReadyRead(milliseconds);
}

bool SerialTransport::failed() const
{
    switch (m_port->error()) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError:
        return false;
    default:
        return true;
    }
}

void SerialTransport::clearFailure()
{
    m_port->clearError();
}
