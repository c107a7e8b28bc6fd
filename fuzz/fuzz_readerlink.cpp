// The link reading whatever a board may send: noise, refusals ("E") past
// their cap, results ("R") with or without their value, streams cut short
// anywhere. The link runs its operations over an in-memory transport that
// the fuzz input feeds, and must take any of it without crashing, without
// undefined behaviour, without writing outside the caller's buffers, and
// without ever waiting out a real time-out: once the board's bytes run out
// the transport counts as failed, and every handshake must end at once.
//
// Input: one byte n, then n operations of three bytes (what, a, b), then the
// board's bytes, read by the link as its handshakes ask for them.

#include "memorytransport.h"
#include "readerlink.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int OperationSize = 3;
// How long a wait for the chip's command to end may last here.
constexpr int CommandWaitMs = 2;

// Bytes a handshake may put on the wire: its command letter, sent again on
// each refusal up to the cap, then an address and a value.
constexpr int MostBytesPerHandshake = ReaderLink::MaxRepeats + 1 + 2;
// What a link out of step sends before an operation: the filler, then the
// flush's read and write of Control.
constexpr int MostBytesToGetBackInStep = 2 + 2 * MostBytesPerHandshake;

// A count as the link takes it: a signed byte, nothing moves at 0 or below.
int moved(qint8 length)
{
    return length > 0 ? length : 0;
}

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// Runs one operation; returns how many handshakes it may make at most.
int run(ReaderLink &link, quint8 what, quint8 a, quint8 b)
{
    // Buffers of exactly the length asked for, on the heap, so that the
    // address sanitizer sees a single byte written past their end.
    const qint8 length = qint8(a);
    const qint8 answerLength = qint8(b);
    std::vector<quint8> bytes(std::size_t(moved(length)), b);
    std::vector<quint8> answer(std::size_t(moved(answerLength)), 0xEE);
    const auto data = [](std::vector<quint8> &buffer) { return buffer.empty() ? nullptr : buffer.data(); };

    switch (what % 15) {
    case 0:
        link.writeRegister(a, b);
        return 1;
    case 1: {
        const qint8 value = link.readRegister(a);
        require(!link.timedOut() || value == 0);  // a read that timed out gives 0
        return 1;
    }
    case 2:
        link.resetPage();
        return 1;
    case 3:
        link.setField(b & 1);
        return 1;
    case 4:
        link.flushFifo();
        return 1;
    case 5:
        link.writeFifo(data(bytes), length);
        return moved(length);
    case 6:
        link.readFifo(data(bytes), length);
        return moved(length);
    case 7:
        link.transmit(data(bytes), length);
        return moved(length) + 2;
    case 8:
        link.transmitByte(b);
        return 3;
    case 9:
        // A negative wait returns at once: the sleep is not what is fuzzed.
        link.transceive(data(bytes), length, data(answer), answerLength, -1);
        return moved(length) + 1 + moved(answerLength);
    case 10: {
        const int received = link.transceiveAndCount(data(bytes), length, -1);
        require(received >= 0 && received <= 0xFF);
        link.readFifo(data(answer), answerLength);
        return moved(length) + 2 + moved(answerLength);
    }
    case 11: {
        const bool answered = link.writeMasked(a, b, quint8(a ^ b));
        require(answered == !link.timedOut());
        return 2;
    }
    case 12: {
        const bool answered = (b & 1) ? link.setBits(a, b) : link.clearBits(a, b);
        require(answered == !link.timedOut());
        return 2;
    }
    case 13: {
        // A board that keeps saying the chip is busy: the wait still ends.
        const bool idle = link.waitForCommandEnd(CommandWaitMs);
        require(!idle || !link.timedOut());
        return CommandWaitMs * 2 + 2;  // a look each half millisecond at most
    }
    default: {
        const bool silent = link.probe();
        require(silent == link.timedOut());
        return 1;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t operations = std::min<std::size_t>(data[0], (size - 1) / OperationSize);
    const std::uint8_t *script = data + 1;
    const std::size_t boardStart = 1 + operations * OperationSize;
    const QByteArray board(reinterpret_cast<const char *>(data + boardStart), int(size - boardStart));

    auto owned = std::make_unique<MemoryTransport>(board);
    MemoryTransport &transport = *owned;
    transport.open();
    ReaderLink link(std::move(owned));

    for (std::size_t i = 0; i < operations; ++i) {
        const std::uint8_t *operation = script + i * OperationSize;
        transport.clearWritten();
        QElapsedTimer clock;
        clock.start();
        const int handshakes = run(link, operation[0], operation[1], operation[2]);
        // Nothing the board sends makes the host wait out a time-out here:
        // its bytes are all there, and once they run out the device has
        // failed. An operation that took a time-out's length waited for one.
        require(clock.elapsed() < ReaderLink::AnswerTimeoutMs);
        require(transport.written().size() <= MostBytesToGetBackInStep + handshakes * MostBytesPerHandshake);
    }

    // The board has nothing more to say: every handshake from now on ends
    // at once as a time-out. The link sends one command byte (or, out of
    // step, the filler) before it finds the board gone, then nothing more.
    while (transport.unread() > 0) {
        char byte;
        transport.takeByte(&byte);
    }
    require(transport.failed());
    transport.clearWritten();
    link.writeRegister(0, 0);
    require(link.timedOut());
    require(link.readRegister(0) == 0 && link.timedOut());
    const QByteArray lastWords = transport.written();
    require(lastWords.isEmpty() || lastWords == QByteArray("w") || lastWords == QByteArray(2, '\0'));
    require(link.portLost());
    return 0;
}
