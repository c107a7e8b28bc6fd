#include "capturehistory.h"

#include <algorithm>

const DecodedExchange &CaptureHistory::add(const AirExchange &exchange)
{
    const bool opened = m_assembler.add(exchange);
    const DecodedExchange &decoded = m_assembler.current().back();
    if (opened || m_entries.empty()) {
        if (m_entries.size() == m_limit)
            m_entries.pop_front();
        m_entries.push_back(Entry { { decoded } });
    } else {
        m_entries.back().exchanges.push_back(decoded);
    }
    return m_entries.back().exchanges.back();
}

const CaptureHistory::Entry *CaptureHistory::find(quint64 serial) const
{
    // Entries follow each other in serial order: the first whose last
    // serial reaches the one sought is the only one that may hold it.
    const auto found = std::lower_bound(m_entries.begin(), m_entries.end(), serial,
                                        [](const Entry &entry, quint64 wanted) { return entry.lastSerial() < wanted; });
    if (found == m_entries.end() || found->firstSerial() > serial)
        return nullptr;
    return &*found;
}
