#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// One queued file of a download run.
struct DownloadFile
{
    QString path;      // as shown in the dialog's lines
    QString url;       // full address on the web server
    QString localPath; // relative to the working directory
    QString crc;       // expected hexadecimal MD5; empty for patch.db
    quint64 size = 0;  // expected size; 0 when not given
    bool editable = false;
};

// Files read from a manifest or the catalogue, and the server paths that were
// refused because they would leave the game's folder.
struct QueuedFiles
{
    QList<DownloadFile> files;
    QStringList unsafePaths;
};
