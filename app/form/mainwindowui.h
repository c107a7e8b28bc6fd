#ifndef MAINWINDOWUI_H
#define MAINWINDOWUI_H

#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QWidget>

// The form of the main window: builds every widget at its fixed place with
// its looks and texts, and keeps one pointer per widget under the widget's
// object name. The window's slots are bound to the widgets by those names,
// so the names are the contract with the behaviour code. The form owns
// nothing: the widgets belong to the window through their parents. The
// widget classes come with this header, so that the window's code can use
// every pointer as it is.
class MainWindowUi
{
    // Every text of the form is looked up in the window's translation context.
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // Frame, top band.
    QWidget *centralWidget = nullptr;
    QLabel *img_bandeau_top = nullptr;
    QLabel *img_logo_valoris = nullptr;
    QLineEdit *txtedit_port = nullptr;
    QTabWidget *onglet_main_widget = nullptr;

    // First page: signal visualisation.
    QWidget *tab_visu_signaux = nullptr;
    QRadioButton *radio_codbit_miller = nullptr;
    QButtonGroup *buttonGroup_radio_codbit = nullptr;
    QRadioButton *radio_codbit_nrz = nullptr;
    QRadioButton *radio_codbit_256 = nullptr;
    QRadioButton *radio_codbit_4 = nullptr;
    QRadioButton *radio_modsel_high = nullptr;
    QButtonGroup *buttonGroup_radio_modsel = nullptr;
    QRadioButton *radio_modsel_low = nullptr;
    QRadioButton *radio_modsel_donnees = nullptr;
    QLineEdit *txtedit_donnee_mod = nullptr;
    QLabel *label_donnees_envoyer = nullptr;
    QLabel *img_fleche_d_mod2 = nullptr;
    QLabel *img_fleche_d_mod1 = nullptr;
    QLabel *img_fleche_d_mod = nullptr;
    QLabel *label_codage_bit = nullptr;
    QLabel *label_entre_modulateur = nullptr;
    QFrame *line_h_tab_signau = nullptr;
    QLabel *label_visu_montant = nullptr;
    QFrame *line_v_tab_signaux = nullptr;
    QLabel *label_config_bnc = nullptr;
    QRadioButton *radio_bnc_donnes_mod = nullptr;
    QButtonGroup *buttonGroup_radio_bnc = nullptr;
    QRadioButton *radio_bnc_man = nullptr;
    QRadioButton *radio_bnc_donnees_raw = nullptr;
    QRadioButton *radio_bnc_manss = nullptr;
    QLabel *img_nb1_mod = nullptr;
    QLabel *img_nb1_bnc = nullptr;
    QLabel *img_nb2_mod = nullptr;
    QLabel *img_nb2_bnc = nullptr;
    QLabel *img_nb3_bnc = nullptr;
    QLabel *img_nb4_bnc = nullptr;
    QFrame *frame_button_mod_send = nullptr;
    QPushButton *button_img_send_mod = nullptr;
    QPushButton *button_txt_send_mod = nullptr;
    QFrame *frame_button_demod_rlcfg = nullptr;
    QPushButton *button_img_demod_rlcfg = nullptr;
    QPushButton *button_txt_demod_rlcfg = nullptr;
    QLabel *label_signaux_demod = nullptr;
    QFrame *frame_button_demod_request = nullptr;
    QPushButton *button_img_request_demod = nullptr;
    QPushButton *button_txt_request_demod = nullptr;
    QLabel *img_bnc = nullptr;
    QLabel *img_fleche_g_demod = nullptr;
    QLabel *img_nb4_demod = nullptr;
    QLabel *img_nb3_demod = nullptr;
    QLabel *img_fleche_d_mod2_2 = nullptr;
    QLabel *img_fleche_d_mod2_3 = nullptr;
    QLabel *img_nb2_mod_2 = nullptr;
    QLabel *label_codage_bit_2 = nullptr;

    // Second page: ISO 14443A and MIFARE Classic.
    QWidget *tab_14443 = nullptr;
    QFrame *frame_14_button_rldcfg = nullptr;
    QPushButton *button_14_txt_rlcfg = nullptr;
    QPushButton *button_14_img_rlcfg = nullptr;
    QLabel *label_14_cmd_iso = nullptr;
    QPushButton *button_14_reqa = nullptr;
    QPushButton *button_14_anticol1 = nullptr;
    QPushButton *button_14_select = nullptr;
    QPushButton *button_14_scantag = nullptr;
    QFrame *tab_14_vline = nullptr;
    QLineEdit *txtedit_14_uid = nullptr;
    QLineEdit *txtedit_14_ATQA = nullptr;
    QLabel *label_14_uid = nullptr;
    QLabel *label_14_atqa = nullptr;
    QLabel *label_mf_mfclassic = nullptr;
    QLineEdit *txtedit_mf_cle = nullptr;
    QLabel *label_mf_cle = nullptr;
    QLineEdit *txtedit_mf_donnees = nullptr;
    QLabel *label_mf_donnees = nullptr;
    QLabel *label_mf_block = nullptr;
    QLineEdit *txtedit_mf_block = nullptr;
    QPushButton *button_mf_auth = nullptr;
    QPushButton *button_mf_read = nullptr;
    QPushButton *button_mf_write = nullptr;
    QFrame *line_v_tab_signaux_2 = nullptr;
    QLabel *label_manu_titre = nullptr;
    QLineEdit *txtedit_manu_bitframing = nullptr;
    QLabel *label_manu_bitframing = nullptr;
    QLineEdit *txtedit_manu_trame = nullptr;
    QLabel *label_manu_trame = nullptr;
    QLineEdit *txtedit_manu_reponse = nullptr;
    QLabel *label_manu_reponse = nullptr;
    QFrame *frame_manu_send = nullptr;
    QPushButton *button_manu_txt_send = nullptr;
    QPushButton *button_manu_img_send = nullptr;
    QLabel *label_manu_chanred = nullptr;
    QLineEdit *txtedit_manu_chanred = nullptr;
    QLabel *label_mf_secteur = nullptr;
    QLineEdit *txtedit_mf_secteur = nullptr;
    QPushButton *button_14_anticol3 = nullptr;
    QPushButton *button_14_anticol2 = nullptr;
    QLabel *label_manu_chanred_2 = nullptr;
    QLineEdit *txtedit_manu_collpos = nullptr;
    QLabel *label_14_uid_incomplet = nullptr;
    QLabel *label_14_uid_erreur = nullptr;
    QLineEdit *txtedit_14_sak = nullptr;
    QLabel *label_14_sak = nullptr;
    QLabel *label_14_indic_cl1 = nullptr;
    QLabel *label_14_indic_cl2 = nullptr;
    QLabel *label_14_indic_sel = nullptr;
    QLabel *img_14_tick = nullptr;

    // Third page: ISO 15693.
    QWidget *tab_15 = nullptr;
    QFrame *frame_15_button_rldcfg = nullptr;
    QPushButton *button_15_txt_rlcfg = nullptr;
    QPushButton *button_15_img_rlcfg = nullptr;
    QLabel *label_15_cmd_iso = nullptr;
    QLineEdit *txtedit_15_uid = nullptr;
    QLabel *label_15_uid = nullptr;
    QPushButton *button_15_inventory = nullptr;
    QLineEdit *txtedit_15_secteur = nullptr;
    QLineEdit *txtedit_15_donnees = nullptr;
    QLabel *label_15_donnees = nullptr;
    QLabel *label_15_secteur = nullptr;
    QPushButton *button_15_read = nullptr;
    QPushButton *button_15_write = nullptr;
    QLineEdit *txtedit_15_flag = nullptr;
    QLabel *labe_15_flag = nullptr;
    QFrame *tab_14_vline_2 = nullptr;
    QFrame *line_v_tab_signaux_3 = nullptr;
    QLabel *label_15_manu_chanred = nullptr;
    QLineEdit *txtedit_15_manu_collpos = nullptr;
    QLineEdit *txtedit_15_manu_chanred = nullptr;
    QLabel *label_15_manu_trame = nullptr;
    QLabel *label_15_manu_titre = nullptr;
    QLineEdit *txtedit_15_manu_trame = nullptr;
    QLabel *label_15_manu_bitframing = nullptr;
    QLineEdit *txtedit_15_manu_reponse = nullptr;
    QFrame *frame_15_manu_send = nullptr;
    QPushButton *button_15_manu_img_send = nullptr;
    QPushButton *button_15_manu_txt_send = nullptr;
    QLabel *label_15_manu_collpos = nullptr;
    QLineEdit *txtedit_15_manu_bitframing = nullptr;
    QLabel *label_15_manu_reponse = nullptr;
    QLabel *label_15_secteur_2 = nullptr;
    QLineEdit *txtedit_15_dsfid = nullptr;
    QLabel *label_15_dsfid = nullptr;
    QLineEdit *txtedit_15_afi = nullptr;
    QLabel *labe_15_afi = nullptr;
    QPushButton *button_15_afi_w = nullptr;
    QLabel *label_15_afi_w = nullptr;
    QLineEdit *txtedit_15_afi_w = nullptr;
    QLabel *label_15_dsfid_w = nullptr;
    QLineEdit *txtedit_15_dsfid_w = nullptr;
    QPushButton *button_15_dsfid_w = nullptr;
    QLineEdit *txtedit_15_uid_2 = nullptr;
    QLineEdit *txtedit_15_dsfid_2 = nullptr;
    QLabel *label_15_sel = nullptr;
    QRadioButton *radio_15_sel_1 = nullptr;
    QButtonGroup *buttonGroup_radio_15_sel = nullptr;
    QRadioButton *radio_15_sel_2 = nullptr;
    QRadioButton *radio_15_sel_all = nullptr;

    // Register-read control, above the tab widget.
    QLineEdit *ctrl_read_adr = nullptr;
    QLineEdit *ctrl_read_val = nullptr;
    QPushButton *butt_ctrl_read = nullptr;

    // Frame: info and credits, web-site links, connection bar.
    QPushButton *button_info_img = nullptr;
    QLabel *label_credit_txt = nullptr;
    QPushButton *pushButton = nullptr;
    QPushButton *pushButton_2 = nullptr;
    QComboBox *comboBox_port = nullptr;
    QPushButton *button_img_refreshportlist = nullptr;
    QPushButton *button_img_port_deco = nullptr;
    QPushButton *button_img_port_connect = nullptr;
    QPushButton *button_txt_port_deco = nullptr;
    QPushButton *button_txt_port_connect = nullptr;
    QLabel *label_visu_montant_2 = nullptr;
    QLabel *label_ERREUR_OK = nullptr;
    QLabel *label_ERREUR = nullptr;
    QLabel *label_visu_montant_3 = nullptr;
    // What the last action did, in one line.
    QLabel *label_message = nullptr;

    // Builds every widget on the window, sets its texts, makes the form's own
    // connections and, last, binds the window's on_<object>_<signal> slots.
    void setupUi(QMainWindow *MainWindow);

    // Sets every user-visible text again (on a language change too), which
    // also puts the fields that carry a translatable text back to it.
    void retranslateUi(QMainWindow *MainWindow);

private:
    void setupWindow(QMainWindow *MainWindow);
    void setupFrameTop();
    void setupVisualisationPage(QMainWindow *MainWindow);
    void setupIso14443aPage();
    void setupIso15693Page(QMainWindow *MainWindow);
    void setupRegisterReadControl();
    void setupFrameBottom();
    void raiseFrameWidgets();
    void connectForm();

    void retranslateFrameTop(QMainWindow *MainWindow);
    void retranslateVisualisationPage();
    void retranslateIso14443aPage();
    void retranslateIso15693Page();
    void retranslateRegisterReadControl();
    void retranslateFrameBottom();
    void retranslateTabTitles();
};

#endif // MAINWINDOWUI_H
