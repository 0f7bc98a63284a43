#include "download/Progress.h"

#include <limits>

int ProgressPercent(quint64 received, quint64 size)
{
    if (size == 0 || received >= size)
        return 100;
    if (received <= std::numeric_limits<quint64>::max() / 100)
        return int(received * 100 / size);
        // received * 100 does not fit in 64 bits (sizes beyond 1.8e17 bytes).
#ifdef __SIZEOF_INT128__
    return int((static_cast<unsigned __int128>(received) * 100) / size);
#else
    return int(received / (size / 100 + 1));
#endif
}

QString ProgressLine(const QString &path, quint64 received, quint64 size)
{
    if (size == 0)
        return QStringLiteral("Downloading %1").arg(path);
    return QStringLiteral("Downloading %1: %2%").arg(path).arg(ProgressPercent(received, size));
}
