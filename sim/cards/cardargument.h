#pragma once

#include "virtualcard.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// Cards for the virtual bench, named on a command line:
//   mifare1k:04A23B15          a MIFARE Classic 1K with that 4-byte UID
//   mifare1k:04C3D5E7A9B1C2    ...or with that 7-byte UID
//   mifare1k:04A23B15:A0A1A2A3A4A5
//                              ...whose sectors all open with that key, A or
//                              B, rather than the transport key FFFFFFFFFFFF
//   mifare4k:04A23B15[:KEY]    a MIFARE Classic 4K, UID and key as the 1K's
//   ultralight:04A23B91C42E80  a MIFARE Ultralight with that 7-byte UID
//   iso15693:E004010866215731[:DSFID[:AFI]]
//                              an ISO 15693 tag, UID written as tags print
//                              it (most significant byte first), DSFID and
//                              AFI in hexadecimal
namespace CardArgument {

struct Parsed
{
    std::shared_ptr<VirtualCard> card;
    QString description;  // what the card is, for the user
    QString error;        // why the argument makes no card
};

Parsed parse(const QString &argument);

// The demo bench: a MIFARE Classic 1K whose sector 1 opens with the key the
// window proposes (3C5E7A91B2D4) and holds a greeting, and two ISO 15693 tags
// that answer in different slots of an inventory.
std::vector<Parsed> demo();

// The argument forms, for help texts.
QStringList forms();

} // namespace CardArgument
