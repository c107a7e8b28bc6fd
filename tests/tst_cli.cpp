// tagbench-cli as users run it: the program against a tagbench-sim started
// here with its demo cards, its exit statuses and French messages, and the
// pure parts of its arguments and images.

#include "clitext.h"
#include "mifareimage.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

constexpr int QuickMs = 20000;
constexpr int WholeCardMs = 180000;  // a dump or restore waits the card's times, sector by sector

struct Result
{
    int status = -1;
    QString out;
    QString err;
};

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir temporary;
    QProcess sim;
    QString port;

    Result cli(const QStringList &arguments, int timeoutMs = QuickMs)
    {
        QProcess process;
        process.setWorkingDirectory(temporary.path());
        process.start(QStringLiteral(TAGBENCH_CLI), QStringList { "--port", port } + arguments);
        Result result;
        if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit) {
            process.kill();
            process.waitForFinished(QuickMs);
            return result;
        }
        result.status = process.exitCode();
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    // Starts a bench that does not announce itself; its port, or nothing.
    static QString startSim(QProcess &process, const QStringList &arguments)
    {
        process.start(QStringLiteral(TAGBENCH_SIM), QStringList { "--no-window", "--no-announce" } + arguments);
        if (!process.waitForStarted(QuickMs))
            return QString();
        QString output;
        while (!output.contains(QStringLiteral("Ctrl+C pour arrêter.")) && process.waitForReadyRead(QuickMs))
            output += QString::fromUtf8(process.readAllStandardOutput());
        static const QRegularExpression ready(QStringLiteral("prêt sur (\\S+)"));
        return ready.match(output).captured(1);
    }

    QString path(const char *name) const { return temporary.filePath(QLatin1String(name)); }

    QByteArray fileBytes(const QString &name) const
    {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void writeBytes(const QString &name, const QByteArray &bytes)
    {
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(temporary.isValid());
        qputenv("TMPDIR", QFile::encodeName(temporary.path()));  // the bench announces itself here
        sim.start(QStringLiteral(TAGBENCH_SIM), { "--no-window" });
        QVERIFY(sim.waitForStarted(5000));
        QString output;
        while (!output.contains(QStringLiteral("Ctrl+C pour arrêter.")) && sim.waitForReadyRead(5000))
            output += QString::fromUtf8(sim.readAllStandardOutput());
        port = temporary.filePath(QStringLiteral("ttyTAGBENCH0"));
        QVERIFY2(QFileInfo(port).isSymLink(), qPrintable(output));
    }

    void cleanupTestCase()
    {
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
    }

    void hexBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("bytes");  // empty: refused
        QTest::newRow("key") << "3c5E7A91B2D4" << 6 << QByteArray::fromHex("3C5E7A91B2D4");
        QTest::newRow("one digit short") << "3C5E7A91B2D" << 6 << QByteArray();
        QTest::newRow("one digit more") << "3C5E7A91B2D40" << 6 << QByteArray();
        QTest::newRow("not hexadecimal") << "3C5E7A91B2DG" << 6 << QByteArray();
        QTest::newRow("spaces") << "3C 5E 7A 91 " << 6 << QByteArray();
        QTest::newRow("non-ASCII digit") << QString::fromUtf8("３C5E7A91B2D4") << 6 << QByteArray();
    }

    void hexBytes()
    {
        QFETCH(QString, text);
        QFETCH(int, count);
        QFETCH(QByteArray, bytes);
        QCOMPARE(CliText::hexBytes(text, count).value_or(QByteArray()), bytes);
    }

    void keyList_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("keys");
        QTest::addColumn<QString>("error");
        QTest::newRow("keys, comment, blank") << QByteArray("# mes clés\nA0A1A2A3A4A5\n\n  b0b1b2b3b4b5 \r\n") << 2 << "";
        QTest::newRow("empty file") << QByteArray() << 0 << "";
        QTest::newRow("short key") << QByteArray("A0A1A2A3A4A5\nA0A1\n") << 0 << "ligne 2 : il faut une clé";
        QTest::newRow("binary") << QByteArray("\x00\xFF\xFE", 3) << 0 << "ligne 1";
    }

    void keyList()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, keys);
        QFETCH(QString, error);
        const CliText::KeyList list = CliText::keyList(content);
        QCOMPARE(list.keys.size(), keys);
        QVERIFY2(error.isEmpty() ? list.error.isEmpty() : list.error.startsWith(error), qPrintable(list.error));
    }

    void imageLayout_data()
    {
        QTest::addColumn<int>("sector");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("trailer");
        QTest::newRow("first sector") << 0 << 0 << 3;
        QTest::newRow("last of a 1K") << 15 << 60 << 63;
        QTest::newRow("last small sector of a 4K") << 31 << 124 << 127;
        QTest::newRow("first large sector") << 32 << 128 << 143;
        QTest::newRow("last sector of a 4K") << 39 << 240 << 255;
    }

    void imageLayout()
    {
        QFETCH(int, sector);
        QFETCH(int, first);
        QFETCH(int, trailer);
        QCOMPARE(MifareImage::firstBlockOf(sector), first);
        QCOMPARE(MifareImage::trailerOf(sector), trailer);
        QCOMPARE(MifareImage::sectorCount(MifareImage::Size1K), 16);
        QCOMPARE(MifareImage::sectorCount(MifareImage::Size4K), 40);
    }

    // What restore does with each block: never block 0; a trailer only when
    // asked for, and only with consistent access bits.
    void restoreOfEachBlock_data()
    {
        QTest::addColumn<int>("imageSize");
        QTest::addColumn<int>("block");
        QTest::addColumn<bool>("withTrailers");
        QTest::addColumn<QByteArray>("accessBits");
        QTest::addColumn<int>("restore");
        using R = MifareImage::Restore;
        const QByteArray transport = QByteArray::fromHex("FF0780");
        const QByteArray flipped = QByteArray::fromHex("FF0781");
        QTest::newRow("block 0") << MifareImage::Size1K << 0 << true << transport << int(R::Keep);
        QTest::newRow("data block") << MifareImage::Size1K << 1 << false << flipped << int(R::Write);
        QTest::newRow("trailer unasked for") << MifareImage::Size1K << 7 << false << transport << int(R::Keep);
        QTest::newRow("trailer") << MifareImage::Size1K << 7 << true << transport << int(R::Write);
        QTest::newRow("inconsistent trailer") << MifareImage::Size1K << 7 << true << flipped << int(R::KeepInconsistent);
        QTest::newRow("large sector's data") << MifareImage::Size4K << 143 - 1 << true << flipped << int(R::Write);
        QTest::newRow("large sector's trailer") << MifareImage::Size4K << 143 << true << flipped << int(R::KeepInconsistent);
        QTest::newRow("past the image") << MifareImage::Size1K << 64 << true << transport << int(R::Keep);
    }

    void restoreOfEachBlock()
    {
        QFETCH(int, imageSize);
        QFETCH(int, block);
        QFETCH(bool, withTrailers);
        QFETCH(QByteArray, accessBits);
        QFETCH(int, restore);
        QByteArray image(imageSize, '\0');
        for (int sector = 0; sector < MifareImage::sectorCount(imageSize); ++sector)
            image.replace(MifareImage::trailerOf(sector) * 16 + 6, 3, accessBits);
        QCOMPARE(int(MifareImage::restoreOf(image, block, withTrailers)), restore);
    }

    void badUsage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("no command") << QStringList() << "il manque la commande";
        QTest::newRow("unknown command") << QStringList { "lire" } << "commande inconnue : lire";
        QTest::newRow("unknown option") << QStringList { "--cle", "FF", "identify" } << "option inconnue : cle";
        QTest::newRow("option without value") << QStringList { "identify", "--key" } << "option sans sa valeur";
        QTest::newRow("block past 255") << QStringList { "read", "256" } << "il faut un bloc de 0 à 255";
        QTest::newRow("block in words") << QStringList { "read", "quatre" } << "« quatre » : il faut un bloc de 0 à 255";
        QTest::newRow("short key") << QStringList { "read", "4", "--key", "3C5E" } << "--key : il faut 12 chiffres";
        QTest::newRow("short data") << QStringList { "write", "4", "0011" } << "il faut 32 chiffres";
        QTest::newRow("missing data") << QStringList { "write", "4" } << "il faut un numéro de bloc et 16 octets";
        QTest::newRow("slots") << QStringList { "inventory", "--slots", "4" } << "--slots : 1 ou 16";
        QTest::newRow("AFI") << QStringList { "inventory", "--afi", "123" } << "--afi : il faut 2 chiffres";
        QTest::newRow("tag UID") << QStringList { "read15", "0", "--uid", "E004" } << "--uid : il faut 16 chiffres";
        QTest::newRow("data of a tag block") << QStringList { "write15", "0", "00112233FF" } << "il faut 8 chiffres";
        QTest::newRow("missing dump file") << QStringList { "restore", "absent.bin" } << "absent.bin : lecture impossible";
        QTest::newRow("identify with an argument") << QStringList { "identify", "4" } << "ne prend pas d'argument";
        QTest::newRow("tag information with a UID short") << QStringList { "info", "--uid", "E0" } << "--uid : il faut 16 chiffres";
    }

    void badUsage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const Result result = cli(arguments);
        QCOMPARE(result.status, 2);
        QVERIFY2(result.err.contains(message), qPrintable(result.err));
        QVERIFY(result.out.isEmpty());
    }

    void badDumpFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << QByteArray() << "pas 0";
        QTest::newRow("a byte short") << QByteArray(1023, '\xFF') << "pas 1023";
        QTest::newRow("between the sizes") << QByteArray(2048, '\0') << "pas 2048";
        QTest::newRow("past a 4K") << QByteArray(4097, '\0') << "fichier trop grand";
    }

    void badDumpFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        writeBytes(path("mauvais.bin"), content);
        const Result result = cli({ "restore", path("mauvais.bin") });
        QCOMPARE(result.status, 2);
        QVERIFY2(result.err.contains(message), qPrintable(result.err));
    }

    void badKeysFile()
    {
        writeBytes(path("cles.txt"), "FFFFFFFFFFFF\nA0A1A2\n");
        const Result result = cli({ "dump", path("d.bin"), "--keys", path("cles.txt") });
        QCOMPARE(result.status, 2);
        QVERIFY2(result.err.contains("ligne 2 : il faut une clé de 12 chiffres"), qPrintable(result.err));
        QVERIFY(!QFile::exists(path("d.bin")));
    }

    void versionAndHelp()
    {
        QCOMPARE(cli({ "--version" }).out, QStringLiteral("tagbench-cli 1.01\n"));
        const Result help = cli({ "--help" });
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.contains("Statut de sortie"));
    }

    void noBoard()
    {
        port = path("pas-de-port");
        const Result result = cli({ "identify" });
        port = temporary.filePath(QStringLiteral("ttyTAGBENCH0"));
        QCOMPARE(result.status, 3);
        QVERIFY2(result.err.contains("impossible d'ouvrir le port"), qPrintable(result.err));
    }

    void identify()
    {
        const Result result = cli({ "identify" });
        QCOMPARE(result.status, 0);
        QCOMPARE(result.out, QStringLiteral("ATQA : 0x0004\nUID : 04A23B15\nSAK : 0x08\n"));
    }

    void readBlock_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::newRow("sector 1 with its key")
            << QStringList { "read", "4", "--key", "3C5E7A91B2D4" } << 0 << QString::fromLatin1(QByteArray("Bonjour TagBench").toHex().toUpper() + "\n");
        QTest::newRow("sector 1 with the transport key") << QStringList { "read", "4" } << 1 << "";
        QTest::newRow("block 0 with the transport key")
            << QStringList { "read", "0" } << 0 << "04A23B15880804005442313031002026\n";
    }

    void readBlock()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        const Result result = cli(arguments);
        QCOMPARE(result.status, status);
        QCOMPARE(result.out, out);
        if (status != 0)
            QVERIFY2(result.err.contains("authentification refusée"), qPrintable(result.err));
    }

    void writeThenRead()
    {
        const QString data = QStringLiteral("00112233445566778899AABBCCDDEEFF");
        QCOMPARE(cli({ "write", "6", data, "--key", "3C5E7A91B2D4" }).status, 0);
        QCOMPARE(cli({ "read", "6", "--key", "3C5E7A91B2D4" }).out, data + "\n");
        const Result refused = cli({ "write", "9", data, "--key", "3C5E7A91B2D4" });
        QCOMPARE(refused.status, 1);
    }

    void dumpHoldsTheCardAndItsKeys()
    {
        const Result result = cli({ "dump", path("carte.bin"), "--journal", path("journal.pcapng") }, WholeCardMs);
        QCOMPARE(result.status, 0);
        const QByteArray image = fileBytes(path("carte.bin"));
        QCOMPARE(image.size(), MifareImage::Size1K);
        // The blocks as the card gives them to the read command.
        for (const int block : { 0, 4, 5, 6, 8 }) {
            const Result read = cli({ "read", QString::number(block), "--key", block / 4 == 1 ? "3C5E7A91B2D4" : "FFFFFFFFFFFF" });
            QCOMPARE(read.status, 0);
            QCOMPARE(CliText::hex(image.mid(block * 16, 16)) + "\n", read.out);
        }
        // Each trailer holds the key that opened its sector.
        QCOMPARE(image.mid(7 * 16, 6), QByteArray::fromHex("3C5E7A91B2D4"));
        for (const int sector : { 0, 2, 15 })
            QCOMPARE(image.mid(MifareImage::trailerOf(sector) * 16, 6), QByteArray::fromHex("FFFFFFFFFFFF"));
        QVERIFY2(result.out.contains("bloc   4 426F6E6A6F75722054616742656E6368  clé A : lecture"), qPrintable(result.out));
        QVERIFY(fileBytes(path("journal.pcapng")).startsWith("\x0A\x0D\x0D\x0A"));
    }

    void restoreThenDumpGivesTheImage()
    {
        QByteArray image = fileBytes(path("carte.bin"));
        QCOMPARE(image.size(), MifareImage::Size1K);
        const QByteArray blockZero = image.left(16);
        image.replace(5 * 16, 16, "restaure bloc 5!");
        image.replace(62 * 16, 16, "dernier secteur.");
        image[0] = '\x99';  // never written back: block 0 is the card's own
        writeBytes(path("modifiee.bin"), image);
        QCOMPARE(cli({ "restore", path("modifiee.bin") }, WholeCardMs).status, 0);
        QCOMPARE(cli({ "dump", path("relue.bin") }, WholeCardMs).status, 0);
        image.replace(0, 16, blockZero);
        QCOMPARE(fileBytes(path("relue.bin")), image);
    }

    // A 4K: 32 sectors of 4 blocks, then 8 of 16, each opened and mapped.
    void dumpOfA4KCard()
    {
        QProcess large;
        const QString largePort = startSim(large, { "--card", "mifare4k:0A0B0C0D" });
        QVERIFY(!largePort.isEmpty());
        const QString demoPort = std::exchange(port, largePort);
        const Result result = cli({ "dump", path("grande.bin"), "--4k" }, 4 * WholeCardMs);
        const Result last = cli({ "read", "254" });
        port = demoPort;
        large.terminate();
        QVERIFY(large.waitForFinished(QuickMs));
        QCOMPARE(result.status, 0);
        const QByteArray image = fileBytes(path("grande.bin"));
        QCOMPARE(image.size(), MifareImage::Size4K);
        QCOMPARE(image.left(4), QByteArray::fromHex("0A0B0C0D"));
        QCOMPARE(last.status, 0);
        QCOMPARE(CliText::hex(image.mid(254 * 16, 16)) + "\n", last.out);
        QCOMPARE(image.mid(MifareImage::trailerOf(39) * 16, 6), QByteArray::fromHex("FFFFFFFFFFFF"));
        QVERIFY2(result.out.contains(QStringLiteral("Secteur 39")), qPrintable(result.out.right(400)));
        QVERIFY2(result.out.contains(QStringLiteral("bloc 254")), qPrintable(result.out.right(400)));
    }

    // With --trailers, a trailer is written back only when its access bits
    // agree with their complements: the card would lock its sector for good
    // on the others.
    void restoreWritesOnlyConsistentTrailers()
    {
        QCOMPARE(cli({ "dump", path("avant.bin") }, WholeCardMs).status, 0);
        QByteArray image = fileBytes(path("avant.bin"));
        QCOMPARE(image.size(), MifareImage::Size1K);
        const int keyB = MifareImage::BlockLength - MifareImage::KeyLength;
        image.replace(MifareImage::trailerOf(2) * 16 + keyB, 6, QByteArray::fromHex("B0B1B2B3B4B5"));
        image.replace(MifareImage::trailerOf(3) * 16 + keyB, 6, QByteArray::fromHex("C0C1C2C3C4C5"));
        image[MifareImage::trailerOf(3) * 16 + 8] = char(image[MifareImage::trailerOf(3) * 16 + 8] ^ 0x01);
        writeBytes(path("cles-b.bin"), image);
        const Result restored = cli({ "restore", path("cles-b.bin"), "--trailers" }, WholeCardMs);
        QCOMPARE(restored.status, 1);
        QVERIFY2(restored.err.contains("secteur 3 : bits d'accès incohérents"), qPrintable(restored.err));
        QCOMPARE(cli({ "dump", path("apres.bin") }, WholeCardMs).status, 0);
        const QByteArray after = fileBytes(path("apres.bin"));
        QCOMPARE(after.mid(MifareImage::trailerOf(2) * 16 + keyB, 6), QByteArray::fromHex("B0B1B2B3B4B5"));
        QCOMPARE(after.mid(MifareImage::trailerOf(3) * 16, 16), fileBytes(path("avant.bin")).mid(MifareImage::trailerOf(3) * 16, 16));
    }

    // Pipes and devices are not dump or key files: reading them could wait
    // for ever.
    void pipesAreRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("dump file") << QStringList { "restore", "tube" };
        QTest::newRow("keys file") << QStringList { "dump", "d.bin", "--keys", "tube" };
        QTest::newRow("device") << QStringList { "restore", "/dev/zero" };
    }

    void pipesAreRefused()
    {
        QFETCH(QStringList, arguments);
        QVERIFY(QFile::exists(path("tube")) || ::mkfifo(QFile::encodeName(path("tube")).constData(), 0600) == 0);
        const Result result = cli(arguments);
        QCOMPARE(result.status, 2);
        QVERIFY2(result.err.contains("pas un fichier ordinaire"), qPrintable(result.err));
    }

    void inventoryListsBothTags_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("out");
        QTest::newRow("16 slots") << QStringList { "inventory" } << "E004010866215731\nE00700004E0D125A\n";
        QTest::newRow("AFI 12") << QStringList { "inventory", "--afi", "12" } << "E00700004E0D125A\n";
    }

    void inventoryListsBothTags()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, out);
        const Result result = cli(arguments);
        QCOMPARE(result.status, 0);
        QCOMPARE(result.out, out);
    }

    // Five tags, two pairs of them sharing a slot of the first round: every
    // one is listed, in 16 slots as in one.
    void inventoryListsEveryTag_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("uids");
        const QStringList all { "E004010000000113", "E004010000000223", "E004010000000306", "E004010000000455",
                                "E004010000000555" };
        QTest::newRow("16 slots") << QStringList { "inventory" } << all;
        QTest::newRow("one slot") << QStringList { "inventory", "--slots", "1" } << all;
        QTest::newRow("AFI 12") << QStringList { "inventory", "--afi", "12" } << QStringList { "E004010000000306" };
    }

    void inventoryListsEveryTag()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, uids);
        QProcess crowded;
        QStringList tags;
        for (const char *tag : { "E004010000000113", "E004010000000223", "E004010000000306:44:12", "E004010000000455",
                                 "E004010000000555" })
            tags << "--card" << QStringLiteral("iso15693:") + QLatin1String(tag);
        const QString crowdedPort = startSim(crowded, tags);
        QVERIFY(!crowdedPort.isEmpty());
        const QString demoPort = std::exchange(port, crowdedPort);
        const Result result = cli(arguments);
        port = demoPort;
        crowded.terminate();
        QVERIFY(crowded.waitForFinished(QuickMs));
        QCOMPARE(result.status, 0);
        QStringList listed = result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        listed.sort();
        QCOMPARE(listed, uids);
    }

    void tagInformation_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("one tag") << QStringList { "info", "--uid", "E00700004E0D125A" } << 0
                                 << "UID : E00700004E0D125A\nDSFID : 05\nAFI : 12\nmémoire : 28 blocs de 4 octets\n"
                                    "référence du circuit : 01\n";
        QTest::newRow("both tags at once") << QStringList { "info" } << 1 << "réponses superposées";
        QTest::newRow("a tag not there") << QStringList { "info", "--uid", "E004010000000001" } << 1
                                         << "aucun tag ne répond";
    }

    void tagInformation()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, text);
        const Result result = cli(arguments);
        QCOMPARE(result.status, status);
        if (status == 0)
            QCOMPARE(result.out, text);
        else
            QVERIFY2(result.err.contains(text), qPrintable(result.err));
    }

    void tagBlocks()
    {
        const QStringList tag { "--uid", "E00700004E0D125A" };
        QCOMPARE(cli(QStringList { "write15", "3", "CAFE0102" } + tag).status, 0);
        QCOMPARE(cli(QStringList { "read15", "3" } + tag).out, QStringLiteral("CAFE0102\n"));
        const Result other = cli({ "read15", "3", "--uid", "E004010866215731" });
        QCOMPARE(other.status, 0);
        QVERIFY(other.out != QStringLiteral("CAFE0102\n"));
        const Result past = cli(QStringList { "read15", "200" } + tag);
        QCOMPARE(past.status, 1);
        QVERIFY2(past.err.contains("le tag refuse"), qPrintable(past.err));

        const Result dump = cli(QStringList { "dump15", path("tag.bin") } + tag, WholeCardMs);
        QCOMPARE(dump.status, 0);
        const QByteArray image = fileBytes(path("tag.bin"));
        QCOMPARE(image.size(), 28 * 4);  // the bench's tags have 28 blocks
        QCOMPARE(image.mid(3 * 4, 4), QByteArray::fromHex("CAFE0102"));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
