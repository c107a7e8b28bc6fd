#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

class ByteTransport;
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
// No handshake reports an error: one that gets no answer sets timedOut(),
// and a read then gives 0. Only the connect action looks at the flag.
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

    void writeRegister(quint8 address, quint8 value);
    // The register's value as a signed byte (0x80 to 0xFF read negative, on
    // every platform); 0 after a time-out.
    qint8 readRegister(quint8 address);
    // True when the most recent handshake got no answer in time.
    bool timedOut() const { return m_timedOut; }

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
    // whatever the card sent.
    void transceive(const quint8 *frame, qint8 length, quint8 *answer, qint8 answerLength,
                    int waitMs = 100);
    // The same exchange up to its wait, then FIFOLength instead of the
    // read-out: how many bytes the answer put in the FIFO, 0 when nobody
    // answered (or the board did not). Once the answer is read out the FIFO
    // is empty whatever came: this is the one moment it tells.
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
    // air may take. True once Command reads Idle; false when maxMs have
    // passed first or a read timed out. Each poll is one read handshake, so
    // the line paces it.
    bool waitForCommandEnd(int maxMs);
    // Switches the RF field off; true when no board acknowledged it.
    bool probe();

private:
    // The frame into the FIFO, Transceive, then more than waitMs.
    void sendAndWait(const quint8 *frame, qint8 length, int waitMs);
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
};
