#include "mifareclassic.h"

#include "accessconditions.h"
#include "chipregisters.h"
#include "iso14443aprotocol.h"
#include "readerlink.h"

#include <QtDebug>

namespace {

constexpr quint8 Read = 0x30;
constexpr quint8 Write = 0xA0;

// Blocks 0 to 127 come four to a sector; from block 128 on (the last eight
// sectors of a MIFARE Classic 4K), sixteen. A sector's last block is its
// trailer.
constexpr int FirstLargeSectorBlock = 128;
constexpr int SmallSectorBlocks = 4;
constexpr int LargeSectorBlocks = 16;
// Where the cascade level 2 bytes begin in a double-size UID.
constexpr int CascadeLevel2Uid = 3;

using namespace ChannelRedundancyBits;
constexpr quint8 FlushFifo = ControlBits::FlushFIFO;
constexpr quint8 Nibble = ChipEeprom::NibbleMask;

// One key nibble as the chip stores it: the nibble's complement above the
// nibble itself, so that a corrupted byte shows.
quint8 keyFormatNibble(quint8 nibble)
{
    return quint8(((nibble ^ Nibble) << 4) | nibble);
}

} // namespace

MifareClassic::MifareClassic(Iso14443aProtocol *iso14443a)
    : iso14443a(iso14443a)
    , key {}
    , encodedKey {}
    , authenticated(false)
    , lastRead(Outcome::NotSent)
    , writeCommandPhase(Outcome::NotSent)
    , writeDataPhase(Outcome::NotSent)
    , acknowledgement(0)
{
}

void MifareClassic::encodeKey()
{
    for (int i = 0; i < KeyLength; ++i) {
        encodedKey[2 * i] = keyFormatNibble(key[i] >> 4);
        encodedKey[2 * i + 1] = keyFormatNibble(key[i] & Nibble);
    }
}

void MifareClassic::loadKey()
{
    ReaderLink *link = iso14443a->link;
    const ReaderLink::Operation operation(*link);
    link->writeRegister(ChipReg::Command, ChipCmd::Idle);
    link->writeRegister(ChipReg::Control, FlushFifo);
    link->writeFifo(encodedKey, qint8(sizeof encodedKey));
    link->writeRegister(ChipReg::Command, ChipCmd::LoadKey);
    link->pause(100);
    link->writeRegister(ChipReg::Control, FlushFifo);
}

void MifareClassic::authenticate(quint8 command, quint8 block)
{
    ReaderLink *link = iso14443a->link;
    const ReaderLink::Operation operation(*link);
    authenticated = false;
    // The chip seeds its cipher with the four UID bytes that follow the
    // block, and the card with the same four of its own.
    const quint8 *uid = iso14443a->uid + (iso14443a->hasDoubleSizeUid() ? CascadeLevel2Uid : 0);
    const quint8 frame[] = { command, block, uid[0], uid[1], uid[2], uid[3] };
    link->writeRegister(ChipReg::Control, FlushFifo);
    link->writeRegister(ChipReg::ChannelRedundancy, OddParityTxCrc);
    link->writeFifo(frame, qint8(sizeof frame));
    link->writeRegister(ChipReg::Command, ChipCmd::Authent1);
    link->pause(100);
    link->writeRegister(ChipReg::ChannelRedundancy, OddParityNoCrc);
    link->writeRegister(ChipReg::Command, ChipCmd::Authent2);
    link->pause(100);
    const char control = link->readRegister(ChipReg::Control);
    if (operation.failed())
        return;  // a Control that was never read tells nothing
    qDebug("AUTH OK IF 0X08: %d", int(control));
    authenticated = quint8(control) & ControlBits::Crypto1On;
}

void MifareClassic::readBlock(quint8 block, quint8 *buffer)
{
    const quint8 frame[] = { Read, block };
    const ReaderLink::Operation operation(*iso14443a->link);
    iso14443a->link->writeRegister(ChipReg::ChannelRedundancy, OddParityCrcBothWays);
    iso14443a->link->pause(10);
    lastRead = TypeAExchange::transceive(iso14443a->link, frame, 2, buffer, BlockLength, BlockLength, 100);
}

void MifareClassic::writeBlock(quint8 block, const quint8 *data)
{
    writeCommandPhase = Outcome::NotSent;
    writeDataPhase = Outcome::NotSent;
    acknowledgement = 0;
    if (isSectorTrailer(block) && !accessBitsConsistent(data))
        return;

    ReaderLink *link = iso14443a->link;
    const ReaderLink::Operation operation(*link);
    const quint8 frame[] = { Write, block };
    quint8 acknowledgement = 0;
    link->writeRegister(ChipReg::ChannelRedundancy, OddParityTxCrc);
    link->pause(10);
    writeCommandPhase = TypeAExchange::acknowledged(link, frame, 2, &acknowledgement, 200);
    // A card that refused the command, or never heard it, is not waiting
    // for data: sent all the same, the data would be taken for a command.
    if (writeCommandPhase == Outcome::Answered)
        writeDataPhase = TypeAExchange::acknowledged(link, data, BlockLength, &acknowledgement, 300);
    this->acknowledgement = acknowledgement & Nibble;
    link->writeRegister(ChipReg::ChannelRedundancy, OddParityNoCrc);
}

bool MifareClassic::isSectorTrailer(quint8 block)
{
    const int sectorBlocks = block < FirstLargeSectorBlock ? SmallSectorBlocks : LargeSectorBlocks;
    return block % sectorBlocks == sectorBlocks - 1;
}

bool MifareClassic::accessBitsConsistent(const quint8 *trailer)
{
    return AccessConditions::consistent(trailer + AccessConditions::FirstAccessByteInTrailer);
}
