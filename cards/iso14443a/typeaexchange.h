#pragma once

#include <QtGlobal>

class ReaderLink;

// One frame to a type A card with the chip's Transceive, and the card's
// answer taken out of the FIFO and judged by what the chip says of it.
//
// The frame, the wait and the read-out are the ones the caller's command
// has always used; around them come only the reads that tell how the
// exchange went: FIFOLength as soon as the wait is over (once the answer is
// read out the FIFO is empty whatever came, so this is the one moment it
// tells whether a card answered), then, after the read-out, ErrorFlag for
// an answer of whole bytes or SecondaryStatus for a 4-bit acknowledgement.
// An exchange that got nothing reads nothing more, and one that the board
// stopped answering half-way gives no bytes at all: the answer is zeroed.
namespace TypeAExchange {

enum class Outcome {
    Answered,  // the whole answer, received clean; for a WRITE phase, the ACK
    NoAnswer,  // the FIFO still empty once the wait was over
    Short,     // fewer bytes than the answer has: a NAK where a block was due
    Garbled,   // the chip saw a collision, or a parity, framing or CRC error
    Refused,   // a NAK, or anything but the ACK, where an ACK was due
    NotSent,   // the frame was kept back: nothing went on the air
    NoBoard,   // the board stopped answering the host: nothing is known of
               // the card, and what the link read is no value
};

// Sends the frame, lets more than waitMs pass, and, when the card answered,
// takes readLength bytes out of the FIFO into `answer` (zeros when it did
// not). The answer is whole when the FIFO held at least wholeLength bytes
// and the chip flagged no reception error.
Outcome transceive(ReaderLink *link, const quint8 *frame, qint8 length, quint8 *answer, qint8 readLength,
                   int wholeLength, int waitMs);

// Sends the frame of a WRITE phase, lets more than waitMs pass, and takes
// the card's acknowledgement, one byte, into `answer` (0 when none came).
// Answered only for the 4-bit ACK.
Outcome acknowledged(ReaderLink *link, const quint8 *frame, qint8 length, quint8 *answer, int waitMs);

} // namespace TypeAExchange
