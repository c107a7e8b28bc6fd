// The window as a whole, offscreen, on a virtual board: start-up state,
// binding by name, the connection bar, the tab change and the signal
// visualisation page, with the register traffic each action sends.

#include "chipregisters.h"
#include "windowfixture.h"

#include <QButtonGroup>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

using Traffic = std::vector<Handshake>;
Q_DECLARE_METATYPE(Traffic)

namespace {

const QList<SerialPortEntry> WindowsPorts = {
    { "Port de communication (COM1)", "COM1" },
    { "Port imprimante (LPT1)", "LPT1" },
    { "Port de communication (COM1)", "COM1" },
    { "USB Serial Port (COM12)", "COM12" },
};

// The type A configuration reload, as the board sees it.
const Traffic LoadConfiguration = {
    written(ChipReg::Control, 0x01),       written(ChipReg::TxControl, 0x58),
    written(ChipReg::FIFOData, 0x10),      written(ChipReg::FIFOData, 0x00),
    written(ChipReg::Command, ChipCmd::LoadConfig), written(ChipReg::Page, 0x00),
    written(ChipReg::TxControl, 0x5B),     written(ChipReg::ClockQControl, 0x00),
    written(ChipReg::CwConductance, 0x3F),
};

Traffic operator+(Traffic first, const Traffic &second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

} // namespace

// Catches what the web-site buttons would open.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    // --- construction -------------------------------------------------------

    void onlyTheUnboundSlotIsReportedWhenBinding()
    {
        WindowFixture fixture;
        QTest::failOnWarning(QRegularExpression(".*"));
        WindowFixture::expectUnboundSlot();
        MainWindow window;
    }

    void startUpState()
    {
        WindowFixture fixture(WindowsPorts);
        QVERIFY(fixture.start());
        QVERIFY(!fixture.tabs()->isEnabled());
        QCOMPARE(fixture.tabs()->currentIndex(), 0);
        QVERIFY(fixture.shown("button_img_port_connect"));
        QVERIFY(fixture.shown("label_ERREUR"));
        for (const char *hidden : { "button_img_port_deco", "label_ERREUR_OK", "txtedit_port", "button_txt_port_deco",
                                    "button_txt_port_connect", "button_14_anticol3", "ctrl_read_adr", "ctrl_read_val",
                                    "butt_ctrl_read", "button_info_img", "label_manu_chanred_2",
                                    "txtedit_manu_collpos", "txtedit_mf_secteur", "label_mf_secteur",
                                    "label_14_uid_incomplet", "label_14_uid_erreur", "button_14_scantag",
                                    "label_14_indic_cl1", "label_14_indic_cl2", "label_14_indic_sel", "img_14_tick" })
            QVERIFY2(!fixture.shown(hidden), hidden);
        QVERIFY(fixture.button("button_14_anticol2")->isEnabledTo(fixture.tabs()));
        QVERIFY(fixture.button("button_manu_img_send")->isEnabledTo(fixture.find("frame_manu_send")));
        QCOMPARE(fixture.bench.hostBytes(), QByteArray());  // nothing talks to the board yet
    }

    void portListKeepsOneOfEachAndNoParallelPort()
    {
        WindowFixture fixture(WindowsPorts);
        WindowFixture::expectUnboundSlot();
        MainWindow window;
        auto *combo = window.findChild<QComboBox *>("comboBox_port");
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->itemText(0), QStringLiteral("Port de communication (COM1)"));
        QCOMPARE(combo->itemText(1), QStringLiteral("USB Serial Port (COM12)"));
        // The first port entering the box gave the port name.
        QCOMPARE(window.findChild<QLineEdit *>("txtedit_port")->text(), QStringLiteral("COM1"));

        // Refreshing lists them afresh; an emptied box keeps the last name.
        window.findChild<QAbstractButton *>("button_img_refreshportlist")->click();
        QCOMPARE(combo->count(), 2);
        combo->setEditText("");
        QCOMPARE(window.findChild<QLineEdit *>("txtedit_port")->text(), QStringLiteral("COM1"));
        combo->setEditText("/dev/ttyACM0");
        QCOMPARE(window.findChild<QLineEdit *>("txtedit_port")->text(), QStringLiteral("/dev/ttyACM0"));

        // Names typed into the box, one after the other.
        const QList<std::pair<QString, QString>> typed = {
            { "COM7", "COM7" }, { "com7", "" }, { "abcdef(COM9)", "COM9" }, { "abc(xyz)(COM9)", "COM9" },
            { "ttyUSB1", "/dev/ttyUSB1" }, { "COM3 ", "COM3" },
        };
        for (const auto &[text, port] : typed) {
            combo->setEditText(text);
            QCOMPARE(window.findChild<QLineEdit *>("txtedit_port")->text(), port);
        }
    }

    void withoutPortsThePortNameStaysAsBuilt()
    {
        WindowFixture fixture;
        WindowFixture::expectUnboundSlot();
        MainWindow window;
        QCOMPARE(window.findChild<QComboBox *>("comboBox_port")->count(), 0);
        QCOMPARE(window.findChild<QLineEdit *>("txtedit_port")->text(), QStringLiteral("/dev/ttyUSB0"));
    }

    void stepIndicatorShowsOneAtMost_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("shown");  // index in the list below, -1 none
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("1") << 1 << 1;
        QTest::newRow("2") << 2 << 2;
        QTest::newRow("3") << 3 << 3;
        QTest::newRow("10") << 10 << -1;
        QTest::newRow("255") << 255 << -1;
        QTest::newRow("256 is 0 as a byte") << 256 << 0;
    }

    void stepIndicatorShowsOneAtMost()
    {
        QFETCH(int, step);
        QFETCH(int, shown);
        WindowFixture fixture;
        QVERIFY(fixture.start());
        fixture.window->showIso14443Step(step);
        const char *indicators[] = { "label_14_indic_cl1", "label_14_indic_cl2", "label_14_indic_sel", "img_14_tick" };
        for (int i = 0; i < 4; ++i)
            QCOMPARE(fixture.shown(indicators[i]), i == shown);
    }

    void webSiteButtonsOpenTheSameAddress()
    {
        WindowFixture fixture;
        QVERIFY(fixture.start());
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("https", &catcher, "open");
        fixture.button("pushButton")->click();
        fixture.button("pushButton_2")->click();
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(catcher.opened.size(), 2);
        QCOMPARE(catcher.opened.at(0), catcher.opened.at(1));
        QVERIFY(catcher.opened.at(0).host().endsWith(".example"));  // a reserved domain
    }

    void infoButtonReleaseHidesTheCredits()
    {
        WindowFixture fixture;
        QVERIFY(fixture.start());
        QVERIFY(fixture.shown("label_credit_txt"));
        emit fixture.button("button_info_img")->pressed();
        QVERIFY(fixture.shown("label_credit_txt"));
        emit fixture.button("button_info_img")->released();
        QVERIFY(!fixture.shown("label_credit_txt"));
    }

    // --- connecting ------------------------------------------------------

    void connectProbesThenLoadsTheVisualisationSettings()
    {
        WindowFixture fixture;
        QVERIFY(fixture.start());
        fixture.tabs()->setCurrentIndex(0);
        QVERIFY(fixture.connectBoard());

        const Traffic expected = Traffic { written(ChipReg::TxControl, 0x58), written(ChipReg::TxControl, 0x5B),
                                           written(ChipReg::MFOUTSelect, 0x05), written(ChipReg::CoderControl, 0x19),
                                           read(ChipReg::TxControl, 0x5B), written(ChipReg::TxControl, 0x5B) }
            + LoadConfiguration
            + Traffic { written(ChipReg::MFOUTSelect, 0x05), written(ChipReg::CoderControl, 0x19) };
        QCOMPARE(fixture.bench.trace(), expected);

        QVERIFY(!fixture.shown("label_ERREUR"));
        QVERIFY(fixture.shown("label_ERREUR_OK"));
        QVERIFY(fixture.shown("button_img_port_deco"));
        QVERIFY(!fixture.shown("button_img_port_connect"));
        QCOMPARE(fixture.tabs()->currentIndex(), 0);
        for (const char *checked : { "radio_bnc_man", "radio_codbit_miller", "radio_modsel_donnees" })
            QVERIFY2(fixture.button(checked)->isChecked(), checked);
    }

    void connectsThroughAListedNameBeginningWithC()
    {
        WindowFixture fixture;
        QVERIFY(fixture.start());
        // The board listed as a common USB adapter shows itself.
        const QString device = fixture.bench.board().devicePath();
        const QString listed = QStringLiteral("CP2102 USB to UART Bridge Controller (%1)").arg(device);
        SerialPorts::setSourceForTesting([listed] { return QList<SerialPortEntry> { { listed, "ttyUSB0" } }; });
        fixture.button("button_img_refreshportlist")->click();
        QCOMPARE(fixture.combo()->currentText(), listed);
        QCOMPARE(fixture.edit("txtedit_port")->text(), device);
        QVERIFY(fixture.connectBoard());
        QVERIFY(fixture.shown("label_ERREUR_OK"));
    }

    void connectFromAnotherPageRunsTheTabChangeToo()
    {
        WindowFixture fixture;
        QVERIFY(fixture.start());
        fixture.tabs()->setEnabled(true);
        fixture.tabs()->setCurrentIndex(2);
        fixture.tabs()->setEnabled(false);
        QVERIFY(fixture.connectBoard());
        // Field off, field on, then the page's three settings as built
        // (raw data, Miller, coder) before the reload's own.
        const Traffic trace = fixture.bench.trace();
        QCOMPARE(trace.at(2), written(ChipReg::MFOUTSelect, 0x03));
        QCOMPARE(trace.at(3), written(ChipReg::CoderControl, 0x19));
        QCOMPARE(trace.at(4), read(ChipReg::TxControl, 0x5B));
        QCOMPARE(trace.at(6), written(ChipReg::MFOUTSelect, 0x05));
    }

    void connectWithoutBoardClosesThePortAgain()
    {
        WindowFixture fixture;
        QVERIFY(fixture.start());
        BoardFaults silent;
        silent.unanswered = -1;
        fixture.bench.setFaults(silent);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!fixture.connectBoard());
        QVERIFY(clock.elapsed() >= ReaderLink::AnswerTimeoutMs);
        QVERIFY(fixture.shown("label_ERREUR"));
        QVERIFY(!fixture.shown("label_ERREUR_OK"));
        QVERIFY(fixture.shown("button_img_port_connect"));
        QCOMPARE(fixture.bench.hostBytes(), QByteArray("w"));
        QCOMPARE(fixture.message(), fixture.bench.board().devicePath() + " : la carte lecteur ne répond pas");

        // The port was closed: the next connect opens it again, and with a
        // board that answers now it connects.
        fixture.bench.setFaults(BoardFaults());
        QVERIFY(fixture.connectBoard());
    }

    // A connect that cannot happen changes nothing on the bar, and says why.
    void connectToAPortThatCannotOpenChangesNothing_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("opened");  // whether the port was tried
        QTest::addColumn<QString>("message");
        QTest::newRow("no such device") << "/dev/no-such-tagbench-board" << true
                                        << "/dev/no-such-tagbench-board : port introuvable";
        QTest::newRow("bare device name, absent") << "ttyNOSUCHTAGBENCH" << true
                                                  << "/dev/ttyNOSUCHTAGBENCH : port introuvable";
        QTest::newRow("no port named") << "abc def" << false
                                       << "«\u00A0abc def\u00A0» ne désigne aucun port série (COM3, /dev/ttyUSB0 ou ttyUSB0)";
    }

    void connectToAPortThatCannotOpenChangesNothing()
    {
        QFETCH(QString, typed);
        QFETCH(bool, opened);
        QFETCH(QString, message);
        WindowFixture fixture;
        QVERIFY(fixture.start());
        fixture.combo()->setEditText(typed);
        if (opened)
            QTest::ignoreMessage(QtDebugMsg, " open: 0");
        fixture.button("button_img_port_connect")->click();
        QVERIFY(!fixture.tabs()->isEnabled());
        QVERIFY(fixture.shown("button_img_port_connect"));
        QCOMPARE(fixture.message(), message);
    }

    // A board that stopped for a while answers the handshake it was given
    // late: that answer must not answer the next click's handshake, which
    // would then land elsewhere (a field switched off, register 0x77).
    void stalledBoardDoesNotAnswerTheNextClick()
    {
        WindowFixture fixture;
        QVERIFY(fixture.start());
        QVERIFY(fixture.connectBoard());
        BoardFaults stall;
        stall.stallAfter = 0;
        stall.stallMs = 2500;
        fixture.bench.setFaults(stall);
        fixture.button("radio_modsel_high")->click();
        QVERIFY(fixture.shown("label_ERREUR"));
        QVERIFY(fixture.button("radio_modsel_donnees")->isChecked());

        QTest::qWait(2000);  // the board wakes and sends its late "A"
        fixture.bench.clearHistory();
        fixture.button("radio_modsel_high")->click();
        // The late read is completed on Page, the FIFO flushed, then the
        // choice goes through as it should.
        const Traffic expected = { read(ChipReg::Page, 0x00), read(ChipReg::Control, 0x00),
                                   written(ChipReg::Control, ControlBits::FlushFIFO), read(ChipReg::TxControl, 0x5B),
                                   written(ChipReg::TxControl, 0x3B) };
        QCOMPARE(fixture.bench.trace(), expected);
        QCOMPARE(fixture.bench.chipRegister(ChipReg::TxControl), quint8(0x3B));
        QVERIFY(fixture.shown("label_ERREUR_OK"));
        QVERIFY(fixture.button("radio_modsel_high")->isChecked());
        QCOMPARE(fixture.message(), QStringLiteral("Entrée du modulateur : Niveau Haut"));
    }

    // An adapter unplugged shows as the bar's disconnected state, at once
    // when nothing is under way, or at the end of the action that found it.
    void unpluggedBoardShowsDisconnected_data()
    {
        QTest::addColumn<bool>("idle");
        QTest::newRow("while idle") << true;
        QTest::newRow("during a click") << false;
    }

    void unpluggedBoardShowsDisconnected()
    {
        QFETCH(bool, idle);
        WindowFixture fixture;
        QVERIFY(fixture.start());
        QVERIFY(fixture.connectBoard());
        fixture.bench.board().unplug();
        if (!idle)
            fixture.button("radio_codbit_nrz")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!fixture.tabs()->isEnabled(), 3000);
        QVERIFY(fixture.shown("label_ERREUR"));
        QVERIFY(!fixture.shown("label_ERREUR_OK"));
        QVERIFY(fixture.shown("button_img_port_connect"));
        QCOMPARE(fixture.message(), fixture.bench.board().devicePath() + " : port disparu (carte lecteur débranchée ?)");
        if (!idle)
            QVERIFY(fixture.button("radio_codbit_miller")->isChecked());  // the choice was not applied
    }

    void disconnectClosesAndLeavesTheFieldAsItIs()
    {
        WindowFixture fixture;
        QVERIFY(fixture.start());
        // Before any connection, disconnecting changes nothing and sends nothing.
        fixture.button("button_img_port_deco")->click();
        QCOMPARE(fixture.bench.hostBytes(), QByteArray());
        QVERIFY(fixture.shown("button_img_port_connect"));
        QVERIFY(!fixture.shown("button_img_port_deco"));
        QVERIFY(!fixture.tabs()->isEnabled());

        QVERIFY(fixture.connectBoard());
        fixture.bench.clearHistory();
        fixture.button("button_img_port_deco")->click();
        QVERIFY(!fixture.tabs()->isEnabled());
        QVERIFY(fixture.shown("label_ERREUR"));
        QVERIFY(!fixture.shown("label_ERREUR_OK"));
        QVERIFY(fixture.shown("button_img_port_connect"));
        QVERIFY(!fixture.shown("button_img_port_deco"));
        QCOMPARE(fixture.bench.hostBytes(), QByteArray());
        QCOMPARE(fixture.bench.chipRegister(ChipReg::TxControl), quint8(0x5B));

        // Disconnecting again does nothing; connecting again works.
        fixture.button("button_img_port_deco")->click();
        QVERIFY(fixture.shown("button_img_port_connect"));
        QVERIFY(fixture.connectBoard());
    }

    // --- the visualisation page ---------------------------------------------

    void tabChangeResendsTheThreeSettings()
    {
        WindowFixture fixture;
        QVERIFY(fixture.start());
        QVERIFY(fixture.connectBoard());
        fixture.button("radio_bnc_manss")->click();
        fixture.button("radio_codbit_256")->click();
        fixture.button("radio_modsel_high")->click();
        fixture.tabs()->setCurrentIndex(1);
        fixture.bench.clearHistory();
        fixture.tabs()->setCurrentIndex(2);
        fixture.tabs()->setCurrentIndex(1);
        QCOMPARE(fixture.bench.trace(), Traffic());  // pages 1 and 2 send nothing
        fixture.tabs()->setCurrentIndex(0);
        const Traffic expected = { written(ChipReg::MFOUTSelect, 0x04), written(ChipReg::CoderControl, 0x2E),
                                   read(ChipReg::TxControl, 0x3B), written(ChipReg::TxControl, 0x3B) };
        QCOMPARE(fixture.bench.trace(), expected);
    }

    void radioButtonsWriteTheirSetting_data()
    {
        QTest::addColumn<QString>("radio");
        QTest::addColumn<Traffic>("traffic");
        QTest::newRow("Miller") << "radio_codbit_miller" << Traffic { written(ChipReg::CoderControl, 0x19) };
        QTest::newRow("NRZ") << "radio_codbit_nrz" << Traffic { written(ChipReg::CoderControl, 0x20) };
        QTest::newRow("1 of 256") << "radio_codbit_256" << Traffic { written(ChipReg::CoderControl, 0x2E) };
        QTest::newRow("1 of 4") << "radio_codbit_4" << Traffic { written(ChipReg::CoderControl, 0x2F) };
        QTest::newRow("raw data") << "radio_bnc_donnees_raw" << Traffic { written(ChipReg::MFOUTSelect, 0x03) };
        QTest::newRow("coded data") << "radio_bnc_donnes_mod" << Traffic { written(ChipReg::MFOUTSelect, 0x02) };
        QTest::newRow("Manchester, subcarrier") << "radio_bnc_manss" << Traffic { written(ChipReg::MFOUTSelect, 0x04) };
        QTest::newRow("Manchester") << "radio_bnc_man" << Traffic { written(ChipReg::MFOUTSelect, 0x05) };
        QTest::newRow("modulator high") << "radio_modsel_high"
                                        << Traffic { read(ChipReg::TxControl, 0x5B), written(ChipReg::TxControl, 0x3B) };
        QTest::newRow("modulator low") << "radio_modsel_low"
                                       << Traffic { read(ChipReg::TxControl, 0x5B), written(ChipReg::TxControl, 0x1B) };
        QTest::newRow("modulator data") << "radio_modsel_donnees"
                                        << Traffic { read(ChipReg::TxControl, 0x5B), written(ChipReg::TxControl, 0x5B) };
    }

    void radioButtonsWriteTheirSetting()
    {
        QFETCH(QString, radio);
        QFETCH(Traffic, traffic);
        WindowFixture fixture;
        QVERIFY(fixture.start());
        QVERIFY(fixture.connectBoard());
        fixture.bench.clearHistory();
        QAbstractButton *button = fixture.button(qPrintable(radio));
        button->click();
        QVERIFY(button->isChecked());
        QCOMPARE(fixture.bench.trace(), traffic);
        // A checked button clicked again writes its setting again.
        fixture.bench.clearHistory();
        button->click();
        QCOMPARE(fixture.bench.trace().size(), traffic.size());
        QCOMPARE(fixture.bench.trace().back(), traffic.back());
    }

    void modulatorSourceKeepsTheOtherBits()
    {
        WindowFixture fixture;
        QVERIFY(fixture.start());
        QVERIFY(fixture.connectBoard());
        fixture.button("radio_modsel_high")->click();
        QCOMPARE(fixture.bench.chipRegister(ChipReg::TxControl), quint8(0x3B));
        fixture.button("radio_modsel_donnees")->click();
        QCOMPARE(fixture.bench.chipRegister(ChipReg::TxControl), quint8(0x5B));
        fixture.button("radio_modsel_low")->click();
        QCOMPARE(fixture.bench.chipRegister(ChipReg::TxControl), quint8(0x1B));
    }

    void modulatorChoiceOnABusyBoardWritesNothing_data()
    {
        QTest::addColumn<QString>("radio");
        QTest::addColumn<int>("after");  // TxControl once the board answers again
        QTest::newRow("high") << "radio_modsel_high" << 0x3B;
        QTest::newRow("low") << "radio_modsel_low" << 0x1B;
        QTest::newRow("data") << "radio_modsel_donnees" << 0x5B;
    }

    void modulatorChoiceOnABusyBoardWritesNothing()
    {
        QFETCH(QString, radio);
        QFETCH(int, after);
        WindowFixture fixture;
        QVERIFY(fixture.start());
        QVERIFY(fixture.connectBoard());
        fixture.bench.clearHistory();
        // The board says "E" until the read gives up.
        BoardFaults busy;
        busy.refusals = ReaderLink::MaxRepeats + 1;
        fixture.bench.setFaults(busy);
        fixture.button(qPrintable(radio))->click();

        // Nothing written: the field stays on. The bar shows a board that
        // does not answer, and the port stays open.
        QVERIFY(!fixture.bench.hostBytes().contains('w'));
        QCOMPARE(fixture.bench.chipRegister(ChipReg::TxControl), quint8(0x5B));
        QVERIFY(fixture.shown("label_ERREUR"));
        QVERIFY(!fixture.shown("label_ERREUR_OK"));
        QVERIFY(fixture.tabs()->isEnabled());

        // The choice was not applied: the one in force is checked again.
        QVERIFY(fixture.button("radio_modsel_donnees")->isChecked());
        QCOMPARE(fixture.message(),
                 QStringLiteral("Entrée du modulateur : %1 non appliqué : la carte lecteur ne répond plus")
                     .arg(fixture.button(qPrintable(radio))->text()));

        // The board answering again, the next choice goes through, once the
        // board is back in step (its FIFO flushed), and the green indicator
        // comes back.
        fixture.bench.clearHistory();
        fixture.button(qPrintable(radio))->click();
        QCOMPARE(fixture.bench.trace(),
                 (Traffic { read(ChipReg::Control, 0x00), written(ChipReg::Control, ControlBits::FlushFIFO),
                            read(ChipReg::TxControl, 0x5B), written(ChipReg::TxControl, quint8(after)) }));
        QVERIFY(fixture.button(qPrintable(radio))->isChecked());
        QVERIFY(!fixture.shown("label_ERREUR"));
        QVERIFY(fixture.shown("label_ERREUR_OK"));
    }

    void typeAReloadWhoseReadTimesOutLeavesTheCoderAlone()
    {
        WindowFixture fixture;
        QVERIFY(fixture.start());
        QVERIFY(fixture.connectBoard());
        fixture.tabs()->setCurrentIndex(1);
        // The board takes every handshake but never sends a read's value.
        BoardFaults dropping;
        dropping.dropValueByte = true;
        fixture.bench.setFaults(dropping);
        fixture.bench.clearHistory();
        fixture.button("button_14_img_rlcfg")->click();

        // TxControl read, and not written back; the bar shows the board
        // not answering.
        const Traffic trace = fixture.bench.trace();
        const auto txRead = std::find(trace.begin(), trace.end(), read(ChipReg::TxControl, 0x5B));
        QVERIFY(txRead != trace.end());
        QVERIFY(std::none_of(txRead, trace.end(), [](const Handshake &handshake) {
            return handshake.operation == Handshake::Write && handshake.address == ChipReg::TxControl;
        }));
        QVERIFY(fixture.shown("label_ERREUR"));
        QVERIFY(!fixture.shown("label_ERREUR_OK"));

        fixture.bench.setFaults(BoardFaults());
        fixture.button("button_14_img_rlcfg")->click();
        QVERIFY(!fixture.shown("label_ERREUR"));
        QVERIFY(fixture.shown("label_ERREUR_OK"));
    }

    void sendButtonTransmitsTheDataByte_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("byte");
        QTest::newRow("FF") << "FF" << 0xFF;
        QTest::newRow("3c") << "3C" << 0x3C;
        QTest::newRow("emptied") << "" << 0x00;
    }

    void sendButtonTransmitsTheDataByte()
    {
        QFETCH(QString, text);
        QFETCH(int, byte);
        WindowFixture fixture;
        QVERIFY(fixture.start());
        QVERIFY(fixture.connectBoard());
        fixture.edit("txtedit_donnee_mod")->setText(text);
        fixture.bench.clearHistory();
        fixture.button("button_img_send_mod")->click();
        const Traffic expected = { written(ChipReg::FIFOData, quint8(byte)), written(ChipReg::Command, ChipCmd::Transmit),
                                   written(ChipReg::Control, 0x01) };
        QCOMPARE(fixture.bench.trace(), expected);
    }

    void textButtonsAnimateTheirPictureButton_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("picture");
        QTest::newRow("send") << "button_txt_send_mod" << "button_img_send_mod";
        QTest::newRow("request") << "button_txt_request_demod" << "button_img_request_demod";
        QTest::newRow("reload") << "button_txt_demod_rlcfg" << "button_img_demod_rlcfg";
    }

    void textButtonsAnimateTheirPictureButton()
    {
        QFETCH(QString, text);
        QFETCH(QString, picture);
        WindowFixture fixture;
        QVERIFY(fixture.start());
        QVERIFY(fixture.connectBoard());
        fixture.bench.clearHistory();
        QSignalSpy clicked(fixture.button(qPrintable(picture)), &QAbstractButton::clicked);
        fixture.button(qPrintable(text))->click();
        QCOMPARE(clicked.count(), 0);  // the click comes once the animation is over
        QVERIFY(clicked.wait(2000));
        QTest::qWait(50);
        QCOMPARE(clicked.count(), 1);
        QVERIFY(!fixture.bench.trace().empty());  // the picture's slot ran
    }

    void reloadChecksTheThreeRadioButtonsFirst()
    {
        WindowFixture fixture;
        QVERIFY(fixture.start());
        QVERIFY(fixture.connectBoard());
        fixture.button("radio_bnc_donnees_raw")->click();
        fixture.button("radio_codbit_4")->click();
        fixture.button("radio_modsel_low")->click();
        fixture.bench.clearHistory();
        fixture.button("button_img_demod_rlcfg")->click();
        const Traffic expected = Traffic { written(ChipReg::MFOUTSelect, 0x05), written(ChipReg::CoderControl, 0x19),
                                           read(ChipReg::TxControl, 0x1B), written(ChipReg::TxControl, 0x5B) }
            + LoadConfiguration + Traffic { written(ChipReg::MFOUTSelect, 0x05), written(ChipReg::CoderControl, 0x19) };
        QCOMPARE(fixture.bench.trace(), expected);
        for (const char *checked : { "radio_bnc_man", "radio_codbit_miller", "radio_modsel_donnees" })
            QVERIFY2(fixture.button(checked)->isChecked(), checked);
    }

    void requestGoesOutWithTheCodingInForce()
    {
        WindowFixture fixture;
        QVERIFY(fixture.start());
        QVERIFY(fixture.connectBoard());
        fixture.bench.clearHistory();
        fixture.button("button_img_request_demod")->click();
        const Traffic expected = { written(ChipReg::TxControl, 0x58), written(ChipReg::TxControl, 0x5B),
                                   written(ChipReg::BitFraming, 0x07), written(ChipReg::ChannelRedundancy, 0x03),
                                   written(ChipReg::FIFOData, 0x26), written(ChipReg::Command, ChipCmd::Transceive),
                                   read(ChipReg::FIFOData, 0x00), read(ChipReg::FIFOData, 0x00) };
        QCOMPARE(fixture.bench.trace(), expected);

        fixture.button("radio_codbit_4")->click();
        fixture.button("button_img_request_demod")->click();
        const auto airLog = fixture.bench.board().withBoard([](BoardEngine &engine) { return engine.chip().airLog(); });
        QCOMPARE(airLog.back().sent.coding, AirCoding::OneOutOf4);
        QCOMPARE(airLog.back().sent.bits.size(), std::size_t(7));
    }

    void registerReadShowsTheValue_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("shown");
        QTest::newRow("0x05") << 0x05 << "5";
        QTest::newRow("0x9A") << 0x9A << "9a";
        QTest::newRow("0xC3") << 0xC3 << "c3";
    }

    void registerReadShowsTheValue()
    {
        QFETCH(int, value);
        QFETCH(QString, shown);
        WindowFixture fixture;
        QVERIFY(fixture.start());
        QVERIFY(fixture.connectBoard());
        fixture.bench.board().withBoard([&](BoardEngine &engine) { engine.chip().write(ChipReg::BitPhase, quint8(value)); });
        fixture.edit("ctrl_read_adr")->setText("1B");
        fixture.bench.clearHistory();
        fixture.button("butt_ctrl_read")->click();
        QCOMPARE(fixture.bench.trace(), Traffic { read(ChipReg::BitPhase, quint8(value)) });
        QCOMPARE(fixture.edit("ctrl_read_val")->text().trimmed().toLower(), shown);
    }

    void languageChangeSetsTheTextsAgain()
    {
        WindowFixture fixture;
        QVERIFY(fixture.start());
        const QString title = fixture.window->windowTitle();
        fixture.window->setWindowTitle("changed");
        QEvent change(QEvent::LanguageChange);
        QApplication::sendEvent(fixture.window.get(), &change);
        QCOMPARE(fixture.window->windowTitle(), title);
    }
};


QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
