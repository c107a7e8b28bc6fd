#pragma once

#include "chipmodel.h"

#include <QByteArray>
#include <QtGlobal>

#include <deque>
#include <map>
#include <vector>

// The real board's serial line: 115200 baud, 8N1 (10 bits a byte). A write
// handshake carries four bytes ("w", the "A", the address, the value), a
// read five ("r", the "A", the address, the "R", the value).
namespace BoardLine {
constexpr int Baud = 115200;
constexpr int BitsPerByte = 10;  // start bit, 8 data bits, stop bit
constexpr qint64 ByteNs = qint64(BitsPerByte) * 1000000000 / Baud;
constexpr int WriteHandshakeBytes = 4;
constexpr int ReadHandshakeBytes = 5;
} // namespace BoardLine

// One register access as the board carried it out.
struct Handshake
{
    enum Operation { Write, Read };
    Operation operation = Write;
    quint8 address = 0;
    quint8 value = 0;
    // When the board took its command byte and when it had the handshake
    // whole, on the chip's clock (nanoseconds), and how many frames the chip
    // had sent by its end: a frame whose serial is at most this went on the
    // air during or before this handshake. The host cannot go on before the
    // board has taken the command byte (it waits for the "A"), so anything
    // the host does after a handshake comes after its startNs, however late
    // the board reads the bytes that follow.
    qint64 startNs = 0;
    qint64 atNs = 0;
    quint64 airSerial = 0;

    // Two handshakes are the same access whenever they were made.
    bool operator==(const Handshake &other) const
    {
        return operation == other.operation && address == other.address && value == other.value;
    }
};

// Ways for the board to misbehave, for testing the host against a board that
// is slow, busy, noisy, half-dead or gone.
struct BoardFaults
{
    int unanswered = 0;            // command bytes ignored outright; -1: a silent board
    int refusals = 0;              // command bytes answered "E"; -1: refuses forever
    QByteArray strayBeforeAck;     // noise sent ahead of every "A"
    QByteArray strayBeforeResult;  // noise between a read's address and its "R"
    bool stopAfterAck = false;     // the board hangs for good once it has sent an "A"
    bool dropValueByte = false;    // a read's "R" comes without its value byte
    int answerDelayMs = 0;         // every "A" or "E" comes this late
    int valueDelayMs = 0;          // the value byte comes this long after "R"
    bool vanishAfterAck = false;   // the board goes away right after an "A"
    // The board stops, reading and answering nothing, at the first command
    // byte after it has carried out stallAfter more handshakes, or after it
    // has answered a read of register stallAfterReadOf; after stallMs it
    // carries on with everything the host sent meanwhile. With stallMs -1 it
    // never comes back: every command byte from then on goes unanswered.
    int stallAfter = -1;
    int stallAfterReadOf = -1;
    int stallMs = -1;
    // Reads of these registers answer the value given here and leave the
    // chip alone: a chip stuck on one reading, such as a FIFOLength that
    // never drops to 0.
    std::map<quint8, quint8> stuckReads;
};

// The reader board's firmware: it speaks the register handshake from the
// board's side, byte in, bytes out, and carries each access out on the chip.
// It does no I/O of its own, so that it can be driven by a pseudo-terminal,
// a test or a fuzzer alike.
class BoardEngine
{
public:
    // Bytes for the host, to be sent after a pause.
    struct Chunk
    {
        int delayMs = 0;
        QByteArray bytes;
    };
    using Output = std::vector<Chunk>;

    // The history kept of the handshakes and the host's bytes.
    static constexpr std::size_t TraceLimit = 1 << 16;
    static constexpr int HostBytesLimit = 1 << 20;

    BoardEngine();

    // One byte from the host; returns what the board sends back.
    Output receive(quint8 byte);

    ChipModel &chip() { return m_chip; }
    const ChipModel &chip() const { return m_chip; }
    BoardFaults &faults() { return m_faults; }

    // Every handshake carried out, oldest first (the last TraceLimit).
    const std::deque<Handshake> &trace() const { return m_trace; }
    // Every byte the host sent, in order (the last HostBytesLimit).
    const QByteArray &hostBytes() const { return m_hostBytes; }
    // How many handshakes were carried out since the last clearHistory().
    std::size_t handshakeCount() const { return m_handshakeCount; }
    void clearHistory();

    // True once a vanishAfterAck fault has fired: the transport must drop
    // the line.
    bool gone() const { return m_gone; }
    // True while a handshake is half-way (address or value still due).
    bool busy() const { return m_state != State::Idle && m_state != State::Hung; }

private:
    enum class State { Idle, WriteAddress, WriteValue, ReadAddress, Hung };

    Output answerCommand(quint8 command);
    // Counts a handshake carried out (a read of `readOf`, or a write with
    // -1) towards a stall.
    void countTowardsStall(int readOf);
    void record(Handshake::Operation operation, quint8 address, quint8 value, qint64 atNs);

    ChipModel m_chip;
    BoardFaults m_faults;
    State m_state = State::Idle;
    quint8 m_address = 0;
    qint64 m_startNs = 0;
    bool m_gone = false;
    bool m_stallDue = false;  // the next command byte starts the stall
    std::deque<Handshake> m_trace;
    std::size_t m_handshakeCount = 0;
    QByteArray m_hostBytes;
};
