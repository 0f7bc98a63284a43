// placeholder: client file queueing is still to be written
#include "download/ClientFiles.h"

QString ClientBuildName(const QString &, int, int) { return QString(); }
QueuedFiles ReadClientFiles(const QString &, const QString &, const QString &, const QString &)
{
    return {};
}
