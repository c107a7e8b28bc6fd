#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QtGlobal>

// The frames the host exchanged with cards through the chip, one entry per
// Transceive or Transmit (a frame sent with no answer listened for), with
// the user's action each belongs to.
//
// The journal adds no handshake of its own: ReaderLink hands it every
// register written and read, and it pieces the exchanges together from
// them. The frame is what went into the FIFO before Transceive; its framing
// is what BitFraming, ChannelRedundancy and CoderControl were last written
// with; the answer and its outcome are what the caller read afterwards
// (FIFOLength, the FIFO, ErrorFlag, CollPos, SecondaryStatus). A value the
// caller did not read is not known, and an entry says so (-1) rather than
// guess it.
//
// Usage: give the journal to the link (ReaderLink::setJournal), name each
// user action with an ActionScope, read entries(), and turn them into
// files with toCsv() and toPcapng().
class ExchangeJournal
{
public:
    // Entries kept; the oldest go first past it.
    static constexpr int DefaultCapacity = 5000;
    static constexpr int Unknown = -1;

    // The card family an exchange spoke to.
    enum class Family { Unknown, TypeA, Iso15693 };

    struct Entry
    {
        QDateTime time;           // when Transceive (or Transmit) was given, UTC
        QString action;           // the user's action, empty outside any
        Family familyHint = Family::Unknown;  // the action's, when it names one
        QByteArray sent;          // the FIFO's bytes before Transceive
        int bitFraming = Unknown; // the register settings the frame went with
        int channelRedundancy = Unknown;
        int coderControl = Unknown;
        QByteArray readOut;       // every FIFOData read after it, as read
        int fifoLength = Unknown; // FIFOLength first read after it
        int errorFlags = Unknown;
        int collisionPosition = Unknown;
        int secondaryStatus = Unknown;
        qint64 durationUs = 0;    // from Transceive to the last register read of it
        bool transmitOnly = false;  // sent by Transmit: the chip listens for no answer

        // Valid bits of the last byte sent (TxLastBits, 8 for a whole byte).
        int txLastBits() const;
        // Valid bits of the last byte received (RxLastBits, 8 for a whole
        // byte), or Unknown.
        int rxLastBits() const;
        // The answer's bytes: the read-out, cut to what FIFOLength said the
        // FIFO held when it was read.
        QByteArray answer() const;
        // From CoderControl, else ChannelRedundancy, else the action's hint.
        Family family() const;
        // How the chip reported the answer, in the window's French words.
        QString outcome() const;
        // The three framing registers, as "BitFraming 07, ChannelRedundancy 03, ...".
        QString settings() const;
    };

    // Names the user's action while it lives; the previous name comes back
    // after. A null journal makes it a no-op, for a link without a journal.
    class ActionScope
    {
    public:
        ActionScope(ExchangeJournal *journal, const QString &name, Family hint = Family::Unknown);
        ~ActionScope();
        ActionScope(const ActionScope &) = delete;
        ActionScope &operator=(const ActionScope &) = delete;

    private:
        ExchangeJournal *m_journal;
        QString m_previousName;
        Family m_previousHint;
    };

    explicit ExchangeJournal(int capacity = DefaultCapacity);

    // Fed by ReaderLink with each handshake that the board completed.
    void registerWritten(quint8 address, quint8 value);
    void registerRead(quint8 address, quint8 value);
    // The end of a whole operation: nothing read later belongs to the last frame.
    void closeExchange();

    const QList<Entry> &entries() const { return m_entries; }
    void clear();
    QString currentAction() const { return m_action; }

    // The entries as CSV, UTF-8, one header line then one line per entry.
    static QByteArray toCsv(const QList<Entry> &entries);
    // The type A entries as a pcapng file of link type LINKTYPE_ISO_14443:
    // each frame sent, then its answer when one came. Other families are
    // left out (their frames have no dissector there).
    static QByteArray toPcapng(const QList<Entry> &entries);

private:
    void openExchange(bool transmitOnly);
    Entry *openEntry() { return m_open ? &m_entries.last() : nullptr; }

    int m_capacity;
    QList<Entry> m_entries;
    bool m_open = false;
    QElapsedTimer m_sinceTransceive;
    QByteArray m_pendingFrame;
    int m_bitFraming = Unknown;
    int m_channelRedundancy = Unknown;
    int m_coderControl = Unknown;
    QString m_action;
    Family m_hint = Family::Unknown;
};
