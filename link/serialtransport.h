#pragma once

#include "bytetransport.h"

#include <QString>
#include <QtGlobal>

#include <memory>

class QSerialPort;

// The board on a serial port: a USB serial adapter, or the pseudo-terminal
// of a virtual bench, with the board's line settings (115200 baud, 8 data
// bits, no parity, 1 stop bit, no flow control) and a bounded input buffer.
class SerialTransport : public ByteTransport
{
public:
    // What the port may hold of the board's bytes before the host reads
    // them. The handshakes read one byte at a time; anything beyond this is
    // a board gone wild, and the kernel keeps the rest.
    static constexpr qint64 InputBufferLimit = 4096;

    // Creates the port with the line settings; does not open it.
    explicit SerialTransport(const QString &portName);
    ~SerialTransport() override;

    SerialTransport(const SerialTransport &) = delete;
    SerialTransport &operator=(const SerialTransport &) = delete;

    // The serial port, opened or not. Its name may be changed while closed.
    QSerialPort *port() const { return m_port.get(); }
    // Whether the port's driver granted its low-latency mode when the port
    // was opened: short answers then reach the host at once, not when the
    // adapter's latency timer runs out. False while closed, and on ports
    // that have no such mode.
    bool lowLatency() const;

    bool open() override;
    void close() override;
    bool isOpen() const override;
    void write(const char *bytes, int count, const QDeadlineTimer &deadline) override;
    bool takeByte(char *byte) override;
    bool waitForBytes(int milliseconds) override;
    bool failed() const override;
    void clearFailure() override;

private:
    std::unique_ptr<QSerialPort> m_port;
    bool m_lowLatency = false;
};
