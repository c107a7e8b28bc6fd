#include "mainwindow.h"

#include "iso14443aprotocol.h"
#include "iso15693protocol.h"
#include "mainwindowui.h"
#include "makersite.h"
#include "mifareclassic.h"
#include "readerlink.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDesktopServices>
#include <QEvent>
#include <QUrl>

namespace {

void hideAll(std::initializer_list<QWidget *> widgets)
{
    for (QWidget *widget : widgets)
        widget->hide();
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , link(nullptr)
    , iso14443a(nullptr)
    , mifare(nullptr)
    , iso15693(nullptr)
    , ui(new MainWindowUi)
{
    ui->setupUi(this);

    // Nothing works on the pages until a board is connected.
    ui->onglet_main_widget->setEnabled(false);
    ui->button_14_anticol2->setEnabled(true);
    hideAll({ ui->button_14_anticol3, ui->ctrl_read_adr, ui->ctrl_read_val, ui->butt_ctrl_read, ui->button_info_img,
           ui->label_manu_chanred_2, ui->txtedit_manu_collpos, ui->txtedit_mf_secteur, ui->label_mf_secteur,
           ui->label_14_uid_incomplet, ui->label_14_uid_erreur, ui->button_14_scantag });
    ui->button_manu_img_send->setEnabled(true);
    // The connection bar starts disconnected.
    hideAll({ ui->button_txt_port_deco, ui->button_img_port_deco, ui->label_ERREUR_OK, ui->txtedit_port,
           ui->button_txt_port_connect, ui->button_img_port_deco });
    showIso14443Step(StepNone);
    updateListPortCombobox();

    // The first port listed has already put its name into txtedit_port.
    link = new ReaderLink(ui->txtedit_port->text());
    iso14443a = new Iso14443aProtocol(link);
    mifare = new MifareClassic(iso14443a);
    iso15693 = new Iso15693Protocol(link);
}

MainWindow::~MainWindow()
{
    // The widgets go with the window. The protocol objects and the link go
    // too, in the reverse order of their making: closing the port here
    // releases its lock rather than leaving that to the process's end.
    delete iso15693;
    delete mifare;
    delete iso14443a;
    delete link;
    delete ui;
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}

void MainWindow::showIso14443Step(int step)
{
    const quint8 shown = quint8(step);
    ui->label_14_indic_cl1->setVisible(shown == 0);
    ui->label_14_indic_cl2->setVisible(shown == 1);
    ui->label_14_indic_sel->setVisible(shown == 2);
    ui->img_14_tick->setVisible(shown == 3);
}

void MainWindow::on_onglet_main_widget_currentChanged(int index)
{
    // Back on the visualisation page: the other pages may have changed the
    // chip's coding, modulator input or BNC output, so the page's three
    // choices go to the board again.
    if (index != 0)
        return;
    for (QButtonGroup *group : { ui->buttonGroup_radio_bnc, ui->buttonGroup_radio_codbit, ui->buttonGroup_radio_modsel }) {
        if (QAbstractButton *checked = group->checkedButton())
            checked->click();
    }
}

void MainWindow::on_pushButton_clicked()
{
    QDesktopServices::openUrl(QUrl(QString::fromUtf8(MakerSite::address)));
}

void MainWindow::on_button_info_img_pressed()
{
}

void MainWindow::on_button_info_img_released()
{
    ui->label_credit_txt->hide();
}
