#include "mifareimage.h"

#include "accessconditions.h"
#include "clitext.h"
#include "mifareclassic.h"

#include <algorithm>

namespace {

constexpr int SmallSectors = 32;  // a 4K's first sectors, and all a 1K has
constexpr int SmallSectorBlocks = 4;
constexpr int LargeSectorBlocks = 16;
constexpr int KeyBInTrailer = 10;

AccessConditions::SectorSize sizeOf(int sector)
{
    return sector < SmallSectors ? AccessConditions::SectorSize::FourBlocks
                                 : AccessConditions::SectorSize::SixteenBlocks;
}

} // namespace

namespace MifareImage {

bool validSize(qint64 size)
{
    return size == Size1K || size == Size4K;
}

int sectorCount(int imageSize)
{
    const int blocks = imageSize / BlockLength;
    if (blocks <= SmallSectors * SmallSectorBlocks)
        return blocks / SmallSectorBlocks;
    return SmallSectors + (blocks - SmallSectors * SmallSectorBlocks) / LargeSectorBlocks;
}

int firstBlockOf(int sector)
{
    if (sector < SmallSectors)
        return sector * SmallSectorBlocks;
    return SmallSectors * SmallSectorBlocks + (sector - SmallSectors) * LargeSectorBlocks;
}

int blockCountOf(int sector)
{
    return sector < SmallSectors ? SmallSectorBlocks : LargeSectorBlocks;
}

int trailerOf(int sector)
{
    return firstBlockOf(sector) + blockCountOf(sector) - 1;
}

QList<QByteArray> keysOf(const QByteArray &image, int sector)
{
    const int trailerAt = trailerOf(sector) * BlockLength;
    return { image.mid(trailerAt, KeyLength), image.mid(trailerAt + KeyBInTrailer, KeyLength) };
}

Restore restoreOf(const QByteArray &image, int block, bool withTrailers)
{
    if (block == 0 || (block + 1) * BlockLength > image.size())
        return Restore::Keep;
    if (!MifareClassic::isSectorTrailer(quint8(block)))
        return Restore::Write;
    if (!withTrailers)
        return Restore::Keep;
    const auto *trailer = reinterpret_cast<const quint8 *>(image.constData()) + block * BlockLength;
    return MifareClassic::accessBitsConsistent(trailer) ? Restore::Write : Restore::KeepInconsistent;
}

void putKey(QByteArray &image, int sector, const QByteArray &key, bool asKeyB)
{
    const int at = trailerOf(sector) * BlockLength + (asKeyB ? KeyBInTrailer : 0);
    if (key.size() == KeyLength && at + KeyLength <= image.size())
        image.replace(at, KeyLength, key);
}

QString memoryMap(const QByteArray &image, const QVector<bool> &sectorOpened)
{
    QString map;
    const int sectors = std::min(sectorCount(image.size()), int(sectorOpened.size()));
    for (int sector = 0; sector < sectors; ++sector) {
        map += QStringLiteral("Secteur %1\n").arg(sector);
        if (!sectorOpened.at(sector)) {
            map += QStringLiteral("  aucune clé ne l'ouvre : laissé à zéro\n");
            continue;
        }
        const auto *accessBytes = reinterpret_cast<const quint8 *>(image.constData())
                                  + trailerOf(sector) * BlockLength + AccessConditions::FirstAccessByteInTrailer;
        for (int i = 0; i < blockCountOf(sector); ++i) {
            const int block = firstBlockOf(sector) + i;
            const QString rights
                = AccessConditions::describe(AccessConditions::rightsOf(accessBytes, i, sizeOf(sector)));
            map += QStringLiteral("  bloc %1 %2  %3\n")
                       .arg(block, 3)
                       .arg(CliText::hex(image.mid(block * BlockLength, BlockLength)), rights);
        }
    }
    return map;
}

} // namespace MifareImage
