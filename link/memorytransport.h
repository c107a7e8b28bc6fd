#pragma once

#include "bytetransport.h"

#include <QByteArray>

// A board whose bytes are known in advance: the link reads them in order,
// and what the host sends is kept. Once they are all read the board has
// nothing more to send, ever: the transport counts as failed, so that each
// handshake after that ends at once instead of waiting out its time. For
// driving the link without a device (fuzzing, tests of the handshakes'
// parsing).
class MemoryTransport : public ByteTransport
{
public:
    explicit MemoryTransport(const QByteArray &boardBytes = QByteArray());

    // More bytes from the board, after those not read yet.
    void feed(const QByteArray &bytes);
    // The board's bytes not read yet.
    int unread() const { return int(m_board.size()) - m_next; }
    // Every byte the host sent since the last clearWritten().
    const QByteArray &written() const { return m_written; }
    void clearWritten() { m_written.clear(); }

    bool open() override;
    void close() override;
    bool isOpen() const override { return m_open; }
    void write(const char *bytes, int count, const QDeadlineTimer &deadline) override;
    bool takeByte(char *byte) override;
    bool waitForBytes(int milliseconds) override;
    bool failed() const override { return unread() == 0; }
    void clearFailure() override {}

private:
    QByteArray m_board;
    int m_next = 0;
    QByteArray m_written;
    bool m_open = false;
};
