// The files tagbench-cli reads: the image of `restore FILE`, which anyone
// may hand over, and the key list of `--keys FILE`. From the bytes of both,
// what restore makes of them: the size check, the geometry of 1K and 4K
// sectors, each trailer's keys tried first, which blocks it writes back
// (never block 0; a trailer only when its access bits are consistent: a
// card given inconsistent bytes locks its sector for good), the keys read
// from the list; then what dump
// makes of an image: the memory map and the opening keys put in the
// trailers. None of it may crash, read past the image, or say something
// that does not hold.
//
// Input: a mode byte (bits 0-1: the image as given, padded or cut to 1K, to
// 4K, as given; bit 2: sectors opened from the mask, else all), a 40-bit
// mask of the sectors a dump opened (5 bytes), the key list's length (2
// bytes, least significant first) and its bytes, then the image file's bytes.

#include "accessconditions.h"
#include "clitext.h"
#include "fuzzinput.h"
#include "mifareimage.h"

#include <QStringList>

#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// restore reads no more of a file than this, and refuses one that holds more.
constexpr int LargestReadFile = MifareImage::Size4K;
constexpr int MaskBytes = 5;
constexpr int ByteBits = 8;
// The mode byte: how the image is fitted, and whose sectors a dump opened.
constexpr quint8 FittingMask = 0x03;
constexpr quint8 OpenedFromMask = 0x04;
enum Fitting { AsGiven, To1K, To4K };
constexpr int SmallSectorBlocks = 4;
constexpr int LargeSectorBlocks = 16;
constexpr int SmallSectors = 32;
constexpr int SectorCount1K = 16;
constexpr int SectorCount4K = 40;
constexpr int KeyBInTrailer = 10;
const QByteArray TransportKey = QByteArray::fromHex("FFFFFFFFFFFF");
const QByteArray WindowKey = QByteArray::fromHex("3C5E7A91B2D4");


// The key list as restore reads it: one key a line, blank lines and
// comments skipped; a bad line refuses the whole file.
QList<QByteArray> checkedKeyList(const QByteArray &content)
{
    const CliText::KeyList list = CliText::keyList(content);
    const QList<QByteArray> lines = content.split('\n');
    int keyLines = 0;
    for (const QByteArray &line : lines) {
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !trimmed.startsWith('#'))
            ++keyLines;
    }
    if (!list.error.isEmpty()) {
        require(list.keys.isEmpty());
        return {};
    }
    require(list.keys.size() == keyLines);
    for (const QByteArray &key : list.keys) {
        require(key.size() == MifareImage::KeyLength);
        // What a key prints as reads back as the same key.
        const std::optional<QByteArray> again = CliText::hexBytes(CliText::hex(key), MifareImage::KeyLength);
        require(again && *again == key);
    }
    return list.keys;
}

// The keys restore tries on a sector: the trailer's own, the transport and
// the window's keys, then the list's; six bytes each, each once.
QList<QByteArray> triedKeys(const QByteArray &image, int sector, const QByteArray &trailer,
                            const QList<QByteArray> &listed)
{
    QList<QByteArray> keys = MifareImage::keysOf(image, sector);
    require(keys.size() == 2 && keys.first() == trailer.left(MifareImage::KeyLength)
            && keys.last() == trailer.right(MifareImage::KeyLength));
    keys << TransportKey << WindowKey;
    keys << listed;
    QList<QByteArray> unique;
    for (const QByteArray &key : keys) {
        if (key.size() == MifareImage::KeyLength && !unique.contains(key))
            unique.append(key);
    }
    require(unique.contains(TransportKey) && unique.contains(WindowKey));
    require(unique.contains(trailer.left(MifareImage::KeyLength)));
    return unique;
}

AccessConditions::SectorSize layoutOf(int sector)
{
    return MifareImage::blockCountOf(sector) == SmallSectorBlocks ? AccessConditions::SectorSize::FourBlocks
                                                                   : AccessConditions::SectorSize::SixteenBlocks;
}

void checkGeometry(int imageSize)
{
    const int sectors = MifareImage::sectorCount(imageSize);
    require(sectors == (imageSize == MifareImage::Size1K ? SectorCount1K : SectorCount4K));
    int nextBlock = 0;
    for (int sector = 0; sector < sectors; ++sector) {
        const int blocks = MifareImage::blockCountOf(sector);
        require(blocks == (sector < SmallSectors ? SmallSectorBlocks : LargeSectorBlocks));
        require(MifareImage::firstBlockOf(sector) == nextBlock);
        require(MifareImage::trailerOf(sector) == nextBlock + blocks - 1);
        nextBlock += blocks;
    }
    // The sectors cover the image exactly.
    require(nextBlock * MifareImage::BlockLength == imageSize);
}

// What restore reads of each sector: the trailer's keys to try first, and
// whether a card could take the trailer back at all.
void checkRestore(const QByteArray &image, const QList<QByteArray> &listed)
{
    checkGeometry(int(image.size()));
    for (int sector = 0; sector < MifareImage::sectorCount(int(image.size())); ++sector) {
        const int trailerAt = MifareImage::trailerOf(sector) * MifareImage::BlockLength;
        const QByteArray trailer = image.mid(trailerAt, MifareImage::BlockLength);
        require(trailer.size() == MifareImage::BlockLength);
        triedKeys(image, sector, trailer, listed);
        const auto *accessBytes
            = reinterpret_cast<const quint8 *>(trailer.constData()) + AccessConditions::FirstAccessByteInTrailer;
        const bool writable = AccessConditions::consistent(accessBytes);
        for (int i = 0; i < MifareImage::blockCountOf(sector); ++i) {
            const int block = MifareImage::firstBlockOf(sector) + i;
            const AccessConditions::BlockRights rights = AccessConditions::rightsOf(accessBytes, i, layoutOf(sector));
            require(rights.isTrailer == (block == MifareImage::trailerOf(sector)));
            require((rights.decoding == AccessConditions::Decoding::Decoded) == writable);
            // Never block 0; a trailer only when asked for and consistent.
            using Restore = MifareImage::Restore;
            const Restore plain = MifareImage::restoreOf(image, block, false);
            const Restore withTrailers = MifareImage::restoreOf(image, block, true);
            if (block == 0)
                require(plain == Restore::Keep && withTrailers == Restore::Keep);
            else if (rights.isTrailer)
                require(plain == Restore::Keep && withTrailers == (writable ? Restore::Write : Restore::KeepInconsistent));
            else
                require(plain == Restore::Write && withTrailers == Restore::Write);
        }
    }
}

// What dump shows and stores: a line per sector, a line per block of each
// opened one; the opening key in its trailer, nothing else changed.
void checkDump(const QByteArray &image, const QVector<bool> &opened, const QByteArray &key)
{
    const QString map = MifareImage::memoryMap(image, opened);
    const int sectors = std::min(MifareImage::sectorCount(int(image.size())), int(opened.size()));
    int blockLines = 0;
    for (int sector = 0; sector < sectors; ++sector)
        blockLines += opened.at(sector) ? MifareImage::blockCountOf(sector) : 0;
    const QStringList lines = map.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    require(lines.filter(QStringLiteral("Secteur ")).size() == sectors);
    require(lines.filter(QStringLiteral("  bloc ")).size() == blockLines);

    for (int sector = 0; sector < sectors; ++sector) {
        for (const bool asKeyB : { false, true }) {
            QByteArray stored = image;
            MifareImage::putKey(stored, sector, key, asKeyB);
            require(stored.size() == image.size());
            const int at = MifareImage::trailerOf(sector) * MifareImage::BlockLength + (asKeyB ? KeyBInTrailer : 0);
            const bool fits = key.size() == MifareImage::KeyLength && at + MifareImage::KeyLength <= image.size();
            require(stored.mid(at, MifareImage::KeyLength) == (fits ? key : image.mid(at, MifareImage::KeyLength)));
            require(stored.left(at) == image.left(at));
            require(stored.mid(at + MifareImage::KeyLength) == image.mid(at + MifareImage::KeyLength));
        }
    }
}

// Most bytes are no image: the mode pads or cuts them to one, so that the
// fuzzer reaches the sectors.
QByteArray fitted(QByteArray file, int fitting)
{
    if (fitting == To1K)
        file.resize(MifareImage::Size1K, '\0');
    else if (fitting == To4K)
        file.resize(MifareImage::Size4K, '\0');
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput input(data, size);
    const quint8 mode = input.next();
    quint64 mask = 0;
    for (int i = 0; i < MaskBytes; ++i)
        mask |= quint64(input.next()) << (ByteBits * i);
    std::size_t keyFileLength = input.next();
    keyFileLength |= std::size_t(input.next()) << ByteBits;
    const QList<QByteArray> listed = checkedKeyList(input.bytes(keyFileLength));
    // restore reads one byte past the largest image, to tell a file too big.
    const QByteArray image = fitted(input.rest().left(LargestReadFile + 1), mode & FittingMask);

    if (image.size() > LargestReadFile)
        return 0;
    if (MifareImage::validSize(image.size())) {
        require(image.size() == MifareImage::Size1K || image.size() == MifareImage::Size4K);
        checkRestore(image, listed);
    }
    // The memory map of any bytes at all, an image or not.
    QVector<bool> opened(MifareImage::sectorCount(int(image.size())), true);
    if (mode & OpenedFromMask) {
        for (int sector = 0; sector < opened.size(); ++sector)
            opened[sector] = (mask >> (sector % (ByteBits * MaskBytes))) & 1;
    }
    checkDump(image, opened, listed.isEmpty() ? image.left(MifareImage::KeyLength) : listed.first());
    return 0;
}
