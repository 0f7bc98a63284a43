#include "TestHttpServer.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

namespace {

struct Fetched
{
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray body;
    int readyReads = 0;
};

Fetched Fetch(QNetworkAccessManager &manager, const QString &url, int transferTimeoutMs = 0)
{
    QNetworkRequest request{QUrl(url)};
    request.setRawHeader("User-Agent", "Probe");
    if (transferTimeoutMs > 0)
        request.setTransferTimeout(transferTimeoutMs);
    QNetworkReply *reply = manager.get(request);
    Fetched fetched;
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&fetched, reply] {
        ++fetched.readyReads;
        fetched.body += reply->readAll();
    });
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!finished.wait(10000))
        qWarning("reply did not finish");
    if (reply->isOpen())
        fetched.body += reply->readAll();
    fetched.error = reply->error();
    fetched.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    delete reply;
    return fetched;
}

QByteArray Pattern(int size)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(char(i * 7 + i / 256));
    return bytes;
}

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void serverAnswers_data();
    void serverAnswers();
    void serverRecordsRequestsOnOneConnection();
    void serverStallsAfterHeaders();
};

void TestCatalogue::serverAnswers_data()
{
    QTest::addColumn<TestHttpResponse>("response");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("error");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("minReadyReads");

    const QByteArray big = Pattern(3000);
    TestHttpResponse plain;
    plain.body = "hello";
    QTest::newRow("file") << plain << QByteArray("/a") << 200 << int(QNetworkReply::NoError)
                          << QByteArray("hello") << 1;

    QTest::newRow("unknown path") << plain << QByteArray("/other") << 404
                                  << int(QNetworkReply::ContentNotFoundError)
                                  << QByteArray("Not found: /other\n") << 1;

    TestHttpResponse failure;
    failure.status = 500;
    failure.body = "broken";
    QTest::newRow("status 500") << failure << QByteArray("/a") << 500
                                << int(QNetworkReply::InternalServerError) << QByteArray("broken")
                                << 1;

    TestHttpResponse pieces;
    pieces.body = big;
    pieces.chunkSize = 1000;
    pieces.pauseMs = 30;
    QTest::newRow("pieces") << pieces << QByteArray("/a") << 200 << int(QNetworkReply::NoError)
                            << big << 3;

    TestHttpResponse dropped;
    dropped.body = big;
    dropped.dropAfter = 100;
    QTest::newRow("dropped") << dropped << QByteArray("/a") << 200
                             << int(QNetworkReply::RemoteHostClosedError) << big.left(100) << 1;

    TestHttpResponse redirect;
    redirect.redirectTo = "/target";
    QTest::newRow("redirect") << redirect << QByteArray("/a") << 200 << int(QNetworkReply::NoError)
                              << QByteArray("target body") << 1;
}

void TestCatalogue::serverAnswers()
{
    QFETCH(TestHttpResponse, response);
    QFETCH(QByteArray, path);
    QFETCH(int, status);
    QFETCH(int, error);
    QFETCH(QByteArray, body);
    QFETCH(int, minReadyReads);

    TestHttpServer server;
    QVERIFY(server.listen());
    server.setResponse("/a", response);
    server.setFile("/target", "target body");
    QNetworkAccessManager manager;
    const Fetched fetched = Fetch(manager, server.baseUrl() + QString::fromLatin1(path));

    QCOMPARE(int(fetched.error), error);
    QCOMPARE(fetched.status, status);
    QCOMPARE(fetched.body, body);
    QVERIFY2(fetched.readyReads >= minReadyReads, QByteArray::number(fetched.readyReads));
    QCOMPARE(server.requestedPaths().first(), path);
}

void TestCatalogue::serverRecordsRequestsOnOneConnection()
{
    TestHttpServer server;
    QVERIFY(server.listen());
    server.setFile("/x//library.db", "one");
    server.setFile("/y", "two");
    QSignalSpy received(&server, &TestHttpServer::requestReceived);
    QNetworkAccessManager manager;

    QCOMPARE(Fetch(manager, server.baseUrl() + QStringLiteral("/x//library.db")).body,
             QByteArray("one"));
    QCOMPARE(Fetch(manager, server.baseUrl() + QStringLiteral("/y")).body, QByteArray("two"));

    QCOMPARE(server.requestedPaths(), QByteArrayList({"/x//library.db", "/y"}));
    QCOMPARE(received.count(), 2);
    QCOMPARE(received.at(1).at(0).value<TestHttpRequest>().path, QByteArray("/y"));
    const TestHttpRequest first = server.requests().first();
    QCOMPARE(first.method, QByteArray("GET"));
    QCOMPARE(first.localPort, server.port());
    QCOMPARE(first.header("user-agent"), QByteArray("Probe"));
    QCOMPARE(first.header("USER-AGENT"), QByteArray("Probe"));
    QVERIFY(first.header("X-Missing").isEmpty());
    QCOMPARE(server.connectionCount(), 1); // keep-alive reused the connection

    server.clear();
    QVERIFY(server.requests().isEmpty());
    QCOMPARE(Fetch(manager, server.baseUrl() + QStringLiteral("/y")).status, 404);
}

void TestCatalogue::serverStallsAfterHeaders()
{
    TestHttpServer server;
    QVERIFY(server.listen());
    TestHttpResponse stall;
    stall.body = "never sent";
    stall.stallAfterHeaders = true;
    server.setResponse("/stall", stall);
    QNetworkAccessManager manager;

    const Fetched fetched = Fetch(manager, server.baseUrl() + QStringLiteral("/stall"), 300);
    QCOMPARE(fetched.status, 200);   // the head arrived ...
    QVERIFY(fetched.body.isEmpty()); // ... the body never did
    QCOMPARE(fetched.error, QNetworkReply::OperationCanceledError);
}

QTEST_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
