#include "library/MainWindow.h"

#include "Fixtures.h"
#include "StdoutCapture.h"
#include "TestHttpServer.h"
#include "app/PortalSettings.h"
#include "app/ProgramLog.h"
#include "entry/GameEntry.h"

#include <QApplication>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

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

QStringList Uuids(MainWindow &window, const char *section)
{
    auto *layout = window.findChild<QVBoxLayout *>(QLatin1String(section));
    QStringList uuids;
    for (int i = 0; i < layout->count(); ++i) {
        if (auto *entry = qobject_cast<GameEntry *>(layout->itemAt(i)->widget()))
            uuids.append(entry->Info().uuid);
    }
    return uuids;
}

QList<QByteArray> LogLinesWith(const QString &logPath, const QByteArray &text)
{
    QList<QByteArray> found;
    for (const QByteArray &line : ReadFile(logPath).split('\n')) {
        if (line.contains(text))
            found.append(line);
    }
    return found;
}

quint16 RefusedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// Answers every message box that opens while it lives, records it, presses OK.
// The box of a finished download opens at a moment the test does not control.
class BoxAnswerer : public QObject
{
public:
    BoxAnswerer()
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            titles.append(box->windowTitle());
            texts.append(box->text());
            buttons.append(box->standardButtons());
            icons.append(box->icon());
            box->button(QMessageBox::Ok)->click();
        });
        timer.start(10);
    }
    QStringList titles;
    QStringList texts;
    QList<QMessageBox::StandardButtons> buttons;
    QList<QMessageBox::Icon> icons;

private:
    QTimer timer;
};

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void requestTarget_data();
    void requestTarget();
    void consoleLine();
    void bodyStoredByteForByte_data();
    void bodyStoredByteForByte();
    void failureKeepsEarlierCatalogue_data();
    void failureKeepsEarlierCatalogue();
    void emptyBodyEmptiesTheList();
    void catalogueCannotBeSaved();
    void serverAnswers_data();
    void serverAnswers();
    void serverRecordsRequestsOnOneConnection();
    void serverStallsAfterHeaders();

private:
    // Sends the catalogue request and waits until the list has been filled.
    bool Download(MainWindow &window);
    QByteArray Catalogue(const QList<CatalogueGame> &games);

    QString startDir;
    QTemporaryDir *temp = nullptr;
    QTemporaryDir logDir;
    QString logPath;
    PortalSettings settings;
    TestHttpServer *server = nullptr;
};

void TestCatalogue::initTestCase()
{
    QVERIFY(logDir.isValid());
    logPath = logDir.filePath(u"portal.log"_qs);
    QCOMPARE(OpenProgramLog(logPath.toStdString()), 0);
}

void TestCatalogue::init()
{
    startDir = QDir::currentPath();
    temp = new QTemporaryDir;
    QVERIFY(temp->isValid());
    QVERIFY(QDir::setCurrent(temp->path()));
    QVERIFY(QFile::resize(logPath, 0));
    server = new TestHttpServer;
    QVERIFY(server->listen());
    settings.webUrl = "http://127.0.0.1";
    settings.webPort = server->port();
}

void TestCatalogue::cleanup()
{
    delete server;
    server = nullptr;
    QDir::setCurrent(startDir);
    delete temp;
    temp = nullptr;
}

bool TestCatalogue::Download(MainWindow &window)
{
    window.Initialize(0, nullptr);
    // The list is filled in the same step that opens the catalogue connection.
    return QTest::qWaitFor([] { return QSqlDatabase::contains(u"GAME_LIBRARY"_qs); }, 15000);
}

QByteArray TestCatalogue::Catalogue(const QList<CatalogueGame> &games)
{
    static int count = 0;
    const QString path = logDir.filePath(u"served-%1.db"_qs.arg(++count));
    if (!WriteCatalogue(path, games))
        return {};
    return ReadFile(path);
}

void TestCatalogue::requestTarget_data()
{
    QTest::addColumn<QByteArray>("webUrl");
    QTest::addColumn<QByteArray>("path");

    QTest::newRow("scheme and host") << QByteArray("http://127.0.0.1") << QByteArray("/library.db");
    QTest::newRow("base path, port 8080 replaced")
        << QByteArray("http://127.0.0.1:8080/zol/portal") << QByteArray("/zol/portal/library.db");
    QTest::newRow("trailing slash kept")
        << QByteArray("http://127.0.0.1:8080/zol/") << QByteArray("/zol//library.db");
}

void TestCatalogue::requestTarget()
{
    QFETCH(QByteArray, webUrl);
    QFETCH(QByteArray, path);

    CatalogueGame game;
    game.uuid = u"g1"_qs;
    game.nickname = u"n"_qs;
    server->setFile(path, Catalogue({game}));
    settings.webUrl = webUrl.toStdString();
    MainWindow window(&settings);
    QVERIFY(Download(window));

    QCOMPARE(server->requestedPaths(), QByteArrayList{path});
    const TestHttpRequest request = server->requests().first();
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.localPort, server->port());
    QCOMPARE(request.header("User-Agent"), QByteArray("ZOL Portal"));
    QCOMPARE(Uuids(window, "verticalLayout_Available"), QStringList{u"g1"_qs});
    QVERIFY(LogLinesWith(logPath, "Network Error").isEmpty());
}

void TestCatalogue::consoleLine()
{
    server->setFile("/library.db", Catalogue({}));
    MainWindow window(&settings);
    StdoutCapture capture;
    window.Initialize(0, nullptr);
    const QByteArray printed = capture.finish();
    QCOMPARE(printed, QByteArray("Using Qt version") + qVersion() + '\n');
}

void TestCatalogue::bodyStoredByteForByte_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("chunkSize");
    QTest::addColumn<bool>("redirected");
    QTest::addColumn<QStringList>("uuids");

    QList<CatalogueGame> games;
    for (const char *uuid : {"c", "a", "b"}) {
        CatalogueGame game;
        game.uuid = QString::fromLatin1(uuid);
        game.nickname = u"nick"_qs;
        game.icon = QByteArray(3000, 'i'); // a few pages of blob
        games.append(game);
    }
    const QByteArray catalogue = Catalogue(games);
    const QStringList sorted = {u"a"_qs, u"b"_qs, u"c"_qs};
    QTest::newRow("one piece") << catalogue << 0 << false << sorted;
    QTest::newRow("pieces of 4096") << catalogue << 4096 << false << sorted;
    QTest::newRow("pieces of 1000") << catalogue << 1000 << false << sorted;
    QTest::newRow("after a redirect") << catalogue << 0 << true << sorted;
    QTest::newRow("no catalogue, in pieces") << Pattern(5000) << 1000 << false << QStringList();
}

void TestCatalogue::bodyStoredByteForByte()
{
    QFETCH(QByteArray, body);
    QFETCH(int, chunkSize);
    QFETCH(bool, redirected);
    QFETCH(QStringList, uuids);

    QVERIFY(!body.isEmpty());
    TestHttpResponse response;
    response.body = body;
    response.chunkSize = chunkSize;
    response.pauseMs = 20;
    if (redirected) {
        server->setResponse("/moved/library.db", response);
        TestHttpResponse redirect;
        redirect.redirectTo = "/moved/library.db";
        server->setResponse("/library.db", redirect);
    } else {
        server->setResponse("/library.db", response);
    }
    MainWindow window(&settings);
    QVERIFY(Download(window));

    QCOMPARE(ReadFile(u"library.db"_qs), body);
    QCOMPARE(Uuids(window, "verticalLayout_Available"), uuids);
    QVERIFY(LogLinesWith(logPath, "Network Error").isEmpty());
}

void TestCatalogue::failureKeepsEarlierCatalogue_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<bool>("earlier"); // a catalogue stored by an earlier run
    QTest::addColumn<int>("code");     // QNetworkReply::NetworkError in the log

    QTest::newRow("404") << u"404"_qs << true << 203;
    QTest::newRow("404, nothing stored before") << u"404"_qs << false << 203;
    QTest::newRow("500 with an error page") << u"500"_qs << true << 401;
    QTest::newRow("connection dropped mid-body") << u"drop"_qs << true << 2;
    QTest::newRow("connection refused") << u"refused"_qs << true << 1;
}

void TestCatalogue::failureKeepsEarlierCatalogue()
{
    QFETCH(QString, failure);
    QFETCH(bool, earlier);
    QFETCH(int, code);

    CatalogueGame old;
    old.uuid = u"old"_qs;
    old.nickname = u"n"_qs;
    const QByteArray earlierBytes = Catalogue({old});
    if (earlier)
        QVERIFY(WriteFile(u"library.db"_qs, earlierBytes));

    CatalogueGame fresh;
    fresh.uuid = u"new"_qs;
    fresh.nickname = u"n"_qs;
    TestHttpResponse response;
    if (failure == u"404") {
        // Nothing set: the server answers 404 with a short page.
    } else if (failure == u"500") {
        response.status = 500;
        response.body = "<html>Internal error</html>";
        server->setResponse("/library.db", response);
    } else if (failure == u"drop") {
        response.body = Catalogue({fresh});
        response.dropAfter = response.body.size() / 2;
        server->setResponse("/library.db", response);
    } else if (failure == u"refused") {
        settings.webPort = RefusedPort();
        QVERIFY(settings.webPort != 0);
    }

    MainWindow window(&settings);
    QVERIFY(Download(window));

    const QList<QByteArray> lines = LogLinesWith(logPath, "Network Error");
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().endsWith("] Network Error: " + QByteArray::number(code)), lines.first());
    if (earlier) {
        QCOMPARE(ReadFile(u"library.db"_qs), earlierBytes);
        QCOMPARE(Uuids(window, "verticalLayout_Available"), QStringList{u"old"_qs});
    } else {
        QCOMPARE(ReadFile(u"library.db"_qs), QByteArray());
        QVERIFY(Uuids(window, "verticalLayout_Available").isEmpty());
    }
    QVERIFY(Uuids(window, "verticalLayout_Installed").isEmpty());
}

void TestCatalogue::emptyBodyEmptiesTheList()
{
    CatalogueGame old;
    old.uuid = u"old"_qs;
    old.nickname = u"n"_qs;
    QVERIFY(WriteFile(u"library.db"_qs, Catalogue({old})));
    server->setFile("/library.db", QByteArray());
    BoxAnswerer boxes;
    MainWindow window(&settings);
    QVERIFY(Download(window));

    QVERIFY(QFileInfo::exists(u"library.db"_qs));
    QCOMPARE(QFileInfo(u"library.db"_qs).size(), 0);
    QCOMPARE(window.findChild<QVBoxLayout *>(u"verticalLayout_Available"_qs)->count(), 0);
    QCOMPARE(window.findChild<QVBoxLayout *>(u"verticalLayout_Installed"_qs)->count(), 0);
    QVERIFY(LogLinesWith(logPath, "Network Error").isEmpty());
    QVERIFY(boxes.titles.isEmpty()); // an empty file opens as an empty database
}

void TestCatalogue::catalogueCannotBeSaved()
{
    // A folder where the file must go: neither saving nor opening can work.
    QVERIFY(QDir().mkpath(u"library.db/inside"_qs));
    server->setFile("/library.db", Catalogue({}));
    BoxAnswerer boxes;
    MainWindow window(&settings);
    QVERIFY(Download(window));

    QCOMPARE(LogLinesWith(logPath, "Failed to save file").size(), 1);
    QVERIFY(LogLinesWith(logPath, "Failed to save file")
                .first()
                .endsWith("] Failed to save file library.db"));
    QTRY_COMPARE(boxes.titles, QStringList{u"Error"_qs});
    QCOMPARE(boxes.texts, QStringList{u"Failed to open database library.db"_qs});
    QCOMPARE(boxes.buttons.first(), QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(boxes.icons.first(), QMessageBox::Critical);
    QVERIFY(QFileInfo(u"library.db"_qs).isDir());
    QCOMPARE(window.findChild<QVBoxLayout *>(u"verticalLayout_Available"_qs)->count(), 0);
}

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
