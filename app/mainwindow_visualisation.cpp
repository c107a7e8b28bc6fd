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

void MainWindow::on_radio_codbit_miller_clicked() { link->writeRegister(ChipReg::CoderControl, Miller106); }
void MainWindow::on_radio_codbit_nrz_clicked() { link->writeRegister(ChipReg::CoderControl, NRZ106); }
void MainWindow::on_radio_codbit_256_clicked() { link->writeRegister(ChipReg::CoderControl, Iso15693OneOutOf256); }
void MainWindow::on_radio_codbit_4_clicked() { link->writeRegister(ChipReg::CoderControl, Iso15693OneOutOf4); }

void MainWindow::on_radio_bnc_donnees_raw_clicked() { link->writeRegister(ChipReg::MFOUTSelect, SerialDataStream); }
void MainWindow::on_radio_bnc_donnes_mod_clicked() { link->writeRegister(ChipReg::MFOUTSelect, ModulationSignal); }
void MainWindow::on_radio_bnc_manss_clicked() { link->writeRegister(ChipReg::MFOUTSelect, ManchesterWithSubcarrier); }
void MainWindow::on_radio_bnc_man_clicked() { link->writeRegister(ChipReg::MFOUTSelect, Manchester); }

void MainWindow::on_radio_modsel_low_clicked() { setModulatorSource(TxControlBits::ModulatorLow); }
void MainWindow::on_radio_modsel_high_clicked() { setModulatorSource(TxControlBits::ModulatorHigh); }
void MainWindow::on_radio_modsel_donnees_clicked() { setModulatorSource(TxControlBits::ModulatorInternalCoder); }

void MainWindow::setModulatorSource(quint8 source)
{
    // A board that does not answer the read-modify-write shows as the
    // connection bar shows one that does not answer the probe: red indicator,
    // green one hidden. The port stays open and the page usable, and the
    // indicators follow the board: the next modulator choice it answers
    // brings the green one back.
    showBoardAnswered(link->writeMasked(ChipReg::TxControl, TxControlBits::ModulatorSourceMask, source));
}

void MainWindow::showBoardAnswered(bool answered)
{
    ui->label_ERREUR->setVisible(!answered);
    ui->label_ERREUR_OK->setVisible(answered);
}

void MainWindow::on_button_img_send_mod_clicked()
{
    link->transmitByte(FieldText::value(ui->txtedit_donnee_mod->text()));
}

void MainWindow::on_button_img_demod_rlcfg_clicked()
{
    // The form has already clicked the three matching radio buttons; the
    // reload then starts the chip afresh from its stored type A settings.
    iso14443a->loadConfiguration();
    link->writeRegister(ChipReg::MFOUTSelect, Manchester);
    link->writeRegister(ChipReg::CoderControl, Miller106);
}

void MainWindow::on_button_txt_demod_rlcfg_clicked()
{
    // The caption acts only through its animated click on the picture.
}

void MainWindow::on_button_img_request_demod_clicked()
{
    // A REQA with the coding in force, for its answer to be watched on the
    // BNC output: the answer itself is not kept.
    link->setField(false);
    link->setField(true);
    link->writeRegister(ChipReg::BitFraming, BitFramingBits::ShortFrame);
    link->writeRegister(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityNoCrc);
    const quint8 frame[] = { Reqa };
    quint8 answer[2];
    link->transceive(frame, 1, answer, 2);
}

void MainWindow::on_butt_ctrl_read_clicked()
{
    const quint8 address = FieldText::value(ui->ctrl_read_adr->text());
    const quint8 value = quint8(link->readRegister(address));
    ui->ctrl_read_val->setText(FieldText::number(value));
}
