#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <vector>

// What passes between the chip's antenna and the cards: bits, in the order
// they go on the air (each byte least significant bit first, parity bits
// where the framing puts them).
using AirBits = std::vector<quint8>;  // one element per bit, 0 or 1

// The reader-to-card coding the chip's coder produced. A card hears only the
// coding of its own standard; any other is noise to it.
enum class AirCoding {
    ModifiedMiller,  // ISO/IEC 14443 type A, 106 kbit/s
    Nrz,             // ISO/IEC 14443 type B
    OneOutOf4,       // ISO/IEC 15693
    OneOutOf256,     // ISO/IEC 15693
    Other,           // a coder setting no card understands
};

struct AirFrame
{
    AirCoding coding = AirCoding::Other;
    AirBits bits;
    // ISO/IEC 15693: only the end-of-frame pulse that moves the tags of an
    // inventory on to the next time slot; bits is empty.
    bool slotPulse = false;
};

// What the chip's receiver picks up after one frame: every card that answered,
// superposed. Cards answer in step with the reader's frame, so their bits line
// up; a bit that any card modulates reads 1, and a bit on which the cards
// disagree is a collision (the Manchester coding shows both half-bits loaded).
struct Reception
{
    AirBits bits;
    std::vector<quint8> collided;  // 1 where the answering cards disagreed
    int answers = 0;               // how many cards answered

    bool empty() const { return bits.empty(); }
};

namespace Air {

// Appends the low `count` bits of `byte`, least significant first.
void appendByte(AirBits &bits, quint8 byte, int count = 8);
// Appends each byte followed by its odd parity bit (ISO/IEC 14443 type A).
void appendWithOddParity(AirBits &bits, const QByteArray &bytes);
// The bits of whole bytes, without parity (ISO/IEC 15693).
AirBits plain(const QByteArray &bytes);
AirBits withOddParity(const QByteArray &bytes);

bool oddParityBit(quint8 byte);

// A type A frame as a card takes it apart: the whole bytes, each of which
// must be followed by its odd parity bit, then fewer than nine bits left
// over (a bit-oriented anticollision frame ends with such a tail).
struct ParityFrame
{
    QByteArray bytes;
    AirBits tail;
    bool parityOk = true;
};
ParityFrame splitOddParity(const AirBits &bits);

// Whole bytes without parity, or false when the bit count is not a multiple
// of eight.
bool toPlainBytes(const AirBits &bits, QByteArray *bytes);

} // namespace Air
