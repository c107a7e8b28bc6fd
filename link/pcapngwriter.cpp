#include "pcapngwriter.h"

#include <QtEndian>

#include <algorithm>
#include <limits>

namespace {

// Block types and option codes of the pcapng format. The file is written in
// little-endian order, which its byte-order magic tells readers.
constexpr quint32 SectionHeaderBlock = 0x0A0D0D0A;
constexpr quint32 InterfaceDescriptionBlock = 0x00000001;
constexpr quint32 EnhancedPacketBlock = 0x00000006;
constexpr quint32 ByteOrderMagic = 0x1A2B3C4D;
constexpr quint16 MajorVersion = 1;
constexpr quint16 MinorVersion = 0;
constexpr qint64 SectionLengthUnknown = -1;
constexpr quint32 NoSnapLength = 0;
constexpr quint32 FirstInterface = 0;

constexpr quint16 EndOfOptions = 0;
constexpr quint16 ShbUserApplication = 4;
constexpr quint16 IfName = 2;
constexpr quint16 IfTimestampResolution = 9;
// if_tsresol: the timestamp unit as a negative power of ten.
constexpr quint8 MicrosecondDigits = 6;
constexpr quint8 NanosecondDigits = 9;

// Block bodies, options and packet data end on a 32-bit boundary.
constexpr int Alignment = 4;
// A block's type and total length before its body, the total length again after.
constexpr int BlockFraming = 12;

constexpr quint8 Iso14443HeaderVersion = 0;
constexpr int MaxIso14443Data = std::numeric_limits<quint16>::max();

void append16(QByteArray &bytes, quint16 value)
{
    char raw[sizeof value];
    qToLittleEndian(value, raw);
    bytes.append(raw, sizeof raw);
}

void append32(QByteArray &bytes, quint32 value)
{
    char raw[sizeof value];
    qToLittleEndian(value, raw);
    bytes.append(raw, sizeof raw);
}

void pad(QByteArray &bytes)
{
    while (bytes.size() % Alignment != 0)
        bytes.append('\0');
}

void appendOption(QByteArray &bytes, quint16 code, const QByteArray &value)
{
    append16(bytes, code);
    append16(bytes, quint16(value.size()));
    bytes.append(value);
    pad(bytes);
}

void endOptions(QByteArray &bytes)
{
    append16(bytes, EndOfOptions);
    append16(bytes, 0);
}

QByteArray block(quint32 type, const QByteArray &body)
{
    const quint32 total = quint32(body.size() + BlockFraming);
    QByteArray bytes;
    append32(bytes, type);
    append32(bytes, total);
    bytes.append(body);
    append32(bytes, total);
    return bytes;
}

} // namespace

PcapngWriter::PcapngWriter(quint16 linkType, Resolution resolution, const QString &interfaceName)
    : m_linkType(linkType)
    , m_resolution(resolution)
    , m_interfaceName(interfaceName)
{
}

QByteArray PcapngWriter::header() const
{
    QByteArray section;
    append32(section, ByteOrderMagic);
    append16(section, MajorVersion);
    append16(section, MinorVersion);
    append32(section, quint32(quint64(SectionLengthUnknown)));
    append32(section, quint32(quint64(SectionLengthUnknown) >> 32));
    appendOption(section, ShbUserApplication, QByteArrayLiteral("TagBench"));
    endOptions(section);

    QByteArray interface;
    append16(interface, m_linkType);
    append16(interface, 0);  // reserved
    append32(interface, NoSnapLength);
    if (!m_interfaceName.isEmpty())
        appendOption(interface, IfName, m_interfaceName.toUtf8());
    const quint8 digits = m_resolution == Resolution::Nanoseconds ? NanosecondDigits : MicrosecondDigits;
    appendOption(interface, IfTimestampResolution, QByteArray(1, char(digits)));
    endOptions(interface);

    return block(SectionHeaderBlock, section) + block(InterfaceDescriptionBlock, interface);
}

QByteArray PcapngWriter::packet(qint64 timeNs, const QByteArray &data) const
{
    const qint64 sinceOrigin = std::max<qint64>(timeNs, 0);
    const quint64 stamp = quint64(m_resolution == Resolution::Nanoseconds ? sinceOrigin : sinceOrigin / 1000);
    QByteArray body;
    append32(body, FirstInterface);
    append32(body, quint32(stamp >> 32));
    append32(body, quint32(stamp));
    append32(body, quint32(data.size()));  // captured
    append32(body, quint32(data.size()));  // on the wire
    body.append(data);
    pad(body);
    return block(EnhancedPacketBlock, body);
}

namespace Iso14443Link {

QByteArray packet(Event event, const QByteArray &frame)
{
    // The length field holds 16 bits: no frame on the air comes near it.
    const QByteArray data = frame.left(MaxIso14443Data);
    QByteArray bytes;
    bytes.append(char(Iso14443HeaderVersion));
    bytes.append(char(event));
    char length[sizeof(quint16)];
    qToBigEndian(quint16(data.size()), length);
    bytes.append(length, sizeof length);
    return bytes + data;
}

} // namespace Iso14443Link
