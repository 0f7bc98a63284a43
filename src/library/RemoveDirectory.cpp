#include "library/RemoveDirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

bool IsLink(const QFileInfo &info)
{
    return info.isSymLink() || info.isJunction();
}

// A link is an entry of its own: removing it leaves whatever it points to alone.
bool RemoveLink(const QFileInfo &link)
{
    const QString path = link.absoluteFilePath();
    // Windows removes a link to a folder as a folder, other systems as a file.
    return QFile::remove(path) || (link.isDir() && QDir().rmdir(path));
}

} // namespace

bool RemoveDirectory(const QString &path)
{
    const QFileInfo top(path);
    if (IsLink(top))
        return top.isDir() ? RemoveLink(top) : true;

    QDir dir(path);
    if (!dir.exists())
        return true;

    const QFileInfoList list = dir.entryInfoList(QDir::NoDotAndDotDot | QDir::System |
                                                     QDir::Hidden | QDir::AllDirs | QDir::Files,
                                                 QDir::DirsFirst);
    for (const QFileInfo &entry : list) {
        bool removed;
        if (IsLink(entry))
            removed = RemoveLink(entry);
        else if (entry.isDir())
            removed = RemoveDirectory(entry.absoluteFilePath());
        else
            removed = QFile::remove(entry.absoluteFilePath());
        if (!removed)
            return false;
    }
    return QDir().rmdir(dir.absolutePath());
}
