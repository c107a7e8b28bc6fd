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

namespace {

using Outcome = TypeAExchange::Outcome;

const QString Black = QStringLiteral("color:black");
const QString Green = QStringLiteral("color:green");
const QString Red = QStringLiteral("color:red");

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
    iso14443a->loadConfiguration();
    // Its read timing out, the coder is not set and the bar says why.
    showBoardAnswered(link->setBits(ChipReg::TxControl, TxControlBits::ModulatorInternalCoder));
    link->writeRegister(ChipReg::CoderControl, CoderControlBits::Miller106);
    ui->radio_codbit_miller->click();
}

void MainWindow::on_button_14_reqa_clicked()
{
    showIso14443Step(StepNone);
    ui->txtedit_14_ATQA->clear();
    ui->txtedit_14_uid->clear();
    ui->txtedit_14_uid->setStyleSheet(Black);
    ui->label_14_uid_incomplet->hide();
    clearSak(ui->txtedit_14_sak);

    iso14443a->request();

    // What came is shown, refused or not; silence shows nothing.
    const quint8 *atqa = iso14443a->atqa;
    if (iso14443a->lastAnswer != Outcome::NoAnswer)
        ui->txtedit_14_ATQA->setText(withTwoZerosBelow0x10(atqa[0], FieldText::number(atqa[1] * 256u + atqa[0])));
    if (iso14443a->lastAnswer != Outcome::Answered) {
        showFailedIdentificationStep(ui->txtedit_14_ATQA);
        return;
    }
    const bool accepted = (atqa[0] == 0x04 || atqa[0] == 0x44) && atqa[1] == 0x00;
    if (accepted) {
        ui->txtedit_14_ATQA->setStyleSheet(Green);
        showIso14443Step(StepCascadeLevel1);
    } else {
        ui->txtedit_14_ATQA->setStyleSheet(Red);
    }
}

void MainWindow::on_button_14_anticol1_clicked()
{
    ui->txtedit_14_uid->clear();
    ui->txtedit_14_uid->setStyleSheet(Black);
    ui->label_14_uid_incomplet->hide();
    clearSak(ui->txtedit_14_sak);

    iso14443a->anticollisionLevel1();

    if (iso14443a->lastAnswer == Outcome::NoAnswer) {
        showFailedIdentificationStep(ui->txtedit_14_uid);
        return;
    }
    if (iso14443a->cascadeCommand == SelectCascadeLevel1) {
        ui->txtedit_14_uid->setText(forHexMask(FieldText::bytes(iso14443a->uid, 4)));
        ui->txtedit_14_uid->setStyleSheet(Green);
        showIso14443Step(StepSelect);
    } else if (iso14443a->cascadeCommand == SelectCascadeLevel2) {
        ui->txtedit_14_uid->setText(QStringLiteral("88") + FieldText::bytes(iso14443a->uid, 3));
        ui->txtedit_14_uid->setStyleSheet(Red);
        ui->label_14_uid_incomplet->show();
        showIso14443Step(StepSelect);
    }
    // Cards answering together (their bits superposed, a collision) or a
    // garbled answer: the bits stay shown, and are no card's UID.
    if (iso14443a->lastAnswer != Outcome::Answered || iso14443a->errorCode == Iso14443aProtocol::BccError) {
        ui->label_14_uid_incomplet->hide();
        showFailedIdentificationStep(ui->txtedit_14_uid);
    }
}

void MainWindow::on_button_14_select_clicked()
{
    iso14443a->select();

    clearSak(ui->txtedit_14_sak);
    const quint8 sak = iso14443a->sak;
    if (iso14443a->lastAnswer != Outcome::NoAnswer)
        ui->txtedit_14_sak->setText(withTwoZerosBelow0x10(sak, FieldText::number(sak)));
    // No card took the SELECT: nothing is selected, whatever the steps before.
    if (iso14443a->lastAnswer != Outcome::Answered) {
        showFailedIdentificationStep(ui->txtedit_14_sak);
        return;
    }
    if (iso14443a->cascadeCommand == SelectCascadeLevel1) {
        showIso14443Step(StepDone);
    } else if (iso14443a->cascadeCommand == SelectCascadeLevel2) {
        showIso14443Step(StepCascadeLevel2);
        if (iso14443a->cascadeLevels == 2)
            showIso14443Step(StepDone);
    }
}

void MainWindow::on_button_14_anticol2_clicked()
{
    ui->txtedit_14_uid->clear();
    ui->txtedit_14_uid->setStyleSheet(Black);
    ui->label_14_uid_incomplet->hide();
    clearSak(ui->txtedit_14_sak);
    if (iso14443a->cascadeCommand != SelectCascadeLevel2)
        return;  // no cascade tag seen: there is no level 2 to ask for

    iso14443a->anticollisionLevel2();

    if (iso14443a->lastAnswer == Outcome::NoAnswer) {
        showFailedIdentificationStep(ui->txtedit_14_uid);
        return;
    }
    ui->txtedit_14_uid->setText(forHexMask(FieldText::bytes(iso14443a->uid, 7)));
    ui->txtedit_14_uid->setStyleSheet(Green);
    showIso14443Step(StepSelect);
    if (iso14443a->lastAnswer != Outcome::Answered || iso14443a->errorCode == Iso14443aProtocol::BccError)
        showFailedIdentificationStep(ui->txtedit_14_uid);
}

void MainWindow::on_button_14_scantag_clicked()
{
    ui->txtedit_14_ATQA->clear();
    ui->txtedit_14_uid->clear();
    ui->txtedit_14_uid->setStyleSheet(Black);
    ui->label_14_uid_incomplet->hide();

    iso14443a->scan();

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
    const QString key = ui->txtedit_mf_cle->text();
    for (int i = 0; i < MifareClassic::KeyLength; ++i)
        mifare->key[i] = FieldText::pairValue(key, 2 * i);
    mifare->encodeKey();
    mifare->loadKey();
    mifare->authenticate(AuthenticateKeyA, FieldText::decimalValue(ui->txtedit_mf_block->text()));
    ui->txtedit_mf_cle->setStyleSheet(mifare->authenticated ? Green : Red);
}

void MainWindow::on_button_mf_read_clicked()
{
    quint8 block[MifareClassic::BlockLength] = {};
    mifare->readBlock(FieldText::decimalValue(ui->txtedit_mf_block->text()), block);
    if (mifare->lastRead != Outcome::Answered) {
        // Whatever the FIFO gave is no block: the field keeps its text, and
        // nothing read here may be written back.
        ui->txtedit_mf_donnees->setStyleSheet(Red);
        ui->button_mf_write->setEnabled(false);
        return;
    }
    ui->txtedit_mf_donnees->setText(FieldText::bytes(block, MifareClassic::BlockLength));
    ui->txtedit_mf_donnees->setCursorPosition(0);  // from the first digit, not scrolled to the last
    ui->txtedit_mf_donnees->setStyleSheet(Green);
}

void MainWindow::on_button_mf_write_clicked()
{
    const QString text = ui->txtedit_mf_donnees->text();
    quint8 block[MifareClassic::BlockLength] = {};
    for (int i = 0; i < MifareClassic::BlockLength; ++i)
        block[i] = FieldText::pairValue(text, 2 * i);
    mifare->writeBlock(FieldText::decimalValue(ui->txtedit_mf_block->text()), block);
    // Written only once the card acknowledged both phases.
    const bool written
        = mifare->writeCommandPhase == Outcome::Answered && mifare->writeDataPhase == Outcome::Answered;
    ui->txtedit_mf_donnees->setStyleSheet(written ? Green : Red);
}

void MainWindow::on_txtedit_mf_cle_textChanged(const QString &)
{
    ui->button_mf_auth->setEnabled(ui->txtedit_mf_cle->text().size() == 2 * MifareClassic::KeyLength);
}

void MainWindow::on_txtedit_mf_donnees_textChanged(const QString &)
{
    ui->button_mf_write->setEnabled(ui->txtedit_mf_donnees->text().size() == 2 * MifareClassic::BlockLength);
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
    link->writeRegister(ChipReg::BitFraming, FieldText::value(ui->txtedit_manu_bitframing->text()));
    link->writeRegister(ChipReg::ChannelRedundancy, FieldText::value(ui->txtedit_manu_chanred->text()));
    HandBuiltFrame::send(link, ui->txtedit_manu_trame->text());
    ui->txtedit_manu_collpos->setText(FieldText::number(quint8(link->readRegister(ChipReg::CollPos))));
    const QString answer = HandBuiltFrame::readAnswer(link);
    ui->txtedit_manu_collpos->setText(FieldText::number(quint8(link->readRegister(ChipReg::CollPos))));
    ui->txtedit_manu_reponse->setText(answer);
}
