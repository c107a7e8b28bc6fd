// The reader chip's frame handling, driven register by register: FIFO
// writes and reads, every command code, BitFraming, ChannelRedundancy,
// CoderControl, the CRC presets, Control, paging, with cards of both
// families in the field answering, the air's clock run forward on the
// real-time bench. The chip model must take any of it without crashing,
// without undefined behaviour, and without growing past its bounds; the
// air decoder and the signal synthesis must take every exchange it made.
//
// Input: operations, each a letter and its arguments; other bytes are
// skipped.
//   w A V    write V to register A        r A      read register A
//   f N ...  N bytes into the FIFO         t N      the clock runs N x 16 us
//   T        real-time bench on or off     x K      card K out of the field, or back
//   p        power-up

#include "cardargument.h"
#include "chipmodel.h"
#include "signalsynthesis.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

// The chip keeps a bounded history of the air.
constexpr std::size_t AirLogBound = 256;
constexpr qint64 ClockStepNs = 16000;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

std::vector<std::shared_ptr<VirtualCard>> cardsForTheField()
{
    std::vector<std::shared_ptr<VirtualCard>> cards;
    for (const CardArgument::Parsed &card : CardArgument::demo())
        cards.push_back(card.card);
    cards.push_back(CardArgument::parse(QStringLiteral("ultralight:04A23B91C42E80")).card);
    cards.push_back(CardArgument::parse(QStringLiteral("mifare1k:08112233")).card);
    return cards;
}

void checkBounds(const ChipModel &chip)
{
    require(chip.fifo().size() <= ChipModel::FifoSize);
    // FIFOLength's address reaches it with linear addressing or page 0.
    const quint8 page = chip.peek(ChipReg::Page);
    if (!(page & PageBits::UsePageSelect) || (page & PageBits::PageSelectMask) == 0)
        require(chip.peek(ChipReg::FIFOLength) == chip.fifo().size());
    require(chip.airLog().size() <= AirLogBound);
}

// What the bench's scope makes of the chip's exchanges.
void showOnTheScope(const ChipModel &chip)
{
    CaptureAssembler assembler;
    for (const AirExchange &exchange : chip.airLog()) {
        if (assembler.add(exchange) && !assembler.closed().empty())
            SignalSynthesis::capture(assembler.closed());
        require(assembler.current().size() <= CaptureAssembler::MaxExchanges);
    }
    SignalSynthesis::capture(assembler.current());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    qint64 now = 0;
    ChipModel chip;
    chip.setClock([&now] { return now; });
    const std::vector<std::shared_ptr<VirtualCard>> cards = cardsForTheField();
    std::vector<bool> inField(cards.size(), true);
    for (const auto &card : cards)
        chip.field().addCard(card);

    std::size_t at = 0;
    const auto next = [&]() -> quint8 { return at < size ? data[at++] : 0; };
    while (at < size) {
        switch (next()) {
        case 'w': {
            const quint8 address = next();
            chip.write(address, next());
            break;
        }
        case 'r':
            chip.read(next());
            break;
        case 'f':
            for (int count = next(); count > 0 && at < size; --count)
                chip.write(ChipReg::FIFOData, next());
            break;
        case 't':
            now += ClockStepNs * next();
            break;
        case 'T':
            chip.setRealTime(!chip.realTime());
            break;
        case 'x': {
            const std::size_t which = next() % cards.size();
            if (inField[which])
                chip.field().removeCard(cards[which].get());
            else
                chip.field().addCard(cards[which]);
            inField[which] = !inField[which];
            break;
        }
        case 'p':
            chip.powerUp();
            break;
        default:
            break;
        }
        now += 1000;  // every access takes the host a little time
        checkBounds(chip);
    }
    showOnTheScope(chip);
    return 0;
}
