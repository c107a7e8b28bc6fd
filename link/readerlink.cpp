#include "readerlink.h"

#include "bytetransport.h"
#include "chipregisters.h"
#include "exchangejournal.h"
#include "serialtransport.h"
#include "waits.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <QtDebug>

#include <algorithm>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr char WriteCommand = 'w';
constexpr char ReadCommand = 'r';
constexpr char Accepted = 'A';
constexpr char Refused = 'E';
constexpr char Result = 'R';

// What a link out of step sends first. A board that took the command byte
// that timed out, and now waits for its address (and value), gets address 0
// and value 0: the Page register, written with the linear addressing it
// always holds, or read. A board waiting for a command ignores both.
constexpr char StepFiller[2] = { char(ChipReg::Page), char(PageBits::LinearAddressing) };

// ---------------------------------------------------------------------------
// How long the chip is busy with a frame, from the air's timings (fc, the
// carrier, is 13.56 MHz). Only the pace of the looks at Command rests on it.

constexpr double CarrierHz = 13.56e6;
constexpr double carrierCyclesUs(double count) { return count * 1e6 / CarrierHz; }
constexpr int BitsPerByte = 8;

// ISO/IEC 14443 A at 106 kbit/s: a bit is 128/fc both ways. The card answers
// (9 * 128 + 84)/fc after the reader's last pause, which lies in the frame's
// last data bit or the logic 0 after it; its answer has a start and an end
// of frame of a bit each.
constexpr double TypeABitUs = carrierCyclesUs(128);
constexpr double TypeAAnswerDelayUs = carrierCyclesUs(9 * 128 + 84);
constexpr int TypeAStartOfFrameBits = 1;
constexpr int TypeAEndOfFrameBits = 2;  // a logic 0, then no modulation
constexpr int TypeAAnswerFramingBits = 2;

// ISO/IEC 15693: the reader's frame counts in half slots of 128/fc; the tag
// answers t1 = 4352/fc after the end of frame, at the high data rate (a bit
// is 512/fc), with a start and an end of frame of four bits each.
constexpr double VicinityUnitUs = carrierCyclesUs(128);
constexpr int VicinityStartOfFrameUnits = 8;
constexpr int VicinityEndOfFrameUnits = 4;
constexpr int UnitsPerByteOneOutOf4 = 32;     // four symbols of two bits, eight units each
constexpr int UnitsPerByteOneOutOf256 = 512;  // one symbol of 256 slots
constexpr double VicinityAnswerDelayUs = carrierCyclesUs(4352);
constexpr double VicinityAnswerBitUs = carrierCyclesUs(512);
constexpr int VicinityAnswerFramingBits = 8;

// The board's line carries ten bits a byte at 115200 baud. A look reaches
// the chip once "r", "A" and the address have crossed it, three bytes after
// it starts; the command started once the address and the value of its
// write had crossed, two bytes after the write was sent: a look may start
// one byte's time before the chip is due to be done.
constexpr int LineBaud = 115200;
constexpr int LineBitsPerByte = 10;
constexpr std::chrono::microseconds LookLead(LineBitsPerByte * 1000000 / LineBaud);

// A card that answers keeps the chip busy at least until a one-byte answer
// is in: a look sooner finds it busy. When none answers, the chip is done
// that byte's air time earlier, and the look comes that much late.
constexpr int ShortestAnswerBytes = 1;

// What the chip sends, as the link wrote it.
struct Frame
{
    int fifoBytes;
    quint8 coderControl;
    quint8 bitFraming;
    quint8 channelRedundancy;
    bool answerAwaited;  // Transceive listens after the frame; Transmit does not
};

int crcBytes(quint8 channelRedundancy)
{
    if (!(channelRedundancy & ChannelRedundancyBits::TxCRCEn))
        return 0;
    return (channelRedundancy & ChannelRedundancyBits::CRC8) ? 1 : 2;
}

// Modified Miller: the FIFO's bytes, the last one cut to TxLastBits, then
// the CRC, each whole byte with its parity bit when parity is on.
double typeABusyUs(const Frame &frame)
{
    const int lastBits = frame.fifoBytes > 0 ? frame.bitFraming & BitFramingBits::TxLastBitsMask : 0;
    const int parity = (frame.channelRedundancy & ChannelRedundancyBits::ParityEn) ? 1 : 0;
    const int wholeBytes = frame.fifoBytes - (lastBits > 0 ? 1 : 0) + crcBytes(frame.channelRedundancy);
    const int frameBits = TypeAStartOfFrameBits + wholeBytes * (BitsPerByte + parity) + lastBits;
    if (!frame.answerAwaited)
        return (frameBits + TypeAEndOfFrameBits) * TypeABitUs;
    const int answerBits = TypeAAnswerFramingBits + ShortestAnswerBytes * (BitsPerByte + parity);
    return frameBits * TypeABitUs + TypeAAnswerDelayUs + answerBits * TypeABitUs;
}

// Pulse position: start of frame, the bytes and the CRC, end of frame; or
// the end of frame alone, the pulse that opens an inventory's next slot.
double vicinityBusyUs(const Frame &frame, int unitsPerByte)
{
    int units = VicinityEndOfFrameUnits;
    if (!(frame.coderControl & CoderControlBits::SendOnePulse) || frame.fifoBytes > 0)
        units += VicinityStartOfFrameUnits + (frame.fifoBytes + crcBytes(frame.channelRedundancy)) * unitsPerByte;
    const double frameUs = units * VicinityUnitUs;
    if (!frame.answerAwaited)
        return frameUs;
    const int answerBits = VicinityAnswerFramingBits + ShortestAnswerBytes * BitsPerByte;
    return frameUs + VicinityAnswerDelayUs + answerBits * VicinityAnswerBitUs;
}

// 0 for a coding the host sends no frame with: the chip is looked at at once.
std::chrono::microseconds busyTime(const Frame &frame)
{
    double us = 0;
    switch (frame.coderControl & CoderControlBits::TxCodingMask) {
    case CoderControlBits::TxCodingMiller: us = typeABusyUs(frame); break;
    case CoderControlBits::TxCoding1OutOf4: us = vicinityBusyUs(frame, UnitsPerByteOneOutOf4); break;
    case CoderControlBits::TxCoding1OutOf256: us = vicinityBusyUs(frame, UnitsPerByteOneOutOf256); break;
    default: break;
    }
    return std::chrono::microseconds(qint64(us));
}

} // namespace

ReaderLink::Operation::Operation(ReaderLink &link)
    : m_link(link)
    , m_outermost(link.m_operationDepth == 0)
{
    if (m_outermost)
        m_link.m_failed = false;
    ++m_link.m_operationDepth;
}

ReaderLink::Operation::~Operation()
{
    --m_link.m_operationDepth;
    if (m_outermost && m_link.m_journal)
        m_link.m_journal->closeExchange();
}

ReaderLink::ReaderLink(const QString &portName)
{
    auto serial = std::make_unique<SerialTransport>(portName);
    m_port = serial->port();
    m_transport = std::move(serial);
}

ReaderLink::ReaderLink(std::unique_ptr<ByteTransport> transport)
    : m_transport(std::move(transport))
{
}

ReaderLink::~ReaderLink() = default;

void ReaderLink::open()
{
    const bool opened = m_transport->open();
    if (opened && m_portLost) {
        // A port that came back is a board that was unplugged: whatever it
        // owed the host went with it.
        m_portLost = false;
        m_outOfStep = false;
    }
    qDebug(" open: %d", opened ? 1 : 0);
}

bool ReaderLink::portStillThere()
{
    if (!m_transport->isOpen())
        return false;
    m_transport->clearFailure();
    m_transport->waitForBytes(1);
    if (m_transport->failed())
        m_portLost = true;
    return !m_portLost;
}

void ReaderLink::closePort()
{
    m_transport->close();
}

// ---------------------------------------------------------------------------
// The two handshakes

void ReaderLink::writeRegister(quint8 address, quint8 value)
{
    if (!mayStart() || !acknowledged(WriteCommand))
        return;
    const char bytes[2] = { char(address), char(value) };
    send(bytes, 2);
    noteWritten(address, value);
    if (m_journal && m_transport->isOpen())
        m_journal->registerWritten(address, value);
}

void ReaderLink::noteWritten(quint8 address, quint8 value)
{
    switch (address & ChipReg::AddressMask) {
    case ChipReg::FIFOData:
        m_fifoQueued = qMin(m_fifoQueued + 1, ChipFifo::Size);
        break;
    case ChipReg::Control:
        if (value & ControlBits::FlushFIFO)
            m_fifoQueued = 0;
        break;
    case ChipReg::CoderControl: m_coderControl = value; break;
    case ChipReg::BitFraming: m_bitFraming = value; break;
    case ChipReg::ChannelRedundancy: m_channelRedundancy = value; break;
    case ChipReg::Command: commandStarted(quint8(value & ChipCmd::CodeMask)); break;
    default: break;
    }
}

void ReaderLink::commandStarted(quint8 command)
{
    if (command == ChipCmd::LoadConfig) {
        // The only register set the host loads is the start-up one.
        const auto &set = ChipEeprom::FactoryStartUpSet;
        m_coderControl = set[ChipReg::CoderControl - ChipEeprom::FirstRegisterLoaded];
        m_channelRedundancy = set[ChipReg::ChannelRedundancy - ChipEeprom::FirstRegisterLoaded];
    }
    m_expectedBusy = std::chrono::microseconds(0);
    if (command == ChipCmd::Transceive || command == ChipCmd::Transmit) {
        m_expectedBusy = busyTime({ m_fifoQueued, m_coderControl, m_bitFraming, m_channelRedundancy,
                                    command == ChipCmd::Transceive });
    }
    m_commandStarted = Clock::now();
    // Each command takes its input out of the FIFO.
    m_fifoQueued = 0;
}

qint8 ReaderLink::readRegister(quint8 address)
{
    if (!mayStart() || !acknowledged(ReadCommand))
        return 0;
    const char addressByte = char(address);
    send(&addressByte, 1);

    // The board answers "R" and the value; bytes before the "R" are noise.
    // Both are waited for within the same bound as the acknowledgement, so a
    // board that stops half-way cannot hold the program.
    const QDeadlineTimer deadline(AnswerTimeoutMs);
    int byte = nextByte(deadline);
    while (byte >= 0 && byte != Result)
        byte = nextByte(deadline);
    const int value = byte < 0 ? -1 : nextByte(deadline);
    if (value < 0) {
        fail(true);
        return 0;
    }
    if (m_journal)
        m_journal->registerRead(address, quint8(value));
    return qint8(quint8(value));
}

bool ReaderLink::mayStart()
{
    if (m_operationDepth == 0)
        m_failed = false;
    if (m_failed || m_portLost || (m_outOfStep && !resynchronise())) {
        fail(false);
        return false;
    }
    return true;
}

void ReaderLink::fail(bool sentSomething)
{
    m_timedOut = true;
    m_failed = true;
    // Nothing sent, nothing owed: a handshake not attempted, or one on a
    // closed port, leaves the board as it was.
    if (sentSomething && m_transport->isOpen())
        m_outOfStep = true;
}

bool ReaderLink::resynchronise()
{
    // The flush below is a handshake of its own, which must not come back
    // here; if it fails, it puts the link out of step again.
    m_outOfStep = false;
    send(StepFiller, int(sizeof StepFiller));
    if (!lineGoesQuiet()) {
        m_outOfStep = true;
        return false;
    }
    // Read first: Control also holds Crypto1On, which a plain write of the
    // flush bit would clear, ending the card's MIFARE session.
    return setBits(ChipReg::Control, ControlBits::FlushFIFO);
}

bool ReaderLink::lineGoesQuiet()
{
    const QDeadlineTimer bound(AnswerTimeoutMs);
    for (int discarded = 0; discarded <= MaxDiscardedBytes; ++discarded) {
        const qint64 left = bound.remainingTime();
        if (left <= 0)
            return false;  // a board that keeps talking
        const qint64 quietFor = qMin<qint64>(QuietLineMs, left);
        if (nextByte(QDeadlineTimer(quietFor)) < 0)
            return !m_portLost && quietFor == QuietLineMs;
    }
    return false;
}

bool ReaderLink::acknowledged(char command)
{
    for (int repeats = 0;; ++repeats) {
        send(&command, 1);
        QElapsedTimer sinceCommand;
        sinceCommand.start();
        const QDeadlineTimer deadline(AnswerTimeoutMs);
        m_timedOut = false;

        // "E" is looked at before the clock, and the clock before "A": an
        // acknowledgement that arrives late is still a time-out.
        int byte = nextByte(deadline);
        for (; byte != Refused; byte = nextByte(deadline)) {
            if (byte < 0 || sinceCommand.hasExpired(AnswerTimeoutMs)) {
                fail(true);
                return false;
            }
            if (byte == Accepted)
                return true;
        }
        if (repeats == MaxRepeats) {
            fail(true);
            return false;
        }
    }
}

void ReaderLink::send(const char *bytes, int count)
{
    if (!m_transport->isOpen())
        return;
    m_transport->write(bytes, count, QDeadlineTimer(AnswerTimeoutMs));
}

int ReaderLink::nextByte(const QDeadlineTimer &deadline)
{
    if (!m_transport->isOpen()) {
        // Nothing can arrive on a closed port: the handshake simply runs out
        // its time, asleep.
        QThread::msleep(quint64(qMax<qint64>(0, deadline.remainingTime())));
        return -1;
    }
    int failures = 0;
    for (;;) {
        char byte = 0;
        if (m_transport->takeByte(&byte))
            return quint8(byte);
        if (deadline.hasExpired())
            return -1;
        if (m_transport->waitForBytes(int(qMax<qint64>(1, deadline.remainingTime())))) {
            failures = 0;
            continue;
        }
        if (!m_transport->failed()) {
            // The wait ran out (or woke for nothing): never loop without
            // sleeping.
            QThread::msleep(1);
            continue;
        }
        // A board unplugged (or a virtual one closed) leaves the port open
        // but failing every wait at once. One failure may be a hiccup: clear
        // it and wait again; a second in a row means the board is gone.
        if (++failures > 1) {
            m_portLost = true;
            return -1;
        }
        m_transport->clearFailure();
    }
}

// ---------------------------------------------------------------------------
// Chip operations

void ReaderLink::resetPage()
{
    writeRegister(ChipReg::Page, PageBits::LinearAddressing);
}

void ReaderLink::setField(bool on)
{
    writeRegister(ChipReg::TxControl, on ? TxControlBits::FieldOn : TxControlBits::FieldOff);
}

void ReaderLink::flushFifo()
{
    writeRegister(ChipReg::Control, ControlBits::FlushFIFO);
}

void ReaderLink::pause(int milliseconds)
{
    if (!m_failed)
        sleepMoreThan(milliseconds);
}

void ReaderLink::writeFifo(const quint8 *bytes, qint8 length)
{
    const Operation operation(*this);
    for (int i = 0; i < length; ++i)
        writeRegister(ChipReg::FIFOData, bytes[i]);
}

void ReaderLink::readFifo(quint8 *buffer, qint8 length)
{
    // Once a read fails the rest are not attempted, and give 0.
    const Operation operation(*this);
    for (int i = 0; i < length; ++i)
        buffer[i] = quint8(readRegister(ChipReg::FIFOData));
}

void ReaderLink::transmit(const quint8 *bytes, qint8 length)
{
    const Operation operation(*this);
    writeFifo(bytes, length);
    writeRegister(ChipReg::Command, ChipCmd::Transmit);
    flushFifo();
}

void ReaderLink::transmitByte(quint8 byte)
{
    transmit(&byte, 1);
}

void ReaderLink::transceive(const quint8 *frame, qint8 length, quint8 *answer, qint8 answerLength,
                            int waitMs)
{
    const Operation operation(*this);
    sendAndWait(frame, length, waitMs);
    readFifo(answer, answerLength);
}

int ReaderLink::transceiveAndCount(const quint8 *frame, qint8 length, int waitMs)
{
    const Operation operation(*this);
    sendAndWait(frame, length, waitMs);
    return quint8(readRegister(ChipReg::FIFOLength));
}

void ReaderLink::sendAndWait(const quint8 *frame, qint8 length, int waitMs)
{
    writeFifo(frame, length);
    writeRegister(ChipReg::Command, ChipCmd::Transceive);
    pause(waitMs);
}

bool ReaderLink::writeMasked(quint8 address, quint8 mask, quint8 value)
{
    const Operation operation(*this);
    const quint8 old = quint8(readRegister(address));
    if (m_failed)
        return false;
    writeRegister(address, quint8((old & ~mask) | value));
    return !m_failed;
}

bool ReaderLink::setBits(quint8 address, quint8 mask)
{
    return writeMasked(address, mask, mask);
}

bool ReaderLink::clearBits(quint8 address, quint8 mask)
{
    return writeMasked(address, mask, 0);
}

bool ReaderLink::waitForCommandEnd(int maxMs)
{
    const Operation operation(*this);
    const Clock::time_point bound = Clock::now() + std::chrono::milliseconds(qMax(0, maxMs));
    // Asked sooner, a chip still busy with its frame and the answer would
    // only keep the line and the host busy. A board gone is not waited for.
    if (!m_failed && !m_portLost && m_expectedBusy > LookLead)
        std::this_thread::sleep_until(std::min(m_commandStarted + m_expectedBusy - LookLead, bound));
    for (;;) {
        const Clock::time_point look = Clock::now();
        const quint8 command = quint8(readRegister(ChipReg::Command)) & ChipCmd::CodeMask;
        if (m_failed)
            return false;
        if (command == ChipCmd::Idle)
            return true;
        if (Clock::now() >= bound)
            return false;
        // The rest of a longer answer: the next look as soon as the line
        // and LookPeriodUs allow, and one last at the bound.
        std::this_thread::sleep_until(std::min(look + std::chrono::microseconds(LookPeriodUs), bound));
    }
}

bool ReaderLink::probe()
{
    setField(false);
    return m_timedOut;
}
