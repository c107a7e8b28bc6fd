// The first page, a bench for watching the chip's signals on the board's BNC
// output, drawn as a chain from left to right: data, bit coding, modulator
// input, send; below, the BNC choice and the received-signal chain. Also the
// register-read control, which sits on the central widget above the tabs.

#include "mainwindowui.h"

#include "formbuilders.h"
#include "formstyles.h"

#include <QButtonGroup>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>

using namespace FormBuilders;
using namespace FormStyles;

// Children in creation order, which is also their stacking order.
void MainWindowUi::setupVisualisationPage(QMainWindow *MainWindow)
{
    QWidget *p = tab_visu_signaux = page("tab_visu_signaux");
    tab_visu_signaux->setFont(bold());
    tab_visu_signaux->setStyleSheet(QString::fromUtf8(sheet_empty));

    radio_codbit_miller        = make<QRadioButton>(p, "radio_codbit_miller", {300, 50, 211, 22}).font(arial(11)).sheet(sheet_no_border).inNewGroup(buttonGroup_radio_codbit, MainWindow, "buttonGroup_radio_codbit").noFocus().checked();
    radio_codbit_nrz           = make<QRadioButton>(p, "radio_codbit_nrz", {300, 80, 201, 22}).font(arial(11)).sheet(sheet_no_border).inGroup(buttonGroup_radio_codbit).noFocus();
    radio_codbit_256           = make<QRadioButton>(p, "radio_codbit_256", {300, 110, 201, 22}).font(arial(11)).sheet(sheet_no_border).inGroup(buttonGroup_radio_codbit).noFocus();
    radio_codbit_4             = make<QRadioButton>(p, "radio_codbit_4", {300, 140, 201, 22}).font(arial(11)).sheet(sheet_no_border).inGroup(buttonGroup_radio_codbit).noFocus();
    radio_modsel_high          = make<QRadioButton>(p, "radio_modsel_high", {650, 60, 131, 22}).font(arial(11)).sheet(sheet_no_border).inNewGroup(buttonGroup_radio_modsel, MainWindow, "buttonGroup_radio_modsel").noFocus();
    radio_modsel_low           = make<QRadioButton>(p, "radio_modsel_low", {650, 90, 131, 22}).font(arial(11)).sheet(sheet_no_border).inGroup(buttonGroup_radio_modsel).noFocus();
    radio_modsel_donnees       = make<QRadioButton>(p, "radio_modsel_donnees", {650, 120, 131, 22}).font(arial(11)).sheet(sheet_no_border).inGroup(buttonGroup_radio_modsel).noFocus().checked();
    txtedit_donnee_mod         = make<QLineEdit>(p, "txtedit_donnee_mod", {40, 90, 131, 27}).mask("HH ; ").text("FF ").maxLength(3).cursorAt(3).palette(palette_edit()).font(arial(11)).sheet(sheet_hex_edit).strongFocus();
    label_donnees_envoyer      = make<QLabel>(p, "label_donnees_envoyer", {30, 70, 151, 20}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    img_fleche_d_mod2          = make<QLabel>(p, "img_fleche_d_mod2", {780, 80, 81, 41}).sheet(sheet_arrow).lineWidth(0).picture(":/img/img/fleche_droite_bleu.png").scaled();
    img_fleche_d_mod1          = make<QLabel>(p, "img_fleche_d_mod1", {540, 80, 81, 41}).sheet(sheet_arrow).lineWidth(0).picture(":/img/img/fleche_droite_bleu.png").scaled();
    img_fleche_d_mod           = make<QLabel>(p, "img_fleche_d_mod", {200, 80, 81, 41}).sheet(sheet_arrow).lineWidth(0).picture(":/img/img/fleche_droite_bleu.png").scaled();
    label_codage_bit           = make<QLabel>(p, "label_codage_bit", {320, 20, 151, 17}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    label_entre_modulateur     = make<QLabel>(p, "label_entre_modulateur", {640, 30, 151, 17}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    line_h_tab_signau          = make<QFrame>(p, "line_h_tab_signau", {10, 180, 981, 1}).sheet(sheet_rule).shape(QFrame::HLine, QFrame::Sunken);
    label_visu_montant         = make<QLabel>(p, "label_visu_montant", {10, 9, 241, 21}).font(arialBold(12)).sheet(sheet_caption).align(Qt::AlignCenter);
    line_v_tab_signaux         = make<QFrame>(p, "line_v_tab_signaux", {440, 190, 1, 181}).sheet(sheet_rule).shape(QFrame::VLine, QFrame::Sunken);
    label_config_bnc           = make<QLabel>(p, "label_config_bnc", {20, 280, 141, 61}).font(arialBold(12)).sheet(sheet_caption).align(Qt::AlignCenter);
    radio_bnc_donnes_mod       = make<QRadioButton>(p, "radio_bnc_donnes_mod", {220, 240, 161, 31}).font(arial(11)).sheet(sheet_no_border).inNewGroup(buttonGroup_radio_bnc, MainWindow, "buttonGroup_radio_bnc").noFocus();
    radio_bnc_man              = make<QRadioButton>(p, "radio_bnc_man", {220, 340, 201, 31}).font(arial(11)).sheet(sheet_no_border).inGroup(buttonGroup_radio_bnc).noFocus();
    radio_bnc_donnees_raw      = make<QRadioButton>(p, "radio_bnc_donnees_raw", {220, 190, 171, 31}).font(arial(11)).sheet(sheet_no_border).inGroup(buttonGroup_radio_bnc).noFocus().checked();
    radio_bnc_manss            = make<QRadioButton>(p, "radio_bnc_manss", {220, 280, 211, 51}).font(arial(11)).sheet(sheet_no_border).inGroup(buttonGroup_radio_bnc).noFocus();
    img_nb1_mod                = make<QLabel>(p, "img_nb1_mod", {200, 50, 31, 31}).sheet(sheet_no_border).picture(":/img/img/nb1_bleu.png").scaled();
    img_nb1_bnc                = make<QLabel>(p, "img_nb1_bnc", {180, 190, 31, 31}).sheet(sheet_no_border).picture(":/img/img/nb1_bleu.png").scaled();
    img_nb2_mod                = make<QLabel>(p, "img_nb2_mod", {540, 50, 31, 31}).sheet(sheet_no_border).picture(":/img/img/nb2_bleu.png").scaled();
    img_nb2_bnc                = make<QLabel>(p, "img_nb2_bnc", {180, 240, 31, 31}).sheet(sheet_no_border).picture(":/img/img/nb2_bleu.png").scaled();
    img_nb3_bnc                = make<QLabel>(p, "img_nb3_bnc", {180, 290, 31, 31}).sheet(sheet_no_border).picture(":/img/img/nb3_orange.png").scaled();
    img_nb4_bnc                = make<QLabel>(p, "img_nb4_bnc", {180, 340, 31, 31}).sheet(sheet_no_border).picture(":/img/img/nb4_orange.png").scaled();
    frame_button_mod_send      = make<QFrame>(p, "frame_button_mod_send", {870, 30, 101, 141}).sheet(sheet_transparent).shape(QFrame::NoFrame, QFrame::Raised).lineWidth(0);
    button_img_send_mod        = make<QPushButton>(frame_button_mod_send, "button_img_send_mod", {0, -10, 101, 151}).sheet(sheet_image_button).cursor(Qt::OpenHandCursor).noFocus().icon(":/img/img/rfsignal_bleu_orange.png").iconSize(72, 72).flat();
    button_txt_send_mod        = make<QPushButton>(frame_button_mod_send, "button_txt_send_mod", {0, 100, 101, 41}).font(arial(11)).sheet(sheet_transparent).cursor(Qt::OpenHandCursor).noFocus().iconSize(72, 72).flat();
    frame_button_demod_rlcfg   = make<QFrame>(p, "frame_button_demod_rlcfg", {450, 210, 161, 121}).sheet(sheet_frame_orange).shape(QFrame::StyledPanel, QFrame::Raised);
    button_img_demod_rlcfg     = make<QPushButton>(frame_button_demod_rlcfg, "button_img_demod_rlcfg", {10, -30, 151, 151}).sheet(sheet_image_button).cursor(Qt::OpenHandCursor).noFocus().icon(":/img/img/chip_orange.png").iconSize(128, 128).flat();
    button_txt_demod_rlcfg     = make<QPushButton>(frame_button_demod_rlcfg, "button_txt_demod_rlcfg", {10, 80, 141, 41}).font(arial(10)).sheet(sheet_transparent).cursor(Qt::OpenHandCursor).noFocus().iconSize(72, 72).flat();
    label_signaux_demod        = make<QLabel>(p, "label_signaux_demod", {510, 190, 451, 20}).font(arialBold(12)).sheet(sheet_caption).align(Qt::AlignCenter);
    frame_button_demod_request = make<QFrame>(p, "frame_button_demod_request", {690, 220, 101, 91}).font(bold()).sheet(sheet_frame_orange).shape(QFrame::StyledPanel, QFrame::Raised);
    button_img_request_demod   = make<QPushButton>(frame_button_demod_request, "button_img_request_demod", {0, -40, 101, 131}).sheet(sheet_image_button).cursor(Qt::OpenHandCursor).noFocus().icon(":/img/img/rfsignal_bleu_orange.png").iconSize(48, 72).flat();
    button_txt_request_demod   = make<QPushButton>(frame_button_demod_request, "button_txt_request_demod", {0, 50, 101, 41}).font(arial(11)).sheet(sheet_transparent).cursor(Qt::OpenHandCursor).noFocus().iconSize(72, 72).flat();
    img_bnc                    = make<QLabel>(p, "img_bnc", {60, 220, 61, 61}).sheet(sheet_no_border).picture(":/img/img/bnc.png").scaled();
    img_fleche_g_demod         = make<QLabel>(p, "img_fleche_g_demod", {860, 310, 71, 61}).sheet(sheet_no_border).picture(":/img/img/fleche_gauche_orange.png").scaled();
    img_nb4_demod              = make<QLabel>(p, "img_nb4_demod", {810, 320, 31, 31}).sheet(sheet_no_border).picture(":/img/img/nb4_orange.png").scaled();
    img_nb3_demod              = make<QLabel>(p, "img_nb3_demod", {760, 320, 31, 31}).sheet(sheet_no_border).picture(":/img/img/nb3_orange.png").scaled();
    img_fleche_d_mod2_2        = make<QLabel>(p, "img_fleche_d_mod2_2", {630, 250, 51, 31}).sheet(sheet_arrow).lineWidth(0).picture(":/img/img/fleche_droite_bleu.png").scaled();
    img_fleche_d_mod2_3        = make<QLabel>(p, "img_fleche_d_mod2_3", {810, 250, 51, 31}).sheet(sheet_arrow).lineWidth(0).picture(":/img/img/fleche_droite_bleu.png").scaled();
    img_nb2_mod_2              = make<QLabel>(p, "img_nb2_mod_2", {890, 230, 71, 71}).sheet(sheet_no_border).picture(":/img/img/tag.png").scaled();
    label_codage_bit_2         = make<QLabel>(p, "label_codage_bit_2", {750, 356, 101, 21}).font(arial(11)).sheet(sheet_caption_orange).align(Qt::AlignCenter);
}

void MainWindowUi::retranslateVisualisationPage()
{
    radio_codbit_miller->setText(tr("Miller modifié (ISO 14443A)"));
    radio_codbit_nrz->setText(tr("NRZ-L (ISO 14443B)"));
    radio_codbit_256->setText(tr("1 parmi 256 (ISO 15693)"));
    radio_codbit_4->setText(tr("1 parmi 4 (ISO 15693)"));
    radio_modsel_high->setText(tr("Niveau Haut"));
    radio_modsel_low->setText(tr("Niveau Bas"));
    radio_modsel_donnees->setText(tr("Données"));
    label_donnees_envoyer->setText(tr("Données  brutes (hex)"));
    img_fleche_d_mod2->setText(QString());
    img_fleche_d_mod1->setText(QString());
    img_fleche_d_mod->setText(QString());
    label_codage_bit->setText(tr("Codage Bit"));
    label_entre_modulateur->setText(tr("Entrée du modulateur"));
    label_visu_montant->setText(tr("Visualisation des signaux émis"));
    label_config_bnc->setText(tr("Configuration\n de la sortie BNC"));
    radio_bnc_donnes_mod->setText(tr("Données codées"));
    radio_bnc_man->setText(tr("Données démodulées\nManchester"));
    radio_bnc_donnees_raw->setText(tr("Données brutes"));
    radio_bnc_manss->setText(tr("Données démodulées\nManchester Sous-Porteuse"));
    img_nb1_mod->setText(QString());
    img_nb1_bnc->setText(QString());
    img_nb2_mod->setText(QString());
    img_nb2_bnc->setText(QString());
    img_nb3_bnc->setText(QString());
    img_nb4_bnc->setText(QString());
    button_img_send_mod->setText(QString());
    button_txt_send_mod->setText(tr("Transmettre\n les données"));
    button_img_demod_rlcfg->setText(QString());
    button_txt_demod_rlcfg->setText(tr("Recharger la config \n ISO14443A"));
    label_signaux_demod->setText(tr("Visualisation des signaux reçus (démodulés)"));
    button_img_request_demod->setText(QString());
    button_txt_request_demod->setText(tr("Requête vers\n le tag"));
    img_bnc->setText(QString());
    img_fleche_g_demod->setText(QString());
    img_nb4_demod->setText(QString());
    img_nb3_demod->setText(QString());
    img_fleche_d_mod2_2->setText(QString());
    img_fleche_d_mod2_3->setText(QString());
    img_nb2_mod_2->setText(QString());
    label_codage_bit_2->setText(tr("Visualisation"));
}

// Peek at any chip register: address and value, one byte each, in hexadecimal.
void MainWindowUi::setupRegisterReadControl()
{
    ctrl_read_adr  = make<QLineEdit>(centralWidget, "ctrl_read_adr", {670, 40, 51, 27}).mask("HH ; ").text("FF ").maxLength(3).cursorAt(3).strongFocus();
    ctrl_read_val  = make<QLineEdit>(centralWidget, "ctrl_read_val", {760, 40, 51, 27}).mask("HH ; ").text("FF ").maxLength(3).cursorAt(3).strongFocus();
    butt_ctrl_read = make<QPushButton>(centralWidget, "butt_ctrl_read", {700, 90, 93, 27});
}

void MainWindowUi::retranslateRegisterReadControl()
{
    butt_ctrl_read->setText(tr("read"));
}
