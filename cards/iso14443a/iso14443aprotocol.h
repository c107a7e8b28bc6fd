#pragma once

#include "typeaexchange.h"

#include <QtGlobal>

class ReaderLink;

// ISO/IEC 14443-3 type A, carried out on the reader chip register by
// register: the chip's type A configuration, REQA, the anticollision loop of
// cascade levels 1 and 2, SELECT, and a one-call identification.
//
// The operations return nothing: each leaves its results in the state block
// below, which the type A page reads after every call and the MIFARE layer
// reads for the UID. Only the members an operation names are written; the
// rest keep what earlier calls left, which is how the page knows which step
// comes next. Every card exchange also leaves how the card answered in
// lastAnswer, so that no answer, or a garbled one, is not taken for a card.
class Iso14443aProtocol
{
public:
    using Outcome = TypeAExchange::Outcome;

    explicit Iso14443aProtocol(ReaderLink *link);

    // The chip's stored type A register set, then the field on.
    void loadConfiguration();
    // Field reset, configuration and a REQA short frame; fills atqa and
    // lastAnswer.
    void request();
    // Cascade level 1 with a long answer wait; fills uid, bcc1,
    // cascadeCommand, errorCode, lastAnswer, and cascadeLevels on a cascade
    // tag.
    void anticollisionLevel1();
    // Cascade level 2; fills uid[3..6], bcc2, errorCode, cascadeLevels,
    // lastAnswer.
    void anticollisionLevel2();
    // Cascade level 1 with short waits, going on to level 2 by itself when
    // the cascade tag comes back.
    void anticollision();
    // SELECT of the UID part that cascadeCommand and cascadeLevels point at;
    // fills sak and lastAnswer.
    void select();
    // Field off and on, request and anticollision; no SELECT.
    void scan();

    // True once both cascade levels of a double-size UID are known: uid
    // holds seven bytes.
    bool hasDoubleSizeUid() const;

    // Error code left by an anticollision whose BCC did not match.
    static constexpr quint8 BccError = 4;
    static constexpr quint8 CascadeTag = 0x88;

    ReaderLink *link;
    quint8 uid[8];           // card order; 0-3 single size, 0-6 double size
    quint8 atqa[2];          // as received
    quint8 cascadeCommand;   // 0x93: whole UID at level 1; 0x95: cascade tag seen
    quint8 bcc1;
    quint8 bcc2;
    quint8 errorCode;        // 0, or BccError
    quint8 cascadeLevels;    // 1 after a level-1 cascade tag, 2 after level 2
    quint8 sak;
    // How the card answered the last REQA, anticollision or SELECT; a zero
    // UID or SAK left by a card that said nothing is no card's.
    Outcome lastAnswer;

private:
    // Answer bytes a0..a4 of an anticollision; true when the BCC matches.
    static bool bccMatches(const quint8 *answer);
    // The cascade level 1 exchange and its answer into the state block;
    // true when the answer began with the cascade tag.
    bool anticollideLevelOne(int settleMs, int answerWaitMs);
};
