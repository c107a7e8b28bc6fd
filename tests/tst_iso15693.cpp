// The ISO 15693 protocol layer against the virtual bench, through a real
// pseudo-terminal: the exact register traffic of each operation, the slots
// of an inventory with one, two and three tags, AFI filtering, blocks, AFI
// and DSFID writes and what each got back, what each operation leaves in the
// chip, and boards and cards that answer what no tag would.

#include "benchfixture.h"
#include "chipregisters.h"
#include "crc16.h"
#include "iso15693protocol.h"
#include "iso15693tag.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTest>

#include <map>

namespace {

constexpr quint8 Flush = 0x01;

// A tag UID whose low nibble (its slot in a 16-slot inventory without mask)
// is `slot`; `serial` tells tags of the same slot apart.
quint64 uidInSlot(int slot, quint32 serial = 0x1234)
{
    return 0xE004010000000000ull | (quint64(serial) << 8) | quint64(slot);
}

quint64 value(const quint8 (&uid)[8])
{
    quint64 result = 0;
    for (int i = 7; i >= 0; --i)
        result = (result << 8) | uid[i];
    return result;
}

// A UID as the panel shows it, most significant byte first, for legible
// comparisons.
QString uidText(quint64 uid)
{
    return QStringLiteral("%1").arg(uid, 16, 16, QLatin1Char('0'));
}

QByteArray withCrc(QByteArray bytes)
{
    const quint16 crc = Crc16::crc3309(reinterpret_cast<const quint8 *>(bytes.constData()), std::size_t(bytes.size()));
    bytes.append(char(crc & 0xFF));
    bytes.append(char(crc >> 8));
    return bytes;
}

// A card that answers what it is given, framed as a tag's answer: in the
// listed slots of an inventory (0 is the request itself, n the n-th
// end-of-frame pulse after it), or to every frame. For answers no real tag
// gives.
class ScheduledCard : public VirtualCard
{
public:
    void fieldOn() override { m_slot = -1; }
    void fieldOff() override { m_slot = -1; }
    std::optional<AirBits> hear(const AirFrame &frame) override
    {
        if (frame.coding != AirCoding::OneOutOf4 && frame.coding != AirCoding::OneOutOf256)
            return std::nullopt;
        m_slot = frame.slotPulse ? m_slot + 1 : 0;
        if (!always.isEmpty())
            return Air::plain(withCrc(always));
        const auto found = inSlot.find(m_slot);
        if (found == inSlot.end())
            return std::nullopt;
        return Air::plain(withCrc(found->second));
    }

    std::map<int, QByteArray> inSlot;
    QByteArray always;

private:
    int m_slot = -1;
};

struct Traffic
{
    std::vector<Handshake> handshakes;

    Traffic &w(quint8 address, quint8 value)
    {
        handshakes.push_back(written(address, value));
        return *this;
    }
    Traffic &r(quint8 address, quint8 value)
    {
        handshakes.push_back(read(address, value));
        return *this;
    }
    Traffic &fifo(const QByteArray &bytes)
    {
        for (char byte : bytes)
            w(ChipReg::FIFOData, quint8(byte));
        return *this;
    }
    Traffic &readFifo(const QByteArray &bytes)
    {
        for (char byte : bytes)
            r(ChipReg::FIFOData, quint8(byte));
        return *this;
    }
    // One exchange of the layer: ChannelRedundancy, the request, Transceive
    // and the reads of the answer.
    Traffic &exchange(const QByteArray &request, const QByteArray &answerRead)
    {
        w(ChipReg::ChannelRedundancy, 0x2C).fifo(request).w(ChipReg::Command, ChipCmd::Transceive);
        return readFifo(answerRead);
    }
    // A block, AFI or DSFID command: the exchange with FIFOLength read
    // between the command and the read-out, then ErrorFlag when something
    // came.
    Traffic &judgedExchange(const QByteArray &request, int received, const QByteArray &answerRead)
    {
        w(ChipReg::ChannelRedundancy, 0x2C).fifo(request).w(ChipReg::Command, ChipCmd::Transceive);
        r(ChipReg::FIFOLength, quint8(received)).readFifo(answerRead);
        return received > 0 ? r(ChipReg::ErrorFlag, 0x00) : *this;
    }
    // A slot pass that finds the FIFO empty and opens the next slot.
    Traffic &emptyPass()
    {
        return r(ChipReg::FIFOLength, 0).w(ChipReg::Command, ChipCmd::Transceive);
    }

    // The pass after a pulse first waits for the chip to be done with it.
    Traffic &pulseOver()
    {
        return r(ChipReg::Command, ChipCmd::Idle);
    }

    QStringList text() const
    {
        QStringList lines;
        for (const Handshake &handshake : handshakes)
            lines << TraceText::handshake(handshake);
        return lines;
    }
};

QByteArray answerOf(const Iso15693Tag &tag)
{
    return QByteArray(1, '\0') + char(tag.dsfid()) + tag.uidBytes();
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

} // namespace

Q_DECLARE_METATYPE(Iso15693Protocol::Outcome)

class TestIso15693 : public QObject
{
    Q_OBJECT

private:
    BenchFixture bench;
    std::unique_ptr<Iso15693Protocol> iso;

    std::shared_ptr<Iso15693Tag> addTag(quint64 uid, quint8 dsfid = 0x00, quint8 afi = 0x00)
    {
        auto tag = std::make_shared<Iso15693Tag>(uid, dsfid, afi);
        addCard(tag);
        return tag;
    }

    void addCard(const std::shared_ptr<VirtualCard> &card)
    {
        bench.board().withBoard([&](BoardEngine &engine) { engine.chip().field().addCard(card); });
    }

    void removeCard(const std::shared_ptr<VirtualCard> &card)
    {
        bench.board().withBoard([&](BoardEngine &engine) { engine.chip().field().removeCard(card.get()); });
    }

    template<typename Work>
    auto onBoard(Work &&work)
    {
        return bench.onBoard(std::forward<Work>(work));
    }

    // What the chip sent on the air since the last clear: each request
    // without its CRC, "EOF" for an end-of-frame pulse.
    QStringList air()
    {
        return onBoard([](BoardEngine &engine) {
            QStringList frames;
            for (const AirExchange &exchange : engine.chip().airLog()) {
                if (exchange.sent.slotPulse) {
                    frames << QStringLiteral("EOF");
                    continue;
                }
                QByteArray bytes;
                if (!Air::toPlainBytes(exchange.sent.bits, &bytes) || bytes.size() < 2)
                    frames << QStringLiteral("?");
                else
                    frames << QString::fromLatin1(bytes.left(bytes.size() - 2).toHex(' '));
            }
            return frames;
        });
    }

    int pulses() { return int(air().count(QStringLiteral("EOF"))); }

    void clear()
    {
        bench.clearHistory();
        onBoard([](BoardEngine &engine) {
            engine.chip().clearAirLog();
            return 0;
        });
    }

    // A request sent as the manual frames send one, its answer flushed.
    void request(const QByteArray &bytes)
    {
        bench.link->writeRegister(ChipReg::ChannelRedundancy, 0x2C);
        bench.link->writeFifo(reinterpret_cast<const quint8 *>(bytes.constData()), qint8(bytes.size()));
        bench.link->writeRegister(ChipReg::Command, ChipCmd::Transceive);
        bench.link->flushFifo();
    }

    void setUid(quint8 (&uid)[8], quint64 to)
    {
        for (int i = 0; i < 8; ++i)
            uid[i] = quint8(to >> (8 * i));
    }

    int countOf(const Handshake &handshake)
    {
        const auto trace = bench.trace();
        return int(std::count(trace.begin(), trace.end(), handshake));
    }

private slots:
    void init()
    {
        QVERIFY2(bench.start(), qPrintable(bench.error));
        iso = std::make_unique<Iso15693Protocol>(bench.link.get());
        iso->loadConfiguration();
        clear();
    }

    void cleanup()
    {
        iso.reset();
        bench.stop();
    }

    // --- configuration -----------------------------------------------------

    void constructorClearsTheResults()
    {
        Iso15693Protocol fresh(bench.link.get());
        QCOMPARE(fresh.link, bench.link.get());
        QCOMPARE(value(fresh.uid), quint64(0));
        QCOMPARE(value(fresh.secondUid), quint64(0));
        QCOMPARE(fresh.dsfid, quint8(0));
        QCOMPARE(fresh.secondDsfid, quint8(0));
        QCOMPARE(bench.trace().size(), std::size_t(0));  // and says nothing to the board
    }

    void loadConfigurationTraffic()
    {
        // Settings another page would leave behind, which the loaded set
        // and the ISO 15693 values replace.
        bench.link->writeRegister(ChipReg::CwConductance, 0x05);
        bench.link->writeRegister(ChipReg::ChannelRedundancy, 0x03);
        bench.link->writeRegister(ChipReg::CoderControl, 0x19);
        clear();

        iso->loadConfiguration();
        Traffic expected;
        expected.w(ChipReg::Control, Flush)
            .w(ChipReg::TxControl, 0x58)
            .w(ChipReg::FIFOData, 0x10)
            .w(ChipReg::FIFOData, 0x00)
            .w(ChipReg::Command, ChipCmd::LoadConfig)
            .w(ChipReg::Page, 0x00)
            .w(ChipReg::ModConductance, 0x02)
            .w(ChipReg::CoderControl, 0x2E)
            .w(ChipReg::ModWidth, 0x3F)
            .w(ChipReg::TypeBFraming, 0x00)
            .w(ChipReg::RxControl1, 0x8B)
            .w(ChipReg::DecoderControl, 0x34)
            .w(ChipReg::BitPhase, 0xD0)
            .w(ChipReg::RxThreshold, 0xED)
            .w(ChipReg::BPSKDemControl, 0x00)
            .w(ChipReg::RxWait, 0x08)
            .w(ChipReg::ChannelRedundancy, 0x2C)
            .w(ChipReg::CRCPresetLSB, 0xFF)
            .w(ChipReg::CRCPresetMSB, 0xFF)
            .w(ChipReg::FIFOLevel, 0x29)
            .w(ChipReg::TimerClock, 0x0B)
            .w(ChipReg::TimerControl, 0x02)
            .w(ChipReg::TimerReload, 0x00)
            .w(ChipReg::TxControl, 0x5B);
        QCOMPARE(bench.traceText(), expected.text());

        QCOMPARE(bench.chipRegister(ChipReg::CwConductance), quint8(0x3F));  // the loaded set
        QCOMPARE(bench.chipRegister(ChipReg::CoderControl), quint8(0x2E));
        QCOMPARE(bench.chipRegister(ChipReg::ChannelRedundancy), quint8(0x2C));
        QCOMPARE(bench.chipRegister(ChipReg::TxControl), quint8(0x5B));
        QVERIFY(air().isEmpty());
    }

    void loadConfigurationWakesAQuietTag()
    {
        auto tag = addTag(uidInSlot(3));
        // Stay Quiet, addressed to the tag, straight on the air.
        QByteArray stayQuiet = hex("22 02") + tag->uidBytes();
        AirFrame frame;
        frame.coding = AirCoding::OneOutOf256;
        frame.bits = Air::plain(withCrc(stayQuiet));
        onBoard([&](BoardEngine &) { return tag->hear(frame).has_value(); });
        QCOMPARE(onBoard([&](BoardEngine &) { return tag->state(); }), Iso15693Tag::State::Quiet);
        iso->inventory(0x26, 0x00);
        QCOMPARE(uidText(value(iso->uid)), uidText(quint64(0)));

        // The configuration switches the field off and on: the tag starts
        // again in READY.
        iso->loadConfiguration();
        QCOMPARE(onBoard([&](BoardEngine &) { return tag->state(); }), Iso15693Tag::State::Ready);
        iso->inventory(0x26, 0x00);
        QCOMPARE(uidText(value(iso->uid)), uidText(tag->uid()));
    }

    // --- inventory: requests and traffic -----------------------------------

    void flagsWithoutInventoryFlagSendNothing_data()
    {
        QTest::addColumn<int>("flags");
        QTest::newRow("0x22") << 0x22;
        QTest::newRow("0x00") << 0x00;
        QTest::newRow("0x02") << 0x02;
        QTest::newRow("0x32") << 0x32;
        QTest::newRow("0xFB") << 0xFB;
    }

    void flagsWithoutInventoryFlagSendNothing()
    {
        QFETCH(int, flags);
        addTag(uidInSlot(1), 0x05);
        setUid(iso->uid, 0x1111111111111111ull);
        setUid(iso->secondUid, 0x2222222222222222ull);
        iso->dsfid = 0x77;
        iso->secondDsfid = 0x88;
        iso->inventory(quint8(flags), 0x00);
        QCOMPARE(bench.trace().size(), std::size_t(0));
        QVERIFY(air().isEmpty());
        QCOMPARE(uidText(value(iso->uid)), uidText(quint64(0)));
        QCOMPARE(uidText(value(iso->secondUid)), uidText(quint64(0)));
        QCOMPARE(iso->dsfid, quint8(0x77));
        QCOMPARE(iso->secondDsfid, quint8(0x88));
    }

    void oneSlotInventoryTraffic()
    {
        auto tag = addTag(0xE004010012345678ull, 0x5A);
        bench.link->writeRegister(ChipReg::CoderControl, 0x2F);
        clear();
        iso->inventory(0x26, 0x00);

        // Twelve reads: the ten answer bytes, then two from an empty FIFO.
        // The answer shows a tag's UID, so the chip's error flags are read
        // to tell a clean answer from two tags garbling each other.
        Traffic expected;
        expected.exchange(hex("26 01 00"), answerOf(*tag) + hex("00 00")).r(ChipReg::ErrorFlag, 0x00);
        QCOMPARE(bench.traceText(), expected.text());
        QCOMPARE(air(), QStringList { "26 01 00" });
        QCOMPARE(uidText(value(iso->uid)), uidText(0xE004010012345678ull));
        QCOMPARE(iso->uid[0], quint8(0x78));
        QCOMPARE(iso->uid[7], quint8(0xE0));
        QCOMPARE(iso->dsfid, quint8(0x5A));
        QCOMPARE(iso->tagsFound, 1);
        QCOMPARE(uidText(value(iso->secondUid)), uidText(quint64(0)));
        QCOMPARE(bench.chipRegister(ChipReg::CoderControl), quint8(0x2F));  // not touched
    }

    void requestOfEachVariant_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("afi");
        QTest::addColumn<QString>("request");
        QTest::addColumn<int>("firstRead");
        QTest::newRow("one slot 0x26") << 0x26 << 0x12 << "26 01 00" << 12;
        QTest::newRow("one slot, AFI 0x36 with 0x00") << 0x36 << 0x00 << "36 01 00 00" << 12;
        QTest::newRow("one slot, AFI 0x36 with 0x12") << 0x36 << 0x12 << "36 01 12 00" << 12;
        QTest::newRow("one slot, two sub-carriers 0x27") << 0x27 << 0x00 << "27 01 00" << 12;
        QTest::newRow("16 slots, AFI 0x16") << 0x16 << 0x20 << "16 01 20 00" << 12;
        QTest::newRow("16 slots, AFI 0x17 kept as given") << 0x17 << 0x20 << "17 01 20 00" << 12;
        QTest::newRow("16 slots 0x06") << 0x06 << 0x12 << "06 01 00" << 10;
        QTest::newRow("16 slots 0x07: sent as 0x06") << 0x07 << 0x00 << "06 01 00" << 10;
        QTest::newRow("16 slots 0xC4: sent as 0x06") << 0xC4 << 0x00 << "06 01 00" << 10;
    }

    void requestOfEachVariant()
    {
        QFETCH(int, flags);
        QFETCH(int, afi);
        QFETCH(QString, request);
        QFETCH(int, firstRead);
        iso->inventory(quint8(flags), quint8(afi));
        QCOMPARE(air().value(0), request);

        // The first exchange: ChannelRedundancy, the request, Transceive,
        // then `firstRead` FIFO reads.
        const QByteArray bytes = QByteArray::fromHex(request.toLatin1());
        Traffic first;
        first.exchange(bytes, QByteArray(firstRead, '\0'));
        const auto trace = bench.trace();
        const std::size_t count = first.handshakes.size();
        QVERIFY(trace.size() >= count);
        QCOMPARE(std::vector<Handshake>(trace.begin(), trace.begin() + std::ptrdiff_t(count)), first.handshakes);
        if (trace.size() > count)
            QVERIFY(trace[count].address != ChipReg::FIFOData);
    }

    void oneSlotInventoryWithoutTagRecordsNothing()
    {
        iso->dsfid = 0x77;
        iso->tagsFound = 2;
        iso->inventory(0x26, 0x00);
        QCOMPARE(uidText(value(iso->uid)), uidText(quint64(0)));
        QCOMPARE(iso->dsfid, quint8(0x77));
        QCOMPARE(iso->tagsFound, 0);
        Traffic expected;
        expected.exchange(hex("26 01 00"), QByteArray(12, '\0'));
        QCOMPARE(bench.traceText(), expected.text());
    }

    void oneSlotInventoryWithTwoTagsTakesNoGarbledUid()
    {
        auto first = addTag(uidInSlot(1, 0x0101), 0x01);
        auto second = addTag(uidInSlot(2, 0x0202), 0x02);
        iso->dsfid = 0x77;
        iso->inventory(0x26, 0x00);
        // Both answered at once: the chip saw the collision.
        QVERIFY(bench.chipRegister(ChipReg::ErrorFlag) & 0x01);
        QCOMPARE(uidText(value(iso->uid)), uidText(quint64(0)));
        QCOMPARE(iso->dsfid, quint8(0x77));
        QCOMPARE(iso->tagsFound, 0);

        // With an AFI that only one of them has, that one answers alone.
        removeCard(second);
        addCard(std::make_shared<Iso15693Tag>(uidInSlot(2, 0x0202), 0x02, 0x20));
        iso->inventory(0x36, 0x20);
        QCOMPARE(uidText(value(iso->uid)), uidText(uidInSlot(2, 0x0202)));
        QCOMPARE(iso->dsfid, quint8(0x02));

        // Its answer with a CRC the chip found wrong is no tag's.
        BoardFaults crcError;
        crcError.stuckReads[ChipReg::ErrorFlag] = ErrorFlagBits::CRCErr;
        bench.setFaults(crcError);
        iso->dsfid = 0x77;
        iso->inventory(0x36, 0x20);
        QCOMPARE(iso->tagsFound, 0);
        QCOMPARE(iso->dsfid, quint8(0x77));
        Q_UNUSED(first);
    }

    void sixteenSlotTrafficWithoutTags()
    {
        iso->inventory(0x06, 0x00);
        // The request opens slot 0; 15 pulses open slots 1 to 15, and the
        // last slot is looked at too.
        Traffic expected;
        expected.exchange(hex("06 01 00"), QByteArray(10, '\0')).w(ChipReg::CoderControl, 0xAE);
        expected.emptyPass();
        for (int slot = 1; slot < 15; ++slot)
            expected.pulseOver().emptyPass();
        expected.pulseOver().r(ChipReg::FIFOLength, 0).w(ChipReg::CoderControl, 0x2E);
        QCOMPARE(bench.traceText(), expected.text());
        QCOMPARE(pulses(), 15);
        QCOMPARE(uidText(value(iso->uid)), uidText(quint64(0)));
        QCOMPARE(uidText(value(iso->secondUid)), uidText(quint64(0)));
    }

    void sixteenSlotTrafficWithTwoTags()
    {
        auto early = addTag(uidInSlot(2), 0x22);
        auto late = addTag(uidInSlot(5), 0x55);
        addTag(uidInSlot(9), 0x99);  // never reached
        iso->inventory(0x06, 0x00);
        Traffic expected;
        expected.exchange(hex("06 01 00"), QByteArray(10, '\0')).w(ChipReg::CoderControl, 0xAE);
        expected.emptyPass().pulseOver().emptyPass().pulseOver();  // slots 0 and 1
        expected.r(ChipReg::FIFOLength, 10).readFifo(answerOf(*early)).r(ChipReg::ErrorFlag, 0x00);
        // Slot 2 looked at again, then slots 3 and 4.
        expected.emptyPass().pulseOver().emptyPass().pulseOver().emptyPass().pulseOver();
        expected.r(ChipReg::FIFOLength, 10).readFifo(answerOf(*late)).r(ChipReg::ErrorFlag, 0x00);
        expected.w(ChipReg::CoderControl, 0x2E);  // the second tag ends the inventory
        QCOMPARE(bench.traceText(), expected.text());
        QCOMPARE(uidText(value(iso->uid)), uidText(early->uid()));
        QCOMPARE(iso->dsfid, quint8(0x22));
        QCOMPARE(uidText(value(iso->secondUid)), uidText(late->uid()));
        QCOMPARE(iso->secondDsfid, quint8(0x55));
        QCOMPARE(iso->tagsFound, 2);
    }

    // --- inventory: tags in the slots --------------------------------------

    void sixteenSlotsFindOneTagInAnySlot_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("slot");
        for (int flags : { 0x06, 0x16 }) {
            for (int slot : { 0, 1, 7, 14, 15 })
                QTest::newRow(qPrintable(QStringLiteral("flags %1, slot %2").arg(flags, 2, 16, QLatin1Char('0')).arg(slot)))
                    << flags << slot;
        }
    }

    void sixteenSlotsFindOneTagInAnySlot()
    {
        QFETCH(int, flags);
        QFETCH(int, slot);
        auto tag = addTag(uidInSlot(slot), 0x3C);
        iso->secondDsfid = 0x88;
        iso->inventory(quint8(flags), 0x00);
        QCOMPARE(uidText(value(iso->uid)), uidText(tag->uid()));
        QCOMPARE(iso->dsfid, quint8(0x3C));
        QCOMPARE(uidText(value(iso->secondUid)), uidText(quint64(0)));
        QCOMPARE(iso->secondDsfid, quint8(0x88));  // no second tag: kept
        QCOMPARE(pulses(), 15);                   // every slot opened
        QCOMPARE(bench.chipRegister(ChipReg::CoderControl), quint8(0x2E));
    }

    void sixteenSlotsFindTwoTagsInDifferentSlots_data()
    {
        QTest::addColumn<int>("firstSlot");
        QTest::addColumn<int>("secondSlot");
        QTest::newRow("2 and 5") << 2 << 5;
        QTest::newRow("0 and 1") << 0 << 1;
        QTest::newRow("0 and 9") << 0 << 9;
        QTest::newRow("3 and 15") << 3 << 15;
        QTest::newRow("14 and 15") << 14 << 15;
        QTest::newRow("1 and 14, added in reverse") << 14 << 1;
    }

    void sixteenSlotsFindTwoTagsInDifferentSlots()
    {
        QFETCH(int, firstSlot);
        QFETCH(int, secondSlot);
        auto a = addTag(uidInSlot(firstSlot, 0xAAAA), 0x0A);
        auto b = addTag(uidInSlot(secondSlot, 0xBBBB), 0x0B);
        iso->inventory(0x06, 0x00);
        // In slot order, whatever order the tags came into the field.
        const auto &lower = firstSlot < secondSlot ? a : b;
        const auto &higher = firstSlot < secondSlot ? b : a;
        QCOMPARE(uidText(value(iso->uid)), uidText(lower->uid()));
        QCOMPARE(iso->dsfid, lower->dsfid());
        QCOMPARE(uidText(value(iso->secondUid)), uidText(higher->uid()));
        QCOMPARE(iso->secondDsfid, higher->dsfid());
        // The slots after the second tag's are not opened.
        QCOMPARE(pulses(), std::max(firstSlot, secondSlot));
        QCOMPARE(bench.chipRegister(ChipReg::CoderControl), quint8(0x2E));
    }

    void thirdTagIsIgnored()
    {
        auto one = addTag(uidInSlot(1, 0x0001), 0x01);
        auto four = addTag(uidInSlot(4, 0x0004), 0x04);
        auto nine = addTag(uidInSlot(9, 0x0009), 0x09);
        iso->inventory(0x16, 0x00);
        QCOMPARE(uidText(value(iso->uid)), uidText(one->uid()));
        QCOMPARE(uidText(value(iso->secondUid)), uidText(four->uid()));
        QCOMPARE(iso->secondDsfid, quint8(0x04));
        QCOMPARE(pulses(), 4);
        Q_UNUSED(nine);
    }

    void tagsSharingASlotAreNotTakenForOne()
    {
        auto a = addTag(uidInSlot(3, 0x00F0), 0x01);
        auto b = addTag(uidInSlot(3, 0x0F00), 0x02);
        auto c = addTag(uidInSlot(6, 0x1234), 0x06);
        iso->inventory(0x06, 0x00);
        // Slot 3 held both answers, superposed into the UID of neither.
        QVERIFY(value(iso->uid) != (a->uid() | b->uid()));
        QCOMPARE(uidText(value(iso->uid)), uidText(c->uid()));
        QCOMPARE(iso->dsfid, quint8(0x06));
        QCOMPARE(uidText(value(iso->secondUid)), uidText(quint64(0)));
        QCOMPARE(pulses(), 15);
        QCOMPARE(countOf(read(ChipReg::ErrorFlag, 0x09)), 1);  // collision and CRC error
    }

    void tagsSharingTheFirstSlotAreNotTakenForOne()
    {
        addTag(uidInSlot(0, 0x00F0));
        addTag(uidInSlot(0, 0x0F00));
        iso->inventory(0x06, 0x00);
        QCOMPARE(uidText(value(iso->uid)), uidText(quint64(0)));
        QCOMPARE(uidText(value(iso->secondUid)), uidText(quint64(0)));
        QCOMPARE(pulses(), 15);
    }

    void afiFiltersTheTags_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("afi");
        QTest::addColumn<quint64>("first");
        QTest::addColumn<quint64>("second");
        const quint64 family1 = uidInSlot(1);   // AFI 0x12
        const quint64 family2 = uidInSlot(2);   // AFI 0x20
        QTest::newRow("16 slots, 00: all") << 0x16 << 0x00 << family1 << family2;
        QTest::newRow("16 slots, family 1") << 0x16 << 0x10 << family1 << quint64(0);
        QTest::newRow("16 slots, 12") << 0x16 << 0x12 << family1 << quint64(0);
        QTest::newRow("16 slots, 13: none") << 0x16 << 0x13 << quint64(0) << quint64(0);
        QTest::newRow("16 slots, family 2") << 0x16 << 0x20 << family2 << quint64(0);
        QTest::newRow("one slot, 12") << 0x36 << 0x12 << family1 << quint64(0);
        QTest::newRow("one slot, 20") << 0x36 << 0x20 << family2 << quint64(0);
    }

    void afiFiltersTheTags()
    {
        QFETCH(int, flags);
        QFETCH(int, afi);
        QFETCH(quint64, first);
        QFETCH(quint64, second);
        addTag(uidInSlot(1), 0x01, 0x12);
        addTag(uidInSlot(2), 0x02, 0x20);
        iso->inventory(quint8(flags), quint8(afi));
        QCOMPARE(uidText(value(iso->uid)), uidText(first));
        QCOMPARE(uidText(value(iso->secondUid)), uidText(second));
    }

    void sixteenSlotsWithAfiWaitFiftyMillisecondsPerPassAsleep()
    {
        QElapsedTimer clock;
        clock.start();
        const qint64 cpuBefore = cpuTimeMs();
        iso->inventory(0x16, 0x00);
        const qint64 elapsed = clock.elapsed();
        // Sixteen passes: fifteen that open a slot, one that looks at the last.
        QCOMPARE(countOf(read(ChipReg::FIFOLength, 0)), 16);
        QVERIFY2(elapsed > 16 * 50, qPrintable(QString::number(elapsed)));
        QVERIFY2(cpuTimeMs() - cpuBefore < elapsed / 2, "the slot waits spin");
    }

    void dsfidsOutliveInventoriesThatFindFewerTags()
    {
        auto a = addTag(uidInSlot(1), 0x11);
        auto b = addTag(uidInSlot(2), 0x22);
        iso->inventory(0x06, 0x00);
        QCOMPARE(iso->dsfid, quint8(0x11));
        QCOMPARE(iso->secondDsfid, quint8(0x22));

        removeCard(b);
        iso->inventory(0x06, 0x00);
        QCOMPARE(uidText(value(iso->uid)), uidText(a->uid()));
        QCOMPARE(uidText(value(iso->secondUid)), uidText(quint64(0)));
        QCOMPARE(iso->secondDsfid, quint8(0x22));

        removeCard(a);
        iso->inventory(0x16, 0x00);
        QCOMPARE(uidText(value(iso->uid)), uidText(quint64(0)));
        QCOMPARE(iso->dsfid, quint8(0x11));
        QCOMPARE(iso->secondDsfid, quint8(0x22));
    }

    void sixteenSlotsEndWithCoderControl2E_data()
    {
        QTest::addColumn<int>("coderBefore");
        QTest::addColumn<int>("tags");
        for (int coder : { 0x2F, 0x19, 0xAE }) {
            for (int tags : { 0, 1, 2 })
                QTest::newRow(qPrintable(QStringLiteral("coder %1, %2 tags").arg(coder, 2, 16).arg(tags)))
                    << coder << tags;
        }
    }

    void sixteenSlotsEndWithCoderControl2E()
    {
        QFETCH(int, coderBefore);
        QFETCH(int, tags);
        for (int i = 0; i < tags; ++i)
            addTag(uidInSlot(3 + i));
        bench.link->writeRegister(ChipReg::CoderControl, quint8(coderBefore));
        iso->inventory(0x06, 0x00);
        QCOMPARE(bench.chipRegister(ChipReg::CoderControl), quint8(0x2E));
        // A request sent in the type A coding reaches no ISO 15693 tag.
        const int found = coderBefore == 0x19 ? 0 : tags;
        QCOMPARE(int(bool(value(iso->uid))) + int(bool(value(iso->secondUid))), found);
    }

    // --- inventory: answers no tag gives -----------------------------------

    void answerWithoutTagUidIsDroppedAndOpensNoSlot()
    {
        auto card = std::make_shared<ScheduledCard>();
        card->inSlot[2] = hex("00 11 01 02 03 04 05 06 07 08");  // last byte is not 0xE0
        addCard(card);
        auto tag = addTag(uidInSlot(5), 0x55);
        iso->inventory(0x06, 0x00);
        QCOMPARE(uidText(value(iso->uid)), uidText(tag->uid()));
        QCOMPARE(uidText(value(iso->secondUid)), uidText(quint64(0)));
        QCOMPARE(iso->dsfid, quint8(0x55));
        // The pass that read it sends no pulse: the next one does.
        Traffic slot2;
        slot2.r(ChipReg::FIFOLength, 10)
            .readFifo(hex("00 11 01 02 03 04 05 06 07 08"))
            .emptyPass();
        const QStringList trace = bench.traceText();
        const QStringList expected = slot2.text();
        QVERIFY2(trace.join('\n').contains(expected.join('\n')), qPrintable(trace.join('\n')));
        QCOMPARE(countOf(read(ChipReg::ErrorFlag, 0x00)), 1);  // for the tag only
        QCOMPARE(pulses(), 15);
    }

    void bytesLeftInTheFifoAreFlushedBeforeAPulse()
    {
        // A 12-byte answer: a tag's ten bytes and two more. After the ten are
        // read, two stay in the FIFO; sent as a frame they would end the
        // slots and the tag in slot 6 would never answer.
        auto card = std::make_shared<ScheduledCard>();
        card->inSlot[2] = hex("00 22 02 00 00 00 00 01 04 e0 aa bb");
        addCard(card);
        auto tag = addTag(uidInSlot(6), 0x66);
        iso->inventory(0x06, 0x00);
        QCOMPARE(uidText(value(iso->uid)), uidText(0xE004010000000002ull));
        QCOMPARE(iso->dsfid, quint8(0x22));
        QCOMPARE(uidText(value(iso->secondUid)), uidText(tag->uid()));
        QCOMPARE(iso->secondDsfid, quint8(0x66));
        Traffic leftover;
        leftover.r(ChipReg::FIFOLength, 2).w(ChipReg::Control, Flush).w(ChipReg::Command, ChipCmd::Transceive);
        QVERIFY(bench.traceText().join('\n').contains(leftover.text().join('\n')));
        QVERIFY(!air().contains(QStringLiteral("?")));
        QCOMPARE(air().mid(1), QStringList(6, QStringLiteral("EOF")));
    }

    void endlessAnswersEndTheInventory()
    {
        // Sixty bytes on every frame: the FIFO never runs dry for long.
        auto card = std::make_shared<ScheduledCard>();
        card->always = QByteArray(60, char(0x55));
        addCard(card);
        iso->inventory(0x06, 0x00);
        QCOMPARE(uidText(value(iso->uid)), uidText(quint64(0)));
        QCOMPARE(uidText(value(iso->secondUid)), uidText(quint64(0)));
        const auto trace = bench.trace();
        const int passes = int(std::count_if(trace.begin(), trace.end(), [](const Handshake &handshake) {
            return handshake.operation == Handshake::Read && handshake.address == ChipReg::FIFOLength;
        }));
        QVERIFY2(passes <= 32, qPrintable(QString::number(passes)));
        QCOMPARE(bench.chipRegister(ChipReg::CoderControl), quint8(0x2E));
    }

    void boardGoneMidInventoryEndsIt()
    {
        addTag(uidInSlot(4));
        BoardFaults faults;
        faults.vanishAfterAck = true;
        bench.setFaults(faults);
        setUid(iso->uid, 0x1111111111111111ull);
        iso->inventory(0x16, 0x00);
        QVERIFY(bench.link->timedOut());
        QCOMPARE(uidText(value(iso->uid)), uidText(quint64(0)));
        QCOMPARE(uidText(value(iso->secondUid)), uidText(quint64(0)));
    }

    // --- blocks, AFI, DSFID ------------------------------------------------

    void writeThenReadBack()
    {
        auto tag = addTag(uidInSlot(1));
        const quint8 data[4] = { 0xDE, 0xAD, 0xBE, 0xEF };
        iso->writeSingleBlock(data, 0x10);
        Traffic write;
        write.judgedExchange(hex("02 21 10 de ad be ef"), 1, hex("00 00 00 00 00")).w(ChipReg::Control, Flush);
        QCOMPARE(bench.traceText(), write.text());
        QCOMPARE(iso->outcome, Iso15693Protocol::Outcome::Done);
        QCOMPARE(onBoard([&](BoardEngine &) { return tag->block(16); }), hex("de ad be ef"));
        QCOMPARE(onBoard([&](BoardEngine &) { return tag->block(10); }), hex("28 29 2a 2b"));

        clear();
        quint8 back[4] = {};
        iso->readSingleBlock(back, 0x10);
        Traffic readBack;
        readBack.judgedExchange(hex("02 20 10"), 5, hex("00 de ad be ef"));
        QCOMPARE(bench.traceText(), readBack.text());
        QCOMPARE(iso->outcome, Iso15693Protocol::Outcome::Done);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(back), 4), hex("de ad be ef"));
    }

    void refusedBlockIsNoData()
    {
        addTag(uidInSlot(1));  // 28 blocks
        quint8 data[4] = { 0xAA, 0xAA, 0xAA, 0xAA };
        iso->readSingleBlock(data, 40);
        // The answer 01 10: a refusal and its error code, not block data.
        Traffic expected;
        expected.judgedExchange(hex("02 20 28"), 2, hex("01 10 00 00 00"));
        QCOMPARE(bench.traceText(), expected.text());
        QCOMPARE(iso->outcome, Iso15693Protocol::Outcome::Refused);
        QCOMPARE(iso->errorCode, quint8(0x10));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(data), 4), hex("aa aa aa aa"));

        const quint8 bytes[4] = { 1, 2, 3, 4 };
        iso->writeSingleBlock(bytes, 40);
        QCOMPARE(iso->outcome, Iso15693Protocol::Outcome::Refused);
        QCOMPARE(iso->errorCode, quint8(0x10));
        QCOMPARE(bench.chipRegister(ChipReg::FIFOLength), quint8(0));
    }

    void commandOutcomes_data()
    {
        // 0 read, 1 write block, 2 write AFI, 3 write DSFID, 4 system information
        QTest::addColumn<int>("operation");
        QTest::addColumn<int>("block");
        QTest::addColumn<QString>("situation");
        QTest::addColumn<Iso15693Protocol::Outcome>("outcome");
        QTest::addColumn<int>("errorCode");
        using Outcome = Iso15693Protocol::Outcome;
        const auto row = [](const char *name, int operation, int block, const char *situation, Outcome outcome,
                            int errorCode = 0) {
            QTest::newRow(name) << operation << block << QString::fromLatin1(situation) << outcome << errorCode;
        };
        row("read, a tag", 0, 5, "tag", Outcome::Done);
        row("read, no tag", 0, 5, "none", Outcome::NoAnswer);
        row("read, beyond the tag's blocks", 0, 40, "tag", Outcome::Refused, 0x10);
        row("read, a locked block", 0, 5, "locked", Outcome::Done);
        row("read, two tags, two contents", 0, 5, "two differing", Outcome::Garbled);
        row("read, too short", 0, 5, "answers 00 14", Outcome::Garbled);
        row("read, error flag alone", 0, 5, "answers 01", Outcome::Garbled);
        row("write block, a tag", 1, 5, "tag", Outcome::Done);
        row("write block, no tag", 1, 5, "none", Outcome::NoAnswer);
        row("write block, locked", 1, 5, "locked", Outcome::Refused, 0x12);
        row("write block, beyond the tag's blocks", 1, 40, "tag", Outcome::Refused, 0x10);
        row("write block, two tags, one locked", 1, 5, "two, one locked", Outcome::Garbled);
        row("write AFI, a tag", 2, 0, "tag", Outcome::Done);
        row("write AFI, no tag", 2, 0, "none", Outcome::NoAnswer);
        row("write AFI, locked", 2, 0, "locked", Outcome::Refused, 0x12);
        row("write DSFID, a tag", 3, 0, "tag", Outcome::Done);
        row("write DSFID, no tag", 3, 0, "none", Outcome::NoAnswer);
        row("write DSFID, locked", 3, 0, "locked", Outcome::Refused, 0x12);
        row("write DSFID, two tags, one locked", 3, 0, "two, one locked", Outcome::Garbled);
        row("system information, a tag", 4, 0, "tag", Outcome::Done);
        row("system information, no tag", 4, 0, "none", Outcome::NoAnswer);
        row("system information, no field announced", 4, 0, "answers 00 00 0102030405060708", Outcome::Done);
        // The flags announce DSFID, AFI, memory size and IC; the size is cut.
        row("system information, fields cut short", 4, 0, "answers 00 0f 0102030405060708 33 33 1b", Outcome::Garbled);
        row("system information, UID cut short", 4, 0, "answers 00 00 01020304", Outcome::Garbled);
        row("system information, refused", 4, 0, "answers 01 0f", Outcome::Refused, 0x0F);
    }

    void commandOutcomes()
    {
        QFETCH(int, operation);
        QFETCH(int, block);
        QFETCH(QString, situation);
        QFETCH(Iso15693Protocol::Outcome, outcome);
        QFETCH(int, errorCode);
        std::shared_ptr<Iso15693Tag> tag;
        if (situation.startsWith("answers")) {
            auto card = std::make_shared<ScheduledCard>();
            card->always = QByteArray::fromHex(situation.mid(8).toLatin1());
            addCard(card);
        } else if (situation != "none") {
            tag = addTag(uidInSlot(1), 0x33, 0x33);
        }
        if (situation == "locked" || situation == "two, one locked") {
            // Locked the way a reader locks them, with the tag's own command.
            const QByteArray locks[] = { hex("02 22") + char(block), hex("02 22") + char(block), hex("02 28"),
                                         hex("02 2a") };
            request(locks[operation]);
        }
        if (situation.startsWith("two")) {
            auto other = addTag(uidInSlot(2, 0x5678), 0x33, 0x33);
            if (situation == "two differing")
                onBoard([&](BoardEngine &) {
                    other->setBlock(block, hex("ff ff ff ff"));
                    return 0;
                });
        }
        clear();

        quint8 data[4] = { 0xAA, 0xAA, 0xAA, 0xAA };
        Iso15693Protocol::SystemInformation info;
        info.dsfid = 0x77;  // left alone unless the tag answered whole
        switch (operation) {
        case 0: iso->readSingleBlock(data, quint8(block)); break;
        case 1: iso->writeSingleBlock(data, quint8(block)); break;
        case 2: iso->writeAfi(0x42); break;
        case 3: iso->writeDsfid(0x42); break;
        case 4: iso->getSystemInformation(info); break;
        }
        QCOMPARE(iso->outcome, outcome);
        QCOMPARE(int(iso->errorCode), errorCode);

        // FIFOLength right after the command; ErrorFlag once something came.
        const auto trace = bench.trace();
        const auto command = std::find(trace.begin(), trace.end(), written(ChipReg::Command, ChipCmd::Transceive));
        QVERIFY(command != trace.end() && command + 1 != trace.end());
        const bool answered = outcome != Iso15693Protocol::Outcome::NoAnswer;
        QCOMPARE((command + 1)->address, quint8(ChipReg::FIFOLength));
        QCOMPARE((command + 1)->value != 0, answered);
        QCOMPARE(countOf(read(ChipReg::ErrorFlag, bench.chipRegister(ChipReg::ErrorFlag))), answered ? 1 : 0);

        // Only a read the tag carried out fills the data.
        const QByteArray read(reinterpret_cast<char *>(data), 4);
        const bool done = outcome == Iso15693Protocol::Outcome::Done;
        if (operation == 0)
            QCOMPARE(read, done ? hex("14 15 16 17") : hex("aa aa aa aa"));
        if (operation == 4 && done) {
            const QByteArray uid(reinterpret_cast<char *>(info.uid), 8);
            QCOMPARE(uid, tag ? tag->uidBytes() : hex("0102030405060708"));
            const QList<int> fields { info.dsfid, info.afi, info.blockCount, info.blockSize, info.icReference };
            const QList<int> expected = tag ? QList<int> { 0x33, 0x33, 28, 4, 0x01 } : QList<int>(5, -1);
            QCOMPARE(fields, expected);
        } else if (operation == 4) {
            QCOMPARE(info.dsfid, 0x77);
        }
        // A write the tag refused left its value.
        if (tag && operation == 2)
            QCOMPARE(onBoard([&](BoardEngine &) { return tag->afi(); }), quint8(done ? 0x42 : 0x33));
    }

    // Addressed, a command carries the Address flag and the tag's UID after
    // its code, least significant byte first, and only that tag carries it
    // out; addressAll() sends the next ones to every tag again.
    void addressedCommandsReachOneTag_data()
    {
        QTest::addColumn<int>("operation");  // 0 read, 1 write block, 2 write AFI, 3 write DSFID
        QTest::addColumn<int>("addressed");  // the tag, 1 or 2; 0: every tag, after one was addressed
        QTest::addColumn<QString>("request");
        QTest::addColumn<QByteArrayList>("after");  // each tag's block 05, AFI or DSFID then
        const QByteArray block1 = hex("14 15 16 17");
        const QByteArray block2 = hex("ff ff ff ff");
        const QByteArray written = hex("de ad be ef");
        QTest::newRow("read, tag 2") << 0 << 2 << "22 20 02 78 56 00 00 01 04 e0 05"
                                     << QByteArrayList { block1, block2 };
        QTest::newRow("write block, tag 1") << 1 << 1 << "22 21 01 34 12 00 00 01 04 e0 05 de ad be ef"
                                            << QByteArrayList { written, block2 };
        QTest::newRow("write block, every tag") << 1 << 0 << "02 21 05 de ad be ef"
                                                << QByteArrayList { written, written };
        QTest::newRow("write AFI, tag 2") << 2 << 2 << "22 27 02 78 56 00 00 01 04 e0 42"
                                          << QByteArrayList { hex("11"), hex("42") };
        QTest::newRow("write DSFID, tag 1") << 3 << 1 << "22 29 01 34 12 00 00 01 04 e0 42"
                                            << QByteArrayList { hex("42"), hex("22") };
    }

    void addressedCommandsReachOneTag()
    {
        QFETCH(int, operation);
        QFETCH(int, addressed);
        QFETCH(QString, request);
        QFETCH(QByteArrayList, after);
        const std::shared_ptr<Iso15693Tag> tags[] = { addTag(uidInSlot(1), 0x11, 0x11),
                                                      addTag(uidInSlot(2, 0x5678), 0x22, 0x22) };
        onBoard([&](BoardEngine &) {
            tags[1]->setBlock(5, hex("ff ff ff ff"));
            return 0;
        });
        quint8 uid[8];
        setUid(uid, tags[addressed == 0 ? 0 : addressed - 1]->uid());
        iso->addressTag(uid);
        if (addressed == 0)
            iso->addressAll();
        QCOMPARE(iso->addressed(), addressed != 0);

        quint8 data[4] = { 0xDE, 0xAD, 0xBE, 0xEF };
        switch (operation) {
        case 0: iso->readSingleBlock(data, 5); break;
        case 1: iso->writeSingleBlock(data, 5); break;
        case 2: iso->writeAfi(0x42); break;
        case 3: iso->writeDsfid(0x42); break;
        }
        QCOMPARE(air(), QStringList { request });
        QCOMPARE(iso->outcome, Iso15693Protocol::Outcome::Done);
        if (operation == 0)
            QCOMPARE(QByteArray(reinterpret_cast<char *>(data), 4), after.at(addressed - 1));
        for (int i = 0; i < 2; ++i) {
            const QByteArray held = onBoard([&](BoardEngine &) {
                return operation == 2 ? QByteArray(1, char(tags[i]->afi()))
                    : operation == 3  ? QByteArray(1, char(tags[i]->dsfid()))
                                      : tags[i]->block(5);
            });
            QCOMPARE(held.toHex(' '), after.at(i).toHex(' '));
        }
    }

    // A board that stops once it has said how many bytes came: the read
    // ends at that time-out, with nothing known of the tag and the caller's
    // buffer as it was.
    void boardStallingMidReadLeavesTheDataAlone()
    {
        addTag(uidInSlot(1));
        BoardFaults stall;
        stall.stallAfterReadOf = ChipReg::FIFOLength;
        stall.stallMs = 1300;
        bench.setFaults(stall);
        quint8 data[4] = { 0xAA, 0xAA, 0xAA, 0xAA };
        QElapsedTimer clock;
        clock.start();
        iso->readSingleBlock(data, 5);
        QVERIFY2(clock.elapsed() < 2 * ReaderLink::AnswerTimeoutMs, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(iso->outcome, Iso15693Protocol::Outcome::NoBoard);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(data), 4), hex("aa aa aa aa"));
        // The count was the last handshake: nothing of the FIFO was read out.
        QCOMPARE(bench.trace().back(), read(ChipReg::FIFOLength, 5));
    }

    void readSingleBlockLeavesTheRestOfALongAnswer()
    {
        auto card = std::make_shared<ScheduledCard>();
        card->inSlot[0] = hex("00 01 02 03 04 05 06 07");
        addCard(card);
        quint8 data[4] = {};
        iso->readSingleBlock(data, 1);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(data), 4), hex("01 02 03 04"));
        QCOMPARE(bench.chipRegister(ChipReg::FIFOLength), quint8(3));

        // The writes flush what they leave.
        iso->writeAfi(0x01);
        QCOMPARE(bench.chipRegister(ChipReg::FIFOLength), quint8(0));
    }

    void afiAndDsfidWritesReachTheTag()
    {
        auto tag = addTag(uidInSlot(1), 0x00, 0x00);
        iso->writeAfi(0x12);
        Traffic afi;
        afi.judgedExchange(hex("02 27 12"), 1, hex("00 00 00 00 00")).w(ChipReg::Control, Flush);
        QCOMPARE(bench.traceText(), afi.text());
        QCOMPARE(onBoard([&](BoardEngine &) { return tag->afi(); }), quint8(0x12));

        clear();
        iso->writeDsfid(0x9A);
        Traffic dsfid;
        dsfid.judgedExchange(hex("02 29 9a"), 1, hex("00 00 00 00 00")).w(ChipReg::Control, Flush);
        QCOMPARE(bench.traceText(), dsfid.text());
        QCOMPARE(onBoard([&](BoardEngine &) { return tag->dsfid(); }), quint8(0x9A));

        // The tag now answers its new AFI's family, with its new DSFID.
        iso->inventory(0x16, 0x20);
        QCOMPARE(uidText(value(iso->uid)), uidText(quint64(0)));
        iso->inventory(0x16, 0x10);
        QCOMPARE(uidText(value(iso->uid)), uidText(tag->uid()));
        QCOMPARE(iso->dsfid, quint8(0x9A));
    }

    void everyRequestSetsChannelRedundancyFirst_data()
    {
        QTest::addColumn<int>("operation");
        QTest::newRow("one-slot inventory") << 0;
        QTest::newRow("16-slot inventory") << 1;
        QTest::newRow("read block") << 2;
        QTest::newRow("write block") << 3;
        QTest::newRow("write AFI") << 4;
        QTest::newRow("write DSFID") << 5;
    }

    void everyRequestSetsChannelRedundancyFirst()
    {
        QFETCH(int, operation);
        auto tag = addTag(uidInSlot(2), 0x42);
        // What the type A page leaves: parity, no CRC.
        bench.link->writeRegister(ChipReg::ChannelRedundancy, 0x03);
        clear();
        quint8 data[4] = { 9, 8, 7, 6 };
        switch (operation) {
        case 0: iso->inventory(0x26, 0x00); break;
        case 1: iso->inventory(0x06, 0x00); break;
        case 2: iso->readSingleBlock(data, 2); break;
        case 3: iso->writeSingleBlock(data, 2); break;
        case 4: iso->writeAfi(0x30); break;
        case 5: iso->writeDsfid(0x31); break;
        }
        QCOMPARE(bench.trace().front(), written(ChipReg::ChannelRedundancy, 0x2C));
        QCOMPARE(bench.chipRegister(ChipReg::ChannelRedundancy), quint8(0x2C));
        // And the tag understood it.
        switch (operation) {
        case 0:
        case 1: QCOMPARE(uidText(value(iso->uid)), uidText(tag->uid())); break;
        case 2: QCOMPARE(QByteArray(reinterpret_cast<char *>(data), 4), hex("08 09 0a 0b")); break;
        case 3: QCOMPARE(onBoard([&](BoardEngine &) { return tag->block(2); }), hex("09 08 07 06")); break;
        case 4: QCOMPARE(onBoard([&](BoardEngine &) { return tag->afi(); }), quint8(0x30)); break;
        case 5: QCOMPARE(onBoard([&](BoardEngine &) { return tag->dsfid(); }), quint8(0x31)); break;
        }
    }

    void answerKeepsItsCrcWhenTheReceiverDoesNotCheckIt_data()
    {
        QTest::addColumn<int>("redundancy");
        QTest::addColumn<bool>("crcKept");
        QTest::newRow("0x2C: checked and removed") << 0x2C << false;
        QTest::newRow("0x24: sent, not checked") << 0x24 << true;
    }

    void answerKeepsItsCrcWhenTheReceiverDoesNotCheckIt()
    {
        // A hand-built frame, as the manual frame panel sends it.
        QFETCH(int, redundancy);
        QFETCH(bool, crcKept);
        auto tag = addTag(uidInSlot(7), 0x07);
        bench.link->writeRegister(ChipReg::ChannelRedundancy, quint8(redundancy));
        bench.link->writeFifo(reinterpret_cast<const quint8 *>("\x26\x01\x00"), 3);
        bench.link->writeRegister(ChipReg::Command, ChipCmd::Transceive);
        const int length = bench.link->readRegister(ChipReg::FIFOLength);
        QByteArray answer(length, '\0');
        bench.link->readFifo(reinterpret_cast<quint8 *>(answer.data()), qint8(length));
        const QByteArray expected = crcKept ? withCrc(answerOf(*tag)) : answerOf(*tag);
        QCOMPARE(answer.toHex(' '), expected.toHex(' '));
        QCOMPARE(int(bench.chipRegister(ChipReg::ErrorFlag)), 0);
    }

    // inventoryEvery() lists every tag: the tags of a slot where answers
    // collided are found by a round of their own, under a mask that adds the
    // slot's nibble (one bit, in one slot). Its first request is the
    // window's.
    void inventoryEveryListsEveryTag_data()
    {
        QTest::addColumn<QList<quint64>>("uids");
        QTest::addColumn<bool>("oneSlot");
        QTest::addColumn<QStringList>("requests");
        const QList<quint64> spread { uidInSlot(1, 0x01), uidInSlot(4, 0x04), uidInSlot(9, 0x09) };
        const QList<quint64> sharing { uidInSlot(0x13, 0x0A), uidInSlot(0x23, 0x0B), uidInSlot(6, 0x06) };
        // Slot 5 at the first level, then the same nibble again: three rounds.
        const QList<quint64> deep { uidInSlot(0x55, 0x01), uidInSlot(0x55, 0x02), uidInSlot(0x15, 0x03) };
        QTest::newRow("three tags, three slots") << spread << false << QStringList { "06 01 00" };
        QTest::newRow("none") << QList<quint64> {} << false << QStringList { "06 01 00" };
        QTest::newRow("two sharing slot 3") << sharing << false << QStringList { "06 01 00", "06 01 04 03" };
        QTest::newRow("two sharing slot 0")
            << QList<quint64> { uidInSlot(0x10, 0x0A), uidInSlot(0x20, 0x0B) } << false
            << QStringList { "06 01 00", "06 01 04 00" };
        QTest::newRow("two sharing two nibbles") << deep << false
                                                 << QStringList { "06 01 00", "06 01 04 05", "06 01 08 55" };
        QTest::newRow("one slot, two tags")
            << QList<quint64> { uidInSlot(2, 0x0A), uidInSlot(3, 0x0A) } << true
            << QStringList { "26 01 00", "26 01 01 00", "26 01 01 01" };
    }

    void inventoryEveryListsEveryTag()
    {
        QFETCH(QList<quint64>, uids);
        QFETCH(bool, oneSlot);
        QFETCH(QStringList, requests);
        for (quint64 uid : uids)
            addTag(uid, quint8(uid >> 8));
        clear();
        iso->inventoryEvery(oneSlot, false, 0x00);
        QList<quint64> found;
        for (const Iso15693Protocol::Tag &tag : iso->tags) {
            found << value(tag.uid);
            QCOMPARE(tag.dsfid, quint8(found.last() >> 8));
        }
        std::sort(found.begin(), found.end());
        std::sort(uids.begin(), uids.end());
        QCOMPARE(found, uids);
        QCOMPARE(iso->tagsFound, int(uids.size()));
        QStringList sent = air();
        sent.removeAll(QStringLiteral("EOF"));
        QCOMPARE(sent.join(QStringLiteral(" | ")), requests.join(QStringLiteral(" | ")));
    }

    // Answers that collide in every slot of every round end at the bound.
    void inventoryEveryEndsOnEndlessCollisions()
    {
        for (const char *answer : { "00 00 0102030405060708", "00 00 8070605040302010" }) {
            auto card = std::make_shared<ScheduledCard>();
            card->always = hex(answer);
            addCard(card);
        }
        clear();
        iso->inventoryEvery(false, false, 0x00);
        QVERIFY(iso->tags.empty());
        // One ChannelRedundancy write a round; the air log keeps only the
        // last rounds: those under the third slot's two-nibble masks.
        QCOMPARE(countOf(written(ChipReg::ChannelRedundancy, 0x2C)), Iso15693Protocol::MaxInventoryRounds);
        QStringList sent = air();
        sent.removeAll(QStringLiteral("EOF"));
        QCOMPARE(sent.last(), QStringLiteral("06 01 08 e2"));
    }

    void inventoriesInOneOutOfFourFindTheTagsToo()
    {
        // The panel starts every inventory from the 1-out-of-4 code.
        auto a = addTag(uidInSlot(4), 0x04);
        auto b = addTag(uidInSlot(11), 0x0B);
        bench.link->writeRegister(ChipReg::CoderControl, 0x2F);
        iso->inventory(0x26, 0x00);
        QCOMPARE(uidText(value(iso->uid)), uidText(0));  // one slot, two tags: garbled
        bench.link->writeRegister(ChipReg::CoderControl, 0x2F);
        iso->inventory(0x06, 0x00);
        QCOMPARE(uidText(value(iso->uid)), uidText(a->uid()));
        QCOMPARE(uidText(value(iso->secondUid)), uidText(b->uid()));
    }
};

QTEST_GUILESS_MAIN(TestIso15693)
#include "tst_iso15693.moc"
