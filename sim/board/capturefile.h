#pragma once

#include "captureexport.h"
#include "signalsynthesis.h"

#include <QFile>
#include <QString>

// Every capture of the bench in one value change dump, written as the bench
// runs: each capture goes out once the next one has begun, and the last
// when the file is finished.
class CaptureFile
{
public:
    // False, with errorString() set, when the file cannot be written.
    bool open(const QString &path);
    QString errorString() const { return m_file.errorString(); }
    void add(const std::vector<AirExchange> &exchanges);
    void finish();
    int capturesWritten() const { return m_written; }

private:
    void write(const std::vector<DecodedExchange> &exchanges);

    QFile m_file;
    CaptureAssembler m_assembler;
    VcdWriter m_writer;
    int m_written = 0;
};
