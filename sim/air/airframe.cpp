#include "airframe.h"

namespace Air {

void appendByte(AirBits &bits, quint8 byte, int count)
{
    for (int i = 0; i < count; ++i)
        bits.push_back(quint8((byte >> i) & 1));
}

bool oddParityBit(quint8 byte)
{
    int ones = 0;
    for (int i = 0; i < 8; ++i)
        ones += (byte >> i) & 1;
    return (ones % 2) == 0;
}

void appendWithOddParity(AirBits &bits, const QByteArray &bytes)
{
    for (char byte : bytes) {
        appendByte(bits, quint8(byte));
        bits.push_back(oddParityBit(quint8(byte)) ? 1 : 0);
    }
}

AirBits plain(const QByteArray &bytes)
{
    AirBits bits;
    bits.reserve(std::size_t(bytes.size()) * 8);
    for (char byte : bytes)
        appendByte(bits, quint8(byte));
    return bits;
}

AirBits withOddParity(const QByteArray &bytes)
{
    AirBits bits;
    bits.reserve(std::size_t(bytes.size()) * 9);
    appendWithOddParity(bits, bytes);
    return bits;
}

static quint8 byteAt(const AirBits &bits, std::size_t start)
{
    quint8 byte = 0;
    for (int i = 0; i < 8; ++i)
        byte |= quint8((bits[start + std::size_t(i)] & 1) << i);
    return byte;
}

ParityFrame splitOddParity(const AirBits &bits)
{
    ParityFrame frame;
    std::size_t pos = 0;
    for (; pos + 9 <= bits.size(); pos += 9) {
        const quint8 byte = byteAt(bits, pos);
        frame.bytes.append(char(byte));
        if ((bits[pos + 8] & 1) != (oddParityBit(byte) ? 1 : 0))
            frame.parityOk = false;
    }
    frame.tail.assign(bits.begin() + std::ptrdiff_t(pos), bits.end());
    return frame;
}

bool toPlainBytes(const AirBits &bits, QByteArray *bytes)
{
    if (bits.size() % 8 != 0)
        return false;
    bytes->clear();
    for (std::size_t pos = 0; pos < bits.size(); pos += 8)
        bytes->append(char(byteAt(bits, pos)));
    return true;
}

} // namespace Air
