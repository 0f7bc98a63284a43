#include "NginxServer.h"

#include "Fixtures.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>

#include <unistd.h>

namespace {

quint16 FreePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

QByteArray Quoted(const QString &path)
{
    return '"' + QDir::cleanPath(path).toUtf8() + '"';
}

} // namespace

bool NginxServer::IsInstalled()
{
    return QFileInfo(Program()).isExecutable();
}

NginxServer::NginxServer(const QString &rootFolder) : root(QFileInfo(rootFolder).absoluteFilePath())
{
}

NginxServer::~NginxServer()
{
    Stop();
}

bool NginxServer::Start(QString *error)
{
    if (!dir.isValid()) {
        *error = QStringLiteral("cannot create a temporary folder for nginx");
        return false;
    }
    // Another process may take the port between the probe and nginx's bind.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const quint16 candidate = FreePort();
        if (candidate == 0) {
            *error = QStringLiteral("no free port on 127.0.0.1");
            return false;
        }
        bool portTaken = false;
        if (StartOnce(candidate, error, &portTaken)) {
            port = candidate;
            return true;
        }
        if (!portTaken)
            return false;
    }
    return false;
}

bool NginxServer::StartOnce(quint16 candidate, QString *error, bool *portTaken)
{
    if (!WriteConfig(candidate)) {
        *error = QStringLiteral("cannot write the nginx configuration in ") + dir.path();
        return false;
    }
    QFile::remove(FilePath(QStringLiteral("error.log")));
    QFile::remove(FilePath(QStringLiteral("nginx.pid")));
    process.setProgram(Program());
    process.setArguments({QStringLiteral("-p"), dir.path() + u'/', QStringLiteral("-c"),
                          FilePath(QStringLiteral("nginx.conf")), QStringLiteral("-e"),
                          FilePath(QStringLiteral("error.log"))});
    process.start();
    if (!process.waitForStarted(5000)) {
        *error = QStringLiteral("cannot run ") + Program() + QStringLiteral(": ") +
                 process.errorString();
        return false;
    }

    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (process.state() == QProcess::NotRunning) {
            QFile log(FilePath(QStringLiteral("error.log")));
            QByteArray message = process.readAllStandardError();
            if (log.open(QIODevice::ReadOnly))
                message += log.readAll();
            *portTaken = message.contains("Address already in use");
            *error = QStringLiteral("nginx stopped at start: ") +
                     QString::fromLocal8Bit(message.trimmed());
            return false;
        }
        // nginx writes its pid file once the listening socket is bound; a
        // connection test could be answered by whoever else holds the port.
        if (ReadFile(FilePath(QStringLiteral("nginx.pid"))).trimmed().toLongLong() ==
            process.processId())
            return true;
        // Returns at once when nginx ends, else gives it a moment to start.
        process.waitForFinished(50);
    }
    *error = QStringLiteral("nginx did not start listening on port %1").arg(candidate);
    Stop();
    return false;
}

bool NginxServer::WriteConfig(quint16 candidate) const
{
    if (!QDir().mkpath(FilePath(QStringLiteral("temp"))))
        return false;
    const QString temp = FilePath(QStringLiteral("temp/"));
    QByteArray config;
    config += "daemon off;\n"
              "master_process off;\n"
              "worker_processes 1;\n";
    // Started as root, nginx's worker processes run as "nobody" unless told
    // otherwise, and "nobody" cannot read a root-owned temporary folder.
    if (geteuid() == 0)
        config += "user root;\n";
    config += "pid " + Quoted(FilePath(QStringLiteral("nginx.pid"))) + ";\n";
    config += "error_log " + Quoted(FilePath(QStringLiteral("error.log"))) + ";\n";
    config += "events { worker_connections 64; }\n"
              "http {\n"
              "    log_format portal '$status\\t$request_uri\\t$http_user_agent';\n";
    config += "    access_log " + Quoted(FilePath(QStringLiteral("access.log"))) + " portal;\n";
    for (const char *kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        config += QByteArray("    ") + kind + "_temp_path " +
                  Quoted(temp + QString::fromLatin1(kind)) + ";\n";
    config += "    default_type application/octet-stream;\n"
              "    server {\n";
    config += "        listen 127.0.0.1:" + QByteArray::number(candidate) + ";\n";
    config += "        root " + Quoted(root) + ";\n";
    config += "        location / { }\n"
              "    }\n"
              "}\n";

    QFile file(FilePath(QStringLiteral("nginx.conf")));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(config) == config.size();
}

void NginxServer::Stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

QList<NginxServer::Request> NginxServer::AccessLog() const
{
    QList<Request> requests;
    QFile file(FilePath(QStringLiteral("access.log")));
    if (!file.open(QIODevice::ReadOnly))
        return requests;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 3)
            continue;
        Request request;
        request.status = fields.at(0).toInt();
        request.uri = QString::fromUtf8(fields.at(1));
        request.userAgent = QString::fromUtf8(fields.at(2));
        requests.append(request);
    }
    return requests;
}

QStringList NginxServer::RequestedUris() const
{
    QStringList uris;
    for (const Request &request : AccessLog())
        uris.append(request.uri);
    return uris;
}
