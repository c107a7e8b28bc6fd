#pragma once

#include "chipmodel.h"
#include "chipregisters.h"
#include "signalsynthesis.h"

#include <QByteArray>

#include <memory>
#include <vector>

// The virtual chip driven register by register as the host drives it, with
// no board or line in between, and its clock standing still so that its
// frames follow each other on the air with the standard's least gaps: for
// the tests and the benchmarks of what the air carries.
struct ChipScript
{
    ChipModel chip;

    explicit ChipScript(std::vector<std::shared_ptr<VirtualCard>> cards = {})
    {
        chip.setClock([] { return qint64(0); });
        for (auto &card : cards)
            chip.field().addCard(card);
        chip.write(ChipReg::TxControl, TxControlBits::FieldOn);
    }

    // A frame with Transceive, its answer read out of the FIFO.
    void transceive(const QByteArray &bytes, quint8 lastBits = 0)
    {
        chip.write(ChipReg::BitFraming, lastBits);
        for (char byte : bytes)
            chip.write(ChipReg::FIFOData, quint8(byte));
        chip.write(ChipReg::Command, ChipCmd::Transceive);
        while (chip.peek(ChipReg::FIFOLength) > 0)
            chip.read(ChipReg::FIFOData);
    }

    // REQA, anticollision and SELECT of cascade level 1 of the card 04 A2 3B 15.
    void identify()
    {
        chip.write(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityNoCrc);
        transceive("\x26", BitFramingBits::ShortFrame);
        transceive("\x93\x20");
        chip.write(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityCrcBothWays);
        transceive(QByteArray("\x93\x70\x04\xA2\x3B\x15\x88", 7));
    }

    // The key (by default the transport key FF FF FF FF FF FF) loaded, then
    // key A authentication of `block` for the card 04 A2 3B 15.
    void authenticate(int block, const QByteArray &key = QByteArray(6, char(0xFF)))
    {
        chip.write(ChipReg::Control, ControlBits::FlushFIFO);
        // Each nibble, high first, beside its complement.
        for (int i = 0; i < ChipEeprom::CodedKeyLength; ++i) {
            const quint8 nibble = quint8(key.at(i / 2)) >> (i % 2 == 0 ? 4 : 0) & ChipEeprom::NibbleMask;
            chip.write(ChipReg::FIFOData, quint8((nibble ^ ChipEeprom::NibbleMask) << 4 | nibble));
        }
        chip.write(ChipReg::Command, ChipCmd::LoadKey);
        chip.write(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityTxCrc);
        for (quint8 byte : { quint8(0x60), quint8(block), quint8(0x04), quint8(0xA2), quint8(0x3B), quint8(0x15) })
            chip.write(ChipReg::FIFOData, byte);
        chip.write(ChipReg::Command, ChipCmd::Authent1);
        chip.write(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityNoCrc);
        chip.write(ChipReg::Command, ChipCmd::Authent2);
    }

    // 1-out-of-4 coding, the ISO 3309 CRC, and the 9.44 us pause.
    void vicinityMode()
    {
        chip.write(ChipReg::CoderControl, CoderControlBits::Iso15693OneOutOf4);
        chip.write(ChipReg::ChannelRedundancy, ChannelRedundancyBits::Iso15693Crc);
        chip.write(ChipReg::CRCPresetLSB, ChipSetting::CRCPresetAllOnes);
        chip.write(ChipReg::CRCPresetMSB, ChipSetting::CRCPresetAllOnes);
        chip.write(ChipReg::ModWidth, ChipSetting::Iso15693ModWidth);
    }

    // The exchanges of the capture the scope triggered on last.
    std::vector<DecodedExchange> lastExchanges() const
    {
        CaptureAssembler assembler;
        for (const AirExchange &exchange : chip.airLog())
            assembler.add(exchange);
        return assembler.current();
    }

    Capture lastCapture() const { return SignalSynthesis::capture(lastExchanges()); }
};
