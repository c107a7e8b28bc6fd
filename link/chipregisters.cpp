#include "chipregisters.h"

namespace ChipReg {

const char *name(quint8 address)
{
    static const char *const names[Count] = {
        "Page", "Command", "FIFOData", "PrimaryStatus",
        "FIFOLength", "SecondaryStatus", "InterruptEn", "InterruptRq",
        "Page", "Control", "ErrorFlag", "CollPos",
        "TimerValue", "CRCResultLSB", "CRCResultMSB", "BitFraming",
        "Page", "TxControl", "CwConductance", "ModConductance",
        "CoderControl", "ModWidth", "ModWidthSOF", "TypeBFraming",
        "Page", "RxControl1", "DecoderControl", "BitPhase",
        "RxThreshold", "BPSKDemControl", "RxControl2", "ClockQControl",
        "Page", "RxWait", "ChannelRedundancy", "CRCPresetLSB",
        "CRCPresetMSB", "TimeSlotPeriod", "MFOUTSelect", "PreSet27",
        "Page", "FIFOLevel", "TimerClock", "TimerControl",
        "TimerReload", "IRQPinConfig", "PreSet2E", "PreSet2F",
        "Page", "RFU", "RFU", "RFU", "RFU", "RFU", "RFU", "RFU",
        "Page", "RFU", "TestAnaSelect", "RFU",
        "RFU", "TestDigiSelect", "RFU", "RFU",
    };
    return names[address % Count];
}

} // namespace ChipReg

namespace ChipCmd {

const char *name(quint8 code)
{
    switch (code) {
    case Idle: return "Idle";
    case LoadConfig: return "LoadConfig";
    case Authent1: return "Authent1";
    case Authent2: return "Authent2";
    case LoadKey: return "LoadKey";
    case Transmit: return "Transmit";
    case Transceive: return "Transceive";
    default: return nullptr;
    }
}

} // namespace ChipCmd
