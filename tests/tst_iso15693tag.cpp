// The virtual ISO/IEC 15693 tag on its own, frame by frame: what it hears,
// when it answers in an inventory, its states, its blocks and its errors.

#include "crc16.h"
#include "iso15693tag.h"

#include <QStringList>
#include <QTest>

Q_DECLARE_METATYPE(AirCoding)

namespace {

constexpr quint64 TagUid = 0xE004010012345678ull;  // slot 8 for an empty mask
const char *const TagUidOnAir = "78 56 34 12 00 01 04 e0";

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);  // blanks between the digits are skipped
}

QByteArray withCrc(QByteArray bytes)
{
    const quint16 crc = Crc16::crc3309(reinterpret_cast<const quint8 *>(bytes.constData()), std::size_t(bytes.size()));
    bytes.append(char(crc & 0xFF));
    bytes.append(char(crc >> 8));
    return bytes;
}

AirFrame frame(const QByteArray &bytes, AirCoding coding = AirCoding::OneOutOf256)
{
    AirFrame frame;
    frame.coding = coding;
    frame.bits = Air::plain(withCrc(bytes));
    return frame;
}

AirFrame pulse(AirCoding coding = AirCoding::OneOutOf256)
{
    AirFrame frame;
    frame.coding = coding;
    frame.slotPulse = true;
    return frame;
}

// What came back, as hexadecimal bytes without the CRC, "silence", or a
// description of what is wrong with the answer's framing.
QString text(const std::optional<AirBits> &answer)
{
    if (!answer)
        return QStringLiteral("silence");
    QByteArray bytes;
    if (!Air::toPlainBytes(*answer, &bytes))
        return QStringLiteral("not whole bytes");
    if (bytes.size() < 3 || withCrc(bytes.left(bytes.size() - 2)) != bytes)
        return QStringLiteral("bad CRC: ") + QString::fromLatin1(bytes.toHex(' '));
    return QString::fromLatin1(bytes.left(bytes.size() - 2).toHex(' '));
}

QString send(Iso15693Tag &tag, const char *request)
{
    return text(tag.hear(frame(hex(request))));
}

QByteArray addressed(const char *head, const char *tail = "")
{
    return hex(head) + hex(TagUidOnAir) + hex(tail);
}

QString sendAddressed(Iso15693Tag &tag, const char *head, const char *tail = "")
{
    return text(tag.hear(frame(addressed(head, tail))));
}

// The answers to a request and the 16 pulses after it, by the slot they
// came in; "-" for a silent slot.
QStringList slotAnswers(Iso15693Tag &tag, const QByteArray &request)
{
    QStringList answers;
    const auto note = [&](const std::optional<AirBits> &answer) {
        answers << (answer ? text(answer) : QStringLiteral("-"));
    };
    note(tag.hear(frame(request)));
    for (int i = 0; i < 16; ++i)
        note(tag.hear(pulse()));
    return answers;
}

QStringList onlyIn(int slot, const QString &answer)
{
    QStringList answers;
    for (int i = 0; i < 17; ++i)
        answers << (i == slot ? answer : QStringLiteral("-"));
    return answers;
}

QString inventoryAnswer(quint64 uid, quint8 dsfid)
{
    Iso15693Tag shape(uid);
    return QString::fromLatin1((QByteArray(1, '\0') + char(dsfid) + shape.uidBytes()).toHex(' '));
}

} // namespace

class TestIso15693Tag : public QObject
{
    Q_OBJECT

private slots:
    // --- inventory ---------------------------------------------------------

    void oneSlotInventoryAnswersFlagsDsfidAndUid()
    {
        Iso15693Tag tag(TagUid, 0x5A);
        tag.fieldOn();
        QCOMPARE(tag.uidBytes(), hex(TagUidOnAir));
        QCOMPARE(send(tag, "26 01 00"), QStringLiteral("00 5a 78 56 34 12 00 01 04 e0"));
        QCOMPARE(text(tag.hear(frame(hex("26 01 00"), AirCoding::OneOutOf4))),
                 QStringLiteral("00 5a 78 56 34 12 00 01 04 e0"));
    }

    void sixteenSlotsAnswerInTheSlotOfTheUidLowNibble_data()
    {
        QTest::addColumn<int>("slot");
        for (int slot : { 0, 1, 7, 14, 15 })
            QTest::newRow(qPrintable(QStringLiteral("slot %1").arg(slot))) << slot;
    }

    void sixteenSlotsAnswerInTheSlotOfTheUidLowNibble()
    {
        QFETCH(int, slot);
        const quint64 uid = 0xE0040100ABCDEF00ull | quint64(slot);
        Iso15693Tag tag(uid, 0x11);
        tag.fieldOn();
        // Request, then 16 pulses: one answer, in its own slot only.
        QCOMPARE(slotAnswers(tag, hex("06 01 00")), onlyIn(slot, inventoryAnswer(uid, 0x11)));
    }

    void slotsEndAfterTheSixteenthAndOnAnyOtherRequest()
    {
        Iso15693Tag tag(0xE004010000000003ull);
        tag.fieldOn();
        QCOMPARE(send(tag, "06 01 00"), QStringLiteral("silence"));
        QVERIFY(!tag.hear(pulse()));
        // Another standard's frame is noise: the slots go on.
        AirFrame miller = frame(hex("26"), AirCoding::ModifiedMiller);
        QVERIFY(!tag.hear(miller));
        QVERIFY(!tag.hear(pulse(AirCoding::ModifiedMiller)));
        QVERIFY(!tag.hear(pulse()));
        QVERIFY(tag.hear(pulse()));  // slot 3

        // A request half-way ends them.
        QCOMPARE(send(tag, "06 01 00"), QStringLiteral("silence"));
        QVERIFY(!tag.hear(pulse()));
        QCOMPARE(send(tag, "02 20 00"), QStringLiteral("00 00 01 02 03"));
        for (int i = 0; i < 16; ++i)
            QVERIFY(!tag.hear(pulse()));
    }

    void maskChoosesTheTagsAndTheSlot_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("slot");  // -1: the tag stays out
        // UID ...12 34 56 78 (least significant byte first on the air).
        QTest::newRow("16 slots, 4 bits 8: slot from the next nibble") << hex("06 01 04 08") << 7;
        QTest::newRow("16 slots, 4 bits 7: not this tag") << hex("06 01 04 07") << -1;
        QTest::newRow("16 slots, 8 bits 78") << hex("06 01 08 78") << 6;
        QTest::newRow("16 slots, 12 bits 678") << hex("06 01 0c 78 06") << 5;
        QTest::newRow("16 slots, 12 bits, bits past the mask ignored") << hex("06 01 0c 78 f6") << 5;
        QTest::newRow("16 slots, 12 bits 778") << hex("06 01 0c 78 07") << -1;
        QTest::newRow("16 slots, 60 bits") << hex("06 01 3c 78 56 34 12 00 01 04 00") << 14;
        QTest::newRow("16 slots, 61 bits is too long") << hex("06 01 3d 78 56 34 12 00 01 04 00") << -1;
        QTest::newRow("one slot, whole UID") << hex("26 01 40 78 56 34 12 00 01 04 e0") << 0;
        QTest::newRow("one slot, whole UID but one bit") << hex("26 01 40 78 56 34 12 00 01 04 e1") << -1;
        QTest::newRow("one slot, 65 bits") << hex("26 01 41 78 56 34 12 00 01 04 e0 00") << -1;
        QTest::newRow("mask value missing") << hex("06 01 08") << -1;
        QTest::newRow("mask value too long") << hex("06 01 04 08 00") << -1;
        QTest::newRow("mask length missing") << hex("06 01") << -1;
    }

    void maskChoosesTheTagsAndTheSlot()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, slot);
        Iso15693Tag tag(TagUid, 0x33);
        tag.fieldOn();
        const QStringList expected = slot < 0 ? onlyIn(-1, QString()) : onlyIn(slot, inventoryAnswer(TagUid, 0x33));
        QCOMPARE(slotAnswers(tag, request), expected);
    }

    void afiMatchingFollowsFamilyAndSubFamily_data()
    {
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("own");
        QTest::addColumn<bool>("matches");
        QTest::newRow("00 asks all: 00") << 0x00 << 0x00 << true;
        QTest::newRow("00 asks all: 47") << 0x00 << 0x47 << true;
        QTest::newRow("family 1: 10") << 0x10 << 0x10 << true;
        QTest::newRow("family 1: 12") << 0x10 << 0x12 << true;
        QTest::newRow("family 1: not 22") << 0x10 << 0x22 << false;
        QTest::newRow("family 1: not 00") << 0x10 << 0x00 << false;
        QTest::newRow("12 exactly: 12") << 0x12 << 0x12 << true;
        QTest::newRow("12 exactly: not 13") << 0x12 << 0x13 << false;
        QTest::newRow("12 exactly: not 10") << 0x12 << 0x10 << false;
        QTest::newRow("12 exactly: not 02") << 0x12 << 0x02 << false;
        QTest::newRow("proprietary 02: 02") << 0x02 << 0x02 << true;
        QTest::newRow("proprietary 02: not 12") << 0x02 << 0x12 << false;
        QTest::newRow("proprietary 02: not 00") << 0x02 << 0x00 << false;
    }

    void afiMatchingFollowsFamilyAndSubFamily()
    {
        QFETCH(int, requested);
        QFETCH(int, own);
        QFETCH(bool, matches);
        QCOMPARE(Iso15693Tag::afiMatches(quint8(requested), quint8(own)), matches);

        // On the air, in one slot and in 16; without the AFI flag the AFI
        // byte would be the mask length, so it is not sent.
        Iso15693Tag tag(0xE004010000000000ull, 0x00, quint8(own));
        tag.fieldOn();
        const QByteArray oneSlot = hex("36 01") + char(requested) + hex("00");
        QCOMPARE(text(tag.hear(frame(oneSlot))) != QStringLiteral("silence"), matches);
        const QByteArray sixteen = hex("16 01") + char(requested) + hex("00");
        QCOMPARE(text(tag.hear(frame(sixteen))) != QStringLiteral("silence"), matches);
        QVERIFY(tag.hear(frame(hex("26 01 00"))));  // no AFI asked: every tag
    }

    // --- states ------------------------------------------------------------

    void quietTagHearsOnlyItsOwnUid()
    {
        Iso15693Tag tag(TagUid);
        QCOMPARE(tag.state(), Iso15693Tag::State::PowerOff);
        QCOMPARE(send(tag, "26 01 00"), QStringLiteral("silence"));  // no field, no tag
        tag.fieldOn();
        QCOMPARE(tag.state(), Iso15693Tag::State::Ready);

        QCOMPARE(send(tag, "02 02"), QStringLiteral("silence"));  // Stay Quiet must name the tag
        QCOMPARE(tag.state(), Iso15693Tag::State::Ready);
        QCOMPARE(sendAddressed(tag, "22 02"), QStringLiteral("silence"));  // never answered
        QCOMPARE(tag.state(), Iso15693Tag::State::Quiet);

        QCOMPARE(send(tag, "26 01 00"), QStringLiteral("silence"));
        QCOMPARE(slotAnswers(tag, hex("06 01 00")), onlyIn(-1, QString()));
        QCOMPARE(send(tag, "02 20 01"), QStringLiteral("silence"));
        QCOMPARE(sendAddressed(tag, "22 20", "01"), QStringLiteral("00 04 05 06 07"));

        QCOMPARE(sendAddressed(tag, "22 26"), QStringLiteral("00"));  // Reset to Ready
        QCOMPARE(tag.state(), Iso15693Tag::State::Ready);
        QCOMPARE(send(tag, "02 20 01"), QStringLiteral("00 04 05 06 07"));
    }

    void anotherUidIsNotThisTag()
    {
        Iso15693Tag tag(TagUid);
        tag.fieldOn();
        QCOMPARE(text(tag.hear(frame(hex("22 20 79 56 34 12 00 01 04 e0 01")))), QStringLiteral("silence"));
        QCOMPARE(text(tag.hear(frame(hex("22 20 78 56 34")))), QStringLiteral("silence"));  // no room for a UID
        QCOMPARE(sendAddressed(tag, "32 20", "01"), QStringLiteral("silence"));  // addressed and Select flag
    }

    void selectedTagAnswersTheSelectFlag()
    {
        Iso15693Tag tag(TagUid);
        tag.fieldOn();
        QCOMPARE(send(tag, "12 20 01"), QStringLiteral("silence"));  // not selected yet
        QCOMPARE(send(tag, "02 25"), QStringLiteral("silence"));     // Select must name the tag
        QCOMPARE(sendAddressed(tag, "22 25"), QStringLiteral("00"));
        QCOMPARE(tag.state(), Iso15693Tag::State::Selected);
        QCOMPARE(send(tag, "12 20 01"), QStringLiteral("00 04 05 06 07"));
        QCOMPARE(send(tag, "02 20 01"), QStringLiteral("00 04 05 06 07"));  // non-addressed still heard
        QVERIFY(tag.hear(frame(hex("26 01 00"))));                          // and inventories

        // Selecting another tag sends this one back to READY.
        QCOMPARE(text(tag.hear(frame(hex("22 25 01 02 03 04 05 06 07 e0")))), QStringLiteral("silence"));
        QCOMPARE(tag.state(), Iso15693Tag::State::Ready);
        QCOMPARE(send(tag, "12 20 01"), QStringLiteral("silence"));

        QCOMPARE(sendAddressed(tag, "22 25"), QStringLiteral("00"));
        QCOMPARE(send(tag, "12 26"), QStringLiteral("00"));  // Reset to Ready, for the selected tag
        QCOMPARE(tag.state(), Iso15693Tag::State::Ready);
    }

    void fieldOffLosesEveryStateButNotTheMemory()
    {
        Iso15693Tag tag(TagUid);
        tag.fieldOn();
        QCOMPARE(send(tag, "02 21 03 aa bb cc dd"), QStringLiteral("00"));
        QCOMPARE(send(tag, "02 27 42"), QStringLiteral("00"));
        QCOMPARE(sendAddressed(tag, "22 02"), QStringLiteral("silence"));
        QCOMPARE(tag.state(), Iso15693Tag::State::Quiet);
        QCOMPARE(send(tag, "42 21 04 01 02 03 04"), QStringLiteral("silence"));  // quiet: ignored

        tag.fieldOff();
        QCOMPARE(tag.state(), Iso15693Tag::State::PowerOff);
        QVERIFY(!tag.hear(frame(hex("26 01 00"))));
        tag.fieldOn();
        QCOMPARE(tag.state(), Iso15693Tag::State::Ready);
        QCOMPARE(send(tag, "02 20 03"), QStringLiteral("00 aa bb cc dd"));
        QCOMPARE(tag.afi(), quint8(0x42));
        QCOMPARE(tag.block(4), hex("10 11 12 13"));

        // An answer held for a pulse dies with the field.
        QCOMPARE(send(tag, "42 21 05 01 02 03 04"), QStringLiteral("silence"));
        tag.fieldOff();
        tag.fieldOn();
        QVERIFY(!tag.hear(pulse()));
        QCOMPARE(tag.block(5), hex("01 02 03 04"));
    }

    // --- commands ----------------------------------------------------------

    void commandsAndTheirAnswers_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QString>("answer");
        QTest::newRow("read block 0") << hex("02 20 00") << "00 00 01 02 03";
        QTest::newRow("read block 27, the last") << hex("02 20 1b") << "00 6c 6d 6e 6f";
        QTest::newRow("read block 28: not available") << hex("02 20 1c") << "01 10";
        QTest::newRow("read block 255: not available") << hex("02 20 ff") << "01 10";
        QTest::newRow("read with option: security status") << hex("42 20 05") << "00 00 14 15 16 17";
        QTest::newRow("read without block: format") << hex("02 20") << "01 02";
        QTest::newRow("read with two bytes: format") << hex("02 20 05 06") << "01 02";
        QTest::newRow("write block 3") << hex("02 21 03 aa bb cc dd") << "00";
        QTest::newRow("write block 28: not available") << hex("02 21 1c aa bb cc dd") << "01 10";
        QTest::newRow("write three bytes: format") << hex("02 21 03 aa bb cc") << "01 02";
        QTest::newRow("lock block 3") << hex("02 22 03") << "00";
        QTest::newRow("lock block 28: not available") << hex("02 22 1c") << "01 10";
        QTest::newRow("write AFI") << hex("02 27 12") << "00";
        QTest::newRow("write AFI without value: format") << hex("02 27") << "01 02";
        QTest::newRow("write DSFID") << hex("02 29 9a") << "00";
        QTest::newRow("lock AFI") << hex("02 28") << "00";
        QTest::newRow("lock DSFID") << hex("02 2a") << "00";
        QTest::newRow("reset to ready with a byte: format") << hex("02 26 00") << "01 02";
        QTest::newRow("read multiple: not supported") << hex("02 23 00 01") << "01 01";
        // Every field: DSFID, AFI, 28 blocks of 4 bytes, the IC reference.
        QTest::newRow("system information")
            << hex("02 2b") << QStringLiteral("00 0f %1 00 00 1b 03 01").arg(QLatin1String(TagUidOnAir));
        QTest::newRow("system information with a byte: format") << hex("02 2b 00") << "01 02";
        QTest::newRow("custom command: silence") << hex("02 a5 04") << "silence";
        QTest::newRow("proprietary command: silence") << hex("02 e0") << "silence";
        QTest::newRow("protocol extension: format") << hex("0a 20 05") << "01 02";
        QTest::newRow("inventory extension: silence") << hex("2e 01 00") << "silence";
        QTest::newRow("inventory code without flag") << hex("02 01 00") << "silence";
        QTest::newRow("inventory flag on a read") << hex("26 20 05") << "silence";
    }

    void commandsAndTheirAnswers()
    {
        QFETCH(QByteArray, request);
        QFETCH(QString, answer);
        Iso15693Tag tag(TagUid);
        tag.fieldOn();
        QCOMPARE(text(tag.hear(frame(request))), answer);
    }

    void writesReachTheMemory()
    {
        Iso15693Tag tag(TagUid, 0x00, 0x00);
        tag.fieldOn();
        QCOMPARE(send(tag, "02 21 03 aa bb cc dd"), QStringLiteral("00"));
        QCOMPARE(tag.block(3), hex("aa bb cc dd"));
        QCOMPARE(tag.block(2), hex("08 09 0a 0b"));  // its neighbours untouched
        QCOMPARE(tag.block(4), hex("10 11 12 13"));
        QCOMPARE(send(tag, "02 20 03"), QStringLiteral("00 aa bb cc dd"));

        QCOMPARE(send(tag, "02 27 12"), QStringLiteral("00"));
        QCOMPARE(send(tag, "02 29 9a"), QStringLiteral("00"));
        QCOMPARE(tag.afi(), quint8(0x12));
        QCOMPARE(tag.dsfid(), quint8(0x9A));
        QCOMPARE(send(tag, "26 01 00"), QStringLiteral("00 9a ") + QLatin1String(TagUidOnAir));
        QCOMPARE(send(tag, "02 21 1c 01 02 03 04"), QStringLiteral("01 10"));
        QCOMPARE(tag.block(27), hex("6c 6d 6e 6f"));
    }

    void locksRefuseChanges()
    {
        Iso15693Tag tag(TagUid, 0x01, 0x10);
        tag.fieldOn();
        QCOMPARE(send(tag, "02 22 02"), QStringLiteral("00"));
        QVERIFY(tag.blockLocked(2));
        QCOMPARE(send(tag, "02 22 02"), QStringLiteral("01 11"));
        QCOMPARE(send(tag, "02 21 02 aa bb cc dd"), QStringLiteral("01 12"));
        QCOMPARE(tag.block(2), hex("08 09 0a 0b"));
        QCOMPARE(send(tag, "42 20 02"), QStringLiteral("00 01 08 09 0a 0b"));

        QCOMPARE(send(tag, "02 28"), QStringLiteral("00"));
        QCOMPARE(send(tag, "02 28"), QStringLiteral("01 11"));
        QCOMPARE(send(tag, "02 27 55"), QStringLiteral("01 12"));
        QCOMPARE(tag.afi(), quint8(0x10));

        QCOMPARE(send(tag, "02 2a"), QStringLiteral("00"));
        QCOMPARE(send(tag, "02 2a"), QStringLiteral("01 11"));
        QCOMPARE(send(tag, "02 29 55"), QStringLiteral("01 12"));
        QCOMPARE(tag.dsfid(), quint8(0x01));
    }

    void optionFlagHoldsTheAnswerUntilTheNextPulse()
    {
        Iso15693Tag tag(TagUid);
        tag.fieldOn();
        QCOMPARE(send(tag, "42 21 03 aa bb cc dd"), QStringLiteral("silence"));
        QCOMPARE(tag.block(3), hex("aa bb cc dd"));  // carried out at once
        QCOMPARE(text(tag.hear(pulse())), QStringLiteral("00"));
        QVERIFY(!tag.hear(pulse()));

        QCOMPARE(send(tag, "42 21 1c aa bb cc dd"), QStringLiteral("silence"));
        QCOMPARE(text(tag.hear(pulse())), QStringLiteral("01 10"));

        // A new request instead of the pulse drops the held answer.
        QCOMPARE(send(tag, "42 27 33"), QStringLiteral("silence"));
        QCOMPARE(send(tag, "02 20 00"), QStringLiteral("00 00 01 02 03"));
        QVERIFY(!tag.hear(pulse()));
        QCOMPARE(tag.afi(), quint8(0x33));
    }

    // --- what the tag hears ------------------------------------------------

    void onlyWholeFramesWithTheirCrcInItsCodingAreHeard_data()
    {
        QTest::addColumn<int>("damage");
        QTest::addColumn<AirCoding>("coding");
        QTest::addColumn<bool>("heard");
        QTest::newRow("1 out of 256") << 0 << AirCoding::OneOutOf256 << true;
        QTest::newRow("1 out of 4") << 0 << AirCoding::OneOutOf4 << true;
        QTest::newRow("modified Miller") << 0 << AirCoding::ModifiedMiller << false;
        QTest::newRow("NRZ") << 0 << AirCoding::Nrz << false;
        QTest::newRow("other coding") << 0 << AirCoding::Other << false;
        QTest::newRow("one bit of the CRC flipped") << 1 << AirCoding::OneOutOf256 << false;
        QTest::newRow("one data bit flipped") << 2 << AirCoding::OneOutOf256 << false;
        QTest::newRow("a bit too many") << 3 << AirCoding::OneOutOf256 << false;
        QTest::newRow("a bit short") << 4 << AirCoding::OneOutOf256 << false;
        QTest::newRow("no CRC at all") << 5 << AirCoding::OneOutOf256 << false;
        QTest::newRow("CRC alone") << 6 << AirCoding::OneOutOf256 << false;
    }

    void onlyWholeFramesWithTheirCrcInItsCodingAreHeard()
    {
        QFETCH(int, damage);
        QFETCH(AirCoding, coding);
        QFETCH(bool, heard);
        Iso15693Tag tag(TagUid);
        tag.fieldOn();
        AirFrame request = frame(hex("02 21 03 aa bb cc dd"), coding);
        switch (damage) {
        case 1: request.bits.back() ^= 1; break;
        case 2: request.bits[20] ^= 1; break;
        case 3: request.bits.push_back(0); break;
        case 4: request.bits.pop_back(); break;
        case 5: request.bits = Air::plain(hex("02 21 03 aa bb cc dd")); break;
        case 6: request.bits = Air::plain(withCrc(QByteArray())); break;
        }
        QCOMPARE(text(tag.hear(request)), heard ? QStringLiteral("00") : QStringLiteral("silence"));
        QCOMPARE(tag.block(3) == hex("aa bb cc dd"), heard);
    }

    void answersOnChannelsTheChipDoesNotHearGetThere_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<bool>("heard");
        QTest::newRow("one sub-carrier, high rate") << 0x02 << true;
        QTest::newRow("two sub-carriers, high rate") << 0x03 << false;
        QTest::newRow("one sub-carrier, low rate") << 0x00 << false;
        QTest::newRow("two sub-carriers, low rate") << 0x01 << false;
    }

    void answersOnChannelsTheChipDoesNotHearGetThere()
    {
        QFETCH(int, flags);
        QFETCH(bool, heard);
        Iso15693Tag tag(0xE004010000000002ull);
        tag.fieldOn();
        // The request is carried out whatever channel the answer takes.
        const QByteArray write = QByteArray(1, char(flags)) + hex("21 01 aa bb cc dd");
        QCOMPARE(text(tag.hear(frame(write))), heard ? QStringLiteral("00") : QStringLiteral("silence"));
        QCOMPARE(tag.block(1), hex("aa bb cc dd"));
        const QByteArray oneSlot = QByteArray(1, char(flags | 0x24)) + hex("01 00");
        QCOMPARE(bool(tag.hear(frame(oneSlot))), heard);
        // In 16 slots the slot answer follows the same channel.
        const QByteArray sixteen = QByteArray(1, char(flags | 0x04)) + hex("01 00");
        QVERIFY(!tag.hear(frame(sixteen)));
        QVERIFY(!tag.hear(pulse()));
        QCOMPARE(bool(tag.hear(pulse())), heard);
    }

    void slotPulseOutsideAnInventoryIsIgnored()
    {
        Iso15693Tag tag(TagUid);
        tag.fieldOn();
        for (int i = 0; i < 20; ++i)
            QVERIFY(!tag.hear(pulse()));
        QCOMPARE(tag.state(), Iso15693Tag::State::Ready);
    }

    void blockCountIsKeptInBounds_data()
    {
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("kept");
        QTest::newRow("0") << 0 << 1;
        QTest::newRow("-5") << -5 << 1;
        QTest::newRow("28") << 28 << 28;
        QTest::newRow("256") << 256 << 256;
        QTest::newRow("1000") << 1000 << 256;
    }

    void blockCountIsKeptInBounds()
    {
        QFETCH(int, asked);
        QFETCH(int, kept);
        Iso15693Tag tag(TagUid, 0, 0, asked);
        tag.fieldOn();
        QCOMPARE(tag.blockCount(), kept);
        QCOMPARE(send(tag, "02 20 ff"), kept == 256 ? QStringLiteral("00 fc fd fe ff") : QStringLiteral("01 10"));
        QVERIFY(tag.block(kept).isEmpty());
        QVERIFY(tag.block(-1).isEmpty());
        tag.setBlock(kept, hex("01"));  // outside: ignored
        tag.setBlock(0, hex("01"));
        QCOMPARE(tag.block(0), hex("01 00 00 00"));
    }
};

QTEST_GUILESS_MAIN(TestIso15693Tag)
#include "tst_iso15693tag.moc"
