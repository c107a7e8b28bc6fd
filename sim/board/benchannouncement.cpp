#include "benchannouncement.h"

#include "virtualbench.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr int MaxBenches = 100;

} // namespace

BenchAnnouncement::~BenchAnnouncement()
{
    withdraw();
}

bool BenchAnnouncement::announce(const QString &devicePath)
{
    withdraw();
    const QDir directory(QDir::tempPath());
    for (int n = 0; n < MaxBenches; ++n) {
        const QString link = directory.filePath(QLatin1String(VirtualBench::LinkPrefix) + QString::number(n));
        const QFileInfo info(link);
        if (info.isSymLink() && !info.exists())
            QFile::remove(link);  // its bench is gone
        if (QFile::link(devicePath, link)) {
            m_linkPath = link;
            return true;
        }
    }
    return false;
}

void BenchAnnouncement::withdraw()
{
    if (!m_linkPath.isEmpty())
        QFile::remove(m_linkPath);
    m_linkPath.clear();
}
