#include "capturehistory.h"

#include <QCoreApplication>

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

bool hasFailedCheck(const DecodedFrame &frame)
{
    return frame.malformed || frame.parity == DecodedFrame::Check::Failed || frame.crc == DecodedFrame::Check::Failed
        || std::any_of(frame.timings.begin(), frame.timings.end(), [](const TimingCheck &check) { return !check.ok(); });
}

bool hasCollision(const AirExchange &exchange)
{
    const std::vector<quint8> &collided = exchange.received.collided;
    return std::any_of(collided.begin(), collided.end(), [](quint8 bit) { return bit != 0; });
}

bool CaptureTrigger::matches(const DecodedExchange &decoded) const
{
    switch (m_kind) {
    case Kind::Any:
        return true;
    case Kind::Command: {
        // The reader's frame comes first. A command not written yet picks
        // none, rather than the first exchange to come while it is typed.
        if (decoded.frames.empty() || m_command.isEmpty())
            return false;
        const DecodedFrame &command = decoded.frames.front();
        return command.meaning.contains(m_command, Qt::CaseInsensitive)
            || command.hex().contains(m_command, Qt::CaseInsensitive);
    }
    case Kind::Error:
        return std::any_of(decoded.frames.begin(), decoded.frames.end(), hasFailedCheck);
    case Kind::Collision:
        return hasCollision(decoded.exchange);
    }
    return false;
}

QString CaptureTrigger::description() const
{
    const auto tr = [](const char *text) { return QCoreApplication::translate("CaptureTrigger", text); };
    switch (m_kind) {
    case Kind::Any: return tr("tout échange");
    case Kind::Command:
        return m_command.isEmpty() ? tr("commande à préciser") : tr("commande « %1 »").arg(m_command);
    case Kind::Error: return tr("erreur");
    case Kind::Collision: return tr("collision");
    }
    return QString();
}
