#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The folder the tour leaves its pictures in: one named on the command line,
// made when it is not there yet, or a fresh one in the temporary directory.
// Each picture is a widget as it looks at that moment, in a PNG file.
class PictureFolder
{
public:
    // An empty path asks for a fresh temporary folder. False, with
    // errorString() set, when there is no folder to write into.
    bool open(const QString &path);
    QString path() const { return m_path; }

    // Writes `widget`, drawn as it is now, into `name`.png; a picture of the
    // same name is replaced. False, with errorString() set, when nothing was
    // written.
    bool save(QWidget *widget, const QString &name);
    // The files written so far, in order.
    QStringList written() const { return m_written; }

    QString errorString() const { return m_error; }

private:
    QString m_path;
    QStringList m_written;
    QString m_error;
};
