#include "airtiming.h"

#include "aircommands.h"
#include "chipregisters.h"

#include <algorithm>

namespace AirTiming {

namespace {

// ISO/IEC 15693 reader frames, in units of 9.44 us (half a slot): where the
// pauses of the start and end of frame fall, and how long those last.
constexpr int VicinitySofUnits = 8;
constexpr int VicinitySofSecondPause4 = 5;    // 1-out-of-4
constexpr int VicinitySofSecondPause256 = 7;  // 1-out-of-256
constexpr int VicinityEofUnits = 4;
constexpr int VicinityEofPause = 2;
constexpr int UnitsPerSymbol4 = 8;            // four slots, two bits
constexpr int UnitsPerSymbol256 = 512;        // 256 slots, one byte
// The ISO/IEC 15693 tag's start of frame: unmodulated, 24 pulses, then a
// logic 1; its end of frame: a logic 0, 24 pulses, unmodulated. In half bits.
constexpr int TagSofHalfBits = 8;
constexpr int TagEofHalfBits = 8;
// ModWidth's six bits give the pause in pairs of carrier cycles.
constexpr quint8 ModWidthMask = 0x3F;

void addPause(ReaderShape &shape, double start, double width)
{
    shape.pauses.push_back({ start, start + width });
}

// Modified Miller: the start of frame is Z; a 1 is X (a pause half-way); a 0
// is Y (no pause), or Z (a pause at the start) when it follows a 0 or opens
// the frame; the end of frame is a logic 0 followed by Y.
ReaderShape miller(const AirBits &bits, double pause)
{
    ReaderShape shape;
    const double bit = TypeABitUs;
    shape.bitUs = bit;
    addPause(shape, 0, pause);
    bool afterZero = true;
    for (std::size_t i = 0; i < bits.size(); ++i) {
        const double start = double(i + 1) * bit;
        shape.bitStarts.push_back(start);
        if (bits[i]) {
            addPause(shape, start + bit / 2, pause);
            afterZero = false;
        } else {
            if (afterZero)
                addPause(shape, start, pause);
            afterZero = true;
        }
    }
    if (afterZero)
        addPause(shape, double(bits.size() + 1) * bit, pause);
    shape.endUs = double(bits.size() + 3) * bit;
    shape.lastPauseEndUs = shape.pauses.back().end;
    shape.lastBitOne = !bits.empty() && bits.back();
    return shape;
}

// NRZ-L at 106 kbit/s: a 0 modulates the carrier for its whole bit.
ReaderShape nrz(const AirBits &bits)
{
    ReaderShape shape;
    const double bit = TypeABitUs;
    shape.bitUs = bit;
    for (std::size_t i = 0; i < bits.size(); ++i) {
        const double start = double(i) * bit;
        shape.bitStarts.push_back(start);
        if (!bits[i])
            addPause(shape, start, bit);
    }
    shape.endUs = double(bits.size()) * bit;
    shape.lastPauseEndUs = shape.pauses.empty() ? 0 : shape.pauses.back().end;
    return shape;
}

void vicinityEof(ReaderShape &shape, double start, double pause)
{
    addPause(shape, start + VicinityEofPause * VicinityUnitUs, pause);
    shape.endUs = start + VicinityEofUnits * VicinityUnitUs;
    shape.lastPauseEndUs = shape.pauses.back().end;
}

// Pulse position: each symbol of `bitsPerSymbol` bits (least significant
// first) puts one pause in the second half of the slot its value chooses.
ReaderShape pulsePosition(const AirBits &bits, double pause, bool oneOutOf4)
{
    ReaderShape shape;
    const double unit = VicinityUnitUs;
    const int bitsPerSymbol = oneOutOf4 ? 2 : 8;
    const int unitsPerSymbol = oneOutOf4 ? UnitsPerSymbol4 : UnitsPerSymbol256;
    shape.bitUs = unit * unitsPerSymbol / bitsPerSymbol;
    addPause(shape, 0, pause);
    addPause(shape, (oneOutOf4 ? VicinitySofSecondPause4 : VicinitySofSecondPause256) * unit, pause);
    const double dataStart = VicinitySofUnits * unit;
    const std::size_t symbols = (bits.size() + std::size_t(bitsPerSymbol) - 1) / std::size_t(bitsPerSymbol);
    for (std::size_t i = 0; i < bits.size(); ++i)
        shape.bitStarts.push_back(dataStart + double(i) * shape.bitUs);
    for (std::size_t symbol = 0; symbol < symbols; ++symbol) {
        int value = 0;
        for (int b = 0; b < bitsPerSymbol; ++b) {
            const std::size_t at = symbol * std::size_t(bitsPerSymbol) + std::size_t(b);
            if (at < bits.size() && bits[at])
                value |= 1 << b;
        }
        const double symbolStart = dataStart + double(symbol) * unitsPerSymbol * unit;
        addPause(shape, symbolStart + (2 * value + 1) * unit, pause);
    }
    vicinityEof(shape, dataStart + double(symbols) * unitsPerSymbol * unit, pause);
    return shape;
}

bool isVicinity(AirCoding coding)
{
    return coding == AirCoding::OneOutOf4 || coding == AirCoding::OneOutOf256;
}

// The subcarrier on for half a bit (or a whole collided bit) per received bit.
void addHalfBits(AnswerShape &shape, const Reception &reception, double firstBit, bool oneFirstHalf)
{
    const double bit = shape.bitUs;
    for (std::size_t i = 0; i < reception.bits.size(); ++i) {
        const double start = firstBit + double(i) * bit;
        shape.bitStarts.push_back(start);
        const bool collided = i < reception.collided.size() && reception.collided[i];
        const bool firstHalf = collided || (reception.bits[i] != 0) == oneFirstHalf;
        const bool secondHalf = collided || !firstHalf;
        if (firstHalf)
            shape.loaded.push_back({ start, start + bit / 2 });
        if (secondHalf)
            shape.loaded.push_back({ start + bit / 2, start + bit });
    }
}

// Type A: Manchester on fc/16; the start of frame is D (a 1), a 1 loads the
// first half, a 0 the second, the end of frame (F) loads nothing.
AnswerShape typeAAnswer(const Reception &reception, const ReaderShape &reader)
{
    AnswerShape shape;
    shape.bitUs = TypeABitUs;
    shape.subcarrierUs = TypeASubcarrierUs;
    const double delay = cycles(TypeAFrameDelayN * 128 + (reader.lastBitOne ? 84 : 20));
    shape.startUs = reader.lastPauseEndUs + delay;
    shape.loaded.push_back({ shape.startUs, shape.startUs + shape.bitUs / 2 });
    addHalfBits(shape, reception, shape.startUs + shape.bitUs, true);
    shape.endUs = shape.startUs + double(reception.bits.size() + 2) * shape.bitUs;
    return shape;
}

// ISO/IEC 15693, one subcarrier, high data rate: a 0 is 8 pulses then
// silence, a 1 silence then 8 pulses.
AnswerShape vicinityAnswer(const Reception &reception, const ReaderShape &reader)
{
    AnswerShape shape;
    shape.bitUs = VicinityAnswerBitUs;
    shape.subcarrierUs = VicinitySubcarrierUs;
    const double half = VicinityAnswerBitUs / 2;
    // t1 counts from the carrier's return after the end of frame's pause.
    shape.startUs = reader.lastPauseEndUs + VicinityAnswerDelayUs;
    shape.loaded.push_back({ shape.startUs + 3 * half, shape.startUs + 6 * half });  // 24 pulses
    shape.loaded.push_back({ shape.startUs + 7 * half, shape.startUs + 8 * half });  // then a 1
    const double firstBit = shape.startUs + TagSofHalfBits * half;
    addHalfBits(shape, reception, firstBit, false);
    const double eof = firstBit + double(reception.bits.size()) * shape.bitUs;
    shape.loaded.push_back({ eof, eof + half });                  // a 0
    shape.loaded.push_back({ eof + 2 * half, eof + 5 * half });   // 24 pulses
    shape.endUs = eof + TagEofHalfBits * half;
    return shape;
}

} // namespace

ReaderShape readerShape(const AirFrame &frame, const AirSettings &settings)
{
    const double pause = pauseUs(settings);
    switch (frame.coding) {
    case AirCoding::ModifiedMiller:
        if (frame.slotPulse)
            return {};
        return miller(frame.bits, pause);
    case AirCoding::OneOutOf4:
    case AirCoding::OneOutOf256:
        if (frame.slotPulse) {
            ReaderShape shape;
            vicinityEof(shape, 0, pause);
            return shape;
        }
        return pulsePosition(frame.bits, pause, frame.coding == AirCoding::OneOutOf4);
    case AirCoding::Nrz:
    case AirCoding::Other:
        return nrz(frame.bits);
    }
    return {};
}

AnswerShape answerShape(const AirExchange &exchange, const ReaderShape &reader)
{
    if (exchange.received.empty() || reader.endUs <= 0)
        return {};
    if (exchange.sent.coding == AirCoding::ModifiedMiller)
        return typeAAnswer(exchange.received, reader);
    if (isVicinity(exchange.sent.coding))
        return vicinityAnswer(exchange.received, reader);
    return {};
}

double exchangeDurationUs(const AirExchange &exchange)
{
    const ReaderShape reader = readerShape(exchange.sent, exchange.settings);
    const AnswerShape answer = answerShape(exchange, reader);
    if (answer.endUs > 0)
        return answer.endUs;
    // Nothing came: the receiver has listened as long as an answer's start.
    if (exchange.sent.coding == AirCoding::ModifiedMiller && reader.endUs > 0)
        return std::max(reader.endUs, reader.lastPauseEndUs + cycles(TypeAFrameDelayN * 128 + 84) + TypeABitUs);
    if (isVicinity(exchange.sent.coding) && reader.endUs > 0)
        return std::max(reader.endUs, reader.lastPauseEndUs + VicinityAnswerDelayUs + TagSofHalfBits * VicinityAnswerBitUs / 2);
    return reader.endUs;
}

double pauseUs(const AirSettings &settings)
{
    return cycles(2.0 * ((settings.modWidth & ModWidthMask) + 1));
}

double pauseLevel(const AirSettings &settings)
{
    if ((settings.txControl & TxControlBits::Force100ASK) || settings.cwConductance == 0)
        return 0.0;
    return std::clamp(double(settings.modConductance) / double(settings.cwConductance), 0.0, 1.0);
}

AirHearing hearing(const AirFrame &frame, const AirSettings &settings)
{
    const bool typeA = frame.coding == AirCoding::ModifiedMiller;
    if (!typeA && !isVicinity(frame.coding))
        return AirHearing::Heard;  // no card of that coding: nothing to judge
    const double width = pauseUs(settings);
    const double level = pauseLevel(settings);
    if (typeA) {
        if (width < TypeAPauseMinUs)
            return AirHearing::PauseTooShort;
        if (width > TypeAPauseMaxUs)
            return AirHearing::PauseTooLong;
        return level <= TypeAPauseLevelMax ? AirHearing::Heard : AirHearing::TooShallow;
    }
    if (width < VicinityPauseMinUs)
        return AirHearing::PauseTooShort;
    if (width > VicinityPauseMaxUs)
        return AirHearing::PauseTooLong;
    const double depth = 1.0 - level;
    const bool shallowAsk = depth >= VicinityShallowDepthMin && depth <= VicinityShallowDepthMax;
    if (!shallowAsk && level > VicinityFullDepthLevelMax)
        return AirHearing::TooShallow;
    // The request's flags come first, least significant bit first.
    if (!frame.slotPulse && frame.bits.size() >= 8) {
        quint8 flags = 0;
        for (int bit = 0; bit < 8; ++bit)
            flags |= quint8((frame.bits[std::size_t(bit)] & 1) << bit);
        if (!(flags & VicinityCommand::FlagDataRate) || (flags & VicinityCommand::FlagSubCarrier))
            return AirHearing::NotModelled;
    }
    return AirHearing::Heard;
}

double nextFrameEarliestUs(const AirExchange &exchange)
{
    const ReaderShape reader = readerShape(exchange.sent, exchange.settings);
    const AnswerShape answer = answerShape(exchange, reader);
    double earliest = exchangeDurationUs(exchange);
    if (exchange.sent.coding == AirCoding::ModifiedMiller && !answer.loaded.empty())
        earliest = std::max(earliest, answer.loaded.back().end + TypeACardToReaderUs);
    else if (isVicinity(exchange.sent.coding) && answer.endUs > 0)
        earliest = std::max(earliest, answer.endUs + VicinityReaderGuardUs);
    else if (isVicinity(exchange.sent.coding) && reader.endUs > 0)
        earliest = std::max(earliest, reader.lastPauseEndUs + VicinitySilentSlotUs);
    return earliest;
}

bool answerHasParity(const AirExchange &exchange)
{
    return exchange.sent.coding == AirCoding::ModifiedMiller
        && (exchange.settings.channelRedundancy & ChannelRedundancyBits::ParityEn);
}

std::vector<double> answerByteTimes(const AirExchange &exchange)
{
    const ReaderShape reader = readerShape(exchange.sent, exchange.settings);
    const AnswerShape answer = answerShape(exchange, reader);
    std::vector<double> times;
    const std::size_t count = answer.bitStarts.size();
    if (count == 0)
        return times;
    const std::size_t perByte = answerHasParity(exchange) ? 9 : 8;
    for (std::size_t end = perByte; end < count; end += perByte)
        times.push_back(answer.bitStarts[end]);
    times.push_back(answer.endUs);  // the last byte, whole or not, with the end of frame
    return times;
}

} // namespace AirTiming
