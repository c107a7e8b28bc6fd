#pragma once

class QDeadlineTimer;

// The bytes between the host and the reader board, and nothing of what they
// mean: ReaderLink speaks the register handshakes over whatever carries
// them. Production carries them over a serial port (SerialTransport);
// a fuzzer or a test can hand the link the board's bytes from memory.
//
// Every wait is bounded by the caller and sleeps or blocks: none spins.
class ByteTransport
{
public:
    virtual ~ByteTransport() = default;

    // Opens the device for reading and writing; true when it is open.
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Sends the bytes and waits, at most until the deadline, for them to
    // leave; gives up early when the device has failed (the answer's wait
    // will tell).
    virtual void write(const char *bytes, int count, const QDeadlineTimer &deadline) = 0;

    // Takes a byte the board has already sent, without waiting; false when
    // none is there.
    virtual bool takeByte(char *byte) = 0;
    // Waits up to `milliseconds` for the board to send more; true when some
    // may have come. False when the time ran out, or at once when the device
    // has failed.
    virtual bool waitForBytes(int milliseconds) = 0;

    // Whether the device has failed: unplugged, a virtual board gone, a
    // board with nothing more to send. A failure may be a hiccup: once
    // cleared, the next wait tells whether the device is really gone.
    virtual bool failed() const = 0;
    virtual void clearFailure() = 0;
};
