// The window's ISO 15693 page, offscreen, on a virtual board with virtual
// tags in its field: the configuration reload, inventories in one and 16
// slots and how their results are shown and coloured, block reads and
// writes, AFI and DSFID writes and how their outcomes show (tags that refuse,
// no tag, tags answering at once), and the hand-built frame with its send
// button, exact register traffic and a board that never lets go of it.

#include "chipregisters.h"
#include "crc16.h"
#include "iso15693tag.h"
#include "windowfixture.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QSignalSpy>
#include <QTest>

using Traffic = std::vector<Handshake>;

namespace {

constexpr quint8 Flush = 0x01;
constexpr char Green[] = "color:green";
constexpr char Red[] = "color:red";
constexpr char Black[] = "color:black";

Traffic operator+(Traffic first, const Traffic &second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// The chip's ISO 15693 configuration as the board sees it: the stored set
// reloaded with the field off, the ISO 15693 values, the field on again.
const Traffic Iso15693Configuration = {
    written(ChipReg::Control, Flush),
    written(ChipReg::TxControl, 0x58),
    written(ChipReg::FIFOData, 0x10),
    written(ChipReg::FIFOData, 0x00),
    written(ChipReg::Command, ChipCmd::LoadConfig),
    written(ChipReg::Page, 0x00),
    written(ChipReg::ModConductance, 0x02),
    written(ChipReg::CoderControl, 0x2E),
    written(ChipReg::ModWidth, 0x3F),
    written(ChipReg::TypeBFraming, 0x00),
    written(ChipReg::RxControl1, 0x8B),
    written(ChipReg::DecoderControl, 0x34),
    written(ChipReg::BitPhase, 0xD0),
    written(ChipReg::RxThreshold, 0xED),
    written(ChipReg::BPSKDemControl, 0x00),
    written(ChipReg::RxWait, 0x08),
    written(ChipReg::ChannelRedundancy, 0x2C),
    written(ChipReg::CRCPresetLSB, 0xFF),
    written(ChipReg::CRCPresetMSB, 0xFF),
    written(ChipReg::FIFOLevel, 0x29),
    written(ChipReg::TimerClock, 0x0B),
    written(ChipReg::TimerControl, 0x02),
    written(ChipReg::TimerReload, 0x00),
    written(ChipReg::TxControl, 0x5B),
};

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray withCrc(QByteArray bytes)
{
    const quint16 crc = Crc16::crc3309(reinterpret_cast<const quint8 *>(bytes.constData()), std::size_t(bytes.size()));
    bytes.append(char(crc & 0xFF));
    bytes.append(char(crc >> 8));
    return bytes;
}

// A frame as it went on the air, CRC included: "26 01 00 f6 0a".
QString onAir(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

// What a tag sends to an inventory once the chip has taken its CRC off.
QByteArray inventoryAnswer(const Iso15693Tag &tag)
{
    return QByteArray(1, '\0') + char(tag.dsfid()) + tag.uidBytes();
}

// The UID and DSFID fields hold "0x" and the digits, upper case; the UID
// field ends with its mask's fixed blank.
QString uidShown(const char *digits)
{
    return QStringLiteral("0x%1 ").arg(QLatin1String(digits));
}

// The FIFO loop of a hand-built frame when `answer` is waiting in the FIFO:
// its length, then a byte, down to an empty FIFO.
Traffic fifoDrained(const QByteArray &answer)
{
    Traffic traffic;
    for (int i = 0; i < answer.size(); ++i) {
        traffic.push_back(read(ChipReg::FIFOLength, quint8(answer.size() - i)));
        traffic.push_back(read(ChipReg::FIFOData, quint8(answer.at(i))));
    }
    traffic.push_back(read(ChipReg::FIFOLength, 0));
    return traffic;
}

int countOf(const Traffic &trace, Handshake::Operation operation, quint8 address)
{
    return int(std::count_if(trace.begin(), trace.end(), [&](const Handshake &handshake) {
        return handshake.operation == operation && handshake.address == address;
    }));
}

// A card that gives the same answer, framed with its CRC as a tag frames
// it, to every ISO 15693 request: for answers no real tag gives.
class FixedAnswerCard : public VirtualCard
{
public:
    explicit FixedAnswerCard(QByteArray answer) : m_answer(std::move(answer)) {}

    void fieldOn() override {}
    void fieldOff() override {}
    std::optional<AirBits> hear(const AirFrame &frame) override
    {
        if (frame.slotPulse || (frame.coding != AirCoding::OneOutOf4 && frame.coding != AirCoding::OneOutOf256))
            return std::nullopt;
        return Air::plain(withCrc(m_answer));
    }

private:
    QByteArray m_answer;
};

} // namespace

Q_DECLARE_METATYPE(Handshake)
Q_DECLARE_METATYPE(Traffic)

class TestIso15693Page : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WindowFixture> page;

    QLineEdit *edit(const char *name) const { return page->edit(name); }
    QString text(const char *name) const { return page->edit(name)->text(); }
    QString sheet(const char *name) const { return page->edit(name)->styleSheet(); }
    void click(const char *name) const { page->button(name)->click(); }

    template<typename Work>
    auto onBoard(Work &&work)
    {
        return page->bench.onBoard(std::forward<Work>(work));
    }

    std::shared_ptr<Iso15693Tag> addTag(quint64 uid, quint8 dsfid = 0x00, quint8 afi = 0x00,
                                        int blocks = Iso15693Tag::DefaultBlockCount)
    {
        auto tag = std::make_shared<Iso15693Tag>(uid, dsfid, afi, blocks);
        addCard(tag);
        return tag;
    }

    void addCard(const std::shared_ptr<VirtualCard> &card)
    {
        onBoard([&](BoardEngine &engine) {
            engine.chip().field().addCard(card);
            return 0;
        });
    }

    void removeCard(const std::shared_ptr<VirtualCard> &card)
    {
        onBoard([&](BoardEngine &engine) {
            engine.chip().field().removeCard(card.get());
            return 0;
        });
    }

    template<typename Result>
    Result ofTag(const std::shared_ptr<Iso15693Tag> &tag, Result (Iso15693Tag::*member)() const)
    {
        return onBoard([&](BoardEngine &) { return ((*tag).*member)(); });
    }

    QByteArray blockOf(const std::shared_ptr<Iso15693Tag> &tag, int number)
    {
        return onBoard([&](BoardEngine &) { return tag->block(number); });
    }

    // Forgets the handshakes and the frames on the air so far.
    void clearHistory()
    {
        page->bench.clearHistory();
        onBoard([](BoardEngine &engine) {
            engine.chip().clearAirLog();
            return 0;
        });
    }

    Traffic trace() { return page->bench.trace(); }

    // The frames on the air since the last clear, whole bytes with their
    // CRC; "EOF" for an end-of-frame pulse, "?" for bits that are no bytes.
    QStringList air()
    {
        return onBoard([](BoardEngine &engine) {
            QStringList frames;
            for (const AirExchange &exchange : engine.chip().airLog()) {
                QByteArray bytes;
                if (exchange.sent.slotPulse)
                    frames << QStringLiteral("EOF");
                else if (Air::toPlainBytes(exchange.sent.bits, &bytes))
                    frames << onAir(bytes);
                else
                    frames << QStringLiteral("?");
            }
            return frames;
        });
    }

    AirCoding lastCoding()
    {
        return onBoard([](BoardEngine &engine) { return engine.chip().airLog().back().sent.coding; });
    }

    // Makes the frame field hold `digits` and sends it with the picture
    // button, as the user does once the frame is whole.
    void sendFrame(const QString &digits)
    {
        edit("txtedit_15_manu_trame")->setText(digits);
        QVERIFY(page->find("frame_15_manu_send")->isEnabled());
        click("button_15_manu_img_send");
    }

    // Starts again on a board that keeps the real one's pace: the line at
    // 115200 baud and each frame its air time.
    void restartAtTheBoardsPace()
    {
        page = std::make_unique<WindowFixture>();
        QVERIFY(page->start({ true, 0 }));
        QVERIFY(page->connectBoard());
        page->tabs()->setCurrentIndex(2);
        click("button_15_img_rlcfg");
        clearHistory();
    }

    void typeInto(const char *name, const QString &keys)
    {
        QLineEdit *field = edit(name);
        field->clear();
        QTest::keyClicks(field, keys);
    }

private slots:
    // Every test starts on a connected board whose chip the page has put in
    // its ISO 15693 configuration, with no tag in the field.
    void init()
    {
        page = std::make_unique<WindowFixture>();
        QVERIFY(page->start());
        QVERIFY(page->connectBoard());
        page->tabs()->setCurrentIndex(2);
        click("button_15_img_rlcfg");
        clearHistory();
    }

    void cleanup() { page.reset(); }

    // --- the configuration reload --------------------------------------------

    void reloadLoadsTheConfigurationInOneOutOf4()
    {
        // Another page's coding in force, and its button checked.
        click("radio_codbit_miller");
        edit("txtedit_15_manu_chanred")->setText("03");
        sendFrame("26");
        clearHistory();

        click("button_15_img_rlcfg");
        const Traffic expected = Iso15693Configuration
            + Traffic { written(ChipReg::CoderControl, 0x2F), written(ChipReg::CoderControl, 0x2F) };
        QCOMPARE(trace(), expected);
        QVERIFY(page->button("radio_codbit_4")->isChecked());
        QVERIFY(!page->button("radio_codbit_miller")->isChecked());
        QCOMPARE(page->bench.chipRegister(ChipReg::CoderControl), quint8(0x2F));
        QCOMPARE(page->bench.chipRegister(ChipReg::ChannelRedundancy), quint8(0x2C));
        QVERIFY(air().isEmpty());
    }

    void reloadWakesTheTagsAgain()
    {
        auto tag = addTag(0xE004010000000007ull);
        // A hand-built Stay Quiet addressed to the tag silences it.
        edit("txtedit_15_manu_chanred")->setText("2C");
        sendFrame("2202" + QString::fromLatin1(tag->uidBytes().toHex()));
        QCOMPARE(ofTag(tag, &Iso15693Tag::state), Iso15693Tag::State::Quiet);
        click("button_15_img_rlcfg");
        QCOMPARE(ofTag(tag, &Iso15693Tag::state), Iso15693Tag::State::Ready);
        click("button_15_inventory");
        QCOMPARE(text("txtedit_15_uid"), uidShown("E004010000000007"));
    }

    // Another page's chip settings since the configuration was loaded: the
    // inventory loads it again first, as the reload button does, and the
    // tag hears it. Nothing changed since, nothing goes first.
    void inventoryLoadsTheConfigurationAnotherPageUndid_data()
    {
        QTest::addColumn<QString>("change");  // the button clicked; empty: none
        QTest::addColumn<bool>("reloads");
        QTest::newRow("type A reload, first page") << "button_img_demod_rlcfg" << true;
        QTest::newRow("type A reload, type A page") << "button_14_img_rlcfg" << true;
        QTest::newRow("modulator held high") << "radio_modsel_high" << true;
        // The inventory sets its own coding: a type A one chosen since is no matter.
        QTest::newRow("Miller coding") << "radio_codbit_miller" << false;
        QTest::newRow("nothing changed") << "" << false;
    }

    void inventoryLoadsTheConfigurationAnotherPageUndid()
    {
        QFETCH(QString, change);
        QFETCH(bool, reloads);
        auto tag = addTag(0xE004010012345678ull, 0x5A);
        if (!change.isEmpty())
            click(qPrintable(change));
        clearHistory();
        click("button_15_inventory");

        // The one-slot inventory: its request, then twelve bytes read out and
        // the chip's verdict on the ten the tag sent.
        Traffic inventory = { written(ChipReg::CoderControl, 0x2F), written(ChipReg::ChannelRedundancy, 0x2C),
                              written(ChipReg::FIFOData, 0x26),     written(ChipReg::FIFOData, 0x01),
                              written(ChipReg::FIFOData, 0x00),     written(ChipReg::Command, ChipCmd::Transceive) };
        for (char byte : inventoryAnswer(*tag) + QByteArray(2, '\0'))
            inventory.push_back(read(ChipReg::FIFOData, quint8(byte)));
        inventory.push_back(read(ChipReg::ErrorFlag, 0x00));
        const Traffic reload = !reloads ? Traffic()
                                                : Iso15693Configuration
                + Traffic { written(ChipReg::CoderControl, 0x2F), written(ChipReg::CoderControl, 0x2F) };
        QCOMPARE(trace(), reload + inventory);
        QCOMPARE(air(), QStringList { onAir(withCrc(hex("26 01 00"))) });
        QCOMPARE(text("txtedit_15_uid"), uidShown("E004010012345678"));
        QCOMPARE(sheet("txtedit_15_uid"), Green);
    }

    void textButtonsAnimateTheirPictureButton_data()
    {
        QTest::addColumn<QString>("textButton");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<Handshake>("firstHandshake");
        QTest::newRow("reload") << "button_15_txt_rlcfg" << "button_15_img_rlcfg" << written(ChipReg::Control, Flush);
        QTest::newRow("send") << "button_15_manu_txt_send" << "button_15_manu_img_send"
                              << written(ChipReg::BitFraming, 0x00);
    }

    void textButtonsAnimateTheirPictureButton()
    {
        QFETCH(QString, textButton);
        QFETCH(QString, picture);
        QFETCH(Handshake, firstHandshake);
        edit("txtedit_15_manu_trame")->setText("26");
        QSignalSpy clicked(page->button(qPrintable(picture)), &QAbstractButton::clicked);
        click(qPrintable(textButton));
        QVERIFY(clicked.wait(2000));
        QTest::qWait(50);
        QCOMPARE(clicked.count(), 1);
        QVERIFY(!trace().empty());
        QCOMPARE(trace().front(), firstHandshake);
    }

    // --- inventory -----------------------------------------------------------

    void oneSlotInventoryShowsTheTag()
    {
        addTag(0xE004010012345678ull, 0x5A);
        QCOMPARE(text("txtedit_15_flag"), QStringLiteral("26"));
        QCOMPARE(text("txtedit_15_afi"), QStringLiteral("00"));
        click("button_15_inventory");

        // Every inventory starts from the 1-out-of-4 code.
        QCOMPARE(trace().front(), written(ChipReg::CoderControl, 0x2F));
        QCOMPARE(air(), QStringList { onAir(withCrc(hex("26 01 00"))) });
        QCOMPARE(lastCoding(), AirCoding::OneOutOf4);

        QCOMPARE(text("txtedit_15_uid"), uidShown("E004010012345678"));
        QCOMPARE(text("txtedit_15_dsfid"), QStringLiteral("0x5A"));
        QCOMPARE(sheet("txtedit_15_uid"), Green);
        QCOMPARE(sheet("txtedit_15_dsfid"), Green);
        // No second tag in one slot: a zero UID and the DSFID as it was.
        QCOMPARE(text("txtedit_15_uid_2"), uidShown("0000000000000000"));
        QCOMPARE(text("txtedit_15_dsfid_2"), QStringLiteral("0x00"));
        QCOMPARE(sheet("txtedit_15_uid_2"), Red);
        QCOMPARE(sheet("txtedit_15_dsfid_2"), Red);
    }

    void oneSlotAnswerIsShownAndJudged_data()
    {
        QTest::addColumn<QByteArrayList>("answers");  // one card for each
        QTest::addColumn<QString>("uid");
        QTest::addColumn<QString>("dsfid");
        QTest::addColumn<QString>("colour");
        const QByteArray tag = hex("00 a3 01 02 03 04 05 06 07 e0");
        const QString none = uidShown("0000000000000000");
        QTest::newRow("a tag") << QByteArrayList { tag } << uidShown("E007060504030201") << "0xA3" << Green;
        // Answers no tag gives are no tag: a zero UID and the DSFID shown
        // before, in red.
        QTest::newRow("not a tag's UID") << QByteArrayList { hex("00 07 ef cd ab 89 67 45 23 01") } << none << "0x3C"
                                         << Red;
        QTest::newRow("two equal top bytes") << QByteArrayList { hex("00 42 01 02 03 04 05 06 42 42") } << none
                                             << "0x3C" << Red;
        QTest::newRow("two tags at once") << QByteArrayList { tag, hex("00 a4 11 12 13 14 15 16 17 e0") } << none
                                          << "0x3C" << Red;
        QTest::newRow("nobody") << QByteArrayList() << none << "0x3C" << Red;
    }

    void oneSlotAnswerIsShownAndJudged()
    {
        QFETCH(QByteArrayList, answers);
        QFETCH(QString, uid);
        QFETCH(QString, dsfid);
        QFETCH(QString, colour);
        // An earlier inventory showed a tag that has gone since.
        auto earlier = addTag(0xE004010000000042ull, 0x3C);
        click("button_15_inventory");
        QCOMPARE(text("txtedit_15_dsfid"), QStringLiteral("0x3C"));
        removeCard(earlier);
        for (const QByteArray &answer : answers)
            addCard(std::make_shared<FixedAnswerCard>(answer));
        click("button_15_inventory");
        QCOMPARE(text("txtedit_15_uid"), uid);
        QCOMPARE(text("txtedit_15_dsfid"), dsfid);
        QCOMPARE(sheet("txtedit_15_uid"), colour);
        QCOMPARE(sheet("txtedit_15_dsfid"), colour);
    }

    void dsfidShowsItsOwnDigits_data()
    {
        QTest::addColumn<int>("dsfid");
        QTest::addColumn<QString>("shown");
        QTest::newRow("0x00") << 0x00 << "0x00";
        QTest::newRow("0x05") << 0x05 << "0x5";
        QTest::newRow("0x0F") << 0x0F << "0xF";
        QTest::newRow("0x10") << 0x10 << "0x10";
        QTest::newRow("0x9A") << 0x9A << "0x9A";
        QTest::newRow("0xFF") << 0xFF << "0xFF";
    }

    void dsfidShowsItsOwnDigits()
    {
        QFETCH(int, dsfid);
        QFETCH(QString, shown);
        addTag(0xE004010000000001ull, quint8(dsfid));
        click("button_15_inventory");
        QCOMPARE(text("txtedit_15_dsfid"), shown);
        QCOMPARE(sheet("txtedit_15_dsfid"), Green);
    }

    void sixteenSlotInventoryShowsTwoTags_data()
    {
        QTest::addColumn<QString>("flags");
        QTest::addColumn<bool>("boardsPace");
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("without AFI") << "06" << false << hex("06 01 00");
        QTest::newRow("without AFI, at the board's pace") << "06" << true << hex("06 01 00");
        QTest::newRow("with AFI 12, at the board's pace") << "16" << true << hex("16 01 12 00");
    }

    void sixteenSlotInventoryShowsTwoTags()
    {
        QFETCH(QString, flags);
        QFETCH(bool, boardsPace);
        QFETCH(QByteArray, request);
        if (boardsPace)
            restartAtTheBoardsPace();
        // Slots 3 and 9: the UID's low nibble.
        addTag(0xE0040100AABBCC03ull, 0x33, 0x12);
        addTag(0xE0070200DDEEFF09ull, 0x99, 0x12);
        edit("txtedit_15_flag")->setText(flags);
        edit("txtedit_15_afi")->setText("12");
        click("button_15_inventory");

        QCOMPARE(trace().front(), written(ChipReg::CoderControl, 0x2F));
        const QStringList frames = air();
        QCOMPARE(frames.value(0), onAir(withCrc(request)));
        QVERIFY(frames.mid(1).count(QStringLiteral("EOF")) == frames.size() - 1);
        QCOMPARE(text("txtedit_15_uid"), uidShown("E0040100AABBCC03"));
        QCOMPARE(text("txtedit_15_dsfid"), QStringLiteral("0x33"));
        QCOMPARE(text("txtedit_15_uid_2"), uidShown("E0070200DDEEFF09"));
        QCOMPARE(text("txtedit_15_dsfid_2"), QStringLiteral("0x99"));
        for (const char *field : { "txtedit_15_uid", "txtedit_15_dsfid", "txtedit_15_uid_2", "txtedit_15_dsfid_2" })
            QVERIFY2(sheet(field) == Green, field);
        QCOMPARE(page->bench.chipRegister(ChipReg::CoderControl), quint8(0x2E));
    }

    void sixteenSlotInventoryWithOneTagShowsTheSecondInRed()
    {
        auto first = addTag(0xE0040100AABBCC03ull, 0x33);
        auto second = addTag(0xE0070200DDEEFF09ull, 0x99);
        edit("txtedit_15_flag")->setText("06");
        click("button_15_inventory");
        removeCard(second);
        click("button_15_inventory");

        // The second place keeps the DSFID of the tag that has gone.
        QCOMPARE(text("txtedit_15_uid"), uidShown("E0040100AABBCC03"));
        QCOMPARE(text("txtedit_15_dsfid"), QStringLiteral("0x33"));
        QCOMPARE(sheet("txtedit_15_uid"), Green);
        QCOMPARE(sheet("txtedit_15_dsfid"), Green);
        QCOMPARE(text("txtedit_15_uid_2"), uidShown("0000000000000000"));
        QCOMPARE(text("txtedit_15_dsfid_2"), QStringLiteral("0x99"));
        QCOMPARE(sheet("txtedit_15_uid_2"), Red);
        QCOMPARE(sheet("txtedit_15_dsfid_2"), Red);
    }

    void firstSixteenSlotInventoryWithOneTag()
    {
        addTag(0xE00401000000000Bull, 0x0B);
        edit("txtedit_15_flag")->setText("06");
        click("button_15_inventory");
        QCOMPARE(text("txtedit_15_uid"), uidShown("E00401000000000B"));
        QCOMPARE(text("txtedit_15_dsfid"), QStringLiteral("0xB"));
        QCOMPARE(sheet("txtedit_15_uid"), Green);
        QCOMPARE(text("txtedit_15_uid_2"), uidShown("0000000000000000"));
        QCOMPARE(text("txtedit_15_dsfid_2"), QStringLiteral("0x00"));
        QCOMPARE(sheet("txtedit_15_uid_2"), Red);
        QCOMPARE(sheet("txtedit_15_dsfid_2"), Red);
    }

    void flagsWithoutInventoryFlagSendNothing()
    {
        addTag(0xE0040100AABBCC03ull, 0x11);
        addTag(0xE0070200DDEEFF09ull, 0x22);
        edit("txtedit_15_flag")->setText("06");
        click("button_15_inventory");
        QCOMPARE(text("txtedit_15_uid_2"), uidShown("E0070200DDEEFF09"));
        clearHistory();

        edit("txtedit_15_flag")->setText("22");
        click("button_15_inventory");
        QCOMPARE(trace(), Traffic { written(ChipReg::CoderControl, 0x2F) });
        QVERIFY(air().isEmpty());
        QCOMPARE(text("txtedit_15_uid"), uidShown("0000000000000000"));
        QCOMPARE(text("txtedit_15_uid_2"), uidShown("0000000000000000"));
        QCOMPARE(text("txtedit_15_dsfid"), QStringLiteral("0x11"));
        QCOMPARE(text("txtedit_15_dsfid_2"), QStringLiteral("0x22"));
        for (const char *field : { "txtedit_15_uid", "txtedit_15_dsfid", "txtedit_15_uid_2", "txtedit_15_dsfid_2" })
            QVERIFY2(sheet(field) == Red, field);
    }

    void inventoryTakesItsFlagsAndAfiFromTheFields_data()
    {
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QString>("afi");
        QTest::addColumn<QString>("request");  // empty: nothing sent
        QTest::addColumn<QString>("uid");
        QTest::newRow("one slot, AFI 12") << "36" << "12" << "36 01 12 00" << uidShown("E004010000000012");
        QTest::newRow("one slot, AFI 20") << "36" << "20" << "36 01 20 00" << uidShown("E004010000000020");
        QTest::newRow("one slot, AFI ignored") << "26" << "12" << "26 01 00" << uidShown("0000000000000000");
        QTest::newRow("16 slots, AFI 20") << "16" << "20" << "16 01 20 00" << uidShown("E004010000000020");
        QTest::newRow("emptied flags") << "" << "12" << "" << uidShown("0000000000000000");
    }

    void inventoryTakesItsFlagsAndAfiFromTheFields()
    {
        QFETCH(QString, flags);
        QFETCH(QString, afi);
        QFETCH(QString, request);
        QFETCH(QString, uid);
        // Two tags of different AFIs: together in one slot they garble.
        addTag(0xE004010000000012ull, 0x12, 0x12);
        addTag(0xE004010000000020ull, 0x20, 0x20);
        edit("txtedit_15_flag")->setText(flags);
        edit("txtedit_15_afi")->setText(afi);
        click("button_15_inventory");
        const QStringList frames = air();
        if (request.isEmpty())
            QVERIFY(frames.isEmpty());
        else
            QCOMPARE(frames.value(0), onAir(withCrc(QByteArray::fromHex(request.toLatin1()))));
        QCOMPARE(text("txtedit_15_uid"), uid);
    }

    // --- blocks, AFI, DSFID ----------------------------------------------------

    void blockFieldIsReadAsHexadecimal_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("block");
        QTest::newRow("00") << "00" << 0;
        QTest::newRow("09") << "09" << 9;
        QTest::newRow("0A is block 10") << "0A" << 10;
        QTest::newRow("10 is block 16") << "10" << 16;
        QTest::newRow("1F is block 31") << "1F" << 31;
        QTest::newRow("99 is block 153") << "99" << 153;
        // Emptied, it names no block: not block 0.
        QTest::newRow("empty: refused") << "" << -1;
    }

    void blockFieldIsReadAsHexadecimal()
    {
        QFETCH(QString, field);
        QFETCH(int, block);
        auto tag = addTag(0xE004010000000001ull, 0x00, 0x00, Iso15693Tag::MaxBlockCount);
        edit("txtedit_15_secteur")->setText(field);
        if (block < 0) {
            edit("txtedit_15_donnees")->setText("DEADBEEF");
            for (const char *button : { "button_15_read", "button_15_write" }) {
                click(button);
                QCOMPARE(page->message(), QStringLiteral("Bloc : champ vide, aucun bloc n'est choisi"));
            }
            QVERIFY(air().isEmpty());
            QCOMPARE(blockOf(tag, 0), hex("00 01 02 03"));
            return;
        }

        // A read replaces whatever the data field held.
        edit("txtedit_15_donnees")->setText("AAAAAAAA");
        click("button_15_read");
        QCOMPARE(air(), QStringList { onAir(withCrc(QByteArray::fromHex("0220") + char(block))) });
        const QByteArray content = blockOf(tag, block);
        QCOMPARE(text("txtedit_15_donnees"), QString::fromLatin1(content.toHex().toUpper()));
        QCOMPARE(sheet("txtedit_15_donnees"), Green);
        // Shown from its first digit.
        QCOMPARE(edit("txtedit_15_donnees")->cursorPosition(), 0);

        clearHistory();
        edit("txtedit_15_donnees")->setText("DEADBEEF");
        click("button_15_write");
        QCOMPARE(air(), QStringList { onAir(withCrc(QByteArray::fromHex("0221") + char(block) + hex("deadbeef"))) });
        QCOMPARE(blockOf(tag, block), hex("deadbeef"));
        // The block the digits would name in decimal keeps its first bytes.
        bool digitsOnly = false;
        const int decimal = field.toInt(&digitsOnly);
        if (digitsOnly && block != decimal) {
            QByteArray initial;
            for (int i = 0; i < 4; ++i)
                initial.append(char(quint8(4 * decimal + i)));
            QCOMPARE(blockOf(tag, decimal), initial);
        }
    }

    // Digits that do not fill the field are refused, never padded: not as
    // typed short, nor emptied, nor with a gap left by Backspace.
    void dataFieldDigitsMakeTheBytes_data()
    {
        QTest::addColumn<QString>("digits");
        QTest::addColumn<int>("backspaceAt");  // -1: none
        QTest::addColumn<QByteArray>("bytes");  // empty: refused
        QTest::addColumn<QString>("message");
        const QString written = QStringLiteral("Bloc 05 écrit (tous les tags du champ)");
        QTest::newRow("123") << "123" << -1 << QByteArray()
                             << "Données : 8 chiffres hexadécimaux attendus, 3 tapés ; rien n'est écrit";
        QTest::newRow("1234567") << "1234567" << -1 << QByteArray()
                                 << "Données : 8 chiffres hexadécimaux attendus, 7 tapés ; rien n'est écrit";
        QTest::newRow("emptied") << "" << -1 << QByteArray()
                                 << "Données : 8 chiffres hexadécimaux attendus, 0 tapés ; rien n'est écrit";
        QTest::newRow("gap left by Backspace") << "11223344" << 3 << QByteArray()
                                               << "Données : un chiffre manque au milieu, rien n'est écrit";
        QTest::newRow("DEADBEEF") << "DEADBEEF" << -1 << hex("de ad be ef") << written;
        QTest::newRow("0A0B0C0D") << "0A0B0C0D" << -1 << hex("0a 0b 0c 0d") << written;
        QTest::newRow("typed lower case") << "c0ffee42" << -1 << hex("c0 ff ee 42") << written;
    }

    void dataFieldDigitsMakeTheBytes()
    {
        QFETCH(QString, digits);
        QFETCH(int, backspaceAt);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        auto tag = addTag(0xE004010000000001ull);
        edit("txtedit_15_secteur")->setText("05");
        typeInto("txtedit_15_donnees", digits);
        if (backspaceAt >= 0) {
            edit("txtedit_15_donnees")->setCursorPosition(backspaceAt);
            QTest::keyClick(edit("txtedit_15_donnees"), Qt::Key_Backspace);
        }
        click("button_15_write");
        QCOMPARE(page->message(), message);
        if (bytes.isEmpty()) {
            QVERIFY(air().isEmpty());
            QCOMPARE(blockOf(tag, 5), hex("14 15 16 17"));
            QCOMPARE(sheet("txtedit_15_donnees"), Red);
            return;
        }
        QCOMPARE(air(), QStringList { onAir(withCrc(hex("02 21 05") + bytes)) });
        QCOMPARE(blockOf(tag, 5), bytes);
    }

    void readThenWriteBackRestoresTheBlock()
    {
        auto tag = addTag(0xE004010000000001ull);
        edit("txtedit_15_secteur")->setText("07");
        click("button_15_read");
        QCOMPARE(text("txtedit_15_donnees"), QStringLiteral("1C1D1E1F"));

        // Someone else changes the block; writing back without an edit puts
        // the bytes read back in place.
        onBoard([&](BoardEngine &) {
            tag->setBlock(7, hex("00 00 00 00"));
            return 0;
        });
        clearHistory();
        click("button_15_write");
        QCOMPARE(air(), QStringList { onAir(withCrc(hex("02 21 07 1c 1d 1e 1f"))) });
        QCOMPARE(blockOf(tag, 7), hex("1c 1d 1e 1f"));
    }

    // A failed read shows red on the text the field had, which is no
    // block's, and says why in words.
    void failedReadShowsNoBlockData_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("block");
        QTest::addColumn<QString>("message");
        const QString all = QStringLiteral(" (tous les tags du champ)");
        QTest::newRow("a block the tag does not have") << "tag" << "40" << "Tag : erreur 10, bloc inexistant" + all;
        QTest::newRow("no tag") << "none" << "05" << "Aucun tag ne répond" + all;
        QTest::newRow("two tags, two contents") << "two tags" << "05"
                                                << "Réponses superposées : plusieurs tags ont répondu" + all;
    }

    void failedReadShowsNoBlockData()
    {
        QFETCH(QString, situation);
        QFETCH(QString, block);
        QFETCH(QString, message);
        std::shared_ptr<Iso15693Tag> tag;
        if (situation != "none")
            tag = addTag(0xE004010000000001ull);  // 28 blocks
        if (situation == "two tags") {
            auto other = addTag(0xE004010000000002ull);
            onBoard([&](BoardEngine &) {
                other->setBlock(5, hex("ff ff ff ff"));
                return 0;
            });
        }
        edit("txtedit_15_donnees")->setText("CAFEF00D");
        edit("txtedit_15_secteur")->setText(block);
        click("button_15_read");
        QCOMPARE(text("txtedit_15_donnees"), QStringLiteral("CAFEF00D"));
        QCOMPARE(sheet("txtedit_15_donnees"), Red);
        QCOMPARE(page->message(), message);

        // Écriture cannot put the failure on a tag: the text is no block's.
        QVERIFY(!page->button("button_15_write")->isEnabled());
        edit("txtedit_15_secteur")->setText("05");
        clearHistory();
        click("button_15_write");
        QVERIFY(air().isEmpty());
        if (tag)
            QCOMPARE(blockOf(tag, 5), hex("14 15 16 17"));

        // Digits the user types are a value to write.
        typeInto("txtedit_15_donnees", "01020304");
        QVERIFY(page->button("button_15_write")->isEnabled());
        QCOMPARE(sheet("txtedit_15_donnees"), Black);
        click("button_15_write");
        QCOMPARE(air(), QStringList { onAir(withCrc(hex("02 21 05 01 02 03 04"))) });
    }

    // A write shows its outcome on its field, which keeps the value tried,
    // and in words on the message line.
    void writesShowTheirOutcome_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("colour");
        QTest::addColumn<QString>("message");
        const QString all = QStringLiteral(" (tous les tags du champ)");
        const auto rows = [&](const char *what, const char *field, const char *button, const char *value,
                              const QString &done) {
            const QString name = QString::fromLatin1(what);
            QTest::newRow(qPrintable(name + ", written")) << field << button << value << "tag" << Green << done + all;
            QTest::newRow(qPrintable(name + ", locked"))
                << field << button << value << "locked" << Red
                << "Tag : erreur 12, bloc verrouillé, contenu non modifiable" + all;
            QTest::newRow(qPrintable(name + ", no tag")) << field << button << value << "none" << Red
                                                         << "Aucun tag ne répond" + all;
        };
        rows("block", "txtedit_15_donnees", "button_15_write", "DEADBEEF", "Bloc 05 écrit");
        rows("AFI", "txtedit_15_afi_w", "button_15_afi_w", "5A", "AFI 0x5A écrit");
        rows("DSFID", "txtedit_15_dsfid_w", "button_15_dsfid_w", "A5", "DSFID 0xA5 écrit");
    }

    void writesShowTheirOutcome()
    {
        QFETCH(QString, field);
        QFETCH(QString, button);
        QFETCH(QString, typed);
        QFETCH(QString, situation);
        QFETCH(QString, colour);
        QFETCH(QString, message);
        std::shared_ptr<Iso15693Tag> tag;
        if (situation != "none")
            tag = addTag(0xE004010000000001ull, 0x77, 0x77);
        if (situation == "locked") {
            // Locked by hand, with the tag's own lock command.
            edit("txtedit_15_manu_chanred")->setText("2C");
            sendFrame(button.contains("afi") ? "0228" : button.contains("dsfid") ? "022A" : "022205");
        }
        edit("txtedit_15_secteur")->setText("05");
        typeInto(qPrintable(field), typed);
        click(qPrintable(button));

        // The value tried stays, for the user to try again.
        QCOMPARE(text(qPrintable(field)), typed);
        QCOMPARE(sheet(qPrintable(field)), colour);
        QVERIFY(page->button(qPrintable(button))->isEnabled());
        QCOMPARE(page->message(), message);
        if (tag) {
            const bool done = situation == "tag";
            if (button.contains("write"))
                QCOMPARE(blockOf(tag, 5), done ? hex("de ad be ef") : hex("14 15 16 17"));
            else if (button.contains("afi"))
                QCOMPARE(ofTag(tag, &Iso15693Tag::afi), quint8(done ? 0x5A : 0x77));
            else
                QCOMPARE(ofTag(tag, &Iso15693Tag::dsfid), quint8(done ? 0xA5 : 0x77));
        }
        // An edit clears the judgement: the value typed was never written.
        typeInto(qPrintable(field), "01");
        QCOMPARE(sheet(qPrintable(field)), Black);
    }

    void afiAndDsfidWriteFieldsAreHexadecimal_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("request");
        QTest::addColumn<int>("value");
        QTest::newRow("AFI 12") << "txtedit_15_afi_w" << "button_15_afi_w" << "12" << "02 27 12" << 0x12;
        QTest::newRow("AFI 99") << "txtedit_15_afi_w" << "button_15_afi_w" << "99" << "02 27 99" << 0x99;
        QTest::newRow("AFI 1A") << "txtedit_15_afi_w" << "button_15_afi_w" << "1A" << "02 27 1a" << 0x1A;
        QTest::newRow("AFI 0b typed lower case") << "txtedit_15_afi_w" << "button_15_afi_w" << "0b" << "02 27 0b"
                                                 << 0x0B;
        QTest::newRow("DSFID 12") << "txtedit_15_dsfid_w" << "button_15_dsfid_w" << "12" << "02 29 12" << 0x12;
        QTest::newRow("DSFID 00") << "txtedit_15_dsfid_w" << "button_15_dsfid_w" << "00" << "02 29 00" << 0x00;
        QTest::newRow("DSFID F5") << "txtedit_15_dsfid_w" << "button_15_dsfid_w" << "F5" << "02 29 f5" << 0xF5;
    }

    void afiAndDsfidWriteFieldsAreHexadecimal()
    {
        QFETCH(QString, field);
        QFETCH(QString, button);
        QFETCH(QString, typed);
        QFETCH(QString, request);
        QFETCH(int, value);
        auto tag = addTag(0xE004010000000001ull, 0x77, 0x77);
        typeInto(qPrintable(field), typed);
        click(qPrintable(button));
        QCOMPARE(air(), QStringList { onAir(withCrc(QByteArray::fromHex(request.toLatin1()))) });
        const bool afi = field.contains(QStringLiteral("afi"));
        QCOMPARE(int(ofTag(tag, afi ? &Iso15693Tag::afi : &Iso15693Tag::dsfid)), value);
        QCOMPARE(int(ofTag(tag, afi ? &Iso15693Tag::dsfid : &Iso15693Tag::afi)), 0x77);
        QCOMPARE(page->bench.chipRegister(ChipReg::FIFOLength), quint8(0));
    }

    // Once an inventory found two tags, "Sélection" sends the block, AFI and
    // DSFID commands to the one chosen alone, by its UID; "tous", or an
    // inventory that found fewer, sends them to every tag in the field.
    void commandsGoToTheTagChosen_data()
    {
        QTest::addColumn<QString>("situation");  // "two tags", "one tag", or "first gone" since the inventory
        QTest::addColumn<QString>("selection");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("request");  // without its CRC
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("colour");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("after");  // what each tag holds then: block 05, AFI or DSFID
        const QString first = QStringLiteral(" (tag E0040100AABBCC03)");
        const QString second = QStringLiteral(" (tag E0070200DDEEFF09)");
        const QString all = QStringLiteral(" (tous les tags du champ)");
        const QString uid1 = QStringLiteral("03ccbbaa000104e0");  // least significant byte first
        const QString uid2 = QStringLiteral("09ffeedd000207e0");
        const auto row = [](const char *name, const char *situation, const char *selection, const char *button,
                            const char *typed, const QString &request, const char *shown, const char *colour,
                            const QString &message, const QStringList &after) {
            QTest::newRow(name) << situation << selection << button << typed << request << shown << colour << message
                                << after;
        };
        row("block, tag 1", "two tags", "radio_15_sel_1", "button_15_write", "DEADBEEF", "2221" + uid1 + "05deadbeef",
            "DEADBEEF", Green, "Bloc 05 écrit" + first, { "deadbeef", "ffffffff" });
        row("block, tag 2", "two tags", "radio_15_sel_2", "button_15_write", "DEADBEEF", "2221" + uid2 + "05deadbeef",
            "DEADBEEF", Green, "Bloc 05 écrit" + second, { "14151617", "deadbeef" });
        row("block, tous", "two tags", "radio_15_sel_all", "button_15_write", "DEADBEEF", "022105deadbeef", "DEADBEEF",
            Green, "Bloc 05 écrit" + all, { "deadbeef", "deadbeef" });
        row("AFI, tag 2", "two tags", "radio_15_sel_2", "button_15_afi_w", "5A", "2227" + uid2 + "5a", "5A", Green,
            "AFI 0x5A écrit" + second, { "11", "5a" });
        row("DSFID, tag 1", "two tags", "radio_15_sel_1", "button_15_dsfid_w", "A5", "2229" + uid1 + "a5", "A5", Green,
            "DSFID 0xA5 écrit" + first, { "a5", "99" });
        row("block, one tag found, tag 1 chosen", "one tag", "radio_15_sel_1", "button_15_write", "DEADBEEF",
            "022105deadbeef", "DEADBEEF", Green, "Bloc 05 écrit" + all, { "deadbeef" });
        row("read, tag 2", "two tags", "radio_15_sel_2", "button_15_read", "CAFEF00D", "2220" + uid2 + "05",
            "FFFFFFFF", Green, "Bloc 05 lu" + second, { "14151617", "ffffffff" });
        row("read, tous", "two tags", "radio_15_sel_all", "button_15_read", "CAFEF00D", "022005", "CAFEF00D", Red,
            "Réponses superposées : plusieurs tags ont répondu" + all, { "14151617", "ffffffff" });
        // Addressed to a tag that has left, the command reaches no other.
        row("block, tag 1 gone since", "first gone", "radio_15_sel_1", "button_15_write", "DEADBEEF",
            "2221" + uid1 + "05deadbeef", "DEADBEEF", Red, "Aucun tag ne répond" + first, { "14151617", "ffffffff" });
    }

    void commandsGoToTheTagChosen()
    {
        QFETCH(QString, situation);
        QFETCH(QString, selection);
        QFETCH(QString, button);
        QFETCH(QString, typed);
        QFETCH(QString, request);
        QFETCH(QString, shown);
        QFETCH(QString, colour);
        QFETCH(QString, message);
        QFETCH(QStringList, after);
        const bool afi = button.contains("afi");
        const bool dsfid = button.contains("dsfid");
        const QByteArray field = afi ? "txtedit_15_afi_w" : dsfid ? "txtedit_15_dsfid_w" : "txtedit_15_donnees";
        // Slots 3 and 9; the second tag's block 05 differs from the first's.
        QList tags { addTag(0xE0040100AABBCC03ull, 0x33, 0x11) };
        if (situation != "one tag") {
            tags << addTag(0xE0070200DDEEFF09ull, 0x99, 0x22);
            onBoard([&](BoardEngine &) {
                tags.back()->setBlock(5, hex("ff ff ff ff"));
                return 0;
            });
        }
        edit("txtedit_15_flag")->setText("06");
        click("button_15_inventory");
        QCOMPARE(sheet("txtedit_15_uid_2"), tags.size() == 2 ? Green : Red);
        if (situation == "first gone")
            removeCard(tags.front());
        click(qPrintable(selection));
        edit("txtedit_15_secteur")->setText("05");
        typeInto(field, typed);
        clearHistory();
        click(qPrintable(button));

        QCOMPARE(air(), QStringList { onAir(withCrc(QByteArray::fromHex(request.toLatin1()))) });
        QCOMPARE(text(field), shown);
        QCOMPARE(sheet(field), colour);
        QCOMPARE(page->message(), message);
        QStringList held;
        for (const auto &tag : tags) {
            const QByteArray value = afi ? QByteArray(1, char(ofTag(tag, &Iso15693Tag::afi)))
                : dsfid                  ? QByteArray(1, char(ofTag(tag, &Iso15693Tag::dsfid)))
                                         : blockOf(tag, 5);
            held << QString::fromLatin1(value.toHex());
        }
        QCOMPARE(held, after);
    }

    // --- the hand-built frame ------------------------------------------------

    void sendFollowsTheDigitCount_data()
    {
        QTest::addColumn<int>("digits");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("0") << 0 << false;
        QTest::newRow("1") << 1 << false;
        QTest::newRow("2") << 2 << true;
        QTest::newRow("3") << 3 << false;
        QTest::newRow("4") << 4 << true;
        QTest::newRow("34") << 34 << true;
        QTest::newRow("35") << 35 << false;
    }

    void sendFollowsTheDigitCount()
    {
        QFETCH(int, digits);
        QFETCH(bool, enabled);
        QVERIFY(!page->find("frame_15_manu_send")->isEnabled());  // as built
        typeInto("txtedit_15_manu_trame", QString(digits, QLatin1Char('7')));
        QCOMPARE(page->find("frame_15_manu_send")->isEnabled(), enabled);
        QCOMPARE(page->button("button_15_manu_img_send")->isEnabled(), enabled);
        QCOMPARE(page->button("button_15_manu_txt_send")->isEnabled(), enabled);
        // One digit fewer turns it round, down to none.
        if (digits > 0) {
            QTest::keyClick(edit("txtedit_15_manu_trame"), Qt::Key_Backspace);
            QCOMPARE(page->find("frame_15_manu_send")->isEnabled(), !enabled && digits > 1);
        }
    }

    void languageChangeEmptiesTheFrameAndDisablesSending()
    {
        edit("txtedit_15_manu_trame")->setText("2601");
        QVERIFY(page->find("frame_15_manu_send")->isEnabled());
        QEvent change(QEvent::LanguageChange);
        QApplication::sendEvent(page->window.get(), &change);
        QCOMPARE(text("txtedit_15_manu_trame").trimmed(), QString());
        QVERIFY(!page->find("frame_15_manu_send")->isEnabled());
    }

    void manualFrameTraffic()
    {
        auto tag = addTag(0xE004010012345678ull, 0x5A);
        edit("txtedit_15_manu_bitframing")->setText("00");
        edit("txtedit_15_manu_chanred")->setText("2C");
        QCOMPARE(text("txtedit_15_manu_collpos"), QStringLiteral("2E "));
        sendFrame("260100");

        const QByteArray answer = inventoryAnswer(*tag);
        const Traffic expected = Traffic { written(ChipReg::BitFraming, 0x00),
                                           written(ChipReg::ChannelRedundancy, 0x2C),
                                           written(ChipReg::CoderControl, 0x2E),
                                           written(ChipReg::Control, Flush),
                                           written(ChipReg::FIFOData, 0x26),
                                           written(ChipReg::FIFOData, 0x01),
                                           written(ChipReg::FIFOData, 0x00),
                                           written(ChipReg::Command, ChipCmd::Transceive),
                                           read(ChipReg::Command, ChipCmd::Idle) }
            + fifoDrained(answer);
        QCOMPARE(trace(), expected);
        QCOMPARE(air(), QStringList { onAir(withCrc(hex("26 01 00"))) });
        QCOMPARE(lastCoding(), AirCoding::OneOutOf256);
        QCOMPARE(text("txtedit_15_manu_reponse"), QStringLiteral("005A78563412000104E0"));
    }

    void manualFrameAtTheBoardsPace()
    {
        // In 1-out-of-256 the frame alone takes some 30 ms of air: the answer
        // is read once the chip is done.
        restartAtTheBoardsPace();
        addTag(0xE004010012345678ull, 0x5A);
        edit("txtedit_15_manu_chanred")->setText("2C");
        sendFrame("260100");
        QCOMPARE(text("txtedit_15_manu_reponse"), QStringLiteral("005A78563412000104E0"));
        QVERIFY(trace().size() > 12);
    }

    void manualFrameTakesEveryFieldValue_data()
    {
        QTest::addColumn<QString>("bitFraming");
        QTest::addColumn<QString>("redundancy");
        QTest::addColumn<QString>("frame");
        QTest::addColumn<Traffic>("settings");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("as built: parity, no CRC") << "00" << "03" << "0220"
                                                 << Traffic { written(ChipReg::BitFraming, 0x00),
                                                              written(ChipReg::ChannelRedundancy, 0x03),
                                                              written(ChipReg::CoderControl, 0x2E) }
                                                 << hex("02 20");
        QTest::newRow("seven bits") << "07" << "24" << "26"
                                    << Traffic { written(ChipReg::BitFraming, 0x07),
                                                 written(ChipReg::ChannelRedundancy, 0x24),
                                                 written(ChipReg::CoderControl, 0x2E) }
                                    << hex("26");
        // Digits that read otherwise in decimal: the fields are hexadecimal.
        QTest::newRow("framing 17, redundancy 2F") << "17" << "2F" << "0220"
                                                  << Traffic { written(ChipReg::BitFraming, 0x17),
                                                               written(ChipReg::ChannelRedundancy, 0x2F),
                                                               written(ChipReg::CoderControl, 0x2E) }
                                                  << hex("02 20");
        QTest::newRow("17 bytes") << "00" << "2C" << "000102030405060708090A0B0C0D0E0F10"
                                  << Traffic { written(ChipReg::BitFraming, 0x00),
                                               written(ChipReg::ChannelRedundancy, 0x2C),
                                               written(ChipReg::CoderControl, 0x2E) }
                                  << hex("000102030405060708090a0b0c0d0e0f10");
    }

    void manualFrameTakesEveryFieldValue()
    {
        QFETCH(QString, bitFraming);
        QFETCH(QString, redundancy);
        QFETCH(QString, frame);
        QFETCH(Traffic, settings);
        QFETCH(QByteArray, bytes);
        edit("txtedit_15_manu_bitframing")->setText(bitFraming);
        edit("txtedit_15_manu_chanred")->setText(redundancy);
        sendFrame(frame);
        Traffic expected = settings;
        expected.push_back(written(ChipReg::Control, Flush));
        for (char byte : bytes)
            expected.push_back(written(ChipReg::FIFOData, quint8(byte)));
        expected.push_back(written(ChipReg::Command, ChipCmd::Transceive));
        expected.push_back(read(ChipReg::Command, ChipCmd::Idle));
        expected.push_back(read(ChipReg::FIFOLength, 0));  // nobody answered
        QCOMPARE(trace(), expected);
        QCOMPARE(text("txtedit_15_manu_reponse"), QString());
        QCOMPARE(page->bench.chipRegister(ChipReg::ChannelRedundancy), quint8(settings.at(1).value));
    }

    void manualFrameWithoutAnswerEmptiesTheResponse()
    {
        auto tag = addTag(0xE004010012345678ull, 0x5A);
        edit("txtedit_15_manu_chanred")->setText("2C");
        sendFrame("260100");
        QVERIFY(!text("txtedit_15_manu_reponse").isEmpty());

        // A frame no tag answers: the first look at the FIFO finds it empty.
        removeCard(tag);
        clearHistory();
        click("button_15_manu_img_send");
        const Traffic handshakes = trace();
        const Traffic readBack(handshakes.end() - 3, handshakes.end());
        QCOMPARE(readBack, (Traffic { written(ChipReg::Command, ChipCmd::Transceive), read(ChipReg::Command, ChipCmd::Idle),
                                      read(ChipReg::FIFOLength, 0) }));
        QCOMPARE(text("txtedit_15_manu_reponse"), QString());

        // An answer still on its way: the tag answers, but FIFOLength reads
        // 0 at the first look, and the read-out stops there.
        addTag(0xE004010012345678ull, 0x5A);
        BoardFaults late;
        late.stuckReads[ChipReg::FIFOLength] = 0;
        page->bench.setFaults(late);
        clearHistory();
        click("button_15_manu_img_send");
        QCOMPARE(trace().back(), read(ChipReg::FIFOLength, 0));
        QVERIFY(page->bench.chipRegister(ChipReg::FIFOLength) > 0);  // the answer sits in the FIFO
        QCOMPARE(text("txtedit_15_manu_reponse"), QString());
    }

    void lateAnswerStaysOffTheAirOfTheNextFrame()
    {
        addTag(0xE004010012345678ull, 0x5A);
        edit("txtedit_15_manu_chanred")->setText("2C");
        // The answer comes after the read-out has looked: it stays in the FIFO.
        BoardFaults late;
        late.stuckReads[ChipReg::FIFOLength] = 0;
        page->bench.setFaults(late);
        sendFrame("260100");
        QCOMPARE(page->bench.chipRegister(ChipReg::FIFOLength), quint8(10));

        // The next frame goes on the air alone, and its answer is read whole.
        page->bench.setFaults(BoardFaults());
        clearHistory();
        click("button_15_manu_img_send");
        QCOMPARE(air(), QStringList { onAir(withCrc(hex("26 01 00"))) });
        QCOMPARE(text("txtedit_15_manu_reponse"), QStringLiteral("005A78563412000104E0"));
        QCOMPARE(countOf(trace(), Handshake::Read, ChipReg::FIFOData), 10);
    }

    void longResponseShowsItsFirstTenBytes_data()
    {
        QTest::addColumn<QString>("redundancy");
        QTest::addColumn<QByteArray>("cardAnswer");  // empty: a tag
        QTest::addColumn<int>("answerLength");
        QTest::addColumn<QString>("shown");
        // Unchecked, the tag's CRC stays: 12 bytes.
        QTest::newRow("tag with its CRC") << "24" << QByteArray() << 12 << "005A78563412000104E0";
        QTest::newRow("16 bytes") << "2C" << hex("a0a1a2a3a4a5a6a7a8a9aaabacadaeaf") << 16 << "A0A1A2A3A4A5A6A7A8A9";
        QTest::newRow("exactly 10") << "2C" << hex("b0b1b2b3b4b5b6b7b8b9") << 10 << "B0B1B2B3B4B5B6B7B8B9";
        QTest::newRow("3 bytes") << "2C" << hex("0c0d0e") << 3 << "0C0D0E";
    }

    void longResponseShowsItsFirstTenBytes()
    {
        QFETCH(QString, redundancy);
        QFETCH(QByteArray, cardAnswer);
        QFETCH(int, answerLength);
        QFETCH(QString, shown);
        if (cardAnswer.isEmpty())
            addTag(0xE004010012345678ull, 0x5A);
        else
            addCard(std::make_shared<FixedAnswerCard>(cardAnswer));
        edit("txtedit_15_manu_chanred")->setText(redundancy);
        sendFrame("260100");
        const Traffic handshakes = trace();
        QCOMPARE(countOf(handshakes, Handshake::Read, ChipReg::FIFOData), answerLength);
        QCOMPARE(handshakes.back(), read(ChipReg::FIFOLength, 0));
        QCOMPARE(text("txtedit_15_manu_reponse"), shown);
    }

    void manualFramesKeepTheirCoderControl()
    {
        edit("txtedit_15_manu_chanred")->setText("2C");
        sendFrame("260100");
        const Traffic first = trace();
        // An inventory in between leaves its own coding in the chip.
        click("button_15_inventory");
        QCOMPARE(page->bench.chipRegister(ChipReg::CoderControl), quint8(0x2F));
        clearHistory();
        click("button_15_manu_img_send");
        const Traffic second = trace();
        QCOMPARE(first.at(2), written(ChipReg::CoderControl, 0x2E));
        QCOMPARE(second.at(2), written(ChipReg::CoderControl, 0x2E));
        QCOMPARE(second, first);
        QCOMPARE(text("txtedit_15_manu_collpos"), QStringLiteral("2E "));
    }

    // --- boards that misbehave -----------------------------------------------

    void fifoLengthThatNeverDropsEndsTheFrameAfter64Rounds()
    {
        auto tag = addTag(0xE004010012345678ull, 0x5A);
        BoardFaults faults;
        faults.stuckReads[ChipReg::FIFOLength] = 0x05;
        page->bench.setFaults(faults);
        edit("txtedit_15_manu_chanred")->setText("2C");
        sendFrame("260100");

        const Traffic handshakes = trace();
        QCOMPARE(countOf(handshakes, Handshake::Read, ChipReg::FIFOLength), 64);
        QCOMPARE(countOf(handshakes, Handshake::Read, ChipReg::FIFOData), 64);
        QCOMPARE(handshakes.back(), read(ChipReg::FIFOData, 0x00));
        // The tag's ten bytes came first; the empty FIFO gave zeros after.
        QCOMPARE(text("txtedit_15_manu_reponse"), QStringLiteral("005A78563412000104E0"));

        // The window is free again and the next frame, on a sound board,
        // reads the answer to its end.
        page->bench.setFaults(BoardFaults());
        clearHistory();
        click("button_15_manu_img_send");
        QCOMPARE(trace().back(), read(ChipReg::FIFOLength, 0));
        QCOMPARE(countOf(trace(), Handshake::Read, ChipReg::FIFOData), 10);
    }

    void boardGoneDuringAFrameEmptiesTheResponse()
    {
        addTag(0xE004010012345678ull, 0x5A);
        edit("txtedit_15_manu_chanred")->setText("2C");
        sendFrame("260100");
        QVERIFY(!text("txtedit_15_manu_reponse").isEmpty());

        BoardFaults faults;
        faults.vanishAfterAck = true;
        page->bench.setFaults(faults);
        click("button_15_manu_img_send");
        QCOMPARE(text("txtedit_15_manu_reponse"), QString());
        QVERIFY(!page->bench.board().connected());
    }

    // A board gone silent costs the action one time-out, not one for each of
    // its handshakes; the bar shows the red indicator, the message line why,
    // and no result shows as the tags'.
    void silentBoardEndsTheActionAtItsFirstTimeOut_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("flags");
        QTest::newRow("16-slot inventory") << "button_15_inventory" << "06";
        QTest::newRow("one-slot inventory") << "button_15_inventory" << "26";
        QTest::newRow("reload") << "button_15_img_rlcfg" << "26";
        QTest::newRow("read") << "button_15_read" << "26";
        QTest::newRow("write") << "button_15_write" << "26";
    }

    void silentBoardEndsTheActionAtItsFirstTimeOut()
    {
        QFETCH(QString, button);
        QFETCH(QString, flags);
        addTag(0xE0040100AABBCC03ull);
        edit("txtedit_15_flag")->setText(flags);
        edit("txtedit_15_secteur")->setText("05");
        typeInto("txtedit_15_donnees", "DEADBEEF");
        BoardFaults silent;
        silent.unanswered = -1;
        page->bench.setFaults(silent);

        QElapsedTimer clock;
        clock.start();
        click(qPrintable(button));
        QVERIFY2(clock.elapsed() < 2 * ReaderLink::AnswerTimeoutMs, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(page->shown("label_ERREUR"));
        QVERIFY(!page->shown("label_ERREUR_OK"));
        QCOMPARE(page->message(), QStringLiteral("La carte lecteur ne répond plus"));
        if (button.contains("inventory")) {
            // Neither a tag nor the absence of one.
            for (const char *uid : { "txtedit_15_uid", "txtedit_15_uid_2" }) {
                QCOMPARE(text(uid), uidShown(""));
                QVERIFY2(sheet(uid) != Green && sheet(uid) != Red, uid);
            }
        } else if (!button.contains("rlcfg")) {
            QCOMPARE(text("txtedit_15_donnees"), QStringLiteral("DEADBEEF"));
            QCOMPARE(sheet("txtedit_15_donnees"), Red);
        }
    }

    // An adapter pulled out while the page waits for the user: the bar goes
    // to its disconnected state by itself and says why.
    void unpluggedBoardShowsDisconnected()
    {
        page->bench.board().unplug();
        QTRY_VERIFY_WITH_TIMEOUT(!page->tabs()->isEnabled(), 3000);
        QVERIFY(page->shown("label_ERREUR"));
        QVERIFY(!page->shown("label_ERREUR_OK"));
        QVERIFY(page->shown("button_img_port_connect"));
        QVERIFY2(page->message().endsWith(QStringLiteral(" : port disparu (carte lecteur débranchée ?)")),
                 qPrintable(page->message()));
    }
};

QTEST_MAIN(TestIso15693Page)
#include "tst_iso15693page.moc"
