#include "mifareclassic.h"

#include "chipregisters.h"
#include "iso14443aprotocol.h"
#include "readerlink.h"
#include "waits.h"

#include <QtDebug>

namespace {

constexpr quint8 Read = 0x30;
constexpr quint8 Write = 0xA0;

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
    link->writeRegister(ChipReg::Command, ChipCmd::Idle);
    link->writeRegister(ChipReg::Control, FlushFifo);
    link->writeFifo(encodedKey, qint8(sizeof encodedKey));
    link->writeRegister(ChipReg::Command, ChipCmd::LoadKey);
    sleepMoreThan(100);
    link->writeRegister(ChipReg::Control, FlushFifo);
}

void MifareClassic::authenticate(quint8 command, quint8 block)
{
    ReaderLink *link = iso14443a->link;
    const quint8 frame[] = { command, block, iso14443a->uid[0], iso14443a->uid[1],
                             iso14443a->uid[2], iso14443a->uid[3] };
    link->writeRegister(ChipReg::Control, FlushFifo);
    link->writeRegister(ChipReg::ChannelRedundancy, OddParityTxCrc);
    link->writeFifo(frame, qint8(sizeof frame));
    link->writeRegister(ChipReg::Command, ChipCmd::Authent1);
    sleepMoreThan(100);
    link->writeRegister(ChipReg::ChannelRedundancy, OddParityNoCrc);
    link->writeRegister(ChipReg::Command, ChipCmd::Authent2);
    sleepMoreThan(100);
    const char control = link->readRegister(ChipReg::Control);
    qDebug("AUTH OK IF 0X08: %d", int(control));
}

void MifareClassic::readBlock(quint8 block, quint8 *buffer)
{
    const quint8 frame[] = { Read, block };
    iso14443a->link->writeRegister(ChipReg::ChannelRedundancy, OddParityCrcBothWays);
    sleepMoreThan(10);
    iso14443a->link->transceive(frame, 2, buffer, BlockLength, 100);
}

void MifareClassic::writeBlock(quint8 block, const quint8 *data)
{
    ReaderLink *link = iso14443a->link;
    const quint8 frame[] = { Write, block };
    quint8 acknowledgement = 0;
    link->writeRegister(ChipReg::ChannelRedundancy, OddParityTxCrc);
    sleepMoreThan(10);
    link->transceive(frame, 2, &acknowledgement, 1, 200);
    // The data phase goes out whatever the card answered to the first.
    link->transceive(data, BlockLength, &acknowledgement, 1, 300);
    link->writeRegister(ChipReg::ChannelRedundancy, OddParityNoCrc);
}
