#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

// The raw image of a MIFARE Classic card as dump files hold it: every block
// in order, 16 bytes each, 1024 bytes for a 1K, 4096 for a 4K. A 4K has 32
// sectors of 4 blocks, then 8 of 16; each sector's last block is its
// trailer: key A (bytes 0-5), access bits (6-8), a free byte, key B (10-15).
namespace MifareImage {

constexpr int BlockLength = 16;
constexpr int KeyLength = 6;
constexpr int Size1K = 1024;
constexpr int Size4K = 4096;

// Whether a file of this size is an image.
bool validSize(qint64 size);

int sectorCount(int imageSize);
int firstBlockOf(int sector);
int blockCountOf(int sector);
int trailerOf(int sector);

// The key that opened the sector put in its trailer, where the card gives
// zeros for key A (and for key B when its access bits hide it): key A in
// bytes 0-5, or key B in bytes 10-15.
void putKey(QByteArray &image, int sector, const QByteArray &key, bool asKeyB);

// The sector's own keys in the image, as restore tries them first: key A,
// then key B.
QList<QByteArray> keysOf(const QByteArray &image, int sector);

// What restore does with a block of the image.
enum class Restore {
    Write,
    Keep,              // block 0 (the manufacturer's data), or a trailer unasked for
    KeepInconsistent,  // a trailer whose access bits contradict themselves
};
// A trailer is written only `withTrailers`, and only when a card would not
// lock its sector on its access bits.
Restore restoreOf(const QByteArray &image, int block, bool withTrailers);

// Each block's bytes and its rights in words under its sector's trailer,
// one line a block; a sector not opened says so instead.
QString memoryMap(const QByteArray &image, const QVector<bool> &sectorOpened);

} // namespace MifareImage
