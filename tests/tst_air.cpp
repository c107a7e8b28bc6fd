// What the bench's scope and protocol analyser make of the air: the
// waveforms of the reader's codings and of the cards' answers, checked
// against the air interfaces' own timings; the frames of real exchanges
// decoded; a capture's value change dump read back.

#include "airdecoder.h"
#include "airtiming.h"
#include "captureexport.h"
#include "chipmodel.h"
#include "chipscript.h"
#include "chipregisters.h"
#include "iso15693tag.h"
#include "mifareclassiccard.h"
#include "signalsynthesis.h"

#include <QTest>

#include <cmath>
#include <map>

namespace {

constexpr double Fc = AirTiming::CarrierHz;
constexpr double TypeABit = 128 / Fc * 1e6;
constexpr double Unit15693 = 128 / Fc * 1e6;

// Every frame on the chip's air as a trace line.
QStringList trace(const ChipScript &reader)
{
    AirDecoder decoder;
    QStringList lines;
    for (const AirExchange &exchange : reader.chip.airLog()) {
        for (const DecodedFrame &frame : decoder.decode(exchange))
            lines << frame.traceLine();
    }
    return lines;
}

// What each frame means, with its direction.
QStringList meanings(const ChipScript &reader)
{
    AirDecoder decoder;
    QStringList lines;
    for (const AirExchange &exchange : reader.chip.airLog()) {
        for (const DecodedFrame &frame : decoder.decode(exchange))
            lines << frame.traceLine().section(QLatin1Char(' '), 0, 0) + QLatin1Char(' ') + frame.meaning;
    }
    return lines;
}

std::shared_ptr<MifareClassicCard> mifareCard()
{
    auto card = std::make_shared<MifareClassicCard>(QByteArray("\x04\xA2\x3B\x15", 4));
    card->setBlock(4, QByteArray("Bonjour TagBench"));
    return card;
}

// The times at which a waveform falls below, and rises back to, `threshold`.
std::vector<double> fallingEdges(const Waveform &wave, float threshold)
{
    std::vector<double> edges;
    for (std::size_t i = 1; i < wave.times.size(); ++i) {
        if (wave.levels[i - 1] >= threshold && wave.levels[i] < threshold)
            edges.push_back(wave.times[i]);
    }
    return edges;
}

std::vector<double> risingEdges(const Waveform &wave, float threshold)
{
    std::vector<double> edges;
    for (std::size_t i = 1; i < wave.times.size(); ++i) {
        if (wave.levels[i - 1] < threshold && wave.levels[i] >= threshold)
            edges.push_back(wave.times[i]);
    }
    return edges;
}

// Edges against the times they are due at after the capture's trigger.
void compareTimes(const std::vector<double> &actual, const std::vector<double> &expected, double trigger = 0)
{
    QCOMPARE(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        QVERIFY2(std::abs(actual[i] - trigger - expected[i]) < 0.002,
                 qPrintable(QStringLiteral("edge %1 at %2 us, expected %3 us").arg(i).arg(actual[i]).arg(expected[i])));
    }
}

} // namespace

class TestAir : public QObject
{
    Q_OBJECT

private slots:
    // --- synthesis: the reader's codings -----------------------------------

    void reqaGivesTheMillerPauses_data()
    {
        QTest::addColumn<int>("mfout");
        QTest::newRow("antenna, BNC on the modulation signal") << int(MFOUTSelectBits::ModulationSignal);
    }

    void reqaGivesTheMillerPauses()
    {
        QFETCH(int, mfout);
        ChipScript reader({ mifareCard() });
        reader.chip.write(ChipReg::MFOUTSelect, quint8(mfout));
        reader.transceive("\x26", BitFramingBits::ShortFrame);
        const Capture capture = reader.lastCapture();

        // Z for the start of frame, then 0 1 1 0 0 1 0, then the end of frame.
        std::vector<double> starts;
        for (double periods : { 0.0, 1.0, 2.5, 3.5, 5.0, 6.5, 8.0 })
            starts.push_back(periods * TypeABit);
        std::vector<double> ends;
        const double pause = 2 * (reader.chip.peek(ChipReg::ModWidth) + 1) / Fc * 1e6;
        QVERIFY(pause > 28 / Fc * 1e6 && pause < 40.5 / Fc * 1e6);
        for (double start : starts)
            ends.push_back(start + pause);
        compareTimes(fallingEdges(capture.antenna, 0.5f), starts, capture.triggerUs);
        std::vector<double> antennaRises = risingEdges(capture.antenna, 0.5f);
        antennaRises.resize(std::min(antennaRises.size(), ends.size()));
        compareTimes(antennaRises, ends, capture.triggerUs);
        compareTimes(fallingEdges(capture.mfout, 0.5f), starts, capture.triggerUs);
    }

    void modulatorSourceShapesTheAntenna_data()
    {
        QTest::addColumn<int>("source");
        QTest::addColumn<int>("pauses");
        QTest::addColumn<float>("idle");
        QTest::newRow("coder") << int(TxControlBits::ModulatorInternalCoder) << 7 << 1.0f;
        QTest::newRow("high") << int(TxControlBits::ModulatorHigh) << 0 << 1.0f;
        QTest::newRow("low") << int(TxControlBits::ModulatorLow) << 0 << 0.0f;
    }

    void modulatorSourceShapesTheAntenna()
    {
        QFETCH(int, source);
        QFETCH(int, pauses);
        QFETCH(float, idle);
        ChipScript reader;
        reader.chip.write(ChipReg::TxControl, quint8((TxControlBits::FieldOn & ~TxControlBits::ModulatorSourceMask) | source));
        reader.chip.write(ChipReg::MFOUTSelect, MFOUTSelectBits::ModulationSignal);
        reader.transceive("\x26", BitFramingBits::ShortFrame);
        const Capture capture = reader.lastCapture();
        QCOMPARE(int(fallingEdges(capture.antenna, 0.5f).size()), pauses);
        QCOMPARE(capture.antenna.levelAt(capture.triggerUs + 1.5 * TypeABit), idle);  // between two pauses
        // The coder runs whatever feeds the modulator: the BNC output shows it.
        QCOMPARE(int(fallingEdges(capture.mfout, 0.5f).size()), 7);
    }

    void oneOutOfFourPutsEachPairInItsSlot()
    {
        AirSettings settings;
        settings.modWidth = ChipSetting::Iso15693ModWidth;
        AirFrame frame;
        frame.coding = AirCoding::OneOutOf4;
        Air::appendByte(frame.bits, 0x26);  // pairs, least significant first: 2, 1, 2, 0
        const AirTiming::ReaderShape shape = AirTiming::readerShape(frame, settings);

        std::vector<double> starts { 0, 5 * Unit15693 };  // start of frame
        const int pairs[] = { 2, 1, 2, 0 };
        for (int symbol = 0; symbol < 4; ++symbol)
            starts.push_back((8 + 8 * symbol + 2 * pairs[symbol] + 1) * Unit15693);
        starts.push_back((8 + 32 + 2) * Unit15693);  // end of frame
        std::vector<double> actual;
        for (const AirTiming::Span &pause : shape.pauses) {
            actual.push_back(pause.start);
            QVERIFY(std::abs(pause.end - pause.start - Unit15693) < 0.001);  // 9.44 us
        }
        compareTimes(actual, starts);
        QVERIFY(std::abs(shape.endUs - (8 + 32 + 4) * Unit15693) < 0.001);
        QVERIFY(std::abs(shape.bitUs - 37.76) < 0.01);
    }

    void oneOutOf256PutsTheByteInItsSlot()
    {
        AirSettings settings;
        settings.modWidth = ChipSetting::Iso15693ModWidth;
        AirFrame frame;
        frame.coding = AirCoding::OneOutOf256;
        Air::appendByte(frame.bits, 0x26);
        const AirTiming::ReaderShape shape = AirTiming::readerShape(frame, settings);
        QCOMPARE(int(shape.pauses.size()), 4);
        QVERIFY(std::abs(shape.pauses[1].start - 7 * Unit15693) < 0.001);
        QVERIFY(std::abs(shape.pauses[2].start - (8 + 2 * 0x26 + 1) * Unit15693) < 0.001);
        QVERIFY(std::abs(shape.endUs - ((8 + 512 + 4) * Unit15693)) < 0.01);
        QVERIFY(std::abs(512 * Unit15693 - 4833.0) < 1.0);  // a symbol lasts 4.833 ms
    }

    // --- synthesis: the cards' answers -------------------------------------

    void typeAAnswerIsManchesterOnTheSubcarrier()
    {
        ChipScript reader({ mifareCard() });
        reader.chip.write(ChipReg::MFOUTSelect, MFOUTSelectBits::ManchesterWithSubcarrier);
        reader.transceive("\x26", BitFramingBits::ShortFrame);
        const Capture capture = reader.lastCapture();
        // REQA ends on a 0: the answer starts (9 x 128 + 20)/fc after the end
        // of the last pause (the end of frame's Z at 8 bit periods).
        const double lastPauseEnd = 8 * TypeABit + 2 * (0x13 + 1) / Fc * 1e6;
        const double answerStart = capture.triggerUs + lastPauseEnd + (9 * 128 + 20) / Fc * 1e6;
        const std::vector<double> rises = risingEdges(capture.mfout, 0.5f);
        QVERIFY(rises.size() > 8);
        QVERIFY2(std::abs(rises.front() - answerStart) < 0.002, qPrintable(QString::number(rises.front())));
        // fc/16: a rising edge every 16 carrier cycles, four in a half bit.
        QVERIFY(std::abs(rises[1] - rises[0] - 16 / Fc * 1e6) < 0.002);
        QVERIFY(std::abs(rises[3] - rises[0] - 3 * 16 / Fc * 1e6) < 0.002);
        // ATQA 04 00: start bit D, then the first bit 0 loads the second half.
        QVERIFY(std::abs(rises[4] - (answerStart + TypeABit + TypeABit / 2)) < 0.002);

        reader.chip.write(ChipReg::MFOUTSelect, MFOUTSelectBits::Manchester);
        reader.transceive("\x26", BitFramingBits::ShortFrame);  // the card is READY: no answer
        QVERIFY(risingEdges(reader.lastCapture().mfout, 0.5f).empty());
    }

    void vicinityAnswerIsPulsesOfTheSubcarrier()
    {
        ChipScript reader({ std::make_shared<Iso15693Tag>(0xE004010866215731ull) });
        reader.vicinityMode();
        reader.chip.write(ChipReg::MFOUTSelect, MFOUTSelectBits::ManchesterWithSubcarrier);
        reader.transceive(QByteArray("\x26\x01\x00", 3));  // one-slot inventory
        const AirExchange &exchange = reader.chip.airLog().back();
        const AirTiming::ReaderShape shape = AirTiming::readerShape(exchange.sent, exchange.settings);
        const Capture capture = reader.lastCapture();
        const std::vector<double> rises = risingEdges(capture.mfout, 0.5f);
        // 56.64 us unmodulated after the tag's delay of 4352/fc, then 24 pulses of fc/32.
        const double firstPulse = capture.triggerUs + shape.endUs + 4352 / Fc * 1e6 + 56.64;
        QVERIFY2(std::abs(rises.front() - firstPulse) < 0.01, qPrintable(QString::number(rises.front() - firstPulse)));
        QVERIFY(std::abs(rises[1] - rises[0] - 32 / Fc * 1e6) < 0.002);
        QVERIFY(std::abs(rises[23] - rises[0] - 23 * 32 / Fc * 1e6) < 0.002);
        // Then a logic 1: 18.88 us without, then 8 pulses.
        QVERIFY(std::abs(rises[24] - (rises[0] + 24 * 32 / Fc * 1e6 + 18.88)) < 0.01);
        // Twelve answer bytes: the whole capture spans them.
        QVERIFY(capture.durationUs > shape.endUs + 320.9 + (8 + 96 + 8) * 18.88);
    }

    void inventoryPulsesJoinTheirCapture()
    {
        ChipScript reader({ std::make_shared<Iso15693Tag>(0xE004010866215731ull) });  // answers in slot 1
        reader.vicinityMode();
        reader.chip.write(ChipReg::MFOUTSelect, MFOUTSelectBits::ModulationSignal);
        reader.transceive(QByteArray("\x06\x01\x00", 3));  // sixteen slots
        reader.chip.write(ChipReg::CoderControl, CoderControlBits::Iso15693SlotPulse);
        for (int slot = 1; slot < 16; ++slot)
            reader.transceive(QByteArray());
        const Capture capture = reader.lastCapture();
        QCOMPARE(capture.exchangeCount, 16);
        // Start of frame (2), 3 bytes and CRC (20 symbols), end of frame, and
        // the 15 end-of-frame pulses.
        QCOMPARE(int(fallingEdges(capture.mfout, 0.5f).size()), 2 + 20 + 1 + 15);
        QVERIFY(capture.summaries.at(1).startsWith(QStringLiteral("EOF (créneau 1) → DSFID 00, UID E004010866215731")));
        QCOMPARE(capture.summaries.at(2), QStringLiteral("EOF (créneau 2) → (pas de réponse)"));

        reader.chip.write(ChipReg::CoderControl, CoderControlBits::Iso15693OneOutOf4);
        reader.transceive(QByteArray("\x26\x01\x00", 3));
        QCOMPARE(reader.lastCapture().exchangeCount, 1);  // a new frame opens a new capture
    }

    // --- the air decoder ---------------------------------------------------

    void decodesRealExchanges_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("identification") << "identification" << QStringList {
            "→ REQA", "← ATQA",
            "→ ANTICOLLISION CL1", "← UID CL1 04A23B15, BCC juste",
            "→ SELECT CL1 UID 04A23B15", "← SAK",
        };
        QTest::newRow("authentication and read") << "authentication" << QStringList {
            "→ AUTH A bloc 4", "← nonce de la carte",
            "→ jeton du lecteur (chiffré)", "← jeton de la carte (chiffré)",
            "→ commande chiffrée", "← données chiffrées",
        };
        QTest::newRow("refused read, then halt") << "refused" << QStringList {
            "→ READ bloc 4", "← NAK", "→ HLTA",
        };
        QTest::newRow("inventories, block, AFI") << "vicinity" << QStringList {
            "→ INVENTORY 1 créneau, masque de 0 bits", "← DSFID 00, UID E004010866215731",
            "→ INVENTORY 1 créneau, masque de 0 bits", "← collision au bit 9",
            "→ INVENTORY 16 créneaux, AFI 12, masque de 0 bits", "→ EOF (créneau 1)",
            "→ READ SINGLE BLOCK 3", "← bloc 3 : 0C0D0E0F",
            "→ LOCK AFI", "← OK",
            "→ WRITE AFI 34", "← erreur 12 (verrouillé)",
        };
    }

    void decodesRealExchanges()
    {
        QFETCH(QString, scenario);
        QFETCH(QStringList, expected);
        ChipScript reader({ mifareCard() });
        if (scenario == "identification") {
            reader.identify();
        } else if (scenario == "authentication" || scenario == "refused") {
            reader.identify();
            reader.chip.clearAirLog();
            if (scenario == "authentication") {
                reader.authenticate(4);
                QVERIFY(reader.chip.crypto1On());
                reader.chip.write(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityCrcBothWays);
            }
            reader.transceive(QByteArray("\x30\x04", 2));
            if (scenario == "refused")
                reader.transceive(QByteArray("\x50\x00", 2));
        } else {
            auto first = std::make_shared<Iso15693Tag>(0xE004010866215731ull);
            auto second = std::make_shared<Iso15693Tag>(0xE00700004E0D125Aull, 0x05, 0x12);  // slot 10
            reader.chip.field().addCard(first);
            reader.vicinityMode();
            reader.transceive(QByteArray("\x26\x01\x00", 3));
            reader.chip.field().addCard(second);
            reader.transceive(QByteArray("\x26\x01\x00", 3));  // DSFIDs 00 and 05 collide
            reader.transceive(QByteArray("\x16\x01\x12\x00", 4));
            reader.chip.write(ChipReg::CoderControl, CoderControlBits::Iso15693SlotPulse);
            reader.transceive(QByteArray());
            reader.chip.write(ChipReg::CoderControl, CoderControlBits::Iso15693OneOutOf4);
            reader.chip.field().removeCard(first.get());
            reader.transceive(QByteArray("\x02\x20\x03", 3));
            reader.transceive(QByteArray("\x02\x28", 2));
            reader.transceive(QByteArray("\x02\x27\x34", 3));
        }
        QCOMPARE(meanings(reader), expected);
    }

    void traceLinesAndSummaries()
    {
        ChipScript reader({ mifareCard() });
        reader.transceive("\x26", BitFramingBits::ShortFrame);
        reader.transceive("\x26", BitFramingBits::ShortFrame);
        QCOMPARE(trace(reader), QStringList({ "→ REQA 26 (7 bits)", "← ATQA 04 00", "→ REQA 26 (7 bits)" }));
        AirDecoder decoder;
        QCOMPARE(AirDecoder::summary(decoder.decode(reader.chip.airLog().at(0))), QStringLiteral("REQA → ATQA 04 00"));
        QCOMPARE(AirDecoder::summary(decoder.decode(reader.chip.airLog().at(1))), QStringLiteral("REQA → (pas de réponse)"));
    }

    // --- export ------------------------------------------------------------

    void vcdReadsBackToTheSameEdges()
    {
        ChipScript reader({ mifareCard() });
        // A millisecond between frames: each capture ends before the next.
        reader.chip.setClock([now = qint64(0)]() mutable { return now += 1000000; });
        reader.chip.write(ChipReg::MFOUTSelect, MFOUTSelectBits::ManchesterWithSubcarrier);
        reader.identify();
        CaptureAssembler assembler;
        VcdWriter writer;
        QByteArray vcd = writer.header();
        std::vector<Capture> captures;
        for (const AirExchange &exchange : reader.chip.airLog()) {
            if (assembler.add(exchange) && !assembler.closed().empty())
                captures.push_back(SignalSynthesis::capture(assembler.closed()));
        }
        captures.push_back(SignalSynthesis::capture(assembler.current()));
        for (const Capture &capture : captures)
            vcd += writer.capture(capture);

        // Read it back: identifiers from the declarations, then the changes.
        std::map<QByteArray, QByteArray> names;
        std::map<QByteArray, std::vector<std::pair<qint64, QByteArray>>> changes;
        qint64 now = -1;
        bool definitions = true;
        for (const QByteArray &line : vcd.split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            if (line.startsWith("$var"))
                names[words.at(3)] = words.at(4);
            if (line.startsWith("$enddefinitions"))
                definitions = false;
            if (definitions || line.isEmpty() || line.startsWith('$'))
                continue;
            if (line.startsWith('#')) {
                const qint64 time = line.mid(1).toLongLong();
                QVERIFY2(time >= now, "times go forward");
                now = time;
            } else if (line.startsWith('b') || line.startsWith('r')) {
                changes[names[words.at(1)]].push_back({ now, words.at(0).mid(1) });
            } else {
                changes[names[line.mid(1)]].push_back({ now, line.left(1) });
            }
        }
        std::vector<std::pair<qint64, QByteArray>> expected;
        for (const Capture &capture : captures) {
            for (std::size_t i = 0; i < capture.mfout.times.size(); ++i)
                expected.push_back({ capture.startNs + std::llround(capture.mfout.times[i] * 1000),
                                     capture.mfout.levels[i] > 0.5f ? "1" : "0" });
        }
        const auto &mfout = changes[VcdWriter::MfoutName];
        QCOMPARE(mfout.size(), expected.size() + 1);  // the initial "x"
        QVERIFY(std::equal(expected.begin(), expected.end(), mfout.begin() + 1));
        // The card's bytes: ATQA, UID and BCC, SAK and its CRC.
        QByteArray cardBytes;
        for (const auto &change : changes[VcdWriter::CardBytesName]) {
            if (!change.second.contains('x'))
                cardBytes.append(char(change.second.toInt(nullptr, 2)));
        }
        QCOMPARE(cardBytes.left(8), QByteArray("\x04\x00\x04\xA2\x3B\x15\x88\x08", 8));
        QCOMPARE(changes[VcdWriter::AntennaName].size(), [&] {
            std::size_t count = 1;
            for (const Capture &capture : captures)
                count += capture.antenna.times.size();
            return count;
        }());
    }

    void csvQuotesWhatNeedsIt()
    {
        DecodedFrame frame;
        frame.timeNs = 1500;
        frame.bytes = QByteArray("\x04\x00", 2);
        frame.bitCount = 16;
        frame.direction = DecodedFrame::Direction::CardToReader;
        frame.meaning = QStringLiteral("UID, BCC \"juste\"");
        QCOMPARE(AirLogCsv::row(frame), QByteArray("1.500,carte->lecteur,16,04 00,,,\"UID, BCC \"\"juste\"\"\"\n"));
    }
};

QTEST_GUILESS_MAIN(TestAir)
#include "tst_air.moc"
