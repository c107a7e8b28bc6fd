#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <algorithm>
#include <cstddef>
#include <cstdint>

// A fuzz target's input, read from the front: bytes, and bits least
// significant first. Past its end every read gives zeros (or nothing), so
// that a target never reads out of it however short the input.
class FuzzInput
{
public:
    FuzzInput(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}

    bool more() const { return m_at < m_size; }
    quint8 next() { return m_at < m_size ? m_data[m_at++] : 0; }

    // Up to `count` bytes: fewer when the input ends first.
    QByteArray bytes(std::size_t count)
    {
        count = std::min(count, m_size - m_at);
        const QByteArray out(reinterpret_cast<const char *>(m_data + m_at), qsizetype(count));
        m_at += count;
        return out;
    }

    QByteArray rest() { return bytes(m_size - m_at); }

    // Up to `count` bits, each byte least significant bit first, into any
    // container of bits (one quint8 each) that has push_back.
    template<typename Bits>
    Bits bits(int count)
    {
        constexpr int ByteBits = 8;
        Bits out;
        quint8 byte = 0;
        for (int i = 0; i < count && (i % ByteBits != 0 || more()); ++i) {
            if (i % ByteBits == 0)
                byte = next();
            out.push_back(quint8((byte >> (i % ByteBits)) & 1));
        }
        return out;
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};
