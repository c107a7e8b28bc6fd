#include "boardengine.h"

#include <utility>

namespace {

constexpr char WriteCommand = 'w';
constexpr char ReadCommand = 'r';

} // namespace

BoardEngine::BoardEngine() = default;

BoardEngine::Output BoardEngine::receive(quint8 byte)
{
    if (m_hostBytes.size() >= HostBytesLimit)
        m_hostBytes.remove(0, HostBytesLimit / 2);
    m_hostBytes.append(char(byte));

    switch (m_state) {
    case State::Hung:
        return {};
    case State::Idle:
        if (byte == WriteCommand || byte == ReadCommand)
            return answerCommand(byte);
        return {};  // not a command: the board waits for one
    case State::WriteAddress:
        m_address = byte;
        m_state = State::WriteValue;
        return {};
    case State::WriteValue: {
        // Dated when the board has it whole, before the chip acts on it.
        const qint64 atNs = m_chip.now();
        m_chip.passLineTime(BoardLine::WriteHandshakeBytes * BoardLine::ByteNs);
        m_chip.write(m_address, byte);
        record(Handshake::Write, m_address, byte, atNs);
        m_state = State::Idle;
        countTowardsStall(-1);
        return {};
    }
    case State::ReadAddress: {
        m_state = State::Idle;
        const auto stuck = m_faults.stuckReads.find(byte);
        const qint64 atNs = m_chip.now();
        m_chip.passLineTime(BoardLine::ReadHandshakeBytes * BoardLine::ByteNs);
        const quint8 value = stuck != m_faults.stuckReads.end() ? stuck->second : m_chip.read(byte);
        record(Handshake::Read, byte, value, atNs);
        countTowardsStall(byte);
        Output output;
        output.push_back({ 0, m_faults.strayBeforeResult + 'R' });
        if (!m_faults.dropValueByte)
            output.push_back({ m_faults.valueDelayMs, QByteArray(1, char(value)) });
        return output;
    }
    }
    return {};
}

void BoardEngine::countTowardsStall(int readOf)
{
    const bool counted = m_faults.stallAfter > 0 && --m_faults.stallAfter == 0;
    if (counted || (readOf >= 0 && readOf == m_faults.stallAfterReadOf)) {
        m_faults.stallAfter = -1;
        m_faults.stallAfterReadOf = -1;
        m_stallDue = true;
    }
}

BoardEngine::Output BoardEngine::answerCommand(quint8 command)
{
    int stallMs = 0;
    if (m_faults.stallAfter == 0) {
        m_faults.stallAfter = -1;  // no handshake to wait for: the stall is due now
        m_stallDue = true;
    }
    if (std::exchange(m_stallDue, false)) {
        if (m_faults.stallMs < 0)
            m_faults.unanswered = -1;  // gone silent for good
        else
            stallMs = m_faults.stallMs;
    }
    if (m_faults.unanswered != 0) {
        if (m_faults.unanswered > 0)
            --m_faults.unanswered;
        return {};
    }
    if (m_faults.refusals != 0) {
        if (m_faults.refusals > 0)
            --m_faults.refusals;
        return { { stallMs + m_faults.answerDelayMs, QByteArray("E") } };
    }
    m_startNs = m_chip.now();
    if (m_faults.vanishAfterAck)
        m_gone = true;
    if (m_faults.stopAfterAck)
        m_state = State::Hung;
    else
        m_state = command == WriteCommand ? State::WriteAddress : State::ReadAddress;
    // The stall holds the answer back, and with it every byte the host sends
    // meanwhile: the board reads nothing more until it has answered.
    return { { stallMs + m_faults.answerDelayMs, m_faults.strayBeforeAck + 'A' } };
}

void BoardEngine::record(Handshake::Operation operation, quint8 address, quint8 value, qint64 atNs)
{
    if (m_trace.size() == TraceLimit)
        m_trace.pop_front();
    m_trace.push_back({ operation, address, value, m_startNs, atNs, m_chip.exchangeCount() });
    ++m_handshakeCount;
}

void BoardEngine::clearHistory()
{
    m_trace.clear();
    m_handshakeCount = 0;
    m_hostBytes.clear();
}
