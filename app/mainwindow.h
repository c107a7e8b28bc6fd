#pragma once

#include <QMainWindow>

class Iso14443aProtocol;
class Iso15693Protocol;
class MainWindowUi;
class MifareClassic;
class QLineEdit;
class ReaderLink;

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

private:
    // The modulator-source bits of TxControl (bits 6 and 5), the rest kept.
    void setModulatorSource(quint8 source);
    // Whether the board answered a page's read-modify-write, shown as the
    // connection bar shows a board that does or does not answer the probe.
    void showBoardAnswered(bool answered);
    // A type A identification step that got no answer, or a garbled one:
    // its result field red, no step indicator, the RF field off.
    void showFailedIdentificationStep(QLineEdit *resultField);

    ReaderLink *link;
    Iso14443aProtocol *iso14443a;
    MifareClassic *mifare;
    Iso15693Protocol *iso15693;
    MainWindowUi *ui;
};
