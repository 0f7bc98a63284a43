#include "entry/ClientLaunch.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

bool StartGameClient(const QString &uuid)
{
    const QString program = uuid + QStringLiteral("/zol_client.exe");
#ifdef Q_OS_WIN
    return QProcess::startDetached(program, QStringList(), uuid);
#else
    // Downloaded files carry no execute bit.
    const QFileInfo info(program);
    if (info.isFile())
        QFile::setPermissions(program, info.permissions() | QFileDevice::ExeOwner);
    // Qt runs a relative program from inside the working directory, where
    // "<uuid>/zol_client.exe" does not exist; pass the absolute path.
    return QProcess::startDetached(info.absoluteFilePath(), QStringList(), uuid);
#endif
}
