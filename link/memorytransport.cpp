#include "memorytransport.h"

MemoryTransport::MemoryTransport(const QByteArray &boardBytes)
    : m_board(boardBytes)
{
}

void MemoryTransport::feed(const QByteArray &bytes)
{
    // What was read is gone for good: keep only what is still to come.
    m_board = m_board.mid(m_next) + bytes;
    m_next = 0;
}

bool MemoryTransport::open()
{
    m_open = true;
    return true;
}

void MemoryTransport::close()
{
    m_open = false;
}

void MemoryTransport::write(const char *bytes, int count, const QDeadlineTimer &)
{
    if (m_open && count > 0)
        m_written.append(bytes, count);
}

bool MemoryTransport::takeByte(char *byte)
{
    if (!m_open || unread() == 0)
        return false;
    *byte = m_board.at(m_next++);
    return true;
}

bool MemoryTransport::waitForBytes(int)
{
    // Nothing arrives while the host waits: the bytes are all there or
    // none will ever come.
    return m_open && unread() > 0;
}
