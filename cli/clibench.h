#pragma once

#include "iso14443aprotocol.h"
#include "iso15693protocol.h"
#include "mifareclassic.h"
#include "exchangejournal.h"
#include "readerlink.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The reader board as the command line drives it: the same protocol layers
// as the window, called in the order the window's buttons call them, so
// that an operation both offer sends the same register traffic.
class CliBench
{
public:
    // How an operation ended, which is also the program's exit status.
    enum Status {
        Done = 0,
        CardFailed = 1,  // no card or tag, or it refused
        BadUsage = 2,
        NoBoard = 3,     // the port does not open, or the board does not answer
    };

    explicit CliBench(const QString &portName);

    // Opens the port and probes the board, then switches the field on, as
    // the window's connect button does. `error` says why not.
    Status connect(QString &error);

    // REQA, anticollision and SELECT, with cascade level 2 for a
    // double-size UID: the window's buttons in order.
    Status identify(QString &error);
    // The UID found by identify(): 4 or 7 bytes.
    QByteArray uid() const;
    // The ATQA as received (low byte first) and the SAK.
    QByteArray atqa() const;
    quint8 sak() const;

    // Loads the key and authenticates the block's sector with key A or B.
    Status authenticate(const QByteArray &key, bool keyB, int block, QString &error);
    Status readBlock(int block, QByteArray &data, QString &error);
    Status writeBlock(int block, const QByteArray &data, QString &error);

    // The ISO 15693 configuration and its coding, as the window loads them.
    Status configureIso15693(QString &error);
    // Inventory of every tag in the field, its collisions resolved; the
    // tags' UIDs in reception order (uid[7] = 0xE0).
    Status inventory(bool sixteenSlots, std::optional<quint8> afi, QList<QByteArray> &uids, QString &error);
    // Commands go to the tag with this UID (reception order), or to every tag.
    void address(const std::optional<QByteArray> &tagUid);
    // Get System Information from the tag addressed.
    Status systemInformation(Iso15693Protocol::SystemInformation &info, QString &error);
    Status readBlock15(int block, QByteArray &data, QString &error);
    Status writeBlock15(int block, const QByteArray &data, QString &error);


    // Every handshake of the run is fed to the journal from now on; the
    // journal must outlive the bench.
    void setJournal(ExchangeJournal *journal) { m_link.setJournal(journal); }

private:
    Status boardOr(Status status, QString &error, const QString &cardError);
    Status iso15693Outcome(QString &error);

    ReaderLink m_link;
    Iso14443aProtocol m_iso14443a;
    MifareClassic m_mifare;
    Iso15693Protocol m_iso15693;
};
