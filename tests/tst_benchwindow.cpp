// The bench's window over a virtual board that the host drives through a
// real pseudo-terminal: what the scope and the air log show of a request,
// the cards placed in the field and taken out by hand, and the exports;
// the scope under the mouse; the history of captures; and tagbench-sim
// with its window, stopped by a signal; its trigger, the log's filter and
// measurements, and the scope's units, cursors and keys.

#include "airlogview.h"
#include "benchfixture.h"
#include "benchwindow.h"
#include "capturehistory.h"
#include "chipregisters.h"
#include "fieldcardspanel.h"
#include "scopeview.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>

namespace {

constexpr int WindowWaitMs = 5000;

// A REQA after the field was switched off and on, as the visualisation page
// sends it: a card in the field is idle again and answers.
void sendRequest(ReaderLink &link)
{
    link.setField(false);
    link.setField(true);
    link.writeRegister(ChipReg::BitFraming, BitFramingBits::ShortFrame);
    link.writeRegister(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityNoCrc);
    const quint8 frame[] = { 0x26 };
    quint8 answer[2] = {};
    link.transceive(frame, 1, answer, 2);
}

// The summaries of the log's rows, oldest first.
QStringList summaries(const AirLogView &log)
{
    QStringList rows;
    for (int i = 0; i < log.topLevelItemCount(); ++i)
        rows << log.topLevelItem(i)->text(AirLogView::Meaning);
    return rows;
}

QString shownSummary(const BenchWindow &window)
{
    const Capture *capture = window.scope()->capture();
    return capture && !capture->summaries.empty() ? capture->summaries.front() : QString();
}

int fallingEdges(const Waveform &wave)
{
    int edges = 0;
    for (std::size_t i = 1; i < wave.levels.size(); ++i)
        edges += wave.levels[i - 1] >= 0.5f && wave.levels[i] < 0.5f;
    return edges;
}

// A square wave with a change every `periodUs / 2`.
Waveform squareWave(double periodUs, int changes)
{
    Waveform wave;
    for (int i = 0; i < changes; ++i)
        wave.set(i * periodUs / 2, i % 2 ? 0.0f : 1.0f);
    return wave;
}

// A capture with nothing on it but its length (a millisecond unless told).
std::shared_ptr<const Capture> emptyCapture(double durationUs = 1000, quint64 serial = 0)
{
    auto capture = std::make_shared<Capture>();
    capture->durationUs = durationUs;
    capture->firstSerial = serial;
    capture->triggerUs = SignalSynthesis::PreTriggerUs;
    capture->mfout.set(0, 0.0f);
    capture->antenna.set(0, 1.0f);
    return capture;
}

// An anticollision of cascade level 1: with two cards, their UIDs collide.
void sendAnticollision(ReaderLink &link)
{
    link.writeRegister(ChipReg::BitFraming, 0);
    const quint8 frame[] = { 0x93, 0x20 };
    quint8 answer[5] = {};
    link.transceive(frame, 2, answer, 5);
}

DecodedFrame frameOf(DecodedFrame::Direction direction, const QString &meaning, const QByteArray &bytes)
{
    DecodedFrame frame;
    frame.direction = direction;
    frame.meaning = meaning;
    frame.bytes = bytes;
    frame.bitCount = int(bytes.size()) * 8;
    return frame;
}

// A request and its answer, at `serial` milliseconds on the air clock.
DecodedExchange exchangeOf(quint64 serial, const QString &request, const QByteArray &requestBytes,
                           const QString &answer = QString())
{
    DecodedExchange decoded;
    decoded.exchange.serial = serial;
    decoded.frames.push_back(frameOf(DecodedFrame::Direction::ReaderToCard, request, requestBytes));
    if (!answer.isEmpty())
        decoded.frames.push_back(frameOf(DecodedFrame::Direction::CardToReader, answer, QByteArray("\x04\x00", 2)));
    for (DecodedFrame &frame : decoded.frames) {
        frame.serial = serial;
        frame.timeNs = qint64(serial) * 1000000;
    }
    return decoded;
}

void sendWheel(QWidget &widget, QPointF at, int notches)
{
    QWheelEvent wheel(at, widget.mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&widget, &wheel);
}

void sendMove(QWidget &widget, QPoint to, Qt::MouseButtons held)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(to), widget.mapToGlobal(QPointF(to)), Qt::NoButton, held,
                     Qt::NoModifier);
    QApplication::sendEvent(&widget, &move);
}

// An ISO/IEC 15693 frame on the air, or the end-of-frame pulse of an
// inventory's next slot.
AirExchange vicinityExchange(quint64 serial, bool slotPulse)
{
    AirExchange exchange;
    exchange.serial = serial;
    exchange.startNs = qint64(serial) * 10000000;
    exchange.sent.coding = AirCoding::OneOutOf4;
    exchange.sent.slotPulse = slotPulse;
    if (!slotPulse)
        exchange.sent.bits = Air::plain(QByteArray("\x06\x01\x00", 3));  // a 16-slot inventory
    return exchange;
}

} // namespace

class TestBenchWindow : public QObject
{
    Q_OBJECT

private:
    BenchFixture bench;
    std::unique_ptr<BenchWindow> window;

    QListWidget *cardList() const { return window->cards()->findChild<QListWidget *>(QStringLiteral("cartes")); }

private slots:
    void init()
    {
        QVERIFY2(bench.start(), qPrintable(bench.error));
        window = std::make_unique<BenchWindow>(bench.board());
        window->addCard(CardArgument::parse(QStringLiteral("mifare1k:04A23B15")));
        window->show();
        bench.link->writeRegister(ChipReg::MFOUTSelect, MFOUTSelectBits::ModulationSignal);
    }

    void cleanup()
    {
        window.reset();
        bench.stop();
    }

    void requestShowsInTheLogAndOnTheScope()
    {
        sendRequest(*bench.link);
        QTRY_VERIFY_WITH_TIMEOUT(summaries(*window->airLog()).contains(QStringLiteral("REQA → ATQA 04 00")),
                                 WindowWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(shownSummary(*window), QStringLiteral("REQA → ATQA 04 00"), WindowWaitMs);

        const Capture &capture = *window->scope()->capture();
        QCOMPARE(capture.mfoutSelect, MFOUTSelectBits::ModulationSignal);
        QCOMPARE(fallingEdges(capture.mfout), 7);     // the Miller pauses of 26 on seven bits
        QCOMPARE(fallingEdges(capture.antenna), 7);   // the same pauses in the carrier...
        QVERIFY(capture.antenna.times.size() > 2 * 7 + 2 * 16);  // ...and the card's load modulation
        QVERIFY(window->following());
        QVERIFY(window->scope()->caption().startsWith(QStringLiteral("En direct")));
        // The bytes under the trace: the request on seven bits, the ATQA.
        QStringList bytes;
        for (const ByteMark &mark : capture.bytes)
            bytes << QStringLiteral("%1%2:%3").arg(mark.direction == DecodedFrame::Direction::ReaderToCard ? "→" : "←")
                         .arg(mark.value, 2, 16, QLatin1Char('0')).arg(mark.bits);
        QCOMPARE(bytes, QStringList({ "→26:7", "←04:8", "←00:8" }));
    }

    void uncheckedCardStopsAnswering()
    {
        QCOMPARE(cardList()->count(), 1);
        sendRequest(*bench.link);
        cardList()->item(0)->setCheckState(Qt::Unchecked);
        sendRequest(*bench.link);
        cardList()->item(0)->setCheckState(Qt::Checked);
        sendRequest(*bench.link);  // back in the field: idle, as after power-up
        const QStringList expected { "REQA → ATQA 04 00", "REQA → (pas de réponse)", "REQA → ATQA 04 00" };
        QTRY_COMPARE_WITH_TIMEOUT(summaries(*window->airLog()).filter(QStringLiteral("REQA")), expected,
                                  WindowWaitMs);
    }

    void chosenRowHoldsTheScope()
    {
        sendRequest(*bench.link);
        QTRY_COMPARE_WITH_TIMEOUT(window->airLog()->topLevelItemCount(), 1, WindowWaitMs);
        window->airLog()->setCurrentItem(window->airLog()->topLevelItem(0));
        QVERIFY(!window->following());
        const quint64 held = window->scope()->capture()->firstSerial;

        cardList()->item(0)->setCheckState(Qt::Unchecked);
        sendRequest(*bench.link);
        QTRY_COMPARE_WITH_TIMEOUT(window->airLog()->topLevelItemCount(), 2, WindowWaitMs);
        QCOMPARE(window->scope()->capture()->firstSerial, held);
        QVERIFY(window->scope()->caption().startsWith(QStringLiteral("Figée")));

        window->setFollowing(true);
        QCOMPARE(shownSummary(*window), QStringLiteral("REQA → (pas de réponse)"));
    }

    void typedCardsJoinTheField_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("uid");
        QTest::addColumn<QString>("made");  // start of the card's line, or of the error
        QTest::newRow("Ultralight") << "ultralight" << "04A23B91C42E80" << "MIFARE Ultralight, UID 04 A2";
        QTest::newRow("ISO 15693 with AFI") << "iso15693" << "E004010866215731:00:12" << "tag ISO 15693";
        QTest::newRow("UID too short") << "mifare1k" << "04A2" << "« 04A2 » : il faut 8 ou 14 chiffres";
        QTest::newRow("4K with its key") << "mifare4k" << "08112233:A0A1A2A3A4A5" << "MIFARE Classic 4K, UID 08 11 22 33, clés";
        QTest::newRow("key too short") << "mifare1k" << "08112233:A0A1" << "« A0A1 » : il faut 12 chiffres";
    }

    void typedCardsJoinTheField()
    {
        QFETCH(QString, kind);
        QFETCH(QString, uid);
        QFETCH(QString, made);
        auto *kinds = window->cards()->findChild<QComboBox *>();
        kinds->setCurrentIndex(kinds->findText(kind));
        QVERIFY(kinds->currentIndex() >= 0);
        QTest::keyClicks(window->cards()->findChild<QLineEdit *>(), uid);
        QTest::keyClick(window->cards()->findChild<QLineEdit *>(), Qt::Key_Return);
        const int cards = bench.board().withBoard([](BoardEngine &engine) { return int(engine.chip().field().cards().size()); });
        if (window->cards()->errorText().isEmpty()) {
            QCOMPARE(cardList()->count(), 2);
            QVERIFY2(cardList()->item(1)->text().startsWith(made), qPrintable(cardList()->item(1)->text()));
            QCOMPARE(cards, 2);
        } else {
            QVERIFY2(window->cards()->errorText().startsWith(made), qPrintable(window->cards()->errorText()));
            QCOMPARE(cardList()->count(), 1);
            QCOMPARE(cards, 1);
        }
        // Removed, it leaves the field.
        cardList()->setCurrentRow(0);
        window->cards()->findChild<QPushButton *>(QStringLiteral("retirer"))->click();
        QCOMPARE(cardList()->count(), cards - 1);
        QCOMPARE(bench.board().withBoard([](BoardEngine &engine) { return int(engine.chip().field().cards().size()); }),
                 cards - 1);
    }

    void exportsWriteTheirFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("start");
        QTest::addColumn<QByteArray>("holds");
        QTest::newRow("scope as PNG") << "scope.png" << QByteArray("\x89PNG") << QByteArray();
        QTest::newRow("capture as VCD") << "capture.vcd" << QByteArray("$version") << QByteArray("$var wire 1 ! MFOUT $end");
        QTest::newRow("capture as detailed VCD") << "capture-detail.vcd" << QByteArray("$version")
                                                 << QByteArray("$var real 64 $ antenne $end");
        QTest::newRow("capture as pcapng") << "capture.pcapng" << QByteArray("\x0A\x0D\x0D\x0A")
                                           << QByteArray("\x00\xFE\x00\x01\x26", 5);  // REQA behind its pseudo-header
        QTest::newRow("air log as CSV") << "journal.csv" << QByteArray("temps_us,") << QByteArray(",REQA\n");
    }

    void exportsWriteTheirFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, start);
        QFETCH(QByteArray, holds);
        sendRequest(*bench.link);
        QTRY_VERIFY_WITH_TIMEOUT(window->scope()->capture(), WindowWaitMs);
        QTemporaryDir directory;
        const QString path = directory.filePath(name);
        bool written = false;
        if (name.endsWith(QLatin1String(".png")))
            written = window->exportScopePng(path);
        else if (name.endsWith(QLatin1String("-detail.vcd")))
            written = window->exportCaptureDetailedVcd(path);
        else if (name.endsWith(QLatin1String(".vcd")))
            written = window->exportCaptureVcd(path);
        else if (name.endsWith(QLatin1String(".pcapng")))
            written = window->exportCapturePcapng(path);
        else
            written = window->exportAirLogCsv(path);
        QVERIFY2(written, qPrintable(window->lastError()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith(start));
        QVERIFY(bytes.contains(holds));
        if (name.endsWith(QLatin1String(".png")))
            QCOMPARE(QImage(path).size(), window->scope()->size() * window->scope()->devicePixelRatio());
    }

    void wheelZoomsAboutThePointer_data()
    {
        QTest::addColumn<int>("notches");
        QTest::addColumn<double>("span");  // of the 1000 us capture
        QTest::newRow("one notch in") << 1 << 1000 / 1.25;
        QTest::newRow("three notches in") << 3 << 1000 / (1.25 * 1.25 * 1.25);
        QTest::newRow("out, no further than the whole") << -2 << 1000.0;
        QTest::newRow("far in, no further than the shortest window") << 80 << ScopeView::MinimumSpanUs;
    }

    void wheelZoomsAboutThePointer()
    {
        QFETCH(int, notches);
        QFETCH(double, span);
        ScopeView scope;
        scope.resize(800, 400);
        scope.setCapture(emptyCapture());  // shown whole
        sendWheel(scope, QPointF(500, 200), 1);  // zoomed in a notch first, so that "out" can go back
        const double under = scope.timeAt(500);
        sendWheel(scope, QPointF(500, 200), notches - 1);
        QVERIFY(qFuzzyCompare(scope.viewSpanUs(), span));
        if (span < 1000)
            QVERIFY2(std::abs(scope.timeAt(500) - under) < 1e-6, qPrintable(QString::number(scope.timeAt(500) - under)));
        else
            QCOMPARE(scope.viewStartUs(), 0.0);
    }

    void dragPansAndDoubleClickShowsTheWhole()
    {
        ScopeView scope;
        scope.resize(800, 400);
        scope.setCapture(emptyCapture());
        scope.setView(400, 100);
        scope.setCursorTime(0, 0);  // both cursors out of the way of the drag
        scope.setCursorTime(1, 0);
        const double grabbed = scope.timeAt(600);
        QTest::mousePress(&scope, Qt::LeftButton, Qt::NoModifier, QPoint(600, 100));
        sendMove(scope, QPoint(400, 100), Qt::LeftButton);
        QTest::mouseRelease(&scope, Qt::LeftButton, Qt::NoModifier, QPoint(400, 100));
        QVERIFY(std::abs(scope.timeAt(400) - grabbed) < 1e-6);  // the time grabbed stays under the pointer
        QCOMPARE(scope.viewSpanUs(), 100.0);

        QTest::mousePress(&scope, Qt::LeftButton, Qt::NoModifier, QPoint(400, 100));
        sendMove(scope, QPoint(790, 100), Qt::LeftButton);
        sendMove(scope, QPoint(790 + 100000, 100), Qt::LeftButton);
        QTest::mouseRelease(&scope, Qt::LeftButton, Qt::NoModifier, QPoint(790, 100));
        QCOMPARE(scope.viewStartUs(), 0.0);  // no further than the capture's start

        QTest::mouseDClick(&scope, Qt::LeftButton, Qt::NoModifier, QPoint(400, 100));
        QCOMPARE(scope.viewStartUs(), 0.0);
        QCOMPARE(scope.viewSpanUs(), 1000.0);
    }

    void cursorsFollowThePointer()
    {
        ScopeView scope;
        scope.resize(800, 400);
        scope.setCapture(emptyCapture());
        QTest::mouseClick(&scope, Qt::RightButton, Qt::NoModifier, QPoint(300, 100));
        QTest::mouseClick(&scope, Qt::RightButton, Qt::ShiftModifier, QPoint(500, 100));
        QCOMPARE(scope.cursorTime(0), scope.timeAt(300));
        QCOMPARE(scope.cursorTime(1), scope.timeAt(500));
        // A press on a cursor's line takes the cursor, not the view.
        const double start = scope.viewStartUs();
        QTest::mousePress(&scope, Qt::LeftButton, Qt::NoModifier, QPoint(502, 100));
        sendMove(scope, QPoint(650, 100), Qt::LeftButton);
        QTest::mouseRelease(&scope, Qt::LeftButton, Qt::NoModifier, QPoint(650, 100));
        QCOMPARE(scope.cursorTime(1), scope.timeAt(650));
        QCOMPARE(scope.cursorTime(0), scope.timeAt(300));
        QCOMPARE(scope.viewStartUs(), start);
    }

    // Cursors left at 30 ms on a 40 ms capture come inside the next, short one.
    void cursorsStartInsideEachNewCapture()
    {
        ScopeView scope;
        scope.resize(800, 400);
        scope.setCapture(emptyCapture(40000, 1));
        scope.setCursorTime(0, 30000);
        scope.setCursorTime(1, 39000);
        scope.setCapture(emptyCapture(383, 2));
        QCOMPARE(scope.cursorTime(0), 383 * 0.25);
        QCOMPARE(scope.cursorTime(1), 383 * 0.75);
        // The same capture grown by slot pulses keeps them where they were.
        scope.setCursorTime(1, 300);
        scope.setCapture(emptyCapture(900, 2));
        QCOMPARE(scope.cursorTime(1), 300.0);
        scope.setCapture(emptyCapture(200, 2));  // and inside it whatever comes
        QCOMPARE(scope.cursorTime(1), 200.0);
    }

    void timeUnitFollowsTheSpan_data()
    {
        QTest::addColumn<double>("durationUs");
        QTest::addColumn<double>("spanUs");  // shown from 100 us, or the whole capture when 0
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("delta");  // between the cursors at 25 % and 75 %, or at +0,1 and +0,3 us
        QTest::newRow("40 ms capture") << 40000.0 << 0.0 << "ms" << "Δt 20(,0+)? ms";
        QTest::newRow("383 µs REQA") << 383.0 << 0.0 << "µs" << "Δt 191,5 µs";
        QTest::newRow("zoomed to 0,5 µs") << 383.0 << 0.5 << "ns" << "Δt 200(,0+)? ns";
    }

    void timeUnitFollowsTheSpan()
    {
        QFETCH(double, durationUs);
        QFETCH(double, spanUs);
        QFETCH(QString, unit);
        QFETCH(QString, delta);
        ScopeView scope;
        scope.resize(800, 400);
        scope.setCapture(emptyCapture(durationUs, 1));
        if (spanUs > 0) {
            scope.setView(100, spanUs);
            scope.setCursorTime(0, 100.1);
            scope.setCursorTime(1, 100.3);
        }
        QCOMPARE(scope.timeUnit().symbol, unit);
        const QString readout = scope.cursorReadout();
        QVERIFY2(readout.contains(QRegularExpression(delta)), qPrintable(readout));
    }

    void keysZoomPanAndShowTheWhole()
    {
        ScopeView scope;
        scope.resize(800, 400);
        scope.setCapture(emptyCapture());
        QVERIFY(scope.focusPolicy() & Qt::TabFocus);
        QTest::keyClick(&scope, Qt::Key_Plus);
        QCOMPARE(scope.viewSpanUs(), 500.0);
        QCOMPARE(scope.viewStartUs(), 250.0);  // about the centre
        QTest::keyClick(&scope, Qt::Key_Right);
        QCOMPARE(scope.viewStartUs(), 300.0);
        QTest::keyClick(&scope, Qt::Key_Left);
        QTest::keyClick(&scope, Qt::Key_Left);
        QCOMPARE(scope.viewStartUs(), 200.0);
        QTest::keyClick(&scope, Qt::Key_Minus);
        QTest::keyClick(&scope, Qt::Key_Plus);
        QTest::keyClick(&scope, Qt::Key_Plus);
        QCOMPARE(scope.viewSpanUs(), 250.0);
        QTest::keyClick(&scope, Qt::Key_Home);
        QCOMPARE(scope.viewStartUs(), 0.0);
        QCOMPARE(scope.viewSpanUs(), 1000.0);
    }

    void cursorSnapsToTheNearestEdge_data()
    {
        QTest::addColumn<int>("pixels");  // from the edge at 300 us
        QTest::addColumn<bool>("control");
        QTest::addColumn<bool>("snapped");
        QTest::newRow("3 px after") << 3 << false << true;
        QTest::newRow("4 px before") << -4 << false << true;
        QTest::newRow("3 px after, Ctrl held") << 3 << true << false;
        QTest::newRow("20 px away") << 20 << false << false;
    }

    void cursorSnapsToTheNearestEdge()
    {
        QFETCH(int, pixels);
        QFETCH(bool, control);
        QFETCH(bool, snapped);
        auto capture = std::make_shared<Capture>(*emptyCapture());
        capture->mfout.set(300, 1.0f);
        capture->antenna.set(250, 0.0f);
        ScopeView scope;
        scope.resize(800, 400);
        scope.setCapture(capture);
        int x = 0;
        while (scope.timeAt(x) < 300)
            ++x;
        x += pixels;
        const Qt::KeyboardModifiers modifiers = control ? Qt::ControlModifier : Qt::NoModifier;
        QTest::mouseClick(&scope, Qt::RightButton, modifiers, QPoint(x, 100));
        QCOMPARE(scope.cursorTime(0), snapped ? 300.0 : scope.timeAt(x));
    }

    void triggerPicksItsExchanges_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("fault");  // "", "parity", "crc", "timing" or "collision"
        QTest::addColumn<bool>("matches");
        using Kind = CaptureTrigger::Kind;
        QTest::newRow("any") << int(Kind::Any) << "" << "" << true;
        QTest::newRow("command, whatever the case") << int(Kind::Command) << "select" << "" << true;
        QTest::newRow("command by its bytes") << int(Kind::Command) << "93 70" << "" << true;
        QTest::newRow("another command") << int(Kind::Command) << "READ" << "" << false;
        QTest::newRow("a command not written yet") << int(Kind::Command) << " " << "" << false;
        QTest::newRow("the answer is no command") << int(Kind::Command) << "SAK" << "" << false;
        QTest::newRow("error: none") << int(Kind::Error) << "" << "" << false;
        QTest::newRow("error: parity") << int(Kind::Error) << "" << "parity" << true;
        QTest::newRow("error: CRC") << int(Kind::Error) << "" << "crc" << true;
        QTest::newRow("error: timing") << int(Kind::Error) << "" << "timing" << true;
        QTest::newRow("error: malformed frame") << int(Kind::Error) << "" << "malformed" << true;
        QTest::newRow("error: a collision is none") << int(Kind::Error) << "" << "collision" << false;
        QTest::newRow("collision") << int(Kind::Collision) << "" << "collision" << true;
        QTest::newRow("collision: none") << int(Kind::Collision) << "" << "crc" << false;
    }

    void triggerPicksItsExchanges()
    {
        QFETCH(int, kind);
        QFETCH(QString, command);
        QFETCH(QString, fault);
        QFETCH(bool, matches);
        DecodedExchange decoded = exchangeOf(1, "SELECT CL1 UID 04A23B15", QByteArray("\x93\x70", 2), "SAK 08");
        DecodedFrame &answer = decoded.frames.back();
        answer.timings.push_back({ QStringLiteral("FDT carte"), 86.4, 86.4, 86.5 });
        if (fault == "parity")
            answer.parity = DecodedFrame::Check::Failed;
        else if (fault == "crc")
            answer.crc = DecodedFrame::Check::Failed;
        else if (fault == "timing")
            answer.timings.push_back({ QStringLiteral("FDT lecteur"), 50.0, 86.4 });
        else if (fault == "collision")
            decoded.exchange.received.collided = { 0, 0, 1, 0 };
        else if (fault == "malformed")
            decoded.frames.front().malformed = true;
        QCOMPARE(CaptureTrigger(CaptureTrigger::Kind(kind), command).matches(decoded), matches);
    }

    // Armed on collisions, the scope passes the REQA by, shows the
    // anticollision two cards answer at once, and holds it; the log's
    // filter keeps the anticollisions.
    void triggerOnCollisionHoldsTheFirstMatch()
    {
        window->addCard(CardArgument::parse(QStringLiteral("mifare1k:04B31C26")));
        auto *trigger = window->findChild<QComboBox *>(QStringLiteral("declencheur"));
        trigger->setCurrentIndex(trigger->findText(QStringLiteral("collision")));
        QCOMPARE(window->trigger().kind(), CaptureTrigger::Kind::Collision);
        QVERIFY(window->armed());
        sendRequest(*bench.link);
        QTRY_COMPARE_WITH_TIMEOUT(window->airLog()->topLevelItemCount(), 1, WindowWaitMs);
        QVERIFY(!window->scope()->capture());
        QVERIFY(window->scope()->caption().startsWith(QStringLiteral("Armé")));

        sendAnticollision(*bench.link);
        QTRY_VERIFY_WITH_TIMEOUT(window->triggered(), WindowWaitMs);
        QVERIFY2(shownSummary(*window).contains(QStringLiteral("collision")), qPrintable(shownSummary(*window)));
        const quint64 held = window->scope()->capture()->firstSerial;

        sendRequest(*bench.link);
        sendAnticollision(*bench.link);
        QTRY_COMPARE_WITH_TIMEOUT(window->airLog()->topLevelItemCount(), 4, WindowWaitMs);
        QCOMPARE(window->scope()->capture()->firstSerial, held);
        QVERIFY(!window->following());
        window->setFollowing(true);  // armed again, still showing the last match
        QVERIFY(window->armed());
        QCOMPARE(window->scope()->capture()->firstSerial, held);

        QTest::keyClicks(window->findChild<QLineEdit *>(QStringLiteral("filtre")), QStringLiteral("anticoll"));
        QStringList shown;
        for (int row = 0; row < window->airLog()->topLevelItemCount(); ++row) {
            if (!window->airLog()->topLevelItem(row)->isHidden())
                shown << window->airLog()->topLevelItem(row)->text(AirLogView::Exchange);
        }
        QCOMPARE(shown, QStringList({ "2", "4" }));
    }

    void filterHidesOtherExchanges_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("errorsOnly");
        QTest::addColumn<QStringList>("shown");  // the requests of the rows still shown
        QTest::newRow("no filter") << "" << false << QStringList { "REQA", "SELECT CL1", "READ bloc 4" };
        QTest::newRow("a summary, whatever the case") << "atqa" << false << QStringList { "REQA" };
        QTest::newRow("a frame's bytes") << "30 04" << false << QStringList { "READ bloc 4" };
        QTest::newRow("errors only") << "" << true << QStringList { "READ bloc 4" };
        QTest::newRow("errors only, and text") << "select" << true << QStringList {};
    }

    void filterHidesOtherExchanges()
    {
        QFETCH(QString, text);
        QFETCH(bool, errorsOnly);
        QFETCH(QStringList, shown);
        AirLogView log;
        log.addExchange(exchangeOf(1, "REQA", QByteArray("\x26"), "ATQA"));
        log.setFilter(text, errorsOnly);  // before the rows and after them alike
        log.addExchange(exchangeOf(2, "SELECT CL1", QByteArray("\x93\x70", 2), "SAK"));
        DecodedExchange read = exchangeOf(3, "READ bloc 4", QByteArray("\x30\x04", 2), "données");
        read.frames.back().crc = DecodedFrame::Check::Failed;
        log.addExchange(read);
        log.setFilter(text, errorsOnly);
        QStringList visible;
        for (int row = 0; row < log.topLevelItemCount(); ++row) {
            if (!log.topLevelItem(row)->isHidden())
                visible << log.topLevelItem(row)->child(0)->text(AirLogView::Meaning);
        }
        QCOMPARE(visible, shown);
    }

    void rowsShowTheirMeasurements_data()
    {
        QTest::addColumn<double>("measuredUs");
        QTest::addColumn<bool>("red");
        QTest::newRow("within its limits") << 86.4 << false;
        QTest::newRow("too early") << 80.0 << true;
        QTest::newRow("too late") << 90.0 << true;
    }

    void rowsShowTheirMeasurements()
    {
        QFETCH(double, measuredUs);
        QFETCH(bool, red);
        DecodedExchange decoded = exchangeOf(2001, "REQA", QByteArray("\x26"), "ATQA");
        DecodedFrame &answer = decoded.frames.back();
        answer.timeNs = decoded.frames.front().timeNs + 85400;
        answer.endNs = answer.timeNs + 181200;
        answer.gapNs = 85400;
        answer.timings.push_back({ QStringLiteral("FDT carte"), measuredUs, 85.0, 87.0 });
        decoded.frames.front().gapNs = 5120000;
        AirLogView log;
        log.resize(1000, 400);
        log.show();
        log.addExchange(decoded);
        log.expandAll();
        const QTreeWidgetItem *row = log.topLevelItem(0);
        const QTreeWidgetItem *frame = row->child(1);
        QCOMPARE(frame->text(AirLogView::Exchange), QStringLiteral("2001"));
        QCOMPARE(frame->text(AirLogView::Duration), QStringLiteral("181,2 µs"));
        QCOMPARE(frame->text(AirLogView::Gap), QStringLiteral("85,4 µs"));
        QCOMPARE(row->text(AirLogView::Gap), QStringLiteral("5,120 ms"));
        QCOMPARE(row->child(0)->text(AirLogView::End), QStringLiteral("—"));  // not measured
        QVERIFY(frame->text(AirLogView::Timings).contains(answer.timings.front().text()));
        for (const QTreeWidgetItem *item : { row, frame })
            QCOMPARE(item->foreground(AirLogView::Timings).color() == Qt::red, red);
        // Times of frames under their exchange are not cut.
        const int needed = log.fontMetrics().horizontalAdvance(frame->text(AirLogView::Time)) + log.indentation();
        QTRY_VERIFY(log.header()->sectionSize(AirLogView::Time) >= needed);
    }

    // An inventory's slot pulses are kept with it; the oldest captures go.
    void historyGroupsAndForgets()
    {
        CaptureHistory history(2);
        QVERIFY(!history.newest());
        for (quint64 serial = 1; serial <= 4; ++serial)
            history.add(vicinityExchange(serial, serial > 1));
        QCOMPARE(history.size(), std::size_t(1));
        QCOMPARE(history.find(3), history.newest());
        QCOMPARE(history.newest()->exchanges.size(), std::size_t(4));
        QCOMPARE(history.add(vicinityExchange(5, false)).exchange.serial, quint64(5));
        QCOMPARE(history.find(2)->firstSerial(), quint64(1));
        history.add(vicinityExchange(6, false));
        QCOMPARE(history.size(), std::size_t(2));
        QVERIFY(!history.find(2));
        QCOMPARE(history.find(5)->lastSerial(), quint64(5));
        QCOMPARE(history.find(6), history.newest());
        QVERIFY(!history.find(7));
    }

    // With a display the program opens its window; a stop signal still ends
    // it cleanly, its announcement withdrawn and its capture file finished.
    void programWithItsWindowStopsOnSignals_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    void programWithItsWindowStopsOnSignals()
    {
        QFETCH(int, signal);
        QTemporaryDir temporary;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("TMPDIR"), temporary.path());
        QProcess sim;
        sim.setProcessEnvironment(environment);
        const QString vcd = temporary.filePath(QStringLiteral("banc.vcd"));
        sim.start(QStringLiteral(TAGBENCH_SIM), { "--capture", vcd });
        QVERIFY(sim.waitForStarted(5000));
        QString output;
        const QString ready = QStringLiteral("Fermer la fenêtre du banc, ou Ctrl+C, pour arrêter.");
        while (!output.contains(ready) && sim.waitForReadyRead(5000))
            output += QString::fromUtf8(sim.readAllStandardOutput());
        QVERIFY2(output.contains(ready), qPrintable(output));
        QVERIFY(QFileInfo(temporary.filePath("ttyTAGBENCH0")).isSymLink());

        ::kill(pid_t(sim.processId()), signal);
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        QVERIFY(QString::fromUtf8(sim.readAllStandardOutput()).contains(QStringLiteral("Banc virtuel arrêté.")));
        QVERIFY(!QFileInfo(temporary.filePath("ttyTAGBENCH0")).isSymLink());
        QFile dump(vcd);
        QVERIFY(dump.open(QIODevice::ReadOnly));
        QVERIFY(dump.readAll().startsWith("$version"));
    }

    // The scope draws at most a vertical and a horizontal segment per pixel
    // column, whatever the number of edges, and still shows every level.
    void traceKeepsToTwoSegmentsAColumn_data()
    {
        QTest::addColumn<double>("periodUs");
        QTest::addColumn<int>("changes");
        QTest::addColumn<int>("segments");
        // 100 columns of 1 us over the window [0, 100).
        QTest::newRow("dense: 50 changes a column") << 0.04 << 5000 << 2 * 100 + 1;
        QTest::newRow("sparse: one change every 10 columns") << 20.0 << 10 << 2 * 9 + 1;  // the first is at 0
    }

    void traceKeepsToTwoSegmentsAColumn()
    {
        QFETCH(double, periodUs);
        QFETCH(int, changes);
        QFETCH(int, segments);
        const Waveform wave = squareWave(periodUs, changes);
        const ScopeWindow view { 0.0, 1.0, 0, 100 };
        const ScopeLane lane { 100.0, 0.0, 0.0f, 1.0f };
        const std::vector<QLineF> lines = traceSegments(wave, view, lane);
        QCOMPARE(int(lines.size()), segments);
        double lowest = 100;
        double highest = 0;
        for (const QLineF &line : lines) {
            QVERIFY(line.x1() >= 0 && line.x2() <= 100);
            lowest = std::min({ lowest, line.y1(), line.y2() });
            highest = std::max({ highest, line.y1(), line.y2() });
        }
        QCOMPARE(lowest, 0.0);
        QCOMPARE(highest, 100.0);
        if (changes == 10)  // the edge at 10 us falls in column 10
            QCOMPARE(lines[1].x1(), 10.5);
    }
};

QTEST_MAIN(TestBenchWindow)
#include "tst_benchwindow.moc"
