#pragma once

#include "captureexport.h"
#include "signalsynthesis.h"

#include <QFile>
#include <QString>

// The bench's air in a file, written as the bench runs, in one of two forms:
//   a value change dump of every capture (VcdWriter's logic layout), each
//     going out once the next one has begun, and the last when the file is
//     finished;
//   a pcapng of every ISO/IEC 14443 type A frame, each going out as soon as
//     its exchange is known.
class CaptureFile
{
public:
    enum class Format { Vcd, Pcapng };

    // False, with errorString() set, when the file cannot be written.
    bool open(const QString &path, Format format = Format::Vcd);
    QString errorString() const { return m_file.errorString(); }
    void add(const std::vector<AirExchange> &exchanges);
    void finish();
    // What went into the file: captures for a VCD, exchanges with type A
    // frames for a pcapng.
    int written() const { return m_written; }

private:
    void writeCapture(const std::vector<DecodedExchange> &exchanges);
    void writePackets(const DecodedExchange &decoded);

    QFile m_file;
    Format m_format = Format::Vcd;
    CaptureAssembler m_assembler;
    VcdWriter m_vcd;
    TypeAPcapngWriter m_pcapng;
    int m_written = 0;
};
