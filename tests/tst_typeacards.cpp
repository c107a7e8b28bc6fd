// The virtual type A cards on the chip model, without the serial line: what
// a card answers and refuses, frame by frame, the way a reader on the real
// air would see it.

#include "chipmodel.h"
#include "chipregisters.h"
#include "crc16.h"
#include "mifareclassiccard.h"
#include "ultralightcard.h"

#include <QTest>

using Bytes = QByteArray;
using State = TypeACard::State;

Q_DECLARE_METATYPE(TypeACard::State)

namespace {

const Bytes UidA("\x04\xA2\x3B\x15", 4);
const Bytes UidB("\x08\x11\x22\x33", 4);
const Bytes DoubleUid("\x04\xA2\x3B\x91\xC4\x2E\x80", 7);
const Bytes DoubleClassicUid("\x04\xC3\xD5\xE7\xA9\xB1\xC2", 7);

Bytes crcOf(const Bytes &bytes)
{
    const quint16 crc = Crc16::crcA(reinterpret_cast<const quint8 *>(bytes.constData()), std::size_t(bytes.size()));
    return Bytes(1, char(crc & 0xFF)) + char(crc >> 8);
}

// Drives the chip register by register, as the host would through the
// board, with the field on and the chip in its type A settings.
struct Reader
{
    ChipModel chip;

    Reader() { chip.write(ChipReg::TxControl, 0x5B); }

    template<typename Card>
    std::shared_ptr<Card> insert(const Bytes &uid)
    {
        auto card = std::make_shared<Card>(uid);
        chip.field().addCard(card);
        return card;
    }

    // One Transceive with the given framing; returns what the FIFO got.
    Bytes exchange(const Bytes &frame, quint8 redundancy, quint8 bitFraming = 0)
    {
        chip.write(ChipReg::Control, chip.crypto1On() ? 0x08 : 0x00);  // keeps Crypto1On as it is
        flush();
        chip.write(ChipReg::ChannelRedundancy, redundancy);
        chip.write(ChipReg::BitFraming, bitFraming);
        for (char byte : frame)
            chip.write(ChipReg::FIFOData, quint8(byte));
        chip.write(ChipReg::Command, ChipCmd::Transceive);
        Bytes answer;
        while (chip.peek(ChipReg::FIFOLength) > 0)
            answer.append(char(chip.read(ChipReg::FIFOData)));
        return answer;
    }

    void flush() { chip.write(ChipReg::Control, quint8(0x01 | (chip.crypto1On() ? 0x08 : 0x00))); }

    Bytes reqa() { return exchange(Bytes("\x26"), 0x03, 0x07); }
    Bytes wupa() { return exchange(Bytes("\x52"), 0x03, 0x07); }
    Bytes anticollision(quint8 sel) { return exchange(Bytes(1, char(sel)) + char(0x20), 0x03); }
    Bytes select(quint8 sel, const Bytes &cascade) { return exchange(Bytes(1, char(sel)) + char(0x70) + cascade, 0x0F); }

    // REQA, then anticollision and SELECT of every cascade level, with
    // Crypto1 switched off first as a new selection needs.
    Bytes identify()
    {
        chip.write(ChipReg::Control, 0x00);
        reqa();
        Bytes sak;
        for (quint8 sel : { 0x93, 0x95 }) {
            const Bytes cascade = anticollision(sel);
            sak = select(sel, cascade);
            if (sak.isEmpty() || !(quint8(sak.at(0)) & 0x04))
                break;
        }
        return sak;
    }

    void loadKey(const Bytes &key)
    {
        flush();
        for (char byte : key) {
            for (quint8 nibble : { quint8(quint8(byte) >> 4), quint8(byte & 0x0F) })
                chip.write(ChipReg::FIFOData, quint8(((nibble ^ 0x0F) << 4) | nibble));
        }
        chip.write(ChipReg::Command, ChipCmd::LoadKey);
    }

    bool authenticate(quint8 command, quint8 block, const Bytes &uid)
    {
        chip.write(ChipReg::ChannelRedundancy, 0x07);
        for (char byte : Bytes(1, char(command)) + char(block) + uid.left(4))
            chip.write(ChipReg::FIFOData, quint8(byte));
        chip.write(ChipReg::Command, ChipCmd::Authent1);
        chip.write(ChipReg::ChannelRedundancy, 0x03);
        chip.write(ChipReg::Command, ChipCmd::Authent2);
        return chip.peek(ChipReg::Control) & 0x08;
    }

    Bytes readBlock(quint8 block) { return exchange(Bytes("\x30") + char(block), 0x0F); }
    // The two acknowledgements of a two-phase write, as the FIFO holds them.
    Bytes writeBlock(quint8 command, quint8 block, const Bytes &data)
    {
        const Bytes first = exchange(Bytes(1, char(command)) + char(block), 0x07);
        return first + exchange(data, 0x07);
    }
};

} // namespace

class TestTypeACards : public QObject
{
    Q_OBJECT

private slots:
    // --- ISO/IEC 14443-3 ---------------------------------------------------

    void reqaIsOnlyASevenBitShortFrame_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("bitFraming");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("REQA, 7 bits") << Bytes("\x26") << 0x07 << Bytes("\x04\x00", 2);
        QTest::newRow("WUPA, 7 bits") << Bytes("\x52") << 0x07 << Bytes("\x04\x00", 2);
        QTest::newRow("REQA as a whole byte") << Bytes("\x26") << 0x00 << Bytes();
        QTest::newRow("REQA in 6 bits") << Bytes("\x26") << 0x06 << Bytes();
        QTest::newRow("another 7-bit code") << Bytes("\x35") << 0x07 << Bytes();
    }

    void reqaIsOnlyASevenBitShortFrame()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, bitFraming);
        QFETCH(QByteArray, answer);
        Reader reader;
        auto card = reader.insert<MifareClassicCard>(UidA);
        QCOMPARE(reader.exchange(frame, 0x03, quint8(bitFraming)), answer);
        QCOMPARE(card->state(), answer.isEmpty() ? State::Idle : State::Ready);
    }

    void haltedCardWakesOnlyToWupa()
    {
        Reader reader;
        auto card = reader.insert<MifareClassicCard>(UidA);
        QCOMPARE(reader.identify(), Bytes("\x08"));
        QCOMPARE(card->state(), State::Active);
        QCOMPARE(reader.exchange(Bytes("\x50\x00", 2), 0x07), Bytes());  // HLTA: no answer
        QCOMPARE(card->state(), State::Halt);
        QCOMPARE(reader.reqa(), Bytes());
        QCOMPARE(card->state(), State::Halt);
        QCOMPARE(reader.wupa(), Bytes("\x04\x00", 2));
        QCOMPARE(card->state(), State::Ready);
        // An error now sends it back to HALT, where it came from, not IDLE.
        reader.exchange(Bytes("\x93\x20"), 0x01);  // even parity
        QCOMPARE(card->state(), State::Halt);
    }

    void cardsHearOnlyModifiedMiller_data()
    {
        QTest::addColumn<int>("coderControl");
        QTest::addColumn<bool>("answers");
        QTest::newRow("Miller 106k") << 0x19 << true;
        QTest::newRow("1 out of 4") << 0x2F << false;
        QTest::newRow("1 out of 256") << 0x2E << false;
        QTest::newRow("NRZ") << 0x20 << false;
    }

    void cardsHearOnlyModifiedMiller()
    {
        QFETCH(int, coderControl);
        QFETCH(bool, answers);
        Reader reader;
        reader.insert<MifareClassicCard>(UidA);
        reader.chip.write(ChipReg::CoderControl, quint8(coderControl));
        QCOMPARE(reader.reqa().isEmpty(), !answers);
    }

    void badFramesGetNoAnswerAndEndTheSelection_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("redundancy");
        QTest::newRow("even parity") << Bytes("\x93\x20") << 0x01;
        QTest::newRow("no parity") << Bytes("\x93\x20") << 0x00;
        QTest::newRow("NVB beyond the frame") << Bytes("\x93\x30") << 0x03;
        QTest::newRow("select without CRC") << (Bytes("\x93\x70") + UidA + char(0x88)) << 0x03;
        QTest::newRow("wrong cascade level") << Bytes("\x95\x20") << 0x03;
    }

    void badFramesGetNoAnswerAndEndTheSelection()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, redundancy);
        Reader reader;
        auto card = reader.insert<MifareClassicCard>(UidA);
        reader.reqa();
        QCOMPARE(reader.exchange(frame, quint8(redundancy)), Bytes());
        QCOMPARE(card->state(), State::Idle);
    }

    void selectOfAnotherUidKeepsTheCardReady()
    {
        Reader reader;
        auto card = reader.insert<MifareClassicCard>(UidA);
        reader.reqa();
        QCOMPARE(reader.select(0x93, UidB + char(0x08)), Bytes());
        QCOMPARE(card->state(), State::Ready);
        QCOMPARE(reader.select(0x93, UidA + char(0x88)), Bytes("\x08"));
    }

    void answerCrcIsRemovedOnlyWithRxCrc_data()
    {
        QTest::addColumn<int>("redundancy");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("RX CRC on") << 0x0F << Bytes("\x08");
        QTest::newRow("TX CRC only") << 0x07 << (Bytes("\x08") + crcOf(Bytes("\x08")));
    }

    void answerCrcIsRemovedOnlyWithRxCrc()
    {
        QFETCH(int, redundancy);
        QFETCH(QByteArray, answer);
        Reader reader;
        reader.insert<MifareClassicCard>(UidA);
        reader.reqa();
        reader.anticollision(0x93);
        QCOMPARE(reader.exchange(Bytes("\x93\x70") + UidA + char(0x88), quint8(redundancy)), answer);
    }

    void bitwiseAnticollisionSeparatesTwoCards()
    {
        Reader reader;
        auto a = reader.insert<MifareClassicCard>(UidA);
        auto b = reader.insert<MifareClassicCard>(UidB);
        QCOMPARE(reader.reqa(), Bytes("\x04\x00", 2));
        reader.anticollision(0x93);
        // 04 and 08 first differ in their third bit.
        QCOMPARE(reader.chip.peek(ChipReg::CollPos), quint8(3));
        QVERIFY(reader.chip.peek(ChipReg::ErrorFlag) & ErrorFlagBits::CollErr);

        // Send the two bits both agree on and a 1 for the third: NVB 0x23,
        // three bits of the last byte, the answer aligned at bit 3.
        const Bytes rest = reader.exchange(Bytes("\x93\x23\x04", 3), 0x03, 0x33);
        QCOMPARE(reader.chip.peek(ChipReg::CollPos), quint8(0));
        QCOMPARE(reader.chip.peek(ChipReg::ErrorFlag), quint8(0));
        QCOMPARE(rest, Bytes("\x00\xA2\x3B\x15\x88", 5));  // card A's bits from bit 3 on
        QCOMPARE(reader.select(0x93, UidA + char(0x88)), Bytes("\x08"));
        QCOMPARE(a->state(), State::Active);
        QCOMPARE(b->state(), State::Ready);  // still there for the next round
    }

    void doubleSizeUidNeedsTheLevelOneSelectFirst()
    {
        Reader reader;
        auto card = reader.insert<UltralightCard>(DoubleUid);
        reader.reqa();
        QCOMPARE(reader.anticollision(0x93), Bytes("\x88\x04\xA2\x3B\x15", 5));
        QCOMPARE(reader.anticollision(0x95), Bytes());
        QCOMPARE(card->state(), State::Idle);

        QCOMPARE(reader.identify(), Bytes("\x00", 1));
        QCOMPARE(card->state(), State::Active);
    }

    void fieldOffResetsTheCard()
    {
        Reader reader;
        auto card = reader.insert<MifareClassicCard>(UidA);
        reader.identify();
        reader.chip.write(ChipReg::TxControl, 0x58);
        QCOMPARE(card->state(), State::PowerOff);
        QCOMPARE(reader.reqa(), Bytes());
        reader.chip.write(ChipReg::TxControl, 0x5B);
        QCOMPARE(card->state(), State::Idle);
        QCOMPARE(reader.reqa(), Bytes("\x04\x00", 2));
    }

    // --- MIFARE Classic ----------------------------------------------------

    void manufacturerBlockHoldsUidBccSakAtqa_data()
    {
        QTest::addColumn<QByteArray>("uid");
        QTest::addColumn<QByteArray>("blockStart");
        QTest::newRow("4-byte UID: UID, BCC, SAK, ATQA") << UidA << UidA + Bytes("\x88\x08\x04\x00", 4);
        QTest::newRow("7-byte UID: UID, SAK, ATQA") << DoubleClassicUid << DoubleClassicUid + Bytes("\x08\x44\x00", 3);
    }

    void manufacturerBlockHoldsUidBccSakAtqa()
    {
        QFETCH(QByteArray, uid);
        QFETCH(QByteArray, blockStart);
        MifareClassicCard card(uid);
        QCOMPARE(card.uid(), uid);
        QCOMPARE(card.block(0).left(blockStart.size()), blockStart);
        QCOMPARE(card.block(0).size(), MifareClassicCard::BlockSize);
        QCOMPARE(card.block(3), Bytes(6, '\xFF') + Bytes("\xFF\x07\x80\x69") + Bytes(6, '\xFF'));
    }

    // The four UID bytes the reader's authentication frame carries seed
    // both ciphers: the whole UID of a 4-byte card, the last four of a
    // 7-byte one.
    void authenticationTakesTheCardsFourUidBytes_data()
    {
        QTest::addColumn<QByteArray>("uid");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("authenticated");
        QTest::newRow("4-byte UID") << UidA << UidA << true;
        QTest::newRow("7-byte UID, last four") << DoubleClassicUid << DoubleClassicUid.mid(3) << true;
        QTest::newRow("7-byte UID, first four") << DoubleClassicUid << DoubleClassicUid.left(4) << false;
    }

    void authenticationTakesTheCardsFourUidBytes()
    {
        QFETCH(QByteArray, uid);
        QFETCH(QByteArray, sent);
        QFETCH(bool, authenticated);
        Reader reader;
        auto card = reader.insert<MifareClassicCard>(uid);
        card->setBlock(4, Bytes("block four data."));
        QCOMPARE(reader.identify(), Bytes("\x08"));
        reader.loadKey(Bytes(6, '\xFF'));
        QCOMPARE(reader.authenticate(0x60, 4, sent), authenticated);
        QCOMPARE(card->authenticatedSector(), authenticated ? 1 : -1);
        QCOMPARE(reader.readBlock(4), authenticated ? Bytes("block four data.") : Bytes());
    }

    void accessIsGrantedAsTheAccessBitsSay_data()
    {
        QTest::addColumn<QByteArray>("accessBits");  // bytes 6 to 9 of sector 1's trailer
        QTest::addColumn<int>("keyCommand");
        QTest::addColumn<bool>("mayRead");
        QTest::addColumn<bool>("mayWrite");
        // Block 4 takes bit 0 of each nibble.
        QTest::newRow("transport, key A") << Bytes("\xFF\x07\x80\x69") << 0x60 << true << true;
        QTest::newRow("read-only (010), key A") << Bytes("\xEF\x07\x81\x69") << 0x60 << true << false;
        QTest::newRow("B only (011), key A") << Bytes("\xEF\x06\x91\x69") << 0x60 << false << false;
        QTest::newRow("B only (011), key B") << Bytes("\xEF\x06\x91\x69") << 0x61 << true << true;
        QTest::newRow("never (111), key B") << Bytes("\xEE\x16\x91\x69") << 0x61 << false << false;
        QTest::newRow("corrupted bits") << Bytes("\xFF\xFF\xFF\x69") << 0x60 << false << false;
    }

    void accessIsGrantedAsTheAccessBitsSay()
    {
        QFETCH(QByteArray, accessBits);
        QFETCH(int, keyCommand);
        QFETCH(bool, mayRead);
        QFETCH(bool, mayWrite);
        Reader reader;
        auto card = reader.insert<MifareClassicCard>(UidA);
        card->setBlock(7, Bytes(6, '\xFF') + accessBits + Bytes(6, '\xFF'));
        card->setBlock(4, Bytes("block four data."));
        reader.identify();
        reader.loadKey(Bytes(6, '\xFF'));
        QVERIFY(reader.authenticate(quint8(keyCommand), 4, UidA));
        QCOMPARE(reader.readBlock(4) == Bytes("block four data."), mayRead);
        if (!mayRead) {
            reader.identify();
            QVERIFY(reader.authenticate(quint8(keyCommand), 4, UidA));
        }
        const Bytes acks = reader.writeBlock(0xA0, 4, Bytes(16, 'w'));
        QCOMPARE(acks == Bytes("\x0A\x0A"), mayWrite);
        QCOMPARE(card->block(4) == Bytes(16, 'w'), mayWrite);
        if (!mayWrite)
            QCOMPARE(acks.left(1), Bytes("\x04"));  // the NAK of the first phase
    }

    void manufacturerBlockIsReadOnly()
    {
        Reader reader;
        auto card = reader.insert<MifareClassicCard>(UidA);
        reader.identify();
        reader.loadKey(Bytes(6, '\xFF'));
        QVERIFY(reader.authenticate(0x60, 0, UidA));
        QCOMPARE(reader.writeBlock(0xA0, 0, Bytes(16, '\0')).left(1), Bytes("\x04"));
        QCOMPARE(card->block(0).left(4), UidA);
        QCOMPARE(card->state(), State::Idle);  // a NAK ends the session
    }

    void trailerReadsWithoutKeyA()
    {
        Reader reader;
        reader.insert<MifareClassicCard>(UidA);
        reader.identify();
        reader.loadKey(Bytes(6, '\xFF'));
        QVERIFY(reader.authenticate(0x60, 7, UidA));
        QCOMPARE(reader.readBlock(7), Bytes(6, '\0') + Bytes("\xFF\x07\x80\x69") + Bytes(6, '\xFF'));
    }

    void blocksOutsideTheSectorAreRefused()
    {
        Reader reader;
        reader.insert<MifareClassicCard>(UidA);
        reader.identify();
        reader.loadKey(Bytes(6, '\xFF'));
        QVERIFY(reader.authenticate(0x60, 4, UidA));
        QCOMPARE(reader.readBlock(8), Bytes("\x04"));
    }

    void nestedAuthenticationOpensAnotherSector()
    {
        Reader reader;
        auto card = reader.insert<MifareClassicCard>(UidA);
        const MifareClassicCard::Key other = { 1, 2, 3, 4, 5, 6 };
        card->setSectorKeys(2, other, other);
        card->setBlock(9, Bytes("sector two, b 9."));
        reader.identify();
        reader.loadKey(Bytes(6, '\xFF'));
        QVERIFY(reader.authenticate(0x60, 4, UidA));
        QCOMPARE(card->authenticatedSector(), 1);
        reader.loadKey(Bytes("\x01\x02\x03\x04\x05\x06", 6));
        QVERIFY(reader.authenticate(0x60, 9, UidA));
        QCOMPARE(card->authenticatedSector(), 2);
        QCOMPARE(reader.readBlock(9), Bytes("sector two, b 9."));
    }

    void clearingCrypto1OnSilencesTheCard()
    {
        Reader reader;
        auto card = reader.insert<MifareClassicCard>(UidA);
        reader.identify();
        reader.loadKey(Bytes(6, '\xFF'));
        QVERIFY(reader.authenticate(0x60, 4, UidA));
        reader.chip.write(ChipReg::Control, 0x01);  // a flush written whole clears Crypto1On
        QVERIFY(!reader.chip.crypto1On());
        QCOMPARE(reader.readBlock(4), Bytes());
        QCOMPARE(card->state(), State::Idle);
    }

    // --- Ultralight --------------------------------------------------------

    void ultralightReadsFourPagesWrappingAround()
    {
        Reader reader;
        auto card = reader.insert<UltralightCard>(DoubleUid);
        card->setPage(15, Bytes("last"));
        reader.identify();
        QCOMPARE(reader.readBlock(14), Bytes(4, '\0') + Bytes("last") + card->page(0) + card->page(1));
    }

    void ultralightWritesRespectLocksAndOneTimeBits()
    {
        Reader reader;
        auto card = reader.insert<UltralightCard>(DoubleUid);
        reader.identify();
        QCOMPARE(reader.exchange(Bytes("\xA2\x05" "abcd", 6), 0x07), Bytes("\x0A"));
        QCOMPARE(card->page(5), Bytes("abcd"));
        QCOMPARE(reader.exchange(Bytes("\xA2\x01" "abcd", 6), 0x07), Bytes("\x00", 1));  // UID page
        QCOMPARE(card->page(1), DoubleUid.mid(3));

        reader.identify();
        QCOMPARE(reader.exchange(Bytes("\xA2\x03\x01\x00\x00\x00", 6), 0x07), Bytes("\x0A"));
        QCOMPARE(reader.exchange(Bytes("\xA2\x03\x02\x00\x00\x00", 6), 0x07), Bytes("\x0A"));
        QCOMPARE(card->page(3), Bytes("\x03\x00\x00\x00", 4));  // bits only ever set
        // Lock page 5 (bit 5 of the first lock byte), then try to change it.
        QCOMPARE(reader.exchange(Bytes("\xA2\x02\x00\x00\x20\x00", 6), 0x07), Bytes("\x0A"));
        QCOMPARE(reader.exchange(Bytes("\xA2\x05" "wxyz", 6), 0x07), Bytes("\x00", 1));
        QCOMPARE(card->page(5), Bytes("abcd"));
    }
};

QTEST_GUILESS_MAIN(TestTypeACards)
#include "tst_typeacards.moc"
