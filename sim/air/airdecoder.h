#pragma once

#include "airexchange.h"
#include "airmeasure.h"

#include <QByteArray>
#include <QString>

#include <vector>

// One frame on the air as a protocol analyser shows it.
struct DecodedFrame
{
    enum class Direction { ReaderToCard, CardToReader };
    // A check the frame's framing calls for, or None where it has none.
    enum class Check { None, Ok, Failed };

    quint64 serial = 0;     // the exchange it belongs to
    qint64 timeNs = 0;      // its start on the air clock
    qint64 endNs = 0;       // its end (the last modulation, end of frame included)
    // From the end of the frame before it on the air to its start; -1 for the
    // first frame the decoder sees.
    qint64 gapNs = -1;
    // The standard's timings that apply to it, measured, with their limits.
    std::vector<TimingCheck> timings;
    Direction direction = Direction::ReaderToCard;
    int bitCount = 0;       // data bits, parity bits not counted
    QByteArray bytes;       // the last one partial when bitCount is not a multiple of 8
    Check parity = Check::None;
    Check crc = Check::None;
    // Enciphered on the air. Where the reader's chip knew the frame in the
    // clear, it is decoded from that: `bytes` stay the ciphertext, as a
    // sniffer captures it, plainBytes hold the clear bytes, the meaning
    // ends with the ciphertext ("READ bloc 4 (chiffré : 3A 91 5C 0E)"), and
    // the parity and CRC checks are those of the clear frame. A frame it
    // could not read has no plainBytes, and its meaning says so.
    bool encrypted = false;
    QByteArray plainBytes;
    bool slotPulse = false;  // an ISO/IEC 15693 end-of-frame pulse alone
    // The frame breaks its own rules (an NVB, a BCC, a length, a parameter
    // missing or in excess): its meaning says how.
    bool malformed = false;
    // How the bits fall into bytes on the air: a parity bit after each whole
    // byte (type A), and the data bits of the first byte (fewer than eight
    // when it completes a byte the reader began, in an anticollision).
    bool parityBits = false;
    int firstByteBits = 8;
    // "REQA", "ATQA", "SELECT CL1 UID 04A23B15", ...; a fault after " : "
    // ("SELECT CL1 UID 04A23B15 : BCC faux"), and why no card heard the
    // frame after " — ".
    QString meaning;

    // "26", "93 20", "" for a pulse
    QString hex() const;
    // The meaning without the ciphertext a decrypted frame's ends with.
    QString meaningWithoutCiphertext() const;
    // Whether the last byte holds fewer than eight bits.
    bool partial() const { return bitCount % 8 != 0; }
    // One line of a trace: "→ REQA 26 (7 bits)", "← ATQA 04 00"; a decrypted
    // frame with its clear bytes, then its ciphertext: "→ READ bloc 4 30 04
    // 26 EE (chiffré : 3A 91 5C 0E)".
    QString traceLine() const;
    // What an exchange's summary shows of it: the meaning, with the bytes
    // of a short answer ("ATQA 04 00"); a decrypted frame's without its
    // ciphertext.
    QString label() const;
};

// Decodes the air's frames, exchange after exchange: the request by its own
// bytes, the answer by the request it answers, the MIFARE session's frames
// from the clear bits the reader's chip recorded (those it could not read
// as such), an inventory's slot pulses by their number. It keeps what
// it needs of the frames before (the last request, the inventory's slot).
// It is strict: a frame that breaks its command's rules is named for what it
// is and flagged, never read as what it should have been; a frame that never
// reached the air (field off, coder muted) is not decoded; one that no card
// heard says why.
class AirDecoder
{
public:
    // The reader's frame and, if one came, the answer.
    std::vector<DecodedFrame> decode(const AirExchange &exchange);
    // "REQA → ATQA 04 00", "READ bloc 4 → (pas de réponse)"
    static QString summary(const std::vector<DecodedFrame> &frames);
    void reset();

private:
    AirMeasurer m_measurer;
    enum class Last {
        None, Request, Anticollision, Select, Halt, Authenticate, AuthenticationToken, Read,
        Write, WriteData, UltralightWrite, Vicinity, Other
    };

    DecodedFrame silentRequest(const AirExchange &exchange) const;
    DecodedFrame typeARequest(const AirExchange &exchange);
    DecodedFrame encryptedRequest(const AirExchange &exchange);
    DecodedFrame readerToken(const AirBits &bits, bool parity);
    // A type A command from its bits, on the air or `deciphered`: then the
    // data it carries go into its meaning.
    DecodedFrame typeACommand(const AirBits &bits, quint8 redundancy, bool deciphered);
    DecodedFrame answerFrame(const AirExchange &exchange);
    DecodedFrame typeAAnswer(const AirExchange &exchange);
    DecodedFrame encryptedAnswer(const AirExchange &exchange);
    DecodedFrame cardToken(const AirBits &bits);
    DecodedFrame typeAReply(const AirBits &bits, quint8 redundancy, bool deciphered);
    // Where a type A answer's first bit lands in its byte: past the bits
    // of it the reader sent, after an anticollision.
    int answerOffset(const AirBits &bits) const;
    // A frame decoded from its clear bits given the bytes the air carried.
    static void showCiphertext(DecodedFrame &frame, const AirBits &airBits, bool parity, int offset);
    DecodedFrame vicinityRequest(const AirExchange &exchange);
    DecodedFrame vicinityAnswer(const AirExchange &exchange);

    Last m_last = Last::None;
    int m_level = 0;            // cascade level of the last anticollision or select
    int m_block = 0;            // block of the last MIFARE or ISO 15693 command
    int m_anticollisionBits = 0;  // UID bits the reader already sent
    quint8 m_vicinityCommand = 0;
    quint8 m_vicinityFlags = 0;
    bool m_vicinityWellFormed = false;  // the last ISO 15693 request broke none of its rules
    int m_blockCount = 0;       // blocks of the last ISO 15693 multiple-block command
    int m_slot = -1;            // the slot open in a 16-slot inventory, or -1
};
