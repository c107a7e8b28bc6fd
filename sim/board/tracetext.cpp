#include "tracetext.h"

#include "chipregisters.h"

#include <QLocale>

namespace TraceText {

constexpr double NsPerUs = 1000.0;

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

QString measurements(const DecodedFrame &frame)
{
    static const QLocale french = [] {
        QLocale locale(QLocale::French, QLocale::France);
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        return locale;
    }();
    auto micro = [](qint64 ns) { return french.toString(double(ns) / NsPerUs, 'f', 1); };
    QString text = QStringLiteral("n° %1, de %2 à %3 µs (%4 µs)")
                       .arg(frame.serial)
                       .arg(micro(frame.timeNs), micro(frame.endNs), micro(frame.endNs - frame.timeNs));
    if (frame.gapNs >= 0)
        text += QStringLiteral(", écart %1 µs").arg(micro(frame.gapNs));
    QStringList checks, outside;
    for (const TimingCheck &check : frame.timings) {
        checks << check.text();
        if (!check.ok())
            outside << check.name;
    }
    if (!checks.isEmpty())
        text += QStringLiteral(" ; ") + checks.join(QStringLiteral(" ; "));
    if (!outside.isEmpty())
        text += QStringLiteral(" ; HORS LIMITES : ") + outside.join(QStringLiteral(", "));
    return text;
}

} // namespace TraceText

QStringList TraceLines::take(const BenchFeed::News &news)
{
    QStringList lines;
    if (news.lostHandshakes > 0)
        lines << QStringLiteral("… %1 accès perdus (trop rapides pour la trace)").arg(news.lostHandshakes);
    std::size_t next = 0;
    auto framesUpTo = [&](quint64 serial) {
        for (; next < news.exchanges.size() && news.exchanges[next].serial <= serial; ++next) {
            for (const DecodedFrame &frame : m_decoder.decode(news.exchanges[next])) {
                lines << QStringLiteral("  ") + frame.traceLine();
                lines << QStringLiteral("      ") + TraceText::measurements(frame);
            }
        }
    };
    // Each frame comes after the access that sent it.
    for (const Handshake &handshake : news.handshakes) {
        lines << TraceText::handshake(handshake);
        framesUpTo(handshake.airSerial);
    }
    framesUpTo(~quint64(0));
    return lines;
}
