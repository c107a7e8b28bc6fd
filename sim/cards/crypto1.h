#pragma once

#include "airframe.h"

#include <QByteArray>
#include <QtGlobal>

#include <array>

// Crypto1, the stream cipher of MIFARE Classic, as the chip model and the
// virtual cards both run it, so that the air carries what a real reader and
// card exchange: a 48-bit LFSR whose filter gives one keystream bit per
// shift, loaded with the sector key, then fed the UID and the card's nonce,
// then the reader's nonce. The card's nonces come from a 16-bit LFSR, and
// each side proves it knows the key by answering with a successor of the
// card's nonce.
//
// Bit strings go in air order: byte 0 first, each byte least significant
// bit first. The four-byte words of an authentication (UID, nonces,
// answers) are kept as numbers whose most significant byte goes on the air
// first, as a trace shows them: 0x82A4166C is 82 A4 16 6C.
class Crypto1
{
public:
    using Key = std::array<quint8, 6>;

    // How a shift takes its input bit: as given, or XORed with the shift's own
    // keystream bit. The latter lets a side that holds only the enciphered
    // bits of a nonce take in the nonce itself.
    enum class Feed { Plain, Encrypted };

    // The first data bits of a frame that the state also takes in: the
    // nonce of an authentication, the reader's alone (uid 0), the card's
    // nested one mixed with the UID. `{}` takes in nothing.
    struct NonceIntake
    {
        int bits;
        quint32 uid;
    };

    // The key's bit i (in air order) into the LFSR's bit i.
    void loadKey(const Key &key);
    // The filter's output for the present state: the next shift's keystream
    // bit.
    quint8 keystreamBit() const;
    // One shift, the state shifted and the feedback XORed with the input;
    // returns the keystream bit from before the shift.
    quint8 shift(quint8 input = 0, Feed feed = Feed::Plain);
    // 32 shifts, one per bit of `word`; returns the keystream as a word.
    quint32 feedWord(quint32 word, Feed feed = Feed::Plain);

    // Enciphers a frame's clear bits in place; decipher turns a frame from
    // the air back into clear bits. With parity, every ninth bit is a parity
    // bit, enciphered with the keystream bit of the next byte's first bit
    // and no shift of its own; a last group shorter than nine bits (an ACK's
    // four) is data only. Without parity, every bit is data.
    void encipher(AirBits &bits, bool withParity, NonceIntake intake = {});
    void decipher(AirBits &bits, bool withParity, NonceIntake intake = {});

    // The card's nonce generator, x^16 + x^14 + x^13 + x^11 + 1, on a
    // nonce's 32 bits: each shift drops the first and appends the next.
    static quint32 successor(quint32 nonce, int shifts = 1);
    // The answers that prove the key: the reader's, then the card's.
    static quint32 readerAnswer(quint32 cardNonce);
    static quint32 cardAnswer(quint32 cardNonce);

    static quint32 wordAt(const QByteArray &bytes, int at);
    static QByteArray wordBytes(quint32 word);

private:
    enum class Direction { Encipher, Decipher };
    void crypt(AirBits &bits, bool withParity, NonceIntake intake, Direction direction);

    quint64 m_state = 0;  // bit k is the LFSR's a[k], a[0] the oldest
};
