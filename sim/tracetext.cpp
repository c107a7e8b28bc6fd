#include "tracetext.h"

#include "chipregisters.h"

namespace TraceText {

static QString hexByte(quint8 value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

QString handshake(const Handshake &handshake)
{
    const bool write = handshake.operation == Handshake::Write;
    QString text = QStringLiteral("%1 %2(%3) %4 %5")
                       .arg(write ? QLatin1Char('w') : QLatin1Char('r'))
                       .arg(QLatin1String(ChipReg::name(handshake.address)))
                       .arg(hexByte(handshake.address))
                       .arg(write ? QStringLiteral("=") : QStringLiteral("->"))
                       .arg(hexByte(handshake.value));
    if (write && (handshake.address & ChipReg::AddressMask) == ChipReg::Command) {
        if (const char *command = ChipCmd::name(handshake.value & ChipCmd::CodeMask))
            text += QLatin1Char(' ') + QLatin1String(command);
    }
    return text;
}

QString bits(const AirBits &bits, bool parity)
{
    const std::size_t group = parity ? 9 : 8;
    QString text;
    for (std::size_t i = 0; i < bits.size(); ++i) {
        if (i > 0 && i % group == 0)
            text += QLatin1Char(' ');
        else if (parity && i % group == 8)
            text += QLatin1Char(' ');
        text += bits[i] ? QLatin1Char('1') : QLatin1Char('0');
    }
    return text;
}

} // namespace TraceText
