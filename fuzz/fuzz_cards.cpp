// The virtual cards' command parsers, and what the bench's scope makes of
// their exchanges. A card of each kind (a MIFARE Classic 1K, and a 4K with
// a double-size UID) is first brought into one of its states (READY,
// ACTIVE, HALT, a MIFARE sector authenticated, a write's data phase due, an
// ISO 15693 tag quiet, selected, in a 16-slot inventory or holding an
// answer), then hears arbitrary frames: any coding, any bits, slot pulses,
// encrypted or not under the authenticated session, and authentications
// the reader runs with its own Crypto1, nested in the session when one is
// open. The reader's frames reach the card only when the air's settings let
// a card hear them, as on the chip. Every exchange goes through the air
// decoder, with the session's clear bits as the chip knows them, and the
// signal synthesis. None of it may crash, show undefined behaviour, or grow
// without bound.
//
// Input: the card's kind, the state to bring it to (for a tag, its top bit
// makes 1 out of 256 the tag's own coding), for a type A card made ACTIVE
// the block to authenticate or write, then frames, each a header byte
//   bits 0-2  coding: Miller, NRZ, 1 out of 4, 1 out of 256, other; 5 to 7
//             the card's own
//   bit 3     an end-of-frame pulse alone (no body follows)
//   bits 4-5  body: N raw bits; N bytes with odd parity; N bytes with the
//             coding's CRC; a 7-bit short frame
//   bit 6     encrypted under the reader's session, when there is one
//   bit 7     an extra byte follows: bit 0 the air's settings (7 bytes),
//             bit 1 the field off and on again, bit 2 N bits of another
//             card's answer superposed on this card's, bit 3 the reader
//             authenticates first: a byte (bit 0 key B, bit 1 a wrong
//             key) and the block
// then the body's length N and its bytes.

#include "aircommands.h"
#include "airtiming.h"
#include "chipregisters.h"
#include "crc16.h"
#include "crypto1.h"
#include "fuzzairsettings.h"
#include "iso15693tag.h"
#include "mifareclassiccard.h"
#include "signalsynthesis.h"
#include "typeacard.h"
#include "ultralightcard.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// No card answers more than a MIFARE block with its CRC, a parity bit
// after each byte.
constexpr std::size_t LongestAnswerBits = (MifareClassicCard::BlockSize + 2) * 9;
// What a scope may draw for one bit on the air: the reader's pauses, or a
// card's subcarrier over a whole ISO 15693 bit (16 periods, two edges
// each), with room for the frames' starts and ends.
constexpr std::size_t LevelChangesPerBit = 40;
constexpr std::size_t LevelChangesPerExchange = 200;

const QByteArray TypeAUid("\x04\xA2\x3B\x15", 4);
const QByteArray DoubleUid("\x04\xA2\x3B\x91\xC4\x2E\x80", 7);
constexpr quint64 TagSlot1 = 0xE004010866215731ull;
constexpr quint64 TagSlot10 = 0xE00700004E0D125Aull;
const Crypto1::Key TransportKey = { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF };
constexpr int NonceBits = 32;
constexpr int MifareBlocks1K = 64;
constexpr int MifareBlocks4K = 256;
constexpr std::size_t NonceFrameBits = 36;  // four bytes and their parity bits


AirSettings typeASettings()
{
    AirSettings settings;
    settings.txControl = TxControlBits::FieldOn;
    settings.coderControl = CoderControlBits::Miller106;
    settings.modWidth = ChipEeprom::FactoryStartUpSet[ChipReg::ModWidth - ChipEeprom::FirstRegisterLoaded];
    settings.cwConductance = ChipSetting::CwConductanceMaximum;
    settings.modConductance = ChipEeprom::FactoryStartUpSet[ChipReg::ModConductance - ChipEeprom::FirstRegisterLoaded];
    settings.mfoutSelect = MFOUTSelectBits::ModulationSignal;
    settings.channelRedundancy = ChannelRedundancyBits::OddParityNoCrc;
    return settings;
}

AirSettings vicinitySettings(AirCoding coding)
{
    AirSettings settings = typeASettings();
    settings.coderControl = coding == AirCoding::OneOutOf4 ? CoderControlBits::Iso15693OneOutOf4
                                                           : CoderControlBits::Iso15693OneOutOf256;
    settings.modWidth = ChipSetting::Iso15693ModWidth;
    settings.modConductance = ChipSetting::Iso15693ModConductance;
    settings.mfoutSelect = MFOUTSelectBits::ManchesterWithSubcarrier;
    settings.channelRedundancy = ChannelRedundancyBits::Iso15693Crc;
    return settings;
}

AirBits vicinityFrame(const QByteArray &body)
{
    QByteArray framed = body;
    const quint16 crc = Crc16::crc3309(reinterpret_cast<const quint8 *>(body.constData()), std::size_t(body.size()));
    framed.append(char(crc & 0xFF));
    framed.append(char(crc >> 8));
    return Air::plain(framed);
}

// The reader's side of the air: sends frames to the one card, keeps the
// session's cipher once a MIFARE sector is open, and shows every exchange
// on the scope.
class Reader
{
public:
    explicit Reader(VirtualCard &card) : m_card(card) {}

    std::optional<Crypto1> cipher;
    std::optional<AirSettings> customSettings;

    // Turns the card's answer, as the air carried it, into its clear bits;
    // nothing when the reader cannot read it.
    using Decipher = std::function<std::optional<AirBits>(const AirBits &)>;

    // The card's answer, deciphered when the frame went out enciphered.
    std::optional<AirBits> send(AirFrame frame, bool encrypt = false, const AirBits &otherAnswer = {})
    {
        if (!(encrypt && cipher))
            return exchange(std::move(frame), nullptr, false, otherAnswer);
        return sendEnciphered(std::move(frame), [this](const AirBits &answer) {
            AirBits clear = answer;
            cipher->decipher(clear, true);
            return std::optional<AirBits>(clear);
        });
    }

    // A frame the caller's cipher enciphers, its answer read by `decipher`;
    // an authentication's token when `token`.
    std::optional<AirBits> sendEnciphered(AirFrame frame, const Decipher &decipher, bool token = false,
                                          Crypto1 *tokenCipher = nullptr)
    {
        Crypto1 &enciphering = tokenCipher ? *tokenCipher : *cipher;
        const AirBits plain = frame.bits;
        enciphering.encipher(frame.bits, true, token ? Crypto1::NonceIntake { NonceBits, 0 } : Crypto1::NonceIntake {});
        Session session { plain, decipher, {} };
        exchange(std::move(frame), &session, token, {});
        return session.clearAnswer;
    }

    // The reader's nonce and answer of an authentication, enciphered by the
    // authentication's cipher as it takes the nonce in.
    std::optional<AirBits> sendToken(AirFrame frame, Crypto1 &tokenCipher, const Decipher &decipher)
    {
        return sendEnciphered(std::move(frame), decipher, true, &tokenCipher);
    }

    void finish()
    {
        check(SignalSynthesis::capture(m_scope.current()), m_scope.current());
    }

private:
    // An enciphered frame's clear bits, and its answer's as the reader read
    // them, for the decoder as the chip gives them.
    struct Session
    {
        AirBits plain;
        Decipher decipher;
        std::optional<AirBits> clearAnswer;
    };

    // The chip's account of whether a frame reached the card.
    static AirHearing hearingOf(const AirFrame &frame, const AirSettings &settings)
    {
        if (!(settings.txControl & TxControlBits::RFEnable))
            return AirHearing::FieldOff;
        if ((settings.txControl & TxControlBits::ModulatorSourceMask) != TxControlBits::ModulatorInternalCoder)
            return AirHearing::CoderMuted;
        return AirTiming::hearing(frame, settings);
    }

    std::optional<AirBits> exchange(AirFrame frame, Session *session, bool token, const AirBits &otherAnswer)
    {
        AirExchange exchange;
        exchange.serial = ++m_serial;
        exchange.startNs = m_clockNs;
        exchange.settings = customSettings ? *customSettings : settingsFor(frame.coding);
        exchange.encrypted = session != nullptr;
        exchange.authenticationToken = token;
        exchange.hearing = hearingOf(frame, exchange.settings);
        exchange.heard = exchange.hearing == AirHearing::Heard || exchange.hearing == AirHearing::NotModelled;
        std::optional<AirBits> answer = exchange.heard ? m_card.hear(frame) : std::nullopt;
        if (answer) {
            require(answer->size() <= LongestAnswerBits);
            for (quint8 bit : *answer)
                require(bit <= 1);
            // A tag answers whole bytes closed by their CRC, or nothing.
            QByteArray bytes;
            if (dynamic_cast<const Iso15693Tag *>(&m_card)) {
                require(Air::toPlainBytes(*answer, &bytes) && bytes.size() >= 3);
                const quint16 crc = Crc16::crc3309(reinterpret_cast<const quint8 *>(bytes.constData()),
                                                   std::size_t(bytes.size() - 2));
                require(quint8(bytes.at(bytes.size() - 2)) == quint8(crc) && quint8(bytes.at(bytes.size() - 1)) == quint8(crc >> 8));
            }
            exchange.received.bits = *answer;
            exchange.received.collided.assign(answer->size(), 0);
            exchange.received.answers = 1;
        }
        if (exchange.heard)
            superpose(exchange.received, otherAnswer);
        if (session) {
            exchange.plainKnown = true;
            exchange.plainSent = session->plain;
            if (answer && !answer->empty())
                session->clearAnswer = session->decipher(*answer);
            if (session->clearAnswer && !session->clearAnswer->empty()) {
                exchange.answerPlainKnown = true;
                exchange.plainReceived = *session->clearAnswer;
            }
        }
        exchange.sent = std::move(frame);
        const double durationUs = AirTiming::exchangeDurationUs(exchange);
        require(durationUs >= 0);
        // The real-time bench's FIFO gains the answer's bytes at these
        // moments: in order, within the exchange.
        const std::vector<double> byteTimes = AirTiming::answerByteTimes(exchange);
        require(std::is_sorted(byteTimes.begin(), byteTimes.end()));
        require(byteTimes.empty() || byteTimes.back() <= durationUs);
        m_clockNs += qint64(durationUs * 1000.0);
        show(exchange);
        return answer;
    }

    static AirSettings settingsFor(AirCoding coding)
    {
        if (coding == AirCoding::OneOutOf4 || coding == AirCoding::OneOutOf256)
            return vicinitySettings(coding);
        return typeASettings();
    }

    // A second card answering at once: where the two differ, a collision.
    static void superpose(Reception &reception, const AirBits &other)
    {
        if (other.empty())
            return;
        ++reception.answers;
        for (std::size_t i = 0; i < other.size(); ++i) {
            if (i < reception.bits.size()) {
                if (reception.bits[i] != other[i])
                    reception.collided[i] = 1;
                reception.bits[i] |= other[i];
            } else {
                reception.bits.push_back(other[i]);
                reception.collided.push_back(0);
            }
        }
    }

    void show(const AirExchange &exchange)
    {
        if (m_scope.add(exchange) && !m_scope.closed().empty())
            check(SignalSynthesis::capture(m_scope.closed()), m_scope.closed());
        require(m_scope.current().size() <= CaptureAssembler::MaxExchanges);
        const std::vector<DecodedFrame> &frames = m_scope.current().back().frames;
        require(!frames.empty() && frames.size() <= 2);
        // What the trace and the exchange list show of them.
        for (const DecodedFrame &frame : frames) {
            frame.traceLine();
            frame.label();
        }
    }

    static void check(const Capture &capture, const std::vector<DecodedExchange> &exchanges)
    {
        std::size_t bits = 0;
        for (const DecodedExchange &decoded : exchanges)
            bits += decoded.exchange.sent.bits.size() + decoded.exchange.received.bits.size();
        const std::size_t bound = LevelChangesPerBit * bits + LevelChangesPerExchange * exchanges.size();
        require(capture.antenna.times.size() <= bound);
        require(capture.mfout.times.size() <= bound);
        require(capture.bitStartsUs.size() <= bits);
        require(capture.bytes.size() <= bits);
        require(capture.durationUs >= 0);
        for (const Waveform *wave : { &capture.antenna, &capture.mfout }) {
            require(wave->times.size() == wave->levels.size());
            require(std::is_sorted(wave->times.begin(), wave->times.end()));
            for (float level : wave->levels)
                require(level >= 0.0f && level <= 1.0f);
        }
        for (const ByteMark &mark : capture.bytes)
            require(mark.startUs <= mark.endUs && mark.bits >= 1 && mark.bits <= 8);
        // The scope's read-out of the levels, at the trigger and the end.
        capture.antenna.levelAt(capture.triggerUs);
        capture.mfout.levelAt(capture.durationUs);
    }

    VirtualCard &m_card;
    CaptureAssembler m_scope;
    quint64 m_serial = 0;
    qint64 m_clockNs = 0;
};

AirFrame typeA(const AirBits &bits)
{
    return AirFrame { AirCoding::ModifiedMiller, bits, false };
}

AirFrame shortFrame(quint8 command)
{
    AirBits bits;
    Air::appendByte(bits, command, TypeACommand::ShortFrameBits);
    return typeA(bits);
}

// REQA, then the anticollision and SELECT of each cascade level, the UID
// taken from the card's own answers. True once the card is ACTIVE.
bool activate(Reader &reader)
{
    if (!reader.send(shortFrame(TypeACommand::Reqa)))
        return false;
    for (quint8 select : { TypeACommand::SelectCascadeLevel1, TypeACommand::SelectCascadeLevel2 }) {
        const std::optional<AirBits> uid = reader.send(typeA(Air::withOddParity(QByteArray(1, char(select)) + char(TypeACommand::NvbAnticollision))));
        if (!uid)
            return false;
        const Air::ParityFrame cascade = Air::splitOddParity(*uid);
        QByteArray command;
        command.append(char(select));
        command.append(char(TypeACommand::NvbSelect));
        const std::optional<AirBits> sak = reader.send(typeA(TypeACard::withCrc(command + cascade.bytes)));
        QByteArray sakBytes;
        if (!sak || !TypeACard::takeFrameWithCrc(*sak, &sakBytes) || sakBytes.isEmpty())
            return false;
        if (!(quint8(sakBytes.at(0)) & TypeACommand::SakUidNotComplete))
            return true;
    }
    return false;
}

// The reader's half of a MIFARE authentication, nested in the session when
// one is open: the AUTH command goes out enciphered, and the card's nonce
// comes enciphered by a fresh start of the cipher from the new key, which
// takes in the UID and the nonce as it deciphers it. The reader's cipher is
// the session's from then on, and there is none when the card did not
// prove it holds the key. The card's nonce is set, so that each input
// plays out the same. True when the card proved it.
bool authenticate(Reader &reader, MifareClassicCard &card, quint8 block, bool keyB = false,
                  const Crypto1::Key &key = TransportKey)
{
    constexpr quint32 CardNonce = 0x82A4166C;
    constexpr quint32 ReaderNonce = 0x1D2C3B4A;
    card.setNextNonce(CardNonce);
    QByteArray command;
    command.append(char(keyB ? MifareCommand::AuthenticateKeyB : MifareCommand::AuthenticateKeyA));
    command.append(char(block));
    const bool nested = reader.cipher.has_value();
    Crypto1 cipher;
    cipher.loadKey(key);
    std::optional<AirBits> nonceBits;
    if (nested) {
        nonceBits = reader.sendEnciphered(typeA(TypeACard::withCrc(command)), [&](const AirBits &answer) {
            // A NAK comes under the session's cipher.
            AirBits clear = answer;
            if (answer.size() == NonceFrameBits)
                cipher.decipher(clear, true, { NonceBits, card.cipherUid() });
            else
                reader.cipher->decipher(clear, true);
            return std::optional<AirBits>(clear);
        });
    } else {
        nonceBits = reader.send(typeA(TypeACard::withCrc(command)));
    }
    if (!nonceBits || nonceBits->size() != NonceFrameBits) {
        reader.cipher.reset();
        return false;
    }
    const Air::ParityFrame nonce = Air::splitOddParity(*nonceBits);
    const quint32 cardNonce = Crypto1::wordAt(nonce.bytes, 0);
    if (!nested)
        cipher.feedWord(card.cipherUid() ^ cardNonce);
    const AirBits cardToken = Air::withOddParity(Crypto1::wordBytes(Crypto1::cardAnswer(cardNonce)));
    const AirBits token = Air::withOddParity(Crypto1::wordBytes(ReaderNonce) + Crypto1::wordBytes(Crypto1::readerAnswer(cardNonce)));
    // The chip reads the card's answer only when it deciphers to the
    // card's token.
    const std::optional<AirBits> answer = reader.sendToken(typeA(token), cipher, [&](const AirBits &bits) {
        AirBits clear = bits;
        cipher.decipher(clear, true);
        return clear == cardToken ? std::optional<AirBits>(clear) : std::nullopt;
    });
    reader.cipher = answer ? std::optional<Crypto1>(cipher) : std::nullopt;
    return answer.has_value();
}

// The key the card holds for the block's sector (written over, perhaps, by
// the input), or one it does not hold.
Crypto1::Key sectorKey(const MifareClassicCard &card, int block, bool keyB, bool wrong)
{
    constexpr int KeyBAt = 10;
    Crypto1::Key key = TransportKey;
    if (block < card.blockCount()) {
        const QByteArray trailer = card.block(MifareClassicCard::trailerOf(block));
        for (std::size_t i = 0; i < key.size(); ++i)
            key[i] = quint8(trailer.at((keyB ? KeyBAt : 0) + int(i)));
    }
    if (wrong)
        key[0] ^= 1;
    return key;
}

// An authentication the input asks for, at any moment: the card must prove
// nothing with a key it does not hold, and a proof opens the block's sector.
void authenticateNow(Reader &reader, VirtualCard &card, FuzzInput &input)
{
    const quint8 choice = input.next();
    const quint8 block = input.next();
    auto *classic = dynamic_cast<MifareClassicCard *>(&card);
    if (!classic)
        return;
    const bool keyB = choice & 1;
    const bool wrong = choice & 2;
    const bool proved = authenticate(reader, *classic, block, keyB, sectorKey(*classic, block, keyB, wrong));
    if (wrong)
        require(!proved);
    if (proved)
        require(classic->authenticatedSector() == MifareClassicCard::sectorOf(block));
}

void prepareTypeA(Reader &reader, TypeACard &card, int state, FuzzInput &input)
{
    enum { Off, Idle, Ready, ReadyLevel2, Active, Halted, Authenticated, WriteDue, States };
    state %= States;
    if (state == Off)
        return;
    card.fieldOn();
    if (state == Ready) {
        reader.send(shortFrame(TypeACommand::Reqa));
    } else if (state == ReadyLevel2) {
        reader.send(shortFrame(TypeACommand::Reqa));
        const std::optional<AirBits> uid = reader.send(typeA(Air::withOddParity(QByteArray("\x93\x20"))));
        if (uid)
            reader.send(typeA(TypeACard::withCrc(QByteArray("\x93\x70") + Air::splitOddParity(*uid).bytes)));
    } else if (state >= Active) {
        if (!activate(reader))
            return;
        auto *classic = dynamic_cast<MifareClassicCard *>(&card);
        const quint8 block = quint8(classic ? input.next() % classic->blockCount() : input.next());
        if (state == Halted)
            reader.send(typeA(TypeACard::withCrc(QByteArray("\x50\x00", 2))));
        else if (state >= Authenticated && classic && !authenticate(reader, *classic, block))
            return;
        if (state == WriteDue) {
            QByteArray write;
            write.append(char(MifareCommand::Write));
            write.append(char(block));
            reader.send(typeA(TypeACard::withCrc(write)), true);
        }
    }
}

void prepareTag(Reader &reader, Iso15693Tag &tag, int state)
{
    using namespace VicinityCommand;
    enum { Off, Ready, Quiet, Selected, InventoryUnderWay, AnswerHeld, States };
    state %= States;
    if (state == Off)
        return;
    tag.fieldOn();
    const auto send = [&](const QByteArray &body) {
        reader.send(AirFrame { AirCoding::OneOutOf4, vicinityFrame(body), false });
    };
    QByteArray addressed;
    addressed.append(char(FlagDataRate | FlagAddress));
    switch (state) {
    case Quiet:
        send(addressed + char(StayQuiet) + tag.uidBytes());
        break;
    case Selected:
        send(addressed + char(Select) + tag.uidBytes());
        break;
    case InventoryUnderWay:
        // No mask: the tag answers in the slot of its UID's low nibble.
        send(QByteArray(1, char(FlagDataRate | FlagInventory)) + char(Inventory) + char(0));
        break;
    case AnswerHeld:
        send(QByteArray(1, char(FlagDataRate | FlagOption)) + char(WriteSingleBlock) + char(0) + QByteArray("TAGB"));
        break;
    default:
        break;
    }
}

AirCoding codingOf(int code, AirCoding own)
{
    switch (code) {
    case 0: return AirCoding::ModifiedMiller;
    case 1: return AirCoding::Nrz;
    case 2: return AirCoding::OneOutOf4;
    case 3: return AirCoding::OneOutOf256;
    case 4: return AirCoding::Other;
    default: return own;
    }
}

void hearFrames(Reader &reader, VirtualCard &card, AirCoding own, FuzzInput &input)
{
    while (input.more()) {
        const quint8 header = input.next();
        AirBits otherAnswer;
        if (header & 0x80) {
            const quint8 extra = input.next();
            if (extra & 1) {
                reader.customSettings = airSettingsFrom(input);
            }
            if (extra & 2) {
                // Out of the field a card has no power: it answers nothing,
                // and comes back in its first state.
                card.fieldOff();
                AirFrame wakeUp = shortFrame(TypeACommand::Wupa);
                wakeUp.coding = own;
                require(!card.hear(wakeUp));
                require(!card.hear(AirFrame { own, {}, true }));
                card.fieldOn();
                reader.cipher.reset();
            }
            if (extra & 4)
                otherAnswer = input.bits<AirBits>(input.next());
            if (extra & 8)
                authenticateNow(reader, card, input);
        }
        AirFrame frame;
        frame.coding = codingOf(header & 0x07, own);
        frame.slotPulse = header & 0x08;
        if (!frame.slotPulse) {
            const int length = input.next();
            switch ((header >> 4) & 0x03) {
            case 0:
                frame.bits = input.bits<AirBits>(length);
                break;
            case 1:
                frame.bits = Air::withOddParity(input.bytes(length));
                break;
            case 2:
                frame.bits = frame.coding == AirCoding::ModifiedMiller ? TypeACard::withCrc(input.bytes(length))
                                                                       : vicinityFrame(input.bytes(length));
                break;
            default:
                Air::appendByte(frame.bits, quint8(length), TypeACommand::ShortFrameBits);
                break;
            }
        }
        reader.send(std::move(frame), header & 0x40, otherAnswer);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput input(data, size);
    const int kind = input.next() % 7;
    const int state = input.next();

    std::unique_ptr<VirtualCard> card;
    switch (kind) {
    case 0: card = std::make_unique<TypeACard>(TypeAUid, QByteArray("\x04\x00", 2), 0x20); break;
    case 1: card = std::make_unique<TypeACard>(DoubleUid, QByteArray("\x44\x00", 2), 0x00); break;
    case 2: card = std::make_unique<MifareClassicCard>(TypeAUid); break;
    case 3: card = std::make_unique<UltralightCard>(DoubleUid); break;
    case 4: card = std::make_unique<Iso15693Tag>(TagSlot1, 0x00, 0x00); break;
    case 5: card = std::make_unique<Iso15693Tag>(TagSlot10, 0x05, 0x12); break;
    default: card = std::make_unique<MifareClassicCard>(DoubleUid, MifareClassicCard::Size::Classic4K); break;
    }
    Reader reader(*card);
    AirCoding own = AirCoding::ModifiedMiller;
    if (auto *tag = dynamic_cast<Iso15693Tag *>(card.get())) {
        prepareTag(reader, *tag, state & 0x7F);
        own = (state & 0x80) ? AirCoding::OneOutOf256 : AirCoding::OneOutOf4;
    } else {
        prepareTypeA(reader, static_cast<TypeACard &>(*card), state, input);
    }
    hearFrames(reader, *card, own, input);
    reader.finish();
    // Whatever was written, a MIFARE card keeps its blocks and their size.
    if (auto *classic = dynamic_cast<MifareClassicCard *>(card.get())) {
        require(classic->blockCount() == (kind == 2 ? MifareBlocks1K : MifareBlocks4K));
        for (int block = 0; block < classic->blockCount(); ++block)
            require(classic->block(block).size() == MifareClassicCard::BlockSize);
    }
    return 0;
}
