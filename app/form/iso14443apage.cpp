// The second page, for ISO/IEC 14443 type A cards: the identification
// commands and their results along the top, MIFARE Classic block access at
// the bottom left, the hand-built frame at the bottom right.

#include "mainwindowui.h"

#include "formbuilders.h"
#include "formstyles.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace FormBuilders;
using namespace FormStyles;

// Children in creation order, which is also their stacking order. The result
// fields get their masks from retranslateUi; the manual-frame fields get
// mask, text, length and cursor here.
void MainWindowUi::setupIso14443aPage()
{
    QWidget *p = tab_14443 = page("tab_14443");
    tab_14443->setStyleSheet(QString::fromUtf8(sheet_tab_page));

    frame_14_button_rldcfg  = make<QFrame>(p, "frame_14_button_rldcfg", {30, 40, 151, 131}).sheet(sheet_frame_blue).shape(QFrame::StyledPanel, QFrame::Raised);
    button_14_txt_rlcfg     = make<QPushButton>(frame_14_button_rldcfg, "button_14_txt_rlcfg", {0, 80, 151, 61}).sheet(sheet_transparent).cursor(Qt::OpenHandCursor).noFocus().iconSize(72, 72).flat();
    button_14_img_rlcfg     = make<QPushButton>(frame_14_button_rldcfg, "button_14_img_rlcfg", {0, -30, 151, 161}).sheet(sheet_image_button).cursor(Qt::OpenHandCursor).noFocus().icon(":/img/img/chip_orange.png").iconSize(128, 72).flat();
    label_14_cmd_iso        = make<QLabel>(p, "label_14_cmd_iso", {10, 10, 191, 20}).font(arialBold(12)).sheet(sheet_caption).align(Qt::AlignCenter);
    button_14_reqa          = make<QPushButton>(p, "button_14_reqa", {230, 50, 111, 51}).font(arial()).sheet(sheet_command_button).cursor(Qt::OpenHandCursor).noFocus().iconSize(96, 96).notFlat();
    button_14_anticol1      = make<QPushButton>(p, "button_14_anticol1", {430, 50, 121, 51}).font(arial()).sheet(sheet_command_button).cursor(Qt::OpenHandCursor).noFocus().iconSize(104, 96).notFlat();
    button_14_select        = make<QPushButton>(p, "button_14_select", {790, 50, 131, 51}).font(arial()).sheet(sheet_command_button).cursor(Qt::OpenHandCursor).noFocus().iconSize(104, 72).notFlat();
    button_14_scantag       = make<QPushButton>(p, "button_14_scantag", {950, 70, 31, 21}).sheet(sheet_frame_blue).cursor(Qt::OpenHandCursor).noFocus().icon(":/img/img/scan.png").iconSize(201, 83).flat();
    tab_14_vline            = make<QFrame>(p, "tab_14_vline", {10, 180, 981, 1}).sheet(sheet_rule).shape(QFrame::HLine, QFrame::Sunken);
    txtedit_14_uid          = make<QLineEdit>(p, "txtedit_14_uid", {440, 140, 161, 27}).font(arial(11)).sheet(sheet_hex_edit).readOnly();
    txtedit_14_ATQA         = make<QLineEdit>(p, "txtedit_14_ATQA", {240, 140, 101, 27}).font(arial(11)).sheet(sheet_hex_edit).readOnly();
    label_14_uid            = make<QLabel>(p, "label_14_uid", {440, 120, 161, 20}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    label_14_atqa           = make<QLabel>(p, "label_14_atqa", {210, 120, 151, 17}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    label_mf_mfclassic      = make<QLabel>(p, "label_mf_mfclassic", {10, 190, 271, 20}).font(arialBold(12)).sheet(sheet_caption).align(Qt::AlignCenter);
    txtedit_mf_cle          = make<QLineEdit>(p, "txtedit_mf_cle", {70, 310, 125, 31}).palette(palette_edit()).font(arial(11)).sheet(sheet_hex_edit);
    label_mf_cle            = make<QLabel>(p, "label_mf_cle", {10, 310, 51, 31}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    txtedit_mf_donnees      = make<QLineEdit>(p, "txtedit_mf_donnees", {60, 240, 251, 27}).maxLength(32).font(fixedPitch(9)).sheet(sheet_hex_edit);
    label_mf_donnees        = make<QLabel>(p, "label_mf_donnees", {100, 220, 151, 17}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    label_mf_block          = make<QLabel>(p, "label_mf_block", {10, 220, 41, 21}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    txtedit_mf_block        = make<QLineEdit>(p, "txtedit_mf_block", {10, 240, 41, 27}).palette(palette_edit()).font(arial(11)).sheet(sheet_hex_edit);
    button_mf_auth          = make<QPushButton>(p, "button_mf_auth", {210, 300, 101, 51}).sheet(sheet_command_button_14px).cursor(Qt::OpenHandCursor).noFocus().iconSize(72, 72).notFlat();
    button_mf_read          = make<QPushButton>(p, "button_mf_read", {320, 230, 92, 41}).sheet(sheet_command_button).cursor(Qt::OpenHandCursor).noFocus().iconSize(72, 72).notFlat();
    button_mf_write         = make<QPushButton>(p, "button_mf_write", {420, 230, 101, 41}).sheet(sheet_command_button).disabled().cursor(Qt::OpenHandCursor).noFocus().iconSize(72, 72).notFlat();
    line_v_tab_signaux_2    = make<QFrame>(p, "line_v_tab_signaux_2", {530, 200, 1, 171}).sheet(sheet_rule).shape(QFrame::VLine, QFrame::Sunken);
    label_manu_titre        = make<QLabel>(p, "label_manu_titre", {530, 190, 281, 20}).font(arialBold(12)).sheet(sheet_caption).align(Qt::AlignCenter);
    txtedit_manu_bitframing = make<QLineEdit>(p, "txtedit_manu_bitframing", {690, 230, 31, 27}).mask("HH ; ").text("00 ").maxLength(3).cursorAt(3).palette(palette_edit()).font(arial(11)).sheet(sheet_hex_edit).strongFocus();
    label_manu_bitframing   = make<QLabel>(p, "label_manu_bitframing", {600, 230, 81, 31}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    txtedit_manu_trame      = make<QLineEdit>(p, "txtedit_manu_trame", {670, 280, 171, 27}).mask("HHHHHHHHHHHHHHHHHHHHHHHHHHHHHHHHHHH ; ").maxLength(36).cursorAt(36).palette(palette_edit()).font(arial(11)).sheet(sheet_hex_edit).strongFocus();
    label_manu_trame        = make<QLabel>(p, "label_manu_trame", {570, 280, 91, 31}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    txtedit_manu_reponse    = make<QLineEdit>(p, "txtedit_manu_reponse", {670, 340, 171, 27}).cursorAt(0).palette(palette_edit()).font(arial(11)).sheet(sheet_hex_edit).readOnly();
    label_manu_reponse      = make<QLabel>(p, "label_manu_reponse", {560, 340, 101, 31}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    frame_manu_send         = make<QFrame>(p, "frame_manu_send", {880, 270, 101, 101}).sheet(sheet_transparent).disabled().shape(QFrame::StyledPanel, QFrame::Raised);
    button_manu_txt_send    = make<QPushButton>(frame_manu_send, "button_manu_txt_send", {10, 80, 91, 21}).font(arial(11)).sheet(sheet_transparent).cursor(Qt::OpenHandCursor).noFocus().iconSize(72, 72).flat();
    button_manu_img_send    = make<QPushButton>(frame_manu_send, "button_manu_img_send", {20, -10, 71, 111}).sheet(sheet_image_button).disabled().cursor(Qt::OpenHandCursor).noFocus().icon(":/img/img/rfsignal_bleu_orange.png").iconSize(72, 72).notFlat();
    label_manu_chanred      = make<QLabel>(p, "label_manu_chanred", {730, 220, 101, 51}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    txtedit_manu_chanred    = make<QLineEdit>(p, "txtedit_manu_chanred", {830, 230, 31, 27}).mask("HH ; ").text("03 ").maxLength(3).cursorAt(3).palette(palette_edit()).font(arial(11)).sheet(sheet_hex_edit).strongFocus();
    label_mf_secteur        = make<QLabel>(p, "label_mf_secteur", {440, 300, 61, 31}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    txtedit_mf_secteur      = make<QLineEdit>(p, "txtedit_mf_secteur", {470, 330, 41, 31}).palette(palette_edit()).font(arial(11)).sheet(sheet_hex_edit);
    button_14_anticol3      = make<QPushButton>(p, "button_14_anticol3", {890, 110, 101, 31}).sheet(sheet_frame_blue_border).disabled().cursor(Qt::OpenHandCursor).noFocus().iconSize(72, 72).flat();
    button_14_anticol2      = make<QPushButton>(p, "button_14_anticol2", {560, 50, 131, 51}).font(arial()).sheet(sheet_command_button).disabled().cursor(Qt::OpenHandCursor).noFocus().iconSize(104, 72).notFlat();
    label_manu_chanred_2    = make<QLabel>(p, "label_manu_chanred_2", {880, 230, 61, 31}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    txtedit_manu_collpos    = make<QLineEdit>(p, "txtedit_manu_collpos", {950, 230, 31, 27}).mask("HH ; ").text("00 ").maxLength(3).cursorAt(3).palette(palette_edit_plain()).sheet(sheet_hex_edit).strongFocus().readOnly();
    label_14_uid_incomplet  = make<QLabel>(p, "label_14_uid_incomplet", {610, 140, 91, 21}).font(arial(11)).sheet(sheet_caption_red).align(Qt::AlignCenter);
    label_14_uid_erreur     = make<QLabel>(p, "label_14_uid_erreur", {620, 140, 91, 20}).font(arial(11)).sheet(sheet_caption_red).align(Qt::AlignCenter);
    txtedit_14_sak          = make<QLineEdit>(p, "txtedit_14_sak", {840, 140, 51, 27}).maxLength(5).font(arial(11)).sheet(sheet_hex_edit_pad2).align(Qt::AlignLeft | Qt::AlignVCenter).readOnly();
    label_14_sak            = make<QLabel>(p, "label_14_sak", {780, 140, 51, 31}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    label_14_indic_cl1      = make<QLabel>(p, "label_14_indic_cl1", {480, 20, 31, 31}).sheet(sheet_transparent).picture(":/img/img/arrow_down.png").scaled();
    label_14_indic_cl2      = make<QLabel>(p, "label_14_indic_cl2", {610, 20, 31, 31}).sheet(sheet_transparent).picture(":/img/img/arrow_down.png").scaled();
    label_14_indic_sel      = make<QLabel>(p, "label_14_indic_sel", {840, 20, 31, 31}).sheet(sheet_transparent).picture(":/img/img/arrow_down.png").scaled();
    img_14_tick             = make<QLabel>(p, "img_14_tick", {940, 60, 31, 31}).sheet(sheet_transparent).picture(":/img/img/tick.png").scaled();
}

// Besides the captions, this puts the MIFARE fields and the frame back to
// their initial texts, and gives the result fields their "0x" masks.
void MainWindowUi::retranslateIso14443aPage()
{
    button_14_txt_rlcfg->setText(tr("Recharger la config \n ISO14443A"));
    button_14_img_rlcfg->setText(QString());
    label_14_cmd_iso->setText(tr("Commandes ISO1443A"));
    button_14_reqa->setText(tr("REQ A \n 0x26"));
    button_14_anticol1->setText(tr("Anticol CL1\n 0x93"));
    button_14_select->setText(tr("Select\n0x70"));
    button_14_scantag->setText(QString());
    txtedit_14_uid->setInputMask(tr("\\0\\x>HHHHHHHHHHHHHHHH; "));
    txtedit_14_ATQA->setInputMask(tr("\\0\\x>HHHH ; "));
    label_14_uid->setText(tr("Identifiant"));
    label_14_atqa->setText(tr("ATQA"));
    label_mf_mfclassic->setText(tr("Commandes Mifare Classic/Ulight"));
    txtedit_mf_cle->setInputMask(tr(">HHHHHHHHHHHH; "));
    txtedit_mf_cle->setText(tr("3C5E7A91B2D4"));
    label_mf_cle->setText(tr("Clé "));
    txtedit_mf_donnees->setInputMask(tr(">HHHHHHHHHHHHHHHHHHHHHHHHHHHHHHHH; "));
    txtedit_mf_donnees->setText(tr("00000000000000000000000000000000"));
    label_mf_donnees->setText(tr("Données (hex)"));
    label_mf_block->setText(tr("Bloc"));
    txtedit_mf_block->setInputMask(tr("99; "));
    txtedit_mf_block->setText(tr("00"));
    button_mf_auth->setText(tr("Mifare Classic\nAUTH A"));
    button_mf_read->setText(tr("Lecture"));
    button_mf_write->setText(tr("Écriture"));
    label_manu_titre->setText(tr("Construction manuelle des trames"));
    label_manu_bitframing->setText(tr("Bit Framing"));
    txtedit_manu_trame->setText(tr(""));
    label_manu_trame->setText(tr("Trame (hex)"));
    txtedit_manu_reponse->setInputMask(tr(">HHHHHHHHHHHHHHHHHHHH; "));
    label_manu_reponse->setText(tr("Réponse (hex)"));
    button_manu_txt_send->setText(tr("Transceive"));
    button_manu_img_send->setText(QString());
    label_manu_chanred->setText(tr("Channel \n Redundancy"));
    label_mf_secteur->setText(tr("Secteur"));
    txtedit_mf_secteur->setInputMask(tr("99; "));
    txtedit_mf_secteur->setText(tr("00"));
    button_14_anticol3->setText(tr("Anticol 0x97"));
    button_14_anticol2->setText(tr("Anticol CL2\n0x95"));
    label_manu_chanred_2->setText(tr("CollPos"));
    label_14_uid_incomplet->setText(tr("incomplet"));
    label_14_uid_erreur->setText(tr("erreur"));
    txtedit_14_sak->setInputMask(tr("\\0\\x>HH ; "));
    label_14_sak->setText(tr("SAK"));
    label_14_indic_cl1->setText(QString());
    label_14_indic_cl2->setText(QString());
    label_14_indic_sel->setText(QString());
    img_14_tick->setText(QString());
}
