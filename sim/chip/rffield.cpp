#include "rffield.h"

#include <algorithm>

void RfField::addCard(std::shared_ptr<VirtualCard> card)
{
    if (!card)
        return;
    if (m_powered)
        card->fieldOn();
    m_cards.push_back(std::move(card));
}

void RfField::removeCard(const VirtualCard *card)
{
    const auto found = std::find_if(m_cards.begin(), m_cards.end(),
                                    [card](const auto &held) { return held.get() == card; });
    if (found == m_cards.end())
        return;
    if (m_powered)
        (*found)->fieldOff();
    m_cards.erase(found);
}

void RfField::removeAllCards()
{
    while (!m_cards.empty())
        removeCard(m_cards.back().get());
}

void RfField::setPowered(bool on)
{
    if (on == m_powered)
        return;
    m_powered = on;
    for (const auto &card : m_cards) {
        if (on)
            card->fieldOn();
        else
            card->fieldOff();
    }
}

Reception RfField::exchange(const AirFrame &frame)
{
    Reception reception;
    if (!m_powered)
        return reception;
    for (const auto &card : m_cards) {
        const std::optional<AirBits> answer = card->hear(frame);
        if (!answer || answer->empty())
            continue;
        ++reception.answers;
        if (reception.answers == 1) {
            reception.bits = *answer;
            reception.collided.assign(answer->size(), 0);
            continue;
        }
        // Past the end of a shorter answer only the longer one modulates:
        // no collision there.
        const std::size_t common = std::min(answer->size(), reception.bits.size());
        for (std::size_t i = 0; i < common; ++i) {
            if (reception.bits[i] != (*answer)[i])
                reception.collided[i] = 1;
            reception.bits[i] |= (*answer)[i];
        }
        for (std::size_t i = reception.bits.size(); i < answer->size(); ++i) {
            reception.bits.push_back((*answer)[i]);
            reception.collided.push_back(0);
        }
    }
    return reception;
}
