#pragma once

#include "aircommands.h"
#include "virtualcard.h"

#include <QByteArray>
#include <QtGlobal>

#include <optional>
#include <vector>

// A vicinity tag of ISO/IEC 15693-3 in the virtual bench's field: a 64-bit
// UID (0xE0 in its most significant byte for every ISO 15693 tag), a DSFID,
// an AFI and blocks of four bytes, each of which may be locked.
//
// It hears only the 1-out-of-4 and 1-out-of-256 codes, and only requests of
// whole bytes closed by a good ISO 3309 CRC; anything else passes it by. Its
// answers are plain bytes with their CRC, least significant byte first.
//
// States: powered off, READY, QUIET and SELECTED. The field coming on puts
// the tag in READY; the field going off loses every state (the blocks, AFI,
// DSFID and locks are non-volatile and stay).
//
// Inventory, in one or 16 slots, with an optional AFI and a mask of up to 64
// (one slot) or 60 (16 slots) UID bits. In 16 slots the tag answers in the
// slot given by the four UID bits above the mask (the UID's low nibble when
// the mask is empty): slot 0 right after the request, slot n after the n-th
// end-of-frame pulse that follows it. Any other request ends the slots.
// Tags never answer an inventory with an error.
//
// Commands: Stay Quiet, Read Single Block, Write Single Block, Lock Block,
// Select, Reset to Ready, Write AFI, Lock AFI, Write DSFID, Lock DSFID,
// Get System Information (DSFID, AFI, memory size and IC reference),
// addressed (with the UID), non-addressed, or for the selected tag (Select
// flag). With the Option flag, Read Single Block adds the block's security
// status, and the writing and locking commands keep their answer until the
// reader's next end-of-frame pulse, as the standard has them. Errors answer
// the flags byte 0x01 and an error code.
//
// The bench's chip listens for one sub-carrier at the high data rate only, as
// its ISO 15693 configuration sets it. A request with the Sub-carrier flag
// (two sub-carriers) or without the Data-rate flag (low rate) is carried out
// as any other, but its answer goes where the chip's receiver does not
// listen: nothing reaches the chip.
class Iso15693Tag : public VirtualCard
{
public:
    enum class State { PowerOff, Ready, Quiet, Selected };

    static constexpr int BlockSize = 4;
    static constexpr int DefaultBlockCount = 28;
    static constexpr int MaxBlockCount = 256;
    // The IC reference Get System Information gives: the bench's own part
    // number, which no manufacturer's table names.
    static constexpr quint8 IcReference = 0x01;

    // Request flags.
    enum : quint8 {
        FlagSubCarrier = VicinityCommand::FlagSubCarrier,
        FlagDataRate = VicinityCommand::FlagDataRate,
        FlagInventory = VicinityCommand::FlagInventory,
        FlagProtocolExtension = VicinityCommand::FlagProtocolExtension,
        FlagSelect = VicinityCommand::FlagSelect,  // without the Inventory flag
        FlagAddress = VicinityCommand::FlagAddress,  // without the Inventory flag
        FlagAfi = VicinityCommand::FlagAfi,  // with the Inventory flag
        FlagOneSlot = VicinityCommand::FlagOneSlot,  // with the Inventory flag
        FlagOption = VicinityCommand::FlagOption,
    };

    // Command codes.
    enum : quint8 {
        CmdInventory = VicinityCommand::Inventory,
        CmdStayQuiet = VicinityCommand::StayQuiet,
        CmdReadSingleBlock = VicinityCommand::ReadSingleBlock,
        CmdWriteSingleBlock = VicinityCommand::WriteSingleBlock,
        CmdLockBlock = VicinityCommand::LockBlock,
        CmdSelect = VicinityCommand::Select,
        CmdResetToReady = VicinityCommand::ResetToReady,
        CmdWriteAfi = VicinityCommand::WriteAfi,
        CmdLockAfi = VicinityCommand::LockAfi,
        CmdWriteDsfid = VicinityCommand::WriteDsfid,
        CmdLockDsfid = VicinityCommand::LockDsfid,
        CmdGetSystemInformation = VicinityCommand::GetSystemInformation,
    };

    // Answer flags and error codes.
    enum : quint8 {
        AnswerOk = VicinityCommand::AnswerOk,
        AnswerError = VicinityCommand::AnswerError,
        ErrorNotSupported = VicinityCommand::ErrorNotSupported,  // the command code is not known
        ErrorNotRecognised = VicinityCommand::ErrorNotRecognised,  // format error
        ErrorBlockNotAvailable = VicinityCommand::ErrorBlockNotAvailable,
        ErrorAlreadyLocked = VicinityCommand::ErrorAlreadyLocked,
        ErrorLocked = VicinityCommand::ErrorLocked,  // locked: the content cannot change
    };

    // `uid` as a number: its most significant byte goes last on the air.
    // The block count is kept between 1 and MaxBlockCount; the blocks start
    // with bytes that tell them apart: block n holds 4n, 4n+1, 4n+2, 4n+3
    // (modulo 256).
    explicit Iso15693Tag(quint64 uid, quint8 dsfid = 0x00, quint8 afi = 0x00,
                         int blockCount = DefaultBlockCount);

    quint64 uid() const { return m_uid; }
    // The UID as the tag sends it: least significant byte first.
    QByteArray uidBytes() const;
    State state() const { return m_state; }
    quint8 dsfid() const { return m_dsfid; }
    quint8 afi() const { return m_afi; }
    int blockCount() const { return int(m_blocks.size()); }
    QByteArray block(int number) const;
    // Sets a block's content (the first BlockSize bytes, zero-padded), lock
    // or no lock; numbers outside the tag are ignored.
    void setBlock(int number, const QByteArray &data);
    bool blockLocked(int number) const;
    bool afiLocked() const { return m_afiLocked; }
    bool dsfidLocked() const { return m_dsfidLocked; }

    void fieldOn() override;
    void fieldOff() override;
    std::optional<AirBits> hear(const AirFrame &frame) override;

    // Whether a tag with AFI `own` takes part in an inventory asking for
    // `requested`: 0x00 asks every tag; a family with sub-family 0 (X0) asks
    // every sub-family of family X; any other value (XY, or 0Y, a
    // proprietary sub-family) asks that exact value.
    static bool afiMatches(quint8 requested, quint8 own);

private:
    struct Block
    {
        QByteArray data;
        bool locked = false;
    };

    // The answer of a request (without CRC), or nothing.
    std::optional<QByteArray> request(const QByteArray &bytes);
    std::optional<QByteArray> inventory(const QByteArray &bytes);
    std::optional<QByteArray> command(quint8 flags, quint8 code, const QByteArray &parameters);
    std::optional<AirBits> endOfFrame();
    // Get System Information's answer: every field the information flags
    // can announce.
    QByteArray systemInformation() const;
    // The answer of a writing or locking command: given now, or held for
    // the next end-of-frame pulse when the Option flag asks for that.
    std::optional<QByteArray> reply(quint8 flags, const QByteArray &answer);
    std::optional<AirBits> onAir(const QByteArray &answer) const;
    bool uidBit(int index) const { return (m_uid >> index) & 1; }

    quint64 m_uid;
    quint8 m_dsfid;
    quint8 m_afi;
    bool m_afiLocked = false;
    bool m_dsfidLocked = false;
    std::vector<Block> m_blocks;

    State m_state = State::PowerOff;
    // Whether the reader listens where the last request asked the tag to
    // answer (one sub-carrier, high data rate).
    bool m_audible = true;
    // A 16-slot inventory in progress: the slot now open, and the one this
    // tag answers in (-1 once it has answered or does not take part).
    int m_currentSlot = -1;
    int m_answerSlot = -1;
    QByteArray m_slotAnswer;
    // An answer held back until the next end-of-frame pulse (Option flag).
    std::optional<QByteArray> m_heldAnswer;
};
