#pragma once

#include "airframe.h"
#include "virtualcard.h"

#include <memory>
#include <vector>

// The RF field of the chip's antenna and the cards held in it.
class RfField
{
public:
    // A card entering a field that is on powers up at once.
    void addCard(std::shared_ptr<VirtualCard> card);
    // A card taken out of the field loses power.
    void removeCard(const VirtualCard *card);
    void removeAllCards();
    const std::vector<std::shared_ptr<VirtualCard>> &cards() const { return m_cards; }

    bool powered() const { return m_powered; }
    // Powers every card up or down on a change; a repeated setting is no edge.
    void setPowered(bool on);

    // Every card in the field hears the frame; their answers are superposed.
    Reception exchange(const AirFrame &frame);

private:
    std::vector<std::shared_ptr<VirtualCard>> m_cards;
    bool m_powered = false;
};
