#include "capturefile.h"

bool CaptureFile::open(const QString &path)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    m_file.write(m_writer.header());
    m_file.flush();
    return true;
}

void CaptureFile::add(const std::vector<AirExchange> &exchanges)
{
    for (const AirExchange &exchange : exchanges) {
        if (m_assembler.add(exchange))
            write(m_assembler.closed());
    }
}

void CaptureFile::finish()
{
    write(m_assembler.current());
    m_assembler = CaptureAssembler();
}

void CaptureFile::write(const std::vector<DecodedExchange> &exchanges)
{
    if (exchanges.empty() || !m_file.isOpen())
        return;
    m_file.write(m_writer.capture(SignalSynthesis::capture(exchanges)));
    m_file.flush();
    ++m_written;
}
