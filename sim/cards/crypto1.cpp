#include "crypto1.h"

#include <QtEndian>

namespace {

constexpr int StateBits = 48;
constexpr int WordBits = 32;
constexpr int ByteBits = 8;
constexpr std::size_t ParityGroupBits = 9;  // a byte and its parity bit
// The reader proves the key with the card's nonce 64 shifts on, the card
// with it 96 shifts on.
constexpr int ReaderAnswerShifts = 64;
constexpr int CardAnswerShifts = 96;

constexpr quint64 feedbackMask()
{
    constexpr int taps[] = { 0, 5, 9, 10, 12, 14, 15, 17, 19, 24, 25, 27, 29, 35, 39, 41, 42, 43 };
    quint64 mask = 0;
    for (int tap : taps)
        mask |= quint64(1) << tap;
    return mask;
}
constexpr quint64 FeedbackMask = feedbackMask();

// The nonce generator's taps, on the bits of a nonce in air order: the bit
// appended is x16 ^ x18 ^ x19 ^ x21.
constexpr int NonceTaps[] = { 16, 18, 19, 21 };

quint8 bitAt(quint64 value, int at)
{
    return quint8((value >> at) & 1);
}

// A word's bits in air order: bit i of the result is the i-th bit sent.
quint32 airOrder(quint32 word)
{
    return qbswap(word);
}

quint8 parityOf(quint64 value)
{
    quint8 parity = 0;
    for (; value; value &= value - 1)
        parity ^= 1;
    return parity;
}

quint8 fa(quint8 y0, quint8 y1, quint8 y2, quint8 y3)
{
    return quint8(((y0 | y1) ^ (y0 & y3)) ^ (y2 & ((y0 ^ y1) | y3)));
}

quint8 fb(quint8 y0, quint8 y1, quint8 y2, quint8 y3)
{
    return quint8(((y0 & y1) | y2) ^ ((y0 ^ y1) & (y2 | y3)));
}

quint8 fc(quint8 y0, quint8 y1, quint8 y2, quint8 y3, quint8 y4)
{
    return quint8((y0 | ((y1 | y4) & (y3 ^ y4))) ^ ((y0 ^ (y1 & y3)) & ((y2 ^ y3) | (y1 & y4))));
}

} // namespace

void Crypto1::loadKey(const Key &key)
{
    m_state = 0;
    for (std::size_t i = 0; i < key.size(); ++i)
        m_state |= quint64(key[i]) << (ByteBits * i);
}

quint8 Crypto1::keystreamBit() const
{
    // The filter reads the 20 bits at the odd offsets 9 to 47, four by
    // four into the first layer (five functions), whose outputs feed fc.
    const auto a = [this](int at) { return bitAt(m_state, at); };
    return fc(fa(a(9), a(11), a(13), a(15)),
              fb(a(17), a(19), a(21), a(23)),
              fb(a(25), a(27), a(29), a(31)),
              fa(a(33), a(35), a(37), a(39)),
              fb(a(41), a(43), a(45), a(47)));
}

quint8 Crypto1::shift(quint8 input, Feed feed)
{
    const quint8 keystream = keystreamBit();
    const quint8 taken = feed == Feed::Encrypted ? quint8(input ^ keystream) : input;
    const quint8 entering = quint8(parityOf(m_state & FeedbackMask) ^ (taken & 1));
    m_state = (m_state >> 1) | (quint64(entering) << (StateBits - 1));
    return keystream;
}

quint32 Crypto1::feedWord(quint32 word, Feed feed)
{
    const quint32 bits = airOrder(word);
    quint32 keystream = 0;
    for (int i = 0; i < WordBits; ++i)
        keystream |= quint32(shift(bitAt(bits, i), feed)) << i;
    return airOrder(keystream);
}

void Crypto1::encipher(AirBits &bits, bool withParity, NonceIntake intake)
{
    crypt(bits, withParity, intake, Direction::Encipher);
}

void Crypto1::decipher(AirBits &bits, bool withParity, NonceIntake intake)
{
    crypt(bits, withParity, intake, Direction::Decipher);
}

void Crypto1::crypt(AirBits &bits, bool withParity, NonceIntake intake, Direction direction)
{
    const quint32 uid = airOrder(intake.uid);
    const int intakeBits = qBound(0, intake.bits, WordBits);
    int dataBit = 0;
    for (std::size_t i = 0; i < bits.size(); ++i) {
        if (withParity && i % ParityGroupBits == ParityGroupBits - 1) {
            // A parity bit shares the next data bit's keystream bit.
            bits[i] ^= keystreamBit();
            continue;
        }
        quint8 keystream = 0;
        if (dataBit < intakeBits) {
            // The state takes in the clear bit (XOR the UID's): the sender
            // has it; the receiver gets it from the enciphered bit.
            const quint8 input = quint8((bits[i] ^ bitAt(uid, dataBit)) & 1);
            keystream = shift(input, direction == Direction::Encipher ? Feed::Plain : Feed::Encrypted);
        } else {
            keystream = shift();
        }
        bits[i] ^= keystream;
        ++dataBit;
    }
}

quint32 Crypto1::successor(quint32 nonce, int shifts)
{
    quint32 bits = airOrder(nonce);
    for (int i = 0; i < shifts; ++i) {
        quint32 appended = 0;
        for (int tap : NonceTaps)
            appended ^= bitAt(bits, tap);
        bits = (bits >> 1) | (appended << (WordBits - 1));
    }
    return airOrder(bits);
}

quint32 Crypto1::readerAnswer(quint32 cardNonce)
{
    return successor(cardNonce, ReaderAnswerShifts);
}

quint32 Crypto1::cardAnswer(quint32 cardNonce)
{
    return successor(cardNonce, CardAnswerShifts);
}

quint32 Crypto1::wordAt(const QByteArray &bytes, int at)
{
    quint32 word = 0;
    for (int i = 0; i < WordBits / ByteBits; ++i)
        word = (word << ByteBits) | quint8(bytes.at(at + i));
    return word;
}

QByteArray Crypto1::wordBytes(quint32 word)
{
    QByteArray bytes;
    for (int offset = WordBits - ByteBits; offset >= 0; offset -= ByteBits)
        bytes.append(char(quint8(word >> offset)));
    return bytes;
}
