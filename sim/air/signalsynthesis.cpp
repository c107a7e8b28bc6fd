#include "signalsynthesis.h"

#include "airtiming.h"
#include "chipregisters.h"

#include <algorithm>

using AirTiming::AnswerShape;
using AirTiming::ReaderShape;
using AirTiming::Span;

// ---------------------------------------------------------------------------
// Waveform

void Waveform::set(double time, float level)
{
    if (!levels.empty()) {
        if (levels.back() == level)
            return;
        time = std::max(time, times.back());
        if (time == times.back()) {
            // Two changes at one instant: the later one stands, and one that
            // brings back the level before is no change at all.
            if (levels.size() > 1 && levels[levels.size() - 2] == level) {
                times.pop_back();
                levels.pop_back();
            } else {
                levels.back() = level;
            }
            return;
        }
    }
    times.push_back(time);
    levels.push_back(level);
}

float Waveform::levelAt(double time) const
{
    if (times.empty())
        return 0.0f;
    const auto after = std::upper_bound(times.begin(), times.end(), time);
    if (after == times.begin())
        return levels.front();
    return levels[std::size_t(after - times.begin()) - 1];
}

// ---------------------------------------------------------------------------
// Synthesis

namespace {

// What the chip's settings make of an exchange on the two channels.
struct ChannelSettings
{
    float carrier = 0.0f;      // the field's level, 0 when off
    float pauseLevel = 0.0f;   // the carrier's level in a pause
    quint8 modulatorSource = 0;
    quint8 mfout = 0;

    explicit ChannelSettings(const AirSettings &settings)
    {
        using namespace TxControlBits;
        carrier = (settings.txControl & RFEnable) ? 1.0f : 0.0f;
        pauseLevel = carrier * float(AirTiming::pauseLevel(settings));
        modulatorSource = settings.txControl & ModulatorSourceMask;
        mfout = settings.mfoutSelect & MFOUTSelectBits::SourceMask;
    }

    // The antenna's level when no pause is under way: a modulator held low
    // keeps the carrier in its pause level for good.
    float idleAntenna() const { return modulatorSource == TxControlBits::ModulatorLow ? pauseLevel : carrier; }
    bool pausesReachAntenna() const { return modulatorSource == TxControlBits::ModulatorInternalCoder; }

    float idleMfout() const
    {
        using namespace MFOUTSelectBits;
        return mfout == ConstantHigh || mfout == ModulationSignal ? 1.0f : 0.0f;
    }
};

// A square wave of the subcarrier over the span: `on` for the first half of
// each period, `off` for the second.
void subcarrier(Waveform &wave, const Span &span, double period, double offset, float on, float off)
{
    for (double t = span.start; t < span.end - 1e-9; t += period) {
        wave.set(offset + t, on);
        wave.set(offset + std::min(t + period / 2, span.end), off);
    }
}

void drawAntenna(Waveform &wave, const ChannelSettings &channel, const ReaderShape &reader,
                 const AnswerShape &answer, double offset)
{
    const float idle = channel.idleAntenna();
    wave.set(offset, idle);
    if (channel.pausesReachAntenna()) {
        for (const Span &pause : reader.pauses) {
            wave.set(offset + pause.start, channel.pauseLevel);
            wave.set(offset + pause.end, idle);
        }
    }
    // A card loads the field only when there is a field to load.
    const float loaded = idle > 0.0f ? std::max(0.0f, idle - SignalSynthesis::LoadModulationDip) : idle;
    for (const Span &span : answer.loaded)
        subcarrier(wave, span, answer.subcarrierUs, offset, loaded, idle);
}

void drawMfout(Waveform &wave, const ChannelSettings &channel, const ReaderShape &reader, const AnswerShape &answer,
               const AirBits &bits, double offset)
{
    using namespace MFOUTSelectBits;
    wave.set(offset, channel.idleMfout());
    switch (channel.mfout) {
    case ModulationSignal:
        for (const Span &pause : reader.pauses) {
            wave.set(offset + pause.start, 0.0f);
            wave.set(offset + pause.end, 1.0f);
        }
        break;
    case SerialDataStream:
        for (std::size_t i = 0; i < reader.bitStarts.size() && i < bits.size(); ++i)
            wave.set(offset + reader.bitStarts[i], bits[i] ? 1.0f : 0.0f);
        if (!reader.bitStarts.empty())
            wave.set(offset + reader.bitStarts.back() + reader.bitUs, 0.0f);
        break;
    case ManchesterWithSubcarrier:
        for (const Span &span : answer.loaded)
            subcarrier(wave, span, answer.subcarrierUs, offset, 1.0f, 0.0f);
        break;
    case Manchester:
        for (const Span &span : answer.loaded) {
            wave.set(offset + span.start, 1.0f);
            wave.set(offset + span.end, 0.0f);
        }
        break;
    default:
        break;  // constant low or high, or a source no scope would use
    }
}

// The bytes of a decoded frame laid on its bits: each with its parity, a
// collision on any of its bits (`collided`, one flag per bit, empty for the
// reader's frames), and the frame's CRC on its last two bytes.
void markBytes(Capture &capture, const DecodedFrame &frame, const AirBits &bits, const std::vector<quint8> &collided,
               const std::vector<double> &bitStarts, double bitUs, double offset)
{
    constexpr int CrcBytes = 2;
    const std::size_t first = capture.bytes.size();
    std::size_t at = 0;
    for (int index = 0; index < frame.bytes.size() && at < bitStarts.size(); ++index) {
        const int wanted = index == 0 ? frame.firstByteBits : 8;
        const std::size_t dataBits = std::min<std::size_t>(std::size_t(wanted), bitStarts.size() - at);
        ByteMark mark;
        mark.direction = frame.direction;
        mark.value = quint8(frame.bytes.at(index));
        mark.bits = int(dataBits);
        mark.startUs = offset + bitStarts[at];
        std::size_t end = at + dataBits;
        if (frame.parityBits && dataBits == std::size_t(wanted) && end < bitStarts.size() && end < bits.size()) {
            if (index > 0 || wanted == 8) {
                const bool expected = Air::oddParityBit(mark.value);
                mark.parity = (bits[end] != 0) == expected && !frame.encrypted ? DecodedFrame::Check::Ok
                                                                                : DecodedFrame::Check::Failed;
                if (frame.encrypted)
                    mark.parity = DecodedFrame::Check::None;
            }
            ++end;
        } else if (frame.parityBits && !frame.encrypted && dataBits == std::size_t(wanted) && end == bits.size()
                   && (index > 0 || wanted == 8)) {
            mark.parity = DecodedFrame::Check::Failed;  // the frame ends where its parity bit was due
        }
        for (std::size_t bit = at; bit < end && bit < collided.size(); ++bit)
            mark.collided = mark.collided || collided[bit] != 0;
        mark.endUs = offset + bitStarts[end - 1] + bitUs;
        capture.bytes.push_back(mark);
        at = end;
    }
    const std::size_t marked = capture.bytes.size() - first;
    if (frame.crc != DecodedFrame::Check::None && marked == std::size_t(frame.bytes.size())) {
        for (std::size_t i = capture.bytes.size() - std::min<std::size_t>(marked, CrcBytes); i < capture.bytes.size(); ++i)
            capture.bytes[i].crc = frame.crc;
    }
}

} // namespace

namespace SignalSynthesis {

Capture capture(const std::vector<DecodedExchange> &exchanges)
{
    Capture result;
    if (exchanges.empty())
        return result;
    const AirExchange &first = exchanges.front().exchange;
    result.triggerUs = PreTriggerUs;
    result.startNs = first.startNs - qint64(PreTriggerUs * 1000.0);
    result.mfoutSelect = first.settings.mfoutSelect & MFOUTSelectBits::SourceMask;
    result.firstSerial = first.serial;
    // Before the trigger, the levels the first exchange starts from.
    const ChannelSettings before(first.settings);
    result.antenna.set(0, before.idleAntenna());
    result.mfout.set(0, before.idleMfout());
    double end = 0;
    for (const DecodedExchange &decoded : exchanges) {
        const AirExchange &exchange = decoded.exchange;
        const double offset = double(exchange.startNs - result.startNs) / 1000.0;
        const ChannelSettings channel(exchange.settings);
        const ReaderShape reader = AirTiming::readerShape(exchange.sent, exchange.settings);
        const AnswerShape answer = AirTiming::answerShape(exchange, reader);
        drawAntenna(result.antenna, channel, reader, answer, offset);
        drawMfout(result.mfout, channel, reader, answer, exchange.sent.bits, offset);

        for (double start : reader.bitStarts)
            result.bitStartsUs.push_back(offset + start);
        for (double start : answer.bitStarts)
            result.bitStartsUs.push_back(offset + start);
        if (!decoded.frames.empty())
            markBytes(result, decoded.frames.front(), exchange.sent.bits, {}, reader.bitStarts, reader.bitUs, offset);
        if (decoded.frames.size() > 1)
            markBytes(result, decoded.frames.back(), exchange.received.bits, exchange.received.collided, answer.bitStarts,
                      answer.bitUs, offset);
        result.frames.insert(result.frames.end(), decoded.frames.begin(), decoded.frames.end());
        result.summaries.push_back(AirDecoder::summary(decoded.frames));

        end = std::max(end, offset + AirTiming::exchangeDurationUs(exchange));
        result.lastSerial = exchange.serial;
        ++result.exchangeCount;
    }
    result.durationUs = end + TailUs;
    std::sort(result.bitStartsUs.begin(), result.bitStartsUs.end());
    return result;
}

} // namespace SignalSynthesis

// ---------------------------------------------------------------------------
// CaptureAssembler

bool CaptureAssembler::add(const AirExchange &exchange)
{
    DecodedExchange decoded { exchange, m_decoder.decode(exchange) };
    const bool vicinity = exchange.sent.coding == AirCoding::OneOutOf4 || exchange.sent.coding == AirCoding::OneOutOf256;
    const bool joins = exchange.sent.slotPulse && vicinity && !m_current.empty()
        && m_current.size() < MaxExchanges;
    if (joins) {
        m_current.push_back(std::move(decoded));
        return false;
    }
    m_closed = std::move(m_current);
    m_current.clear();
    m_current.push_back(std::move(decoded));
    return true;
}
