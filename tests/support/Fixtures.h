#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// Builders for the files the portal reads: a catalogue, a game marker, a patch
// manifest, plain files. Each returns false (with a qWarning) when it could not write.

struct CatalogueGame
{
    QString uuid;
    QString nickname;
    QString title;
    QByteArray icon;
    QByteArray description;
    QVariant major = 1; // zol_major_version; a null QVariant stores NULL
    QVariant minor = 0; // zol_minor_version
};

struct ClientRow
{
    QString name; // e.g. "client_windows_1_0"
    QString filepath;
    QString crc;
    QVariant size;
};

struct ManifestRow
{
    QString filepath;
    QString crc;
    QVariant size;
    int platform = 1;
};

struct EditableRow
{
    QString filepath;
    int platform = 1;
};

// library.db with tables games(title, uuid, nickname, icon, description,
// zol_major_version, zol_minor_version) and clients(name, filepath, crc, size).
// `withVersionColumns` false leaves the two version columns out of games.
bool WriteCatalogue(const QString &path, const QList<CatalogueGame> &games,
                    const QList<ClientRow> &clients = {}, bool withVersionColumns = true);

// game.zol with table settings(uuid), one row per given uuid, in order.
bool WriteMarker(const QString &path, const QStringList &uuids);

// patch.db with tables files(filepath, crc, size, platform) and editable(filepath, platform).
bool WritePatchDb(const QString &path, const QList<ManifestRow> &files,
                  const QList<EditableRow> &editable = {});

// Runs the given statements on a new SQLite file (for odd schemas).
bool WriteSqlite(const QString &path, const QStringList &statements);

// Writes bytes to a file, creating the missing folders; replaces an existing file.
bool WriteFile(const QString &path, const QByteArray &bytes);
// The whole file, or an empty array when it cannot be read.
QByteArray ReadFile(const QString &path);
// Lower-case hexadecimal MD5.
QString Md5Hex(const QByteArray &bytes);
