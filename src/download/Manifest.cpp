#include "download/Manifest.h"

#include "download/PathRules.h"

#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

namespace {

const QString connectionName = QStringLiteral("patch.db");

// The size column may hold anything; only a plain non-negative number counts.
quint64 SizeValue(const QVariant &value)
{
    bool ok = false;
    const quint64 size = value.toString().toULongLong(&ok);
    return ok ? size : 0;
}

QueuedFiles ReadRows(QSqlDatabase &db, const QString &uuid, const QString &nickname,
                     const QString &serverUrl, int platform, bool readEditable)
{
    QueuedFiles queued;
    QSet<QString> editable;
    QSqlQuery query(db);
    if (readEditable &&
        query.exec(
            QStringLiteral("SELECT filepath FROM editable WHERE platform=%1").arg(platform))) {
        while (query.next())
            editable.insert(query.value(0).toString());
    }
    if (!query.exec(
            QStringLiteral("SELECT filepath,crc,size FROM files WHERE platform=%1").arg(platform)))
        return queued;
    while (query.next()) {
        const QString filepath = query.value(0).toString();
        if (!IsSafeRelativePath(filepath)) {
            queued.unsafePaths.append(filepath);
            continue;
        }
        DownloadFile file;
        file.path = nickname + u'/' + filepath;
        file.localPath = uuid + u'/' + file.path;
        file.url = serverUrl + u'/' + file.path;
        file.crc = query.value(1).toString();
        file.size = SizeValue(query.value(2));
        file.editable = editable.contains(filepath);
        queued.files.append(file);
    }
    query.finish();
    return queued;
}

} // namespace

QueuedFiles ReadPatchManifest(const QString &databasePath, const QString &uuid,
                              const QString &nickname, const QString &serverUrl, int platform,
                              bool readEditable)
{
    QueuedFiles queued;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(databasePath);
        // Never create an empty database where the manifest is missing.
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            queued = ReadRows(db, uuid, nickname, serverUrl, platform, readEditable);
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connectionName);
    return queued;
}
