#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPair>
#include <QString>

class QTcpServer;
class QTcpSocket;

// One request as the server parsed it. `path` is the raw request target, so a
// doubled slash or a query string stays visible.
struct TestHttpRequest
{
    QByteArray method;
    QByteArray path;
    quint16 localPort = 0; // the port the client connected to
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    // First header of that name (compared case-insensitively), or an empty array.
    QByteArray header(const QByteArray &name) const;
};
Q_DECLARE_METATYPE(TestHttpRequest)

// What to answer for a path. Content-Length is always the full body size.
struct TestHttpResponse
{
    int status = 200;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // extra headers, sent as given
    int chunkSize = 0;                            // >0: send the body in pieces of this size ...
    int pauseMs = 0;                              // ... with this pause between pieces
    qint64 dropAfter = -1;          // >=0: send this many body bytes, then close the connection
    QByteArray redirectTo;          // non-empty: 302 with this Location
    bool stallAfterHeaders = false; // send the headers, then nothing; the connection stays open
};
Q_DECLARE_METATYPE(TestHttpResponse)

// In-process HTTP/1.1 server on 127.0.0.1 for fault injection in tests.
// Event-driven on the thread that owns it; keeps connections alive and answers
// several requests per connection in order. Unknown paths get a 404.
class TestHttpServer : public QObject
{
    Q_OBJECT
public:
    explicit TestHttpServer(QObject *parent = nullptr);
    ~TestHttpServer() override;

    // Listens on a free port of 127.0.0.1.
    bool listen();
    // Stops listening and drops every open connection.
    void close();
    quint16 port() const;
    QString baseUrl() const; // "http://127.0.0.1:<port>"

    void setResponse(const QByteArray &path, const TestHttpResponse &response);
    void setFile(const QByteArray &path, const QByteArray &body); // 200 with this body
    void clear(); // forgets every response and every recorded request

    QList<TestHttpRequest> requests() const { return m_requests; }
    QByteArrayList requestedPaths() const;
    int connectionCount() const { return m_connectionCount; } // accepted since listen()

signals:
    void requestReceived(const TestHttpRequest &request);

private:
    struct Connection
    {
        QByteArray buffer;
        bool busy = false;       // a response is still being sent
        bool closeAfter = false; // close once the current response is out
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void processBuffer(QTcpSocket *socket);
    void respond(QTcpSocket *socket, const TestHttpRequest &request);
    void sendPiece(QTcpSocket *socket, QByteArray rest, int chunkSize, int pauseMs);
    void finishResponse(QTcpSocket *socket);

    QTcpServer *m_server;
    QHash<QByteArray, TestHttpResponse> m_responses;
    QList<TestHttpRequest> m_requests;
    QHash<QTcpSocket *, Connection> m_connections;
    int m_connectionCount = 0;
};
