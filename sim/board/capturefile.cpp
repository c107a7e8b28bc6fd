#include "capturefile.h"

bool CaptureFile::open(const QString &path, Format format)
{
    m_format = format;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    m_file.write(format == Format::Vcd ? m_vcd.header() : m_pcapng.header());
    m_file.flush();
    return true;
}

void CaptureFile::add(const std::vector<AirExchange> &exchanges)
{
    for (const AirExchange &exchange : exchanges) {
        const bool opened = m_assembler.add(exchange);
        if (m_format == Format::Pcapng)
            writePackets(m_assembler.current().back());
        else if (opened)
            writeCapture(m_assembler.closed());
    }
}

void CaptureFile::finish()
{
    if (m_format == Format::Vcd)
        writeCapture(m_assembler.current());
    m_assembler = CaptureAssembler();
}

void CaptureFile::writeCapture(const std::vector<DecodedExchange> &exchanges)
{
    if (exchanges.empty() || !m_file.isOpen())
        return;
    m_file.write(m_vcd.capture(exchanges));
    m_file.flush();
    ++m_written;
}

void CaptureFile::writePackets(const DecodedExchange &decoded)
{
    const QByteArray packets = m_pcapng.exchange(decoded);
    if (packets.isEmpty() || !m_file.isOpen())
        return;
    m_file.write(packets);
    m_file.flush();
    ++m_written;
}
