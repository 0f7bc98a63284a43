#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>

// One file of a published folder.
struct PublishedFile
{
    QString path;         // relative to the folder, "/" separators
    QString absolutePath; // where it is read from
    QString crc;          // lower-case hexadecimal MD5, once hashed
    quint64 size = 0;
};

// Every file below `root` (sub-folders and hidden files included), sorted by
// path. Top-level names in `skip` are left out. Fails, naming the file, on the
// first path the portal would refuse as unsafe.
bool ScanTree(const QString &root, const QStringList &skip, QList<PublishedFile> *files,
              QString *error);

// Called after each hashed file with the count done and the total.
using HashProgress = std::function<void(qsizetype done, qsizetype total)>;

// Fills `crc` and `size` of every file; fails, naming the file, on one that cannot be read.
bool HashFiles(QList<PublishedFile> *files, const HashProgress &progress, QString *error);
