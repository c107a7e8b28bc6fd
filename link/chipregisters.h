// The reader chip's registers and commands: CLRC632 (MFRC500 family).
//
// This is the one table of register and command numbers in TagBench. The host
// (ReaderLink and the card protocol layers) and the virtual bench both name
// registers through it, with the names the chip's datasheet gives them.
//
// The board drives the chip with linear addressing (Page register 0x00 holds
// 0x00), so the numbers below are the full six-bit register addresses.

#pragma once

#include <QtGlobal>

namespace ChipReg {

enum : quint8 {
    // Page 0: command and status
    Page = 0x00,
    Command = 0x01,
    FIFOData = 0x02,
    PrimaryStatus = 0x03,
    FIFOLength = 0x04,
    SecondaryStatus = 0x05,
    InterruptEn = 0x06,
    InterruptRq = 0x07,
    // Page 1: control and status
    Control = 0x09,
    ErrorFlag = 0x0A,
    CollPos = 0x0B,
    TimerValue = 0x0C,
    CRCResultLSB = 0x0D,
    CRCResultMSB = 0x0E,
    BitFraming = 0x0F,
    // Page 2: transmitter and coder control
    TxControl = 0x11,
    CwConductance = 0x12,
    ModConductance = 0x13,
    CoderControl = 0x14,
    ModWidth = 0x15,
    ModWidthSOF = 0x16,
    TypeBFraming = 0x17,
    // Page 3: receiver and decoder control
    RxControl1 = 0x19,
    DecoderControl = 0x1A,
    BitPhase = 0x1B,
    RxThreshold = 0x1C,
    BPSKDemControl = 0x1D,
    RxControl2 = 0x1E,
    ClockQControl = 0x1F,
    // Page 4: RF timing and channel redundancy
    RxWait = 0x21,
    ChannelRedundancy = 0x22,
    CRCPresetLSB = 0x23,
    CRCPresetMSB = 0x24,
    TimeSlotPeriod = 0x25,
    MFOUTSelect = 0x26,
    PreSet27 = 0x27,
    // Page 5: FIFO, timer and IRQ pin configuration
    FIFOLevel = 0x29,
    TimerClock = 0x2A,
    TimerControl = 0x2B,
    TimerReload = 0x2C,
    IRQPinConfig = 0x2D,
    PreSet2E = 0x2E,
    PreSet2F = 0x2F,
    // Page 7: test control
    TestAnaSelect = 0x3A,
    TestDigiSelect = 0x3D,
};

// The chip decodes six address bits: 64 registers, the first of every group
// of eight being the Page register.
constexpr int Count = 64;

// The datasheet name of a register ("RFU" for reserved addresses); the
// address is taken modulo 64, as the chip's address lines take it.
const char *name(quint8 address);

} // namespace ChipReg

namespace ChipCmd {

// Codes written to the Command register.
enum : quint8 {
    Idle = 0x00,
    LoadConfig = 0x07,
    Authent1 = 0x0C,
    Authent2 = 0x14,
    LoadKey = 0x19,
    Transmit = 0x1A,
    Transceive = 0x1E,
};

// The datasheet name of a command code, or nullptr for a code TagBench never
// sends.
const char *name(quint8 code);

} // namespace ChipCmd
