#pragma once

#include "chipregisters.h"

#include <QString>
#include <QtGlobal>

#include <chrono>
#include <memory>

class ByteTransport;
class ExchangeJournal;
class QDeadlineTimer;
class QSerialPort;

// The link to the reader board on its serial port.
//
// The board gives the host one register of the chip at a time through a
// two-letter handshake:
//   write:  host "w", board "A", host address, host value
//   read:   host "r", board "A", host address, board "R", board value
// A board that is busy answers "E" instead of "A", and the host starts the
// handshake again. Everything TagBench does to the chip is a sequence of these
// handshakes, each one waiting for the board before the next starts.
//
// A handshake that gets no answer in time (or is refused past the repeats)
// sets timedOut(), and a read then gives 0, which is no value: the callers
// group their handshakes into Operations, and the first that fails ends its
// operation. The ones after it are not attempted; the operation's failed()
// tells, and the caller shows a failure, never the zeros.
//
// A board that answers late puts the link out of step: its "A" would answer
// the next handshake, whose address the board would then take for the one
// it is still owed. So after a time-out the link first brings the board
// back in step: it completes whatever command the board may still hold
// with a harmless access (Page written or read with 0), throws away what
// the board sends until the line is quiet, and flushes the FIFO, which an
// operation cut short may have left half full (keeping the rest of
// Control, the MIFARE session's Crypto1On among it).
//
// The bytes travel over a ByteTransport: the board's serial port in the
// application, anything that carries bytes elsewhere (a fuzzer's input).
class ReaderLink
{
public:
    // How long the board has to answer a command byte, and, in a read, to
    // send "R" and the value after the address.
    static constexpr int AnswerTimeoutMs = 1000;
    // How many times a refused ("E") handshake is started again before the
    // host gives up on the board and counts it as a time-out.
    static constexpr int MaxRepeats = 10;
    // How long the line must stay quiet before a link out of step takes up
    // its handshakes again: longer than a USB serial adapter holds a byte.
    static constexpr int QuietLineMs = 50;
    // What a link out of step throws away at most while it waits for the
    // line to be quiet; a board that sends more is not coming back in step.
    static constexpr int MaxDiscardedBytes = 4096;

    // One action's handshakes, taken as a whole: once one of them fails, the
    // others are not attempted (each ends at once as a time-out, a read
    // giving 0), and no wait of the operation is slept any more. Operations
    // nest, the outermost deciding; outside any operation each handshake
    // stands alone.
    class Operation
    {
    public:
        explicit Operation(ReaderLink &link);
        ~Operation();
        Operation(const Operation &) = delete;
        Operation &operator=(const Operation &) = delete;

        // True once a handshake of the outermost operation has failed.
        bool failed() const { return m_link.failed(); }
        // Whether this operation is the outermost one, whose end is the end
        // of the user's action.
        bool outermost() const { return m_outermost; }

    private:
        ReaderLink &m_link;
        bool m_outermost;
    };

    // Creates the serial port with the board's line settings (115200 baud,
    // 8 data bits, no parity, 1 stop bit, no flow control); does not open
    // it.
    explicit ReaderLink(const QString &portName);
    // The link over another transport, which it owns.
    explicit ReaderLink(std::unique_ptr<ByteTransport> transport);
    ~ReaderLink();

    ReaderLink(const ReaderLink &) = delete;
    ReaderLink &operator=(const ReaderLink &) = delete;

    // The serial port, opened or not; its name may be changed while closed.
    // Null when the link runs over another transport.
    QSerialPort *port() const { return m_port; }
    ByteTransport &transport() const { return *m_transport; }

    void open();
    void closePort();

    // The journal that every completed handshake feeds (see
    // ExchangeJournal), or none (null, the default). The link does not own
    // it, and no handshake is added for it.
    void setJournal(ExchangeJournal *journal) { m_journal = journal; }
    ExchangeJournal *journal() const { return m_journal; }

    void writeRegister(quint8 address, quint8 value);
    // The register's value as a signed byte (0x80 to 0xFF read negative, on
    // every platform); 0 after a time-out.
    qint8 readRegister(quint8 address);
    // True when the most recent handshake got no answer in time, or was not
    // attempted because its operation had already failed.
    bool timedOut() const { return m_timedOut; }
    // True once a handshake of the current operation has failed; outside
    // any operation, whether the last handshake did.
    bool failed() const { return m_failed; }
    // True once the port has failed for good (a board unplugged, a virtual
    // one gone): no handshake is attempted until the port is opened again.
    bool portLost() const { return m_portLost; }
    // Looks again at a port that reported an error while no handshake was
    // under way: true when it is still there, false (and portLost() set)
    // when it is gone. One error may be a hiccup; a second at once is not.
    bool portStillThere();
    // True after a time-out, until the board is back in step.
    bool outOfStep() const { return m_outOfStep; }
    // Sleeps more than `milliseconds`, unless the current operation has
    // failed: a wait for a board that no longer answers is time lost.
    void pause(int milliseconds);

    // Chip operations, each a fixed sequence of the handshakes above.
    // Lengths are signed 8-bit counts: 1 to 127 bytes move, 0 and anything
    // that reads negative as a signed byte (128 to 255) move none.
    void resetPage();
    void setField(bool on);
    void flushFifo();
    void writeFifo(const quint8 *bytes, qint8 length);
    void readFifo(quint8 *buffer, qint8 length);
    void transmit(const quint8 *bytes, qint8 length);
    void transmitByte(quint8 byte);
    // Sends the frame with the chip's Transceive command, lets more than
    // waitMs pass, then reads exactly answerLength bytes out of the FIFO,
    // whatever the card sent (zeros once the operation has failed).
    void transceive(const quint8 *frame, qint8 length, quint8 *answer, qint8 answerLength,
                    int waitMs = 100);
    // The same exchange up to its wait, then FIFOLength instead of the
    // read-out: how many bytes the answer put in the FIFO, 0 when nobody
    // answered, and 0 when the board did not (failed() tells them apart).
    // Once the answer is read out the FIFO is empty whatever came: this is
    // the one moment it tells.
    int transceiveAndCount(const quint8 *frame, qint8 length, int waitMs = 100);
    // Read-modify-write: reads the register, then writes (old & ~mask) |
    // value. setBits and clearBits are its two simplest cases. A read that
    // timed out gives no old value to keep, so nothing is written then:
    // writing over a 0 taken for the register would change bits the caller
    // meant to keep (the RF field, for TxControl). True when the board
    // answered both the read and the write.
    bool writeMasked(quint8 address, quint8 mask, quint8 value);
    bool setBits(quint8 address, quint8 mask);
    bool clearBits(quint8 address, quint8 mask);
    // Reads Command until the chip is idle again: its frame is out and the
    // answer in, or the chip gave up listening. For a sequence that reads
    // the answer with no fixed wait before it, or with one shorter than the
    // air may take. True once Command reads Idle; false when maxMs (0 if
    // negative) have passed first or a read timed out.
    //
    // The looks are paced by what the chip still has to do. From what the
    // link last put in the FIFO and the coding it last wrote, it knows how
    // long the frame it started with Transceive (or Transmit) keeps the air
    // busy, with the card's answer delay and the shortest answer: it sleeps
    // until that time is nearly over (never past maxMs), so that the look
    // reaches the chip as it is due to be done, and while the chip is still
    // busy looks again each LookPeriodUs at most, start to start, the last
    // time at maxMs. Only the number of Command reads depends on it.
    bool waitForCommandEnd(int maxMs);
    // The shortest time between the starts of two looks at Command: a read
    // at 115200 baud takes about as long, so that at the board's pace the
    // looks follow each other, and a faster line is asked no more often.
    static constexpr int LookPeriodUs = 500;
    // Switches the RF field off; true when no board acknowledged it.
    bool probe();

private:
    // The frame into the FIFO, Transceive, then more than waitMs.
    void sendAndWait(const quint8 *frame, qint8 length, int waitMs);
    // Whether a handshake may go ahead: its operation has not failed, the
    // port is there, and the board is in step (brought back if need be).
    // False, with the failure recorded, when not.
    bool mayStart();
    // A handshake that failed: after its command byte went out, the board
    // may still answer it, late.
    void fail(bool sentSomething);
    // Brings a board that may answer late back in step; false when it could
    // not (the line never went quiet, the flush got no answer).
    bool resynchronise();
    // Keeps the link's account of what the chip will put on the air: the
    // bytes queued in the FIFO, the coding settings, and when a command that
    // sends them started and how long it should keep the chip busy.
    void noteWritten(quint8 address, quint8 value);
    // A command written to the chip: what it sends, and how long that keeps
    // the chip busy.
    void commandStarted(quint8 command);
    // Throws away the board's bytes until none has come for QuietLineMs;
    // false when the line did not go quiet within a time-out, or is gone.
    bool lineGoesQuiet();
    // Sends the command byte and waits for the board's "A", starting again on
    // each "E". False (and timedOut() set) when the board did not accept it.
    bool acknowledged(char command);
    void send(const char *bytes, int count);
    // The next byte from the board, or -1 when none came before the deadline
    // (or the device can no longer deliver any).
    int nextByte(const QDeadlineTimer &deadline);

    std::unique_ptr<ByteTransport> m_transport;
    QSerialPort *m_port = nullptr;  // the serial transport's port, if it is one
    bool m_timedOut = false;
    bool m_failed = false;
    bool m_portLost = false;
    bool m_outOfStep = false;
    int m_operationDepth = 0;
    ExchangeJournal *m_journal = nullptr;

    // What the link has written that shapes the next frame (see
    // noteWritten); the settings start as the chip has them at power-up.
    int m_fifoQueued = 0;
    quint8 m_coderControl = CoderControlBits::Miller106;
    quint8 m_bitFraming = BitFramingBits::WholeBytes;
    quint8 m_channelRedundancy = ChannelRedundancyBits::OddParityNoCrc;
    std::chrono::steady_clock::time_point m_commandStarted;
    std::chrono::microseconds m_expectedBusy { 0 };
};
