#pragma once

#include "airframe.h"
#include "virtualcard.h"

#include <memory>
#include <vector>

// What the chip's receiver picks up after one frame: every card that answered,
// superposed. Cards answer in step with the reader's frame, so their bits line
// up; a bit that any card modulates reads 1, and a bit on which the cards
// disagree is a collision (the Manchester coding shows both half-bits loaded).
struct Reception
{
    AirBits bits;
    std::vector<quint8> collided;  // 1 where the answering cards disagreed
    int answers = 0;               // how many cards answered

    bool empty() const { return bits.empty(); }
};

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
