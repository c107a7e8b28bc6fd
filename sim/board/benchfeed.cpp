#include "benchfeed.h"

#include "ptyboard.h"

#include <algorithm>

BenchFeed::News BenchFeed::wait(int timeoutMs)
{
    m_board.waitForHandshakes(m_handshakesTaken + 1, timeoutMs);
    return take();
}

BenchFeed::News BenchFeed::take()
{
    return m_board.withBoard([this](BoardEngine &engine) {
        News news;
        // The engine's count starts again when its history is cleared.
        const std::size_t total = engine.handshakeCount();
        if (total < m_handshakesTaken)
            m_handshakesTaken = 0;
        const std::size_t fresh = total - m_handshakesTaken;
        const std::size_t kept = std::min(fresh, engine.trace().size());
        news.lostHandshakes = fresh - kept;
        news.handshakes.assign(engine.trace().end() - std::ptrdiff_t(kept), engine.trace().end());
        m_handshakesTaken = total;

        for (const AirExchange &exchange : engine.chip().airLog()) {
            if (exchange.serial > m_exchangesTaken)
                news.exchanges.push_back(exchange);
        }
        const quint64 latest = engine.chip().exchangeCount();
        const quint64 first = news.exchanges.empty() ? latest + 1 : news.exchanges.front().serial;
        news.lostExchanges = std::size_t(first - m_exchangesTaken - 1);
        m_exchangesTaken = latest;
        return news;
    });
}
