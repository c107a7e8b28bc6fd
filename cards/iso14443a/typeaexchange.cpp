#include "typeaexchange.h"

#include "chipregisters.h"
#include "readerlink.h"

#include <algorithm>

namespace {

// The MIFARE acknowledgement: four bits, 1010 for the ACK; anything else
// in its place is a NAK.
constexpr quint8 Ack = 0x0A;
constexpr quint8 AcknowledgementBits = 4;

} // namespace

namespace TypeAExchange {

Outcome transceive(ReaderLink *link, const quint8 *frame, qint8 length, quint8 *answer, qint8 readLength,
                   int wholeLength, int waitMs)
{
    const ReaderLink::Operation operation(*link);
    quint8 *const end = answer + std::max<int>(0, readLength);
    std::fill(answer, end, quint8(0));
    const int received = link->transceiveAndCount(frame, length, waitMs);
    if (operation.failed())
        return Outcome::NoBoard;
    if (received == 0)
        return Outcome::NoAnswer;
    link->readFifo(answer, readLength);
    const quint8 errors = received < wholeLength ? 0 : quint8(link->readRegister(ChipReg::ErrorFlag));
    if (operation.failed()) {
        // The bytes read before the board stopped are part of no answer.
        std::fill(answer, end, quint8(0));
        return Outcome::NoBoard;
    }
    if (received < wholeLength)
        return Outcome::Short;
    return (errors & ErrorFlagBits::ReceptionErrors) ? Outcome::Garbled : Outcome::Answered;
}

Outcome acknowledged(ReaderLink *link, const quint8 *frame, qint8 length, quint8 *answer, int waitMs)
{
    const ReaderLink::Operation operation(*link);
    *answer = 0;
    const int received = link->transceiveAndCount(frame, length, waitMs);
    if (operation.failed())
        return Outcome::NoBoard;
    if (received == 0)
        return Outcome::NoAnswer;
    link->readFifo(answer, 1);
    const quint8 status = quint8(link->readRegister(ChipReg::SecondaryStatus));
    if (operation.failed()) {
        *answer = 0;
        return Outcome::NoBoard;
    }
    const bool fourBits = (status & SecondaryStatusBits::RxLastBitsMask) == AcknowledgementBits;
    // Only the four bits received count in that byte.
    const quint8 nibble = *answer & quint8((1u << AcknowledgementBits) - 1);
    return fourBits && nibble == Ack ? Outcome::Answered : Outcome::Refused;
}

} // namespace TypeAExchange
