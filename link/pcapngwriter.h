#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Frames in a pcapng file, the capture format Wireshark and tshark read: a
// section header, one interface whose link type says how to dissect the
// packets, then one enhanced packet block per frame. The writer only makes
// the bytes; writing them out is the caller's, so a file can grow packet
// after packet while it is being recorded.
class PcapngWriter
{
public:
    // The unit of the packets' timestamps, as the interface declares it.
    enum class Resolution { Microseconds, Nanoseconds };

    explicit PcapngWriter(quint16 linkType, Resolution resolution = Resolution::Nanoseconds,
                          const QString &interfaceName = QString());

    // What the file starts with: the section header and the interface.
    QByteArray header() const;
    // One packet, whole, at `timeNs` nanoseconds from the clock's origin
    // (Wireshark reads the origin as the Unix epoch); a time before the
    // origin is written as the origin.
    QByteArray packet(qint64 timeNs, const QByteArray &data) const;

private:
    quint16 m_linkType;
    Resolution m_resolution;
    QString m_interfaceName;
};

// The link type LINKTYPE_ISO_14443: each packet is a 4-byte pseudo-header
// (a version, what happened, the length of the data that follows, big
// endian), then the frame's bytes as they went on the air, parity bits left
// out and CRC kept.
namespace Iso14443Link {

constexpr quint16 LinkType = 264;

enum class Event : quint8 {
    FieldOn = 0xFC,
    FieldOff = 0xFD,
    ReaderToCard = 0xFE,
    CardToReader = 0xFF,
};

// The pseudo-header followed by the frame's bytes (none for the field's events).
QByteArray packet(Event event, const QByteArray &frame = QByteArray());

} // namespace Iso14443Link
