// The ISO 15693 page: inventories of up to two tags, single blocks, AFI and
// DSFID, and hand-built frames with their own coding. Every result shows
// green when the tags carried the command out and red when not; a failure
// is never shown as data.

#include "mainwindow.h"

#include "chipregisters.h"
#include "fieldtext.h"
#include "handbuiltframe.h"
#include "iso15693protocol.h"
#include "mainwindowui.h"
#include "readerlink.h"

#include <QAbstractButton>
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

// A tag the inventory recorded is shown green; a place it left empty shows
// its zero UID and the DSFID of an earlier tag in red.
void showTag(QLineEdit *uidField, QLineEdit *dsfidField, const quint8 *uid, quint8 dsfid, bool found)
{
    uidField->setText(uidText(uid));
    dsfidField->setText(dsfidText(dsfid));
    const QString &colour = found ? Green : Red;
    uidField->setStyleSheet(colour);
    dsfidField->setStyleSheet(colour);
}

// A command's failure in the field of the value it read or wrote: red, with
// the tag's error code when it refused. The field then holds no value to
// write, so its write button waits until the user types one (the field's
// textEdited slot). A write that got no whole answer keeps the value it
// tried, which is still the user's to write again.
void showFailure(const Iso15693Protocol &iso15693, QLineEdit *field, QAbstractButton *write, bool keepsValue)
{
    field->setStyleSheet(Red);
    const bool refused = iso15693.outcome == Iso15693Protocol::Outcome::Refused;
    if (keepsValue && !refused)
        return;
    field->setText(refused ? FieldText::byte(iso15693.errorCode) : QString());
    field->setCursorPosition(0);
    write->setEnabled(false);
}

// A write's outcome in the field of the value written.
void showWriteOutcome(const Iso15693Protocol &iso15693, QLineEdit *field, QAbstractButton *write)
{
    if (iso15693.outcome == Iso15693Protocol::Outcome::Done)
        field->setStyleSheet(Green);
    else
        showFailure(iso15693, field, write, true);
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
    showTag(ui->txtedit_15_uid, ui->txtedit_15_dsfid, iso15693->uid, iso15693->dsfid, iso15693->tagsFound >= 1);
    showTag(ui->txtedit_15_uid_2, ui->txtedit_15_dsfid_2, iso15693->secondUid, iso15693->secondDsfid,
            iso15693->tagsFound >= 2);
}

void MainWindow::on_button_15_read_clicked()
{
    quint8 data[BlockLength] = {};
    iso15693->readSingleBlock(data, FieldText::value(ui->txtedit_15_secteur->text()));
    QLineEdit *field = ui->txtedit_15_donnees;
    if (iso15693->outcome != Iso15693Protocol::Outcome::Done) {
        showFailure(*iso15693, field, ui->button_15_write, false);
        return;
    }
    field->setText(FieldText::bytes(data, BlockLength));
    field->setCursorPosition(0);  // from the first digit, the field being narrow
    field->setStyleSheet(Green);
    ui->button_15_write->setEnabled(true);
}

void MainWindow::on_button_15_write_clicked()
{
    const QString text = ui->txtedit_15_donnees->text();
    quint8 data[BlockLength] = {};
    for (int i = 0; i < BlockLength; ++i)
        data[i] = FieldText::pairValue(text, 2 * i);
    iso15693->writeSingleBlock(data, FieldText::value(ui->txtedit_15_secteur->text()));
    showWriteOutcome(*iso15693, ui->txtedit_15_donnees, ui->button_15_write);
}

void MainWindow::on_button_15_afi_w_clicked()
{
    iso15693->writeAfi(FieldText::value(ui->txtedit_15_afi_w->text()));
    showWriteOutcome(*iso15693, ui->txtedit_15_afi_w, ui->button_15_afi_w);
}

void MainWindow::on_button_15_dsfid_w_clicked()
{
    iso15693->writeDsfid(FieldText::value(ui->txtedit_15_dsfid_w->text()));
    showWriteOutcome(*iso15693, ui->txtedit_15_dsfid_w, ui->button_15_dsfid_w);
}

// What the user types is a value to write again.
void MainWindow::on_txtedit_15_donnees_textEdited(const QString &) { ui->button_15_write->setEnabled(true); }
void MainWindow::on_txtedit_15_afi_w_textEdited(const QString &) { ui->button_15_afi_w->setEnabled(true); }
void MainWindow::on_txtedit_15_dsfid_w_textEdited(const QString &) { ui->button_15_dsfid_w->setEnabled(true); }

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
