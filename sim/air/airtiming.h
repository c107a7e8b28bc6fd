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

// The frame delays and guard times between frames.
constexpr double TypeACardToReaderUs = cycles(1172);      // the reader's next frame, after the card's last modulation
constexpr double VicinityAnswerDelayMinUs = cycles(4320);  // t1, from the rising edge of the EOF's pause
constexpr double VicinityAnswerDelayMaxUs = cycles(4384);
constexpr double VicinityReaderGuardUs = cycles(4192);     // t2, after the tag's end of frame
// t3: after an end-of-frame pulse no tag answered, the longest answer delay
// and the tag's start of frame (one subcarrier) before the next pulse.
constexpr double VicinitySilentSlotUs = cycles(4384) + cycles(2048);

// The pauses a card takes in: type A, 28/fc to 40.5/fc with the carrier
// down to about 5 % of its level; ISO/IEC 15693, 6 us to 9.44 us with a
// 10 % ASK (the carrier down by 10 % to 30 %) or a 100 % ASK.
constexpr double TypeAPauseMinUs = cycles(28);
constexpr double TypeAPauseMaxUs = cycles(40.5);
constexpr double TypeAPauseLevelMax = 0.05;
constexpr double VicinityPauseMinUs = 6.0;
constexpr double VicinityPauseMaxUs = cycles(128);
constexpr double VicinityShallowDepthMin = 0.10;
constexpr double VicinityShallowDepthMax = 0.30;
constexpr double VicinityFullDepthLevelMax = 0.05;

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

// How long a pause of the reader lasts: 2 (ModWidth + 1) carrier cycles.
double pauseUs(const AirSettings &settings);
// The carrier's level during a pause, a share of its full level: none with
// Force100ASK; without it, what the modulation conductance keeps next to
// the carrier's own.
double pauseLevel(const AirSettings &settings);
// Whether the cards can take in a frame that reached the antenna, by what
// its pauses are (width and depth) and, for ISO/IEC 15693, by the answer
// its flags ask for: a low data rate or two subcarriers are NotModelled
// (the tags take the request in, but the bench does not draw such an answer).
AirHearing hearing(const AirFrame &frame, const AirSettings &settings);

// When the reader's next frame may start at the earliest, from the start of
// this exchange: after the answer and the guard time the standard puts after
// it (type A, 1172/fc after the card's last modulation; ISO/IEC 15693, t2
// after the tag's end of frame), or after a silent slot's t3, and never
// before the air is free.
double nextFrameEarliestUs(const AirExchange &exchange);

// How long the air is busy with the exchange: the reader's frame, then the
// answer, or, with no answer, the time the receiver listens for one.
double exchangeDurationUs(const AirExchange &exchange);

// When each byte of the answer has been received whole, the last one with
// the end of frame: the moments the chip's FIFO gains them.
std::vector<double> answerByteTimes(const AirExchange &exchange);

// Whether the answer carries a parity bit after each byte (type A).
bool answerHasParity(const AirExchange &exchange);

} // namespace AirTiming
