#pragma once

#include "pcapngwriter.h"
#include "signalsynthesis.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The bench's captures as files other tools open: a value change dump (VCD)
// of the air and the BNC output, which waveform viewers and logic-analyser
// programs (PulseView, sigrok-cli and its Miller decoder, GTKWave) read; the
// type A frames as pcapng, which Wireshark dissects; and the air log as CSV.
// All are bytes made here; writing them out is the caller's.

// A VCD of consecutive captures, each at its place on the air clock, in
// nanoseconds from the start of the first one (the scope's pre-trigger
// before its first edge). The logic layout holds 1-bit lanes only, as
// logic analysers take them:
//   MFOUT, the BNC output;
//   porteuse, the carrier: 1 while it is at full strength, 0 in each pause
//     of the reader (whatever its depth) and while the field is off, so
//     that a falling edge starts each pause, as the Miller decoder wants;
//   charge_carte, the card's load modulation: 1 while its subcarrier loads
//     the field (the Manchester half-bits).
// The detailed layout adds the antenna's envelope (a real) and the bytes
// each way (8 bits, unknown between bytes), which waveform viewers show but
// sigrok's VCD input does not take.
class VcdWriter
{
public:
    enum class Layout { Logic, Detailed };

    static constexpr const char *MfoutName = "MFOUT";
    static constexpr const char *CarrierName = "porteuse";
    static constexpr const char *LoadName = "charge_carte";
    static constexpr const char *AntennaName = "antenne";
    static constexpr const char *ReaderBytesName = "octet_lecteur";
    static constexpr const char *CardBytesName = "octet_carte";

    explicit VcdWriter(Layout layout = Layout::Logic) : m_layout(layout) {}

    // The declarations and the initial (unknown) values.
    QByteArray header() const;
    // The value changes of the capture of these exchanges (as the scope
    // groups them); a change that would fall before one already written is
    // written at that time, as VCD wants times in order.
    QByteArray capture(const std::vector<DecodedExchange> &exchanges);

private:
    Layout m_layout;
    bool m_started = false;
    qint64 m_originNs = 0;
    qint64 m_lastNs = 0;
};

// The ISO/IEC 14443 type A frames of the bench's exchanges as a pcapng file
// of link type ISO 14443: one packet per frame that went on the air, the
// reader's and the card's, each at its start on the air clock (nanoseconds
// since the chip started, which Wireshark shows as just after the Unix
// epoch), with its bytes as on the air: parity bits left out, CRC kept,
// enciphered as the air carried it once the MIFARE cipher is on, and a
// short frame's 7 bits in one byte. Where the frames show that the field
// was switched between them, a field event comes before the frame that
// shows it, at its start: the latest the switch can have been. Frames of
// other codings (ISO/IEC 15693, type B) have no place in it and stay out.
class TypeAPcapngWriter
{
public:
    TypeAPcapngWriter();

    QByteArray header() const { return m_writer.header(); }
    // The packets of the exchange, none when it is not type A or put
    // nothing on the air.
    QByteArray exchange(const DecodedExchange &decoded);

private:
    enum class Field { Unknown, On, Off };

    PcapngWriter m_writer;
    Field m_field = Field::Unknown;
};

namespace AirLogCsv {

QByteArray header();
// One line per frame: its start, end, length and the silence before it in
// microseconds on the air clock (with a dot, for spreadsheets and scripts
// alike), its exchange, and the standard's timings measured on it.
QByteArray row(const DecodedFrame &frame);

} // namespace AirLogCsv
