// The air decoder's strict reading and the timings measured on it, fed
// exchanges no card would make: any bits in any coding, under any of the
// chip's settings, with the frames' rules broken any way (lengths, NVB, BCC,
// CRC, parity, ISO 15693 flags and parameters), a MIFARE session's frames
// with or without their clear bits, superposed answers, end-of-frame pulses.
// Every exchange is one the chip model could log: an answer only to a frame
// the cards heard, a session's clear bits as long as what the air carried,
// the reader's next frame no earlier than the air is free. None of it may
// crash, show undefined behaviour, or give a frame that does not hold
// together.
//
// Input: exchanges, each a header byte
//   bits 0-2  coding: Miller, NRZ, 1 out of 4, 1 out of 256, other
//   bit 3     an end-of-frame pulse alone (no body follows)
//   bit 4     encrypted, under a MIFARE session (with bit 6, an
//             authentication's token)
//   bit 5     the reader's frame known in the clear (the chip enciphered it)
//   bit 6     the authentication's token
//   bit 7     an extra byte follows: bits 0-2 how the cards heard it (0:
//             as the frame's pauses say, the chip's own account; 1 to 7:
//             one of the seven ways, whatever the pauses), bit 3 the air's
//             settings, bit 4 collisions in the answer, bit 5 the answer
//             known in the clear, bit 6 a delay before the frame, bit 7 the
//             decoder started afresh
// then, in order: the air's settings when asked (7 bytes, else those the
// window loads for the coding); the reader's body unless a pulse, and the
// answer's body, each a form byte (modulo 5: N raw bits; N bytes with odd
// parity; N bytes with CRC_A and parity; N bytes with the ISO 15693 CRC;
// N bytes as they are), N, then the bits or bytes; when asked and a card
// answered, the collisions (N, then N bits, 1 where the cards disagreed);
// when asked, the delay (2 bytes, least significant first, microseconds).

#include "aircommands.h"
#include "airdecoder.h"
#include "airtiming.h"
#include "chipregisters.h"
#include "crc16.h"
#include "crypto1.h"
#include "fuzzairsettings.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

constexpr int ByteBits = 8;
constexpr int HearingFromPauses = 0;  // then AirHearing's values, from 1
constexpr double NsPerUs = 1000.0;
// Rounding an air time to nanoseconds one way, and then the other.
constexpr qint64 RoundingNs = 1;
const Crypto1::Key SessionKey = { 0x3C, 0x5E, 0x7A, 0x91, 0xB2, 0xD4 };

namespace Header {
constexpr quint8 CodingMask = 0x07;
constexpr quint8 SlotPulse = 0x08;
constexpr quint8 Encrypted = 0x10;
constexpr quint8 PlainKnown = 0x20;
constexpr quint8 Token = 0x40;
constexpr quint8 Extra = 0x80;
} // namespace Header

namespace Extra {
constexpr quint8 HearingMask = 0x07;
constexpr quint8 Settings = 0x08;
constexpr quint8 Collisions = 0x10;
constexpr quint8 AnswerPlainKnown = 0x20;
constexpr quint8 Delay = 0x40;
constexpr quint8 Reset = 0x80;
} // namespace Extra

enum class Form { RawBits, OddParity, CrcA, Crc3309, PlainBytes, Forms };

// The input, and the frame bodies it makes.
class Input : public FuzzInput
{
public:
    using FuzzInput::FuzzInput;

    // A frame's bits in one of the forms.
    AirBits body()
    {
        const Form form = Form(next() % int(Form::Forms));
        const int length = next();
        switch (form) {
        case Form::RawBits:
            return bits<AirBits>(length);
        case Form::OddParity:
            return Air::withOddParity(bytes(length));
        case Form::CrcA:
            return Air::withOddParity(withCrc(bytes(length), Crc16::crcA));
        case Form::Crc3309:
            return Air::plain(withCrc(bytes(length), Crc16::crc3309));
        default:
            return Air::plain(bytes(length));
        }
    }

private:
    static QByteArray withCrc(QByteArray bytes, quint16 (*crc)(const quint8 *, std::size_t))
    {
        const quint16 value = crc(reinterpret_cast<const quint8 *>(bytes.constData()), std::size_t(bytes.size()));
        bytes.append(char(value & 0xFF));
        bytes.append(char(value >> ByteBits));
        return bytes;
    }
};

AirCoding codingOf(int code)
{
    switch (code) {
    case 0: return AirCoding::ModifiedMiller;
    case 1: return AirCoding::Nrz;
    case 2: return AirCoding::OneOutOf4;
    case 3: return AirCoding::OneOutOf256;
    default: return AirCoding::Other;
    }
}

// The settings the window loads for the coding; type A frames carry the
// CRC_A the host put in them.
AirSettings usualSettings(AirCoding coding)
{
    AirSettings settings;
    settings.txControl = TxControlBits::FieldOn;
    settings.cwConductance = ChipSetting::CwConductanceMaximum;
    if (coding == AirCoding::OneOutOf4 || coding == AirCoding::OneOutOf256) {
        settings.coderControl = coding == AirCoding::OneOutOf4 ? CoderControlBits::Iso15693OneOutOf4
                                                               : CoderControlBits::Iso15693OneOutOf256;
        settings.modWidth = ChipSetting::Iso15693ModWidth;
        settings.modConductance = ChipSetting::Iso15693ModConductance;
        settings.mfoutSelect = MFOUTSelectBits::ManchesterWithSubcarrier;
        settings.channelRedundancy = ChannelRedundancyBits::Iso15693Crc;
    } else {
        settings.coderControl = CoderControlBits::Miller106;
        settings.modWidth = ChipEeprom::FactoryStartUpSet[ChipReg::ModWidth - ChipEeprom::FirstRegisterLoaded];
        settings.modConductance
            = ChipEeprom::FactoryStartUpSet[ChipReg::ModConductance - ChipEeprom::FirstRegisterLoaded];
        settings.mfoutSelect = MFOUTSelectBits::ModulationSignal;
        settings.channelRedundancy = ChannelRedundancyBits::OddParityNoCrc;
    }
    return settings;
}

bool heardBy(AirHearing hearing)
{
    return hearing == AirHearing::Heard || hearing == AirHearing::NotModelled;
}

// The air as the chip model logs it: each frame when the air is free, the
// session's frames enciphered from their clear bits.
class AirLog
{
public:
    AirExchange next(Input &input)
    {
        AirExchange exchange;
        const quint8 header = input.next();
        const quint8 extra = (header & Header::Extra) ? input.next() : 0;
        m_fresh = m_serial == 0 || (extra & Extra::Reset);
        if (extra & Extra::Reset)
            m_decoder.reset();
        exchange.serial = ++m_serial;
        exchange.sent.coding = codingOf(header & Header::CodingMask);
        exchange.sent.slotPulse = header & Header::SlotPulse;
        exchange.settings = (extra & Extra::Settings) ? airSettingsFrom(input) : usualSettings(exchange.sent.coding);
        exchange.encrypted = header & Header::Encrypted;
        exchange.authenticationToken = exchange.encrypted && (header & Header::Token);
        exchange.plainKnown = exchange.encrypted && (header & Header::PlainKnown);
        const bool parity = exchange.settings.channelRedundancy & ChannelRedundancyBits::ParityEn;
        Crypto1 cipher;
        cipher.loadKey(SessionKey);
        if (!exchange.sent.slotPulse) {
            exchange.sent.bits = input.body();
            if (exchange.plainKnown) {
                exchange.plainSent = exchange.sent.bits;
                cipher.encipher(exchange.sent.bits, parity);
            }
        }
        const int hearing = extra & Extra::HearingMask;
        exchange.hearing = hearing == HearingFromPauses ? AirTiming::hearing(exchange.sent, exchange.settings)
                                                        : AirHearing(hearing - 1);
        exchange.heard = heardBy(exchange.hearing);

        AirBits answer = input.body();
        if (exchange.heard && !answer.empty()) {
            if (exchange.plainKnown && (extra & Extra::AnswerPlainKnown)) {
                exchange.answerPlainKnown = true;
                exchange.plainReceived = answer;
                cipher.encipher(answer, parity);
            } else if (exchange.encrypted) {
                cipher.encipher(answer, parity);
            }
            exchange.received.bits = std::move(answer);
            exchange.received.collided.assign(exchange.received.bits.size(), 0);
            exchange.received.answers = 1;
            if (extra & Extra::Collisions) {
                const AirBits collided = input.bits<AirBits>(input.next());
                for (std::size_t i = 0; i < collided.size() && i < exchange.received.bits.size(); ++i)
                    exchange.received.collided[i] = collided[i];
                exchange.received.answers = 2;
            }
        }
        qint64 delayUs = 0;
        if (extra & Extra::Delay) {
            delayUs = input.next();
            delayUs |= qint64(input.next()) << ByteBits;
        }
        exchange.startNs = m_freeAtNs + delayUs * qint64(NsPerUs);
        m_freeAtNs = exchange.startNs + qint64(AirTiming::nextFrameEarliestUs(exchange) * NsPerUs);
        return exchange;
    }

    AirDecoder &decoder() { return m_decoder; }
    // The decoder has seen no frame before this one.
    bool fresh() const { return m_fresh; }

private:
    AirDecoder m_decoder;
    bool m_fresh = true;
    quint64 m_serial = 0;
    qint64 m_freeAtNs = 0;
};

void checkTimings(const DecodedFrame &frame)
{
    for (const TimingCheck &timing : frame.timings) {
        require(!timing.name.isEmpty() && std::isfinite(timing.measuredUs) && timing.minUs <= timing.maxUs);
        require(!timing.text().isEmpty());
        timing.ok();
    }
}

void checkFrame(const DecodedFrame &frame, const AirExchange &exchange, DecodedFrame::Direction direction)
{
    require(frame.direction == direction && frame.serial == exchange.serial);
    require(!frame.meaning.isEmpty());
    require(frame.bitCount >= 0 && frame.firstByteBits >= 1 && frame.firstByteBits <= ByteBits);
    // Every bit is in the bytes, the first byte's beginning with the bits
    // of it that the reader sent.
    const int offset = ByteBits - frame.firstByteBits;
    require(frame.bytes.size() == (frame.bitCount + offset + ByteBits - 1) / ByteBits);
    const std::size_t onAir = direction == DecodedFrame::Direction::ReaderToCard ? exchange.sent.bits.size()
                                                                                 : exchange.received.bits.size();
    require(std::size_t(frame.bitCount) <= onAir);
    require(frame.endNs >= frame.timeNs || frame.endNs == 0);
    require(frame.traceLine().startsWith(direction == DecodedFrame::Direction::ReaderToCard ? QStringLiteral("→ ")
                                                                                            : QStringLiteral("← ")));
    frame.label();
    frame.hex();
    checkTimings(frame);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Input input(data, size);
    AirLog air;
    while (input.more()) {
        const AirExchange exchange = air.next(input);
        const std::vector<DecodedFrame> frames = air.decoder().decode(exchange);
        require(frames.size() == (exchange.received.empty() ? 1u : 2u));
        const DecodedFrame &request = frames.front();
        checkFrame(request, exchange, DecodedFrame::Direction::ReaderToCard);
        require(request.timeNs == exchange.startNs);
        // The reader's frame starts once the air is free; the first has
        // nothing before it.
        require(air.fresh() ? request.gapNs == -1 : request.gapNs >= -RoundingNs);
        if (frames.size() > 1) {
            const DecodedFrame &answer = frames.back();
            checkFrame(answer, exchange, DecodedFrame::Direction::CardToReader);
            require(answer.gapNs == -1 || answer.gapNs >= -RoundingNs);
        }
        require(AirDecoder::summary(frames).contains(QStringLiteral(" → ")));
    }
    return 0;
}
