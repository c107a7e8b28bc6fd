#pragma once

#include "signalsynthesis.h"

#include <QString>

#include <deque>
#include <vector>

// The bench's recent captures, grouped as the scope triggers on them, so
// that any of them can be shown again. Only the decoded exchanges are kept:
// a capture's waveforms are made again when it is shown, which keeps a long
// history small even when it holds 16-slot inventories.
class CaptureHistory
{
public:
    static constexpr std::size_t DefaultLimit = 200;

    struct Entry
    {
        std::vector<DecodedExchange> exchanges;
        quint64 firstSerial() const { return exchanges.front().exchange.serial; }
        quint64 lastSerial() const { return exchanges.back().exchange.serial; }
    };

    explicit CaptureHistory(std::size_t limit = DefaultLimit) : m_limit(limit < 1 ? 1 : limit) {}

    // Decodes the exchange and files it: in a capture of its own, or in the
    // newest one when it is an inventory's slot pulse. Returns its decoding.
    const DecodedExchange &add(const AirExchange &exchange);

    // The capture that holds the exchange, or null when it is no longer kept.
    const Entry *find(quint64 serial) const;
    // The newest capture, or null before the first exchange.
    const Entry *newest() const { return m_entries.empty() ? nullptr : &m_entries.back(); }
    std::size_t size() const { return m_entries.size(); }

private:
    CaptureAssembler m_assembler;
    std::deque<Entry> m_entries;
    std::size_t m_limit;
};

// Whether a frame failed one of its checks: a malformed frame, parity, CRC,
// or one of the standard's timings out of its limits.
bool hasFailedCheck(const DecodedFrame &frame);
// Whether the cards' answers to the exchange disagreed on some bit.
bool hasCollision(const AirExchange &exchange);

// What the scope waits for before it shows a capture and holds it, as a
// protocol analyser's trigger: any exchange, a command of the reader (its
// meaning or its bytes contain a text, whatever the case; none while the
// text is empty), a failed check, or a collision.
class CaptureTrigger
{
public:
    enum class Kind { Any, Command, Error, Collision };

    CaptureTrigger() = default;
    explicit CaptureTrigger(Kind kind, const QString &command = QString())
        : m_kind(kind), m_command(command.trimmed()) {}

    Kind kind() const { return m_kind; }
    QString command() const { return m_command; }
    // Whether it picks some exchanges and not others.
    bool selective() const { return m_kind != Kind::Any; }
    bool matches(const DecodedExchange &decoded) const;
    // "collision", "commande « READ »", as a caption says it.
    QString description() const;

private:
    Kind m_kind = Kind::Any;
    QString m_command;
};
