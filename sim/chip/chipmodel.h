#pragma once

#include "airexchange.h"
#include "chipregisters.h"
#include "crypto1.h"
#include "rffield.h"

#include <QByteArray>
#include <QtGlobal>

#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

// The reader chip of the virtual bench: a CLRC632 (MFRC500 family) as its
// datasheet describes it, register by register.
//
// The board's handshake engine calls read() and write() with register
// addresses; everything the chip does follows from those accesses: the FIFO
// fills and empties, commands start when Command is written, frames go out on
// the RF field to the cards in it and their answers come back into the FIFO.
// A command runs to its end inside the write that starts it (the air is fast
// next to the serial handshakes), except that a command that needs FIFO data
// the host has not written yet waits for it, as on the chip.
//
// Not modelled: the timer (TimerValue reads 0), the EEPROM commands, the
// 8-bit CRC of the I-CODE1 mode (with CRC8 set no CRC is sent or checked),
// the analogue settings (conductances, thresholds, bit phase), and the IRQ
// pin.
class ChipModel
{
public:
    static constexpr int FifoSize = ChipFifo::Size;
    static constexpr int EepromSize = ChipEeprom::Size;

    ChipModel();

    // Power-on: the start-up register set from the EEPROM, linear addressing
    // (the board's firmware writes Page 0x00 once the chip is up), an empty
    // FIFO, no command, the field off.
    void powerUp();

    // A register access from the board, with the chip's side effects
    // (a read of FIFOData takes a byte out).
    quint8 read(quint8 address);
    void write(quint8 address, quint8 value);

    RfField &field() { return m_field; }

    // Looking inside without side effects, for tests and traces.
    quint8 peek(quint8 address) const;
    QByteArray fifo() const;
    bool crypto1On() const { return m_crypto1On; }
    const Crypto1::Key &keyBuffer() const { return m_key; }
    quint8 eeprom(int address) const { return m_eeprom[std::size_t(address) % EepromSize]; }
    // The most recent frames on the air, oldest first (a bounded history).
    const std::deque<AirExchange> &airLog() const { return m_airLog; }
    void clearAirLog() { m_airLog.clear(); }
    // How many frames the chip has sent since it was made: the serial of the
    // latest exchange.
    quint64 exchangeCount() const { return m_exchangeCount; }

    // The bench's clock, in nanoseconds, that the air's exchanges are dated
    // by; by default the monotonic clock from the chip's making. An empty
    // function restores that.
    using Clock = std::function<qint64()>;
    void setClock(Clock clock);
    static Clock steadyClock();
    qint64 now() const { return m_clock(); }

    // The air clock that exchanges are dated by. It runs with the bench's
    // clock, and each handshake moves it on by at least the time the real
    // board's line takes to carry it, so that unpaced, the air still shows
    // the real board's pace; each frame then keeps the standard's minimum
    // gap after the one before. On the real-time bench it is the bench's
    // clock.
    qint64 airNow() const;
    // A handshake has taken `lineNs` of line time (the board tells).
    void passLineTime(qint64 lineNs);

    // On the real-time bench each frame takes its air time: Command reads
    // back the running command until it ends, and the FIFO fills as the
    // answer's bytes arrive. Off it (the default) the air takes no time.
    void setRealTime(bool on);
    bool realTime() const { return m_realTime; }

private:
    quint8 resolve(quint8 address) const;
    quint8 &reg(quint8 address) { return m_registers[address]; }
    quint8 reg(quint8 address) const { return m_registers[address]; }

    void pushFifo(quint8 byte);
    quint8 popFifo();
    void flushFifo();
    QByteArray takeFifo(int count);

    void writeControl(quint8 value);
    void writeInterrupt(quint8 address, quint8 value);
    void applyTxControl();

    void startCommand(quint8 code);
    void resumeCommand();
    void finishCommand(quint8 irqs);
    void loadConfig();
    void loadKey();
    void authent1();
    void authent2();
    // Deciphers the card's answer to an AUTH sent inside a session.
    void decipherNestedNonce(AirBits &bits, bool parity);
    bool parityOn() const;
    void transmit(bool thenReceive);

    AirCoding coding() const;
    bool coderReachesAntenna() const;
    AirBits encode(const QByteArray &bytes) const;
    AirSettings airSettings() const;
    // Puts the frame on the air, answers and all, and logs the exchange.
    Reception sendOnAir(AirFrame frame, bool encrypted, bool authenticationToken = false);
    // Records in the exchange just put on the air what the chip holds of it
    // in the clear: its frame before enciphering, and the answer as it
    // deciphered it, when there was one it could read.
    void notePlaintext(const AirBits &sent, const std::optional<AirBits> &answer);
    // Decodes what the receiver picked up into bytes; sets the error flags,
    // CollPos, RxLastBits and CRCResult as the chip does.
    struct Received
    {
        QByteArray bytes;        // what the FIFO gets
        quint8 errors = 0;       // ErrorFlag bits
        quint8 collPos = 0;
        quint8 rxLastBits = 0;
        bool crcChecked = false;
        quint16 crcResult = 0;

        bool clean() const { return !(errors & (ErrorFlagBits::CollErr | ErrorFlagBits::ParityErr | ErrorFlagBits::CRCErr)); }
    };
    Received decode(const Reception &reception);
    void applyReceived(const Received &received);

    // A command whose frame is still on the air: the answer's bytes reach
    // the FIFO as they arrive, and the receiver's registers, the interrupt
    // and Idle come at its end.
    struct Running
    {
        qint64 endNs = 0;
        quint8 irqs = 0;
        bool receives = false;
        Received received;
        std::vector<qint64> byteTimesNs;
        std::size_t delivered = 0;
        bool crypto1OnAtEnd = false;
    };
    Running runningFor(const AirExchange &exchange, quint8 irqs) const;
    static quint8 receivedIrqs(const Reception &reception);
    void finishAfterAir(Running running);
    // Brings the running command up to the clock.
    void catchUp();
    quint16 crc(const QByteArray &bytes) const;

    std::array<quint8, 64> m_registers {};
    quint8 m_page = 0;
    quint8 m_command = 0;
    std::deque<quint8> m_fifo;
    std::array<quint8, EepromSize> m_eeprom {};

    Crypto1::Key m_key {};
    bool m_crypto1On = false;
    Crypto1 m_cipher;
    // What Authent1 leaves for Authent2, with the cipher loaded and fed the
    // UID and the card's nonce.
    bool m_authPending = false;
    quint32 m_authUid = 0;
    quint32 m_cardNonce = 0;

    RfField m_field;
    std::deque<AirExchange> m_airLog;
    quint64 m_exchangeCount = 0;
    Clock m_clock;
    qint64 m_lastHandshakeNs = 0;  // on the bench's clock
    qint64 m_airClockNs = 0;       // the air clock at the last handshake
    qint64 m_nextFrameAtNs = 0;    // the earliest start of the reader's next frame
    bool m_realTime = false;
    std::optional<Running> m_running;
};
