#pragma once

#include "PublishTree.h"

#include <QString>
#include <QStringList>

// zol_publish manifest: <folder>/patch.db from the files below the game folder.
struct ManifestRequest
{
    QString folder; // <webroot>/<nickname>
    int platform = 1;
    QStringList editablePatterns;
};

// zol_publish game: one row of <webroot>/library.db's games table.
struct GameRequest
{
    QString webRoot;
    QString uuid;
    QString nickname;
    QString title;
    int major = 0;
    int minor = 0;
    QString descriptionFile; // empty: no description
    QString iconFile;        // empty: no icon
};

// zol_publish client: the clients rows of one engine client build.
struct ClientRequest
{
    QString webRoot;
    QString buildFolder;
    int major = 0;
    int minor = 0;
    int platform = 1;
};

// zol_publish marker: <folder>/game.zol naming the game.
struct MarkerRequest
{
    QString folder;
    QString uuid;
};

// What a command did: on success the lines for standard output, otherwise one error.
struct PublishReport
{
    bool ok = false;
    QString error;
    QStringList lines;
    QStringList warnings;
};

PublishReport PublishManifest(const ManifestRequest &request, const HashProgress &progress);
PublishReport PublishGame(const GameRequest &request);
PublishReport PublishClient(const ClientRequest &request, const HashProgress &progress);
PublishReport PublishMarker(const MarkerRequest &request);

// The catalogue's and a manifest's file names.
inline QString CatalogueFileName()
{
    return QStringLiteral("library.db");
}
inline QString ManifestFileName()
{
    return QStringLiteral("patch.db");
}
inline QString MarkerFileName()
{
    return QStringLiteral("game.zol");
}
