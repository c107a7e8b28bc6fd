// The ISO 14443A page: the step-by-step identification of a type A card,
// MIFARE Classic keys and blocks, and hand-built frames.

#include "mainwindow.h"

#include "chipregisters.h"
#include "fieldtext.h"
#include "formstyles.h"
#include "handbuiltframe.h"
#include "iso14443aprotocol.h"
#include "mainwindowui.h"
#include "mifareclassic.h"
#include "readerlink.h"
#include "resultstyle.h"
#include "tagerrortext.h"

namespace {

using namespace ResultStyle;

using Outcome = TypeAExchange::Outcome;


constexpr quint8 SelectCascadeLevel1 = 0x93;
constexpr quint8 SelectCascadeLevel2 = 0x95;
constexpr quint8 AuthenticateKeyA = 0x60;

// The UID, ATQA and SAK fields' masks begin with the literal "0x": a text
// beginning with "0" would lose that digit to the mask's own 0, so it gets
// one more in front.
QString forHexMask(QString text)
{
    if (text.startsWith(QLatin1Char('0')))
        text.prepend(QLatin1Char('0'));
    return text;
}

QString withTwoZerosBelow0x10(quint8 firstByte, const QString &text)
{
    return firstByte < 0x10 ? QStringLiteral("00") + text : text;
}

// The four MIFARE bits of a NAK, as the message line words them.
QString nakOf(quint8 answer)
{
    return TagErrorText::nak(answer & 0x0F);
}

// The block of the MIFARE field, as the message line names it.
QString blockName(quint8 block)
{
    return QStringLiteral("Bloc %1").arg(block);
}

// The SAK is shown, not judged: cleared, its field takes back the looks it
// was built with, whatever a failed SELECT made of it.
void clearSak(QLineEdit *sakField)
{
    sakField->clear();
    sakField->setStyleSheet(QLatin1String(FormStyles::sheet_hex_edit_pad2));
}

} // namespace

void MainWindow::showFailedIdentificationStep(QLineEdit *resultField)
{
    // The step's result in red, no step to go on with, and the field off so
    // that the next REQA finds every card freshly powered.
    resultField->setStyleSheet(Red);
    showIso14443Step(StepNone);
    link->setField(false);
}

void MainWindow::on_button_14_img_rlcfg_clicked()
{
    const BoardAction action(this);
    iso14443a->loadConfiguration();
    iso15693Configured = false;
    // Its read timing out, the coder is not set and the bar says why.
    link->setBits(ChipReg::TxControl, TxControlBits::ModulatorInternalCoder);
    link->writeRegister(ChipReg::CoderControl, CoderControlBits::Miller106);
    if (action.failed())
        return;
    // The coding shown follows, once the board took it.
    ui->radio_codbit_miller->click();
    say(QStringLiteral("Configuration ISO14443A rechargée"));
}

void MainWindow::on_button_14_reqa_clicked()
{
    const BoardAction action(this, QStringLiteral("REQ A"), ExchangeJournal::Family::TypeA);
    showIso14443Step(StepNone);
    ui->txtedit_14_ATQA->clear();
    ui->txtedit_14_uid->clear();
    ui->txtedit_14_uid->setStyleSheet(Black);
    ui->label_14_uid_incomplet->hide();
    clearSak(ui->txtedit_14_sak);
    // A new identification: what the key and the data fields were judged
    // against was another card's, and the UID found before is no longer
    // the one a SELECT may name.
    ui->txtedit_mf_cle->setStyleSheet(Black);
    ui->txtedit_mf_donnees->setStyleSheet(Black);
    iso14443a->cascadeCommand = 0;
    iso14443a->cascadeLevels = 0;

    iso14443a->request();
    iso15693Configured = false;

    // What came is shown, refused or not; silence shows nothing.
    const quint8 *atqa = iso14443a->atqa;
    const Outcome answer = iso14443a->lastAnswer;
    if (answer != Outcome::NoAnswer && answer != Outcome::NoBoard)
        ui->txtedit_14_ATQA->setText(withTwoZerosBelow0x10(atqa[0], FieldText::number(atqa[1] * 256u + atqa[0])));
    const QString atqaText = QStringLiteral("0x%1%2").arg(FieldText::byte(atqa[1]), FieldText::byte(atqa[0]));
    if (answer != Outcome::Answered) {
        showFailedIdentificationStep(ui->txtedit_14_ATQA);
        if (answer == Outcome::NoAnswer)
            say(QStringLiteral("Carte absente : aucune réponse à REQA"), Tone::Failure);
        else if (answer != Outcome::NoBoard)
            say(QStringLiteral("Réponses superposées à REQA : plusieurs cartes dans le champ"), Tone::Failure);
        return;
    }
    const bool accepted = (atqa[0] == 0x04 || atqa[0] == 0x44) && atqa[1] == 0x00;
    if (accepted) {
        ui->txtedit_14_ATQA->setStyleSheet(Green);
        showIso14443Step(StepCascadeLevel1);
        say(QStringLiteral("Carte présente : ATQA %1").arg(atqaText), Tone::Success);
    } else {
        ui->txtedit_14_ATQA->setStyleSheet(Red);
        say(QStringLiteral("ATQA %1 : ni 0x0004 ni 0x0044, carte non reconnue").arg(atqaText), Tone::Failure);
    }
}

void MainWindow::on_button_14_anticol1_clicked()
{
    const BoardAction action(this, QStringLiteral("Anticol CL1"), ExchangeJournal::Family::TypeA);
    ui->txtedit_14_uid->clear();
    ui->txtedit_14_uid->setStyleSheet(Black);
    ui->label_14_uid_incomplet->hide();
    clearSak(ui->txtedit_14_sak);

    iso14443a->anticollisionLevel1();

    const Outcome answer = iso14443a->lastAnswer;
    if (answer == Outcome::NoAnswer || answer == Outcome::NoBoard) {
        showFailedIdentificationStep(ui->txtedit_14_uid);
        if (answer == Outcome::NoAnswer)
            say(QStringLiteral("Aucune réponse à l'anticollision (REQ A d'abord ?)"), Tone::Failure);
        return;
    }
    if (iso14443a->cascadeCommand == SelectCascadeLevel1) {
        ui->txtedit_14_uid->setText(forHexMask(FieldText::bytes(iso14443a->uid, 4)));
        ui->txtedit_14_uid->setStyleSheet(Green);
        showIso14443Step(StepSelect);
        say(QStringLiteral("UID %1 : sélectionner la carte").arg(FieldText::bytes(iso14443a->uid, 4).toUpper()),
            Tone::Success);
    } else if (iso14443a->cascadeCommand == SelectCascadeLevel2) {
        ui->txtedit_14_uid->setText(QStringLiteral("88") + FieldText::bytes(iso14443a->uid, 3));
        ui->txtedit_14_uid->setStyleSheet(Red);
        ui->label_14_uid_incomplet->show();
        showIso14443Step(StepSelect);
        say(QStringLiteral("Étiquette de cascade 0x88 : UID de 7 octets, Select puis Anticol CL2"));
    }
    // Cards answering together (their bits superposed, a collision) or a
    // garbled answer: the bits stay shown, and are no card's UID.
    if (answer != Outcome::Answered || iso14443a->errorCode == Iso14443aProtocol::BccError) {
        ui->label_14_uid_incomplet->hide();
        showFailedIdentificationStep(ui->txtedit_14_uid);
        say(QStringLiteral("Collision : plusieurs cartes ont répondu, l'UID est faux"), Tone::Failure);
    }
}

void MainWindow::on_button_14_select_clicked()
{
    const BoardAction action(this, QStringLiteral("Select"), ExchangeJournal::Family::TypeA);
    const bool uidKnown = iso14443a->cascadeCommand != 0;
    iso14443a->select();

    clearSak(ui->txtedit_14_sak);
    const quint8 sak = iso14443a->sak;
    const Outcome answer = iso14443a->lastAnswer;
    if (answer != Outcome::NoAnswer && answer != Outcome::NoBoard)
        ui->txtedit_14_sak->setText(withTwoZerosBelow0x10(sak, FieldText::number(sak)));
    // No card took the SELECT: nothing is selected, whatever the steps before.
    if (answer != Outcome::Answered) {
        showFailedIdentificationStep(ui->txtedit_14_sak);
        if (!uidKnown)
            say(QStringLiteral("Select sans UID : lancer Anticol CL1 d'abord"), Tone::Failure);
        else if (answer != Outcome::NoBoard)
            say(QStringLiteral("Aucune carte n'a pris le SELECT"), Tone::Failure);
        return;
    }
    const QString sakText = QStringLiteral("SAK 0x%1").arg(FieldText::byte(sak));
    if (iso14443a->cascadeCommand == SelectCascadeLevel1) {
        showIso14443Step(StepDone);
        say(QStringLiteral("Carte sélectionnée : %1").arg(sakText), Tone::Success);
    } else if (iso14443a->cascadeCommand == SelectCascadeLevel2) {
        showIso14443Step(StepCascadeLevel2);
        say(QStringLiteral("%1 : UID incomplet, Anticol CL2").arg(sakText));
        if (iso14443a->cascadeLevels == 2) {
            showIso14443Step(StepDone);
            say(QStringLiteral("Carte sélectionnée : %1").arg(sakText), Tone::Success);
        }
    }
}

void MainWindow::on_button_14_anticol2_clicked()
{
    const BoardAction action(this, QStringLiteral("Anticol CL2"), ExchangeJournal::Family::TypeA);
    ui->txtedit_14_uid->clear();
    ui->txtedit_14_uid->setStyleSheet(Black);
    ui->label_14_uid_incomplet->hide();
    clearSak(ui->txtedit_14_sak);
    if (iso14443a->cascadeCommand != SelectCascadeLevel2) {
        say(QStringLiteral("Pas d'étiquette de cascade : l'UID n'a pas de niveau 2"));
        return;  // no cascade tag seen: there is no level 2 to ask for
    }

    iso14443a->anticollisionLevel2();

    const Outcome answer = iso14443a->lastAnswer;
    if (answer == Outcome::NoAnswer || answer == Outcome::NoBoard) {
        showFailedIdentificationStep(ui->txtedit_14_uid);
        if (answer == Outcome::NoAnswer)
            say(QStringLiteral("Aucune réponse au niveau 2 (Select du niveau 1 d'abord ?)"), Tone::Failure);
        return;
    }
    ui->txtedit_14_uid->setText(forHexMask(FieldText::bytes(iso14443a->uid, 7)));
    ui->txtedit_14_uid->setStyleSheet(Green);
    showIso14443Step(StepSelect);
    say(QStringLiteral("UID %1 : sélectionner la carte").arg(FieldText::bytes(iso14443a->uid, 7).toUpper()),
        Tone::Success);
    if (answer != Outcome::Answered || iso14443a->errorCode == Iso14443aProtocol::BccError) {
        showFailedIdentificationStep(ui->txtedit_14_uid);
        say(QStringLiteral("Collision : plusieurs cartes ont répondu, l'UID est faux"), Tone::Failure);
    }
}

void MainWindow::on_button_14_scantag_clicked()
{
    const BoardAction action(this, QStringLiteral("Scan"), ExchangeJournal::Family::TypeA);
    ui->txtedit_14_ATQA->clear();
    ui->txtedit_14_uid->clear();
    ui->txtedit_14_uid->setStyleSheet(Black);
    ui->label_14_uid_incomplet->hide();

    iso14443a->scan();
    iso15693Configured = false;
    if (action.failed()) {
        ui->txtedit_14_ATQA->setStyleSheet(Red);
        ui->txtedit_14_uid->setStyleSheet(Red);
        return;
    }

    const quint8 *atqa = iso14443a->atqa;
    ui->txtedit_14_ATQA->setText(withTwoZerosBelow0x10(atqa[0], FieldText::number(atqa[0] * 256u + atqa[1])));
    if (iso14443a->cascadeCommand == SelectCascadeLevel1)
        ui->txtedit_14_uid->setText(forHexMask(FieldText::bytes(iso14443a->uid, 4)));
    else if (iso14443a->cascadeCommand == SelectCascadeLevel2)
        ui->txtedit_14_uid->setText(forHexMask(FieldText::bytes(iso14443a->uid, 7)));

    const bool accepted = (atqa[0] == 0x04 || atqa[0] == 0x44 || atqa[0] == 0x0C) && atqa[1] == 0x00;
    if (!accepted) {
        ui->txtedit_14_ATQA->setStyleSheet(Red);
        ui->txtedit_14_uid->setStyleSheet(Red);
        return;
    }
    ui->txtedit_14_ATQA->setStyleSheet(Green);
    ui->txtedit_14_uid->setStyleSheet(Green);
    if (iso14443a->errorCode == Iso14443aProtocol::BccError)
        ui->txtedit_14_uid->setStyleSheet(Red);
    if (iso14443a->cascadeCommand == SelectCascadeLevel2 && iso14443a->uid[5] == iso14443a->uid[6])
        ui->txtedit_14_uid->setStyleSheet(Red);
}

// --- MIFARE Classic ---------------------------------------------------------

void MainWindow::on_button_mf_auth_clicked()
{
    if (!wholeDigits(ui->txtedit_mf_cle, 2 * MifareClassic::KeyLength, QStringLiteral("Clé")) || !blockTyped(ui->txtedit_mf_block))
        return;
    const BoardAction action(this, QStringLiteral("AUTH A bloc %1").arg(ui->txtedit_mf_block->text().trimmed()), ExchangeJournal::Family::TypeA);
    const QString key = ui->txtedit_mf_cle->text();
    for (int i = 0; i < MifareClassic::KeyLength; ++i)
        mifare->key[i] = FieldText::pairValue(key, 2 * i);
    const quint8 block = FieldText::decimalValue(ui->txtedit_mf_block->text());
    mifare->encodeKey();
    mifare->loadKey();
    mifare->authenticate(AuthenticateKeyA, block);
    ui->txtedit_mf_cle->setStyleSheet(mifare->authenticated ? Green : Red);
    if (action.failed())
        return;
    if (mifare->authenticated)
        say(QStringLiteral("%1 : secteur ouvert avec la clé A").arg(blockName(block)), Tone::Success);
    else
        say(QStringLiteral("%1 : authentification refusée (clé fausse, ou carte non sélectionnée)").arg(blockName(block)),
            Tone::Failure);
}

void MainWindow::on_button_mf_read_clicked()
{
    if (!blockTyped(ui->txtedit_mf_block))
        return;
    const BoardAction action(this, QStringLiteral("Lecture bloc %1").arg(ui->txtedit_mf_block->text().trimmed()), ExchangeJournal::Family::TypeA);
    const quint8 number = FieldText::decimalValue(ui->txtedit_mf_block->text());
    quint8 block[MifareClassic::BlockLength] = {};
    mifare->readBlock(number, block);
    if (mifare->lastRead != Outcome::Answered) {
        // Whatever the FIFO gave is no block: the field keeps its text, and
        // nothing read here may be written back.
        ui->txtedit_mf_donnees->setStyleSheet(Red);
        ui->button_mf_write->setEnabled(false);
        if (mifare->lastRead == Outcome::Short)
            say(QStringLiteral("Lecture refusée par la carte : %1").arg(nakOf(block[0])), Tone::Failure);
        else if (mifare->lastRead == Outcome::NoAnswer)
            say(QStringLiteral("Aucune réponse à la lecture (authentifier le secteur d'abord ?)"), Tone::Failure);
        else if (mifare->lastRead == Outcome::Garbled)
            say(QStringLiteral("Lecture brouillée : erreur de CRC ou de parité"), Tone::Failure);
        return;
    }
    const QString text = FieldText::bytes(block, MifareClassic::BlockLength).toUpper();
    ui->txtedit_mf_donnees->setText(text);
    ui->txtedit_mf_donnees->setCursorPosition(0);  // from the first digit, not scrolled to the last
    ui->txtedit_mf_donnees->setStyleSheet(Green);
    // The same text as before emits no change: the block read is one to
    // write back all the same.
    ui->button_mf_write->setEnabled(true);
    if (MifareClassic::isSectorTrailer(number)) {
        trailerRead = ui->txtedit_mf_donnees->text();
        keyATyped = keyBTyped = false;
        say(QStringLiteral("%1 lu : bloc de clés, la carte n'en rend pas la clé A (lue 000000000000)")
                .arg(blockName(number)),
            Tone::Success);
    } else {
        trailerRead.clear();
        say(QStringLiteral("%1 lu").arg(blockName(number)), Tone::Success);
    }
}

bool MainWindow::trailerKeysFromRead() const
{
    return !trailerRead.isEmpty() && (!keyATyped || !keyBTyped);
}

void MainWindow::on_button_mf_write_clicked()
{
    if (!blockTyped(ui->txtedit_mf_block)
        || !wholeDigits(ui->txtedit_mf_donnees, 2 * MifareClassic::BlockLength, QStringLiteral("Données")))
        return;
    const quint8 number = FieldText::decimalValue(ui->txtedit_mf_block->text());
    if (MifareClassic::isSectorTrailer(number) && trailerKeysFromRead()) {
        // Written back, the keys a read gave (key A always zeros) would
        // become the sector's keys, and the user's key would open it no more.
        ui->txtedit_mf_donnees->setStyleSheet(Red);
        say(QStringLiteral("%1 : clés lues, non tapées ; tapez les clés A et B avant d'écrire le bloc de clés")
                .arg(blockName(number)),
            Tone::Failure);
        return;
    }
    const BoardAction action(this, QStringLiteral("Écriture bloc %1").arg(ui->txtedit_mf_block->text().trimmed()), ExchangeJournal::Family::TypeA);
    const QString text = ui->txtedit_mf_donnees->text();
    quint8 block[MifareClassic::BlockLength] = {};
    for (int i = 0; i < MifareClassic::BlockLength; ++i)
        block[i] = FieldText::pairValue(text, 2 * i);
    mifare->writeBlock(number, block);
    // Written only once the card acknowledged both phases.
    const bool written
        = mifare->writeCommandPhase == Outcome::Answered && mifare->writeDataPhase == Outcome::Answered;
    ui->txtedit_mf_donnees->setStyleSheet(written ? Green : Red);
    if (action.failed())
        return;
    if (written)
        say(QStringLiteral("%1 écrit").arg(blockName(number)), Tone::Success);
    else if (mifare->writeCommandPhase == Outcome::NotSent)
        say(QStringLiteral("%1 : bits d'accès incohérents, rien n'est envoyé (le secteur serait bloqué)")
                .arg(blockName(number)),
            Tone::Failure);
    else if (mifare->writeCommandPhase == Outcome::NoAnswer)
        say(QStringLiteral("Aucune réponse à l'écriture (authentifier le secteur d'abord ?)"), Tone::Failure);
    else if (mifare->writeCommandPhase != Outcome::Answered)
        say(QStringLiteral("Écriture refusée par la carte : %1").arg(nakOf(mifare->acknowledgement)), Tone::Failure);
    else
        say(QStringLiteral("Données refusées par la carte : %1").arg(nakOf(mifare->acknowledgement)), Tone::Failure);
}

void MainWindow::on_txtedit_mf_cle_textChanged(const QString &)
{
    // A retyped key has not opened anything yet.
    ui->txtedit_mf_cle->setStyleSheet(Black);
    ui->button_mf_auth->setEnabled(ui->txtedit_mf_cle->text().size() == 2 * MifareClassic::KeyLength);
}

void MainWindow::on_txtedit_mf_donnees_textChanged(const QString &)
{
    ui->button_mf_write->setEnabled(ui->txtedit_mf_donnees->text().size() == 2 * MifareClassic::BlockLength);
}

void MainWindow::on_txtedit_mf_donnees_textEdited(const QString &text)
{
    // The user's data is no card's yet.
    ui->txtedit_mf_donnees->setStyleSheet(Black);
    if (trailerRead.isEmpty())
        return;
    // A key counts as typed once the user changed one of its digits, or
    // typed over one.
    constexpr int KeyDigits = 2 * MifareClassic::KeyLength;
    constexpr int KeyBFrom = 2 * MifareClassic::BlockLength - KeyDigits;
    const int typedAt = ui->txtedit_mf_donnees->cursorPosition() - 1;
    const auto touched = [&](int from) {
        if (typedAt >= from && typedAt < from + KeyDigits)
            return true;
        return text.mid(from, KeyDigits) != trailerRead.mid(from, KeyDigits);
    };
    keyATyped = keyATyped || touched(0);
    keyBTyped = keyBTyped || touched(KeyBFrom);
}

void MainWindow::on_txtedit_mf_donnees_selectionChanged()
{
    // Selecting data changes nothing.
}

// --- Hand-built frames ------------------------------------------------------

void MainWindow::on_txtedit_manu_trame_textChanged(const QString &)
{
    ui->frame_manu_send->setEnabled(HandBuiltFrame::isSendable(ui->txtedit_manu_trame->text()));
}

void MainWindow::on_button_manu_img_send_clicked()
{
    if (FieldText::hasGap(ui->txtedit_manu_trame->displayText())) {
        say(QStringLiteral("Trame : un chiffre manque au milieu, rien n'est envoyé"), Tone::Failure);
        return;
    }
    const BoardAction action(this, QStringLiteral("Transceive"), ExchangeJournal::Family::TypeA);
    link->writeRegister(ChipReg::BitFraming, FieldText::value(ui->txtedit_manu_bitframing->text()));
    link->writeRegister(ChipReg::ChannelRedundancy, FieldText::value(ui->txtedit_manu_chanred->text()));
    HandBuiltFrame::send(link, ui->txtedit_manu_trame->text());
    ui->txtedit_manu_collpos->setText(FieldText::number(quint8(link->readRegister(ChipReg::CollPos))));
    const QString answer = HandBuiltFrame::readAnswer(link);
    const quint8 collision = quint8(link->readRegister(ChipReg::CollPos));
    if (action.failed()) {
        // Bytes read from a board that then stopped answering are no answer.
        ui->txtedit_manu_collpos->clear();
        ui->txtedit_manu_reponse->clear();
        return;
    }
    ui->txtedit_manu_collpos->setText(FieldText::number(collision));
    ui->txtedit_manu_reponse->setText(answer);
    say(HandBuiltFrame::outcome(answer, collision));
}
