#pragma once

#include "airexchange.h"
#include "boardengine.h"

#include <vector>

class PtyBoard;

// What happened on a virtual board since the last look: the handshakes the
// host made and the frames the chip put on the air, in order. The terminal
// trace, the capture file and the bench's window all read the board through
// it.
class BenchFeed
{
public:
    struct News
    {
        std::vector<Handshake> handshakes;
        std::vector<AirExchange> exchanges;
        // Handshakes and frames that the board's bounded history had already
        // let go before they could be taken: a flood outruns the reader.
        std::size_t lostHandshakes = 0;
        std::size_t lostExchanges = 0;

        bool empty() const { return handshakes.empty() && exchanges.empty(); }
    };

    explicit BenchFeed(PtyBoard &board) : m_board(board) {}

    // Waits up to `timeoutMs` for the host's next handshake, then takes
    // everything new.
    News wait(int timeoutMs);
    News take();

private:
    PtyBoard &m_board;
    std::size_t m_handshakesTaken = 0;
    quint64 m_exchangesTaken = 0;
};
