#pragma once

#include <QString>
#include <QtGlobal>

// What a card's refusal means, in words, beside the code it sent.
namespace TagErrorText {

// The error code an ISO 15693 tag answers with its error flag set:
// "erreur 10, bloc inexistant".
QString iso15693(quint8 code);

// The 4-bit NAK a MIFARE Classic card answers instead of its ACK (0xA); only
// the low four bits are the answer: "NAK 4 (opération refusée)".
QString nak(quint8 nibble);

} // namespace TagErrorText
