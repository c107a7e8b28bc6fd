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

// CoderControl: the transmitter's coding.
constexpr quint8 CodingMiller = 0x19;       // modified Miller, ISO 14443A
constexpr quint8 CodingNrz = 0x20;          // NRZ-L, ISO 14443B
constexpr quint8 CodingOneOf256 = 0x2E;     // ISO 15693
constexpr quint8 CodingOneOf4 = 0x2F;       // ISO 15693
// TxControl bits 6-5: the modulator's input.
constexpr quint8 ModulatorSourceMask = 0x60;
constexpr quint8 ModulatorHigh = 0x20;
constexpr quint8 ModulatorFromCoder = 0x40;
// MFOUTSelect: the signal on the BNC output.
constexpr quint8 OutputCodedData = 0x02;
constexpr quint8 OutputRawData = 0x03;
constexpr quint8 OutputManchesterSubcarrier = 0x04;
constexpr quint8 OutputManchester = 0x05;

constexpr quint8 Reqa = 0x26;

} // namespace

void MainWindow::on_radio_codbit_miller_clicked() { link->writeRegister(ChipReg::CoderControl, CodingMiller); }
void MainWindow::on_radio_codbit_nrz_clicked() { link->writeRegister(ChipReg::CoderControl, CodingNrz); }
void MainWindow::on_radio_codbit_256_clicked() { link->writeRegister(ChipReg::CoderControl, CodingOneOf256); }
void MainWindow::on_radio_codbit_4_clicked() { link->writeRegister(ChipReg::CoderControl, CodingOneOf4); }

void MainWindow::on_radio_bnc_donnees_raw_clicked() { link->writeRegister(ChipReg::MFOUTSelect, OutputRawData); }
void MainWindow::on_radio_bnc_donnes_mod_clicked() { link->writeRegister(ChipReg::MFOUTSelect, OutputCodedData); }
void MainWindow::on_radio_bnc_manss_clicked() { link->writeRegister(ChipReg::MFOUTSelect, OutputManchesterSubcarrier); }
void MainWindow::on_radio_bnc_man_clicked() { link->writeRegister(ChipReg::MFOUTSelect, OutputManchester); }

void MainWindow::on_radio_modsel_low_clicked()
{
    link->clearBits(ChipReg::TxControl, ModulatorSourceMask);
}

void MainWindow::on_radio_modsel_high_clicked()
{
    setModulatorSource(ModulatorHigh);
}

void MainWindow::on_radio_modsel_donnees_clicked()
{
    setModulatorSource(ModulatorFromCoder);
}

void MainWindow::setModulatorSource(quint8 bits)
{
    const quint8 txControl = quint8(link->readRegister(ChipReg::TxControl));
    link->writeRegister(ChipReg::TxControl, quint8((txControl & ~ModulatorSourceMask) | bits));
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
    link->writeRegister(ChipReg::MFOUTSelect, OutputManchester);
    link->writeRegister(ChipReg::CoderControl, CodingMiller);
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
    link->writeRegister(ChipReg::BitFraming, 0x07);
    link->writeRegister(ChipReg::ChannelRedundancy, 0x03);
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
