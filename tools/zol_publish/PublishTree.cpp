#include "PublishTree.h"

#include "download/FileHash.h"
#include "download/PathRules.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>

namespace {

// Control characters shown as \xNN, so the message names the file legibly.
QString Visible(const QString &path)
{
    QString text;
    for (const QChar c : path) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            text += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            text += c;
    }
    return text;
}

} // namespace

bool ScanTree(const QString &root, const QStringList &skip, QList<PublishedFile> *files,
              QString *error)
{
    files->clear();
    const QDir base(root);
    // Symbolic links to files are published with their target's contents; links
    // to folders are not followed, so a link cycle cannot make the scan endless.
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString absolutePath = it.next();
        const QString path = base.relativeFilePath(absolutePath);
        if (skip.contains(path))
            continue;
        if (!IsSafeRelativePath(path)) {
            *error = QStringLiteral("unsafe file name \"%1\" in %2: the portal would skip it "
                                    "(rename it without \"\\\", \":\" or control characters)")
                         .arg(Visible(path), QDir::toNativeSeparators(root));
            return false;
        }
        files->append({path, absolutePath, QString(), 0});
    }
    std::sort(files->begin(), files->end(),
              [](const PublishedFile &a, const PublishedFile &b) { return a.path < b.path; });
    return true;
}

bool HashFiles(QList<PublishedFile> *files, const HashProgress &progress, QString *error)
{
    const qsizetype total = files->size();
    for (qsizetype i = 0; i < total; ++i) {
        PublishedFile &file = (*files)[i];
        file.crc = fileHash(file.absolutePath);
        if (file.crc.isEmpty()) {
            *error =
                QStringLiteral("cannot read %1").arg(QDir::toNativeSeparators(file.absolutePath));
            return false;
        }
        file.size = quint64(QFileInfo(file.absolutePath).size());
        if (progress)
            progress(i + 1, total);
    }
    return true;
}
