// The virtual bench's reader chip on its own, register by register: the FIFO,
// the CRC coprocessor, framing and parity on the air, key loading, stored
// configurations, the field, and what the receiver makes of the cards'
// answers.

#include "chipmodel.h"
#include "chipregisters.h"
#include "crc16.h"
#include "scriptedcard.h"

#include <QTest>

using Bytes = QByteArray;

Q_DECLARE_METATYPE(AirCoding)
Q_DECLARE_METATYPE(AirHearing)

namespace {

// A chip with its field on, driven by the coder, in type A settings, and one
// scripted card in the field.
struct ChipWithCard
{
    ChipModel chip;
    std::shared_ptr<ScriptedCard> card = std::make_shared<ScriptedCard>();

    ChipWithCard()
    {
        chip.field().addCard(card);
        chip.write(ChipReg::TxControl, 0x5B);
    }

    void send(const QByteArray &bytes, quint8 command = ChipCmd::Transceive)
    {
        for (char byte : bytes)
            chip.write(ChipReg::FIFOData, quint8(byte));
        chip.write(ChipReg::Command, command);
    }

    QByteArray drainFifo()
    {
        QByteArray bytes;
        while (chip.peek(ChipReg::FIFOLength) > 0)
            bytes.append(char(chip.read(ChipReg::FIFOData)));
        return bytes;
    }

    const AirFrame &lastHeard() const { return card->heard.back(); }
};

AirBits bitsOf(const char *text)
{
    AirBits bits;
    for (; *text; ++text) {
        if (*text == '0' || *text == '1')
            bits.push_back(quint8(*text - '0'));
    }
    return bits;
}

QByteArray withCrcA(QByteArray bytes)
{
    const quint16 crc = Crc16::crcA(reinterpret_cast<const quint8 *>(bytes.constData()), std::size_t(bytes.size()));
    bytes.append(char(crc & 0xFF));
    bytes.append(char(crc >> 8));
    return bytes;
}

} // namespace

class TestChipModel : public QObject
{
    Q_OBJECT

private slots:
    // --- CRC coprocessor ---------------------------------------------------

    void crcMatchesPublishedVectors_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("iso3309");
        QTest::addColumn<int>("crc");
        QTest::newRow("CRC_A 00 00") << Bytes("\x00\x00", 2) << false << 0x1EA0;
        QTest::newRow("CRC_A 12 34") << Bytes("\x12\x34") << false << 0xCF26;
        QTest::newRow("CRC_A check 123456789") << Bytes("123456789") << false << 0xBF05;
        QTest::newRow("ISO 3309 check 123456789") << Bytes("123456789") << true << 0x906E;
        QTest::newRow("ISO 15693 01 02 03 04") << Bytes("\x01\x02\x03\x04") << true << 0x3991;
    }

    void crcMatchesPublishedVectors()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, iso3309);
        QFETCH(int, crc);
        const auto *bytes = reinterpret_cast<const quint8 *>(data.constData());
        const quint16 computed = iso3309 ? Crc16::crc3309(bytes, std::size_t(data.size()))
                                         : Crc16::crcA(bytes, std::size_t(data.size()));
        QCOMPARE(computed, quint16(crc));
    }

    void transmitAppendsCrcWhereEnabled_data()
    {
        QTest::addColumn<int>("redundancy");
        QTest::addColumn<int>("presetLsb");
        QTest::addColumn<int>("presetMsb");
        QTest::addColumn<QByteArray>("onAir");
        QTest::newRow("parity, no CRC") << 0x03 << 0x63 << 0x63 << Bytes("\x12\x34");
        QTest::newRow("parity, TX CRC_A") << 0x07 << 0x63 << 0x63 << Bytes("\x12\x34\x26\xCF");
        QTest::newRow("parity, TX and RX CRC_A") << 0x0F << 0x63 << 0x63 << Bytes("\x12\x34\x26\xCF");
        QTest::newRow("ISO 3309, no parity") << 0x2C << 0xFF << 0xFF << Bytes("\x12\x34\xC1\xDE");
        // Unequal preset bytes: CRCPresetLSB is the low byte of the preset.
        QTest::newRow("parity, TX CRC, preset 0x1234") << 0x07 << 0x34 << 0x12 << Bytes("\x12\x34\xD7\x33");
        QTest::newRow("ISO 3309, preset 0x1234") << 0x2C << 0x34 << 0x12 << Bytes("\x12\x34\x28\xCC");
    }

    void transmitAppendsCrcWhereEnabled()
    {
        QFETCH(int, redundancy);
        QFETCH(int, presetLsb);
        QFETCH(int, presetMsb);
        QFETCH(QByteArray, onAir);
        ChipWithCard bench;
        bench.chip.write(ChipReg::ChannelRedundancy, quint8(redundancy));
        bench.chip.write(ChipReg::CRCPresetLSB, quint8(presetLsb));
        bench.chip.write(ChipReg::CRCPresetMSB, quint8(presetMsb));
        bench.send(Bytes("\x12\x34"), ChipCmd::Transmit);
        const AirBits expected = (redundancy & 0x01) ? Air::withOddParity(onAir) : Air::plain(onAir);
        QCOMPARE(bench.lastHeard().bits, expected);
    }

    void receiveChecksAndRemovesCrcOnlyWhereEnabled_data()
    {
        QTest::addColumn<int>("redundancy");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("fifo");
        QTest::addColumn<int>("errors");
        const QByteArray sak = withCrcA(Bytes("\x08"));
        QTest::newRow("RX CRC on: removed") << 0x0F << sak << Bytes("\x08") << 0;
        QTest::newRow("RX CRC off: kept") << 0x03 << sak << sak << 0;
        QTest::newRow("TX CRC only: kept") << 0x07 << sak << sak << 0;
        QTest::newRow("wrong CRC: flagged, removed") << 0x0F << Bytes("\x08\x00\x00", 3) << Bytes("\x08") << 0x08;
        QTest::newRow("too short for a CRC") << 0x0F << Bytes("\x08") << Bytes("\x08") << 0x08;
    }

    void receiveChecksAndRemovesCrcOnlyWhereEnabled()
    {
        QFETCH(int, redundancy);
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, fifo);
        QFETCH(int, errors);
        ChipWithCard bench;
        bench.card->answer = Air::withOddParity(answer);
        bench.chip.write(ChipReg::ChannelRedundancy, quint8(redundancy));
        bench.send(Bytes("\x93\x70"));
        QCOMPARE(bench.drainFifo(), fifo);
        QCOMPARE(int(bench.chip.peek(ChipReg::ErrorFlag)), errors);
    }

    // --- FIFO --------------------------------------------------------------

    void fifoKeepsOrderAndLength()
    {
        ChipModel chip;
        for (quint8 byte : { 0x10, 0x20, 0x30 })
            chip.write(ChipReg::FIFOData, byte);
        QCOMPARE(chip.read(ChipReg::FIFOLength), quint8(3));
        QCOMPARE(chip.read(ChipReg::FIFOData), quint8(0x10));
        QCOMPARE(chip.read(ChipReg::FIFOData), quint8(0x20));
        QCOMPARE(chip.read(ChipReg::FIFOLength), quint8(1));
        QCOMPARE(chip.read(ChipReg::FIFOData), quint8(0x30));
        QCOMPARE(chip.read(ChipReg::FIFOLength), quint8(0));
        QCOMPARE(chip.read(ChipReg::FIFOData), quint8(0x00));  // an empty FIFO reads 0
        QCOMPARE(chip.read(ChipReg::FIFOLength), quint8(0));
    }

    void fifoOverflowLosesTheByteUntilFlushed()
    {
        ChipModel chip;
        for (int i = 0; i < ChipModel::FifoSize + 1; ++i)
            chip.write(ChipReg::FIFOData, quint8(i));
        QCOMPARE(int(chip.peek(ChipReg::FIFOLength)), ChipModel::FifoSize);
        QCOMPARE(chip.peek(ChipReg::ErrorFlag), quint8(ErrorFlagBits::FIFOOvfl));
        QVERIFY(chip.peek(ChipReg::PrimaryStatus) & 0x04);  // Err
        QCOMPARE(quint8(chip.fifo().back()), quint8(ChipModel::FifoSize - 1));

        // A command does not clear the overflow; the flush does.
        chip.write(ChipReg::Command, ChipCmd::Idle);
        QCOMPARE(chip.peek(ChipReg::ErrorFlag), quint8(ErrorFlagBits::FIFOOvfl));
        chip.write(ChipReg::Control, 0x01);
        QCOMPARE(chip.peek(ChipReg::FIFOLength), quint8(0));
        QCOMPARE(chip.peek(ChipReg::ErrorFlag), quint8(0));
        QCOMPARE(chip.peek(ChipReg::Control), quint8(0));  // FlushFIFO reads back 0
    }

    // --- registers ---------------------------------------------------------

    void powerUpLoadsTheStartUpSet_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("value");
        QTest::newRow("Page (linear addressing)") << int(ChipReg::Page) << 0x00;
        QTest::newRow("TxControl (field off)") << int(ChipReg::TxControl) << 0x58;
        QTest::newRow("CoderControl (Miller)") << int(ChipReg::CoderControl) << 0x19;
        QTest::newRow("ChannelRedundancy") << int(ChipReg::ChannelRedundancy) << 0x03;
        QTest::newRow("CRCPresetLSB") << int(ChipReg::CRCPresetLSB) << 0x63;
        QTest::newRow("CRCPresetMSB") << int(ChipReg::CRCPresetMSB) << 0x63;
        QTest::newRow("Command (idle)") << int(ChipReg::Command) << 0x00;
        QTest::newRow("FIFOLength") << int(ChipReg::FIFOLength) << 0x00;
    }

    void powerUpLoadsTheStartUpSet()
    {
        QFETCH(int, address);
        QFETCH(int, value);
        ChipModel chip;
        QCOMPARE(int(chip.peek(quint8(address))), value);
        QVERIFY(!chip.field().powered());
    }

    void readOnlyRegistersIgnoreWrites()
    {
        ChipModel chip;
        chip.write(ChipReg::FIFOData, 0x01);
        for (quint8 address : { ChipReg::PrimaryStatus, ChipReg::FIFOLength, ChipReg::SecondaryStatus,
                                ChipReg::ErrorFlag, ChipReg::CollPos, ChipReg::CRCResultLSB }) {
            const quint8 before = chip.peek(address);
            chip.write(address, 0xA5);
            QCOMPARE(chip.peek(address), before);
        }
        QCOMPARE(chip.peek(ChipReg::FIFOLength), quint8(1));
    }

    void pageSelectMapsTheLowAddressBits()
    {
        ChipModel chip;
        chip.write(ChipReg::Page, 0x82);           // UsePageSelect, page 2
        chip.write(0x04, 0x2E);                    // page 2, register 4: CoderControl
        chip.write(0x1C, 0x3F);                    // the page replaces address bits 5..3
        QCOMPARE(chip.peek(0x0C), quint8(0x3F));
        chip.write(0x08, 0x00);                    // any Page address switches paging off
        QCOMPARE(chip.peek(ChipReg::CoderControl), quint8(0x3F));
        QCOMPARE(chip.peek(ChipReg::Page), quint8(0x00));
        chip.write(0x40 | ChipReg::CoderControl, 0x19);  // only six address lines
        QCOMPARE(chip.peek(ChipReg::CoderControl), quint8(0x19));
    }

    void interruptRegistersSetAndClearMarkedBits()
    {
        ChipModel chip;
        chip.write(ChipReg::InterruptRq, 0x3F);  // bit 7 clear: clear all
        QCOMPARE(chip.peek(ChipReg::InterruptRq), quint8(0x00));
        chip.write(ChipReg::InterruptEn, 0x80 | 0x08);
        chip.write(ChipReg::InterruptRq, 0x80 | 0x0C);
        QCOMPARE(chip.peek(ChipReg::InterruptRq), quint8(0x0C));
        QVERIFY(chip.peek(ChipReg::PrimaryStatus) & 0x08);  // IRq: an enabled request
        chip.write(ChipReg::InterruptRq, 0x08);
        QCOMPARE(chip.peek(ChipReg::InterruptRq), quint8(0x04));
        QVERIFY(!(chip.peek(ChipReg::PrimaryStatus) & 0x08));
    }

    // --- LoadConfig --------------------------------------------------------

    void loadConfigLoadsTheStoredTypeASet()
    {
        ChipModel chip;
        chip.write(ChipReg::TxControl, 0x5B);
        chip.write(ChipReg::CoderControl, 0x2E);
        chip.write(ChipReg::ChannelRedundancy, 0x2C);
        chip.write(ChipReg::CRCPresetLSB, 0xFF);
        chip.write(ChipReg::BitFraming, 0x07);
        chip.write(ChipReg::FIFOData, 0x10);
        chip.write(ChipReg::FIFOData, 0x00);
        chip.write(ChipReg::Command, ChipCmd::LoadConfig);
        QCOMPARE(chip.peek(ChipReg::Command), quint8(ChipCmd::Idle));
        QCOMPARE(chip.peek(ChipReg::CoderControl), quint8(0x19));
        QCOMPARE(chip.peek(ChipReg::ChannelRedundancy), quint8(0x03));
        QCOMPARE(chip.peek(ChipReg::CRCPresetLSB), quint8(0x63));
        QCOMPARE(chip.peek(ChipReg::TxControl), quint8(0x58));
        QVERIFY(!chip.field().powered());
        QCOMPARE(chip.peek(ChipReg::BitFraming), quint8(0x07));  // outside 0x10..0x2F
        QCOMPARE(chip.peek(ChipReg::FIFOLength), quint8(0));
    }

    void loadConfigWaitsForItsAddressBytes()
    {
        ChipModel chip;
        chip.write(ChipReg::CoderControl, 0x2E);
        chip.write(ChipReg::Command, ChipCmd::LoadConfig);
        chip.write(ChipReg::FIFOData, 0x10);
        QCOMPARE(chip.peek(ChipReg::Command), quint8(ChipCmd::LoadConfig));
        QCOMPARE(chip.peek(ChipReg::CoderControl), quint8(0x2E));
        chip.write(ChipReg::FIFOData, 0x00);
        QCOMPARE(chip.peek(ChipReg::Command), quint8(ChipCmd::Idle));
        QCOMPARE(chip.peek(ChipReg::CoderControl), quint8(0x19));
    }

    void loadConfigRefusesAddressesOutsideTheRegisterSets_data()
    {
        QTest::addColumn<int>("address");
        QTest::newRow("product information") << 0x0000;
        QTest::newRow("key area") << 0x0080;
        QTest::newRow("straddling the key area") << 0x0061;
        QTest::newRow("beyond the EEPROM") << 0x0210;
    }

    void loadConfigRefusesAddressesOutsideTheRegisterSets()
    {
        QFETCH(int, address);
        ChipModel chip;
        chip.write(ChipReg::CoderControl, 0x2E);
        chip.write(ChipReg::FIFOData, quint8(address & 0xFF));
        chip.write(ChipReg::FIFOData, quint8(address >> 8));
        chip.write(ChipReg::Command, ChipCmd::LoadConfig);
        QCOMPARE(chip.peek(ChipReg::ErrorFlag), quint8(ErrorFlagBits::AccessErr));
        QCOMPARE(chip.peek(ChipReg::CoderControl), quint8(0x2E));
    }

    // --- LoadKey -----------------------------------------------------------

    void loadKeyTakesTheChipKeyFormat_data()
    {
        QTest::addColumn<QByteArray>("coded");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("FF FF FF FF FF FF")
            << Bytes("\x0F\x0F\x0F\x0F\x0F\x0F\x0F\x0F\x0F\x0F\x0F\x0F") << Bytes("\xFF\xFF\xFF\xFF\xFF\xFF");
        QTest::newRow("A0 A1 A2 A3 A4 A5")
            << Bytes("\x5A\xF0\x5A\xE1\x5A\xD2\x5A\xC3\x5A\xB4\x5A\xA5") << Bytes("\xA0\xA1\xA2\xA3\xA4\xA5");
        QTest::newRow("00 00 00 00 00 00")
            << Bytes("\xF0\xF0\xF0\xF0\xF0\xF0\xF0\xF0\xF0\xF0\xF0\xF0") << Bytes(6, '\0');
    }

    void loadKeyTakesTheChipKeyFormat()
    {
        QFETCH(QByteArray, coded);
        QFETCH(QByteArray, key);
        ChipModel chip;
        for (char byte : coded)
            chip.write(ChipReg::FIFOData, quint8(byte));
        chip.write(ChipReg::Command, ChipCmd::LoadKey);
        QCOMPARE(chip.peek(ChipReg::ErrorFlag), quint8(0));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(chip.keyBuffer().data()), 6), key);
        QCOMPARE(chip.peek(ChipReg::FIFOLength), quint8(0));
    }

    void loadKeyWithBadNibblesIsAKeyError_data()
    {
        QTest::addColumn<int>("badIndex");
        QTest::addColumn<int>("badByte");
        QTest::newRow("first byte FF") << 0 << 0xFF;
        QTest::newRow("last byte 00") << 11 << 0x00;
        QTest::newRow("plain key byte A0") << 5 << 0xA0;
    }

    void loadKeyWithBadNibblesIsAKeyError()
    {
        QFETCH(int, badIndex);
        QFETCH(int, badByte);
        ChipModel chip;
        const QByteArray good("\x0F\x0F\x0F\x0F\x0F\x0F\x0F\x0F\x0F\x0F\x0F\x0F");
        for (char byte : good)
            chip.write(ChipReg::FIFOData, quint8(byte));
        chip.write(ChipReg::Command, ChipCmd::LoadKey);
        QByteArray bad = good;
        bad[badIndex] = char(badByte);
        for (char byte : bad)
            chip.write(ChipReg::FIFOData, quint8(byte));
        chip.write(ChipReg::Command, ChipCmd::LoadKey);
        QCOMPARE(chip.peek(ChipReg::ErrorFlag), quint8(ErrorFlagBits::KeyErr));
        // The buffer keeps the last good key.
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(chip.keyBuffer().data()), 6), Bytes("\xFF\xFF\xFF\xFF\xFF\xFF"));
    }

    // --- the field ---------------------------------------------------------

    void txControlSwitchesTheField_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("on");
        QTest::newRow("0x5B both drivers") << 0x5B << true;
        QTest::newRow("0x58 off") << 0x58 << false;
        QTest::newRow("0x59 TX1 only") << 0x59 << true;
        QTest::newRow("0x5A TX2 only") << 0x5A << true;
        QTest::newRow("0x3B, modulator high") << 0x3B << true;
    }

    void txControlSwitchesTheField()
    {
        QFETCH(int, value);
        QFETCH(bool, on);
        ChipModel chip;
        auto card = std::make_shared<ScriptedCard>();
        chip.field().addCard(card);
        chip.write(ChipReg::TxControl, quint8(value));
        chip.write(ChipReg::TxControl, quint8(value));  // a repeat is no edge
        QCOMPARE(card->powered, on);
        QCOMPARE(card->powerUps, on ? 1 : 0);
        chip.write(ChipReg::TxControl, 0x58);
        QCOMPARE(card->powerDowns, on ? 1 : 0);
        QVERIFY(!card->powered);
    }

    void framesReachCardsOnlyWithFieldOnAndCoderAsModulatorSource_data()
    {
        QTest::addColumn<int>("txControl");
        QTest::addColumn<bool>("heard");
        QTest::newRow("field on, coder") << 0x5B << true;
        QTest::newRow("field off") << 0x58 << false;
        QTest::newRow("modulator held high") << 0x3B << false;
        QTest::newRow("modulator held low") << 0x1B << false;
    }

    void framesReachCardsOnlyWithFieldOnAndCoderAsModulatorSource()
    {
        QFETCH(int, txControl);
        QFETCH(bool, heard);
        ChipWithCard bench;
        bench.chip.write(ChipReg::TxControl, quint8(txControl));
        bench.card->answer = Air::withOddParity(Bytes("\x04\x00", 2));
        bench.send(Bytes("\x26"));
        QCOMPARE(bench.card->heard.empty(), !heard);
        QCOMPARE(int(bench.chip.peek(ChipReg::FIFOLength)), heard ? 2 : 0);
        QCOMPARE(bench.chip.airLog().back().heard, heard);
    }

    // What a card takes in: pauses of its standard's width, and a carrier
    // that drops deep enough (type A: to about 5 %; ISO/IEC 15693: by 10 %
    // to 30 %, or to about nothing).
    void cardsHearOnlyThePausesOfTheirStandard_data()
    {
        QTest::addColumn<int>("coderControl");
        QTest::addColumn<int>("modWidth");
        QTest::addColumn<int>("txControl");
        QTest::addColumn<int>("modConductance");
        QTest::addColumn<Bytes>("frame");
        QTest::addColumn<AirHearing>("hearing");
        const int typeA = 0x19, vicinity = CoderControlBits::Iso15693OneOutOf4;
        const int force100 = 0x5B, tenPercent = 0x4B;
        const Bytes reqa("\x26"), inventory("\x26\x01\x00", 3);
        QTest::newRow("A: start-up 0x13, 40/fc") << typeA << 0x13 << force100 << 0x3F << reqa << AirHearing::Heard;
        QTest::newRow("A: 0x0D, 28/fc") << typeA << 0x0D << force100 << 0x3F << reqa << AirHearing::Heard;
        QTest::newRow("A: 0x00, 0.15 us") << typeA << 0x00 << force100 << 0x3F << reqa << AirHearing::PauseTooShort;
        QTest::newRow("A: 0x0C, 26/fc") << typeA << 0x0C << force100 << 0x3F << reqa << AirHearing::PauseTooShort;
        QTest::newRow("A: 0x14, 42/fc") << typeA << 0x14 << force100 << 0x3F << reqa << AirHearing::PauseTooLong;
        QTest::newRow("A: 0x3F, 9.44 us") << typeA << 0x3F << force100 << 0x3F << reqa << AirHearing::PauseTooLong;
        QTest::newRow("A: no Force100ASK, carrier kept") << typeA << 0x13 << tenPercent << 0x3F << reqa << AirHearing::TooShallow;
        QTest::newRow("A: no Force100ASK, 3 % left") << typeA << 0x13 << tenPercent << 0x02 << reqa << AirHearing::Heard;
        QTest::newRow("V: 0x3F, 100 %") << vicinity << 0x3F << force100 << 0x3F << inventory << AirHearing::Heard;
        QTest::newRow("V: 0x28, 6.05 us") << vicinity << 0x28 << force100 << 0x3F << inventory << AirHearing::Heard;
        QTest::newRow("V: 0x27, 5.9 us") << vicinity << 0x27 << force100 << 0x3F << inventory << AirHearing::PauseTooShort;
        QTest::newRow("V: type A width") << vicinity << 0x13 << force100 << 0x3F << inventory << AirHearing::PauseTooShort;
        QTest::newRow("V: 21 % ASK") << vicinity << 0x3F << tenPercent << 0x32 << inventory << AirHearing::Heard;
        QTest::newRow("V: 8 % ASK") << vicinity << 0x3F << tenPercent << 0x3A << inventory << AirHearing::TooShallow;
        QTest::newRow("V: 49 % ASK") << vicinity << 0x3F << tenPercent << 0x20 << inventory << AirHearing::TooShallow;
        QTest::newRow("V: low data rate") << vicinity << 0x3F << force100 << 0x3F << Bytes("\x24\x01\x00", 3)
                                          << AirHearing::NotModelled;
        QTest::newRow("V: two subcarriers") << vicinity << 0x3F << force100 << 0x3F << Bytes("\x27\x01\x00", 3)
                                            << AirHearing::NotModelled;
    }

    void cardsHearOnlyThePausesOfTheirStandard()
    {
        QFETCH(int, coderControl);
        QFETCH(int, modWidth);
        QFETCH(int, txControl);
        QFETCH(int, modConductance);
        QFETCH(Bytes, frame);
        QFETCH(AirHearing, hearing);
        ChipWithCard bench;
        bench.chip.write(ChipReg::CoderControl, quint8(coderControl));
        bench.chip.write(ChipReg::ModWidth, quint8(modWidth));
        bench.chip.write(ChipReg::TxControl, quint8(txControl));
        bench.chip.write(ChipReg::ModConductance, quint8(modConductance));
        bench.card->answer = Air::withOddParity(Bytes("\x04\x00", 2));
        bench.send(frame);
        QCOMPARE(bench.chip.airLog().back().hearing, hearing);
        // A request the bench draws no answer for still reaches the tags.
        const bool reached = hearing == AirHearing::Heard || hearing == AirHearing::NotModelled;
        QCOMPARE(bench.card->heard.empty(), !reached);
        QCOMPARE(bench.chip.airLog().back().received.empty(), !reached);
    }

    // --- coding, framing and parity on the air ------------------------------

    void coderControlSetsTheCoding_data()
    {
        QTest::addColumn<int>("coderControl");
        QTest::addColumn<AirCoding>("coding");
        QTest::newRow("0x19 modified Miller 106k") << 0x19 << AirCoding::ModifiedMiller;
        QTest::newRow("0x20 NRZ") << 0x20 << AirCoding::Nrz;
        QTest::newRow("0x2E 1 out of 256") << 0x2E << AirCoding::OneOutOf256;
        QTest::newRow("0x2F 1 out of 4") << 0x2F << AirCoding::OneOutOf4;
        QTest::newRow("0xAE 1 out of 256, one pulse") << 0xAE << AirCoding::OneOutOf256;
        QTest::newRow("0x09 Miller at 848k") << 0x09 << AirCoding::Other;
        QTest::newRow("0x1F 1 out of 4 at 106k") << 0x1F << AirCoding::Other;
    }

    void coderControlSetsTheCoding()
    {
        QFETCH(int, coderControl);
        QFETCH(AirCoding, coding);
        ChipWithCard bench;
        bench.chip.write(ChipReg::CoderControl, quint8(coderControl));
        bench.send(Bytes("\x26"));
        // What went on the air: the type A pause width that stays set is one
        // an ISO/IEC 15693 tag does not take in.
        QCOMPARE(bench.chip.airLog().back().sent.coding, coding);
        QVERIFY(!bench.chip.airLog().back().sent.slotPulse);
    }

    void parityFollowsChannelRedundancy_data()
    {
        QTest::addColumn<int>("redundancy");
        QTest::addColumn<QByteArray>("bits");
        // 0x93 = 1001 0011: sent LSB first, four ones.
        QTest::newRow("odd parity") << 0x03 << Bytes("11001001 1");
        QTest::newRow("even parity") << 0x01 << Bytes("11001001 0");
        QTest::newRow("no parity") << 0x00 << Bytes("11001001");
    }

    void parityFollowsChannelRedundancy()
    {
        QFETCH(int, redundancy);
        QFETCH(QByteArray, bits);
        ChipWithCard bench;
        bench.chip.write(ChipReg::ChannelRedundancy, quint8(redundancy));
        bench.send(Bytes("\x93"));
        QCOMPARE(bench.lastHeard().bits, bitsOf(bits.constData()));
    }

    void txLastBitsShortensTheLastByteAndClearsItself()
    {
        ChipWithCard bench;
        bench.chip.write(ChipReg::BitFraming, 0x07);
        bench.chip.write(ChipReg::ChannelRedundancy, 0x03);
        bench.send(Bytes("\x26"));
        // REQA: seven bits, no parity bit after a cut byte.
        QCOMPARE(bench.lastHeard().bits, bitsOf("0110010"));
        QCOMPARE(bench.chip.peek(ChipReg::BitFraming), quint8(0x00));
        // The next frame goes out whole.
        bench.send(Bytes("\x93\x20"));
        QCOMPARE(bench.lastHeard().bits, Air::withOddParity(Bytes("\x93\x20")));
    }

    void rxAlignPlacesTheFirstBitAndClearsAfterReceptionOnly()
    {
        ChipWithCard bench;
        bench.chip.write(ChipReg::ChannelRedundancy, 0x03);
        // The card answers the three upper bits of a byte, its parity, then
        // a whole byte: an anticollision answer split at bit 5.
        AirBits answer = bitsOf("101 1");
        Air::appendWithOddParity(answer, Bytes("\xA2"));
        bench.card->answer = answer;

        bench.chip.write(ChipReg::BitFraming, 0x50);  // RxAlign 5
        bench.send(Bytes("\x33"), ChipCmd::Transmit);  // no reception: RxAlign stays
        QCOMPARE(bench.chip.peek(ChipReg::BitFraming), quint8(0x50));
        bench.drainFifo();
        bench.send(Bytes("\x33"));
        QCOMPARE(bench.chip.peek(ChipReg::BitFraming), quint8(0x00));
        QCOMPARE(bench.drainFifo(), Bytes("\xA0\xA2"));  // 101 lands in bits 5..7
        QCOMPARE(bench.chip.peek(ChipReg::ErrorFlag), quint8(0));
    }

    void receivedBitCountAndParityErrors()
    {
        ChipWithCard bench;
        bench.chip.write(ChipReg::ChannelRedundancy, 0x03);
        bench.card->answer = bitsOf("0101");  // a four-bit acknowledgement, 0x0A
        bench.send(Bytes("\xA0\x04"));
        QCOMPARE(bench.drainFifo(), Bytes("\x0A"));
        QCOMPARE(bench.chip.peek(ChipReg::SecondaryStatus) & 0x07, 4);
        QCOMPARE(bench.chip.peek(ChipReg::ErrorFlag), quint8(0));

        bench.card->answer = bitsOf("00100000 1");  // 0x04 with the wrong parity bit
        bench.send(Bytes("\x26"));
        QCOMPARE(bench.drainFifo(), Bytes("\x04"));
        QCOMPARE(bench.chip.peek(ChipReg::ErrorFlag), quint8(ErrorFlagBits::ParityErr));
        QCOMPARE(bench.chip.peek(ChipReg::SecondaryStatus) & 0x07, 0);

        // Read without parity, the same answer is nine bits: a byte and one.
        bench.chip.write(ChipReg::ChannelRedundancy, 0x00);
        bench.send(Bytes("\x26"));
        QCOMPARE(bench.drainFifo(), Bytes("\x04\x01", 2));
        QCOMPARE(bench.chip.peek(ChipReg::SecondaryStatus) & 0x07, 1);
    }

    void collidingAnswersSetCollPosAndErrorFlag()
    {
        ChipWithCard bench;
        auto second = std::make_shared<ScriptedCard>();
        bench.chip.field().addCard(second);
        bench.chip.write(ChipReg::ChannelRedundancy, 0x03);
        // Two UIDs that first differ in bit 3 of their second byte.
        bench.card->answer = Air::withOddParity(Bytes("\x88\x04\xA2\x3B\x15"));
        second->answer = Air::withOddParity(Bytes("\x88\x0C\xA2\x3B\x1D"));
        bench.send(Bytes("\x93\x20"));
        QCOMPARE(bench.chip.peek(ChipReg::CollPos), quint8(8 + 3 + 1));
        QVERIFY(bench.chip.peek(ChipReg::ErrorFlag) & ErrorFlagBits::CollErr);
        // Bits either card modulated read as 1.
        QCOMPARE(bench.drainFifo(), Bytes("\x88\x0C\xA2\x3B\x1D"));

        // One card alone: no collision, and CollPos back to 0.
        bench.chip.field().removeCard(second.get());
        bench.send(Bytes("\x93\x20"));
        QCOMPARE(bench.chip.peek(ChipReg::CollPos), quint8(0));
        QCOMPARE(bench.chip.peek(ChipReg::ErrorFlag), quint8(0));
        QCOMPARE(bench.drainFifo(), Bytes("\x88\x04\xA2\x3B\x15"));
    }

    // --- Transmit and Transceive --------------------------------------------

    void transceiveFromEmptyFifoWaitsForData()
    {
        ChipWithCard bench;
        bench.chip.write(ChipReg::Command, ChipCmd::Transceive);
        QVERIFY(bench.card->heard.empty());
        QCOMPARE(bench.chip.peek(ChipReg::Command), quint8(ChipCmd::Transceive));
        bench.chip.write(ChipReg::FIFOData, 0x52);  // the frame starts with its first byte
        QCOMPARE(int(bench.card->heard.size()), 1);
        QCOMPARE(bench.lastHeard().bits, Air::withOddParity(Bytes("\x52")));
        QCOMPARE(bench.chip.peek(ChipReg::Command), quint8(ChipCmd::Idle));
    }

    void sendOnePulseSendsOnlyAnEndOfFrame()
    {
        ChipWithCard bench;
        bench.chip.write(ChipReg::CoderControl, 0xAE);
        bench.chip.write(ChipReg::ModWidth, ChipSetting::Iso15693ModWidth);
        bench.chip.write(ChipReg::Command, ChipCmd::Transceive);
        QCOMPARE(int(bench.card->heard.size()), 1);
        QVERIFY(bench.lastHeard().slotPulse);
        QVERIFY(bench.lastHeard().bits.empty());
        QCOMPARE(bench.lastHeard().coding, AirCoding::OneOutOf256);

        // With data in the FIFO the bit changes nothing: a normal frame.
        bench.send(Bytes("\x26\x01\x00", 3));
        QVERIFY(!bench.lastHeard().slotPulse);
        QCOMPARE(bench.lastHeard().bits.size(), std::size_t(27));
    }

    void transmitSendsTheFifoAndKeepsNoAnswer()
    {
        ChipWithCard bench;
        bench.card->answer = Air::withOddParity(Bytes("\x04\x00", 2));
        bench.send(Bytes("\x26"), ChipCmd::Transmit);
        QCOMPARE(int(bench.card->heard.size()), 1);
        QCOMPARE(bench.chip.peek(ChipReg::FIFOLength), quint8(0));
        QCOMPARE(bench.chip.peek(ChipReg::InterruptRq) & 0x14, 0x14);  // TxIRq, IdleIRq
    }

    // --- Crypto1On ---------------------------------------------------------

    void authent2WithoutAuthent1LeavesCrypto1Off()
    {
        ChipWithCard bench;
        bench.chip.write(ChipReg::Control, 0x08);  // software cannot set it
        QVERIFY(!bench.chip.crypto1On());
        bench.chip.write(ChipReg::Command, ChipCmd::Authent2);
        QVERIFY(!bench.chip.crypto1On());
        QCOMPARE(bench.chip.peek(ChipReg::Control) & 0x08, 0);
        QVERIFY(bench.card->heard.empty());
    }

    void authent1SendsCommandAndBlockWithCrc()
    {
        ChipWithCard bench;
        bench.chip.write(ChipReg::ChannelRedundancy, 0x07);
        bench.send(Bytes("\x60\x04\x04\xA2\x3B\x15"), ChipCmd::Authent1);
        QCOMPARE(bench.lastHeard().bits, Air::withOddParity(withCrcA(Bytes("\x60\x04"))));
        QCOMPARE(bench.chip.peek(ChipReg::FIFOLength), quint8(0));
    }
};

QTEST_GUILESS_MAIN(TestChipModel)
#include "tst_chipmodel.moc"
