#pragma once

#include <QString>

class ReaderLink;

// What the two hand-built frame panels share: the rule of the frame field
// and the exchange with the chip, which each panel wraps in its own register
// settings.
namespace HandBuiltFrame {

// Whether the frame field's text, the digits typed and the mask's final
// blank, holds a whole and non-zero number of bytes.
bool isSendable(const QString &frameText);

// What the message line says of an answer read out of the FIFO and the
// chip's CollPos after it.
QString outcome(const QString &answer, quint8 collisionPosition);

// A FIFO flush, the frame's bytes into the FIFO, one register write each,
// the Transceive command, then Command read until the chip is idle again
// (100 ms at most), so that the answer is whole when it is read.
void send(ReaderLink *link, const QString &frameText);

// The bytes that have reached the FIFO, read one at a time until it reads
// empty, and never more than the FIFO's 64 bytes: a board that keeps
// reporting data cannot hold the window.
QString readAnswer(ReaderLink *link);

} // namespace HandBuiltFrame
