#pragma once

#include "airframe.h"

#include <QtGlobal>

// The chip's settings that shape what the antenna and the BNC output carry,
// as they stood when a frame went out.
struct AirSettings
{
    quint8 txControl = 0;          // field, modulator source, 100 % ASK
    quint8 coderControl = 0;       // coding and rate
    quint8 modWidth = 0;           // the length of a pause
    quint8 cwConductance = 0;      // carrier strength
    quint8 modConductance = 0;     // carrier strength in a pause, without 100 % ASK
    quint8 mfoutSelect = 0;        // what the BNC output shows
    quint8 channelRedundancy = 0;  // parity and CRC
};

// Whether the cards could take the reader's frame in, and when not, why:
// the field off or the coder muted put nothing on the air; a pause far from
// the width the coding calls for, or a carrier that does not drop deep
// enough, reaches the air but no card hears it; a rate or subcarrier the
// bench does not model reaches the cards as noise.
enum class AirHearing {
    Heard,
    FieldOff,        // nothing on the air
    CoderMuted,      // the field on, the coder kept off the antenna
    PauseTooShort,
    PauseTooLong,
    TooShallow,      // the carrier does not drop to what the coding needs
    NotModelled,     // a data rate or subcarrier setting the bench does not model
};

// One frame of the reader on the air and what came back, as the air carried
// them: once the MIFARE cipher is on, both directions are encrypted.
struct AirExchange
{
    // The chip's count of its frames: 1 for the first, never repeated.
    quint64 serial = 0;
    // When the reader's frame began, on the bench's air clock (nanoseconds
    // from the chip's start). Frames never overlap on that clock: one that
    // the host starts while the last is still on the air waits for it.
    qint64 startNs = 0;
    AirFrame sent;
    AirSettings settings;
    // The cipher was on: the frame and its answer are enciphered.
    bool encrypted = false;
    // The second frame of an authentication: the reader's nonce and answer,
    // enciphered as the session's first.
    bool authenticationToken = false;
    bool heard = false;  // the cards took the frame in (hearing is Heard)
    AirHearing hearing = AirHearing::FieldOff;
    Reception received;

    // An encrypted exchange in the clear, as the reader's chip knew it: it
    // enciphers its own frame and deciphers the answer, so a protocol
    // analyser can show the session beside its ciphertext. Bits in air
    // order, with the clear parity bits where the frame has parity; sent
    // and received above stay what the air carried.
    //
    // plainSent is the reader's frame before enciphering: for an
    // authentication's token, nr then ar = suc64(nt); for a nested AUTH, the
    // command. plainReceived is the answer deciphered: the card's token only
    // when it came out as suc96(nt), the nonce of a nested authentication as
    // the chip recovered it with the key it holds. What the chip could not
    // read (no answer, an answer that is not the token) is left unknown.
    bool plainKnown = false;        // plainSent holds the reader's frame in the clear
    AirBits plainSent;
    bool answerPlainKnown = false;  // plainReceived holds the answer in the clear
    AirBits plainReceived;
};
