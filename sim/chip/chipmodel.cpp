#include "chipmodel.h"

#include "chipregisters.h"
#include "airtiming.h"
#include "crc16.h"

#include <QRandomGenerator>

#include <chrono>

namespace {

using namespace ErrorFlagBits;
using ChipReg::isPageRegister;
using ChipEeprom::RegisterSetSize;
using ChipEeprom::StartUpSetAddress;
using ChipEeprom::KeyAreaStart;

constexpr std::size_t AirLogLimit = 256;
// What Control keeps of a write: StandBy and PowerDown. FlushFIFO acts and
// is gone; Crypto1On only the chip sets.
constexpr quint8 ControlKeptBits = ControlBits::StandBy | ControlBits::PowerDown;
// Authent1's FIFO arguments: the command, the block, the UID's four bytes.
constexpr int AuthentArgumentCount = 6;
constexpr int AuthentUidAt = 2;
constexpr int NonceBits = 32;
constexpr int NonceBytes = 4;
constexpr int ByteWithParityBits = 9;

bool isReadOnly(quint8 address)
{
    switch (address) {
    case ChipReg::PrimaryStatus:
    case ChipReg::FIFOLength:
    case ChipReg::SecondaryStatus:
    case ChipReg::ErrorFlag:
    case ChipReg::CollPos:
    case ChipReg::TimerValue:
    case ChipReg::CRCResultLSB:
    case ChipReg::CRCResultMSB:
        return true;
    default:
        return false;
    }
}

} // namespace

ChipModel::ChipModel()
    : m_clock(steadyClock())
    , m_lastHandshakeNs(m_clock())
{
    const auto &factorySet = ChipEeprom::FactoryStartUpSet;
    std::copy(factorySet.begin(), factorySet.end(), m_eeprom.begin() + StartUpSetAddress);
    powerUp();
}

void ChipModel::powerUp()
{
    m_registers.fill(0);
    for (int i = 0; i < RegisterSetSize; ++i) {
        const quint8 address = quint8(ChipEeprom::FirstRegisterLoaded + i);
        if (!isPageRegister(address))
            reg(address) = m_eeprom[std::size_t(StartUpSetAddress + i)];
    }
    m_page = PageBits::LinearAddressing;
    m_command = ChipCmd::Idle;
    m_fifo.clear();
    m_key.fill(0);
    m_crypto1On = false;
    m_authPending = false;
    applyTxControl();
}

quint8 ChipModel::resolve(quint8 address) const
{
    address &= ChipReg::AddressMask;  // six address lines
    if (isPageRegister(address))
        return address;
    // With UsePageSelect the Page register gives the upper address bits;
    // with it clear the address is taken whole (linear addressing).
    if (m_page & PageBits::UsePageSelect)
        return quint8(((m_page & PageBits::PageSelectMask) << 3) | (address & ChipReg::PageRegisterMask));
    return address;
}

// ---------------------------------------------------------------------------
// Register access

quint8 ChipModel::read(quint8 address)
{
    catchUp();
    if (resolve(address) == ChipReg::FIFOData)
        return popFifo();
    return peek(address);
}

quint8 ChipModel::peek(quint8 address) const
{
    const quint8 at = resolve(address);
    if (isPageRegister(at))
        return m_page;
    switch (at) {
    case ChipReg::Command:
        return m_command;
    case ChipReg::FIFOData:
        return m_fifo.empty() ? 0 : m_fifo.front();
    case ChipReg::PrimaryStatus: {
        const int waterLevel = reg(ChipReg::FIFOLevel) & FIFOLevelBits::WaterLevelMask;
        const int length = int(m_fifo.size());
        quint8 status = 0;
        if (length <= waterLevel)
            status |= PrimaryStatusBits::LoAlert;
        if (FifoSize - length <= waterLevel)
            status |= PrimaryStatusBits::HiAlert;
        if (reg(ChipReg::ErrorFlag) & AllErrors)
            status |= PrimaryStatusBits::Err;
        if (reg(ChipReg::InterruptRq) & reg(ChipReg::InterruptEn) & InterruptBits::SourcesMask)
            status |= PrimaryStatusBits::IRq;
        return status;
    }
    case ChipReg::FIFOLength:
        return quint8(m_fifo.size());
    case ChipReg::Control:
        return quint8((reg(at) & ControlKeptBits) | (m_crypto1On ? ControlBits::Crypto1On : 0));
    case ChipReg::TimerValue:
        return 0;
    default:
        return reg(at);
    }
}

void ChipModel::write(quint8 address, quint8 value)
{
    catchUp();
    const quint8 at = resolve(address);
    if (isPageRegister(at)) {
        m_page = value;
        return;
    }
    if (isReadOnly(at))
        return;
    switch (at) {
    case ChipReg::Command:
        startCommand(value & ChipCmd::CodeMask);
        break;
    case ChipReg::FIFOData:
        pushFifo(value);
        resumeCommand();
        break;
    case ChipReg::Control:
        writeControl(value);
        break;
    case ChipReg::InterruptEn:
    case ChipReg::InterruptRq:
        writeInterrupt(at, value);
        break;
    case ChipReg::TxControl:
        reg(at) = value;
        applyTxControl();
        break;
    default:
        reg(at) = value;
        break;
    }
}

void ChipModel::writeControl(quint8 value)
{
    if (value & ControlBits::FlushFIFO)
        flushFifo();
    // Crypto1On is set only by a successful Authent2; software can only
    // clear it, and any write with the bit clear does.
    if (!(value & ControlBits::Crypto1On))
        m_crypto1On = false;
    reg(ChipReg::Control) = value & ControlKeptBits;
}

void ChipModel::writeInterrupt(quint8 address, quint8 value)
{
    const quint8 bits = value & InterruptBits::SourcesMask;
    if (value & InterruptBits::SetBits)
        reg(address) |= bits;
    else
        reg(address) &= quint8(~bits);
}

void ChipModel::applyTxControl()
{
    m_field.setPowered((reg(ChipReg::TxControl) & TxControlBits::RFEnable) != 0);
}

// ---------------------------------------------------------------------------
// FIFO

void ChipModel::pushFifo(quint8 byte)
{
    if (int(m_fifo.size()) >= FifoSize) {
        reg(ChipReg::ErrorFlag) |= FIFOOvfl;  // the byte is lost
        return;
    }
    m_fifo.push_back(byte);
}

quint8 ChipModel::popFifo()
{
    if (m_fifo.empty())
        return 0;
    const quint8 byte = m_fifo.front();
    m_fifo.pop_front();
    return byte;
}

void ChipModel::flushFifo()
{
    m_fifo.clear();
    reg(ChipReg::ErrorFlag) &= quint8(~FIFOOvfl);
}

QByteArray ChipModel::takeFifo(int count)
{
    QByteArray bytes;
    while (count-- > 0 && !m_fifo.empty())
        bytes.append(char(popFifo()));
    return bytes;
}

QByteArray ChipModel::fifo() const
{
    QByteArray bytes;
    for (quint8 byte : m_fifo)
        bytes.append(char(byte));
    return bytes;
}

// ---------------------------------------------------------------------------
// Commands

void ChipModel::startCommand(quint8 code)
{
    // Writing a command stops the one running, and what it had yet to
    // receive is lost; the errors of the last command go, except a FIFO
    // overflow, which only a flush clears.
    m_running.reset();
    m_command = code;
    switch (code) {
    case ChipCmd::Idle:
        finishCommand(0);
        return;
    case ChipCmd::LoadConfig:
    case ChipCmd::LoadKey:
    case ChipCmd::Authent1:
    case ChipCmd::Authent2:
    case ChipCmd::Transmit:
    case ChipCmd::Transceive:
        reg(ChipReg::ErrorFlag) &= FIFOOvfl;
        if (code == ChipCmd::Transceive && m_fifo.empty()
            && (reg(ChipReg::CoderControl) & CoderControlBits::SendOnePulse)) {
            transmit(true);  // only the end-of-frame pulse, then listen
            return;
        }
        if (code == ChipCmd::Authent2) {
            authent2();
            return;
        }
        resumeCommand();
        return;
    default:
        // A command the bench never sends (EEPROM access, CalcCRC, ...):
        // not modelled, the chip stays idle.
        finishCommand(0);
        return;
    }
}

void ChipModel::resumeCommand()
{
    // Commands that take arguments from the FIFO wait until the host has
    // written them all; Transmit and Transceive start on the first byte.
    // One already on the air takes no more.
    if (m_running)
        return;
    const int available = int(m_fifo.size());
    switch (m_command) {
    case ChipCmd::LoadConfig:
        if (available >= 2)
            loadConfig();
        break;
    case ChipCmd::LoadKey:
        if (available >= ChipEeprom::CodedKeyLength)
            loadKey();
        break;
    case ChipCmd::Authent1:
        if (available >= AuthentArgumentCount)
            authent1();
        break;
    case ChipCmd::Transmit:
        if (available > 0)
            transmit(false);
        break;
    case ChipCmd::Transceive:
        if (available > 0)
            transmit(true);
        break;
    default:
        break;
    }
}

void ChipModel::finishCommand(quint8 irqs)
{
    m_command = ChipCmd::Idle;
    reg(ChipReg::InterruptRq) |= quint8(irqs | InterruptBits::Idle);
}

void ChipModel::loadConfig()
{
    const QByteArray address = takeFifo(2);
    const int start = quint8(address.at(0)) | (quint8(address.at(1)) << 8);
    if (start < StartUpSetAddress || start + RegisterSetSize > KeyAreaStart) {
        reg(ChipReg::ErrorFlag) |= AccessErr;
        finishCommand(0);
        return;
    }
    for (int i = 0; i < RegisterSetSize; ++i) {
        const quint8 target = quint8(ChipEeprom::FirstRegisterLoaded + i);
        if (!isPageRegister(target))
            reg(target) = m_eeprom[std::size_t(start + i)];
    }
    applyTxControl();
    finishCommand(0);
}

void ChipModel::loadKey()
{
    // Twelve bytes, two per key byte (high nibble first); each holds its
    // nibble in the low half and the nibble's complement in the high half.
    const QByteArray coded = takeFifo(ChipEeprom::CodedKeyLength);
    Crypto1::Key key {};
    for (int i = 0; i < ChipEeprom::CodedKeyLength; ++i) {
        const quint8 byte = quint8(coded.at(i));
        const quint8 nibble = byte & ChipEeprom::NibbleMask;
        if ((byte >> 4) != (nibble ^ ChipEeprom::NibbleMask)) {
            reg(ChipReg::ErrorFlag) |= KeyErr;  // the key buffer keeps its old key
            finishCommand(0);
            return;
        }
        key[std::size_t(i / 2)] |= quint8(i % 2 == 0 ? nibble << 4 : nibble);
    }
    m_key = key;
    finishCommand(0);
}

void ChipModel::authent1()
{
    // FIFO: authentication command, block, then the card's four UID bytes,
    // which only go into the cipher; the first two go to the card.
    const QByteArray arguments = takeFifo(AuthentArgumentCount);
    m_authPending = false;
    m_authUid = Crypto1::wordAt(arguments, AuthentUidAt);
    const bool nested = m_crypto1On;
    const bool parity = parityOn();

    AirFrame frame;
    frame.coding = coding();
    frame.bits = encode(arguments.left(AuthentUidAt));
    reg(ChipReg::BitFraming) &= quint8(~BitFramingBits::TxLastBitsMask);
    const AirBits plain = nested ? frame.bits : AirBits();
    if (nested)
        m_cipher.encipher(frame.bits, parity);  // a nested authentication goes out encrypted
    Reception reception = sendOnAir(frame, nested);
    if (nested) {
        decipherNestedNonce(reception.bits, parity);
        notePlaintext(plain, reception.bits);
    }
    Running running = runningFor(m_airLog.back(), receivedIrqs(reception));
    running.receives = true;
    running.received = decode(reception);
    // The nonce stays with the chip: nothing reaches the FIFO.
    const QByteArray nonce = running.received.bytes;
    running.received.bytes.clear();
    if (nonce.size() == NonceBytes && running.received.clean()) {
        m_cardNonce = Crypto1::wordAt(nonce, 0);
        if (!nested) {
            m_cipher.loadKey(m_key);
            m_cipher.feedWord(m_authUid ^ m_cardNonce);
        }
        m_authPending = true;
    }
    finishAfterAir(std::move(running));
}

void ChipModel::decipherNestedNonce(AirBits &bits, bool parity)
{
    // The card answers with its nonce enciphered by a fresh start from the
    // new sector's key: the chip starts its cipher the same way and takes
    // in the UID and the nonce as it deciphers them. Any other answer (a
    // NAK) comes under the session's cipher.
    const std::size_t nonceFrameBits = std::size_t(parity ? NonceBytes * ByteWithParityBits : NonceBits);
    if (bits.size() != nonceFrameBits) {
        m_cipher.decipher(bits, parity);
        return;
    }
    m_cipher.loadKey(m_key);
    m_cipher.decipher(bits, parity, { NonceBits, m_authUid });
}

void ChipModel::authent2()
{
    m_crypto1On = false;
    if (!m_authPending) {
        // No card nonce to answer: nothing goes on the air.
        finishCommand(InterruptBits::Timer);
        return;
    }
    m_authPending = false;

    // The reader's nonce, from the chip's own generator, and its answer to
    // the card's; the state takes in the reader's nonce as it goes out.
    const quint32 readerNonce = QRandomGenerator::global()->generate();
    QByteArray token;
    token += Crypto1::wordBytes(readerNonce);
    token += Crypto1::wordBytes(Crypto1::readerAnswer(m_cardNonce));

    AirFrame frame;
    frame.coding = coding();
    frame.bits = encode(token);
    reg(ChipReg::BitFraming) &= quint8(~BitFramingBits::TxLastBitsMask);
    const bool parity = parityOn();
    const AirBits plain = frame.bits;
    m_cipher.encipher(frame.bits, parity, { NonceBits, 0 });

    Reception reception = sendOnAir(frame, true, true);
    m_cipher.decipher(reception.bits, parity);
    Running running = runningFor(m_airLog.back(), receivedIrqs(reception));
    running.receives = true;
    running.received = decode(reception);
    const QByteArray answer = running.received.bytes;
    running.received.bytes.clear();
    running.crypto1OnAtEnd = answer.size() == NonceBytes && running.received.clean()
        && Crypto1::wordAt(answer, 0) == Crypto1::cardAnswer(m_cardNonce);
    // An answer that does not decipher to the card's token is none the
    // chip can read: the card holds another key, or another card answered.
    notePlaintext(plain, running.crypto1OnAtEnd ? std::optional<AirBits>(reception.bits) : std::nullopt);
    finishAfterAir(std::move(running));
}

bool ChipModel::parityOn() const
{
    return reg(ChipReg::ChannelRedundancy) & ChannelRedundancyBits::ParityEn;
}

void ChipModel::transmit(bool thenReceive)
{
    AirFrame frame;
    frame.coding = coding();
    const QByteArray bytes = takeFifo(FifoSize);
    if (bytes.isEmpty())
        frame.slotPulse = true;
    else
        frame.bits = encode(bytes);
    // TxLastBits is spent once the frame is out.
    reg(ChipReg::BitFraming) &= quint8(~BitFramingBits::TxLastBitsMask);

    const AirBits plain = m_crypto1On ? frame.bits : AirBits();
    if (m_crypto1On)
        m_cipher.encipher(frame.bits, parityOn());
    Reception reception = sendOnAir(frame, m_crypto1On);
    if (!thenReceive) {
        if (m_crypto1On)
            notePlaintext(plain, std::nullopt);  // the chip does not listen: the answer stays unread
        // Transmit is over once the frame is out; what answers is not heard.
        AirExchange sentOnly = m_airLog.back();
        sentOnly.received = Reception();
        Running running = runningFor(sentOnly, InterruptBits::Tx);
        running.endNs = sentOnly.startNs
            + qint64(AirTiming::readerShape(sentOnly.sent, sentOnly.settings).endUs * 1000.0);
        finishAfterAir(std::move(running));
        return;
    }
    if (m_crypto1On) {
        m_cipher.decipher(reception.bits, parityOn());
        notePlaintext(plain, reception.bits);
    }
    Running running = runningFor(m_airLog.back(), receivedIrqs(reception));
    running.receives = true;
    running.received = decode(reception);
    finishAfterAir(std::move(running));
}

void ChipModel::notePlaintext(const AirBits &sent, const std::optional<AirBits> &answer)
{
    AirExchange &exchange = m_airLog.back();
    exchange.plainKnown = true;
    exchange.plainSent = sent;
    if (answer && !answer->empty()) {
        exchange.answerPlainKnown = true;
        exchange.plainReceived = *answer;
    }
}

quint8 ChipModel::receivedIrqs(const Reception &reception)
{
    return quint8(InterruptBits::Tx | (reception.empty() ? InterruptBits::Timer : InterruptBits::Rx));
}

// ---------------------------------------------------------------------------
// The air

AirCoding ChipModel::coding() const
{
    const quint8 coder = reg(ChipReg::CoderControl);
    const int txCoding = coder & CoderControlBits::TxCodingMask;
    const int rate = coder & CoderControlBits::CoderRateMask;
    if (txCoding == CoderControlBits::TxCodingNRZ)
        return AirCoding::Nrz;
    if (txCoding == CoderControlBits::TxCodingMiller && rate == CoderControlBits::CoderRateTypeA106)
        return AirCoding::ModifiedMiller;
    if (rate == CoderControlBits::CoderRateIso15693 && txCoding == CoderControlBits::TxCoding1OutOf4)
        return AirCoding::OneOutOf4;
    if (rate == CoderControlBits::CoderRateIso15693 && txCoding == CoderControlBits::TxCoding1OutOf256)
        return AirCoding::OneOutOf256;
    return AirCoding::Other;
}

bool ChipModel::coderReachesAntenna() const
{
    // With the modulator fed a constant level instead of the coder, the
    // carrier carries no data at all.
    return (reg(ChipReg::TxControl) & TxControlBits::ModulatorSourceMask) == TxControlBits::ModulatorInternalCoder;
}

quint16 ChipModel::crc(const QByteArray &bytes) const
{
    const quint16 preset = quint16(reg(ChipReg::CRCPresetLSB) | (reg(ChipReg::CRCPresetMSB) << 8));
    const bool complement = reg(ChipReg::ChannelRedundancy) & ChannelRedundancyBits::CRC3309;
    return Crc16::compute(reinterpret_cast<const quint8 *>(bytes.constData()),
                          std::size_t(bytes.size()), preset, complement);
}

AirBits ChipModel::encode(const QByteArray &bytes) const
{
    const quint8 redundancy = reg(ChipReg::ChannelRedundancy);
    QByteArray out = bytes;
    if ((redundancy & ChannelRedundancyBits::TxCRCEn) && !(redundancy & ChannelRedundancyBits::CRC8)) {
        const quint16 value = crc(bytes);
        out.append(char(quint8(value)));
        out.append(char(value >> 8));
    }
    const int lastBits = reg(ChipReg::BitFraming) & BitFramingBits::TxLastBitsMask;
    const bool parity = redundancy & ChannelRedundancyBits::ParityEn;
    const bool odd = redundancy & ChannelRedundancyBits::ParityOdd;

    AirBits bits;
    for (int i = 0; i < out.size(); ++i) {
        const quint8 byte = quint8(out.at(i));
        const int count = (i == out.size() - 1 && lastBits) ? lastBits : 8;
        Air::appendByte(bits, byte, count);
        // A byte cut short by TxLastBits carries no parity bit.
        if (parity && count == 8)
            bits.push_back(quint8(Air::oddParityBit(byte) == odd ? 1 : 0));
    }
    return bits;
}

AirSettings ChipModel::airSettings() const
{
    AirSettings settings;
    settings.txControl = reg(ChipReg::TxControl);
    settings.coderControl = reg(ChipReg::CoderControl);
    settings.modWidth = reg(ChipReg::ModWidth);
    settings.cwConductance = reg(ChipReg::CwConductance);
    settings.modConductance = reg(ChipReg::ModConductance);
    settings.mfoutSelect = reg(ChipReg::MFOUTSelect);
    settings.channelRedundancy = reg(ChipReg::ChannelRedundancy);
    return settings;
}

Reception ChipModel::sendOnAir(AirFrame frame, bool encrypted, bool authenticationToken)
{
    AirExchange exchange;
    exchange.serial = ++m_exchangeCount;
    exchange.settings = airSettings();
    exchange.encrypted = encrypted;
    exchange.authenticationToken = authenticationToken;
    exchange.hearing = !m_field.powered() ? AirHearing::FieldOff
        : !coderReachesAntenna()            ? AirHearing::CoderMuted
                                            : AirTiming::hearing(frame, exchange.settings);
    // A tag takes in a request for an answer the bench does not draw; it
    // only stays silent.
    exchange.heard = exchange.hearing == AirHearing::Heard || exchange.hearing == AirHearing::NotModelled;
    if (exchange.heard)
        exchange.received = m_field.exchange(frame);
    exchange.sent = std::move(frame);
    // The air carries one frame at a time, and the reader's next frame keeps
    // the guard time the standard puts after the last: one the host starts
    // earlier goes out then.
    exchange.startNs = std::max(airNow(), m_nextFrameAtNs);
    m_nextFrameAtNs = exchange.startNs + qint64(AirTiming::nextFrameEarliestUs(exchange) * 1000.0);
    m_airClockNs = std::max(m_airClockNs, exchange.startNs - (m_clock() - m_lastHandshakeNs));
    if (m_airLog.size() == AirLogLimit)
        m_airLog.pop_front();
    m_airLog.push_back(exchange);
    return exchange.received;
}

void ChipModel::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : steadyClock();
    m_nextFrameAtNs = 0;
    m_airClockNs = 0;
    m_lastHandshakeNs = m_clock();
}

void ChipModel::passLineTime(qint64 lineNs)
{
    const qint64 now = m_clock();
    m_airClockNs += std::max(lineNs, now - m_lastHandshakeNs);
    m_lastHandshakeNs = now;
}

qint64 ChipModel::airNow() const
{
    // The real-time bench paces the line itself: its clock is the air's.
    if (m_realTime)
        return m_clock();
    return m_airClockNs + (m_clock() - m_lastHandshakeNs);
}

ChipModel::Clock ChipModel::steadyClock()
{
    const auto origin = std::chrono::steady_clock::now();
    return [origin] {
        return qint64(std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - origin)
                          .count());
    };
}

ChipModel::Received ChipModel::decode(const Reception &reception)
{
    const quint8 redundancy = reg(ChipReg::ChannelRedundancy);
    const bool parity = redundancy & ChannelRedundancyBits::ParityEn;
    const bool odd = redundancy & ChannelRedundancyBits::ParityOdd;
    const int rxAlign = (reg(ChipReg::BitFraming) & BitFramingBits::RxAlignMask) >> BitFramingBits::RxAlignShift;
    // RxAlign is spent once the reception is under way.
    reg(ChipReg::BitFraming) &= quint8(~BitFramingBits::RxAlignMask);
    Received received;

    QByteArray bytes;
    quint8 errors = 0;
    int collisionPosition = 0;  // 1 for the first bit of the first FIFO byte
    quint8 current = 0;
    int bitInByte = rxAlign;    // the first received bit lands at RxAlign
    int bitsInCurrent = 0;
    const std::size_t count = reception.bits.size();

    for (std::size_t i = 0; i < count;) {
        if (reception.collided[i] && collisionPosition == 0)
            collisionPosition = int(bytes.size()) * 8 + bitInByte + 1;
        current |= quint8((reception.bits[i] & 1) << bitInByte);
        ++bitInByte;
        ++bitsInCurrent;
        ++i;
        if (bitInByte < 8)
            continue;
        bytes.append(char(current));
        if (parity) {
            if (i < count) {
                // The card's parity covers its whole byte, part of which the
                // reader sent: an aligned first byte cannot be checked.
                const bool aligned = bytes.size() == 1 && rxAlign > 0;
                const quint8 expected = Air::oddParityBit(current) == odd ? 1 : 0;
                if (!aligned && reception.bits[i] != expected)
                    errors |= ParityErr;
                ++i;
            } else {
                errors |= ParityErr;  // the frame ends where a parity bit was due
            }
        }
        current = 0;
        bitInByte = 0;
        bitsInCurrent = 0;
    }
    int rxLastBits = 0;
    if (bitsInCurrent > 0) {
        bytes.append(char(current));
        rxLastBits = bitInByte;
    }
    if (collisionPosition > 0)
        errors |= CollErr;

    if ((redundancy & ChannelRedundancyBits::RxCRCEn) && !(redundancy & ChannelRedundancyBits::CRC8) && !reception.empty()) {
        // The CRC is checked and never reaches the FIFO.
        if (rxLastBits == 0 && bytes.size() >= 2) {
            const QByteArray data = bytes.left(bytes.size() - 2);
            const quint16 value = crc(data);
            received.crcChecked = true;
            received.crcResult = value;
            if (quint8(bytes.at(bytes.size() - 2)) != quint8(value)
                || quint8(bytes.at(bytes.size() - 1)) != (value >> 8))
                errors |= CRCErr;
            bytes = data;
        } else {
            errors |= CRCErr;  // too short, or not whole bytes, to hold a CRC
        }
    }

    received.bytes = bytes;
    received.errors = errors;
    received.collPos = quint8(std::min(collisionPosition, int(UINT8_MAX)));
    received.rxLastBits = quint8(rxLastBits);
    return received;
}

void ChipModel::applyReceived(const Received &received)
{
    reg(ChipReg::ErrorFlag) |= received.errors;
    reg(ChipReg::CollPos) = received.collPos;
    reg(ChipReg::SecondaryStatus) = quint8((reg(ChipReg::SecondaryStatus) & ~SecondaryStatusBits::RxLastBitsMask)
                                           | received.rxLastBits);
    if (received.crcChecked) {
        reg(ChipReg::CRCResultLSB) = quint8(received.crcResult);
        reg(ChipReg::CRCResultMSB) = quint8(received.crcResult >> 8);
    }
}

// ---------------------------------------------------------------------------
// Air time

void ChipModel::setRealTime(bool on)
{
    m_realTime = on;
}

void ChipModel::finishAfterAir(Running running)
{
    if (!m_realTime) {
        // Off the real-time bench the air takes no time: the command is over
        // as soon as it has started.
        running.endNs = 0;
        std::fill(running.byteTimesNs.begin(), running.byteTimesNs.end(), qint64(0));
    }
    m_running = std::move(running);
    catchUp();
}

void ChipModel::catchUp()
{
    if (!m_running)
        return;
    Running &running = *m_running;
    const qint64 now = running.endNs > 0 ? m_clock() : 0;
    const QByteArray &bytes = running.received.bytes;
    for (; running.delivered < std::size_t(bytes.size()); ++running.delivered) {
        const std::size_t at = running.delivered;
        const qint64 due = at < running.byteTimesNs.size() ? running.byteTimesNs[at] : running.endNs;
        if (due > now)
            return;
        pushFifo(quint8(bytes.at(int(at))));
    }
    if (running.endNs > now)
        return;
    if (running.receives)
        applyReceived(running.received);
    if (running.crypto1OnAtEnd)
        m_crypto1On = true;
    const quint8 irqs = running.irqs;
    m_running.reset();
    finishCommand(irqs);
}

ChipModel::Running ChipModel::runningFor(const AirExchange &exchange, quint8 irqs) const
{
    Running running;
    running.irqs = irqs;
    running.endNs = exchange.startNs + qint64(AirTiming::exchangeDurationUs(exchange) * 1000.0);
    for (double us : AirTiming::answerByteTimes(exchange))
        running.byteTimesNs.push_back(exchange.startNs + qint64(us * 1000.0));
    return running;
}
