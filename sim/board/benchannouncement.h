#pragma once

#include <QString>

// Makes a running virtual bench findable by the window: a symbolic link to
// its pseudo-terminal, named VirtualBench::LinkPrefix and a number in the
// temporary directory, which the window's port list shows under
// VirtualBench::Description. The link goes when the announcement does.
class BenchAnnouncement
{
public:
    BenchAnnouncement() = default;
    ~BenchAnnouncement();
    BenchAnnouncement(const BenchAnnouncement &) = delete;
    BenchAnnouncement &operator=(const BenchAnnouncement &) = delete;

    // Links the first free name to `devicePath`; a link left by a bench
    // that is gone is taken over. False when no name could be made.
    bool announce(const QString &devicePath);
    void withdraw();
    QString linkPath() const { return m_linkPath; }

private:
    QString m_linkPath;
};
