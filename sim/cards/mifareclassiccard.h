#pragma once

#include "crypto1.h"
#include "typeacard.h"

#include <array>
#include <vector>

// A MIFARE Classic card: the 1K has 16 sectors of four 16-byte blocks; the
// 4K has 32 such sectors (blocks 0 to 127), then 8 sectors of sixteen
// blocks (128 to 255). The last block of each sector is its trailer (key A,
// access bits, key B). It comes with a
// single-size (4-byte) or a double-size (7-byte) UID; the cipher of the
// latter takes the UID's last four bytes. A reader must
// authenticate a sector with one of its keys before reading or writing it;
// from then on the card's side of the air is encrypted. READ answers 16
// bytes and CRC_A; WRITE goes in two phases, each acknowledged with the
// 4-bit ACK 0x0A or refused with a NAK. Whatever the access bits forbid is
// refused, and so is any access before authentication.
class MifareClassicCard : public TypeACard
{
public:
    enum class Size { Classic1K, Classic4K };
    static constexpr int BlockSize = 16;
    using Key = Crypto1::Key;

    // A card as it leaves the factory: a 4-byte UID with ATQA 04 00 (02 00
    // for a 4K), or a 7-byte one with ATQA 44 00 (42 00) and SAK 04 at
    // cascade level 1; SAK 08 (18 for a 4K), the manufacturer block built
    // from the UID, every sector with the transport keys FF FF FF FF FF FF
    // and access bits FF 07 80 69. A UID of another length is cut to four
    // bytes.
    explicit MifareClassicCard(const QByteArray &uid, Size size = Size::Classic1K);

    int blockCount() const { return int(m_blocks.size()); }
    int sectorCount() const { return sectorOf(blockCount() - 1) + 1; }

    QByteArray block(int number) const;
    // Sets a block directly, as the card's personalisation would.
    void setBlock(int number, const QByteArray &data);
    void setSectorKeys(int sector, const Key &keyA, const Key &keyB);

    // The geometry of the 4K, whose first 64 blocks are those of the 1K.
    static int trailerOf(int block);
    static int sectorOf(int block);
    static int trailerOfSector(int sector);

    // For tests: the nonce the next authentication sends, instead of where
    // the card's nonce generator happens to be.
    void setNextNonce(quint32 nonce) { m_forcedNonce = nonce; }

    // -1 when no sector is authenticated.
    int authenticatedSector() const { return m_session == Session::Authenticated ? m_sector : -1; }

protected:
    std::optional<AirBits> activeFrame(const AirBits &bits) override;
    void leaveActive() override;

private:
    enum class Session { None, NonceSent, Authenticated };
    enum class KeyType { A, B };

    std::optional<AirBits> command(const QByteArray &frame);
    std::optional<AirBits> startAuthentication(const QByteArray &frame);
    std::optional<AirBits> readerToken(const AirBits &bits);
    quint32 nextNonce();
    std::optional<AirBits> read(int block);
    std::optional<AirBits> writeData(const QByteArray &data);
    // Refuses and ends the session, as the card does after a NAK.
    std::optional<AirBits> refuse(quint8 nak);
    AirBits sealed(AirBits bits);

    // Access conditions of the authenticated sector, as the trailer's
    // access bits grant them to the key that was used.
    int accessBits(int block) const;  // C1C2C3 as a number, -1 when corrupted
    // Which of the trailer's four access-bit groups governs the block.
    static int accessGroupOf(int block);
    bool mayRead(int block) const;
    bool mayWrite(int block) const;
    QByteArray trailerAsRead(int block) const;
    QByteArray trailerAsWritten(int block, const QByteArray &data) const;

    Key key(int sector, KeyType type) const;

    std::vector<QByteArray> m_blocks;
    Session m_session = Session::None;
    KeyType m_keyType = KeyType::A;
    int m_sector = 0;
    quint32 m_cardNonce = 0;
    int m_pendingWrite = -1;  // block of a WRITE whose data phase is due
    Crypto1 m_cipher;
    // The nonce generator's last nonce; it runs on between authentications.
    quint32 m_nonce;
    std::optional<quint32> m_forcedNonce;
};
