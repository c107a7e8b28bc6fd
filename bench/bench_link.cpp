// How fast the host drives the board, set against what the serial line
// itself allows. Everything is measured in the same run on a virtual board:
// the baseline is the bare round trip of one byte over the same
// pseudo-terminal, so the ratios say what the handshakes cost on top of the
// transport, and how far below the 115200-baud line's limit the host stays.
//
// Run: build/bench/bench_link [rounds]

#include "chipregisters.h"
#include "iso14443aprotocol.h"
#include "mifareclassiccard.h"
#include "ptyboard.h"
#include "readerlink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// 8N1: ten bit-times per byte at 115200 baud.
constexpr double LineByteMicroseconds = 10.0 * 1e6 / 115200.0;
constexpr int WriteBytesOnLine = 4;  // "w", address, value out; "A" in
constexpr int ReadBytesOnLine = 5;   // "r", address out; "A", "R", value in

// The median time of one call, in microseconds, over `rounds` rounds of
// `perRound` calls.
double medianMicroseconds(int rounds, int perRound, const std::function<void()> &call)
{
    std::vector<double> samples;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < perRound; ++i)
            call();
        samples.push_back(double(clock.nsecsElapsed()) / 1000.0 / perRound);
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const int rounds = argc > 1 ? std::max(3, atoi(argv[1])) : 9;
    constexpr int PerRound = 500;

    PtyBoard board;
    if (!board.start()) {
        std::fprintf(stderr, "no pseudo-terminal: %s\n", qPrintable(board.errorString()));
        return 1;
    }
    board.withBoard([](BoardEngine &engine) {
        engine.chip().field().addCard(std::make_shared<MifareClassicCard>(QByteArray("\x04\xA2\x3B\x15", 4)));
    });

    // Baseline: one command byte out, the board's "A" back, with nothing of
    // the link's logic around it. The "w" leaves the board waiting for an
    // address: a zero address and value complete it, unanswered.
    double baseline = 0;
    {
        QSerialPort port(board.devicePath());
        if (!port.open(QIODevice::ReadWrite)) {
            std::fprintf(stderr, "cannot open %s\n", qPrintable(board.devicePath()));
            return 1;
        }
        baseline = medianMicroseconds(rounds, PerRound, [&] {
            port.write("w", 1);
            port.waitForBytesWritten(1000);
            while (port.bytesAvailable() < 1 && port.waitForReadyRead(1000)) {
            }
            port.readAll();
            port.write("\x00\x00", 2);
            port.waitForBytesWritten(1000);
        });
    }

    ReaderLink link(board.devicePath());
    link.open();
    const double write = medianMicroseconds(rounds, PerRound, [&] { link.writeRegister(ChipReg::CwConductance, 0x3F); });
    const double read = medianMicroseconds(rounds, PerRound, [&] { link.readRegister(ChipReg::CwConductance); });
    // A whole identification, its fixed waits included: what a user waits for.
    Iso14443aProtocol iso(&link);
    const double identification = medianMicroseconds(3, 3, [&] {
        iso.request();
        iso.anticollisionLevel1();
        iso.select();
    });

    std::printf("baseline: one byte's round trip over the pty   %8.1f us\n", baseline);
    std::printf("%-22s %10s %12s %14s %16s\n", "handshake", "measured", "x baseline", "line limit", "share of line");
    const struct
    {
        const char *name;
        double measured;
        int bytes;
    } rows[] = { { "register write", write, WriteBytesOnLine }, { "register read", read, ReadBytesOnLine } };
    for (const auto &row : rows) {
        const double line = row.bytes * LineByteMicroseconds;
        std::printf("%-22s %8.1f us %11.2fx %11.1f us %15.1f%%\n", row.name, row.measured, row.measured / baseline,
                    line, 100.0 * row.measured / line);
    }
    std::printf("identification (REQA, anticollision, SELECT, waits included): %.1f ms\n", identification / 1000.0);
    return 0;
}
