#pragma once

#include "airframe.h"

#include <QByteArray>
#include <QtGlobal>

#include <array>

// The virtual bench's stand-in for the MIFARE Classic stream cipher.
//
// The chip model and the virtual cards both use it, so that an authentication
// runs as on the air: the card sends a nonce in the clear, the chip proves it
// knows the sector key with an encrypted answer, the card proves it back, and
// from then on every bit between them (parity included) is encrypted. A wrong
// key, or one side dropping out of the session, turns the other side's bits
// into noise, which is all the host can ever observe of the real cipher. It
// is not Crypto1 and does not talk to real cards; it never has to, since
// both ends of this air are virtual.
class BenchCipher
{
public:
    using Key = std::array<quint8, 6>;

    // Sets the keystream from the sector key, the card's UID (the four bytes
    // the authentication frame carries: the last four of a 7-byte UID) and
    // the card's nonce.
    void start(const Key &key, quint32 uid, quint32 cardNonce);
    // Feeds the reader's nonce into the state once it has been sent (by the
    // reader) or decrypted (by the card).
    void absorb(quint32 readerNonce);

    quint8 nextBit();
    // Encrypts or decrypts (the same thing) bits in place.
    void apply(AirBits &bits);
    void apply(AirBits &bits, std::size_t from, std::size_t count);

    // The values each side proves knowledge of the key with.
    static quint32 readerAnswer(quint32 cardNonce);
    static quint32 cardAnswer(quint32 cardNonce);

    // The four-byte words of an authentication (UID, nonces, answers) as
    // they go on the air: first byte most significant.
    static quint32 wordAt(const QByteArray &bytes, int at);
    static QByteArray wordBytes(quint32 word);

    // A deterministic nonce source (cards and chip each keep one), so that
    // every run of the bench plays out the same.
    static quint32 nextNonce(quint64 &seed);

private:
    quint64 m_state = 1;
};
