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
    bool heard = false;  // false when the field was off or the coder muted
    Reception received;
};
