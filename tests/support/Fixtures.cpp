#include "Fixtures.h"

#include <QAtomicInt>
#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {

QString NextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("fixture-%1").arg(counter.fetchAndAddRelaxed(1));
}

// Opens a fresh SQLite file, runs `fill` inside one transaction, removes the connection.
template <typename Fill> bool WithNewDatabase(const QString &path, Fill fill)
{
    QFile::remove(path);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        qWarning() << "cannot create folder for" << path;
        return false;
    }
    const QString name = NextConnectionName();
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open()) {
            db.transaction();
            QSqlQuery query(db);
            ok = fill(query);
            ok = db.commit() && ok;
            db.close();
        } else {
            qWarning() << "cannot open" << path << db.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

bool Exec(QSqlQuery &query, const QString &statement)
{
    if (query.exec(statement))
        return true;
    qWarning() << statement << query.lastError().text();
    return false;
}

bool ExecPrepared(QSqlQuery &query)
{
    if (query.exec())
        return true;
    qWarning() << query.lastQuery() << query.lastError().text();
    return false;
}

} // namespace

bool WriteCatalogue(const QString &path, const QList<CatalogueGame> &games,
                    const QList<ClientRow> &clients, bool withVersionColumns)
{
    return WithNewDatabase(path, [&](QSqlQuery &query) {
        const QString versions = withVersionColumns ? QStringLiteral(", zol_major_version INTEGER, "
                                                                     "zol_minor_version INTEGER")
                                                    : QString();
        if (!Exec(query, QStringLiteral("CREATE TABLE games (title TEXT, uuid TEXT, nickname "
                                        "TEXT, icon BLOB, description BLOB%1)")
                             .arg(versions)))
            return false;
        if (!Exec(query, QStringLiteral("CREATE TABLE clients (name TEXT, filepath TEXT, crc "
                                        "TEXT, size INTEGER)")))
            return false;
        for (const CatalogueGame &game : games) {
            query.prepare(withVersionColumns
                              ? QStringLiteral("INSERT INTO games VALUES (?, ?, ?, ?, ?, ?, ?)")
                              : QStringLiteral("INSERT INTO games VALUES (?, ?, ?, ?, ?)"));
            query.addBindValue(game.title);
            query.addBindValue(game.uuid);
            query.addBindValue(game.nickname);
            query.addBindValue(game.icon);
            query.addBindValue(game.description);
            if (withVersionColumns) {
                query.addBindValue(game.major);
                query.addBindValue(game.minor);
            }
            if (!ExecPrepared(query))
                return false;
        }
        for (const ClientRow &client : clients) {
            query.prepare(QStringLiteral("INSERT INTO clients VALUES (?, ?, ?, ?)"));
            query.addBindValue(client.name);
            query.addBindValue(client.filepath);
            query.addBindValue(client.crc);
            query.addBindValue(client.size);
            if (!ExecPrepared(query))
                return false;
        }
        return true;
    });
}

bool WriteMarker(const QString &path, const QStringList &uuids)
{
    return WithNewDatabase(path, [&](QSqlQuery &query) {
        if (!Exec(query, QStringLiteral("CREATE TABLE settings (uuid TEXT)")))
            return false;
        for (const QString &uuid : uuids) {
            query.prepare(QStringLiteral("INSERT INTO settings VALUES (?)"));
            query.addBindValue(uuid);
            if (!ExecPrepared(query))
                return false;
        }
        return true;
    });
}

bool WritePatchDb(const QString &path, const QList<ManifestRow> &files,
                  const QList<EditableRow> &editable)
{
    return WithNewDatabase(path, [&](QSqlQuery &query) {
        if (!Exec(query, QStringLiteral("CREATE TABLE files (filepath TEXT, crc TEXT, size "
                                        "INTEGER, platform INTEGER)")) ||
            !Exec(query, QStringLiteral("CREATE TABLE editable (filepath TEXT, platform INTEGER)")))
            return false;
        for (const ManifestRow &row : files) {
            query.prepare(QStringLiteral("INSERT INTO files VALUES (?, ?, ?, ?)"));
            query.addBindValue(row.filepath);
            query.addBindValue(row.crc);
            query.addBindValue(row.size);
            query.addBindValue(row.platform);
            if (!ExecPrepared(query))
                return false;
        }
        for (const EditableRow &row : editable) {
            query.prepare(QStringLiteral("INSERT INTO editable VALUES (?, ?)"));
            query.addBindValue(row.filepath);
            query.addBindValue(row.platform);
            if (!ExecPrepared(query))
                return false;
        }
        return true;
    });
}

bool WriteSqlite(const QString &path, const QStringList &statements)
{
    return WithNewDatabase(path, [&](QSqlQuery &query) {
        for (const QString &statement : statements) {
            if (!Exec(query, statement))
                return false;
        }
        return true;
    });
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qWarning() << "cannot write" << path << file.errorString();
        return false;
    }
    return file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QString Md5Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}
