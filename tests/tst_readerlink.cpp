// The board link on the wire: every operation's exact bytes and handshakes,
// and every way a board can fail, each ending within its bound without
// spinning. All of it through a real pseudo-terminal and QSerialPort, but
// for the handshakes' reading of bytes given in memory, which the link takes
// from any transport.

#include "benchfixture.h"
#include "chipregisters.h"
#include "exchangejournal.h"
#include "memorytransport.h"
#include "scriptedcard.h"
#include "serialtransport.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <thread>
#include <type_traits>

using Bytes = QByteArray;
Q_DECLARE_METATYPE(Handshake)

// A board whose bytes reach the host only when a wait for them ends, and
// that wait ends past its time: a port that wakes up late, answer in hand.
class LateTransport : public MemoryTransport
{
public:
    explicit LateTransport(const QByteArray &late) : m_late(late) {}
    bool waitForBytes(int milliseconds) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds + LateByMs));
        feed(m_late);
        m_late.clear();
        return true;
    }

private:
    static constexpr int LateByMs = 100;
    QByteArray m_late;
};

class TestReaderLink : public QObject
{
    Q_OBJECT

private:
    BenchFixture bench;
    std::shared_ptr<ScriptedCard> card;

    // A card in the field, so that frames have somewhere to go.
    void insertCard(const QByteArray &answer)
    {
        card = std::make_shared<ScriptedCard>();
        card->answer = Air::withOddParity(answer);
        bench.board().withBoard([&](BoardEngine &engine) { engine.chip().field().addCard(card); });
    }

    // One of the read-modify-writes on TxControl, by its name in the data
    // rows; `value` serves only the masked one.
    bool readModifyWrite(const QString &operation, quint8 mask, quint8 value)
    {
        if (operation == "set")
            return bench.link->setBits(ChipReg::TxControl, mask);
        if (operation == "clear")
            return bench.link->clearBits(ChipReg::TxControl, mask);
        return bench.link->writeMasked(ChipReg::TxControl, mask, value);
    }

private slots:
    void init() { QVERIFY2(bench.start(), qPrintable(bench.error)); }

    void cleanup()
    {
        bench.stop();
        card.reset();
    }

    // --- the port ---------------------------------------------------------

    void constructorSetsLineSettingsAndLeavesPortClosed()
    {
        ReaderLink link(QStringLiteral("ttyTAGBENCH9"));
        QSerialPort *port = link.port();
        QCOMPARE(port->portName(), QStringLiteral("ttyTAGBENCH9"));
        QVERIFY(!port->isOpen());
        QCOMPARE(port->baudRate(), 115200);
        QCOMPARE(port->dataBits(), QSerialPort::Data8);
        QCOMPARE(port->parity(), QSerialPort::NoParity);
        QCOMPARE(port->stopBits(), QSerialPort::OneStop);
        QCOMPARE(port->flowControl(), QSerialPort::NoFlowControl);
        QVERIFY(!link.timedOut());
    }

    void openLogsWhetherThePortOpened()
    {
        ReaderLink missing(QStringLiteral("/dev/no-such-tagbench-port"));
        QTest::ignoreMessage(QtDebugMsg, " open: 0");
        missing.open();
        QVERIFY(!missing.port()->isOpen());

        QVERIFY(bench.link->port()->isOpen());  // init() expected " open: 1"
        bench.link->closePort();
        QVERIFY(!bench.link->port()->isOpen());
    }

    // A pseudo-terminal has no latency timer: it refuses the low-latency
    // request, and the link goes on as over any port, with nothing more on
    // the line. A port never opened, or closed, has no low-latency mode.
    void lowLatencyRefusedByThePseudoTerminalLeavesTheLinkWorking()
    {
        auto *serial = dynamic_cast<SerialTransport *>(&bench.link->transport());
        QVERIFY(serial != nullptr);
        QVERIFY(serial->port()->isOpen());
        QVERIFY(!serial->lowLatency());
        bench.link->writeRegister(ChipReg::CwConductance, 0x2A);
        QCOMPARE(int(bench.link->readRegister(ChipReg::CwConductance)), 0x2A);
        QVERIFY(!bench.link->failed());
        QCOMPARE(serial->port()->error(), QSerialPort::NoError);
        QCOMPARE(bench.hostBytes(), Bytes("w\x12\x2Ar\x12", 5));

        bench.link->closePort();
        QVERIFY(!serial->lowLatency());
        SerialTransport neverOpened(bench.board().devicePath());
        QVERIFY(!neverOpened.lowLatency());
    }

    // --- the board's bytes from any transport ------------------------------

    void portIsOnlyASerialTransports()
    {
        ReaderLink link(std::make_unique<MemoryTransport>());
        QVERIFY(link.port() == nullptr);
        QTest::ignoreMessage(QtDebugMsg, " open: 1");
        link.open();
        QVERIFY(link.transport().isOpen());
    }

    void handshakesReadTheBoardsBytes_data()
    {
        QTest::addColumn<bool>("write");
        QTest::addColumn<QByteArray>("board");
        QTest::addColumn<bool>("timedOut");
        QTest::addColumn<int>("value");
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<int>("unread");
        const QByteArray refusals = Bytes("E").repeated(ReaderLink::MaxRepeats + 1);
        QTest::newRow("read") << false << Bytes("AR\x42") << false << 0x42 << Bytes("r\x15") << 0;
        QTest::newRow("read, noise before A and R")
            << false << Bytes("\x00zR" "A" "xE\xFF" "R\x42" "A", 10) << false << 0x42 << Bytes("r\x15") << 1;
        QTest::newRow("read, refused twice") << false << Bytes("EEAR\x07") << false << 7 << Bytes("rrr\x15") << 0;
        QTest::newRow("read, refused past the cap")
            << false << refusals + "AR\x07" << true << 0 << Bytes("r").repeated(ReaderLink::MaxRepeats + 1) << 3;
        QTest::newRow("read, value read negative") << false << Bytes("AR\xC3") << false << -61 << Bytes("r\x15") << 0;
        QTest::newRow("read, cut before A") << false << Bytes("xy") << true << 0 << Bytes("r") << 0;
        QTest::newRow("read, cut after A") << false << Bytes("A") << true << 0 << Bytes("r\x15") << 0;
        QTest::newRow("read, cut after R") << false << Bytes("AR") << true << 0 << Bytes("r\x15") << 0;
        QTest::newRow("read, nothing") << false << Bytes() << true << 0 << Bytes("r") << 0;
        QTest::newRow("write") << true << Bytes("A") << false << 0 << Bytes("w\x15\x3F") << 0;
        QTest::newRow("write, noise then A") << true << Bytes("R\x00" "A", 3) << false << 0 << Bytes("w\x15\x3F") << 0;
        QTest::newRow("write, refused then accepted") << true << Bytes("EA") << false << 0 << Bytes("ww\x15\x3F") << 0;
        QTest::newRow("write, cut among refusals") << true << Bytes("EE") << true << 0 << Bytes("www") << 0;
        QTest::newRow("write, nothing") << true << Bytes() << true << 0 << Bytes("w") << 0;
    }

    void handshakesReadTheBoardsBytes()
    {
        QFETCH(bool, write);
        QFETCH(QByteArray, board);
        QFETCH(bool, timedOut);
        QFETCH(int, value);
        QFETCH(QByteArray, host);
        QFETCH(int, unread);
        auto owned = std::make_unique<MemoryTransport>(board);
        MemoryTransport &transport = *owned;
        transport.open();
        ReaderLink link(std::move(owned));
        QElapsedTimer clock;
        clock.start();
        if (write)
            link.writeRegister(ChipReg::ModWidth, 0x3F);
        else
            QCOMPARE(int(link.readRegister(ChipReg::ModWidth)), value);
        QCOMPARE(link.timedOut(), timedOut);
        QCOMPARE(transport.written(), host);
        QCOMPARE(transport.unread(), unread);
        // A board with nothing more to send is a board gone: the handshake
        // ends at once rather than waiting out its time.
        QCOMPARE(transport.failed(), unread == 0);
        QVERIFY2(clock.elapsed() < ReaderLink::AnswerTimeoutMs / 2, qPrintable(QString::number(clock.elapsed())));
    }

    // --- the two handshakes ------------------------------------------------

    void writeRegisterSendsCommandAddressValue()
    {
        bench.link->writeRegister(ChipReg::CwConductance, 0x2A);
        QVERIFY(!bench.link->timedOut());
        QCOMPARE(bench.hostBytes(), Bytes("w\x12\x2A", 3));
        QCOMPARE(bench.chipRegister(ChipReg::CwConductance), quint8(0x2A));
    }

    void readRegisterSendsCommandAddressAndReturnsValue()
    {
        bench.board().withBoard([](BoardEngine &engine) { engine.chip().write(ChipReg::ModWidth, 0x3F); });
        QCOMPARE(int(bench.link->readRegister(ChipReg::ModWidth)), 0x3F);
        QVERIFY(!bench.link->timedOut());
        QCOMPARE(bench.hostBytes(), Bytes("r\x15", 2));
    }

    void readRegisterReturnsSignedChar_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("0x00") << 0x00 << 0;
        QTest::newRow("0x7F") << 0x7F << 127;
        QTest::newRow("0x80") << 0x80 << -128;
        QTest::newRow("0xC3") << 0xC3 << -61;
        QTest::newRow("0xFF") << 0xFF << -1;
    }

    void readRegisterReturnsSignedChar()
    {
        QFETCH(int, value);
        QFETCH(int, expected);
        bench.board().withBoard([&](BoardEngine &engine) { engine.chip().write(ChipReg::BitPhase, quint8(value)); });
        static_assert(std::is_same_v<decltype(bench.link->readRegister(0)), qint8>, "signed on every platform");
        QCOMPARE(int(bench.link->readRegister(ChipReg::BitPhase)), expected);
    }

    // --- chip operations: their exact traffic ------------------------------

    void operationsSendTheirHandshakes_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("resetPage") << 0 << Bytes("w\x00\x00", 3);
        QTest::newRow("setField on") << 1 << Bytes("w\x11\x5B", 3);
        QTest::newRow("setField off") << 2 << Bytes("w\x11\x58", 3);
        QTest::newRow("flushFifo") << 3 << Bytes("w\x09\x01", 3);
        QTest::newRow("transmitByte") << 4 << Bytes("w\x02\x26" "w\x01\x1A" "w\x09\x01", 9);
        QTest::newRow("transmit two") << 5 << Bytes("w\x02\x93" "w\x02\x20" "w\x01\x1A" "w\x09\x01", 12);
        QTest::newRow("writeFifo three") << 6 << Bytes("w\x02\x01" "w\x02\x02" "w\x02\x03", 9);
        QTest::newRow("writeFifo 0") << 7 << Bytes();
        QTest::newRow("writeFifo 200 (negative)") << 8 << Bytes();
        QTest::newRow("readFifo two") << 9 << Bytes("r\x02" "r\x02", 4);
        QTest::newRow("readFifo -1") << 10 << Bytes();
    }

    void operationsSendTheirHandshakes()
    {
        QFETCH(int, operation);
        QFETCH(QByteArray, wire);
        const quint8 frame[] = { 0x93, 0x20 };
        const quint8 bytes[] = { 0x01, 0x02, 0x03 };
        quint8 buffer[4] = { 0xAA, 0xAA, 0xAA, 0xAA };
        ReaderLink &link = *bench.link;
        switch (operation) {
        case 0: link.resetPage(); break;
        case 1: link.setField(true); break;
        case 2: link.setField(false); break;
        case 3: link.flushFifo(); break;
        case 4: link.transmitByte(0x26); break;
        case 5: link.transmit(frame, 2); break;
        case 6: link.writeFifo(bytes, 3); break;
        case 7: link.writeFifo(bytes, 0); break;
        case 8: link.writeFifo(bytes, qint8(quint8(200))); break;
        case 9: link.readFifo(buffer, 2); break;
        case 10: link.readFifo(buffer, -1); break;
        }
        QCOMPARE(bench.hostBytes(), wire);
        QVERIFY(!link.timedOut());
        if (operation == 10)
            QCOMPARE(buffer[0], quint8(0xAA));  // nothing read, nothing touched
    }

    void writeFifoOf127BytesMakes127Writes()
    {
        quint8 bytes[127];
        for (int i = 0; i < 127; ++i)
            bytes[i] = quint8(i);
        bench.link->writeFifo(bytes, 127);
        const auto trace = bench.trace();
        QCOMPARE(int(trace.size()), 127);
        for (int i = 0; i < 127; ++i)
            QCOMPARE(trace[std::size_t(i)], written(ChipReg::FIFOData, quint8(i)));
        // The chip keeps 64 of them and flags the overflow.
        QCOMPARE(bench.chipRegister(ChipReg::FIFOLength), quint8(64));
        QVERIFY(bench.chipRegister(ChipReg::ErrorFlag) & ErrorFlagBits::FIFOOvfl);
    }

    void readFifoFillsTheBufferInOrder()
    {
        const quint8 bytes[] = { 0x11, 0x22, 0x33 };
        bench.link->writeFifo(bytes, 3);
        quint8 buffer[3] = {};
        bench.link->readFifo(buffer, 3);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer), 3), Bytes("\x11\x22\x33"));
    }

    void transceiveWritesFrameStartsCommandWaitsAndReadsAnswer()
    {
        insertCard(Bytes("\x04\x00", 2));
        bench.link->setField(true);
        bench.link->writeRegister(ChipReg::ChannelRedundancy, 0x03);
        bench.clearHistory();

        const quint8 frame[] = { 0x93, 0x20 };
        quint8 answer[5] = { 0xEE, 0xEE, 0xEE, 0xEE, 0xEE };
        QElapsedTimer clock;
        clock.start();
        bench.link->transceive(frame, 2, answer, 5);
        QVERIFY2(clock.elapsed() >= 100, "the default wait is 100 ms");

        // Two frame bytes, the command, then five FIFO reads whatever the
        // card sent (two bytes): the last three read an empty FIFO.
        const std::vector<Handshake> expected = {
            written(ChipReg::FIFOData, 0x93), written(ChipReg::FIFOData, 0x20),
            written(ChipReg::Command, ChipCmd::Transceive),
            read(ChipReg::FIFOData, 0x04), read(ChipReg::FIFOData, 0x00),
            read(ChipReg::FIFOData, 0x00), read(ChipReg::FIFOData, 0x00), read(ChipReg::FIFOData, 0x00),
        };
        QCOMPARE(bench.trace(), expected);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(answer), 5), Bytes("\x04\x00\x00\x00\x00", 5));
        QCOMPARE(int(card->heard.size()), 1);
    }

    void transceiveWaitsMoreThanItsWait_data()
    {
        QTest::addColumn<int>("waitMs");
        QTest::newRow("1 ms") << 1;
        QTest::newRow("200 ms") << 200;
        QTest::newRow("300 ms") << 300;
    }

    void transceiveWaitsMoreThanItsWait()
    {
        QFETCH(int, waitMs);
        const quint8 frame[] = { 0x26 };
        quint8 answer[1];
        QElapsedTimer clock;
        clock.start();
        const qint64 cpuBefore = cpuTimeMs();
        bench.link->transceive(frame, 1, answer, 0, waitMs);
        const qint64 elapsedNs = clock.nsecsElapsed();
        QVERIFY(elapsedNs > qint64(waitMs) * 1000000);
        // The wait sleeps: it costs next to no processor time.
        if (waitMs >= 200)
            QVERIFY2(cpuTimeMs() - cpuBefore < waitMs / 2, "the transceive wait spins");
    }

    void transceiveWaitsBetweenCommandAndReadOut()
    {
        // The board's clock, read on its side: the wait must lie between
        // the Transceive command and the first FIFO read, where the chip
        // needs it, not before the frame or after the read-out. The card
        // stamps the frame as the board carries out the command.
        constexpr int WaitMs = 400;
        insertCard(Bytes("\x04\x00", 2));
        bench.link->setField(true);
        bench.clearHistory();
        std::chrono::steady_clock::time_point readAt;
        std::thread watcher([&] {
            // The frame byte, the command, then the first read.
            if (bench.board().waitForHandshakes(3, 5000))
                readAt = std::chrono::steady_clock::now();
        });
        const quint8 frame[] = { 0x26 };
        quint8 answer[1];
        bench.link->transceive(frame, 1, answer, 1, WaitMs);
        watcher.join();
        QCOMPARE(int(card->heardAt.size()), 1);
        QVERIFY(readAt != std::chrono::steady_clock::time_point());
        const auto gapMs = std::chrono::duration_cast<std::chrono::milliseconds>(readAt - card->heardAt.front()).count();
        // Half the wait: a busy machine may run the board late on the command.
        QVERIFY2(gapMs >= WaitMs / 2, qPrintable(QStringLiteral("%1 ms between command and read-out").arg(gapMs)));
    }

    // --- the wait for the chip's command -----------------------------------

    // Command as a board in memory gives it: busy some looks, then Idle. A
    // wait that did not sleep between its looks would use up the answers.
    void commandWaitLooksUntilIdleOrItsBound_data()
    {
        QTest::addColumn<int>("busyLooks");
        QTest::addColumn<int>("maxMs");
        QTest::addColumn<bool>("idle");
        QTest::addColumn<int>("fewestLooks");
        QTest::addColumn<int>("mostLooks");
        constexpr int BoundMs = 50;
        constexpr int LooksWithin = BoundMs * 1000 / ReaderLink::LookPeriodUs + 1;
        QTest::newRow("idle at once") << 0 << BoundMs << true << 1 << 1;
        QTest::newRow("busy three looks, then idle") << 3 << BoundMs << true << 4 << 4;
        QTest::newRow("stuck: looks again at the bound") << 1000 << BoundMs << false << 2 << LooksWithin;
        QTest::newRow("stuck, bound 0") << 1000 << 0 << false << 1 << 1;
        QTest::newRow("stuck, negative bound") << 1000 << -1 << false << 1 << 1;
    }

    void commandWaitLooksUntilIdleOrItsBound()
    {
        QFETCH(int, busyLooks);
        QFETCH(int, maxMs);
        QFETCH(bool, idle);
        QFETCH(int, fewestLooks);
        QFETCH(int, mostLooks);
        const QByteArray busy = Bytes("AR") + char(ChipCmd::Transceive);
        auto owned = std::make_unique<MemoryTransport>(busy.repeated(busyLooks) + Bytes("AR\x00", 3));
        MemoryTransport &transport = *owned;
        transport.open();
        ReaderLink link(std::move(owned));
        QCOMPARE(link.waitForCommandEnd(maxMs), idle);
        QVERIFY2(!link.timedOut(), "the board answered every look");
        const QByteArray look = Bytes("r") + char(ChipReg::Command);
        const int looks = int(transport.written().size() / look.size());
        QCOMPARE(transport.written(), look.repeated(looks));
        QVERIFY2(looks >= fewestLooks && looks <= mostLooks, qPrintable(QString::number(looks)));
    }

    // At the board's pace: the wait sleeps through the air time it foresees
    // from the frame and the coding, looks a few times at most, and returns
    // with the answer whole in the FIFO, even one that ends long after the
    // shortest answer would have.
    void commandWaitAtTheBoardsPace_data()
    {
        QTest::addColumn<bool>("vicinity");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("mostLooks");
        const QByteArray inventory("\x26\x01\x00", 3);
        // Some 0.35 ms of air: one look, a second if the board starts late.
        QTest::newRow("type A, REQA answered") << false << Bytes("\x26") << Bytes("\x04\x00", 2) << 2;
        QTest::newRow("type A, nobody answers") << false << Bytes("\x26") << Bytes() << 2;
        // 15 ms of frame in 1 out of 256, then a three-byte answer.
        QTest::newRow("ISO 15693, short answer") << true << inventory << Bytes("\x00\x11\x22", 3) << 3;
        // An answer 5.7 ms longer than the shortest: a look each half
        // millisecond at most over it.
        QTest::newRow("ISO 15693, long answer") << true << inventory << Bytes(20, '\x5A') << 15;
    }

    void commandWaitAtTheBoardsPace()
    {
        QFETCH(bool, vicinity);
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, answer);
        QFETCH(int, mostLooks);
        bench.stop();
        QVERIFY2(bench.start({ true, 0 }), qPrintable(bench.error));
        if (!answer.isEmpty()) {
            card = std::make_shared<ScriptedCard>();
            card->answer = vicinity ? Air::plain(answer) : Air::withOddParity(answer);
            bench.board().withBoard([&](BoardEngine &engine) { engine.chip().field().addCard(card); });
        }
        ReaderLink &link = *bench.link;
        link.setField(true);
        if (vicinity) {
            link.writeRegister(ChipReg::CoderControl, CoderControlBits::Iso15693OneOutOf256);
            link.writeRegister(ChipReg::ModWidth, ChipSetting::Iso15693ModWidth);
            link.writeRegister(ChipReg::ChannelRedundancy, 0x00);  // no CRC, no parity
        } else {
            link.writeRegister(ChipReg::BitFraming, BitFramingBits::ShortFrame);
            link.writeRegister(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityNoCrc);
        }
        link.writeFifo(reinterpret_cast<const quint8 *>(frame.constData()), qint8(frame.size()));
        link.writeRegister(ChipReg::Command, ChipCmd::Transceive);
        QVERIFY(link.waitForCommandEnd(100));
        QCOMPARE(int(link.readRegister(ChipReg::FIFOLength)), int(answer.size()));
        const std::vector<Handshake> trace = bench.trace();
        const auto looks = std::count_if(trace.begin(), trace.end(), [](const Handshake &handshake) {
            return handshake.operation == Handshake::Read && handshake.address == ChipReg::Command;
        });
        QVERIFY2(looks >= 1 && looks <= mostLooks, qPrintable(QString::number(looks)));
    }

    void readModifyWritesReadThenWrite_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("after");
        QTest::newRow("set 0x40 on 0x1B") << "set" << 0x1B << 0x40 << 0 << 0x5B;
        QTest::newRow("set 0x20 on 0x5B") << "set" << 0x5B << 0x20 << 0 << 0x7B;
        QTest::newRow("clear 0x60 on 0x5B") << "clear" << 0x5B << 0x60 << 0 << 0x1B;
        QTest::newRow("clear 0x60 on 0x18") << "clear" << 0x18 << 0x60 << 0 << 0x18;
        QTest::newRow("masked 0x60 := 0x20 on 0x5B") << "masked" << 0x5B << 0x60 << 0x20 << 0x3B;
        QTest::newRow("masked 0x60 := 0x00 on 0x7B") << "masked" << 0x7B << 0x60 << 0x00 << 0x1B;
        QTest::newRow("masked 0x60 := 0x40 on 0xFF") << "masked" << 0xFF << 0x60 << 0x40 << 0xDF;
    }

    void readModifyWritesReadThenWrite()
    {
        QFETCH(QString, operation);
        QFETCH(int, before);
        QFETCH(int, mask);
        QFETCH(int, value);
        QFETCH(int, after);
        bench.link->writeRegister(ChipReg::TxControl, quint8(before));
        bench.clearHistory();
        QVERIFY(readModifyWrite(operation, quint8(mask), quint8(value)));
        const std::vector<Handshake> expected = { read(ChipReg::TxControl, quint8(before)),
                                                  written(ChipReg::TxControl, quint8(after)) };
        QCOMPARE(bench.trace(), expected);
    }

    void readModifyWriteWritesNothingWhenItsReadTimesOut_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("board");
        QTest::newRow("set, unanswered") << "set" << "unanswered";
        QTest::newRow("clear, unanswered") << "clear" << "unanswered";
        QTest::newRow("masked, unanswered") << "masked" << "unanswered";
        QTest::newRow("masked, busy") << "masked" << "busy";
    }

    void readModifyWriteWritesNothingWhenItsReadTimesOut()
    {
        QFETCH(QString, operation);
        QFETCH(QString, board);
        bench.link->writeRegister(ChipReg::TxControl, 0x5B);
        bench.clearHistory();
        BoardFaults faults;
        if (board == "unanswered")
            faults.unanswered = 1;  // the read's "r" goes unanswered; a "w" after it would not
        else
            faults.refusals = ReaderLink::MaxRepeats + 1;  // "E" until the read gives up
        bench.setFaults(faults);
        QVERIFY(!readModifyWrite(operation, 0x60, 0x20));
        QVERIFY(bench.link->timedOut());
        // Only read commands went out, and the field stayed on.
        QVERIFY(!bench.hostBytes().contains('w'));
        QCOMPARE(bench.chipRegister(ChipReg::TxControl), quint8(0x5B));

        // The board answering again, the same call goes through.
        QVERIFY(readModifyWrite(operation, 0x60, 0x20));
        QVERIFY(bench.chipRegister(ChipReg::TxControl) != 0x5B);
    }

    void probeTellsWhetherABoardAnswers()
    {
        bench.link->setField(true);
        QVERIFY(!bench.link->probe());
        QCOMPARE(bench.chipRegister(ChipReg::TxControl), quint8(0x58));

        BoardFaults silent;
        silent.unanswered = -1;
        bench.setFaults(silent);
        QVERIFY(bench.link->probe());
    }

    void successAfterTimeOutClearsTheFlag()
    {
        BoardFaults faults;
        faults.unanswered = 1;
        bench.setFaults(faults);
        bench.link->writeRegister(ChipReg::RxWait, 0x08);
        QVERIFY(bench.link->timedOut());
        QVERIFY(bench.link->outOfStep());
        bench.link->writeRegister(ChipReg::RxWait, 0x08);
        QVERIFY(!bench.link->timedOut());
        QVERIFY(!bench.link->outOfStep());
        // Back in step first: the filler a board owed an address would take
        // (this one ignores it), then the FIFO flushed, Control's other bits
        // kept.
        QCOMPARE(bench.hostBytes(), Bytes("w" "\0\0" "r\x09" "w\x09\x01" "w\x21\x08", 11));
    }

    // The first handshake of an operation that fails ends it: the others
    // are not attempted, so a silent board costs one time-out, and the
    // reads give zeros that the operation's failure says are no values.
    void failedHandshakeEndsItsOperation_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("transceive") << 0 << Bytes("w");
        QTest::newRow("readFifo") << 1 << Bytes("r");
        QTest::newRow("read-modify-write") << 2 << Bytes("r");
        QTest::newRow("command wait") << 3 << Bytes("r");
        QTest::newRow("operation of lone handshakes") << 4 << Bytes("w");
        QTest::newRow("command wait, board silent once busy") << 5 << Bytes("r\x01" "r", 3);
    }

    void failedHandshakeEndsItsOperation()
    {
        QFETCH(int, operation);
        QFETCH(QByteArray, wire);
        BoardFaults silent;
        silent.unanswered = -1;
        bench.setFaults(silent);
        ReaderLink &link = *bench.link;
        const quint8 frame[] = { 0x30, 0x04, 0x26, 0x26, 0x26 };
        quint8 answer[16];
        std::fill(std::begin(answer), std::end(answer), quint8(0xEE));
        QElapsedTimer clock;
        clock.start();
        switch (operation) {
        case 0: link.transceive(frame, 5, answer, 16, 300); break;
        case 1: link.readFifo(answer, 16); break;
        case 2: QVERIFY(!link.setBits(ChipReg::TxControl, 0x40)); break;
        case 3: QVERIFY(!link.waitForCommandEnd(100)); break;
        case 4: {
            const ReaderLink::Operation whole(link);
            QVERIFY(whole.outermost());
            link.setField(false);
            const ReaderLink::Operation inner(link);
            QVERIFY(!inner.outermost());
            link.setField(true);
            QCOMPARE(int(link.readRegister(ChipReg::TxControl)), 0);
            QVERIFY(inner.failed() && whole.failed());
            break;
        }
        case 5: {
            // Busy at the first look, then gone: its silence is no Idle.
            BoardFaults busyThenSilent;
            busyThenSilent.stuckReads[ChipReg::Command] = ChipCmd::Transceive;
            busyThenSilent.stallAfterReadOf = ChipReg::Command;
            bench.setFaults(busyThenSilent);
            QVERIFY(!link.waitForCommandEnd(ReaderLink::AnswerTimeoutMs));
            break;
        }
        }
        const qint64 elapsed = clock.elapsed();
        QVERIFY(link.failed());
        QVERIFY(link.timedOut());
        QVERIFY2(elapsed < ReaderLink::AnswerTimeoutMs + 500, qPrintable(QString::number(elapsed)));
        QCOMPARE(bench.hostBytes(), wire);
        if (operation < 2) {
            for (quint8 byte : answer)
                QCOMPARE(byte, quint8(0));
        }

        // The next operation tries again, once, after its attempt to bring
        // the board back in step.
        clock.restart();
        bench.clearHistory();
        link.setField(true);
        QVERIFY(link.failed());
        QVERIFY(clock.elapsed() < ReaderLink::AnswerTimeoutMs + 500);
        QCOMPARE(bench.hostBytes(), Bytes("\0\0" "r", 3));
    }

    // --- a board that misbehaves -------------------------------------------

    void silentBoardTimesOutAfterOneSecondAsleep_data()
    {
        QTest::addColumn<bool>("write");
        QTest::newRow("write") << true;
        QTest::newRow("read") << false;
    }

    void silentBoardTimesOutAfterOneSecondAsleep()
    {
        QFETCH(bool, write);
        BoardFaults silent;
        silent.unanswered = -1;
        bench.setFaults(silent);
        QElapsedTimer clock;
        clock.start();
        const qint64 cpuBefore = cpuTimeMs();
        int value = -99;
        if (write)
            bench.link->writeRegister(ChipReg::TxControl, 0x5B);
        else
            value = bench.link->readRegister(ChipReg::TxControl);
        const qint64 elapsed = clock.elapsed();
        QVERIFY(bench.link->timedOut());
        QVERIFY2(elapsed >= ReaderLink::AnswerTimeoutMs, qPrintable(QString::number(elapsed)));
        QVERIFY2(elapsed < 3 * ReaderLink::AnswerTimeoutMs, qPrintable(QString::number(elapsed)));
        QVERIFY2(cpuTimeMs() - cpuBefore < 300, "the wait for the board spins");
        // Only the command byte went out: no address, no value.
        QCOMPARE(bench.hostBytes(), write ? Bytes("w") : Bytes("r"));
        if (!write)
            QCOMPARE(value, 0);

        // An "A" that comes after that second is no answer either, even
        // when the port hands it over at once.
        auto owned = std::make_unique<LateTransport>(Bytes("AR\x42"));
        LateTransport &late = *owned;
        late.open();
        ReaderLink lateLink(std::move(owned));
        if (write)
            lateLink.writeRegister(ChipReg::TxControl, 0x5B);
        else
            QCOMPARE(int(lateLink.readRegister(ChipReg::TxControl)), 0);
        QVERIFY(lateLink.timedOut());
        QCOMPARE(late.written(), write ? Bytes("w") : Bytes("r"));
    }

    void refusedOnceThenAccepted()
    {
        BoardFaults faults;
        faults.refusals = 1;
        bench.setFaults(faults);
        bench.link->writeRegister(ChipReg::TxControl, 0x5B);
        QVERIFY(!bench.link->timedOut());
        QCOMPARE(bench.hostBytes(), Bytes("ww\x11\x5B", 4));
        QCOMPARE(bench.chipRegister(ChipReg::TxControl), quint8(0x5B));
    }

    void refusedForeverEndsAsTimeOut_data()
    {
        QTest::addColumn<bool>("write");
        QTest::addColumn<int>("delayMs");
        QTest::newRow("write, refused at once") << true << 0;
        QTest::newRow("read, refused at once") << false << 0;
        QTest::newRow("write, refused late") << true << 200;
    }

    void refusedForeverEndsAsTimeOut()
    {
        QFETCH(bool, write);
        QFETCH(int, delayMs);
        BoardFaults faults;
        faults.refusals = -1;
        faults.answerDelayMs = delayMs;
        bench.setFaults(faults);
        QElapsedTimer clock;
        clock.start();
        const qint64 cpuBefore = cpuTimeMs();
        if (write)
            bench.link->writeRegister(ChipReg::TxControl, 0x5B);
        else
            QCOMPARE(int(bench.link->readRegister(ChipReg::TxControl)), 0);
        QVERIFY(bench.link->timedOut());
        QVERIFY2(clock.elapsed() < 15000, "a board that refuses forever held the host");
        QVERIFY2(cpuTimeMs() - cpuBefore < 1000, "the repeats spin");
        const QByteArray command = write ? "w" : "r";
        QCOMPARE(bench.hostBytes(), command.repeated(ReaderLink::MaxRepeats + 1));
    }

    void strayBytesAreSkipped_data()
    {
        QTest::addColumn<QByteArray>("beforeAck");
        QTest::addColumn<QByteArray>("beforeResult");
        QTest::newRow("before A") << Bytes("\x00\xFFzR", 4) << Bytes();
        QTest::newRow("before R") << Bytes() << Bytes("\x00" "AEz\xFF", 5);
        QTest::newRow("both") << Bytes("x") << Bytes("y");
    }

    void strayBytesAreSkipped()
    {
        QFETCH(QByteArray, beforeAck);
        QFETCH(QByteArray, beforeResult);
        BoardFaults faults;
        faults.strayBeforeAck = beforeAck;
        faults.strayBeforeResult = beforeResult;
        bench.setFaults(faults);
        bench.link->writeRegister(ChipReg::ModWidth, 0x3F);
        QVERIFY(!bench.link->timedOut());
        QCOMPARE(int(bench.link->readRegister(ChipReg::ModWidth)), 0x3F);
        QVERIFY(!bench.link->timedOut());
        QCOMPARE(bench.hostBytes(), Bytes("w\x15\x3F" "r\x15", 5));
    }

    void boardThatStopsAfterAckEndsTheReadWithinBound()
    {
        BoardFaults faults;
        faults.stopAfterAck = true;
        bench.setFaults(faults);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(int(bench.link->readRegister(ChipReg::TxControl)), 0);
        QVERIFY(bench.link->timedOut());
        QVERIFY(clock.elapsed() >= ReaderLink::AnswerTimeoutMs);
        QVERIFY(clock.elapsed() < 3 * ReaderLink::AnswerTimeoutMs);
        QCOMPARE(bench.hostBytes(), Bytes("r\x11", 2));
        // The board is dead from now on: the next handshake times out too.
        bench.link->writeRegister(ChipReg::TxControl, 0x5B);
        QVERIFY(bench.link->timedOut());
    }

    void missingValueByteTimesOut()
    {
        BoardFaults faults;
        faults.dropValueByte = true;
        bench.setFaults(faults);
        QElapsedTimer clock;
        clock.start();
        const qint64 cpuBefore = cpuTimeMs();
        QCOMPARE(int(bench.link->readRegister(ChipReg::RxThreshold)), 0);
        QVERIFY(bench.link->timedOut());
        QVERIFY(clock.elapsed() < 3 * ReaderLink::AnswerTimeoutMs);
        QVERIFY2(cpuTimeMs() - cpuBefore < 300, "the wait for the value spins");
    }

    void slowValueByteIsWaitedFor()
    {
        BoardFaults faults;
        faults.valueDelayMs = 300;
        bench.setFaults(faults);
        // 0xFF is the start-up value of RxThreshold.
        QCOMPARE(int(bench.link->readRegister(ChipReg::RxThreshold)), -1);
        QVERIFY(!bench.link->timedOut());
    }

    // A board that answers after the host gave up owes the next handshake
    // nothing: its "A" would answer it, and the board would take that
    // handshake's command byte for the address it waits for (a write landing
    // in register 0x77, which is 0x37). Back in step, every access lands
    // where it was meant, and the filler only ever touches Page.
    void lateAnswerNeverAnswersALaterHandshake_data()
    {
        QTest::addColumn<bool>("write");
        QTest::addColumn<bool>("stillStalled");  // the next handshake comes before the late answer
        QTest::addColumn<Handshake>("completed");  // what the filler made of the command owed
        QTest::newRow("write, answered before the next handshake") << true << false << written(ChipReg::Page, 0x00);
        QTest::newRow("read, answered before the next handshake") << false << false << read(ChipReg::Page, 0x00);
        QTest::newRow("write, board still stalled") << true << true << written(ChipReg::Page, 0x00);
        QTest::newRow("read, board still stalled") << false << true << read(ChipReg::Page, 0x00);
    }

    void lateAnswerNeverAnswersALaterHandshake()
    {
        QFETCH(bool, write);
        QFETCH(bool, stillStalled);
        QFETCH(Handshake, completed);
        BoardFaults stall;
        stall.stallAfter = 0;
        stall.stallMs = ReaderLink::AnswerTimeoutMs + (stillStalled ? 400 : 200);
        bench.setFaults(stall);
        if (write)
            bench.link->writeRegister(ChipReg::TxControl, 0x5B);
        else
            bench.link->readRegister(ChipReg::TxControl);
        QVERIFY(bench.link->timedOut());
        if (!stillStalled)  // the late "A" waits in the host's input
            QTRY_VERIFY_WITH_TIMEOUT(bench.link->port()->bytesAvailable() > 0, 3000);

        bench.link->writeRegister(ChipReg::CwConductance, 0x2A);
        QVERIFY(!bench.link->timedOut());
        QCOMPARE(int(bench.link->readRegister(ChipReg::CwConductance)), 0x2A);
        QCOMPARE(int(bench.link->readRegister(ChipReg::ModWidth)), 0x13);
        QVERIFY(!bench.link->timedOut());
        const std::vector<Handshake> expected = {
            completed, read(ChipReg::Control, 0x00), written(ChipReg::Control, ControlBits::FlushFIFO),
            written(ChipReg::CwConductance, 0x2A),
            read(ChipReg::CwConductance, 0x2A), read(ChipReg::ModWidth, 0x13),
        };
        QCOMPARE(bench.trace(), expected);
        QCOMPARE(bench.chipRegister(ChipReg::TxControl), quint8(0x58));  // the write that timed out never landed
    }

    void drainWaitsForTheBoardToActOnEveryByte()
    {
        // Straight onto the line, with no answer to wait for: only the
        // drain tells when the board has the bytes.
        QSerialPort *port = bench.link->port();
        port->write("w\x12\x2A" "w\x13\x15", 6);
        QVERIFY(port->waitForBytesWritten(1000));
        QCOMPARE(bench.chipRegister(ChipReg::CwConductance), quint8(0x2A));
        QCOMPARE(bench.chipRegister(ChipReg::ModConductance), quint8(0x15));

        // A board holding back an answer has not acted on its last byte
        // yet; the wait for it is bounded.
        BoardFaults slow;
        slow.answerDelayMs = 800;
        bench.setFaults(slow);
        port->write("r", 1);
        QVERIFY(port->waitForBytesWritten(1000));
        QVERIFY(!bench.board().waitUntilDrained(100));
        QVERIFY(bench.board().waitUntilDrained(2000));
    }

    void boardGoingAwayMidHandshakeEndsAtOnce_data()
    {
        QTest::addColumn<bool>("write");
        QTest::newRow("read") << false;
        QTest::newRow("write") << true;
    }

    void boardGoingAwayMidHandshakeEndsAtOnce()
    {
        QFETCH(bool, write);
        BoardFaults faults;
        faults.vanishAfterAck = true;
        bench.setFaults(faults);
        QElapsedTimer clock;
        clock.start();
        const qint64 cpuBefore = cpuTimeMs();
        if (write)
            bench.link->writeRegister(ChipReg::TxControl, 0x5B);
        else
            QCOMPARE(int(bench.link->readRegister(ChipReg::TxControl)), 0);
        QCOMPARE(bench.link->timedOut(), !write);  // the write had its "A"

        // Every handshake after that ends at once as a time-out.
        for (int i = 0; i < 5; ++i) {
            bench.link->writeRegister(ChipReg::TxControl, 0x58);
            QVERIFY(bench.link->timedOut());
            QCOMPARE(int(bench.link->readRegister(ChipReg::FIFOLength)), 0);
            QVERIFY(bench.link->timedOut());
        }
        QVERIFY2(clock.elapsed() < 2 * ReaderLink::AnswerTimeoutMs, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(cpuTimeMs() - cpuBefore < 500, "waiting on a vanished board spins");
        QVERIFY(!bench.board().connected());
    }

    void unpluggedBoardTimesOutAtOnce_data()
    {
        QTest::addColumn<int>("answerDelayMs");
        QTest::addColumn<bool>("realTime");
        QTest::newRow("idle") << 0 << false;
        QTest::newRow("holding an answer back") << 5000 << false;
        QTest::newRow("holding an answer back, real time") << 5000 << true;
    }

    void unpluggedBoardTimesOutAtOnce()
    {
        QFETCH(int, answerDelayMs);
        QFETCH(bool, realTime);
        if (realTime) {
            bench.stop();
            bench.boardHolder = std::make_unique<PtyBoard>();
            bench.board().setTiming({ true, 0 });
            QVERIFY(bench.board().start());
            bench.link = std::make_unique<ReaderLink>(bench.board().devicePath());
            QTest::ignoreMessage(QtDebugMsg, " open: 1");
            bench.link->open();
        }
        if (answerDelayMs > 0) {
            BoardFaults late;
            late.answerDelayMs = answerDelayMs;
            bench.setFaults(late);
            QVERIFY(bench.link->port()->write("r", 1) == 1);
            QVERIFY(bench.link->port()->waitForBytesWritten(1000));
            QVERIFY(!bench.board().waitUntilDrained(100));  // the board holds its "A"
        }
        QElapsedTimer clock;
        clock.start();
        bench.board().unplug();
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!bench.board().connected());
        QVERIFY(bench.link->probe());
        QVERIFY(clock.elapsed() < ReaderLink::AnswerTimeoutMs);
    }

    void handshakeOnClosedPortTimesOutSendingNothing()
    {
        bench.link->closePort();
        QElapsedTimer clock;
        clock.start();
        const qint64 cpuBefore = cpuTimeMs();
        QCOMPARE(int(bench.link->readRegister(ChipReg::TxControl)), 0);
        QVERIFY(bench.link->timedOut());
        QVERIFY(clock.elapsed() >= ReaderLink::AnswerTimeoutMs);
        QVERIFY2(cpuTimeMs() - cpuBefore < 300, "the wait on a closed port spins");
        QCOMPARE(bench.hostBytes(), Bytes());
    }

    // --- the exchange journal, fed as a link feeds it ------------------------

    void journalKeepsItsLastEntries()
    {
        constexpr int Capacity = 3;
        ExchangeJournal journal(Capacity);
        for (int frame = 0; frame < Capacity + 2; ++frame) {
            journal.registerWritten(ChipReg::FIFOData, quint8(frame));
            journal.registerWritten(ChipReg::Command, ChipCmd::Transceive);
        }
        QCOMPARE(journal.entries().size(), Capacity);
        QCOMPARE(journal.entries().first().sent, QByteArray(1, char(2)));
        QCOMPARE(journal.entries().last().sent, QByteArray(1, char(4)));
    }

    void journalTakesOnlyTheFramesOwnReads()
    {
        ExchangeJournal journal;
        {
            const ExchangeJournal::ActionScope scope(&journal, QStringLiteral("Inventory 16 créneaux"),
                                                     ExchangeJournal::Family::Iso15693);
            journal.registerWritten(ChipReg::ChannelRedundancy, ChannelRedundancyBits::Iso15693Crc);
            journal.registerWritten(ChipReg::FIFOData, 0x06);
            journal.registerWritten(ChipReg::Command, ChipCmd::Transceive);
            journal.registerRead(ChipReg::FIFOLength, 1);
            journal.registerRead(ChipReg::FIFOData, 0xAA);
            journal.registerRead(ChipReg::FIFOData, 0xBB);  // read past what came
            journal.closeExchange();
            journal.registerRead(ChipReg::FIFOData, 0xCC);  // another operation's
        }
        QCOMPARE(journal.currentAction(), QString());
        const ExchangeJournal::Entry &entry = journal.entries().first();
        QCOMPARE(entry.action, QStringLiteral("Inventory 16 créneaux"));
        QCOMPARE(entry.answer(), QByteArray("\xAA", 1));
        QCOMPARE(entry.family(), ExchangeJournal::Family::Iso15693);
        QCOMPARE(entry.outcome(), QStringLiteral("1 octet"));
        // Only type A frames go into the capture: the header, no packet.
        const QByteArray pcapng = ExchangeJournal::toPcapng(journal.entries());
        QCOMPARE(pcapng, ExchangeJournal::toPcapng({}));
        QCOMPARE(ExchangeJournal::toCsv(journal.entries()).count('\n'), 2);
    }

    void journalAddsNoHandshake()
    {
        ExchangeJournal journal;
        ReaderLink &link = *bench.link;
        link.setJournal(&journal);
        bench.clearHistory();
        const quint8 frame[] = { 0x26 };
        link.writeRegister(ChipReg::BitFraming, BitFramingBits::ShortFrame);
        QCOMPARE(link.transceiveAndCount(frame, 1), 0);
        QCOMPARE(bench.trace().size(), std::size_t(4));  // BitFraming, FIFOData, Command, FIFOLength
        QCOMPARE(journal.entries().size(), 1);
        QCOMPARE(journal.entries().first().txLastBits(), 7);
        QCOMPARE(journal.entries().first().outcome(), QStringLiteral("Aucune réponse"));

        // A frame sent by Transmit is an entry too, with no answer of its own.
        link.transmitByte(0x52);
        link.readRegister(ChipReg::FIFOLength);
        QCOMPARE(journal.entries().size(), 2);
        QCOMPARE(journal.entries().last().sent, QByteArray("\x52", 1));
        QCOMPARE(journal.entries().last().fifoLength, int(ExchangeJournal::Unknown));
        QCOMPARE(journal.entries().last().outcome(), QStringLiteral("Émise sans attendre de réponse"));
    }
};

QTEST_GUILESS_MAIN(TestReaderLink)
#include "tst_readerlink.moc"
