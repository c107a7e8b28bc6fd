#include "iso14443aprotocol.h"

#include "chipregisters.h"
#include "readerlink.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr quint8 Reqa = 0x26;
constexpr quint8 SelectCascadeLevel1 = 0x93;
constexpr quint8 SelectCascadeLevel2 = 0x95;
constexpr quint8 NvbAnticollision = 0x20;  // SEL and NVB only: every UID bit is asked for
constexpr quint8 NvbSelect = 0x70;         // SEL, NVB, four UID bytes and the BCC

using namespace ChannelRedundancyBits;

} // namespace

Iso14443aProtocol::Iso14443aProtocol(ReaderLink *link)
    : link(link)
    , uid {}
    , atqa {}
    , cascadeCommand(0)
    , bcc1(0)
    , bcc2(0)
    , errorCode(0)
    , cascadeLevels(0)
    , sak(0)
    , lastAnswer(Outcome::NotSent)
{
}

void Iso14443aProtocol::loadConfiguration()
{
    const ReaderLink::Operation operation(*link);
    link->flushFifo();
    link->setField(false);
    // The type A register set is the chip's start-up set.
    link->writeRegister(ChipReg::FIFOData, ChipEeprom::StartUpSetLow);
    link->writeRegister(ChipReg::FIFOData, ChipEeprom::StartUpSetHigh);
    link->writeRegister(ChipReg::Command, ChipCmd::LoadConfig);
    link->resetPage();
    link->setField(true);
    link->writeRegister(ChipReg::ClockQControl, ChipSetting::ClockQControlAutoCalibration);
    link->writeRegister(ChipReg::CwConductance, ChipSetting::CwConductanceMaximum);
}

void Iso14443aProtocol::request()
{
    const ReaderLink::Operation operation(*link);
    link->setField(false);
    link->pause(100);
    link->setField(true);
    loadConfiguration();
    // The chip spends TxLastBits on the REQA itself; nothing here sets it back.
    link->writeRegister(ChipReg::BitFraming, BitFramingBits::ShortFrame);
    link->writeRegister(ChipReg::ChannelRedundancy, OddParityNoCrc);
    link->pause(1);
    const quint8 frame[] = { Reqa };
    lastAnswer = TypeAExchange::transceive(link, frame, 1, atqa, 2, 2, 100);
}

bool Iso14443aProtocol::bccMatches(const quint8 *answer)
{
    return quint8(answer[0] ^ answer[1] ^ answer[2] ^ answer[3]) == answer[4];
}

void Iso14443aProtocol::anticollisionLevel1()
{
    const ReaderLink::Operation operation(*link);
    if (anticollideLevelOne(5, 100))
        cascadeLevels = 1;
}

void Iso14443aProtocol::anticollision()
{
    const ReaderLink::Operation operation(*link);
    // Level 2 clears errorCode again: a level-1 BCC error is not kept.
    if (anticollideLevelOne(1, 1))
        anticollisionLevel2();
}

bool Iso14443aProtocol::anticollideLevelOne(int settleMs, int answerWaitMs)
{
    errorCode = 0;
    const quint8 frame[] = { SelectCascadeLevel1, NvbAnticollision };
    link->writeRegister(ChipReg::ChannelRedundancy, OddParityNoCrc);
    link->pause(settleMs);
    quint8 answer[5] = {};
    lastAnswer = TypeAExchange::transceive(link, frame, 2, answer, 5, 5, answerWaitMs);
    if (lastAnswer == Outcome::NoBoard)
        return false;  // nothing learnt: the state block stays as it was

    if (!bccMatches(answer))
        errorCode = BccError;  // the answer is kept all the same
    const bool cascadeTag = answer[0] == CascadeTag;
    if (cascadeTag) {
        cascadeCommand = SelectCascadeLevel2;
        std::copy(answer + 1, answer + 4, uid);
    } else {
        cascadeCommand = SelectCascadeLevel1;
        std::copy(answer, answer + 4, uid);
    }
    bcc1 = answer[4];
    return cascadeTag;
}

void Iso14443aProtocol::anticollisionLevel2()
{
    const ReaderLink::Operation operation(*link);
    errorCode = 0;
    const quint8 frame[] = { SelectCascadeLevel2, NvbAnticollision };
    link->flushFifo();
    link->pause(1);
    link->writeRegister(ChipReg::ChannelRedundancy, OddParityNoCrc);
    link->pause(15);
    quint8 answer[5] = {};
    lastAnswer = TypeAExchange::transceive(link, frame, 2, answer, 5, 5, 1);
    if (lastAnswer == Outcome::NoBoard)
        return;
    if (!bccMatches(answer))
        errorCode = BccError;
    // Always four UID bytes at this level: UIDs longer than seven bytes
    // (a second cascade tag) are not handled.
    uid[3] = answer[0];
    uid[4] = answer[1];
    uid[5] = answer[2];
    uid[6] = answer[3];
    bcc2 = answer[4];
    cascadeLevels = 2;
}

void Iso14443aProtocol::select()
{
    const ReaderLink::Operation operation(*link);
    quint8 frame[7] = {};
    if (cascadeCommand == SelectCascadeLevel1) {
        const quint8 level1[] = { SelectCascadeLevel1, NvbSelect, uid[0], uid[1], uid[2], uid[3], bcc1 };
        std::copy(std::begin(level1), std::end(level1), frame);
    } else if (cascadeCommand == SelectCascadeLevel2 && cascadeLevels == 2) {
        const quint8 level2[] = { SelectCascadeLevel2, NvbSelect, uid[3], uid[4], uid[5], uid[6], bcc2 };
        std::copy(std::begin(level2), std::end(level2), frame);
    } else if (cascadeCommand == SelectCascadeLevel2) {
        const quint8 level1[] = { SelectCascadeLevel1, NvbSelect, CascadeTag, uid[0], uid[1], uid[2], bcc1 };
        std::copy(std::begin(level1), std::end(level1), frame);
    }
    // With no anticollision yet (cascadeCommand 0) the frame stays all zero.
    link->writeRegister(ChipReg::ChannelRedundancy, OddParityCrcBothWays);
    link->pause(1);
    link->flushFifo();
    link->pause(1);
    // The SAK and its CRC come back; the chip checks and removes the CRC.
    quint8 answer[2] = {};
    lastAnswer = TypeAExchange::transceive(link, frame, 7, answer, 2, 1, 1);
    if (lastAnswer != Outcome::NoBoard)
        sak = answer[0];
}

bool Iso14443aProtocol::hasDoubleSizeUid() const
{
    return cascadeCommand == SelectCascadeLevel2 && cascadeLevels == 2;
}

void Iso14443aProtocol::scan()
{
    const ReaderLink::Operation operation(*link);
    link->setField(false);
    link->setField(true);
    request();
    anticollision();
}
