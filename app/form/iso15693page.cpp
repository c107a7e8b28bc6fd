// The third page, for ISO/IEC 15693 vicinity tags: the inventory with its
// flags and AFI and the two tags it can show, single-block and AFI/DSFID
// writes at the bottom left, the hand-built frame at the bottom right.

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

// Children in creation order, which is also their stacking order. Line edits
// without a sheet of their own take their rounded border from the page's.
void MainWindowUi::setupIso15693Page(QMainWindow *MainWindow)
{
    QWidget *p = tab_15 = page("tab_15");
    tab_15->setStyleSheet(QString::fromUtf8(sheet_tab_page));

    frame_15_button_rldcfg     = make<QFrame>(p, "frame_15_button_rldcfg", {50, 40, 151, 131}).sheet(sheet_frame_blue).shape(QFrame::StyledPanel, QFrame::Raised);
    button_15_txt_rlcfg        = make<QPushButton>(frame_15_button_rldcfg, "button_15_txt_rlcfg", {0, 80, 151, 51}).sheet(sheet_frame_blue).cursor(Qt::OpenHandCursor).noFocus().iconSize(72, 72).flat();
    button_15_img_rlcfg        = make<QPushButton>(frame_15_button_rldcfg, "button_15_img_rlcfg", {0, -30, 151, 161}).sheet(sheet_image_button).cursor(Qt::OpenHandCursor).noFocus().icon(":/img/img/chip_rouge.png").iconSize(128, 128).flat();
    label_15_cmd_iso           = make<QLabel>(p, "label_15_cmd_iso", {10, 10, 181, 20}).font(arialBold(12)).sheet(sheet_caption).align(Qt::AlignCenter);
    txtedit_15_uid             = make<QLineEdit>(p, "txtedit_15_uid", {520, 80, 191, 27}).mask("\\0\\x>HHHHHHHHHHHHHHHH ; ").maxLength(19).cursorAt(19).palette(palette_edit_plain()).font(arial(11)).sheet(sheet_hex_edit).strongFocus().readOnly();
    label_15_uid               = make<QLabel>(p, "label_15_uid", {570, 50, 81, 21}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    button_15_inventory        = make<QPushButton>(p, "button_15_inventory", {230, 70, 121, 61}).font(arial()).sheet(sheet_command_button).cursor(Qt::OpenHandCursor).noFocus().iconSize(109, 72).notFlat();
    txtedit_15_secteur         = make<QLineEdit>(p, "txtedit_15_secteur", {130, 290, 41, 27}).palette(palette_edit()).font(arial(11)).sheet(sheet_hex_edit);
    txtedit_15_donnees         = make<QLineEdit>(p, "txtedit_15_donnees", {130, 320, 101, 27}).maxLength(8).palette(palette_edit()).font(arial(11)).sheet(sheet_hex_edit);
    label_15_donnees           = make<QLabel>(p, "label_15_donnees", {20, 320, 101, 31}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    label_15_secteur           = make<QLabel>(p, "label_15_secteur", {30, 290, 81, 31}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    button_15_read             = make<QPushButton>(p, "button_15_read", {30, 230, 101, 51}).font(arial()).sheet(sheet_command_button).cursor(Qt::OpenHandCursor).noFocus().iconSize(88, 72).notFlat();
    button_15_write            = make<QPushButton>(p, "button_15_write", {140, 230, 101, 51}).font(arial()).sheet(sheet_command_button).cursor(Qt::OpenHandCursor).noFocus().iconSize(88, 72).notFlat();
    txtedit_15_flag            = make<QLineEdit>(p, "txtedit_15_flag", {380, 90, 31, 27}).palette(palette_edit()).font(arial(11)).sheet(sheet_empty);
    labe_15_flag               = make<QLabel>(p, "labe_15_flag", {360, 60, 71, 21}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    tab_14_vline_2             = make<QFrame>(p, "tab_14_vline_2", {520, 180, 475, 1}).sheet(sheet_rule).shape(QFrame::HLine, QFrame::Sunken);
    line_v_tab_signaux_3       = make<QFrame>(p, "line_v_tab_signaux_3", {520, 180, 1, 191}).sheet(sheet_rule).shape(QFrame::VLine, QFrame::Sunken);
    label_15_manu_chanred      = make<QLabel>(p, "label_15_manu_chanred", {700, 220, 101, 31}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    txtedit_15_manu_collpos    = make<QLineEdit>(p, "txtedit_15_manu_collpos", {960, 220, 31, 27}).mask("HH ; ").text("2E ").maxLength(3).cursorAt(3).palette(palette_edit_grey()).font(arial(11)).strongFocus().readOnly();
    txtedit_15_manu_chanred    = make<QLineEdit>(p, "txtedit_15_manu_chanred", {810, 220, 31, 27}).mask("HH ; ").text("03 ").maxLength(3).cursorAt(3).palette(palette_edit()).font(arial(11)).strongFocus();
    label_15_manu_trame        = make<QLabel>(p, "label_15_manu_trame", {580, 270, 61, 31}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    label_15_manu_titre        = make<QLabel>(p, "label_15_manu_titre", {600, 190, 351, 20}).font(arialBold(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    txtedit_15_manu_trame      = make<QLineEdit>(p, "txtedit_15_manu_trame", {650, 270, 171, 27}).mask("HHHHHHHHHHHHHHHHHHHHHHHHHHHHHHHHHHH ; ").maxLength(36).cursorAt(36).font(arial(11)).strongFocus();
    label_15_manu_bitframing   = make<QLabel>(p, "label_15_manu_bitframing", {550, 220, 81, 31}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    txtedit_15_manu_reponse    = make<QLineEdit>(p, "txtedit_15_manu_reponse", {650, 330, 171, 27}).cursorAt(0).font(arial(11)).readOnly();
    frame_15_manu_send         = make<QFrame>(p, "frame_15_manu_send", {860, 250, 131, 111}).sheet(sheet_frame_blue).disabled().shape(QFrame::StyledPanel, QFrame::Raised);
    button_15_manu_img_send    = make<QPushButton>(frame_15_manu_send, "button_15_manu_img_send", {10, -20, 101, 131}).sheet(sheet_image_button).cursor(Qt::OpenHandCursor).noFocus().icon(":/img/img/rfsignal_bleu_orange.png").iconSize(72, 72).flat();
    button_15_manu_txt_send    = make<QPushButton>(frame_15_manu_send, "button_15_manu_txt_send", {20, 90, 81, 21}).font(arial(11)).sheet(sheet_transparent).cursor(Qt::OpenHandCursor).noFocus().iconSize(72, 72).flat();
    label_15_manu_collpos      = make<QLabel>(p, "label_15_manu_collpos", {850, 220, 101, 31}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    txtedit_15_manu_bitframing = make<QLineEdit>(p, "txtedit_15_manu_bitframing", {650, 220, 31, 27}).mask("HH ; ").text("00 ").maxLength(3).cursorAt(3).palette(palette_edit()).font(arial(11)).strongFocus();
    label_15_manu_reponse      = make<QLabel>(p, "label_15_manu_reponse", {570, 330, 61, 31}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    label_15_secteur_2         = make<QLabel>(p, "label_15_secteur_2", {40, 200, 191, 21}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    txtedit_15_dsfid           = make<QLineEdit>(p, "txtedit_15_dsfid", {760, 80, 91, 27}).mask("\\0\\x>HH; ").maxLength(4).cursorAt(4).palette(palette_edit_plain()).font(arial(11)).sheet(sheet_hex_edit).strongFocus().readOnly();
    label_15_dsfid             = make<QLabel>(p, "label_15_dsfid", {760, 50, 91, 21}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    txtedit_15_afi             = make<QLineEdit>(p, "txtedit_15_afi", {440, 90, 31, 27}).palette(palette_edit()).font(arial(11)).sheet(sheet_hex_edit);
    labe_15_afi                = make<QLabel>(p, "labe_15_afi", {420, 60, 71, 21}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    button_15_afi_w            = make<QPushButton>(p, "button_15_afi_w", {340, 230, 101, 51}).font(arial()).sheet(sheet_command_button).cursor(Qt::OpenHandCursor).noFocus().iconSize(88, 72).notFlat();
    label_15_afi_w             = make<QLabel>(p, "label_15_afi_w", {290, 250, 41, 21}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    txtedit_15_afi_w           = make<QLineEdit>(p, "txtedit_15_afi_w", {450, 240, 51, 31}).palette(palette_edit()).font(arial(11)).sheet(sheet_hex_edit);
    label_15_dsfid_w           = make<QLabel>(p, "label_15_dsfid_w", {280, 304, 51, 31}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    txtedit_15_dsfid_w         = make<QLineEdit>(p, "txtedit_15_dsfid_w", {450, 300, 51, 31}).palette(palette_edit()).font(arial(11)).sheet(sheet_hex_edit);
    button_15_dsfid_w          = make<QPushButton>(p, "button_15_dsfid_w", {340, 294, 101, 51}).font(arial()).sheet(sheet_command_button).cursor(Qt::OpenHandCursor).noFocus().iconSize(88, 72).notFlat();
    txtedit_15_uid_2           = make<QLineEdit>(p, "txtedit_15_uid_2", {520, 120, 191, 27}).mask("\\0\\x>HHHHHHHHHHHHHHHH ; ").maxLength(19).cursorAt(19).palette(palette_edit_plain()).font(arial(11)).sheet(sheet_hex_edit).strongFocus().readOnly();
    txtedit_15_dsfid_2         = make<QLineEdit>(p, "txtedit_15_dsfid_2", {760, 120, 91, 27}).mask("\\0\\x>HH; ").maxLength(4).cursorAt(4).palette(palette_edit_plain()).font(arial(11)).sheet(sheet_hex_edit).strongFocus().readOnly();
    label_15_sel               = make<QLabel>(p, "label_15_sel", {880, 50, 91, 21}).font(arial(11)).sheet(sheet_caption).align(Qt::AlignCenter);
    radio_15_sel_1             = make<QRadioButton>(p, "radio_15_sel_1", {920, 80, 31, 22}).font(arial(11)).sheet(sheet_no_border).inNewGroup(buttonGroup_radio_15_sel, MainWindow, "buttonGroup_radio_15_sel").noFocus();
    radio_15_sel_2             = make<QRadioButton>(p, "radio_15_sel_2", {920, 120, 31, 22}).font(arial(11)).sheet(sheet_no_border).inGroup(buttonGroup_radio_15_sel).noFocus();
    radio_15_sel_all           = make<QRadioButton>(p, "radio_15_sel_all", {920, 150, 61, 22}).font(arial(11)).sheet(sheet_no_border).inGroup(buttonGroup_radio_15_sel).noFocus().checked();
}

// Besides the captions, this puts the command fields and the frame back to
// their initial texts and empties the four inventory result fields.
void MainWindowUi::retranslateIso15693Page()
{
    button_15_txt_rlcfg->setText(tr("Recharger la config \n ISO15693"));
    button_15_img_rlcfg->setText(QString());
    label_15_cmd_iso->setText(tr("Commandes ISO15693"));
    txtedit_15_uid->setText(tr("0x "));
    label_15_uid->setText(tr("Identifiant :"));
    button_15_inventory->setText(tr("Inventory"));
    txtedit_15_secteur->setInputMask(tr(">HH; "));
    txtedit_15_secteur->setText(tr("00"));
    txtedit_15_donnees->setInputMask(tr(">HHHHHHHH; "));
    txtedit_15_donnees->setText(tr("00000000"));
    label_15_donnees->setText(tr("Données"));
    label_15_secteur->setText(tr("Secteur"));
    button_15_read->setText(tr("Lecture"));
    button_15_write->setText(tr("Écriture"));
    txtedit_15_flag->setToolTip(tr("Exemples : \n0x26 : 1 slot + Ignore AFI\n0x06 : 16 slots + Ignore AFI\n0x36: 1 slot + AFI\n0x16: 16 slot + AFI"));
    txtedit_15_flag->setInputMask(tr("HH; "));
    txtedit_15_flag->setText(tr("26"));
    labe_15_flag->setText(tr("Flags"));
    label_15_manu_chanred->setText(tr("Channel \n Redundancy"));
    label_15_manu_trame->setText(tr("Trame"));
    label_15_manu_titre->setText(tr("Construction manuelle des trames"));
    txtedit_15_manu_trame->setText(tr(""));
    label_15_manu_bitframing->setText(tr("Bit Framing"));
    txtedit_15_manu_reponse->setInputMask(tr(">HHHHHHHHHHHHHHHHHHHH; "));
    button_15_manu_img_send->setText(QString());
    button_15_manu_txt_send->setText(tr("Transceive"));
    label_15_manu_collpos->setText(tr("CoderControl"));
    label_15_manu_reponse->setText(tr("Réponse"));
    label_15_secteur_2->setText(tr("Accès mémoire"));
    txtedit_15_dsfid->setText(tr("0x"));
    label_15_dsfid->setText(tr("DSFID :"));
    txtedit_15_afi->setInputMask(tr("HH; "));
    txtedit_15_afi->setText(tr("00"));
    labe_15_afi->setText(tr("AFI"));
    button_15_afi_w->setText(tr("Écriture"));
    label_15_afi_w->setText(tr("AFI"));
    txtedit_15_afi_w->setInputMask(tr(">HH; "));
    txtedit_15_afi_w->setText(tr("00"));
    label_15_dsfid_w->setText(tr("DSFID"));
    txtedit_15_dsfid_w->setInputMask(tr(">HH; "));
    txtedit_15_dsfid_w->setText(tr("00"));
    button_15_dsfid_w->setText(tr("Écriture"));
    txtedit_15_uid_2->setText(tr("0x "));
    txtedit_15_dsfid_2->setText(tr("0x"));
    label_15_sel->setText(tr("Selection"));
    radio_15_sel_1->setText(QString());
    radio_15_sel_2->setText(QString());
    radio_15_sel_all->setText(tr("tous"));
}
