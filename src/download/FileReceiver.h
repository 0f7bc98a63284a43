#pragma once

#include <QCryptographicHash>
#include <QSaveFile>
#include <QString>
#include <QtGlobal>

class QByteArray;

// Receives one downloaded file: the body goes to a temporary file beside the
// target as it arrives and through an MD5 digest, and replaces the target only
// when the transfer succeeded and the digest matched. Destroying a receiver
// that has not finished leaves the target as it was and no temporary file.
class FileReceiver
{
public:
    enum class Verdict {
        Saved,            // the target now holds what arrived
        TransferFailed,   // nothing written; the target is as it was
        ChecksumMismatch, // the body differed from the expected digest; target kept
        SaveFailed,       // the target could not be written; target kept
    };

    explicit FileReceiver(const QString &localPath);

    // Appends a piece of the body. The folders and the temporary file are made
    // with the first piece; after a write failure further pieces are only counted.
    void write(const QByteArray &chunk);
    // Bytes handed to write() so far.
    quint64 received() const { return receivedBytes; }
    // Lower-case hexadecimal MD5 of the bytes received so far.
    QString digest() const;

    // Ends the file. `expectedCrc` empty means no digest to compare; otherwise it
    // is compared without regard to case. Only the first call has an effect.
    Verdict finish(bool transferSucceeded, const QString &expectedCrc);
    // Drops what was received; the target stays as it was.
    void discard();

private:
    bool ensureOpen();

    QString localPath;
    QSaveFile file;
    QCryptographicHash hash;
    quint64 receivedBytes = 0;
    bool opened = false;
    bool failed = false;
    bool done = false;
};
