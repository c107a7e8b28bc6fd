#pragma once

#include <QtGlobal>

// The commands and answers that cross the air between a reader and the
// cards, as ISO/IEC 14443-3, MIFARE Classic and Ultralight, and ISO/IEC
// 15693-3 define them: the virtual cards speak them, the air decoder reads
// them.

namespace TypeACommand {
constexpr quint8 Reqa = 0x26;            // a 7-bit short frame
constexpr quint8 Wupa = 0x52;            // a 7-bit short frame
constexpr int ShortFrameBits = 7;
constexpr quint8 SelectCascadeLevel1 = 0x93;
constexpr quint8 SelectCascadeLevel2 = 0x95;
constexpr quint8 SelectCascadeLevel3 = 0x97;
constexpr quint8 NvbAnticollision = 0x20;  // SEL and NVB only: every UID bit asked for
constexpr quint8 NvbSelect = 0x70;         // SEL, NVB, four UID bytes and the BCC
// NVB: the whole bytes sent (SEL and NVB included) in its high nibble, the
// bits of the byte sent in part in its low one. An anticollision sends 2 to
// 6 whole bytes and 0 to 7 more bits; only SELECT sends 7 (NVB 70).
constexpr int NvbByteCountShift = 4;
constexpr quint8 NvbBitCountMask = 0x0F;
constexpr int AnticollisionFewestBytes = 2;
constexpr int AnticollisionMostBytes = 6;
constexpr int NvbMostBits = 7;
constexpr int CascadeUidBytes = 4;          // the UID bytes of a cascade level (or CT and three)
constexpr int CascadeLevelBits = 40;        // four UID bytes and the BCC
constexpr int AtqaBits = 16;
constexpr quint8 CascadeTag = 0x88;
constexpr quint8 Halt = 0x50;              // HLTA: 50 00 and CRC_A
constexpr quint8 SakUidNotComplete = 0x04;
} // namespace TypeACommand

namespace MifareCommand {
constexpr quint8 AuthenticateKeyA = 0x60;
constexpr quint8 AuthenticateKeyB = 0x61;
constexpr quint8 Read = 0x30;
constexpr quint8 Write = 0xA0;            // MIFARE Classic, and Ultralight's compatibility write
constexpr quint8 UltralightWrite = 0xA2;
// 4-bit answers.
constexpr int AckNakBits = 4;
constexpr quint8 Ack = 0x0A;
constexpr quint8 NakInvalid = 0x04;
constexpr quint8 NakInvalidArgument = 0x00;
constexpr int BlockSize = 16;
} // namespace MifareCommand

namespace VicinityCommand {
// Request flags.
constexpr quint8 FlagSubCarrier = 0x01;
constexpr quint8 FlagDataRate = 0x02;
constexpr quint8 FlagInventory = 0x04;
constexpr quint8 FlagProtocolExtension = 0x08;
constexpr quint8 FlagSelect = 0x10;   // without the Inventory flag
constexpr quint8 FlagAddress = 0x20;  // without the Inventory flag
constexpr quint8 FlagAfi = 0x10;      // with the Inventory flag
constexpr quint8 FlagOneSlot = 0x20;  // with the Inventory flag
constexpr quint8 FlagOption = 0x40;
// Command codes.
constexpr quint8 Inventory = 0x01;
constexpr quint8 StayQuiet = 0x02;
constexpr quint8 ReadSingleBlock = 0x20;
constexpr quint8 WriteSingleBlock = 0x21;
constexpr quint8 LockBlock = 0x22;
constexpr quint8 ReadMultipleBlocks = 0x23;
constexpr quint8 WriteMultipleBlocks = 0x24;
constexpr quint8 Select = 0x25;
constexpr quint8 ResetToReady = 0x26;
constexpr quint8 WriteAfi = 0x27;
constexpr quint8 LockAfi = 0x28;
constexpr quint8 WriteDsfid = 0x29;
constexpr quint8 LockDsfid = 0x2A;
constexpr quint8 GetSystemInformation = 0x2B;
constexpr quint8 GetMultipleBlockSecurityStatus = 0x2C;
constexpr quint8 FirstCustomCommand = 0xA0;
// Answer flags and error codes.
constexpr quint8 AnswerOk = 0x00;
constexpr quint8 AnswerError = 0x01;
constexpr quint8 ErrorNotSupported = 0x01;
constexpr quint8 ErrorNotRecognised = 0x02;
constexpr quint8 ErrorOptionNotSupported = 0x03;
constexpr quint8 ErrorUnknown = 0x0F;
constexpr quint8 ErrorBlockNotAvailable = 0x10;
constexpr quint8 ErrorAlreadyLocked = 0x11;
constexpr quint8 ErrorLocked = 0x12;
constexpr quint8 ErrorNotProgrammed = 0x13;
constexpr quint8 ErrorNotLocked = 0x14;
constexpr quint8 UidMostSignificantByte = 0xE0;
constexpr int UidLength = 8;
constexpr int SlotCount = 16;
// The longest inventory masks: the whole UID in one slot; in 16 slots, all
// but the four bits that choose the slot.
constexpr int LongestMaskOneSlot = 64;
constexpr int LongestMaskSixteenSlots = 60;
// GET SYSTEM INFORMATION's answer: its information flags say which fields follow the UID.
constexpr quint8 InfoDsfid = 0x01;
constexpr quint8 InfoAfi = 0x02;
constexpr quint8 InfoMemorySize = 0x04;
constexpr quint8 InfoIcReference = 0x08;
constexpr quint8 InfoBlockSizeMask = 0x1F;  // in the memory size's second byte: bytes per block, less one
} // namespace VicinityCommand
