#include "airdecoder.h"

#include "aircommands.h"
#include "airtiming.h"
#include "chipregisters.h"
#include "crc16.h"

namespace {

using Check = DecodedFrame::Check;
using Direction = DecodedFrame::Direction;

constexpr int CrcLength = 2;
constexpr int LongestShownPayload = 4;  // bytes of an answer a summary shows

// Bits taken apart into bytes, least significant bit first, with a parity
// bit after each whole byte when `parity` is set. The first byte may begin
// at bit `offset` (the rest of a byte the reader began, in an anticollision);
// its parity covers bits the reader sent and is not checked.
struct Unpacked
{
    QByteArray bytes;
    int bitCount = 0;
    Check parity = Check::None;
};

Unpacked unpack(const AirBits &bits, bool parity, int offset = 0)
{
    Unpacked out;
    bool parityOk = true;
    bool parityChecked = false;
    quint8 current = 0;
    int position = offset;
    int inCurrent = 0;
    for (std::size_t i = 0; i < bits.size(); ++i) {
        current |= quint8((bits[i] & 1) << position);
        ++position;
        ++inCurrent;
        ++out.bitCount;
        if (position < 8)
            continue;
        const bool split = out.bytes.isEmpty() && offset > 0;
        out.bytes.append(char(current));
        if (parity && i + 1 < bits.size()) {
            ++i;
            if (!split) {
                parityChecked = true;
                parityOk = parityOk && (bits[i] & 1) == (Air::oddParityBit(current) ? 1 : 0);
            }
        }
        current = 0;
        position = 0;
        inCurrent = 0;
    }
    if (inCurrent > 0)
        out.bytes.append(char(current));
    if (parity && parityChecked)
        out.parity = parityOk ? Check::Ok : Check::Failed;
    return out;
}

QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString compactHex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

QString byteText(quint8 value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

// CRC_A or the ISO/IEC 3309 CRC over all but the last two bytes; Failed
// only where the frame must carry one.
Check crcCheck(const QByteArray &bytes, int bitCount, bool iso3309, bool expected)
{
    if (bytes.size() < CrcLength + 1 || bitCount % 8 != 0)
        return expected ? Check::Failed : Check::None;
    const auto *data = reinterpret_cast<const quint8 *>(bytes.constData());
    const std::size_t length = std::size_t(bytes.size() - CrcLength);
    const quint16 crc = iso3309 ? Crc16::crc3309(data, length) : Crc16::crcA(data, length);
    const bool matches = quint8(bytes.at(bytes.size() - 2)) == quint8(crc) && quint8(bytes.at(bytes.size() - 1)) == quint8(crc >> 8);
    if (matches)
        return Check::Ok;
    return expected ? Check::Failed : Check::None;
}

int cascadeLevel(quint8 select)
{
    switch (select) {
    case TypeACommand::SelectCascadeLevel1: return 1;
    case TypeACommand::SelectCascadeLevel2: return 2;
    case TypeACommand::SelectCascadeLevel3: return 3;
    default: return 0;
    }
}

bool anyCollision(const Reception &reception)
{
    for (quint8 collided : reception.collided) {
        if (collided)
            return true;
    }
    return false;
}

int firstCollision(const Reception &reception)
{
    for (std::size_t i = 0; i < reception.collided.size(); ++i) {
        if (reception.collided[i])
            return int(i);
    }
    return -1;
}

QString vicinityError(quint8 code)
{
    using namespace VicinityCommand;
    switch (code) {
    case ErrorNotSupported: return QStringLiteral("commande non prise en charge");
    case ErrorNotRecognised: return QStringLiteral("format non reconnu");
    case ErrorOptionNotSupported: return QStringLiteral("option non prise en charge");
    case ErrorBlockNotAvailable: return QStringLiteral("bloc inexistant");
    case ErrorAlreadyLocked: return QStringLiteral("déjà verrouillé");
    case ErrorLocked: return QStringLiteral("verrouillé");
    case ErrorNotProgrammed: return QStringLiteral("écriture manquée");
    case ErrorNotLocked: return QStringLiteral("verrouillage manqué");
    default: return QStringLiteral("erreur inconnue");
    }
}

// An ISO/IEC 15693 UID as tags print it: most significant byte first.
QString vicinityUid(const QByteArray &leastFirst)
{
    QByteArray reversed;
    for (int i = leastFirst.size() - 1; i >= 0; --i)
        reversed.append(leastFirst.at(i));
    return compactHex(reversed);
}

} // namespace

// ---------------------------------------------------------------------------
// DecodedFrame

QString DecodedFrame::hex() const
{
    return hexOf(bytes);
}

QString DecodedFrame::traceLine() const
{
    QString line = direction == Direction::ReaderToCard ? QStringLiteral("→ ") : QStringLiteral("← ");
    line += meaning;
    if (!bytes.isEmpty())
        line += QLatin1Char(' ') + hex();
    if (partial())
        line += QStringLiteral(" (%1 bits)").arg(bitCount);
    if (parity == Check::Failed)
        line += QStringLiteral(" [parité fausse]");
    if (crc == Check::Failed)
        line += QStringLiteral(" [CRC faux]");
    return line;
}

QString DecodedFrame::label() const
{
    if (direction == Direction::ReaderToCard || encrypted)
        return meaning;
    const QByteArray payload = crc == Check::None ? bytes : bytes.left(bytes.size() - CrcLength);
    if (payload.isEmpty() || payload.size() > LongestShownPayload || meaning.contains(QLatin1Char(':')))
        return meaning;
    return meaning + QLatin1Char(' ') + hexOf(payload);
}

// ---------------------------------------------------------------------------
// AirDecoder

void AirDecoder::reset()
{
    *this = AirDecoder();
}

QString AirDecoder::summary(const std::vector<DecodedFrame> &frames)
{
    if (frames.empty())
        return QString();
    QString text = frames.front().label();
    text += QStringLiteral(" → ");
    text += frames.size() > 1 ? frames.back().label() : QStringLiteral("(pas de réponse)");
    return text;
}

std::vector<DecodedFrame> AirDecoder::decode(const AirExchange &exchange)
{
    std::vector<DecodedFrame> frames;
    const bool typeA = exchange.sent.coding == AirCoding::ModifiedMiller;
    const bool vicinity = exchange.sent.coding == AirCoding::OneOutOf4 || exchange.sent.coding == AirCoding::OneOutOf256;

    DecodedFrame request;
    if (typeA) {
        request = typeARequest(exchange);
    } else if (vicinity) {
        request = vicinityRequest(exchange);
    } else {
        const Unpacked bytes = unpack(exchange.sent.bits, false);
        request.bytes = bytes.bytes;
        request.bitCount = bytes.bitCount;
        request.meaning = exchange.sent.coding == AirCoding::Nrz ? QStringLiteral("trame NRZ")
                                                                 : QStringLiteral("trame d'un codage inconnu des cartes");
        m_last = Last::Other;
    }
    request.serial = exchange.serial;
    request.timeNs = exchange.startNs;
    request.direction = Direction::ReaderToCard;
    frames.push_back(request);
    if (!exchange.received.empty())
        frames.push_back(answerFrame(exchange));
    m_measurer.annotate(exchange, frames);
    return frames;
}

DecodedFrame AirDecoder::answerFrame(const AirExchange &exchange)
{
    const bool typeA = exchange.sent.coding == AirCoding::ModifiedMiller;
    const AirTiming::ReaderShape reader = AirTiming::readerShape(exchange.sent, exchange.settings);
    const AirTiming::AnswerShape shape = AirTiming::answerShape(exchange, reader);
    const qint64 answerNs = exchange.startNs + qint64(shape.startUs * 1000.0);
    DecodedFrame answer = typeA ? typeAAnswer(exchange) : vicinityAnswer(exchange);
    answer.serial = exchange.serial;
    answer.timeNs = answerNs;
    answer.direction = Direction::CardToReader;
    // Superposed answers mean nothing but where they first differ.
    if (anyCollision(exchange.received))
        answer.meaning = QStringLiteral("collision au bit %1").arg(firstCollision(exchange.received) + 1);
    return answer;
}

DecodedFrame AirDecoder::typeARequest(const AirExchange &exchange)
{
    using namespace TypeACommand;
    DecodedFrame frame;
    frame.encrypted = exchange.encrypted;
    if (exchange.sent.slotPulse) {
        frame.slotPulse = true;
        frame.meaning = QStringLiteral("impulsion seule");
        return frame;
    }
    if (int(exchange.sent.bits.size()) == ShortFrameBits && !exchange.encrypted) {
        const Unpacked bytes = unpack(exchange.sent.bits, false);
        frame.bytes = bytes.bytes;
        frame.bitCount = bytes.bitCount;
        const quint8 command = quint8(bytes.bytes.at(0));
        frame.meaning = command == Reqa ? QStringLiteral("REQA")
            : command == Wupa           ? QStringLiteral("WUPA")
                                        : QStringLiteral("trame courte");
        m_last = command == Reqa || command == Wupa ? Last::Request : Last::Other;
        return frame;
    }
    const bool parity = exchange.settings.channelRedundancy & ChannelRedundancyBits::ParityEn;
    const Unpacked unpacked = unpack(exchange.sent.bits, parity);
    frame.bytes = unpacked.bytes;
    frame.bitCount = unpacked.bitCount;
    frame.parityBits = parity;
    if (exchange.encrypted) {
        // The cipher covers the parity bits too: nothing can be checked.
        frame.meaning = exchange.authenticationToken ? QStringLiteral("jeton du lecteur (chiffré)")
                                                     : QStringLiteral("commande chiffrée");
        m_last = exchange.authenticationToken ? Last::AuthenticationToken : Last::Other;
        return frame;
    }
    frame.parity = unpacked.parity;
    const QByteArray &b = frame.bytes;
    const int whole = frame.bitCount / 8;
    const quint8 code = b.isEmpty() ? 0 : quint8(b.at(0));
    const int level = cascadeLevel(code);
    bool crcExpected = true;

    if (m_last == Last::WriteData && whole == MifareCommand::BlockSize + CrcLength) {
        frame.meaning = QStringLiteral("données du bloc %1").arg(m_block);
        m_last = Last::Other;
    } else if (level > 0 && b.size() >= 2) {
        const quint8 nvb = quint8(b.at(1));
        m_level = level;
        if (nvb == NvbSelect && whole == 9) {
            const bool cascade = quint8(b.at(2)) == CascadeTag;
            frame.meaning = QStringLiteral("SELECT CL%1 %2%3").arg(level)
                                .arg(cascade ? QStringLiteral("CT, UID ") : QStringLiteral("UID "))
                                .arg(compactHex(b.mid(cascade ? 3 : 2, cascade ? 3 : 4)));
            m_last = Last::Select;
        } else {
            m_anticollisionBits = std::max(0, (nvb >> 4) * 8 + (nvb & 0x0F) - 16);
            frame.meaning = QStringLiteral("ANTICOLLISION CL%1").arg(level);
            if (m_anticollisionBits > 0)
                frame.meaning += QStringLiteral(" (%1 bits d'UID connus)").arg(m_anticollisionBits);
            crcExpected = false;
            m_last = Last::Anticollision;
        }
    } else if (whole == 4 && code == Halt && b.at(1) == 0) {
        frame.meaning = QStringLiteral("HLTA");
        m_last = Last::Halt;
    } else if (whole == 4 && (code == MifareCommand::AuthenticateKeyA || code == MifareCommand::AuthenticateKeyB)) {
        m_block = quint8(b.at(1));
        frame.meaning = QStringLiteral("AUTH %1 bloc %2").arg(code == MifareCommand::AuthenticateKeyA ? 'A' : 'B').arg(m_block);
        m_last = Last::Authenticate;
    } else if (whole == 4 && code == MifareCommand::Read) {
        m_block = quint8(b.at(1));
        frame.meaning = QStringLiteral("READ bloc %1").arg(m_block);
        m_last = Last::Read;
    } else if (whole == 4 && code == MifareCommand::Write) {
        m_block = quint8(b.at(1));
        frame.meaning = QStringLiteral("WRITE bloc %1").arg(m_block);
        m_last = Last::Write;
    } else if (whole == 8 && code == MifareCommand::UltralightWrite) {
        m_block = quint8(b.at(1));
        frame.meaning = QStringLiteral("WRITE page %1 : %2").arg(m_block).arg(compactHex(b.mid(2, 4)));
        m_last = Last::UltralightWrite;
    } else {
        frame.meaning = QStringLiteral("trame");
        crcExpected = false;
        m_last = Last::Other;
    }
    frame.crc = crcCheck(b, frame.bitCount, false, crcExpected);
    return frame;
}

DecodedFrame AirDecoder::typeAAnswer(const AirExchange &exchange)
{
    using namespace TypeACommand;
    DecodedFrame frame;
    frame.encrypted = exchange.encrypted;
    const AirBits &bits = exchange.received.bits;
    if (int(bits.size()) == MifareCommand::AckNakBits) {
        const Unpacked nibble = unpack(bits, false);
        frame.bytes = nibble.bytes;
        frame.bitCount = nibble.bitCount;
        if (exchange.encrypted) {
            frame.meaning = QStringLiteral("ACK/NAK chiffré");
        } else {
            const bool ack = quint8(nibble.bytes.at(0)) == MifareCommand::Ack;
            frame.meaning = ack ? QStringLiteral("ACK") : QStringLiteral("NAK");
            if (ack && m_last == Last::Write)
                m_last = Last::WriteData;
        }
        return frame;
    }
    const int offset = m_last == Last::Anticollision ? m_anticollisionBits % 8 : 0;
    const Unpacked unpacked = unpack(bits, true, offset);
    frame.bytes = unpacked.bytes;
    frame.bitCount = unpacked.bitCount;
    frame.parityBits = true;
    frame.firstByteBits = 8 - offset;
    if (exchange.encrypted) {
        frame.meaning = m_last == Last::AuthenticationToken ? QStringLiteral("jeton de la carte (chiffré)")
                                                            : QStringLiteral("données chiffrées");
        return frame;
    }
    frame.parity = unpacked.parity;
    const QByteArray &b = frame.bytes;
    bool crcExpected = false;
    switch (m_last) {
    case Last::Request:
        frame.meaning = QStringLiteral("ATQA");
        break;
    case Last::Anticollision:
        if (m_anticollisionBits == 0 && b.size() == 5) {
            const bool cascade = quint8(b.at(0)) == CascadeTag;
            const quint8 bcc = quint8(b.at(0) ^ b.at(1) ^ b.at(2) ^ b.at(3));
            frame.meaning = QStringLiteral("UID CL%1 %2%3, BCC %4")
                                .arg(m_level)
                                .arg(cascade ? QStringLiteral("CT, ") : QString())
                                .arg(compactHex(b.mid(cascade ? 1 : 0, cascade ? 3 : 4)))
                                .arg(bcc == quint8(b.at(4)) ? QStringLiteral("juste") : QStringLiteral("faux"));
        } else {
            frame.meaning = QStringLiteral("suite de l'UID CL%1").arg(m_level);
        }
        break;
    case Last::Select:
        crcExpected = true;
        frame.meaning = !b.isEmpty() && (quint8(b.at(0)) & SakUidNotComplete) ? QStringLiteral("SAK (UID incomplet)")
                                                                               : QStringLiteral("SAK");
        break;
    case Last::Authenticate:
        frame.meaning = QStringLiteral("nonce de la carte");
        break;
    case Last::Read:
        crcExpected = true;
        frame.meaning = QStringLiteral("données du bloc %1").arg(m_block);
        break;
    default:
        frame.meaning = QStringLiteral("réponse");
        break;
    }
    frame.crc = crcCheck(b, frame.bitCount, false, crcExpected);
    return frame;
}

DecodedFrame AirDecoder::vicinityRequest(const AirExchange &exchange)
{
    using namespace VicinityCommand;
    DecodedFrame frame;
    if (exchange.sent.slotPulse) {
        frame.slotPulse = true;
        if (m_slot >= 0 && m_slot < SlotCount - 1) {
            ++m_slot;
            frame.meaning = QStringLiteral("EOF (créneau %1)").arg(m_slot);
        } else {
            m_slot = -1;
            frame.meaning = QStringLiteral("EOF");
        }
        return frame;
    }
    m_slot = -1;
    const Unpacked unpacked = unpack(exchange.sent.bits, false);
    frame.bytes = unpacked.bytes;
    frame.bitCount = unpacked.bitCount;
    frame.crc = crcCheck(frame.bytes, frame.bitCount, true, true);
    m_last = Last::Vicinity;
    m_vicinityCommand = 0;
    if (frame.bytes.size() < 2 + CrcLength || frame.partial()) {
        frame.meaning = QStringLiteral("trame");
        return frame;
    }
    const QByteArray body = frame.bytes.left(frame.bytes.size() - CrcLength);
    const quint8 flags = quint8(body.at(0));
    const quint8 code = quint8(body.at(1));
    m_vicinityCommand = code;
    QByteArray parameters = body.mid(2);

    if (flags & FlagInventory) {
        if (code != Inventory) {
            frame.meaning = QStringLiteral("commande %1 avec le drapeau Inventory").arg(byteText(code));
            return frame;
        }
        const bool oneSlot = flags & FlagOneSlot;
        frame.meaning = oneSlot ? QStringLiteral("INVENTORY 1 créneau") : QStringLiteral("INVENTORY 16 créneaux");
        if ((flags & FlagAfi) && !parameters.isEmpty()) {
            frame.meaning += QStringLiteral(", AFI %1").arg(byteText(quint8(parameters.at(0))));
            parameters.remove(0, 1);
        }
        const int maskLength = parameters.isEmpty() ? 0 : quint8(parameters.at(0));
        frame.meaning += QStringLiteral(", masque de %1 bits").arg(maskLength);
        if (maskLength > 0)
            frame.meaning += QStringLiteral(" ") + compactHex(parameters.mid(1));
        if (!oneSlot)
            m_slot = 0;
        return frame;
    }
    QString target;
    if ((flags & FlagAddress) && parameters.size() >= UidLength) {
        target = QStringLiteral(" (UID %1)").arg(vicinityUid(parameters.left(UidLength)));
        parameters.remove(0, UidLength);
    }
    const int block = parameters.isEmpty() ? -1 : quint8(parameters.at(0));
    m_block = block;
    switch (code) {
    case StayQuiet: frame.meaning = QStringLiteral("STAY QUIET"); break;
    case ReadSingleBlock: frame.meaning = QStringLiteral("READ SINGLE BLOCK %1").arg(block); break;
    case WriteSingleBlock:
        frame.meaning = QStringLiteral("WRITE SINGLE BLOCK %1 : %2").arg(block).arg(compactHex(parameters.mid(1)));
        break;
    case LockBlock: frame.meaning = QStringLiteral("LOCK BLOCK %1").arg(block); break;
    case Select: frame.meaning = QStringLiteral("SELECT"); break;
    case ResetToReady: frame.meaning = QStringLiteral("RESET TO READY"); break;
    case WriteAfi: frame.meaning = QStringLiteral("WRITE AFI %1").arg(byteText(quint8(block))); break;
    case LockAfi: frame.meaning = QStringLiteral("LOCK AFI"); break;
    case WriteDsfid: frame.meaning = QStringLiteral("WRITE DSFID %1").arg(byteText(quint8(block))); break;
    case LockDsfid: frame.meaning = QStringLiteral("LOCK DSFID"); break;
    case GetSystemInformation: frame.meaning = QStringLiteral("GET SYSTEM INFORMATION"); break;
    default: frame.meaning = QStringLiteral("commande %1").arg(byteText(code)); break;
    }
    frame.meaning += target;
    return frame;
}

DecodedFrame AirDecoder::vicinityAnswer(const AirExchange &exchange)
{
    using namespace VicinityCommand;
    DecodedFrame frame;
    const Unpacked unpacked = unpack(exchange.received.bits, false);
    frame.bytes = unpacked.bytes;
    frame.bitCount = unpacked.bitCount;
    frame.crc = crcCheck(frame.bytes, frame.bitCount, true, true);
    if (frame.bytes.size() < 1 + CrcLength || frame.partial()) {
        frame.meaning = QStringLiteral("réponse incomplète");
        return frame;
    }
    const QByteArray body = frame.bytes.left(frame.bytes.size() - CrcLength);
    const quint8 flags = quint8(body.at(0));
    if (flags & AnswerError) {
        const quint8 code = body.size() > 1 ? quint8(body.at(1)) : quint8(ErrorUnknown);
        frame.meaning = QStringLiteral("erreur %1 (%2)").arg(byteText(code), vicinityError(code));
        return frame;
    }
    const bool inventoryAnswer = (exchange.sent.slotPulse && body.size() == 2 + UidLength)
        || (m_vicinityCommand == Inventory && body.size() == 2 + UidLength);
    if (inventoryAnswer) {
        frame.meaning = QStringLiteral("DSFID %1, UID %2").arg(byteText(quint8(body.at(1))), vicinityUid(body.mid(2)));
    } else if (m_vicinityCommand == ReadSingleBlock && body.size() > 1) {
        frame.meaning = QStringLiteral("bloc %1 : %2").arg(m_block).arg(compactHex(body.mid(1)));
    } else {
        frame.meaning = QStringLiteral("OK");
    }
    return frame;
}
