#pragma once

#include "airexchange.h"

#include <QString>

#include <limits>
#include <vector>

struct DecodedFrame;

// One of the standard's timings measured on a frame, with its limits: the
// frame delay time of type A both ways, the ISO/IEC 15693 tag's t1, the
// reader's t2 and t3, the width of the reader's pauses.
struct TimingCheck
{
    QString name;          // "FDT carte", "FDT lecteur", "t1", "t2", "t3", "pause"
    double measuredUs = 0;
    double minUs = 0;
    double maxUs = std::numeric_limits<double>::infinity();

    bool ok() const;
    // "t1 = 320,9 µs (318,6 à 323,3)", "FDT lecteur = 90,0 µs (≥ 86,4)"
    QString text() const;
};

// Measures each frame against the standard's timings as the exchanges come,
// in order: it keeps what it needs of the exchange before (where its last
// frame ended, whether a card answered).
class AirMeasurer
{
public:
    // Fills the frames' end, the gap to the frame before and the timings
    // that apply to them. `frames` are the exchange's, as decoded.
    void annotate(const AirExchange &exchange, std::vector<DecodedFrame> &frames);
    void reset();

private:
    bool m_havePrevious = false;
    AirExchange m_previous;
    qint64 m_previousEndNs = 0;  // where the last frame on the air ended
};
