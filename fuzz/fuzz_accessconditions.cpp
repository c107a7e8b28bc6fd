// What a sector trailer's access bits grant, over any three bytes and any
// block index, in the 1K's four-block sectors and the 4K's sixteen-block
// ones. The memory map of a dump rests on it, and so must any choice of
// the trailers a restore writes: it must not read past the three bytes,
// crash or show undefined behaviour, and what it says must hold together.
//
// Input: the trailer's bytes 6, 7 and 8, then up to 16 pairs of bytes, each
// a block index (signed, most significant byte first) asked of both layouts.

#include "accessconditions.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

using namespace AccessConditions;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

constexpr quint8 Nibble = 0x0F;
constexpr int NibbleBits = 4;
constexpr int TrailerGroup = 3;
constexpr int ConditionCount = 8;
constexpr int BlocksPerLargeGroup = 5;
// More indices add nothing but a longer input.
constexpr std::size_t MostBlockIndices = 16;
constexpr std::size_t IndexBytes = 2;
constexpr SectorSize Layouts[] = { SectorSize::FourBlocks, SectorSize::SixteenBlocks };

// The three bytes as a card writes them for the given C1, C2 and C3
// nibbles (bit n of each for group n): each nibble beside its complement.
struct Encoded
{
    quint8 bytes[AccessByteCount];
};

Encoded encode(quint8 c1, quint8 c2, quint8 c3)
{
    return { { quint8(((~c2 & Nibble) << NibbleBits) | (~c1 & Nibble)), quint8((c1 << NibbleBits) | (~c3 & Nibble)),
               quint8((c3 << NibbleBits) | c2) } };
}

// The bytes are consistent exactly when re-encoding the nibbles that carry
// C1, C2 and C3 gives them back.
bool consistentByEncoding(const quint8 *bytes)
{
    const quint8 c1 = quint8(bytes[1] >> NibbleBits);
    const quint8 c2 = quint8(bytes[2] & Nibble);
    const quint8 c3 = quint8(bytes[2] >> NibbleBits);
    const Encoded again = encode(c1, c2, c3);
    return again.bytes[0] == bytes[0] && again.bytes[1] == bytes[1] && again.bytes[2] == bytes[2];
}

int conditionsOfGroup(const quint8 *bytes, int group)
{
    const int c1 = (bytes[1] >> (NibbleBits + group)) & 1;
    const int c2 = (bytes[2] >> group) & 1;
    const int c3 = (bytes[2] >> (NibbleBits + group)) & 1;
    return (c1 << 2) | (c2 << 1) | c3;
}

bool grantsNothing(const BlockRights &rights)
{
    const DataBlockRights &data = rights.data;
    const TrailerRights &trailer = rights.trailer;
    return data.read == Never && data.write == Never && data.increment == Never && data.decrementTransferRestore == Never
        && trailer.readKeyA == Never && trailer.writeKeyA == Never && trailer.readAccessBits == Never
        && trailer.writeAccessBits == Never && trailer.readKeyB == Never && trailer.writeKeyB == Never;
}

bool sameRights(const BlockRights &a, const BlockRights &b)
{
    const DataBlockRights &x = a.data, &y = b.data;
    const TrailerRights &s = a.trailer, &t = b.trailer;
    return a.decoding == b.decoding && a.isTrailer == b.isTrailer && a.conditions == b.conditions && x.read == y.read
        && x.write == y.write && x.increment == y.increment && x.decrementTransferRestore == y.decrementTransferRestore
        && s.readKeyA == t.readKeyA && s.writeKeyA == t.writeKeyA && s.readAccessBits == t.readAccessBits
        && s.writeAccessBits == t.writeAccessBits && s.readKeyB == t.readKeyB && s.writeKeyB == t.writeKeyB;
}

// Where the block index lies in its sector: the group the layout gives it.
int expectedGroup(int block, SectorSize size)
{
    const int blocks = int(size);
    if (block < 0 || block >= blocks)
        return -1;
    if (block == blocks - 1)
        return TrailerGroup;
    return size == SectorSize::FourBlocks ? block : block / BlocksPerLargeGroup;
}

void checkBlock(const quint8 *bytes, int block, SectorSize size)
{
    const int group = groupOf(block, size);
    require(group == expectedGroup(block, size));
    const BlockRights rights = rightsOf(bytes, block, size);
    const QString words = describe(rights);
    require(!words.isEmpty());
    if (group < 0) {
        require(rights.decoding == Decoding::NoSuchBlock && grantsNothing(rights));
        return;
    }
    require(rights.isTrailer == (group == TrailerGroup));
    if (!consistent(bytes)) {
        // A sector its card has locked for good: no key may do anything.
        require(rights.decoding == Decoding::InconsistentBytes && grantsNothing(rights));
        return;
    }
    require(rights.decoding == Decoding::Decoded);
    require(rights.conditions >= 0 && rights.conditions < ConditionCount);
    require(rights.conditions == conditionsOfGroup(bytes, group));
    require(words.contains(QStringLiteral("clé A")) && words.contains(QStringLiteral("clé B")));
    if (rights.isTrailer) {
        // Key A never reads back; the access bits always may be read.
        require(rights.trailer.readKeyA == Never && rights.trailer.readAccessBits != Never);
    } else {
        // No key writes a block it may not read, nor increments a value
        // it may not decrement.
        const DataBlockRights &data = rights.data;
        require((data.increment & ~data.decrementTransferRestore) == 0);
        require((data.write & ~data.read) == 0);
    }
    // A block of a sixteen-block sector has the rights of its group's
    // block in a four-block sector.
    if (size == SectorSize::SixteenBlocks)
        require(sameRights(rights, rightsOf(bytes, group, SectorSize::FourBlocks)));
}

// The transport configuration, FF 07 80 on every new card: data blocks
// open to either key, the trailer's C1C2C3 001.
void checkTransportConfiguration()
{
        // Only the trailer's group has C3 set.
    const Encoded transport = encode(0, 0, quint8(1 << TrailerGroup));
    require(transport.bytes[0] == 0xFF && transport.bytes[1] == 0x07 && transport.bytes[2] == 0x80);
    require(rightsOf(transport.bytes, 0, SectorSize::FourBlocks).data.write == EitherKey);
    require(rightsOf(transport.bytes, TrailerGroup, SectorSize::FourBlocks).conditions == 1);
}

int blockIndex(const std::uint8_t *data)
{
    return int(std::int16_t(std::uint16_t((data[0] << 8) | data[1])));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    checkTransportConfiguration();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < std::size_t(AccessByteCount))
        return 0;
    // Exactly three bytes of their own, so that any read past them is seen.
    const auto bytes = std::make_unique<quint8[]>(std::size_t(AccessByteCount));
    for (int i = 0; i < AccessByteCount; ++i)
        bytes[std::size_t(i)] = data[i];

    require(consistent(bytes.get()) == consistentByEncoding(bytes.get()));
    for (SectorSize layout : Layouts) {
        for (int block = -1; block <= int(layout); ++block)
            checkBlock(bytes.get(), block, layout);
    }
    const std::size_t end = std::min(size, std::size_t(AccessByteCount) + MostBlockIndices * IndexBytes);
    for (std::size_t at = std::size_t(AccessByteCount); at + IndexBytes <= end; at += IndexBytes) {
        for (SectorSize layout : Layouts)
            checkBlock(bytes.get(), blockIndex(data + at), layout);
    }
    return 0;
}
