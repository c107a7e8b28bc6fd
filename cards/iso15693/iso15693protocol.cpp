#include "iso15693protocol.h"

#include "chipregisters.h"
#include "readerlink.h"

#include <algorithm>
#include <deque>
#include <limits>

namespace {

// Request flags of ISO/IEC 15693-3.
constexpr quint8 DataRateFlag = 0x02;   // high data rate
constexpr quint8 AddressFlag = 0x20;    // without the Inventory flag: the UID follows the command
constexpr quint8 InventoryFlag = 0x04;
constexpr quint8 AfiFlag = 0x10;        // with the Inventory flag
constexpr quint8 OneSlotFlag = 0x20;    // Nb_slots_flag, with the Inventory flag
// Non-addressed, high data rate, one sub-carrier, no option.
constexpr quint8 CommandFlags = DataRateFlag;
// The 16-slot inventory without AFI always goes out with these flags.
constexpr quint8 SixteenSlotFlags = DataRateFlag | InventoryFlag;

// Command codes.
constexpr quint8 CmdInventory = 0x01;
constexpr quint8 CmdReadSingleBlock = 0x20;
constexpr quint8 CmdWriteSingleBlock = 0x21;
constexpr quint8 CmdWriteAfi = 0x27;
constexpr quint8 CmdWriteDsfid = 0x29;
constexpr quint8 CmdGetSystemInformation = 0x2B;
constexpr quint8 NoMask = 0x00;  // mask length 0: every tag takes part

// Response flags: with the Error_flag, an error code follows.
constexpr quint8 ResponseErrorFlag = 0x01;
constexpr int AnswerFlags = 0;
constexpr int AnswerErrorCode = 1;

// Chip settings of the ISO 15693 exchanges.
constexpr quint8 Iso15693Redundancy = ChannelRedundancyBits::Iso15693Crc;  // no parity, ISO 3309 CRC on both ways
constexpr quint8 Coding1OutOf256 = CoderControlBits::Iso15693OneOutOf256;
// The same coding with SendOnePulse: a Transceive on an empty FIFO sends only
// the end-of-frame pulse that moves the tags to their next time slot.
constexpr quint8 Coding1OutOf256SlotPulse = CoderControlBits::Iso15693SlotPulse;

// The inventory answer without its CRC: flags, DSFID, UID least significant
// byte first. Its last byte, the UID's most significant, is 0xE0 for every
// ISO 15693 tag.
constexpr int InventoryAnswerLength = 10;
constexpr int AnswerDsfid = 1;
constexpr int AnswerUid = 2;
constexpr int AnswerUidMsb = 9;
constexpr quint8 Iso15693UidMsb = 0xE0;
// Fewer bytes than this in the FIFO is no answer.
constexpr int AnswerInFifo = 5;
// What the first exchange reads: the AFI variants read two bytes more than
// an answer holds, which an empty FIFO gives as zeros.
constexpr qint8 FirstReadWithAfi = 12;
constexpr qint8 FirstReadOneSlot = 12;
constexpr qint8 FirstReadSixteenSlots = 10;

constexpr int SlotCount = 16;
// The longest masks: the whole UID in one slot; in 16 slots, all but the
// four bits that choose the slot. A round under a collided slot's mask adds
// the slot's nibble, or one bit in one slot.
constexpr int LongestMaskOneSlot = 64;
constexpr int LongestMaskSixteenSlots = 60;
constexpr int SlotBits = 4;
// inventory() keeps the first two tags it finds.
constexpr int WindowTagLimit = 2;
// Each slot takes at most one pass for its pulse and one for its answer; a
// board that keeps reporting bytes beyond that ends the inventory here.
constexpr int MaxSlotPasses = 2 * SlotCount;
// How long the tags get at the start of each pass.
constexpr int SlotWaitWithAfiMs = 50;
constexpr int SlotWaitMs = 1;
// How long a slot's pulse and answer may keep the chip busy at most.
constexpr int SlotAnswerBoundMs = 100;

constexpr qint8 CommandAnswerLength = 5;  // flags and the four bytes of a block
// The shortest whole answers: a block read's flags and four bytes; a
// write's flags alone.
constexpr int WholeBlockAnswer = 5;
constexpr int WholeWriteAnswer = 1;

// Get System Information's answer: flags, information flags, the UID, then
// the fields the information flags announce, in this order.
constexpr int InfoFlagsAt = 1;
constexpr int InfoUidAt = 2;
constexpr int InfoFieldsAt = InfoUidAt + 8;
constexpr quint8 InfoDsfid = 0x01;
constexpr quint8 InfoAfi = 0x02;
constexpr quint8 InfoMemorySize = 0x04;
constexpr quint8 InfoIcReference = 0x08;
constexpr int MemorySizeLength = 2;  // blocks less one, then bytes per block less one
constexpr quint8 BlockSizeMask = 0x1F;
constexpr qint8 SystemInformationLength = InfoFieldsAt + 1 + 1 + MemorySizeLength + 1;

struct RegisterSetting
{
    quint8 address;
    quint8 value;
};

// The ISO 15693 settings, written in this order over the loaded set.
constexpr RegisterSetting Iso15693Settings[] = {
    { ChipReg::ModConductance, ChipSetting::Iso15693ModConductance },
    { ChipReg::CoderControl, Coding1OutOf256 },
    { ChipReg::ModWidth, ChipSetting::Iso15693ModWidth },
    { ChipReg::TypeBFraming, ChipSetting::Iso15693TypeBFraming },
    { ChipReg::RxControl1, ChipSetting::Iso15693RxControl1 },
    { ChipReg::DecoderControl, ChipSetting::Iso15693DecoderControl },
    { ChipReg::BitPhase, ChipSetting::Iso15693BitPhase },
    { ChipReg::RxThreshold, ChipSetting::Iso15693RxThreshold },
    { ChipReg::BPSKDemControl, ChipSetting::Iso15693BPSKDemControl },
    { ChipReg::RxWait, ChipSetting::Iso15693RxWait },
    { ChipReg::ChannelRedundancy, Iso15693Redundancy },
    { ChipReg::CRCPresetLSB, ChipSetting::CRCPresetAllOnes },
    { ChipReg::CRCPresetMSB, ChipSetting::CRCPresetAllOnes },
    { ChipReg::FIFOLevel, ChipSetting::Iso15693FIFOLevel },
    { ChipReg::TimerClock, ChipSetting::Iso15693TimerClock },
    { ChipReg::TimerControl, ChipSetting::Iso15693TimerControl },
    { ChipReg::TimerReload, ChipSetting::Iso15693TimerReload },
};

void record(const quint8 *answer, quint8 (&uid)[8], quint8 &dsfid)
{
    dsfid = answer[AnswerDsfid];
    std::copy(answer + AnswerUid, answer + AnswerUid + 8, uid);
}

} // namespace

Iso15693Protocol::Iso15693Protocol(ReaderLink *link)
    : link(link), uid {}, dsfid(0), secondUid {}, secondDsfid(0), tagsFound(0), outcome(Outcome::NoAnswer), errorCode(0)
{
}

void Iso15693Protocol::loadConfiguration()
{
    const ReaderLink::Operation operation(*link);
    link->flushFifo();
    link->setField(false);
    // The ISO 15693 settings are written over the chip's start-up set.
    link->writeRegister(ChipReg::FIFOData, ChipEeprom::StartUpSetLow);
    link->writeRegister(ChipReg::FIFOData, ChipEeprom::StartUpSetHigh);
    link->writeRegister(ChipReg::Command, ChipCmd::LoadConfig);
    link->resetPage();
    for (const RegisterSetting &setting : Iso15693Settings)
        link->writeRegister(setting.address, setting.value);
    link->setField(true);
}

void Iso15693Protocol::inventory(quint8 flags, quint8 afi)
{
    clearFound();
    if (!(flags & InventoryFlag))
        return;
    quint16 collided = 0;
    inventoryRound(flags, afi, 0, 0, WindowTagLimit, collided);
}

void Iso15693Protocol::inventoryEvery(bool oneSlot, bool withAfi, quint8 afi)
{
    clearFound();
    const quint8 flags = quint8(DataRateFlag | InventoryFlag | (withAfi ? AfiFlag : 0) | (oneSlot ? OneSlotFlag : 0));
    const int longestMask = oneSlot ? LongestMaskOneSlot : LongestMaskSixteenSlots;
    struct Round
    {
        int maskLength;
        quint64 mask;
    };
    std::deque<Round> rounds { { 0, 0 } };
    for (int count = 0; !rounds.empty() && count < MaxInventoryRounds && !link->failed(); ++count) {
        const Round round = rounds.front();
        rounds.pop_front();
        quint16 collided = 0;
        inventoryRound(flags, afi, round.maskLength, round.mask, std::numeric_limits<int>::max(), collided);
        if (oneSlot) {
            if (collided && round.maskLength < longestMask) {
                rounds.push_back({ round.maskLength + 1, round.mask });
                rounds.push_back({ round.maskLength + 1, round.mask | (quint64(1) << round.maskLength) });
            }
            continue;
        }
        for (int slot = 0; slot < SlotCount && round.maskLength + SlotBits <= longestMask; ++slot) {
            if (collided & (1u << slot))
                rounds.push_back({ round.maskLength + SlotBits, round.mask | (quint64(slot) << round.maskLength) });
        }
    }
}

void Iso15693Protocol::clearFound()
{
    std::fill(std::begin(uid), std::end(uid), quint8(0));
    std::fill(std::begin(secondUid), std::end(secondUid), quint8(0));
    tagsFound = 0;
    tags.clear();
}

void Iso15693Protocol::inventoryRound(quint8 flags, quint8 afi, int maskLength, quint64 mask, int tagLimit,
                                      quint16 &collided)
{
    const ReaderLink::Operation operation(*link);
    const bool withAfi = flags & AfiFlag;
    const bool oneSlot = flags & OneSlotFlag;
    quint8 request[LongestInventoryRequest];
    int length = 0;
    request[length++] = withAfi || oneSlot ? flags : SixteenSlotFlags;
    request[length++] = CmdInventory;
    if (withAfi)
        request[length++] = afi;
    request[length++] = quint8(maskLength);
    // The mask goes out as the UID does, least significant byte first.
    for (int byte = 0; byte < (maskLength + 7) / 8; ++byte)
        request[length++] = quint8(mask >> (8 * byte));
    const qint8 firstRead = withAfi ? FirstReadWithAfi : oneSlot ? FirstReadOneSlot : FirstReadSixteenSlots;
    quint8 answer[FirstReadWithAfi] = {};
    exchange(request, qint8(length), answer, firstRead);
    if (operation.failed())
        return;

    // The first exchange heard the first slot (the only one, in one slot):
    // a tag that answered there is found like any other. An empty FIFO
    // reads as zeros; anything else that is no whole answer is tags
    // answering at once.
    const bool whole = isWholeTagAnswer(answer);
    if (!whole && !link->failed() && std::any_of(answer, answer + InventoryAnswerLength, [](quint8 b) { return b != 0; }))
        collided |= 1u;
    if (oneSlot) {
        // Judged as each slot of the 16 is: what no tag sends, an empty FIFO
        // included, is not recorded, and the DSFID shown before stays.
        if (whole)
            recordFound(answer, tagLimit);
        return;
    }

    link->writeRegister(ChipReg::CoderControl, Coding1OutOf256SlotPulse);
    if (!(whole && recordFound(answer, tagLimit)))
        remainingSlots(withAfi, tagLimit, collided);
    link->writeRegister(ChipReg::CoderControl, Coding1OutOf256);
}

void Iso15693Protocol::remainingSlots(bool withAfi, int tagLimit, quint16 &collided)
{
    const int waitMs = withAfi ? SlotWaitWithAfiMs : SlotWaitMs;
    int slot = 0;  // the last slot opened; the request opened the first
    bool pulsed = false;
    for (int pass = 0; pass < MaxSlotPasses && !link->failed(); ++pass) {
        link->pause(waitMs);
        // A tag's answer in a slot takes some 4 ms of air after the pulse,
        // longer than the wait: the FIFO is judged once the chip is done.
        if (pulsed)
            link->waitForCommandEnd(SlotAnswerBoundMs);
        pulsed = false;
        const int inFifo = quint8(link->readRegister(ChipReg::FIFOLength));
        if (link->failed())
            return;
        if (inFifo < AnswerInFifo) {
            // The last slot is over only once its answer has been looked for.
            if (slot == SlotCount - 1)
                return;
            // Only an empty FIFO makes Transceive send the bare pulse; left-
            // over bytes would go out as a frame and end the tags' slots.
            if (inFifo > 0)
                link->flushFifo();
            link->writeRegister(ChipReg::Command, ChipCmd::Transceive);
            pulsed = true;
            ++slot;
            continue;
        }
        quint8 answer[InventoryAnswerLength];
        link->readFifo(answer, InventoryAnswerLength);
        if (isWholeTagAnswer(answer)) {
            if (recordFound(answer, tagLimit))
                return;
        } else if (!link->failed()) {
            collided |= quint16(1u << slot);
        }
    }
}

bool Iso15693Protocol::recordFound(const quint8 *answer, int tagLimit)
{
    Tag tag;
    record(answer, tag.uid, tag.dsfid);
    const bool known = std::any_of(tags.begin(), tags.end(), [&tag](const Tag &other) {
        return std::equal(std::begin(tag.uid), std::end(tag.uid), std::begin(other.uid));
    });
    if (!known) {
        tags.push_back(tag);
        if (tagsFound == 0)
            record(answer, uid, dsfid);
        else if (tagsFound == 1)
            record(answer, secondUid, secondDsfid);
        ++tagsFound;
    }
    return tagsFound >= tagLimit;
}

bool Iso15693Protocol::isWholeTagAnswer(const quint8 *answer)
{
    if (answer[AnswerUidMsb] != Iso15693UidMsb)
        return false;
    // Tags answering in the same slot superpose into the UID of neither; the
    // chip tells by a collision or a failed CRC. Bytes read from a board
    // that then stopped answering are no tag's.
    const quint8 errors = quint8(link->readRegister(ChipReg::ErrorFlag));
    return !link->failed() && !(errors & (ErrorFlagBits::CollErr | ErrorFlagBits::CRCErr));
}

void Iso15693Protocol::addressAll()
{
    m_addressed = false;
}

void Iso15693Protocol::addressTag(const quint8 *tagUid)
{
    std::copy(tagUid, tagUid + UidLength, m_address);
    m_addressed = true;
}

qint8 Iso15693Protocol::request(quint8 command, std::initializer_list<quint8> parameters,
                                quint8 (&frame)[LongestRequest]) const
{
    int length = 0;
    frame[length++] = m_addressed ? quint8(CommandFlags | AddressFlag) : CommandFlags;
    frame[length++] = command;
    if (m_addressed) {
        // The UID goes out as the tags send it, least significant byte first.
        std::copy(m_address, m_address + UidLength, frame + length);
        length += UidLength;
    }
    for (quint8 parameter : parameters)
        frame[length++] = parameter;
    return qint8(length);
}

void Iso15693Protocol::readSingleBlock(quint8 (&data)[4], quint8 block)
{
    quint8 frame[LongestRequest];
    const qint8 length = request(CmdReadSingleBlock, { block }, frame);
    quint8 answer[CommandAnswerLength] = {};
    judgedExchange(frame, length, answer, CommandAnswerLength, WholeBlockAnswer);
    // Byte 0 holds the answer's flags. A refusal's error code, or what an
    // empty FIFO reads, is no block data.
    if (outcome == Outcome::Done)
        std::copy(answer + 1, answer + 5, data);
}

void Iso15693Protocol::writeSingleBlock(const quint8 (&data)[4], quint8 block)
{
    quint8 frame[LongestRequest];
    command(frame, request(CmdWriteSingleBlock, { block, data[0], data[1], data[2], data[3] }, frame));
}

void Iso15693Protocol::writeAfi(quint8 afi)
{
    quint8 frame[LongestRequest];
    command(frame, request(CmdWriteAfi, { afi }, frame));
}

void Iso15693Protocol::writeDsfid(quint8 value)
{
    quint8 frame[LongestRequest];
    command(frame, request(CmdWriteDsfid, { value }, frame));
}

void Iso15693Protocol::getSystemInformation(SystemInformation &info)
{
    quint8 frame[LongestRequest];
    const qint8 length = request(CmdGetSystemInformation, {}, frame);
    quint8 answer[SystemInformationLength] = {};
    const int received =
        std::min(judgedExchange(frame, length, answer, SystemInformationLength, InfoFieldsAt), int(SystemInformationLength));
    if (outcome != Outcome::Done)
        return;
    SystemInformation found;
    std::copy(answer + InfoUidAt, answer + InfoFieldsAt, found.uid);
    const quint8 which = answer[InfoFlagsAt];
    int at = InfoFieldsAt;
    bool whole = true;
    // Where a field announced by the information flags starts, or -1 when it
    // is not announced or did not come.
    const auto field = [&](quint8 flag, int size) {
        if (!(which & flag))
            return -1;
        if (at + size > received) {
            whole = false;
            return -1;
        }
        at += size;
        return at - size;
    };
    if (const int dsfidAt = field(InfoDsfid, 1); dsfidAt >= 0)
        found.dsfid = answer[dsfidAt];
    if (const int afiAt = field(InfoAfi, 1); afiAt >= 0)
        found.afi = answer[afiAt];
    if (const int sizeAt = field(InfoMemorySize, MemorySizeLength); sizeAt >= 0) {
        found.blockCount = answer[sizeAt] + 1;
        found.blockSize = (answer[sizeAt + 1] & BlockSizeMask) + 1;
    }
    if (const int icAt = field(InfoIcReference, 1); icAt >= 0)
        found.icReference = answer[icAt];
    if (!whole) {
        outcome = Outcome::Garbled;
        return;
    }
    info = found;
}

void Iso15693Protocol::exchange(const quint8 *request, qint8 length, quint8 *answer, qint8 answerLength)
{
    link->writeRegister(ChipReg::ChannelRedundancy, Iso15693Redundancy);
    link->transceive(request, length, answer, answerLength);
}

int Iso15693Protocol::judgedExchange(const quint8 *request, qint8 length, quint8 *answer, qint8 answerLength,
                                     int wholeAnswer)
{
    const ReaderLink::Operation operation(*link);
    link->writeRegister(ChipReg::ChannelRedundancy, Iso15693Redundancy);
    const int received = link->transceiveAndCount(request, length);
    link->readFifo(answer, answerLength);
    errorCode = 0;
    if (operation.failed()) {
        outcome = Outcome::NoBoard;
        return received;
    }
    if (received == 0) {
        outcome = Outcome::NoAnswer;
        return received;
    }
    // Tags answering the same non-addressed request at once garble each
    // other; the chip tells by a collision or a failed CRC.
    const quint8 errors = quint8(link->readRegister(ChipReg::ErrorFlag));
    if (operation.failed()) {
        outcome = Outcome::NoBoard;
    } else if (errors & ErrorFlagBits::ReceptionErrors) {
        outcome = Outcome::Garbled;
    } else if (answer[AnswerFlags] & ResponseErrorFlag) {
        outcome = received > AnswerErrorCode ? Outcome::Refused : Outcome::Garbled;
        if (outcome == Outcome::Refused)
            errorCode = answer[AnswerErrorCode];
    } else {
        outcome = received >= wholeAnswer ? Outcome::Done : Outcome::Garbled;
    }
    return received;
}

void Iso15693Protocol::command(const quint8 *request, qint8 length)
{
    const ReaderLink::Operation operation(*link);
    quint8 answer[CommandAnswerLength] = {};
    judgedExchange(request, length, answer, CommandAnswerLength, WholeWriteAnswer);
    link->flushFifo();
}
