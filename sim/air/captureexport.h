#pragma once

#include "signalsynthesis.h"

#include <QByteArray>
#include <QString>

// The bench's captures as files other tools open: a value change dump (VCD)
// of the two channels and the decoded bytes, which waveform viewers and
// logic-analyser programs read, and the air log as CSV. Both are texts made
// here; writing them out is the caller's.

// A VCD of consecutive captures, each at its place on the air clock, in
// nanoseconds: the BNC output (1 bit), the antenna's envelope (a real), and
// the bytes each way (8 bits, unknown between bytes).
class VcdWriter
{
public:
    static constexpr const char *MfoutName = "MFOUT";
    static constexpr const char *AntennaName = "antenne";
    static constexpr const char *ReaderBytesName = "octet_lecteur";
    static constexpr const char *CardBytesName = "octet_carte";

    // The declarations and the initial values.
    QByteArray header() const;
    // The value changes of a capture; a change that would fall before one
    // already written is written at that time, as VCD wants times in order.
    QByteArray capture(const Capture &capture);

private:
    qint64 m_lastNs = 0;
};

namespace AirLogCsv {

QByteArray header();
// One line per frame; the time in microseconds on the air clock.
QByteArray row(const DecodedFrame &frame);

} // namespace AirLogCsv
