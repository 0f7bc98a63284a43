#include "Fixtures.h"
#include "PathPattern.h"

#include "download/ClientFiles.h"
#include "download/Manifest.h"
#include "library/Catalogue.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString serverUrl = QStringLiteral("http://127.0.0.1:8080");
const QString U1 = QStringLiteral("U1");
const QString Moss = QStringLiteral("moss");

QString Text(const char *text)
{
    return QString::fromUtf8(text);
}
QString Text(const QString &text)
{
    return text;
}

// A list of arguments from literals and strings alike.
template <typename... T> QStringList Args(const T &...items)
{
    return QStringList{Text(items)...};
}

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run Publish(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(ZOL_PUBLISH_PATH), arguments);
    Run run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        run.err = "zol_publish did not finish";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// The bytes of every file below `folder`, by relative path.
QMap<QString, QByteArray> Tree(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path), ReadFile(path));
    }
    return files;
}

bool WriteTree(const QString &folder, const QMap<QString, QByteArray> &files)
{
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (!WriteFile(folder + u'/' + it.key(), it.value()))
            return false;
    }
    return true;
}

// A manifest row as the portal queues it, in a form QCOMPARE can print.
QStringList Rows(const QList<DownloadFile> &files)
{
    QStringList rows;
    for (const DownloadFile &file : files)
        rows << QStringLiteral("%1 %2 %3 %4 %5")
                    .arg(file.path, file.localPath, file.crc, QString::number(file.size),
                         file.editable ? QStringLiteral("editable") : QStringLiteral("-"));
    return rows;
}

// What the portal must read back for these files of game `nickname` of `uuid`.
QStringList ExpectedRows(const QString &uuid, const QString &nickname,
                         const QMap<QString, QByteArray> &files, const QSet<QString> &editable)
{
    QList<DownloadFile> expected;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        DownloadFile file;
        file.path = nickname + u'/' + it.key();
        file.localPath = uuid + u'/' + file.path;
        file.crc = Md5Hex(it.value());
        file.size = quint64(it.value().size());
        file.editable = editable.contains(it.key());
        expected << file;
    }
    return Rows(expected);
}

QStringList ReadManifest(const QString &path, const QString &uuid, const QString &nickname,
                         int platform = 1, bool readEditable = true)
{
    return Rows(ReadPatchManifest(path, uuid, nickname, serverUrl, platform, readEditable).files);
}

// Opens library.db as a connection for the portal's readers; closed by the guard.
struct Catalogue
{
    explicit Catalogue(const QString &path)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.open();
    }
    ~Catalogue()
    {
        QSqlDatabase::database(name).close();
        QSqlDatabase::removeDatabase(name);
    }
    QList<GameInfo> Games() const { return ReadCatalogueGames(name, nullptr); }
    QStringList ClientRows(const QString &uuid) const
    {
        return Rows(ReadClientFiles(name, uuid, serverUrl, QStringLiteral("windows")).files);
    }
    const QString name = QStringLiteral("tst_publish_catalogue");
};

QStringList ExpectedClientRows(const QString &uuid, const QString &build,
                               const QMap<QString, QByteArray> &files)
{
    QList<DownloadFile> expected;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        DownloadFile file;
        file.path = it.key();
        file.localPath = uuid + u'/' + it.key();
        file.url = serverUrl + u'/' + build + u'/' + it.key();
        file.crc = Md5Hex(it.value());
        file.size = quint64(it.value().size());
        expected << file;
    }
    return Rows(expected);
}

// Every file name below `folder` that a failed run could have left behind.
QStringList Leftovers(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.contains(QStringLiteral("zol_publish-new")))
            found << path;
    }
    return found;
}

// stderr of a failed run: exactly one line, prefixed with the program's name.
bool IsOneMessage(const QByteArray &err)
{
    return err.startsWith("zol_publish: ") && err.endsWith('\n') && err.count('\n') == 1;
}

const QMap<QString, QByteArray> gameFiles{
    {QStringLiteral("readme.txt"), "Read me first.\n"},
    {QStringLiteral("empty.dat"), QByteArray()},
    {QStringLiteral(".hidden"), "not shown in listings\n"},
    {QStringLiteral("config/video.ini"), "[video]\nwidth=800\n"},
    {QStringLiteral("config/old/keys.ini"), "[keys]\n"},
    {QStringLiteral("data/maps/a.map"), QByteArray(70000, 'm')},
    {QStringLiteral("data/Maps.txt"), "upper case sorts first\n"},
    {QStringLiteral("donn\u00e9es/carte.txt"), "accented folder\n"},
    {QStringLiteral("scripts/main.lua"), "print('hi')\n"},
};

} // namespace

class tst_Publish : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void pathPatterns_data();
    void pathPatterns();
    void manifestReadByPortal_data();
    void manifestReadByPortal();
    void manifestKeepsOtherPlatforms();
    void manifestRerunFollowsChanges();
    void unsafeNamesRefused_data();
    void unsafeNamesRefused();
    void gameAddsAndReplaces();
    void clientRewritesOnlyItsBuild();
    void markerNamesGame();
    void argumentErrors_data();
    void argumentErrors();
    void writeFailuresLeaveDatabases_data();
    void writeFailuresLeaveDatabases();
    void helpTexts_data();
    void helpTexts();
    void progressOnlyOnTerminal();

private:
    QString Root() const { return dir->path(); }
    QString Game() const { return dir->filePath(QStringLiteral("www/moss")); }
    QString WebRoot() const { return dir->filePath(QStringLiteral("www")); }

    std::unique_ptr<QTemporaryDir> dir;
};

void tst_Publish::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    QVERIFY(WriteTree(Game(), gameFiles));
}

void tst_Publish::pathPatterns_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("matches");

    QTest::newRow("plain name") << "readme.txt"
                                << "readme.txt" << true;
    QTest::newRow("whole path only") << "readme.txt"
                                     << "docs/readme.txt" << false;
    QTest::newRow("star in one folder") << "config/*.ini"
                                        << "config/video.ini" << true;
    QTest::newRow("star stops at slash") << "config/*.ini"
                                         << "config/old/keys.ini" << false;
    QTest::newRow("star matches empty") << "config/*.ini"
                                        << "config/.ini" << true;
    QTest::newRow("double star crosses") << "config/**"
                                         << "config/old/keys.ini" << true;
    QTest::newRow("double star slash: no folder") << "**/user.cfg"
                                                  << "user.cfg" << true;
    QTest::newRow("double star slash: folders") << "**/user.cfg"
                                                << "a/b/user.cfg" << true;
    QTest::newRow("double star slash: not a suffix") << "**/user.cfg"
                                                     << "a/xuser.cfg" << false;
    QTest::newRow("inner double star") << "a/**/z.txt"
                                       << "a/z.txt" << true;
    QTest::newRow("inner double star deep") << "a/**/z.txt"
                                            << "a/b/c/z.txt" << true;
    QTest::newRow("question mark") << "save?.dat"
                                   << "save1.dat" << true;
    QTest::newRow("question mark not slash") << "a?b"
                                             << "a/b" << false;
    QTest::newRow("question mark one char") << "save?.dat"
                                            << "save12.dat" << false;
    QTest::newRow("letter case counts") << "Config/*.ini"
                                        << "config/video.ini" << false;
    QTest::newRow("dot is literal") << "a.txt"
                                    << "abtxt" << false;
    QTest::newRow("brackets are literal") << "[ab].txt"
                                          << "[ab].txt" << true;
    QTest::newRow("brackets not a set") << "[ab].txt"
                                        << "a.txt" << false;
    QTest::newRow("regex chars literal") << "a+(b)|c$"
                                         << "a+(b)|c$" << true;
    QTest::newRow("non-ASCII") << QStringLiteral("donn\u00e9es/*")
                               << QStringLiteral("donn\u00e9es/carte.txt") << true;
}

void tst_Publish::pathPatterns()
{
    QFETCH(QString, pattern);
    QFETCH(QString, path);
    QFETCH(bool, matches);
    QCOMPARE(MatchesPathPattern(pattern, path), matches);
}

void tst_Publish::manifestReadByPortal_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("editable");

    QTest::newRow("no editable files") << QStringList() << QStringList();
    QTest::newRow("one folder") << Args("--editable", "config/*.ini") << Args("config/video.ini");
    QTest::newRow("folder tree, = form")
        << Args("--editable=config/**") << Args("config/video.ini", "config/old/keys.ini");
    QTest::newRow("two overlapping patterns")
        << Args("--editable", "**/*.ini", "--editable", "config/old/*")
        << Args("config/video.ini", "config/old/keys.ini");
    QTest::newRow("explicit windows")
        << Args("--platform", "windows", "--editable", "?eadme.txt") << Args("readme.txt");
}

void tst_Publish::manifestReadByPortal()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, editable);

    const Run run = Publish(Args("manifest", Game()) + options);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    // The portal reads the rows in the order the database returns them.
    const QString manifest = Game() + QStringLiteral("/patch.db");
    const QSet<QString> editableSet(editable.cbegin(), editable.cend());
    QCOMPARE(ReadManifest(manifest, U1, Moss), ExpectedRows(U1, Moss, gameFiles, editableSet));
    QCOMPARE(ReadPatchManifest(manifest, U1, Moss, serverUrl, 1, true).unsafePaths, QStringList());
    QVERIFY(run.out.contains("9 files"));
    QCOMPARE(Leftovers(Root()), QStringList());
}

void tst_Publish::manifestKeepsOtherPlatforms()
{
    const QString manifest = Game() + QStringLiteral("/patch.db");
    Run run =
        Publish(Args("manifest", Game(), "--platform", "linux", "--editable", "config/*.ini"));
    QVERIFY2(run.exitCode == 0, run.err.constData());
    // The portal asks for the windows rows only.
    QCOMPARE(ReadManifest(manifest, U1, Moss, 1), QStringList());
    QCOMPARE(ReadManifest(manifest, U1, Moss, 2),
             ExpectedRows(U1, Moss, gameFiles, {QStringLiteral("config/video.ini")}));

    QVERIFY(WriteFile(Game() + QStringLiteral("/readme.txt"), "changed for windows\n"));
    run = Publish(Args("manifest", Game()));
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QMap<QString, QByteArray> windows = gameFiles;
    windows[QStringLiteral("readme.txt")] = "changed for windows\n";
    QCOMPARE(ReadManifest(manifest, U1, Moss, 1), ExpectedRows(U1, Moss, windows, {}));
    QCOMPARE(ReadManifest(manifest, U1, Moss, 2),
             ExpectedRows(U1, Moss, gameFiles, {QStringLiteral("config/video.ini")}));
}

void tst_Publish::manifestRerunFollowsChanges()
{
    const QString manifest = Game() + QStringLiteral("/patch.db");
    Run run = Publish(Args("manifest", Game(), "--editable", "config/video.ini"));
    QVERIFY2(run.exitCode == 0, run.err.constData());

    QMap<QString, QByteArray> changed = gameFiles;
    changed[QStringLiteral("data/maps/a.map")] = "a smaller map\n";
    changed[QStringLiteral("data/maps/b.map")] = "a new map\n";
    changed.remove(QStringLiteral("scripts/main.lua"));
    QVERIFY(QFile::remove(Game() + QStringLiteral("/scripts/main.lua")));
    QVERIFY(WriteTree(Game(), changed));

    // Without --editable the second run marks nothing editable any more.
    run = Publish(Args("manifest", Game()));
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(ReadManifest(manifest, U1, Moss), ExpectedRows(U1, Moss, changed, {}));
    QCOMPARE(Leftovers(Root()), QStringList());
}

void tst_Publish::unsafeNamesRefused_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");

    QTest::newRow("manifest: backslash") << "manifest"
                                         << "a\\b.txt"
                                         << "a\\b.txt";
    QTest::newRow("manifest: colon") << "manifest"
                                     << "c:d.txt"
                                     << "c:d.txt";
    QTest::newRow("manifest: colon in sub-folder") << "manifest"
                                                   << "sub/x:y/z.txt"
                                                   << "sub/x:y/z.txt";
    QTest::newRow("manifest: control character") << "manifest"
                                                 << "tab\tname.txt"
                                                 << "tab\\x09name.txt";
    QTest::newRow("client: colon") << "client"
                                   << "bin/e:vil.dll"
                                   << "bin/e:vil.dll";
    QTest::newRow("client: backslash") << "client"
                                       << "..\\up.dll"
                                       << "..\\up.dll";
}

void tst_Publish::unsafeNamesRefused()
{
    QFETCH(QString, command);
    QFETCH(QString, name);
    QFETCH(QString, shown);

    const QString build = WebRoot() + QStringLiteral("/client_windows_1_0");
    QVERIFY(WriteFile(build + QStringLiteral("/zol_client.exe"), "client\n"));
    QVERIFY2(Publish(Args("manifest", Game())).exitCode == 0, "first manifest");
    QVERIFY2(Publish(Args("client", WebRoot(), build, "--engine", "1.0")).exitCode == 0,
             "first client");
    const QByteArray manifest = ReadFile(Game() + QStringLiteral("/patch.db"));
    const QByteArray catalogue = ReadFile(WebRoot() + QStringLiteral("/library.db"));
    QVERIFY(!manifest.isEmpty() && !catalogue.isEmpty());

    const QString folder = command == u"manifest" ? Game() : build;
    QVERIFY(WriteFile(folder + u'/' + name, "unsafe\n"));
    const Run run = command == u"manifest"
                        ? Publish(Args("manifest", Game()))
                        : Publish(Args("client", WebRoot(), build, "--engine", "1.0"));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(IsOneMessage(run.err), run.err.constData());
    QVERIFY2(QString::fromUtf8(run.err).contains(u'"' + shown + u'"'), run.err.constData());
    QCOMPARE(ReadFile(Game() + QStringLiteral("/patch.db")), manifest);
    QCOMPARE(ReadFile(WebRoot() + QStringLiteral("/library.db")), catalogue);
    QCOMPARE(Leftovers(Root()), QStringList());
}

void tst_Publish::gameAddsAndReplaces()
{
    const QString description = Root() + QStringLiteral("/description.txt");
    const QString icon = Root() + QStringLiteral("/icon.png");
    const QByteArray iconBytes("\x89PNG\r\n\x1a\nnot really an image", 27);
    QVERIFY(WriteFile(description, "\xef\xbb\xbf"
                                   "First line\nCaf\xc3\xa9 au lait\n"));
    QVERIFY(WriteFile(icon, iconBytes));
    const QString latin1 = Root() + QStringLiteral("/latin1.txt");
    QVERIFY(WriteFile(latin1, "Na\xefve\n"));

    Run run = Publish(Args("game", WebRoot(), "--uuid", "B-game", "--nickname", "moss", "--title",
                           "Moss Garden", "--engine", "1.2", "--description", description, "--icon",
                           icon));
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY(run.out.contains("added game B-game"));
    run = Publish(Args("game", WebRoot(), "--uuid", "A-game", "--nickname", "star", "--title",
                       "Star Courier", "--engine", "2.0", "--description", latin1));
    QVERIFY2(run.exitCode == 0, run.err.constData());

    {
        Catalogue catalogue(WebRoot() + QStringLiteral("/library.db"));
        const QList<GameInfo> games = catalogue.Games();
        QCOMPARE(games.size(), 2);
        QCOMPARE(games.at(0).uuid, QStringLiteral("A-game"));
        QCOMPARE(games.at(0).title, QStringLiteral("Star Courier"));
        QCOMPARE(games.at(0).nickname, QStringLiteral("star"));
        QCOMPARE(games.at(0).description, QStringLiteral("Na\u00efve\n"));
        QCOMPARE(games.at(0).icon, QByteArray());
        QCOMPARE(games.at(1).uuid, QStringLiteral("B-game"));
        QCOMPARE(games.at(1).title, QStringLiteral("Moss Garden"));
        // UTF-8 text comes back as the same characters through the Latin-1 reading.
        QCOMPARE(games.at(1).description, QStringLiteral("First line\nCaf\u00e9 au lait\n"));
        QCOMPARE(games.at(1).icon, iconBytes);
    }

    // Same uuid in other letter case: the row is replaced as a whole.
    run = Publish(Args("game", WebRoot(), "--uuid", "b-GAME", "--nickname", "moss", "--title",
                       "Moss Garden II", "--engine", "3.4"));
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY(run.out.contains("replaced game b-GAME"));
    Catalogue catalogue(WebRoot() + QStringLiteral("/library.db"));
    const QList<GameInfo> games = catalogue.Games();
    QCOMPARE(games.size(), 2);
    QCOMPARE(games.at(0).uuid, QStringLiteral("A-game"));
    QCOMPARE(games.at(0).title, QStringLiteral("Star Courier"));
    QCOMPARE(games.at(1).uuid, QStringLiteral("b-GAME"));
    QCOMPARE(games.at(1).title, QStringLiteral("Moss Garden II"));
    QCOMPARE(games.at(1).description, QString());
    QCOMPARE(games.at(1).icon, QByteArray());
    QSqlQuery query(QSqlDatabase::database(catalogue.name));
    QVERIFY(query.exec(QStringLiteral(
        "SELECT zol_major_version, zol_minor_version FROM games WHERE uuid='b-GAME'")));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toInt(), 3);
    QCOMPARE(query.value(1).toInt(), 4);
    QVERIFY(!query.next());
}

void tst_Publish::clientRewritesOnlyItsBuild()
{
    const QMap<QString, QByteArray> oldBuild{{QStringLiteral("zol_client.exe"), "old client\n"},
                                             {QStringLiteral("bin/x.dll"), "old library\n"}};
    QMap<QString, QByteArray> newBuild{{QStringLiteral("zol_client.exe"), "new client\n"},
                                       {QStringLiteral("bin/x.dll"), "new library\n"},
                                       {QStringLiteral("bin/y.dll"), "second library\n"},
                                       {QStringLiteral("data/shaders/a.glsl"), "void main() {}\n"}};
    const QString oldFolder = WebRoot() + QStringLiteral("/client_windows_1_0");
    const QString newFolder = WebRoot() + QStringLiteral("/client_windows_1_2");
    QVERIFY(WriteTree(oldFolder, oldBuild));
    QVERIFY(WriteTree(newFolder, newBuild));

    // A path and a bare build name both name a folder of the web root.
    QVERIFY(Publish(Args("client", WebRoot(), oldFolder, "--engine", "1.0")).exitCode == 0);
    QVERIFY(Publish(Args("client", WebRoot(), "client_windows_1_2", "--engine", "1.2")).exitCode ==
            0);
    QVERIFY(Publish(Args("game", WebRoot(), "--uuid", "OLD", "--nickname", "old", "--title", "Old",
                         "--engine", "1.0"))
                .exitCode == 0);
    QVERIFY(Publish(Args("game", WebRoot(), "--uuid", "NEW", "--nickname", "new", "--title", "New",
                         "--engine", "1.2"))
                .exitCode == 0);
    {
        Catalogue catalogue(WebRoot() + QStringLiteral("/library.db"));
        QCOMPARE(catalogue.ClientRows(QStringLiteral("OLD")),
                 ExpectedClientRows(QStringLiteral("OLD"), QStringLiteral("client_windows_1_0"),
                                    oldBuild));
        QCOMPARE(catalogue.ClientRows(QStringLiteral("NEW")),
                 ExpectedClientRows(QStringLiteral("NEW"), QStringLiteral("client_windows_1_2"),
                                    newBuild));
    }

    QVERIFY(QFile::remove(newFolder + QStringLiteral("/bin/y.dll")));
    newBuild.remove(QStringLiteral("bin/y.dll"));
    newBuild[QStringLiteral("zol_client.exe")] = "newer client\n";
    QVERIFY(WriteTree(newFolder, newBuild));
    const Run run = Publish(Args("client", WebRoot(), newFolder + u'/', "--engine", "1.2"));
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY(run.out.contains("client_windows_1_2, 3 files"));

    Catalogue catalogue(WebRoot() + QStringLiteral("/library.db"));
    QCOMPARE(
        catalogue.ClientRows(QStringLiteral("OLD")),
        ExpectedClientRows(QStringLiteral("OLD"), QStringLiteral("client_windows_1_0"), oldBuild));
    QCOMPARE(
        catalogue.ClientRows(QStringLiteral("NEW")),
        ExpectedClientRows(QStringLiteral("NEW"), QStringLiteral("client_windows_1_2"), newBuild));
    QCOMPARE(catalogue.Games().size(), 2);
}

void tst_Publish::markerNamesGame()
{
    const QString saved = QDir::currentPath();
    const QString folder = Root() + QStringLiteral("/U-7/moss");
    QVERIFY(QDir().mkpath(folder));
    // A marker of the game's own keeps its other settings.
    QVERIFY(WriteSqlite(folder + QStringLiteral("/game.zol"),
                        {QStringLiteral("CREATE TABLE settings (uuid TEXT, volume INTEGER)"),
                         QStringLiteral("INSERT INTO settings VALUES ('other', 7)")}));
    const Run run = Publish(Args("marker", folder, "--uuid", "u-7"));
    QVERIFY2(run.exitCode == 0, run.err.constData());

    QVERIFY(QDir::setCurrent(Root()));
    const bool named = MarkerNamesGame(QStringLiteral("U-7"), QStringLiteral("moss"));
    QVERIFY(QDir::setCurrent(saved));
    QVERIFY(named);
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("marker"));
        db.setDatabaseName(folder + QStringLiteral("/game.zol"));
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("SELECT uuid, volume FROM settings")));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toString(), QStringLiteral("u-7"));
        QCOMPARE(query.value(1).toInt(), 7);
        QVERIFY(!query.next());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("marker"));

    // A new marker in a folder without one.
    const QString fresh = Root() + QStringLiteral("/V/star");
    QVERIFY(QDir().mkpath(fresh));
    QVERIFY(Publish(Args("marker", fresh, "--uuid", "V")).exitCode == 0);
    QVERIFY(QDir::setCurrent(Root()));
    const bool freshNamed = MarkerNamesGame(QStringLiteral("V"), QStringLiteral("star"));
    QVERIFY(QDir::setCurrent(saved));
    QVERIFY(freshNamed);
}

void tst_Publish::argumentErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    const QStringList game =
        Args("game", "{www}", "--uuid", "U", "--nickname", "moss", "--title", "T");
    QTest::newRow("no command") << QStringList() << 2 << "no command given";
    QTest::newRow("unknown command") << Args("publish", "{www}") << 2 << "unknown command publish";
    QTest::newRow("manifest without folder")
        << Args("manifest") << 2 << "manifest: the game folder is missing";
    QTest::newRow("manifest, two folders")
        << Args("manifest", "{game}", "{www}") << 2 << "unexpected argument";
    QTest::newRow("manifest, folder missing")
        << Args("manifest", "{www}/nothing") << 1 << "does not exist";
    QTest::newRow("manifest, folder is a file")
        << Args("manifest", "{game}/readme.txt") << 1 << "is not a folder";
    QTest::newRow("manifest, unknown option")
        << Args("manifest", "{game}", "--force") << 2 << "unknown option --force";
    QTest::newRow("manifest, single dash")
        << Args("manifest", "{game}", "-x") << 2 << "unknown option -x";
    QTest::newRow("manifest, bad platform") << Args("manifest", "{game}", "--platform", "amiga")
                                            << 2 << "--platform amiga is not windows, linux or mac";
    QTest::newRow("manifest, platform twice")
        << Args("manifest", "{game}", "--platform", "linux", "--platform", "mac") << 2
        << "--platform is given twice";
    QTest::newRow("manifest, value missing")
        << Args("manifest", "{game}", "--editable") << 2 << "--editable needs a value";
    QTest::newRow("manifest, pattern matches nothing")
        << Args("manifest", "{game}", "--editable", "saves/*") << 1
        << "--editable saves/* matches no file";
    QTest::newRow("manifest, empty folder")
        << Args("manifest", "{www}/empty") << 1 << "no files below";
    QTest::newRow("game without uuid")
        << Args("game", "{www}", "--nickname", "moss", "--title", "T", "--engine", "1.0") << 2
        << "--uuid is required";
    QTest::newRow("game without engine") << game << 2 << "--engine is required";
    QTest::newRow("game, engine without minor")
        << game + Args("--engine", "1") << 2 << "--engine 1 is not of the form MAJOR.MINOR";
    QTest::newRow("game, engine not a number")
        << game + Args("--engine", "1.x") << 2 << "--engine 1.x is not of the form";
    QTest::newRow("game, negative engine")
        << game + Args("--engine=-1.0") << 2 << "--engine -1.0 is not of the form";
    QTest::newRow("game, uuid twice")
        << game + Args("--engine", "1.0", "--uuid", "V") << 2 << "--uuid is given twice";
    QTest::newRow("game, web root missing")
        << Args("game", "{www}/nothing", "--uuid", "U", "--nickname", "moss", "--title", "T",
                "--engine", "1.0")
        << 1 << "web root";
    QTest::newRow("game, uuid with slash") << Args("game", "{www}", "--uuid", "a/b", "--nickname",
                                                   "moss", "--title", "T", "--engine", "1.0")
                                           << 1 << "--uuid \"a/b\" is not a plain folder name";
    QTest::newRow("game, nickname dot dot") << Args("game", "{www}", "--uuid", "U", "--nickname",
                                                    "..", "--title", "T", "--engine", "1.0")
                                            << 1 << "--nickname \"..\" is not a plain folder name";
    QTest::newRow("game, empty title") << Args("game", "{www}", "--uuid", "U", "--nickname", "moss",
                                               "--title", " ", "--engine", "1.0")
                                       << 1 << "--title is empty";
    QTest::newRow("game, icon missing")
        << game + Args("--engine", "1.0", "--icon", "{root}/none.png") << 1 << "cannot read icon";
    QTest::newRow("game, description beyond Latin-1")
        << game + Args("--engine", "1.0", "--description", "{root}/arrow.txt") << 1
        << "holds the character U+2192";
    QTest::newRow("game, nickname taken")
        << Args("game", "{www}", "--uuid", "OTHER", "--nickname", "MOSS", "--title", "T",
                "--engine", "1.0")
        << 1 << "nickname \"MOSS\" is already used by the game FIRST";
    QTest::newRow("client, wrong name")
        << Args("client", "{www}", "client_windows_1_0", "--engine", "1.2") << 1
        << "client_windows_1_0 must be named client_windows_1_2 for engine 1.2 on windows";
    QTest::newRow("client, wrong platform")
        << Args("client", "{www}", "client_windows_1_0", "--engine", "1.0", "--platform", "linux")
        << 1 << "must be named client_linux_1_0";
    QTest::newRow("client, outside the web root")
        << Args("client", "{www}", "{root}/client_windows_1_0", "--engine", "1.0") << 1
        << "is not directly inside the web root";
    QTest::newRow("client, missing build")
        << Args("client", "{www}", "client_windows_9_9", "--engine", "9.9") << 1
        << "does not exist";
    QTest::newRow("client without engine")
        << Args("client", "{www}", "client_windows_1_0") << 2 << "--engine is required";
    QTest::newRow("client without build")
        << Args("client", "{www}", "--engine", "1.0") << 2 << "the build folder is missing";
    QTest::newRow("marker without uuid") << Args("marker", "{game}") << 2 << "--uuid is required";
}

void tst_Publish::argumentErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    // A published web root that a failing command must leave as it was.
    QVERIFY(QDir().mkpath(WebRoot() + QStringLiteral("/empty")));
    QVERIFY(WriteFile(WebRoot() + QStringLiteral("/client_windows_1_0/zol_client.exe"), "c\n"));
    QVERIFY(WriteFile(Root() + QStringLiteral("/client_windows_1_0/zol_client.exe"), "c\n"));
    QVERIFY(WriteFile(Root() + QStringLiteral("/arrow.txt"), "left \xe2\x86\x92 right\n"));
    QVERIFY(Publish(Args("manifest", Game())).exitCode == 0);
    QVERIFY(Publish(Args("client", WebRoot(), "client_windows_1_0", "--engine", "1.0")).exitCode ==
            0);
    QVERIFY(Publish(Args("game", WebRoot(), "--uuid", "FIRST", "--nickname", "moss", "--title", "T",
                         "--engine", "1.0"))
                .exitCode == 0);
    const QMap<QString, QByteArray> before = Tree(Root());

    for (QString &argument : arguments) {
        argument.replace(QStringLiteral("{www}"), WebRoot());
        argument.replace(QStringLiteral("{game}"), Game());
        argument.replace(QStringLiteral("{root}"), Root());
    }
    const Run run = Publish(arguments);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(IsOneMessage(run.err), run.err.constData());
    QVERIFY2(QString::fromUtf8(run.err).contains(message), run.err.constData());
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(Tree(Root()), before);
}

void tst_Publish::writeFailuresLeaveDatabases_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("message");

    QTest::newRow("catalogue is a folder") << "library.db/"
                                           << "library.db is not a file";
    QTest::newRow("working copy is a folder") << "library.db.zol_publish-new/"
                                              << "cannot replace";
    QTest::newRow("catalogue is no database") << "library.db=garbage"
                                              << "library.db is not a SQLite database";
    QTest::newRow("games table lacks columns") << "library.db=old schema"
                                               << "library.db: no such column";
    QTest::newRow("manifest is a folder") << "moss/patch.db/"
                                          << "patch.db is not a file";
    QTest::newRow("manifest is no database") << "moss/patch.db=garbage"
                                             << "patch.db is not a SQLite database";
}

void tst_Publish::writeFailuresLeaveDatabases()
{
    QFETCH(QString, obstacle);
    QFETCH(QString, message);

    const qsizetype equals = obstacle.indexOf(u'=');
    const QString path = WebRoot() + u'/' + obstacle.left(equals).chopped(obstacle.endsWith(u'/'));
    if (obstacle.endsWith(u'/')) {
        QVERIFY(QDir().mkpath(path + QStringLiteral("/inside")));
        QVERIFY(WriteFile(path + QStringLiteral("/inside/file"), "kept\n"));
    } else if (obstacle.mid(equals + 1) == u"garbage") {
        QVERIFY(WriteFile(path, QByteArray(5000, 'g')));
    } else {
        QVERIFY(WriteSqlite(path, {QStringLiteral("CREATE TABLE games (title TEXT)"),
                                   QStringLiteral("INSERT INTO games VALUES ('kept')")}));
    }
    const QMap<QString, QByteArray> before = Tree(Root());

    const Run run = obstacle.startsWith(u"moss")
                        ? Publish(Args("manifest", Game()))
                        : Publish(Args("game", WebRoot(), "--uuid", "U", "--nickname", "moss",
                                       "--title", "T", "--engine", "1.0"));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(IsOneMessage(run.err), run.err.constData());
    QVERIFY2(QString::fromUtf8(run.err).contains(message), run.err.constData());
    QCOMPARE(Tree(Root()), before);
}

void tst_Publish::helpTexts_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("usage");
    QTest::addColumn<QString>("detail");

    QTest::newRow("overview") << Args("--help") << "Usage: zol_publish <command>"
                              << "Exit codes: 0 done, 1 the command failed, 2 wrong arguments";
    QTest::newRow("help command") << Args("help", "game") << "Usage: zol_publish game"
                                  << "--engine MAJOR.MINOR";
    QTest::newRow("manifest") << Args("manifest", "--help") << "Usage: zol_publish manifest"
                              << "** any\nrun across folders, **/ zero or more folders";
    QTest::newRow("help after arguments")
        << Args("game", "{www}", "--uuid", "x", "-h") << "Usage: zol_publish game"
        << "--icon IMAGE";
    QTest::newRow("client") << Args("client", "--help") << "Usage: zol_publish client"
                            << "client_windows_1_2 for\n--engine 1.2";
    QTest::newRow("marker") << Args("marker", "--help") << "Usage: zol_publish marker"
                            << "settings(uuid)";
}

void tst_Publish::helpTexts()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, usage);
    QFETCH(QString, detail);

    arguments.replaceInStrings(QStringLiteral("{www}"), WebRoot());
    const QMap<QString, QByteArray> before = Tree(Root());
    const Run run = Publish(arguments);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QByteArray());
    const QString out = QString::fromUtf8(run.out);
    QVERIFY2(out.startsWith(usage), run.out.constData());
    QVERIFY2(out.contains(detail), run.out.constData());
    QCOMPARE(Tree(Root()), before);
}

void tst_Publish::progressOnlyOnTerminal()
{
    QVERIFY(Publish(Args("marker", Game(), "--uuid", "U")).exitCode == 0);
    const Run piped = Publish(Args("manifest", Game()));
    QCOMPARE(piped.exitCode, 0);
    QCOMPARE(piped.err, QByteArray());

    // script(1) gives the program a terminal for its standard streams.
    const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
    if (script.isEmpty())
        QSKIP("script(1) is not installed, so no terminal can be given to zol_publish");
    QProcess process;
    process.start(
        script, {QStringLiteral("-qec"),
                 QStringLiteral("'%1' manifest '%2'").arg(QStringLiteral(ZOL_PUBLISH_PATH), Game()),
                 QStringLiteral("/dev/null")});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);
    const QByteArray terminal = process.readAllStandardOutput();
    QVERIFY2(terminal.contains("\rhashing 1/10 files"), terminal.constData());
    QVERIFY2(terminal.contains("\rhashing 10/10 files"), terminal.constData());
}

QTEST_GUILESS_MAIN(tst_Publish)
#include "tst_publish.moc"
