#include "library/Catalogue.h"

#include "download/PathRules.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

QList<GameInfo> ReadCatalogueGames(const QString &connectionName, QStringList *unsafeUuids)
{
    QMap<QString, GameInfo> games;
    QSqlDatabase db = QSqlDatabase::database(connectionName);
    if (!db.isOpen())
        return {};
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT title,uuid,nickname,icon,description FROM games")))
        return {};
    while (query.next()) {
        GameInfo info;
        info.title = query.value(0).toString();
        info.uuid = query.value(1).toString();
        info.nickname = query.value(2).toString();
        info.icon = query.value(3).toByteArray();
        info.description = QString::fromLatin1(query.value(4).toByteArray());
        // Both names become folders that downloads write into and uninstall removes.
        if (!IsSafeFolderName(info.uuid) || !IsSafeFolderName(info.nickname)) {
            if (unsafeUuids)
                unsafeUuids->append(info.uuid);
            continue;
        }
        games.insert(info.uuid, info);
    }
    return games.values();
}

bool MarkerNamesGame(const QString &uuid, const QString &nickname)
{
    const QString folder = uuid + u'/' + nickname;
    if (!QDir(folder).exists())
        return false;
    const QFileInfo marker(QDir(folder), QStringLiteral("game.zol"));
    if (!marker.exists())
        return false;

    const QString connectionName = QStringLiteral("GAME");
    bool named = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(marker.absoluteFilePath());
        if (db.isValid() && db.open()) {
            {
                QSqlQuery query(db);
                if (query.exec(QStringLiteral("SELECT uuid FROM settings")) && query.next())
                    named = query.value(0).toString().compare(uuid, Qt::CaseInsensitive) == 0;
            }
            db.close();
        }
    }
    // Every handle is gone here, so the connection can be removed without a warning.
    QSqlDatabase::removeDatabase(connectionName);
    return named;
}
