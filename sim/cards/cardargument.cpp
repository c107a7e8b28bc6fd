#include "cardargument.h"

#include "aircommands.h"

#include "iso15693tag.h"
#include "mifareclassiccard.h"
#include "ultralightcard.h"

#include <algorithm>
#include <cctype>

namespace CardArgument {

namespace {

constexpr int MifareClassicKeyLength = 6;

// The bytes of a text of hexadecimal digits, as many as one of `lengths`.
QByteArray hexBytes(const QString &text, std::initializer_list<int> lengths, QString *error)
{
    const QByteArray bytes = QByteArray::fromHex(text.toLatin1());
    const bool hexOnly = !text.isEmpty()
        && std::all_of(text.begin(), text.end(), [](QChar c) { return std::isxdigit(c.toLatin1()); });
    const bool lengthAllowed
        = std::any_of(lengths.begin(), lengths.end(), [&](int length) { return text.size() == 2 * length; });
    if (!hexOnly || !lengthAllowed) {
        QStringList digits;
        for (int length : lengths)
            digits << QString::number(2 * length);
        *error = QStringLiteral("« %1 » : il faut %2 chiffres hexadécimaux").arg(text, digits.join(QStringLiteral(" ou ")));
        return {};
    }
    return bytes;
}

QByteArray hexBytes(const QString &text, int length, QString *error)
{
    return hexBytes(text, { length }, error);
}

bool hexByte(const QString &text, quint8 *value, QString *error)
{
    QString problem;
    const QByteArray bytes = hexBytes(text, 1, &problem);
    if (bytes.size() != 1) {
        *error = problem;
        return false;
    }
    *value = quint8(bytes.at(0));
    return true;
}

QString spaced(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// mifare1k:UID[:KEY] and mifare4k:UID[:KEY]: the key, when given, becomes
// key A and key B of every sector in place of the transport keys.
Parsed mifareClassic(const QStringList &parts, MifareClassicCard::Size size, QString *error)
{
    Parsed parsed;
    const QByteArray uid = hexBytes(parts.at(1), { 4, 7 }, error);
    if (uid.isEmpty())
        return parsed;
    QByteArray keyBytes;
    if (parts.size() > 2) {
        keyBytes = hexBytes(parts.at(2), MifareClassicKeyLength, error);
        if (keyBytes.isEmpty())
            return parsed;
    }
    auto card = std::make_shared<MifareClassicCard>(uid, size);
    const bool is4K = size == MifareClassicCard::Size::Classic4K;
    parsed.description = QStringLiteral("MIFARE Classic %1, UID %2").arg(QLatin1String(is4K ? "4K" : "1K"), spaced(uid));
    if (!keyBytes.isEmpty()) {
        MifareClassicCard::Key key {};
        std::copy(keyBytes.begin(), keyBytes.end(), key.begin());
        for (int sector = 0; sector < card->sectorCount(); ++sector)
            card->setSectorKeys(sector, key, key);
        parsed.description += QStringLiteral(", clés A et B %1").arg(QString::fromLatin1(keyBytes.toHex().toUpper()));
    }
    parsed.card = card;
    return parsed;
}

} // namespace

Parsed parse(const QString &argument)
{
    Parsed parsed;
    const QStringList parts = argument.split(QLatin1Char(':'));
    const QString kind = parts.at(0).toLower();
    QString error;
    const bool classic1K = kind == QLatin1String("mifare1k");
    if ((classic1K || kind == QLatin1String("mifare4k")) && (parts.size() == 2 || parts.size() == 3)) {
        parsed = mifareClassic(parts, classic1K ? MifareClassicCard::Size::Classic1K : MifareClassicCard::Size::Classic4K,
                               &error);
    } else if (kind == QLatin1String("ultralight") && parts.size() == 2) {
        const QByteArray uid = hexBytes(parts.at(1), 7, &error);
        if (!uid.isEmpty()) {
            parsed.card = std::make_shared<UltralightCard>(uid);
            parsed.description = QStringLiteral("MIFARE Ultralight, UID %1").arg(spaced(uid));
        }
    } else if (kind == QLatin1String("iso15693") && parts.size() >= 2 && parts.size() <= 4) {
        const QByteArray uid = hexBytes(parts.at(1), 8, &error);
        quint8 dsfid = 0;
        quint8 afi = 0;
        const bool ok = !uid.isEmpty() && (parts.size() < 3 || hexByte(parts.at(2), &dsfid, &error))
            && (parts.size() < 4 || hexByte(parts.at(3), &afi, &error));
        if (ok && quint8(uid.at(0)) != VicinityCommand::UidMostSignificantByte) {
            error = QStringLiteral("« %1 » : l'UID d'un tag ISO 15693 commence par E0").arg(parts.at(1));
        } else if (ok) {
            parsed.card = std::make_shared<Iso15693Tag>(uid.toHex().toULongLong(nullptr, 16), dsfid, afi);
            parsed.description = QStringLiteral("tag ISO 15693, UID %1, DSFID %2, AFI %3")
                                     .arg(spaced(uid))
                                     .arg(dsfid, 2, 16, QLatin1Char('0'))
                                     .arg(afi, 2, 16, QLatin1Char('0'));
        }
    } else {
        error = QStringLiteral("« %1 » : carte inconnue (formes : %2)").arg(argument, forms().join(QLatin1String(", ")));
    }
    parsed.error = error;
    return parsed;
}

std::vector<Parsed> demo()
{
    std::vector<Parsed> cards;
    Parsed mifare = parse(QStringLiteral("mifare1k:04A23B15"));
    auto *classic = static_cast<MifareClassicCard *>(mifare.card.get());
    const MifareClassicCard::Key windowKey = { 0x3C, 0x5E, 0x7A, 0x91, 0xB2, 0xD4 };
    classic->setSectorKeys(1, windowKey, windowKey);
    classic->setBlock(4, QByteArray("Bonjour TagBench"));
    classic->setBlock(5, QByteArray("secteur 1, bloc5"));
    mifare.description += QStringLiteral(", secteur 1 ouvert par la clé A 3C5E7A91B2D4");
    cards.push_back(mifare);
    cards.push_back(parse(QStringLiteral("iso15693:E004010866215731:00:00")));  // slot 1
    cards.push_back(parse(QStringLiteral("iso15693:E00700004E0D125A:05:12")));  // slot 10
    return cards;
}

QStringList forms()
{
    return { QStringLiteral("mifare1k:UID4|UID7[:CLÉ6]"), QStringLiteral("mifare4k:UID4|UID7[:CLÉ6]"),
             QStringLiteral("ultralight:UID7"), QStringLiteral("iso15693:UID8[:DSFID[:AFI]]") };
}

} // namespace CardArgument
