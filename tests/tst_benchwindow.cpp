// The bench's window over a virtual board that the host drives through a
// real pseudo-terminal: what the scope and the air log show of a request,
// the cards placed in the field and taken out by hand, and the exports;
// the scope under the mouse; the history of captures; and tagbench-sim
// with its window, stopped by a signal.

#include "airlogview.h"
#include "benchfixture.h"
#include "benchwindow.h"
#include "capturehistory.h"
#include "chipregisters.h"
#include "fieldcardspanel.h"
#include "scopeview.h"

#include <QComboBox>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
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

// A capture of a millisecond with nothing on it but its length.
std::shared_ptr<const Capture> emptyCapture()
{
    auto capture = std::make_shared<Capture>();
    capture->durationUs = 1000;
    capture->triggerUs = SignalSynthesis::PreTriggerUs;
    capture->mfout.set(0, 0.0f);
    capture->antenna.set(0, 1.0f);
    return capture;
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
        else if (name.endsWith(QLatin1String(".vcd")))
            written = window->exportCaptureVcd(path);
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
