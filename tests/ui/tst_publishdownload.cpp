#include "Fixtures.h"
#include "TestHttpServer.h"

#include "app/PortalSettings.h"
#include "entry/GameEntry.h"
#include "library/Catalogue.h"
#include "library/MainWindow.h"

#include <QApplication>
#include <QBuffer>
#include <QDialog>
#include <QDirIterator>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

using FileMap = QMap<QString, QByteArray>;

const QString uuid = QStringLiteral("5E1F0C2A-77AA-4B1D-9C3E-000000000042");
const QString nickname = QStringLiteral("moss");
const QString title = QStringLiteral("Moss Garden");
const QString build = QStringLiteral("client_windows_1_2");

QString Text(const char *text)
{
    return QString::fromUtf8(text);
}
QString Text(const QString &text)
{
    return text;
}
template <typename... T> QStringList Args(const T &...items)
{
    return QStringList{Text(items)...};
}

FileMap FilesBelow(const QString &root)
{
    FileMap files;
    const QDir base(QDir(root).absolutePath());
    QDirIterator it(base.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(base.relativeFilePath(path), ReadFile(path));
    }
    return files;
}

QByteArray IconBytes()
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 60));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

bool WriteTree(const QString &root, const FileMap &files)
{
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (!WriteFile(root + u'/' + it.key(), it.value()))
            return false;
    }
    return true;
}

// Runs a program to its end; the event loop keeps serving meanwhile.
int RunProgram(const QString &program, const QStringList &arguments, const QString &folder,
               QByteArray *out = nullptr, QByteArray *err = nullptr)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(program, arguments);
    if (!process.waitForStarted(10000) || (finished.isEmpty() && !finished.wait(90000))) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (out)
        *out = process.readAllStandardOutput();
    if (err)
        *err = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
}

int Publish(const QStringList &arguments, QByteArray *err)
{
    return RunProgram(QStringLiteral(ZOL_PUBLISH_PATH), arguments, QDir::tempPath(), nullptr, err);
}

GameEntry *EntryOf(const MainWindow &window)
{
    const QList<GameEntry *> entries = window.findChildren<GameEntry *>();
    for (GameEntry *entry : entries) {
        if (entry->Info().uuid == uuid)
            return entry;
    }
    return nullptr;
}

// Stops a dialog run that never ends, so the test fails instead of hanging.
void GuardModalRun(QObject *context)
{
    QTimer::singleShot(60000, context, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
}

} // namespace

class tst_PublishDownload : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void downloadsPublishedGame_data();
    void downloadsPublishedGame();
    void portalStartsPublishedClient();
    void demoClientDescribesGame_data();
    void demoClientDescribesGame();

private:
    bool PublishTree();
    void RunThroughWindow(DownloadMode mode, bool *installed);
    QString Www() const { return dir->filePath(QStringLiteral("www")); }
    QString Work() const { return dir->filePath(QStringLiteral("work")); }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<TestHttpServer> server;
    QString previousDir;
    FileMap gameFiles;
    FileMap clientFiles;
};

void tst_PublishDownload::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    QVERIFY(QDir().mkpath(Work()));
    const QByteArray client = ReadFile(QStringLiteral(ZOL_DEMO_CLIENT_PATH));
    QVERIFY(!client.isEmpty());
    clientFiles = {{QStringLiteral("zol_client.exe"), client},
                   {QStringLiteral("bin/x.dll"), "engine library\n"},
                   {QStringLiteral("bin/shaders/a.glsl"), "void main() {}\n"}};
    gameFiles = {{QStringLiteral("readme.txt"), "Welcome to the garden.\n"},
                 {QStringLiteral("config/video.ini"), "[video]\nwidth=800\n"},
                 {QStringLiteral("data/maps/a.map"), QByteArray(50000, 'a')},
                 {QStringLiteral("data/maps/b.map"), QByteArray("map b\n").repeated(100)},
                 {QStringLiteral("scripts/main.lua"), "print('moss')\n"}};
    QVERIFY(PublishTree());

    server = std::make_unique<TestHttpServer>();
    QVERIFY(server->listen());
    const FileMap served = FilesBelow(Www());
    for (auto it = served.cbegin(); it != served.cend(); ++it)
        server->setFile('/' + it.key().toUtf8(), it.value());

    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(Work()));
}

void tst_PublishDownload::cleanup()
{
    QDir::setCurrent(previousDir);
    server.reset();
    dir.reset();
}

// The publisher's steps, each as its own run of the tool.
bool tst_PublishDownload::PublishTree()
{
    const QString game = Www() + u'/' + nickname;
    const QString description = dir->filePath(QStringLiteral("description.txt"));
    const QString icon = dir->filePath(QStringLiteral("icon.png"));
    if (!WriteTree(game, gameFiles) || !WriteTree(Www() + u'/' + build, clientFiles) ||
        !WriteFile(description, "A quiet game.\nTend the moss.\n") || !WriteFile(icon, IconBytes()))
        return false;
    const QList<QStringList> steps{
        Args("marker", game, "--uuid", uuid), Args("manifest", game, "--editable", "config/*.ini"),
        Args("client", Www(), build, "--engine", "1.2"),
        Args("game", Www(), "--uuid", uuid, "--nickname", nickname, "--title", title, "--engine",
             "1.2", "--description", description, "--icon", icon)};
    for (const QStringList &step : steps) {
        QByteArray err;
        if (Publish(step, &err) != 0) {
            qWarning() << step << err;
            return false;
        }
    }
    return true;
}

// The catalogue download, the list, and the entry's download run with the
// dialog closing itself, as the portal does them.
void tst_PublishDownload::RunThroughWindow(DownloadMode mode, bool *installed)
{
    PortalSettings settings;
    settings.webUrl = "http://127.0.0.1";
    settings.webPort = server->port();
    MainWindow window(&settings);
    window.Initialize(0, nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(EntryOf(window) != nullptr, 10000);
    GuardModalRun(&window);
    EntryOf(window)->StartDownload(mode, false, true);
    // The run rebuilt the list: a new entry stands for the game.
    GameEntry *entry = EntryOf(window);
    QVERIFY(entry);
    *installed = entry->Info().installed;
}

void tst_PublishDownload::downloadsPublishedGame_data()
{
    QTest::addColumn<bool>("installFirst");
    QTest::addColumn<int>("mode");
    QTest::addColumn<FileMap>("edits"); // installed path -> new bytes; empty bytes: removed
    QTest::addColumn<QStringList>("fetched");
    QTest::addColumn<QStringList>("keptEdits");

    QStringList everything{
        QStringLiteral("bin/shaders/a.glsl"),    QStringLiteral("bin/x.dll"),
        QStringLiteral("zol_client.exe"),        QStringLiteral("moss/patch.db"),
        QStringLiteral("moss/config/video.ini"), QStringLiteral("moss/data/maps/a.map"),
        QStringLiteral("moss/data/maps/b.map"),  QStringLiteral("moss/game.zol"),
        QStringLiteral("moss/readme.txt"),       QStringLiteral("moss/scripts/main.lua")};
    QTest::newRow("download from nothing")
        << false << int(Download) << FileMap() << everything << QStringList();
    QTest::newRow("download again: all verified")
        << true << int(Download) << FileMap() << QStringList{QStringLiteral("moss/patch.db")}
        << QStringList();

    const FileMap edits{{QStringLiteral("bin/x.dll"), QByteArray()},
                        {QStringLiteral("moss/data/maps/a.map"), "edited locally\n"},
                        {QStringLiteral("moss/config/video.ini"), "[video]\nwidth=1920\n"}};
    QTest::newRow("repair restores every change")
        << true << int(Repair) << edits
        << QStringList{QStringLiteral("bin/x.dll"), QStringLiteral("moss/patch.db"),
                       QStringLiteral("moss/config/video.ini"),
                       QStringLiteral("moss/data/maps/a.map")}
        << QStringList();
    QTest::newRow("patch keeps the editable file")
        << true << int(Patch) << edits
        << QStringList{QStringLiteral("moss/patch.db"), QStringLiteral("moss/data/maps/a.map")}
        << QStringList{QStringLiteral("bin/x.dll"), QStringLiteral("moss/config/video.ini")};
}

void tst_PublishDownload::downloadsPublishedGame()
{
    QFETCH(bool, installFirst);
    QFETCH(int, mode);
    QFETCH(FileMap, edits);
    QFETCH(QStringList, fetched);
    QFETCH(QStringList, keptEdits);

    bool installed = false;
    if (installFirst) {
        RunThroughWindow(Download, &installed);
        QVERIFY(installed);
        server->clear();
        const FileMap served = FilesBelow(Www());
        for (auto it = served.cbegin(); it != served.cend(); ++it)
            server->setFile('/' + it.key().toUtf8(), it.value());
    }
    for (auto it = edits.cbegin(); it != edits.cend(); ++it) {
        const QString path = uuid + u'/' + it.key();
        QVERIFY(it.value().isEmpty() ? QFile::remove(path) : WriteFile(path, it.value()));
    }

    RunThroughWindow(DownloadMode(mode), &installed);
    QVERIFY(installed);

    // The digests the tool wrote are the ones the portal computes: only what
    // differs is fetched, in the order of the catalogue and the manifest.
    QByteArrayList expectedRequests{"/library.db"};
    for (const QString &path : std::as_const(fetched)) {
        expectedRequests << (path.startsWith(nickname + u'/')
                                 ? '/' + path.toUtf8()
                                 : '/' + (build + u'/' + path).toUtf8());
    }
    QCOMPARE(server->requestedPaths(), expectedRequests);

    FileMap expected;
    for (auto it = clientFiles.cbegin(); it != clientFiles.cend(); ++it)
        expected.insert(it.key(), it.value());
    const FileMap published = FilesBelow(Www() + u'/' + nickname);
    for (auto it = published.cbegin(); it != published.cend(); ++it)
        expected.insert(nickname + u'/' + it.key(), it.value());
    for (const QString &path : std::as_const(keptEdits)) {
        if (edits.value(path).isEmpty())
            expected.remove(path);
        else
            expected.insert(path, edits.value(path));
    }
    const FileMap onDisk = FilesBelow(uuid);
    QCOMPARE(onDisk.keys(), expected.keys());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QVERIFY2(onDisk.value(it.key()) == it.value(), qPrintable(it.key()));
}

void tst_PublishDownload::portalStartsPublishedClient()
{
    QVERIFY(WriteFile(
        QStringLiteral("zol_portal.ini"),
        QStringLiteral("[web]\nurl=http://127.0.0.1\nport=%1\n").arg(server->port()).toUtf8()));
    QByteArray out;
    QByteArray err;
    const int exitCode = RunProgram(QStringLiteral(ZOL_PORTAL_PATH),
                                    Args("-download", "-uuid", uuid, "-start"), Work(), &out, &err);
    QVERIFY2(exitCode == 0, (out + err).constData());

    // The client runs detached and may finish after the portal.
    const QString started = uuid + QStringLiteral("/started.txt");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(started).size() > 0, 20000);
    const qsizetype gameFileCount = FilesBelow(Www() + u'/' + nickname).size();
    const QString expected = QStringLiteral("Demo client started \"%1\"\n"
                                            "uuid: %2\n"
                                            "game folder: %3 (%4 files)\n"
                                            "arguments: 0\n")
                                 .arg(title, uuid, nickname, QString::number(gameFileCount));
    QTRY_COMPARE_WITH_TIMEOUT(QString::fromUtf8(ReadFile(started)), expected, 5000);
}

void tst_PublishDownload::demoClientDescribesGame_data()
{
    QTest::addColumn<bool>("withCatalogue");
    QTest::addColumn<QString>("markerUuid");
    QTest::addColumn<QString>("expected");

    const QString lower = uuid.toLower();
    QTest::newRow("marker in other letter case")
        << true << lower
        << QStringLiteral("Demo client started \"%1\"\nuuid: %2\ngame folder: %3 (2 files)\n"
                          "arguments: 0\n")
               .arg(title, uuid, nickname);
    QTest::newRow("marker of another game")
        << true << QStringLiteral("other")
        << QStringLiteral("Demo client started \"%1\"\nuuid: %2\ngame folder: none with a "
                          "game.zol naming this uuid\narguments: 0\n")
               .arg(title, uuid);
    QTest::newRow("no catalogue") << false << uuid
                                  << QStringLiteral(
                                         "Demo client started \"an unknown game\"\nuuid: %1\n"
                                         "game folder: %2 (2 files)\narguments: 0\n")
                                         .arg(uuid, nickname);
}

void tst_PublishDownload::demoClientDescribesGame()
{
    QFETCH(bool, withCatalogue);
    QFETCH(QString, markerUuid);
    QFETCH(QString, expected);

    // The portal's working folder: the catalogue beside the game's uuid folder.
    if (withCatalogue) {
        CatalogueGame game;
        game.uuid = uuid;
        game.nickname = nickname;
        game.title = title;
        QVERIFY(WriteCatalogue(Work() + QStringLiteral("/library.db"), {game}));
    }
    const QString folder = Work() + u'/' + uuid;
    QVERIFY(WriteMarker(folder + QStringLiteral("/moss/game.zol"), {markerUuid}));
    QVERIFY(WriteFile(folder + QStringLiteral("/moss/data/a.map"), "a\n"));
    QVERIFY(WriteFile(folder + QStringLiteral("/zol_client.exe"), "copy\n"));

    QByteArray out;
    QCOMPARE(RunProgram(QStringLiteral(ZOL_DEMO_CLIENT_PATH), {}, folder, &out), 0);
    QCOMPARE(QString::fromUtf8(out), expected);
    QCOMPARE(QString::fromUtf8(ReadFile(folder + QStringLiteral("/started.txt"))), expected);
}

QTEST_MAIN(tst_PublishDownload)
#include "tst_publishdownload.moc"
