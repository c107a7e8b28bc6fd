// The type A and MIFARE Classic layers against virtual cards, through the
// pseudo-terminal: the exact register traffic of each operation, whole
// identifications of single- and double-size UIDs, collisions, and a MIFARE
// block authenticated, written and read back; and what a sector trailer's
// access bits grant, block by block.

#include "accessconditions.h"
#include "benchfixture.h"
#include "chipregisters.h"
#include "iso14443aprotocol.h"
#include "mifareclassic.h"
#include "mifareclassiccard.h"
#include "ultralightcard.h"

#include <QElapsedTimer>
#include <QTest>

#include <array>

using Bytes = QByteArray;
using Traffic = std::vector<Handshake>;

namespace {

const Bytes SingleUid("\x04\xA2\x3B\x15", 4);          // BCC 0x88
const Bytes DoubleUid("\x04\xA2\x3B\x91\xC4\x2E\x80", 7);  // level-1 BCC 0x15
constexpr quint8 DoubleBcc2 = 0x91 ^ 0xC4 ^ 0x2E ^ 0x80;

Bytes bytesOf(const quint8 *bytes, int count)
{
    return Bytes(reinterpret_cast<const char *>(bytes), count);
}

// The handshakes of a card exchange: frame into the FIFO, Transceive, the
// FIFO's length once the wait is over (`received`, the whole read-out when
// not given), then the FIFO reads whose values the caller gives.
std::vector<Handshake> transceiveTraffic(const Bytes &frame, const Bytes &answer, int received = -1)
{
    std::vector<Handshake> traffic;
    for (char byte : frame)
        traffic.push_back(written(ChipReg::FIFOData, quint8(byte)));
    traffic.push_back(written(ChipReg::Command, ChipCmd::Transceive));
    traffic.push_back(read(ChipReg::FIFOLength, quint8(received < 0 ? answer.size() : received)));
    for (char byte : answer)
        traffic.push_back(read(ChipReg::FIFOData, quint8(byte)));
    return traffic;
}

// What follows the read-out of a clean answer of whole bytes.
const std::vector<Handshake> NoReceptionError = { read(ChipReg::ErrorFlag, 0x00) };
// What follows the read-out of a MIFARE acknowledgement: four bits.
const std::vector<Handshake> FourBitsReceived = { read(ChipReg::SecondaryStatus, 0x04) };

std::vector<Handshake> operator+(std::vector<Handshake> first, const std::vector<Handshake> &second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

const std::vector<Handshake> LoadConfigurationTraffic = {
    written(ChipReg::Control, 0x01),       written(ChipReg::TxControl, 0x58),
    written(ChipReg::FIFOData, 0x10),      written(ChipReg::FIFOData, 0x00),
    written(ChipReg::Command, ChipCmd::LoadConfig), written(ChipReg::Page, 0x00),
    written(ChipReg::TxControl, 0x5B),     written(ChipReg::ClockQControl, 0x00),
    written(ChipReg::CwConductance, 0x3F),
};

// The three access bytes of a sector trailer for the conditions of access
// groups 0 to 3 (C1 C2 C3 each, C1 the high bit), laid out as the card's
// data sheet lays them: ~C2 ~C1, C1 ~C3, C3 C2, one bit per group a nibble.
Bytes accessBytesFor(const std::array<int, 4> &groups)
{
    int c1 = 0, c2 = 0, c3 = 0;
    for (int group = 0; group < 4; ++group) {
        c1 |= ((groups[std::size_t(group)] >> 2) & 1) << group;
        c2 |= ((groups[std::size_t(group)] >> 1) & 1) << group;
        c3 |= (groups[std::size_t(group)] & 1) << group;
    }
    const auto byte = [](int high, int low) { return char(((high & 0x0F) << 4) | (low & 0x0F)); };
    const char bytes[] = { byte(~c2, ~c1), byte(c1, ~c3), byte(c3, c2) };
    return Bytes(bytes, int(sizeof bytes));
}

const quint8 *unsignedBytes(const Bytes &bytes)
{
    return reinterpret_cast<const quint8 *>(bytes.constData());
}

// Grants as the data sheet's tables write them.
constexpr int Never = AccessConditions::Never, A = AccessConditions::KeyA, B = AccessConditions::KeyB,
              AB = AccessConditions::EitherKey;
const Bytes TransportAccessBytes("\xFF\x07\x80", 3);

} // namespace

Q_DECLARE_METATYPE(Handshake)

class TestIso14443a : public QObject
{
    Q_OBJECT

private:
    BenchFixture bench;
    std::unique_ptr<Iso14443aProtocol> iso;
    std::unique_ptr<MifareClassic> mifare;

    template<typename Card>
    std::shared_ptr<Card> insert(const Bytes &uid)
    {
        auto card = std::make_shared<Card>(uid);
        bench.board().withBoard([&](BoardEngine &engine) { engine.chip().field().addCard(card); });
        return card;
    }

    void removeAllCards()
    {
        bench.board().withBoard([](BoardEngine &engine) { engine.chip().field().removeAllCards(); });
    }

    template<typename Work>
    auto onBoard(Work &&work)
    {
        return bench.onBoard(std::forward<Work>(work));
    }

    void identify()
    {
        iso->request();
        iso->anticollisionLevel1();
        iso->select();
    }

    void authenticate(const Bytes &key, quint8 block, const char *expectedLine)
    {
        std::copy(key.begin(), key.end(), mifare->key);
        mifare->encodeKey();
        mifare->loadKey();
        QTest::ignoreMessage(QtDebugMsg, expectedLine);
        mifare->authenticate(0x60, block);
    }

private slots:
    void init()
    {
        QVERIFY2(bench.start(), qPrintable(bench.error));
        iso = std::make_unique<Iso14443aProtocol>(bench.link.get());
        mifare = std::make_unique<MifareClassic>(iso.get());
    }

    void cleanup()
    {
        mifare.reset();
        iso.reset();
        bench.stop();
    }

    // --- state and traffic of the type A layer -----------------------------

    void constructionZeroesTheStateBlock()
    {
        QCOMPARE(iso->link, bench.link.get());
        QCOMPARE(bytesOf(iso->uid, 8), Bytes(8, '\0'));
        QCOMPARE(bytesOf(iso->atqa, 2), Bytes(2, '\0'));
        QCOMPARE(iso->cascadeCommand + iso->bcc1 + iso->bcc2 + iso->errorCode + iso->cascadeLevels + iso->sak, 0);
        QCOMPARE(bench.hostBytes(), Bytes());  // nothing talks to the board yet
    }

    void loadConfigurationTraffic()
    {
        bench.board().withBoard([](BoardEngine &engine) { engine.chip().write(ChipReg::CoderControl, 0x2E); });
        iso->loadConfiguration();
        QCOMPARE(bench.trace(), LoadConfigurationTraffic);
        QCOMPARE(bench.chipRegister(ChipReg::CoderControl), quint8(0x19));
        QCOMPARE(bench.chipRegister(ChipReg::TxControl), quint8(0x5B));
    }

    void requestTrafficAndAtqa()
    {
        insert<MifareClassicCard>(SingleUid);
        iso->request();
        const std::vector<Handshake> expected =
            Traffic { written(ChipReg::TxControl, 0x58), written(ChipReg::TxControl, 0x5B) }
            + LoadConfigurationTraffic
            + Traffic { written(ChipReg::BitFraming, 0x07), written(ChipReg::ChannelRedundancy, 0x03) }
            + transceiveTraffic(Bytes("\x26"), Bytes("\x04\x00", 2)) + NoReceptionError;
        QCOMPARE(bench.trace(), expected);
        QCOMPARE(bytesOf(iso->atqa, 2), Bytes("\x04\x00", 2));
        QCOMPARE(iso->lastAnswer, Iso14443aProtocol::Outcome::Answered);
    }

    void singleSizeIdentification()
    {
        auto card = insert<MifareClassicCard>(SingleUid);
        iso->request();
        bench.clearHistory();
        iso->anticollisionLevel1();
        QCOMPARE(bench.trace(), (Traffic { written(ChipReg::ChannelRedundancy, 0x03) }
                     + transceiveTraffic(Bytes("\x93\x20"), SingleUid + char(0x88)) + NoReceptionError));
        QCOMPARE(iso->lastAnswer, Iso14443aProtocol::Outcome::Answered);
        QCOMPARE(bytesOf(iso->uid, 4), SingleUid);
        QCOMPARE(iso->bcc1, quint8(0x88));
        QCOMPARE(iso->cascadeCommand, quint8(0x93));
        QCOMPARE(iso->errorCode, quint8(0));
        QCOMPARE(iso->cascadeLevels, quint8(0));

        bench.clearHistory();
        iso->select();
        QCOMPARE(bench.trace(), (Traffic { written(ChipReg::ChannelRedundancy, 0x0F),
                                                        written(ChipReg::Control, 0x01) }
                     + transceiveTraffic(Bytes("\x93\x70") + SingleUid + char(0x88), Bytes("\x08\x00", 2), 1)
                     + NoReceptionError));
        QCOMPARE(iso->sak, quint8(0x08));
        QCOMPARE(iso->lastAnswer, Iso14443aProtocol::Outcome::Answered);
        QCOMPARE(onBoard([&](BoardEngine &) { return card->state(); }), TypeACard::State::Active);
    }

    void doubleSizeIdentificationTakesBothCascadeLevels()
    {
        auto card = insert<UltralightCard>(DoubleUid);
        iso->request();
        QCOMPARE(bytesOf(iso->atqa, 2), Bytes("\x44\x00", 2));

        iso->anticollisionLevel1();
        QCOMPARE(iso->cascadeCommand, quint8(0x95));
        QCOMPARE(iso->cascadeLevels, quint8(1));
        QCOMPARE(bytesOf(iso->uid, 3), DoubleUid.left(3));
        QCOMPARE(iso->bcc1, quint8(0x15));
        QCOMPARE(iso->errorCode, quint8(0));

        bench.clearHistory();
        iso->select();  // cascade level 1 of a double-size UID
        QCOMPARE(bench.trace(), (Traffic { written(ChipReg::ChannelRedundancy, 0x0F),
                                                        written(ChipReg::Control, 0x01) }
                     + transceiveTraffic(Bytes("\x93\x70\x88\x04\xA2\x3B\x15"), Bytes("\x04\x00", 2), 1)
                     + NoReceptionError));
        QCOMPARE(iso->sak, quint8(0x04));  // cascade bit: UID not complete

        bench.clearHistory();
        iso->anticollisionLevel2();
        QCOMPARE(bench.trace(), (Traffic { written(ChipReg::Control, 0x01),
                                                        written(ChipReg::ChannelRedundancy, 0x03) }
                     + transceiveTraffic(Bytes("\x95\x20"), DoubleUid.mid(3) + char(DoubleBcc2)) + NoReceptionError));
        QCOMPARE(bytesOf(iso->uid, 7), DoubleUid);
        QCOMPARE(iso->bcc2, DoubleBcc2);
        QCOMPARE(iso->cascadeLevels, quint8(2));

        bench.clearHistory();
        iso->select();  // cascade level 2 alone
        QCOMPARE(bench.trace(), (Traffic { written(ChipReg::ChannelRedundancy, 0x0F),
                                                        written(ChipReg::Control, 0x01) }
                     + transceiveTraffic(Bytes("\x95\x70") + DoubleUid.mid(3) + char(DoubleBcc2), Bytes("\x00\x00", 2), 1)
                     + NoReceptionError));
        QCOMPARE(iso->sak, quint8(0x00));
        QCOMPARE(onBoard([&](BoardEngine &) { return card->state(); }), TypeACard::State::Active);
    }

    void collidingCardsGiveABccError()
    {
        insert<MifareClassicCard>(SingleUid);
        insert<MifareClassicCard>(Bytes("\x08\x11\x22\x33"));
        iso->request();
        iso->anticollisionLevel1();
        // The receiver holds the bits either card sent: 0C B3 3B 37, BCC 88.
        QCOMPARE(bytesOf(iso->uid, 4), Bytes("\x0C\xB3\x3B\x37"));
        QCOMPARE(iso->bcc1, quint8(0x88));
        QCOMPARE(iso->errorCode, Iso14443aProtocol::BccError);
        QCOMPARE(iso->lastAnswer, Iso14443aProtocol::Outcome::Garbled);
        QVERIFY(bench.chipRegister(ChipReg::ErrorFlag) & ErrorFlagBits::CollErr);
        QCOMPARE(bench.chipRegister(ChipReg::CollPos), quint8(3));  // 04 and 08 first differ in bit 2

        // A SELECT of that mixture matches neither card: no SAK.
        iso->select();
        QCOMPARE(iso->sak, quint8(0x00));
        QCOMPARE(iso->lastAnswer, Iso14443aProtocol::Outcome::NoAnswer);
    }

    void bccErrorOfLevelOneIsClearedByLevelTwo()
    {
        // Two double-size cards collide at level 1; the one-call anticollision
        // goes on to level 2 by itself, where neither card answers (no level-1
        // SELECT came first), and only level 2's clean check is kept.
        insert<UltralightCard>(DoubleUid);
        insert<UltralightCard>(Bytes("\x04\x11\x22\x33\x44\x55\x66", 7));
        iso->request();
        iso->anticollision();
        QCOMPARE(iso->cascadeCommand, quint8(0x95));
        QCOMPARE(iso->cascadeLevels, quint8(2));
        QCOMPARE(iso->errorCode, quint8(0));
        QCOMPARE(bytesOf(iso->uid + 3, 4), Bytes(4, '\0'));
        // Level 1 did fail its check: the cascade tag and three mixed bytes
        // against a mixed BCC.
        QVERIFY(quint8(0x88 ^ iso->uid[0] ^ iso->uid[1] ^ iso->uid[2]) != iso->bcc1);
    }

    void bccErrorOfLevelTwoIsKept()
    {
        // Two double-size cards alike at level 1, so both are selected there
        // and collide at level 2: 91 C4 2E 80 and 90 C5 2E 80 share the BCC
        // FB, and their mixture 91 C5 2E 80 fails it.
        insert<UltralightCard>(DoubleUid);
        insert<UltralightCard>(Bytes("\x04\xA2\x3B\x90\xC5\x2E\x80", 7));
        iso->request();
        iso->anticollisionLevel1();
        QCOMPARE(iso->errorCode, quint8(0));
        iso->select();
        QCOMPARE(iso->sak, quint8(0x04));
        iso->anticollisionLevel2();
        QCOMPARE(bytesOf(iso->uid + 3, 4), Bytes("\x91\xC5\x2E\x80"));
        QCOMPARE(iso->bcc2, quint8(0xFB));
        QCOMPARE(iso->errorCode, Iso14443aProtocol::BccError);
        QCOMPARE(iso->cascadeLevels, quint8(2));
    }

    void scanIdentifiesASingleSizeCardWithoutSelect()
    {
        auto card = insert<MifareClassicCard>(SingleUid);
        iso->scan();
        QCOMPARE(bytesOf(iso->uid, 4), SingleUid);
        QCOMPARE(iso->cascadeCommand, quint8(0x93));
        QCOMPARE(onBoard([&](BoardEngine &) { return card->state(); }), TypeACard::State::Ready);
        const auto trace = bench.trace();
        QCOMPARE(trace.front(), written(ChipReg::TxControl, 0x58));
        QCOMPARE(trace.at(1), written(ChipReg::TxControl, 0x5B));
    }

    void cascadeLevelsOutliveASingleSizeCard()
    {
        insert<UltralightCard>(DoubleUid);
        iso->request();
        iso->anticollisionLevel1();
        iso->select();
        iso->anticollisionLevel2();
        removeAllCards();
        insert<MifareClassicCard>(SingleUid);
        iso->request();
        iso->anticollisionLevel1();
        QCOMPARE(iso->cascadeCommand, quint8(0x93));
        QCOMPARE(iso->cascadeLevels, quint8(2));  // kept from the double-size card
        QCOMPARE(bytesOf(iso->uid, 7), SingleUid + DoubleUid.mid(4));  // uid[4..6] kept too
        bench.clearHistory();
        iso->select();
        QCOMPARE(iso->sak, quint8(0x08));
        QCOMPARE(bench.trace().at(2), written(ChipReg::FIFOData, 0x93));
        // Its authentication carries its own four bytes, not uid[3..6].
        authenticate(Bytes(6, '\xFF'), 4, "AUTH OK IF 0X08: 8");
        QVERIFY(mifare->authenticated);
    }

    void selectBeforeAnyAnticollisionSendsZeros()
    {
        insert<MifareClassicCard>(SingleUid);
        iso->request();
        bench.clearHistory();
        iso->select();
        // Nobody answers: the FIFO is found empty and nothing is read out.
        QCOMPARE(bench.trace(), (Traffic { written(ChipReg::ChannelRedundancy, 0x0F),
                                                        written(ChipReg::Control, 0x01) }
                     + transceiveTraffic(Bytes(7, '\0'), Bytes(), 0)));
        QCOMPARE(iso->sak, quint8(0));
        QCOMPARE(iso->lastAnswer, Iso14443aProtocol::Outcome::NoAnswer);
    }

    void shortFrameBitsAreSpentByTheChipNotRewritten()
    {
        insert<MifareClassicCard>(SingleUid);
        identify();
        // No host write ever sets BitFraming back from 0x07...
        for (const Handshake &handshake : bench.trace()) {
            if (handshake.operation == Handshake::Write && handshake.address == ChipReg::BitFraming)
                QCOMPARE(handshake.value, quint8(0x07));
        }
        // ...the chip clears its TxLastBits once the REQA is out, so the
        // anticollision frame that follows goes out whole.
        const auto airLog = onBoard([](BoardEngine &engine) { return engine.chip().airLog(); });
        QCOMPARE(airLog.at(airLog.size() - 3).sent.bits.size(), std::size_t(7));   // REQA
        QCOMPARE(airLog.at(airLog.size() - 2).sent.bits, Air::withOddParity(Bytes("\x93\x20")));
        QCOMPARE(bench.chipRegister(ChipReg::BitFraming), quint8(0x00));
    }

    // --- MIFARE Classic ---------------------------------------------------

    void encodeKeyComplementsEachNibble_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("nibbles 0 5 A F") << Bytes("\x05\xAF\x00\x00\x00\x00", 6)
                                         << Bytes("\xF0\xA5\x5A\x0F\xF0\xF0\xF0\xF0\xF0\xF0\xF0\xF0", 12);
        QTest::newRow("default key 3C5E7A91B2D4") << Bytes("\x3C\x5E\x7A\x91\xB2\xD4", 6)
                                                 << Bytes("\xC3\x3C\xA5\x1E\x87\x5A\x69\xE1\x4B\xD2\x2D\xB4", 12);
    }

    void encodeKeyComplementsEachNibble()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, encoded);
        std::copy(key.begin(), key.end(), mifare->key);
        mifare->encodeKey();
        QCOMPARE(bytesOf(mifare->encodedKey, 12), encoded);
        for (quint8 byte : mifare->encodedKey)
            QCOMPARE(quint8(byte >> 4), quint8((byte & 0x0F) ^ 0x0F));
    }

    void loadKeyAndAuthenticateTraffic()
    {
        insert<MifareClassicCard>(SingleUid);
        identify();
        std::fill(std::begin(mifare->key), std::end(mifare->key), quint8(0xFF));
        mifare->encodeKey();
        bench.clearHistory();
        mifare->loadKey();
        std::vector<Handshake> expected = { written(ChipReg::Command, ChipCmd::Idle), written(ChipReg::Control, 0x01) };
        for (int i = 0; i < 12; ++i)
            expected.push_back(written(ChipReg::FIFOData, 0x0F));
        expected.push_back(written(ChipReg::Command, ChipCmd::LoadKey));
        expected.push_back(written(ChipReg::Control, 0x01));
        QCOMPARE(bench.trace(), expected);

        bench.clearHistory();
        QTest::ignoreMessage(QtDebugMsg, "AUTH OK IF 0X08: 8");
        mifare->authenticate(0x60, 4);
        expected = { written(ChipReg::Control, 0x01), written(ChipReg::ChannelRedundancy, 0x07) };
        for (char byte : Bytes("\x60\x04") + SingleUid)
            expected.push_back(written(ChipReg::FIFOData, quint8(byte)));
        expected.push_back(written(ChipReg::Command, ChipCmd::Authent1));
        expected.push_back(written(ChipReg::ChannelRedundancy, 0x03));
        expected.push_back(written(ChipReg::Command, ChipCmd::Authent2));
        expected.push_back(read(ChipReg::Control, 0x08));
        QCOMPARE(bench.trace(), expected);
        QVERIFY(mifare->authenticated);
    }

    // Each fixed wait of an operation sits between the two handshakes it
    // must separate, as the board's clock dates them: the nth handshake
    // like `after` in the operation's traffic, and the first like `before`
    // that follows it. A wait shortened or moved fails here, where the
    // traffic alone cannot tell.
    void waitsSitBetweenTheirHandshakes_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<Handshake>("after");
        QTest::addColumn<int>("nth");
        QTest::addColumn<Handshake>("before");
        QTest::addColumn<int>("ms");
        const Handshake transceive = written(ChipReg::Command, ChipCmd::Transceive);
        QTest::newRow("REQA: field off") << "request" << written(ChipReg::TxControl, 0x58) << 1
                                         << written(ChipReg::TxControl, 0x5B) << 100;
        QTest::newRow("REQA: answer") << "request" << transceive << 1 << read(ChipReg::FIFOLength, 2) << 100;
        QTest::newRow("level 1: settling") << "anticollision" << written(ChipReg::ChannelRedundancy, 0x03) << 1
                                           << written(ChipReg::FIFOData, 0x93) << 5;
        QTest::newRow("level 1: answer") << "anticollision" << transceive << 1 << read(ChipReg::FIFOLength, 5) << 100;
        QTest::newRow("key loading") << "loadKey" << written(ChipReg::Command, ChipCmd::LoadKey) << 1
                                     << written(ChipReg::Control, 0x01) << 100;
        QTest::newRow("authentication, first step") << "authenticate" << written(ChipReg::Command, ChipCmd::Authent1) << 1
                                                    << written(ChipReg::ChannelRedundancy, 0x03) << 100;
        QTest::newRow("authentication, second step") << "authenticate" << written(ChipReg::Command, ChipCmd::Authent2) << 1
                                                     << read(ChipReg::Control, 0x08) << 100;
        QTest::newRow("read: settling") << "read" << written(ChipReg::ChannelRedundancy, 0x0F) << 1
                                        << written(ChipReg::FIFOData, 0x30) << 10;
        QTest::newRow("read: answer") << "read" << transceive << 1 << read(ChipReg::FIFOLength, 16) << 100;
        QTest::newRow("write: settling") << "write" << written(ChipReg::ChannelRedundancy, 0x07) << 1
                                         << written(ChipReg::FIFOData, 0xA0) << 10;
        QTest::newRow("write: command phase") << "write" << transceive << 1 << read(ChipReg::FIFOLength, 1) << 200;
        QTest::newRow("write: data phase") << "write" << transceive << 2 << read(ChipReg::FIFOLength, 1) << 300;
    }

    void waitsSitBetweenTheirHandshakes()
    {
        QFETCH(QString, operation);
        QFETCH(Handshake, after);
        QFETCH(int, nth);
        QFETCH(Handshake, before);
        QFETCH(int, ms);
        auto card = insert<MifareClassicCard>(SingleUid);
        const MifareClassicCard::Key key = { 0x3C, 0x5E, 0x7A, 0x91, 0xB2, 0xD4 };
        onBoard([&](BoardEngine &) { card->setSectorKeys(1, key, key); });
        if (operation == "anticollision") {
            iso->request();
        } else if (operation != "request") {
            identify();
            std::copy(key.begin(), key.end(), mifare->key);
            mifare->encodeKey();
            if (operation != "loadKey")
                mifare->loadKey();
        }
        if (operation == "read" || operation == "write")
            authenticate(Bytes(reinterpret_cast<const char *>(key.data()), 6), 5, "AUTH OK IF 0X08: 8");
        bench.clearHistory();

        quint8 block[16] = {};
        if (operation == "request") {
            iso->request();
        } else if (operation == "anticollision") {
            iso->anticollisionLevel1();
        } else if (operation == "loadKey") {
            mifare->loadKey();
        } else if (operation == "authenticate") {
            QTest::ignoreMessage(QtDebugMsg, "AUTH OK IF 0X08: 8");
            mifare->authenticate(0x60, 5);
        } else if (operation == "read") {
            mifare->readBlock(5, block);
        } else {
            mifare->writeBlock(5, block);
        }

        const Traffic trace = bench.trace();
        auto start = trace.begin();
        for (int i = 0; i < nth && start != trace.end(); ++i)
            start = std::find(i == 0 ? trace.begin() : start + 1, trace.end(), after);
        QVERIFY2(start != trace.end(), "no such handshake");
        const auto end = std::find(start + 1, trace.end(), before);
        QVERIFY2(end != trace.end(), "no such handshake after it");
        // The host's wait begins after the board took the first handshake's
        // command byte (it answered "A" to it) and ends before the board has
        // the second whole, however late the board reads what the host
        // wrote: the wait lies within, whatever the machine's load. A wait
        // shortened, or moved elsewhere, leaves less than it between them.
        const double spanMs = double(end->atNs - start->startNs) / 1e6;
        QVERIFY2(spanMs > ms, qPrintable(QStringLiteral("%1 ms between them, %2 due").arg(spanMs).arg(ms)));
    }

    void blockIsAuthenticatedWrittenAndReadBack()
    {
        auto card = insert<MifareClassicCard>(SingleUid);
        const MifareClassicCard::Key key = { 0x3C, 0x5E, 0x7A, 0x91, 0xB2, 0xD4 };
        onBoard([&](BoardEngine &) { card->setSectorKeys(1, key, key); });
        identify();
        authenticate(Bytes("\x3C\x5E\x7A\x91\xB2\xD4", 6), 5, "AUTH OK IF 0X08: 8");
        QVERIFY(onBoard([](BoardEngine &engine) { return engine.chip().crypto1On(); }));

        const Bytes data("TagBench block 5");
        bench.clearHistory();
        mifare->writeBlock(5, reinterpret_cast<const quint8 *>(data.constData()));
        const std::vector<Handshake> writeTraffic =
            Traffic { written(ChipReg::ChannelRedundancy, 0x07) }
            + transceiveTraffic(Bytes("\xA0\x05"), Bytes("\x0A")) + FourBitsReceived
            + transceiveTraffic(data, Bytes("\x0A")) + FourBitsReceived
            + Traffic { written(ChipReg::ChannelRedundancy, 0x03) };
        QCOMPARE(bench.trace(), writeTraffic);
        QCOMPARE(onBoard([&](BoardEngine &) { return card->block(5); }), data);
        QCOMPARE(mifare->writeCommandPhase, MifareClassic::Outcome::Answered);
        QCOMPARE(mifare->writeDataPhase, MifareClassic::Outcome::Answered);

        quint8 buffer[16] = {};
        bench.clearHistory();
        mifare->readBlock(5, buffer);
        QCOMPARE(bytesOf(buffer, 16), data);
        QCOMPARE(bench.trace(), (Traffic { written(ChipReg::ChannelRedundancy, 0x0F) }
                     + transceiveTraffic(Bytes("\x30\x05"), data) + NoReceptionError));
        QCOMPARE(mifare->lastRead, MifareClassic::Outcome::Answered);

        // The ACK is four bits: a whole byte ending in 1010 is none, and no
        // data follow it.
        BoardFaults wholeByte;
        wholeByte.stuckReads[ChipReg::SecondaryStatus] = 0x00;  // eight bits in the last byte
        bench.setFaults(wholeByte);
        const Bytes other(16, 'x');
        mifare->writeBlock(5, reinterpret_cast<const quint8 *>(other.constData()));
        QCOMPARE(mifare->writeCommandPhase, MifareClassic::Outcome::Refused);
        QCOMPARE(mifare->writeDataPhase, MifareClassic::Outcome::NotSent);
        QCOMPARE(onBoard([&](BoardEngine &) { return card->block(5); }), data);
    }

    void wrongKeyLeavesCrypto1OffAndTheBlockUnreadable()
    {
        auto card = insert<MifareClassicCard>(SingleUid);
        const Bytes secret("Not for your eye");
        onBoard([&](BoardEngine &) { card->setBlock(4, secret); });
        identify();
        authenticate(Bytes("\xA0\xA1\xA2\xA3\xA4\xA5", 6), 4, "AUTH OK IF 0X08: 0");
        QVERIFY(!onBoard([](BoardEngine &engine) { return engine.chip().crypto1On(); }));
        QVERIFY(!mifare->authenticated);

        quint8 buffer[16] = {};
        mifare->readBlock(4, buffer);
        QVERIFY(bytesOf(buffer, 16) != secret);
        QCOMPARE(bytesOf(buffer, 16), Bytes(16, '\0'));  // the card had fallen silent
        QCOMPARE(mifare->lastRead, MifareClassic::Outcome::NoAnswer);

        const Bytes data(16, 'x');
        mifare->writeBlock(4, reinterpret_cast<const quint8 *>(data.constData()));
        QCOMPARE(onBoard([&](BoardEngine &) { return card->block(4); }), secret);
        QCOMPARE(mifare->writeCommandPhase, MifareClassic::Outcome::NoAnswer);
        QCOMPARE(mifare->writeDataPhase, MifareClassic::Outcome::NotSent);
    }

    void unauthenticatedReadIsRefused()
    {
        auto card = insert<MifareClassicCard>(SingleUid);
        onBoard([&](BoardEngine &) { card->setBlock(1, Bytes("sixteen bytes..!")); });
        identify();
        quint8 buffer[16];
        std::fill(std::begin(buffer), std::end(buffer), quint8(0xEE));
        bench.clearHistory();
        mifare->readBlock(1, buffer);
        // The card's NAK, four bits, is all the FIFO holds; the read-out
        // still takes sixteen bytes, and one byte was enough to tell.
        QCOMPARE(bytesOf(buffer, 16), Bytes("\x04") + Bytes(15, '\0'));
        QCOMPARE(bench.trace(), (Traffic { written(ChipReg::ChannelRedundancy, 0x0F) }
                     + transceiveTraffic(Bytes("\x30\x01"), Bytes("\x04") + Bytes(15, '\0'), 1)));
        QVERIFY(bench.chipRegister(ChipReg::ErrorFlag) & ErrorFlagBits::CRCErr);
        QCOMPARE(mifare->lastRead, MifareClassic::Outcome::Short);
    }

    void authenticationLineShowsControlAsASignedChar()
    {
        insert<MifareClassicCard>(SingleUid);
        identify();
        // A board whose Control reads 0x88: the line prints the char as read.
        BoardFaults faults;
        faults.stuckReads[ChipReg::Control] = 0x88;
        bench.setFaults(faults);
        authenticate(Bytes(6, '\xFF'), 4, "AUTH OK IF 0X08: -120");
    }

    void writeToASilentCardSendsNoData()
    {
        insert<MifareClassicCard>(SingleUid);  // never identified: IDLE, silent
        const Bytes data(16, '\x5A');
        mifare->writeBlock(8, reinterpret_cast<const quint8 *>(data.constData()));
        QCOMPARE(bench.trace(), (Traffic { written(ChipReg::ChannelRedundancy, 0x07) }
                     + transceiveTraffic(Bytes("\xA0\x08"), Bytes(), 0)
                     + Traffic { written(ChipReg::ChannelRedundancy, 0x03) }));
        QCOMPARE(mifare->writeCommandPhase, MifareClassic::Outcome::NoAnswer);
        QCOMPARE(mifare->writeDataPhase, MifareClassic::Outcome::NotSent);
    }

    // The board stops right after it told how many bytes came: the reads of
    // the answer time out, and what they gave is no value. The operation
    // ends at its first time-out, and the next one finds the FIFO flushed,
    // so that none of the unread answer goes out in front of its frame.
    void boardStoppingMidReadOutGivesNoValue_data()
    {
        QTest::addColumn<bool>("blockRead");  // else an anticollision
        QTest::newRow("block read") << true;
        QTest::newRow("anticollision") << false;
    }

    void boardStoppingMidReadOutGivesNoValue()
    {
        QFETCH(bool, blockRead);
        auto card = insert<MifareClassicCard>(SingleUid);
        const MifareClassicCard::Key key = { 0x3C, 0x5E, 0x7A, 0x91, 0xB2, 0xD4 };
        onBoard([&](BoardEngine &) {
            card->setSectorKeys(1, key, key);
            card->setBlock(4, Bytes("sixteen bytes..!"));
        });
        identify();
        authenticate(Bytes("\x3C\x5E\x7A\x91\xB2\xD4", 6), 4, "AUTH OK IF 0X08: 8");
        const Bytes uidBefore = bytesOf(iso->uid, 8);

        BoardFaults stall;
        stall.stallAfterReadOf = ChipReg::FIFOLength;
        stall.stallMs = ReaderLink::AnswerTimeoutMs + 300;
        bench.setFaults(stall);
        QElapsedTimer clock;
        clock.start();
        quint8 buffer[16];
        std::fill(std::begin(buffer), std::end(buffer), quint8(0xEE));
        if (blockRead) {
            mifare->readBlock(4, buffer);
            QCOMPARE(mifare->lastRead, MifareClassic::Outcome::NoBoard);
            QCOMPARE(bytesOf(buffer, 16), Bytes(16, '\0'));
        } else {
            bench.setFaults(BoardFaults());
            iso->request();
            bench.setFaults(stall);
            iso->anticollisionLevel1();
            QCOMPARE(iso->lastAnswer, Iso14443aProtocol::Outcome::NoBoard);
            QCOMPARE(bytesOf(iso->uid, 8), uidBefore);
        }
        QVERIFY(bench.link->failed());
        QVERIFY2(clock.elapsed() < 2 * ReaderLink::AnswerTimeoutMs, qPrintable(QString::number(clock.elapsed())));
        if (!blockRead)
            return;

        QTest::qWait(500);  // the board has woken and sent what it owed
        bench.clearHistory();
        const Bytes data("written whole...");
        mifare->writeBlock(4, reinterpret_cast<const quint8 *>(data.constData()));
        const Traffic trace = bench.trace();
        // The filler's read of Page, then the flush, the session's
        // Crypto1On kept, then the write as usual.
        QVERIFY(trace.size() > 4);
        QCOMPARE(trace.at(1), read(ChipReg::Control, ControlBits::Crypto1On));
        QCOMPARE(trace.at(2), written(ChipReg::Control, ControlBits::Crypto1On | ControlBits::FlushFIFO));
        QCOMPARE(trace.at(3), written(ChipReg::ChannelRedundancy, 0x07));
        QCOMPARE(mifare->writeDataPhase, MifareClassic::Outcome::Answered);
        QCOMPARE(onBoard([&](BoardEngine &) { return card->block(4); }), data);
    }

    void ultralightAnswersTheClassicReadAndCompatibilityWrite()
    {
        auto card = insert<UltralightCard>(DoubleUid);
        iso->request();
        iso->anticollisionLevel1();
        iso->select();
        iso->anticollisionLevel2();
        iso->select();
        const Bytes data("page 4 and junk.");
        mifare->writeBlock(4, reinterpret_cast<const quint8 *>(data.constData()));
        QCOMPARE(onBoard([&](BoardEngine &) { return card->page(4); }), data.left(4));
        quint8 buffer[16] = {};
        mifare->readBlock(0, buffer);
        QCOMPARE(bytesOf(buffer, 16).left(8), Bytes("\x04\xA2\x3B\x15\x91\xC4\x2E\x80", 8));
    }

    // --- MIFARE Classic access conditions ---------------------------------
    // Each row's conditions govern block 1 or the trailer; the other groups
    // hold the opposite bits, so that a block read from the wrong group
    // shows.

    void dataBlockRightsFollowTheDataSheet_data()
    {
        QTest::addColumn<int>("conditions");
        QTest::addColumn<QList<int>>("expected");  // read, write, increment, decrement
        QTest::newRow("000") << 0 << QList<int> { AB, AB, AB, AB };
        QTest::newRow("001") << 1 << QList<int> { AB, Never, Never, AB };
        QTest::newRow("010") << 2 << QList<int> { AB, Never, Never, Never };
        QTest::newRow("011") << 3 << QList<int> { B, B, Never, Never };
        QTest::newRow("100") << 4 << QList<int> { AB, B, Never, Never };
        QTest::newRow("101") << 5 << QList<int> { B, Never, Never, Never };
        QTest::newRow("110") << 6 << QList<int> { AB, B, B, AB };
        QTest::newRow("111") << 7 << QList<int> { Never, Never, Never, Never };
    }

    void dataBlockRightsFollowTheDataSheet()
    {
        QFETCH(int, conditions);
        QFETCH(QList<int>, expected);
        const Bytes access = accessBytesFor({ 7 - conditions, conditions, 7 - conditions, 7 - conditions });
        const auto rights = AccessConditions::rightsOf(unsignedBytes(access), 1, AccessConditions::SectorSize::FourBlocks);
        QCOMPARE(rights.decoding, AccessConditions::Decoding::Decoded);
        QVERIFY(!rights.isTrailer);
        QCOMPARE(rights.conditions, conditions);
        const auto &data = rights.data;
        QCOMPARE((QList<int> { data.read, data.write, data.increment, data.decrementTransferRestore }), expected);
    }

    void trailerRightsFollowTheDataSheet_data()
    {
        QTest::addColumn<int>("conditions");
        // Key A read, written; access bits read, written; key B read, written.
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("000") << 0 << QList<int> { Never, A, A, Never, A, A };
        QTest::newRow("001") << 1 << QList<int> { Never, A, A, A, A, A };
        QTest::newRow("010") << 2 << QList<int> { Never, Never, A, Never, A, Never };
        QTest::newRow("011") << 3 << QList<int> { Never, B, AB, B, Never, B };
        QTest::newRow("100") << 4 << QList<int> { Never, B, AB, Never, Never, B };
        QTest::newRow("101") << 5 << QList<int> { Never, Never, AB, B, Never, Never };
        QTest::newRow("110") << 6 << QList<int> { Never, Never, AB, Never, Never, Never };
        QTest::newRow("111") << 7 << QList<int> { Never, Never, AB, Never, Never, Never };
    }

    void trailerRightsFollowTheDataSheet()
    {
        QFETCH(int, conditions);
        QFETCH(QList<int>, expected);
        const Bytes access = accessBytesFor({ 7 - conditions, 7 - conditions, 7 - conditions, conditions });
        for (const auto size : { AccessConditions::SectorSize::FourBlocks, AccessConditions::SectorSize::SixteenBlocks }) {
            const auto rights = AccessConditions::rightsOf(unsignedBytes(access), int(size) - 1, size);
            QCOMPARE(rights.decoding, AccessConditions::Decoding::Decoded);
            QVERIFY(rights.isTrailer);
            QCOMPARE(rights.conditions, conditions);
            const auto &trailer = rights.trailer;
            QCOMPARE((QList<int> { trailer.readKeyA, trailer.writeKeyA, trailer.readAccessBits, trailer.writeAccessBits,
                                   trailer.readKeyB, trailer.writeKeyB }),
                     expected);
        }
    }

    void inconsistentAccessBytesGrantNothing_data()
    {
        QTest::addColumn<QByteArray>("access");
        QTest::newRow("~C1 of group 0") << Bytes("\xFE\x07\x80", 3);
        QTest::newRow("~C2 of group 3") << Bytes("\x7F\x07\x80", 3);
        QTest::newRow("C1 of group 2") << Bytes("\xFF\x47\x80", 3);
        QTest::newRow("~C3 of group 3") << Bytes("\xFF\x0F\x80", 3);
        QTest::newRow("C3 of group 1") << Bytes("\xFF\x07\xA0", 3);
        QTest::newRow("C2 of group 0") << Bytes("\xFF\x07\x81", 3);
        QTest::newRow("all zeros") << Bytes(3, '\0');
        QTest::newRow("all ones") << Bytes(3, '\xFF');
    }

    void inconsistentAccessBytesGrantNothing()
    {
        QFETCH(QByteArray, access);
        QVERIFY(!AccessConditions::consistent(unsignedBytes(access)));
        for (int block = 0; block < 4; ++block) {
            const auto rights = AccessConditions::rightsOf(unsignedBytes(access), block, AccessConditions::SectorSize::FourBlocks);
            QCOMPARE(rights.decoding, AccessConditions::Decoding::InconsistentBytes);
            QCOMPARE(rights.isTrailer, block == 3);
            QCOMPARE(AccessConditions::describe(rights), QStringLiteral("bits d'accès incohérents : secteur bloqué"));
        }
        // The MIFARE layer's guard against writing such a trailer.
        const Bytes trailer = Bytes(6, '\xFF') + access + Bytes(7, '\xFF');
        QVERIFY(!MifareClassic::accessBitsConsistent(unsignedBytes(trailer)));
        QVERIFY(MifareClassic::accessBitsConsistent(unsignedBytes(Bytes(6, '\xFF') + TransportAccessBytes + Bytes(7, '\xFF'))));
    }

    void blocksFallInTheirGroups_data()
    {
        QTest::addColumn<int>("sectorBlocks");
        QTest::addColumn<QList<int>>("groups");  // block by block, then one past the trailer
        QTest::newRow("4 blocks") << 4 << QList<int> { 0, 1, 2, 3, -1 };
        QTest::newRow("16 blocks, five to a data group")
            << 16 << QList<int> { 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 3, -1 };
    }

    void blocksFallInTheirGroups()
    {
        QFETCH(int, sectorBlocks);
        QFETCH(QList<int>, groups);
        const auto size = AccessConditions::SectorSize(sectorBlocks);
        const std::array<int, 4> conditions = { 2, 3, 7, 1 };
        const Bytes access = accessBytesFor(conditions);
        QCOMPARE(AccessConditions::groupOf(-1, size), -1);
        for (int block = 0; block < groups.size(); ++block) {
            QCOMPARE(AccessConditions::groupOf(block, size), groups.at(block));
            const auto rights = AccessConditions::rightsOf(unsignedBytes(access), block, size);
            if (groups.at(block) < 0)
                QCOMPARE(rights.decoding, AccessConditions::Decoding::NoSuchBlock);
            else
                QCOMPARE(rights.conditions, conditions[std::size_t(groups.at(block))]);
        }
    }

    void rightsReadInFrench_data()
    {
        QTest::addColumn<QByteArray>("access");
        QTest::addColumn<int>("block");
        QTest::addColumn<QString>("expected");
        const QString everything = QStringLiteral("lecture, écriture, incrément, décrément, transfert, restauration");
        QTest::newRow("FF 07 80 (transport), data block")
            << TransportAccessBytes << 0 << QStringLiteral("clé A : %1 ; clé B : %1").arg(everything);
        QTest::newRow("FF 07 80 (transport), trailer")
            << TransportAccessBytes << 3
            << QStringLiteral("clé A : écriture de la clé A, lecture des bits d'accès, écriture des bits d'accès, "
                              "lecture de la clé B, écriture de la clé B ; clé B : jamais");
        QTest::newRow("78 77 88, data block 100")
            << Bytes("\x78\x77\x88", 3) << 2 << QStringLiteral("clé A : lecture ; clé B : lecture, écriture");
        QTest::newRow("78 77 88, trailer 011")
            << Bytes("\x78\x77\x88", 3) << 3
            << QStringLiteral("clé A : lecture des bits d'accès ; clé B : écriture de la clé A, lecture des bits "
                              "d'accès, écriture des bits d'accès, écriture de la clé B");
        QTest::newRow("08 77 8F, value block 110")
            << Bytes("\x08\x77\x8F", 3) << 1
            << QStringLiteral("clé A : lecture, décrément, transfert, restauration ; clé B : %1").arg(everything);
        QTest::newRow("00 F0 FF, data block 111")
            << Bytes("\x00\xF0\xFF", 3) << 0 << QStringLiteral("clé A : jamais ; clé B : jamais");
    }

    void rightsReadInFrench()
    {
        QFETCH(QByteArray, access);
        QFETCH(int, block);
        QFETCH(QString, expected);
        const auto rights = AccessConditions::rightsOf(unsignedBytes(access), block, AccessConditions::SectorSize::FourBlocks);
        QCOMPARE(AccessConditions::describe(rights), expected);
    }
};

QTEST_GUILESS_MAIN(TestIso14443a)
#include "tst_iso14443a.moc"
