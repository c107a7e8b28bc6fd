#include "airmeasure.h"

#include "aircommands.h"
#include "airdecoder.h"
#include "airtiming.h"

#include <QLocale>

#include <cmath>

namespace {

using namespace AirTiming;

// Float rounding of times that are equal by construction is no fault.
constexpr double ToleranceUs = 0.001;
constexpr int TextDecimals = 1;
constexpr double NsPerUs = 1000.0;

QString micro(double us)
{
    static const QLocale french = [] {
        QLocale locale(QLocale::French, QLocale::France);
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        return locale;
    }();
    return french.toString(us, 'f', TextDecimals);
}

qint64 ns(double us)
{
    return qint64(std::llround(us * NsPerUs));
}

bool isVicinity(AirCoding coding)
{
    return coding == AirCoding::OneOutOf4 || coding == AirCoding::OneOutOf256;
}

bool onAir(const AirExchange &exchange)
{
    return exchange.hearing != AirHearing::FieldOff && exchange.hearing != AirHearing::CoderMuted;
}

// REQA, WUPA, ANTICOLLISION and SELECT: the card answers after exactly
// n = 9 bit periods; after any other command, after at least that.
bool exactFrameDelay(const AirExchange &exchange)
{
    if (exchange.encrypted || exchange.sent.bits.size() < std::size_t(TypeACommand::ShortFrameBits))
        return false;
    quint8 first = 0;
    for (int bit = 0; bit < 8 && std::size_t(bit) < exchange.sent.bits.size(); ++bit)
        first |= quint8((exchange.sent.bits[std::size_t(bit)] & 1) << bit);
    if (exchange.sent.bits.size() == std::size_t(TypeACommand::ShortFrameBits))
        return first == TypeACommand::Reqa || first == TypeACommand::Wupa;
    return first == TypeACommand::SelectCascadeLevel1 || first == TypeACommand::SelectCascadeLevel2
        || first == TypeACommand::SelectCascadeLevel3;
}

TimingCheck atLeast(const QString &name, double measuredUs, double minUs)
{
    TimingCheck check;
    check.name = name;
    check.measuredUs = measuredUs;
    check.minUs = minUs;
    return check;
}

TimingCheck within(const QString &name, double measuredUs, double minUs, double maxUs)
{
    TimingCheck check = atLeast(name, measuredUs, minUs);
    check.maxUs = maxUs;
    return check;
}

} // namespace

bool TimingCheck::ok() const
{
    return measuredUs >= minUs - ToleranceUs && measuredUs <= maxUs + ToleranceUs;
}

QString TimingCheck::text() const
{
    QString limits;
    if (std::isinf(maxUs))
        limits = QStringLiteral("≥ %1").arg(micro(minUs));
    else if (std::abs(maxUs - minUs) < ToleranceUs)
        limits = QStringLiteral("= %1").arg(micro(minUs));
    else
        limits = QStringLiteral("%1 à %2").arg(micro(minUs), micro(maxUs));
    return QStringLiteral("%1 = %2 µs (%3)").arg(name, micro(measuredUs), limits);
}

void AirMeasurer::annotate(const AirExchange &exchange, std::vector<DecodedFrame> &frames)
{
    if (frames.empty())
        return;
    const ReaderShape reader = readerShape(exchange.sent, exchange.settings);
    const AnswerShape answer = answerShape(exchange, reader);
    const bool typeA = exchange.sent.coding == AirCoding::ModifiedMiller;
    const bool vicinity = isVicinity(exchange.sent.coding);

    DecodedFrame &request = frames.front();
    request.endNs = exchange.startNs + ns(reader.endUs);
    if (m_havePrevious)
        request.gapNs = exchange.startNs - m_previousEndNs;
    if (onAir(exchange) && (typeA || vicinity) && !reader.pauses.empty()) {
        const double width = pauseUs(exchange.settings);
        request.timings.push_back(typeA ? within(QStringLiteral("pause"), width, TypeAPauseMinUs, TypeAPauseMaxUs)
                                        : within(QStringLiteral("pause"), width, VicinityPauseMinUs, VicinityPauseMaxUs));
        const double firstModulationUs = reader.pauses.front().start;
        if (m_havePrevious && onAir(m_previous) && m_previous.sent.coding == exchange.sent.coding) {
            const ReaderShape before = readerShape(m_previous.sent, m_previous.settings);
            const AnswerShape answered = answerShape(m_previous, before);
            const double sinceUs = double(exchange.startNs - m_previous.startNs) / NsPerUs + firstModulationUs;
            if (typeA && !answered.loaded.empty())
                request.timings.push_back(atLeast(QStringLiteral("FDT lecteur"), sinceUs - answered.loaded.back().end,
                                                  TypeACardToReaderUs));
            else if (vicinity && answered.endUs > 0)
                request.timings.push_back(atLeast(QStringLiteral("t2"), sinceUs - answered.endUs, VicinityReaderGuardUs));
            else if (vicinity && before.endUs > 0)
                request.timings.push_back(atLeast(QStringLiteral("t3"), sinceUs - before.lastPauseEndUs,
                                                  VicinitySilentSlotUs));
        }
    }
    m_previousEndNs = request.endNs;

    if (frames.size() > 1 && answer.endUs > 0) {
        DecodedFrame &reply = frames[1];
        reply.endNs = exchange.startNs + ns(answer.endUs);
        reply.gapNs = reply.timeNs - request.endNs;
        const double delayUs = answer.startUs - reader.lastPauseEndUs;
        if (typeA) {
            const double least = cycles(TypeAFrameDelayN * 128 + (reader.lastBitOne ? 84 : 20));
            reply.timings.push_back(exactFrameDelay(exchange) ? within(QStringLiteral("FDT carte"), delayUs, least, least)
                                                              : atLeast(QStringLiteral("FDT carte"), delayUs, least));
        } else if (vicinity) {
            reply.timings.push_back(within(QStringLiteral("t1"), delayUs, VicinityAnswerDelayMinUs, VicinityAnswerDelayMaxUs));
        }
        m_previousEndNs = reply.endNs;
    }
    m_previous = exchange;
    m_havePrevious = true;
}

void AirMeasurer::reset()
{
    *this = AirMeasurer();
}
