#include "download/FileReceiver.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>

FileReceiver::FileReceiver(const QString &localPath)
    : localPath(localPath), file(localPath), hash(QCryptographicHash::Md5)
{
}

bool FileReceiver::ensureOpen()
{
    if (failed)
        return false;
    if (opened)
        return true;
    const QFileInfo target(localPath);
    if (target.isDir() || !QDir().mkpath(target.absolutePath()) ||
        !file.open(QIODevice::WriteOnly)) {
        failed = true;
        return false;
    }
    opened = true;
    return true;
}

void FileReceiver::write(const QByteArray &chunk)
{
    if (done)
        return;
    receivedBytes += quint64(chunk.size());
    hash.addData(chunk);
    if (chunk.isEmpty() || !ensureOpen())
        return;
    if (file.write(chunk) != chunk.size()) {
        file.cancelWriting();
        failed = true;
    }
}

QString FileReceiver::digest() const
{
    return QString::fromLatin1(hash.result().toHex());
}

FileReceiver::Verdict FileReceiver::finish(bool transferSucceeded, const QString &expectedCrc)
{
    if (done)
        return Verdict::TransferFailed;
    done = true;
    if (!transferSucceeded) {
        discard();
        return Verdict::TransferFailed;
    }
    // An empty body still replaces the target, so open it now.
    if (!ensureOpen()) {
        discard();
        return Verdict::SaveFailed;
    }
    if (!expectedCrc.isEmpty() && digest().compare(expectedCrc, Qt::CaseInsensitive) != 0) {
        discard();
        return Verdict::ChecksumMismatch;
    }
    if (!file.commit())
        return Verdict::SaveFailed;
    return Verdict::Saved;
}

void FileReceiver::discard()
{
    done = true;
    if (file.isOpen()) {
        file.cancelWriting();
        // Closing a cancelled QSaveFile removes its temporary file.
        file.commit();
    }
}
