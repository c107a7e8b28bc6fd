#include "picturefolder.h"

#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QTemporaryDir>
#include <QWidget>

bool PictureFolder::open(const QString &path)
{
    if (path.isEmpty()) {
        // Kept after the tour: it is the tour's result.
        QTemporaryDir fresh(QDir::temp().filePath(QStringLiteral("tagbench-visite-XXXXXX")));
        if (!fresh.isValid()) {
            m_error = QStringLiteral("pas de dossier temporaire : %1").arg(fresh.errorString());
            return false;
        }
        fresh.setAutoRemove(false);
        m_path = fresh.path();
        return true;
    }
    if (!QDir().mkpath(path) || !QFileInfo(path).isDir()) {
        m_error = QStringLiteral("« %1 » : le dossier des images ne peut pas être créé").arg(path);
        return false;
    }
    m_path = QFileInfo(path).absoluteFilePath();
    return true;
}

bool PictureFolder::save(QWidget *widget, const QString &name)
{
    const QString file = QDir(m_path).filePath(name + QStringLiteral(".png"));
    const QPixmap picture = widget->grab();
    if (picture.isNull() || !picture.save(file, "PNG")) {
        m_error = QStringLiteral("« %1 » : l'image n'a pas pu être écrite").arg(file);
        return false;
    }
    m_written << file;
    return true;
}
