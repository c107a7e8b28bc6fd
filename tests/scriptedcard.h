#pragma once

#include "virtualcard.h"

#include <chrono>
#include <vector>

// A card for testing the chip model itself: it hears every frame, records
// it with the field's edges, and answers what the test gives it.
class ScriptedCard : public VirtualCard
{
public:
    void fieldOn() override
    {
        ++powerUps;
        powered = true;
    }
    void fieldOff() override
    {
        ++powerDowns;
        powered = false;
    }
    std::optional<AirBits> hear(const AirFrame &frame) override
    {
        heard.push_back(frame);
        heardAt.push_back(std::chrono::steady_clock::now());
        return answer;
    }

    std::vector<AirFrame> heard;
    // When each frame was heard, on the board's own clock.
    std::vector<std::chrono::steady_clock::time_point> heardAt;
    std::optional<AirBits> answer;
    int powerUps = 0;
    int powerDowns = 0;
    bool powered = false;
};
