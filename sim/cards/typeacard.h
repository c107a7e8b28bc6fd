#pragma once

#include "aircommands.h"
#include "virtualcard.h"

#include <QByteArray>

// A contactless card of ISO/IEC 14443-3 type A: power-off, IDLE, READY,
// ACTIVE and HALT states; REQA and WUPA as 7-bit short frames; the bit-wise
// anticollision and SELECT of each cascade level, for single-size (4-byte)
// and double-size (7-byte) UIDs; HLTA. It hears only modified Miller coding,
// and a frame with a wrong parity bit, bit count or CRC gets no answer, as
// on a real card. Cards with an application (MIFARE Classic, Ultralight)
// take over the ACTIVE state's frames.
class TypeACard : public VirtualCard
{
public:
    enum class State { PowerOff, Idle, Ready, Active, Halt };

    // `uid` of 4 or 7 bytes, `atqa` the two bytes as sent, `sak` the answer
    // to the SELECT that completes the UID.
    TypeACard(const QByteArray &uid, const QByteArray &atqa, quint8 sak);

    const QByteArray &uid() const { return m_uid; }
    State state() const { return m_state; }
    // The four UID bytes a reader gives its cipher for this card, as one
    // number, first byte highest: the whole UID of a single-size card, the
    // last four (those of cascade level 2) of a double-size one.
    quint32 cipherUid() const;

    void fieldOn() override;
    void fieldOff() override;
    std::optional<AirBits> hear(const AirFrame &frame) override;

    // Frames as cards put them on the air.
    static AirBits withCrc(const QByteArray &bytes);  // bytes, CRC_A, odd parity
    static AirBits fourBits(quint8 nibble);           // an ACK or NAK
    // Whole bytes with good odd parity and a good CRC_A, the CRC taken off;
    // false for anything else.
    static bool takeFrameWithCrc(const AirBits &bits, QByteArray *bytes);

    static constexpr quint8 Ack = MifareCommand::Ack;
    static constexpr quint8 NakInvalid = MifareCommand::NakInvalid;

protected:
    // A frame heard while ACTIVE. The plain card knows only HLTA; anything
    // else sends it back to IDLE.
    virtual std::optional<AirBits> activeFrame(const AirBits &bits);
    // The card leaves ACTIVE (halted, error, field lost): drop any session.
    virtual void leaveActive() {}

    // Out of ACTIVE or READY after an error: back to HALT when the card was
    // woken from HALT, to IDLE otherwise.
    void fallBack();
    void halt();
    static bool isHalt(const QByteArray &frame);

private:
    std::optional<AirBits> shortFrame(quint8 command);
    std::optional<AirBits> readyFrame(const AirBits &bits);
    // The five bytes of the current cascade level: UID part and BCC.
    QByteArray cascadeBytes() const;
    int cascadeLevelCount() const { return m_uid.size() == 7 ? 2 : 1; }
    void enterState(State state);

    QByteArray m_uid;
    QByteArray m_atqa;
    quint8 m_sak;
    State m_state = State::PowerOff;
    int m_level = 1;            // cascade level being resolved while READY
    bool m_wokenFromHalt = false;
};
