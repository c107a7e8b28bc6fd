#include "benchcipher.h"

namespace {

quint64 splitMix(quint64 x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

quint64 nonZero(quint64 state)
{
    return state ? state : 0x6A09E667F3BCC909ull;
}

} // namespace

void BenchCipher::start(const Key &key, quint32 uid, quint32 cardNonce)
{
    quint64 packedKey = 0;
    for (quint8 byte : key)
        packedKey = (packedKey << 8) | byte;
    m_state = nonZero(splitMix(packedKey ^ (quint64(uid) << 16) ^ splitMix(cardNonce)));
}

void BenchCipher::absorb(quint32 readerNonce)
{
    m_state = nonZero(splitMix(m_state ^ (quint64(readerNonce) << 11)));
}

quint8 BenchCipher::nextBit()
{
    // xorshift64*: the top bit of the scrambled state is the keystream bit.
    m_state ^= m_state >> 12;
    m_state ^= m_state << 25;
    m_state ^= m_state >> 27;
    return quint8((m_state * 0x2545F4914F6CDD1Dull) >> 63);
}

void BenchCipher::apply(AirBits &bits)
{
    apply(bits, 0, bits.size());
}

void BenchCipher::apply(AirBits &bits, std::size_t from, std::size_t count)
{
    for (std::size_t i = from; i < from + count && i < bits.size(); ++i)
        bits[i] ^= nextBit();
}

quint32 BenchCipher::readerAnswer(quint32 cardNonce)
{
    return quint32(splitMix(quint64(cardNonce) ^ 0xA5A5A5A500000000ull));
}

quint32 BenchCipher::cardAnswer(quint32 cardNonce)
{
    return quint32(splitMix(quint64(cardNonce) ^ 0x5A5A5A5A00000000ull));
}

quint32 BenchCipher::nextNonce(quint64 &seed)
{
    seed = splitMix(seed);
    return quint32(seed >> 32);
}

quint32 BenchCipher::wordAt(const QByteArray &bytes, int at)
{
    quint32 word = 0;
    for (int i = 0; i < 4; ++i)
        word = (word << 8) | quint8(bytes.at(at + i));
    return word;
}

QByteArray BenchCipher::wordBytes(quint32 word)
{
    QByteArray bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(char(quint8(word >> shift)));
    return bytes;
}
