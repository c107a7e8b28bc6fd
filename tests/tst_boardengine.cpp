// The board's firmware as a byte machine: the handshake from the board's
// side, and each fault it can be told to show, without any I/O.

#include "boardengine.h"
#include "chipregisters.h"

#include <QTest>

using Bytes = QByteArray;

namespace {

// Feeds the bytes one at a time and joins everything the board sends back.
QByteArray feed(BoardEngine &engine, const QByteArray &bytes, int *totalDelayMs = nullptr)
{
    QByteArray answer;
    for (char byte : bytes) {
        for (const auto &chunk : engine.receive(quint8(byte))) {
            answer += chunk.bytes;
            if (totalDelayMs)
                *totalDelayMs += chunk.delayMs;
        }
    }
    return answer;
}

} // namespace

class TestBoardEngine : public QObject
{
    Q_OBJECT

private slots:
    void writeHandshakeReachesTheChip()
    {
        BoardEngine engine;
        QCOMPARE(feed(engine, "w"), Bytes("A"));
        QVERIFY(engine.busy());
        QCOMPARE(feed(engine, Bytes("\x12\x2A", 2)), Bytes());
        QVERIFY(!engine.busy());
        QCOMPARE(engine.chip().peek(ChipReg::CwConductance), quint8(0x2A));
        QCOMPARE(int(engine.trace().size()), 1);
        QCOMPARE(engine.trace().front().operation, Handshake::Write);
        QCOMPARE(engine.trace().front().address, quint8(0x12));
        QCOMPARE(engine.trace().front().value, quint8(0x2A));
    }

    void readHandshakeAnswersResultAndValue()
    {
        BoardEngine engine;
        engine.chip().write(ChipReg::FIFOData, 0x26);
        QCOMPARE(feed(engine, "r"), Bytes("A"));
        QCOMPARE(feed(engine, Bytes("\x02", 1)), Bytes("R\x26"));
        QCOMPARE(engine.chip().peek(ChipReg::FIFOLength), quint8(0));  // the read took the byte
        QCOMPARE(engine.trace().back().operation, Handshake::Read);
        QCOMPARE(engine.handshakeCount(), std::size_t(1));
    }

    // Unpaced, the host's handshakes come far faster than the real board's
    // line carries them: the air clock still moves on by the line time of
    // each (four bytes a write), or by the host's own pause when longer.
    void airClockKeepsTheLinePace_data()
    {
        QTest::addColumn<qint64>("hostStepNs");
        const qint64 writeLineNs = BoardLine::WriteHandshakeBytes * BoardLine::ByteNs;
        QTest::newRow("host faster than the line") << qint64(10000);
        QTest::newRow("host at the line's pace") << writeLineNs;
        QTest::newRow("host pausing 10 ms") << qint64(10000000);
    }

    void airClockKeepsTheLinePace()
    {
        QFETCH(qint64, hostStepNs);
        BoardEngine engine;
        qint64 now = 0;
        engine.chip().setClock([&now] { return now; });
        const quint8 writes[][2] = { { ChipReg::TxControl, TxControlBits::FieldOn },
                                     { ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityNoCrc },
                                     { ChipReg::BitFraming, BitFramingBits::ShortFrame },
                                     { ChipReg::FIFOData, 0x26 },
                                     { ChipReg::Command, ChipCmd::Transceive } };
        for (const auto &write : writes) {
            now += hostStepNs;
            feed(engine, Bytes("w") + char(write[0]) + char(write[1]));
        }
        QCOMPARE(int(engine.chip().airLog().size()), 1);
        const qint64 perHandshake = std::max(hostStepNs, BoardLine::WriteHandshakeBytes * BoardLine::ByteNs);
        QCOMPARE(engine.chip().airLog().back().startNs, qint64(std::size(writes)) * perHandshake);
        // A read carries five bytes.
        const qint64 before = engine.chip().airNow();
        feed(engine, Bytes("r") + char(ChipReg::FIFOLength));
        QCOMPARE(engine.chip().airNow() - before, BoardLine::ReadHandshakeBytes * BoardLine::ByteNs);
    }

    void bytesBetweenHandshakesAreIgnored()
    {
        BoardEngine engine;
        QCOMPARE(feed(engine, Bytes("\x00\xFF" "AERz", 6)), Bytes());
        QVERIFY(engine.trace().empty());
        QCOMPARE(engine.hostBytes(), Bytes("\x00\xFF" "AERz", 6));
        // A command letter taken as an address or value is data, not a command.
        QCOMPARE(feed(engine, "ww"), Bytes("A"));
        QCOMPARE(feed(engine, "r"), Bytes());
        QCOMPARE(engine.trace().back().address, quint8('w'));
        QCOMPARE(engine.trace().back().value, quint8('r'));
    }

    void faultsShapeTheAnswers_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<QByteArray>("board");
        QTest::addColumn<int>("delayMs");
        QTest::newRow("two refusals") << 0 << Bytes("www") << Bytes("EEA") << 0;
        QTest::newRow("unanswered once") << 1 << Bytes("rr") << Bytes("A") << 0;
        QTest::newRow("stray before A") << 2 << Bytes("r") << Bytes("xyA") << 0;
        QTest::newRow("stray before R") << 3 << Bytes("r\x1C", 2) << Bytes("AzzR\xFF", 5) << 0;
        QTest::newRow("value dropped") << 4 << Bytes("r\x1C", 2) << Bytes("AR") << 0;
        QTest::newRow("late answer") << 5 << Bytes("w") << Bytes("A") << 1500;
        QTest::newRow("late value") << 6 << Bytes("r\x1C", 2) << Bytes("AR\xFF", 3) << 250;
        QTest::newRow("refused forever") << 7 << Bytes("wwwww") << Bytes("EEEEE") << 0;
        QTest::newRow("silent") << 8 << Bytes("wrwr") << Bytes() << 0;
    }

    void faultsShapeTheAnswers()
    {
        QFETCH(int, fault);
        QFETCH(QByteArray, host);
        QFETCH(QByteArray, board);
        QFETCH(int, delayMs);
        BoardEngine engine;
        BoardFaults &faults = engine.faults();
        switch (fault) {
        case 0: faults.refusals = 2; break;
        case 1: faults.unanswered = 1; break;
        case 2: faults.strayBeforeAck = "xy"; break;
        case 3: faults.strayBeforeResult = "zz"; break;
        case 4: faults.dropValueByte = true; break;
        case 5: faults.answerDelayMs = 1500; break;
        case 6: faults.valueDelayMs = 250; break;
        case 7: faults.refusals = -1; break;
        case 8: faults.unanswered = -1; break;
        }
        int totalDelay = 0;
        QCOMPARE(feed(engine, host, &totalDelay), board);
        QCOMPARE(totalDelay, delayMs);
    }

    void boardThatStopsAfterAckHearsNothingMore()
    {
        BoardEngine engine;
        engine.faults().stopAfterAck = true;
        QCOMPARE(feed(engine, "r"), Bytes("A"));
        QCOMPARE(feed(engine, Bytes("\x11" "w\x11\x5B" "r", 5)), Bytes());
        QVERIFY(engine.trace().empty());
        QVERIFY(!engine.busy());
    }

    void vanishingBoardSaysItIsGoneAfterItsAck()
    {
        BoardEngine engine;
        engine.faults().vanishAfterAck = true;
        QVERIFY(!engine.gone());
        QCOMPARE(feed(engine, "w"), Bytes("A"));
        QVERIFY(engine.gone());
    }

    void stuckRegisterReadsItsValueAndSparesTheChip()
    {
        BoardEngine engine;
        engine.chip().write(ChipReg::FIFOData, 0x26);
        engine.faults().stuckReads[ChipReg::FIFOLength] = 0x05;
        engine.faults().stuckReads[ChipReg::FIFOData] = 0x99;
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(feed(engine, Bytes("r\x04", 2)), Bytes("AR\x05", 3));
            QCOMPARE(feed(engine, Bytes("r\x02", 2)), Bytes("AR\x99", 3));
        }
        QCOMPARE(engine.chip().fifo(), Bytes("\x26"));  // never taken out
        QCOMPARE(engine.trace().back().value, quint8(0x99));
        // Other registers read as the chip has them.
        QCOMPARE(feed(engine, Bytes("r\x12", 2)), Bytes("AR\x3F", 3));
    }

    void historyStaysBounded()
    {
        BoardEngine engine;
        const QByteArray write("w\x12\x01", 3);
        for (std::size_t i = 0; i < BoardEngine::TraceLimit + 10; ++i)
            feed(engine, write);
        QCOMPARE(engine.trace().size(), BoardEngine::TraceLimit);
        QCOMPARE(engine.handshakeCount(), BoardEngine::TraceLimit + 10);
        QVERIFY(engine.hostBytes().size() <= BoardEngine::HostBytesLimit);
        engine.clearHistory();
        QVERIFY(engine.trace().empty());
        QCOMPARE(engine.handshakeCount(), std::size_t(0));
    }
};

QTEST_GUILESS_MAIN(TestBoardEngine)
#include "tst_boardengine.moc"
