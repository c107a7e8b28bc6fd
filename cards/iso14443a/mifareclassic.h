#pragma once

#include <QtGlobal>

class Iso14443aProtocol;

// MIFARE Classic on the reader chip: the chip holds the key and does the
// cryptography (LoadKey, Authent1, Authent2); this class feeds it, then reads
// and writes 16-byte blocks. Nothing is checked or reported: the outcome of
// an authentication shows only in the debug line, and a block read that the
// card refuses yields whatever the FIFO gives.
class MifareClassic
{
public:
    explicit MifareClassic(Iso14443aProtocol *iso14443a);

    // encodedKey from key, in the chip's key format.
    void encodeKey();
    // encodedKey into the chip's key buffer.
    void loadKey();
    // The chip's two-step authentication of `block` with the first four UID
    // bytes of the last identification; command 0x60 is key A, 0x61 key B.
    void authenticate(quint8 command, quint8 block);
    // Fills the caller's 16 bytes with the block.
    void readBlock(quint8 block, quint8 *buffer);
    // Writes the caller's 16 bytes into the block, in the card's two phases.
    void writeBlock(quint8 block, const quint8 *data);

    static constexpr int KeyLength = 6;
    static constexpr int BlockLength = 16;

    Iso14443aProtocol *iso14443a;
    quint8 key[KeyLength];             // as typed, first byte first
    quint8 encodedKey[2 * KeyLength];  // two bytes per key byte, high nibble first
};
