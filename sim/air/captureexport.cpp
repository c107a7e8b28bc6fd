#include "captureexport.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr char MfoutId = '!';
constexpr char AntennaId = '"';
constexpr char ReaderBytesId = '#';
constexpr char CardBytesId = '$';

struct Change
{
    qint64 ns;
    QByteArray text;
};

qint64 toNs(qint64 startNs, double us)
{
    return startNs + qint64(std::llround(us * 1000.0));
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

} // namespace

QByteArray VcdWriter::header() const
{
    QByteArray text;
    text += "$version TagBench, banc virtuel $end\n";
    text += "$timescale 1 ns $end\n";
    text += "$scope module banc $end\n";
    text += QByteArray("$var wire 1 ") + MfoutId + ' ' + MfoutName + " $end\n";
    text += QByteArray("$var real 64 ") + AntennaId + ' ' + AntennaName + " $end\n";
    text += QByteArray("$var wire 8 ") + ReaderBytesId + ' ' + ReaderBytesName + " $end\n";
    text += QByteArray("$var wire 8 ") + CardBytesId + ' ' + CardBytesName + " $end\n";
    text += "$upscope $end\n";
    text += "$enddefinitions $end\n";
    text += "$dumpvars\n";
    text += QByteArray("x") + MfoutId + '\n';
    text += realValue(0.0f, AntennaId) + '\n';
    text += unknownByte(ReaderBytesId) + '\n';
    text += unknownByte(CardBytesId) + '\n';
    text += "$end\n";
    return text;
}

QByteArray VcdWriter::capture(const Capture &capture)
{
    std::vector<Change> changes;
    for (std::size_t i = 0; i < capture.mfout.times.size(); ++i) {
        changes.push_back({ toNs(capture.startNs, capture.mfout.times[i]),
                            QByteArray(capture.mfout.levels[i] > 0.5f ? "1" : "0") + MfoutId });
    }
    for (std::size_t i = 0; i < capture.antenna.times.size(); ++i)
        changes.push_back({ toNs(capture.startNs, capture.antenna.times[i]), realValue(capture.antenna.levels[i], AntennaId) });
    for (const ByteMark &mark : capture.bytes) {
        const char id = mark.direction == DecodedFrame::Direction::ReaderToCard ? ReaderBytesId : CardBytesId;
        changes.push_back({ toNs(capture.startNs, mark.startUs), byteValue(mark.value, id) });
        changes.push_back({ toNs(capture.startNs, mark.endUs), unknownByte(id) });
    }
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

namespace AirLogCsv {

QByteArray header()
{
    return "temps_us,sens,bits,octets,parite,crc,signification\n";
}

QByteArray row(const DecodedFrame &frame)
{
    QByteArray line;
    line += QByteArray::number(double(frame.timeNs) / 1000.0, 'f', 3) + ',';
    line += frame.direction == DecodedFrame::Direction::ReaderToCard ? "lecteur->carte," : "carte->lecteur,";
    line += QByteArray::number(frame.bitCount) + ',';
    line += frame.hex().toLatin1() + ',';
    line += checkText(frame.parity) + ',';
    line += checkText(frame.crc) + ',';
    line += csvField(frame.meaning);
    return line + '\n';
}

} // namespace AirLogCsv
