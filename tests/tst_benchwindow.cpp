// The bench's window over a virtual board that the host drives through a
// real pseudo-terminal: what the scope and the air log show of a request,
// the cards placed in the field and taken out by hand, and the exports.

#include "airlogview.h"
#include "benchfixture.h"
#include "benchwindow.h"
#include "chipregisters.h"
#include "fieldcardspanel.h"
#include "scopeview.h"

#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

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
        QTest::newRow("UID too short") << "mifare1k" << "04A2" << "« 04A2 » : il faut 8 chiffres";
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
