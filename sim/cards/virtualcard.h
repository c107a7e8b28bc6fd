#pragma once

#include "airframe.h"

#include <optional>

// A card (or tag) in the virtual bench's RF field. It is powered by the
// field, hears the frames the chip sends and may answer each one.
class VirtualCard
{
public:
    virtual ~VirtualCard() = default;

    // The field came on: the card powers up in its first state.
    virtual void fieldOn() = 0;
    // The field went off: the card loses power, and every state with it.
    virtual void fieldOff() = 0;
    // A frame on the air while powered. Returns the card's answer, or nothing
    // when the card stays silent (a frame it does not understand, a coding
    // not its own, a state in which it must not answer).
    virtual std::optional<AirBits> hear(const AirFrame &frame) = 0;
};
