#include "download/Progress.h"

#include <limits>

int ProgressPercent(quint64 received, quint64 size)
{
    if (size == 0 || received >= size)
        return 100;
    // received < size, so the product only overflows for sizes beyond 1.8e17.
    if (received > std::numeric_limits<quint64>::max() / 100)
        return int(received / (size / 100));
    return int(received * 100 / size);
}

QString ProgressLine(const QString &path, quint64 received, quint64 size)
{
    if (size == 0)
        return QStringLiteral("Downloading %1").arg(path);
    return QStringLiteral("Downloading %1: %2%").arg(path).arg(ProgressPercent(received, size));
}
