#include "mifareclassiccard.h"

#include <QRandomGenerator>

namespace {

using MifareCommand::AuthenticateKeyA;
using MifareCommand::AuthenticateKeyB;
using MifareCommand::Read;
using MifareCommand::Write;
constexpr quint8 Sak1K = 0x08;
constexpr quint8 Sak4K = 0x18;
constexpr int DoubleSizeUidLength = 7;
const QByteArray SingleSizeAtqa1K("\x04\x00", 2);
const QByteArray DoubleSizeAtqa1K("\x44\x00", 2);
const QByteArray SingleSizeAtqa4K("\x02\x00", 2);
const QByteArray DoubleSizeAtqa4K("\x42\x00", 2);
const QByteArray TransportAccess("\xFF\x07\x80\x69", 4);

// Type A frames carry a parity bit after each byte, enciphered or not.
constexpr bool WithParity = true;
constexpr int NonceBits = 32;
// The reader's enciphered nonce and answer: eight bytes and their parity.
constexpr std::size_t ReaderTokenBits = 72;
constexpr int ReaderAnswerByte = 4;
// The nonce generator, a 16-bit LFSR, comes back to a nonce after
// 2^16 - 1 shifts. From any 32 bits with a 1 among their last 16 it is on
// its run after 16 shifts.
constexpr int NoncePeriod = 65535;
constexpr quint32 NonceGeneratorStart = 0x0000FFFF;
constexpr int NonceSettleShifts = 16;

// Blocks 0 to 127 come four to a sector; from block 128 on, only on a 4K,
// sixteen. In a sixteen-block sector each of the three data-block access
// groups covers five blocks; the trailer has the fourth group.
constexpr int BlockCount1K = 64;
constexpr int BlockCount4K = 256;
constexpr int FirstLargeSectorBlock = 128;
constexpr int SmallSectorBlocks = 4;
constexpr int LargeSectorBlocks = 16;
constexpr int SmallSectorCount = FirstLargeSectorBlock / SmallSectorBlocks;
constexpr int BlocksPerLargeAccessGroup = 5;
constexpr int TrailerAccessGroup = 3;

// The access conditions of a block, from the card's data sheet tables; each
// grant is a set of keys: 1 key A, 2 key B.
enum Keys { Never = 0, A = 1, B = 2, AorB = 3 };

struct DataAccess
{
    int read, write;
};
constexpr DataAccess DataBlockAccess[8] = {
    // C1C2C3: 000, 001, 010, 011, 100, 101, 110, 111
    { AorB, AorB }, { AorB, Never }, { AorB, Never }, { B, B },
    { AorB, B },    { B, Never },    { AorB, B },     { Never, Never },
};

struct TrailerAccess
{
    int writeKeyA, readAccess, writeAccess, readKeyB, writeKeyB;
};
constexpr TrailerAccess TrailerBlockAccess[8] = {
    { A, A, Never, A, A },              // 000
    { A, A, A, A, A },                  // 001 (transport configuration)
    { Never, A, Never, A, Never },      // 010
    { B, AorB, B, Never, B },           // 011
    { B, AorB, Never, Never, B },       // 100
    { Never, AorB, B, Never, Never },   // 101
    { Never, AorB, Never, Never, Never },  // 110
    { Never, AorB, Never, Never, Never },  // 111
};

bool isDoubleSize(const QByteArray &uid)
{
    return uid.size() == DoubleSizeUidLength;
}

bool isLargeSectorBlock(int block)
{
    return block >= FirstLargeSectorBlock;
}

quint8 sakOf(MifareClassicCard::Size size)
{
    return size == MifareClassicCard::Size::Classic4K ? Sak4K : Sak1K;
}

QByteArray atqaOf(const QByteArray &uid, MifareClassicCard::Size size)
{
    if (size == MifareClassicCard::Size::Classic4K)
        return isDoubleSize(uid) ? DoubleSizeAtqa4K : SingleSizeAtqa4K;
    return isDoubleSize(uid) ? DoubleSizeAtqa1K : SingleSizeAtqa1K;
}

} // namespace

MifareClassicCard::MifareClassicCard(const QByteArray &uid, Size size)
    : TypeACard(isDoubleSize(uid) ? uid : uid.left(4), atqaOf(uid, size), sakOf(size))
    , m_nonce(Crypto1::successor(NonceGeneratorStart, NonceSettleShifts))
{
    m_blocks.assign(std::size_t(size == Size::Classic4K ? BlockCount4K : BlockCount1K), QByteArray(BlockSize, '\0'));
    // Manufacturer block: UID, its BCC on a single-size card, SAK, ATQA,
    // then the maker's data.
    QByteArray manufacturer = this->uid();
    if (!isDoubleSize(this->uid())) {
        quint8 bcc = 0;
        for (char byte : this->uid())
            bcc ^= quint8(byte);
        manufacturer += char(bcc);
    }
    manufacturer += char(sakOf(size));
    manufacturer += atqaOf(this->uid(), size);
    manufacturer += QByteArray("\x54\x42\x31\x30\x31\x00\x20\x26", 8);
    m_blocks[0] = manufacturer.leftJustified(BlockSize, '\0', true);
    const QByteArray transportKey(6, char(0xFF));
    for (int sector = 0; sector < sectorCount(); ++sector)
        m_blocks[std::size_t(trailerOfSector(sector))] = transportKey + TransportAccess + transportKey;
}

int MifareClassicCard::sectorOf(int block)
{
    if (!isLargeSectorBlock(block))
        return block / SmallSectorBlocks;
    return SmallSectorCount + (block - FirstLargeSectorBlock) / LargeSectorBlocks;
}

int MifareClassicCard::trailerOfSector(int sector)
{
    if (sector < SmallSectorCount)
        return sector * SmallSectorBlocks + SmallSectorBlocks - 1;
    return FirstLargeSectorBlock + (sector - SmallSectorCount) * LargeSectorBlocks + LargeSectorBlocks - 1;
}

int MifareClassicCard::trailerOf(int block)
{
    return trailerOfSector(sectorOf(block));
}

int MifareClassicCard::accessGroupOf(int block)
{
    if (!isLargeSectorBlock(block))
        return block % SmallSectorBlocks;
    if (block == trailerOf(block))
        return TrailerAccessGroup;
    return (block - FirstLargeSectorBlock) % LargeSectorBlocks / BlocksPerLargeAccessGroup;
}

QByteArray MifareClassicCard::block(int number) const
{
    return m_blocks.at(std::size_t(number));
}

void MifareClassicCard::setBlock(int number, const QByteArray &data)
{
    m_blocks.at(std::size_t(number)) = data.leftJustified(BlockSize, '\0', true);
}

void MifareClassicCard::setSectorKeys(int sector, const Key &keyA, const Key &keyB)
{
    QByteArray &trailer = m_blocks.at(std::size_t(trailerOfSector(sector)));
    trailer.replace(0, 6, QByteArray(reinterpret_cast<const char *>(keyA.data()), 6));
    trailer.replace(10, 6, QByteArray(reinterpret_cast<const char *>(keyB.data()), 6));
}

MifareClassicCard::Key MifareClassicCard::key(int sector, KeyType type) const
{
    const QByteArray &trailer = m_blocks.at(std::size_t(trailerOfSector(sector)));
    Key key {};
    for (int i = 0; i < 6; ++i)
        key[std::size_t(i)] = quint8(trailer.at((type == KeyType::A ? 0 : 10) + i));
    return key;
}

void MifareClassicCard::leaveActive()
{
    m_session = Session::None;
    m_pendingWrite = -1;
}

AirBits MifareClassicCard::sealed(AirBits bits)
{
    if (m_session == Session::Authenticated)
        m_cipher.encipher(bits, WithParity);
    return bits;
}

std::optional<AirBits> MifareClassicCard::refuse(quint8 nak)
{
    AirBits answer = sealed(fourBits(nak));
    fallBack();
    return answer;
}

std::optional<AirBits> MifareClassicCard::activeFrame(const AirBits &bits)
{
    if (m_session == Session::NonceSent)
        return readerToken(bits);

    AirBits clear = bits;
    if (m_session == Session::Authenticated)
        m_cipher.decipher(clear, WithParity);
    QByteArray frame;
    if (!takeFrameWithCrc(clear, &frame)) {
        // Garbled, or sent in the clear to an encrypted session: the card
        // drops out without a word.
        fallBack();
        return std::nullopt;
    }
    if (m_pendingWrite >= 0)
        return writeData(frame);
    return command(frame);
}

std::optional<AirBits> MifareClassicCard::command(const QByteArray &frame)
{
    if (isHalt(frame)) {
        halt();
        return std::nullopt;
    }
    const quint8 code = quint8(frame.at(0));
    if (frame.size() != 2) {
        fallBack();
        return std::nullopt;
    }
    const int block = quint8(frame.at(1));
    if (code == AuthenticateKeyA || code == AuthenticateKeyB)
        return startAuthentication(frame);
    if (code != Read && code != Write) {
        fallBack();
        return std::nullopt;
    }
    if (m_session != Session::Authenticated || block >= blockCount() || sectorOf(block) != m_sector)
        return refuse(NakInvalid);
    if (code == Read)
        return read(block);
    if (!mayWrite(block))
        return refuse(NakInvalid);
    m_pendingWrite = block;
    return sealed(fourBits(Ack));
}

std::optional<AirBits> MifareClassicCard::startAuthentication(const QByteArray &frame)
{
    const int block = quint8(frame.at(1));
    if (block >= blockCount())
        return refuse(NakInvalid);
    // The cipher starts afresh from the sector's key and takes in the UID
    // and the nonce. The nonce goes out in the clear, or, when a sector is
    // already open (a nested authentication), enciphered by that new start.
    const bool nested = m_session == Session::Authenticated;
    m_keyType = quint8(frame.at(0)) == AuthenticateKeyA ? KeyType::A : KeyType::B;
    m_sector = sectorOf(block);
    m_cardNonce = nextNonce();
    m_cipher.loadKey(key(m_sector, m_keyType));
    AirBits nonce = Air::withOddParity(Crypto1::wordBytes(m_cardNonce));
    if (nested)
        m_cipher.encipher(nonce, WithParity, { NonceBits, cipherUid() });
    else
        m_cipher.feedWord(cipherUid() ^ m_cardNonce);
    m_session = Session::NonceSent;
    return nonce;
}

std::optional<AirBits> MifareClassicCard::readerToken(const AirBits &bits)
{
    // The reader's nonce and its answer, enciphered, each byte with its
    // parity bit; the state takes in the nonce as it is deciphered.
    if (bits.size() != ReaderTokenBits) {
        fallBack();
        return std::nullopt;
    }
    AirBits clear = bits;
    m_cipher.decipher(clear, WithParity, { NonceBits, 0 });
    const Air::ParityFrame token = Air::splitOddParity(clear);
    if (!token.parityOk || Crypto1::wordAt(token.bytes, ReaderAnswerByte) != Crypto1::readerAnswer(m_cardNonce)) {
        // A wrong key: the card says nothing and forgets the attempt.
        fallBack();
        return std::nullopt;
    }
    m_session = Session::Authenticated;
    return sealed(Air::withOddParity(Crypto1::wordBytes(Crypto1::cardAnswer(m_cardNonce))));
}

quint32 MifareClassicCard::nextNonce()
{
    if (m_forcedNonce) {
        m_nonce = *m_forcedNonce;
        m_forcedNonce.reset();
        return m_nonce;
    }
    // The generator runs as long as the card has power, so where a reader
    // finds it depends on the reader's timing, which the bench draws.
    m_nonce = Crypto1::successor(m_nonce, QRandomGenerator::global()->bounded(1, NoncePeriod));
    return m_nonce;
}

std::optional<AirBits> MifareClassicCard::read(int block)
{
    if (!mayRead(block))
        return refuse(NakInvalid);
    const QByteArray data = block == trailerOf(block) ? trailerAsRead(block) : m_blocks.at(std::size_t(block));
    return sealed(withCrc(data));
}

std::optional<AirBits> MifareClassicCard::writeData(const QByteArray &data)
{
    const int block = m_pendingWrite;
    m_pendingWrite = -1;
    if (data.size() != BlockSize)
        return refuse(NakInvalid);
    m_blocks.at(std::size_t(block)) = block == trailerOf(block) ? trailerAsWritten(block, data) : data;
    return sealed(fourBits(Ack));
}

int MifareClassicCard::accessBits(int block) const
{
    // Byte 6: ~C2 | ~C1, byte 7: C1 | ~C3, byte 8: C3 | C2, one bit per
    // access group of the sector in each nibble. A nibble that does not
    // match its complement makes the sector unusable, as on the card.
    const QByteArray &trailer = m_blocks.at(std::size_t(trailerOf(block)));
    const int b6 = quint8(trailer.at(6));
    const int b7 = quint8(trailer.at(7));
    const int b8 = quint8(trailer.at(8));
    const int c1 = b7 >> 4, c2 = b8 & 0x0F, c3 = b8 >> 4;
    if ((~b6 & 0x0F) != c1 || ((~b6 >> 4) & 0x0F) != c2 || (~b7 & 0x0F) != c3)
        return -1;
    const int bit = accessGroupOf(block);
    return (((c1 >> bit) & 1) << 2) | (((c2 >> bit) & 1) << 1) | ((c3 >> bit) & 1);
}

bool MifareClassicCard::mayRead(int block) const
{
    const int bits = accessBits(block);
    if (bits < 0)
        return false;
    if (block == trailerOf(block))
        return true;  // a trailer always reads, with what may not be read masked
    const int used = m_keyType == KeyType::A ? A : B;
    return DataBlockAccess[bits].read & used;
}

bool MifareClassicCard::mayWrite(int block) const
{
    const int bits = accessBits(block);
    if (block == 0 || bits < 0)
        return false;  // the manufacturer block is read-only
    const int used = m_keyType == KeyType::A ? A : B;
    if (block == trailerOf(block)) {
        const TrailerAccess &access = TrailerBlockAccess[bits];
        return (access.writeKeyA | access.writeAccess | access.writeKeyB) & used;
    }
    return DataBlockAccess[bits].write & used;
}

QByteArray MifareClassicCard::trailerAsRead(int block) const
{
    const QByteArray &trailer = m_blocks.at(std::size_t(block));
    const TrailerAccess &access = TrailerBlockAccess[accessBits(block)];
    const int used = m_keyType == KeyType::A ? A : B;
    QByteArray shown(BlockSize, '\0');  // key A never reads back
    if (access.readAccess & used)
        shown.replace(6, 4, trailer.mid(6, 4));
    if (access.readKeyB & used)
        shown.replace(10, 6, trailer.mid(10, 6));
    return shown;
}

QByteArray MifareClassicCard::trailerAsWritten(int block, const QByteArray &data) const
{
    QByteArray trailer = m_blocks.at(std::size_t(block));
    const TrailerAccess &access = TrailerBlockAccess[accessBits(block)];
    const int used = m_keyType == KeyType::A ? A : B;
    if (access.writeKeyA & used)
        trailer.replace(0, 6, data.mid(0, 6));
    if (access.writeAccess & used)
        trailer.replace(6, 4, data.mid(6, 4));
    if (access.writeKeyB & used)
        trailer.replace(10, 6, data.mid(10, 6));
    return trailer;
}
