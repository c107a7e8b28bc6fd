#include "exchangejournal.h"

#include "chipregisters.h"
#include "pcapngwriter.h"

#include <QStringList>

namespace {

constexpr int BitsPerByte = 8;
constexpr qint64 NanosecondsPerMicrosecond = 1000;
constexpr qint64 NanosecondsPerMillisecond = 1000 * 1000;
// The most a frame or an answer can hold: the chip's FIFO. A board that
// keeps answering reads is not allowed to grow an entry past it.
constexpr int LongestFrame = ChipFifo::Size;
constexpr char CsvSeparator = ';';

QString hexOrUnknown(int value)
{
    return value == ExchangeJournal::Unknown ? QStringLiteral("?")
                                             : QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

QString hexBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// Bits valid in a last byte, as the chip counts them: 0 stands for eight.
int validBits(int lastBits)
{
    return lastBits == 0 ? BitsPerByte : lastBits;
}

QString bytesWord(int count)
{
    return QStringLiteral("%1 octet%2").arg(count).arg(count > 1 ? "s" : "");
}

QStringList receptionErrors(int errorFlags, int collisionPosition)
{
    QStringList words;
    const bool collision = (errorFlags != ExchangeJournal::Unknown && (errorFlags & ErrorFlagBits::CollErr))
        || collisionPosition > 0;
    if (collision) {
        words << (collisionPosition > 0 ? QStringLiteral("collision au bit %1").arg(collisionPosition)
                                        : QStringLiteral("collision"));
    }
    if (errorFlags == ExchangeJournal::Unknown)
        return words;
    if (errorFlags & ErrorFlagBits::CRCErr)
        words << QStringLiteral("erreur de CRC");
    if (errorFlags & ErrorFlagBits::ParityErr)
        words << QStringLiteral("erreur de parité");
    if (errorFlags & ErrorFlagBits::FramingErr)
        words << QStringLiteral("erreur de trame");
    return words;
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(CsvSeparator)) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString csvLine(const QStringList &fields)
{
    QStringList quoted;
    for (const QString &field : fields)
        quoted << csvField(field);
    return quoted.join(QLatin1Char(CsvSeparator)) + QLatin1Char('\n');
}

} // namespace

// ---------------------------------------------------------------------------
// One entry

int ExchangeJournal::Entry::txLastBits() const
{
    const int lastBits = bitFraming == Unknown ? 0 : bitFraming & BitFramingBits::TxLastBitsMask;
    return validBits(lastBits);
}

int ExchangeJournal::Entry::rxLastBits() const
{
    if (secondaryStatus == Unknown)
        return Unknown;
    return validBits(secondaryStatus & SecondaryStatusBits::RxLastBitsMask);
}

QByteArray ExchangeJournal::Entry::answer() const
{
    return fifoLength == Unknown ? readOut : readOut.left(fifoLength);
}

ExchangeJournal::Family ExchangeJournal::Entry::family() const
{
    using namespace CoderControlBits;
    if (coderControl != Unknown) {
        const int coding = coderControl & TxCodingMask;
        if (coding == TxCodingMiller)
            return Family::TypeA;
        if (coding == TxCoding1OutOf256 || coding == TxCoding1OutOf4)
            return Family::Iso15693;
    }
    if (channelRedundancy != Unknown) {
        if (channelRedundancy & ChannelRedundancyBits::CRC3309)
            return Family::Iso15693;
        if (channelRedundancy & ChannelRedundancyBits::ParityEn)
            return Family::TypeA;
    }
    return familyHint;
}

QString ExchangeJournal::Entry::outcome() const
{
    if (transmitOnly)
        return QStringLiteral("Émise sans attendre de réponse");
    if (fifoLength == 0)
        return QStringLiteral("Aucune réponse");
    if (fifoLength == Unknown && readOut.isEmpty())
        return QStringLiteral("Réponse non lue");
    QStringList words = receptionErrors(errorFlags, collisionPosition);
    words << bytesWord(fifoLength == Unknown ? int(readOut.size()) : fifoLength);
    QString text = words.join(QStringLiteral(", "));
    text[0] = text[0].toUpper();
    return text;
}

QString ExchangeJournal::Entry::settings() const
{
    return QStringLiteral("BitFraming %1, ChannelRedundancy %2, CoderControl %3")
        .arg(hexOrUnknown(bitFraming), hexOrUnknown(channelRedundancy), hexOrUnknown(coderControl));
}

// ---------------------------------------------------------------------------
// The action's name

ExchangeJournal::ActionScope::ActionScope(ExchangeJournal *journal, const QString &name, Family hint)
    : m_journal(journal)
    , m_previousHint(Family::Unknown)
{
    if (!m_journal)
        return;
    m_previousName = m_journal->m_action;
    m_previousHint = m_journal->m_hint;
    m_journal->m_action = name;
    m_journal->m_hint = hint;
}

ExchangeJournal::ActionScope::~ActionScope()
{
    if (!m_journal)
        return;
    m_journal->m_action = m_previousName;
    m_journal->m_hint = m_previousHint;
}

// ---------------------------------------------------------------------------
// Recording

ExchangeJournal::ExchangeJournal(int capacity)
    : m_capacity(qMax(1, capacity))
{
}

void ExchangeJournal::registerWritten(quint8 address, quint8 value)
{
    switch (address) {
    case ChipReg::FIFOData:
        // A new frame on its way: the last answer has been read, or never will be.
        closeExchange();
        if (m_pendingFrame.size() < LongestFrame)
            m_pendingFrame.append(char(value));
        break;
    case ChipReg::Control:
        if (value & ControlBits::FlushFIFO) {
            closeExchange();
            m_pendingFrame.clear();
        }
        break;
    case ChipReg::Command: {
        closeExchange();
        const quint8 code = value & ChipCmd::CodeMask;
        if (code == ChipCmd::Transceive || code == ChipCmd::Transmit)
            openExchange(code == ChipCmd::Transmit);
        if (code == ChipCmd::LoadConfig) {
            // The chip's EEPROM set replaces the coder and redundancy settings.
            m_coderControl = Unknown;
            m_channelRedundancy = Unknown;
        }
        // Whatever the command, it took the FIFO's bytes.
        m_pendingFrame.clear();
        break;
    }
    case ChipReg::BitFraming:
        m_bitFraming = value;
        break;
    case ChipReg::ChannelRedundancy:
        m_channelRedundancy = value;
        break;
    case ChipReg::CoderControl:
        m_coderControl = value;
        break;
    default:
        break;
    }
}

void ExchangeJournal::registerRead(quint8 address, quint8 value)
{
    Entry *entry = openEntry();
    if (!entry)
        return;
    switch (address) {
    case ChipReg::FIFOLength:
        // The first look is the one that tells what came; later ones count
        // down as the caller reads it out.
        if (entry->fifoLength == Unknown)
            entry->fifoLength = value;
        break;
    case ChipReg::FIFOData:
        if (entry->readOut.size() < LongestFrame)
            entry->readOut.append(char(value));
        break;
    case ChipReg::ErrorFlag:
        entry->errorFlags = value;
        break;
    case ChipReg::CollPos:
        entry->collisionPosition = value;
        break;
    case ChipReg::SecondaryStatus:
        entry->secondaryStatus = value;
        break;
    default:
        return;
    }
    entry->durationUs = m_sinceTransceive.nsecsElapsed() / NanosecondsPerMicrosecond;
}

void ExchangeJournal::openExchange(bool transmitOnly)
{
    Entry entry;
    entry.transmitOnly = transmitOnly;
    entry.time = QDateTime::currentDateTimeUtc();
    entry.action = m_action;
    entry.familyHint = m_hint;
    entry.sent = m_pendingFrame;
    entry.bitFraming = m_bitFraming;
    entry.channelRedundancy = m_channelRedundancy;
    entry.coderControl = m_coderControl;
    if (m_entries.size() >= m_capacity)
        m_entries.removeFirst();
    m_entries.append(entry);
    // Nothing read after a Transmit belongs to it: the chip heard nothing.
    m_open = !transmitOnly;
    m_sinceTransceive.start();
    // The chip spends TxLastBits and RxAlign on the frame.
    if (m_bitFraming != Unknown)
        m_bitFraming &= ~(BitFramingBits::TxLastBitsMask | BitFramingBits::RxAlignMask);
}

void ExchangeJournal::closeExchange()
{
    m_open = false;
}

void ExchangeJournal::clear()
{
    m_entries.clear();
    m_open = false;
}

// ---------------------------------------------------------------------------
// Files

QByteArray ExchangeJournal::toCsv(const QList<Entry> &entries)
{
    QString text = csvLine({ QStringLiteral("Heure"), QStringLiteral("Action"), QStringLiteral("Envoyé"),
                             QStringLiteral("TxLastBits"), QStringLiteral("Réglages"), QStringLiteral("Réponse"),
                             QStringLiteral("RxLastBits"), QStringLiteral("Issue"), QStringLiteral("Durée (µs)") });
    for (const Entry &entry : entries) {
        const int rxBits = entry.rxLastBits();
        text += csvLine({ entry.time.toString(Qt::ISODateWithMs), entry.action, hexBytes(entry.sent),
                          QString::number(entry.txLastBits()), entry.settings(), hexBytes(entry.answer()),
                          rxBits == Unknown ? QString() : QString::number(rxBits), entry.outcome(),
                          QString::number(entry.durationUs) });
    }
    return text.toUtf8();
}

QByteArray ExchangeJournal::toPcapng(const QList<Entry> &entries)
{
    const PcapngWriter writer(Iso14443Link::LinkType);
    QByteArray file = writer.header();
    for (const Entry &entry : entries) {
        if (entry.family() != Family::TypeA)
            continue;
        const qint64 sentNs = entry.time.toMSecsSinceEpoch() * NanosecondsPerMillisecond;
        file += writer.packet(sentNs, Iso14443Link::packet(Iso14443Link::Event::ReaderToCard, entry.sent));
        const QByteArray answer = entry.answer();
        if (answer.isEmpty())
            continue;
        const qint64 answeredNs = sentNs + entry.durationUs * NanosecondsPerMicrosecond;
        file += writer.packet(answeredNs, Iso14443Link::packet(Iso14443Link::Event::CardToReader, answer));
    }
    return file;
}
