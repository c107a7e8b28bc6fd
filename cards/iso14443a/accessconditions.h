#pragma once

#include <QString>
#include <QtGlobal>

// What a MIFARE Classic sector trailer's access bits (its bytes 6 to 8)
// grant on each block of the sector, as the card's data sheet tables give
// it. Three bits, C1 C2 C3, govern each of a sector's four access groups;
// each nibble of the three bytes holds one of the bits for all four groups
// (bit n for group n), and sits beside its complement:
//   byte 6: ~C2 (high nibble)  ~C1 (low nibble)
//   byte 7:  C1                ~C3
//   byte 8:  C3                 C2
// A card that is given bytes whose nibbles do not match their complements
// locks its sector for good, so they are told apart from any grant.
//
// In a four-block sector, blocks 0, 1 and 2 are groups 0, 1 and 2; in a
// sixteen-block sector (the last eight sectors of a 4K), groups 0, 1 and 2
// cover blocks 0-4, 5-9 and 10-14. The trailer, the sector's last block,
// is group 3.
//
// The rights are the tables' own. A card does not take key B for an
// authentication where the same conditions let key B be read: that is the
// caller's to weigh, with the trailer's readKeyB.
namespace AccessConditions {

// The keys a right is granted to, as a set: none, key A, key B, or either.
enum Keys : quint8 {
    Never = 0,
    KeyA = 1,
    KeyB = 2,
    EitherKey = KeyA | KeyB,
};

enum class SectorSize {
    FourBlocks = 4,
    SixteenBlocks = 16,
};

struct DataBlockRights
{
    Keys read = Never;
    Keys write = Never;
    Keys increment = Never;
    Keys decrementTransferRestore = Never;
};

struct TrailerRights
{
    Keys readKeyA = Never;
    Keys writeKeyA = Never;
    Keys readAccessBits = Never;
    Keys writeAccessBits = Never;
    Keys readKeyB = Never;
    Keys writeKeyB = Never;
};

enum class Decoding {
    Decoded,
    InconsistentBytes,  // a nibble beside something other than its complement
    NoSuchBlock,        // the block index lies outside the sector
};

// The rights on one block; `data` holds them for a data block, `trailer`
// for the trailer, and neither means anything unless decoded.
struct BlockRights
{
    Decoding decoding = Decoding::NoSuchBlock;
    bool isTrailer = false;
    int conditions = 0;  // C1 C2 C3 as a number, C1 the high bit
    DataBlockRights data;
    TrailerRights trailer;
};

constexpr int AccessByteCount = 3;
constexpr int FirstAccessByteInTrailer = 6;

// Whether each of the three access bytes' nibbles sits beside its
// complement. `accessBytes` points at the trailer's byte 6.
bool consistent(const quint8 *accessBytes);

// The access group governing the block of the given index within its
// sector (3 for the trailer), or -1 when the index lies outside it.
int groupOf(int blockInSector, SectorSize size);

// The rights on the block of the given index within its sector, under the
// three access bytes that `accessBytes` points at (the trailer's byte 6).
BlockRights rightsOf(const quint8 *accessBytes, int blockInSector, SectorSize size);

// The rights in words, key by key, for a memory map:
// « clé A : lecture ; clé B : lecture, écriture », « jamais » for a key
// granted nothing; a sentence saying why when the rights are not decoded.
QString describe(const BlockRights &rights);

} // namespace AccessConditions
