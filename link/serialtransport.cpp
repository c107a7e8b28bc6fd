#include "serialtransport.h"

#include <QDeadlineTimer>
#include <QSerialPort>

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
    return m_port->isOpen();
}

void SerialTransport::close()
{
    m_port->close();
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
