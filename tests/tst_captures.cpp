// The bench's capture files as the tools people open them with read them: a
// scripted session (an identification, a halt and a wake-up, a MIFARE
// authentication with a read and a write, the field switched off and on, a
// 16-slot ISO/IEC 15693 inventory) written as the bench writes its capture
// files, then the VCD decoded by sigrok-cli's Miller decoder and the pcapng
// dissected by tshark. Both tools come with scripts/setup; without them the
// test fails.

#include "capturefile.h"
#include "cardargument.h"
#include "crypto1.h"
#include "chipscript.h"
#include "iso15693tag.h"
#include "mifareclassiccard.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <map>

#include <cmath>

namespace {

constexpr int ToolWaitMs = 30000;

// The arguments sigrok-cli reads the bench's VCD with, as the README gives them.
const QStringList SigrokInput { QStringLiteral("-I"), QStringLiteral("vcd:compress=100000") };

struct ToolRun
{
    bool ran = false;
    QString output;
    QString problem;
};

// Runs a tool to its end, within a bounded wait.
ToolRun runTool(const QString &tool, const QStringList &arguments)
{
    ToolRun run;
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty()) {
        run.problem = QStringLiteral("%1 introuvable : lancer scripts/setup, qui l'installe").arg(tool);
        return run;
    }
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(ToolWaitMs)) {
        process.kill();
        process.waitForFinished(ToolWaitMs);
        run.problem = QStringLiteral("%1 n'a pas fini en %2 ms").arg(tool).arg(ToolWaitMs);
        return run;
    }
    run.output = QString::fromUtf8(process.readAllStandardOutput());
    run.ran = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!run.ran)
        run.problem = QStringLiteral("%1 a échoué : %2").arg(tool, QString::fromUtf8(process.readAllStandardError()));
    return run;
}

std::shared_ptr<MifareClassicCard> mifareCard()
{
    auto card = std::make_shared<MifareClassicCard>(QByteArray("\x04\xA2\x3B\x15", 4));
    card->setBlock(4, QByteArray("Bonjour TagBench"));
    return card;
}

// The session, register by register as the host drives it.
void runSession(ChipScript &reader)
{
    reader.identify();
    reader.transceive(QByteArray("\x50\x00", 2));  // HLTA, with its CRC
    reader.chip.write(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityNoCrc);
    reader.transceive("\x52", BitFramingBits::ShortFrame);  // WUPA wakes the halted card
    reader.transceive("\x93\x20");
    reader.chip.write(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityCrcBothWays);
    reader.transceive(QByteArray("\x93\x70\x04\xA2\x3B\x15\x88", 7));
    reader.authenticate(4);
    reader.chip.write(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityCrcBothWays);
    reader.transceive(QByteArray("\x30\x04", 2));
    // WRITE answers a 4-bit ACK, with no CRC, to each of its two frames.
    reader.chip.write(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityTxCrc);
    reader.transceive(QByteArray("\xA0\x04", 2));
    reader.transceive(QByteArray("Au revoir, banc!"));
    // The field switched off and on again, which the frames around it tell;
    // the cipher off for the new field's frames.
    reader.chip.write(ChipReg::TxControl, TxControlBits::FieldOff);
    reader.chip.write(ChipReg::Control, 0);
    reader.chip.write(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityNoCrc);
    reader.transceive("\x52", BitFramingBits::ShortFrame);  // nothing goes on the air
    reader.chip.write(ChipReg::TxControl, TxControlBits::FieldOn);
    reader.transceive("\x52", BitFramingBits::ShortFrame);
    reader.vicinityMode();
    reader.transceive(QByteArray("\x06\x01\x00", 3));  // sixteen slots
    reader.chip.write(ChipReg::CoderControl, CoderControlBits::Iso15693SlotPulse);
    for (int slot = 1; slot < 16; ++slot)
        reader.transceive(QByteArray());
}

} // namespace

class TestCaptures : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_directory;
    QString m_vcd;
    QString m_pcapng;
    // tshark's reading of the pcapng: one line per packet, its fields
    // separated by tabs.
    QStringList m_dissected;
    // The Miller decoder's reading of the VCD: one bit string per frame.
    QStringList m_millerFrames;
    // REQA and ATQA, the first exchange, as the air decoder dates them.
    std::vector<DecodedFrame> m_firstFrames;

    // Runs tshark on the pcapng once; what went wrong, or nothing.
    QString dissect()
    {
        if (!m_dissected.isEmpty())
            return QString();
        const ToolRun run = runTool(QStringLiteral("tshark"),
                                    { "-r", m_pcapng, "-T", "fields", "-e", "frame.number", "-e", "iso14443.event",
                                      "-e", "iso14443.length_field", "-e", "_ws.col.Info", "-e", "frame.protocols",
                                      "-e", "frame.time_epoch" });
        m_dissected = run.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        return run.ran ? QString() : run.problem;
    }

    // Runs sigrok-cli's Miller decoder on the VCD once, as the README
    // says; what went wrong, or nothing.
    QString decodeMiller()
    {
        if (!m_millerFrames.isEmpty())
            return QString();
        const ToolRun run = runTool(QStringLiteral("sigrok-cli"),
                                    SigrokInput + QStringList { "-i", m_vcd, "-P", "miller:data=porteuse", "-A", "miller=bitstring" });
        for (const QString &line : run.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            m_millerFrames << line.section(QLatin1Char(':'), 1).remove(QLatin1Char(' '));
        return run.ran ? QString() : run.problem;
    }

    bool writeCaptureFile(const QString &path, CaptureFile::Format format, const std::vector<AirExchange> &exchanges)
    {
        CaptureFile file;
        if (!file.open(path, format))
            return false;
        file.add(exchanges);
        file.finish();
        return file.written() > 0;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_directory.isValid());
        const auto card = mifareCard();
        ChipScript reader({ card, std::make_shared<Iso15693Tag>(0xE004010866215731ull) });
        runSession(reader);
        QCOMPARE(card->block(4), QByteArray("Au revoir, banc!"));  // the session went through
        const std::vector<AirExchange> exchanges(reader.chip.airLog().begin(), reader.chip.airLog().end());
        m_firstFrames = AirDecoder().decode(exchanges.front());
        m_vcd = m_directory.filePath(QStringLiteral("seance.vcd"));
        m_pcapng = m_directory.filePath(QStringLiteral("seance.pcapng"));
        QVERIFY(writeCaptureFile(m_vcd, CaptureFile::Format::Vcd, exchanges));
        QVERIFY(writeCaptureFile(m_pcapng, CaptureFile::Format::Pcapng, exchanges));
    }

    void sigrokLoadsTheLanes()
    {
        const ToolRun run = runTool(QStringLiteral("sigrok-cli"), SigrokInput + QStringList { "-i", m_vcd, "--show" });
        QVERIFY2(run.ran, qPrintable(run.problem));
        for (const char *lane : { VcdWriter::MfoutName, VcdWriter::CarrierName, VcdWriter::LoadName })
            QVERIFY2(run.output.contains(QStringLiteral("- %1: logic").arg(QLatin1String(lane))), qPrintable(run.output));
        const QRegularExpression count(QStringLiteral("Logic sample count: (\\d+)"));
        const QRegularExpressionMatch match = count.match(run.output);
        QVERIFY2(match.hasMatch(), qPrintable(run.output));
        // The whole session at 1 GHz, its long silences shortened.
        QVERIFY2(match.captured(1).toLongLong() > 1000000, qPrintable(run.output));
    }

    // The first reader frames, as the Miller decoder reads them off the
    // carrier's pauses: the start of frame's 0, the bits least significant
    // first (each byte's odd parity after it in a standard frame), the end
    // of frame's 0.
    void millerReadsTheReaderFrames_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("bits");
        QTest::newRow("REQA, 7 bits") << 0 << QByteArray("\x26") << 7;
        QTest::newRow("ANTICOLLISION 93 20, with parity") << 1 << QByteArray("\x93\x20") << 16;
        QTest::newRow("HLTA and its CRC") << 3 << QByteArray("\x50\x00\x57\xCD", 4) << 32;
        QTest::newRow("WUPA, 7 bits") << 4 << QByteArray("\x52") << 7;
    }

    void millerReadsTheReaderFrames()
    {
        QFETCH(int, index);
        QFETCH(QByteArray, bytes);
        QFETCH(int, bits);
        const QString problem = decodeMiller();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        const QStringList &frames = m_millerFrames;
        QVERIFY2(frames.size() > index, qPrintable(frames.join(QLatin1Char('\n'))));
        QString expected = QStringLiteral("0");
        for (int i = 0; i < bits; ++i) {
            const quint8 byte = quint8(bytes.at(i / 8));
            expected += QLatin1Char((byte >> (i % 8)) & 1 ? '1' : '0');
            if (bits > 8 && i % 8 == 7)
                expected += QLatin1Char(Air::oddParityBit(byte) ? '1' : '0');
        }
        expected += QLatin1Char('0');
        QCOMPARE(frames.at(index), expected);
    }

    // Each frame as Wireshark's ISO 14443 dissector takes it in: its
    // direction, its length and, for the identification, its name. Past
    // the identification the frames are MIFARE's, enciphered from the
    // authentication's second frame on, which it has no name for.
    void tsharkDissectsTheFrames_data()
    {
        QTest::addColumn<int>("packet");  // from 1, as tshark counts
        QTest::addColumn<QString>("event");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("name");  // none for MIFARE's frames
        const QString reader = QStringLiteral("0xfe");
        const QString card = QStringLiteral("0xff");
        QTest::newRow("REQA") << 1 << reader << 1 << "REQA";
        QTest::newRow("ATQA") << 2 << card << 2 << "ATQA";
        QTest::newRow("anticollision") << 3 << reader << 2 << "Anticollision";
        QTest::newRow("UID") << 4 << card << 5 << "UID";
        QTest::newRow("SELECT") << 5 << reader << 9 << "Select";
        QTest::newRow("SAK") << 6 << card << 3 << "SAK";
        QTest::newRow("HLTA") << 7 << reader << 4 << "HLTA";
        QTest::newRow("WUPA") << 8 << reader << 1 << "WUPA";
        QTest::newRow("AUTH A, block 4") << 14 << reader << 4 << "";
        QTest::newRow("card's nonce") << 15 << card << 4 << "";
        QTest::newRow("reader's token") << 16 << reader << 8 << "";
        QTest::newRow("READ 4") << 18 << reader << 4 << "";
        QTest::newRow("block 4 and its CRC") << 19 << card << 18 << "";
        QTest::newRow("WRITE 4") << 20 << reader << 4 << "";
        QTest::newRow("ACK") << 21 << card << 1 << "";
        QTest::newRow("the block's data and CRC") << 22 << reader << 18 << "";
        QTest::newRow("field off") << 24 << "0xfd" << 0 << "Field off";
        QTest::newRow("field on") << 25 << "0xfc" << 0 << "Field on";
        QTest::newRow("WUPA in the new field") << 26 << reader << 1 << "WUPA";
    }

    void tsharkDissectsTheFrames()
    {
        QFETCH(int, packet);
        QFETCH(QString, event);
        QFETCH(int, length);
        QFETCH(QString, name);
        const QString problem = dissect();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QVERIFY2(m_dissected.size() >= packet, qPrintable(m_dissected.join(QLatin1Char('\n'))));
        const QStringList fields = m_dissected.at(packet - 1).split(QLatin1Char('\t'));
        QCOMPARE(fields.value(0), QString::number(packet));
        QCOMPARE(fields.value(1), event);
        QCOMPARE(fields.value(2), QString::number(length));
        if (!name.isEmpty())
            QCOMPARE(fields.value(3), name);
        // An ISO 14443 frame; what tshark makes of an enciphered one's
        // payload ("iso14443:data" when its random bytes look like a block
        // of the transmission protocol) depends on the session's nonces.
        QCOMPARE(fields.value(4).section(QLatin1Char(':'), 0, 0), QStringLiteral("iso14443"));
    }

    // The whole session read back from the VCD's two air lanes, with no
    // help from the bench's own timing code: after each answer, the reader's
    // next pause comes no sooner than the standard allows after the card's
    // last load modulation (type A, 1172/fc; ISO 15693, t2 = 4192/fc), and
    // after a silent slot's pulse, the next pulse no sooner than t3
    // (4384/fc and the tag's start of frame, 2048/fc).
    void vcdShowsNoGapUnderTheStandardsMinimum()
    {
        QFile file(m_vcd);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray carrierId, loadId;
        struct Change { qint64 ns; bool carrier; bool high; };
        std::vector<Change> changes;
        std::map<QByteArray, int> levels;
        qint64 now = 0;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            if (words.size() >= 5 && words[0] == "$var") {
                if (words[4] == VcdWriter::CarrierName)
                    carrierId = words[3];
                else if (words[4] == VcdWriter::LoadName)
                    loadId = words[3];
            } else if (line.startsWith('#')) {
                now = line.mid(1).toLongLong();
            } else if (line.size() >= 2 && (line[0] == '0' || line[0] == '1')) {
                // Each capture restates the lanes' levels: only changes count.
                const QByteArray id = line.mid(1);
                const bool high = line[0] == '1';
                if ((id == carrierId || id == loadId) && levels[id] != int(high)) {
                    levels[id] = int(high);
                    changes.push_back({ now, id == carrierId, high });
                }
            }
        }
        QVERIFY(!carrierId.isEmpty() && !loadId.isEmpty());

        constexpr double NsPerCycle = 1e9 / 13.56e6;
        const qint64 typeAGuardNs = qint64(1172 * NsPerCycle);
        const qint64 vicinityGuardNs = qint64(4192 * NsPerCycle);
        const qint64 silentSlotNs = qint64((4384 + 2048) * NsPerCycle);
        // ISO 15693 pauses are 6 to 9.44 us wide, type A ones about 3 us;
        // within one ISO 15693 frame two pauses are at most 13 slots' halves
        // (9.44 us each) apart.
        const qint64 vicinityPauseNs = 5000, longestPauseNs = 10000, insideAFrameNs = 14 * 9440;
        qint64 pauseStart = -1, lastPauseEnd = -1, lastLoadEnd = -1;
        bool lastPauseVicinity = false;
        int afterAnswers = 0, afterSilentSlots = 0;
        for (const Change &change : changes) {
            if (!change.carrier) {
                if (!change.high)
                    lastLoadEnd = change.ns;
                continue;
            }
            if (!change.high) {
                pauseStart = change.ns;
                continue;
            }
            // A pause ends: judged once its width tells a pause from the
            // field switched off, which is no frame.
            const qint64 width = change.ns - pauseStart;
            if (pauseStart < 0 || width >= longestPauseNs) {
                lastPauseEnd = -1;
                continue;
            }
            if (lastLoadEnd > lastPauseEnd && lastPauseEnd >= 0) {
                const qint64 least = lastPauseVicinity ? vicinityGuardNs : typeAGuardNs;
                QVERIFY2(pauseStart - lastLoadEnd >= least,
                         qPrintable(QStringLiteral("%1 ns after an answer at %2 ns").arg(pauseStart - lastLoadEnd).arg(pauseStart)));
                ++afterAnswers;
            } else if (lastPauseVicinity && lastPauseEnd >= 0 && pauseStart - lastPauseEnd > insideAFrameNs) {
                QVERIFY2(pauseStart - lastPauseEnd >= silentSlotNs,
                         qPrintable(QStringLiteral("%1 ns after a silent slot at %2 ns").arg(pauseStart - lastPauseEnd).arg(pauseStart)));
                ++afterSilentSlots;
            }
            lastPauseVicinity = width > vicinityPauseNs;
            lastPauseEnd = change.ns;
        }
        // Every answer but the last one of each capture is followed by a
        // frame; the tag answers in slot 1 of sixteen.
        QVERIFY2(afterAnswers >= 10, qPrintable(QString::number(afterAnswers)));
        QCOMPARE(afterSilentSlots, 14);
    }

    // The demo card's sector 1 opened with the window's key, read back from
    // the pcapng file as a sniffer would hold it: the card's nonce, the
    // reader's {nr}{ar} and the card's {at} are what the public cipher
    // gives for that key, UID and nonce.
    void pcapngHoldsThePublicCiphersAuthentication()
    {
        const Crypto1::Key key = { 0x3C, 0x5E, 0x7A, 0x91, 0xB2, 0xD4 };
        ChipScript reader({ CardArgument::demo().front().card });
        reader.identify();
        reader.authenticate(4, QByteArray(reinterpret_cast<const char *>(key.data()), int(key.size())));
        QVERIFY(reader.chip.crypto1On());
        const std::vector<AirExchange> exchanges(reader.chip.airLog().begin(), reader.chip.airLog().end());
        const QString path = m_directory.filePath(QStringLiteral("authentification.pcapng"));
        QVERIFY(writeCaptureFile(path, CaptureFile::Format::Pcapng, exchanges));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();

        // The frames of the enhanced packet blocks, behind their pseudo-header.
        constexpr quint32 EnhancedPacketBlock = 6;
        constexpr int PacketHeader = 28, PseudoHeader = 4;
        QList<QByteArray> frames;
        for (int at = 0; at + 12 <= bytes.size();) {
            const quint32 type = qFromLittleEndian<quint32>(bytes.constData() + at);
            const int length = int(qFromLittleEndian<quint32>(bytes.constData() + at + 4));
            QVERIFY(length >= 12 && at + length <= bytes.size());
            if (type == EnhancedPacketBlock) {
                const int captured = int(qFromLittleEndian<quint32>(bytes.constData() + at + 20));
                frames << bytes.mid(at + PacketHeader + PseudoHeader, captured - PseudoHeader);
            }
            at += length;
        }
        const int auth = int(frames.indexOf(QByteArray("\x60\x04\xD1\x3D", 4)));
        QVERIFY2(auth >= 0 && auth + 3 < frames.size(), qPrintable(QString::number(auth)));
        const QByteArray nonce = frames.at(auth + 1), token = frames.at(auth + 2), answer = frames.at(auth + 3);
        QCOMPARE(nonce.size(), 4);
        QCOMPARE(token.size(), 8);
        QCOMPARE(answer.size(), 4);

        const quint32 uid = 0x04A23B15, nt = Crypto1::wordAt(nonce, 0);
        Crypto1 sniffer;
        sniffer.loadKey(key);
        sniffer.feedWord(uid ^ nt);
        // The sniffer sees only {nr}: fed in the encrypted mode, the state
        // takes in nr itself.
        sniffer.feedWord(Crypto1::wordAt(token, 0), Crypto1::Feed::Encrypted);
        QCOMPARE(Crypto1::wordAt(token, 4), Crypto1::readerAnswer(nt) ^ sniffer.feedWord(0));
        QCOMPARE(Crypto1::wordAt(answer, 0), Crypto1::cardAnswer(nt) ^ sniffer.feedWord(0));
        QCOMPARE(Crypto1::readerAnswer(nt), Crypto1::successor(nt, 64));
        QCOMPARE(Crypto1::cardAnswer(nt), Crypto1::successor(nt, 96));
    }

    void tsharkHasTheTypeAFramesOnTheAirClock()
    {
        const QString problem = dissect();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        // The ISO 15693 inventory that ends the session stays out.
        QCOMPARE(m_dissected.size(), 27);
        QCOMPARE(m_firstFrames.size(), std::size_t(2));
        for (int packet = 0; packet < 2; ++packet) {
            const double seconds = m_dissected.at(packet).section(QLatin1Char('\t'), 5, 5).toDouble();
            QCOMPARE(qint64(std::llround(seconds * 1e9)), m_firstFrames.at(std::size_t(packet)).timeNs);
        }
        QVERIFY(m_firstFrames.at(1).timeNs > m_firstFrames.at(0).timeNs);
    }
};

QTEST_GUILESS_MAIN(TestCaptures)
#include "tst_captures.moc"
