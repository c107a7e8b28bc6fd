#pragma once

#include "typeaexchange.h"

#include <QtGlobal>

class Iso14443aProtocol;

// MIFARE Classic on the reader chip: the chip holds the key and does the
// cryptography (LoadKey, Authent1, Authent2); this class feeds it, then reads
// and writes 16-byte blocks. The operations return nothing; each leaves its
// outcome in the members below for the page to show: whether the
// authentication opened the sector, and how the card answered a block read
// and each phase of a block write.
class MifareClassic
{
public:
    using Outcome = TypeAExchange::Outcome;

    explicit MifareClassic(Iso14443aProtocol *iso14443a);

    // encodedKey from key, in the chip's key format.
    void encodeKey();
    // encodedKey into the chip's key buffer.
    void loadKey();
    // The chip's two-step authentication of `block` with the four UID bytes
    // the card's cipher takes: the whole UID of a single-size card, the last
    // four of a double-size one. Command 0x60 is key A, 0x61 key B. Fills
    // authenticated.
    void authenticate(quint8 command, quint8 block);
    // Fills the caller's 16 bytes with the block; fills lastRead.
    void readBlock(quint8 block, quint8 *buffer);
    // Writes the caller's 16 bytes into the block, in the card's two phases;
    // the data goes out only once the card acknowledged the first. A sector
    // trailer whose access bits contradict themselves is not sent at all:
    // the card would take it and lock its sector for ever. Fills
    // writeCommandPhase and writeDataPhase.
    void writeBlock(quint8 block, const quint8 *data);

    // The last block of each sector: keys and access bits.
    static bool isSectorTrailer(quint8 block);
    // Whether the access bits of a sector trailer's 16 bytes (bytes 6 to 8)
    // each come with their complement, as the card requires.
    static bool accessBitsConsistent(const quint8 *trailer);

    static constexpr int KeyLength = 6;
    static constexpr int BlockLength = 16;

    Iso14443aProtocol *iso14443a;
    quint8 key[KeyLength];             // as typed, first byte first
    quint8 encodedKey[2 * KeyLength];  // two bytes per key byte, high nibble first
    bool authenticated;                // Control's Crypto1On after the last authentication
    Outcome lastRead;                  // how the card answered the last block read
    Outcome writeCommandPhase;         // the last write's first phase: ACK, NAK, silence, not sent
    Outcome writeDataPhase;            // its data phase; NotSent unless the first was acknowledged
    quint8 acknowledgement;            // the last write phase's four bits: 0xA for the ACK, else a NAK
};
