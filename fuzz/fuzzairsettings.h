#pragma once

#include "airexchange.h"
#include "fuzzinput.h"

// The chip's air settings, a byte each from the input: TxControl,
// CoderControl, ModWidth, CwConductance, ModConductance, MFOUTSelect and
// ChannelRedundancy, in that order.
inline AirSettings airSettingsFrom(FuzzInput &input)
{
    AirSettings settings;
    settings.txControl = input.next();
    settings.coderControl = input.next();
    settings.modWidth = input.next();
    settings.cwConductance = input.next();
    settings.modConductance = input.next();
    settings.mfoutSelect = input.next();
    settings.channelRedundancy = input.next();
    return settings;
}
