// The virtual bench as users get it: the card arguments of tagbench-sim, its
// announcement in the window's port list, and the program itself driven
// through its pseudo-terminal like a real board.

#include "benchannouncement.h"
#include "cardargument.h"
#include "iso14443aprotocol.h"
#include "iso15693protocol.h"
#include "iso15693tag.h"
#include "mifareclassic.h"
#include "mifareclassiccard.h"
#include "readerlink.h"
#include "serialports.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestTagbenchSim : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir temporary;

private slots:
    void init()
    {
        // Announcements go to the temporary directory: keep this test's own.
        QVERIFY(temporary.isValid());
        qputenv("TMPDIR", QFile::encodeName(temporary.path()));
    }

    void cardArguments_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("made");  // start of the description, or of the error
        QTest::newRow("MIFARE 1K") << "mifare1k:04A23B15" << "MIFARE Classic 1K, UID 04 A2 3B 15";
        QTest::newRow("kind in capitals") << "MIFARE1K:0102abcd" << "MIFARE Classic 1K, UID 01 02 AB CD";
        QTest::newRow("MIFARE 1K, 7-byte UID") << "mifare1k:04C3D5E7A9B1C2" << "MIFARE Classic 1K, UID 04 C3 D5 E7 A9 B1 C2";
        QTest::newRow("MIFARE 1K, key") << "mifare1k:04A23B15:a0a1a2a3a4a5" << "MIFARE Classic 1K, UID 04 A2 3B 15, clés A et B A0A1A2A3A4A5";
        QTest::newRow("MIFARE 4K") << "mifare4k:04A23B15" << "MIFARE Classic 4K, UID 04 A2 3B 15";
        QTest::newRow("MIFARE 4K, 7-byte UID, key")
            << "mifare4k:04C3D5E7A9B1C2:3C5E7A91B2D4" << "MIFARE Classic 4K, UID 04 C3 D5 E7 A9 B1 C2, clés A et B 3C5E7A91B2D4";
        QTest::newRow("Ultralight") << "ultralight:04A23B91C42E80" << "MIFARE Ultralight, UID 04 A2 3B 91 C4 2E 80";
        QTest::newRow("ISO 15693") << "iso15693:E004010866215731" << "tag ISO 15693, UID E0 04 01 08 66 21 57 31, DSFID 00, AFI 00";
        QTest::newRow("ISO 15693, DSFID, AFI") << "iso15693:E004010866215731:05:12" << "tag ISO 15693, UID E0 04 01 08 66 21 57 31, DSFID 05, AFI 12";
        QTest::newRow("UID too short") << "mifare1k:04A23B" << "« 04A23B » : il faut 8 ou 14 chiffres";
        QTest::newRow("not hexadecimal") << "mifare1k:04A23BXY" << "« 04A23BXY » : il faut 8 ou 14 chiffres";
        QTest::newRow("MIFARE 1K, 5-byte UID") << "mifare1k:04A23B1516" << "« 04A23B1516 » : il faut 8 ou 14 chiffres";
        QTest::newRow("MIFARE 4K, UID too short") << "mifare4k:04A2" << "« 04A2 » : il faut 8 ou 14 chiffres";
        QTest::newRow("key too short") << "mifare1k:04A23B15:A0A1A2" << "« A0A1A2 » : il faut 12 chiffres hexadécimaux";
        QTest::newRow("key not hexadecimal") << "mifare4k:04A23B15:A0A1A2A3A4AZ" << "« A0A1A2A3A4AZ » : il faut 12 chiffres";
        QTest::newRow("empty key") << "mifare1k:04A23B15:" << "«  » : il faut 12 chiffres";
        QTest::newRow("bad UID before a good key") << "mifare4k:04A2:A0A1A2A3A4A5" << "« 04A2 » : il faut 8 ou 14 chiffres";
        QTest::newRow("more after the key") << "mifare4k:04A23B15:A0A1A2A3A4A5:00" << "« mifare4k:04A23B15:A0A1A2A3A4A5:00 » : carte inconnue";
        QTest::newRow("Ultralight, 4-byte UID") << "ultralight:04A23B15" << "« 04A23B15 » : il faut 14 chiffres";
        QTest::newRow("ISO 15693 UID not E0") << "iso15693:0104010866215731" << "« 0104010866215731 » : l'UID";
        QTest::newRow("bad DSFID") << "iso15693:E004010866215731:5" << "« 5 » : il faut 2 chiffres";
        QTest::newRow("unknown card") << "felica:0102" << "« felica:0102 » : carte inconnue";
        QTest::newRow("missing UID") << "mifare1k" << "« mifare1k » : carte inconnue";
    }

    void cardArguments()
    {
        QFETCH(QString, argument);
        QFETCH(QString, made);
        const CardArgument::Parsed parsed = CardArgument::parse(argument);
        QCOMPARE(bool(parsed.card), parsed.error.isEmpty());
        const QString said = parsed.card ? parsed.description : parsed.error;
        QVERIFY2(said.startsWith(made), qPrintable(said));
    }

    void demoCardsAreUsableAsSetUp()
    {
        const auto cards = CardArgument::demo();
        QCOMPARE(int(cards.size()), 3);
        auto *classic = dynamic_cast<MifareClassicCard *>(cards.at(0).card.get());
        QVERIFY(classic);
        QCOMPARE(classic->block(7).left(6), QByteArray("\x3C\x5E\x7A\x91\xB2\xD4", 6));
        QCOMPARE(classic->block(11).left(6), QByteArray(6, '\xFF'));  // the other sectors keep the transport key
        QCOMPARE(classic->block(4), QByteArray("Bonjour TagBench"));
        auto *first = dynamic_cast<Iso15693Tag *>(cards.at(1).card.get());
        auto *second = dynamic_cast<Iso15693Tag *>(cards.at(2).card.get());
        QVERIFY(first && second);
        QVERIFY((first->uid() & 0x0F) != (second->uid() & 0x0F));  // different inventory slots
    }

    void announcementLinksAndWithdraws()
    {
        BenchAnnouncement first;
        BenchAnnouncement second;
        QVERIFY(first.announce("/dev/null"));
        QVERIFY(second.announce("/dev/zero"));
        QCOMPARE(QFileInfo(first.linkPath()).fileName(), QStringLiteral("ttyTAGBENCH0"));
        QCOMPARE(QFileInfo(second.linkPath()).fileName(), QStringLiteral("ttyTAGBENCH1"));
        QCOMPARE(QFileInfo(second.linkPath()).symLinkTarget(), QStringLiteral("/dev/zero"));
        const QString path = first.linkPath();
        first.withdraw();
        QVERIFY(!QFileInfo(path).isSymLink());

        // A link whose bench died is taken over.
        QVERIFY(QFile::link(temporary.filePath("no-such-pty"), path));
        BenchAnnouncement third;
        QVERIFY(third.announce("/dev/null"));
        QCOMPARE(third.linkPath(), path);
    }

    void windowListsRunningBenchesFirst()
    {
        BenchAnnouncement bench;
        QVERIFY(bench.announce("/dev/null"));
        QVERIFY(QFile::link(temporary.filePath("gone"), temporary.filePath("ttyTAGBENCH7")));
        const QList<SerialPortEntry> ports = SerialPorts::available();
        QVERIFY(!ports.isEmpty());
        QCOMPARE(ports.first().friendlyName, QStringLiteral("Banc virtuel TagBench (%1)").arg(bench.linkPath()));
        for (const SerialPortEntry &port : ports)
            QVERIFY2(!port.friendlyName.contains("ttyTAGBENCH7"), "a dead bench is listed");
    }

    void programServesTheDemoCards()
    {
        QProcess sim;
        const QString vcd = temporary.filePath(QStringLiteral("banc.vcd"));
        const QString pcapng = temporary.filePath(QStringLiteral("banc.pcapng"));
        sim.start(QStringLiteral(TAGBENCH_SIM), { "--no-window", "--trace", "--capture", vcd, "--pcap", pcapng });
        QVERIFY(sim.waitForStarted(5000));
        QString output;
        const QRegularExpression ready("prêt sur (\\S+)");
        // The banner ends with how to stop the bench.
        while (!output.contains(QStringLiteral("Ctrl+C pour arrêter.")) && sim.waitForReadyRead(5000))
            output += QString::fromUtf8(sim.readAllStandardOutput());
        const QString device = ready.match(output).captured(1);
        QVERIFY2(!device.isEmpty(), qPrintable(output));
        QVERIFY2(output.contains("ttyTAGBENCH0"), qPrintable(output));

        {
            ReaderLink link(temporary.filePath("ttyTAGBENCH0"));  // through the announcement
            QTest::ignoreMessage(QtDebugMsg, " open: 1");
            link.open();
            Iso14443aProtocol iso(&link);
            iso.request();
            iso.anticollisionLevel1();
            iso.select();
            QCOMPARE(QByteArray(reinterpret_cast<char *>(iso.uid), 4), QByteArray("\x04\xA2\x3B\x15"));
            MifareClassic mifare(&iso);
            const quint8 key[] = { 0x3C, 0x5E, 0x7A, 0x91, 0xB2, 0xD4 };
            std::copy(std::begin(key), std::end(key), mifare.key);
            mifare.encodeKey();
            mifare.loadKey();
            QTest::ignoreMessage(QtDebugMsg, "AUTH OK IF 0X08: 8");
            mifare.authenticate(0x60, 4);
            quint8 block[16] = {};
            mifare.readBlock(4, block);
            QCOMPARE(QByteArray(reinterpret_cast<char *>(block), 16), QByteArray("Bonjour TagBench"));

            Iso15693Protocol vicinity(&link);
            vicinity.loadConfiguration();
            vicinity.inventory(0x06, 0x00);
            QCOMPARE(vicinity.uid[7], quint8(0xE0));
            QCOMPARE(vicinity.secondUid[7], quint8(0xE0));
            QVERIFY(vicinity.uid[0] != vicinity.secondUid[0]);
        }

        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        QVERIFY(!QFileInfo(temporary.filePath("ttyTAGBENCH0")).isSymLink());

        // The trace: each access, and the frames it sent on the air after it.
        output += QString::fromUtf8(sim.readAllStandardOutput());
        // Each frame with its place on the air and its timings.
        const QRegularExpression exchange(QStringLiteral(
            "w Command\\(01\\) = 1E Transceive\n  → REQA 26 \\(7 bits\\)\n      n° \\d+, de [\\d,]+ à [\\d,]+ µs "
            "\\([\\d,]+ µs\\)[^\n]* ; pause = 2,9 µs \\(2,1 à 3,0\\)\n  ← ATQA 04 00\n      n° \\d+, [^\n]*"
            "FDT carte = 86,4 µs \\(= 86,4\\)\nr FIFOLength\\(04\\) -> 02"));
        QVERIFY2(output.contains(exchange), qPrintable(output.left(3000)));
        QVERIFY(output.contains(QStringLiteral("  → READ SINGLE BLOCK")) || output.contains(QStringLiteral("  → INVENTORY 16 créneaux")));
        // Every capture in the value change dump, the inventory's among them.
        QFile dump(vcd);
        QVERIFY(dump.open(QIODevice::ReadOnly));
        const QByteArray text = dump.readAll();
        QVERIFY(text.startsWith("$version"));
        QVERIFY(text.contains("$var wire 1 ! MFOUT $end"));
        QVERIFY(text.count("\n#") > 100);
        // The type A frames in the pcapng, behind their pseudo-header (the
        // version, the direction, the length), and the ISO 15693 inventory
        // (flags 06, command 01, no mask, then its CRC) kept out of it.
        QFile frames(pcapng);
        QVERIFY(frames.open(QIODevice::ReadOnly));
        const QByteArray packets = frames.readAll();
        QVERIFY(packets.startsWith("\x0A\x0D\x0D\x0A"));  // a pcapng section header
        QVERIFY(packets.contains(QByteArray("\x00\xFE\x00\x01\x26", 5)));  // REQA
        QVERIFY(packets.contains(QByteArray("\x00\xFF\x00\x02\x04\x00", 6)));  // ATQA
        QVERIFY(packets.contains(QByteArray("\x00\xFE\x00\x09\x93\x70\x04\xA2\x3B\x15\x88", 11)));  // SELECT
        QVERIFY(!packets.contains(QByteArray("\x00\xFE\x00\x05\x06\x01\x00", 7)));
    }

    void programsAnswerHelpAndVersionWithoutADisplay_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("answer");
        QTest::newRow("tagbench --version") << TAGBENCH_APP << "--version" << "tagbench 1.01\n";
        QTest::newRow("tagbench --help") << TAGBENCH_APP << "--help" << "-v, --version";
        QTest::newRow("tagbench-sim --version") << TAGBENCH_SIM << "--version" << "tagbench-sim 1.01\n";
        QTest::newRow("tagbench-sim --help") << TAGBENCH_SIM << "--help" << "--real-time";
    }

    void programsAnswerHelpAndVersionWithoutADisplay()
    {
        QFETCH(QString, program);
        QFETCH(QString, option);
        QFETCH(QString, answer);
        QProcess process;
        // A window could not open here: the answer must come without one.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        process.setProcessEnvironment(environment);
        process.start(program, { option });
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        const QString output = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(output.contains(answer), qPrintable(output));
    }

    void programRunsFromTheTerminalWhenItsDisplayIsGone()
    {
        // A DISPLAY left over from an SSH session names no X server.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":4321"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        QProcess sim;
        sim.setProcessEnvironment(environment);
        sim.start(QStringLiteral(TAGBENCH_SIM), QStringList());
        QVERIFY(sim.waitForStarted(5000));
        QString output;
        while (!output.contains(QStringLiteral("Ctrl+C pour arrêter.")) && sim.waitForReadyRead(5000))
            output += QString::fromUtf8(sim.readAllStandardOutput());
        QVERIFY2(output.contains(QStringLiteral("prêt sur")), qPrintable(output));
        QVERIFY(QFileInfo(temporary.filePath("ttyTAGBENCH0")).isSymLink());
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        const QString errors = QString::fromUtf8(sim.readAllStandardError());
        QVERIFY2(errors.contains(QStringLiteral("Affichage :4321 injoignable")), qPrintable(errors));
    }

    // Started under nohup, the bench outlives the hang-up it was told to
    // ignore; SIGTERM still stops it, cleanly.
    void programStartedIgnoringHangUpsOutlivesOne()
    {
        QProcess sim;
        sim.setChildProcessModifier([] { ::signal(SIGHUP, SIG_IGN); });
        sim.start(QStringLiteral(TAGBENCH_SIM), { "--no-window", "--no-announce" });
        QVERIFY(sim.waitForStarted(5000));
        QString output;
        while (!output.contains(QStringLiteral("Ctrl+C pour arrêter.")) && sim.waitForReadyRead(5000))
            output += QString::fromUtf8(sim.readAllStandardOutput());
        QVERIFY2(output.contains(QStringLiteral("prêt sur")), qPrintable(output));
        ::kill(pid_t(sim.processId()), SIGHUP);
        QVERIFY(!sim.waitForFinished(1000));
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
    }

    void windowProgramSaysWhenThereIsNoDisplay_data()
    {
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("message");
        QTest::newRow("no display at all") << "" << "aucun affichage";
        QTest::newRow("display gone") << ":4321" << "affichage :4321 injoignable";
    }

    void windowProgramSaysWhenThereIsNoDisplay()
    {
        QFETCH(QString, display);
        QFETCH(QString, message);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        if (!display.isEmpty())
            environment.insert(QStringLiteral("DISPLAY"), display);
        QProcess tagbench;
        tagbench.setProcessEnvironment(environment);
        tagbench.start(QStringLiteral(TAGBENCH_APP), QStringList());
        QVERIFY(tagbench.waitForFinished(10000));
        QCOMPARE(tagbench.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tagbench.exitCode(), 2);
        const QString errors = QString::fromUtf8(tagbench.readAllStandardError());
        QVERIFY2(errors.contains(message), qPrintable(errors));
        QVERIFY2(errors.contains(QStringLiteral("TagBench a besoin d'un affichage graphique")), qPrintable(errors));
    }

    void programRefusesABadCard()
    {
        QProcess sim;
        sim.start(QStringLiteral(TAGBENCH_SIM), { "--no-window", "--card", "mifare1k:12" });
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY(QString::fromUtf8(sim.readAllStandardError()).contains("il faut 8 ou 14 chiffres"));
    }
};

QTEST_GUILESS_MAIN(TestTagbenchSim)
#include "tst_tagbenchsim.moc"
