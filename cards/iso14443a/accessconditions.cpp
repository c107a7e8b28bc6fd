#include "accessconditions.h"

#include <QStringList>

#include <iterator>

namespace AccessConditions {

namespace {

constexpr quint8 LowNibble = 0x0F;
constexpr int NibbleBits = 4;
constexpr int TrailerGroup = 3;
constexpr int ConditionCount = 8;
constexpr int BlocksPerLargeSectorGroup = 5;

// The three bits' nibbles, each for all four groups.
struct ConditionNibbles
{
    quint8 c1, c2, c3;
};

quint8 highNibble(quint8 byte)
{
    return quint8(byte >> NibbleBits);
}

quint8 lowNibble(quint8 byte)
{
    return quint8(byte & LowNibble);
}

ConditionNibbles nibblesOf(const quint8 *accessBytes)
{
    return { highNibble(accessBytes[1]), lowNibble(accessBytes[2]), highNibble(accessBytes[2]) };
}

bool isComplement(quint8 nibble, quint8 complement)
{
    return quint8(nibble ^ complement) == LowNibble;
}

// C1 C2 C3 of one group, C1 the high bit.
int conditionsOf(const ConditionNibbles &nibbles, int group)
{
    const auto bit = [group](quint8 nibble) { return (nibble >> group) & 1; };
    return (bit(nibbles.c1) << 2) | (bit(nibbles.c2) << 1) | bit(nibbles.c3);
}

// The data sheet's table for data blocks, by C1 C2 C3: read, write,
// increment, decrement-transfer-restore.
constexpr DataBlockRights DataBlockTable[ConditionCount] = {
    { EitherKey, EitherKey, EitherKey, EitherKey },  // 000, the transport configuration
    { EitherKey, Never, Never, EitherKey },          // 001, a value block
    { EitherKey, Never, Never, Never },              // 010, read only
    { KeyB, KeyB, Never, Never },                    // 011
    { EitherKey, KeyB, Never, Never },               // 100
    { KeyB, Never, Never, Never },                   // 101
    { EitherKey, KeyB, KeyB, EitherKey },            // 110, a value block
    { Never, Never, Never, Never },                  // 111
};

// The table for the trailer: key A (never read back by any key), the
// access bits, key B; each read then written.
constexpr TrailerRights TrailerTable[ConditionCount] = {
    { Never, KeyA, KeyA, Never, KeyA, KeyA },       // 000
    { Never, KeyA, KeyA, KeyA, KeyA, KeyA },        // 001, the transport configuration
    { Never, Never, KeyA, Never, KeyA, Never },     // 010
    { Never, KeyB, EitherKey, KeyB, Never, KeyB },  // 011
    { Never, KeyB, EitherKey, Never, Never, KeyB }, // 100
    { Never, Never, EitherKey, KeyB, Never, Never },  // 101
    { Never, Never, EitherKey, Never, Never, Never },  // 110
    { Never, Never, EitherKey, Never, Never, Never },  // 111
};

struct Grant
{
    Keys keys;
    const char *right;
};

// The rights granted to one key, in words.
QString rightsOfKey(const Grant *grants, int count, Keys key)
{
    QStringList rights;
    for (int i = 0; i < count; ++i) {
        if (grants[i].keys & key)
            rights << QString::fromUtf8(grants[i].right);
    }
    return rights.isEmpty() ? QStringLiteral("jamais") : rights.join(QStringLiteral(", "));
}

QString byKey(const Grant *grants, int count)
{
    return QStringLiteral("clé A : %1 ; clé B : %2")
        .arg(rightsOfKey(grants, count, KeyA), rightsOfKey(grants, count, KeyB));
}

} // namespace

bool consistent(const quint8 *accessBytes)
{
    const ConditionNibbles nibbles = nibblesOf(accessBytes);
    return isComplement(nibbles.c1, lowNibble(accessBytes[0])) && isComplement(nibbles.c2, highNibble(accessBytes[0]))
        && isComplement(nibbles.c3, lowNibble(accessBytes[1]));
}

int groupOf(int blockInSector, SectorSize size)
{
    const int blocks = int(size);
    if (blockInSector < 0 || blockInSector >= blocks)
        return -1;
    if (blockInSector == blocks - 1)
        return TrailerGroup;
    return size == SectorSize::FourBlocks ? blockInSector : blockInSector / BlocksPerLargeSectorGroup;
}

BlockRights rightsOf(const quint8 *accessBytes, int blockInSector, SectorSize size)
{
    BlockRights rights;
    const int group = groupOf(blockInSector, size);
    if (group < 0)
        return rights;
    rights.isTrailer = group == TrailerGroup;
    if (!consistent(accessBytes)) {
        rights.decoding = Decoding::InconsistentBytes;
        return rights;
    }
    rights.decoding = Decoding::Decoded;
    rights.conditions = conditionsOf(nibblesOf(accessBytes), group);
    if (rights.isTrailer)
        rights.trailer = TrailerTable[rights.conditions];
    else
        rights.data = DataBlockTable[rights.conditions];
    return rights;
}

QString describe(const BlockRights &rights)
{
    switch (rights.decoding) {
    case Decoding::NoSuchBlock:
        return QStringLiteral("pas de tel bloc dans le secteur");
    case Decoding::InconsistentBytes:
        return QStringLiteral("bits d'accès incohérents : secteur bloqué");
    case Decoding::Decoded:
        break;
    }
    if (rights.isTrailer) {
        const TrailerRights &trailer = rights.trailer;
        const Grant grants[] = {
            { trailer.readKeyA, "lecture de la clé A" },
            { trailer.writeKeyA, "écriture de la clé A" },
            { trailer.readAccessBits, "lecture des bits d'accès" },
            { trailer.writeAccessBits, "écriture des bits d'accès" },
            { trailer.readKeyB, "lecture de la clé B" },
            { trailer.writeKeyB, "écriture de la clé B" },
        };
        return byKey(grants, int(std::size(grants)));
    }
    const DataBlockRights &data = rights.data;
    const Grant grants[] = {
        { data.read, "lecture" },
        { data.write, "écriture" },
        { data.increment, "incrément" },
        { data.decrementTransferRestore, "décrément, transfert, restauration" },
    };
    return byKey(grants, int(std::size(grants)));
}

} // namespace AccessConditions
