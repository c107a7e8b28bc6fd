#include "tagerrortext.h"

namespace TagErrorText {

namespace {

QString iso15693Meaning(quint8 code)
{
    switch (code) {
    case 0x01:
        return QStringLiteral("commande non prise en charge");
    case 0x02:
        return QStringLiteral("commande non reconnue (erreur de format)");
    case 0x03:
        return QStringLiteral("option non prise en charge");
    case 0x0F:
        return QStringLiteral("erreur sans précision");
    case 0x10:
        return QStringLiteral("bloc inexistant");
    case 0x11:
        return QStringLiteral("bloc déjà verrouillé");
    case 0x12:
        return QStringLiteral("bloc verrouillé, contenu non modifiable");
    case 0x13:
        return QStringLiteral("programmation du bloc échouée");
    case 0x14:
        return QStringLiteral("verrouillage du bloc échoué");
    default:
        // The standard leaves A0 to DF to each chip maker.
        if (code >= 0xA0 && code <= 0xDF)
            return QStringLiteral("erreur propre au fabricant");
        return QStringLiteral("code d'erreur inconnu");
    }
}

QString nakMeaning(quint8 nibble)
{
    // The card says whether its transmit buffer still holds valid data, a
    // difference that changes nothing for the user: 0 and 4 refuse the
    // operation, 1 and 5 report a garbled command.
    switch (nibble) {
    case 0x0:
    case 0x4:
        return QStringLiteral("opération refusée");
    case 0x1:
    case 0x5:
        return QStringLiteral("erreur de transmission, CRC ou parité");
    default:
        return QStringLiteral("valeur inconnue");
    }
}

} // namespace

QString iso15693(quint8 code)
{
    return QStringLiteral("erreur %1, %2")
        .arg(QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper(), iso15693Meaning(code));
}

QString nak(quint8 nibble)
{
    const quint8 answer = nibble & 0x0F;
    return QStringLiteral("NAK %1 (%2)").arg(QString::number(answer, 16).toUpper(), nakMeaning(answer));
}

} // namespace TagErrorText
