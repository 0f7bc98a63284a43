#include "Fixtures.h"
#include "TestHttpServer.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

// Runs of the built portal, `-download -uuid X -start`, against a server that
// misbehaves in one way per row, over an earlier install of the game. Every
// run must end (or stay idle in its event loop when it cannot end), report the
// fault where it reports catalogue faults, keep every earlier file that the
// run could not replace by a good one, and write nothing outside its folder.

namespace {

const QString uuid = QStringLiteral("5EED0000-FA17-4000-8000-000000000001");
const QString nickname = QStringLiteral("demo");
const QString gameFolder = uuid + u'/' + nickname;

// The client records that it was started, in its working directory.
const QByteArray clientScript = "#!/bin/sh\npwd -P > started.txt\n";

enum class Outcome {
    Finished, // exit code 0, the client started
    Running,  // the portal cannot finish: alive and idle, then killed
};

// What stands on disk before the run, besides the configuration file.
enum class Disk {
    Earlier,        // an earlier install of every file
    Nothing,        // no earlier install
    FolderAtFile,   // the earlier install, with a folder where the map must go
    FileAtFolder,   // the earlier install, with a file where the map's folder must go
    UuidIsFile,     // a file where the game's uuid folder must go
    NicknameIsFile, // the client installed, a file where the game's own folder must go
};

struct ServerFault
{
    QByteArray path;
    TestHttpResponse response;
};
using ServerFaults = QList<ServerFault>;

// One file of the game as the server offers it now and as an earlier install left it.
struct Published
{
    QByteArray serverPath;
    QString localPath; // relative to the portal's working directory
    QByteArray earlier;
    QByteArray current;
};

QByteArray Pattern(const QByteArray &seed, int size)
{
    QByteArray bytes;
    for (int i = 0; bytes.size() < size; ++i)
        bytes += seed + QByteArray::number(i) + '\n';
    bytes.truncate(size);
    return bytes;
}

QByteArray RandomBytes(int size)
{
    QRandomGenerator generator(20240501);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(generator.bounded(256));
    return bytes;
}

QString NetworkError(QNetworkReply::NetworkError error)
{
    return QStringLiteral("Network Error: %1").arg(int(error));
}

TestHttpResponse Status(int status)
{
    TestHttpResponse response;
    response.status = status;
    response.body = "error page\n";
    return response;
}

TestHttpResponse Body(const QByteArray &body)
{
    TestHttpResponse response;
    response.body = body;
    return response;
}

TestHttpResponse CutOff(const QByteArray &body)
{
    TestHttpResponse response = Body(body);
    response.dropAfter = body.size() / 2;
    return response;
}

TestHttpResponse Stalled(const QByteArray &body)
{
    TestHttpResponse response = Body(body);
    response.stallAfterHeaders = true;
    return response;
}

TestHttpResponse RedirectTo(const QByteArray &path)
{
    TestHttpResponse response;
    response.redirectTo = path;
    return response;
}

// The bytes of a SQLite file that `write` makes, or an empty array.
template <typename Write> QByteArray DatabaseBytes(Write write)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("file.db"));
    if (!dir.isValid() || !write(path))
        return {};
    return ReadFile(path);
}

QSet<QString> FilesBelow(const QString &folder)
{
    QSet<QString> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.insert(QDir(folder).relativeFilePath(it.next()));
    return files;
}

QStringList EntriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                  QDir::System);
}

// The messages of the program log, without the time stamps and the run header.
QStringList LogMessages(const QByteArray &log)
{
    QStringList messages;
    for (const QByteArray &line : log.split('\n')) {
        const qsizetype end = line.indexOf("] ");
        if (!line.startsWith("Server: [") || end < 0)
            continue;
        const QString message = QString::fromLocal8Bit(line.mid(end + 2)).trimmed();
        if (message != u"Z/O/L Portal version 1.0" && message != QString(71, u'-'))
            messages.append(message);
    }
    return messages;
}

// CPU time the process has used, in clock ticks; -1 when it cannot be read.
qint64 CpuTicks(qint64 pid)
{
    const QByteArray stat = ReadFile(QStringLiteral("/proc/%1/stat").arg(pid));
    // The fields after the command name, which is in parentheses.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return fields.at(11).toLongLong() + fields.at(12).toLongLong(); // utime + stime
}

} // namespace

Q_DECLARE_METATYPE(Outcome)
Q_DECLARE_METATYPE(Disk)
Q_DECLARE_METATYPE(ServerFaults)

class tst_Faults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void faultyRun_data();
    void faultyRun();

private:
    void PrepareDisk(Disk disk);
    bool StartPortal(const QString &commandUuid);
    QString Diagnostics() const;
    QString Work(const QString &path) const { return work + u'/' + path; }
    QByteArray CatalogueBytes(const QString &title, const QList<CatalogueGame> &extraGames,
                              const QList<ClientRow> &extraClients) const;
    QByteArray ManifestBytes(bool current, const QList<ManifestRow> &extraRows) const;

    QList<Published> published;
    std::unique_ptr<TestHttpServer> server;
    std::unique_ptr<QTemporaryDir> root;    // holds sandbox/work, to see anything that escapes
    std::unique_ptr<QTemporaryDir> outside; // where absolute paths from the server point
    QString work;
    std::unique_ptr<QProcess> portal;
    QByteArray output;
    QMap<QString, QByteArray> blockers; // files the disk setup put in the way
    bool serverClosed = false;
};

QByteArray tst_Faults::CatalogueBytes(const QString &title, const QList<CatalogueGame> &extraGames,
                                      const QList<ClientRow> &extraClients) const
{
    CatalogueGame game;
    game.uuid = uuid;
    game.nickname = nickname;
    game.title = title;
    const QList<ClientRow> clients =
        QList<ClientRow>{{QStringLiteral("client_windows_1_0"),
                          QStringLiteral("client_windows_1_0/zol_client.exe"), Md5Hex(clientScript),
                          qint64(clientScript.size())}} +
        extraClients;
    return DatabaseBytes([&](const QString &path) {
        return WriteCatalogue(path, QList<CatalogueGame>{game} + extraGames, clients);
    });
}

QByteArray tst_Faults::ManifestBytes(bool current, const QList<ManifestRow> &extraRows) const
{
    QList<ManifestRow> rows;
    for (const Published &file : published) {
        if (!file.serverPath.startsWith("/demo/") || file.serverPath.endsWith("/patch.db"))
            continue;
        const QByteArray &bytes = current ? file.current : file.earlier;
        rows.append(
            {QString::fromLatin1(file.serverPath.mid(6)), Md5Hex(bytes), qint64(bytes.size()), 1});
    }
    return DatabaseBytes([&](const QString &path) { return WritePatchDb(path, rows + extraRows); });
}

void tst_Faults::initTestCase()
{
    QVERIFY2(QFileInfo(QStringLiteral(ZOL_PORTAL_PATH)).isExecutable(), ZOL_PORTAL_PATH);

    const QByteArray marker =
        DatabaseBytes([](const QString &path) { return WriteMarker(path, {uuid}); });
    QVERIFY(!marker.isEmpty());
    // The manifest's rows are the game's files, so they come first; the map
    // is the first file that a run fetches.
    published = {
        {"/demo/data/maps/a.map", gameFolder + QStringLiteral("/data/maps/a.map"),
         Pattern("earlier map", 200000), Pattern("current map", 300000)},
        {"/demo/scripts/main.lua", gameFolder + QStringLiteral("/scripts/main.lua"),
         "print('earlier')\n", "print('current')\n"},
        {"/demo/game.zol", gameFolder + QStringLiteral("/game.zol"), marker, marker},
        {"/client_windows_1_0/zol_client.exe", uuid + QStringLiteral("/zol_client.exe"),
         clientScript, clientScript},
    };
    const QByteArray earlierManifest = ManifestBytes(false, {});
    const QByteArray currentManifest = ManifestBytes(true, {});
    const QByteArray earlierCatalogue = CatalogueBytes(QStringLiteral("Demo, earlier"), {}, {});
    const QByteArray currentCatalogue = CatalogueBytes(QStringLiteral("Demo"), {}, {});
    QVERIFY(!earlierManifest.isEmpty() && !currentManifest.isEmpty());
    QVERIFY(!earlierCatalogue.isEmpty() && !currentCatalogue.isEmpty());
    published.append({"/demo/patch.db", gameFolder + QStringLiteral("/patch.db"), earlierManifest,
                      currentManifest});
    published.append(
        {"/library.db", QStringLiteral("library.db"), earlierCatalogue, currentCatalogue});

    outside = std::make_unique<QTemporaryDir>();
    QVERIFY(outside->isValid());
    server = std::make_unique<TestHttpServer>();
    QVERIFY(server->listen());
}

void tst_Faults::init()
{
    root = std::make_unique<QTemporaryDir>();
    QVERIFY(root->isValid());
    work = root->filePath(QStringLiteral("sandbox/work"));
    QVERIFY(QDir().mkpath(work));
    server->clear();
    for (const Published &file : std::as_const(published))
        server->setFile(file.serverPath, file.current);
    output.clear();
    blockers.clear();
}

void tst_Faults::cleanup()
{
    if (portal && portal->state() != QProcess::NotRunning) {
        portal->kill();
        portal->waitForFinished(10000);
    }
    portal.reset();
    root.reset();
    if (serverClosed && !server->listen())
        qWarning("the test server did not listen again");
    serverClosed = false;
}

void tst_Faults::PrepareDisk(Disk disk)
{
    QVERIFY(WriteFile(Work(QStringLiteral("zol_portal.ini")),
                      "[web]\nurl=http://127.0.0.1\nport=" + QByteArray::number(server->port()) +
                          "\n[portal]\nlog=zol.log\n"));
    if (disk == Disk::Nothing)
        return;
    for (const Published &file : std::as_const(published))
        QVERIFY(WriteFile(Work(file.localPath), file.earlier));

    auto block = [this](const QString &path, const QString &blocker, const QByteArray &bytes) {
        QVERIFY(QFileInfo(Work(path)).isDir() ? QDir(Work(path)).removeRecursively()
                                              : QFile::remove(Work(path)));
        QVERIFY(WriteFile(Work(blocker), bytes));
        blockers.insert(blocker, bytes);
    };
    const QString map = gameFolder + QStringLiteral("/data/maps/a.map");
    switch (disk) {
    case Disk::Earlier:
    case Disk::Nothing:
        break;
    case Disk::FolderAtFile:
        block(map, map + QStringLiteral("/keep.txt"), "a folder of the player's\n");
        break;
    case Disk::FileAtFolder:
        block(gameFolder + QStringLiteral("/data"), gameFolder + QStringLiteral("/data"),
              "a file of the player's\n");
        break;
    case Disk::UuidIsFile:
        block(uuid, uuid, "not a folder\n");
        break;
    case Disk::NicknameIsFile:
        block(gameFolder, gameFolder, "not a folder\n");
        break;
    }
}

bool tst_Faults::StartPortal(const QString &commandUuid)
{
    portal = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    portal->setProcessEnvironment(environment);
    portal->setWorkingDirectory(work);
    portal->setProcessChannelMode(QProcess::MergedChannels);
    connect(portal.get(), &QProcess::readyRead, this, [this] { output += portal->readAll(); });
    portal->start(QStringLiteral(ZOL_PORTAL_PATH),
                  {QStringLiteral("-download"), QStringLiteral("-uuid"), commandUuid,
                   QStringLiteral("-start")});
    return portal->waitForStarted(10000);
}

QString tst_Faults::Diagnostics() const
{
    return QStringLiteral("portal output:\n") + QString::fromLocal8Bit(output) +
           QStringLiteral("\nrequests: ") + QString::fromLatin1(server->requestedPaths().join(' '));
}

void tst_Faults::faultyRun_data()
{
    QTest::addColumn<ServerFaults>("faults");
    QTest::addColumn<bool>("refused"); // nothing listens on the configured port
    QTest::addColumn<Disk>("disk");
    QTest::addColumn<QString>("commandUuid");
    QTest::addColumn<Outcome>("outcome");
    // For a run that cannot finish: how far it gets (a request, else the log lines).
    QTest::addColumn<QByteArray>("lastRequest");
    QTest::addColumn<QStringList>("logMessages");
    // Local paths that hold what the server sent after the run; every other
    // earlier file keeps its earlier bytes.
    QTest::addColumn<QStringList>("replaced");

    const Published &map = published.at(0);
    const Published &manifest = published.at(4);
    const Published &catalogue = published.at(5);
    const QString mapPath = map.localPath;
    const QString script = published.at(1).localPath;
    const QString patchDb = manifest.localPath;
    const QString library = catalogue.localPath;
    const QStringList everything = {library, patchDb, mapPath, script};
    const QStringList none;

    const QByteArray random = RandomBytes(4096);
    const QByteArray wrongTables = DatabaseBytes([](const QString &path) {
        return WriteSqlite(path, {QStringLiteral("CREATE TABLE games(name TEXT)"),
                                  QStringLiteral("CREATE TABLE files(path TEXT)"),
                                  QStringLiteral("CREATE TABLE other(x)")});
    });
    QVERIFY(!wrongTables.isEmpty());

    auto add = [&](const char *name, const ServerFaults &faults, Disk disk, Outcome outcome,
                   const QByteArray &lastRequest, const QStringList &log,
                   const QStringList &replaced) {
        QTest::newRow(name) << faults << false << disk << uuid << outcome << lastRequest << log
                            << replaced;
    };

    // Opening the catalogue that never came leaves an empty database file.
    QTest::newRow("connection refused, nothing installed")
        << ServerFaults() << true << Disk::Nothing << uuid << Outcome::Running << QByteArray()
        << QStringList{NetworkError(QNetworkReply::ConnectionRefusedError)} << QStringList{library};
    // The stored catalogue lists the game, every file fails, the earlier client starts.
    QTest::newRow("connection refused, earlier install")
        << ServerFaults() << true << Disk::Earlier << uuid << Outcome::Finished << QByteArray()
        << QStringList{NetworkError(QNetworkReply::ConnectionRefusedError)} << none;

    const QStringList game = {patchDb, mapPath, script};
    add("catalogue 404", {{"/library.db", Status(404)}}, Disk::Earlier, Outcome::Finished, {},
        {NetworkError(QNetworkReply::ContentNotFoundError)}, game);
    add("catalogue 500", {{"/library.db", Status(500)}}, Disk::Earlier, Outcome::Finished, {},
        {NetworkError(QNetworkReply::InternalServerError)}, game);
    add("catalogue cut off", {{"/library.db", CutOff(catalogue.current)}}, Disk::Earlier,
        Outcome::Finished, {}, {NetworkError(QNetworkReply::RemoteHostClosedError)}, game);
    add("catalogue stalls after the headers", {{"/library.db", Stalled(catalogue.current)}},
        Disk::Earlier, Outcome::Running, "/library.db", none, none);
    add("catalogue redirect loop", {{"/library.db", RedirectTo("/library.db")}}, Disk::Earlier,
        Outcome::Finished, {}, {NetworkError(QNetworkReply::TooManyRedirectsError)}, game);
    // A catalogue that lists nothing leaves nothing to act on.
    add("catalogue of random bytes", {{"/library.db", Body(random)}}, Disk::Earlier,
        Outcome::Running, "/library.db", none, {library});
    add("catalogue of zero bytes", {{"/library.db", Body(QByteArray())}}, Disk::Earlier,
        Outcome::Running, "/library.db", none, {library});
    add("catalogue with the wrong tables", {{"/library.db", Body(wrongTables)}}, Disk::Earlier,
        Outcome::Running, "/library.db", none, {library});

    // The earlier manifest is read again, and the earlier files match it.
    add("manifest 404", {{"/demo/patch.db", Status(404)}}, Disk::Earlier, Outcome::Finished, {},
        none, {library});
    add("manifest 500", {{"/demo/patch.db", Status(500)}}, Disk::Earlier, Outcome::Finished, {},
        none, {library});
    add("manifest cut off", {{"/demo/patch.db", CutOff(manifest.current)}}, Disk::Earlier,
        Outcome::Finished, {}, none, {library});
    add("manifest redirect loop", {{"/demo/patch.db", RedirectTo("/demo/patch.db")}}, Disk::Earlier,
        Outcome::Finished, {}, none, {library});
    // A manifest that lists nothing queues nothing; the game's files stay.
    add("manifest of random bytes", {{"/demo/patch.db", Body(random)}}, Disk::Earlier,
        Outcome::Finished, {}, none, {library, patchDb});
    add("manifest of zero bytes", {{"/demo/patch.db", Body(QByteArray())}}, Disk::Earlier,
        Outcome::Finished, {}, none, {library, patchDb});
    add("manifest with the wrong tables", {{"/demo/patch.db", Body(wrongTables)}}, Disk::Earlier,
        Outcome::Finished, {}, none, {library, patchDb});

    const QStringList allButMap = {library, patchDb, script};
    add("game file 404", {{map.serverPath, Status(404)}}, Disk::Earlier, Outcome::Finished, {},
        none, allButMap);
    add("game file 500", {{map.serverPath, Status(500)}}, Disk::Earlier, Outcome::Finished, {},
        none, allButMap);
    add("game file cut off", {{map.serverPath, CutOff(map.current)}}, Disk::Earlier,
        Outcome::Finished, {}, none, allButMap);
    add("game file stalls after the headers", {{map.serverPath, Stalled(map.current)}},
        Disk::Earlier, Outcome::Running, map.serverPath, none, {library, patchDb});
    add("game file redirect loop", {{map.serverPath, RedirectTo(map.serverPath)}}, Disk::Earlier,
        Outcome::Finished, {}, none, allButMap);

    add("a folder where a game file must go", {}, Disk::FolderAtFile, Outcome::Finished, {}, none,
        allButMap);
    add("a file where a folder of game files must go", {}, Disk::FileAtFolder, Outcome::Finished,
        {}, none, allButMap);
    // Nothing can be saved and there is no client to start.
    add("a file where the game's uuid folder must go", {}, Disk::UuidIsFile, Outcome::Running,
        "/demo/patch.db", none, {library});
    add("a file where the game's own folder must go", {}, Disk::NicknameIsFile, Outcome::Finished,
        {}, none, {library});

    // Names from the server that would leave their folders: each is also
    // served, so fetching one would show.
    CatalogueGame escapingUuid;
    escapingUuid.uuid = QStringLiteral("../escape");
    escapingUuid.nickname = nickname;
    escapingUuid.title = QStringLiteral("Escaping uuid");
    CatalogueGame escapingNickname;
    escapingNickname.uuid = QStringLiteral("nickname-escape");
    escapingNickname.nickname = QStringLiteral("../../outside");
    escapingNickname.title = QStringLiteral("Escaping nickname");
    const QByteArray escapingCatalogue =
        CatalogueBytes(QStringLiteral("Demo"), {escapingUuid, escapingNickname}, {});
    QTest::newRow("uuid and nickname that leave their folders")
        << ServerFaults{{"/library.db", Body(escapingCatalogue)},
                        {"/../../outside/patch.db", Body(manifest.current)}}
        << false << Disk::Earlier << escapingUuid.uuid << Outcome::Running
        << QByteArray("/library.db")
        << QStringList{QStringLiteral("Ignored game with unsafe folder name: ../escape"),
                       QStringLiteral("Ignored game with unsafe folder name: nickname-escape")}
        << QStringList{library};

    const QByteArray intruder = "written outside\n";
    const QString absolute = outside->filePath(QStringLiteral("absolute.txt"));
    const QList<ManifestRow> escapingRows = {
        {QStringLiteral("../../outside.txt"), Md5Hex(intruder), qint64(intruder.size()), 1},
        {QStringLiteral("data/../../../../outside.txt"), Md5Hex(intruder), qint64(intruder.size()),
         1},
        {absolute, Md5Hex(intruder), qint64(intruder.size()), 1},
        {QStringLiteral("..\\..\\outside.txt"), Md5Hex(intruder), qint64(intruder.size()), 1},
    };
    ServerFaults escapingFiles = {{"/demo/patch.db", Body(ManifestBytes(true, escapingRows))}};
    for (const ManifestRow &row : escapingRows)
        escapingFiles.append({"/demo/" + row.filepath.toUtf8(), Body(intruder)});
    // Where the request goes once the dot segments are resolved.
    escapingFiles.append({"/outside.txt", Body(intruder)});
    add("manifest paths that leave the game's folder", escapingFiles, Disk::Earlier,
        Outcome::Finished, {}, none, everything);

    const QList<ClientRow> escapingClients = {
        {QStringLiteral("client_windows_1_0"),
         QStringLiteral("client_windows_1_0/../../client-outside.txt"), Md5Hex(intruder),
         qint64(intruder.size())},
        {QStringLiteral("client_windows_1_0"), QStringLiteral("client_windows_1_0//etc/x"),
         Md5Hex(intruder), qint64(intruder.size())},
    };
    add("client paths that leave the game's folder",
        {{"/library.db", Body(CatalogueBytes(QStringLiteral("Demo"), {}, escapingClients))},
         {"/client_windows_1_0/../../client-outside.txt", Body(intruder)},
         {"/client-outside.txt", Body(intruder)}},
        Disk::Earlier, Outcome::Finished, {}, none, everything);
}

void tst_Faults::faultyRun()
{
    QFETCH(ServerFaults, faults);
    QFETCH(bool, refused);
    QFETCH(Disk, disk);
    QFETCH(QString, commandUuid);
    QFETCH(Outcome, outcome);
    QFETCH(QByteArray, lastRequest);
    QFETCH(QStringList, logMessages);
    QFETCH(QStringList, replaced);

    PrepareDisk(disk);
    if (QTest::currentTestFailed())
        return;
    QMap<QString, QByteArray> served; // local path -> what the server sends for it
    for (const Published &file : std::as_const(published))
        served.insert(file.localPath, refused ? QByteArray() : file.current);
    for (const ServerFault &fault : std::as_const(faults)) {
        server->setResponse(fault.path, fault.response);
        for (const Published &file : std::as_const(published)) {
            if (file.serverPath == fault.path)
                served.insert(file.localPath, fault.response.body);
        }
    }
    if (refused) {
        server->close();
        serverClosed = true;
    }

    QVERIFY(StartPortal(commandUuid));
    const QString started = Work(uuid + QStringLiteral("/started.txt"));
    if (outcome == Outcome::Finished) {
        QTRY_VERIFY2_WITH_TIMEOUT(portal->state() == QProcess::NotRunning,
                                  qPrintable(Diagnostics()), 90000);
        QCOMPARE(portal->exitStatus(), QProcess::NormalExit);
        QVERIFY2(portal->exitCode() == 0, qPrintable(Diagnostics()));
        // The client runs detached and may still be starting.
        QTRY_COMPARE_WITH_TIMEOUT(ReadFile(started).trimmed(),
                                  QDir(Work(uuid)).canonicalPath().toLocal8Bit(), 10000);
    } else {
        if (!lastRequest.isEmpty()) {
            QTRY_VERIFY2_WITH_TIMEOUT(server->requestedPaths().contains(lastRequest),
                                      qPrintable(Diagnostics()), 60000);
        } else {
            QTRY_VERIFY2_WITH_TIMEOUT(LogMessages(ReadFile(Work(QStringLiteral("zol.log")))) ==
                                          logMessages,
                                      qPrintable(Diagnostics()), 60000);
        }
        // Nothing more is meant to happen, so there is no signal to wait for:
        // give a run that would go on (or spin) a moment to show it.
        const qint64 ticks = CpuTicks(portal->processId());
        QTest::qWait(1500);
        QVERIFY2(portal->state() == QProcess::Running, qPrintable(Diagnostics()));
        const qint64 spent = CpuTicks(portal->processId()) - ticks;
        QVERIFY2(ticks >= 0 && spent < 50,
                 qPrintable(QStringLiteral("busy for %1 ticks").arg(spent)));
        QVERIFY(!QFileInfo::exists(started));
        portal->kill();
        QTRY_VERIFY_WITH_TIMEOUT(portal->state() == QProcess::NotRunning, 10000);
    }

    QCOMPARE(LogMessages(ReadFile(Work(QStringLiteral("zol.log")))), logMessages);

    // Every earlier file holds its earlier bytes, or what the server sent when
    // the run could replace it; nothing else was written.
    QSet<QString> expectedFiles = {QStringLiteral("zol_portal.ini"), QStringLiteral("zol.log")};
    if (outcome == Outcome::Finished)
        expectedFiles.insert(uuid + QStringLiteral("/started.txt"));
    for (auto it = blockers.cbegin(); it != blockers.cend(); ++it) {
        QVERIFY2(ReadFile(Work(it.key())) == it.value(), qPrintable(it.key()));
        expectedFiles.insert(it.key());
    }
    for (const Published &file : std::as_const(published)) {
        const QStringList blocking = blockers.keys();
        const bool blocked = std::any_of(blocking.begin(), blocking.end(), [&](const QString &b) {
            return file.localPath == b || file.localPath.startsWith(b + u'/') ||
                   b.startsWith(file.localPath + u'/');
        });
        if (blocked || (disk == Disk::Nothing && !replaced.contains(file.localPath)))
            continue;
        const QByteArray expected =
            replaced.contains(file.localPath) ? served.value(file.localPath) : file.earlier;
        QVERIFY2(ReadFile(Work(file.localPath)) == expected, qPrintable(file.localPath));
        expectedFiles.insert(file.localPath);
    }
    QStringList files = FilesBelow(work).values();
    QStringList expectedList = expectedFiles.values();
    files.sort();
    expectedList.sort();
    QVERIFY2(files == expectedList, qPrintable(QStringLiteral("files: ") + files.join(u' ')));
    QCOMPARE(EntriesOf(root->path()), QStringList{QStringLiteral("sandbox")});
    QCOMPARE(EntriesOf(outside->path()), QStringList());
    QCOMPARE(EntriesOf(root->filePath(QStringLiteral("sandbox"))),
             QStringList{QStringLiteral("work")});
    for (const QByteArray &path : server->requestedPaths())
        QVERIFY2(!path.contains("..") && !path.contains("//"), path.constData());
}

QTEST_GUILESS_MAIN(tst_Faults)
#include "tst_faults.moc"
