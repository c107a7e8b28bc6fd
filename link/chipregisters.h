// The reader chip's registers, commands and what their bits hold: CLRC632
// (MFRC500 family).
//
// This is the one table of the chip's vocabulary in TagBench. The host
// (ReaderLink, the card protocol layers, the window) and the virtual bench
// both name registers, commands, bits, field values and EEPROM addresses
// through it, with the names the chip's datasheet gives them, and nowhere
// else spell them as numbers.
//
// The board drives the chip with linear addressing (Page register 0x00 holds
// 0x00), so the register numbers below are the full six-bit addresses.

#pragma once

#include <QtGlobal>

#include <array>

// One entry per register: its datasheet name and its address. The enum of
// addresses and the names of traces and debug text are both made from it.
#define TAGBENCH_CHIP_REGISTERS(X)                                                                  \
    /* Page 0: command and status */                                                                \
    X(Page, 0x00) X(Command, 0x01) X(FIFOData, 0x02) X(PrimaryStatus, 0x03)                         \
    X(FIFOLength, 0x04) X(SecondaryStatus, 0x05) X(InterruptEn, 0x06) X(InterruptRq, 0x07)          \
    /* Page 1: control and status */                                                                \
    X(Control, 0x09) X(ErrorFlag, 0x0A) X(CollPos, 0x0B) X(TimerValue, 0x0C)                        \
    X(CRCResultLSB, 0x0D) X(CRCResultMSB, 0x0E) X(BitFraming, 0x0F)                                 \
    /* Page 2: transmitter and coder control */                                                     \
    X(TxControl, 0x11) X(CwConductance, 0x12) X(ModConductance, 0x13) X(CoderControl, 0x14)         \
    X(ModWidth, 0x15) X(ModWidthSOF, 0x16) X(TypeBFraming, 0x17)                                    \
    /* Page 3: receiver and decoder control */                                                      \
    X(RxControl1, 0x19) X(DecoderControl, 0x1A) X(BitPhase, 0x1B) X(RxThreshold, 0x1C)              \
    X(BPSKDemControl, 0x1D) X(RxControl2, 0x1E) X(ClockQControl, 0x1F)                              \
    /* Page 4: RF timing and channel redundancy */                                                  \
    X(RxWait, 0x21) X(ChannelRedundancy, 0x22) X(CRCPresetLSB, 0x23) X(CRCPresetMSB, 0x24)          \
    X(TimeSlotPeriod, 0x25) X(MFOUTSelect, 0x26) X(PreSet27, 0x27)                                  \
    /* Page 5: FIFO, timer and IRQ pin configuration */                                             \
    X(FIFOLevel, 0x29) X(TimerClock, 0x2A) X(TimerControl, 0x2B) X(TimerReload, 0x2C)               \
    X(IRQPinConfig, 0x2D) X(PreSet2E, 0x2E) X(PreSet2F, 0x2F)                                       \
    /* Page 7: test control */                                                                      \
    X(TestAnaSelect, 0x3A) X(TestDigiSelect, 0x3D)

// One entry per command code the chip is given: datasheet name and code.
#define TAGBENCH_CHIP_COMMANDS(X)                                                                   \
    X(Idle, 0x00) X(LoadConfig, 0x07) X(Authent1, 0x0C) X(Authent2, 0x14) X(LoadKey, 0x19)          \
    X(Transmit, 0x1A) X(Transceive, 0x1E)

namespace ChipReg {

#define TAGBENCH_REGISTER_ADDRESS(name, address) name = address,
enum : quint8 { TAGBENCH_CHIP_REGISTERS(TAGBENCH_REGISTER_ADDRESS) };
#undef TAGBENCH_REGISTER_ADDRESS

// The chip decodes six address bits: 64 registers, the first of every group
// of eight being the Page register.
constexpr int Count = 64;
constexpr quint8 AddressMask = 0x3F;
constexpr quint8 PageRegisterMask = 0x07;  // address bits that are 0 on every Page register

constexpr bool isPageRegister(quint8 address) { return (address & PageRegisterMask) == 0; }

// The datasheet name of a register ("RFU" for reserved addresses); the
// address is taken modulo 64, as the chip's address lines take it.
const char *name(quint8 address);

} // namespace ChipReg

namespace ChipCmd {

#define TAGBENCH_COMMAND_CODE(name, code) name = code,
enum : quint8 { TAGBENCH_CHIP_COMMANDS(TAGBENCH_COMMAND_CODE) };
#undef TAGBENCH_COMMAND_CODE

// Command holds the code in its six low bits.
constexpr quint8 CodeMask = 0x3F;

// The datasheet name of a command code, or nullptr for a code TagBench never
// sends.
const char *name(quint8 code);

} // namespace ChipCmd

// Bits and field values, one namespace per register.

namespace PageBits {
constexpr quint8 UsePageSelect = 0x80;  // with it, PageSelect gives the upper address bits
constexpr quint8 PageSelectMask = 0x07;
constexpr quint8 LinearAddressing = 0x00;
} // namespace PageBits

namespace PrimaryStatusBits {
constexpr quint8 LoAlert = 0x01;
constexpr quint8 HiAlert = 0x02;
constexpr quint8 Err = 0x04;
constexpr quint8 IRq = 0x08;
} // namespace PrimaryStatusBits

namespace SecondaryStatusBits {
constexpr quint8 RxLastBitsMask = 0x07;  // valid bits of the last byte received, 0 for eight
} // namespace SecondaryStatusBits

// InterruptEn and InterruptRq share their layout.
namespace InterruptBits {
constexpr quint8 LoAlert = 0x01;
constexpr quint8 HiAlert = 0x02;
constexpr quint8 Idle = 0x04;
constexpr quint8 Rx = 0x08;
constexpr quint8 Tx = 0x10;
constexpr quint8 Timer = 0x20;
constexpr quint8 SourcesMask = 0x3F;
constexpr quint8 SetBits = 0x80;  // written with it, the other bits set; without it, they clear
} // namespace InterruptBits

namespace ControlBits {
constexpr quint8 FlushFIFO = 0x01;
constexpr quint8 Crypto1On = 0x08;  // set by a successful Authent2, cleared by software
constexpr quint8 StandBy = 0x10;
constexpr quint8 PowerDown = 0x20;
} // namespace ControlBits

namespace ErrorFlagBits {
constexpr quint8 CollErr = 0x01;
constexpr quint8 ParityErr = 0x02;
constexpr quint8 FramingErr = 0x04;
constexpr quint8 CRCErr = 0x08;
constexpr quint8 FIFOOvfl = 0x10;
constexpr quint8 AccessErr = 0x20;
constexpr quint8 KeyErr = 0x40;
constexpr quint8 AllErrors = 0x7F;
// The errors of a reception: the answer came garbled or not whole.
constexpr quint8 ReceptionErrors = CollErr | ParityErr | FramingErr | CRCErr;
} // namespace ErrorFlagBits

namespace BitFramingBits {
constexpr quint8 TxLastBitsMask = 0x07;  // bits sent of the last byte, 0 for eight
constexpr quint8 RxAlignMask = 0x70;     // where the first bit received lands in its byte
constexpr int RxAlignShift = 4;
constexpr quint8 WholeBytes = 0x00;
constexpr quint8 ShortFrame = 0x07;      // seven bits: REQA and WUPA
} // namespace BitFramingBits

namespace TxControlBits {
constexpr quint8 TX1RFEn = 0x01;
constexpr quint8 TX2RFEn = 0x02;
constexpr quint8 RFEnable = TX1RFEn | TX2RFEn;
constexpr quint8 TX2CW = 0x04;
constexpr quint8 TX2Inv = 0x08;
constexpr quint8 Force100ASK = 0x10;
// ModulatorSource, bits 6 and 5: what drives the modulator.
constexpr quint8 ModulatorSourceMask = 0x60;
constexpr quint8 ModulatorLow = 0x00;
constexpr quint8 ModulatorHigh = 0x20;
constexpr quint8 ModulatorInternalCoder = 0x40;
constexpr quint8 ModulatorMFIN = 0x60;
// The two settings the host switches the field with: both antenna drivers
// on, or off, with TX2 inverted, 100 % ASK and the coder as modulator source.
constexpr quint8 FieldOff = TX2Inv | Force100ASK | ModulatorInternalCoder;
constexpr quint8 FieldOn = FieldOff | RFEnable;
} // namespace TxControlBits

namespace CoderControlBits {
constexpr quint8 TxCodingMask = 0x07;
constexpr quint8 TxCodingNRZ = 0x00;
constexpr quint8 TxCodingMiller = 0x01;      // modified Miller, ISO/IEC 14443 A
constexpr quint8 TxCoding1OutOf256 = 0x06;   // ISO/IEC 15693
constexpr quint8 TxCoding1OutOf4 = 0x07;     // ISO/IEC 15693
constexpr quint8 CoderRateMask = 0x38;
constexpr int CoderRateShift = 3;
constexpr quint8 CoderRateTypeA106 = 0x18;   // 106 kBd, type A
constexpr quint8 CoderRateTypeB106 = 0x20;   // 106 kBd, type B
constexpr quint8 CoderRateIso15693 = 0x28;
// With it, a Transceive on an empty FIFO sends only the ISO/IEC 15693
// end-of-frame pulse that moves the tags of an inventory to their next slot.
constexpr quint8 SendOnePulse = 0x80;
// The codings the host chooses.
constexpr quint8 Miller106 = CoderRateTypeA106 | TxCodingMiller;
constexpr quint8 NRZ106 = CoderRateTypeB106 | TxCodingNRZ;
constexpr quint8 Iso15693OneOutOf256 = CoderRateIso15693 | TxCoding1OutOf256;
constexpr quint8 Iso15693OneOutOf4 = CoderRateIso15693 | TxCoding1OutOf4;
constexpr quint8 Iso15693SlotPulse = Iso15693OneOutOf256 | SendOnePulse;
} // namespace CoderControlBits

namespace ChannelRedundancyBits {
constexpr quint8 ParityEn = 0x01;
constexpr quint8 ParityOdd = 0x02;
constexpr quint8 TxCRCEn = 0x04;
constexpr quint8 RxCRCEn = 0x08;
constexpr quint8 CRC8 = 0x10;
constexpr quint8 CRC3309 = 0x20;  // ISO/IEC 3309 CRC (ISO/IEC 15693); without it, CRC_A
// The framings the host chooses.
constexpr quint8 OddParityNoCrc = ParityEn | ParityOdd;
constexpr quint8 OddParityTxCrc = OddParityNoCrc | TxCRCEn;
constexpr quint8 OddParityCrcBothWays = OddParityTxCrc | RxCRCEn;
constexpr quint8 Iso15693Crc = CRC3309 | TxCRCEn | RxCRCEn;  // no parity
} // namespace ChannelRedundancyBits

namespace MFOUTSelectBits {
constexpr quint8 SourceMask = 0x07;
constexpr quint8 ConstantLow = 0x00;
constexpr quint8 ConstantHigh = 0x01;
constexpr quint8 ModulationSignal = 0x02;        // the coder's output: coded data
constexpr quint8 SerialDataStream = 0x03;        // the data before coding
constexpr quint8 ManchesterWithSubcarrier = 0x04;  // the card's answer, demodulated
constexpr quint8 Manchester = 0x05;              // the card's answer after the subcarrier demodulator
} // namespace MFOUTSelectBits

namespace FIFOLevelBits {
constexpr quint8 WaterLevelMask = 0x3F;
} // namespace FIFOLevelBits

// The analogue and timing settings the host writes for its card families:
// values the datasheet gives as a whole for each mode, not bit by bit.
namespace ChipSetting {
constexpr quint8 ClockQControlAutoCalibration = 0x00;
constexpr quint8 CwConductanceMaximum = 0x3F;
constexpr quint8 CRCPresetAllOnes = 0xFF;
// The ISO/IEC 15693 mode.
constexpr quint8 Iso15693ModConductance = 0x02;
constexpr quint8 Iso15693ModWidth = 0x3F;        // a 9.44 us pause
constexpr quint8 Iso15693TypeBFraming = 0x00;
constexpr quint8 Iso15693RxControl1 = 0x8B;
constexpr quint8 Iso15693DecoderControl = 0x34;
constexpr quint8 Iso15693BitPhase = 0xD0;
constexpr quint8 Iso15693RxThreshold = 0xED;
constexpr quint8 Iso15693BPSKDemControl = 0x00;
constexpr quint8 Iso15693RxWait = 0x08;
constexpr quint8 Iso15693FIFOLevel = 0x29;
constexpr quint8 Iso15693TimerClock = 0x0B;
constexpr quint8 Iso15693TimerControl = 0x02;
constexpr quint8 Iso15693TimerReload = 0x00;
} // namespace ChipSetting

// The chip's EEPROM: the register sets LoadConfig copies into the registers,
// 32 bytes each for addresses 0x10 to 0x2F, and the keys LoadKeyE2 reads.
namespace ChipEeprom {
constexpr int Size = 512;
constexpr int RegisterSetSize = 32;
constexpr quint8 FirstRegisterLoaded = 0x10;
// The start-up set, loaded at power-up: the ISO/IEC 14443 A settings, which
// both card families start from.
constexpr int StartUpSetAddress = 0x0010;
constexpr quint8 StartUpSetLow = quint8(StartUpSetAddress & 0xFF);
constexpr quint8 StartUpSetHigh = quint8(StartUpSetAddress >> 8);
// What the start-up set holds as the chip leaves the factory, for registers
// 0x10 to 0x2F (the bytes on the Page registers are not loaded). The values
// the host relies on are named; the analogue settings are the maker's own.
constexpr quint8 CRCPresetTypeA = 0x63;  // CRC_A's preset 0x6363, in both bytes
constexpr std::array<quint8, RegisterSetSize> FactoryStartUpSet = {
    // 0x10: Page, TxControl, CwConductance, ModConductance, CoderControl, ModWidth, ModWidthSOF, TypeBFraming
    0x00, TxControlBits::FieldOff, ChipSetting::CwConductanceMaximum, 0x3F,
    CoderControlBits::Miller106, 0x13, 0x3F, 0x00,
    // 0x18: Page, RxControl1, DecoderControl, BitPhase, RxThreshold, BPSKDemControl, RxControl2, ClockQControl
    0x00, 0x73, 0x08, 0xAD, 0xFF, 0x00, 0x41, 0x00,
    // 0x20: Page, RxWait, ChannelRedundancy, CRCPresetLSB, CRCPresetMSB, TimeSlotPeriod, MFOUTSelect, PreSet27
    0x00, 0x06, ChannelRedundancyBits::OddParityNoCrc, CRCPresetTypeA, CRCPresetTypeA, 0x00, 0x00, 0x00,
    // 0x28: Page, FIFOLevel, TimerClock, TimerControl, TimerReload, IRQPinConfig, PreSet2E, PreSet2F
    0x00, 0x08, 0x07, 0x06, 0x0A, 0x02, 0x00, 0x00,
};
// LoadConfig may read up to here; the key area above never leaves the chip.
constexpr int KeyAreaStart = 0x80;
// Key bytes as LoadKey takes them: each nibble beside its complement.
constexpr int CodedKeyLength = 12;
constexpr quint8 NibbleMask = 0x0F;
} // namespace ChipEeprom

// The chip's FIFO buffer.
namespace ChipFifo {
constexpr int Size = 64;
} // namespace ChipFifo
