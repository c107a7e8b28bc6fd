#pragma once

#include "airdecoder.h"
#include "airexchange.h"

#include <QString>

#include <vector>

// A signal as an oscilloscope's channel holds it: a level from each time on
// until the next. Times are microseconds from the capture's start.
struct Waveform
{
    std::vector<double> times;
    std::vector<float> levels;

    // A new level from `time` on; a repeated level is no change, and a time
    // before the last change counts as that time.
    void set(double time, float level);
    // The level at `time`: the first level before any change.
    float levelAt(double time) const;
    bool empty() const { return times.empty(); }
};

// A byte as a logic analyser writes it under the trace.
struct ByteMark
{
    double startUs = 0;
    double endUs = 0;
    quint8 value = 0;
    int bits = 8;            // data bits: fewer for a partial byte
    DecodedFrame::Direction direction = DecodedFrame::Direction::ReaderToCard;
    DecodedFrame::Check parity = DecodedFrame::Check::None;
    // The frame's CRC on its last two bytes (its whole check, Ok or Failed);
    // None on the other bytes and where the frame carries no CRC.
    DecodedFrame::Check crc = DecodedFrame::Check::None;
    // The answering cards disagreed on one of its bits (its parity included).
    bool collided = false;
};

// An exchange and its frames as the air decoder read them.
struct DecodedExchange
{
    AirExchange exchange;
    std::vector<DecodedFrame> frames;
};

// What the bench's scope shows of one exchange (and, for an ISO/IEC 15693
// inventory, of the slot pulses that follow it): the two channels, the bit
// and byte boundaries, and the decoded frames.
struct Capture
{
    qint64 startNs = 0;       // the capture's start on the air clock
    double triggerUs = 0;     // where in it the first exchange starts
    double durationUs = 0;
    quint8 mfoutSelect = 0;   // what CH1 shows (MFOUTSelect's source)
    Waveform mfout;           // CH1, the BNC output: 0 or 1
    Waveform antenna;         // CH2, the carrier's envelope: 1 is the full carrier
    std::vector<double> bitStartsUs;
    std::vector<ByteMark> bytes;
    std::vector<DecodedFrame> frames;
    std::vector<QString> summaries;  // one per exchange: "REQA → ATQA 04 00"
    quint64 firstSerial = 0;
    quint64 lastSerial = 0;
    int exchangeCount = 0;
};

// Computes the waveforms an oscilloscope shows of the bench's exchanges,
// from the frames and the chip's settings when each went out:
//   CH1, MFOUT, as MFOUTSelect chooses it: constant low or high; the coder's
//     modulation signal (low in each pause); the serial data before coding;
//     the card's answer with its subcarrier; the answer after the subcarrier
//     demodulator (Manchester).
//   CH2, the antenna: the carrier, the reader's pauses (100 % ASK, or the
//     depth ModConductance gives without Force100ASK) as the modulator
//     input allows, and the card's load modulation.
namespace SignalSynthesis {

// How much a card's load modulation takes off the carrier on the scope.
constexpr float LoadModulationDip = 0.08f;
// How much a capture shows before its first exchange, and after its last
// exchange's air time.
constexpr double PreTriggerUs = 10.0;
constexpr double TailUs = 20.0;

// The capture of consecutive exchanges.
Capture capture(const std::vector<DecodedExchange> &exchanges);

} // namespace SignalSynthesis

// Decodes the exchanges in order and groups them as the scope triggers on
// them: each new frame opens a capture, and the end-of-frame pulses of an
// ISO/IEC 15693 inventory join the capture of the inventory they belong to.
class CaptureAssembler
{
public:
    // At most this many exchanges to a capture: an endless run of pulses
    // opens a new one.
    static constexpr std::size_t MaxExchanges = 64;

    // True when the exchange opened a new capture (the one before it, if
    // any, is then in closed()).
    bool add(const AirExchange &exchange);
    const std::vector<DecodedExchange> &current() const { return m_current; }
    const std::vector<DecodedExchange> &closed() const { return m_closed; }

private:
    AirDecoder m_decoder;
    std::vector<DecodedExchange> m_current;
    std::vector<DecodedExchange> m_closed;
};
