// What the bench's scope and protocol analyser make of the air: the
// waveforms of the reader's codings and of the cards' answers, checked
// against the air interfaces' own timings; the frames of real exchanges
// decoded; a capture's value change dump, pcapng and CSV read back.

#include "airdecoder.h"
#include "airtiming.h"
#include "captureexport.h"
#include "chipmodel.h"
#include "chipregisters.h"
#include "chipscript.h"
#include "crc16.h"
#include "iso15693tag.h"
#include "mifareclassiccard.h"
#include "scriptedcard.h"
#include "signalsynthesis.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QtEndian>

#include <algorithm>
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

// The card's nonces of the tests' authentications: the first is the
// published example whose answers are ar = 8D65734B and at = 9A427B20.
constexpr quint32 TestNonce = 0x82A4166C;
constexpr quint32 NestedNonce = 0x01200145;

// Meanings with what the chip draws at random masked: the reader's nonce,
// and the ciphertext that follows from it.
QStringList masked(QStringList lines)
{
    static const QRegularExpression ciphertext(QStringLiteral("\\(chiffré : [0-9A-F ]+\\)"));
    static const QRegularExpression readerNonce(QStringLiteral("nr [0-9A-F]{8}"));
    for (QString &line : lines)
        line.replace(ciphertext, QStringLiteral("(chiffré : …)")).replace(readerNonce, QStringLiteral("nr …"));
    return lines;
}

// A nested authentication of `block` with the key already loaded: the
// session stays on meanwhile (any write of Control would end it).
void authenticateNested(ChipScript &reader, quint8 block)
{
    for (char byte : QByteArray("\x60", 1) + char(block) + QByteArray("\x04\xA2\x3B\x15", 4))
        reader.chip.write(ChipReg::FIFOData, quint8(byte));
    reader.chip.write(ChipReg::Command, ChipCmd::Authent1);
    reader.chip.write(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityNoCrc);
    reader.chip.write(ChipReg::Command, ChipCmd::Authent2);
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

// The sessions the timing tests measure, on the demo's type A card (and,
// for the inventory, two ISO/IEC 15693 tags that answer in slots 1 and 10).
void runSession(ChipScript &reader, const QString &scenario)
{
    if (scenario == "reqa" || scenario == "wupa") {
        reader.chip.write(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityNoCrc);
        reader.transceive(scenario == "reqa" ? "\x26" : "\x52", BitFramingBits::ShortFrame);
    } else if (scenario == "identification" || scenario == "mifare") {
        reader.identify();
        if (scenario == "mifare") {
            reader.authenticate(4);
            reader.chip.write(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityCrcBothWays);
            reader.transceive(QByteArray("\x30\x04", 2));
        }
    } else if (scenario == "inventory") {
        reader.chip.field().addCard(std::make_shared<Iso15693Tag>(0xE004010866215731ull));
        reader.chip.field().addCard(std::make_shared<Iso15693Tag>(0xE00700004E0D125Aull));
        reader.vicinityMode();
        reader.transceive(QByteArray("\x06\x01\x00", 3));
        reader.chip.write(ChipReg::CoderControl, CoderControlBits::Iso15693SlotPulse);
        for (int slot = 1; slot < 16; ++slot)
            reader.transceive(QByteArray());
    }
}

// A value change dump read back: each variable's declaration ("wire 1",
// "real 64") and its values in time order, by its name.
struct VcdFile
{
    using Changes = std::vector<std::pair<qint64, QByteArray>>;
    std::map<QByteArray, QByteArray> declarations;
    std::map<QByteArray, Changes> changes;
    qint64 firstTime = -1;
    bool timesForward = true;
};

VcdFile readVcd(const QByteArray &vcd)
{
    VcdFile file;
    std::map<QByteArray, QByteArray> names;
    qint64 now = -1;
    bool definitions = true;
    for (const QByteArray &line : vcd.split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (line.startsWith("$var")) {
            names[words.at(3)] = words.at(4);
            file.declarations[words.at(4)] = words.at(1) + ' ' + words.at(2);
        }
        if (line.startsWith("$enddefinitions"))
            definitions = false;
        if (definitions || line.isEmpty() || line.startsWith('$'))
            continue;
        if (line.startsWith('#')) {
            const qint64 time = line.mid(1).toLongLong();
            file.timesForward = file.timesForward && time >= now;
            if (file.firstTime < 0)
                file.firstTime = time;
            now = time;
        } else if (line.startsWith('b') || line.startsWith('r')) {
            file.changes[names[words.at(1)]].push_back({ now, words.at(0).mid(1) });
        } else {
            file.changes[names[line.mid(1)]].push_back({ now, line.left(1) });
        }
    }
    return file;
}

// Where a 1-bit lane goes from `from` to `to`.
std::vector<qint64> laneEdges(const VcdFile::Changes &changes, char from, char to)
{
    std::vector<qint64> edges;
    for (std::size_t i = 1; i < changes.size(); ++i) {
        if (changes[i - 1].second == QByteArray(1, from) && changes[i].second == QByteArray(1, to))
            edges.push_back(changes[i].first);
    }
    return edges;
}

// A waveform's edges across `threshold`, in nanoseconds, for a capture that
// starts at `startNs`.
std::vector<qint64> waveEdgesNs(const Waveform &wave, float threshold, bool falling, qint64 startNs)
{
    std::vector<qint64> edges;
    for (double us : falling ? fallingEdges(wave, threshold) : risingEdges(wave, threshold))
        edges.push_back(startNs + std::llround(us * 1000));
    return edges;
}

quint32 little32(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

// The frames of the chip's last exchange as trace lines, decoded after all
// the exchanges before it.
QStringList lastTraceLines(const ChipScript &reader)
{
    AirDecoder decoder;
    std::vector<DecodedFrame> frames;
    for (const AirExchange &exchange : reader.chip.airLog())
        frames = decoder.decode(exchange);
    QStringList lines;
    for (const DecodedFrame &frame : frames)
        lines << frame.traceLine();
    return lines;
}

// A reader for the strict decoding rows: its cards (or tag) and its settings.
//   "typeA"      no card, type A
//   "twoCards"   04 A2 3B 15 and 04 A3 3B 15, woken by REQA
//   "badPreset"  type A with the CRC preset FFFF instead of CRC_A's 6363
//   "vicinity"   no tag, ISO 15693
//   "tag"        the tag E004010866215731, ISO 15693
//   "scripted"   ISO 15693, a card that answers `answer` and its CRC to anything
//   "fieldOff", "coderMuted", "shortPause", "longPause", "shallow": type A
void prepareStrictReader(ChipScript &reader, const QString &setup, const QByteArray &answer)
{
    if (setup == "twoCards") {
        reader.chip.field().addCard(std::make_shared<MifareClassicCard>(QByteArray("\x04\xA2\x3B\x15", 4)));
        reader.chip.field().addCard(std::make_shared<MifareClassicCard>(QByteArray("\x04\xA3\x3B\x15", 4)));
        reader.chip.write(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityNoCrc);
        reader.transceive("\x26", BitFramingBits::ShortFrame);
    } else if (setup == "badPreset") {
        reader.chip.write(ChipReg::CRCPresetLSB, ChipSetting::CRCPresetAllOnes);
        reader.chip.write(ChipReg::CRCPresetMSB, ChipSetting::CRCPresetAllOnes);
    } else if (setup == "vicinity" || setup == "tag" || setup == "scripted") {
        if (setup == "tag")
            reader.chip.field().addCard(std::make_shared<Iso15693Tag>(0xE004010866215731ull));
        if (setup == "scripted") {
            auto card = std::make_shared<ScriptedCard>();
            QByteArray framed = answer;
            const quint16 crc = Crc16::crc3309(reinterpret_cast<const quint8 *>(answer.constData()), std::size_t(answer.size()));
            framed.append(char(crc & 0xFF));
            framed.append(char(crc >> 8));
            card->answer = Air::plain(framed);
            reader.chip.field().addCard(card);
        }
        reader.vicinityMode();
    } else if (setup == "fieldOff") {
        reader.chip.write(ChipReg::TxControl, TxControlBits::FieldOff);
    } else if (setup == "coderMuted") {
        reader.chip.write(ChipReg::TxControl, quint8((TxControlBits::FieldOn & ~TxControlBits::ModulatorSourceMask)
                                                     | TxControlBits::ModulatorHigh));
    } else if (setup == "shortPause") {
        reader.chip.write(ChipReg::ModWidth, 0x00);  // 2/fc
    } else if (setup == "longPause") {
        reader.chip.write(ChipReg::ModWidth, 0x3F);  // 128/fc, ISO 15693's pause
    } else if (setup == "shallow") {
        // Without 100 % ASK the carrier keeps 14/60 of its level in a pause.
        reader.chip.write(ChipReg::TxControl, quint8(TxControlBits::FieldOn & ~TxControlBits::Force100ASK));
        reader.chip.write(ChipReg::CwConductance, 60);
        reader.chip.write(ChipReg::ModConductance, 14);
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

        // The serial data before coding holds each bit for its whole period,
        // the last one too: WUPA's 0 1 0 0 1 0 1, after the start of frame.
        ChipScript wupa;
        wupa.chip.write(ChipReg::MFOUTSelect, MFOUTSelectBits::SerialDataStream);
        wupa.transceive("\x52", BitFramingBits::ShortFrame);
        const Capture serial = wupa.lastCapture();
        compareTimes(risingEdges(serial.mfout, 0.5f), { 2 * TypeABit, 5 * TypeABit, 7 * TypeABit }, serial.triggerUs);
        compareTimes(fallingEdges(serial.mfout, 0.5f), { 3 * TypeABit, 6 * TypeABit, 8 * TypeABit }, serial.triggerUs);
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
        // 56.64 us unmodulated after the tag's delay of 4352/fc from the
        // carrier's return after the end of frame's pause, then 24 pulses of fc/32.
        const double firstPulse = capture.triggerUs + shape.lastPauseEndUs + 4352 / Fc * 1e6 + 56.64;
        QVERIFY2(std::abs(rises.front() - firstPulse) < 0.01, qPrintable(QString::number(rises.front() - firstPulse)));
        QVERIFY(std::abs(rises[1] - rises[0] - 32 / Fc * 1e6) < 0.002);
        QVERIFY(std::abs(rises[23] - rises[0] - 23 * 32 / Fc * 1e6) < 0.002);
        // Then a logic 1: 18.88 us without, then 8 pulses.
        QVERIFY(std::abs(rises[24] - (rises[0] + 24 * 32 / Fc * 1e6 + 18.88)) < 0.01);
        // Twelve answer bytes: the whole capture spans them.
        QVERIFY(capture.durationUs > shape.endUs + 320.9 + (8 + 96 + 8) * 18.88);
    }

    // With the chip's clock standing still (the host as fast as can be),
    // every timing the standard sets between frames is still kept (the
    // captures' test reads the same gaps back from the VCD).
    void sessionsKeepTheStandardGaps_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QStringList>("checks");
        QTest::newRow("identification") << "identification" << QStringList { "pause", "FDT carte", "FDT lecteur" };
        QTest::newRow("MIFARE read") << "mifare" << QStringList { "pause", "FDT carte", "FDT lecteur" };
        QTest::newRow("sixteen-slot inventory") << "inventory" << QStringList { "pause", "t1", "t2", "t3" };
    }

    void sessionsKeepTheStandardGaps()
    {
        QFETCH(QString, scenario);
        QFETCH(QStringList, checks);
        ChipScript reader({ mifareCard() });
        runSession(reader, scenario);
        AirDecoder decoder;
        QSet<QString> seen;
        for (const AirExchange &exchange : reader.chip.airLog()) {
            for (const DecodedFrame &frame : decoder.decode(exchange)) {
                for (const TimingCheck &check : frame.timings) {
                    QVERIFY2(check.ok(), qPrintable(check.text()));
                    seen.insert(check.name);
                }
            }
        }
        for (const QString &check : checks)
            QVERIFY2(seen.contains(check), qPrintable(check));
    }

    // Each frame's timings against the standard's limits, as the log and
    // the CSV show them.
    void framesAreMeasuredAgainstTheLimits_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::newRow("REQA's pause") << "reqa" << "pause" << "pause = 2,9 µs (2,1 à 3,0)" << true;
        QTest::newRow("ATQA after REQA (last bit 0)") << "reqa" << "FDT carte" << "FDT carte = 86,4 µs (= 86,4)" << true;
        QTest::newRow("ATQA after WUPA (last bit 1)") << "wupa" << "FDT carte" << "FDT carte = 91,2 µs (= 91,2)" << true;
        QTest::newRow("reader after the UID") << "identification" << "FDT lecteur" << "FDT lecteur = 86,4 µs (≥ 86,4)" << true;
        QTest::newRow("0.15 us pause") << "narrow" << "pause" << "pause = 0,1 µs (2,1 à 3,0)" << false;
        QTest::newRow("tag's t1") << "inventory" << "t1" << "t1 = 320,9 µs (318,6 à 323,3)" << true;
        QTest::newRow("reader's t2") << "inventory" << "t2" << "t2 = 328,0 µs (≥ 309,1)" << true;
        QTest::newRow("silent slot's t3") << "inventory" << "t3" << "t3 = 493,2 µs (≥ 474,3)" << true;
    }

    void framesAreMeasuredAgainstTheLimits()
    {
        QFETCH(QString, scenario);
        QFETCH(QString, check);
        QFETCH(QString, text);
        QFETCH(bool, ok);
        ChipScript reader({ mifareCard() });
        if (scenario == "narrow")
            reader.chip.write(ChipReg::ModWidth, 0x00);
        runSession(reader, scenario == "narrow" ? QStringLiteral("reqa") : scenario);
        AirDecoder decoder;
        std::vector<DecodedFrame> frames;
        for (const AirExchange &exchange : reader.chip.airLog()) {
            for (const DecodedFrame &decoded : decoder.decode(exchange))
                frames.push_back(decoded);
        }
        // The first frame the check applies to.
        for (std::size_t i = 0; i < frames.size(); ++i) {
            for (const TimingCheck &measured : frames[i].timings) {
                if (measured.name != check)
                    continue;
                QCOMPARE(measured.text(), text);
                QCOMPARE(measured.ok(), ok);
                QVERIFY(frames[i].endNs > frames[i].timeNs);
                QCOMPARE(frames[i].gapNs, i == 0 ? qint64(-1) : frames[i].timeNs - frames[i - 1].endNs);
                return;
            }
        }
        QFAIL("no frame measured that timing");
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
            "→ jeton du lecteur : nr …, ar = suc64(nt) 8D65734B (chiffré : …)",
            "← jeton de la carte : at = suc96(nt) 9A427B20 (chiffré : …)",
            "→ READ bloc 4 (chiffré : …)",
            "← bloc 4 : 42 6F 6E 6A 6F 75 72 20 54 61 67 42 65 6E 63 68 (chiffré : …)",
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
        const auto card = mifareCard();
        card->setNextNonce(TestNonce);
        ChipScript reader({ card });
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
        QCOMPARE(masked(meanings(reader)), expected);
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

    // --- the MIFARE session decrypted --------------------------------------

    // After an authentication of block 4 (the log cleared if the cipher came
    // on), each frame as the reader's chip knew it, its ciphertext beside
    // it; an AUTH among the frames is a nested authentication. What the
    // chip could not read is said to be so.
    void decryptsTheSession_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::addColumn<QStringList>("expected");
        const QByteArray read4("\x30\x04", 2), read8("\x30\x08", 2);
        QTest::newRow("write, read back, halt") << "" << QList<QByteArray> { QByteArray("\xA0\x04", 2), "Au revoir, banc!", read4, QByteArray("\x50\x00", 2) }
            << QStringList { "→ WRITE bloc 4 (chiffré : …)", "← ACK (chiffré : …)",
                             "→ données du bloc 4 : 41 75 20 72 65 76 6F 69 72 2C 20 62 61 6E 63 21 (chiffré : …)", "← ACK (chiffré : …)",
                             "→ READ bloc 4 (chiffré : …)", "← bloc 4 : 41 75 20 72 65 76 6F 69 72 2C 20 62 61 6E 63 21 (chiffré : …)",
                             "→ HLTA (chiffré : …)" };
        QTest::newRow("a block of another sector refused") << "" << QList<QByteArray> { read8 }
            << QStringList { "→ READ bloc 8 (chiffré : …)", "← NAK 4 (chiffré : …)" };
        QTest::newRow("nested authentication of sector 2") << "" << QList<QByteArray> { QByteArray("\x60\x08", 2), read8 }
            << QStringList { "→ AUTH A bloc 8 (chiffré : …)", "← nonce de la carte 01200145 (chiffré : …)",
                             "→ jeton du lecteur : nr …, ar = suc64(nt) 63E5BCA7 (chiffré : …)",
                             "← jeton de la carte : at = suc96(nt) 993730BD (chiffré : …)", "→ READ bloc 8 (chiffré : …)",
                             "← bloc 8 : 53 65 63 74 65 75 72 20 64 65 75 78 20 21 21 21 (chiffré : …)" };
        // The card is silent to a token made with another key; nothing
        // after it goes enciphered.
        QTest::newRow("wrong key") << "wrongKey" << QList<QByteArray> { read4 }
            << QStringList { "→ AUTH A bloc 4", "← nonce de la carte",
                             "→ jeton du lecteur : nr …, ar = suc64(nt) 8D65734B (chiffré : …)", "→ READ bloc 4" };
        QTest::newRow("an answer to the token not the card's") << "echo" << QList<QByteArray> {}
            << QStringList { "→ AUTH A bloc 4", "← nonce de la carte",
                             "→ jeton du lecteur : nr …, ar = suc64(nt) 8D65734B (chiffré : …)",
                             "← réponse au jeton indéchiffrable : pas at = suc96(nt)" };
        QTest::newRow("exchanges without their clear bits") << "withoutClear" << QList<QByteArray> { read4 }
            << QStringList { "→ AUTH A bloc 4", "← nonce de la carte", "→ jeton du lecteur, clé inconnue : indéchiffrable",
                             "← réponse indéchiffrable (clé inconnue)", "→ trame chiffrée, clé inconnue : indéchiffrable",
                             "← réponse indéchiffrable (clé inconnue)" };
    }

    void decryptsTheSession()
    {
        QFETCH(QString, setup);
        QFETCH(QList<QByteArray>, frames);
        QFETCH(QStringList, expected);
        const auto card = mifareCard();
        card->setNextNonce(TestNonce);
        card->setBlock(8, QByteArray("Secteur deux !!!"));
        auto echo = std::make_shared<ScriptedCard>();  // answers every frame, the token too, with the nonce
        echo->answer = Air::withOddParity(Crypto1::wordBytes(TestNonce));
        ChipScript reader({ setup == "echo" ? std::shared_ptr<VirtualCard>(echo) : card });
        reader.identify();
        reader.chip.clearAirLog();
        reader.authenticate(4, setup == "wrongKey" ? QByteArray("\xA0\xA1\xA2\xA3\xA4\xA5", 6) : QByteArray(6, char(0xFF)));
        card->setNextNonce(NestedNonce);
        if (reader.chip.crypto1On() && setup != "withoutClear")
            reader.chip.clearAirLog();
        for (const QByteArray &frame : frames) {
            reader.chip.write(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityTxCrc);
            if (quint8(frame.at(0)) == MifareCommand::AuthenticateKeyA)
                authenticateNested(reader, quint8(frame.at(1)));
            else
                reader.transceive(frame);
        }
        AirDecoder decoder;
        QStringList lines, summaries;
        for (AirExchange exchange : reader.chip.airLog()) {
            if (setup == "withoutClear")
                exchange.plainKnown = exchange.answerPlainKnown = false;
            const std::vector<DecodedFrame> decoded = decoder.decode(exchange);
            summaries << AirDecoder::summary(decoded);
            for (const DecodedFrame &frame : decoded) {
                lines << frame.traceLine().section(QLatin1Char(' '), 0, 0) + QLatin1Char(' ') + frame.meaning;
                // A decrypted frame: its clear bytes in the trace, then the
                // ciphertext, none of it in the summary; the clear frame's checks.
                QVERIFY2(!frame.label().contains(QStringLiteral("chiffré :")), qPrintable(frame.label()));
                const QString note = QStringLiteral("(chiffré : %1)").arg(frame.hex());
                QCOMPARE(frame.meaning.endsWith(note), !frame.plainBytes.isEmpty());
                if (!frame.plainBytes.isEmpty()) {
                    QVERIFY(frame.encrypted && frame.parity != DecodedFrame::Check::Failed && frame.crc != DecodedFrame::Check::Failed);
                    QVERIFY2(frame.traceLine().contains(frame.plainBytes.toHex(' ').toUpper() + ' '), qPrintable(frame.traceLine()));
                }
            }
        }
        QCOMPARE(masked(lines), expected);
        if (setup == "wrongKey")
            QCOMPARE(summaries.at(1).section(QStringLiteral(" → "), 1), QStringLiteral("(pas de réponse)"));
    }

    // The clear bytes are the public cipher's: a sniffer that holds the key
    // reads the same nr, ar, at, READ and block from the frames' bytes,
    // which stay the air's ciphertext.
    void decryptedSessionMatchesThePublicCipher()
    {
        const auto card = mifareCard();
        card->setNextNonce(TestNonce);
        ChipScript reader({ card });
        reader.identify();
        reader.chip.clearAirLog();
        reader.authenticate(4);
        reader.chip.write(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityCrcBothWays);
        reader.transceive(QByteArray("\x30\x04", 2));
        AirDecoder decoder;
        std::vector<DecodedFrame> frames;
        for (const AirExchange &exchange : reader.chip.airLog()) {
            const std::vector<DecodedFrame> decoded = decoder.decode(exchange);
            frames.insert(frames.end(), decoded.begin(), decoded.end());
        }
        QCOMPARE(int(frames.size()), 6);
        Crypto1 sniffer;
        sniffer.loadKey({ 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF });
        sniffer.feedWord(0x04A23B15 ^ TestNonce);
        const quint32 sentNr = Crypto1::wordAt(frames[2].bytes, 0);
        const quint32 nr = sentNr ^ sniffer.feedWord(sentNr, Crypto1::Feed::Encrypted);
        QCOMPARE(frames[2].plainBytes, Crypto1::wordBytes(nr) + Crypto1::wordBytes(Crypto1::readerAnswer(TestNonce)));
        QCOMPARE(frames[3].plainBytes, Crypto1::wordBytes(Crypto1::cardAnswer(TestNonce)));
        QCOMPARE(frames[4].plainBytes, QByteArray("\x30\x04\x26\xEE", 4));  // READ 4 and its CRC_A
        QCOMPARE(frames[5].plainBytes.left(MifareClassicCard::BlockSize), card->block(4));
        // From ar on, the air's bytes are the clear ones XOR the keystream.
        const QByteArray clear = frames[2].plainBytes.mid(4) + frames[3].plainBytes + frames[4].plainBytes + frames[5].plainBytes;
        const QByteArray air = frames[2].bytes.mid(4) + frames[3].bytes + frames[4].bytes + frames[5].bytes;
        for (int at = 0; at + 4 <= clear.size(); at += 4)
            QCOMPARE(Crypto1::wordAt(air, at), Crypto1::wordAt(clear, at) ^ sniffer.feedWord(0));
        QCOMPARE(AirDecoder::summary({ frames[4], frames[5] }),
                 QStringLiteral("READ bloc 4 → bloc 4 : 42 6F 6E 6A 6F 75 72 20 54 61 67 42 65 6E 63 68"));
    }

    // --- the air decoder is strict -----------------------------------------

    void decodesStrictly_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("lastBits");
        QTest::addColumn<int>("redundancy");
        QTest::addColumn<QByteArray>("answer");  // what the scripted card answers
        QTest::addColumn<QStringList>("expected");  // the last exchange's trace lines
        const int noCrc = ChannelRedundancyBits::OddParityNoCrc;
        const int crcBothWays = ChannelRedundancyBits::OddParityCrcBothWays;
        const int vicinity = ChannelRedundancyBits::Iso15693Crc;

        // Type A: collisions, NVB, SELECT.
        QTest::newRow("collision counted as CollPos counts it")
            << "twoCards" << QByteArray("\x93\x20", 2) << 0 << noCrc << QByteArray()
            << QStringList { "→ ANTICOLLISION CL1 93 20", "← collision au bit 9 04 A3 3B 15 89 [parité fausse]" };
        QTest::newRow("NVB out of the anticollision and select forms")
            << "typeA" << QByteArray("\x93\x7F", 2) << 0 << noCrc << QByteArray()
            << QStringList { "→ SEL CL1 : NVB invalide 7F 93 7F" };
        QTest::newRow("NVB with more than 7 bits")
            << "typeA" << QByteArray("\x93\x28", 2) << 0 << noCrc << QByteArray()
            << QStringList { "→ SEL CL1 : NVB invalide 28 93 28" };
        QTest::newRow("anticollision longer than its NVB")
            << "typeA" << QByteArray("\x93\x25\x04\xA2", 4) << 3 << noCrc << QByteArray()
            << QStringList { "→ ANTICOLLISION CL1 (5 bits d'UID connus) : longueur contraire au NVB 25 (27 bits, 21 attendus) "
                             "93 25 04 02 (27 bits)" };
        QTest::newRow("anticollision with 12 UID bits, one card matching")
            << "twoCards" << QByteArray("\x93\x34\x04\x02", 4) << 4 << noCrc << QByteArray()
            << QStringList { "→ ANTICOLLISION CL1 (12 bits d'UID connus) 93 34 04 02 (28 bits)",
                             "← suite de l'UID CL1 A0 3B 15 88 (28 bits)" };
        QTest::newRow("SELECT with a wrong BCC")
            << "typeA" << QByteArray("\x93\x70\x04\xA2\x3B\x15\x00", 7) << 0 << crcBothWays << QByteArray()
            << QStringList { "→ SELECT CL1 UID 04A23B15, BCC faux 93 70 04 A2 3B 15 00 E6 2B" };
        QTest::newRow("SELECT without its BCC")
            << "typeA" << QByteArray("\x93\x70\x04\xA2\x3B\x15", 6) << 0 << crcBothWays << QByteArray()
            << QStringList { "→ SELECT CL1 : longueur contraire au NVB 70 (64 bits, 72 attendus) 93 70 04 A2 3B 15 8A B4" };
        QTest::newRow("unknown frame with a wrong CRC")
            << "badPreset" << QByteArray("\x12\x34\x56", 3) << 0 << int(ChannelRedundancyBits::OddParityTxCrc) << QByteArray()
            << QStringList { "→ trame 12 34 56 6F EF [CRC faux]" };

        // ISO 15693: parameters missing or in excess, masks.
        QTest::newRow("READ SINGLE BLOCK without its block")
            << "vicinity" << QByteArray("\x02\x20", 2) << 0 << vicinity << QByteArray()
            << QStringList { "→ READ SINGLE BLOCK : paramètre manquant (numéro de bloc) 02 20 F5 1D" };
        QTest::newRow("WRITE AFI without its AFI")
            << "vicinity" << QByteArray("\x02\x27", 2) << 0 << vicinity << QByteArray()
            << QStringList { "→ WRITE AFI : paramètre manquant (AFI) 02 27 4A 69" };
        QTest::newRow("GET SYSTEM INFORMATION with a byte too many")
            << "vicinity" << QByteArray("\x02\x2B\x55", 3) << 0 << vicinity << QByteArray()
            << QStringList { "→ GET SYSTEM INFORMATION : octets en trop (55) 02 2B 55 C7 B1" };
        QTest::newRow("addressed, its UID cut short")
            << "vicinity" << QByteArray("\x22\x20\x31\x57\x21\x66", 6) << 0 << vicinity << QByteArray()
            << QStringList { "→ READ SINGLE BLOCK : paramètres manquants (UID, numéro de bloc) 22 20 31 57 21 66 5C 79" };
        QTest::newRow("STAY QUIET without a UID")
            << "vicinity" << QByteArray("\x02\x02", 2) << 0 << vicinity << QByteArray()
            << QStringList { "→ STAY QUIET : paramètre manquant (UID) 02 02 E5 1F" };
        QTest::newRow("inventory mask of 255 bits")
            << "vicinity" << QByteArray("\x26\x01\xFF", 3) << 0 << vicinity << QByteArray()
            << QStringList { "→ INVENTORY 1 créneau : masque de 255 bits invalide (64 au plus) 26 01 FF 8E 05" };
        QTest::newRow("16-slot inventory mask of 64 bits")
            << "vicinity" << QByteArray("\x06\x01\x40\x31\x57\x21\x66\x08\x01\x04\xE0", 11) << 0 << vicinity << QByteArray()
            << QStringList { "→ INVENTORY 16 créneaux : masque de 64 bits invalide (60 au plus) 06 01 40 31 57 21 66 08 01 04 E0 0D CD" };
        QTest::newRow("inventory mask value cut short")
            << "vicinity" << QByteArray("\x26\x01\x0C\x05", 4) << 0 << vicinity << QByteArray()
            << QStringList { "→ INVENTORY 1 créneau, masque de 12 bits : paramètre manquant (valeur du masque, 2 octets) 26 01 0C 05 C6 9C" };

        // ISO 15693: the block security status the Option flag asks for.
        QTest::newRow("READ SINGLE BLOCK with the Option flag")
            << "tag" << QByteArray("\x42\x20\x03", 3) << 0 << vicinity << QByteArray()
            << QStringList { "→ READ SINGLE BLOCK 3 42 20 03 AA 64",
                             "← bloc 3 : sécurité 00, données 0C0D0E0F 00 00 0C 0D 0E 0F 23 FD" };
        QTest::newRow("READ MULTIPLE BLOCKS with the Option flag")
            << "scripted" << QByteArray("\x42\x23\x03\x01", 4) << 0 << vicinity
            << QByteArray("\x00\x00\x0C\x0D\x0E\x0F\x01\x10\x11\x12\x13", 11)
            << QStringList { "→ READ MULTIPLE BLOCKS 3 à 4 42 23 03 01 A1 04",
                             "← bloc 3 : sécurité 00, données 0C0D0E0F ; bloc 4 : sécurité 01, données 10111213 "
                             "00 00 0C 0D 0E 0F 01 10 11 12 13 19 DD" };

        // What reached the air, and what the cards heard of it.
        QTest::newRow("field off")
            << "fieldOff" << QByteArray("\x26", 1) << int(BitFramingBits::ShortFrame) << noCrc << QByteArray()
            << QStringList { "→ champ coupé : rien sur l'air 26 (7 bits)" };
        QTest::newRow("coder kept off the antenna")
            << "coderMuted" << QByteArray("\x26", 1) << int(BitFramingBits::ShortFrame) << noCrc << QByteArray()
            << QStringList { "→ codeur coupé de l'antenne : rien sur l'air 26 (7 bits)" };
        QTest::newRow("pauses too short")
            << "shortPause" << QByteArray("\x26", 1) << int(BitFramingBits::ShortFrame) << noCrc << QByteArray()
            << QStringList { "→ REQA — pause de 0,15 µs : la carte n'entend rien 26 (7 bits)" };
        QTest::newRow("pauses too long")
            << "longPause" << QByteArray("\x26", 1) << int(BitFramingBits::ShortFrame) << noCrc << QByteArray()
            << QStringList { "→ REQA — pause de 9,44 µs : la carte n'entend rien 26 (7 bits)" };
        QTest::newRow("carrier not deep enough in the pauses")
            << "shallow" << QByteArray("\x26", 1) << int(BitFramingBits::ShortFrame) << noCrc << QByteArray()
            << QStringList { "→ REQA — porteuse à 23 % dans les pauses : la carte n'entend rien 26 (7 bits)" };
        QTest::newRow("a data rate the bench does not model")
            << "vicinity" << QByteArray("\x00\x2B", 2) << 0 << vicinity << QByteArray()
            << QStringList { "→ GET SYSTEM INFORMATION — débit ou sous-porteuse que le banc ne simule pas 00 2B 96 90" };
    }

    void decodesStrictly()
    {
        QFETCH(QString, setup);
        QFETCH(QByteArray, frame);
        QFETCH(int, lastBits);
        QFETCH(int, redundancy);
        QFETCH(QByteArray, answer);
        QFETCH(QStringList, expected);
        ChipScript reader;
        prepareStrictReader(reader, setup, answer);
        reader.chip.write(ChipReg::ChannelRedundancy, quint8(redundancy));
        reader.transceive(frame, quint8(lastBits));
        const QStringList lines = lastTraceLines(reader);
        QCOMPARE(lines, expected);
        for (const QString &line : lines)
            QVERIFY2(!line.contains(QStringLiteral("  ")) && !line.endsWith(QLatin1Char(' ')), qPrintable(line));
        // A collision is where the chip's CollPos puts it.
        const AirExchange &last = reader.chip.airLog().back();
        AirDecoder decoder;
        std::vector<DecodedFrame> frames;
        for (const AirExchange &exchange : reader.chip.airLog())
            frames = decoder.decode(exchange);
        if (std::count(last.received.collided.begin(), last.received.collided.end(), 1) > 0)
            QCOMPARE(frames.back().meaning, QStringLiteral("collision au bit %1").arg(reader.chip.peek(ChipReg::CollPos)));
        // The rows' frames break their rules, but for those about what the
        // cards heard, a collision, a CRC, and the answers that show what
        // the Option flag asked for.
        const bool flagged = std::any_of(frames.begin(), frames.end(), [](const DecodedFrame &f) { return f.malformed; });
        const bool wellFormed = last.hearing != AirHearing::Heard || setup == "twoCards" || setup == "badPreset"
            || setup == "tag" || setup == "scripted";
        QCOMPARE(flagged, !wellFormed);
    }

    void byteMarksShowCollisionsAndCrcFailures()
    {
        using Check = DecodedFrame::Check;
        const auto marksOf = [](const Capture &capture, DecodedFrame::Direction direction) {
            std::vector<ByteMark> marks;
            for (const ByteMark &mark : capture.bytes) {
                if (mark.direction == direction)
                    marks.push_back(mark);
            }
            return marks;
        };

        // Two cards: the UID bytes they disagree on, and so the BCC.
        ChipScript cards;
        prepareStrictReader(cards, QStringLiteral("twoCards"), QByteArray());
        cards.transceive("\x93\x20");
        const std::vector<ByteMark> answer = marksOf(cards.lastCapture(), DecodedFrame::Direction::CardToReader);
        QCOMPARE(int(answer.size()), 5);
        const bool collided[] = { false, true, false, false, true };
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(answer[std::size_t(i)].collided, collided[i]);
            QCOMPARE(answer[std::size_t(i)].crc, Check::None);
        }
        QCOMPARE(answer[4].parity, Check::Failed);
        for (const ByteMark &mark : marksOf(cards.lastCapture(), DecodedFrame::Direction::ReaderToCard))
            QVERIFY(!mark.collided);

        // A READ whose CRC the chip computed from the wrong preset: its last
        // two bytes; the same READ with CRC_A: its CRC is right.
        for (const bool badPreset : { true, false }) {
            ChipScript reader({ mifareCard() });
            reader.identify();
            if (badPreset)
                prepareStrictReader(reader, QStringLiteral("badPreset"), QByteArray());
            reader.transceive(QByteArray("\x30\x04", 2));
            const std::vector<ByteMark> read = marksOf(reader.lastCapture(), DecodedFrame::Direction::ReaderToCard);
            QCOMPARE(int(read.size()), 4);
            const Check crc = badPreset ? Check::Failed : Check::Ok;
            const Check expected[] = { Check::None, Check::None, crc, crc };
            for (int i = 0; i < 4; ++i) {
                QCOMPARE(read[std::size_t(i)].crc, expected[i]);
                QVERIFY(!read[std::size_t(i)].collided);
            }
        }
    }

    // --- export ------------------------------------------------------------

    void vcdReadsBackToTheSameEdges_data()
    {
        QTest::addColumn<int>("layout");
        QTest::newRow("logic lanes") << int(VcdWriter::Layout::Logic);
        QTest::newRow("detailed: envelope and bytes") << int(VcdWriter::Layout::Detailed);
    }

    void vcdReadsBackToTheSameEdges()
    {
        QFETCH(int, layout);
        const bool detailed = VcdWriter::Layout(layout) == VcdWriter::Layout::Detailed;
        ChipScript reader({ mifareCard() });
        // A millisecond between frames: each capture ends before the next.
        reader.chip.setClock([now = qint64(0)]() mutable { return now += 1000000; });
        // MFOUT on the answer after the subcarrier demodulator: high exactly
        // while the card loads the field.
        reader.chip.write(ChipReg::MFOUTSelect, MFOUTSelectBits::Manchester);
        reader.identify();
        CaptureAssembler assembler;
        std::vector<std::vector<DecodedExchange>> groups;
        for (const AirExchange &exchange : reader.chip.airLog()) {
            if (assembler.add(exchange) && !assembler.closed().empty())
                groups.push_back(assembler.closed());
        }
        groups.push_back(assembler.current());
        VcdWriter writer{ VcdWriter::Layout(layout) };
        QByteArray vcd = writer.header();
        for (const auto &group : groups)
            vcd += writer.capture(group);
        const VcdFile file = readVcd(vcd);
        QVERIFY2(file.timesForward, "times go forward");

        // Sigrok's VCD input takes 1-bit wires only: the rest is the detail's.
        std::map<QByteArray, QByteArray> declared {
            { VcdWriter::MfoutName, "wire 1" }, { VcdWriter::CarrierName, "wire 1" }, { VcdWriter::LoadName, "wire 1" } };
        if (detailed) {
            declared[VcdWriter::AntennaName] = "real 64";
            declared[VcdWriter::ReaderBytesName] = "wire 8";
            declared[VcdWriter::CardBytesName] = "wire 8";
        }
        QCOMPARE(file.declarations, declared);

        // Times count from the first capture's start, the scope's pre-trigger
        // before its first edge; the others keep their distance on the air clock.
        std::vector<Capture> captures;
        for (const auto &group : groups)
            captures.push_back(SignalSynthesis::capture(group));
        const qint64 origin = captures.front().startNs;
        QCOMPARE(file.firstTime, qint64(0));
        VcdFile::Changes expected;
        std::vector<qint64> pauseStarts;
        std::vector<qint64> pauseEnds;
        for (const Capture &capture : captures) {
            const qint64 start = capture.startNs - origin;
            for (std::size_t i = 0; i < capture.mfout.times.size(); ++i)
                expected.push_back({ start + std::llround(capture.mfout.times[i] * 1000),
                                     capture.mfout.levels[i] > 0.5f ? "1" : "0" });
            // 100 % ASK: the antenna's pauses reach zero, the load only dims it.
            const std::vector<qint64> starts = waveEdgesNs(capture.antenna, 0.5f, true, start);
            const std::vector<qint64> ends = waveEdgesNs(capture.antenna, 0.5f, false, start);
            pauseStarts.insert(pauseStarts.end(), starts.begin(), starts.end());
            pauseEnds.insert(pauseEnds.end(), ends.begin(), ends.end());
        }
        const auto &mfout = file.changes.at(VcdWriter::MfoutName);
        QCOMPARE(mfout.size(), expected.size() + 1);  // the initial "x"
        QVERIFY(std::equal(expected.begin(), expected.end(), mfout.begin() + 1));
        const auto &carrier = file.changes.at(VcdWriter::CarrierName);
        QCOMPARE(laneEdges(carrier, '1', '0'), pauseStarts);
        QCOMPARE(laneEdges(carrier, '0', '1'), pauseEnds);
        QCOMPARE(pauseStarts.front(), qint64(SignalSynthesis::PreTriggerUs * 1000));
        QCOMPARE(file.changes.at(VcdWriter::LoadName), mfout);
        QVERIFY(laneEdges(mfout, '0', '1').size() > 3 * 8);  // the answers have bits

        QCOMPARE(file.changes.count(VcdWriter::AntennaName), std::size_t(detailed));
        if (!detailed)
            return;
        // The card's bytes: ATQA, UID and BCC, SAK and its CRC.
        QByteArray cardBytes;
        for (const auto &change : file.changes.at(VcdWriter::CardBytesName)) {
            if (!change.second.contains('x'))
                cardBytes.append(char(change.second.toInt(nullptr, 2)));
        }
        QCOMPARE(cardBytes.left(8), QByteArray("\x04\x00\x04\xA2\x3B\x15\x88\x08", 8));
        std::size_t antennaChanges = 1;
        for (const Capture &capture : captures)
            antennaChanges += capture.antenna.times.size();
        QCOMPARE(file.changes.at(VcdWriter::AntennaName).size(), antennaChanges);
    }

    void pcapngStampsInTheInterfaceUnit_data()
    {
        QTest::addColumn<bool>("nanoseconds");
        QTest::addColumn<qint64>("timeNs");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<quint64>("stamp");
        QTest::newRow("nanoseconds past 32 bits, padded data") << true << qint64(5123456789012) << QByteArray("\x26", 1)
                                                              << quint64(5123456789012);
        QTest::newRow("microseconds, aligned data") << false << qint64(5123456789012) << QByteArray("\x93\x20\x01\x02", 4)
                                                    << quint64(5123456789);
        QTest::newRow("before the origin, no data") << true << qint64(-5) << QByteArray() << quint64(0);
    }

    void pcapngStampsInTheInterfaceUnit()
    {
        QFETCH(bool, nanoseconds);
        QFETCH(qint64, timeNs);
        QFETCH(QByteArray, data);
        QFETCH(quint64, stamp);
        const PcapngWriter writer(Iso14443Link::LinkType,
                                  nanoseconds ? PcapngWriter::Resolution::Nanoseconds : PcapngWriter::Resolution::Microseconds);
        // The interface after the section header: its link type, and its
        // unit as if_tsresol (option 9) gives it.
        const QByteArray header = writer.header();
        const int interface = int(little32(header, 4));
        QCOMPARE(little32(header, interface), quint32(1));
        QCOMPARE(little32(header, interface + 8) & 0xFFFF, quint32(264));
        QVERIFY(header.mid(interface).contains(QByteArray("\x09\x00\x01\x00", 4) + char(nanoseconds ? 9 : 6)));
        // The enhanced packet block: its length at both ends, the stamp's
        // high and low words, the data padded to 32 bits.
        const QByteArray packet = writer.packet(timeNs, data);
        QCOMPARE(packet.size(), 32 + (data.size() + 3) / 4 * 4);
        QCOMPARE(little32(packet, 4), quint32(packet.size()));
        QCOMPARE(little32(packet, packet.size() - 4), quint32(packet.size()));
        QCOMPARE(little32(packet, 12), quint32(stamp >> 32));
        QCOMPARE(little32(packet, 16), quint32(stamp));
        QCOMPARE(little32(packet, 20), quint32(data.size()));
        QCOMPARE(packet.mid(28, data.size()), data);
    }

    void iso14443PseudoHeader_data()
    {
        QTest::addColumn<int>("event");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("packet");
        QTest::newRow("REQA, reader to card") << int(Iso14443Link::Event::ReaderToCard) << QByteArray("\x26")
                                              << QByteArray("\x00\xFE\x00\x01\x26", 5);
        QTest::newRow("ATQA, card to reader") << int(Iso14443Link::Event::CardToReader) << QByteArray("\x04\x00", 2)
                                              << QByteArray("\x00\xFF\x00\x02\x04\x00", 6);
        QTest::newRow("field on") << int(Iso14443Link::Event::FieldOn) << QByteArray() << QByteArray("\x00\xFC\x00\x00", 4);
        QTest::newRow("field off") << int(Iso14443Link::Event::FieldOff) << QByteArray() << QByteArray("\x00\xFD\x00\x00", 4);
        QTest::newRow("length big endian") << int(Iso14443Link::Event::CardToReader) << QByteArray(300, '\x11')
                                           << QByteArray("\x00\xFF\x01\x2C", 4) + QByteArray(300, '\x11');
    }

    void iso14443PseudoHeader()
    {
        QFETCH(int, event);
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, packet);
        QCOMPARE(Iso14443Link::packet(Iso14443Link::Event(event), frame), packet);
    }

    void csvRows_data()
    {
        QTest::addColumn<qint64>("endNs");
        QTest::addColumn<qint64>("gapNs");
        QTest::addColumn<QByteArray>("times");    // end, duration, gap
        QTest::addColumn<QByteArray>("outside");  // the names out of their limits
        QTest::addColumn<int>("timings");
        QTest::newRow("first frame, end not measured") << qint64(0) << qint64(-1) << QByteArray(",,") << QByteArray() << 0;
        QTest::newRow("within limits") << qint64(91500) << qint64(86400) << QByteArray("91.500,90.000,86.400")
                                       << QByteArray("non") << 1;
        QTest::newRow("two out of limits") << qint64(1001500) << qint64(12345) << QByteArray("1001.500,1000.000,12.345")
                                           << QByteArray("FDT lecteur; pause") << 3;
    }

    void csvRows()
    {
        QFETCH(qint64, endNs);
        QFETCH(qint64, gapNs);
        QFETCH(QByteArray, times);
        QFETCH(QByteArray, outside);
        QFETCH(int, timings);
        DecodedFrame frame;
        frame.serial = 7;
        frame.timeNs = 1500;
        frame.endNs = endNs;
        frame.gapNs = gapNs;
        frame.bytes = QByteArray("\x04\x00", 2);
        frame.bitCount = 16;
        frame.direction = DecodedFrame::Direction::CardToReader;
        frame.meaning = QStringLiteral("UID, BCC \"juste\"");
        const TimingCheck checks[] = { { QStringLiteral("t1"), 320.9, 318.6, 323.3 },
                                       { QStringLiteral("FDT lecteur"), 12.3, 86.4 },
                                       { QStringLiteral("pause"), 9.0, 2.1, 3.0 } };
        frame.timings.assign(std::begin(checks), std::begin(checks) + timings);
        QStringList texts;
        for (const TimingCheck &check : frame.timings)
            texts << check.text();
        // Texts with a comma (the decimal one) are quoted.
        QByteArray timingsField = texts.join(QStringLiteral("; ")).toUtf8();
        if (timingsField.contains(','))
            timingsField = '"' + timingsField + '"';
        QCOMPARE(AirLogCsv::row(frame), "1.500," + times + ",7,carte->lecteur,16,04 00,,," + timingsField + ','
                                             + outside + ",\"UID, BCC \"\"juste\"\"\"\n");
    }
};

QTEST_GUILESS_MAIN(TestAir)
#include "tst_air.moc"
