#pragma once

#include <QtGlobal>

#include <initializer_list>
#include <vector>

class ReaderLink;

// The ISO/IEC 15693-3 commands of the bench, carried out through the reader
// chip: the chip's ISO 15693 configuration, Inventory in one or 16 slots
// (with or without AFI), Read Single Block, Write Single Block, Write AFI and
// Write DSFID.
//
// The inventory goes out to every tag in the field, with the flags the
// caller gives. The block, AFI and DSFID commands go either to every tag
// (non-addressed, flags 0x02: high data rate, one sub-carrier, no option),
// or, once addressTag() named one, to that tag alone: the Address flag and
// its UID after the command code. The chip appends the request's CRC and checks and
// removes the answer's (ChannelRedundancy 0x2C), so the frames here carry no
// CRC.
//
// No operation returns anything: results and outcomes are left in the
// members below (the ISO 15693 panel reads them after each operation) or in
// the caller's buffer. The operations assume the chip is in its ISO 15693
// configuration with the field on, except loadConfiguration, which puts it
// there.
class Iso15693Protocol
{
public:
    // What a block, AFI or DSFID command got back from the tags.
    enum class Outcome {
        Done,      // a tag carried it out: its answer's flags hold no error
        Refused,   // a tag answered with its Error_flag and an error code
        NoAnswer,  // nothing came back (no tag, or no board)
        Garbled,   // something came back, but not a whole answer: tags
                   // answering at once, a bad CRC, or too few bytes
        NoBoard,   // the board stopped answering the host: nothing is known
                   // of the tags
    };

    explicit Iso15693Protocol(ReaderLink *link);

    // Loads the chip's stored register set, then the ISO 15693 settings
    // (1-out-of-256 coding, ISO 3309 CRC, no parity), and switches the field
    // on.
    void loadConfiguration();

    // Inventory with the given request flags and AFI. Clears uid and
    // secondUid first; flags without the Inventory flag send nothing. The
    // DSFIDs change only when a tag is recorded in their place. A board that
    // stops answering ends the inventory, and nothing it half read is
    // recorded: the link's failed() tells that case from an empty field.
    //
    // An answer counts as a tag when its UID's most significant byte is 0xE0
    // and the chip received it whole (no collision, no CRC error): two tags
    // answering at once superpose into the UID of neither. tagsFound tells
    // how many were recorded.
    //
    // One slot: the answer, when it counts, is recorded in uid/dsfid;
    // otherwise (no tag, tags garbling each other, bytes no tag sends)
    // nothing is.
    //
    // 16 slots: the first two tags found, in slot order, go to uid/dsfid and
    // secondUid/secondDsfid. The request's own answer is the first slot's and
    // is looked at like the others; every slot up to the last is opened and
    // heard unless two tags have been found. Leaves CoderControl at 0x2E.
    void inventory(quint8 flags, quint8 afi);

    // An inventory that lists every tag in the field, not two: one round as
    // above (16 slots, or one slot with `oneSlot`), every slot opened; then,
    // for each slot where answers collided, a round of its own for the tags
    // whose UID agrees with that slot, under a mask one nibble longer (one
    // bit longer, in two rounds, with one slot). The first round sends what
    // inventory() sends. Rounds stop at the mask's full length and at
    // MaxInventoryRounds, so that a board reporting collisions forever ends
    // it. Every tag found goes to `tags`, in the order found.
    void inventoryEvery(bool oneSlot, bool withAfi, quint8 afi);

    // The four commands below leave what they got back in outcome and
    // errorCode. Besides the exchange, each reads FIFOLength once the answer
    // has had its time, before reading it out (the only moment it tells
    // whether anything came), and ErrorFlag after it when something did.

    // The block's four bytes, in the order received, into data when the tag
    // carried the read out; data is left as it was otherwise.
    void readSingleBlock(quint8 (&data)[4], quint8 block);
    void writeSingleBlock(const quint8 (&data)[4], quint8 block);
    void writeAfi(quint8 afi);
    void writeDsfid(quint8 value);

    // What Get System Information told of the tags addressed; a field the
    // tag did not give is -1.
    struct SystemInformation
    {
        quint8 uid[8] = {};  // reception order, as uid holds it
        int dsfid = -1;
        int afi = -1;
        int blockCount = -1;
        int blockSize = -1;  // in bytes
        int icReference = -1;
    };
    // Get System Information, judged as the commands above; `info` holds
    // the answer's fields when outcome is Done. An answer shorter than the
    // fields its information flags announce is Garbled.
    void getSystemInformation(SystemInformation &info);

    // Whom the four commands above go to: every tag in the field, or the tag
    // with this UID (reception order, as uid holds it) alone.
    void addressAll();
    void addressTag(const quint8 *tagUid);
    bool addressed() const { return m_addressed; }

    // The link to talk through; not owned.
    ReaderLink *link;
    // The first tag recorded by the last inventory. UIDs are kept in
    // reception order: uid[0] is the least significant byte, uid[7] the most
    // significant (0xE0 for every ISO 15693 tag).
    quint8 uid[8];
    quint8 dsfid;
    // The second tag recorded by a 16-slot inventory.
    quint8 secondUid[8];
    quint8 secondDsfid;
    // How many tags the last inventory recorded: 0, 1 or 2 for inventory(),
    // any number for inventoryEvery().
    int tagsFound;
    // Every tag the last inventory recorded, in the order found.
    struct Tag
    {
        quint8 uid[8];
        quint8 dsfid;
    };
    std::vector<Tag> tags;
    // inventoryEvery()'s bound on its rounds.
    static constexpr int MaxInventoryRounds = 64;

    // What the last block, AFI or DSFID command got back, and the tag's
    // error code when it refused (0 otherwise).
    Outcome outcome;
    quint8 errorCode;

private:
    static constexpr int UidLength = 8;
    // The longest request: flags, command, UID, block number and four bytes.
    static constexpr int LongestRequest = 2 + UidLength + 1 + 4;
    // The longest inventory request: flags, command, AFI, mask length and a
    // whole UID of mask.
    static constexpr int LongestInventoryRequest = 2 + 1 + 1 + UidLength;

    // One inventory round under a mask of the UID's low `maskLength` bits;
    // recording stops at `tagLimit` tags. Slots where answers collided are
    // marked in `collided` (bit n for slot n; bit 0 alone in one slot).
    void inventoryRound(quint8 flags, quint8 afi, int maskLength, quint64 mask, int tagLimit, quint16 &collided);

    // A block, AFI or DSFID request for the tags addressed: flags, command,
    // the UID when one tag is addressed, then the parameters. Returns its
    // length.
    qint8 request(quint8 command, std::initializer_list<quint8> parameters, quint8 (&frame)[LongestRequest]) const;
    // Writes the ISO 15693 ChannelRedundancy, which other pages change, then
    // makes one Transceive exchange.
    void exchange(const quint8 *request, qint8 length, quint8 *answer, qint8 answerLength);
    // The same for a block, AFI or DSFID command, whose answer is judged into
    // outcome and errorCode; a Done answer holds at least `wholeAnswer`
    // bytes.
    // Returns the count of bytes the chip received.
    int judgedExchange(const quint8 *request, qint8 length, quint8 *answer, qint8 answerLength,
                       int wholeAnswer);
    // A write: one judged exchange, then a FIFO flush for whatever else came.
    void command(const quint8 *request, qint8 length);
    // The slots after the first of a 16-slot inventory; tagsFound tags are
    // already recorded.
    // Forgets the tags of the last inventory.
    void clearFound();
    void remainingSlots(bool withAfi, int tagLimit, quint16 &collided);
    // Records a tag's answer in the next free place; true once tagLimit
    // tags are recorded. A UID already recorded is not recorded again.
    bool recordFound(const quint8 *answer, int tagLimit);
    // True when the answer shows a tag's UID and the chip received it whole.
    bool isWholeTagAnswer(const quint8 *answer);

    bool m_addressed = false;
    quint8 m_address[UidLength] = {};
};
