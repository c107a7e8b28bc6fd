#include "airdecoder.h"

#include "aircommands.h"
#include "airtiming.h"
#include "chipregisters.h"
#include "crc16.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <map>

namespace {

using Check = DecodedFrame::Check;
using Direction = DecodedFrame::Direction;

constexpr int CrcLength = 2;
constexpr int ByteBits = 8;
constexpr int LongestShownPayload = 4;  // bytes of an answer a summary shows
constexpr int PauseDecimals = 2;        // "0,15 µs"
constexpr double Percent = 100.0;
constexpr int LastBlockNumber = 255;    // ISO 15693 block numbers are one byte
// MIFARE's authentication words: a nonce or an answer, four bytes; the
// reader's token is its nonce and its answer.
constexpr int WordBytes = 4;
constexpr int TokenBytes = 2 * WordBytes;

// Bits taken apart into bytes, least significant bit first, with a parity
// bit after each whole byte when `parity` is set. The first byte may begin
// at bit `offset` (the rest of a byte the reader began, in an anticollision);
// its parity covers bits the reader sent and is not checked. A whole byte
// that ends the frame where its parity bit was due fails the check, as the
// chip's receiver has it.
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
        if (position < ByteBits)
            continue;
        const bool split = out.bytes.isEmpty() && offset > 0;
        out.bytes.append(char(current));
        if (parity) {
            parityChecked = true;
            if (i + 1 < bits.size()) {
                ++i;
                if (!split)
                    parityOk = parityOk && (bits[i] & 1) == (Air::oddParityBit(current) ? 1 : 0);
            } else {
                parityOk = false;  // the frame ends where the parity bit was due
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

// Where the first collision falls, as the chip's CollPos counts it: 1 for
// the first bit of the first byte received, parity bits not counted, the
// first bit received landing at `offset` in its byte (the chip's RxAlign,
// which a reader sets to the bits of the byte it began in an
// anticollision). 0 when no data bit collided.
int collisionPosition(const Reception &reception, bool parity, int offset)
{
    int bytes = 0;
    int bit = offset;
    for (std::size_t i = 0; i < reception.bits.size();) {
        if (i < reception.collided.size() && reception.collided[i])
            return bytes * ByteBits + bit + 1;
        ++bit;
        ++i;
        if (bit < ByteBits)
            continue;
        ++bytes;
        bit = 0;
        if (parity && i < reception.bits.size())
            ++i;  // the parity bit: the chip does not look for a collision there
    }
    return 0;
}

bool anyCollision(const Reception &reception)
{
    for (quint8 collided : reception.collided) {
        if (collided)
            return true;
    }
    return false;
}

QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString compactHex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

// What a decrypted frame's meaning ends with: the bytes the air carried.
QString cipherNote(const QByteArray &ciphertext)
{
    return QStringLiteral(" (chiffré : %1)").arg(hexOf(ciphertext));
}

QString byteText(quint8 value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

QString frenchNumber(double value, int decimals)
{
    static const QLocale french = [] {
        QLocale locale(QLocale::French, QLocale::France);
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        return locale;
    }();
    return french.toString(value, 'f', decimals);
}

// "1 octet", "3 octets"
QString countOf(int count, const QString &singular)
{
    return QStringLiteral("%1 %2%3").arg(count).arg(singular).arg(count > 1 ? QStringLiteral("s") : QString());
}

// The frame's faults after its name: "SELECT CL1 : longueur contraire au NVB 70 (…)".
QString withFaults(const QString &name, const QStringList &faults)
{
    if (faults.isEmpty())
        return name;
    return name + QStringLiteral(" : ") + faults.join(QStringLiteral(", "));
}

QString bitsFault(int bits, int expected)
{
    return QStringLiteral("%1 bits, %2 attendus").arg(bits).arg(expected);
}

QString bytesFault(int bytes, int expected)
{
    return QStringLiteral("%1, %2 attendus").arg(countOf(bytes, QStringLiteral("octet"))).arg(expected);
}

QString missingFault(const QStringList &what)
{
    return (what.size() > 1 ? QStringLiteral("paramètres manquants (%1)") : QStringLiteral("paramètre manquant (%1)"))
        .arg(what.join(QStringLiteral(", ")));
}

QString extraFault(const QByteArray &bytes)
{
    return QStringLiteral("octets en trop (%1)").arg(hexOf(bytes));
}

// CRC_A or the ISO/IEC 3309 CRC over all but the last two bytes. Where the
// frame carries one (`carried`): Ok or Failed, Failed too when the frame is
// too short or not whole bytes. Elsewhere Ok only for bytes that happen to
// end in their CRC, None otherwise.
Check crcCheck(const QByteArray &bytes, int bitCount, bool iso3309, bool carried)
{
    if (bytes.size() < CrcLength + 1 || bitCount % ByteBits != 0)
        return carried ? Check::Failed : Check::None;
    const auto *data = reinterpret_cast<const quint8 *>(bytes.constData());
    const std::size_t length = std::size_t(bytes.size() - CrcLength);
    const quint16 crc = iso3309 ? Crc16::crc3309(data, length) : Crc16::crcA(data, length);
    const bool matches = quint8(bytes.at(bytes.size() - 2)) == quint8(crc) && quint8(bytes.at(bytes.size() - 1)) == quint8(crc >> 8);
    if (matches)
        return Check::Ok;
    return carried ? Check::Failed : Check::None;
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

// The chip sends a CRC after the frame (transmitting) or looks for one at
// its end (receiving): a 16-bit CRC, not CRC8.
bool crcOn(quint8 channelRedundancy, quint8 enable)
{
    return (channelRedundancy & enable) && !(channelRedundancy & ChannelRedundancyBits::CRC8);
}

bool onAir(AirHearing hearing)
{
    return hearing != AirHearing::FieldOff && hearing != AirHearing::CoderMuted;
}

// Why no card heard a frame that went on the air; empty when one could.
QString hearingReason(const AirExchange &exchange)
{
    const QString unheard = QStringLiteral(" : la carte n'entend rien");
    switch (exchange.hearing) {
    case AirHearing::PauseTooShort:
    case AirHearing::PauseTooLong:
        // The width of each pause: ModWidth's, the same for all of them.
        return QStringLiteral("pause de %1 µs").arg(frenchNumber(AirTiming::pauseUs(exchange.settings), PauseDecimals))
            + unheard;
    case AirHearing::TooShallow:
        return QStringLiteral("porteuse à %1 % dans les pauses").arg(qRound(AirTiming::pauseLevel(exchange.settings) * Percent))
            + unheard;
    case AirHearing::NotModelled:
        return QStringLiteral("débit ou sous-porteuse que le banc ne simule pas");
    default:
        return QString();
    }
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

// "3" or "3 à 5"
QString blockRange(int first, int count)
{
    return count > 1 ? QStringLiteral("%1 à %2").arg(first).arg(first + count - 1) : QString::number(first);
}

// The parameters of an ISO/IEC 15693 request, taken one after the other:
// what is missing is named, never made up.
class Parameters
{
public:
    explicit Parameters(const QByteArray &bytes)
        : m_bytes(bytes)
    {
    }

    // The next byte, or -1 (and `what` noted as missing) when none is left.
    int byte(const QString &what)
    {
        if (m_at >= m_bytes.size() || !m_missing.isEmpty()) {
            m_missing << what;
            return -1;
        }
        return quint8(m_bytes.at(m_at++));
    }
    // The next `count` bytes (at least one), or empty and noted as missing.
    QByteArray bytes(int count, const QString &what)
    {
        if (count < 1 || m_at + count > m_bytes.size() || !m_missing.isEmpty()) {
            m_missing << what;
            return QByteArray();
        }
        const QByteArray taken = m_bytes.mid(m_at, count);
        m_at += count;
        return taken;
    }
    QByteArray rest()
    {
        const QByteArray taken = m_bytes.mid(m_at);
        m_at = m_bytes.size();
        return taken;
    }
    bool complete() const { return m_missing.isEmpty(); }
    int left() const { return int(m_bytes.size()) - m_at; }
    // Missing, then extra bytes.
    void faults(QStringList &faults) const
    {
        if (!m_missing.isEmpty())
            faults << missingFault(m_missing);
        else if (m_at < m_bytes.size())
            faults << extraFault(m_bytes.mid(m_at));
    }

private:
    QByteArray m_bytes;
    int m_at = 0;
    QStringList m_missing;
};

} // namespace

// ---------------------------------------------------------------------------
// DecodedFrame

QString DecodedFrame::hex() const
{
    return hexOf(bytes);
}

QString DecodedFrame::meaningWithoutCiphertext() const
{
    QString text = meaning;
    if (!plainBytes.isEmpty())
        text.remove(cipherNote(bytes));
    return text;
}

QString DecodedFrame::traceLine() const
{
    QString line = direction == Direction::ReaderToCard ? QStringLiteral("→ ") : QStringLiteral("← ");
    // A decrypted frame shows its clear bytes where a plain one shows its
    // own, and the ciphertext after them.
    line += meaningWithoutCiphertext();
    const QByteArray &shown = plainBytes.isEmpty() ? bytes : plainBytes;
    if (!shown.isEmpty())
        line += QLatin1Char(' ') + hexOf(shown);
    if (partial())
        line += QStringLiteral(" (%1 bits)").arg(bitCount);
    if (!plainBytes.isEmpty())
        line += cipherNote(bytes);
    if (parity == Check::Failed)
        line += QStringLiteral(" [parité fausse]");
    if (crc == Check::Failed)
        line += QStringLiteral(" [CRC faux]");
    return line;
}

QString DecodedFrame::label() const
{
    if (direction == Direction::ReaderToCard || encrypted)
        return meaningWithoutCiphertext();
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
    if (!onAir(exchange.hearing)) {
        request = silentRequest(exchange);
    } else if (typeA) {
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
    if (onAir(exchange.hearing)) {
        const QString reason = hearingReason(exchange);
        if (!reason.isEmpty())
            request.meaning += QStringLiteral(" — ") + reason;
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

DecodedFrame AirDecoder::silentRequest(const AirExchange &exchange) const
{
    // The coder made the frame, but nothing of it reached the air: its
    // bytes are shown as the coder sent them, and nothing is read into them.
    DecodedFrame frame;
    frame.encrypted = exchange.encrypted;
    frame.slotPulse = exchange.sent.slotPulse;
    const bool shortFrame = int(exchange.sent.bits.size()) == TypeACommand::ShortFrameBits;
    const bool parity = exchange.sent.coding == AirCoding::ModifiedMiller && !shortFrame
        && (exchange.settings.channelRedundancy & ChannelRedundancyBits::ParityEn);
    const Unpacked unpacked = unpack(exchange.sent.bits, parity);
    frame.bytes = unpacked.bytes;
    frame.bitCount = unpacked.bitCount;
    frame.parityBits = parity;
    frame.meaning = exchange.hearing == AirHearing::FieldOff
        ? QStringLiteral("champ coupé : rien sur l'air")
        : QStringLiteral("codeur coupé de l'antenne : rien sur l'air");
    return frame;
}

DecodedFrame AirDecoder::answerFrame(const AirExchange &exchange)
{
    const bool typeA = exchange.sent.coding == AirCoding::ModifiedMiller;
    const AirTiming::ReaderShape reader = AirTiming::readerShape(exchange.sent, exchange.settings);
    const AirTiming::AnswerShape shape = AirTiming::answerShape(exchange, reader);
    const qint64 answerNs = exchange.startNs + qint64(shape.startUs * 1000.0);
    // Where the answer's first bit lands, as typeAAnswer lays it out (before
    // it moves on from the request it answers).
    const bool nibble = int(exchange.received.bits.size()) == MifareCommand::AckNakBits;
    const int offset = typeA ? answerOffset(exchange.received.bits) : 0;
    DecodedFrame answer = typeA ? typeAAnswer(exchange) : vicinityAnswer(exchange);
    answer.serial = exchange.serial;
    answer.timeNs = answerNs;
    answer.direction = Direction::CardToReader;
    // Superposed answers mean nothing but where they first differ, counted
    // as the chip's CollPos counts it.
    if (anyCollision(exchange.received)) {
        const int position = collisionPosition(exchange.received, typeA && !nibble, offset);
        answer.meaning = position > 0 ? QStringLiteral("collision au bit %1").arg(position)
                                      : QStringLiteral("collision sur un bit de parité");
        answer.plainBytes.clear();  // superposed answers decipher to nothing
    }
    return answer;
}

int AirDecoder::answerOffset(const AirBits &bits) const
{
    const bool nibble = int(bits.size()) == MifareCommand::AckNakBits;
    return !nibble && m_last == Last::Anticollision ? m_anticollisionBits % ByteBits : 0;
}

void AirDecoder::showCiphertext(DecodedFrame &frame, const AirBits &airBits, bool parity, int offset)
{
    const Unpacked cipher = unpack(airBits, parity, offset);
    frame.encrypted = true;
    // Empty when the frame could not be read, or when nothing of it was on
    // the air to be read.
    frame.plainBytes = cipher.bytes.isEmpty() ? QByteArray() : frame.bytes;
    frame.bytes = cipher.bytes;
    frame.bitCount = cipher.bitCount;
    frame.parityBits = parity;
    if (!frame.plainBytes.isEmpty())
        frame.meaning += cipherNote(frame.bytes);
}

DecodedFrame AirDecoder::typeARequest(const AirExchange &exchange)
{
    if (exchange.sent.slotPulse) {
        DecodedFrame frame;
        frame.encrypted = exchange.encrypted;
        frame.slotPulse = true;
        frame.meaning = QStringLiteral("impulsion seule");
        return frame;
    }
    if (exchange.encrypted)
        return encryptedRequest(exchange);
    return typeACommand(exchange.sent.bits, exchange.settings.channelRedundancy, false);
}

DecodedFrame AirDecoder::encryptedRequest(const AirExchange &exchange)
{
    const quint8 redundancy = exchange.settings.channelRedundancy;
    const bool parity = redundancy & ChannelRedundancyBits::ParityEn;
    const bool token = exchange.authenticationToken;
    DecodedFrame frame;
    if (exchange.plainKnown) {
        frame = token ? readerToken(exchange.plainSent, parity) : typeACommand(exchange.plainSent, redundancy, true);
    } else {
        // Without the key the cipher covers everything, the parity bits
        // too: nothing can be read or checked.
        frame.meaning = token ? QStringLiteral("jeton du lecteur, clé inconnue : indéchiffrable")
                              : QStringLiteral("trame chiffrée, clé inconnue : indéchiffrable");
        m_last = token ? Last::AuthenticationToken : Last::Other;
    }
    showCiphertext(frame, exchange.sent.bits, parity, 0);
    return frame;
}

DecodedFrame AirDecoder::readerToken(const AirBits &bits, bool parity)
{
    DecodedFrame frame;
    const Unpacked clear = unpack(bits, parity);
    frame.bytes = clear.bytes;
    frame.bitCount = clear.bitCount;
    frame.parity = clear.parity;
    m_last = Last::AuthenticationToken;
    const QString name = QStringLiteral("jeton du lecteur");
    if (frame.bitCount != TokenBytes * ByteBits) {
        frame.malformed = true;
        frame.meaning = withFaults(name, { bitsFault(frame.bitCount, TokenBytes * ByteBits) });
        return frame;
    }
    // The reader's nonce, then its answer to the card's: the card's nonce 64
    // shifts of its generator on.
    frame.meaning = name + QStringLiteral(" : nr %1, ar = suc64(nt) %2")
                               .arg(compactHex(frame.bytes.left(WordBytes)), compactHex(frame.bytes.mid(WordBytes)));
    return frame;
}

DecodedFrame AirDecoder::typeACommand(const AirBits &bits, quint8 redundancy, bool deciphered)
{
    using namespace TypeACommand;
    DecodedFrame frame;
    if (int(bits.size()) == ShortFrameBits) {
        const Unpacked bytes = unpack(bits, false);
        frame.bytes = bytes.bytes;
        frame.bitCount = bytes.bitCount;
        const quint8 command = quint8(bytes.bytes.at(0));
        frame.meaning = command == Reqa ? QStringLiteral("REQA")
            : command == Wupa           ? QStringLiteral("WUPA")
                                        : QStringLiteral("trame courte");
        m_last = command == Reqa || command == Wupa ? Last::Request : Last::Other;
        return frame;
    }
    const bool parity = redundancy & ChannelRedundancyBits::ParityEn;
    const Unpacked unpacked = unpack(bits, parity);
    frame.bytes = unpacked.bytes;
    frame.bitCount = unpacked.bitCount;
    frame.parityBits = parity;
    frame.parity = unpacked.parity;
    const QByteArray &b = frame.bytes;
    const int size = int(b.size());
    const bool wholeBytes = !frame.partial();
    const quint8 code = b.isEmpty() ? 0 : quint8(b.at(0));
    const int level = cascadeLevel(code);
    // The chip added a CRC_A after the host's bytes.
    const bool carriesCrc = crcOn(redundancy, ChannelRedundancyBits::TxCRCEn);
    bool crcCarried = carriesCrc;
    QStringList faults;
    QString name;
    Last last = Last::Other;

    // A command of `body` bytes and its CRC_A (the chip's, or one the host
    // put there): true when its body is all there.
    const auto command = [&](int body) {
        crcCarried = true;
        if (wholeBytes && size == body + CrcLength)
            return true;
        if (wholeBytes && size == body && !carriesCrc) {
            faults << QStringLiteral("sans CRC");
            crcCarried = false;
            return true;
        }
        faults << bitsFault(frame.bitCount, (body + CrcLength) * ByteBits);
        return false;
    };

    const bool writeData = m_last == Last::WriteData && wholeBytes
        && (size == MifareCommand::BlockSize + CrcLength || (size == MifareCommand::BlockSize && !carriesCrc));
    if (writeData) {
        command(MifareCommand::BlockSize);
        name = QStringLiteral("données du bloc %1").arg(m_block);
        // Deciphered, the data are nowhere else to be seen.
        if (deciphered)
            name += QStringLiteral(" : ") + hexOf(b.left(MifareCommand::BlockSize));
    } else if (level > 0) {
        const QString sel = QStringLiteral("CL%1").arg(level);
        const quint8 nvb = size >= 2 ? quint8(b.at(1)) : 0;
        const int nvbBytes = nvb >> NvbByteCountShift;
        const int nvbBits = nvb & NvbBitCountMask;
        const bool anticollision = nvbBytes >= AnticollisionFewestBytes && nvbBytes <= AnticollisionMostBytes
            && nvbBits <= NvbMostBits;
        if (frame.bitCount < 2 * ByteBits) {
            name = QStringLiteral("SEL ") + sel;
            faults << QStringLiteral("NVB manquant");
        } else if (nvb == NvbSelect) {
            constexpr int selectBytes = 2 + CascadeUidBytes + 1;  // SEL, NVB, UID bytes, BCC
            name = QStringLiteral("SELECT ") + sel;
            if (command(selectBytes)) {
                const bool cascade = quint8(b.at(2)) == CascadeTag;
                name += QStringLiteral(" %1%2").arg(cascade ? QStringLiteral("CT, UID ") : QStringLiteral("UID "))
                            .arg(compactHex(b.mid(cascade ? 3 : 2, cascade ? CascadeUidBytes - 1 : CascadeUidBytes)));
                const quint8 bcc = quint8(b.at(2) ^ b.at(3) ^ b.at(4) ^ b.at(5));
                if (bcc != quint8(b.at(6))) {
                    name += QStringLiteral(", BCC faux");
                    frame.malformed = true;
                }
            } else {
                // Not the SELECT's bytes: which of them are the UID is anyone's guess.
                faults.last() = QStringLiteral("longueur contraire au NVB %1 (%2)").arg(byteText(nvb), faults.last());
            }
            m_level = level;
            last = Last::Select;
        } else if (anticollision) {
            const int nvbTotal = nvbBytes * ByteBits + nvbBits;
            const int known = nvbTotal - 2 * ByteBits;
            name = QStringLiteral("ANTICOLLISION ") + sel;
            if (known > 0)
                name += QStringLiteral(" (%1 bits d'UID connus)").arg(known);
            // An anticollision frame carries no CRC: one the chip added
            // makes it longer than its NVB says, and is checked all the same.
            if (frame.bitCount != nvbTotal)
                faults << QStringLiteral("longueur contraire au NVB %1 (%2)").arg(byteText(nvb), bitsFault(frame.bitCount, nvbTotal));
            m_level = level;
            m_anticollisionBits = known;
            last = Last::Anticollision;
        } else {
            name = QStringLiteral("SEL ") + sel;
            faults << QStringLiteral("NVB invalide %1").arg(byteText(nvb));
        }
    } else if (code == Halt) {
        name = QStringLiteral("HLTA");
        if (command(2) && b.at(1) != 0)
            faults << QStringLiteral("deuxième octet %1 au lieu de 00").arg(byteText(quint8(b.at(1))));
        last = Last::Halt;
    } else if (code == MifareCommand::AuthenticateKeyA || code == MifareCommand::AuthenticateKeyB) {
        name = QStringLiteral("AUTH %1").arg(code == MifareCommand::AuthenticateKeyA ? 'A' : 'B');
        if (command(2)) {
            m_block = quint8(b.at(1));
            name += QStringLiteral(" bloc %1").arg(m_block);
        }
        last = Last::Authenticate;
    } else if (code == MifareCommand::Read || code == MifareCommand::Write) {
        name = code == MifareCommand::Read ? QStringLiteral("READ") : QStringLiteral("WRITE");
        if (command(2)) {
            m_block = quint8(b.at(1));
            name += QStringLiteral(" bloc %1").arg(m_block);
        }
        last = code == MifareCommand::Read ? Last::Read : Last::Write;
    } else if (code == MifareCommand::UltralightWrite) {
        constexpr int pageBytes = 4;
        name = QStringLiteral("WRITE page");
        if (command(2 + pageBytes)) {
            m_block = quint8(b.at(1));
            name += QStringLiteral(" %1 : %2").arg(m_block).arg(compactHex(b.mid(2, pageBytes)));
        }
        last = Last::UltralightWrite;
    } else {
        name = QStringLiteral("trame");
    }
    // A frame that breaks its rules leaves no card in a state to answer as
    // the command would have it.
    if (!faults.isEmpty()) {
        frame.malformed = true;
        last = Last::Other;
    }
    if (frame.malformed && last == Last::Select)
        last = Last::Other;
    m_last = last;
    frame.meaning = withFaults(name, faults);
    frame.crc = crcCheck(b, frame.bitCount, false, crcCarried);
    return frame;
}

DecodedFrame AirDecoder::typeAAnswer(const AirExchange &exchange)
{
    if (exchange.encrypted)
        return encryptedAnswer(exchange);
    return typeAReply(exchange.received.bits, exchange.settings.channelRedundancy, false);
}

DecodedFrame AirDecoder::encryptedAnswer(const AirExchange &exchange)
{
    const AirBits &bits = exchange.received.bits;
    const bool nibble = int(bits.size()) == MifareCommand::AckNakBits;
    const int offset = answerOffset(bits);
    const bool toToken = m_last == Last::AuthenticationToken;
    DecodedFrame frame;
    if (exchange.answerPlainKnown) {
        frame = toToken ? cardToken(exchange.plainReceived)
                        : typeAReply(exchange.plainReceived, exchange.settings.channelRedundancy, true);
    } else {
        // The reader's own frame in the clear means its key is known: an
        // answer it cannot read is then no token of the card's, or one it
        // did not listen to.
        frame.meaning = !exchange.plainKnown ? QStringLiteral("réponse indéchiffrable (clé inconnue)")
            : toToken                        ? QStringLiteral("réponse au jeton indéchiffrable : pas at = suc96(nt)")
                                             : QStringLiteral("réponse non déchiffrée : le lecteur n'écoutait pas");
        m_last = Last::Other;
    }
    showCiphertext(frame, bits, !nibble, offset);
    frame.firstByteBits = ByteBits - offset;
    return frame;
}

DecodedFrame AirDecoder::cardToken(const AirBits &bits)
{
    DecodedFrame frame;
    const Unpacked clear = unpack(bits, true);
    frame.bytes = clear.bytes;
    frame.bitCount = clear.bitCount;
    frame.parity = clear.parity;
    m_last = Last::Other;
    const QString name = QStringLiteral("jeton de la carte");
    if (frame.bitCount != WordBytes * ByteBits) {
        frame.malformed = true;
        frame.meaning = withFaults(name, { bitsFault(frame.bitCount, WordBytes * ByteBits) });
        return frame;
    }
    // The card's answer: its nonce 96 shifts of its generator on.
    frame.meaning = name + QStringLiteral(" : at = suc96(nt) %1").arg(compactHex(frame.bytes));
    return frame;
}

DecodedFrame AirDecoder::typeAReply(const AirBits &bits, quint8 redundancy, bool deciphered)
{
    using namespace TypeACommand;
    DecodedFrame frame;
    if (int(bits.size()) == MifareCommand::AckNakBits) {
        const Unpacked nibble = unpack(bits, false);
        frame.bytes = nibble.bytes;
        frame.bitCount = nibble.bitCount;
        const quint8 value = quint8(nibble.bytes.at(0));
        const bool ack = value == MifareCommand::Ack;
        frame.meaning = ack ? QStringLiteral("ACK") : QStringLiteral("NAK");
        // Deciphered, which NAK it is shows nowhere else.
        if (!ack && deciphered)
            frame.meaning += QLatin1Char(' ') + QString::number(value, 16).toUpper();
        if (ack && m_last == Last::Write)
            m_last = Last::WriteData;
        return frame;
    }
    const int offset = answerOffset(bits);
    const Unpacked unpacked = unpack(bits, true, offset);
    frame.bytes = unpacked.bytes;
    frame.bitCount = unpacked.bitCount;
    frame.parityBits = true;
    frame.firstByteBits = ByteBits - offset;
    frame.parity = unpacked.parity;
    const QByteArray &b = frame.bytes;
    bool crcCarried = false;
    QStringList faults;
    QString name;
    // The answer is `expected` bits long, its CRC included.
    const auto expect = [&](int expected) {
        if (frame.bitCount == expected)
            return true;
        faults << bitsFault(frame.bitCount, expected);
        return false;
    };
    switch (m_last) {
    case Last::Request:
        name = QStringLiteral("ATQA");
        expect(AtqaBits);
        break;
    case Last::Anticollision:
        if (m_anticollisionBits == 0 && frame.bitCount == CascadeLevelBits) {
            const bool cascade = quint8(b.at(0)) == CascadeTag;
            const quint8 bcc = quint8(b.at(0) ^ b.at(1) ^ b.at(2) ^ b.at(3));
            const bool bccOk = bcc == quint8(b.at(4));
            name = QStringLiteral("UID CL%1 %2%3, BCC %4")
                       .arg(m_level)
                       .arg(cascade ? QStringLiteral("CT, ") : QString())
                       .arg(compactHex(b.mid(cascade ? 1 : 0, cascade ? CascadeUidBytes - 1 : CascadeUidBytes)))
                       .arg(bccOk ? QStringLiteral("juste") : QStringLiteral("faux"));
            frame.malformed = !bccOk;
        } else {
            name = QStringLiteral("suite de l'UID CL%1").arg(m_level);
            expect(CascadeLevelBits - m_anticollisionBits);
        }
        break;
    case Last::Select:
        crcCarried = true;
        name = QStringLiteral("SAK");
        if (expect((1 + CrcLength) * ByteBits) && (quint8(b.at(0)) & SakUidNotComplete))
            name += QStringLiteral(" (UID incomplet)");
        break;
    case Last::Authenticate:
        name = QStringLiteral("nonce de la carte");
        if (expect(WordBytes * ByteBits) && deciphered)
            name += QLatin1Char(' ') + compactHex(b);
        break;
    case Last::Read:
        crcCarried = true;
        // Deciphered, the block's data show in the meaning: nowhere else
        // are they to be seen in the clear.
        name = deciphered ? QStringLiteral("bloc %1").arg(m_block) : QStringLiteral("données du bloc %1").arg(m_block);
        if (expect((MifareCommand::BlockSize + CrcLength) * ByteBits) && deciphered)
            name += QStringLiteral(" : ") + hexOf(b.left(MifareCommand::BlockSize));
        break;
    default:
        // An answer no command calls for: a CRC only where the chip looks for one.
        crcCarried = crcOn(redundancy, ChannelRedundancyBits::RxCRCEn);
        name = QStringLiteral("réponse");
        break;
    }
    if (!faults.isEmpty())
        frame.malformed = true;
    frame.meaning = withFaults(name, faults);
    frame.crc = crcCheck(b, frame.bitCount, false, crcCarried);
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
    m_vicinityFlags = 0;
    m_vicinityWellFormed = false;
    m_block = 0;
    m_blockCount = 0;
    frame.malformed = true;
    if (frame.partial()) {
        frame.meaning = QStringLiteral("trame : %1 bits, pas un nombre entier d'octets").arg(frame.bitCount);
        return frame;
    }
    if (frame.bytes.size() < 2 + CrcLength) {
        frame.meaning = QStringLiteral("trame trop courte");
        return frame;
    }
    const QByteArray body = frame.bytes.left(frame.bytes.size() - CrcLength);
    const quint8 flags = quint8(body.at(0));
    const quint8 code = quint8(body.at(1));
    m_vicinityCommand = code;
    m_vicinityFlags = flags;
    Parameters parameters(body.mid(2));
    QStringList faults;
    QString name;
    const QString extension = QStringLiteral("drapeau Protocol Extension (réservé), paramètres non décodés");

    if (flags & FlagInventory) {
        if (code != Inventory) {
            frame.meaning = QStringLiteral("commande %1 avec le drapeau Inventory").arg(byteText(code));
            return frame;
        }
        const bool oneSlot = flags & FlagOneSlot;
        name = oneSlot ? QStringLiteral("INVENTORY 1 créneau") : QStringLiteral("INVENTORY 16 créneaux");
        if (flags & FlagProtocolExtension) {
            faults << extension;
        } else {
            if (flags & FlagAfi) {
                const int afi = parameters.byte(QStringLiteral("AFI"));
                if (afi >= 0)
                    name += QStringLiteral(", AFI %1").arg(byteText(quint8(afi)));
            }
            const int maskLength = parameters.byte(QStringLiteral("longueur du masque"));
            const int longest = oneSlot ? LongestMaskOneSlot : LongestMaskSixteenSlots;
            if (maskLength > longest) {
                faults << QStringLiteral("masque de %1 bits invalide (%2 au plus)").arg(maskLength).arg(longest);
            } else if (maskLength >= 0) {
                name += QStringLiteral(", masque de %1 bits").arg(maskLength);
                const int maskBytes = (maskLength + ByteBits - 1) / ByteBits;
                if (maskBytes > 0) {
                    const QByteArray mask = parameters.bytes(maskBytes, QStringLiteral("valeur du masque, %1").arg(countOf(maskBytes, QStringLiteral("octet"))));
                    if (!mask.isEmpty())
                        name += QLatin1Char(' ') + compactHex(mask);
                }
                parameters.faults(faults);
            } else {
                parameters.faults(faults);
            }
        }
        if (faults.isEmpty() && !oneSlot)
            m_slot = 0;
    } else if (code == Inventory) {
        name = QStringLiteral("INVENTORY sans le drapeau Inventory");
        frame.meaning = name;
        return frame;
    } else if (code >= FirstCustomCommand) {
        // Custom and proprietary commands: the manufacturer's code comes
        // first, and the rest is the manufacturer's.
        name = QStringLiteral("commande %1").arg(byteText(code));
    } else {
        static const std::map<quint8, QString> names = {
            { StayQuiet, QStringLiteral("STAY QUIET") },
            { ReadSingleBlock, QStringLiteral("READ SINGLE BLOCK") },
            { WriteSingleBlock, QStringLiteral("WRITE SINGLE BLOCK") },
            { LockBlock, QStringLiteral("LOCK BLOCK") },
            { ReadMultipleBlocks, QStringLiteral("READ MULTIPLE BLOCKS") },
            { WriteMultipleBlocks, QStringLiteral("WRITE MULTIPLE BLOCKS") },
            { Select, QStringLiteral("SELECT") },
            { ResetToReady, QStringLiteral("RESET TO READY") },
            { WriteAfi, QStringLiteral("WRITE AFI") },
            { LockAfi, QStringLiteral("LOCK AFI") },
            { WriteDsfid, QStringLiteral("WRITE DSFID") },
            { LockDsfid, QStringLiteral("LOCK DSFID") },
            { GetSystemInformation, QStringLiteral("GET SYSTEM INFORMATION") },
            { GetMultipleBlockSecurityStatus, QStringLiteral("GET MULTIPLE BLOCK SECURITY STATUS") },
        };
        const auto known = names.find(code);
        name = known != names.end() ? known->second : QStringLiteral("commande %1").arg(byteText(code));
        QString target;
        if ((flags & FlagAddress) && (flags & FlagSelect))
            faults << QStringLiteral("drapeaux Select et Address ensemble");
        if (flags & FlagProtocolExtension) {
            faults << extension;
        } else {
            // Addressed: the UID comes first. STAY QUIET and SELECT are
            // always addressed.
            const bool addressed = (flags & FlagAddress) || code == StayQuiet || code == Select;
            if (addressed) {
                const QByteArray uid = parameters.bytes(UidLength, QStringLiteral("UID"));
                if (!uid.isEmpty())
                    target = QStringLiteral(" (UID %1)").arg(vicinityUid(uid));
            }
            const QString blockWord = QStringLiteral("numéro de bloc");
            switch (code) {
            case ReadSingleBlock:
            case LockBlock: {
                const int block = parameters.byte(blockWord);
                if (block >= 0)
                    name += QStringLiteral(" %1").arg(block);
                m_block = block;
                m_blockCount = 1;
                break;
            }
            case WriteSingleBlock: {
                const int block = parameters.byte(blockWord);
                const QByteArray data = parameters.bytes(parameters.left(), QStringLiteral("données"));
                if (block >= 0)
                    name += QStringLiteral(" %1").arg(block);
                if (!data.isEmpty())
                    name += QStringLiteral(" : %1").arg(compactHex(data));
                m_block = block;
                m_blockCount = 1;
                break;
            }
            case ReadMultipleBlocks:
            case WriteMultipleBlocks:
            case GetMultipleBlockSecurityStatus: {
                const int first = parameters.byte(QStringLiteral("premier bloc"));
                const int more = parameters.byte(QStringLiteral("nombre de blocs"));
                const int count = more + 1;  // the request counts the blocks less one
                QByteArray data;
                if (code == WriteMultipleBlocks) {
                    data = parameters.bytes(parameters.left(), QStringLiteral("données"));
                    if (!data.isEmpty() && data.size() % count != 0)
                        faults << QStringLiteral("%1 de données pour %2 blocs")
                                      .arg(countOf(int(data.size()), QStringLiteral("octet")))
                                      .arg(count);
                }
                if (first >= 0 && more >= 0) {
                    name += QLatin1Char(' ') + blockRange(first, count);
                    if (first + more > LastBlockNumber)
                        faults << QStringLiteral("au-delà du bloc %1").arg(LastBlockNumber);
                }
                if (!data.isEmpty())
                    name += QStringLiteral(" : %1").arg(compactHex(data));
                m_block = first;
                m_blockCount = count;
                break;
            }
            case WriteAfi:
            case WriteDsfid: {
                const int value = parameters.byte(code == WriteAfi ? QStringLiteral("AFI") : QStringLiteral("DSFID"));
                if (value >= 0)
                    name += QLatin1Char(' ') + byteText(quint8(value));
                break;
            }
            case StayQuiet:
            case Select:
            case ResetToReady:
            case LockAfi:
            case LockDsfid:
            case GetSystemInformation:
                break;
            default:
                parameters.rest();  // a command the decoder does not know: its parameters are its own
                break;
            }
            parameters.faults(faults);
        }
        name += target;
    }
    frame.malformed = !faults.isEmpty();
    m_vicinityWellFormed = !frame.malformed;
    frame.meaning = withFaults(name, faults);
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
        frame.malformed = true;
        return frame;
    }
    const QByteArray body = frame.bytes.left(frame.bytes.size() - CrcLength);
    const quint8 flags = quint8(body.at(0));
    const QByteArray data = body.mid(1);
    QStringList faults;
    QString name;
    // An answer in a slot of an inventory, or to an inventory in one slot.
    const bool inventoryAnswer = exchange.sent.slotPulse
        ? m_slot >= 0
        : m_vicinityCommand == Inventory && (m_vicinityFlags & FlagInventory) && m_vicinityWellFormed;
    const int inventoryBytes = 1 + UidLength;  // DSFID and UID
    if (flags & AnswerError) {
        if (data.isEmpty()) {
            name = QStringLiteral("erreur");
            faults << missingFault({ QStringLiteral("code d'erreur") });
        } else {
            const quint8 code = quint8(data.at(0));
            name = QStringLiteral("erreur %1 (%2)").arg(byteText(code), vicinityError(code));
            if (data.size() > 1)
                faults << extraFault(data.mid(1));
        }
    } else if (inventoryAnswer) {
        if (data.size() == inventoryBytes) {
            name = QStringLiteral("DSFID %1, UID %2").arg(byteText(quint8(data.at(0))), vicinityUid(data.mid(1)));
        } else {
            name = QStringLiteral("réponse d'inventaire");
            faults << bytesFault(int(data.size()), inventoryBytes);
        }
    } else if (!m_vicinityWellFormed) {
        name = QStringLiteral("réponse");  // to a request that broke its rules: nothing to read it by
    } else {
        const bool option = m_vicinityFlags & FlagOption;
        switch (m_vicinityCommand) {
        case ReadSingleBlock:
        case ReadMultipleBlocks: {
            // Each block: with the Option flag, its security status first.
            const int count = std::max(1, m_blockCount);
            const int status = option ? 1 : 0;
            const int each = int(data.size()) / count;
            if (data.size() % count != 0 || each <= status) {
                name = count > 1 ? QStringLiteral("blocs %1").arg(blockRange(m_block, count))
                                 : QStringLiteral("bloc %1").arg(m_block);
                faults << (data.size() <= status ? QStringLiteral("données manquantes")
                                                 : QStringLiteral("%1 pour %2%3")
                                                       .arg(countOf(int(data.size()), QStringLiteral("octet")))
                                                       .arg(countOf(count, QStringLiteral("bloc")))
                                                       .arg(option ? QStringLiteral(" et leur sécurité") : QString()));
            } else {
                QStringList blocks;
                for (int i = 0; i < count; ++i) {
                    const QByteArray block = data.mid(i * each, each);
                    QString text = QStringLiteral("bloc %1 : ").arg(m_block + i);
                    if (option)
                        text += QStringLiteral("sécurité %1, données %2").arg(byteText(quint8(block.at(0))), compactHex(block.mid(1)));
                    else
                        text += compactHex(block);
                    blocks << text;
                }
                name = blocks.join(QStringLiteral(" ; "));
            }
            break;
        }
        case GetMultipleBlockSecurityStatus:
            name = QStringLiteral("sécurité des blocs %1").arg(blockRange(m_block, m_blockCount));
            if (data.size() == m_blockCount)
                name += QStringLiteral(" : ") + hexOf(data);
            else
                faults << bytesFault(int(data.size()), m_blockCount);
            break;
        case GetSystemInformation: {
            Parameters info(data);
            const int which = info.byte(QStringLiteral("drapeaux d'information"));
            const QByteArray uid = info.bytes(UidLength, QStringLiteral("UID"));
            QStringList fields;
            if (!uid.isEmpty())
                fields << QStringLiteral("UID %1").arg(vicinityUid(uid));
            if (which >= 0 && (which & InfoDsfid)) {
                const int dsfid = info.byte(QStringLiteral("DSFID"));
                if (dsfid >= 0)
                    fields << QStringLiteral("DSFID %1").arg(byteText(quint8(dsfid)));
            }
            if (which >= 0 && (which & InfoAfi)) {
                const int afi = info.byte(QStringLiteral("AFI"));
                if (afi >= 0)
                    fields << QStringLiteral("AFI %1").arg(byteText(quint8(afi)));
            }
            if (which >= 0 && (which & InfoMemorySize)) {
                const QByteArray size = info.bytes(2, QStringLiteral("taille mémoire"));
                if (!size.isEmpty())
                    fields << QStringLiteral("%1 de %2")
                                  .arg(countOf(quint8(size.at(0)) + 1, QStringLiteral("bloc")))
                                  .arg(countOf((quint8(size.at(1)) & InfoBlockSizeMask) + 1, QStringLiteral("octet")));
            }
            if (which >= 0 && (which & InfoIcReference)) {
                const int ic = info.byte(QStringLiteral("référence du circuit"));
                if (ic >= 0)
                    fields << QStringLiteral("IC %1").arg(byteText(quint8(ic)));
            }
            info.faults(faults);
            name = fields.isEmpty() ? QStringLiteral("informations système") : fields.join(QStringLiteral(", "));
            break;
        }
        case StayQuiet:
        case WriteSingleBlock:
        case LockBlock:
        case WriteMultipleBlocks:
        case Select:
        case ResetToReady:
        case WriteAfi:
        case LockAfi:
        case WriteDsfid:
        case LockDsfid:
            name = QStringLiteral("OK");
            if (!data.isEmpty())
                faults << extraFault(data);
            break;
        default:
            // A command the decoder does not know: its answer's data are its own.
            name = data.isEmpty() ? QStringLiteral("OK") : QStringLiteral("réponse");
            break;
        }
    }
    frame.malformed = !faults.isEmpty();
    frame.meaning = withFaults(name, faults);
    return frame;
}
