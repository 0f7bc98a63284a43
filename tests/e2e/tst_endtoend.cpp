#include "Fixtures.h"
#include "NginxServer.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// Sorts after the other game's uuid, so the command line has to walk past an entry.
const QString gameUuid = QStringLiteral("7C0FFEE0-1234-4DAD-BEEF-00000000CAFE");
const QString nickname = QStringLiteral("demo");
const QString otherUuid = QStringLiteral("11111111-2222-3333-4444-555555555555");
const QByteArray localEdit = "changed on this machine\n";

// The client records where and how it was started, in its working directory.
const QByteArray clientScript = "#!/bin/sh\n"
                                "pwd -P > started.txt\n"
                                "echo \"$#\" >> started.txt\n";

// One file on the server and where an install puts it, relative to the game's
// uuid folder.
struct Published
{
    QString serverPath;
    QString installedPath;
    QByteArray bytes;
};

QByteArray Pattern(const QByteArray &seed, int size)
{
    QByteArray bytes;
    for (int i = 0; bytes.size() < size; ++i)
        bytes += seed + QByteArray::number(i) + '\n';
    bytes.truncate(size);
    return bytes;
}

} // namespace

class tst_EndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void installsFromNothingAndStarts();
    void rerunFetchesWhatDiffers_data();
    void rerunFetchesWhatDiffers();
    void startsNothing_data();
    void startsNothing();

private:
    bool WritePublisherTree();
    void InstallByCopy();
    bool StartPortal(const QStringList &arguments);
    QString Diagnostics();
    QList<Published> AllFiles() const { return clientFiles + gameFiles; }
    QString Installed(const QString &path) const { return work->filePath(gameUuid + u'/' + path); }

    std::unique_ptr<QTemporaryDir> www;
    std::unique_ptr<QTemporaryDir> work;
    std::unique_ptr<NginxServer> nginx;
    std::unique_ptr<QProcess> portal;
    QList<Published> clientFiles;
    QList<Published> gameFiles;
    QByteArray manifest;
};

void tst_EndToEnd::initTestCase()
{
    if (!NginxServer::IsInstalled())
        QSKIP("nginx is not installed at /usr/sbin/nginx; the end-to-end runs need it");
    QVERIFY2(QFileInfo(QStringLiteral(ZOL_PORTAL_PATH)).isExecutable(), ZOL_PORTAL_PATH);
}

void tst_EndToEnd::init()
{
    www = std::make_unique<QTemporaryDir>();
    work = std::make_unique<QTemporaryDir>();
    QVERIFY(www->isValid() && work->isValid());
    QVERIFY(WritePublisherTree());

    nginx = std::make_unique<NginxServer>(www->path());
    QString error;
    QVERIFY2(nginx->Start(&error), qPrintable(error));
    QVERIFY(
        WriteFile(work->filePath(QStringLiteral("zol_portal.ini")),
                  "[web]\nurl=http://127.0.0.1\nport=" + QByteArray::number(nginx->Port()) + "\n"));
}

void tst_EndToEnd::cleanup()
{
    if (portal && portal->state() != QProcess::NotRunning) {
        portal->kill();
        portal->waitForFinished(5000);
    }
    portal.reset();
    nginx.reset();
    work.reset();
    www.reset();
}

bool tst_EndToEnd::WritePublisherTree()
{
    clientFiles = {
        {QStringLiteral("client_windows_1_2/zol_client.exe"), QStringLiteral("zol_client.exe"),
         clientScript},
        {QStringLiteral("client_windows_1_2/bin/engine.dll"), QStringLiteral("bin/engine.dll"),
         Pattern("engine", 70000)},
    };
    const QString markerPath = www->filePath(nickname + QStringLiteral("/game.zol"));
    if (!WriteMarker(markerPath, {gameUuid}))
        return false;
    gameFiles = {
        {nickname + QStringLiteral("/game.zol"), nickname + QStringLiteral("/game.zol"),
         ReadFile(markerPath)},
        {nickname + QStringLiteral("/data/maps/a.map"),
         nickname + QStringLiteral("/data/maps/a.map"), Pattern("map", 300000)},
        {nickname + QStringLiteral("/scripts/main.lua"),
         nickname + QStringLiteral("/scripts/main.lua"), "print('hello')\n"},
        {nickname + QStringLiteral("/config/settings.ini"),
         nickname + QStringLiteral("/config/settings.ini"), "[video]\nwidth=640\n"},
    };
    for (const Published &file : AllFiles()) {
        if (!WriteFile(www->filePath(file.serverPath), file.bytes))
            return false;
    }

    QList<ClientRow> clients;
    for (const Published &file : std::as_const(clientFiles))
        clients.append({QStringLiteral("client_windows_1_2"), file.serverPath, Md5Hex(file.bytes),
                        qint64(file.bytes.size())});
    // The other game's build is on the server as well; asking for it is a fault.
    const QByteArray otherClient = "other engine";
    if (!WriteFile(www->filePath(QStringLiteral("client_windows_2_0/zol_client.exe")), otherClient))
        return false;
    clients.append({QStringLiteral("client_windows_2_0"),
                    QStringLiteral("client_windows_2_0/zol_client.exe"), Md5Hex(otherClient),
                    qint64(otherClient.size())});

    CatalogueGame game;
    game.uuid = gameUuid;
    game.nickname = nickname;
    game.title = QStringLiteral("Demo");
    game.major = 1;
    game.minor = 2;
    CatalogueGame other;
    other.uuid = otherUuid;
    other.nickname = QStringLiteral("other");
    other.title = QStringLiteral("Other");
    other.major = 2;
    other.minor = 0;
    if (!WriteCatalogue(www->filePath(QStringLiteral("library.db")), {game, other}, clients))
        return false;

    QList<ManifestRow> rows;
    for (const Published &file : std::as_const(gameFiles))
        rows.append({file.serverPath.mid(nickname.size() + 1), Md5Hex(file.bytes),
                     qint64(file.bytes.size()), 1});
    const QString manifestPath = www->filePath(nickname + QStringLiteral("/patch.db"));
    if (!WritePatchDb(manifestPath, rows, {{QStringLiteral("config/settings.ini"), 1}}))
        return false;
    manifest = ReadFile(manifestPath);
    return !manifest.isEmpty();
}

// What a finished install leaves on disk, without asking the server.
void tst_EndToEnd::InstallByCopy()
{
    for (const Published &file : AllFiles())
        QVERIFY(WriteFile(Installed(file.installedPath), file.bytes));
    QVERIFY(WriteFile(Installed(nickname + QStringLiteral("/patch.db")), manifest));
}

bool tst_EndToEnd::StartPortal(const QStringList &arguments)
{
    portal = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    portal->setProcessEnvironment(environment);
    portal->setWorkingDirectory(work->path());
    portal->setProcessChannelMode(QProcess::MergedChannels);
    portal->start(QStringLiteral(ZOL_PORTAL_PATH), arguments);
    return portal->waitForStarted(10000);
}

QString tst_EndToEnd::Diagnostics()
{
    return QStringLiteral("portal output:\n") + QString::fromLocal8Bit(portal->readAll()) +
           QStringLiteral("\nrequests: ") + nginx->RequestedUris().join(u' ');
}

void tst_EndToEnd::installsFromNothingAndStarts()
{
    const QStringList arguments = {QStringLiteral("-download"), QStringLiteral("-uuid"), gameUuid,
                                   QStringLiteral("-start")};
    QVERIFY(StartPortal(arguments));
    QVERIFY2(portal->waitForFinished(60000), qPrintable(Diagnostics()));
    QCOMPARE(portal->exitStatus(), QProcess::NormalExit);
    QVERIFY2(portal->exitCode() == 0, qPrintable(Diagnostics()));

    QStringList expected = {QStringLiteral("/library.db")};
    for (const Published &file : std::as_const(clientFiles))
        expected.append(u'/' + file.serverPath);
    expected.append(QStringLiteral("/demo/patch.db"));
    for (const Published &file : std::as_const(gameFiles))
        expected.append(u'/' + file.serverPath);
    QCOMPARE(nginx->RequestedUris(), expected);
    for (const NginxServer::Request &request : nginx->AccessLog()) {
        QCOMPARE(request.userAgent, QStringLiteral("ZOL Portal"));
        QCOMPARE(request.status, 200);
    }

    for (const Published &file : AllFiles())
        QVERIFY2(ReadFile(Installed(file.installedPath)) == file.bytes,
                 qPrintable(file.installedPath));
    QCOMPARE(ReadFile(Installed(nickname + QStringLiteral("/patch.db"))), manifest);

    // The marker that makes the game count as installed names this game.
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("marker"));
        db.setDatabaseName(Installed(nickname + QStringLiteral("/game.zol")));
        QVERIFY(db.open());
        QSqlQuery query(QStringLiteral("SELECT uuid FROM settings"), db);
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toString(), gameUuid);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("marker"));

    // The client runs detached and may still be writing after the portal ended.
    const QString started = Installed(QStringLiteral("started.txt"));
    const QStringList expectedStart = {QDir(work->filePath(gameUuid)).canonicalPath(),
                                       QStringLiteral("0")};
    QTRY_COMPARE_WITH_TIMEOUT(
        QString::fromLocal8Bit(ReadFile(started)).split(u'\n', Qt::SkipEmptyParts), expectedStart,
        10000);

    // Everything is in place now: the next run only reads the catalogue and the manifest.
    QVERIFY(QFile::remove(started));
    QVERIFY(StartPortal(arguments));
    QVERIFY2(portal->waitForFinished(60000), qPrintable(Diagnostics()));
    QCOMPARE(portal->exitCode(), 0);
    QCOMPARE(nginx->RequestedUris().mid(expected.size()),
             (QStringList{QStringLiteral("/library.db"), QStringLiteral("/demo/patch.db")}));
    QTRY_COMPARE_WITH_TIMEOUT(
        QString::fromLocal8Bit(ReadFile(started)).split(u'\n', Qt::SkipEmptyParts), expectedStart,
        10000);
}

void tst_EndToEnd::rerunFetchesWhatDiffers_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("changed"); // installed paths given other contents
    QTest::addColumn<QStringList>("extra");   // installed paths the manifest does not list
    QTest::addColumn<QStringList>("requested");
    QTest::addColumn<QStringList>("kept"); // changed paths that keep the local contents

    const QString engine = QStringLiteral("bin/engine.dll");
    const QString map = QStringLiteral("demo/data/maps/a.map");
    const QString script = QStringLiteral("demo/scripts/main.lua");
    const QString settings = QStringLiteral("demo/config/settings.ini");
    const QString extraScript = QStringLiteral("demo/scripts/mod.lua");
    const QString catalogue = QStringLiteral("/library.db");
    const QString patchDb = QStringLiteral("/demo/patch.db");
    auto options = [](const QString &mode, const QString &uuid) {
        return QStringList{mode, QStringLiteral("-uuid"), uuid, QStringLiteral("-start")};
    };

    QTest::newRow("download fetches changed files, editable ones too")
        << options(QStringLiteral("-download"), gameUuid) << QStringList{engine, map, settings}
        << QStringList()
        << QStringList{catalogue, QStringLiteral("/client_windows_1_2/bin/engine.dll"), patchDb,
                       u'/' + map, u'/' + settings}
        << QStringList();
    QTest::newRow("patch keeps a changed editable file and the client")
        << options(QStringLiteral("-patch"), gameUuid) << QStringList{engine, map, settings}
        << QStringList() << QStringList{catalogue, patchDb, u'/' + map}
        << QStringList{engine, settings};
    QTest::newRow("repair keeps files in scripts that the manifest does not list")
        << options(QStringLiteral("-repair"), gameUuid) << QStringList{script, settings}
        << QStringList{extraScript}
        << QStringList{catalogue, patchDb, u'/' + script, u'/' + settings} << QStringList();
    QTest::newRow("uuid in other letter case")
        << options(QStringLiteral("-download"), gameUuid.toLower()) << QStringList{map}
        << QStringList() << QStringList{catalogue, patchDb, u'/' + map} << QStringList();
    QTest::newRow("options in capitals")
        << QStringList{QStringLiteral("-PATCH"), QStringLiteral("-Uuid"), gameUuid,
                       QStringLiteral("-START")}
        << QStringList{script} << QStringList() << QStringList{catalogue, patchDb, u'/' + script}
        << QStringList();
}

void tst_EndToEnd::rerunFetchesWhatDiffers()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, changed);
    QFETCH(QStringList, extra);
    QFETCH(QStringList, requested);
    QFETCH(QStringList, kept);

    InstallByCopy();
    for (const QString &path : std::as_const(changed) + extra)
        QVERIFY(WriteFile(Installed(path), localEdit));

    QVERIFY(StartPortal(arguments));
    QVERIFY2(portal->waitForFinished(60000), qPrintable(Diagnostics()));
    QCOMPARE(portal->exitStatus(), QProcess::NormalExit);
    QCOMPARE(portal->exitCode(), 0);

    QCOMPARE(nginx->RequestedUris(), requested);
    for (const NginxServer::Request &request : nginx->AccessLog())
        QCOMPARE(request.userAgent, QStringLiteral("ZOL Portal"));
    for (const Published &file : AllFiles()) {
        const QByteArray expected = kept.contains(file.installedPath) ? localEdit : file.bytes;
        QVERIFY2(ReadFile(Installed(file.installedPath)) == expected,
                 qPrintable(file.installedPath));
    }
    for (const QString &path : std::as_const(extra))
        QVERIFY2(ReadFile(Installed(path)) == localEdit, qPrintable(path));

    QTRY_COMPARE_WITH_TIMEOUT(
        QString::fromLocal8Bit(ReadFile(Installed(QStringLiteral("started.txt"))))
            .split(u'\n', Qt::SkipEmptyParts),
        (QStringList{QDir(work->filePath(gameUuid)).canonicalPath(), QStringLiteral("0")}), 10000);
}

void tst_EndToEnd::startsNothing_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("-start -uuid without an action")
        << QStringList{QStringLiteral("-start"), QStringLiteral("-uuid"), gameUuid};
    QTest::newRow("-uuid alone") << QStringList{QStringLiteral("-uuid"), gameUuid};
    QTest::newRow("uuid the catalogue does not list") << QStringList{
        QStringLiteral("-download"), QStringLiteral("-uuid"),
        QStringLiteral("00000000-0000-0000-0000-000000000000"), QStringLiteral("-start")};
    QTest::newRow("action without -uuid")
        << QStringList{QStringLiteral("-download"), QStringLiteral("-start")};
}

void tst_EndToEnd::startsNothing()
{
    QFETCH(QStringList, arguments);

    QVERIFY(StartPortal(arguments));
    QTRY_VERIFY2_WITH_TIMEOUT(nginx->RequestedUris().contains(QStringLiteral("/library.db")),
                              qPrintable(Diagnostics()), 30000);
    // Nothing is expected to happen, so there is no signal to wait for: give a
    // wrongly started download a moment to show itself.
    QTest::qWait(1500);

    QVERIFY2(portal->state() == QProcess::Running, qPrintable(Diagnostics()));
    QCOMPARE(nginx->RequestedUris(), QStringList{QStringLiteral("/library.db")});
    // A download dialog creates the game's folder as soon as it opens.
    QVERIFY(!QFileInfo::exists(work->filePath(gameUuid)));
    QVERIFY(!QFileInfo::exists(work->filePath(otherUuid)));
    QVERIFY(
        !QFileInfo::exists(work->filePath(QStringLiteral("00000000-0000-0000-0000-000000000000"))));
}

QTEST_GUILESS_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
