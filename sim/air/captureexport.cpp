#include "captureexport.h"

#include "airtiming.h"
#include "chipregisters.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr char MfoutId = '!';
constexpr char CarrierId = '"';
constexpr char LoadId = '#';
constexpr char AntennaId = '$';
constexpr char ReaderBytesId = '%';
constexpr char CardBytesId = '&';

constexpr float LogicHigh = 0.5f;  // a 0-or-1 waveform's level above which it reads 1

struct Change
{
    qint64 ns;
    QByteArray text;
};

qint64 toNs(qint64 startNs, double us)
{
    return startNs + qint64(std::llround(us * 1000.0));
}

QByteArray bitValue(float level, char id)
{
    return QByteArray(level > LogicHigh ? "1" : "0") + id;
}

QByteArray byteValue(quint8 value, char id)
{
    QByteArray text("b");
    for (int bit = 7; bit >= 0; --bit)
        text.append((value >> bit) & 1 ? '1' : '0');
    return text + ' ' + id;
}

QByteArray unknownByte(char id)
{
    return QByteArray("bxxxxxxxx ") + id;
}

QByteArray realValue(float level, char id)
{
    return "r" + QByteArray::number(double(level), 'g', 6) + ' ' + id;
}

QByteArray declaration(const char *type, int width, char id, const char *name)
{
    return QByteArray("$var ") + type + ' ' + QByteArray::number(width) + ' ' + id + ' ' + name + " $end\n";
}

// The carrier as the chip's TxControl leaves it, as the scope's antenna
// channel draws it: at full strength unless the field is off or the
// modulator is held low, and dropped in the pauses only when the coder
// drives the modulator.
bool carrierFull(const AirSettings &settings)
{
    using namespace TxControlBits;
    return (settings.txControl & RFEnable) && (settings.txControl & ModulatorSourceMask) != ModulatorLow;
}

bool pausesReachCarrier(const AirSettings &settings)
{
    using namespace TxControlBits;
    return (settings.txControl & RFEnable) && (settings.txControl & ModulatorSourceMask) == ModulatorInternalCoder;
}

// The two logic lanes of the air, drawn from the same shapes as the scope,
// in microseconds from the capture's start.
struct AirLanes
{
    Waveform carrier;
    Waveform load;
};

AirLanes airLanes(const std::vector<DecodedExchange> &exchanges, const Capture &capture)
{
    AirLanes lanes;
    lanes.carrier.set(0, carrierFull(exchanges.front().exchange.settings) ? 1.0f : 0.0f);
    lanes.load.set(0, 0.0f);
    for (const DecodedExchange &decoded : exchanges) {
        const AirExchange &exchange = decoded.exchange;
        const double offset = double(exchange.startNs - capture.startNs) / 1000.0;
        const float idle = carrierFull(exchange.settings) ? 1.0f : 0.0f;
        const AirTiming::ReaderShape reader = AirTiming::readerShape(exchange.sent, exchange.settings);
        lanes.carrier.set(offset, idle);
        if (pausesReachCarrier(exchange.settings)) {
            for (const AirTiming::Span &pause : reader.pauses) {
                lanes.carrier.set(offset + pause.start, 0.0f);
                lanes.carrier.set(offset + pause.end, idle);
            }
        }
        for (const AirTiming::Span &loaded : AirTiming::answerShape(exchange, reader).loaded) {
            lanes.load.set(offset + loaded.start, 1.0f);
            lanes.load.set(offset + loaded.end, 0.0f);
        }
    }
    return lanes;
}

void addLogicChanges(std::vector<Change> &changes, const Waveform &wave, qint64 startNs, char id)
{
    for (std::size_t i = 0; i < wave.times.size(); ++i)
        changes.push_back({ toNs(startNs, wave.times[i]), bitValue(wave.levels[i], id) });
}

void addDetailChanges(std::vector<Change> &changes, const Capture &capture, qint64 startNs)
{
    for (std::size_t i = 0; i < capture.antenna.times.size(); ++i)
        changes.push_back({ toNs(startNs, capture.antenna.times[i]), realValue(capture.antenna.levels[i], AntennaId) });
    for (const ByteMark &mark : capture.bytes) {
        const char id = mark.direction == DecodedFrame::Direction::ReaderToCard ? ReaderBytesId : CardBytesId;
        changes.push_back({ toNs(startNs, mark.startUs), byteValue(mark.value, id) });
        changes.push_back({ toNs(startNs, mark.endUs), unknownByte(id) });
    }
}

QByteArray csvField(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\n')) {
        bytes.replace("\"", "\"\"");
        bytes = '"' + bytes + '"';
    }
    return bytes;
}

QByteArray checkText(DecodedFrame::Check check)
{
    switch (check) {
    case DecodedFrame::Check::Ok: return "juste";
    case DecodedFrame::Check::Failed: return "fausse";
    case DecodedFrame::Check::None: break;
    }
    return "";
}

// Microseconds with the nanoseconds kept: "1234.567".
QByteArray microseconds(qint64 ns)
{
    return QByteArray::number(double(ns) / 1000.0, 'f', 3);
}

// The timings measured on the frame, and which of them broke their limits:
// "non" when none did, nothing when no timing applies to the frame.
QString timingsText(const DecodedFrame &frame)
{
    QStringList texts;
    for (const TimingCheck &timing : frame.timings)
        texts << timing.text();
    return texts.join(QStringLiteral("; "));
}

QString outOfLimitsText(const DecodedFrame &frame)
{
    if (frame.timings.empty())
        return QString();
    QStringList names;
    for (const TimingCheck &timing : frame.timings) {
        if (!timing.ok())
            names << timing.name;
    }
    return names.isEmpty() ? QStringLiteral("non") : names.join(QStringLiteral("; "));
}

} // namespace

QByteArray VcdWriter::header() const
{
    const bool detailed = m_layout == Layout::Detailed;
    QByteArray text;
    text += "$version TagBench, banc virtuel $end\n";
    text += "$timescale 1 ns $end\n";
    text += "$scope module banc $end\n";
    text += declaration("wire", 1, MfoutId, MfoutName);
    text += declaration("wire", 1, CarrierId, CarrierName);
    text += declaration("wire", 1, LoadId, LoadName);
    if (detailed) {
        text += declaration("real", 64, AntennaId, AntennaName);
        text += declaration("wire", 8, ReaderBytesId, ReaderBytesName);
        text += declaration("wire", 8, CardBytesId, CardBytesName);
    }
    text += "$upscope $end\n";
    text += "$enddefinitions $end\n";
    text += "$dumpvars\n";
    for (char id : { MfoutId, CarrierId, LoadId })
        text += QByteArray("x") + id + '\n';
    if (detailed) {
        text += realValue(0.0f, AntennaId) + '\n';
        text += unknownByte(ReaderBytesId) + '\n';
        text += unknownByte(CardBytesId) + '\n';
    }
    text += "$end\n";
    return text;
}

QByteArray VcdWriter::capture(const std::vector<DecodedExchange> &exchanges)
{
    if (exchanges.empty())
        return QByteArray();
    const Capture capture = SignalSynthesis::capture(exchanges);
    if (!m_started) {
        m_originNs = capture.startNs;
        m_started = true;
    }
    const qint64 startNs = capture.startNs - m_originNs;
    const AirLanes lanes = airLanes(exchanges, capture);
    std::vector<Change> changes;
    addLogicChanges(changes, capture.mfout, startNs, MfoutId);
    addLogicChanges(changes, lanes.carrier, startNs, CarrierId);
    addLogicChanges(changes, lanes.load, startNs, LoadId);
    if (m_layout == Layout::Detailed)
        addDetailChanges(changes, capture, startNs);
    std::stable_sort(changes.begin(), changes.end(), [](const Change &a, const Change &b) { return a.ns < b.ns; });

    QByteArray text;
    qint64 written = -1;
    for (const Change &change : changes) {
        const qint64 at = std::max(change.ns, m_lastNs);
        if (at != written) {
            text += '#' + QByteArray::number(at) + '\n';
            written = at;
        }
        text += change.text + '\n';
        m_lastNs = at;
    }
    return text;
}

TypeAPcapngWriter::TypeAPcapngWriter()
    : m_writer(Iso14443Link::LinkType, PcapngWriter::Resolution::Nanoseconds, QStringLiteral("TagBench, banc virtuel"))
{
}

QByteArray TypeAPcapngWriter::exchange(const DecodedExchange &decoded)
{
    using Iso14443Link::Event;
    const AirExchange &exchange = decoded.exchange;
    QByteArray bytes;
    // The field is the same for every coding: any frame tells its state.
    const Field field = exchange.settings.txControl & TxControlBits::RFEnable ? Field::On : Field::Off;
    if (m_field != Field::Unknown && field != m_field) {
        const Event event = field == Field::On ? Event::FieldOn : Event::FieldOff;
        bytes += m_writer.packet(exchange.startNs, Iso14443Link::packet(event));
    }
    m_field = field;

    const bool onTheAir = exchange.hearing != AirHearing::FieldOff && exchange.hearing != AirHearing::CoderMuted;
    if (exchange.sent.coding != AirCoding::ModifiedMiller || !onTheAir)
        return bytes;
    for (const DecodedFrame &frame : decoded.frames) {
        if (frame.bytes.isEmpty())
            continue;  // an end-of-frame pulse alone carries no byte
        const Event event = frame.direction == DecodedFrame::Direction::ReaderToCard ? Event::ReaderToCard
                                                                                     : Event::CardToReader;
        bytes += m_writer.packet(frame.timeNs, Iso14443Link::packet(event, frame.bytes));
    }
    return bytes;
}

namespace AirLogCsv {

QByteArray header()
{
    return "temps_us,fin_us,duree_us,ecart_us,echange,sens,bits,octets,parite,crc,temps_mesures,hors_limites,"
           "signification\n";
}

QByteArray row(const DecodedFrame &frame)
{
    // An end not yet measured leaves the end and the length empty.
    const bool measured = frame.endNs > frame.timeNs;
    QByteArray line;
    line += microseconds(frame.timeNs) + ',';
    line += (measured ? microseconds(frame.endNs) : QByteArray()) + ',';
    line += (measured ? microseconds(frame.endNs - frame.timeNs) : QByteArray()) + ',';
    line += (frame.gapNs >= 0 ? microseconds(frame.gapNs) : QByteArray()) + ',';
    line += QByteArray::number(frame.serial) + ',';
    line += frame.direction == DecodedFrame::Direction::ReaderToCard ? "lecteur->carte," : "carte->lecteur,";
    line += QByteArray::number(frame.bitCount) + ',';
    line += frame.hex().toLatin1() + ',';
    line += checkText(frame.parity) + ',';
    line += checkText(frame.crc) + ',';
    line += csvField(timingsText(frame)) + ',';
    line += csvField(outOfLimitsText(frame)) + ',';
    line += csvField(frame.meaning);
    return line + '\n';
}

} // namespace AirLogCsv
