#pragma once

#include "exchangejournal.h"
#include "readerlink.h"

#include <QMainWindow>
#include <QMap>
#include <QString>

class Iso14443aProtocol;
class Iso15693Protocol;
class MainWindowUi;
class MifareClassic;
class QAbstractButton;
class QButtonGroup;
class JournalWindow;
class QLineEdit;

// The one window of TagBench. Its form (MainWindowUi) builds the widgets;
// every user action arrives here as a slot bound by name to a widget's
// signal, and talks to the board through the link and the protocol objects,
// all on the GUI thread: a slot's board exchange runs to its end before the
// event loop resumes.
//
// The slots live in one source file per page: the connection bar, the
// signal visualisation page, the ISO 14443A page and the ISO 15693 page.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The type A page's step indicators: the arrow over the command to
    // click next, or the tick once the card is selected.
    enum Iso14443Step {
        StepCascadeLevel1 = 0,
        StepCascadeLevel2 = 1,
        StepSelect = 2,
        StepDone = 3,
        StepNone = 10,  // any value besides the four above hides them all
    };

    // Shows exactly one of the type A page's four step indicators; any other
    // value than the four steps hides all four.
    void showIso14443Step(int step);

    // How the message line says what the last action did.
    enum class Tone { Info, Success, Failure };
    void say(const QString &message, Tone tone = Tone::Info);

    // The frames exchanged with cards since the window opened.
    const ExchangeJournal &journal() const { return exchangeJournal; }
    // Shows the journal's window (Ctrl+J, or the header's "Journal" button).
    void showJournal();

protected:
    void changeEvent(QEvent *event) override;

private slots:
    void on_onglet_main_widget_currentChanged(int index);
    void on_button_15_dsfid_w_clicked();
    void on_button_15_afi_w_clicked();
    void on_txtedit_15_donnees_textEdited(const QString &text);
    void on_txtedit_15_afi_w_textEdited(const QString &text);
    void on_txtedit_15_dsfid_w_textEdited(const QString &text);
    void on_txtedit_mf_donnees_selectionChanged();
    void on_button_img_demod_rlcfg_clicked();
    void on_button_info_img_pressed();
    void on_button_15_write_clicked();
    void on_button_15_read_clicked();
    void on_button_info_img_released();
    void on_txtedit_15_manu_trame_textChanged(const QString &text);
    void on_button_15_manu_img_send_clicked();
    void on_button_15_inventory_clicked();
    void on_button_15_img_rlcfg_clicked();
    void on_butt_ctrl_read_clicked();
    void on_txtedit_mf_donnees_textChanged(const QString &text);
    void on_button_14_img_rlcfg_clicked();
    void on_button_14_select_clicked();
    void on_button_mf_write_clicked();
    void on_button_mf_read_clicked();
    void on_button_mf_auth_clicked();
    void on_txtedit_mf_cle_textChanged(const QString &text);
    void on_txtedit_manu_trame_textChanged(const QString &text);
    void on_button_manu_img_send_clicked();
    void on_button_14_anticol2_clicked();
    void on_button_14_anticol1_clicked();
    void on_button_14_scantag_clicked();
    void on_button_14_reqa_clicked();
    void on_button_img_request_demod_clicked();
    void on_button_txt_demod_rlcfg_clicked();
    void on_button_img_send_mod_clicked();
    void on_radio_bnc_man_clicked();
    void on_radio_bnc_manss_clicked();
    void on_radio_bnc_donnes_mod_clicked();
    void on_radio_bnc_donnees_raw_clicked();
    void on_radio_modsel_donnees_clicked();
    void on_radio_modsel_low_clicked();
    void on_radio_modsel_high_clicked();
    void on_radio_codbit_4_clicked();
    void on_radio_codbit_256_clicked();
    void on_radio_codbit_nrz_clicked();
    void on_radio_codbit_miller_clicked();
    void on_button_img_port_deco_clicked();
    void on_button_img_port_connect_clicked();
    // Named like a slot, but no signal of txtedit_port matches it: binding by
    // name leaves it unbound, and nothing calls it.
    void on_txtedit_port_focus_int();
    void on_pushButton_clicked();
    void on_button_img_refreshportlist_clicked();
    void on_comboBox_port_editTextChanged(const QString &text);
    void updateListPortCombobox();

    void on_txtedit_mf_donnees_textEdited(const QString &text);

private:
    // A slot's handshakes, as one operation of the link: the first that
    // fails ends it. Once the outermost one ends, the connection bar and the
    // message line show how the board took it: the green indicator when it
    // answered, the red one and "no longer answers" when it did not, and
    // the disconnected state when its port vanished. Given a name, the
    // action names the frames it exchanges in the journal.
    class BoardAction
    {
    public:
        explicit BoardAction(MainWindow *window, const QString &name = QString(),
                             ExchangeJournal::Family family = ExchangeJournal::Family::Unknown);
        ~BoardAction();
        BoardAction(const BoardAction &) = delete;
        BoardAction &operator=(const BoardAction &) = delete;
        bool failed() const { return m_operation.failed(); }

    private:
        MainWindow *m_window;
        ExchangeJournal::ActionScope m_journalScope;
        ReaderLink::Operation m_operation;
    };

    // The modulator-source bits of TxControl (bits 6 and 5), the rest kept.
    void setModulatorSource(quint8 source);
    // One radio button's setting written to the chip: the button stays
    // checked once the board took it, and the one in force before is
    // checked again when it did not.
    void applySetting(QButtonGroup *group, QAbstractButton *button, const QString &what, quint8 address,
                      quint8 value);
    void applied(QButtonGroup *group, QAbstractButton *button, bool taken, const QString &what);
    // How the board took the action that just ended (see BoardAction).
    void showBoardState();
    // The connection bar in its disconnected state; the port closed.
    void showDisconnected();
    // A type A identification step that got no answer, or a garbled one:
    // its result field red, no step indicator, the RF field off.
    void showFailedIdentificationStep(QLineEdit *resultField);
    // The ISO 15693 configuration, loaded by the page's reload button or
    // before a command when another page changed the chip since.
    void loadIso15693Configuration();
    // Loads it when the chip holds another configuration, or, for the
    // commands that do not set their own (all but the inventory), another
    // coding; true when the board answered (or nothing was needed).
    bool ensureIso15693Configuration(bool setsItsCoding = false);
    // Whom the page's block, AFI and DSFID commands go to: the tag that
    // "Sélection" chooses once the last inventory found two; every tag in
    // the field otherwise. Returns the words the result adds.
    QString addressIso15693Tags();
    // A field's whole value, or a red field and a message: a field whose
    // digits leave a gap or do not fill it is never padded.
    bool wholeDigits(QLineEdit *field, int digits, const QString &name);
    // A block number typed (decimal on the MIFARE side, hexadecimal on the
    // ISO 15693 side), or a red field and a message when it is empty.
    bool blockTyped(QLineEdit *field);
    // The tags' AFI or DSFID written from its field.
    void writeTagByte(QLineEdit *field, const QString &name, void (Iso15693Protocol::*write)(quint8));
    // An ISO 15693 write's outcome in the field of the value written, and
    // on the message line.
    void showWriteOutcome(QLineEdit *field, bool boardFailed, const QString &done, const QString &whom);
    // A one-byte value typed, or a red field and a message when it is
    // empty: an emptied field is no 0 to write.
    bool valueTyped(QLineEdit *field, const QString &name);
    // The MIFARE data field's keys, when they came from a read of a sector
    // trailer: the card never gives key A back, and key B only when its
    // access bits let it be read.
    bool trailerKeysFromRead() const;

    ReaderLink *link;
    Iso14443aProtocol *iso14443a;
    MifareClassic *mifare;
    Iso15693Protocol *iso15693;
    MainWindowUi *ui;
    ExchangeJournal exchangeJournal;
    JournalWindow *journalWindow = nullptr;

    // Whether the action under way has said why it failed, which the
    // board's own state then does not overwrite.
    bool failureSaid = false;
    // The port the board was connected by, as the user named it.
    QString connectedPort;
    // The radio button of each group whose setting the chip holds.
    QMap<QButtonGroup *, QAbstractButton *> inForce;
    // Whether the chip holds the ISO 15693 configuration, untouched since:
    // a type A configuration, or a modulator held low or high, undo it. And
    // whether CoderControl holds an ISO 15693 coding, which a type A coding
    // chosen on the first page undoes.
    bool iso15693Configured = false;
    bool iso15693Coding = false;
    // The text of the last sector trailer read into the MIFARE data field,
    // empty when the field holds no trailer read; and, of its two keys,
    // those the user has typed over since.
    QString trailerRead;
    bool keyATyped = false;
    bool keyBTyped = false;
};
