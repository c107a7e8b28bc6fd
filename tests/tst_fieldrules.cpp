// The window's text rules, without widgets: how a field's text becomes a
// value, how bytes and numbers are written back, and how the connection bar
// turns what the port box shows into a port name.

#include "fieldtext.h"
#include "portname.h"

#include <QTest>

class TestFieldRules : public QObject
{
    Q_OBJECT

private slots:
    void valueReadsHexadecimalLowByte_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("two digits") << "FF" << 0xFF;
        QTest::newRow("mask blank after") << "2E " << 0x2E;
        QTest::newRow("blanks around") << " 7 " << 0x07;
        QTest::newRow("lower case") << "a3" << 0xA3;
        QTest::newRow("low byte kept") << "1234" << 0x34;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("blank only") << "  " << 0;
        QTest::newRow("not hexadecimal") << "zz" << 0;
        QTest::newRow("beyond a short") << "FFFF" << 0;
        QTest::newRow("digits 10 read as hex") << "10" << 0x10;
    }

    void valueReadsHexadecimalLowByte()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(int(FieldText::value(text)), value);
    }

    void pairsPastTheEndGiveZero_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("bytes");
        QTest::newRow("123") << "123" << QList<int> { 0x12, 0x00, 0x00, 0x00 };
        QTest::newRow("empty") << "" << QList<int> { 0, 0, 0, 0 };
        QTest::newRow("whole") << "0a1b2c3d" << QList<int> { 0x0A, 0x1B, 0x2C, 0x3D };
        QTest::newRow("bad pair") << "12xy56" << QList<int> { 0x12, 0x00, 0x56, 0x00 };
    }

    void pairsPastTheEndGiveZero()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, bytes);
        for (int i = 0; i < bytes.size(); ++i)
            QCOMPARE(int(FieldText::pairValue(text, 2 * i)), bytes.at(i));
    }

    void decimalValue()
    {
        QCOMPARE(int(FieldText::decimalValue("7")), 7);
        QCOMPARE(int(FieldText::decimalValue("63")), 63);
        QCOMPARE(int(FieldText::decimalValue("")), 0);
        QCOMPARE(int(FieldText::decimalValue("0A")), 0);
    }

    void byteAndNumberTexts()
    {
        QCOMPARE(FieldText::byte(0x0A), QStringLiteral("0a"));
        QCOMPARE(FieldText::byte(0xE0), QStringLiteral("e0"));
        QCOMPARE(FieldText::byte(0x00), QStringLiteral("00"));
        const quint8 uid[] = { 0x04, 0xA2, 0x3B, 0x15 };
        QCOMPARE(FieldText::bytes(uid, 4), QStringLiteral("04a23b15"));
        QCOMPARE(FieldText::number(0), QStringLiteral("0"));
        QCOMPARE(FieldText::number(0x05), QStringLiteral("5"));
        QCOMPARE(FieldText::number(0x9A), QStringLiteral("9a"));
        QCOMPARE(FieldText::number(0x0400), QStringLiteral("400"));
    }

    // --- port names ---------------------------------------------------------

    void portNameFromComboText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("changes");
        QTest::addColumn<QString>("port");
        QTest::newRow("COM7 typed") << "COM7" << true << "COM7";
        QTest::newRow("com7 typed") << "com7" << true << "";
        QTest::newRow("friendly COM1") << "Port de communication (COM1)" << true << "COM1";
        QTest::newRow("friendly COM12") << "USB Serial Port (COM12)" << true << "COM12";
        QTest::newRow("abcdef(COM9)") << "abcdef(COM9)" << true << "COM9";
        QTest::newRow("abc(xyz)(COM9)") << "abc(xyz)(COM9)" << true << "";
        // A name in parentheses wins over the description's first letter.
        QTest::newRow("friendly COM1 beginning with C") << "Communications Port (COM1)" << true << "COM1";
        QTest::newRow("friendly path beginning with C") << "CP2102 USB to UART Bridge Controller (/dev/ttyUSB0)"
                                                        << true << "/dev/ttyUSB0";
        QTest::newRow("C, parentheses naming no port") << "CH340 (USB)" << true << "";
        // Only a bare name is taken whole.
        QTest::newRow("COMEMU typed") << "COMEMU" << true << "COMEMU";
        QTest::newRow("too short") << "(COM" << true << "";
        QTest::newRow("no closing parenthesis") << "Port (COM3" << true << "COM3";
        QTest::newRow("empty keeps the last") << "" << false << "";
        QTest::newRow("device path typed") << "/dev/ttyUSB0" << true << "/dev/ttyUSB0";
        QTest::newRow("pseudo-terminal typed") << "/dev/pts/4" << true << "/dev/pts/4";
        QTest::newRow("friendly Linux name") << "FT232R USB UART (/dev/ttyUSB0)" << true << "/dev/ttyUSB0";
        QTest::newRow("ttyUSB0 without path") << "ttyUSB0" << true << "";
    }

    void portNameFromComboText()
    {
        QFETCH(QString, text);
        QFETCH(bool, changes);
        QFETCH(QString, port);
        const std::optional<QString> name = PortName::fromComboText(text);
        QCOMPARE(name.has_value(), changes);
        if (changes)
            QCOMPARE(*name, port);
    }

    void friendlyNames()
    {
        QCOMPARE(PortName::friendlyName("USB Serial Port", "COM3"), QStringLiteral("USB Serial Port (COM3)"));
        QCOMPARE(PortName::friendlyName("", "/dev/ttyS0"), QStringLiteral("/dev/ttyS0"));
        // What the desktop lists comes back to the port it names.
        QCOMPARE(*PortName::fromComboText(PortName::friendlyName("FT232R USB UART", "/dev/ttyUSB0")),
                 QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(*PortName::fromComboText(PortName::friendlyName("USB Serial Port", "COM3")), QStringLiteral("COM3"));
    }

    void listLeavesOutDuplicatesAndParallelPorts()
    {
        const QStringList listed = { "Port de communication (COM1)" };
        QVERIFY(!PortName::joinsList("Port de communication (COM1)", listed));
        QVERIFY(!PortName::joinsList("Port imprimante (LPT1)", {}));
        QVERIFY(PortName::joinsList("port lpt1", {}));  // the test is case-sensitive
        QVERIFY(PortName::joinsList("USB Serial Port (COM3)", listed));
    }
};

QTEST_GUILESS_MAIN(TestFieldRules)
#include "tst_fieldrules.moc"
