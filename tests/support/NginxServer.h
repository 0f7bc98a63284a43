#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Debian's nginx on 127.0.0.1 with a free port, serving one folder, with its
// own configuration, pid file and logs in a temporary folder. Stopped when
// destroyed.
class NginxServer
{
public:
    struct Request
    {
        int status = 0;
        QString uri;       // as sent, percent-encoded
        QString userAgent; // "-" when the request had none
    };

    static QString Program() { return QStringLiteral("/usr/sbin/nginx"); }
    static bool IsInstalled();

    explicit NginxServer(const QString &rootFolder);
    ~NginxServer();
    NginxServer(const NginxServer &) = delete;
    NginxServer &operator=(const NginxServer &) = delete;

    // Starts nginx and waits until it accepts connections; on failure
    // `error` says why (nginx's own message when it gave one).
    bool Start(QString *error);
    void Stop();
    quint16 Port() const { return port; }

    // Every request served so far, in the order nginx logged them.
    QList<Request> AccessLog() const;
    // Only the URIs of AccessLog(), for comparisons.
    QStringList RequestedUris() const;

private:
    bool StartOnce(quint16 candidate, QString *error, bool *portTaken);
    bool WriteConfig(quint16 candidate) const;
    QString FilePath(const QString &name) const { return dir.filePath(name); }

    QString root;
    QTemporaryDir dir;
    QProcess process;
    quint16 port = 0;
};
