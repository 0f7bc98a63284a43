#include "TestHttpServer.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

QByteArray ReasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

// A request is complete once the head and the announced body have arrived.
// Returns the number of bytes it took, or 0 when more bytes are needed.
qsizetype ParseRequest(const QByteArray &buffer, TestHttpRequest &request)
{
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return 0;
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.path = requestLine.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    const qsizetype bodyLength = request.header("Content-Length").toLongLong();
    const qsizetype total = headEnd + 4 + bodyLength;
    if (buffer.size() < total)
        return 0;
    request.body = buffer.mid(headEnd + 4, bodyLength);
    return total;
}

} // namespace

QByteArray TestHttpRequest::header(const QByteArray &name) const
{
    for (const auto &header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second;
    }
    return {};
}

TestHttpServer::TestHttpServer(QObject *parent) : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &TestHttpServer::onNewConnection);
}

TestHttpServer::~TestHttpServer()
{
    close();
}

bool TestHttpServer::listen()
{
    m_connectionCount = 0;
    return m_server->listen(QHostAddress::LocalHost, 0);
}

void TestHttpServer::close()
{
    m_server->close();
    const QList<QTcpSocket *> sockets = m_connections.keys();
    m_connections.clear();
    for (QTcpSocket *socket : sockets) {
        socket->disconnect(this);
        socket->abort();
        delete socket;
    }
}

quint16 TestHttpServer::port() const
{
    return m_server->serverPort();
}

QString TestHttpServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

void TestHttpServer::setResponse(const QByteArray &path, const TestHttpResponse &response)
{
    m_responses.insert(path, response);
}

void TestHttpServer::setFile(const QByteArray &path, const QByteArray &body)
{
    TestHttpResponse response;
    response.body = body;
    setResponse(path, response);
}

void TestHttpServer::clear()
{
    m_responses.clear();
    m_requests.clear();
}

QByteArrayList TestHttpServer::requestedPaths() const
{
    QByteArrayList paths;
    for (const TestHttpRequest &request : m_requests)
        paths.append(request.path);
    return paths;
}

void TestHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        m_connections.insert(socket, Connection());
        ++m_connectionCount;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_connections.remove(socket);
            socket->deleteLater();
        });
    }
}

void TestHttpServer::onReadyRead(QTcpSocket *socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    it->buffer.append(socket->readAll());
    processBuffer(socket);
}

void TestHttpServer::processBuffer(QTcpSocket *socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end() || it->busy)
        return;
    TestHttpRequest request;
    const qsizetype used = ParseRequest(it->buffer, request);
    if (used == 0)
        return;
    it->buffer.remove(0, used);
    it->busy = true;
    request.localPort = socket->localPort();
    m_requests.append(request);
    emit requestReceived(request);
    // A slot of requestReceived may have closed the server.
    if (m_connections.contains(socket))
        respond(socket, request);
}

void TestHttpServer::respond(QTcpSocket *socket, const TestHttpRequest &request)
{
    TestHttpResponse response;
    const auto found = m_responses.constFind(request.path);
    if (found != m_responses.constEnd()) {
        response = *found;
    } else {
        response.status = 404;
        response.body = "Not found: " + request.path + '\n';
    }
    if (!response.redirectTo.isEmpty()) {
        response.status = 302;
        response.headers.append({"Location", response.redirectTo});
    }

    const bool closeAfter = response.dropAfter >= 0 ||
                            request.header("Connection").compare("close", Qt::CaseInsensitive) == 0;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                      ReasonPhrase(response.status) + "\r\n";
    head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    head += closeAfter ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    for (const auto &header : std::as_const(response.headers))
        head += header.first + ": " + header.second + "\r\n";
    head += "\r\n";
    socket->write(head);

    if (response.stallAfterHeaders)
        return; // stays busy: later requests on this connection are never answered

    QByteArray body = request.method == "HEAD" ? QByteArray() : response.body;
    if (response.dropAfter >= 0)
        body.truncate(response.dropAfter);
    const int chunkSize = response.chunkSize > 0 ? response.chunkSize : int(body.size());

    m_connections[socket].closeAfter = closeAfter;
    sendPiece(socket, body, chunkSize, response.pauseMs);
}

void TestHttpServer::sendPiece(QTcpSocket *socket, QByteArray rest, int chunkSize, int pauseMs)
{
    if (!m_connections.contains(socket) || socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (!rest.isEmpty()) {
        const qsizetype size = chunkSize > 0 ? chunkSize : rest.size();
        socket->write(rest.left(size));
        rest.remove(0, size);
    }
    if (rest.isEmpty()) {
        finishResponse(socket);
        return;
    }
    socket->flush();
    QTimer::singleShot(pauseMs, socket, [this, socket, rest, chunkSize, pauseMs] {
        sendPiece(socket, rest, chunkSize, pauseMs);
    });
}

void TestHttpServer::finishResponse(QTcpSocket *socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    if (it->closeAfter) {
        socket->disconnectFromHost(); // writes what is pending, then closes
        return;
    }
    it->busy = false;
    // Requests pipelined behind this one are answered next, from the event loop.
    QTimer::singleShot(0, socket, [this, socket] { processBuffer(socket); });
}
