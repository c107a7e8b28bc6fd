#pragma once

#include "airexchange.h"

#include <vector>

// When each part of a frame is on the air: the timings and line codings of
// ISO/IEC 14443-2 type A at 106 kbit/s and of ISO/IEC 15693-2, worked out
// from the bits and the chip's settings. This is the bench's one account of
// air time: the scope draws from it, and the real-time bench waits by it.
//
// Times are in microseconds from the start of the reader's frame.
namespace AirTiming {

constexpr double CarrierHz = 13.56e6;
// A number of carrier cycles (1/fc each) in microseconds.
constexpr double cycles(double count) { return count * 1e6 / CarrierHz; }

// ISO/IEC 14443 type A, 106 kbit/s.
constexpr double TypeABitUs = cycles(128);           // about 9.44 us
constexpr double TypeASubcarrierUs = cycles(16);     // fc/16, 847.5 kHz
constexpr int TypeAFrameDelayN = 9;                  // n of the frame delay time
// ISO/IEC 15693.
constexpr double VicinityUnitUs = cycles(128);       // 9.44 us: half a slot
constexpr double VicinityAnswerDelayUs = cycles(4352);  // about 320.9 us
constexpr double VicinitySubcarrierUs = cycles(32);  // fc/32, 423.75 kHz
constexpr double VicinityAnswerBitUs = cycles(512);  // 37.76 us, high data rate
constexpr int VicinityHalfBitPulses = 8;             // subcarrier pulses in half a bit
constexpr int VicinitySofPulses = 24;

// A span of time [start, end).
struct Span
{
    double start = 0;
    double end = 0;
};

// The reader's frame as the coder puts it on the air.
struct ReaderShape
{
    std::vector<Span> pauses;        // where the carrier is modulated
    std::vector<double> bitStarts;   // one per bit of the frame, in the serial data stream
    double bitUs = 0;                // how long each bit lasts in that stream
    double endUs = 0;                // the end of the frame, end of frame included
    double lastPauseEndUs = 0;
    bool lastBitOne = false;         // the last data bit (type A frame delay)
};

// The card's answer as it loads the field: half-bits carrying the subcarrier.
struct AnswerShape
{
    std::vector<Span> loaded;        // spans with the subcarrier on
    std::vector<double> bitStarts;   // one per bit received
    double bitUs = 0;
    double subcarrierUs = 0;         // the subcarrier's period
    double startUs = 0;              // the first modulation edge
    double endUs = 0;                // the end of the answer, end of frame included
};

// Reader frames: modified Miller with its pauses X and Z; NRZ; 1-out-of-4
// and 1-out-of-256 pulse position with their start and end of frame; the
// end-of-frame pulse alone of an inventory's slot. The pause length comes
// from ModWidth: 2 (ModWidth + 1) carrier cycles.
ReaderShape readerShape(const AirFrame &frame, const AirSettings &settings);

// The answer to that frame, placed where the card's frame delay puts it:
// type A Manchester on fc/16, or the ISO/IEC 15693 tag's fc/32 pulses at the
// high data rate, with their start and end of frame. Empty when nothing
// answered or the coding has no answer.
AnswerShape answerShape(const AirExchange &exchange, const ReaderShape &reader);

// How long the air is busy with the exchange: the reader's frame, then the
// answer, or, with no answer, the time the receiver listens for one.
double exchangeDurationUs(const AirExchange &exchange);

// When each byte of the answer has been received whole, the last one with
// the end of frame: the moments the chip's FIFO gains them.
std::vector<double> answerByteTimes(const AirExchange &exchange);

// Whether the answer carries a parity bit after each byte (type A).
bool answerHasParity(const AirExchange &exchange);

} // namespace AirTiming
