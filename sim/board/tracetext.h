#pragma once

#include "airdecoder.h"
#include "benchfeed.h"
#include "boardengine.h"

#include <QString>
#include <QStringList>

// Readable forms of what the virtual board saw, with the chip's register and
// command names: for test failure messages and the simulator's trace output.
namespace TraceText {

// "w TxControl(11) = 5B", "r FIFOData(02) -> 26", "w Command(01) = 1E Transceive"
QString handshake(const Handshake &handshake);
// The bits of a frame on the air, in groups of nine when `parity` is set,
// for instance "00110010 1 00000100 0".
QString bits(const AirBits &bits, bool parity);
// A frame's place and timings on the air: "n° 3, de 1 234,5 à 1 320,0 µs
// (85,5 µs), écart 86,4 µs ; FDT carte = 86,4 µs (= 86,4)", and the names of
// the timings outside their limits after "HORS LIMITES : ".
QString measurements(const DecodedFrame &frame);

} // namespace TraceText

// The terminal trace of a virtual board: each register access, and between
// them the frames that went on the air, decoded ("→ REQA 26 (7 bits)",
// "← ATQA 04 00"), each after the access that sent it.
class TraceLines
{
public:
    QStringList take(const BenchFeed::News &news);

private:
    AirDecoder m_decoder;
};
