#include "download/ClientFiles.h"

#include "download/PathRules.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace {

// The part of `filepath` below the first folder named `buildName`, or nothing
// when no segment is that name. A whole-segment match keeps a near miss such as
// "client_windows_1_2x.dll" from being cut into a file of its own.
std::optional<QString> PathBelowBuild(const QString &filepath, const QString &buildName)
{
    const QStringList segments = filepath.split(u'/');
    const qsizetype index = segments.indexOf(buildName);
    if (index < 0)
        return std::nullopt;
    return segments.mid(index + 1).join(u'/');
}

quint64 SizeOf(const QVariant &value)
{
    bool ok = false;
    const qlonglong signedSize = value.toLongLong(&ok);
    if (ok)
        return signedSize < 0 ? 0 : quint64(signedSize);
    const quint64 size = value.toULongLong(&ok);
    return ok ? size : 0;
}

} // namespace

QString ClientBuildName(const QString &platformName, int major, int minor)
{
    return QStringLiteral("client_%1_%2_%3").arg(platformName).arg(major).arg(minor);
}

QueuedFiles ReadClientFiles(const QString &connectionName, const QString &uuid,
                            const QString &serverUrl, const QString &platformName)
{
    QueuedFiles result;
    const QSqlDatabase db = QSqlDatabase::database(connectionName);
    if (!db.isOpen())
        return result;

    QSqlQuery versions(db);
    versions.setForwardOnly(true);
    versions.prepare(QStringLiteral(
        "SELECT zol_major_version,zol_minor_version FROM games WHERE uuid=? LIMIT 1"));
    versions.bindValue(0, uuid);
    if (!versions.exec() || !versions.next())
        return result;
    // A game without a stated engine version has no client build to ask for.
    bool majorOk = false;
    bool minorOk = false;
    const int major = versions.value(0).toInt(&majorOk);
    const int minor = versions.value(1).toInt(&minorOk);
    if (!majorOk || !minorOk)
        return result;
    const QString buildName = ClientBuildName(platformName, major, minor);

    QSqlQuery clients(db);
    clients.setForwardOnly(true);
    clients.prepare(QStringLiteral("SELECT filepath,crc,size FROM clients WHERE name=?"));
    clients.bindValue(0, buildName);
    if (!clients.exec())
        return result;
    while (clients.next()) {
        const QString filepath = clients.value(0).toString();
        const std::optional<QString> below = PathBelowBuild(filepath, buildName);
        if (!below || !IsSafeRelativePath(*below)) {
            result.unsafePaths.append(filepath);
            continue;
        }
        DownloadFile file;
        file.path = *below;
        file.url = serverUrl + u'/' + filepath;
        file.localPath = uuid + u'/' + *below;
        file.crc = clients.value(1).toString();
        file.size = SizeOf(clients.value(2));
        file.editable = false;
        result.files.append(file);
    }
    return result;
}
