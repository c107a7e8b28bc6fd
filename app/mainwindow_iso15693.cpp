// The ISO 15693 page: inventories of up to two tags, single blocks, AFI and
// DSFID, and hand-built frames with their own coding.

#include "mainwindow.h"

#include "chipregisters.h"
#include "fieldtext.h"
#include "handbuiltframe.h"
#include "iso15693protocol.h"
#include "mainwindowui.h"
#include "readerlink.h"

#include <QLineEdit>

namespace {

const QString Green = QStringLiteral("color:green");
const QString Red = QStringLiteral("color:red");

constexpr int UidLength = 8;
constexpr int BlockLength = 4;

// The most significant byte first, as tags print their UIDs (e0...). The
// UID field's mask "\0\x>HH...H ; " takes a first "0" of its text as its own
// literal 0: a UID beginning with a 0 digit gets one more in front, or the
// field would drop that digit and shift the others (a zero UID would show 15
// zeros).
QString uidText(const quint8 *uid)
{
    QString text;
    for (int i = UidLength - 1; i >= 0; --i)
        text += FieldText::byte(uid[i]);
    if (text.startsWith(QLatin1Char('0')))
        text.prepend(QLatin1Char('0'));
    return text;
}

// The DSFID field's mask "\0\x>HH; " takes a first "0" as its own literal:
// zero needs "000" to show 0x00; other values show their own digits.
QString dsfidText(quint8 dsfid)
{
    return dsfid == 0 ? QStringLiteral("000") : FieldText::number(dsfid);
}

// A tag is shown green, or red when its UID cannot be one (two equal top
// bytes: the zero UID of a slot nobody answered).
void showTag(QLineEdit *uidField, QLineEdit *dsfidField, const quint8 *uid, quint8 dsfid)
{
    uidField->setText(uidText(uid));
    dsfidField->setText(dsfidText(dsfid));
    const QString &colour = uid[7] == uid[6] ? Red : Green;
    uidField->setStyleSheet(colour);
    dsfidField->setStyleSheet(colour);
}

} // namespace

void MainWindow::on_button_15_img_rlcfg_clicked()
{
    iso15693->loadConfiguration();
    link->writeRegister(ChipReg::CoderControl, CoderControlBits::Iso15693OneOutOf4);
    ui->radio_codbit_4->click();
}

void MainWindow::on_button_15_inventory_clicked()
{
    ui->txtedit_15_uid->clear();
    ui->txtedit_15_uid_2->clear();
    link->writeRegister(ChipReg::CoderControl, CoderControlBits::Iso15693OneOutOf4);
    iso15693->inventory(FieldText::value(ui->txtedit_15_flag->text()), FieldText::value(ui->txtedit_15_afi->text()));
    showTag(ui->txtedit_15_uid, ui->txtedit_15_dsfid, iso15693->uid, iso15693->dsfid);
    showTag(ui->txtedit_15_uid_2, ui->txtedit_15_dsfid_2, iso15693->secondUid, iso15693->secondDsfid);
}

void MainWindow::on_button_15_read_clicked()
{
    quint8 data[BlockLength] = {};
    iso15693->readSingleBlock(data, FieldText::value(ui->txtedit_15_secteur->text()));
    ui->txtedit_15_donnees->setText(FieldText::bytes(data, BlockLength));
}

void MainWindow::on_button_15_write_clicked()
{
    const QString text = ui->txtedit_15_donnees->text();
    quint8 data[BlockLength] = {};
    for (int i = 0; i < BlockLength; ++i)
        data[i] = FieldText::pairValue(text, 2 * i);
    iso15693->writeSingleBlock(data, FieldText::value(ui->txtedit_15_secteur->text()));
}

void MainWindow::on_button_15_afi_w_clicked()
{
    iso15693->writeAfi(FieldText::value(ui->txtedit_15_afi_w->text()));
}

void MainWindow::on_button_15_dsfid_w_clicked()
{
    iso15693->writeDsfid(FieldText::value(ui->txtedit_15_dsfid_w->text()));
}

void MainWindow::on_txtedit_15_manu_trame_textChanged(const QString &)
{
    ui->frame_15_manu_send->setEnabled(HandBuiltFrame::isSendable(ui->txtedit_15_manu_trame->text()));
}

void MainWindow::on_button_15_manu_img_send_clicked()
{
    link->writeRegister(ChipReg::BitFraming, FieldText::value(ui->txtedit_15_manu_bitframing->text()));
    link->writeRegister(ChipReg::ChannelRedundancy, FieldText::value(ui->txtedit_15_manu_chanred->text()));
    link->writeRegister(ChipReg::CoderControl, FieldText::value(ui->txtedit_15_manu_collpos->text()));
    HandBuiltFrame::send(link, ui->txtedit_15_manu_trame->text());
    ui->txtedit_15_manu_reponse->setText(HandBuiltFrame::readAnswer(link));
}
