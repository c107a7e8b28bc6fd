// The signal visualisation page: the transmitter's bit coding, the
// modulator's input and the signal routed to the board's BNC output, and
// something to send so that there is a signal to watch.

#include "mainwindow.h"

#include "chipregisters.h"
#include "fieldtext.h"
#include "iso14443aprotocol.h"
#include "mainwindowui.h"
#include "readerlink.h"

namespace {

using namespace CoderControlBits;
using namespace MFOUTSelectBits;

constexpr quint8 Reqa = 0x26;

} // namespace

// Each choice's setting, its group and what the message line calls it.
void MainWindow::on_radio_codbit_miller_clicked()
{
    applySetting(ui->buttonGroup_radio_codbit, ui->radio_codbit_miller, QStringLiteral("Codage : Miller modifié"),
                 ChipReg::CoderControl, Miller106);
}

void MainWindow::on_radio_codbit_nrz_clicked()
{
    applySetting(ui->buttonGroup_radio_codbit, ui->radio_codbit_nrz, QStringLiteral("Codage : NRZ-L"),
                 ChipReg::CoderControl, NRZ106);
}

void MainWindow::on_radio_codbit_256_clicked()
{
    applySetting(ui->buttonGroup_radio_codbit, ui->radio_codbit_256, QStringLiteral("Codage : 1 parmi 256"),
                 ChipReg::CoderControl, Iso15693OneOutOf256);
}

void MainWindow::on_radio_codbit_4_clicked()
{
    applySetting(ui->buttonGroup_radio_codbit, ui->radio_codbit_4, QStringLiteral("Codage : 1 parmi 4"),
                 ChipReg::CoderControl, Iso15693OneOutOf4);
}

void MainWindow::on_radio_bnc_donnees_raw_clicked()
{
    applySetting(ui->buttonGroup_radio_bnc, ui->radio_bnc_donnees_raw, QStringLiteral("Sortie BNC : données brutes"),
                 ChipReg::MFOUTSelect, SerialDataStream);
}

void MainWindow::on_radio_bnc_donnes_mod_clicked()
{
    applySetting(ui->buttonGroup_radio_bnc, ui->radio_bnc_donnes_mod, QStringLiteral("Sortie BNC : données codées"),
                 ChipReg::MFOUTSelect, ModulationSignal);
}

void MainWindow::on_radio_bnc_manss_clicked()
{
    applySetting(ui->buttonGroup_radio_bnc, ui->radio_bnc_manss,
                 QStringLiteral("Sortie BNC : Manchester avec sous-porteuse"), ChipReg::MFOUTSelect,
                 ManchesterWithSubcarrier);
}

void MainWindow::on_radio_bnc_man_clicked()
{
    applySetting(ui->buttonGroup_radio_bnc, ui->radio_bnc_man, QStringLiteral("Sortie BNC : Manchester"),
                 ChipReg::MFOUTSelect, Manchester);
}

void MainWindow::on_radio_modsel_low_clicked() { setModulatorSource(TxControlBits::ModulatorLow); }
void MainWindow::on_radio_modsel_high_clicked() { setModulatorSource(TxControlBits::ModulatorHigh); }
void MainWindow::on_radio_modsel_donnees_clicked() { setModulatorSource(TxControlBits::ModulatorInternalCoder); }

void MainWindow::applySetting(QButtonGroup *group, QAbstractButton *button, const QString &what, quint8 address,
                              quint8 value)
{
    const BoardAction action(this);
    link->writeRegister(address, value);
    // A type A coding undoes the ISO 15693 one the other page relies on.
    if (!action.failed() && address == ChipReg::CoderControl)
        iso15693Coding = value == Iso15693OneOutOf256 || value == Iso15693OneOutOf4;
    applied(group, button, !action.failed(), what);
}

void MainWindow::applied(QButtonGroup *group, QAbstractButton *button, bool taken, const QString &what)
{
    if (taken) {
        inForce[group] = button;
        say(what);
        return;
    }
    // The choice shown is the one the chip holds: the button in force before
    // is checked again.
    if (QAbstractButton *held = inForce.value(group))
        held->setChecked(true);
    say(QStringLiteral("%1 non appliqué : la carte lecteur ne répond plus").arg(what), Tone::Failure);
}

void MainWindow::setModulatorSource(quint8 source)
{
    // The other bits of TxControl, the RF field's among them, are kept; a
    // read that timed out gives nothing to keep, so nothing is written.
    const BoardAction action(this);
    const bool taken = link->writeMasked(ChipReg::TxControl, TxControlBits::ModulatorSourceMask, source);
    QAbstractButton *button = source == TxControlBits::ModulatorLow ? ui->radio_modsel_low
        : source == TxControlBits::ModulatorHigh                  ? ui->radio_modsel_high
                                                                   : ui->radio_modsel_donnees;
    // Held low or high, the modulator sends nothing: no tag hears a command.
    if (taken && source != TxControlBits::ModulatorInternalCoder)
        iso15693Configured = false;
    applied(ui->buttonGroup_radio_modsel, button, taken,
            QStringLiteral("Entrée du modulateur : %1").arg(button->text()));
}

void MainWindow::on_button_img_send_mod_clicked()
{
    const BoardAction action(this);
    const quint8 byte = FieldText::value(ui->txtedit_donnee_mod->text());
    link->transmitByte(byte);
    if (!action.failed())
        say(QStringLiteral("Octet 0x%1 émis").arg(FieldText::byte(byte)));
}

void MainWindow::on_button_img_demod_rlcfg_clicked()
{
    // The form has already clicked the three matching radio buttons; the
    // reload then starts the chip afresh from its stored type A settings.
    const BoardAction action(this);
    iso14443a->loadConfiguration();
    iso15693Configured = false;
    link->writeRegister(ChipReg::MFOUTSelect, Manchester);
    link->writeRegister(ChipReg::CoderControl, Miller106);
    if (!action.failed())
        say(QStringLiteral("Configuration ISO14443A rechargée"));
}

void MainWindow::on_button_txt_demod_rlcfg_clicked()
{
    // The caption acts only through its animated click on the picture.
}

void MainWindow::on_button_img_request_demod_clicked()
{
    // A REQA with the coding in force, for its answer to be watched on the
    // BNC output: the answer itself is not kept.
    const BoardAction action(this, QStringLiteral("Requête REQA"), ExchangeJournal::Family::TypeA);
    link->setField(false);
    link->setField(true);
    link->writeRegister(ChipReg::BitFraming, BitFramingBits::ShortFrame);
    link->writeRegister(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityNoCrc);
    const quint8 frame[] = { Reqa };
    quint8 answer[2];
    link->transceive(frame, 1, answer, 2);
    if (!action.failed())
        say(QStringLiteral("Requête REQA émise"));
}

void MainWindow::on_butt_ctrl_read_clicked()
{
    const BoardAction action(this);
    const quint8 address = FieldText::value(ui->ctrl_read_adr->text());
    const quint8 value = quint8(link->readRegister(address));
    // A read that timed out has no value to show.
    ui->ctrl_read_val->setText(action.failed() ? QString() : FieldText::number(value));
}
