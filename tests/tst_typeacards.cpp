// The virtual type A cards on the chip model, without the serial line: what
// a card answers and refuses, frame by frame, the way a reader on the real
// air would see it.

#include "cardargument.h"
#include "chipmodel.h"
#include "chipregisters.h"
#include "crc16.h"
#include "crypto1.h"
#include "mifareclassiccard.h"
#include "ultralightcard.h"

#include <QSet>
#include <QTest>

using Bytes = QByteArray;
using State = TypeACard::State;
using Size = MifareClassicCard::Size;

Q_DECLARE_METATYPE(TypeACard::State)
Q_DECLARE_METATYPE(MifareClassicCard::Size)

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

    template<typename Card, typename... More>
    std::shared_ptr<Card> insert(const Bytes &uid, More... more)
    {
        auto card = std::make_shared<Card>(uid, more...);
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

    // The field off and on, then the identification: a new session.
    Bytes freshSession()
    {
        chip.write(ChipReg::TxControl, 0x58);
        chip.write(ChipReg::TxControl, 0x5B);
        return identify();
    }

    Bytes readBlock(quint8 block) { return exchange(Bytes("\x30") + char(block), 0x0F); }
    // The two acknowledgements of a two-phase write, as the FIFO holds them.
    Bytes writeBlock(quint8 command, quint8 block, const Bytes &data)
    {
        const Bytes first = exchange(Bytes(1, char(command)) + char(block), 0x07);
        return first + exchange(data, 0x07);
    }
};

// A card whose answer to the reader's token can come back with a bit
// flipped, and that byte's parity bit too: only its value is wrong.
struct TamperingCard : MifareClassicCard
{
    using MifareClassicCard::MifareClassicCard;
    bool tamper = false;

    std::optional<AirBits> hear(const AirFrame &frame) override
    {
        std::optional<AirBits> answer = MifareClassicCard::hear(frame);
        if (tamper && answer && frame.bits.size() == 72) {  // the token: eight bytes, their parity
            (*answer)[0] ^= 1;
            (*answer)[8] ^= 1;
        }
        return answer;
    }
};

Crypto1::Key keyOf(const Bytes &bytes)
{
    Crypto1::Key key {};
    std::copy(bytes.begin(), bytes.begin() + qsizetype(key.size()), key.begin());
    return key;
}

// The card's nonce of the last authentication, sent in the clear just
// before the reader's token.
quint32 lastCardNonce(const ChipModel &chip)
{
    const AirExchange &auth = chip.airLog().at(chip.airLog().size() - 2);
    return Crypto1::wordAt(Air::splitOddParity(auth.received.bits).bytes, 0);
}

// The public sample trace of a MIFARE Classic 1K authentication with key A
// FF FF FF FF FF FF.
const Bytes TraceUid("\x9C\x59\x9B\x32", 4);
constexpr quint32 TraceNonce = 0x82A4166C;
const Bytes TraceToken("\xA1\xE4\x58\xCE\x6E\xEA\x41\xE0", 8);
const Bytes TraceCardAnswer("\x5C\xAD\xF4\x39", 4);
constexpr int NonceBits = 32;
constexpr int NoncePeriod = 65535;

// The trace reader's cipher once it has taken in the UID and the card's
// nonce.
Crypto1 traceCipher()
{
    Crypto1 cipher;
    cipher.loadKey(keyOf(Bytes(6, '\xFF')));
    cipher.feedWord(Crypto1::wordAt(TraceUid, 0) ^ TraceNonce);
    return cipher;
}

// The trace reader's token in the clear: its nonce, deciphered from the
// trace as the card does, and its answer.
Bytes traceClearToken()
{
    Crypto1 card = traceCipher();
    AirBits nonce = Air::plain(TraceToken.left(4));
    card.decipher(nonce, false, { NonceBits, 0 });
    Bytes bytes;
    Air::toPlainBytes(nonce, &bytes);
    return bytes + Crypto1::wordBytes(Crypto1::readerAnswer(TraceNonce));
}

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
        QTest::addColumn<MifareClassicCard::Size>("size");
        QTest::addColumn<QByteArray>("uid");
        QTest::addColumn<QByteArray>("blockStart");
        QTest::addColumn<int>("blockCount");
        QTest::addColumn<int>("sectorCount");
        QTest::newRow("4-byte UID: UID, BCC, SAK, ATQA")
            << Size::Classic1K << UidA << UidA + Bytes("\x88\x08\x04\x00", 4) << 64 << 16;
        QTest::newRow("7-byte UID: UID, SAK, ATQA")
            << Size::Classic1K << DoubleClassicUid << DoubleClassicUid + Bytes("\x08\x44\x00", 3) << 64 << 16;
        QTest::newRow("4K, 4-byte UID") << Size::Classic4K << UidA << UidA + Bytes("\x88\x18\x02\x00", 4) << 256 << 40;
        QTest::newRow("4K, 7-byte UID")
            << Size::Classic4K << DoubleClassicUid << DoubleClassicUid + Bytes("\x18\x42\x00", 3) << 256 << 40;
    }

    void manufacturerBlockHoldsUidBccSakAtqa()
    {
        QFETCH(MifareClassicCard::Size, size);
        QFETCH(QByteArray, uid);
        QFETCH(QByteArray, blockStart);
        QFETCH(int, blockCount);
        QFETCH(int, sectorCount);
        MifareClassicCard card(uid, size);
        QCOMPARE(card.uid(), uid);
        QCOMPARE(card.block(0).left(blockStart.size()), blockStart);
        QCOMPARE(card.block(0).size(), MifareClassicCard::BlockSize);
        QCOMPARE(card.blockCount(), blockCount);
        QCOMPARE(card.sectorCount(), sectorCount);
        const Bytes factoryTrailer = Bytes(6, '\xFF') + Bytes("\xFF\x07\x80\x69") + Bytes(6, '\xFF');
        for (int sector = 0; sector < sectorCount; ++sector)
            QCOMPARE(card.block(MifareClassicCard::trailerOfSector(sector)), factoryTrailer);
        QCOMPARE(card.block(blockCount - 2), Bytes(MifareClassicCard::BlockSize, '\0'));  // a data block, not a trailer

        // On the air, the ATQA and the last SAK the block records.
        Reader reader;
        reader.insert<MifareClassicCard>(uid, size);
        QCOMPARE(reader.identify(), blockStart.mid(blockStart.size() - 3, 1));  // through SAK 04 for a 7-byte UID
        QCOMPARE(reader.exchange(Bytes("\x50\x00", 2), 0x07), Bytes());  // HLTA
        QCOMPARE(reader.wupa(), blockStart.right(2));
    }

    // The 4K's geometry: four blocks a sector up to 127, sixteen from 128.
    void classicSectorsAndTrailers_data()
    {
        QTest::addColumn<int>("block");
        QTest::addColumn<int>("sector");
        QTest::addColumn<int>("trailer");
        QTest::newRow("block 0") << 0 << 0 << 3;
        QTest::newRow("block 3, a trailer") << 3 << 0 << 3;
        QTest::newRow("block 127, last small trailer") << 127 << 31 << 127;
        QTest::newRow("block 128, first large sector") << 128 << 32 << 143;
        QTest::newRow("block 143, its trailer") << 143 << 32 << 143;
        QTest::newRow("block 144") << 144 << 33 << 159;
        QTest::newRow("block 255, the last") << 255 << 39 << 255;
    }

    void classicSectorsAndTrailers()
    {
        QFETCH(int, block);
        QFETCH(int, sector);
        QFETCH(int, trailer);
        QCOMPARE(MifareClassicCard::sectorOf(block), sector);
        QCOMPARE(MifareClassicCard::trailerOf(block), trailer);
        QCOMPARE(MifareClassicCard::trailerOfSector(sector), trailer);
    }

    // A card made from its argument, its KEY opening sectors large and small.
    void classicOpensWithTheKeyOfItsArgument_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<int>("keyCommand");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<int>("authenticatedBlock");
        QTest::addColumn<int>("block");
        QTest::addColumn<bool>("authenticated");
        QTest::addColumn<bool>("granted");
        const QString card4K = QStringLiteral("mifare4k:04A23B15:A0A1A2A3A4A5");
        const Bytes key("\xA0\xA1\xA2\xA3\xA4\xA5", 6);
        const Bytes transport(6, '\xFF');
        QTest::newRow("4K, large sector, key A") << card4K << 0x60 << key << 200 << 200 << true << true;
        QTest::newRow("4K, large sector, key B") << card4K << 0x61 << key << 255 << 254 << true << true;
        QTest::newRow("4K, opened by its trailer") << card4K << 0x60 << key << 143 << 128 << true << true;
        QTest::newRow("4K, small sector") << card4K << 0x60 << key << 126 << 125 << true << true;
        QTest::newRow("4K, next sector's block") << card4K << 0x60 << key << 128 << 144 << true << false;
        QTest::newRow("4K, transport key refused") << card4K << 0x60 << transport << 200 << 200 << false << false;
        QTest::newRow("4K, 7-byte UID")
            << QStringLiteral("mifare4k:04C3D5E7A9B1C2:A0A1A2A3A4A5") << 0x60 << key << 240 << 241 << true << true;
        QTest::newRow("4K, transport key by default") << QStringLiteral("mifare4k:04A23B15") << 0x60 << transport << 200
                                                      << 200 << true << true;
        QTest::newRow("1K, last sector") << QStringLiteral("mifare1k:04A23B15:A0A1A2A3A4A5") << 0x61 << key << 63 << 62
                                         << true << true;
        QTest::newRow("1K has no block 128") << QStringLiteral("mifare1k:04A23B15:A0A1A2A3A4A5") << 0x60 << key << 128
                                             << 128 << false << false;
    }

    void classicOpensWithTheKeyOfItsArgument()
    {
        QFETCH(QString, argument);
        QFETCH(int, keyCommand);
        QFETCH(QByteArray, key);
        QFETCH(int, authenticatedBlock);
        QFETCH(int, block);
        QFETCH(bool, authenticated);
        QFETCH(bool, granted);
        const auto card = std::dynamic_pointer_cast<MifareClassicCard>(CardArgument::parse(argument).card);
        QVERIFY(card);
        const Bytes data("sixteen bytes...");
        if (block < card->blockCount())
            card->setBlock(block, data);
        Reader reader;
        reader.chip.field().addCard(card);
        reader.identify();
        reader.loadKey(key);
        QCOMPARE(reader.authenticate(quint8(keyCommand), quint8(authenticatedBlock), card->uid().right(4)), authenticated);
        const Bytes refused = authenticated ? Bytes("\x04") : Bytes();  // a NAK under the session, or silence
        QCOMPARE(reader.readBlock(quint8(block)), granted ? data : refused);
        if (!granted)
            return;
        QCOMPARE(reader.writeBlock(0xA0, quint8(block), Bytes(16, 'w')), Bytes("\x0A\x0A"));
        QCOMPARE(card->block(block), Bytes(16, 'w'));
    }

    // In a sixteen-block sector each data access group spans five blocks:
    // 0 to 4, 5 to 9, 10 to 14 of the sector, here blocks 240 to 254.
    void largeSectorAccessGroupsSpanFiveBlocks_data()
    {
        QTest::addColumn<QByteArray>("accessBits");  // bytes 6 to 9 of the trailer, block 255
        QTest::addColumn<int>("block");
        QTest::addColumn<bool>("mayRead");
        QTest::addColumn<bool>("mayWrite");
        const Bytes secondGroupReadOnly("\xDF\x07\x82\x69");  // 010 for group 1, 000 for 0 and 2
        const Bytes thirdGroupNever("\xBB\x43\xC4\x69");      // 111 for group 2
        QTest::newRow("read-only group 1, block 4") << secondGroupReadOnly << 244 << true << true;
        QTest::newRow("read-only group 1, block 5") << secondGroupReadOnly << 245 << true << false;
        QTest::newRow("read-only group 1, block 8") << secondGroupReadOnly << 248 << true << false;
        QTest::newRow("read-only group 1, block 9") << secondGroupReadOnly << 249 << true << false;
        QTest::newRow("read-only group 1, block 10") << secondGroupReadOnly << 250 << true << true;
        QTest::newRow("never group 2, block 6") << thirdGroupNever << 246 << true << true;
        QTest::newRow("never group 2, block 9") << thirdGroupNever << 249 << true << true;
        QTest::newRow("never group 2, block 10") << thirdGroupNever << 250 << false << false;
        QTest::newRow("never group 2, block 11") << thirdGroupNever << 251 << false << false;
        QTest::newRow("never group 2, block 12") << thirdGroupNever << 252 << false << false;
        QTest::newRow("never group 2, block 14") << thirdGroupNever << 254 << false << false;
    }

    void largeSectorAccessGroupsSpanFiveBlocks()
    {
        QFETCH(QByteArray, accessBits);
        QFETCH(int, block);
        QFETCH(bool, mayRead);
        QFETCH(bool, mayWrite);
        Reader reader;
        auto card = reader.insert<MifareClassicCard>(UidA, Size::Classic4K);
        card->setBlock(255, Bytes(6, '\xFF') + accessBits + Bytes(6, '\xFF'));
        card->setBlock(block, Bytes("large sector dat"));
        reader.identify();
        reader.loadKey(Bytes(6, '\xFF'));
        QVERIFY(reader.authenticate(0x60, quint8(block), UidA));
        QCOMPARE(reader.readBlock(quint8(block)) == Bytes("large sector dat"), mayRead);
        if (!mayRead) {
            reader.identify();
            QVERIFY(reader.authenticate(0x60, quint8(block), UidA));
        }
        const Bytes acks = reader.writeBlock(0xA0, quint8(block), Bytes(16, 'w'));
        QCOMPARE(acks == Bytes("\x0A\x0A"), mayWrite);
        QCOMPARE(card->block(block) == Bytes(16, 'w'), mayWrite);
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

    // --- Crypto1 ----------------------------------------------------------

    void nonceGeneratorShifts_data()
    {
        QTest::addColumn<int>("shifts");
        QTest::addColumn<quint32>("expected");
        QTest::newRow("one shift appends x16 ^ x18 ^ x19 ^ x21") << 1 << 0x41520BB6u;
        QTest::newRow("the reader's answer in the trace") << 64 << 0x8D65734Bu;
        QTest::newRow("the card's answer in the trace") << 96 << 0x9A427B20u;
        QTest::newRow("a whole period") << NoncePeriod << TraceNonce;
    }

    void nonceGeneratorShifts()
    {
        QFETCH(int, shifts);
        QFETCH(quint32, expected);
        QCOMPARE(Crypto1::successor(TraceNonce, shifts), expected);
    }

    // The reader's side alone gives back the trace's token and the card's
    // answer. Each parity bit goes out under the keystream bit of the next
    // byte's first bit, and takes no shift: without parity bits the data
    // bits are the same.
    void readerCipherReproducesTheSampleTrace()
    {
        const Bytes clear = traceClearToken();
        Crypto1 reader = traceCipher();
        AirBits token = Air::withOddParity(clear);
        reader.encipher(token, true, { NonceBits, 0 });
        QCOMPARE(Air::splitOddParity(token).bytes, TraceToken);
        for (std::size_t i = 0; i + 1 < std::size_t(clear.size()); ++i) {
            const quint8 nextKeystream = token[(i + 1) * 9] ^ (quint8(clear.at(int(i + 1))) & 1);
            QCOMPARE(quint8(token[i * 9 + 8] ^ nextKeystream), quint8(Air::oddParityBit(quint8(clear.at(int(i))))));
        }
        AirBits answer = Air::withOddParity(Crypto1::wordBytes(Crypto1::cardAnswer(TraceNonce)));
        reader.encipher(answer, true);
        QCOMPARE(Air::splitOddParity(answer).bytes, TraceCardAnswer);

        Crypto1 withoutParity = traceCipher();
        AirBits unframed = Air::plain(clear);
        withoutParity.encipher(unframed, false, { NonceBits, 0 });
        QCOMPARE(unframed, Air::plain(TraceToken));
    }

    // The card of the trace, its nonce set, answers the trace's token with
    // the trace's answer, bit for bit.
    void cardAnswersTheSampleTrace()
    {
        MifareClassicCard card(TraceUid);
        card.setNextNonce(TraceNonce);
        card.fieldOn();
        const auto hear = [&card](const AirBits &bits) {
            return card.hear(AirFrame { AirCoding::ModifiedMiller, bits, false }).value_or(AirBits());
        };
        AirBits reqa;
        Air::appendByte(reqa, 0x26, 7);
        QCOMPARE(hear(reqa), Air::withOddParity(Bytes("\x04\x00", 2)));
        QCOMPARE(hear(Air::withOddParity(Bytes("\x93\x20"))), Air::withOddParity(TraceUid + '\x6C'));
        QCOMPARE(hear(TypeACard::withCrc(Bytes("\x93\x70") + TraceUid + '\x6C')), Air::withOddParity(Bytes("\x08\xB6\xDD")));
        QCOMPARE(hear(Air::withOddParity(Bytes("\x60\x32\x64\x69"))), Air::withOddParity(Crypto1::wordBytes(TraceNonce)));

        Crypto1 reader = traceCipher();
        AirBits token = Air::withOddParity(traceClearToken());
        reader.encipher(token, true, { NonceBits, 0 });
        AirBits expected = Air::withOddParity(Crypto1::wordBytes(Crypto1::cardAnswer(TraceNonce)));
        reader.encipher(expected, true);
        const AirBits answer = hear(token);
        QCOMPARE(answer, expected);
        QCOMPARE(Air::splitOddParity(answer).bytes, TraceCardAnswer);
        QCOMPARE(card.authenticatedSector(), MifareClassicCard::sectorOf(0x32));
    }

    // The chip against a card, with fresh nonces each round: the first
    // authentication, a read, a nested one of another sector under another
    // key, then a wrong key, which the card meets with silence.
    void chipAndCardAgreeOnEveryKey_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("transport") << Bytes(6, '\xFF');
        QTest::newRow("demo key") << Bytes("\x3C\x5E\x7A\x91\xB2\xD4", 6);
        QTest::newRow("A0 to A5") << Bytes("\xA0\xA1\xA2\xA3\xA4\xA5", 6);
        QTest::newRow("all zero") << Bytes(6, '\0');
    }

    void chipAndCardAgreeOnEveryKey()
    {
        QFETCH(QByteArray, key);
        const Bytes nestedKey("\x1F\x2E\x3D\x4C\x5B\x6A", 6);
        Reader reader;
        auto card = reader.insert<MifareClassicCard>(UidA);
        card->setSectorKeys(1, keyOf(key), keyOf(key));
        card->setSectorKeys(2, keyOf(nestedKey), keyOf(nestedKey));
        card->setBlock(5, Bytes("sector one, b 5."));
        card->setBlock(9, Bytes("sector two, b 9."));
        QSet<quint32> cardNonces;
        for (int round = 0; round < 4; ++round) {
            QCOMPARE(reader.freshSession(), Bytes("\x08"));
            reader.loadKey(key);
            QVERIFY(reader.authenticate(0x60, 4, UidA));
            cardNonces.insert(lastCardNonce(reader.chip));
            QCOMPARE(reader.readBlock(5), Bytes("sector one, b 5."));
            reader.loadKey(nestedKey);
            QVERIFY(reader.authenticate(0x61, 10, UidA));
            QCOMPARE(card->authenticatedSector(), 2);
            QCOMPARE(reader.readBlock(9), Bytes("sector two, b 9."));
        }
        QVERIFY(cardNonces.size() > 1);
        for (quint32 nonce : cardNonces)
            QCOMPARE(Crypto1::successor(nonce, NoncePeriod), nonce);  // from the 16-bit generator

        reader.freshSession();
        reader.loadKey(nestedKey);  // not sector one's
        QVERIFY(!reader.authenticate(0x60, 4, UidA));
        QVERIFY(reader.chip.airLog().back().authenticationToken);
        QVERIFY(reader.chip.airLog().back().received.empty());
        QCOMPARE(card->authenticatedSector(), -1);
    }

    // Crypto1On only for the card's right answer; the chip's own nonce is
    // drawn afresh, so that the same card nonce twice makes another token.
    void crypto1OnOnlyForTheCardsRightAnswer_data()
    {
        QTest::addColumn<bool>("tamper");
        QTest::newRow("the card's answer") << false;
        QTest::newRow("a bit of it flipped, parity matching") << true;
    }

    void crypto1OnOnlyForTheCardsRightAnswer()
    {
        QFETCH(bool, tamper);
        Reader reader;
        auto card = reader.insert<TamperingCard>(UidA);
        card->tamper = tamper;
        AirBits tokens[2];
        for (AirBits &token : tokens) {
            reader.freshSession();
            reader.loadKey(Bytes(6, '\xFF'));
            card->setNextNonce(TraceNonce);
            QCOMPARE(reader.authenticate(0x60, 4, UidA), !tamper);
            QCOMPARE(card->authenticatedSector(), 1);  // the card took the token
            token = reader.chip.airLog().back().sent.bits;
        }
        QVERIFY(tokens[0] != tokens[1]);
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
