// Any bytes a host may send to the virtual board: the handshake engine, the
// chip model and the cards in its field must take them without crashing,
// without undefined behaviour, and without growing anything past its bound.

#include "boardengine.h"
#include "cardargument.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    BoardEngine engine;
    for (const CardArgument::Parsed &card : CardArgument::demo())
        engine.chip().field().addCard(card.card);
    engine.chip().field().addCard(CardArgument::parse(QStringLiteral("ultralight:04A23B91C42E80")).card);
    engine.chip().field().addCard(CardArgument::parse(QStringLiteral("mifare1k:08112233")).card);

    for (std::size_t i = 0; i < size; ++i) {
        for (const BoardEngine::Chunk &chunk : engine.receive(data[i])) {
            // A handshake answers a letter or two and a value, nothing more.
            if (chunk.bytes.size() > 3)
                std::abort();
        }
        if (engine.chip().fifo().size() > ChipModel::FifoSize)
            std::abort();
    }
    return 0;
}
