#include "airmeasure.h"

#include "airdecoder.h"

void AirMeasurer::annotate(const AirExchange &exchange, std::vector<DecodedFrame> &frames)
{
    (void)frames;
    m_previous = exchange;
    m_havePrevious = true;
}

void AirMeasurer::reset()
{
    *this = AirMeasurer();
}

QString TimingCheck::text() const
{
    return name;
}
