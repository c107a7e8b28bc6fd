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
#include "resultstyle.h"
#include "tagerrortext.h"

#include <QAbstractButton>
#include <QLineEdit>

namespace {

using namespace ResultStyle;


constexpr int UidLength = 8;
constexpr int BlockLength = 4;
constexpr quint8 OneSlotFlag = 0x20;  // Nb_slots_flag of the inventory's flags

// The inventory as the journal names it: by the slots its flags ask for.
QString inventoryName(quint8 flags)
{
    return flags & OneSlotFlag ? QStringLiteral("Inventory 1 créneau") : QStringLiteral("Inventory 16 créneaux");
}

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

// A UID as the message line gives it: most significant byte first.
QString uidWords(const quint8 *uid)
{
    QString text;
    for (int i = UidLength - 1; i >= 0; --i)
        text += FieldText::byte(uid[i]);
    return text.toUpper();
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

// What a block, AFI or DSFID command got back, in the user's words; `whom`
// says which tags the command went to.
QString outcomeWords(const Iso15693Protocol &iso15693, const QString &done, bool write, const QString &whom)
{
    switch (iso15693.outcome) {
    case Iso15693Protocol::Outcome::Done:
        return done + whom;
    case Iso15693Protocol::Outcome::Refused:
        return QStringLiteral("Tag : ") + TagErrorText::iso15693(iso15693.errorCode) + whom;
    case Iso15693Protocol::Outcome::NoAnswer:
        return QStringLiteral("Aucun tag ne répond") + whom;
    case Iso15693Protocol::Outcome::Garbled:
        return write ? QStringLiteral("Réponses superposées : l'écriture a pu atteindre une partie des tags") + whom
                     : QStringLiteral("Réponses superposées : plusieurs tags ont répondu") + whom;
    case Iso15693Protocol::Outcome::NoBoard:
        break;
    }
    return QString();
}

} // namespace

void MainWindow::loadIso15693Configuration()
{
    iso15693->loadConfiguration();
    link->writeRegister(ChipReg::CoderControl, CoderControlBits::Iso15693OneOutOf4);
    iso15693Configured = !link->failed();
    // The coding shown follows, once the board took it.
    if (iso15693Configured)
        ui->radio_codbit_4->click();
}

bool MainWindow::ensureIso15693Configuration(bool setsItsCoding)
{
    // A type A configuration loaded since, a modulator held low or high, or
    // a type A coding chosen on the first page, and no tag would hear the
    // page's commands.
    if (iso15693Configured && (iso15693Coding || setsItsCoding))
        return true;
    loadIso15693Configuration();
    return !link->failed();
}

QString MainWindow::addressIso15693Tags()
{
    if (iso15693->tagsFound >= 2 && ui->radio_15_sel_1->isChecked()) {
        iso15693->addressTag(iso15693->uid);
        return QStringLiteral(" (tag %1)").arg(uidWords(iso15693->uid));
    }
    if (iso15693->tagsFound >= 2 && ui->radio_15_sel_2->isChecked()) {
        iso15693->addressTag(iso15693->secondUid);
        return QStringLiteral(" (tag %1)").arg(uidWords(iso15693->secondUid));
    }
    iso15693->addressAll();
    return QStringLiteral(" (tous les tags du champ)");
}

void MainWindow::on_button_15_img_rlcfg_clicked()
{
    const BoardAction action(this);
    loadIso15693Configuration();
    if (!action.failed())
        say(QStringLiteral("Configuration ISO15693 rechargée"));
}

void MainWindow::on_button_15_inventory_clicked()
{
    const BoardAction action(this, inventoryName(FieldText::value(ui->txtedit_15_flag->text())), ExchangeJournal::Family::Iso15693);
    ui->txtedit_15_uid->clear();
    ui->txtedit_15_uid_2->clear();
    if (!ensureIso15693Configuration(true))
        return;
    link->writeRegister(ChipReg::CoderControl, CoderControlBits::Iso15693OneOutOf4);
    iso15693->inventory(FieldText::value(ui->txtedit_15_flag->text()), FieldText::value(ui->txtedit_15_afi->text()));
    iso15693Coding = !action.failed();  // it leaves 1 out of 256 in force
    if (action.failed())
        return;  // a board that stopped answering found no tag, nor their absence
    showTag(ui->txtedit_15_uid, ui->txtedit_15_dsfid, iso15693->uid, iso15693->dsfid, iso15693->tagsFound >= 1);
    showTag(ui->txtedit_15_uid_2, ui->txtedit_15_dsfid_2, iso15693->secondUid, iso15693->secondDsfid,
            iso15693->tagsFound >= 2);
    // The tags may have changed: what the command fields were judged
    // against was another inventory's.
    for (QLineEdit *field : { ui->txtedit_15_donnees, ui->txtedit_15_afi_w, ui->txtedit_15_dsfid_w })
        field->setStyleSheet(Black);
    if (iso15693->tagsFound == 0)
        say(QStringLiteral("Aucun tag dans le champ"), Tone::Failure);
    else if (iso15693->tagsFound == 1)
        say(QStringLiteral("1 tag : %1").arg(uidWords(iso15693->uid)), Tone::Success);
    else
        say(QStringLiteral("2 tags : %1 et %2 ; « Sélection » choisit à qui vont les commandes")
                .arg(uidWords(iso15693->uid), uidWords(iso15693->secondUid)),
            Tone::Success);
}

void MainWindow::on_button_15_read_clicked()
{
    if (!blockTyped(ui->txtedit_15_secteur))
        return;
    const BoardAction action(this, QStringLiteral("Lecture bloc %1").arg(ui->txtedit_15_secteur->text().trimmed()), ExchangeJournal::Family::Iso15693);
    if (!ensureIso15693Configuration())
        return;
    const QString whom = addressIso15693Tags();
    const quint8 number = FieldText::value(ui->txtedit_15_secteur->text());
    quint8 data[BlockLength] = {};
    iso15693->readSingleBlock(data, number);
    QLineEdit *field = ui->txtedit_15_donnees;
    const bool done = iso15693->outcome == Iso15693Protocol::Outcome::Done;
    if (!done) {
        // The field keeps its text, red: it is not this block's, and is no
        // value to write back until the user types one.
        field->setStyleSheet(Red);
        ui->button_15_write->setEnabled(false);
    } else {
        field->setText(FieldText::bytes(data, BlockLength));
        field->setCursorPosition(0);  // from the first digit, the field being narrow
        field->setStyleSheet(Green);
        ui->button_15_write->setEnabled(true);
    }
    if (!action.failed())
        say(outcomeWords(*iso15693, QStringLiteral("Bloc %1 lu").arg(FieldText::byte(number).toUpper()), false, whom),
            done ? Tone::Success : Tone::Failure);
}

void MainWindow::on_button_15_write_clicked()
{
    if (!blockTyped(ui->txtedit_15_secteur)
        || !wholeDigits(ui->txtedit_15_donnees, 2 * BlockLength, QStringLiteral("Données")))
        return;
    const BoardAction action(this, QStringLiteral("Écriture bloc %1").arg(ui->txtedit_15_secteur->text().trimmed()), ExchangeJournal::Family::Iso15693);
    if (!ensureIso15693Configuration())
        return;
    const QString whom = addressIso15693Tags();
    const QString text = ui->txtedit_15_donnees->text();
    quint8 data[BlockLength] = {};
    for (int i = 0; i < BlockLength; ++i)
        data[i] = FieldText::pairValue(text, 2 * i);
    const quint8 number = FieldText::value(ui->txtedit_15_secteur->text());
    iso15693->writeSingleBlock(data, number);
    showWriteOutcome(ui->txtedit_15_donnees, action.failed(),
                     QStringLiteral("Bloc %1 écrit").arg(FieldText::byte(number).toUpper()), whom);
}

void MainWindow::on_button_15_afi_w_clicked()
{
    writeTagByte(ui->txtedit_15_afi_w, QStringLiteral("AFI"), &Iso15693Protocol::writeAfi);
}

void MainWindow::on_button_15_dsfid_w_clicked()
{
    writeTagByte(ui->txtedit_15_dsfid_w, QStringLiteral("DSFID"), &Iso15693Protocol::writeDsfid);
}

void MainWindow::writeTagByte(QLineEdit *field, const QString &name, void (Iso15693Protocol::*write)(quint8))
{
    if (!valueTyped(field, name))
        return;
    const BoardAction action(this, QStringLiteral("Écriture %1").arg(name), ExchangeJournal::Family::Iso15693);
    if (!ensureIso15693Configuration())
        return;
    const QString whom = addressIso15693Tags();
    const quint8 value = FieldText::value(field->text());
    (iso15693->*write)(value);
    showWriteOutcome(field, action.failed(), QStringLiteral("%1 0x%2 écrit").arg(name, FieldText::byte(value).toUpper()),
                     whom);
}

void MainWindow::showWriteOutcome(QLineEdit *field, bool boardFailed, const QString &done, const QString &whom)
{
    // A write that did not go through keeps the value tried: it is still
    // the user's to write again.
    const bool written = !boardFailed && iso15693->outcome == Iso15693Protocol::Outcome::Done;
    field->setStyleSheet(written ? Green : Red);
    if (!boardFailed)
        say(outcomeWords(*iso15693, done, true, whom), written ? Tone::Success : Tone::Failure);
}

bool MainWindow::valueTyped(QLineEdit *field, const QString &name)
{
    if (!field->text().trimmed().isEmpty())
        return true;
    field->setStyleSheet(Red);
    say(QStringLiteral("%1 : champ vide, rien n'est écrit").arg(name), Tone::Failure);
    return false;
}

// What the user types is a value to write again, and no tag's yet.
void MainWindow::on_txtedit_15_donnees_textEdited(const QString &)
{
    ui->txtedit_15_donnees->setStyleSheet(Black);
    ui->button_15_write->setEnabled(true);
}

void MainWindow::on_txtedit_15_afi_w_textEdited(const QString &)
{
    ui->txtedit_15_afi_w->setStyleSheet(Black);
    ui->button_15_afi_w->setEnabled(true);
}

void MainWindow::on_txtedit_15_dsfid_w_textEdited(const QString &)
{
    ui->txtedit_15_dsfid_w->setStyleSheet(Black);
    ui->button_15_dsfid_w->setEnabled(true);
}

void MainWindow::on_txtedit_15_manu_trame_textChanged(const QString &)
{
    ui->frame_15_manu_send->setEnabled(HandBuiltFrame::isSendable(ui->txtedit_15_manu_trame->text()));
}

void MainWindow::on_button_15_manu_img_send_clicked()
{
    if (FieldText::hasGap(ui->txtedit_15_manu_trame->displayText())) {
        say(QStringLiteral("Trame : un chiffre manque au milieu, rien n'est envoyé"), Tone::Failure);
        return;
    }
    const BoardAction action(this, QStringLiteral("Transceive ISO15693"), ExchangeJournal::Family::Iso15693);
    link->writeRegister(ChipReg::BitFraming, FieldText::value(ui->txtedit_15_manu_bitframing->text()));
    link->writeRegister(ChipReg::ChannelRedundancy, FieldText::value(ui->txtedit_15_manu_chanred->text()));
    link->writeRegister(ChipReg::CoderControl, FieldText::value(ui->txtedit_15_manu_collpos->text()));
    HandBuiltFrame::send(link, ui->txtedit_15_manu_trame->text());
    const QString answer = HandBuiltFrame::readAnswer(link);
    // Bytes read from a board that then stopped answering are no answer.
    ui->txtedit_15_manu_reponse->setText(action.failed() ? QString() : answer);
    if (!action.failed())
        say(HandBuiltFrame::outcome(answer, 0));
}
