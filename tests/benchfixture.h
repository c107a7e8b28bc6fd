#pragma once

#include "ptyboard.h"
#include "readerlink.h"
#include "tracetext.h"

#include <QSerialPort>
#include <QStringList>
#include <QTest>

#include <memory>
#include <vector>

#include <sys/resource.h>

// The host's link opened on a virtual board through a real pseudo-terminal,
// as a test's starting point.
class BenchFixture
{
public:
    // Starts the board, at the pace given, and opens the link on it; false
    // if either failed.
    bool start(const BoardTiming &timing = {})
    {
        link.reset();
        boardHolder = std::make_unique<PtyBoard>();
        board().setTiming(timing);
        if (!board().start()) {
            error = board().errorString();
            return false;
        }
        link = std::make_unique<ReaderLink>(board().devicePath());
        QTest::ignoreMessage(QtDebugMsg, " open: 1");
        link->open();
        return link->port()->isOpen();
    }

    // Runs `work` on the board once it has acted on every byte the host sent.
    template<typename Work>
    auto onBoard(Work &&work)
    {
        if (!board().waitUntilDrained(2000))
            QTest::qFail("the board did not take in the host's bytes", __FILE__, __LINE__);
        return board().withBoard(std::forward<Work>(work));
    }

    // Every byte the host has sent.
    QByteArray hostBytes()
    {
        return onBoard([](BoardEngine &engine) { return engine.hostBytes(); });
    }

    std::vector<Handshake> trace()
    {
        return onBoard([](BoardEngine &engine) {
            return std::vector<Handshake>(engine.trace().begin(), engine.trace().end());
        });
    }

    // The trace in readable form, which makes a failed comparison legible.
    QStringList traceText()
    {
        QStringList lines;
        for (const Handshake &handshake : trace())
            lines << TraceText::handshake(handshake);
        return lines;
    }

    void clearHistory()
    {
        onBoard([](BoardEngine &engine) { engine.clearHistory(); });
    }

    void setFaults(const BoardFaults &faults)
    {
        board().withBoard([&](BoardEngine &engine) { engine.faults() = faults; });
    }

    quint8 chipRegister(quint8 address)
    {
        return onBoard([&](BoardEngine &engine) { return engine.chip().peek(address); });
    }

    void stop()
    {
        link.reset();
        boardHolder.reset();
    }

    PtyBoard &board() { return *boardHolder; }

    std::unique_ptr<PtyBoard> boardHolder;
    std::unique_ptr<ReaderLink> link;
    QString error;
};

// Processor time used by this process (all threads), to tell a wait that
// sleeps from one that spins.
inline qint64 cpuTimeMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

inline Handshake written(quint8 address, quint8 value)
{
    return { Handshake::Write, address, value };
}

inline Handshake read(quint8 address, quint8 value)
{
    return { Handshake::Read, address, value };
}

namespace QTest {
template<>
inline char *toString(const Handshake &handshake)
{
    return qstrdup(qPrintable(TraceText::handshake(handshake)));
}

// A whole trace, one handshake a line, so that a failed comparison shows
// where the traffic went another way.
template<>
inline char *toString(const std::vector<Handshake> &trace)
{
    QStringList lines;
    for (const Handshake &handshake : trace)
        lines << TraceText::handshake(handshake);
    return qstrdup(qPrintable(QLatin1Char('\n') + lines.join(QLatin1Char('\n'))));
}
} // namespace QTest
