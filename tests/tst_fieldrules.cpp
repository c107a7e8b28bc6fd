// The window's text rules, without widgets: how a field's text becomes a
// value, how bytes and numbers are written back, how the connection bar
// turns what the port box shows into a port name and says what went wrong,
// and how a card's refusal reads.

#include "fieldtext.h"
#include "portname.h"
#include "tagerrortext.h"

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

    void pastedHex_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("digits");
        QTest::newRow("0x and a key") << "0x00112233445566778899AABBCCDDEEFF" << true
                                      << "00112233445566778899AABBCCDDEEFF";
        QTest::newRow("blank-separated, lower case") << "26 01 ff" << true << "2601FF";
        QTest::newRow("colons") << "de:ad:be:ef" << true << "DEADBEEF";
        QTest::newRow("C array") << "0x26, 0x01" << true << "2601";
        QTest::newRow("0X, dashes, dots, underscores") << "0X12-34.56_78" << true << "12345678";
        QTest::newRow("tabs, lines, semicolons") << "a0\tb1;\r\nc2" << true << "A0B1C2";
        QTest::newRow("non-hex letter") << "12 3g" << false << "";
        QTest::newRow("z") << "zz" << false << "";
        QTest::newRow("0x inside digits") << "10x2" << false << "";
        QTest::newRow("prefix alone") << "0x" << false << "";
        QTest::newRow("separators alone") << " : - " << false << "";
        QTest::newRow("empty") << "" << false << "";
    }

    void pastedHex()
    {
        QFETCH(QString, pasted);
        QFETCH(bool, taken);
        QFETCH(QString, digits);
        const std::optional<QString> hex = FieldText::pastedHex(pasted);
        QCOMPARE(hex.has_value(), taken);
        if (taken)
            QCOMPARE(*hex, digits);
    }

    void fillsDigits_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("digits");
        QTest::addColumn<bool>("fills");
        QTest::newRow("one short") << "1234567" << 8 << false;
        QTest::newRow("full") << "12345678" << 8 << true;
        QTest::newRow("mask blanks after two") << "AB      " << 8 << false;
        QTest::newRow("two of eight") << "AB" << 8 << false;
        QTest::newRow("empty") << "" << 8 << false;
        QTest::newRow("full, mask blank after") << "ab " << 2 << true;
        QTest::newRow("one too many") << "123" << 2 << false;
        QTest::newRow("blank before") << " 1" << 2 << false;
        QTest::newRow("non-hex") << "1G" << 2 << false;
    }

    void fillsDigits()
    {
        QFETCH(QString, text);
        QFETCH(int, digits);
        QFETCH(bool, fills);
        QCOMPARE(FieldText::fillsDigits(text, digits), fills);
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
        QTest::newRow("abc(xyz)(COM9)") << "abc(xyz)(COM9)" << true << "COM9";
        QTest::newRow("blank after") << "COM3 " << true << "COM3";
        QTest::newRow("blanks only keep the last") << " \t " << false << "";
        // The last name in parentheses is the port, a path up to the last ")".
        QTest::newRow("path after a word in parentheses") << "Foo (COMPANY) (/dev/ttyUSB0)" << true
                                                          << "/dev/ttyUSB0";
        QTest::newRow("COM after a path") << "Foo (/dev/ttyS0) (COM4)" << true << "COM4";
        QTest::newRow("by-id path holding parentheses") << "Adapter (/dev/serial/by-id/usb-x(1)-port0)" << true
                                                        << "/dev/serial/by-id/usb-x(1)-port0";
        QTest::newRow("by-id path after a word in parentheses")
            << "FT232R (FTDI) (/dev/serial/by-id/usb-FTDI(A)-port0)" << true << "/dev/serial/by-id/usb-FTDI(A)-port0";
        QTest::newRow("COM without digits") << "Port (COMX)" << true << "";
        QTest::newRow("COM digits then letters") << "Port (COM3x)" << true << "";
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
        // Linux device names typed bare are looked for under /dev.
        QTest::newRow("ttyUSB0 without path") << "ttyUSB0" << true << "/dev/ttyUSB0";
        QTest::newRow("ttyACM0 without path") << "ttyACM0" << true << "/dev/ttyACM0";
        QTest::newRow("ttyS0 without path") << "ttyS0" << true << "/dev/ttyS0";
        QTest::newRow("ttyAMA0 without path") << "ttyAMA0" << true << "/dev/ttyAMA0";
        QTest::newRow("rfcomm0 without path") << "rfcomm0" << true << "/dev/rfcomm0";
        QTest::newRow("tty alone is no port") << "tty" << true << "";
        QTest::newRow("tty name with a blank") << "ttyUSB 0" << true << "";
        QTest::newRow("tty name with a slash") << "tty/USB0" << true << "";
        QTest::newRow("words") << "abc def" << true << "";
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

    void portMessages_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("port");  // what the message begins with
        QTest::addColumn<QStringList>("words");
        const QString nbsp = QStringLiteral("\u00A0");
        QTest::newRow("unusable") << PortName::unusable("abc def") << "«" + nbsp + "abc def" + nbsp + "»"
                                  << QStringList { "ne désigne aucun port série", "/dev/ttyUSB0", "COM3" };
        QTest::newRow("unusable, blanks around") << PortName::unusable(" abc ") << "«" + nbsp + "abc" + nbsp + "»"
                                                 << QStringList { "aucun port" };
        QTest::newRow("permission on Linux")
            << PortName::openFailure("/dev/ttyUSB0", QSerialPort::PermissionError) << "/dev/ttyUSB0 : "
            << QStringList { "accès refusé", "dialout ?" };
        QTest::newRow("permission on Windows") << PortName::openFailure("COM3", QSerialPort::PermissionError)
                                               << "COM3 : " << QStringList { "accès refusé", "autre programme" };
        QTest::newRow("not found") << PortName::openFailure("/dev/ttyUSB9", QSerialPort::DeviceNotFoundError)
                                   << "/dev/ttyUSB9 : " << QStringList { "introuvable" };
        QTest::newRow("already open") << PortName::openFailure("/dev/ttyUSB0", QSerialPort::OpenError)
                                      << "/dev/ttyUSB0 : " << QStringList { "déjà ouvert" };
        QTest::newRow("other error") << PortName::openFailure("/dev/ttyUSB0", QSerialPort::UnknownError)
                                     << "/dev/ttyUSB0 : " << QStringList { "ouverture impossible" };
        QTest::newRow("no port") << PortName::openFailure("", QSerialPort::DeviceNotFoundError) << ""
                                 << QStringList { "Aucun port choisi" };
        QTest::newRow("lost") << PortName::lost("/dev/ttyUSB0") << "/dev/ttyUSB0 : "
                              << QStringList { "disparu", "débranchée ?" };
    }

    void portMessages()
    {
        QFETCH(QString, message);
        QFETCH(QString, port);
        QFETCH(QStringList, words);
        QVERIFY2(message.startsWith(port), qPrintable(message));
        for (const QString &word : words)
            QVERIFY2(message.contains(word), qPrintable(message));
        // One line for the status bar, never a guillemet without its space.
        QVERIFY(!message.contains(QLatin1Char('\n')));
        QVERIFY(!message.contains(QStringLiteral("« ")) && !message.contains(QStringLiteral(" »")));
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

    // --- card refusals ------------------------------------------------------

    void tagErrorTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("15693 01") << TagErrorText::iso15693(0x01) << "erreur 01, commande non prise en charge";
        QTest::newRow("15693 02") << TagErrorText::iso15693(0x02) << "erreur 02, commande non reconnue (erreur de format)";
        QTest::newRow("15693 03") << TagErrorText::iso15693(0x03) << "erreur 03, option non prise en charge";
        QTest::newRow("15693 0F") << TagErrorText::iso15693(0x0F) << "erreur 0F, erreur sans précision";
        QTest::newRow("15693 10") << TagErrorText::iso15693(0x10) << "erreur 10, bloc inexistant";
        QTest::newRow("15693 11") << TagErrorText::iso15693(0x11) << "erreur 11, bloc déjà verrouillé";
        QTest::newRow("15693 12") << TagErrorText::iso15693(0x12) << "erreur 12, bloc verrouillé, contenu non modifiable";
        QTest::newRow("15693 13") << TagErrorText::iso15693(0x13) << "erreur 13, programmation du bloc échouée";
        QTest::newRow("15693 14") << TagErrorText::iso15693(0x14) << "erreur 14, verrouillage du bloc échoué";
        QTest::newRow("15693 A0") << TagErrorText::iso15693(0xA0) << "erreur A0, erreur propre au fabricant";
        QTest::newRow("15693 DF") << TagErrorText::iso15693(0xDF) << "erreur DF, erreur propre au fabricant";
        QTest::newRow("15693 E0") << TagErrorText::iso15693(0xE0) << "erreur E0, code d'erreur inconnu";
        QTest::newRow("15693 9F") << TagErrorText::iso15693(0x9F) << "erreur 9F, code d'erreur inconnu";
        QTest::newRow("15693 00") << TagErrorText::iso15693(0x00) << "erreur 00, code d'erreur inconnu";
        QTest::newRow("NAK 0") << TagErrorText::nak(0x0) << "NAK 0 (opération refusée)";
        QTest::newRow("NAK 1") << TagErrorText::nak(0x1) << "NAK 1 (erreur de transmission, CRC ou parité)";
        QTest::newRow("NAK 4") << TagErrorText::nak(0x4) << "NAK 4 (opération refusée)";
        QTest::newRow("NAK 5") << TagErrorText::nak(0x5) << "NAK 5 (erreur de transmission, CRC ou parité)";
        QTest::newRow("NAK 7") << TagErrorText::nak(0x7) << "NAK 7 (valeur inconnue)";
        QTest::newRow("NAK high bits ignored") << TagErrorText::nak(0xF4) << "NAK 4 (opération refusée)";
    }

    void tagErrorTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }
};

QTEST_GUILESS_MAIN(TestFieldRules)
#include "tst_fieldrules.moc"
