#include "clibench.h"

#include "chipregisters.h"
#include "clitext.h"

#include <QSerialPort>

#include <algorithm>

namespace {

using Outcome = TypeAExchange::Outcome;

constexpr quint8 SelectCascadeLevel2 = 0x95;
constexpr quint8 AuthenticateKeyA = 0x60;
constexpr quint8 AuthenticateKeyB = 0x61;
constexpr int SingleUidLength = 4;
constexpr int DoubleUidLength = 7;
constexpr int Iso15693UidLength = 8;
constexpr int Iso15693BlockLength = 4;

QString noBoardText()
{
    return QStringLiteral("la carte lecteur ne répond plus");
}

} // namespace

CliBench::CliBench(const QString &portName)
    : m_link(portName), m_iso14443a(&m_link), m_mifare(&m_iso14443a), m_iso15693(&m_link)
{
}

CliBench::Status CliBench::connect(QString &error)
{
    const QString name = m_link.port()->portName();
    m_link.open();
    if (!m_link.port()->isOpen()) {
        error = QStringLiteral("%1 : impossible d'ouvrir le port (%2)").arg(name, m_link.port()->errorString());
        return NoBoard;
    }
    // The probe is the field-off write itself: no answer, no board.
    if (m_link.probe()) {
        m_link.closePort();
        error = QStringLiteral("%1 : la carte lecteur ne répond pas").arg(name);
        return NoBoard;
    }
    m_link.setField(true);
    return Done;
}

CliBench::Status CliBench::boardOr(Status status, QString &error, const QString &cardError)
{
    if (m_link.failed()) {
        error = noBoardText();
        return NoBoard;
    }
    if (status != Done)
        error = cardError;
    return status;
}

CliBench::Status CliBench::identify(QString &error)
{
    // A new identification, as the window's REQA starts one.
    m_iso14443a.cascadeCommand = 0;
    m_iso14443a.cascadeLevels = 0;
    m_iso14443a.request();
    if (m_iso14443a.lastAnswer != Outcome::Answered) {
        const bool silent = m_iso14443a.lastAnswer == Outcome::NoAnswer;
        return boardOr(CardFailed, error,
                       silent ? QStringLiteral("carte absente : aucune réponse à REQA")
                              : QStringLiteral("réponses superposées à REQA : plusieurs cartes dans le champ"));
    }
    const auto collided = [this] {
        return m_iso14443a.lastAnswer != Outcome::Answered || m_iso14443a.errorCode == Iso14443aProtocol::BccError;
    };
    m_iso14443a.anticollisionLevel1();
    if (collided())
        return boardOr(CardFailed, error, QStringLiteral("anticollision : aucune réponse, ou plusieurs cartes"));
    m_iso14443a.select();
    if (m_iso14443a.lastAnswer != Outcome::Answered)
        return boardOr(CardFailed, error, QStringLiteral("aucune carte n'a pris le SELECT"));
    if (m_iso14443a.cascadeCommand != SelectCascadeLevel2)
        return boardOr(Done, error, QString());
    m_iso14443a.anticollisionLevel2();
    if (collided())
        return boardOr(CardFailed, error, QStringLiteral("anticollision de niveau 2 : aucune réponse, ou plusieurs cartes"));
    m_iso14443a.select();
    if (m_iso14443a.lastAnswer != Outcome::Answered)
        return boardOr(CardFailed, error, QStringLiteral("aucune carte n'a pris le SELECT de niveau 2"));
    return boardOr(Done, error, QString());
}

QByteArray CliBench::uid() const
{
    const int length = m_iso14443a.hasDoubleSizeUid() ? DoubleUidLength : SingleUidLength;
    return QByteArray(reinterpret_cast<const char *>(m_iso14443a.uid), length);
}

QByteArray CliBench::atqa() const
{
    return QByteArray(reinterpret_cast<const char *>(m_iso14443a.atqa), 2);
}

quint8 CliBench::sak() const
{
    return m_iso14443a.sak;
}

CliBench::Status CliBench::authenticate(const QByteArray &key, bool keyB, int block, QString &error)
{
    std::copy(key.begin(), key.begin() + std::min(int(key.size()), MifareClassic::KeyLength), m_mifare.key);
    m_mifare.encodeKey();
    m_mifare.loadKey();
    m_mifare.authenticate(keyB ? AuthenticateKeyB : AuthenticateKeyA, quint8(block));
    return boardOr(m_mifare.authenticated ? Done : CardFailed, error,
                   QStringLiteral("bloc %1 : authentification refusée par la clé %2 %3")
                       .arg(block)
                       .arg(keyB ? QLatin1Char('B') : QLatin1Char('A'))
                       .arg(CliText::hex(key)));
}

CliBench::Status CliBench::readBlock(int block, QByteArray &data, QString &error)
{
    quint8 buffer[MifareClassic::BlockLength] = {};
    m_mifare.readBlock(quint8(block), buffer);
    if (m_mifare.lastRead != Outcome::Answered)
        return boardOr(CardFailed, error, QStringLiteral("bloc %1 : lecture refusée ou sans réponse").arg(block));
    data = QByteArray(reinterpret_cast<const char *>(buffer), MifareClassic::BlockLength);
    return boardOr(Done, error, QString());
}

CliBench::Status CliBench::writeBlock(int block, const QByteArray &data, QString &error)
{
    quint8 buffer[MifareClassic::BlockLength] = {};
    std::copy(data.begin(), data.begin() + std::min(int(data.size()), MifareClassic::BlockLength), buffer);
    m_mifare.writeBlock(quint8(block), buffer);
    if (m_mifare.writeCommandPhase == Outcome::NotSent) {
        error = QStringLiteral("bloc %1 : bits d'accès incohérents, rien n'est envoyé (le secteur serait bloqué)")
                    .arg(block);
        return CardFailed;
    }
    const bool written
        = m_mifare.writeCommandPhase == Outcome::Answered && m_mifare.writeDataPhase == Outcome::Answered;
    return boardOr(written ? Done : CardFailed, error,
                   QStringLiteral("bloc %1 : écriture refusée ou sans réponse").arg(block));
}

CliBench::Status CliBench::configureIso15693(QString &error)
{
    m_iso15693.loadConfiguration();
    m_link.writeRegister(ChipReg::CoderControl, CoderControlBits::Iso15693OneOutOf4);
    return boardOr(Done, error, QString());
}

CliBench::Status CliBench::inventory(bool sixteenSlots, std::optional<quint8> afi, QList<QByteArray> &uids,
                                     QString &error)
{
    m_link.writeRegister(ChipReg::CoderControl, CoderControlBits::Iso15693OneOutOf4);
    m_iso15693.inventoryEvery(!sixteenSlots, afi.has_value(), afi.value_or(0));
    uids.clear();
    for (const Iso15693Protocol::Tag &tag : m_iso15693.tags)
        uids.append(QByteArray(reinterpret_cast<const char *>(tag.uid), Iso15693UidLength));
    return boardOr(uids.isEmpty() ? CardFailed : Done, error, QStringLiteral("aucun tag dans le champ"));
}

void CliBench::address(const std::optional<QByteArray> &tagUid)
{
    if (tagUid && tagUid->size() == Iso15693UidLength)
        m_iso15693.addressTag(reinterpret_cast<const quint8 *>(tagUid->constData()));
    else
        m_iso15693.addressAll();
}

CliBench::Status CliBench::iso15693Outcome(QString &error)
{
    switch (m_iso15693.outcome) {
    case Iso15693Protocol::Outcome::Done:
        return Done;
    case Iso15693Protocol::Outcome::Refused:
        error = QStringLiteral("le tag refuse : code d'erreur 0x%1")
                    .arg(QString::number(m_iso15693.errorCode, 16).rightJustified(2, QLatin1Char('0')).toUpper());
        return CardFailed;
    case Iso15693Protocol::Outcome::NoAnswer:
        error = QStringLiteral("aucun tag ne répond");
        return CardFailed;
    case Iso15693Protocol::Outcome::Garbled:
        error = QStringLiteral("réponses superposées : plusieurs tags ont répondu (choisir un tag avec --uid)");
        return CardFailed;
    case Iso15693Protocol::Outcome::NoBoard:
        break;
    }
    error = noBoardText();
    return NoBoard;
}

CliBench::Status CliBench::systemInformation(Iso15693Protocol::SystemInformation &info, QString &error)
{
    m_iso15693.getSystemInformation(info);
    return iso15693Outcome(error);
}

CliBench::Status CliBench::readBlock15(int block, QByteArray &data, QString &error)
{
    quint8 buffer[Iso15693BlockLength] = {};
    m_iso15693.readSingleBlock(buffer, quint8(block));
    const Status status = iso15693Outcome(error);
    if (status == Done)
        data = QByteArray(reinterpret_cast<const char *>(buffer), Iso15693BlockLength);
    return status;
}

CliBench::Status CliBench::writeBlock15(int block, const QByteArray &data, QString &error)
{
    quint8 buffer[Iso15693BlockLength] = {};
    std::copy(data.begin(), data.begin() + std::min(int(data.size()), Iso15693BlockLength), buffer);
    m_iso15693.writeSingleBlock(buffer, quint8(block));
    return iso15693Outcome(error);
}
