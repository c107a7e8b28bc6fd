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

namespace {

constexpr char WriteCommand = 'w';
constexpr char ReadCommand = 'r';
constexpr char Accepted = 'A';
constexpr char Refused = 'E';
constexpr char Result = 'R';

// Between two looks at a chip still busy with its frame: a fraction of the
// shortest answer's air time.
constexpr unsigned long CommandPollPauseUs = 500;

// What a link out of step sends first. A board that took the command byte
// that timed out, and now waits for its address (and value), gets address 0
// and value 0: the Page register, written with the linear addressing it
// always holds, or read. A board waiting for a command ignores both.
constexpr char StepFiller[2] = { char(ChipReg::Page), char(PageBits::LinearAddressing) };

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
    if (m_journal && m_transport->isOpen())
        m_journal->registerWritten(address, value);
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
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const quint8 command = quint8(readRegister(ChipReg::Command)) & ChipCmd::CodeMask;
        if (m_failed)
            return false;
        if (command == ChipCmd::Idle)
            return true;
        if (clock.hasExpired(maxMs))
            return false;
        // A frame of some length is on the air: look again a little later
        // rather than keep the line and the host busy asking.
        QThread::usleep(CommandPollPauseUs);
    }
}

bool ReaderLink::probe()
{
    setField(false);
    return m_timedOut;
}
