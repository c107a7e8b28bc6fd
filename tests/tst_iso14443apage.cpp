// The ISO 14443A page, offscreen, on a virtual board through a real
// pseudo-terminal: the step-by-step identification with its texts, masks,
// colours and step indicators; the hidden one-click scan; MIFARE Classic
// keys, blocks, reads and writes; hand-built frames with their exact register
// traffic; and a board whose FIFO never reads empty.

#include "chipregisters.h"
#include "exchangejournal.h"
#include "journalwindow.h"
#include "mifareclassiccard.h"
#include "scriptedcard.h"
#include "typeacard.h"
#include "ultralightcard.h"
#include "windowfixture.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>

using Bytes = QByteArray;
using Traffic = std::vector<Handshake>;
Q_DECLARE_METATYPE(Traffic)

namespace {

const Bytes SingleUid("\x04\xA2\x3B\x15", 4);              // BCC 0x88
const Bytes OtherSingleUid("\x08\x11\x22\x33", 4);         // collides with SingleUid from bit 2 on
const Bytes DoubleUid("\x04\xA2\x3B\x91\xC4\x2E\x80", 7);  // level-1 BCC 0x15
const Bytes DoubleUidSameLevel1("\x04\xA2\x3B\x11\x22\x33\x44", 7);
// Level 1: 88 04 A2 3A, BCC 14; superposed on DoubleUid's 88 04 A2 3B, BCC
// 15, it gives DoubleUid's own level-1 answer, BCC and all.
const Bytes DoubleUidCollidingAtLevel1("\x04\xA2\x3A\x11\x22\x33\x44", 7);
const Bytes DoubleClassicUid("\x04\xC3\xD5\xE7\xA9\xB1\xC2", 7);
const MifareClassicCard::Key DefaultKey = { 0x3C, 0x5E, 0x7A, 0x91, 0xB2, 0xD4 };

const QString Black = QStringLiteral("color:black");
const QString Green = QStringLiteral("color:green");
const QString Red = QStringLiteral("color:red");

constexpr int StepCascadeLevel1 = 0;
constexpr int StepCascadeLevel2 = 1;
constexpr int StepSelect = 2;
constexpr int StepDone = 3;
constexpr int StepNone = 10;

constexpr quint8 FieldOff = 0x58;  // TxControl with both antenna drivers off

// A card for a data row: the kind of card and what makes it differ.
struct CardSetup
{
    enum Kind { Classic, Ultralight, Plain };
    Kind kind = Plain;
    Bytes uid;
    Bytes atqa;  // Plain only
    quint8 sak = 0;  // Plain only
};
using Cards = QList<CardSetup>;

CardSetup classic(const Bytes &uid = SingleUid) { return { CardSetup::Classic, uid, {}, 0 }; }
CardSetup ultralight(const Bytes &uid = DoubleUid) { return { CardSetup::Ultralight, uid, {}, 0 }; }
CardSetup plain(const Bytes &atqa, quint8 sak, const Bytes &uid = SingleUid) { return { CardSetup::Plain, uid, atqa, sak }; }

std::shared_ptr<VirtualCard> make(const CardSetup &setup)
{
    switch (setup.kind) {
    case CardSetup::Classic:
        return std::make_shared<MifareClassicCard>(setup.uid);
    case CardSetup::Ultralight:
        return std::make_shared<UltralightCard>(setup.uid);
    case CardSetup::Plain:
        break;
    }
    return std::make_shared<TypeACard>(setup.uid, setup.atqa, setup.sak);
}

// What one of the result fields was given, and what it shows through its
// mask (fixed characters included, trailing blanks left out).
struct FieldView
{
    QString given;
    QString shown;
};

// One click of an identification walk and the page after it.
struct Click
{
    const char *button;
    FieldView atqa;
    FieldView uid;
    QString uidStyle;
    bool incomplete;
    FieldView sak;
    int step;
};
using Walk = QList<Click>;

Traffic operator+(Traffic first, const Traffic &second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// The type A configuration reload, as the board sees it.
const Traffic LoadConfiguration = {
    written(ChipReg::Control, 0x01),       written(ChipReg::TxControl, 0x58),
    written(ChipReg::FIFOData, 0x10),      written(ChipReg::FIFOData, 0x00),
    written(ChipReg::Command, ChipCmd::LoadConfig), written(ChipReg::Page, 0x00),
    written(ChipReg::TxControl, 0x5B),     written(ChipReg::ClockQControl, 0x00),
    written(ChipReg::CwConductance, 0x3F),
};

// The default key in the chip's key format: each nibble n as ~n:n.
const Bytes DefaultKeyEncoded("\xC3\x3C\xA5\x1E\x87\x5A\x69\xE1\x4B\xD2\x2D\xB4", 12);

int count(const Traffic &traffic, Handshake::Operation operation, quint8 address)
{
    return int(std::count_if(traffic.begin(), traffic.end(), [&](const Handshake &handshake) {
        return handshake.operation == operation && handshake.address == address;
    }));
}

// The bytes written into FIFOData, in order.
Bytes fifoWrites(const Traffic &traffic)
{
    Bytes bytes;
    for (const Handshake &handshake : traffic) {
        if (handshake.operation == Handshake::Write && handshake.address == ChipReg::FIFOData)
            bytes.append(char(handshake.value));
    }
    return bytes;
}

} // namespace

Q_DECLARE_METATYPE(Cards)
Q_DECLARE_METATYPE(Walk)
Q_DECLARE_METATYPE(Handshake)

// A window connected to a virtual board, its ISO 14443A page current.
class TypeAPage
{
public:
    bool open(const BoardTiming &timing = {})
    {
        if (!fixture.start(timing) || !fixture.connectBoard())
            return false;
        fixture.tabs()->setCurrentIndex(1);
        fixture.bench.clearHistory();
        return true;
    }

    void insert(const Cards &cards)
    {
        for (const CardSetup &setup : cards)
            insert(make(setup));
    }

    template<typename Card>
    std::shared_ptr<Card> insert(std::shared_ptr<Card> card)
    {
        onBoard([&](BoardEngine &engine) { engine.chip().field().addCard(card); });
        return card;
    }

    template<typename Work>
    auto onBoard(Work &&work)
    {
        return fixture.bench.onBoard(std::forward<Work>(work));
    }

    void click(const char *name) { fixture.button(name)->click(); }
    QLineEdit *edit(const char *name) const { return fixture.edit(name); }
    // What a field shows: its fixed characters and the digits, without the
    // blanks that fill the positions not given.
    QString shows(const char *name) const { return edit(name)->text().trimmed(); }
    QString style(const char *name) const { return edit(name)->styleSheet(); }

    // What a text given to a field of the same mask shows.
    QString throughMask(const char *name, const QString &given) const
    {
        QLineEdit twin;
        twin.setInputMask(edit(name)->inputMask());
        twin.setText(given);
        return twin.text().trimmed();
    }

    // The step indicator shown: 0 to 3, StepNone when none, -1 when several.
    int step() const
    {
        const char *indicators[] = { "label_14_indic_cl1", "label_14_indic_cl2", "label_14_indic_sel", "img_14_tick" };
        int shownAt = StepNone;
        int shownCount = 0;
        for (int i = 0; i < 4; ++i) {
            if (fixture.shown(indicators[i])) {
                shownAt = i;
                ++shownCount;
            }
        }
        return shownCount > 1 ? -1 : shownAt;
    }

    bool fieldOn() { return (fixture.bench.chipRegister(ChipReg::TxControl) & 0x03) != 0; }
    Traffic trace() { return fixture.bench.trace(); }
    void clearHistory() { fixture.bench.clearHistory(); }

    // REQA, anticollision and SELECT through the buttons: a single-size card
    // ends ACTIVE, as MIFARE needs it.
    void identifySingleSize()
    {
        click("button_14_reqa");
        click("button_14_anticol1");
        click("button_14_select");
    }

    // The same, and cascade level 2 when the first SELECT asks for it.
    void identifyAnySize()
    {
        identifySingleSize();
        if (step() == StepCascadeLevel2) {
            click("button_14_anticol2");
            click("button_14_select");
        }
    }

    // Authentication of a block with a key, through the fields and button.
    void authenticate(const char *block, const QString &key, bool succeeds)
    {
        edit("txtedit_mf_block")->setText(block);
        edit("txtedit_mf_cle")->setText(key);
        QTest::ignoreMessage(QtDebugMsg, succeeds ? "AUTH OK IF 0X08: 8" : "AUTH OK IF 0X08: 0");
        click("button_mf_auth");
    }

    WindowFixture fixture;
};

Q_DECLARE_METATYPE(BoardTiming)

class TestIso14443aPage : public QObject
{
    Q_OBJECT

private:
    void checkField(TypeAPage &page, const char *name, const FieldView &expected)
    {
        QCOMPARE(page.shows(name), expected.shown);
        // The text the slot gave shows the same through the field's mask.
        QCOMPARE(page.throughMask(name, expected.given), expected.shown);
    }

private slots:
    // --- the identification, button by button -----------------------------

    void identificationWalk_data()
    {
        QTest::addColumn<Cards>("cards");
        QTest::addColumn<Walk>("walk");
        const FieldView cleared { "", "0x" };
        QTest::newRow("single-size UID") << Cards { classic() } << Walk {
            { "button_14_reqa", { "004", "0x04" }, cleared, Black, false, cleared, StepCascadeLevel1 },
            { "button_14_anticol1", { "004", "0x04" }, { "004a23b15", "0x04A23B15" }, Green, false, cleared, StepSelect },
            { "button_14_select", { "004", "0x04" }, { "004a23b15", "0x04A23B15" }, Green, false, { "008", "0x08" }, StepDone },
        };
        QTest::newRow("double-size UID") << Cards { ultralight() } << Walk {
            { "button_14_reqa", { "44", "0x44" }, cleared, Black, false, cleared, StepCascadeLevel1 },
            { "button_14_anticol1", { "44", "0x44" }, { "8804a23b", "0x8804A23B" }, Red, true, cleared, StepSelect },
            { "button_14_select", { "44", "0x44" }, { "8804a23b", "0x8804A23B" }, Red, true, { "004", "0x04" },
              StepCascadeLevel2 },
            { "button_14_anticol2", { "44", "0x44" }, { "004a23b91c42e80", "0x04A23B91C42E80" }, Green, false, cleared,
              StepSelect },
            { "button_14_select", { "44", "0x44" }, { "004a23b91c42e80", "0x04A23B91C42E80" }, Green, false,
              { "000", "0x00" }, StepDone },
        };
        QTest::newRow("double-size MIFARE Classic") << Cards { classic(DoubleClassicUid) } << Walk {
            { "button_14_reqa", { "44", "0x44" }, cleared, Black, false, cleared, StepCascadeLevel1 },
            { "button_14_anticol1", { "44", "0x44" }, { "8804c3d5", "0x8804C3D5" }, Red, true, cleared, StepSelect },
            { "button_14_select", { "44", "0x44" }, { "8804c3d5", "0x8804C3D5" }, Red, true, { "004", "0x04" },
              StepCascadeLevel2 },
            { "button_14_anticol2", { "44", "0x44" }, { "004c3d5e7a9b1c2", "0x04C3D5E7A9B1C2" }, Green, false, cleared,
              StepSelect },
            { "button_14_select", { "44", "0x44" }, { "004c3d5e7a9b1c2", "0x04C3D5E7A9B1C2" }, Green, false,
              { "008", "0x08" }, StepDone },
        };
        QTest::newRow("single-size UID not beginning with 0") << Cards { classic(Bytes("\xC1\x02\x03\x04", 4)) } << Walk {
            { "button_14_reqa", { "004", "0x04" }, cleared, Black, false, cleared, StepCascadeLevel1 },
            { "button_14_anticol1", { "004", "0x04" }, { "c1020304", "0xC1020304" }, Green, false, cleared, StepSelect },
            { "button_14_select", { "004", "0x04" }, { "c1020304", "0xC1020304" }, Green, false, { "008", "0x08" }, StepDone },
        };
    }

    void identificationWalk()
    {
        QFETCH(Cards, cards);
        QFETCH(Walk, walk);
        TypeAPage page;
        QVERIFY(page.open());
        page.insert(cards);
        for (const Click &click : walk) {
            page.click(click.button);
            const QByteArray where = QByteArray("after ") + click.button;
            checkField(page, "txtedit_14_ATQA", click.atqa);
            QCOMPARE(page.style("txtedit_14_ATQA"), Green);
            checkField(page, "txtedit_14_uid", click.uid);
            QVERIFY2(page.style("txtedit_14_uid") == click.uidStyle, where.constData());
            QVERIFY2(page.fixture.shown("label_14_uid_incomplet") == click.incomplete, where.constData());
            QVERIFY2(!page.fixture.shown("label_14_uid_erreur"), where.constData());
            checkField(page, "txtedit_14_sak", click.sak);
            QVERIFY2(page.step() == click.step, qPrintable(where + " step " + QByteArray::number(page.step())));
            // No step button is ever disabled to force the order.
            for (const char *button : { "button_14_reqa", "button_14_anticol1", "button_14_anticol2", "button_14_select" })
                QVERIFY2(page.fixture.button(button)->isEnabled(), button);
        }
        // The walk took the card all the way through: it is selected.
        const auto card = std::static_pointer_cast<TypeACard>(
            page.onBoard([](BoardEngine &engine) { return engine.chip().field().cards().front(); }));
        QCOMPARE(page.onBoard([&](BoardEngine &) { return card->state(); }), TypeACard::State::Active);
    }

    void requestJudgesTheAtqa_data()
    {
        QTest::addColumn<Cards>("cards");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("style");
        QTest::addColumn<int>("step");
        QTest::addColumn<bool>("fieldOn");
        QTest::newRow("04 00") << Cards { classic() } << "0x04" << Green << StepCascadeLevel1 << true;
        QTest::newRow("44 00") << Cards { ultralight() } << "0x44" << Green << StepCascadeLevel1 << true;
        // A refused ATQA stays shown: the user sees what the card answered.
        QTest::newRow("02 00") << Cards { plain(Bytes("\x02\x00", 2), 0x08) } << "0x02" << Red << StepNone << true;
        QTest::newRow("04 01") << Cards { plain(Bytes("\x04\x01", 2), 0x08) } << "0x0104" << Red << StepNone << true;
        QTest::newRow("0C 00 (scan only)") << Cards { plain(Bytes("\x0C\x00", 2), 0x08) } << "0x0C" << Red << StepNone
                                           << true;
        // No answer, or two ATQAs superposed (04 00 and 44 00 read 44 00):
        // no card's value, and the field off as after any failed step.
        QTest::newRow("no card") << Cards {} << "0x" << Red << StepNone << false;
        QTest::newRow("two ATQAs colliding") << Cards { classic(), ultralight() } << "0x44" << Red << StepNone << false;
    }

    void requestJudgesTheAtqa()
    {
        QFETCH(Cards, cards);
        QFETCH(QString, shown);
        QFETCH(QString, style);
        QFETCH(int, step);
        QFETCH(bool, fieldOn);
        TypeAPage page;
        QVERIFY(page.open());
        page.insert(cards);
        // What an earlier identification left behind.
        page.edit("txtedit_14_uid")->setText("004a23b15");
        page.edit("txtedit_14_uid")->setStyleSheet(Red);
        page.edit("txtedit_14_sak")->setText("008");
        page.fixture.find("label_14_uid_incomplet")->show();
        page.fixture.window->showIso14443Step(StepDone);

        page.click("button_14_reqa");
        QCOMPARE(page.shows("txtedit_14_ATQA"), shown);
        QCOMPARE(page.style("txtedit_14_ATQA"), style);
        QCOMPARE(page.step(), step);
        QCOMPARE(page.shows("txtedit_14_uid"), QStringLiteral("0x"));
        QCOMPARE(page.style("txtedit_14_uid"), Black);
        QCOMPARE(page.shows("txtedit_14_sak"), QStringLiteral("0x"));
        QVERIFY(!page.fixture.shown("label_14_uid_incomplet"));
        QCOMPARE(page.fieldOn(), fieldOn);
    }

    // A step that no card answered, or that cards answered together, shows
    // no card's value: its result field red, no step to go on with, the
    // field off; a SELECT after it selects nothing. The next REQA starts
    // afresh.
    void failedIdentificationStep_data()
    {
        QTest::addColumn<Cards>("cards");
        QTest::addColumn<QStringList>("clicks");  // the last one fails
        QTest::addColumn<QString>("shown");       // in the UID field
        QTest::newRow("no card at level 1") << Cards {} << QStringList { "button_14_reqa", "button_14_anticol1" } << "0x";
        QTest::newRow("two double-size cards colliding at level 1")
            << Cards { ultralight(), classic(DoubleUidCollidingAtLevel1) }
            << QStringList { "button_14_reqa", "button_14_anticol1" } << "0x8804A23B";
        // Without the level-1 SELECT the card keeps silent at level 2.
        QTest::newRow("no answer at level 2") << Cards { ultralight() }
                                              << QStringList { "button_14_reqa", "button_14_anticol1", "button_14_anticol2" }
                                              << "0x";
    }

    void failedIdentificationStep()
    {
        QFETCH(Cards, cards);
        QFETCH(QStringList, clicks);
        QFETCH(QString, shown);
        TypeAPage page;
        QVERIFY(page.open());
        const QString sakSheetAsBuilt = page.style("txtedit_14_sak");
        page.insert(cards);
        for (const QString &button : clicks)
            page.click(qPrintable(button));
        QCOMPARE(page.shows("txtedit_14_uid"), shown);
        QCOMPARE(page.style("txtedit_14_uid"), Red);
        QCOMPARE(page.step(), StepNone);
        QVERIFY(!page.fixture.shown("label_14_uid_incomplet"));
        QVERIFY(!page.fieldOn());

        page.click("button_14_select");
        QCOMPARE(page.step(), StepNone);
        QCOMPARE(page.shows("txtedit_14_sak"), QStringLiteral("0x"));
        QCOMPARE(page.style("txtedit_14_sak"), Red);

        // The cards answer again (and with none, REQA fails in turn).
        page.click("button_14_reqa");
        QCOMPARE(page.style("txtedit_14_sak"), sakSheetAsBuilt);
        QCOMPARE(page.fieldOn(), !cards.isEmpty());
        QCOMPARE(page.step(), cards.isEmpty() ? StepNone : StepCascadeLevel1);
    }

    void bccErrorAtLevelOneSwitchesTheFieldOff()
    {
        TypeAPage page;
        QVERIFY(page.open());
        page.insert(Cards { classic(), classic(OtherSingleUid) });
        page.click("button_14_reqa");
        QCOMPARE(page.step(), StepCascadeLevel1);
        page.clearHistory();
        page.click("button_14_anticol1");
        // The receiver holds the bits either card sent: 0C B3 3B 37, BCC 88.
        QCOMPARE(page.shows("txtedit_14_uid"), QStringLiteral("0x0CB33B37"));
        QCOMPARE(page.style("txtedit_14_uid"), Red);
        QCOMPARE(page.step(), StepNone);
        QVERIFY(!page.fixture.shown("label_14_uid_incomplet"));
        QCOMPARE(page.trace().back(), written(ChipReg::TxControl, FieldOff));
        QVERIFY(!page.fieldOn());

        // The next REQA switches the field on again, and both cards answer.
        page.click("button_14_reqa");
        QVERIFY(page.fieldOn());
        QCOMPARE(page.shows("txtedit_14_ATQA"), QStringLiteral("0x04"));
        QCOMPARE(page.step(), StepCascadeLevel1);
    }

    void bccErrorAtLevelTwoSwitchesTheFieldOff()
    {
        // Two double-size cards alike at level 1: both are selected there and
        // their level-2 answers collide.
        TypeAPage page;
        QVERIFY(page.open());
        page.insert(Cards { ultralight(), ultralight(DoubleUidSameLevel1) });
        page.click("button_14_reqa");
        page.click("button_14_anticol1");
        QCOMPARE(page.shows("txtedit_14_uid"), QStringLiteral("0x8804A23B"));
        page.click("button_14_select");
        QCOMPARE(page.step(), StepCascadeLevel2);
        page.clearHistory();
        page.click("button_14_anticol2");
        // 91 C4 2E 80 and 11 22 33 44 superposed; the BCCs FB and 44 too.
        QCOMPARE(page.shows("txtedit_14_uid"), QStringLiteral("0x04A23B91E63FC4"));
        QCOMPARE(page.style("txtedit_14_uid"), Red);
        QCOMPARE(page.step(), StepNone);
        QCOMPARE(page.trace().back(), written(ChipReg::TxControl, FieldOff));
        QVERIFY(!page.fieldOn());
    }

    void secondLevelIsNotAskedForWithoutCascadeTag_data()
    {
        QTest::addColumn<bool>("identifiedFirst");
        QTest::newRow("after a single-size UID") << true;
        QTest::newRow("before any anticollision") << false;
    }

    void secondLevelIsNotAskedForWithoutCascadeTag()
    {
        QFETCH(bool, identifiedFirst);
        TypeAPage page;
        QVERIFY(page.open());
        page.insert(Cards { classic() });
        if (identifiedFirst)
            page.identifySingleSize();
        else
            page.click("button_14_reqa");
        page.edit("txtedit_14_uid")->setText("004a23b15");
        page.edit("txtedit_14_sak")->setText("008");
        page.fixture.find("label_14_uid_incomplet")->show();
        const int stepBefore = page.step();
        page.clearHistory();

        page.click("button_14_anticol2");
        QCOMPARE(page.trace(), Traffic());
        QCOMPARE(page.shows("txtedit_14_uid"), QStringLiteral("0x"));
        QCOMPARE(page.style("txtedit_14_uid"), Black);
        QCOMPARE(page.shows("txtedit_14_sak"), QStringLiteral("0x"));
        QVERIFY(!page.fixture.shown("label_14_uid_incomplet"));
        QCOMPARE(page.step(), stepBefore);
    }

    void selectShowsTheSak_data()
    {
        QTest::addColumn<int>("sak");
        QTest::addColumn<QString>("shown");
        QTest::newRow("08") << 0x08 << "0x08";
        QTest::newRow("20") << 0x20 << "0x20";
        QTest::newRow("88") << 0x88 << "0x88";
        QTest::newRow("00") << 0x00 << "0x00";
        QTest::newRow("0A") << 0x0A << "0x0A";
    }

    void selectShowsTheSak()
    {
        QFETCH(int, sak);
        QFETCH(QString, shown);
        TypeAPage page;
        QVERIFY(page.open());
        page.insert(Cards { plain(Bytes("\x04\x00", 2), quint8(sak)) });
        const QString sheetAsBuilt = page.style("txtedit_14_sak");
        page.identifySingleSize();
        QCOMPARE(page.shows("txtedit_14_sak"), shown);
        QCOMPARE(page.style("txtedit_14_sak"), sheetAsBuilt);  // not judged
        QCOMPARE(page.step(), StepDone);
    }

    // REQ A starts an identification afresh: an earlier one's UID is not
    // the one a SELECT straight after it may name.
    void selectBeforeAnyAnticollisionSelectsNothing_data()
    {
        QTest::addColumn<bool>("identifiedBefore");
        QTest::newRow("first identification") << false;
        QTest::newRow("after an earlier identification") << true;
    }

    void selectBeforeAnyAnticollisionSelectsNothing()
    {
        QFETCH(bool, identifiedBefore);
        TypeAPage page;
        QVERIFY(page.open());
        page.insert(Cards { classic() });
        if (identifiedBefore)
            page.identifySingleSize();
        page.click("button_14_reqa");
        page.clearHistory();
        page.click("button_14_select");
        // Seven zero bytes go out, which no card answers: no SAK, no step.
        QCOMPARE(fifoWrites(page.trace()), Bytes(7, '\0'));
        QCOMPARE(page.shows("txtedit_14_sak"), QStringLiteral("0x"));
        QCOMPARE(page.style("txtedit_14_sak"), Red);
        QCOMPARE(page.step(), StepNone);
        QVERIFY(!page.fieldOn());
        QCOMPARE(page.fixture.message(), QStringLiteral("Select sans UID : lancer Anticol CL1 d'abord"));
    }

    // A board that stops answering costs one time-out a click, whatever the
    // click's handshakes, and is shown as such: the red indicator and words.
    void silentBoardCostsOneTimeOutPerClick_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("judged");  // the field the click judges; empty: none
        QTest::newRow("REQ A") << "button_14_reqa" << "txtedit_14_ATQA";
        QTest::newRow("anticollision") << "button_14_anticol1" << "txtedit_14_uid";
        QTest::newRow("authentication") << "button_mf_auth" << "txtedit_mf_cle";
        QTest::newRow("read") << "button_mf_read" << "txtedit_mf_donnees";
        QTest::newRow("reload") << "button_14_img_rlcfg" << "";
    }

    void silentBoardCostsOneTimeOutPerClick()
    {
        QFETCH(QString, button);
        QFETCH(QString, judged);
        TypeAPage page;
        QVERIFY(page.open());
        page.insert(Cards { classic() });
        page.identifySingleSize();
        BoardFaults silent;
        silent.unanswered = -1;
        page.fixture.bench.setFaults(silent);
        page.clearHistory();
        QElapsedTimer clock;
        clock.start();
        page.click(qPrintable(button));
        QVERIFY2(clock.elapsed() < 2 * ReaderLink::AnswerTimeoutMs, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(page.fixture.bench.hostBytes().size(), 1);  // one command byte, unanswered
        QVERIFY(page.fixture.shown("label_ERREUR"));
        QVERIFY(!page.fixture.shown("label_ERREUR_OK"));
        QVERIFY2(page.fixture.message().endsWith(QStringLiteral("la carte lecteur ne répond plus"), Qt::CaseInsensitive),
                 qPrintable(page.fixture.message()));
        // Nothing judged green on what a silent board gave.
        if (!judged.isEmpty())
            QVERIFY(page.style(qPrintable(judged)) != Green);
        if (button == QStringLiteral("button_mf_read"))
            QVERIFY(!page.fixture.button("button_mf_write")->isEnabled());
    }

    // The board stops right after telling how many bytes came: the answer's
    // reads time out, and their zeros are shown as no UID, SAK or block.
    void timedOutReadIsNoValue_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("field");
        QTest::newRow("anticollision: no UID") << "button_14_anticol1" << "txtedit_14_uid";
        QTest::newRow("select: no SAK, no tick") << "button_14_select" << "txtedit_14_sak";
        QTest::newRow("read: no block") << "button_mf_read" << "txtedit_mf_donnees";
    }

    void timedOutReadIsNoValue()
    {
        QFETCH(QString, button);
        QFETCH(QString, field);
        TypeAPage page;
        QVERIFY(page.open());
        auto card = page.insert(std::make_shared<MifareClassicCard>(SingleUid));
        page.onBoard([&](BoardEngine &) { card->setSectorKeys(1, DefaultKey, DefaultKey); });
        page.click("button_14_reqa");
        if (button != QStringLiteral("button_14_anticol1"))
            page.click("button_14_anticol1");
        if (button == QStringLiteral("button_mf_read")) {
            page.click("button_14_select");
            page.authenticate("04", "3C5E7A91B2D4", true);
        }
        page.edit("txtedit_mf_donnees")->setText(QString(32, 'A'));
        BoardFaults stall;
        stall.stallAfterReadOf = ChipReg::FIFOLength;
        stall.stallMs = ReaderLink::AnswerTimeoutMs + 300;
        page.fixture.bench.setFaults(stall);
        page.click(qPrintable(button));

        QCOMPARE(page.style(qPrintable(field)), Red);
        if (button != QStringLiteral("button_mf_read"))
            QCOMPARE(page.step(), StepNone);
        QCOMPARE(page.fixture.message(), QStringLiteral("La carte lecteur ne répond plus"));
        if (field == QStringLiteral("txtedit_mf_donnees")) {
            QCOMPARE(page.edit("txtedit_mf_donnees")->text(), QString(32, 'A'));
            QVERIFY(!page.fixture.button("button_mf_write")->isEnabled());
        } else {
            QCOMPARE(page.shows(qPrintable(field)), QStringLiteral("0x"));
        }

        // Once the board is back, the page is usable again.
        QTest::qWait(500);
        page.click("button_14_reqa");
        QCOMPARE(page.step(), StepCascadeLevel1);
        QVERIFY(page.fixture.shown("label_ERREUR_OK"));
    }

    // --- the one-click scan -----------------------------------------------

    void scanShowsAndJudges_data()
    {
        QTest::addColumn<Cards>("cards");
        QTest::addColumn<QString>("atqa");
        QTest::addColumn<QString>("atqaStyle");
        QTest::addColumn<QString>("uid");
        QTest::addColumn<QString>("uidStyle");
        QTest::newRow("04 00") << Cards { classic() } << "0x0400" << Green << "0x04A23B15" << Green;
        QTest::newRow("0C 00") << Cards { plain(Bytes("\x0C\x00", 2), 0x08) } << "0x0C00" << Green << "0x04A23B15" << Green;
        QTest::newRow("44 00, single-size UID") << Cards { plain(Bytes("\x44\x00", 2), 0x08) } << "0x4400" << Green
                                                << "0x04A23B15" << Green;
        QTest::newRow("02 00") << Cards { plain(Bytes("\x02\x00", 2), 0x08) } << "0x0200" << Red << "0x04A23B15" << Red;
        QTest::newRow("04 01") << Cards { plain(Bytes("\x04\x01", 2), 0x08) } << "0x0401" << Red << "0x04A23B15" << Red;
        QTest::newRow("BCC error") << Cards { classic(), classic(OtherSingleUid) } << "0x0400" << Green << "0x0CB33B37"
                                   << Red;
        // Level 2 is asked for without a level-1 SELECT, so the card keeps
        // silent there: the last two bytes read alike (zero), which is
        // judged an error.
        QTest::newRow("double-size UID") << Cards { ultralight() } << "0x4400" << Green << "0x04A23B00000000" << Red;
        QTest::newRow("no card") << Cards {} << "0x00" << Red << "0x00000000" << Red;
    }

    void scanShowsAndJudges()
    {
        QFETCH(Cards, cards);
        QFETCH(QString, atqa);
        QFETCH(QString, atqaStyle);
        QFETCH(QString, uid);
        QFETCH(QString, uidStyle);
        TypeAPage page;
        QVERIFY(page.open());
        page.insert(cards);
        page.edit("txtedit_14_sak")->setText("020");
        page.fixture.find("label_14_uid_incomplet")->show();
        page.fixture.window->showIso14443Step(StepSelect);

        QVERIFY(QMetaObject::invokeMethod(page.fixture.window.get(), "on_button_14_scantag_clicked"));
        QCOMPARE(page.shows("txtedit_14_ATQA"), atqa);
        QCOMPARE(page.style("txtedit_14_ATQA"), atqaStyle);
        QCOMPARE(page.shows("txtedit_14_uid"), uid);
        QCOMPARE(page.style("txtedit_14_uid"), uidStyle);
        QVERIFY(!page.fixture.shown("label_14_uid_incomplet"));
        // The SAK and the indicator are not the scan's.
        QCOMPARE(page.shows("txtedit_14_sak"), QStringLiteral("0x20"));
        QCOMPARE(page.step(), StepSelect);
        QVERIFY(page.fieldOn());
        QVERIFY(!page.fixture.shown("button_14_scantag"));
    }

    void scanButtonIsBoundThoughHidden()
    {
        TypeAPage page;
        QVERIFY(page.open());
        page.insert(Cards { classic() });
        page.click("button_14_scantag");
        QCOMPARE(page.shows("txtedit_14_ATQA"), QStringLiteral("0x0400"));
        QCOMPARE(page.shows("txtedit_14_uid"), QStringLiteral("0x04A23B15"));
    }

    // --- configuration reload ----------------------------------------------

    void reloadWritesTheTypeASettingsAndClicksMiller()
    {
        TypeAPage page;
        QVERIFY(page.open());
        page.fixture.button("radio_codbit_4")->click();
        page.click("button_14_img_rlcfg");
        QVERIFY(page.fixture.button("radio_codbit_miller")->isChecked());
        page.clearHistory();

        page.onBoard([](BoardEngine &engine) { engine.chip().write(ChipReg::CoderControl, 0x2F); });
        page.click("button_14_img_rlcfg");
        const Traffic expected = LoadConfiguration
            + Traffic { read(ChipReg::TxControl, 0x5B), written(ChipReg::TxControl, 0x5B),
                        written(ChipReg::CoderControl, 0x19),
                        written(ChipReg::CoderControl, 0x19) };  // the Miller button's own slot
        QCOMPARE(page.trace(), expected);

        // From 1 of 4 back to Miller: the button is checked again.
        page.fixture.button("radio_codbit_4")->click();
        QVERIFY(!page.fixture.button("radio_codbit_miller")->isChecked());
        page.click("button_14_img_rlcfg");
        QVERIFY(page.fixture.button("radio_codbit_miller")->isChecked());
        QCOMPARE(page.fixture.bench.chipRegister(ChipReg::CoderControl), quint8(0x19));
    }

    void textButtonsAnimateTheirPictureButton_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<Handshake>("first");
        QTest::newRow("reload") << "button_14_txt_rlcfg" << "button_14_img_rlcfg" << written(ChipReg::Control, 0x01);
        QTest::newRow("send") << "button_manu_txt_send" << "button_manu_img_send" << written(ChipReg::BitFraming, 0x00);
    }

    void textButtonsAnimateTheirPictureButton()
    {
        QFETCH(QString, text);
        QFETCH(QString, picture);
        QFETCH(Handshake, first);
        TypeAPage page;
        QVERIFY(page.open());
        page.edit("txtedit_manu_trame")->setText("26");
        QSignalSpy clicked(page.fixture.button(qPrintable(picture)), &QAbstractButton::clicked);
        page.click(qPrintable(text));
        QCOMPARE(clicked.count(), 0);  // the click comes once the animation is over
        QVERIFY(clicked.wait(2000));
        QTest::qWait(50);
        QCOMPARE(clicked.count(), 1);
        const Traffic trace = page.trace();
        QVERIFY(!trace.empty());
        QCOMPARE(trace.front(), first);
    }

    // --- MIFARE Classic ----------------------------------------------------

    void keyFieldEnablesAuthentication_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("12 digits") << "A0A1A2A3A4A5" << true;
        QTest::newRow("11 digits") << "A0A1A2A3A4A" << false;
        QTest::newRow("1 digit") << "F" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("13 digits cut to 12") << "A0A1A2A3A4A5F" << true;
    }

    void keyFieldEnablesAuthentication()
    {
        QFETCH(QString, key);
        QFETCH(bool, enabled);
        TypeAPage page;
        QVERIFY(page.open());
        QCOMPARE(page.edit("txtedit_mf_cle")->text(), QStringLiteral("3C5E7A91B2D4"));
        QVERIFY(page.fixture.button("button_mf_auth")->isEnabled());
        page.edit("txtedit_mf_cle")->setText(key);
        QCOMPARE(page.fixture.button("button_mf_auth")->isEnabled(), enabled);
        page.edit("txtedit_mf_cle")->setText("3C5E7A91B2D4");
        QVERIFY(page.fixture.button("button_mf_auth")->isEnabled());
    }

    void dataFieldEnablesWriting_data()
    {
        QTest::addColumn<QString>("data");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("32 digits") << "00112233445566778899AABBCCDDEEFF" << true;
        QTest::newRow("33 digits cut to 32") << "00112233445566778899AABBCCDDEEFF0" << true;
        QTest::newRow("lower case") << "00112233445566778899aabbccddeeff" << true;
        QTest::newRow("31 digits") << "00112233445566778899AABBCCDDEEF" << false;
        QTest::newRow("empty") << "" << false;
    }

    void dataFieldEnablesWriting()
    {
        QFETCH(QString, data);
        QFETCH(bool, enabled);
        TypeAPage page;
        QVERIFY(page.open());
        // 32 zeros as built, yet disabled until the field first changes.
        QCOMPARE(page.edit("txtedit_mf_donnees")->text(), QString(32, '0'));
        QVERIFY(!page.fixture.button("button_mf_write")->isEnabled());
        page.edit("txtedit_mf_donnees")->setText(data);
        QCOMPARE(page.fixture.button("button_mf_write")->isEnabled(), enabled);
    }

    void authenticateWithTheKeyField_data()
    {
        QTest::addColumn<QByteArray>("uid");
        QTest::addColumn<QByteArray>("carried");  // the UID bytes in the authentication frame
        QTest::newRow("4-byte UID") << SingleUid << SingleUid;
        // A 7-byte UID's cipher takes the bytes of cascade level 2.
        QTest::newRow("7-byte UID") << DoubleClassicUid << DoubleClassicUid.mid(3);
    }

    void authenticateWithTheKeyField()
    {
        QFETCH(QByteArray, uid);
        QFETCH(QByteArray, carried);
        TypeAPage page;
        QVERIFY(page.open());
        auto card = page.insert(std::make_shared<MifareClassicCard>(uid));
        const Bytes data("sector 1 opened.");
        page.onBoard([&](BoardEngine &) {
            card->setSectorKeys(1, DefaultKey, DefaultKey);
            card->setBlock(4, data);
        });
        page.identifyAnySize();
        QCOMPARE(page.step(), StepDone);
        page.edit("txtedit_mf_block")->setText("04");
        page.clearHistory();

        QTest::ignoreMessage(QtDebugMsg, "AUTH OK IF 0X08: 8");
        page.click("button_mf_auth");
        // The default key, encoded, then the key A authentication of block 4
        // for the UID the identification left.
        QCOMPARE(fifoWrites(page.trace()), DefaultKeyEncoded + Bytes("\x60\x04", 2) + carried);
        QVERIFY(page.onBoard([](BoardEngine &engine) { return engine.chip().crypto1On(); }));
        QCOMPARE(page.onBoard([&](BoardEngine &) { return card->authenticatedSector(); }), 1);
        QCOMPARE(page.fixture.bench.chipRegister(ChipReg::ChannelRedundancy), quint8(0x03));
        QCOMPARE(page.style("txtedit_mf_cle"), Green);

        page.click("button_mf_read");
        QCOMPARE(page.edit("txtedit_mf_donnees")->text(), QString::fromLatin1(data.toHex().toUpper()));
        QCOMPARE(page.style("txtedit_mf_donnees"), Green);
    }

    void authenticateWithAWrongKeyFails()
    {
        TypeAPage page;
        QVERIFY(page.open());
        auto card = page.insert(std::make_shared<MifareClassicCard>(SingleUid));
        page.onBoard([&](BoardEngine &) { card->setSectorKeys(1, DefaultKey, DefaultKey); });
        page.identifySingleSize();
        page.edit("txtedit_mf_block")->setText("04");
        page.edit("txtedit_mf_cle")->setText("3C5E7A91B2D5");
        QTest::ignoreMessage(QtDebugMsg, "AUTH OK IF 0X08: 0");
        page.click("button_mf_auth");
        QVERIFY(!page.onBoard([](BoardEngine &engine) { return engine.chip().crypto1On(); }));
        QCOMPARE(page.style("txtedit_mf_cle"), Red);

        // The right key again turns the field green.
        page.identifySingleSize();
        page.authenticate("04", "3C5E7A91B2D4", true);
        QCOMPARE(page.style("txtedit_mf_cle"), Green);
    }

    void readBlockIntoTheDataField()
    {
        TypeAPage page;
        QVERIFY(page.open());
        auto card = page.insert(std::make_shared<MifareClassicCard>(SingleUid));
        const Bytes data("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\xAB\xBC\xCD\xDE\xEF", 16);
        page.onBoard([&](BoardEngine &) {
            card->setSectorKeys(1, DefaultKey, DefaultKey);
            card->setBlock(6, data);
        });
        page.identifySingleSize();
        page.edit("txtedit_mf_block")->setText("06");
        QTest::ignoreMessage(QtDebugMsg, "AUTH OK IF 0X08: 8");
        page.click("button_mf_auth");
        QVERIFY(!page.fixture.button("button_mf_write")->isEnabled());

        page.click("button_mf_read");
        QCOMPARE(page.edit("txtedit_mf_donnees")->text(), QStringLiteral("000102030405060708090AABBCCDDEEF"));
        QCOMPARE(page.style("txtedit_mf_donnees"), Green);
        // Shown from its first digit, not scrolled to its last.
        QCOMPARE(page.edit("txtedit_mf_donnees")->cursorPosition(), 0);
        // The read changed the field: writing is possible now.
        QVERIFY(page.fixture.button("button_mf_write")->isEnabled());
    }

    // A read the card refuses (a NAK), or that nothing answers, is no block:
    // the data field keeps its text, turns red, and offers nothing to write.
    void failedReadLeavesTheDataField_data()
    {
        QTest::addColumn<bool>("cardInField");
        QTest::addColumn<QString>("key");        // empty: no authentication
        QTest::addColumn<QString>("readBlock");
        QTest::addColumn<QString>("typed");      // in the data field first; empty: as built
        const QString key = QStringLiteral("3C5E7A91B2D4");
        QTest::newRow("wrong key: silence") << true << "3C5E7A91B2D5" << "04" << "";
        QTest::newRow("no authentication: NAK") << true << "" << "04" << "";
        QTest::newRow("block of another sector: NAK") << true << key << "08" << "";
        QTest::newRow("no card: empty FIFO") << false << key << "04" << "";
        QTest::newRow("data typed before") << true << "3C5E7A91B2D5" << "04" << "00112233445566778899AABBCCDDEEFF";
    }

    void failedReadLeavesTheDataField()
    {
        QFETCH(bool, cardInField);
        QFETCH(QString, key);
        QFETCH(QString, readBlock);
        QFETCH(QString, typed);
        TypeAPage page;
        QVERIFY(page.open());
        if (cardInField) {
            auto card = page.insert(std::make_shared<MifareClassicCard>(SingleUid));
            page.onBoard([&](BoardEngine &) {
                card->setSectorKeys(1, DefaultKey, DefaultKey);
                card->setBlock(4, Bytes("not to be shown."));
            });
        }
        page.identifySingleSize();
        if (!typed.isEmpty())
            page.edit("txtedit_mf_donnees")->setText(typed);
        const QString before = page.edit("txtedit_mf_donnees")->text();
        if (!key.isEmpty()) {
            const bool opens = cardInField && key == QStringLiteral("3C5E7A91B2D4");
            page.authenticate("04", key, opens);
        }

        page.edit("txtedit_mf_block")->setText(readBlock);
        page.click("button_mf_read");
        QCOMPARE(page.edit("txtedit_mf_donnees")->text(), before);
        QCOMPARE(page.style("txtedit_mf_donnees"), Red);
        QVERIFY(!page.fixture.button("button_mf_write")->isEnabled());
    }

    // A whole block shows inside the data field's rectangle, its widest
    // digits included, as a read shows it: no digit scrolled out of sight.
    void wholeBlockShowsInsideTheField_data()
    {
        QTest::addColumn<QString>("block");
        QTest::newRow("widest digits") << QString(32, 'D');
        QTest::newRow("zeros") << QString(32, '0');
        QTest::newRow("mixed") << QStringLiteral("DEADBEEF0123456789ABCDEF00FF10E1");
    }

    void wholeBlockShowsInsideTheField()
    {
        QFETCH(QString, block);
        TypeAPage page;
        QVERIFY(page.open());
        QLineEdit *field = page.edit("txtedit_mf_donnees");
        field->setText(block);
        field->setStyleSheet(Green);  // as a read leaves it
        // Seen from the last digit, then from the first: without scrolling
        // in between, the two cursors lie the whole text apart.
        field->setCursorPosition(32);
        const QRect last = field->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        field->setCursorPosition(0);
        const QRect first = field->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        QCOMPARE(last.x() - first.x(), field->fontMetrics().horizontalAdvance(block));
        // Within the rectangle less the rounded border (1.5 px), the padding
        // (1 px) and the field's own margin (2 px), on either side.
        QVERIFY2(last.right() - first.x() <= field->width() - 10,
                 qPrintable(QStringLiteral("digits from %1 to %2 in %3").arg(first.x()).arg(last.right()).arg(field->width())));
    }

    void writeFromTheDataFieldAndReadBack_data()
    {
        QTest::addColumn<BoardTiming>("timing");
        QTest::newRow("virtual bench") << BoardTiming {};
        // The line at 115200 baud and each frame its air time.
        QTest::newRow("at the board's pace") << BoardTiming { true, 0 };
    }

    void writeFromTheDataFieldAndReadBack()
    {
        QFETCH(BoardTiming, timing);
        TypeAPage page;
        QVERIFY(page.open(timing));
        auto card = page.insert(std::make_shared<MifareClassicCard>(SingleUid));
        page.onBoard([&](BoardEngine &) { card->setSectorKeys(1, DefaultKey, DefaultKey); });
        page.identifySingleSize();
        page.edit("txtedit_mf_block")->setText("05");
        QTest::ignoreMessage(QtDebugMsg, "AUTH OK IF 0X08: 8");
        page.click("button_mf_auth");

        const QString text = QStringLiteral("DEADBEEF0123456789ABCDEF00FF10E1");
        page.edit("txtedit_mf_donnees")->setText(text);
        page.clearHistory();
        page.click("button_mf_write");
        QCOMPARE(page.onBoard([&](BoardEngine &) { return card->block(5); }), Bytes::fromHex(text.toLatin1()));
        QCOMPARE(fifoWrites(page.trace()), Bytes("\xA0\x05", 2) + Bytes::fromHex(text.toLatin1()));
        QCOMPARE(page.edit("txtedit_mf_donnees")->text(), text);  // the data stays as typed
        QCOMPARE(page.style("txtedit_mf_donnees"), Green);

        page.edit("txtedit_mf_donnees")->setText(QString(32, '0'));
        page.click("button_mf_read");
        QCOMPARE(page.edit("txtedit_mf_donnees")->text(), text);
    }

    // The write's outcome shows on the data field: green once the card
    // acknowledged both phases, red otherwise. No data follows a command the
    // card did not acknowledge, and a trailer whose access bits would lock
    // its sector is not sent at all.
    void writeShowsItsOutcome_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("block");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("style");
        QTest::addColumn<QByteArray>("sent");  // bytes into the FIFO
        QTest::addColumn<bool>("stored");
        const QString data = QStringLiteral("DEADBEEF0123456789ABCDEF00FF10E1");
        const Bytes dataBytes = Bytes::fromHex(data.toLatin1());
        const QString key = QStringLiteral("3C5E7A91B2D4");
        QTest::newRow("written") << key << "05" << data << Green << Bytes("\xA0\x05", 2) + dataBytes << true;
        QTest::newRow("command refused: NAK, no data")
            << "FFFFFFFFFFFF" << "00" << data << Red << Bytes("\xA0\x00", 2) << false;
        QTest::newRow("command unanswered: no data") << "3C5E7A91B2D5" << "05" << data << Red << Bytes("\xA0\x05", 2)
                                                      << false;
        const QString consistent = QStringLiteral("112233445566FF078069665544332211");
        QTest::newRow("trailer, access bits consistent")
            << key << "07" << consistent << Green << Bytes("\xA0\x07", 2) + Bytes::fromHex(consistent.toLatin1())
            << true;
        // C1 of block 0 set without its complement cleared.
        QTest::newRow("trailer, access bits inconsistent: nothing sent")
            << key << "07" << QStringLiteral("112233445566FF178069665544332211") << Red << Bytes() << false;
    }

    void writeShowsItsOutcome()
    {
        QFETCH(QString, key);
        QFETCH(QString, block);
        QFETCH(QString, data);
        QFETCH(QString, style);
        QFETCH(QByteArray, sent);
        QFETCH(bool, stored);
        TypeAPage page;
        QVERIFY(page.open());
        auto card = page.insert(std::make_shared<MifareClassicCard>(SingleUid));
        page.onBoard([&](BoardEngine &) { card->setSectorKeys(1, DefaultKey, DefaultKey); });
        const int number = block.toInt();
        const Bytes before = page.onBoard([&](BoardEngine &) { return card->block(number); });
        page.identifySingleSize();
        page.authenticate(qPrintable(block), key, key != QStringLiteral("3C5E7A91B2D5"));
        page.edit("txtedit_mf_donnees")->setText(data);
        page.clearHistory();

        page.click("button_mf_write");
        QCOMPARE(page.style("txtedit_mf_donnees"), style);
        QCOMPARE(page.edit("txtedit_mf_donnees")->text(), data);
        QCOMPARE(fifoWrites(page.trace()), sent);
        if (sent.isEmpty())
            QCOMPARE(page.trace(), Traffic());  // kept back whole, framing and all
        QCOMPARE(page.onBoard([&](BoardEngine &) { return card->block(number); }),
                 stored ? Bytes::fromHex(data.toLatin1()) : before);
    }

    // A trailer reads with key A as zeros (a card never gives it back):
    // written back as read, the zeros would become the sector's key. The
    // window writes a trailer only once both its keys were typed.
    void trailerIsWrittenOnlyWithTypedKeys()
    {
        TypeAPage page;
        QVERIFY(page.open());
        auto card = page.insert(std::make_shared<MifareClassicCard>(SingleUid));
        page.onBoard([&](BoardEngine &) { card->setSectorKeys(1, DefaultKey, DefaultKey); });
        page.identifySingleSize();
        page.authenticate("07", "3C5E7A91B2D4", true);
        page.click("button_mf_read");
        QLineEdit *data = page.edit("txtedit_mf_donnees");
        QCOMPARE(data->text().left(12), QString(12, '0'));
        const Bytes trailer = page.onBoard([&](BoardEngine &) { return card->block(7); });

        const auto typeKey = [&](int at) {
            data->setCursorPosition(at);
            QTest::keyClicks(data, QStringLiteral("3C5E7A91B2D4"));
        };
        for (int typed : { -1, 0 }) {  // nothing typed, then key A alone
            if (typed >= 0)
                typeKey(typed);
            page.clearHistory();
            page.click("button_mf_write");
            QCOMPARE(page.trace(), Traffic());
            QCOMPARE(page.style("txtedit_mf_donnees"), Red);
            QVERIFY(page.fixture.message().contains(QStringLiteral("tapez les clés A et B")));
        }
        QCOMPARE(page.onBoard([&](BoardEngine &) { return card->block(7); }), trailer);

        typeKey(20);
        page.click("button_mf_write");
        QCOMPARE(page.style("txtedit_mf_donnees"), Green);
        QCOMPARE(page.onBoard([&](BoardEngine &) { return card->block(7); }), trailer);  // the same keys, typed
        page.identifySingleSize();
        page.authenticate("04", "3C5E7A91B2D4", true);
    }

    // A paste goes in as its digits, the prefixes and separators dropped,
    // or is refused whole: never shifted, cut or stopped at a blank.
    void pastesAreNormalisedOrRefused_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("text");     // the field's text after; empty: unchanged
        QTest::addColumn<QString>("message");  // empty when taken
        const QString block = QStringLiteral("00112233445566778899AABBCCDDEEFF");
        QTest::newRow("0x prefix") << "txtedit_mf_donnees" << "0x" + block << block << "";
        QTest::newRow("spaced bytes") << "txtedit_mf_donnees" << "00 11 22 33 44 55 66 77 88 99 aa bb cc dd ee ff"
                                      << block << "";
        QTest::newRow("42 digits") << "txtedit_mf_donnees" << block + "0123456789" << ""
                                   << "Collage refusé : 42 chiffres pour un champ de 32";
        QTest::newRow("not hexadecimal") << "txtedit_mf_donnees" << "bonjour" << ""
                                         << "Collage refusé : «\u00A0bonjour\u00A0» n'est pas un nombre hexadécimal";
        QTest::newRow("key with colons") << "txtedit_mf_cle" << "3c:5e:7a:91:b2:d5" << "3C5E7A91B2D5" << "";
        QTest::newRow("frame, spaced") << "txtedit_manu_trame" << "93 20" << "9320" << "";
    }

    void pastesAreNormalisedOrRefused()
    {
        QFETCH(QString, field);
        QFETCH(QString, pasted);
        QFETCH(QString, text);
        QFETCH(QString, message);
        TypeAPage page;
        QVERIFY(page.open());
        QLineEdit *edit = page.edit(qPrintable(field));
        const QString before = edit->text();
        QGuiApplication::clipboard()->setText(pasted);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit->text().trimmed(), text.isEmpty() ? before.trimmed() : text);
        if (message.isEmpty())
            QVERIFY(!page.fixture.message().startsWith(QStringLiteral("Collage")));
        else
            QCOMPARE(page.fixture.message(), message);
    }

    // A colour judges the content it was given for, on the card it was
    // given for: a new REQ A or an edit clears it.
    void coloursGoWithTheirContent()
    {
        TypeAPage page;
        QVERIFY(page.open());
        auto card = page.insert(std::make_shared<MifareClassicCard>(SingleUid));
        page.onBoard([&](BoardEngine &) { card->setSectorKeys(1, DefaultKey, DefaultKey); });
        page.identifySingleSize();
        page.authenticate("04", "3C5E7A91B2D4", true);
        page.click("button_mf_read");
        QCOMPARE(page.style("txtedit_mf_cle"), Green);
        QCOMPARE(page.style("txtedit_mf_donnees"), Green);

        page.edit("txtedit_mf_donnees")->setCursorPosition(3);
        QTest::keyClicks(page.edit("txtedit_mf_donnees"), "7");
        QCOMPARE(page.style("txtedit_mf_donnees"), Black);
        page.click("button_14_reqa");
        QCOMPARE(page.style("txtedit_mf_cle"), Black);

        page.identifySingleSize();
        page.authenticate("04", "3C5E7A91B2D4", true);
        QCOMPARE(page.style("txtedit_mf_cle"), Green);
        page.edit("txtedit_mf_cle")->setText("A0A1A2A3A4A5");
        QCOMPARE(page.style("txtedit_mf_cle"), Black);
    }

    // A read refused, then the same block read: the text did not change,
    // and Écriture is offered again all the same.
    void goodReadAfterAFailedOneEnablesWriting()
    {
        TypeAPage page;
        QVERIFY(page.open());
        auto card = page.insert(std::make_shared<MifareClassicCard>(SingleUid));
        const Bytes content("same text twice.");
        page.onBoard([&](BoardEngine &) {
            card->setSectorKeys(1, DefaultKey, DefaultKey);
            card->setBlock(4, content);
        });
        page.edit("txtedit_mf_donnees")->setText(QString::fromLatin1(content.toHex().toUpper()));
        page.identifySingleSize();
        page.edit("txtedit_mf_block")->setText("04");
        page.click("button_mf_read");  // not authenticated: refused
        QVERIFY(!page.fixture.button("button_mf_write")->isEnabled());
        QVERIFY(page.fixture.message().startsWith(QStringLiteral("Lecture refusée par la carte : NAK")));

        page.identifySingleSize();  // the NAK sent the card back to its idle state
        page.authenticate("04", "3C5E7A91B2D4", true);
        page.click("button_mf_read");
        QCOMPARE(page.style("txtedit_mf_donnees"), Green);
        QVERIFY(page.fixture.button("button_mf_write")->isEnabled());
    }

    void writeRefusedAtTheDataPhaseShowsRed()
    {
        // An Ultralight acknowledges the first phase of a compatibility
        // write, then refuses the data meant for one of its UID pages.
        TypeAPage page;
        QVERIFY(page.open());
        auto card = page.insert(std::make_shared<UltralightCard>(DoubleUid));
        page.identifyAnySize();
        QCOMPARE(page.step(), StepDone);
        page.edit("txtedit_mf_block")->setText("01");
        page.edit("txtedit_mf_donnees")->setText(QString(32, 'F'));
        page.clearHistory();
        page.click("button_mf_write");
        QCOMPARE(fifoWrites(page.trace()), Bytes("\xA0\x01", 2) + Bytes(16, '\xFF'));
        QCOMPARE(page.style("txtedit_mf_donnees"), Red);
        QCOMPARE(page.onBoard([&](BoardEngine &) { return card->page(1); }), DoubleUid.mid(3));
    }

    void blockNumberIsDecimal_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("block");
        QTest::newRow("7") << "7" << 7;
        QTest::newRow("07") << "07" << 7;
        QTest::newRow("12 is twelve") << "12" << 12;
        QTest::newRow("63") << "63" << 63;
        QTest::newRow("00") << "00" << 0;
        // Emptied, the field names no block: not block 0, the manufacturer's.
        QTest::newRow("empty: refused") << "" << -1;
    }

    void blockNumberIsDecimal()
    {
        QFETCH(QString, field);
        QFETCH(int, block);
        TypeAPage page;
        QVERIFY(page.open());
        page.insert(Cards { classic() });
        page.identifySingleSize();
        page.edit("txtedit_mf_block")->setText(field);
        if (block < 0) {
            page.edit("txtedit_mf_donnees")->setText("FFFFFFFFFFFFFF078069FFFFFFFFFFFF");
            page.clearHistory();
            for (const char *button : { "button_mf_auth", "button_mf_read", "button_mf_write" }) {
                page.click(button);
                QCOMPARE(page.fixture.message(),
                         QStringLiteral("Bloc : champ vide, aucun bloc n'est choisi"));
            }
            QCOMPARE(page.trace(), Traffic());
            return;
        }

        page.clearHistory();
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^AUTH OK IF 0X08: "));
        page.click("button_mf_auth");
        QCOMPARE(fifoWrites(page.trace()).mid(12, 2), Bytes("\x60") + char(block));

        page.clearHistory();
        page.click("button_mf_read");
        QCOMPARE(fifoWrites(page.trace()), Bytes("\x30") + char(block));

        // Access bits that hold together, so that a trailer (7, 63) goes out
        // like any other block.
        page.edit("txtedit_mf_donnees")->setText("FFFFFFFFFFFFFF078069FFFFFFFFFFFF");
        page.clearHistory();
        page.click("button_mf_write");
        QCOMPARE(fifoWrites(page.trace()).left(2), Bytes("\xA0") + char(block));
    }

    // --- hand-built frames -------------------------------------------------

    void frameFieldEnablesSending_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("empty") << "" << false;
        QTest::newRow("1 digit") << "2" << false;
        QTest::newRow("3 digits") << "123" << false;
        QTest::newRow("4 digits") << "1234" << true;
        QTest::newRow("34 digits") << QString(34, 'A') << true;
        QTest::newRow("35 digits") << QString(35, 'A') << false;
        QTest::newRow("36 digits keep 35") << QString(36, 'A') << false;
    }

    void frameFieldEnablesSending()
    {
        QFETCH(QString, frame);
        QFETCH(bool, enabled);
        TypeAPage page;
        QVERIFY(page.open());
        QVERIFY(!page.fixture.find("frame_manu_send")->isEnabled());
        // From the opposite state, so that the text does change.
        page.edit("txtedit_manu_trame")->setText(enabled ? "1" : "12");
        QCOMPARE(page.fixture.find("frame_manu_send")->isEnabled(), !enabled);
        page.edit("txtedit_manu_trame")->setText(frame);
        QVERIFY(page.edit("txtedit_manu_trame")->text().size() <= 36);  // 35 digits and the fixed blank at most
        QCOMPARE(page.fixture.find("frame_manu_send")->isEnabled(), enabled);
        QCOMPARE(page.fixture.button("button_manu_img_send")->isEnabled(), enabled);
        QCOMPARE(page.fixture.button("button_manu_txt_send")->isEnabled(), enabled);
    }

    void sendWritesTheFieldsThenTheFrame_data()
    {
        QTest::addColumn<QString>("bitFraming");
        QTest::addColumn<QString>("redundancy");
        QTest::addColumn<QString>("frame");
        QTest::addColumn<int>("bitFramingValue");
        QTest::addColumn<int>("redundancyValue");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("4 digits, two bytes") << "00" << "0F" << "A0b1" << 0x00 << 0x0F << Bytes("\xA0\xB1", 2);
        QTest::newRow("34 digits, 17 bytes") << "00" << "03" << "000102030405060708090A0B0C0D0E0F10" << 0x00 << 0x03
                                             << Bytes::fromHex("000102030405060708090A0B0C0D0E0F10");
        QTest::newRow("framing and redundancy as typed") << "7" << "3F" << "5201" << 0x07 << 0x3F << Bytes("\x52\x01", 2);
        QTest::newRow("emptied framing fields give 0") << "" << "" << "9320" << 0x00 << 0x00 << Bytes("\x93\x20", 2);
        // Digits that read otherwise in decimal: the fields are hexadecimal.
        QTest::newRow("framing 17, redundancy 2F") << "17" << "2F" << "5201" << 0x17 << 0x2F << Bytes("\x52\x01", 2);
    }

    void sendWritesTheFieldsThenTheFrame()
    {
        QFETCH(QString, bitFraming);
        QFETCH(QString, redundancy);
        QFETCH(QString, frame);
        QFETCH(int, bitFramingValue);
        QFETCH(int, redundancyValue);
        QFETCH(QByteArray, bytes);
        TypeAPage page;
        QVERIFY(page.open());
        page.edit("txtedit_manu_bitframing")->setText(bitFraming);
        page.edit("txtedit_manu_chanred")->setText(redundancy);
        page.edit("txtedit_manu_trame")->setText(frame);
        page.clearHistory();
        page.click("button_manu_img_send");

        // No card: the chip done with the frame, CollPos, the FIFO read
        // empty at once, CollPos again.
        Traffic expected = { written(ChipReg::BitFraming, quint8(bitFramingValue)),
                             written(ChipReg::ChannelRedundancy, quint8(redundancyValue)),
                             written(ChipReg::Control, ControlBits::FlushFIFO) };
        for (char byte : bytes)
            expected.push_back(written(ChipReg::FIFOData, quint8(byte)));
        expected.push_back(written(ChipReg::Command, ChipCmd::Transceive));
        expected.push_back(read(ChipReg::Command, ChipCmd::Idle));
        expected.push_back(read(ChipReg::CollPos, 0x00));
        expected.push_back(read(ChipReg::FIFOLength, 0x00));
        expected.push_back(read(ChipReg::CollPos, 0x00));
        QCOMPARE(page.trace(), expected);
        QCOMPARE(page.shows("txtedit_manu_reponse"), QString());
        QCOMPARE(page.shows("txtedit_manu_collpos"), QStringLiteral("0"));
    }

    void requestSentByHand()
    {
        TypeAPage page;
        QVERIFY(page.open());
        auto card = page.insert(std::make_shared<MifareClassicCard>(SingleUid));
        QCOMPARE(page.edit("txtedit_manu_bitframing")->text(), QStringLiteral("00 "));
        QCOMPARE(page.edit("txtedit_manu_chanred")->text(), QStringLiteral("03 "));
        page.edit("txtedit_manu_bitframing")->setText("07");
        page.edit("txtedit_manu_trame")->setText("26");
        page.click("button_manu_img_send");

        const Traffic expected = {
            written(ChipReg::BitFraming, 0x07), written(ChipReg::ChannelRedundancy, 0x03),
            written(ChipReg::Control, ControlBits::FlushFIFO),
            written(ChipReg::FIFOData, 0x26),   written(ChipReg::Command, ChipCmd::Transceive),
            read(ChipReg::Command, ChipCmd::Idle),
            read(ChipReg::CollPos, 0x00),
            read(ChipReg::FIFOLength, 0x02),    read(ChipReg::FIFOData, 0x04),
            read(ChipReg::FIFOLength, 0x01),    read(ChipReg::FIFOData, 0x00),
            read(ChipReg::FIFOLength, 0x00),
            read(ChipReg::CollPos, 0x00),
        };
        QCOMPARE(page.trace(), expected);
        QCOMPARE(page.shows("txtedit_manu_reponse"), QStringLiteral("0400"));
        QCOMPARE(page.shows("txtedit_manu_collpos"), QStringLiteral("0"));
        QCOMPARE(page.onBoard([&](BoardEngine &) { return card->state(); }), TypeACard::State::Ready);
        // The frame went out as typed: seven bits.
        const auto airLog = page.onBoard([](BoardEngine &engine) { return engine.chip().airLog(); });
        QCOMPARE(airLog.back().sent.bits.size(), std::size_t(7));
    }

    void requestSentByHandAtTheBoardsPace()
    {
        TypeAPage page;
        QVERIFY(page.open({ true, 0 }));
        page.insert(std::make_shared<MifareClassicCard>(SingleUid));
        page.edit("txtedit_manu_bitframing")->setText("07");
        page.edit("txtedit_manu_trame")->setText("26");
        page.click("button_manu_img_send");
        QCOMPARE(page.shows("txtedit_manu_reponse"), QStringLiteral("0400"));
    }

    void answerShowsItsFirstTenBytes_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("shown");
        QTest::newRow("9 bytes") << Bytes::fromHex("a1a2a3a4a5a6a7a8a9") << "A1A2A3A4A5A6A7A8A9";
        QTest::newRow("10 bytes") << Bytes::fromHex("a1a2a3a4a5a6a7a8a9aa") << "A1A2A3A4A5A6A7A8A9AA";
        QTest::newRow("16 bytes") << Bytes::fromHex("00112233445566778899aabbccddeeff") << "00112233445566778899";
    }

    void answerShowsItsFirstTenBytes()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, shown);
        TypeAPage page;
        QVERIFY(page.open());
        auto card = std::make_shared<ScriptedCard>();
        card->answer = Air::withOddParity(answer);
        page.insert(card);
        page.edit("txtedit_manu_trame")->setText("3000");
        page.clearHistory();
        page.click("button_manu_img_send");
        QCOMPARE(page.shows("txtedit_manu_reponse"), shown);
        // Every byte was taken out of the FIFO, one length read more.
        const Traffic trace = page.trace();
        QCOMPARE(count(trace, Handshake::Read, ChipReg::FIFOData), int(answer.size()));
        QCOMPARE(count(trace, Handshake::Read, ChipReg::FIFOLength), int(answer.size()) + 1);
        QCOMPARE(page.fixture.bench.chipRegister(ChipReg::FIFOLength), quint8(0));
    }

    void collisionPositionIsShown_data()
    {
        QTest::addColumn<int>("secondCardBit");  // bit of byte 19 the second card flips; -1 no second card
        QTest::addColumn<QString>("collPos");
        QTest::newRow("no collision: 0") << -1 << "0";
        QTest::newRow("bit 154: 9a") << 1 << "9a";
        QTest::newRow("bit 153: 99") << 0 << "99";
    }

    void collisionPositionIsShown()
    {
        QFETCH(int, secondCardBit);
        QFETCH(QString, collPos);
        TypeAPage page;
        QVERIFY(page.open());
        const Bytes answer = Bytes(19, '\x11') + char(0x40);
        auto first = std::make_shared<ScriptedCard>();
        first->answer = Air::withOddParity(answer);
        page.insert(first);
        if (secondCardBit >= 0) {
            Bytes other = answer;
            other[19] = char(other.at(19) | (1 << secondCardBit));
            auto second = std::make_shared<ScriptedCard>();
            second->answer = Air::withOddParity(other);
            page.insert(second);
        }
        page.edit("txtedit_manu_trame")->setText("26");
        page.click("button_manu_img_send");
        QCOMPARE(page.shows("txtedit_manu_collpos"), collPos);
        QCOMPARE(page.shows("txtedit_manu_reponse"), QStringLiteral("11111111111111111111"));
    }

    void fifoThatNeverEmptiesEndsAfterSixtyFourBytes()
    {
        TypeAPage page;
        QVERIFY(page.open());
        page.edit("txtedit_manu_trame")->setText("26");
        // A board whose FIFOLength never reads 0, and whose FIFOData always
        // has a byte to give.
        BoardFaults stuck;
        stuck.stuckReads[ChipReg::FIFOLength] = 0x05;
        stuck.stuckReads[ChipReg::FIFOData] = 0x26;
        page.fixture.bench.setFaults(stuck);
        page.clearHistory();
        page.click("button_manu_img_send");
        const Traffic trace = page.trace();
        QCOMPARE(count(trace, Handshake::Read, ChipReg::FIFOLength), 64);
        QCOMPARE(count(trace, Handshake::Read, ChipReg::FIFOData), 64);
        QCOMPARE(trace.back().address, quint8(ChipReg::CollPos));
        QCOMPARE(page.shows("txtedit_manu_reponse"), QStringLiteral("26262626262626262626"));

        // The window is still usable: on a sound board again, the next send
        // goes through as usual.
        page.fixture.bench.setFaults(BoardFaults());
        page.insert(std::make_shared<MifareClassicCard>(SingleUid));
        page.edit("txtedit_manu_bitframing")->setText("07");
        page.click("button_14_img_rlcfg");
        page.click("button_manu_img_send");
        QCOMPARE(page.shows("txtedit_manu_reponse"), QStringLiteral("0400"));
    }

    void silentBoardGivesAnEmptyAnswer()
    {
        TypeAPage page;
        QVERIFY(page.open());
        page.edit("txtedit_manu_trame")->setText("26");
        page.edit("txtedit_manu_reponse")->setText("AABB");
        BoardFaults silent;
        silent.unanswered = -1;
        page.fixture.bench.setFaults(silent);
        QElapsedTimer clock;
        clock.start();
        page.click("button_manu_img_send");
        // The first handshake's time-out ends the send: one time-out, not
        // one per handshake, and nothing more goes out.
        QVERIFY(clock.elapsed() >= ReaderLink::AnswerTimeoutMs);
        QVERIFY2(clock.elapsed() < 2 * ReaderLink::AnswerTimeoutMs, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(page.fixture.bench.hostBytes(), QByteArray("w"));
        QCOMPARE(page.shows("txtedit_manu_reponse"), QString());
        QCOMPARE(page.shows("txtedit_manu_collpos"), QString());
        QVERIFY(page.fixture.shown("label_ERREUR"));
        QVERIFY(!page.fixture.shown("label_ERREUR_OK"));
        QCOMPARE(page.fixture.message(), QStringLiteral("La carte lecteur ne répond plus"));
    }

    // --- the frame journal ---------------------------------------------------

    void journalRecordsEachExchange_data()
    {
        QTest::addColumn<Cards>("cards");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QStringList>("expected");  // action | sent | answer | outcome, one per exchange
        QTest::newRow("identification") << Cards { classic() }
            << QStringList { "button_14_reqa", "button_14_anticol1", "button_14_select" }
            << QStringList { "REQ A|26|04 00|2 octets", "Anticol CL1|93 20|04 A2 3B 15 88|5 octets",
                             "Select|93 70 04 A2 3B 15 88|08|1 octet" };
        QTest::newRow("no card") << Cards {} << QStringList { "button_14_reqa" }
            << QStringList { "REQ A|26||Aucune réponse" };
        // The identification reads ErrorFlag, not CollPos: the collision is
        // known, its bit is not.
        QTest::newRow("two cards") << Cards { classic(), classic(OtherSingleUid) }
            << QStringList { "button_14_reqa", "button_14_anticol1" }
            << QStringList { "REQ A|26|04 00|2 octets", "Anticol CL1|93 20|0C B3 3B 37 88|Collision, erreur de parité, 5 octets" };
    }

    void journalRecordsEachExchange()
    {
        QFETCH(Cards, cards);
        QFETCH(QStringList, buttons);
        QFETCH(QStringList, expected);
        TypeAPage page;
        QVERIFY(page.open());
        page.insert(cards);
        for (const QString &button : buttons)
            page.click(qPrintable(button));
        QStringList recorded;
        for (const ExchangeJournal::Entry &entry : page.fixture.window->journal().entries()) {
            recorded << QStringList { entry.action, QString::fromLatin1(entry.sent.toHex(' ').toUpper()),
                                      QString::fromLatin1(entry.answer().toHex(' ').toUpper()), entry.outcome() }
                            .join(QLatin1Char('|'));
            QCOMPARE(entry.family(), ExchangeJournal::Family::TypeA);
            QVERIFY(entry.durationUs > 0 || entry.answer().isEmpty());
        }
        QCOMPARE(recorded, expected);
        // The REQA went out as seven bits, with parity and no CRC.
        const ExchangeJournal::Entry &request = page.fixture.window->journal().entries().first();
        QCOMPARE(request.txLastBits(), 7);
        QCOMPARE(request.channelRedundancy, int(ChannelRedundancyBits::OddParityNoCrc));
    }

    void journalTellsTheCollisionBitOfAHandBuiltFrame()
    {
        TypeAPage page;
        QVERIFY(page.open());
        page.insert(Cards { classic(), classic(OtherSingleUid) });
        page.click("button_14_reqa");
        page.edit("txtedit_manu_trame")->setText("9320");
        page.clearHistory();
        page.click("button_manu_img_send");
        const ExchangeJournal::Entry &entry = page.fixture.window->journal().entries().last();
        QCOMPARE(entry.action, QStringLiteral("Transceive"));
        // 04 and 08 first differ in bit 2 of the first byte: CollPos 3.
        QCOMPARE(entry.collisionPosition, 3);
        QCOMPARE(entry.outcome(), QStringLiteral("Collision au bit 3, 5 octets"));
        QCOMPARE(page.shows("txtedit_manu_collpos"), QStringLiteral("3"));
    }

    void journalExportsCsvColumns()
    {
        TypeAPage page;
        QVERIFY(page.open());
        page.insert(Cards { classic() });
        page.identifySingleSize();
        QTemporaryDir dir;
        const QString path = dir.filePath("journal.csv");
        JournalWindow journalWindow(&page.fixture.window->journal());
        QVERIFY(journalWindow.exportCsv(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QStringLiteral("Heure;Action;Envoyé;TxLastBits;Réglages;Réponse;RxLastBits;Issue;Durée (µs)"));
        const QStringList request = lines[1].split(QLatin1Char(';'));
        QCOMPARE(request.size(), 9);
        QCOMPARE(request.mid(1, 4), (QStringList { "REQ A", "26", "7", "BitFraming 07, ChannelRedundancy 03, CoderControl ?" }));
        QCOMPARE(request.mid(5, 3), (QStringList { "04 00", "", "2 octets" }));
        QVERIFY(QDateTime::fromString(request[0], Qt::ISODateWithMs).isValid());
        QCOMPARE(lines[3].split(QLatin1Char(';')).mid(1, 2), (QStringList { "Select", "93 70 04 A2 3B 15 88" }));
    }

    void journalPcapngIsDissectedByTshark()
    {
        TypeAPage page;
        QVERIFY(page.open());
        page.insert(Cards { classic() });
        page.identifySingleSize();
        QTemporaryDir dir;
        const QString path = dir.filePath("journal.pcapng");
        JournalWindow journalWindow(&page.fixture.window->journal());
        QVERIFY(journalWindow.exportPcapng(path));
        const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
        if (tshark.isEmpty())
            QSKIP("tshark is not installed (scripts/setup installs it)");
        constexpr int TsharkWaitMs = 30000;
        QProcess process;
        process.start(tshark, { "-r", path, "-T", "fields", "-e", "_ws.col.Info" });
        if (!process.waitForFinished(TsharkWaitMs)) {
            process.kill();
            process.waitForFinished(TsharkWaitMs);
            QFAIL("tshark did not finish");
        }
        QCOMPARE(process.exitCode(), 0);
        const QStringList info = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const QStringList names { "REQA", "ATQA", "Anticollision", "UID", "Select", "SAK" };
        QCOMPARE(info.size(), names.size());
        for (int i = 0; i < names.size(); ++i)
            QVERIFY2(info[i].contains(names[i]), qPrintable(info[i] + " should name " + names[i]));
    }

    // tagbench-cli sends the page's register traffic for the operations
    // both offer, handshake for handshake, after a connection whose traffic
    // begins the window's.
    void cliSendsThePagesTraffic_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("identification") << QStringList { "identify" };
        QTest::newRow("block read") << QStringList { "read", "6", "--key", "FFFFFFFFFFFF" };
    }

    void cliSendsThePagesTraffic()
    {
        QFETCH(QStringList, arguments);
        TypeAPage page;
        QVERIFY(page.fixture.start());
        page.insert(Cards { classic() });
        page.clearHistory();
        QVERIFY(page.fixture.connectBoard());
        const Traffic connection = page.trace();
        page.clearHistory();
        page.identifySingleSize();
        if (arguments.first() == QLatin1String("read")) {
            page.authenticate("06", arguments.last(), true);
            page.click("button_mf_read");
        }
        const Traffic pageTraffic = page.trace();
        page.click("button_img_port_deco");
        page.clearHistory();

        constexpr int CliWaitMs = 30000;
        QProcess cli;
        cli.start(QStringLiteral(TAGBENCH_CLI), QStringList { "--port", page.fixture.bench.board().devicePath() } + arguments);
        QVERIFY(cli.waitForFinished(CliWaitMs));
        QCOMPARE(cli.exitCode(), 0);
        const Traffic cliTraffic = page.trace();
        QVERIFY(cliTraffic.size() > pageTraffic.size());
        const std::size_t connecting = cliTraffic.size() - pageTraffic.size();
        QVERIFY(connecting <= connection.size());
        QCOMPARE(Traffic(cliTraffic.begin(), cliTraffic.begin() + long(connecting)),
                 Traffic(connection.begin(), connection.begin() + long(connecting)));
        QCOMPARE(Traffic(cliTraffic.begin() + long(connecting), cliTraffic.end()), pageTraffic);
    }

    void ctrlJOpensTheJournal()
    {
        TypeAPage page;
        QVERIFY(page.open());
        QMainWindow *window = page.fixture.window.get();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_J, Qt::ControlModifier);
        auto *journalWindow = window->findChild<JournalWindow *>();
        QVERIFY(journalWindow);
        QVERIFY(journalWindow->isVisible());
    }
};

QTEST_MAIN(TestIso14443aPage)
#include "tst_iso14443apage.moc"
